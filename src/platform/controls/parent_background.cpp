#include "platform/controls/parent_background.hpp"

#include "platform/controls/control_paint.hpp"

namespace platform {

ParentBackground::ParentBackground(WindowSystem& system, Hwnd window, const ChildPaint& target)
    : dc_(*target.surface) {
  dc_.set_clip(target.clip);
  dc_.set_origin(control_paint::client_on_page(system, window, target.bounds));
  const Hwnd parent = system.parent(window);
  // Painting holds the surface: waiting for a parent on another thread could deadlock, so
  // only a parent of this thread (the owner of every control) is asked.
  if (parent == 0 || system.window_thread(parent) != current_thread_id()) return;
  brush_ = reinterpret_cast<const Brush*>(system.send_message(
      parent, kMsgCtlColorStatic, reinterpret_cast<uint64_t>(&dc_), static_cast<int64_t>(window)));
}

void ParentBackground::fill(const Rect& r) {
  if (!brush_) {
    control_paint::fill(dc_.page(), r, control_paint::kFace, dc_.drawable());
    return;
  }
  const Point o = dc_.origin();
  dc_.fill_rect(r.translated(-o.x, -o.y), *brush_);
}

control_paint::TextBackground ParentBackground::text() const {
  if (!brush_) return {};
  return {to_pixel(dc_.bk_color()), dc_.bk_mode() == BkMode::Opaque};
}

}  // namespace platform
