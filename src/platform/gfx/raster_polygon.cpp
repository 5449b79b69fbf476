#include "platform/gfx/raster_polygon.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace platform::raster {

namespace {

struct Edge {
  double y_lo;  // rows y_lo..y_hi-1 cross the edge
  double y_hi;
  double x_at_lo;  // x where the edge meets y_lo
  double slope;    // dx / dy
};

// Appends the edges of the closed ring through `points`.
void add_edges(std::span<const Point64> points, std::vector<Edge>& edges) {
  for (size_t i = 0; i < points.size(); ++i) {
    const Point64& p = points[i];
    const Point64& q = points[(i + 1) % points.size()];
    if (p.y == q.y) continue;  // a horizontal edge only bounds the edges it joins
    const Point64& lo = p.y < q.y ? p : q;
    const Point64& hi = p.y < q.y ? q : p;
    edges.push_back({static_cast<double>(lo.y),
                     static_cast<double>(hi.y),
                     static_cast<double>(lo.x),
                     static_cast<double>(hi.x - lo.x) / static_cast<double>(hi.y - lo.y)});
  }
}

// First pixel whose centre is at or right of x, kept within a little of the bounds so that a
// far-away crossing cannot overflow the conversion. The ceiling is taken by hand: on the
// baseline instruction set std::ceil is a call, and a row of a zigzag asks this per edge.
int first_pixel_from(double x, const Rect& bounds) {
  const double c = std::clamp(x, bounds.left - 1.0, bounds.right + 1.0);
  const int i = static_cast<int>(c);  // toward zero
  return i < c ? i + 1 : i;
}

// Adds the pixels of row y that lie inside: those with an odd number of crossings at or left
// of them, `crossings` holding the first pixel at or right of each crossing (from
// first_pixel_from, so within a pixel of the bounds). Few crossings are sorted and paired;
// many, as a zigzag of thousands of edges gives, are counted in `parity` over the pixels
// they span, so a row costs its crossings plus its width rather than a sort of the crossings.
void add_inside(int y,
                std::vector<int>& crossings,
                const Rect& bounds,
                std::vector<uint8_t>& parity,
                Coverage& out) {
  if (crossings.empty()) return;
  const auto [lo, hi] = std::minmax_element(crossings.begin(), crossings.end());
  const int first = *lo, last = *hi;
  if (int64_t{last} - first > 4 * static_cast<int64_t>(crossings.size())) {
    std::sort(crossings.begin(), crossings.end());
    for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
      out.add_span(
          y, std::max(crossings[i], bounds.left), std::min(crossings[i + 1], bounds.right));
    }
    return;
  }
  // Neighbouring edges of a zigzag cross at neighbouring pixels: four counters a pixel, used
  // in turn, keep each toggle from waiting on the one before.
  constexpr size_t kLanes = 4;
  const size_t width = static_cast<size_t>(last - first) + 1;
  parity.assign(kLanes * width, 0);
  for (size_t i = 0; i < crossings.size(); ++i) {
    parity[(i % kLanes) * width + static_cast<size_t>(crossings[i] - first)] ^= 1;
  }
  bool inside = false;
  int start = first;
  for (size_t at = 0; at < width; ++at) {
    if (!(parity[at] ^ parity[width + at] ^ parity[2 * width + at] ^ parity[3 * width + at])) {
      continue;
    }
    const int x = first + static_cast<int>(at);
    inside = !inside;
    if (inside) {
      start = x;
    } else {
      out.add_span(y, std::max(start, bounds.left), std::min(x, bounds.right));
    }
  }
}

}  // namespace

Coverage fill_polygon(std::span<const Point64> points, const Rect& bounds) {
  const int count =
      static_cast<int>(std::min<size_t>(points.size(), std::numeric_limits<int>::max()));
  return fill_polygons(points, std::span<const int>(&count, 1), bounds);
}

Coverage fill_polygons(std::span<const Point64> points,
                       std::span<const int> counts,
                       const Rect& bounds) {
  Coverage out;
  if (bounds.empty()) return out;
  std::vector<Edge> edges;
  edges.reserve(points.size());
  size_t at = 0;
  for (const int count : counts) {
    const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), points.size() - at);
    if (n >= 3) add_edges(points.subspan(at, n), edges);
    at += n;
  }
  if (edges.empty()) return out;
  std::sort(
      edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y_lo < b.y_lo; });
  double y_min = edges.front().y_lo;
  double y_max = y_min;
  for (const Edge& e : edges) y_max = std::max(y_max, e.y_hi);
  const int row0 = static_cast<int>(std::max<double>(bounds.top, std::floor(y_min)));
  const int row1 = static_cast<int>(std::min<double>(bounds.bottom, std::ceil(y_max)));

  std::vector<Edge> active;  // copies, read in turn on every row
  std::vector<int> crossings;
  std::vector<uint8_t> parity;
  size_t next = 0;
  for (int y = row0; y < row1; ++y) {
    const double yc = y;
    while (next < edges.size() && edges[next].y_lo <= yc) active.push_back(edges[next++]);
    std::erase_if(active, [yc](const Edge& e) { return e.y_hi <= yc; });
    crossings.clear();
    for (const Edge& e : active) {
      crossings.push_back(first_pixel_from(e.x_at_lo + (yc - e.y_lo) * e.slope, bounds));
    }
    add_inside(y, crossings, bounds, parity, out);
  }
  out.normalize();
  return out;
}

}  // namespace platform::raster
