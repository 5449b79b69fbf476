// The binding layer as the fit engine uses it: dialogs, the Cancel button and drawing.
#include "toolkit/guikit.hpp"

#include <atomic>
#include <thread>

#include "drawing_fixture.hpp"
#include "numerics/stringlib.hpp"
#include "platform/sync.hpp"
#include "platform/thread_id.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/text.hpp"

namespace {

using platform::DialogAnswer;
using platform::DialogIcon;

class Guikit : public toolkit_test::DrawingWindow {
 protected:
  void SetUp() override {
    DrawingWindow::SetUp();
    gk::install_text();
    h_ = handle(index_);
  }
  // Clicks the middle of the control's rectangle and waits until the window has handled it.
  void click_control(int32_t id) {
    int32_t l = 0, t = 0, w = 0, hh = 0;
    ASSERT_EQ(gk::getbuttonposition(id, &l, &t, &w, &hh), 1);
    user.click(h_, {l + w / 2, t + hh / 2});
    ASSERT_TRUE(user.settle(h_));
  }
  platform::Hwnd h_ = 0;
};

TEST_F(Guikit, MessageTitlesAndIconsFollowTheKind) {
  struct Case {
    int32_t kind;
    const char* title;
    DialogIcon icon;
  };
  const Case cases[] = {{1, "Information", DialogIcon::Information},
                        {2, "Warning", DialogIcon::Warning},
                        {3, "Error", DialogIcon::Error},
                        {7, "Message", DialogIcon::None},
                        {0, "Message", DialogIcon::None}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    dialogs.clear();
    guikit::dlgmessage(c.kind, "Data block 2 read   ");
    const auto shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, c.title);
    EXPECT_EQ(shown[0].icon, c.icon);
    EXPECT_EQ(shown[0].text, "Data block 2 read");  // trailing blanks trimmed
    EXPECT_EQ(shown[0].buttons, platform::DialogButtons::Ok);
    EXPECT_EQ(shown[0].owner, h_);
  }
}

TEST_F(Guikit, YesNoAnswersTrueOnlyForYes) {
  user.answer_next_dialog(DialogAnswer::Yes);
  EXPECT_TRUE(guikit::dlgyesno(1, "Model line:\r\ny = a*x  "));
  user.answer_next_dialog(DialogAnswer::No);
  EXPECT_FALSE(guikit::dlgyesno(1, "Model line"));
  user.answer_next_dialog(DialogAnswer::Cancel);
  EXPECT_FALSE(guikit::dlgyesno(3, "Model line"));
  const auto shown = dialogs.shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].title, "Information");
  EXPECT_EQ(shown[0].text, "Model line:\r\ny = a*x");
  EXPECT_EQ(shown[0].buttons, platform::DialogButtons::YesNo);
  EXPECT_EQ(shown[2].title, "Error");
}

TEST_F(Guikit, ButtonClickRunsTheCallbackOnANewThread) {
  platform::Event ran;
  std::atomic<platform::ThreadId> runner{0};
  const int32_t id = guikit::createbutton(100, 100, 90, 20, "Cancel   ", [&] {
    runner = platform::current_thread_id();
    ran.set();
  });
  ASSERT_EQ(id, 0);
  click_control(id);
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_NE(runner.load(), platform::current_thread_id());
  EXPECT_NE(runner.load(), rec_->window_thread_id.load());
  int32_t l = 0, t = 0, w = 0, hh = 0;
  EXPECT_EQ(gk::getbuttonposition(id, &l, &t, &w, &hh), 1);
  EXPECT_EQ(l, 100);
  EXPECT_EQ(t, 100);
  EXPECT_EQ(w, 90);
  EXPECT_EQ(hh, 20);
}

TEST_F(Guikit, DisabledButtonIgnoresClicks) {
  std::atomic<int> clicks{0};
  const int32_t id = guikit::createbutton(10, 10, 60, 20, "Go", [&] { ++clicks; });
  guikit::enablebutton(id, false);
  click_control(id);
  guikit::enablebutton(id, true);
  platform::Event ran;
  const int32_t id2 = guikit::createbutton(10, 40, 60, 20, "Go", [&] { ran.set(); });
  click_control(id2);  // a later click that does fire shows the first one was handled
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(clicks.load(), 0);
}

