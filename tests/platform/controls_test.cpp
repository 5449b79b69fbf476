// The built-in controls: how they are drawn, how they take the mouse and the keys, what they
// tell their parent.
#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "controls_fixture.hpp"
#include "gfx_pages.hpp"
#include "platform/gfx/device_context.hpp"
#include "platform/image/bmp.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace platform;
using gfx_test::count;
using platform_test::ControlHost;

using ControlClasses = ControlHost;

constexpr Pixel kWhite = 0xFFFFFF, kBlack = 0x000000, kFace = 0xC0C0C0, kGrey = 0x808080,
                kLight = 0xDFDFDF;

TEST_F(ControlClasses, ChildrenPaintOverTheirParentAndHiddenOnesLeaveItsPixels) {
  const Hwnd b = make(kClassButton, "OK", kBsPushButton, {20, 20, 120, 44});
  Page p = shown();
  EXPECT_EQ(p.at(20, 20), kWhite);   // raised bevel: outer top-left
  EXPECT_EQ(p.at(119, 43), kBlack);  // outer bottom-right
  EXPECT_EQ(p.at(21, 21), kLight);
  EXPECT_EQ(p.at(118, 42), kGrey);
  EXPECT_EQ(p.at(25, 24), kFace);
  EXPECT_EQ(p.at(19, 20), ControlHost::kBackground);
  EXPECT_EQ(p.at(120, 44), ControlHost::kBackground);
  system.show_window(b, false);  // the parent repaints the place by itself
  p = shown();
  EXPECT_EQ(p.at(20, 20), ControlHost::kBackground);
  EXPECT_EQ(p.at(60, 30), ControlHost::kBackground);
  system.show_window(b, true);
  system.move_window(b, {150, 100, 250, 124});
  p = shown();
  EXPECT_EQ(p.at(20, 20), ControlHost::kBackground);  // where it was
  EXPECT_EQ(p.at(150, 100), kWhite);                  // where it is
}

TEST_F(ControlClasses, AChildsInvalidationIsItsParentsOverTheChildsPlace) {
  const Hwnd b = make(kClassButton, "OK", kBsPushButton, {20, 30, 120, 54});
  const Hwnd hidden = make(kClassButton, "no", kBsPushButton, {150, 30, 200, 54});
  shown();
  Rect whole, part, none;
  on_window_thread([&] {
    system.invalidate(b, nullptr);
    whole = system.update_rect(hwnd_);
    system.paint(hwnd_, nullptr);
    const Rect r{2, 3, 10, 8};
    system.invalidate(b, &r);
    part = system.update_rect(hwnd_);
    system.paint(hwnd_, nullptr);
    system.show_window(hidden, false);
    system.paint(hwnd_, nullptr);
    system.invalidate(hidden, nullptr);
    none = system.update_rect(hwnd_);
  });
  EXPECT_EQ(whole, (Rect{20, 30, 120, 54}));
  EXPECT_EQ(part, (Rect{22, 33, 30, 38}));
  EXPECT_TRUE(none.empty());
}

TEST_F(ControlClasses, PressedButtonCapturesTheMouseAndClicksOnlyWhenReleasedOverItself) {
  const Hwnd b = make(kClassButton, "Go", kBsPushButton, {20, 20, 120, 44});
  const Hwnd other = make(kClassButton, "Other", kBsPushButton, {20, 60, 120, 84});
  // Pressed: drawn sunken, until the pointer leaves.
  user.mouse_down(hwnd_, in(b, {10, 10}));
  Page p = shown();
  EXPECT_EQ(p.at(20, 20), kBlack);
  EXPECT_EQ(p.at(21, 21), kGrey);
  EXPECT_EQ(system.capture(), b);
  user.mouse_move(hwnd_, {200, 200});
  EXPECT_EQ(shown().at(20, 20), kWhite);
  user.mouse_up(hwnd_, in(other, {10, 10}));  // released over another button
  EXPECT_TRUE(notices().empty());
  EXPECT_EQ(system.capture(), 0u);
  // Out and back in: the release over the button clicks it.
  user.mouse_down(hwnd_, in(b, {10, 10}));
  user.mouse_move(hwnd_, {200, 200});
  user.mouse_move(hwnd_, in(b, {50, 5}));
  user.mouse_up(hwnd_, in(b, {50, 5}));
  const std::vector<ControlHost::Notice> clicked{{kMsgCommand, kBnClicked, 0, b}};
  EXPECT_EQ(notices(), clicked);
}

