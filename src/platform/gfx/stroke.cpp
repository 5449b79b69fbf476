#include "platform/gfx/stroke.hpp"

#include <algorithm>

namespace platform::raster {
namespace {

// Spine pixels traced before they are sorted into the stroke.
constexpr size_t kPiece = size_t{1} << 16;

}  // namespace

void StrokeBuilder::add(const Spine& spine) {
  if (pen_.is_null()) return;
  for (const SpinePixel& p : spine) {
    if (pen_.inks(p.step))
      stroke_.ink.add_pixel(p.x, p.y);
    else
      stroke_.gaps.add_pixel(p.x, p.y);
  }
  // Merging costs what the masks hold: do it whenever they have doubled since the last time.
  const size_t spans = stroke_.ink.spans().size() + stroke_.gaps.spans().size();
  if (spans > std::max(kPiece, 2 * spans_after_merge_)) {
    stroke_.ink.normalize();
    stroke_.gaps.normalize();
    spans_after_merge_ = stroke_.ink.spans().size() + stroke_.gaps.spans().size();
  }
}

int64_t StrokeBuilder::add_polyline(std::span<const Point64> points,
                                    const Rect& trace_bounds,
                                    int64_t first_step) {
  if (pen_.is_null()) return 0;  // it would ink nothing
  Spine spine;
  int64_t step = first_step;
  for (size_t i = 1; i < points.size(); ++i) {
    step += trace_segment(points[i - 1], points[i], trace_bounds, step, spine);
    if (spine.size() >= kPiece) {
      add(spine);
      spine.clear();
    }
  }
  add(spine);
  return step - first_step;
}

Stroke StrokeBuilder::finish(const Rect& bounds) {
  Stroke s = std::move(stroke_);
  stroke_ = {};
  spans_after_merge_ = 0;
  const int w = pen_.width();
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

Stroke stroke(const Spine& spine, const Pen& pen, const Rect& bounds) {
  StrokeBuilder builder(pen);
  builder.add(spine);
  return builder.finish(bounds);
}

}  // namespace platform::raster