// The cascade's Cancel button: removebutton returns only when no callback of the button runs,
// and nothing fires after it.
TEST_F(Guikit, NoCallbackRunsAfterRemoveButtonReturned) {
  platform::Event entered, release;
  std::atomic<bool> running{false};
  std::atomic<int> after{0};
  std::atomic<bool> removed{false};
  const int32_t id = guikit::createbutton(100, 100, 90, 20, "Cancel", [&] {
    if (removed) ++after;
    running = true;
    entered.set();
    release.wait(5000);
    running = false;
  });
  click_control(id);
  ASSERT_TRUE(entered.wait(5000));
  std::thread releaser([&] { release.set(); });
  guikit::removebutton(id);
  removed = true;
  releaser.join();
  EXPECT_FALSE(running.load());
  EXPECT_EQ(gk::getbuttonposition(id, nullptr, nullptr, nullptr, nullptr), 0);
  user.click(h_, {145, 110});
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(after.load(), 0);
  // The freed id goes to the next control made.
  EXPECT_EQ(guikit::createbutton(0, 0, 10, 10, "next", nullptr), id);
}

TEST_F(Guikit, OuttextxyTrimsUnlessTold) {
  guikit::setcolor(0xFFFFFF);
  guikit::settextstyle(1, 0, 14);
  const int32_t two = gk::textwidth("ab");
  const int32_t five = gk::textwidth("ab   ");
  ASSERT_LT(two, five);
  guikit::outtextxy(0, 0, "ab   ");
  int32_t inked_right = 0;
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < kWidth; ++x)
      if (pixel(x, y) != 0) inked_right = std::max(inked_right, x + 1);
  EXPECT_LE(inked_right, two);
  // Untrimmed: the blanks are drawn too, with the background box of opaque text.
  guikit::settextstyle(1, 0, 14, 0);
  guikit::setbkcolor(0x0000FF);
  guikit::outtextxy(0, 40, "ab   ", false);
  int32_t box_right = 0;
  for (int32_t x = 0; x < kWidth; ++x)
    if (pixel(x, 45) == 0x0000FF) box_right = x + 1;
  EXPECT_EQ(box_right, five);
}

TEST_F(Guikit, LinesDrawInTheCurrentColour) {
  guikit::setcolor(0x00FF00);
  guikit::setlinestyle(0, 0, 1);
  guikit::moveto(10, 10);
  guikit::lineto(20, 10);
  guikit::line(10, 20, 10, 30);
  EXPECT_EQ(pixel(15, 10), 0x00FF00u);
  EXPECT_EQ(pixel(20, 10), 0u);  // end pixel excluded
  EXPECT_EQ(pixel(10, 25), 0x00FF00u);
  guikit::setbkcolor(0x112233);
  guikit::clearviewport();
  EXPECT_EQ(pixel(15, 10), 0x112233u);
}

TEST_F(Guikit, OpenFileOnA512CharacterFolderVariableReturnsThePathBlankPadded) {
  std::string name = stringlib::fixed("C:\\data\\", 512);
  user.answer_next_file("C:\\data\\model.dat");
  ASSERT_TRUE(guikit::dlgopenfile(name, "Data files", "*.dat"));
  EXPECT_EQ(name, stringlib::fixed("C:\\data\\model.dat", 512));
  const auto shown = dialogs.shown_files();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].initial_folder, "C:\\data\\");
  EXPECT_EQ(shown[0].title, " File");
  ASSERT_EQ(shown[0].filters.size(), 2u);
  EXPECT_EQ(shown[0].filters[0].name, "Data files");
}

TEST_F(Guikit, FileDialogPassesTheDescriptionOnlyWithAnExtension) {
  struct Case {
    const char* name;
    guikit::Text description, extension, title;
    size_t filters;
    const char* first;
    const char* shown_title;
  };
  const Case cases[] = {
      {"both", "Data   ", "*.dat  ", std::nullopt, 2, "Data", " File"},
      {"extension", std::nullopt, "*.dat", "Pick one   ", 2, "*.datfiles", "Pick one"},
      {"description", "Data", std::nullopt, std::nullopt, 1, "All Files", " File"},
      {"blank extension", "Data", "   ", std::nullopt, 1, "All Files", " File"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.clear();
    std::string name(20, ' ');
    EXPECT_FALSE(guikit::dlgopenfile(name, c.description, c.extension, c.title));
    const auto shown = dialogs.shown_files();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].filters.size(), c.filters);
    EXPECT_EQ(shown[0].filters[0].name, c.first);
    EXPECT_EQ(shown[0].title, c.shown_title);
  }
  dialogs.clear();
  std::string name = "report.txt";
  EXPECT_FALSE(guikit::dlgsavefile(name));
  EXPECT_EQ(dialogs.shown_files().at(0).title, "Save File");
}

TEST_F(Guikit, CancelledFileDialogLeavesTheVariableAsItWas) {
  std::string full = "abcdefgh";  // fills its variable: the dialog is shown "abcdefg"
  dialogs.script_file(std::nullopt);
  EXPECT_FALSE(guikit::dlgopenfile(full));
  EXPECT_EQ(full, "abcdefgh");
  EXPECT_EQ(dialogs.shown_files().at(0).initial_name, "abcdefg");
  dialogs.script_file("/too/long/for/it");
  EXPECT_FALSE(guikit::dlgopenfile(full));
  EXPECT_EQ(full, "abcdefgh");
  std::string empty;
  EXPECT_FALSE(guikit::dlgopenfile(empty));
}

