#include "toolkit/drawing.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/gfx/device_context.hpp"
#include "toolkit/drawing_state.hpp"

namespace gk {

namespace {

using platform::BkMode;
using platform::DeviceContext;
using platform::Point;
using platform::Rect;

BkMode bk_mode_for(int32_t transparency) {
  return transparency == 1 ? BkMode::Transparent : BkMode::Opaque;
}

// Line mode: dash gaps follow the line transparency.
void line_mode(const DcLease& lease) {
  lease.dc().set_bk_mode(bk_mode_for(lease.record().line_transparency));
}

// Fill mode for the span of one fill: the brush's pattern takes the fill colour, its gaps
// follow the fill transparency; the drawing colour comes back when the scope ends.
class FillMode {
 public:
  explicit FillMode(const DcLease& lease) : lease_(lease) {
    lease.dc().set_text_color(lease.record().fill_color);
    lease.dc().set_bk_mode(bk_mode_for(lease.record().fill_transparency));
  }
  ~FillMode() { lease_.dc().set_text_color(lease_.record().drawing_color); }
  FillMode(const FillMode&) = delete;
  FillMode& operator=(const FillMode&) = delete;

 private:
  const DcLease& lease_;
};

// Box + 1 of the corners, widened by the line thickness.
Rect box_plus_one(const DcLease& lease, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const int64_t t = std::max(lease.record().line_thickness, 0);
  return Rect{saturate32(std::min<int64_t>(x1, x2) - t),
              saturate32(std::min<int64_t>(y1, y2) - t),
              saturate32(std::max<int64_t>(x1, x2) + 1 + t),
              saturate32(std::max<int64_t>(y1, y2) + 1 + t)};
}

std::vector<Point> points_of(int32_t count, const int32_t* xy) {
  std::vector<Point> pts;
  if (xy == nullptr || count <= 0) return pts;
  pts.reserve(count);
  for (int32_t i = 0; i < count; ++i) pts.push_back({xy[2 * i], xy[2 * i + 1]});
  return pts;
}

// Draws the elliptical arc and returns its end points.
struct ArcEnds {
  Point start, end;
};
ArcEnds arc_ends(int32_t x, int32_t y, int32_t sa, int32_t ea, int32_t rx, int32_t ry) {
  return ArcEnds{ArcEndPoints(x, y, rx, ry, sa), ArcEndPoints(x, y, rx, ry, ea)};
}

void draw_arc(int32_t x, int32_t y, int32_t sa, int32_t ea, int32_t rx, int32_t ry, bool keep) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  const ArcEnds ends = arc_ends(x, y, sa, ea, rx, ry);
  if (keep) lease.record().last_arc = {x, y, ends.start.x, ends.start.y, ends.end.x, ends.end.y};
  line_mode(lease);
  const Rect box = CenterToBox(x, y, rx, ry);
  lease.dc().arc(box, ends.start, ends.end);
  const Rect area = box_plus_one(lease, box.left, box.top, box.right, box.bottom);
  refresh_drawn(lease.record(), &area);
}

void draw_pie(int32_t x, int32_t y, int32_t sa, int32_t ea, int32_t rx, int32_t ry) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  const ArcEnds ends = arc_ends(x, y, sa, ea, rx, ry);
  const Rect box = CenterToBox(x, y, rx, ry);
  {
    FillMode fill(lease);
    lease.dc().pie(box, ends.start, ends.end);
  }
  const Rect area = box_plus_one(lease, box.left, box.top, box.right, box.bottom);
  refresh_drawn(lease.record(), &area);
}

// A segment from the current position, which moves to its end.
void line_from_position(const DcLease& lease, Point to) {
  line_mode(lease);
  const Point from = lease.dc().position();
  lease.dc().line_to(to);
  const Rect area = box_plus_one(lease, from.x, from.y, to.x, to.y);
  refresh_drawn(lease.record(), &area);
}

}  // namespace

Point ArcEndPoints(int32_t x, int32_t y, int32_t rx, int32_t ry, int32_t degrees) {
  const double a = degrees * std::numbers::pi / 180.0;
  return Point{saturate32(x + static_cast<int64_t>(std::trunc(rx * std::cos(a)))),
               saturate32(y - static_cast<int64_t>(std::trunc(ry * std::sin(a))))};
}

void line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  DeviceContext& dc = lease.dc();
  line_mode(lease);
  const Point kept = dc.move_to({x1, y1});
  dc.line_to({x2, y2});
  dc.move_to(kept);
  const Rect area = box_plus_one(lease, x1, y1, x2, y2);
  refresh_drawn(lease.record(), &area);
}

void lineto(int32_t x, int32_t y) {
  DcLease lease = GK__GetCompatDC(0);
  if (lease) line_from_position(lease, {x, y});
}

void linerel(int32_t dx, int32_t dy) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  const Point from = lease.dc().position();
  line_from_position(lease, {saturate32(int64_t{from.x} + dx), saturate32(int64_t{from.y} + dy)});
}

void rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  line_mode(lease);
  const Point outline[] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
  lease.dc().polyline(outline);
  const Rect area = box_plus_one(lease, left, top, right, bottom);
  refresh_drawn(lease.record(), &area);
}

void drawpoly(int32_t count, const int32_t* points) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  line_mode(lease);
  lease.dc().polyline(points_of(count, points));
  refresh_drawn(lease.record(), nullptr);
}

void bezier(int32_t x1,
            int32_t y1,
            int32_t x2,
            int32_t y2,
            int32_t cx1,
            int32_t cy1,
            int32_t cx2,
            int32_t cy2) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  line_mode(lease);
  const Point curve[] = {{x1, y1}, {cx1, cy1}, {cx2, cy2}, {x2, y2}};
  lease.dc().poly_bezier(curve);
  refresh_drawn(lease.record(), nullptr);
}