TEST_F(ControlClasses, CheckBoxesToggleAndRadioButtonsUncheckTheRestOfTheirGroup) {
  const Hwnd box = make(kClassButton, "box", kBsAutoCheckBox, {10, 10, 110, 30});
  const Hwnd r1 = make(kClassButton, "r1", kBsAutoRadioButton | kStyleGroup, {10, 40, 110, 60});
  const Hwnd r2 = make(kClassButton, "r2", kBsAutoRadioButton, {10, 60, 110, 80});
  const Hwnd r3 = make(kClassButton, "r3", kBsAutoRadioButton | kStyleGroup, {10, 80, 110, 100});
  auto check = [&](Hwnd h) { return system.send_message(h, kMsgBmGetCheck); };
  user.click_control(box);
  EXPECT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(check(box), kBstChecked);
  user.click_control(box);
  EXPECT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(check(box), kBstUnchecked);
  user.click_control(r1);
  user.click_control(r3);
  user.click_control(r2);
  EXPECT_TRUE(user.settle(hwnd_));
  EXPECT_EQ(check(r1), kBstUnchecked);
  EXPECT_EQ(check(r2), kBstChecked);
  EXPECT_EQ(check(r3), kBstChecked);  // another group
  EXPECT_EQ(notices().size(), 5u);
  // The program's setting leaves the rest of the group alone.
  system.send_message(r1, kMsgBmSetCheck, kBstChecked);
  EXPECT_EQ(check(r2), kBstChecked);
}

TEST_F(ControlClasses, SpaceAndEnterClickTheFocusedButton) {
  const Hwnd b = make(kClassButton, "Go", kBsPushButton, {20, 20, 120, 44});
  system.set_focus(b);
  user.press_key(hwnd_, kVkSpace, ' ');
  user.press_key(hwnd_, kVkReturn, '\r');
  system.send_message(b, kMsgBmClick);
  EXPECT_EQ(notices().size(), 3u);
}

TEST_F(ControlClasses, TabAndShiftTabMoveAmongEnabledVisibleTabStops) {
  dialog_keys_ = true;
  const Hwnd a = make(kClassButton, "a", kBsPushButton | kStyleTabStop, {10, 10, 60, 30});
  make(kClassStatic, "label", kSsLeft, {10, 40, 60, 60});  // no tab stop
  const Hwnd b = make(kClassButton, "b", kBsAutoCheckBox | kStyleTabStop, {10, 70, 60, 90});
  const Hwnd off = make(kClassButton, "off", kBsPushButton | kStyleTabStop, {10, 100, 60, 120});
  const Hwnd c = make(kClassScrollBar, "", kSbsHorz | kStyleTabStop, {10, 130, 160, 146});
  system.enable_window(off, false);
  struct Step {
    bool back;
    Hwnd focus;
  };
  for (const Step s : {Step{false, a},
                       Step{false, b},
                       Step{false, c},
                       Step{false, a},
                       Step{true, c},
                       Step{true, b}}) {
    if (s.back) user.hold(hwnd_, kVkShift);
    user.press_tab(hwnd_);
    if (s.back) user.release(hwnd_, kVkShift);
    ASSERT_TRUE(user.settle(hwnd_));
    EXPECT_EQ(system.focus(), s.focus);
  }
  EXPECT_TRUE(notices().empty());  // Tab clicks nothing
}

TEST_F(ControlClasses, EnterClicksTheDefaultButtonWhenFocusIsElsewhere) {
  dialog_keys_ = true;
  const Hwnd ok = make(kClassButton, "Ok", kBsDefPushButton | kStyleTabStop, {10, 10, 60, 30});
  const Hwnd box = make(kClassButton, "box", kBsAutoCheckBox | kStyleTabStop, {10, 40, 90, 60});
  system.set_focus(box);
  user.press_key(hwnd_, kVkReturn, '\r');
  const std::vector<ControlHost::Notice> clicked{{kMsgCommand, kBnClicked, 0, ok}};
  EXPECT_EQ(notices(), clicked);
  EXPECT_EQ(system.send_message(box, kMsgBmGetCheck), kBstUnchecked);
  // The default button has a black frame round its bevel.
  const Page p = shown();
  EXPECT_EQ(p.at(10, 10), kBlack);
  EXPECT_EQ(p.at(11, 11), kWhite);
}

