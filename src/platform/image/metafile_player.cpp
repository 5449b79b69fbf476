#include "platform/image/metafile_player.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/image/bmp.hpp"
#include "platform/image/metafile_bitmap.hpp"
#include "platform/image/metafile_bytes.hpp"
#include "platform/text/text_convert.hpp"
#include "platform/text/text_layout.hpp"

namespace platform::metafile {
namespace {

// Text alignment: horizontal and vertical fields and the flag to draw at the current position.
constexpr uint32_t kAlignUpdateCp = 0x01, kAlignHorizontal = 0x06, kAlignRight = 0x02,
                   kAlignCenter = 0x06, kAlignVertical = 0x18, kAlignBottom = 0x08,
                   kAlignBaseline = 0x18;
// Raster operations of block transfers without a bitmap.
constexpr uint32_t kPatCopy = 0x00F00021, kBlackness = 0x00000042, kWhiteness = 0x00FF0062;

// Nearest int, clamped to the int range; a NaN gives 0 (the mapping keeps values finite, but
// a conversion out of range would be undefined).
int to_int(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(std::round(v),
                                     static_cast<double>(std::numeric_limits<int>::min()),
                                     static_cast<double>(std::numeric_limits<int>::max())));
}

int clamp_int(int64_t v) {
  return static_cast<int>(
      std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Logical units per millimetre of the fixed mapping modes.
double units_per_mm(MapMode mode) {
  switch (mode) {
    case MapMode::LoMetric:
      return 10.0;
    case MapMode::HiMetric:
      return 100.0;
    case MapMode::LoEnglish:
      return 100.0 / 25.4;
    case MapMode::HiEnglish:
      return 1000.0 / 25.4;
    default:
      return 1440.0 / 25.4;  // twips
  }
}

}  // namespace

Axis axis_onto(double lo, double hi, int64_t dest_lo, int64_t dest_size) {
  const double scale = static_cast<double>(dest_size) / (hi - lo);
  return Axis{scale, static_cast<double>(dest_lo) - lo * scale};
}

Rect clip_of(const Destination& dest) {
  return Rect{clamp_int(dest.left),
              clamp_int(dest.top),
              clamp_int(dest.left + dest.width),
              clamp_int(dest.top + dest.height)};
}

Player::Player(DeviceContext& dc, const Placement& placement, const Mapping& mapping)
    : dc_(dc),
      placement_(placement),
      objects_(placement.object_slots),
      bitmap_pixels_left_(kMaxBmpPixels),
      old_pen_(dc.pen()),
      old_brush_(dc.brush()),
      old_font_(dc.font()),
      old_text_color_(dc.text_color()),
      old_bk_color_(dc.bk_color()),
      old_bk_mode_(dc.bk_mode()),
      old_mix_mode_(dc.mix_mode()),
      old_position_(dc.position()),
      old_clip_(dc.clip()) {
  state_.mapping = mapping;
  update_axes();
  const Point a = dc.to_device({placement.clip.left, placement.clip.top});
  const Point b = dc.to_device({placement.clip.right, placement.clip.bottom});
  Rect clip = intersect(dc.drawable(), sorted({a.x, a.y, b.x, b.y}));
  // An empty intersection may be inverted, which the context would read sorted, as an area.
  if (clip.empty()) clip = Rect{};
  dc.set_clip(clip);
  dc.set_mix_mode(MixMode::Copy);
}

Player::~Player() {
  dc_.select_pen(old_pen_);
  dc_.select_brush(old_brush_);
  dc_.select_font(old_font_);
  dc_.set_text_color(old_text_color_);
  dc_.set_bk_color(old_bk_color_);
  dc_.set_bk_mode(old_bk_mode_);
  dc_.set_mix_mode(old_mix_mode_);
  dc_.move_to(old_position_);
  dc_.set_clip(old_clip_);
}

void Player::update_axes() {
  const Mapping& m = state_.mapping;
  double sx = 1.0, sy = 1.0;
  switch (m.mode) {
    case MapMode::Text:
      break;
    case MapMode::Isotropic:
    case MapMode::Anisotropic:
      sx = static_cast<double>(m.viewport_ext.x) / m.window_ext.x;
      sy = static_cast<double>(m.viewport_ext.y) / m.window_ext.y;
      if (m.mode == MapMode::Isotropic) {
        // The smaller scale on both axes, measured on the page or on the device context.
        const bool device =
            placement_.isotropic_on_device && placement_.x.scale != 0 && placement_.y.scale != 0;
        const double kx = device ? std::fabs(placement_.x.scale) : 1.0;
        const double ky = device ? std::fabs(placement_.y.scale) : 1.0;
        const double s = std::min(std::fabs(sx) * kx, std::fabs(sy) * ky);
        sx = std::copysign(s / kx, sx);
        sy = std::copysign(s / ky, sy);
      }
      break;
    default:
      sx = placement_.pixels_per_mm_x / units_per_mm(m.mode);
      sy = -placement_.pixels_per_mm_y / units_per_mm(m.mode);
      break;
  }
  // page = (logical - window origin) * s + viewport origin; then the placement.
  const Axis& px = placement_.x;
  const Axis& py = placement_.y;
  x_ = Axis{px.scale * sx, px.at(m.viewport_org.x - m.window_org.x * sx)};
  y_ = Axis{py.scale * sy, py.at(m.viewport_org.y - m.window_org.y * sy)};
}

Point Player::map(Point logical) const {
  return Point{to_int(x_.at(logical.x)), to_int(y_.at(logical.y))};
}

Rect Player::map_rect(const Rect& r) const {
  const Point a = map({r.left, r.top});
  const Point b = map({r.right, r.bottom});
  return Rect{a.x, a.y, b.x, b.y};
}

std::vector<Point> Player::map_all(std::span<const Point> points) const {
  std::vector<Point> out;
  out.reserve(points.size());
  for (const Point& p : points) out.push_back(map(p));
  return out;
}

int Player::pen_width() const {
  return state_.pen.width == 0 ? 1 : to_int(std::fabs(state_.pen.width * x_.scale));
}

void Player::prepare() {
  dc_.select_pen(realize_pen(state_.pen, pen_width()));
  dc_.select_brush(realize_brush(state_.brush));
  dc_.set_bk_mode(state_.opaque ? BkMode::Opaque : BkMode::Transparent);
  dc_.set_bk_color(state_.bk_color);
  // A hatch's lines take the brush's colour; the context inks pattern bits in its text colour.
  dc_.set_text_color(state_.brush.style == kBrushHatched ? state_.brush.color : state_.text_color);
}

// ---- State ----

void Player::set_map_mode(uint32_t mode) {
  if (mode < static_cast<uint32_t>(MapMode::Text) ||
      mode > static_cast<uint32_t>(MapMode::Anisotropic))
    return;
  state_.mapping.mode = static_cast<MapMode>(mode);
  update_axes();
}

void Player::set_window_org(Point p) {
  state_.mapping.window_org = p;
  update_axes();
}

void Player::set_window_ext(Point e) {
  if (e.x == 0 || e.y == 0) return;
  state_.mapping.window_ext = e;
  update_axes();
}

void Player::set_viewport_org(Point p) {
  state_.mapping.viewport_org = p;
  update_axes();
}

void Player::set_viewport_ext(Point e) {
  if (e.x == 0 || e.y == 0) return;
  state_.mapping.viewport_ext = e;
  update_axes();
}

void Player::save_dc() {
  if (saved_.size() < kMaxSavedStates) saved_.push_back(state_);
}

void Player::restore_dc(int32_t which) {
  const int64_t level =
      which < 0 ? static_cast<int64_t>(saved_.size()) + which : int64_t{which} - 1;
  if (which == 0 || level < 0 || level >= static_cast<int64_t>(saved_.size())) return;
  state_ = saved_[static_cast<size_t>(level)];
  saved_.resize(static_cast<size_t>(level));
  update_axes();
}

void Player::set_text_color(Color c) { state_.text_color = c & 0xFFFFFF; }
void Player::set_bk_color(Color c) { state_.bk_color = c & 0xFFFFFF; }

void Player::set_bk_mode(uint32_t mode) {
  if (mode == 1 || mode == 2) state_.opaque = mode == 2;
}

void Player::set_text_align(uint32_t align) { state_.text_align = align; }

// ---- Objects ----

std::optional<size_t> Player::free_slot() const { return objects_.free_slot(); }

void Player::create_object(size_t slot, Object object) { objects_.create(slot, std::move(object)); }

void Player::select_object(size_t slot) {
  if (const Object* o = objects_.at(slot)) select(*o);
}

void Player::select_stock_object(uint32_t id) {
  if (const std::optional<Object> o = stock_object(id)) select(*o);
}

void Player::select(const Object& o) {
  if (const auto* pen = std::get_if<PenSpec>(&o)) state_.pen = *pen;
  if (const auto* brush = std::get_if<BrushSpec>(&o)) state_.brush = *brush;
  if (const auto* font = std::get_if<FontSpec>(&o)) state_.font = *font;
}

void Player::delete_object(size_t slot) { objects_.erase(slot); }

// ---- Lines and shapes ----

void Player::move_to(Point p) { state_.position = p; }

void Player::line_to(Point p) {
  const Point ends[] = {map(state_.position), map(p)};
  state_.position = p;
  if (!stroke_budget(path_length(ends))) return;
  prepare();
  dc_.move_to(ends[0]);
  dc_.line_to(ends[1]);
}

void Player::polyline(std::span<const Point> points) {
  const std::vector<Point> mapped = map_all(points);
  if (!stroke_budget(path_length(mapped))) return;
  prepare();
  dc_.polyline(mapped);
}

void Player::polyline_to(std::span<const Point> points) {
  if (points.empty()) return;
  std::vector<Point> all{state_.position};
  all.insert(all.end(), points.begin(), points.end());
  polyline(all);
  state_.position = points.back();
}

void Player::poly_polyline(std::span<const Point> points, std::span<const int> counts) {
  const std::vector<Point> mapped = map_all(points);
  if (!stroke_budget(path_length(mapped))) return;
  prepare();
  size_t at = 0;
  for (const int count : counts) {
    const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), mapped.size() - at);
    dc_.polyline(std::span(mapped).subspan(at, n));
    at += n;
  }
}

