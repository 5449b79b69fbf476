#include "platform/gfx/raster_ellipse.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::raster {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

struct Ellipse {
  double cx, cy, rx, ry;
  int64_t top, bottom;  // rows the box spans: top..bottom-1
};

Ellipse ellipse_of(const Box64& b) {
  const int64_t l = std::min(b.left, b.right), r = std::max(b.left, b.right);
  const int64_t t = std::min(b.top, b.bottom), bt = std::max(b.top, b.bottom);
  return Ellipse{(static_cast<double>(l) + static_cast<double>(r)) / 2.0,
                 (static_cast<double>(t) + static_cast<double>(bt)) / 2.0,
                 (static_cast<double>(r) - static_cast<double>(l)) / 2.0,
                 (static_cast<double>(bt) - static_cast<double>(t)) / 2.0,
                 t,
                 bt};
}

struct RowSpan {
  int64_t x0 = 0, x1 = 0;  // pixels x0..x1-1
  bool empty() const { return x1 <= x0; }
};

// Pixels of row y whose centres satisfy |x + 0.5 - cx| <= half width at the row's centre.
RowSpan row_span(const Ellipse& e, int64_t y) {
  if (e.rx <= 0 || e.ry <= 0 || y < e.top || y >= e.bottom) return {};
  const double v = (static_cast<double>(y) + 0.5 - e.cy) / e.ry;
  if (std::fabs(v) >= 1.0) return {};
  const double hw = e.rx * std::sqrt(1.0 - v * v);
  return RowSpan{static_cast<int64_t>(std::ceil(e.cx - hw - 0.5)),
                 static_cast<int64_t>(std::floor(e.cx + hw - 0.5)) + 1};
}

RowSpan clipped(RowSpan s, const Rect& bounds) {
  return RowSpan{std::max<int64_t>(s.x0, bounds.left), std::min<int64_t>(s.x1, bounds.right)};
}

// Angular range counter-clockwise from the start ray to the end ray.
struct Sweep {
  double cx, cy;
  double start;  // angle of the start ray, radians, y up
  double span;   // 0 < span <= 2 pi
  // Angle of pixel (x, y)'s centre past the start ray, in [0, 2 pi).
  double past_start(int x, int y) const {
    double d = std::atan2(cy - (y + 0.5), (x + 0.5) - cx) - start;
    while (d < 0) d += kTwoPi;
    while (d >= kTwoPi) d -= kTwoPi;
    return d;
  }
  bool holds(int x, int y) const { return past_start(x, y) <= span; }
};

Sweep sweep_of(const Ellipse& e, Point64 start, Point64 end) {
  const double sx = static_cast<double>(start.x) - e.cx, sy = e.cy - static_cast<double>(start.y);
  const double ex = static_cast<double>(end.x) - e.cx, ey = e.cy - static_cast<double>(end.y);
  const double a0 = std::atan2(sy, sx);
  double span = std::atan2(ey, ex) - a0;
  while (span <= 0) span += kTwoPi;
  // Rays in the same direction (exact test on the half-integer offsets) sweep the full turn.
  if (sx * ey - sy * ex == 0 && sx * ex + sy * ey >= 0) span = kTwoPi;
  return Sweep{e.cx, e.cy, a0, std::min(span, kTwoPi)};
}

