// Polygon interiors by the even-odd rule.
//
// A pixel belongs to the interior when its centre lies inside the closed polygon by the
// even-odd rule: a ray from the centre crosses the outline an odd number of times. Pixel
// centres are the lattice points, where lines and outlines run, so an interior fits its
// outline. A centre exactly on an edge belongs to the interior when the edge is a left or top
// one and not when it is a right or bottom one: the polygon (0,0) (10,0) (10,10) (0,10) covers
// pixels 0..9 in both directions, and polygons sharing an edge share no pixel. A five-pointed
// star drawn as one self-crossing outline leaves its centre pentagon empty.
#pragma once

#include <span>

#include "platform/gfx/coverage.hpp"

namespace platform::raster {

// Interior pixels of the polygon through `points` (closed automatically) inside `bounds`.
Coverage fill_polygon(std::span<const Point64> points, const Rect& bounds);

// Interior pixels of several closed polygons taken together: `counts` splits `points` into
// consecutive rings (a count past the points left is cut to them). The even-odd rule counts
// the crossings of all rings at once, so a ring inside another cuts a hole in it.
Coverage fill_polygons(std::span<const Point64> points,
                       std::span<const int> counts,
                       const Rect& bounds);

}  // namespace platform::raster
