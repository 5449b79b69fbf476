// Text boxes, list boxes and drop-down lists of a toolkit window.
#include "toolkit/textboxes.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "controls_fixture.hpp"
#include "platform/image/bmp.hpp"
#include "platform/sync.hpp"
#include "support/temp_dir.hpp"
#include "toolkit/clipboard.hpp"

namespace {

using platform::Point;
using platform::Rect;

class TextBoxes : public toolkit_test::ControlsWindow {
 protected:
  std::string contents(int32_t id) {
    char buffer[256] = {};
    gk::gettextboxcontents(id, buffer, sizeof buffer);
    return buffer;
  }
  // Clicks the control and waits; the control then has the focus.
  void focus(int32_t id, const char* kind = gk::kKindEdit) { click(id, kind); }
  void press(uint32_t key, uint32_t character = 0) {
    user.press_key(h_, key, character);
    ASSERT_TRUE(user.settle(h_));
  }
  void press_with_control(uint32_t key) {
    user.hold(h_, platform::kVkControl);
    user.press_key(h_, key);
    user.release(h_, platform::kVkControl);
    ASSERT_TRUE(user.settle(h_));
  }
  void type(const std::string& text) {
    user.type_text(h_, text);
    ASSERT_TRUE(user.settle(h_));
  }
  gk::Callback counter() {
    return [this] {
      ++fired;
      fired_id = gk::getcallbackcontrolid();
      ran.set();
    };
  }
  int32_t count(const platform::Page& p, const Rect& r, platform::Pixel colour) {
    int32_t n = 0;
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) n += p.at(x, y) == colour;
    return n;
  }

  std::atomic<int32_t> fired{0};
  std::atomic<int32_t> fired_id{-5};
  platform::Event ran;
};

TEST_F(TextBoxes, EnterRunsTheOneLineBoxsCallbackOnceAndTypesNothing) {
  const int32_t one = gk::createtextbox(10, 10, 200, 24);
  const int32_t many = gk::createmultilinetextbox(10, 50, 200, 80, 1);
  gk::settextboxentercallback(one, counter());
  focus(one);
  type("ab");
  press(platform::kVkReturn, '\r');
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(fired_id, one);
  EXPECT_EQ(contents(one), "ab");
  focus(many);
  type("ab\ncd");
  EXPECT_EQ(contents(many), "ab\ncd");
  EXPECT_EQ(gk::gettextboxcurrentline(many), 1);
  EXPECT_EQ(gk::gettextboxpositionfromline(many, 1), 3);
  EXPECT_EQ(gk::gettextboxlinefromposition(many, 1), 0);
  EXPECT_EQ(fired, 1);  // a multi-line box has no Enter callback
  gk::settextboxentercallback(one, nullptr);
  focus(one);
  press(platform::kVkReturn, '\r');
  EXPECT_FALSE(ran.wait(0));
}

TEST_F(TextBoxes, MultiLineBoxesWrapLongLinesOrScrollThemSideways) {
  const int32_t wrapped = gk::createmultilinetextbox(10, 10, 120, 80, 1);
  const int32_t sideways = gk::createmultilinetextbox(140, 10, 120, 80, 0);
  const std::string text = "the quick brown fox jumps over the lazy dog";
  for (int32_t id : {wrapped, sideways}) gk::settextboxcontents(id, text.c_str());
  const int32_t second = gk::gettextboxpositionfromline(wrapped, 1);
  ASSERT_GT(second, 0);
  EXPECT_EQ(text[second - 1], ' ');  // the row was cut after a blank
  EXPECT_GE(gk::gettextboxlinefromposition(wrapped, static_cast<int32_t>(text.size())), 1);
  EXPECT_EQ(gk::gettextboxpositionfromline(sideways, 1), -1);  // one line, scrolled sideways
  EXPECT_EQ(gk::gettextboxlinefromposition(sideways, static_cast<int32_t>(text.size())), 0);
  EXPECT_EQ(contents(wrapped), text);  // wrapping adds no line breaks to the text
}

TEST_F(TextBoxes, TextWithCrLfReadsBackAsSetAndHasOneLinePerBreak) {
  const int32_t id = gk::createmultilinetextbox(10, 10, 200, 80, 1);
  gk::settextboxcontents(id, "first\r\nsecond\r\n");
  EXPECT_EQ(contents(id), "first\r\nsecond\r\n");
  EXPECT_EQ(gk::gettextboxpositionfromline(id, 1), 7);
  EXPECT_EQ(gk::gettextboxpositionfromline(id, 2), 15);
  EXPECT_EQ(gk::gettextboxpositionfromline(id, 3), -1);
  gk::settextboxcursorposition(id, 6);  // between CR and LF: the caret goes past the break
  EXPECT_EQ(gk::gettextboxcursorposition(id), 7);
  EXPECT_EQ(gk::gettextboxcurrentline(id), 1);
}

