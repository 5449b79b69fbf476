// Cubic Bezier curves flattened into polylines.
//
// Each piece is split in halves (de Casteljau) until its control points lie within a quarter
// pixel of its chord, at most 2^16 pieces deep; the resulting points are rounded to the
// lattice. The polyline is then drawn like any other, its end pixel excluded.
#pragma once

#include <span>
#include <vector>

#include "platform/gfx/geometry.hpp"

namespace platform::raster {

// `points`: the start point, then for each piece two control points and its end point; a
// trailing incomplete piece is ignored. Returns the polyline, without repeated points.
std::vector<Point64> flatten_bezier(std::span<const Point64> points);

}  // namespace platform::raster