// Border pixels inside bounds, unordered, of an area made of one span per row: `row(y)`
// gives the span of row y, for rows top..bottom-1.
template <class Row>
std::vector<std::pair<int, int>> border_pixels(const Row& row,
                                               int64_t top,
                                               int64_t bottom,
                                               const Rect& bounds) {
  std::vector<std::pair<int, int>> out;
  const int64_t y0 = std::max<int64_t>(top, bounds.top);
  const int64_t y1 = std::min<int64_t>(bottom, bounds.bottom);
  for (int64_t y = y0; y < y1; ++y) {
    const RowSpan s = row(y);
    if (s.empty()) continue;
    const RowSpan up = y > top ? row(y - 1) : RowSpan{};
    const RowSpan down = y + 1 < bottom ? row(y + 1) : RowSpan{};
    // Interior: pixels with all four neighbours in the area.
    RowSpan in{std::max({s.x0 + 1, up.x0, down.x0}), std::min({s.x1 - 1, up.x1, down.x1})};
    if (up.empty() || down.empty() || in.empty()) in = {s.x1, s.x1};
    for (const RowSpan part : {RowSpan{s.x0, in.x0}, RowSpan{in.x1, s.x1}}) {
      const RowSpan c = clipped(part, bounds);
      for (int64_t x = c.x0; x < c.x1; ++x)
        out.emplace_back(static_cast<int>(x), static_cast<int>(y));
    }
  }
  return out;
}

std::vector<std::pair<int, int>> border_pixels(const Ellipse& e, const Rect& bounds) {
  return border_pixels([&e](int64_t y) { return row_span(e, y); }, e.top, e.bottom, bounds);
}

// Pixel index whose centre is nearest the position x along a row (pixel centres at i + 0.5),
// kept far beyond any page so that no position can overflow.
int64_t pixel_near(double x) {
  constexpr double kFar = double(int64_t{1} << 40);
  return static_cast<int64_t>(std::floor(std::clamp(x - 0.5, -kFar, kFar)));
}

// Adds pixels a..b-1 of row y that keep(x, y) holds, where keep changes at most once along
// them: both ends are asked, and a change between them is found by halving.
template <class Keep>
void add_run(int y, int64_t a, int64_t b, const Keep& keep, Coverage& out) {
  const bool first = keep(static_cast<int>(a), y), last = keep(static_cast<int>(b - 1), y);
  if (first == last) {
    if (first) out.add_span(y, static_cast<int>(a), static_cast<int>(b));
    return;
  }
  int64_t lo = a, hi = b - 1;  // keep(lo) == first, keep(hi) == last
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    (keep(static_cast<int>(mid), y) == first ? lo : hi) = mid;
  }
  out.add_span(y, static_cast<int>(first ? a : hi), static_cast<int>(first ? hi : b));
}

// The pixels of `area` that keep(x, y) holds, where along a row keep changes only near the
// pixels that near(y, list) appends to the list: there every pixel is asked, within kExact of
// such a pixel, which covers the rounding of both; elsewhere a run is asked at its ends. So a
// row costs a few questions rather than one per pixel, whatever the area.
template <class Keep, class Near>
Coverage kept(const Coverage& area, const Keep& keep, const Near& near) {
  constexpr int64_t kExact = 2;
  Coverage out;
  std::vector<int64_t> points;
  for (const Span& s : area.spans()) {
    points.clear();
    near(s.y, points);
    std::sort(points.begin(), points.end());
    size_t k = 0;
    for (int64_t x = s.x0; x < s.x1;) {
      while (k < points.size() && points[k] + kExact < x) ++k;
      const int64_t zone = k < points.size() ? std::max(x, points[k] - kExact) : s.x1;
      if (x < zone) {
        const int64_t end = std::min<int64_t>(zone, s.x1);
        add_run(s.y, x, end, keep, out);
        x = end;
        continue;
      }
      for (const int64_t end = std::min<int64_t>(points[k] + kExact + 1, s.x1); x < end; ++x) {
        if (keep(static_cast<int>(x), s.y)) out.add_pixel(static_cast<int>(x), s.y);
      }
    }
  }
  return out;
}

// Appends the pixel where the ray from the centre through p meets the centre line of row y,
// if it does, and the centre's column on the row through the centre, where the direction
// from the centre turns over. A ray along a row meets it nowhere else: every pixel centre on
// it has the same direction.
void ray_meets_row(const Ellipse& e, Point64 p, int y, std::vector<int64_t>& out) {
  const double yc = y + 0.5, ux = static_cast<double>(p.x) - e.cx;
  const double uy = static_cast<double>(p.y) - e.cy;
  if (yc == e.cy) out.push_back(pixel_near(e.cx));
  if (uy == 0) return;
  const double t = (yc - e.cy) / uy;
  if (t >= 0) out.push_back(pixel_near(e.cx + t * ux));
}

