#include "platform/gfx/raster_bezier.hpp"

#include <cmath>
#include <vector>

namespace platform::raster {

namespace {

struct P {
  double x, y;
};

P mid(P a, P b) { return P{(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// Distance of c from the line through a and b (from a when they coincide).
double off_chord(P a, P b, P c) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len = std::hypot(dx, dy);
  if (len == 0) return std::hypot(c.x - a.x, c.y - a.y);
  return std::fabs((c.x - a.x) * dy - (c.y - a.y) * dx) / len;
}

constexpr double kFlatness = 0.25;  // pixels: below what rounding to the lattice can show
constexpr int kMaxDepth = 16;       // bounds the work for wild control points

void append(std::vector<Point64>& out, P p) {
  const Point64 q{static_cast<int64_t>(std::llround(p.x)), static_cast<int64_t>(std::llround(p.y))};
  if (out.empty() || !(out.back() == q)) out.push_back(q);
}

void subdivide(P p0, P p1, P p2, P p3, int depth, std::vector<Point64>& out) {
  if (depth >= kMaxDepth || std::max(off_chord(p0, p3, p1), off_chord(p0, p3, p2)) <= kFlatness) {
    append(out, p3);
    return;
  }
  const P p01 = mid(p0, p1), p12 = mid(p1, p2), p23 = mid(p2, p3);
  const P p012 = mid(p01, p12), p123 = mid(p12, p23);
  const P m = mid(p012, p123);
  subdivide(p0, p01, p012, m, depth + 1, out);
  subdivide(m, p123, p23, p3, depth + 1, out);
}

P as_p(Point64 q) { return P{static_cast<double>(q.x), static_cast<double>(q.y)}; }

}  // namespace

void flatten_bezier(std::span<const Point64> points,
                    const std::function<void(std::span<const Point64>)>& polyline) {
  std::vector<Point64> out;
  for (size_t i = 1; i + 2 < points.size(); i += 3) {
    out.assign(1, points[i - 1]);
    subdivide(
        as_p(points[i - 1]), as_p(points[i]), as_p(points[i + 1]), as_p(points[i + 2]), 0, out);
    polyline(out);
  }
}

}  // namespace platform::raster
