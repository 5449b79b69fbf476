// List boxes and drop-down lists: their scroll bars, and the open list closing on a press
// anywhere outside it.
#include <cstdlib>
#include <string>

#include "controls_fixture.hpp"
#include "platform/image/bmp.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace platform;
using platform_test::ControlHost;

constexpr int32_t kEdge = 2, kBar = 16;  // the sunken frame; the bar's thickness
constexpr Pixel kWhite = 0xFFFFFF, kBlack = 0x000000, kLit = 0x000080;

class Lists : public ControlHost {
 protected:
  int32_t row_height() { return Font::default_gui()->height() + 2; }
  // A list box showing `rows` entries at once, holding `count` ("0", "1", ...).
  Hwnd list(int32_t rows, int32_t count, uint32_t style = kLbsNotify | kStyleVScroll) {
    const Hwnd l =
        make(kClassListBox, "", style, {10, 10, 160, 10 + 2 * kEdge + rows * row_height()});
    fill(l, kMsgLbAddString, count);
    return l;
  }
  void fill(Hwnd l, uint32_t add, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      const std::string text = std::to_string(i);
      system.send_message(l, add, 0, reinterpret_cast<int64_t>(text.c_str()));
    }
  }
  int64_t top(Hwnd l) { return system.send_message(l, kMsgLbGetTopIndex); }
  // The bar's state; pos -1 when no bar is shown.
  ScrollInfo bar(Hwnd l) {
    ScrollInfo info;
    info.mask = kSifRange | kSifPage | kSifPos;
    if (system.send_message(l, kMsgSbmGetScrollInfo, kSbsVert, reinterpret_cast<int64_t>(&info)) ==
        0)
      info.pos = -1;
    return info;
  }
  Hwnd open_list() {
    for (Hwnd h = 0x10000; h < 0x10400; ++h)
      if (system.class_name(h) == kClassComboList) return h;
    return 0;
  }
  bool dropped(Hwnd combo) { return system.send_message(combo, kMsgCbGetDroppedState) == 1; }
};

TEST_F(Lists, BarShowsOnlyWhileTheEntriesDoNotFit) {
  const Hwnd l = list(5, 5);
  EXPECT_EQ(bar(l).pos, -1);
  const Rect f = system.frame_rect(l);
  system.send_message(l, kMsgLbSetCurSel, 0);
  EXPECT_EQ(shown().at(f.right - kEdge - 2, f.top + kEdge + 2), kLit);  // the entry's full width
  system.send_message(l, kMsgLbAddString, 0, reinterpret_cast<int64_t>("5"));
  const ScrollInfo b = bar(l);
  EXPECT_EQ(b.min, 0);
  EXPECT_EQ(b.max, 5);
  EXPECT_EQ(b.page, 5u);
  EXPECT_EQ(b.pos, 0);
  const Page p = shown();
  EXPECT_EQ(p.at(f.right - kEdge - kBar, f.top + kEdge), kWhite);        // the up arrow's bevel
  EXPECT_EQ(p.at(f.right - kEdge - kBar - 2, f.top + kEdge + 2), kLit);  // the entry stops short
  system.send_message(l, kMsgLbDeleteString, 5);
  EXPECT_EQ(bar(l).pos, -1);
  // Without kStyleVScroll there is never a bar.
  const Hwnd plain = make(kClassListBox, "", kLbsNotify, {200, 10, 300, 60});
  fill(plain, kMsgLbAddString, 20);
  EXPECT_EQ(bar(plain).pos, -1);
}