// Ellipses whose box is at most this many pixels wide and high are numbered along their
// whole outline, so a dashed pen's pattern is the same however the curve is clipped; larger
// ones (far beyond any page) are numbered from their first visible pixel, which keeps a huge
// box from costing time in proportion to its size.
constexpr int64_t kMaxNumberedSide = int64_t{1} << 16;

// The device area whose border pixels are numbered: the whole box when it is small enough.
Rect numbered_area(const Ellipse& e, const Rect& bounds) {
  const int64_t width = static_cast<int64_t>(std::ceil(2 * e.rx)) + 1;
  if (e.bottom - e.top > kMaxNumberedSide || width > kMaxNumberedSide) return bounds;
  // A box this small lies beyond every page once it passes half the 32-bit range, so
  // clamping it there changes no visible pixel and keeps the conversions in range.
  constexpr int64_t kFar = int64_t{1} << 30;
  auto near = [](double v) { return static_cast<int>(std::clamp<double>(v, -kFar, kFar)); };
  return Rect{near(std::floor(e.cx - e.rx) - 1),
              near(static_cast<double>(e.top)),
              near(std::ceil(e.cx + e.rx) + 1),
              near(static_cast<double>(e.bottom))};
}

// The pixels of `border` the sweep holds, ordered along it and numbered from the sweep's
// start, those inside bounds kept; `length` receives the number of steps the whole sweep
// takes. Along the border of a convex area the angle from its centre grows steadily, so the
// angle orders the pixels along the curve.
Spine ordered_border(const std::vector<std::pair<int, int>>& border,
                     const Sweep& sw,
                     const Rect& bounds,
                     int64_t& length) {
  struct Keyed {
    double angle;
    int x, y;
  };
  std::vector<Keyed> keyed;
  for (const auto& [x, y] : border) {
    const double a = sw.past_start(x, y);
    if (a <= sw.span) keyed.push_back({a, x, y});
  }
  std::sort(
      keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.angle < b.angle; });
  Spine out;
  for (size_t i = 0; i < keyed.size(); ++i)
    if (bounds.contains(keyed[i].x, keyed[i].y))
      out.push_back({keyed[i].x, keyed[i].y, static_cast<int64_t>(i)});
  length = static_cast<int64_t>(keyed.size());
  return out;
}

Spine ordered_arc(const Ellipse& e, const Sweep& sw, const Rect& bounds, int64_t& length) {
  return ordered_border(border_pixels(e, numbered_area(e, bounds)), sw, bounds, length);
}

