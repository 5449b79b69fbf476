// Text fields: word wrapping, the caret through wrapped rows, their own scroll bars and the
// change notification.
#include <cstdlib>

#include "controls_fixture.hpp"
#include "platform/image/bmp.hpp"
#include "platform/text/text_layout.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace platform;
using platform_test::ControlHost;

// Multi-line styles as the toolkit makes them: wrapping, and scrolling sideways instead.
constexpr uint32_t kWantReturn = 0x1000, kAutoVScroll = 0x40;
constexpr uint32_t kWrapping = kEsMultiline | kAutoVScroll | kWantReturn | kStyleVScroll;
constexpr uint32_t kSideways = kWrapping | kEsAutoHScroll | kStyleHScroll;
// The text area lies 2 pixels inside the sunken frame, itself 2 pixels wide; bars are 16.
constexpr int32_t kEdge = 4, kBar = 16;

class EditFields : public ControlHost {
 protected:
  int32_t width_of(const std::u16string& text) {
    return measure_text(*Font::default_gui(), text).width;
  }
  int32_t row_height() { return Font::default_gui()->height(); }
  // A wrapping field whose text area is exactly as wide as "aaaa bbbb " (with its blank).
  Hwnd narrow_field(int32_t top = 10, int32_t rows = 3) {
    const int32_t w = width_of(u"aaaa bbbb ") + 2 * kEdge + kBar;
    return make(
        kClassEdit, "", kWrapping, {10, top, 10 + w, top + 2 * kEdge + rows * row_height()});
  }
  void set(Hwnd e, const char* text) {
    system.send_message(e, kMsgSetText, 0, reinterpret_cast<int64_t>(text));
  }
  int64_t ask(Hwnd e, uint32_t m, uint64_t wp = 0) { return system.send_message(e, m, wp); }
  int32_t caret(Hwnd e) {
    int32_t from = 0, to = 0;
    system.send_message(
        e, kMsgEmGetSel, reinterpret_cast<uint64_t>(&from), reinterpret_cast<int64_t>(&to));
    return to;
  }
  ScrollInfo bar(Hwnd e, bool vertical) {
    ScrollInfo info;
    info.mask = kSifRange | kSifPage | kSifPos;
    EXPECT_EQ(system.send_message(e,
                                  kMsgSbmGetScrollInfo,
                                  vertical ? kSbsVert : kSbsHorz,
                                  reinterpret_cast<int64_t>(&info)),
              1);
    return info;
  }
  void key(uint32_t k, uint32_t character = 0) { user.press_key(hwnd_, k, character); }
  std::pair<int32_t, int32_t> selection(Hwnd e) {
    int32_t from = -1, to = -1;
    system.send_message(
        e, kMsgEmGetSel, reinterpret_cast<uint64_t>(&from), reinterpret_cast<int64_t>(&to));
    return {from, to};
  }
  // The pixels of two fields of one size that differ as shown.
  int32_t differences(Hwnd a, Hwnd b) {
    const Page p = shown();
    const Rect fa = system.frame_rect(a), fb = system.frame_rect(b);
    EXPECT_EQ(fa.width(), fb.width());
    EXPECT_EQ(fa.height(), fb.height());
    int32_t n = 0;
    for (int32_t y = 0; y < fa.height(); ++y)
      for (int32_t x = 0; x < fa.width(); ++x)
        n += p.at(fa.left + x, fa.top + y) != p.at(fb.left + x, fb.top + y);
    return n;
  }
  // Each key, then where the caret is.
  struct Step {
    uint32_t key;
    int32_t caret;
  };
  void walk(Hwnd e, std::initializer_list<Step> steps) {
    for (const Step& s : steps) {
      key(s.key);
      ASSERT_TRUE(user.settle(hwnd_));
      SCOPED_TRACE(testing::Message() << "key " << s.key << " to " << s.caret);
      EXPECT_EQ(caret(e), s.caret);
    }
  }
  std::vector<Notice> changes() {
    std::vector<Notice> out;
    for (const Notice& n : notices())
      if (n.message == kMsgCommand) out.push_back(n);
    return out;
  }
};

