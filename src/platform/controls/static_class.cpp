// The "STATIC" class: a text label on the background its parent gives (parent_background.hpp;
// the button face colour by default), left-aligned, centred or right-aligned (kSsLeft,
// kSsCenter, kSsRight), starting at the top; CR LF starts a new line and a TAB moves on to the
// next of the font's classic tab stops. It takes no input.
#include "platform/controls/control_classes.hpp"
#include "platform/controls/control_paint.hpp"
#include "platform/controls/parent_background.hpp"
#include "platform/text/text_convert.hpp"
#include "platform/text/text_layout.hpp"

namespace platform {
namespace {

namespace cp = control_paint;

struct StaticState {
  std::shared_ptr<const Font> font;
};

std::shared_ptr<StaticState> state_of(WindowSystem& system, Hwnd window) {
  auto s = std::static_pointer_cast<StaticState>(system.class_data(window));
  if (!s) {
    s = std::make_shared<StaticState>();
    system.set_class_data(window, s);
  }
  return s;
}

void paint(WindowSystem& system, Hwnd window, const ChildPaint& target) {
  const auto font = cp::font_or_default(state_of(system, window)->font);
  const uint32_t align = system.style(window) & 0x3;
  const bool enabled = system.is_enabled(window);
  const Rect r = target.bounds;
  ParentBackground background(system, window, target);
  background.fill(r);
  const std::u16string wide = utf8_to_utf16(system.text(window));
  const int tab = tab_stop_width(*font);
  const TextExtent e = measure_text(*font, wide, tab);
  int x = r.left;
  if (align == kSsCenter) x = r.left + (r.width() - e.width) / 2;
  if (align == kSsRight) x = r.right - e.width;
  const Rect box = intersect(r, target.clip);
  if (!enabled)
    draw_text(*target.surface,
              *font,
              x + 1,
              r.top + 1,
              wide,
              cp::text_on(cp::kHighlight, background.text()),
              box,
              tab);
  // Disabled text is etched: its grey lies over the white drawn on the background.
  const TextColours ink =
      enabled ? cp::text_on(cp::kText, background.text()) : TextColours{cp::kGreyText, 0, false};
  draw_text(*target.surface, *font, x, r.top, wide, ink, box, tab);
}

}  // namespace

int64_t static_proc(WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp) {
  switch (message) {
    case kMsgPaint:
      if (lp != 0) paint(system, window, *reinterpret_cast<const ChildPaint*>(lp));
      return 0;
    case kMsgSetText:
      system.default_window_proc(window, message, wp, lp);
      system.invalidate(window, nullptr);
      return 1;
    case kMsgEnable:
      system.invalidate(window, nullptr);
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