void Player::polygon(std::span<const Point> points) {
  const std::vector<Point> mapped = map_all(points);
  if (!stroke_budget(path_length(mapped, true)) || !fill_budget(bounding_box(mapped))) return;
  prepare();
  dc_.polygon(mapped);
}

void Player::poly_polygon(std::span<const Point> points, std::span<const int> counts) {
  const std::vector<Point> mapped = map_all(points);
  if (!stroke_budget(path_length(mapped, true)) || !fill_budget(bounding_box(mapped))) return;
  prepare();
  dc_.poly_polygon(mapped, counts);
}

void Player::poly_bezier(std::span<const Point> points) {
  const std::vector<Point> mapped = map_all(points);
  if (!curve_budget(mapped)) return;
  prepare();
  dc_.poly_bezier(mapped);
}

void Player::poly_bezier_to(std::span<const Point> points) {
  const size_t whole = points.size() / 3 * 3;  // complete pieces only
  if (whole == 0) return;
  std::vector<Point> all{state_.position};
  all.insert(all.end(), points.begin(), points.begin() + whole);
  poly_bezier(all);
  state_.position = points[whole - 1];
}

void Player::rectangle(const Rect& r) {
  const Rect box = map_rect(r);
  const Point corners[] = {
      {box.left, box.top}, {box.right, box.top}, {box.right, box.bottom}, {box.left, box.bottom}};
  if (!stroke_budget(path_length(corners, true)) || !fill_budget(box)) return;
  prepare();
  dc_.rectangle(box);
}