TEST_F(TextBoxes, NumbersInAndOut) {
  const int32_t id = gk::createtextbox(10, 10, 200, 24);
  struct Case {
    const char* text;
    int32_t integer;
    double real;
  };
  for (const Case& c : {Case{"42abc", 42, 42.0},
                        Case{"", 0, 0.0},
                        Case{"2.5e1x", 2, 25.0},
                        Case{"  -7", -7, -7.0},
                        Case{"abc", 0, 0.0}}) {
    SCOPED_TRACE(c.text);
    gk::settextboxcontents(id, c.text);
    EXPECT_EQ(gk::gettextboxinteger(id), c.integer);
    EXPECT_DOUBLE_EQ(gk::gettextboxdouble(id), c.real);
  }
  gk::settextboxinteger(id, -123);
  EXPECT_EQ(contents(id), "-123");
  gk::settextboxdouble(id, 0.5);
  EXPECT_EQ(contents(id), "0.500000");
  gk::settextboxdouble(id, 1e300);  // 301 digits and six decimals, all of them
  EXPECT_EQ(gk::gettextboxlength(id), std::snprintf(nullptr, 0, "%f", 1e300));
  EXPECT_DOUBLE_EQ(std::atof(std::string(1, '1').c_str()), 1.0);
  gk::settextboxcontents(id, nullptr);
  EXPECT_EQ(gk::gettextboxlength(id), 0);
}

TEST_F(TextBoxes, CopiesIntoBuffersAreBoundedAndWholeCharacters) {
  const int32_t id = gk::createtextbox(10, 10, 200, 24);
  gk::settextboxcontents(id, "h\xC3\xA9llo");  // 6 bytes
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(gk::gettextboxcontents(id, buffer, 3), 1);  // "h", the é would be split
  EXPECT_STREQ(buffer, "h");
  EXPECT_EQ(buffer[3], 'x');
  EXPECT_EQ(gk::gettextboxcontents(id, nullptr, 0), 6);
  EXPECT_EQ(gk::gettextboxcontents(id, buffer, 0), 6);
  EXPECT_EQ(gk::gettextboxcontents(id, buffer, sizeof buffer), 6);
  EXPECT_STREQ(buffer, "h\xC3\xA9llo");
  EXPECT_EQ(gk::gettextboxcontents(99, buffer, sizeof buffer), -1);
  EXPECT_EQ(gk::gettextboxlength(99), -1);
}

TEST_F(TextBoxes, SelectionCaretAndEditing) {
  const int32_t id = gk::createtextbox(10, 10, 200, 24);
  gk::settextboxcontents(id, "abcdefgh");
  gk::settextboxcursorposition(id, 2);
  EXPECT_EQ(gk::gettextboxselectionlength(id), 0);
  EXPECT_EQ(gk::textboxselect(id, 3), 5);
  EXPECT_EQ(gk::gettextboxcursorposition(id), 2);
  char buffer[8] = {};
  EXPECT_EQ(gk::gettextboxselection(id, buffer, sizeof buffer), 4);  // "cde" and its NUL
  EXPECT_STREQ(buffer, "cde");
  EXPECT_EQ(gk::gettextboxselection(id, buffer, 2), 2);
  EXPECT_STREQ(buffer, "c");
  EXPECT_EQ(gk::gettextboxselectionlength(id), 4);
  gk::deletetextboxselection(id);
  EXPECT_EQ(contents(id), "abfgh");
  gk::inserttextboxtext(id, "XY");
  EXPECT_EQ(contents(id), "abXYfgh");
  EXPECT_EQ(gk::gettextboxcursorposition(id), 4);
  // Inserting past the limit raises it.
  const std::string long_text(40000, 'z');
  gk::inserttextboxtext(id, long_text.c_str());
  EXPECT_EQ(gk::gettextboxlength(id), 7 + 40000);
  gk::settextboxeditable(id, 0);
  focus(id);
  type("q");
  EXPECT_EQ(gk::gettextboxlength(id), 7 + 40000);
  gk::settextboxeditable(id, 1);
  press(platform::kVkEnd);
  type("q");
  EXPECT_EQ(gk::gettextboxlength(id), 7 + 40001);
}