TEST_F(ControlClasses, DisabledControlsTakeNoInputAndDrawEtchedGreyText) {
  const Hwnd b = make(kClassButton, "Cancel", kBsPushButton, {20, 20, 120, 44});
  // Inside the bevel only the caption differs from the face.
  const Rect inside{23, 23, 117, 41};
  auto dark = [&](const Page& p) {
    int n = 0;
    for (int y = inside.top; y < inside.bottom; ++y)
      for (int x = inside.left; x < inside.right; ++x) n += (p.at(x, y) & 0xFF) < 0x40;
    return n;
  };
  const Page before = shown();
  EXPECT_GT(dark(before), 20);
  EXPECT_EQ(count(before, inside, kWhite), 0);
  system.enable_window(b, false);
  user.click_control(b);
  EXPECT_TRUE(notices().empty());
  const Page after = shown();
  EXPECT_EQ(dark(after), 0);                   // no black text
  EXPECT_GT(count(after, inside, kWhite), 0);  // the etched highlight
}

TEST_F(ControlClasses, FocusedButtonShowsADottedFrame) {
  const Hwnd b = make(kClassButton, "Go", kBsPushButton, {20, 20, 120, 44});
  const Rect top_row{24, 23, 116, 24};
  EXPECT_EQ(count(shown(), top_row, kBlack), 0);
  system.set_focus(b);
  const Page p = shown();
  EXPECT_EQ(count(p, top_row, kBlack), 46);  // every other pixel of 92
  EXPECT_EQ(p.at(24, 23), kFace);            // dots where x + y is even
  EXPECT_EQ(p.at(25, 23), kBlack);
}

TEST_F(ControlClasses, CheckBoxAndRadioButtonLooks) {
  // 20 pixels high: the 13-pixel box starts 3 pixels down.
  const Hwnd box = make(kClassButton, "box", kBsAutoCheckBox, {10, 10, 110, 30});
  const Hwnd radio = make(kClassButton, "radio", kBsAutoRadioButton, {10, 40, 110, 60});
  const Rect box_inside{12, 15, 21, 24};
  Page p = shown();
  EXPECT_EQ(count(p, box_inside, kWhite), 81);
  EXPECT_EQ(p.at(10, 13), kGrey);   // the sunken frame
  EXPECT_EQ(p.at(16, 49), kWhite);  // the radio's centre
  EXPECT_EQ(p.at(11, 47), kGrey);   // its outer ring, upper left
  EXPECT_EQ(p.at(12, 48), kBlack);  // its inner ring, upper left
  EXPECT_EQ(p.at(21, 51), kWhite);  // its outer ring, lower right
  system.send_message(box, kMsgBmSetCheck, kBstChecked);
  system.send_message(radio, kMsgBmSetCheck, kBstChecked);
  p = shown();
  EXPECT_EQ(p.at(13, 18), kBlack);  // the tick starts 3 right, 5 down of the box
  EXPECT_EQ(p.at(19, 16), kBlack);  // and rises to the right
  EXPECT_EQ(count(p, box_inside, kBlack), 21);
  EXPECT_EQ(p.at(16, 49), kBlack);
  system.enable_window(box, false);
  p = shown();
  EXPECT_EQ(count(p, box_inside, kGrey), 21);  // greyed tick on the face
  EXPECT_EQ(count(p, box_inside, kFace), 60);
}

TEST_F(ControlClasses, ScrollBarAsksItsParentAndKeepsItsPositionInRange) {
  const Hwnd bar = make(kClassScrollBar, "", kSbsVert, {200, 10, 216, 210});
  ScrollInfo info;
  info.mask = kSifRange | kSifPage;
  info.min = 0;
  info.max = 100;
  info.page = 10;
  system.send_message(bar, kMsgSbmSetScrollInfo, 1, reinterpret_cast<int64_t>(&info));
  EXPECT_EQ(system.send_message(bar, kMsgSbmSetPos, 200, 1), 0);  // the previous position
  EXPECT_EQ(system.send_message(bar, kMsgSbmGetPos), 91);
  system.send_message(bar, kMsgSbmSetPos, 0, 1);
  user.click(hwnd_, in(bar, {8, 4}));    // top arrow
  user.click(hwnd_, in(bar, {8, 195}));  // bottom arrow
  user.click(hwnd_, in(bar, {8, 100}));  // track below the thumb
  const std::vector<ControlHost::Notice> expected{{kMsgVScroll, kSbLineUp, 0, bar},
                                                  {kMsgVScroll, kSbEndScroll, 0, bar},
                                                  {kMsgVScroll, kSbLineDown, 0, bar},
                                                  {kMsgVScroll, kSbEndScroll, 0, bar},
                                                  {kMsgVScroll, kSbPageDown, 0, bar},
                                                  {kMsgVScroll, kSbEndScroll, 0, bar}};
  EXPECT_EQ(notices(), expected);
  // The bar never moves itself: the parent did not, so the position is still 0.
  EXPECT_EQ(system.send_message(bar, kMsgSbmGetPos), 0);
  clear_notices();
  // Dragging the 16-pixel thumb (track 168 pixels, 152 to travel) by 76 pixels: position 46.
  user.drag(hwnd_, in(bar, {8, 20}), in(bar, {8, 96}));
  const std::vector<ControlHost::Notice> dragged{{kMsgVScroll, kSbThumbTrack, 23, bar},
                                                 {kMsgVScroll, kSbThumbTrack, 46, bar},
                                                 {kMsgVScroll, kSbThumbPosition, 46, bar},
                                                 {kMsgVScroll, kSbEndScroll, 0, bar}};
  EXPECT_EQ(notices(), dragged);
}

