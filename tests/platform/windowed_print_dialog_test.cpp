// The windowed print dialog: the spooler's printers with the request's preselected, or a file.
#include "platform/windowed/print_dialog.hpp"
#include "windowed_fixture.hpp"

namespace {

using namespace platform;
using platform_test::WindowedHost;

class Printers : public Spooler {
 public:
  std::vector<std::string> names;
  std::optional<std::string> default_destination() override {
    return names.empty() ? std::nullopt : std::optional<std::string>(names.front());
  }
  std::vector<std::string> destinations() override { return names; }
  bool submit(const std::string&, const std::string&, const std::string&) override { return true; }
};

class WindowedPrintDialog : public WindowedHost {
 protected:
  void SetUp() override {
    WindowedHost::SetUp();
    system.set_spooler(&printers);
  }
  void TearDown() override {
    system.set_spooler(nullptr);
    WindowedHost::TearDown();
  }
  // The items of the dialog's printer list.
  std::vector<std::string> listed(Hwnd list) {
    std::vector<std::string> out;
    for (int64_t i = 0; i < system.send_message(list, kMsgCbGetCount); ++i) {
      std::string text;
      system.send_message(list, kMsgCbGetLbText, i, reinterpret_cast<int64_t>(&text));
      out.push_back(text);
    }
    return out;
  }
  Hwnd radio(Hwnd d, const char* caption) { return control(d, kClassButton, caption); }
  int64_t check_of(Hwnd button) { return system.send_message(button, kMsgBmGetCheck); }

  Printers printers;
};

TEST_F(WindowedPrintDialog, OffersTheSpoolersPrintersWithTheRequestsSelected) {
  struct Case {
    const char* name;
    std::vector<std::string> spooler;
    std::string requested;
    std::vector<std::string> listed;
    int64_t selected;
    uint32_t key;  // pressed in the list before OK (0: none)
    std::string answered;
  };
  const Case cases[] = {
      {"requested one", {"office", "lab"}, "lab", {"office", "lab"}, 1, 0, "lab"},
      {"none requested", {"office", "lab"}, "", {"office", "lab"}, 0, 0, "office"},
      {"another chosen", {"office", "lab"}, "lab", {"office", "lab"}, 1, kVkUp, "office"},
      {"requested, unknown to the spooler", {"office"}, "old", {"old", "office"}, 0, 0, "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    printers.names = c.spooler;
    std::optional<PrintDialogAnswer> answer;
    auto t = ask([&] { answer = dialogs.print_dialog(PrintDialogRequest{0, c.requested}); });
    const Hwnd d = next_dialog();
    ASSERT_NE(d, 0u);
    EXPECT_EQ(system.text(d), "Print");
    const Hwnd list = control(d, kClassComboBox);
    EXPECT_EQ(listed(list), c.listed);
    EXPECT_EQ(system.send_message(list, kMsgCbGetCurSel), c.selected);
    EXPECT_EQ(check_of(radio(d, "Printer:")), kBstChecked);
    EXPECT_EQ(check_of(radio(d, "Print to file:")), kBstUnchecked);
    EXPECT_EQ(system.focus(), list);
    if (c.key) key(d, c.key);
    key(d, kVkReturn);  // the default OK
    ASSERT_TRUE(finished(t));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->printer, c.answered);
    EXPECT_EQ(answer->file, "");
  }
}

TEST_F(WindowedPrintDialog, PrintsToAFileOnlyOnceItHasAName) {
  printers.names = {"office"};
  std::optional<PrintDialogAnswer> answer;
  auto t = ask([&] { answer = dialogs.print_dialog(PrintDialogRequest{0, "office"}); });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  click(radio(d, "Print to file:"));
  EXPECT_EQ(check_of(radio(d, "Printer:")), kBstUnchecked);
  click(control(d, kClassButton, "OK"));  // no name yet: the dialog stays, the field has the focus
  EXPECT_TRUE(system.is_window(d));
  const Hwnd field = control(d, kClassEdit);
  EXPECT_EQ(system.focus(), field);
  user.type_text(d, "plot.pdf");
  click(control(d, kClassButton, "OK"));
  ASSERT_TRUE(finished(t));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->printer, "");
  EXPECT_EQ(answer->file, "plot.pdf");
}

TEST_F(WindowedPrintDialog, WithoutPrintersOnlyTheFileCanBeChosen) {
  printers.names = {};
  std::optional<PrintDialogAnswer> answer;
  auto t = ask([&] { answer = dialogs.print_dialog(PrintDialogRequest{0, ""}); });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  EXPECT_FALSE(system.is_enabled(radio(d, "Printer:")));
  EXPECT_FALSE(system.is_enabled(control(d, kClassComboBox)));
  EXPECT_EQ(check_of(radio(d, "Print to file:")), kBstChecked);
  EXPECT_EQ(system.focus(), control(d, kClassEdit));
  user.type_text(d, "out.pdf");
  key(d, kVkReturn);
  ASSERT_TRUE(finished(t));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->file, "out.pdf");
}

TEST_F(WindowedPrintDialog, ChoosingAPrinterInTheListSelectsPrinterAgain) {
  printers.names = {"office", "lab"};
  std::optional<PrintDialogAnswer> answer = PrintDialogAnswer{"x", "y"};
  auto t = ask([&] { answer = dialogs.print_dialog(PrintDialogRequest{0, "office"}); });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  click(radio(d, "Print to file:"));
  system.set_focus(control(d, kClassComboBox));
  key(d, kVkDown);
  EXPECT_EQ(check_of(radio(d, "Printer:")), kBstChecked);
  EXPECT_EQ(check_of(radio(d, "Print to file:")), kBstUnchecked);
  click(control(d, kClassButton, "Cancel"));
  ASSERT_TRUE(finished(t));
  EXPECT_FALSE(answer.has_value());  // nothing on Cancel
}

}  // namespace