void Player::round_rect(const Rect& r, Point corner) {
  const Rect box = map_rect(r);
  if (!curve_budget(box) || !fill_budget(box)) return;
  prepare();
  dc_.round_rect(
      box, to_int(std::fabs(corner.x * x_.scale)), to_int(std::fabs(corner.y * y_.scale)));
}

void Player::ellipse(const Rect& r) {
  const Rect box = map_rect(r);
  if (!curve_budget(box) || !fill_budget(box)) return;
  prepare();
  dc_.ellipse(box);
}

void Player::arc(const Rect& r, Point start, Point end) {
  const Rect box = map_rect(r);
  if (!curve_budget(box)) return;
  prepare();
  dc_.arc(box, map(start), map(end));
}

void Player::chord(const Rect& r, Point start, Point end) {
  const Rect box = map_rect(r);
  if (!curve_budget(box) || !fill_budget(box)) return;
  prepare();
  dc_.chord(box, map(start), map(end));
}

void Player::pie(const Rect& r, Point start, Point end) {
  const Rect box = map_rect(r);
  if (!curve_budget(box) || !fill_budget(box)) return;
  prepare();
  dc_.pie(box, map(start), map(end));
}

void Player::set_pixel(Point p, Color c) { dc_.set_pixel(map(p), c & 0xFFFFFF); }