TEST_F(TextBoxes, TypingMouseSelectionAndUnicode) {
  const int32_t id = gk::createtextbox(10, 10, 200, 24);
  focus(id);
  type("\xD0\xB6\xE2\x82\xAC\xC3\xA9");  // Cyrillic zhe, euro sign, e acute: not narrowed
  EXPECT_EQ(contents(id), "\xD0\xB6\xE2\x82\xAC\xC3\xA9");
  user.hold(h_, platform::kVkShift);
  user.press_key(h_, platform::kVkLeft);
  user.press_key(h_, platform::kVkLeft);
  user.release(h_, platform::kVkShift);
  ASSERT_TRUE(user.settle(h_));
  char buffer[16] = {};
  gk::gettextboxselection(id, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "\xE2\x82\xAC\xC3\xA9");
  press(platform::kVkBack);
  EXPECT_EQ(contents(id), "\xD0\xB6");
  gk::settextboxcontents(id, "hello world");
  const auto place = state(id, gk::kKindEdit).place;
  user.drag(h_, Point{place.left + 4, place.top + 10}, Point{place.right - 4, place.top + 10});
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(gk::gettextboxselectionlength(id), 12);  // all of it, and its NUL
}

TEST_F(TextBoxes, CopyAndPasteBetweenTwoBoxes) {
  const int32_t from = gk::createtextbox(10, 10, 200, 24);
  const int32_t to = gk::createtextbox(10, 50, 200, 24);
  gk::settextboxcontents(from, "copy me");
  gk::settextboxcontents(to, "<>");
  focus(from);
  press_with_control('A');
  press_with_control('C');
  focus(to);
  press(platform::kVkHome);
  press(platform::kVkRight);
  press_with_control('V');
  EXPECT_EQ(contents(to), "<copy me>");
  char buffer[16] = {};
  EXPECT_EQ(gk::getfromclipboard(buffer, sizeof buffer), 7);  // the display's clipboard
  EXPECT_STREQ(buffer, "copy me");
  focus(from);
  press_with_control('A');
  press_with_control('X');
  EXPECT_EQ(contents(from), "");
  gk::sendtoclipboard("pasted");
  press_with_control('V');
  EXPECT_EQ(contents(from), "pasted");
}

TEST_F(TextBoxes, RightJustifiedWindowMakesRightAlignedBoxes) {
  rec_->text.horiz = 2;
  const int32_t id = gk::createtextbox(10, 10, 200, 24);
  rec_->text.horiz = 0;
  EXPECT_EQ(system.style(control(id, gk::kKindEdit)) & platform::kEsRight, platform::kEsRight);
  gk::settextboxcontents(id, "12");
  ASSERT_TRUE(user.settle(h_));
  const platform::Page shown = user.shown(h_);
  EXPECT_EQ(count(shown, Rect{14, 14, 110, 30}, 0x000000), 0);
  EXPECT_GT(count(shown, Rect{110, 14, 206, 30}, 0x000000), 5);
}

TEST_F(TextBoxes, ListBoxEntriesTextAndUserSelection) {
  const int32_t id = gk::createlistbox(10, 10, 150, 100, counter());
  EXPECT_EQ(gk::insertlistboxentry(id, -1, "alpha"), 0);
  EXPECT_EQ(gk::insertlistboxentry(id, -1, "gamma"), 1);
  EXPECT_EQ(gk::insertlistboxentry(id, 1, "beta"), 1);
  EXPECT_EQ(gk::insertlistboxentry(id, 9, "far"), -1);
  EXPECT_EQ(gk::insertlistboxentry(id, -1, nullptr), -1);
  EXPECT_EQ(gk::insertlistboxentry(42, -1, "x"), -1);
  EXPECT_EQ(gk::getlistboxlength(id), 3);
  // The size rule: the text's bytes + 2 must be below the buffer's length.
  char buffer[16];
  struct Case {
    int32_t length;
    int32_t expected;
  };
  for (const Case& c : {Case{6, -2}, Case{7, -2}, Case{8, 6}, Case{0, -1}, Case{16, 6}}) {
    SCOPED_TRACE(c.length);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(gk::getlistboxtext(id, 2, buffer, c.length), c.expected);
    if (c.expected > 0) {
      EXPECT_EQ(std::string(buffer, 7), std::string("gamma\0\0", 7));
    }
  }
  EXPECT_EQ(gk::getlistboxtext(id, 3, buffer, 16), -1);
  EXPECT_EQ(gk::getlistboxtext(id, 0, nullptr, 16), -1);
  EXPECT_EQ(gk::getlistboxselection(id), -1);
  gk::setlistboxselection(id, 2);  // the program's selection fires nothing
  EXPECT_EQ(gk::getlistboxselection(id), 2);
  ASSERT_TRUE(user.settle(h_));
  EXPECT_FALSE(ran.wait(0));
  const auto place = state(id, gk::kKindListBox).place;
  user.click(h_, Point{place.left + 20, place.top + 4});  // the first entry
  ASSERT_TRUE(user.settle(h_));
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(fired_id, id);
  EXPECT_EQ(gk::getlistboxselection(id), 0);
  EXPECT_EQ(gk::removelistboxentry(id, 0), 2);
  EXPECT_EQ(gk::getlistboxselection(id), -1);
  EXPECT_EQ(gk::removelistboxentry(id, 5), -1);
  gk::clearlistboxentries(id);
  EXPECT_EQ(gk::getlistboxlength(id), 0);
}