TEST_F(Guikit, RequestTextPadsTheAnswerAndLeavesTheVariableOnCancel) {
  std::string text = "old       ";
  user.answer_next_text("brand new text");
  ASSERT_TRUE(guikit::dlgrequesttext(text));
  EXPECT_EQ(text, "brand new ");  // cut to the variable's length
  dialogs.script_text("new");
  ASSERT_TRUE(guikit::dlgrequestpassword(text, "Password", "Give it"));
  EXPECT_EQ(text, "new       ");
  dialogs.script_text(std::nullopt);
  EXPECT_FALSE(guikit::dlgrequesttext(text, "T"));
  EXPECT_EQ(text, "new       ");
  const auto shown = dialogs.shown_texts();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].title, "Input Requested");
  EXPECT_TRUE(shown[0].has_prompt);
  EXPECT_EQ(shown[0].prompt, "");
  EXPECT_EQ(shown[0].initial, "old");
  EXPECT_FALSE(shown[0].password);
  EXPECT_TRUE(shown[1].password);
  EXPECT_EQ(shown[1].initial, "brand new");
}

TEST_F(Guikit, SelectionAnswersOneBasedOrMinusOne) {
  const std::vector<std::string> options{"linear   ", "quadratic", "cubic    "};
  user.answer_next_selection(0);
  EXPECT_EQ(guikit::dlgrequestselection(options), 1);
  dialogs.script_selection(2);
  EXPECT_EQ(guikit::dlgrequestselection(options, "Model"), 3);
  dialogs.script_selection(std::nullopt);
  EXPECT_EQ(guikit::dlgrequestselection(options), -1);
  EXPECT_EQ(dialogs.shown_selections().at(0).options,
            (std::vector<std::string>{"linear", "quadratic", "cubic"}));
}

TEST_F(Guikit, CaptionsKeepTheirBlanksUnlessTrimmed) {
  const int32_t id = guikit::createbutton(10, 10, 60, 20, "Go   ", nullptr);
  EXPECT_EQ(system.text(gk::GetControl(*rec_, gk::kKindButton, id)), "Go");
  guikit::setbuttontext(id, "Stop  ");
  EXPECT_EQ(system.text(gk::GetControl(*rec_, gk::kKindButton, id)), "Stop  ");
  guikit::setbuttontext(id, "Stop  ", true);
  EXPECT_EQ(system.text(gk::GetControl(*rec_, gk::kKindButton, id)), "Stop");
  EXPECT_TRUE(guikit::getbuttonposition(id));
  guikit::setbuttonvisible(id, false);
  EXPECT_FALSE(system.is_visible(gk::GetControl(*rec_, gk::kKindButton, id)));
  const int32_t radio = guikit::createradiobutton_nohandler(10, 40, 60, 20, "r");
  guikit::radiobuttonsetchecked(radio, true);
  EXPECT_EQ(gk::radiobuttonischecked(radio), 1);
  guikit::radiobuttonsetchecked(radio, false);
  EXPECT_EQ(gk::radiobuttonischecked(radio), 0);
}

TEST_F(Guikit, TextWidthTrimsByDefault) {
  guikit::settextstyle(1, 0, 14);
  EXPECT_EQ(guikit::textwidth("ab   "), gk::textwidth("ab"));
  EXPECT_EQ(guikit::textwidth("ab   ", false), gk::textwidth("ab   "));
}

using GuikitWindows = toolkit_test::HeadlessToolkit;

TEST_F(GuikitWindows, LaterWindowsReuseTheFlagsLastGiven) {
  guikit::reset();
  ASSERT_EQ(guikit::initwindow(100, 80, "first", 0, 0, true, false), 0);
  ASSERT_EQ(guikit::initwindow(100, 80), 1);  // no flags: double buffered, no exit on close
  EXPECT_EQ(gk::getcurrentwindow(), 1);
  EXPECT_EQ(record(0)->double_buffer.load(), 1);
  EXPECT_EQ(record(1)->double_buffer.load(), 1);
  EXPECT_EQ(record(1)->exit_on_close.load(), 0);
  EXPECT_EQ(system.text(handle(1)), guikit::kDefaultTitle);
  ASSERT_EQ(guikit::initwindow(100, 80, "     "), 2);  // blank: no caption
  EXPECT_NE(system.style(handle(2)) & platform::kStyleCaption, platform::kStyleCaption);
  guikit::closewindow();  // every window
  EXPECT_EQ(gk::isvalidwindow(0), 0);
  EXPECT_EQ(gk::isvalidwindow(1), 0);
  EXPECT_EQ(gk::isvalidwindow(2), 0);
  guikit::reset();
}

}  // namespace