bool Player::curve_budget(const Rect& box) {
  constexpr int64_t kSide = int64_t{1} << 16;
  const int64_t w = std::abs(int64_t{box.right} - box.left);
  const int64_t h = std::abs(int64_t{box.bottom} - box.top);
  return charge_curve(2 * (std::min(w, kSide) + std::min(h, kSide)));
}

bool Player::curve_budget(std::span<const Point> bezier) {
  constexpr int64_t kPieces = int64_t{1} << 16;
  int64_t cost = 0;
  for (size_t i = 0; i + 3 < bezier.size(); i += 3) {
    int64_t length = 1;
    for (size_t j = i; j < i + 3; ++j)
      length += std::abs(int64_t{bezier[j + 1].x} - bezier[j].x) +
                std::abs(int64_t{bezier[j + 1].y} - bezier[j].y);
    cost += std::min(length, kPieces);
  }
  return charge_curve(cost);
}

bool Player::charge_curve(int64_t pixels) {
  if (pixels > curve_pixels_left_ || !stroke_budget(pixels)) return false;
  curve_pixels_left_ -= pixels;
  return true;
}

int64_t Player::path_length(std::span<const Point> points, bool closed) const {
  // A segment is traced only along the part of its major axis inside the drawable part of
  // the page, widened by the pen's reach on both sides.
  const Rect c = dc_.drawable();
  const int64_t reach = 2 * int64_t{std::clamp(pen_width(), 1, Pen::kMaxWidth)};
  const int64_t span_x = std::abs(int64_t{c.right} - c.left) + reach;
  const int64_t span_y = std::abs(int64_t{c.bottom} - c.top) + reach;
  const auto segment = [&](Point a, Point b) {
    const int64_t dx = std::abs(int64_t{b.x} - a.x), dy = std::abs(int64_t{b.y} - a.y);
    return dx >= dy ? std::min(dx, span_x) : std::min(dy, span_y);
  };
  int64_t length = 0;
  for (size_t i = 1; i < points.size(); ++i) length += segment(points[i - 1], points[i]);
  if (closed && points.size() > 1) length += segment(points.back(), points.front());
  return length;
}

bool Player::stroke_budget(int64_t length) {
  if ((state_.pen.style & 0x0F) == kPenNull) return true;
  const int64_t cost = length * (std::clamp(pen_width(), 1, Pen::kMaxWidth) + kStepPixels);
  if (cost > stroke_pixels_left_) return false;
  stroke_pixels_left_ -= cost;
  return true;
}

Rect Player::bounding_box(std::span<const Point> points) {
  if (points.empty()) return Rect{};
  Rect box{points[0].x, points[0].y, points[0].x, points[0].y};
  for (const Point& p : points) {
    box.left = std::min(box.left, p.x), box.right = std::max(box.right, p.x);
    box.top = std::min(box.top, p.y), box.bottom = std::max(box.bottom, p.y);
  }
  return box;
}

bool Player::fill_budget(const Rect& box) {
  const Point a = dc_.to_device({box.left, box.top}), b = dc_.to_device({box.right, box.bottom});
  const Rect seen = intersect(sorted({a.x, a.y, b.x, b.y}), dc_.drawable());
  const int64_t cost =
      seen.empty() ? 0 : (int64_t{seen.right} - seen.left) * (int64_t{seen.bottom} - seen.top);
  if (cost > fill_pixels_left_) return false;
  fill_pixels_left_ -= cost;
  return true;
}

// ---- Text ----

FontRef Player::font_for(const FontSpec& spec) {
  int height = 0;
  if (spec.height != 0) {
    height = to_int(std::clamp(spec.height * std::fabs(y_.scale),
                               -static_cast<double>(kMaxFontHeight),
                               static_cast<double>(kMaxFontHeight)));
    if (height == 0) height = spec.height > 0 ? 1 : -1;  // never the default by rounding
  }
  return fonts_.font(font_request(spec, height));
}

