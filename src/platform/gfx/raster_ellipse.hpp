// Ellipses, arcs, pies and chords inscribed in a bounding box, and rectangles with elliptic
// corners.
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
//
// A chord is the part of the ellipse cut off by the line joining the arc's two ends (the
// points where the rays meet the ellipse), on the arc's side. A rounded rectangle covers its
// box like a rectangle, less the corners outside the quarter ellipses of the corner size
// placed in each corner (a corner size is cut to the box; 0 gives the plain rectangle); its
// outline is its border, like an ellipse's.
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
// Area of the chord, and its outline: the arc, then the line from its end back to its start.
Coverage fill_chord(const Box64& box, Point64 start, Point64 end, const Rect& bounds);
Spine chord_spine(const Box64& box, Point64 start, Point64 end, const Rect& bounds);
// Area and outline (counter-clockwise from the positive x axis) of the rounded rectangle whose
// corners are quarters of a corner_w x corner_h ellipse.
Coverage fill_round_rect(const Box64& box, int64_t corner_w, int64_t corner_h, const Rect& bounds);
Spine round_rect_spine(const Box64& box, int64_t corner_w, int64_t corner_h, const Rect& bounds);

}  // namespace platform::raster