TEST_F(EditFields, LongTextWrapsAtBlanksAndALongWordIsBroken) {
  const Hwnd e = narrow_field();
  set(e, "aaaa bbbb aaaa bbbb cc");
  EXPECT_EQ(ask(e, kMsgEmGetLineCount), 3);
  EXPECT_EQ(ask(e, kMsgEmLineIndex, 1), 10);  // after "aaaa bbbb "
  EXPECT_EQ(ask(e, kMsgEmLineIndex, 2), 20);
  EXPECT_EQ(ask(e, kMsgEmLineFromChar, 15), 1);
  EXPECT_EQ(ask(e, kMsgEmLineIndex, 3), -1);
  // A word longer than the row is broken where it stops fitting.
  const std::u16string word = u"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz";
  set(e, "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz");
  const int32_t area = width_of(u"aaaa bbbb ");
  const int64_t cut = ask(e, kMsgEmLineIndex, 1);
  ASSERT_GT(cut, 0);
  EXPECT_LE(width_of(word.substr(0, cut)), area);
  EXPECT_GT(width_of(word.substr(0, cut + 1)), area);
  // Line breaks still end rows.
  set(e, "a\n\nb");
  EXPECT_EQ(ask(e, kMsgEmGetLineCount), 3);
  EXPECT_EQ(ask(e, kMsgEmLineIndex, 2), 3);
}

TEST_F(EditFields, CaretMovesThroughWrappedRows) {
  const Hwnd e = narrow_field();
  set(e, "aaaa bbbb aaaa bbbb");  // rows [0, 10) and [10, 19): the same letters, the same x
  user.click(hwnd_, in(e, {kEdge + 1, kEdge + 1}));
  ASSERT_TRUE(user.settle(hwnd_));  // the focus is the field's before the keys come
  struct Step {
    uint32_t key;
    int32_t caret;
    int32_t caret_row;  // the row the caret shows on
  };
  for (const Step& s : {Step{kVkRight, 1, 0},
                        Step{kVkRight, 2, 0},
                        Step{kVkDown, 12, 1},
                        Step{kVkEnd, 19, 1},
                        Step{kVkUp, 9, 0},
                        Step{kVkEnd, 10, 0},  // the end of a wrapped row, shown on that row
                        Step{kVkRight, 11, 1},
                        Step{kVkHome, 10, 1},
                        Step{kVkLeft, 9, 0},
                        Step{kVkDown, 19, 1}}) {
    key(s.key);
    ASSERT_TRUE(user.settle(hwnd_));
    SCOPED_TRACE(testing::Message() << "key " << s.key << " to " << s.caret);
    EXPECT_EQ(caret(e), s.caret);
    EXPECT_EQ(ask(e, kMsgEmLineIndex, static_cast<uint64_t>(-1)),
              ask(e, kMsgEmLineIndex, s.caret_row));
  }
}

TEST_F(EditFields, AClickOnTheSecondRowPutsTheCaretThere) {
  const Hwnd e = narrow_field();
  set(e, "aaaa bbbb aaaa bbbb");
  const int32_t h = row_height();
  user.click(hwnd_, in(e, {kEdge + 1, kEdge + h + h / 2}));
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(caret(e), 10);
  EXPECT_EQ(system.focus(), e);
  // Past the text of the first row: its end, on that row.
  user.click(hwnd_, in(e, {kEdge + width_of(u"aaaa bbbb") + 3, kEdge + h / 2}));
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(caret(e), 10);
  EXPECT_EQ(ask(e, kMsgEmLineIndex, static_cast<uint64_t>(-1)), 0);
  // A drag from the first row into the second selects across the cut.
  user.drag(hwnd_, in(e, {kEdge + 1, kEdge + h / 2}), in(e, {kEdge + 1, kEdge + h + h / 2}));
  ASSERT_TRUE(user.settle(hwnd_));
  int32_t from = -1, to = -1;
  system.send_message(
      e, kMsgEmGetSel, reinterpret_cast<uint64_t>(&from), reinterpret_cast<int64_t>(&to));
  EXPECT_EQ(from, 0);
  EXPECT_EQ(to, 10);
}