TEST_F(Lists, ArrowsTrackThumbAndWheelScrollTheEntries) {
  const Hwnd l = list(5, 20);
  const Rect f = system.frame_rect(l);
  const int32_t bar_x = f.width() - kEdge - kBar / 2;
  user.click(hwnd_, in(l, {bar_x, f.height() - kEdge - 4}));  // the down arrow: one entry
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(top(l), 1);
  EXPECT_EQ(bar(l).pos, 1);
  EXPECT_NE(system.focus(), l);
  user.click(hwnd_, in(l, {bar_x, kEdge + 4}));  // the up arrow
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(top(l), 0);
  user.click(hwnd_, in(l, {bar_x, f.height() - kEdge - kBar - 2}));  // the track: a page
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(top(l), 5);
  user.wheel(hwnd_, in(l, {20, 10}), -120);  // three entries a notch
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(top(l), 8);
  user.wheel(hwnd_, in(l, {20, 10}), -1200);  // at most to the last page
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(top(l), 15);
  EXPECT_EQ(bar(l).pos, 15);
  // The thumb: 5 of 20 entries long, at the end of its travel of 15.
  const int32_t track = f.height() - 2 * kEdge - 2 * kBar;
  const int32_t thumb = track * 5 / 20;
  const int32_t thumb_top = kEdge + kBar + 15 * (track - thumb) / 15;
  Page p = shown();
  EXPECT_EQ(p.at(f.right - kEdge - kBar, f.top + thumb_top), kWhite);
  EXPECT_EQ(p.at(f.right - kEdge - 1, f.top + thumb_top + thumb - 1), kBlack);
  // Dragged up by half its travel: entry 7 or 8 on top, the thumb following the pointer.
  user.drag(
      hwnd_, in(l, {bar_x, thumb_top + 3}), in(l, {bar_x, thumb_top + 3 - (track - thumb) / 2}));
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_NEAR(top(l), 7.5, 0.6);
  // A click on an entry picks the entry shown there.
  const int64_t first = top(l);
  user.click(hwnd_, in(l, {20, kEdge + row_height() + 2}));
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(system.send_message(l, kMsgLbGetCurSel), first + 1);
  // The bar follows the keys.
  user.press_key(hwnd_, kVkEnd);
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(system.send_message(l, kMsgLbGetCurSel), 19);
  EXPECT_EQ(bar(l).pos, 15);
  user.press_key(hwnd_, kVkHome);
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(bar(l).pos, 0);
  // Requests to its own bar, as a program sends them.
  system.send_message(l, kMsgVScroll, kSbBottom, 0);
  EXPECT_EQ(top(l), 15);
  system.send_message(l, kMsgVScroll, (uint64_t{4} << 16) | kSbThumbPosition, 0);
  EXPECT_EQ(top(l), 4);
  // Deleting entries pulls the view back within the entries.
  for (int32_t i = 0; i < 12; ++i) system.send_message(l, kMsgLbDeleteString, 0);
  EXPECT_EQ(top(l), 3);
  EXPECT_EQ(bar(l).pos, 3);
}

TEST_F(Lists, PageHomeAndEndKeysMoveTheSelectionKeepItInViewAndTellIt) {
  const Hwnd l = list(4, 20);
  user.click(hwnd_, in(l, {20, kEdge + 2}));  // entry 0, and the focus
  ASSERT_TRUE(user.settle(hwnd_));
  ASSERT_EQ(system.send_message(l, kMsgLbGetCurSel), 0);
  clear_notices();
  struct Step {
    uint32_t key;
    int32_t selection, top;
    bool told;
  };
  size_t told = 0;
  for (const Step& s : {Step{kVkNext, 3, 0, true},  // a page is the rows shown less one
                        Step{kVkNext, 6, 3, true},
                        Step{kVkPrior, 3, 3, true},
                        Step{kVkPrior, 0, 0, true},
                        Step{kVkPrior, 0, 0, false},  // nothing before the first
                        Step{kVkEnd, 19, 16, true},
                        Step{kVkNext, 19, 16, false},
                        Step{kVkPrior, 16, 16, true},
                        Step{kVkHome, 0, 0, true}}) {
    SCOPED_TRACE(testing::Message() << "key " << s.key << " to " << s.selection);
    user.press_key(hwnd_, s.key);
    const std::vector<Notice> n = notices();
    EXPECT_EQ(system.send_message(l, kMsgLbGetCurSel), s.selection);
    EXPECT_EQ(top(l), s.top);
    EXPECT_EQ(bar(l).pos, s.top);
    told += s.told;
    ASSERT_EQ(n.size(), told);
    EXPECT_EQ(n.back(), (Notice{kMsgCommand, 0, static_cast<int16_t>(kLbnSelChange), l}));
  }
  // A drop-down list pages by the entries its open list shows (five here).
  const int32_t field = Font::default_gui()->height() + 8;
  const Hwnd combo = make(
      kClassComboBox, "", kCbsDropDownList, {200, 10, 300, 10 + field + 2 + 5 * row_height()});
  fill(combo, kMsgCbAddString, 20);
  system.send_message(combo, kMsgCbSetCurSel, 1);
  system.set_focus(combo);
  user.press_key(hwnd_, kVkNext);
  EXPECT_EQ(notices().size(), told + 1);
  EXPECT_EQ(system.send_message(combo, kMsgCbGetCurSel), 5);
  user.press_key(hwnd_, kVkPrior);
  user.press_key(hwnd_, kVkPrior);
  EXPECT_EQ(notices().size(), told + 3);
  EXPECT_EQ(system.send_message(combo, kMsgCbGetCurSel), 0);
}

