#include "platform/image/metafile_wmf.hpp"

#include <vector>

#include "platform/image/metafile_bytes.hpp"
#include "platform/image/metafile_player.hpp"
#include "platform/text/text_convert.hpp"

namespace platform::metafile {
namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint64_t kPlaceableSize = 22;
constexpr uint64_t kHeaderSize = 18;
constexpr uint64_t kParams = 6;  // parameters start after the size and the function

// Record functions.
constexpr uint16_t kEof = 0x0000, kSaveDc = 0x001E, kRestoreDc = 0x0127, kSetBkMode = 0x0102,
                   kSetMapMode = 0x0103, kSetTextAlign = 0x012E, kSetBkColor = 0x0201,
                   kSetTextColor = 0x0209, kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C,
                   kLineTo = 0x0213, kMoveTo = 0x0214, kPolygon = 0x0324, kPolyline = 0x0325,
                   kPolyPolygon = 0x0538, kRectangle = 0x041B, kRoundRect = 0x061C,
                   kEllipse = 0x0418, kArc = 0x0817, kPie = 0x081A, kChord = 0x0830,
                   kSetPixel = 0x041F, kTextOut = 0x0521, kExtTextOut = 0x0A32, kPatBlt = 0x061D,
                   kDibBitBlt = 0x0940, kDibStretchBlt = 0x0B41, kStretchDib = 0x0F43,
                   kSelectObject = 0x012D, kDeleteObject = 0x01F0, kCreatePen = 0x02FA,
                   kCreateFont = 0x02FB, kCreateBrush = 0x02FC, kCreatePalette = 0x00F7,
                   kCreatePatternBrush = 0x01F9, kDibCreatePatternBrush = 0x0142,
                   kCreateRegion = 0x06FF;
constexpr uint32_t kIsotropic = 7, kAnisotropic = 8;
constexpr uint16_t kDibRgbColours = 0;

// Calls visit(function, record) for each record from `at` up to the end record, the record
// being its whole bytes. Returns false when a size is below 3 words or runs past the end.
template <class Visit>
bool walk_records(std::span<const uint8_t> bytes, uint64_t at, Visit visit) {
  const Fields file(bytes);
  while (at < bytes.size()) {
    if (!file.has(at, kParams)) return false;
    const uint64_t size = uint64_t{file.u32(at)} * 2;
    if (size < kParams || !file.has(at, size)) return false;
    const uint16_t function = file.u16(at + 4);
    if (function == kEof) return true;
    visit(function, Fields(bytes.subspan(at, size)));
    at += size;
  }
  return true;
}

Point point_at(const Fields& r, uint64_t at) { return Point{r.i16(at + 2), r.i16(at)}; }  // y, x

// Left, top, right, bottom stored as bottom, right, top, left.
Rect rect_at(const Fields& r, uint64_t at) {
  return Rect{r.i16(at + 6), r.i16(at + 4), r.i16(at + 2), r.i16(at)};
}

// `count` points stored x, y from `at`; nothing when they run past the record.
std::optional<std::vector<Point>> points_at(const Fields& r, uint64_t at, uint64_t count) {
  if (!r.has(at, count * 4)) return std::nullopt;
  std::vector<Point> points;
  points.reserve(count);
  for (uint64_t i = 0; i < count; ++i) points.push_back({r.i16(at + 4 * i), r.i16(at + 4 * i + 2)});
  return points;
}

void play_poly(const Fields& r, uint16_t function, Player& player) {
  if (!r.has(kParams, 2)) return;
  if (function == kPolyPolygon) {
    const uint64_t rings = r.u16(kParams);
    const uint64_t points_from = kParams + 2 + 2 * rings;
    if (!r.has(kParams + 2, 2 * rings)) return;
    std::vector<int> counts;
    uint64_t total = 0;
    for (uint64_t i = 0; i < rings; ++i) {
      counts.push_back(r.u16(kParams + 2 + 2 * i));
      total += counts.back();
    }
    if (const auto points = points_at(r, points_from, total)) player.poly_polygon(*points, counts);
    return;
  }
  const auto points = points_at(r, kParams + 2, r.u16(kParams));
  if (!points) return;
  if (function == kPolygon)
    player.polygon(*points);
  else
    player.polyline(*points);
}

void play_text(const Fields& r, uint16_t function, Player& player) {
  TextRun run;
  uint64_t count = 0, string_at = 0;
  if (function == kTextOut) {
    count = r.u16(kParams);
    string_at = kParams + 2;
    const uint64_t padded = (count + 1) / 2 * 2;
    if (!r.has(string_at + padded, 4)) return;
    run.reference = point_at(r, string_at + padded);
  } else {
    if (!r.has(kParams, 8)) return;
    run.reference = point_at(r, kParams);
    count = r.u16(kParams + 4);
    run.options = r.u16(kParams + 6);
    string_at = kParams + 8;
    if (run.options & (kTextOpaque | kTextClipped)) {
      run.rect =
          Rect{r.i16(string_at), r.i16(string_at + 2), r.i16(string_at + 4), r.i16(string_at + 6)};
      string_at += 8;
    }
    const uint64_t dx_at = string_at + (count + 1) / 2 * 2;
    if (r.has(dx_at, 2 * count))
      for (uint64_t i = 0; i < count; ++i) run.dx.push_back(r.i16(dx_at + 2 * i));
  }
  if (!r.has(string_at, count)) return;
  run.text = player.ansi_text(r.bytes(string_at, count));
  player.text_out(run);
}

FontSpec font_at(const Fields& r, uint64_t at) {
  FontSpec f;
  f.height = r.i16(at);
  f.weight = r.i16(at + 8);
  f.charset = r.u8(at + 13);
  f.pitch_family = r.u8(at + 17);
  std::string face;
  for (uint64_t i = at + 18; i < at + 50 && r.has(i, 1) && r.u8(i) != 0; ++i)
    face.push_back(static_cast<char>(r.u8(i)));
  f.face = utf16_to_utf8(cp1252_to_utf16(face));
  return f;
}

void play_object(const Fields& r, uint16_t function, Player& player) {
  if (function == kSelectObject || function == kDeleteObject) {
    if (!r.has(kParams, 2)) return;
    if (function == kSelectObject)
      player.select_object(r.u16(kParams));
    else
      player.delete_object(r.u16(kParams));
    return;
  }
  // Every creation takes the lowest free slot, even of an object the player cannot use, so
  // that the slots of later objects are where the file expects them.
  const std::optional<size_t> slot = player.free_slot();
  if (!slot) return;
  Object object = OtherObject{};
  if (function == kCreatePen && r.has(kParams, 10))
    object = PenSpec{r.u16(kParams), r.i16(kParams + 2), r.u32(kParams + 6)};
  else if (function == kCreateBrush && r.has(kParams, 8))
    object = BrushSpec{r.u16(kParams), r.u32(kParams + 2), r.u16(kParams + 6)};
  else if (function == kCreateFont && r.has(kParams, 18))
    object = font_at(r, kParams);
  else if (function == kCreatePatternBrush || function == kDibCreatePatternBrush)
    object = BrushSpec{kBrushPattern, 0, 0};
  player.create_object(*slot, std::move(object));
}

// The block transfers. Without a bitmap (a size of (function >> 8) + 3 words) a transfer
// only fills its destination, whose height, width, y and x end the record.
void play_block(const Fields& r, uint16_t function, Player& player) {
  BlockTransfer b;
  b.rop = r.u32(kParams);
  const bool bitmap = function != kPatBlt && r.size() > (uint64_t{function} >> 8) * 2 + 6u;
  if (!bitmap) {
    const uint64_t end = r.size();
    if (end < kParams + 12) return;
    b.dest = point_at(r, end - 4);
    b.dest_size = Point{r.i16(end - 6), r.i16(end - 8)};
    player.block_transfer(b);
    return;
  }
  uint64_t dib_at = 0;
  if (function == kDibBitBlt) {
    if (!r.has(kParams, 16)) return;
    b.source = point_at(r, kParams + 4);
    b.dest_size = Point{r.i16(kParams + 10), r.i16(kParams + 8)};
    b.source_size = b.dest_size;
    b.dest = point_at(r, kParams + 12);
    dib_at = kParams + 16;
  } else {
    const uint64_t at = function == kStretchDib ? kParams + 6 : kParams + 4;
    if (!r.has(at, 16)) return;
    if (function == kStretchDib && r.u16(kParams + 4) != kDibRgbColours) return;
    b.source_size = Point{r.i16(at + 2), r.i16(at)};
    b.source = point_at(r, at + 4);
    b.dest_size = Point{r.i16(at + 10), r.i16(at + 8)};
    b.dest = point_at(r, at + 12);
    b.source_from_bottom = function == kStretchDib;
    dib_at = at + 16;
  }
  b.dib = r.bytes(dib_at, r.size() - dib_at);
  player.block_transfer(b);
}

void play_record(uint16_t function, const Fields& r, Player& player) {
  switch (function) {
    case kSaveDc:
      return player.save_dc();
    case kRestoreDc:
      if (r.has(kParams, 2)) player.restore_dc(r.i16(kParams));
      return;
    case kSetBkMode:
      return player.set_bk_mode(r.u16(kParams));
    case kSetMapMode:
      return player.set_map_mode(r.u16(kParams) == kIsotropic ? kIsotropic : kAnisotropic);
    case kSetTextAlign:
      return player.set_text_align(r.u16(kParams));
    case kSetBkColor:
      if (r.has(kParams, 4)) player.set_bk_color(r.u32(kParams));
      return;
    case kSetTextColor:
      if (r.has(kParams, 4)) player.set_text_color(r.u32(kParams));
      return;
    case kSetWindowOrg:
      if (r.has(kParams, 4)) player.set_window_org(point_at(r, kParams));
      return;
    case kSetWindowExt:
      if (r.has(kParams, 4)) player.set_window_ext(point_at(r, kParams));
      return;
    case kMoveTo:
      if (r.has(kParams, 4)) player.move_to(point_at(r, kParams));
      return;
    case kLineTo:
      if (r.has(kParams, 4)) player.line_to(point_at(r, kParams));
      return;
    case kPolygon:
    case kPolyline:
    case kPolyPolygon:
      return play_poly(r, function, player);
    case kRectangle:
      if (r.has(kParams, 8)) player.rectangle(rect_at(r, kParams));
      return;
    case kEllipse:
      if (r.has(kParams, 8)) player.ellipse(rect_at(r, kParams));
      return;
    case kRoundRect:
      if (r.has(kParams, 12)) player.round_rect(rect_at(r, kParams + 4), point_at(r, kParams));
      return;
    case kArc:
    case kChord:
    case kPie: {
      if (!r.has(kParams, 16)) return;
      const Rect box = rect_at(r, kParams + 8);
      const Point start = point_at(r, kParams + 4), end = point_at(r, kParams);
      if (function == kArc) player.arc(box, start, end);
      if (function == kChord) player.chord(box, start, end);
      if (function == kPie) player.pie(box, start, end);
      return;
    }
    case kSetPixel:
      if (r.has(kParams, 8)) player.set_pixel(point_at(r, kParams + 4), r.u32(kParams));
      return;
    case kTextOut:
    case kExtTextOut:
      return play_text(r, function, player);
    case kSelectObject:
    case kDeleteObject:
    case kCreatePen:
    case kCreateBrush:
    case kCreateFont:
    case kCreatePalette:
    case kCreatePatternBrush:
    case kDibCreatePatternBrush:
    case kCreateRegion:
      return play_object(r, function, player);
    case kPatBlt:
    case kDibBitBlt:
    case kDibStretchBlt:
    case kStretchDib:
      if (r.has(kParams, 4)) play_block(r, function, player);
      return;
    default:
      return;  // not drawn here: skipped by its size
  }
}

}  // namespace

