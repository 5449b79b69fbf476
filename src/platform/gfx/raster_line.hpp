// Line spines: the one-pixel paths that pens ink.
//
// A segment from a to b takes n = max(|dx|, |dy|) pixels: pixel i lies i steps from a along
// the major axis and round(i * minor / major) steps along the minor one (halves rounded away
// from a). The end pixel b is left out, so segments joined end to start share no pixel and a
// closed outline inks its corners once. Each pixel carries its step count from the start of
// the path, which positions the pen's dash pattern.
//
// Only the pixels inside a bounds rectangle are produced, found arithmetically rather than by
// walking, so a segment to a far-away coordinate costs no more than the visible part.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gfx/geometry.hpp"

namespace platform::raster {

struct SpinePixel {
  int x;
  int y;
  int64_t step;  // steps from the start of the path
};
using Spine = std::vector<SpinePixel>;

// Appends the pixels of segment a -> b inside `bounds`, numbered from `first_step`.
// Returns the segment's step count n (0 for a == b, which draws nothing).
int64_t trace_segment(Point64 a, Point64 b, const Rect& bounds, int64_t first_step, Spine& out);

}  // namespace platform::raster