TEST_F(Lists, OpenDropDownClosesOnAPressOutsideIt) {
  const Hwnd combo = make(kClassComboBox, "", kCbsDropDownList | kStyleVScroll, {10, 10, 160, 150});
  fill(combo, kMsgCbAddString, 3);
  system.send_message(combo, kMsgCbSetCurSel, 0);
  const Rect f = system.frame_rect(combo);
  struct Case {
    const char* where;
    Point at;  // in the window's client area
  };
  for (const Case& c : {Case{"bare window background", {250, 200}},
                        Case{"another control", {250, 20}},
                        Case{"the field toggles it", {f.left + 20, f.top + 5}}}) {
    SCOPED_TRACE(c.where);
    if (c.at.y == 20) make(kClassStatic, "label", kSsLeft, {240, 10, 300, 30});
    user.click(hwnd_, Point{f.left + 20, f.top + 5});
    ASSERT_TRUE(user.settle(hwnd_));
    ASSERT_TRUE(dropped(combo));
    user.click(hwnd_, c.at);
    ASSERT_TRUE(user.settle(hwnd_));
    EXPECT_FALSE(dropped(combo));
    EXPECT_EQ(open_list(), 0u);
  }
  // A press the display reports to the open list outside it (it holds the pointer) reaches no
  // window, not even the field under it: it closes the list.
  user.click(hwnd_, Point{f.left + 20, f.top + 5});
  ASSERT_TRUE(user.settle(hwnd_));
  ASSERT_TRUE(dropped(combo));
  const int32_t field_height = system.frame_rect(combo).height();
  ASSERT_LT(field_height, 40);                       // cut to one line
  const Point field_on_list{20, -field_height / 2};  // the list lies right below the field
  user.mouse_down(open_list(), field_on_list);
  user.mouse_up(open_list(), field_on_list);
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_FALSE(dropped(combo));
  // A press in the open list does not close it; choosing an entry does.
  user.click(hwnd_, Point{f.left + 20, f.top + 5});
  ASSERT_TRUE(user.settle(hwnd_));
  const Hwnd popup = open_list();
  ASSERT_NE(popup, 0u);
  user.mouse_down(popup, {20, 3});
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_TRUE(dropped(combo));
  user.mouse_up(popup, {20, 3});
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_FALSE(dropped(combo));
}

TEST_F(Lists, OpenDropDownScrollsItsEntries) {
  // Room for about five entries below the field; twelve entries.
  const int32_t h = row_height();
  const Hwnd combo = make(kClassComboBox,
                          "",
                          kCbsDropDownList | kStyleVScroll,
                          {10, 10, 160, 10 + (h + 6) + 5 * h + 2});
  fill(combo, kMsgCbAddString, 12);
  system.send_message(combo, kMsgCbSetCurSel, 10);
  user.click_control(combo);
  ASSERT_TRUE(user.settle(hwnd_));
  const Hwnd popup = open_list();
  ASSERT_NE(popup, 0u);
  const Page before = user.shown(popup);
  const int32_t w = before.width(), rows = (before.height() - 2) / h;
  ASSERT_GE(rows, 3);
  EXPECT_EQ(before.at(w - 1 - kBar, 1), kWhite);  // the bar's up arrow
  // The selection is in view: the last rows show entry 10 lit.
  int32_t lit_row = -1;
  for (int32_t r = 0; r < rows; ++r)
    if (before.at(w - 1 - kBar - 4, 1 + r * h + h / 2) == kLit) lit_row = r;
  EXPECT_EQ(lit_row, rows - 1);
  user.press_key(hwnd_, kVkDown);  // keys move the selection and the view
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(system.send_message(combo, kMsgCbGetCurSel), 11);
  user.click(popup, {w - 1 - kBar / 2, 4});  // the up arrow scrolls; the list stays open
  ASSERT_TRUE(user.settle(hwnd_));
  ASSERT_TRUE(dropped(combo));
  const Page after = user.shown(popup);
  if (const char* keep = std::getenv("VARQEN_DROPPED_BMP")) write_bmp24(keep, after);
  const int32_t x = w - 1 - kBar - 4;                          // right of the entries' text
  EXPECT_EQ(after.at(x, 1 + (rows - 1) * h + h / 2), kWhite);  // the selection went down a row,
  EXPECT_EQ(after.at(x, 1 + (rows - 2) * h + h / 2), kWhite);  // out of view
  user.click(popup, {20, 1 + h / 2});  // the first entry shown: 12 - rows - 1
  ASSERT_TRUE(user.settle(hwnd_));
  EXPECT_FALSE(dropped(combo));
  EXPECT_EQ(system.send_message(combo, kMsgCbGetCurSel), 12 - rows - 1);
}

TEST_F(Lists, ListWithItsBarLook) {
  const Hwnd l = list(6, 15);
  system.send_message(l, kMsgLbSetCurSel, 2);
  system.send_message(l, kMsgVScroll, kSbLineDown, 0);
  const Page p = shown();
  const Rect f = system.frame_rect(l);
  EXPECT_EQ(p.at(f.left + kEdge + 2, f.top + kEdge + row_height() + 2), kLit);  // entry 2, row 1
  testsupport::TempDir dir;
  ASSERT_TRUE(write_bmp24((dir.path() / "list.bmp").string(), p));
  if (const char* keep = std::getenv("VARQEN_LIST_BMP")) write_bmp24(keep, p);
}

}  // namespace