TEST_F(TextBoxes, DropDownSelectsItsFirstEntryAndOpensForTheUser) {
  const int32_t id = gk::createdropdownlist(10, 10, 150, 120, counter());
  EXPECT_EQ(gk::insertdropdownlistentry(id, -1, "Easy"), 0);
  EXPECT_EQ(gk::getdropdownlistselection(id), 0);
  EXPECT_EQ(gk::insertdropdownlistentry(id, -1, "Moderate"), 1);
  EXPECT_EQ(gk::insertdropdownlistentry(id, -1, "Difficult"), 2);
  EXPECT_EQ(gk::getdropdownlistselection(id), 0);
  ASSERT_TRUE(user.settle(h_));
  EXPECT_FALSE(ran.wait(0));  // selected by the program: no callback
  char buffer[16] = {};
  EXPECT_EQ(gk::getdropdownlisttext(id, 1, buffer, sizeof buffer), 9);
  EXPECT_STREQ(buffer, "Moderate");
  const platform::Hwnd combo = control(id, gk::kKindComboBox);
  int32_t height = 0;
  ASSERT_EQ(gk::getdropdownlistposition(id, nullptr, nullptr, nullptr, &height), 1);
  EXPECT_LT(height, 40);  // the field is one line; the list drops below it
  click(id, gk::kKindComboBox);
  ASSERT_EQ(system.send_message(combo, platform::kMsgCbGetDroppedState), 1);
  const platform::Page field = user.shown(h_);
  EXPECT_GT(count(field, Rect{14, 13, 140, 28}, 0x000080), 50);  // focused: highlighted
  platform::Hwnd popup = 0;
  for (platform::Hwnd h = 0x10000; h < 0x10100 && popup == 0; ++h)
    if (system.class_name(h) == "#combolist") popup = h;
  ASSERT_NE(popup, 0u);
  const platform::Page list = user.shown(popup);
  ASSERT_GT(list.height(), 0);
  testsupport::TempDir dir;
  ASSERT_TRUE(platform::write_bmp24((dir.path() / "dropdown.bmp").string(), list));
  if (const char* keep = std::getenv("VARQEN_DROPDOWN_BMP")) platform::write_bmp24(keep, list);
  const int32_t row = (list.height() - 2) / 3;
  user.click(popup, Point{20, 1 + row * 2 + row / 2});  // "Difficult"
  ASSERT_TRUE(user.settle(h_));
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(gk::getdropdownlistselection(id), 2);
  EXPECT_EQ(system.send_message(combo, platform::kMsgCbGetDroppedState), 0);
  press(platform::kVkUp);  // keys select too, and tell
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(gk::getdropdownlistselection(id), 1);
  EXPECT_EQ(fired, 2);
}

TEST_F(TextBoxes, AWindowWithEachSavesAsABitmap) {
  const int32_t box = gk::createtextbox(10, 10, 200, 24);
  const int32_t many = gk::createmultilinetextbox(10, 44, 200, 60, 1);
  const int32_t list = gk::createlistbox(220, 10, 150, 94, nullptr);
  const int32_t drop = gk::createdropdownlist(10, 120, 150, 100, nullptr);
  gk::settextboxcontents(box, "selected text");
  gk::settextboxcursorposition(box, 0);
  gk::textboxselect(box, 8);
  gk::settextboxcontents(many, "first line\nsecond line");
  for (const char* e : {"alpha", "beta", "gamma"}) gk::insertlistboxentry(list, -1, e);
  gk::setlistboxselection(list, 1);
  gk::insertdropdownlistentry(drop, -1, "Moderate");
  ASSERT_TRUE(user.settle(h_));
  const platform::Page p = user.shown(h_);
  EXPECT_GT(count(p, Rect{12, 12, 100, 32}, 0x000080), 100);    // the selection
  EXPECT_GT(count(p, Rect{222, 12, 368, 102}, 0x000080), 100);  // the selected entry
  testsupport::TempDir dir;
  ASSERT_TRUE(platform::write_bmp24((dir.path() / "textboxes.bmp").string(), p));
  if (const char* keep = std::getenv("VARQEN_TEXTBOXES_BMP")) platform::write_bmp24(keep, p);
}

}  // namespace
