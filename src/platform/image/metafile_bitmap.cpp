#include "platform/image/metafile_bitmap.hpp"

#include <algorithm>
#include <limits>

#include "platform/image/bmp.hpp"
#include "platform/image/metafile_bytes.hpp"

namespace platform::metafile {
namespace {

constexpr uint32_t kSrcCopy = 0x00CC0020, kSrcInvert = 0x00660046, kSrcPaint = 0x00EE0086,
                   kSrcAnd = 0x008800C6, kNotSrcCopy = 0x00330008;

int clamp_int(int64_t v) {
  return static_cast<int>(
      std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void flip_columns(Page& page) {
  for (int y = 0; y < page.height(); ++y) std::reverse(page.row(y), page.row(y) + page.width());
}

void flip_rows(Page& page) {
  for (int top = 0, bottom = page.height() - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(page.row(top), page.row(top) + page.width(), page.row(bottom));
}

}  // namespace

std::optional<RasterOp> source_op(uint32_t rop) {
  switch (rop) {
    case kSrcCopy:
      return RasterOp::Copy;
    case kSrcInvert:
      return RasterOp::Xor;
    case kSrcPaint:
      return RasterOp::Or;
    case kSrcAnd:
      return RasterOp::And;
    case kNotSrcCopy:
      return RasterOp::InvertedCopy;
    default:
      return std::nullopt;
  }
}

void stretch_dib(DeviceContext& dc,
                 const Rect& dest,
                 std::span<const uint8_t> dib,
                 Point source,
                 Point source_size,
                 bool from_bottom,
                 RasterOp op) {
  int64_t sx = source.x, sy = source.y, sw = source_size.x, sh = source_size.y;
  int64_t dx = dest.left, dy = dest.top;
  int64_t dw = int64_t{dest.right} - dest.left, dh = int64_t{dest.bottom} - dest.top;
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
  std::optional<Page> src = decode_dib(dib);
  if (!src) return;
  // A negative size on one side mirrors the block: the bitmap is flipped in place and the
  // source rectangle with it, so no second copy is made.
  bool mirror_x = false, mirror_y = false;
  if (sw < 0) sx += sw, sw = -sw, mirror_x = !mirror_x;
  if (sh < 0) sy += sh, sh = -sh, mirror_y = !mirror_y;
  if (dw < 0) dx += dw, dw = -dw, mirror_x = !mirror_x;
  if (dh < 0) dy += dh, dh = -dh, mirror_y = !mirror_y;
  if (from_bottom && Fields(dib).i32(8) > 0) sy = src->height() - sy - sh;
  if (mirror_x) {
    flip_columns(*src);
    sx = src->width() - sx - sw;
  }
  if (mirror_y) {
    flip_rows(*src);
    sy = src->height() - sy - sh;
  }
  stretch_blt(dc,
              clamp_int(dx),
              clamp_int(dy),
              clamp_int(dw),
              clamp_int(dh),
              *src,
              clamp_int(sx),
              clamp_int(sy),
              clamp_int(sw),
              clamp_int(sh),
              op);
}

}  // namespace platform::metafile
