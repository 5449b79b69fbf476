#include "platform/image/metafile_emf.hpp"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/image/metafile_bytes.hpp"
#include "platform/image/metafile_player.hpp"
#include "platform/text/text_convert.hpp"

namespace platform::metafile {
namespace {

constexpr uint64_t kMinHeaderSize = 88;
constexpr uint32_t kSignature = 0x464D4520;  // " EMF"

// Record types.
constexpr uint32_t kHeader = 1, kPolyBezier = 2, kPolygon = 3, kPolyline = 4, kPolyBezierTo = 5,
                   kPolylineTo = 6, kPolyPolyline = 7, kPolyPolygon = 8, kSetWindowExt = 9,
                   kSetWindowOrg = 10, kSetViewportExt = 11, kSetViewportOrg = 12, kEof = 14,
                   kSetPixel = 15, kSetMapMode = 17, kSetBkMode = 18, kSetTextAlign = 22,
                   kSetTextColor = 24, kSetBkColor = 25, kMoveTo = 27, kSaveDc = 33,
                   kRestoreDc = 34, kSelectObject = 37, kCreatePen = 38, kCreateBrush = 39,
                   kDeleteObject = 40, kEllipse = 42, kRectangle = 43, kRoundRect = 44, kArc = 45,
                   kChord = 46, kPie = 47, kCreatePalette = 49, kLineTo = 54, kBitBlt = 76,
                   kStretchBlt = 77, kStretchDibits = 81, kCreateFont = 82, kTextOutA = 83,
                   kTextOutW = 84, kPolyBezier16 = 85, kPolygon16 = 86, kPolyline16 = 87,
                   kPolyBezierTo16 = 88, kPolylineTo16 = 89, kPolyPolyline16 = 90,
                   kPolyPolygon16 = 91, kCreateMonoBrush = 93, kCreateDibPatternBrush = 94,
                   kExtCreatePen = 95;
constexpr uint32_t kStockObject = 0x80000000;
constexpr uint32_t kPenGeometric = 0x00010000;
constexpr uint32_t kTextGlyphIndex = 0x0010, kTextPdy = 0x2000;
constexpr uint32_t kDibRgbColours = 0;

// Calls visit(type, record) for each record up to the end record, the record being its whole
// bytes. Returns false when a size is below 8, not a multiple of 4 or runs past the end.
template <class Visit>
bool walk_records(std::span<const uint8_t> bytes, Visit visit) {
  const Fields file(bytes);
  uint64_t at = 0;
  while (at < bytes.size()) {
    const uint64_t size = file.u32(at + 4);
    if (!file.has(at, 8) || size < 8 || size % 4 != 0 || !file.has(at, size)) return false;
    const uint32_t type = file.u32(at);
    if (type == kEof) return true;
    visit(type, Fields(bytes.subspan(at, size)));
    at += size;
  }
  return true;
}

Point point_at(const Fields& r, uint64_t at) { return Point{r.i32(at), r.i32(at + 4)}; }

// A box inclusive of its right and bottom edges, as the half-open rectangle the player takes.
Rect box_at(const Fields& r, uint64_t at) {
  auto past = [](int32_t v) { return v == std::numeric_limits<int32_t>::max() ? v : v + 1; };
  return Rect{r.i32(at), r.i32(at + 4), past(r.i32(at + 8)), past(r.i32(at + 12))};
}

// `count` points of 32-bit (or, `narrow`, 16-bit) coordinates from `at`; nothing when they
// run past the record.
std::optional<std::vector<Point>> points_at(const Fields& r,
                                            uint64_t at,
                                            uint64_t count,
                                            bool narrow) {
  const uint64_t step = narrow ? 4 : 8;
  if (count > r.size() / step || !r.has(at, count * step)) return std::nullopt;
  std::vector<Point> points;
  points.reserve(count);
  for (uint64_t i = 0, p = at; i < count; ++i, p += step)
    points.push_back(narrow ? Point{r.i16(p), r.i16(p + 2)} : point_at(r, p));
  return points;
}

void play_poly(const Fields& r, uint32_t type, Player& player) {
  const bool narrow = type >= kPolyBezier16;
  const uint32_t shape = narrow ? type - kPolyBezier16 + kPolyBezier : type;
  if (shape == kPolyPolyline || shape == kPolyPolygon) {
    const uint64_t rings = r.u32(24), total = r.u32(28);
    if (rings > r.size() / 4 || !r.has(32, 4 * rings)) return;
    std::vector<int> counts;
    uint64_t sum = 0;
    for (uint64_t i = 0; i < rings; ++i) {
      const uint64_t n = r.u32(32 + 4 * i);
      sum += n;
      if (sum > total) return;  // counts past the points given
      counts.push_back(static_cast<int>(n));
    }
    const auto points = points_at(r, 32 + 4 * rings, total, narrow);
    if (!points) return;
    if (shape == kPolyPolygon)
      player.poly_polygon(*points, counts);
    else
      player.poly_polyline(*points, counts);
    return;
  }
  const auto points = points_at(r, 28, r.u32(24), narrow);
  if (!points) return;
  switch (shape) {
    case kPolyBezier:
      return player.poly_bezier(*points);
    case kPolygon:
      return player.polygon(*points);
    case kPolyline:
      return player.polyline(*points);
    case kPolyBezierTo:
      return player.poly_bezier_to(*points);
    default:
      return player.polyline_to(*points);
  }
}

void play_text(const Fields& r, uint32_t type, Player& player) {
  if (!r.has(8, 68)) return;
  TextRun run;
  run.reference = point_at(r, 36);
  const uint64_t count = r.u32(44), string_at = r.u32(48);
  run.options = r.u32(52);
  run.rect = Rect{r.i32(56), r.i32(60), r.i32(64), r.i32(68)};
  // Glyph indices name glyphs of the recording font, not characters.
  if (run.options & kTextGlyphIndex) return;
  const uint64_t unit = type == kTextOutW ? 2 : 1;
  if (count > r.size() || !r.has(string_at, count * unit)) return;
  if (type == kTextOutW) {
    for (uint64_t i = 0; i < count; ++i)
      run.text.push_back(static_cast<char16_t>(r.u16(string_at + 2 * i)));
  } else {
    run.text = player.ansi_text(r.bytes(string_at, count));
  }
  // Advances, each followed by a vertical one with the option that says so.
  const uint64_t dx_at = r.u32(72), stride = run.options & kTextPdy ? 8 : 4;
  if (dx_at != 0 && r.has(dx_at, count * stride))
    for (uint64_t i = 0; i < count; ++i) run.dx.push_back(r.i32(dx_at + stride * i));
  player.text_out(run);
}

FontSpec font_at(const Fields& r) {
  FontSpec f;
  f.height = r.i32(12);
  f.weight = r.i32(28);
  f.charset = r.u8(35);
  f.pitch_family = r.u8(39);
  std::u16string face;
  for (uint64_t at = 40; at < 104 && r.has(at, 2) && r.u16(at) != 0; at += 2)
    face.push_back(static_cast<char16_t>(r.u16(at)));
  f.face = utf16_to_utf8(face);
  return f;
}

void play_object(const Fields& r, uint32_t type, Player& player) {
  if (!r.has(8, 4)) return;
  const uint32_t slot = r.u32(8);
  if (type == kSelectObject) {
    if (slot & kStockObject)
      player.select_stock_object(slot & ~kStockObject);
    else
      player.select_object(slot);
    return;
  }
  if (slot == 0 || (slot & kStockObject)) return;  // not slots a file may fill or empty
  if (type == kDeleteObject) return player.delete_object(slot);
  Object object = OtherObject{};
  if (type == kCreatePen && r.has(8, 20)) {
    object = PenSpec{r.u32(12), r.i32(16), r.u32(24)};
  } else if (type == kExtCreatePen && r.has(8, 40)) {
    // A cosmetic pen is one pixel wide whatever its width; a null brush inks nothing.
    const uint32_t style = r.u32(28);
    const int32_t width = style & kPenGeometric ? r.i32(32) : 0;
    object = PenSpec{r.u32(36) == kBrushNull ? kPenNull : style, width, r.u32(40)};
  } else if (type == kCreateBrush && r.has(8, 16)) {
    object = BrushSpec{r.u32(12), r.u32(16), r.u32(20)};
  } else if (type == kCreateFont && r.has(8, 32)) {
    object = font_at(r);
  } else if (type == kCreateMonoBrush || type == kCreateDibPatternBrush) {
    object = BrushSpec{kBrushPattern, 0, 0};
  } else if (type != kCreatePalette) {
    return;  // a creation too short for its fields
  }
  player.create_object(slot, std::move(object));
}

// The bitmap of a transfer: its info header and colour table, and its pixels, placed by
// offsets within the record and joined into one packed bitmap. Empty without a bitmap;
// nothing when it does not lie within the record or its colours are palette indices.
std::optional<std::vector<uint8_t>> packed_bitmap(const Fields& r, uint64_t fields_at) {
  const uint64_t bmi_at = r.u32(fields_at), bmi_size = r.u32(fields_at + 4);
  const uint64_t bits_at = r.u32(fields_at + 8), bits_size = r.u32(fields_at + 12);
  if (bmi_size == 0) return std::vector<uint8_t>{};
  if (!r.has(bmi_at, bmi_size) || !r.has(bits_at, bits_size)) return std::nullopt;
  const auto bmi = r.bytes(bmi_at, bmi_size), bits = r.bytes(bits_at, bits_size);
  std::vector<uint8_t> dib(bmi.begin(), bmi.end());
  dib.insert(dib.end(), bits.begin(), bits.end());
  return dib;
}

void play_block(const Fields& r, uint32_t type, Player& player) {
  BlockTransfer b;
  std::optional<std::vector<uint8_t>> dib;
  b.dest = point_at(r, 24);
  if (type == kStretchDibits) {
    if (!r.has(8, 72) || r.u32(64) != kDibRgbColours) return;
    b.source = point_at(r, 32);
    b.source_size = point_at(r, 40);
    dib = packed_bitmap(r, 48);
    b.rop = r.u32(68);
    b.dest_size = point_at(r, 72);
    b.source_from_bottom = true;
  } else {
    const bool stretch = type == kStretchBlt;
    if (!r.has(8, stretch ? 100 : 92) || r.u32(80) != kDibRgbColours) return;
    b.dest_size = point_at(r, 32);
    b.rop = r.u32(40);
    b.source = point_at(r, 44);
    b.source_size = stretch ? point_at(r, 100) : b.dest_size;
    dib = packed_bitmap(r, 84);
  }
  if (!dib) return;
  b.dib = *dib;
  player.block_transfer(b);
}

void play_record(uint32_t type, const Fields& r, Player& player) {
  switch (type) {
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
    case kPolyPolyline:
    case kPolyPolygon:
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16:
    case kPolyPolyline16:
    case kPolyPolygon16:
      if (r.has(8, 24)) play_poly(r, type, player);
      return;
    case kSetWindowExt:
    case kSetWindowOrg:
    case kSetViewportExt:
    case kSetViewportOrg:
    case kMoveTo:
    case kLineTo: {
      if (!r.has(8, 8)) return;
      const Point p = point_at(r, 8);
      if (type == kSetWindowExt) player.set_window_ext(p);
      if (type == kSetWindowOrg) player.set_window_org(p);
      if (type == kSetViewportExt) player.set_viewport_ext(p);
      if (type == kSetViewportOrg) player.set_viewport_org(p);
      if (type == kMoveTo) player.move_to(p);
      if (type == kLineTo) player.line_to(p);
      return;
    }
    case kSetPixel:
      if (r.has(8, 12)) player.set_pixel(point_at(r, 8), r.u32(16));
      return;
    case kSetMapMode:
      return player.set_map_mode(r.u32(8));
    case kSetBkMode:
      return player.set_bk_mode(r.u32(8));
    case kSetTextAlign:
      return player.set_text_align(r.u32(8));
    case kSetTextColor:
      if (r.has(8, 4)) player.set_text_color(r.u32(8));
      return;
    case kSetBkColor:
      if (r.has(8, 4)) player.set_bk_color(r.u32(8));
      return;
    case kSaveDc:
      return player.save_dc();
    case kRestoreDc:
      if (r.has(8, 4)) player.restore_dc(r.i32(8));
      return;
    case kSelectObject:
    case kDeleteObject:
    case kCreatePen:
    case kExtCreatePen:
    case kCreateBrush:
    case kCreateFont:
    case kCreatePalette:
    case kCreateMonoBrush:
    case kCreateDibPatternBrush:
      return play_object(r, type, player);
    case kEllipse:
      if (r.has(8, 16)) player.ellipse(box_at(r, 8));
      return;
    case kRectangle:
      if (r.has(8, 16)) player.rectangle(box_at(r, 8));
      return;
    case kRoundRect:
      if (r.has(8, 24)) player.round_rect(box_at(r, 8), point_at(r, 24));
      return;
    case kArc:
    case kChord:
    case kPie: {
      if (!r.has(8, 32)) return;
      const Rect box = box_at(r, 8);
      const Point start = point_at(r, 24), end = point_at(r, 32);
      if (type == kArc) player.arc(box, start, end);
      if (type == kChord) player.chord(box, start, end);
      if (type == kPie) player.pie(box, start, end);
      return;
    }
    case kTextOutA:
    case kTextOutW:
      return play_text(r, type, player);
    case kBitBlt:
    case kStretchBlt:
    case kStretchDibits:
      return play_block(r, type, player);
    default:
      return;  // the header, and records not drawn here: skipped by their size
  }
}

}  // namespace

std::optional<EmfLayout> check_emf(std::span<const uint8_t> bytes) {
  const Fields file(bytes);
  const uint64_t header_size = file.u32(4);
  if (!file.has(0, kMinHeaderSize) || file.u32(0) != kHeader || header_size < kMinHeaderSize ||
      file.u32(40) != kSignature) {
    return std::nullopt;
  }
  EmfLayout layout;
  layout.frame = Rect{file.i32(24), file.i32(28), file.i32(32), file.i32(36)};
  layout.object_slots = file.u16(56);
  layout.device_pixels = point_at(file, 72);
  layout.device_mm = point_at(file, 80);
  const int64_t frame_w = int64_t{layout.frame.right} - layout.frame.left;
  const int64_t frame_h = int64_t{layout.frame.bottom} - layout.frame.top;
  if (frame_w <= 0 || frame_h <= 0 || layout.device_pixels.x <= 0 || layout.device_pixels.y <= 0 ||
      layout.device_mm.x <= 0 || layout.device_mm.y <= 0) {
    return std::nullopt;
  }
  if (!walk_records(bytes, [](uint32_t, const Fields&) {})) return std::nullopt;
  return layout;
}

void play_emf(std::span<const uint8_t> bytes,
              const EmfLayout& layout,
              DeviceContext& dc,
              const Destination& dest) {
  Placement placement;
  placement.clip = clip_of(dest);
  placement.object_slots = layout.object_slots;
  placement.pixels_per_mm_x = static_cast<double>(layout.device_pixels.x) / layout.device_mm.x;
  placement.pixels_per_mm_y = static_cast<double>(layout.device_pixels.y) / layout.device_mm.y;
  // The frame in reference pixels (0.01 mm * pixels per mm / 100) onto the destination.
  const Rect& f = layout.frame;
  const double per_x = placement.pixels_per_mm_x / 100.0, per_y = placement.pixels_per_mm_y / 100.0;
  placement.x = axis_onto(f.left * per_x, f.right * per_x, dest.left, dest.width);
  placement.y = axis_onto(f.top * per_y, f.bottom * per_y, dest.top, dest.height);
  Player player(dc, placement, Mapping{});
  walk_records(bytes, [&player](uint32_t type, const Fields& r) { play_record(type, r, player); });
}

}  // namespace platform::metafile
