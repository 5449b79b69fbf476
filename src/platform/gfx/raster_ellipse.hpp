// Ellipses, arcs and pies inscribed in a bounding box.
//
// The ellipse of the box (l, t, r, b) has centre ((l + r) / 2, (t + b) / 2) and radii
// ((r - l) / 2, (b - t) / 2). Its area is the pixels whose centres lie inside or on it, so
// like a rectangle it covers l..r-1 and t..b-1. Its outline spine is the area's border: the
// pixels of the area with a 4-neighbour outside it, an 8-connected one-pixel curve.
//
// Arcs and pies run counter-clockwise (as seen on the screen, whose y grows downward) from the
// ray through the start point to the ray through the end point, both rays leaving the centre;
// equal rays give the full ellipse. A pixel belongs to the arc when the direction from the
// centre to its centre lies in that angular range. Spines come ordered counter-clockwise, so
// a dashed pen's pattern runs along the curve, with steps counted from the start of the whole
// curve: clipping removes dashes but never shifts them.
#pragma once

#include "platform/gfx/coverage.hpp"
#include "platform/gfx/raster_line.hpp"

namespace platform::raster {

struct Box64 {
  int64_t left;
  int64_t top;
  int64_t right;
  int64_t bottom;
};

// Area of the ellipse inside `bounds`.
Coverage fill_ellipse(const Box64& box, const Rect& bounds);
// Outline of the whole ellipse, counter-clockwise from the positive x axis.
Spine ellipse_spine(const Box64& box, const Rect& bounds);
// Outline between the rays through `start` and `end`.
Spine arc_spine(const Box64& box, Point64 start, Point64 end, const Rect& bounds);
// Area of the ellipse between the two rays.
Coverage fill_sector(const Box64& box, Point64 start, Point64 end, const Rect& bounds);
// Outline of the pie: the arc, then the end ray from the ellipse in to the centre and the start
// ray from the centre out to the ellipse. A ray's pixels are those nearest it, so the outline
// closes around the sector that `fill_sector` gives.
Spine pie_spine(const Box64& box, Point64 start, Point64 end, const Rect& bounds);

}  // namespace platform::raster