// Appends the pixels of the ray from the centre toward p, out to the ellipse, that lie in the
// area and in bounds: in each column (each row, for a steep ray) whose pixel centre the ray
// passes, the pixel holding the ray there. Being the pixels nearest the ray, they part every
// two neighbours on either side of it, so the outline of a pie closes around its sector, whose
// pixels are chosen by the angle of their centres from the same centre. Steps run outward from
// the centre, or inward to it when `inward`, numbered from first_step whatever the bounds.
// Returns the number of steps the whole ray takes.
int64_t trace_ray(
    const Ellipse& e, Point64 p, bool inward, const Rect& bounds, int64_t first_step, Spine& out) {
  double ux = static_cast<double>(p.x) - e.cx, uy = static_cast<double>(p.y) - e.cy;
  if (ux == 0 && uy == 0) ux = 1;
  const bool x_major = std::fabs(ux) >= std::fabs(uy);
  const double along = x_major ? ux : uy;  // the ray's run along its major axis
  const double c_major = x_major ? e.cx : e.cy, c_minor = x_major ? e.cy : e.cx;
  const double slope = (x_major ? uy : ux) / along;
  // The ellipse point is centre + reach * (ux, uy).
  const double reach = std::fabs(along) / std::hypot(ux / e.rx, uy / e.ry);
  const int64_t dir = along > 0 ? 1 : -1;
  const double first = dir > 0 ? std::ceil(c_major - 0.5) : std::floor(c_major - 0.5);
  const double n_real = std::floor(reach - std::fabs(first + 0.5 - c_major)) + 1;
  if (!(n_real > 0)) return 0;
  const int64_t n = static_cast<int64_t>(n_real);
  const int64_t m0 = static_cast<int64_t>(first);
  // Steps whose major coordinate m0 + dir k falls inside the bounds.
  const int64_t lo = x_major ? bounds.left : bounds.top;
  const int64_t hi = (x_major ? bounds.right : bounds.bottom) - 1;
  const int64_t k0 = std::max<int64_t>(0, dir > 0 ? lo - m0 : m0 - hi);
  const int64_t k1 = std::min<int64_t>(n - 1, dir > 0 ? hi - m0 : m0 - lo);
  for (int64_t k = k0; k <= k1; ++k) {
    const int64_t major = m0 + dir * k;
    const double minor_at = c_minor + (static_cast<double>(major) + 0.5 - c_major) * slope;
    const int64_t minor = static_cast<int64_t>(std::floor(minor_at));
    const int64_t x = x_major ? major : minor, y = x_major ? minor : major;
    const RowSpan row = row_span(e, y);
    if (x < row.x0 || x >= row.x1 || !bounds.contains(static_cast<int>(x), static_cast<int>(y)))
      continue;
    out.push_back(
        {static_cast<int>(x), static_cast<int>(y), first_step + (inward ? n - 1 - k : k)});
  }
  return n;
}

// The point where the ray from the centre in direction (ux, uy) meets the ellipse.
std::pair<double, double> on_ellipse(const Ellipse& e, double ux, double uy) {
  const double reach = 1.0 / std::hypot(ux / e.rx, uy / e.ry);
  return {e.cx + reach * ux, e.cy + reach * uy};
}

// The line joining the ends of an arc and the side of it the arc lies on.
struct ChordLine {
  double x0, y0;  // the arc's start on the ellipse
  double dx, dy;  // from the start to the arc's end
  double side;    // sign of cross() for the arc's middle; 0 when the arc is the whole ellipse
  double cross(double x, double y) const { return dx * (y - y0) - dy * (x - x0); }
  // Pixel centres on the line count as inside, like the rays of a pie. "On" allows for the
  // rounding of the ends, a millionth of a pixel, so that the chords of the two arcs between
  // the same rays both take the pixels their line passes through.
  bool holds(int x, int y) const {
    const double c = cross(x + 0.5, y + 0.5);
    return c * side >= 0 || std::fabs(c) <= 1e-6 * std::hypot(dx, dy);
  }
};

ChordLine chord_of(const Ellipse& e, Point64 start, Point64 end) {
  const Sweep sw = sweep_of(e, start, end);
  auto point_at = [&e](double angle) { return on_ellipse(e, std::cos(angle), -std::sin(angle)); };
  const auto [x0, y0] = point_at(sw.start);
  const auto [x1, y1] = point_at(sw.start + sw.span);
  ChordLine c{x0, y0, x1 - x0, y1 - y0, 0.0};
  if (sw.span < kTwoPi) {
    const auto [mx, my] = point_at(sw.start + sw.span / 2);
    c.side = c.cross(mx, my) < 0 ? -1.0 : 1.0;
  }
  return c;
}

