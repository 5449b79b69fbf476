// Controls that ask their parent for their background, as a toolkit window shows them: a label,
// a check box and a group box on the window itself (its procedure answers with the window's
// background brush and transparent text) and the same three on a plain platform panel beside
// them (its procedure leaves the request to default processing: the face colour). The headless
// and the X11 suites build it and judge the pixels they see.
#pragma once

#include <string>
#include <vector>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/control_paint.hpp"
#include "platform/window_system.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/drawing.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace toolkit_test {

struct StaticBackgroundCase {
  std::string what;
  platform::Rect frame;      // the control, in the window's client pixels
  platform::Rect text;       // a part of it holding text and its background only
  platform::Pixel expected;  // the background it must show
  platform::Pixel other;     // the other parent's background, which must not show
};

inline constexpr platform::Pixel kWindowBackground = 0x3090E0;  // the toolkit window's
inline constexpr platform::Pixel kUnderControls = 0x00FF00;     // the page beneath them

// Builds the scene on the current toolkit window (`record`, at least 400 x 160) and returns its
// cases.
inline std::vector<StaticBackgroundCase> make_static_background_scene(
    platform::WindowSystem& system, const gk::WindowRef& record) {
  using namespace platform;
  gk::setbkcolor(static_cast<int32_t>(to_colorref(kWindowBackground)));
  // The page keeps another colour: a control that left its place unpainted shows it.
  gk::setfillstyle(1, static_cast<int32_t>(to_colorref(kUnderControls)));
  gk::bar(0, 0, 400, 160);
  system.register_class("panel", 0, [&system](Hwnd h, uint32_t m, uint64_t w, int64_t l) {
    return system.default_window_proc(h, m, w, l);
  });
  auto make = [&](const char* cls, const char* text, uint32_t style, Rect frame, Hwnd parent) {
    const std::function<int64_t()> task = [&] {
      const Hwnd c = system.create_window({cls, text, kStyleChild | style, frame, parent});
      system.show_window(c, true);
      return static_cast<int64_t>(c);
    };
    return static_cast<Hwnd>(gk::run_on_window_thread(record, task, 0));
  };
  // The toolkit makes no labels of its own: one is made on its window's thread.
  make(kClassStatic, "Label text", kSsLeft, {10, 10, 190, 30}, record->hwnd);
  gk::createcheckbox(10, 40, 180, 20, "Check box", nullptr);
  gk::creategenericbutton(10, 70, 180, 80, "Group", nullptr, kBsGroupBox);
  const Hwnd panel = make("panel", "", 0, {200, 0, 400, 160}, record->hwnd);
  make(kClassStatic, "Label text", kSsLeft, {10, 10, 190, 30}, panel);
  make(kClassButton, "Check box", kBsAutoCheckBox, {10, 40, 190, 60}, panel);
  make(kClassButton, "Group", kBsGroupBox, {10, 70, 190, 150}, panel);

  std::vector<StaticBackgroundCase> cases;
  for (const int x : {0, 200}) {
    const bool toolkit = x == 0;
    const Pixel expected = toolkit ? kWindowBackground : control_paint::kFace;
    const Pixel other = toolkit ? control_paint::kFace : kWindowBackground;
    const std::string on = toolkit ? " on the toolkit window" : " on a platform panel";
    cases.push_back(
        {"label" + on, {x + 10, 10, x + 190, 30}, {x + 10, 10, x + 190, 30}, expected, other});
    // The caption starts right of the 13-pixel box; the group's above its frame line.
    cases.push_back(
        {"check box" + on, {x + 10, 40, x + 190, 60}, {x + 27, 40, x + 190, 60}, expected, other});
    cases.push_back(
        {"group box" + on, {x + 10, 70, x + 190, 150}, {x + 20, 70, x + 34, 80}, expected, other});
  }
  return cases;
}

// What is wrong with a case's pixels in `shown` (the window's client area); empty when right:
// text inked (dark pixels) and drawn transparently (no white boxes behind it); the whole place
// painted, mostly in its background, never in the other one.
inline std::string static_background_fault(const platform::Page& shown,
                                           const StaticBackgroundCase& c) {
  long ink = 0;
  for (int y = c.text.top; y < c.text.bottom; ++y)
    for (int x = c.text.left; x < c.text.right; ++x) {
      const platform::Pixel p = shown.at(x, y);
      if (p == 0xFFFFFF) return "opaque text";
      ink += (p >> 16) < 0x50 && ((p >> 8) & 0xFF) < 0x50 && (p & 0xFF) < 0x50;
    }
  if (ink == 0) return "no text";
  long background = 0;
  for (int y = c.frame.top; y < c.frame.bottom; ++y)
    for (int x = c.frame.left; x < c.frame.right; ++x) {
      const platform::Pixel p = shown.at(x, y);
      if (p == kUnderControls) return "unpainted pixel";
      if (p == c.other) return "the other parent's background";
      background += p == c.expected;
    }
  return 3 * background < c.frame.width() * c.frame.height() ? "too little background" : "";
}

}  // namespace toolkit_test