TEST_F(EditFields, WithoutWrappingALongLineScrollsSideways) {
  const int32_t w = width_of(u"aaaa bbbb ") + 2 * kEdge + kBar;
  const Hwnd e =
      make(kClassEdit, "", kSideways, {10, 10, 10 + w, 10 + 2 * kEdge + kBar + 3 * row_height()});
  set(e, "aaaa bbbb aaaa bbbb");
  EXPECT_EQ(ask(e, kMsgEmGetLineCount), 1);
  const ScrollInfo before = bar(e, false);
  EXPECT_EQ(before.pos, 0);
  EXPECT_EQ(before.max, width_of(u"aaaa bbbb aaaa bbbb"));
  EXPECT_EQ(before.page, static_cast<uint32_t>(width_of(u"aaaa bbbb ")));
  user.click(hwnd_, in(e, {kEdge + 1, kEdge + 1}));
  ASSERT_TRUE(user.settle(hwnd_));
  key(kVkEnd);
  ASSERT_TRUE(user.settle(hwnd_));
  // The caret at the end of the line is in view at the area's right edge.
  EXPECT_EQ(bar(e, false).pos, width_of(u"aaaa bbbb aaaa bbbb") - width_of(u"aaaa bbbb ") + 1);
  key(kVkHome);
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(bar(e, false).pos, 0);
  // The bar's right arrow scrolls by the width of an "x", its track by the area's width.
  const Rect f = system.frame_rect(e);
  const int32_t bar_y = f.height() - 2 - kBar / 2;
  user.click(hwnd_, in(e, {f.width() - 2 - kBar - 4, bar_y}));
  ASSERT_TRUE(user.settle(hwnd_));
  const int32_t x_width = Font::default_gui()->glyph(U'x').advance;
  EXPECT_EQ(bar(e, false).pos, x_width);
  user.click(hwnd_, in(e, {f.width() - 2 - 2 * kBar - 2, bar_y}));  // the track after the thumb
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(bar(e, false).pos, before.max - static_cast<int32_t>(before.page) + 1);  // the end
  // A one-line field scrolls too.
  const Hwnd one = make(kClassEdit, "", kEsAutoHScroll, {10, 150, 60, 174});
  set(one, "a rather long line of text");
  system.send_message(one, kMsgEmSetSel, 26, 26);
  EXPECT_GT(ask(one, kMsgEmGetFirstVisibleLine), 10);
}

