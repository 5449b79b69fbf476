#include "platform/gfx/device_context.hpp"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "platform/gfx/flood_fill.hpp"
#include "platform/gfx/raster_bezier.hpp"
#include "platform/gfx/raster_ellipse.hpp"
#include "platform/gfx/raster_polygon.hpp"
#include "platform/gfx/stroke.hpp"

namespace platform {

namespace {

int clamp32(int64_t v) {
  return static_cast<int>(
      std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

Rect widened(const Rect& r, int by) {
  return Rect{r.left - by, r.top - by, r.right + by, r.bottom + by};
}

}  // namespace

DeviceContext::DeviceContext(Page& page)
    : page_(&page), pen_(stock_black_pen()), brush_(stock_white_brush()) {}

Color DeviceContext::set_text_color(Color c) { return std::exchange(text_color_, c); }
Color DeviceContext::set_bk_color(Color c) { return std::exchange(bk_color_, c); }
BkMode DeviceContext::set_bk_mode(BkMode m) { return std::exchange(bk_mode_, m); }
MixMode DeviceContext::set_mix_mode(MixMode m) { return std::exchange(mix_mode_, m); }

PenRef DeviceContext::select_pen(PenRef pen) {
  if (!pen) return nullptr;
  return std::exchange(pen_, std::move(pen));
}

BrushRef DeviceContext::select_brush(BrushRef brush) {
  if (!brush) return nullptr;
  return std::exchange(brush_, std::move(brush));
}

FontRef DeviceContext::select_font(FontRef font) {
  if (!font) return nullptr;
  return std::exchange(font_, std::move(font));
}

Point DeviceContext::move_to(Point p) { return std::exchange(position_, p); }
Point DeviceContext::set_origin(Point device) { return std::exchange(origin_, device); }
void DeviceContext::set_clip(std::optional<Rect> device_rect) { clip_ = device_rect; }

Rect DeviceContext::drawable() const {
  const Rect page_rect{0, 0, page_->width(), page_->height()};
  return clip_ ? intersect(page_rect, sorted(*clip_)) : page_rect;
}

Point64 DeviceContext::device(Point logical) const {
  return Point64{static_cast<int64_t>(logical.x) + origin_.x,
                 static_cast<int64_t>(logical.y) + origin_.y};
}

Point DeviceContext::to_device(Point logical) const {
  const Point64 d = device(logical);
  return Point{clamp32(d.x), clamp32(d.y)};
}

Point DeviceContext::to_logical(Point device) const {
  return Point{clamp32(static_cast<int64_t>(device.x) - origin_.x),
               clamp32(static_cast<int64_t>(device.y) - origin_.y)};
}

Rect DeviceContext::trace_bounds() const {
  return widened(drawable(), raster::stroke_reach(*pen_));
}

raster::Ink DeviceContext::brush_ink(const Brush& brush, bool opaque) const {
  if (brush.kind() == Brush::Kind::Solid) return raster::Ink::solid(brush.color());
  return raster::Ink::patterned(brush.rows(), text_color_, bk_color_, opaque);
}

void DeviceContext::paint_fill(const raster::Coverage& area) {
  if (brush_->kind() == Brush::Kind::Null) return;
  raster::paint(
      *page_, area, drawable(), brush_ink(*brush_, bk_mode_ == BkMode::Opaque), mix_mode_);
}

void DeviceContext::paint_stroke(const raster::Stroke& s) {
  raster::paint(*page_, s.ink, drawable(), raster::Ink::solid(pen_->color()), mix_mode_);
  if (bk_mode_ == BkMode::Opaque)
    raster::paint(*page_, s.gaps, drawable(), raster::Ink::solid(bk_color_), mix_mode_);
}

void DeviceContext::stroke_and_paint(const raster::Spine& spine) {
  paint_stroke(raster::stroke(spine, *pen_, drawable()));
}

void DeviceContext::fill_and_outline(raster::Coverage area, raster::Stroke outline) {
  area.subtract(outline.ink);
  if (bk_mode_ == BkMode::Opaque) area.subtract(outline.gaps);
  paint_fill(area);
  paint_stroke(outline);
}

void DeviceContext::fill_and_outline(raster::Coverage area, const raster::Spine& outline) {
  fill_and_outline(std::move(area), raster::stroke(outline, *pen_, drawable()));
}

void DeviceContext::line_to(Point p) {
  raster::Spine spine;
  raster::trace_segment(device(position_), device(p), trace_bounds(), 0, spine);
  stroke_and_paint(spine);
  position_ = p;
}

std::vector<Point64> DeviceContext::device_points(std::span<const Point> points) const {
  std::vector<Point64> pts;
  pts.reserve(points.size() + 1);
  for (const Point& p : points) pts.push_back(device(p));
  return pts;
}

void DeviceContext::polyline(std::span<const Point> points) {
  raster::StrokeBuilder builder(*pen_);
  builder.add_polyline(device_points(points), trace_bounds());
  paint_stroke(builder.finish(drawable()));
}

void DeviceContext::poly_bezier(std::span<const Point> points) {
  if (pen_->is_null()) return;  // a curve drawn with no pen is not even flattened
  raster::StrokeBuilder builder(*pen_);
  int64_t step = 0;  // the dash pattern runs on from piece to piece
  raster::flatten_bezier(device_points(points), [&](std::span<const Point64> polyline) {
    step += builder.add_polyline(polyline, trace_bounds(), step);
  });
  paint_stroke(builder.finish(drawable()));
}

void DeviceContext::polygon(std::span<const Point> points) {
  if (points.size() < 2) return;
  std::vector<Point64> pts = device_points(points);
  raster::Coverage area = raster::fill_polygon(pts, drawable());
  pts.push_back(pts.front());
  raster::StrokeBuilder outline(*pen_);
  outline.add_polyline(pts, trace_bounds());
  fill_and_outline(std::move(area), outline.finish(drawable()));
}

void DeviceContext::poly_polygon(std::span<const Point> points, std::span<const int> counts) {
  const std::vector<Point64> pts = device_points(points);
  raster::Coverage area = raster::fill_polygons(pts, counts, drawable());
  raster::StrokeBuilder outline(*pen_);
  std::vector<Point64> ring;
  size_t at = 0;
  for (const int count : counts) {
    const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), pts.size() - at);
    if (n >= 2) {
      ring.assign(pts.begin() + at, pts.begin() + at + n);
      ring.push_back(ring.front());
      outline.add_polyline(ring, trace_bounds());
    }
    at += n;
  }
  fill_and_outline(std::move(area), outline.finish(drawable()));
}

void DeviceContext::rectangle(const Rect& r) {
  const Rect s = sorted(r);
  if (s.empty()) return;
  const Point corners[] = {
      {s.left, s.top}, {s.right - 1, s.top}, {s.right - 1, s.bottom - 1}, {s.left, s.bottom - 1}};
  polygon(corners);
}

namespace {

raster::Box64 box64(const Rect& box, Point origin) {
  return raster::Box64{static_cast<int64_t>(box.left) + origin.x,
                       static_cast<int64_t>(box.top) + origin.y,
                       static_cast<int64_t>(box.right) + origin.x,
                       static_cast<int64_t>(box.bottom) + origin.y};
}

}  // namespace

template <class Trace>
raster::Spine DeviceContext::outline(const Trace& trace) const {
  return pen_->is_null() ? raster::Spine{} : trace(trace_bounds());
}

void DeviceContext::round_rect(const Rect& box, int corner_w, int corner_h) {
  const raster::Box64 b = box64(box, origin_);
  fill_and_outline(
      raster::fill_round_rect(b, corner_w, corner_h, drawable()),
      outline([&](const Rect& r) { return raster::round_rect_spine(b, corner_w, corner_h, r); }));
}

void DeviceContext::ellipse(const Rect& box) {
  const raster::Box64 b = box64(box, origin_);
  fill_and_outline(raster::fill_ellipse(b, drawable()),
                   outline([&](const Rect& r) { return raster::ellipse_spine(b, r); }));
}

void DeviceContext::arc(const Rect& box, Point start, Point end) {
  stroke_and_paint(outline([&](const Rect& r) {
    return raster::arc_spine(box64(box, origin_), device(start), device(end), r);
  }));
}

void DeviceContext::pie(const Rect& box, Point start, Point end) {
  const raster::Box64 b = box64(box, origin_);
  fill_and_outline(
      raster::fill_sector(b, device(start), device(end), drawable()),
      outline([&](const Rect& r) { return raster::pie_spine(b, device(start), device(end), r); }));
}

void DeviceContext::chord(const Rect& box, Point start, Point end) {
  const raster::Box64 b = box64(box, origin_);
  fill_and_outline(raster::fill_chord(b, device(start), device(end), drawable()),
                   outline([&](const Rect& r) {
                     return raster::chord_spine(b, device(start), device(end), r);
                   }));
}

bool DeviceContext::flood_fill(Point seed, Color border) {
  const Point64 d = device(seed);
  const Rect bounds = drawable();
  if (d.x < bounds.left || d.x >= bounds.right || d.y < bounds.top || d.y >= bounds.bottom)
    return false;
  const raster::Coverage region = raster::flood_region(
      *page_, Point{static_cast<int>(d.x), static_cast<int>(d.y)}, to_pixel(border), bounds);
  if (region.empty()) return false;
  paint_fill(region);
  return true;
}

void DeviceContext::fill_rect(const Rect& r, const Brush& brush) {
  if (brush.kind() == Brush::Kind::Null) return;
  const Rect bounds = drawable();
  const Point64 a = device({r.left, r.top});
  const Point64 b = device({r.right, r.bottom});
  const Rect area = intersect(bounds,
                              Rect{clamp32(std::min(a.x, b.x)),
                                   clamp32(std::min(a.y, b.y)),
                                   clamp32(std::max(a.x, b.x)),
                                   clamp32(std::max(a.y, b.y))});
  raster::Coverage mask;
  for (int y = area.top; y < area.bottom; ++y) mask.add_span(y, area.left, area.right);
  raster::paint(*page_, mask, bounds, brush_ink(brush, true), MixMode::Copy);
}

void DeviceContext::set_pixel(Point p, Color c) {
  const Point64 d = device(p);
  if (!drawable().contains(clamp32(d.x), clamp32(d.y))) return;
  page_->at(static_cast<int>(d.x), static_cast<int>(d.y)) = to_pixel(c);
}

Color DeviceContext::get_pixel(Point p) const {
  const Point64 d = device(p);
  if (!drawable().contains(clamp32(d.x), clamp32(d.y))) return kInvalidColor;
  return to_colorref(page_->at(static_cast<int>(d.x), static_cast<int>(d.y)));
}

}  // namespace platform
