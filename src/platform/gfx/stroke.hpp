// Stroking: from a spine and a pen to the pixels the pen inks and the gaps between its dashes.
//
// Spine pixels whose step the pen's dash pattern inks go to `ink`, the others to `gaps` (which
// an opaque background paints in the background colour). A pen of width w stamps a w x w
// square on every spine pixel, from (w - 1) / 2 pixels before the pixel to w / 2 after it in
// each direction; where a dash's square overlaps a gap's, the dash wins.
//
// A path's pixels are gathered a piece at a time and merged as they grow, so stroking holds no
// more than the pixels of the bounds, however long the path and wide the pen.
#pragma once

#include <cstddef>
#include <span>

#include "platform/gfx/coverage.hpp"
#include "platform/gfx/pen.hpp"
#include "platform/gfx/raster_line.hpp"

namespace platform::raster {

struct Stroke {
  Coverage ink;
  Coverage gaps;
};

// How far a pen's square reaches beyond its spine pixel: trace spines within the clip widened
// by this much so that squares of pixels just outside still reach in.
inline int stroke_reach(const Pen& pen) { return pen.width() / 2; }

class StrokeBuilder {
 public:
  explicit StrokeBuilder(const Pen& pen) : pen_(pen) {}

  void add(const Spine& spine);
  // Adds the open polyline through `points` traced within `trace_bounds`, its steps counted
  // from first_step; returns the steps the whole polyline takes. A null pen traces nothing.
  int64_t add_polyline(std::span<const Point64> points,
                       const Rect& trace_bounds,
                       int64_t first_step = 0);
  // The stroke of everything added, clipped to `bounds`.
  Stroke finish(const Rect& bounds);

 private:
  const Pen& pen_;
  Stroke stroke_;
  size_t spans_after_merge_ = 0;
};

// `bounds`: device rectangle the result is clipped to.
Stroke stroke(const Spine& spine, const Pen& pen, const Rect& bounds);

}  // namespace platform::raster