std::optional<WmfLayout> check_wmf(std::span<const uint8_t> bytes) {
  const Fields file(bytes);
  WmfLayout layout;
  uint64_t at = 0;
  const bool placeable = file.u32(0) == kPlaceableKey && file.has(0, kPlaceableSize);
  if (placeable) {
    layout.frame = Rect{file.i16(6), file.i16(8), file.i16(10), file.i16(12)};
    layout.units_per_inch = file.u16(14);
    if (layout.units_per_inch == 0) return std::nullopt;
    at = kPlaceableSize;
  }
  const uint16_t type = file.u16(at), header_words = file.u16(at + 2), version = file.u16(at + 4);
  if (!file.has(at, kHeaderSize) || (type != 1 && type != 2) || header_words != kHeaderSize / 2 ||
      (version != 0x0100 && version != 0x0300)) {
    return std::nullopt;
  }
  layout.object_slots = file.u16(at + 10);
  layout.records_at = at + kHeaderSize;
  // Without a placeable header the frame is the first window origin and extent recorded.
  std::optional<Point> origin, extent;
  const bool sound =
      walk_records(bytes, layout.records_at, [&](uint16_t function, const Fields& r) {
        if (function == kSetWindowOrg && !origin && r.has(kParams, 4))
          origin = point_at(r, kParams);
        if (function == kSetWindowExt && !extent && r.has(kParams, 4))
          extent = point_at(r, kParams);
      });
  if (!sound) return std::nullopt;
  if (!placeable) {
    if (!extent) return std::nullopt;
    const Point o = origin.value_or(Point{});
    layout.frame = Rect{o.x, o.y, o.x + extent->x, o.y + extent->y};
  }
  if (layout.frame.width() == 0 || layout.frame.height() == 0) return std::nullopt;
  return layout;
}

void play_wmf(std::span<const uint8_t> bytes,
              const WmfLayout& layout,
              DeviceContext& dc,
              const Destination& dest) {
  // The frame is the window over a page of its own size, placed onto the destination.
  const Rect& f = layout.frame;
  Placement placement;
  placement.clip = clip_of(dest);
  placement.object_slots = layout.object_slots;
  placement.isotropic_on_device = true;
  placement.x = axis_onto(0, f.width(), dest.left, dest.width);
  placement.y = axis_onto(0, f.height(), dest.top, dest.height);
  Mapping mapping;
  mapping.mode = MapMode::Anisotropic;
  mapping.window_org = {f.left, f.top};
  mapping.window_ext = {f.width(), f.height()};
  mapping.viewport_ext = mapping.window_ext;
  Player player(dc, placement, mapping);
  walk_records(bytes, layout.records_at, [&player](uint16_t function, const Fields& r) {
    play_record(function, r, player);
  });
}

}  // namespace platform::metafile
