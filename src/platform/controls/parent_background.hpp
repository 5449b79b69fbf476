// The background a control asks its parent for before it paints.
//
// Static text, check boxes, radio buttons, group boxes and read-only or disabled text fields
// send their parent kMsgCtlColorStatic (wparam: a device context over the control's part of
// the surface, origin at its client area; lparam: the control). A nonzero answer is the brush
// the control fills its background with, and its text takes the background mode and colour
// the parent left on the context. 0 (the parent does not handle it) keeps the classic face
// colour under transparent text. Push buttons, scroll bars and lists do not ask.
#pragma once

#include "platform/controls/control_paint.hpp"
#include "platform/gfx/brush.hpp"
#include "platform/gfx/device_context.hpp"
#include "platform/window_system.hpp"

namespace platform {

class ParentBackground {
 public:
  // Asks the parent of `window` (on the painting thread) for the background of this paint.
  ParentBackground(WindowSystem& system, Hwnd window, const ChildPaint& target);
  ParentBackground(const ParentBackground&) = delete;
  ParentBackground& operator=(const ParentBackground&) = delete;

  // Fills r (surface pixels; within the paint's clip) with the answered brush, or the face.
  void fill(const Rect& r);
  // What the control's text is drawn on.
  control_paint::TextBackground text() const;

 private:
  DeviceContext dc_;
  const Brush* brush_ = nullptr;  // the parent's answer; kept alive by it through the paint
};

}  // namespace platform