// Appends the pixels of the chord from the arc's end back to its start that lie in the area
// and in bounds: in each column (each row, for a steep chord) whose pixel centre lies between
// the ends, the pixel holding the chord there. Like a pie's rays, they part every two
// neighbours on either side of the line, so the outline closes around the chord's area.
// Steps are numbered from first_step at the arc's end, whatever the bounds.
void trace_chord(
    const Ellipse& e, const ChordLine& line, const Rect& bounds, int64_t first_step, Spine& out) {
  const double ax = line.x0 + line.dx, ay = line.y0 + line.dy;
  const bool x_major = std::fabs(line.dx) >= std::fabs(line.dy);
  const double run = x_major ? line.dx : line.dy;  // from the start to the end
  if (run == 0) return;
  const double a_major = x_major ? ax : ay, a_minor = x_major ? ay : ax;
  const double slope = (x_major ? line.dy : line.dx) / run;
  const double lo_end = std::min(a_major, a_major - run), hi_end = std::max(a_major, a_major - run);
  const int64_t lo = static_cast<int64_t>(std::ceil(lo_end - 0.5));
  const int64_t hi = static_cast<int64_t>(std::floor(hi_end - 0.5));
  const int64_t first = run > 0 ? hi : lo;  // nearest the arc's end
  const int64_t dir = run > 0 ? -1 : 1;
  const int64_t b_lo = x_major ? bounds.left : bounds.top;
  const int64_t b_hi = (x_major ? bounds.right : bounds.bottom) - 1;
  for (int64_t m = std::max(lo, b_lo); m <= std::min(hi, b_hi); ++m) {
    const int64_t minor = static_cast<int64_t>(
        std::floor(a_minor + (static_cast<double>(m) + 0.5 - a_major) * slope));
    const int64_t x = x_major ? m : minor, y = x_major ? minor : m;
    const RowSpan row = row_span(e, y);
    // Compared in 64 bits: a far-away pixel must not wrap into the bounds.
    if (x < row.x0 || x >= row.x1 || x < bounds.left || x >= bounds.right || y < bounds.top ||
        y >= bounds.bottom)
      continue;
    out.push_back({static_cast<int>(x), static_cast<int>(y), first_step + (m - first) * dir});
  }
}

// A rectangle with rounded corners: each corner is a quarter of the ellipse of the corner's
// size placed in that corner of the box.
struct RoundRect {
  int64_t left, top, right, bottom;
  bool square;  // no rounding: a corner size is 0
  Ellipse top_left, top_right, bottom_left, bottom_right;

  RowSpan row(int64_t y) const {
    if (y < top || y >= bottom) return {};
    const double c = static_cast<double>(y) + 0.5;
    if (!square && c < top_left.cy) return {row_span(top_left, y).x0, row_span(top_right, y).x1};
    if (!square && c > bottom_left.cy)
      return {row_span(bottom_left, y).x0, row_span(bottom_right, y).x1};
    return {left, right};
  }
};

RoundRect round_rect_of(const Box64& box, int64_t corner_w, int64_t corner_h) {
  const int64_t l = std::min(box.left, box.right), r = std::max(box.left, box.right);
  const int64_t t = std::min(box.top, box.bottom), b = std::max(box.top, box.bottom);
  // Corners larger than the box are cut to it, leaving an ellipse.
  const int64_t w = std::min(corner_w < 0 ? -corner_w : corner_w, r - l);
  const int64_t h = std::min(corner_h < 0 ? -corner_h : corner_h, b - t);
  return RoundRect{l,
                   t,
                   r,
                   b,
                   w == 0 || h == 0,
                   ellipse_of({l, t, l + w, t + h}),
                   ellipse_of({r - w, t, r, t + h}),
                   ellipse_of({l, b - h, l + w, b}),
                   ellipse_of({r - w, b - h, r, b})};
}

}  // namespace

Coverage fill_ellipse(const Box64& box, const Rect& bounds) {
  const Ellipse e = ellipse_of(box);
  Coverage out;
  const int64_t y0 = std::max<int64_t>(e.top, bounds.top);
  const int64_t y1 = std::min<int64_t>(e.bottom, bounds.bottom);
  for (int64_t y = y0; y < y1; ++y) {
    const RowSpan c = clipped(row_span(e, y), bounds);
    out.add_span(static_cast<int>(y), static_cast<int>(c.x0), static_cast<int>(c.x1));
  }
  return out;
}

