// The "BUTTON" class: push buttons (default or not), check boxes, radio buttons, group boxes.
// Check boxes, radio buttons and group boxes paint on the background their parent gives
// (parent_background.hpp); push buttons on the button face.
//
// A press captures the mouse; the button shows pressed while the pointer is over it and
// clicks when the button is released over it. Space (on release) or Enter clicks a focused
// button. A click of an automatic check box toggles it; of an automatic radio button checks
// it and unchecks the other radio buttons of its group (the siblings from the nearest one
// with kStyleGroup at or before it up to the next with kStyleGroup). The parent then gets
// kMsgCommand with kBnClicked, so the state has already changed when the parent hears of it.
#include <algorithm>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/control_paint.hpp"
#include "platform/controls/parent_background.hpp"

namespace platform {
namespace {

namespace cp = control_paint;

struct ButtonState {
  uint32_t check = kBstUnchecked;
  bool pushed = false;    // drawn pressed
  bool tracking = false;  // the mouse button went down on it and is still held
  bool space_down = false;
  bool focused = false;
  std::shared_ptr<const Font> font;
};

constexpr int kBoxSize = 13;  // check box square and radio circle, pixels

std::shared_ptr<ButtonState> state_of(WindowSystem& system, Hwnd window) {
  auto s = std::static_pointer_cast<ButtonState>(system.class_data(window));
  if (!s) {
    s = std::make_shared<ButtonState>();
    system.set_class_data(window, s);
  }
  return s;
}

uint32_t kind_of(uint32_t style) { return style & kBsTypeMask; }
bool is_radio(uint32_t style) {
  return kind_of(style) == kBsRadioButton || kind_of(style) == kBsAutoRadioButton;
}
bool is_check(uint32_t style) {
  return kind_of(style) == kBsCheckBox || kind_of(style) == kBsAutoCheckBox;
}

// The radio buttons of the group `window` belongs to (itself included).
std::vector<Hwnd> radio_group(WindowSystem& system, Hwnd window) {
  const std::vector<Hwnd> siblings = system.children(system.parent(window));
  auto me = std::find(siblings.begin(), siblings.end(), window);
  if (me == siblings.end()) return {window};
  auto first = me;
  while (first != siblings.begin() && (system.style(*first) & kStyleGroup) == 0) --first;
  std::vector<Hwnd> group;
  for (auto it = first; it != siblings.end(); ++it) {
    if (it != first && (system.style(*it) & kStyleGroup) != 0) break;
    if (system.class_name(*it) == kClassButton && is_radio(system.style(*it))) group.push_back(*it);
  }
  return group;
}

void set_check(WindowSystem& system, Hwnd window, uint32_t check) {
  auto s = state_of(system, window);
  if (s->check == check) return;
  s->check = check;
  system.invalidate(window, nullptr);
}

void click(WindowSystem& system, Hwnd window) {
  const uint32_t style = system.style(window);
  if (kind_of(style) == kBsAutoCheckBox)
    set_check(system,
              window,
              state_of(system, window)->check == kBstChecked ? kBstUnchecked : kBstChecked);
  if (kind_of(style) == kBsAutoRadioButton) {
    for (Hwnd other : radio_group(system, window))
      if (other != window) set_check(system, other, kBstUnchecked);
    set_check(system, window, kBstChecked);
  }
  const Hwnd parent = system.parent(window);
  if (parent != 0)
    system.send_message(
        parent, kMsgCommand, static_cast<uint64_t>(kBnClicked) << 16, static_cast<int64_t>(window));
}

void set_pushed(WindowSystem& system, Hwnd window, bool pushed) {
  auto s = state_of(system, window);
  if (s->pushed == pushed) return;
  s->pushed = pushed;
  system.invalidate(window, nullptr);
}

void paint_box(Page& page,
               const Rect& box,
               bool radio,
               bool checked,
               bool enabled,
               bool pushed,
               const Rect& clip) {
  const Pixel inside = enabled && !pushed ? cp::kHighlight : cp::kFace;
  const Pixel mark = enabled ? cp::kText : cp::kGreyText;
  if (!radio) {
    cp::frame(page, box, cp::kShadow, cp::kHighlight, clip);
    const Rect in{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1};
    cp::frame(page, in, cp::kDarkShadow, cp::kLight, clip);
    cp::fill(page, Rect{in.left + 1, in.top + 1, in.right - 1, in.bottom - 1}, inside, clip);
    if (checked) {
      // A tick: down from (3, 5) to (5, 7), then up to (9, 3), three pixels thick.
      for (int i = 0; i <= 6; ++i) {
        const int x = box.left + 3 + i;
        const int y = box.top + (i <= 2 ? 5 + i : 7 - (i - 2));
        cp::fill(page, Rect{x, y, x + 1, y + 3}, mark, clip);
      }
    }
    return;
  }
  // A sunken circle around the box's centre (6, 6): by squared distance d from it, the
  // outer ring (25 < d <= 42) is shadow at the upper left and highlight at the lower right,
  // the inner ring (12 < d <= 25) dark shadow and light, the inside the field colour, and a
  // checked button has a dot (d <= 4).
  const int cx = box.left + 6, cy = box.top + 6;
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) {
      const int dx = x - cx, dy = y - cy, d = dx * dx + dy * dy;
      if (d > 42 || !clip.contains(x, y) || !page.contains(x, y)) continue;
      const bool upper_left = dx + dy < 0;
      Pixel p = inside;
      if (d > 25)
        p = upper_left ? cp::kShadow : cp::kHighlight;
      else if (d > 12)
        p = upper_left ? cp::kDarkShadow : cp::kLight;
      else if (checked && d <= 4)
        p = mark;
      page.at(x, y) = p;
    }
}

void paint(WindowSystem& system, Hwnd window, const ChildPaint& target) {
  auto s = state_of(system, window);
  const uint32_t style = system.style(window);
  const bool enabled = system.is_enabled(window);
  const std::string text = system.text(window);
  Page& page = *target.surface;
  const Rect r = target.bounds;
  const Rect& clip = target.clip;
  const auto font = cp::font_or_default(s->font);
  switch (kind_of(style)) {
    case kBsGroupBox: {
      const int half = font->height() / 2;
      ParentBackground background(system, window, target);
      background.fill(r);
      const Rect line{r.left, r.top + half, r.right, r.bottom};
      cp::frame(page, line, cp::kShadow, cp::kHighlight, clip);
      cp::frame(page,
                Rect{line.left + 1, line.top + 1, line.right - 1, line.bottom - 1},
                cp::kHighlight,
                cp::kShadow,
                clip);
      if (!text.empty()) {
        const TextExtent e = cp::text_extent(*font, text);
        const Rect label{r.left + 8, r.top, r.left + 12 + e.width, r.top + font->height()};
        background.fill(label);
        cp::caption(page,
                    *font,
                    text,
                    Rect{label.left + 2, label.top, label.right, label.bottom},
                    0,
                    enabled,
                    clip,
                    background.text());
      }
      return;
    }
    case kBsCheckBox:
    case kBsAutoCheckBox:
    case kBsRadioButton:
    case kBsAutoRadioButton: {
      ParentBackground background(system, window, target);
      background.fill(r);
      const int top = r.top + (r.height() - kBoxSize) / 2;
      const Rect box{r.left, top, r.left + kBoxSize, top + kBoxSize};
      paint_box(page, box, is_radio(style), s->check == kBstChecked, enabled, s->pushed, clip);
      const Rect label{box.right + 4, r.top, r.right, r.bottom};
      cp::caption(page, *font, text, label, 0, enabled, clip, background.text());
      if (s->focused) {
        const TextExtent e = cp::text_extent(*font, text);
        const int ty = r.top + (r.height() - e.height) / 2;
        cp::focus_rect(
            page, Rect{label.left - 1, ty - 1, label.left + e.width + 1, ty + e.height + 1}, clip);
      }
      return;
    }
    default: {  // push buttons
      const bool is_default = kind_of(style) == kBsDefPushButton;
      Rect face = r;
      if (is_default) {
        cp::frame(page, r, cp::kDarkShadow, cp::kDarkShadow, clip);
        face = Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
      }
      cp::raised_box(page, face, s->pushed, clip);
      const int shift = s->pushed ? 1 : 0;
      cp::caption(page, *font, text, face.translated(shift, shift), 1, enabled, clip);
      if (s->focused)
        cp::focus_rect(
            page, Rect{face.left + 3, face.top + 3, face.right - 3, face.bottom - 3}, clip);
      return;
    }
  }
}

}  // namespace