std::u16string Player::ansi_text(std::span<const uint8_t> bytes) const {
  if (state_.font.charset == kSymbolCharset) return std::u16string(bytes.begin(), bytes.end());
  return cp1252_to_utf16(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void Player::text_out(const TextRun& run) {
  const FontRef font = font_for(state_.font);
  if (!font || run.text.empty()) return;
  const bool at_position = (state_.text_align & kAlignUpdateCp) != 0;
  const Point reference = at_position ? state_.position : run.reference;
  // Pen offsets of each code unit from the text's left edge, in pixels.
  std::vector<int> offsets;
  int width = 0;
  if (run.dx.size() >= run.text.size()) {
    double sum = 0.0;
    for (size_t i = 0; i < run.text.size(); ++i) {
      offsets.push_back(to_int(sum * std::fabs(x_.scale)));
      sum += run.dx[i];
    }
    width = to_int(sum * std::fabs(x_.scale));
  } else {
    width = measure_text(*font, run.text).width;
  }
  // The box of the text from its alignment about the reference point (logical coordinates of
  // the context, 64 bits so that a far-away point cannot overflow).
  const Point p = map(reference);
  int64_t left = p.x, top = p.y;
  const uint32_t horizontal = state_.text_align & kAlignHorizontal;
  if (horizontal == kAlignCenter)
    left -= width / 2;
  else if (horizontal == kAlignRight)
    left -= width;
  const uint32_t vertical = state_.text_align & kAlignVertical;
  if (vertical == kAlignBaseline)
    top -= font->ascent();
  else if (vertical == kAlignBottom)
    top -= font->height();

  const Rect box = map_rect(run.rect);
  const Rect text_box{
      clamp_int(left), clamp_int(top), clamp_int(left + width), clamp_int(top + font->height())};
  if ((run.options & kTextOpaque) && !fill_budget(box)) return;
  if (state_.opaque && !fill_budget(text_box)) return;
  if (run.options & kTextOpaque) dc_.fill_rect(box, *Brush::solid(state_.bk_color));
  const std::optional<Rect> old_clip = dc_.clip();
  if (run.options & kTextClipped) {
    const Point a = dc_.to_device({box.left, box.top}), b = dc_.to_device({box.right, box.bottom});
    const Rect c = intersect(dc_.drawable(), sorted({a.x, a.y, b.x, b.y}));
    dc_.set_clip(c.empty() ? Rect{} : c);
  }
  if (state_.opaque) dc_.fill_rect(text_box, *Brush::solid(state_.bk_color));
  const Point origin = dc_.origin();
  const int64_t x = left + origin.x, y = top + origin.y;
  const TextColours colours{to_pixel(state_.text_color), 0, false};
  if (offsets.empty()) {
    draw_text(dc_.page(), *font, clamp_int(x), clamp_int(y), run.text, colours, dc_.drawable());
  } else {
    size_t pos = 0;
    while (pos < run.text.size()) {
      const size_t first = pos;
      next_code_point(run.text, pos);
      draw_text(dc_.page(),
                *font,
                clamp_int(x + offsets[first]),
                clamp_int(y),
                std::u16string_view(run.text).substr(first, pos - first),
                colours,
                dc_.drawable());
    }
  }
  dc_.set_clip(old_clip);
  if (at_position && std::fabs(x_.scale) > 0) {
    const int moved = horizontal == kAlignCenter ? 0 : horizontal == kAlignRight ? -width : width;
    state_.position.x = to_int(reference.x + moved / std::fabs(x_.scale));
  }
}

// ---- Bitmaps ----

bool Player::bitmap_budget(std::span<const uint8_t> dib) {
  const Fields header(dib);
  const int64_t pixels = std::abs(int64_t{header.i32(4)}) * std::abs(int64_t{header.i32(8)});
  if (pixels > bitmap_pixels_left_) return false;
  bitmap_pixels_left_ -= pixels;
  return true;
}

void Player::block_transfer(const BlockTransfer& b) {
  const Point p0 = map(b.dest);
  const Point p1{to_int(x_.at(static_cast<double>(b.dest.x) + b.dest_size.x)),
                 to_int(y_.at(static_cast<double>(b.dest.y) + b.dest_size.y))};
  const Rect dest{p0.x, p0.y, p1.x, p1.y};
  if (!fill_budget(dest)) return;
  if (b.dib.empty()) {
    prepare();
    if (b.rop == kPatCopy) dc_.fill_rect(dest, *dc_.brush());
    if (b.rop == kBlackness) dc_.fill_rect(dest, *Brush::solid(0));
    if (b.rop == kWhiteness) dc_.fill_rect(dest, *Brush::solid(0xFFFFFF));
    return;
  }
  const std::optional<RasterOp> op = source_op(b.rop);
  if (!op || !bitmap_budget(b.dib)) return;
  stretch_dib(dc_, dest, b.dib, b.source, b.source_size, b.source_from_bottom, *op);
}

}  // namespace platform::metafile