Spine ellipse_spine(const Box64& box, const Rect& bounds) {
  const Ellipse e = ellipse_of(box);
  int64_t length = 0;
  return ordered_arc(e, Sweep{e.cx, e.cy, 0.0, kTwoPi}, bounds, length);
}

Spine arc_spine(const Box64& box, Point64 start, Point64 end, const Rect& bounds) {
  const Ellipse e = ellipse_of(box);
  int64_t length = 0;
  return ordered_arc(e, sweep_of(e, start, end), bounds, length);
}

Coverage fill_sector(const Box64& box, Point64 start, Point64 end, const Rect& bounds) {
  const Ellipse e = ellipse_of(box);
  const Sweep sw = sweep_of(e, start, end);
  return kept(
      fill_ellipse(box, bounds),
      [&sw](int x, int y) { return sw.holds(x, y); },
      [&](int y, std::vector<int64_t>& near) {
        ray_meets_row(e, start, y, near);
        ray_meets_row(e, end, y, near);
      });
}

Spine pie_spine(const Box64& box, Point64 start, Point64 end, const Rect& bounds) {
  const Ellipse e = ellipse_of(box);
  if (e.rx <= 0 || e.ry <= 0) return {};
  const Sweep sw = sweep_of(e, start, end);
  int64_t step = 0;
  Spine out = ordered_arc(e, sw, bounds, step);
  step += trace_ray(e, end, true, bounds, step, out);
  trace_ray(e, start, false, bounds, step, out);
  return out;
}

Coverage fill_chord(const Box64& box, Point64 start, Point64 end, const Rect& bounds) {
  const Ellipse e = ellipse_of(box);
  if (e.rx <= 0 || e.ry <= 0) return {};
  const ChordLine line = chord_of(e, start, end);
  return kept(
      fill_ellipse(box, bounds),
      [&line](int x, int y) { return line.holds(x, y); },
      [&line](int y, std::vector<int64_t>& near) {
        if (line.dy != 0)
          near.push_back(pixel_near(line.x0 + line.dx * (y + 0.5 - line.y0) / line.dy));
      });
}

Spine chord_spine(const Box64& box, Point64 start, Point64 end, const Rect& bounds) {
  const Ellipse e = ellipse_of(box);
  if (e.rx <= 0 || e.ry <= 0) return {};
  const Sweep sw = sweep_of(e, start, end);
  int64_t step = 0;
  Spine out = ordered_arc(e, sw, bounds, step);
  trace_chord(e, chord_of(e, start, end), bounds, step, out);
  return out;
}

Coverage fill_round_rect(const Box64& box, int64_t corner_w, int64_t corner_h, const Rect& bounds) {
  const RoundRect rr = round_rect_of(box, corner_w, corner_h);
  Coverage out;
  const int64_t y0 = std::max<int64_t>(rr.top, bounds.top);
  const int64_t y1 = std::min<int64_t>(rr.bottom, bounds.bottom);
  for (int64_t y = y0; y < y1; ++y) {
    const RowSpan c = clipped(rr.row(y), bounds);
    out.add_span(static_cast<int>(y), static_cast<int>(c.x0), static_cast<int>(c.x1));
  }
  return out;
}

Spine round_rect_spine(const Box64& box, int64_t corner_w, int64_t corner_h, const Rect& bounds) {
  const RoundRect rr = round_rect_of(box, corner_w, corner_h);
  const Ellipse whole = ellipse_of(box);  // the box's centre orders the border
  const Rect area = numbered_area(whole, bounds);
  int64_t length = 0;
  return ordered_border(
      border_pixels([&rr](int64_t y) { return rr.row(y); }, rr.top, rr.bottom, area),
      Sweep{whole.cx, whole.cy, 0.0, kTwoPi},
      bounds,
      length);
}

}  // namespace platform::raster