int64_t button_proc(WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp) {
  switch (message) {
    case kMsgPaint:
      if (lp != 0) paint(system, window, *reinterpret_cast<const ChildPaint*>(lp));
      return 0;
    case kMsgLButtonDown:
    case kMsgLButtonDblClk:
      if (kind_of(system.style(window)) == kBsGroupBox) return 0;
      system.set_focus(window);
      state_of(system, window)->tracking = true;
      set_pushed(system, window, true);
      return 0;
    case kMsgMouseMove: {
      auto s = state_of(system, window);
      if (!s->tracking) return 0;
      const Rect c = system.client_rect(window);
      set_pushed(system, window, c.contains(point_x(lp), point_y(lp)));
      return 0;
    }
    case kMsgLButtonUp: {
      auto s = state_of(system, window);
      if (!s->tracking) return 0;
      s->tracking = false;
      const bool over = system.client_rect(window).contains(point_x(lp), point_y(lp));
      set_pushed(system, window, false);
      if (over) click(system, window);
      return 0;
    }
    case kMsgKeyDown:
      if (wp == kVkSpace) {
        state_of(system, window)->space_down = true;
        set_pushed(system, window, true);
      } else if (wp == kVkReturn && kind_of(system.style(window)) != kBsGroupBox) {
        click(system, window);
      }
      return 0;
    case kMsgKeyUp:
      if (wp == kVkSpace && state_of(system, window)->space_down) {
        state_of(system, window)->space_down = false;
        set_pushed(system, window, false);
        click(system, window);
      }
      return 0;
    case kMsgSetFocus:
    case kMsgKillFocus:
      state_of(system, window)->focused = message == kMsgSetFocus;
      system.invalidate(window, nullptr);
      return 0;
    case kMsgEnable:
    case kMsgSetText:
      if (message == kMsgSetText) system.default_window_proc(window, message, wp, lp);
      system.invalidate(window, nullptr);
      return 1;
    case kMsgGetDlgCode: {
      const uint32_t style = system.style(window);
      if (is_radio(style)) return kDlgCodeButton | kDlgCodeRadioButton;
      if (kind_of(style) == kBsDefPushButton) return kDlgCodeButton | kDlgCodeDefPushButton;
      return kDlgCodeButton;
    }
    case kMsgBmGetCheck:
      return state_of(system, window)->check;
    case kMsgBmSetCheck:
      if (is_check(system.style(window)) || is_radio(system.style(window)))
        set_check(system, window, wp == kBstChecked ? kBstChecked : kBstUnchecked);
      return 0;
    case kMsgBmGetState: {
      auto s = state_of(system, window);
      return s->check | (s->pushed ? uint32_t{kBstPushed} : 0u) |
             (s->focused ? uint32_t{kBstFocus} : 0u);
    }
    case kMsgBmSetState:
      set_pushed(system, window, wp != 0);
      return 0;
    case kMsgBmClick:
      if (system.is_enabled(window)) click(system, window);
      return 0;
    case kMsgSetFont:
      state_of(system, window)->font =
          wp ? *reinterpret_cast<const std::shared_ptr<const Font>*>(wp) : nullptr;
      if (lp) system.invalidate(window, nullptr);
      return 0;
    default:
      return system.default_window_proc(window, message, wp, lp);
  }
}

}  // namespace platform
