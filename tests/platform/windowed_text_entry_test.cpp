// The windowed text-entry, password and selection dialogs: their layout, what they show and
// what they answer.
#include <cstdlib>

#include "platform/image/bmp.hpp"
#include "platform/windowed/dialog_window.hpp"
#include "platform/windowed/text_entry.hpp"
#include "support/temp_dir.hpp"
#include "windowed_fixture.hpp"

namespace {

using namespace platform;
using platform_test::WindowedHost;

using WindowedTextEntry = WindowedHost;

Rect place_of(WindowSystem& system, Hwnd control) { return system.frame_rect(control); }

TEST_F(WindowedTextEntry, LaysOutTheTemplateInDialogUnitsBelowTheOwnersCorner) {
  open_owner({100, 80, 600, 480});
  auto t = ask([&] {
    dialogs.text_entry(TextEntryRequest{owner, "Title", true, "Your name:", "Ann", false});
  });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  const DialogUnits u(*DialogWindow::dialog_font());
  const Rect client = system.client_rect(d);
  EXPECT_EQ(client.width(), u.to_pixels({0, 0, 255, 65}).right);
  EXPECT_EQ(client.height(), u.to_pixels({0, 0, 255, 65}).bottom);
  const Point at = system.client_origin(owner);
  const Rect f = system.frame_rect(d);
  EXPECT_EQ(f.left, at.x + u.to_pixels({30, 30, 0, 0}).left);
  EXPECT_EQ(f.top, at.y + u.to_pixels({30, 30, 0, 0}).top);
  const Hwnd ok = control(d, kClassButton, "Ok"), cancel = control(d, kClassButton, "Cancel");
  EXPECT_EQ(place_of(system, ok), u.to_pixels({163, 47, 203, 61}));
  EXPECT_EQ(place_of(system, cancel), u.to_pixels({205, 47, 245, 61}));
  EXPECT_EQ(place_of(system, control(d, kClassStatic)), u.to_pixels({10, 13, 249, 21}));
  EXPECT_EQ(place_of(system, control(d, kClassEdit)), u.to_pixels({10, 24, 245, 38}));
  EXPECT_EQ(system.style(ok) & kBsTypeMask, kBsDefPushButton);
  EXPECT_EQ(system.style(control(d, kClassEdit)) & kEsPassword, 0u);
  key(d, kVkEscape);
  ASSERT_TRUE(finished(t));
}

TEST_F(WindowedTextEntry, ShowsTheInitialTextAndAnswersTheEditedTextOnOkOnly) {
  struct Case {
    const char* how;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"Ok", "results.txt, v2"},
      {"Enter", "results.txt, v2"},  // Enter in the field: the default "Ok"
      {"Cancel", std::nullopt},
      {"Escape", std::nullopt},
      {"close box", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    std::optional<std::string> answer = "untouched";
    auto t = ask([&] {
      answer = dialogs.text_entry(TextEntryRequest{0, "", false, "", "results.txt", false});
    });
    const Hwnd d = next_dialog();
    ASSERT_NE(d, 0u);
    EXPECT_EQ(system.text(d), "Input Request");  // no title given
    EXPECT_EQ(control(d, kClassStatic), 0u);     // no prompt given
    const Hwnd field = control(d, kClassEdit);
    EXPECT_EQ(system.text(field), "results.txt");
    EXPECT_EQ(system.focus(), field);
    key(d, kVkEnd);  // the text starts selected; typing goes after it
    user.type_text(d, ", v2");
    user.settle(d);
    EXPECT_EQ(system.text(field), "results.txt, v2");
    answer_by(d, c.how);
    ASSERT_TRUE(finished(t));
    EXPECT_EQ(answer, c.expected);
  }
}

TEST_F(WindowedTextEntry, TypingReplacesTheSelectedInitialText) {
  std::optional<std::string> answer;
  auto t = ask([&] {
    answer = dialogs.text_entry(TextEntryRequest{0, "T", true, "P", "old", false});
  });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  user.type_text(d, "new");
  key(d, kVkReturn);
  ASSERT_TRUE(finished(t));
  EXPECT_EQ(answer, "new");
}

TEST_F(WindowedTextEntry, APasswordFieldHidesItsTextButAnswersIt) {
  // Two passwords of the same length look the same; as plain text they do not.
  Page field_pixels[2][2];
  for (bool password : {false, true}) {
    for (int k = 0; k < 2; ++k) {
      SCOPED_TRACE(password ? "password" : "plain");
      const std::string secret = k == 0 ? "abc" : "xyz";
      std::optional<std::string> answer;
      auto t = ask([&] {
        answer = dialogs.text_entry(TextEntryRequest{0, "Password", true, "Key:", "", password});
      });
      const Hwnd d = next_dialog();
      ASSERT_NE(d, 0u);
      user.type_text(d, secret);
      key(d, kVkTab);  // the focus leaves the field, so no caret is drawn in it
      const Page p = shown(d);
      const Rect f = system.frame_rect(control(d, kClassEdit));
      Page& out = field_pixels[password][k];
      out = Page(f.width(), f.height());
      for (int y = 0; y < f.height(); ++y)
        for (int x = 0; x < f.width(); ++x) out.at(x, y) = p.at(f.left + x, f.top + y);
      EXPECT_EQ((system.style(control(d, kClassEdit)) & kEsPassword) != 0, password);
      click(control(d, kClassButton, "Ok"));
      ASSERT_TRUE(finished(t));
      EXPECT_EQ(answer, secret);
    }
  }
  const auto same = [](const Page& a, const Page& b) {
    return a.width() == b.width() && a.height() == b.height() &&
           std::equal(a.data(), a.data() + a.width() * a.height(), b.data());
  };
  EXPECT_FALSE(same(field_pixels[0][0], field_pixels[0][1]));
  EXPECT_TRUE(same(field_pixels[1][0], field_pixels[1][1]));
}

TEST_F(WindowedTextEntry, SelectionStartsOnTheFirstOptionAndAnswersTheOneChosen) {
  struct Case {
    const char* name;
    bool open_list;  // the list is dropped down while the keys choose
    int downs;       // Down keys pressed in the field
    const char* how;
    std::optional<int32_t> expected;
  };
  const Case cases[] = {
      {"Ok at once", false, 0, "Ok", 0},
      {"third by Down Down", false, 2, "Enter", 2},
      {"third in the open list", true, 2, "Ok", 2},
      {"Cancel", false, 1, "Cancel", std::nullopt},
      {"close box", false, 1, "close box", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<int32_t> answer = -5;
    auto t = ask([&] {
      answer = dialogs.selection(
          SelectionRequest{0, "Weighting", true, "Choose:", {"None", "1/Y^2", "Robust"}});
    });
    const Hwnd d = next_dialog();
    ASSERT_NE(d, 0u);
    const Hwnd list = control(d, kClassComboBox);
    ASSERT_NE(list, 0u);
    EXPECT_EQ(system.send_message(list, kMsgCbGetCount), 3);
    EXPECT_EQ(system.send_message(list, kMsgCbGetCurSel), 0);
    EXPECT_EQ(system.focus(), list);
    if (c.open_list) {
      click(list);  // drops the list down
      ASSERT_EQ(system.send_message(list, kMsgCbGetDroppedState), 1);
    }
    for (int i = 0; i < c.downs; ++i) key(d, kVkDown);
    if (c.open_list) {
      // Enter belongs to the open list: it closes the list and the dialog stays.
      key(d, kVkReturn);
      EXPECT_EQ(system.send_message(list, kMsgCbGetDroppedState), 0);
      EXPECT_TRUE(system.is_window(d));
    }
    answer_by(d, c.how);
    ASSERT_TRUE(finished(t));
    EXPECT_EQ(answer, c.expected);
  }
}

TEST_F(WindowedTextEntry, TwoEntriesOnTwoThreadsEachAnswerTheirOwnText) {
  std::optional<std::string> a, b;
  auto ta = ask([&] { a = dialogs.text_entry(TextEntryRequest{0, "A", false, "", "", false}); });
  const Hwnd da = next_dialog();
  auto tb = ask([&] { b = dialogs.text_entry(TextEntryRequest{0, "B", false, "", "", false}); });
  const Hwnd db = next_dialog();
  ASSERT_NE(da, 0u);
  ASSERT_NE(db, 0u);
  // Keys go to the dialog the display names, each into its own field.
  user.type_text(db, "second");
  user.settle(db);
  system.activate(da);  // as a click on its caption would: the focus returns to its field
  user.settle(da);
  EXPECT_EQ(system.focus(), control(da, kClassEdit));
  user.type_text(da, "first");
  user.settle(da);
  click(control(da, kClassButton, "Ok"));
  click(control(db, kClassButton, "Ok"));
  ASSERT_TRUE(finished(ta));
  ASSERT_TRUE(finished(tb));
  EXPECT_EQ(a, "first");
  EXPECT_EQ(b, "second");
}

TEST_F(WindowedTextEntry, DrawsTheEntryAndSelectionDialogs) {
  Page sheet(2 * 420, 130);
  sheet.fill(0xFFFFFF);
  for (int k = 0; k < 2; ++k) {
    auto t = ask([&] {
      if (k == 0)
        dialogs.text_entry(TextEntryRequest{0, "Save", true, "File name:", "fit.txt", false});
      else
        dialogs.selection(SelectionRequest{0, "Level", true, "Difficulty:", {"Easy", "Hard"}});
    });
    const Hwnd d = next_dialog();
    ASSERT_NE(d, 0u);
    const Page p = shown(d);
    // The default "Ok" has its black frame; the field is a sunken white box.
    const Rect ok = system.frame_rect(control(d, kClassButton, "Ok"));
    EXPECT_EQ(p.at(ok.left, ok.top), 0x000000u);
    const Rect field = system.frame_rect(control(d, k == 0 ? kClassEdit : kClassComboBox));
    EXPECT_EQ(p.at(field.left, field.top), 0x808080u);
    EXPECT_EQ(p.at(field.right - 1, field.bottom - 1), 0xFFFFFFu);
    for (int y = 0; y < std::min(p.height(), sheet.height()); ++y)
      for (int x = 0; x < std::min(p.width(), 410); ++x) sheet.at(k * 420 + x, y) = p.at(x, y);
    key(d, kVkEscape);
    ASSERT_TRUE(finished(t));
  }
  const testsupport::TempDir dir;
  ASSERT_TRUE(write_bmp24(dir.file("entries.bmp"), sheet));
  if (const char* keep = std::getenv("VARQEN_ENTRIES_BMP")) write_bmp24(keep, sheet);
}

}  // namespace
