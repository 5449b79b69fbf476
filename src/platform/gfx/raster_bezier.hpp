// Cubic Bezier curves flattened into polylines.
//
// Each piece is split in halves (de Casteljau) until its control points lie within a quarter
// pixel of its chord, at most 2^16 pieces deep; the resulting points are rounded to the
// lattice. The polyline is then drawn like any other, its end pixel excluded. It is handed out
// a piece at a time, so that no more than one piece's points (2^16 + 1) are held at once.
#pragma once

#include <functional>
#include <span>

#include "platform/gfx/geometry.hpp"

namespace platform::raster {

// `points`: the start point, then for each piece two control points and its end point; a
// trailing incomplete piece is ignored. Calls `polyline` with the polyline of each piece in
// turn, from its start point on, without repeated points.
void flatten_bezier(std::span<const Point64> points,
                    const std::function<void(std::span<const Point64>)>& polyline);

}  // namespace platform::raster