TEST_F(EditFields, VerticalBarScrollsRowsAndFollowsTheCaretAndTheWheel) {
  const Hwnd e = narrow_field(10, 6);
  set(e, "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n17\n18\n19\n20");
  ScrollInfo v = bar(e, true);
  EXPECT_EQ(v.min, 0);
  EXPECT_EQ(v.max, 19);
  EXPECT_EQ(v.page, 6u);
  EXPECT_EQ(v.pos, 0);
  const Rect f = system.frame_rect(e);
  const int32_t bar_x = f.width() - 2 - kBar / 2;
  user.click(hwnd_, in(e, {bar_x, 2 + 4}));               // the up arrow: nothing above
  user.click(hwnd_, in(e, {bar_x, f.height() - 2 - 4}));  // the down arrow: a row
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(ask(e, kMsgEmGetFirstVisibleLine), 1);
  EXPECT_EQ(bar(e, true).pos, 1);
  EXPECT_NE(system.focus(), e);                                  // the bar takes no focus
  user.click(hwnd_, in(e, {bar_x, f.height() - 2 - kBar - 2}));  // the track below the thumb
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(ask(e, kMsgEmGetFirstVisibleLine), 7);  // a page of six rows
  user.wheel(hwnd_, in(e, {20, 10}), -120);         // one notch down: three rows
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(ask(e, kMsgEmGetFirstVisibleLine), 10);
  EXPECT_EQ(bar(e, true).pos, 10);
  user.wheel(hwnd_, in(e, {20, 10}), -360);  // at most to the last page
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(ask(e, kMsgEmGetFirstVisibleLine), 14);
  user.wheel(hwnd_, in(e, {20, 10}), 240);
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(ask(e, kMsgEmGetFirstVisibleLine), 8);
  // The caret moved below the rows shown brings them along, and the bar with them.
  system.send_message(e, kMsgEmSetSel, 42, 42);  // the start of "18"
  EXPECT_EQ(ask(e, kMsgEmGetFirstVisibleLine), 12);
  EXPECT_EQ(bar(e, true).pos, 12);
  // The thumb is six twentieths of the track, 12 of 14 rows of travel down; dragged above the
  // track it scrolls to the top.
  const int32_t track = f.height() - 4 - 2 * kBar;
  const int32_t thumb = track * 6 / 20;
  const int32_t thumb_top = 2 + kBar + 12 * (track - thumb) / 14;
  const Page p = shown();
  EXPECT_EQ(p.at(f.left + bar_x - kBar / 2, f.top + thumb_top), 0xFFFFFFu);  // its bevel
  EXPECT_EQ(p.at(f.left + bar_x + kBar / 2 - 1, f.top + thumb_top + thumb - 1), 0x000000u);
  user.drag(hwnd_, in(e, {bar_x, thumb_top + 2}), in(e, {bar_x, 2 + kBar - 40}));
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(ask(e, kMsgEmGetFirstVisibleLine), 0);
  EXPECT_EQ(bar(e, true).pos, 0);
}

TEST_F(EditFields, TypingTellsEachChangeAndTheProgramsChangesAreNotTold) {
  const Hwnd e = narrow_field();
  set(e, "seed");
  system.send_message(e, kMsgEmReplaceSel, 0, reinterpret_cast<int64_t>("x"));
  user.click(hwnd_, in(e, {kEdge + 1, kEdge + 1}));
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_TRUE(changes().empty());
  user.type_text(hwnd_, "ab");
  key(kVkBack);
  key(kVkLeft);
  key(kVkLeft);
  key(kVkLeft);
  key(kVkLeft);
  key(kVkBack);  // at the start: nothing to delete, nothing told
  key(kVkReturn, '\r');
  ASSERT_TRUE(user.settle(hwnd_));
  const Notice change{kMsgCommand, 0, static_cast<int16_t>(kEnChange), e};
  EXPECT_EQ(changes(), std::vector<Notice>(4, change));  // a, b, Backspace, Enter
  system.send_message(e, kMsgEmSetReadOnly, 1);
  clear_notices();
  user.type_text(hwnd_, "zz");
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_TRUE(changes().empty());
}

TEST_F(EditFields, ABorderedFieldMadeOnAShownWindowDrawsItsWholeFrame) {
  shown();  // the window is painted before the field comes
  const Hwnd e = make(kClassEdit, "", kWrapping | kStyleBorder, {20, 20, 160, 100});
  set(e, "text");
  const Page p = shown();
  const Rect f = system.frame_rect(e);
  EXPECT_EQ(p.at(f.left, f.top), 0x808080u);  // the sunken frame's outer ring
  EXPECT_EQ(p.at(f.right - 1, f.bottom - 1), 0xFFFFFFu);
  EXPECT_EQ(p.at(f.left + 1, f.top + 1), 0x000000u);  // and its inner ring
}