TEST_F(ControlClasses, ScrollBarLook) {
  const Hwnd bar = make(kClassScrollBar, "", kSbsHorz, {10, 100, 210, 116});
  ScrollInfo info;
  info.mask = kSifRange | kSifPage | kSifPos;
  info.max = 100;
  info.page = 10;
  info.pos = 91;
  system.send_message(bar, kMsgSbmSetScrollInfo, 1, reinterpret_cast<int64_t>(&info));
  const Page p = shown();
  EXPECT_EQ(p.at(10, 100), kWhite);  // left arrow's bevel
  EXPECT_EQ(p.at(25, 115), kBlack);
  EXPECT_EQ(p.at(18, 107), kBlack);  // its triangle's tip
  EXPECT_EQ(p.at(30, 108), kFace);   // the checkered track: white where x + y is odd
  EXPECT_EQ(p.at(31, 108), kWhite);
  EXPECT_EQ(p.at(178, 100), kWhite);  // the thumb at the end of the track: 178..193
  EXPECT_EQ(p.at(193, 115), kBlack);
  system.enable_window(bar, false);
  const Page q = shown();
  EXPECT_EQ(q.at(18, 107), kGrey);   // grey triangles, no thumb
  EXPECT_EQ(q.at(180, 108), kFace);  // the track shows through
  EXPECT_EQ(q.at(181, 108), kWhite);
}

TEST_F(ControlClasses, StaticTextAndTheSetFontMessage) {
  const Hwnd label = make(kClassStatic, "Label", kSsLeft, {10, 10, 200, 60});
  const Rect area{10, 10, 200, 60};
  const int small = count(shown(), area, kBlack);
  EXPECT_GT(small, 0);
  EXPECT_EQ(count(shown(), area, kWhite), 0);
  auto big = Font::create({-30, 400, FontFamily::Swiss, "", false});
  ASSERT_TRUE(big);
  system.send_message(label, kMsgSetFont, reinterpret_cast<uint64_t>(&big), 1);
  EXPECT_GT(count(shown(), area, kBlack), 2 * small);
}

TEST_F(ControlClasses, ControlsTheUserCannotTypeInAskTheirParentForTheirBackground) {
  // The parent answers a brush and leaves the context opaque with a colour of its own, so the
  // fill and the boxes behind the text show that the control used what it was given.
  constexpr Pixel kBrush = 0x4080A0, kCell = 0xF0E000;
  const BrushRef brush = Brush::solid(to_colorref(kBrush));
  std::mutex lock;
  std::vector<Hwnd> asked;
  WindowProc host;
  on_window_thread([&] {
    host = system.set_window_proc(hwnd_, [&](Hwnd h, uint32_t m, uint64_t w, int64_t l) {
      if (m != kMsgCtlColorStatic) return host(h, m, w, l);
      std::lock_guard<std::mutex> g(lock);
      asked.push_back(static_cast<Hwnd>(l));
      reinterpret_cast<DeviceContext*>(w)->set_bk_color(to_colorref(kCell));
      return reinterpret_cast<int64_t>(brush.get());
    });
  });
  struct Case {
    const char* what;
    const char* cls;
    uint32_t style;
    Pixel background;  // near the lower right corner; kBrush when it asks
  };
  const Case cases[] = {
      {"label", kClassStatic, kSsLeft, kBrush},
      {"check box", kClassButton, kBsAutoCheckBox, kBrush},
      {"radio button", kClassButton, kBsAutoRadioButton, kBrush},
      {"group box", kClassButton, kBsGroupBox, kBrush},
      {"read-only field", kClassEdit, kEsReadOnly, kBrush},
      {"read-only multi-line field", kClassEdit, kEsReadOnly | kEsMultiline, kBrush},
      {"disabled field", kClassEdit, kStyleDisabled, kBrush},
      {"field", kClassEdit, 0, kWhite},
      {"push button", kClassButton, kBsPushButton, kFace},
  };
  std::vector<Hwnd> made;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const int x = 10 + 150 * static_cast<int>(i % 2), y = 10 + 30 * static_cast<int>(i / 2);
    made.push_back(make(cases[i].cls, "Text", cases[i].style, {x, y, x + 140, y + 24}));
  }
  const Page p = shown();
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    const Rect f = system.frame_rect(made[i]);
    const bool asks = c.background == kBrush;
    {
      std::lock_guard<std::mutex> g(lock);
      EXPECT_EQ(std::count(asked.begin(), asked.end(), made[i]) > 0, asks);
    }
    EXPECT_EQ(p.at(f.right - 6, f.bottom - 6), c.background);
    EXPECT_EQ(count(p, f, kCell) > 0, asks);  // opaque text on the context's colour
  }
  on_window_thread([&] { system.set_window_proc(hwnd_, host); });
}

