#include "platform/gfx/stroke.hpp"

namespace platform::raster {

Stroke stroke(const Spine& spine, const Pen& pen, const Rect& bounds) {
  Stroke s;
  if (pen.is_null()) return s;
  for (const SpinePixel& p : spine) {
    if (pen.inks(p.step))
      s.ink.add_pixel(p.x, p.y);
    else
      s.gaps.add_pixel(p.x, p.y);
  }
  const int w = pen.width();
  if (w > 1) {
    s.ink.dilate((w - 1) / 2, w / 2, bounds);
    s.gaps.dilate((w - 1) / 2, w / 2, bounds);
  } else {
    s.ink.normalize();
    s.gaps.normalize();
    s.ink.clip(bounds);
    s.gaps.clip(bounds);
  }
  s.gaps.subtract(s.ink);
  return s;
}

}  // namespace platform::raster