TEST_F(EditFields, WrappedFieldWithItsBarLook) {
  const Hwnd e = narrow_field(20, 6);
  set(e, "aaaa bbbb aaaa bbbb aaaa bbbb aaaa bbbb aaaa bbbb aaaa bbbb cccc dddd");
  const Page p = shown();
  const Rect f = system.frame_rect(e);
  const int32_t bar_left = f.right - 2 - kBar;
  EXPECT_EQ(p.at(bar_left, f.top + 2), 0xFFFFFFu);  // the up arrow's raised bevel
  EXPECT_EQ(p.at(bar_left + kBar / 2, f.top + 2 + kBar / 2 - 2), 0x000000u);  // its triangle
  // The thumb: six of eight rows shown, at the top of the track.
  const int32_t track = f.height() - 4 - 2 * kBar;
  const int32_t thumb = track * 6 / 8;
  EXPECT_EQ(p.at(bar_left, f.top + 2 + kBar), 0xFFFFFFu);
  EXPECT_EQ(p.at(bar_left + kBar - 1, f.top + 2 + kBar + thumb - 1), 0x000000u);
  EXPECT_EQ(p.at(bar_left + 3, f.top + 2 + kBar + thumb / 2), 0xC0C0C0u);
  // Text on each of the six rows shown.
  int32_t ink[6] = {0, 0, 0, 0, 0, 0};
  for (int32_t row = 0; row < 6; ++row)
    for (int32_t y = 0; y < row_height(); ++y)
      for (int32_t x = f.left + kEdge; x < bar_left; ++x)
        ink[row] += p.at(x, f.top + kEdge + row * row_height() + y) != 0xFFFFFFu;
  for (int32_t n : ink) EXPECT_GT(n, 20);
  testsupport::TempDir dir;
  ASSERT_TRUE(write_bmp24((dir.path() / "wrapped.bmp").string(), p));
  if (const char* keep = std::getenv("VARQEN_EDIT_BMP")) write_bmp24(keep, p);
}

TEST_F(EditFields, MultiLineFieldShowsCrLfAsOneBreakAndKeepsItInItsText) {
  const int32_t h = 2 * kEdge + 3 * row_height();
  const Hwnd crlf = narrow_field(10), lf = narrow_field(20 + h);
  set(crlf, "ab\r\ncd\r\nef");
  set(lf, "ab\ncd\nef");
  EXPECT_EQ(system.text(crlf), "ab\r\ncd\r\nef");  // read back as set
  EXPECT_EQ(ask(crlf, kMsgEmGetLineCount), 3);
  EXPECT_EQ(ask(crlf, kMsgEmLineIndex, 1), 4);
  EXPECT_EQ(ask(crlf, kMsgEmLineIndex, 2), 8);
  EXPECT_EQ(differences(crlf, lf), 0);
  // Selected whole, the rows light only their text, as with bare line feeds.
  system.send_message(crlf, kMsgEmSetSel, 0, -1);
  system.send_message(lf, kMsgEmSetSel, 0, -1);
  EXPECT_EQ(differences(crlf, lf), 0);
  // The caret steps over each break as over one character, and never stops inside it.
  user.click(hwnd_, in(crlf, {kEdge + 1, kEdge + 1}));
  ASSERT_TRUE(user.settle(hwnd_));
  walk(crlf,
       {{kVkEnd, 2},
        {kVkRight, 4},
        {kVkLeft, 2},
        {kVkDown, 6},
        {kVkRight, 8},
        {kVkUp, 4},
        {kVkLeft, 2}});
  system.send_message(crlf, kMsgEmSetSel, 3, 3);  // the program's position inside a break
  EXPECT_EQ(caret(crlf), 4);
  // Backspace and Delete take a break whole.
  key(kVkBack);
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(system.text(crlf), "abcd\r\nef");
  EXPECT_EQ(caret(crlf), 2);
  system.send_message(crlf, kMsgEmSetSel, 4, 4);
  key(kVkDelete);
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(system.text(crlf), "abcdef");
}

TEST_F(EditFields, PastedLineBreaksBecomeTheFieldsOwnAndNoneIsLost) {
  const Hwnd multi = narrow_field();
  const Hwnd one = make(kClassEdit, "", kEsAutoHScroll, {10, 150, 150, 174});
  ASSERT_TRUE(system.set_clipboard_text("one\rtwo\r\nthree\n"));
  for (Hwnd e : {multi, one}) {
    system.set_focus(e);
    user.hold(hwnd_, kVkControl);
    user.press_key(hwnd_, 'V');
    user.release(hwnd_, kVkControl);
    ASSERT_TRUE(user.settle(hwnd_));
  }
  EXPECT_EQ(system.text(multi), "one\ntwo\nthree\n");
  EXPECT_EQ(system.text(one), "one");  // a one-line field takes the first line
}