TEST_F(ControlClasses, ListBoxTellsADoubleClickOnAnEntryAfterItsSelection) {
  const Hwnd told = make(kClassListBox, "", kLbsNotify, {10, 10, 150, 120});
  const Hwnd quiet = make(kClassListBox, "", 0, {160, 10, 300, 120});
  for (const Hwnd list : {told, quiet})
    for (const char* entry : {"first", "second"})
      system.send_message(list, kMsgLbAddString, 0, reinterpret_cast<int64_t>(entry));
  const int32_t row = Font::default_gui()->height() + 2;  // entries lie below a 2-pixel border
  const auto second_row = [&](Hwnd list) { return in(list, {20, 2 + row + row / 2}); };
  user.double_click(hwnd_, second_row(told));
  user.double_click(hwnd_, in(told, {20, 100}));  // below the entries: nothing
  user.double_click(hwnd_, second_row(quiet));
  // A command notice keeps the control's id (0) in `code` and its notification in `position`.
  const std::vector<Notice> want{{kMsgCommand, 0, kLbnSelChange, told},
                                 {kMsgCommand, 0, kLbnDblClk, told}};
  EXPECT_EQ(notices(), want);
  EXPECT_EQ(system.send_message(quiet, kMsgLbGetCurSel), 1);
}

TEST_F(ControlClasses, WindowWithOneOfEachSavesAsABitmap) {
  make(kClassButton, "Fit", kBsDefPushButton, {10, 10, 90, 34});
  make(kClassButton, "Cancel", kBsPushButton, {100, 10, 180, 34});
  const Hwnd off = make(kClassButton, "Off", kBsPushButton, {190, 10, 270, 34});
  const Hwnd box = make(kClassButton, "Weights", kBsAutoCheckBox, {10, 44, 120, 64});
  make(kClassButton, "Linear", kBsAutoRadioButton | kStyleGroup, {130, 44, 230, 64});
  const Hwnd r2 = make(kClassButton, "Log", kBsAutoRadioButton, {130, 64, 230, 84});
  make(kClassButton, "Options", kBsGroupBox, {10, 90, 180, 150});
  make(kClassStatic, "Tolerance", kSsLeft, {20, 110, 170, 130});
  const Hwnd bar = make(kClassScrollBar, "", kSbsHorz, {10, 160, 250, 176});
  make(kClassScrollBar, "", kSbsVert, {280, 44, 296, 200});
  system.enable_window(off, false);
  system.send_message(box, kMsgBmSetCheck, kBstChecked);
  system.send_message(r2, kMsgBmSetCheck, kBstChecked);
  system.send_message(bar, kMsgSbmSetPos, 40, 1);
  const Page p = shown();
  testsupport::TempDir dir;
  const std::string file = (dir.path() / "controls.bmp").string();
  ASSERT_TRUE(write_bmp24(file, p));
  const auto back = read_bmp(file);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->width(), p.width());
  ASSERT_EQ(back->height(), p.height());
  EXPECT_EQ(count(*back, {0, 0, p.width(), p.height()}, kBlack),
            count(p, {0, 0, p.width(), p.height()}, kBlack));
  // VARQEN_CONTROLS_BMP names a file to keep the picture in, for a person to look at.
  if (const char* keep = std::getenv("VARQEN_CONTROLS_BMP")) write_bmp24(keep, p);
}

}  // namespace
