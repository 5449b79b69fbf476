#include "platform/gfx/flood_fill.hpp"

#include <vector>

namespace platform::raster {

Coverage flood_region(const Page& page, Point seed, Pixel border, const Rect& bounds_in) {
  Coverage out;
  const Rect bounds = intersect(bounds_in, Rect{0, 0, page.width(), page.height()});
  if (!bounds.contains(seed.x, seed.y)) return out;
  const int w = bounds.width();
  std::vector<uint8_t> seen(static_cast<size_t>(w) * bounds.height(), 0);
  auto fillable = [&](int x, int y) {
    return !seen[static_cast<size_t>(y - bounds.top) * w + (x - bounds.left)] &&
           page.at(x, y) != border;
  };
  std::vector<Point> stack{seed};
  while (!stack.empty()) {
    const Point p = stack.back();
    stack.pop_back();
    if (!fillable(p.x, p.y)) continue;
    // Widen the seed to its whole run on this row, then seed each run of the rows beside it.
    int x0 = p.x, x1 = p.x + 1;
    while (x0 > bounds.left && fillable(x0 - 1, p.y)) --x0;
    while (x1 < bounds.right && fillable(x1, p.y)) ++x1;
    uint8_t* row_seen = &seen[static_cast<size_t>(p.y - bounds.top) * w];
    for (int x = x0; x < x1; ++x) row_seen[x - bounds.left] = 1;
    out.add_span(p.y, x0, x1);
    for (int ny : {p.y - 1, p.y + 1}) {
      if (ny < bounds.top || ny >= bounds.bottom) continue;
      bool in_run = false;
      for (int x = x0; x < x1; ++x) {
        const bool f = fillable(x, ny);
        if (f && !in_run) stack.push_back({x, ny});
        in_run = f;
      }
    }
  }
  out.normalize();
  return out;
}

}  // namespace platform::raster