TEST_F(EditFields, OneLineFieldShowsALineBreakAsABlankOnItsOneRow) {
  const Hwnd broken = make(kClassEdit, "", kEsAutoHScroll, {10, 10, 150, 34});
  const Hwnd blank = make(kClassEdit, "", kEsAutoHScroll, {10, 50, 150, 74});
  set(broken, "ab\r\ncd\nef");
  set(blank, "ab cd ef");
  EXPECT_EQ(ask(broken, kMsgEmGetLineCount), 1);
  EXPECT_EQ(differences(broken, blank), 0);
  EXPECT_EQ(system.text(broken), "ab\r\ncd\nef");
  user.click(hwnd_, in(broken, {kEdge + 1, kEdge + 1}));
  ASSERT_TRUE(user.settle(hwnd_));
  walk(broken, {{kVkRight, 1}, {kVkRight, 2}, {kVkRight, 4}, {kVkLeft, 2}, {kVkEnd, 9}});
  // A click on the blank's right half goes past the whole break.
  const int32_t ab = width_of(u"ab"), gap = width_of(u" ");
  user.click(hwnd_, in(broken, {kEdge + ab + gap - 1, kEdge + 1}));
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(caret(broken), 4);
}

TEST_F(EditFields, AFieldShowsTheTextItWasCreatedWith) {
  const Hwnd made = make(kClassEdit, "made with", kEsAutoHScroll, {10, 10, 150, 34});
  const Hwnd set_later = make(kClassEdit, "", kEsAutoHScroll, {10, 50, 150, 74});
  set(set_later, "made with");
  EXPECT_EQ(differences(made, set_later), 0);
  system.send_message(made, kMsgEmSetSel, 0, -1);
  EXPECT_EQ(selection(made), (std::pair<int32_t, int32_t>{0, 9}));
  EXPECT_EQ(system.text(made), "made with");
  const Hwnd multi = make(kClassEdit, "one\r\ntwo", kWrapping, {10, 90, 150, 150});
  EXPECT_EQ(ask(multi, kMsgEmGetLineCount), 2);
}

TEST_F(EditFields, TabIntoAFieldSelectsItsWholeTextAndAClickDoesNot) {
  dialog_keys_ = true;
  const Hwnd before = make(kClassButton, "a", kBsPushButton | kStyleTabStop, {10, 10, 60, 30});
  const Hwnd e = make(kClassEdit, "hello", kEsAutoHScroll | kStyleTabStop, {10, 40, 150, 64});
  const Hwnd after = make(kClassButton, "b", kBsPushButton | kStyleTabStop, {10, 70, 60, 90});
  system.set_focus(before);
  user.press_tab(hwnd_);
  ASSERT_TRUE(user.settle(hwnd_));
  ASSERT_EQ(system.focus(), e);
  EXPECT_EQ(selection(e), (std::pair<int32_t, int32_t>{0, 5}));
  user.type_text(hwnd_, "x");  // replaces it
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(system.text(e), "x");
  user.press_tab(hwnd_);
  ASSERT_TRUE(user.settle(hwnd_));
  ASSERT_EQ(system.focus(), after);
  user.hold(hwnd_, kVkShift);  // back into it
  user.press_tab(hwnd_);
  user.release(hwnd_, kVkShift);
  ASSERT_TRUE(user.settle(hwnd_));
  ASSERT_EQ(system.focus(), e);
  EXPECT_EQ(selection(e), (std::pair<int32_t, int32_t>{0, 1}));
  // A click puts the caret where it was clicked and selects nothing.
  system.set_focus(before);
  user.click(hwnd_, in(e, {kEdge + 60, kEdge + 2}));
  ASSERT_TRUE(user.settle(hwnd_));
  ASSERT_EQ(system.focus(), e);
  EXPECT_EQ(selection(e), (std::pair<int32_t, int32_t>{1, 1}));
}

}  // namespace