void circle(int32_t x, int32_t y, int32_t radius) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  line_mode(lease);
  const Rect box = CenterToBox(x, y, radius, radius);
  const Point start{saturate32(int64_t{x} + radius), y};
  lease.dc().arc(box, start, start);
  const Rect area = box_plus_one(lease, box.left, box.top, box.right, box.bottom);
  refresh_drawn(lease.record(), &area);
}

void arc(int32_t x, int32_t y, int32_t start_angle, int32_t end_angle, int32_t radius) {
  draw_arc(x, y, start_angle, end_angle, radius, radius, true);
}

void ellipse(int32_t x,
             int32_t y,
             int32_t start_angle,
             int32_t end_angle,
             int32_t x_radius,
             int32_t y_radius) {
  draw_arc(x, y, start_angle, end_angle, x_radius, y_radius, false);
}

// Two roads cover left..right-1, top..bottom-1: a transparent pattern is drawn as a rectangle
// without outline in transparent mode, anything else is filled with the brush directly.
void bar(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  DeviceContext& dc = lease.dc();
  const WindowData& rec = lease.record();
  {
    FillMode fill(lease);
    if (rec.fill_transparency == 1 && rec.fill_style >= 2) {
      const platform::PenRef pen = dc.select_pen(platform::stock_null_pen());
      dc.set_bk_mode(BkMode::Transparent);
      dc.rectangle({left, top, saturate32(int64_t{right} + 1), saturate32(int64_t{bottom} + 1)});
      dc.select_pen(pen);
    } else {
      dc.fill_rect({left, top, right, bottom}, *dc.brush());
    }
  }
  const Rect area = box_plus_one(lease, left, top, right, bottom);
  refresh_drawn(lease.record(), &area);
}

void bar3d(
    int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t depth, int32_t topflag) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  DeviceContext& dc = lease.dc();
  // Step 1.
  {
    FillMode fill(lease);
    dc.rectangle({left, top, right, bottom});
  }
  // Step 2: the side recedes at 30 degrees.
  const int64_t d = static_cast<int64_t>(std::trunc(depth * 0.5773502691896257));
  const int32_t back = saturate32(int64_t{right} + depth);  // x of the back edges
  const int32_t back_top = saturate32(top - d), back_bottom = saturate32(bottom - d);
  line_mode(lease);
  // Step 3. The side runs on one pixel toward the face so that its last point (right, top)
  // is inked too: the face's outline stops at right - 1, and the corner would stay open.
  if (depth != 0) {
    const Point side[] = {{right, bottom},
                          {back, back_bottom},
                          {back, back_top},
                          {right, top},
                          {saturate32(int64_t{right} - 1), top}};
    dc.polyline(side);
  }
  // Step 4.
  if (topflag != 0) {
    const Point lid[] = {
        {back, back_top}, {saturate32(int64_t{left} + depth), back_top}, {left, top}};
    dc.polyline(lid);
  }
  // Step 5.
  const int64_t t = std::max(lease.record().line_thickness, 0);
  const Rect area{saturate32(left - t),
                  saturate32(top - d - t),
                  saturate32(int64_t{right} + depth + 1 + t),
                  saturate32(bottom + 1 + t)};
  refresh_drawn(lease.record(), &area);
}

void fillellipse(int32_t x, int32_t y, int32_t x_radius, int32_t y_radius) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  const Rect box = CenterToBox(x, y, x_radius, y_radius);
  {
    FillMode fill(lease);
    lease.dc().ellipse(box);
  }
  const Rect area = box_plus_one(lease, box.left, box.top, box.right, box.bottom);
  refresh_drawn(lease.record(), &area);
}

void fillpoly(int32_t count, const int32_t* points) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  {
    FillMode fill(lease);
    lease.dc().polygon(points_of(count, points));
  }
  refresh_drawn(lease.record(), nullptr);
}

void pieslice(int32_t x, int32_t y, int32_t start_angle, int32_t end_angle, int32_t radius) {
  draw_pie(x, y, start_angle, end_angle, radius, radius);
}

void sector(int32_t x,
            int32_t y,
            int32_t start_angle,
            int32_t end_angle,
            int32_t x_radius,
            int32_t y_radius) {
  draw_pie(x, y, start_angle, end_angle, x_radius, y_radius);
}

void floodfill(int32_t x, int32_t y, int32_t border) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  {
    FillMode fill(lease);
    lease.dc().flood_fill({x, y}, static_cast<platform::Color>(border));
  }
  refresh_drawn(lease.record(), nullptr);
}

void putpixel(int32_t x, int32_t y, int32_t color) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  lease.dc().set_pixel({x, y}, static_cast<platform::Color>(color));
  const Rect area{x, y, saturate32(int64_t{x} + 1), saturate32(int64_t{y} + 1)};
  refresh_drawn(lease.record(), &area);
}

void cleardevice() {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  DeviceContext& dc = lease.dc();
  WindowData& rec = lease.record();
  // Step 1: the window's top-left corner in logical coordinates.
  const Point corner = dc.to_logical({0, 0});
  // Step 2: the whole page, whatever the clip region.
  const auto clip = dc.clip();
  dc.set_clip(std::nullopt);
  const platform::BrushRef brush =
      rec.background_brush ? rec.background_brush : platform::Brush::solid(rec.background_color);
  dc.fill_rect({corner.x, corner.y, rec.width, rec.height}, *brush);
  dc.set_clip(clip);
  // Step 3.
  dc.move_to(corner);
  refresh_drawn(rec, nullptr);
}

}  // namespace gk
