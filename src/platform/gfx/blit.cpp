#include "platform/gfx/blit.hpp"

#include <algorithm>
#include <vector>

namespace platform {

namespace {

Pixel combine(Pixel dst, Pixel src, RasterOp op) {
  switch (op) {
    case RasterOp::Copy:
      return src;
    case RasterOp::Xor:
      return dst ^ src;
    case RasterOp::Or:
      return dst | src;
    case RasterOp::And:
      return dst & src;
    case RasterOp::InvertedCopy:
      return ~src & 0x00FFFFFFu;
  }
  return src;
}

// Destination rectangle (device) of a w x h block at logical (x, y), within the drawable area.
Rect target(const DeviceContext& dst, int x, int y, int w, int h) {
  const Point d = dst.to_device({x, y});
  const Rect area = dst.drawable();
  const Rect block{d.x,
                   d.y,
                   static_cast<int>(std::min<int64_t>(static_cast<int64_t>(d.x) + w, area.right)),
                   static_cast<int>(std::min<int64_t>(static_cast<int64_t>(d.y) + h, area.bottom))};
  return intersect(block, area);
}

// Combines into the device rectangle t of `dst` the source pixels that `source_of` names
// for each destination pixel (x, y) as a 64-bit source position. The source block is read
// completely before anything is written, so a block moved within one page is never read after
// it has been partly overwritten; destination pixels whose source lies outside `src` are left
// alone.
template <class SourceOf>
void transfer(Page& page, const Rect& t, const Page& src, RasterOp op, SourceOf source_of) {
  const size_t n = static_cast<size_t>(t.width()) * t.height();
  std::vector<Pixel> pixels(n);
  std::vector<uint8_t> present(n, 0);
  for (int ty = t.top; ty < t.bottom; ++ty)
    for (int tx = t.left; tx < t.right; ++tx) {
      const Point64 p = source_of(tx, ty);
      if (p.x < 0 || p.y < 0 || p.x >= src.width() || p.y >= src.height()) continue;
      const size_t i = static_cast<size_t>(ty - t.top) * t.width() + (tx - t.left);
      pixels[i] = src.at(static_cast<int>(p.x), static_cast<int>(p.y));
      present[i] = 1;
    }
  for (int ty = t.top; ty < t.bottom; ++ty)
    for (int tx = t.left; tx < t.right; ++tx) {
      const size_t i = static_cast<size_t>(ty - t.top) * t.width() + (tx - t.left);
      if (present[i]) page.at(tx, ty) = combine(page.at(tx, ty), pixels[i], op);
    }
}

}  // namespace

void bit_blt(
    DeviceContext& dst, int x, int y, int w, int h, const Page& src, int sx, int sy, RasterOp op) {
  if (w <= 0 || h <= 0) return;
  const Point origin = dst.to_device({x, y});
  const Rect t = target(dst, x, y, w, h);
  if (t.empty()) return;
  const int64_t shift_x = static_cast<int64_t>(sx) - origin.x;
  const int64_t shift_y = static_cast<int64_t>(sy) - origin.y;
  transfer(dst.page(), t, src, op, [&](int tx, int ty) {
    return Point64{tx + shift_x, ty + shift_y};
  });
}

void stretch_blt(DeviceContext& dst,
                 int x,
                 int y,
                 int w,
                 int h,
                 const Page& src,
                 int sx,
                 int sy,
                 int sw,
                 int sh,
                 RasterOp op) {
  if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;
  const Point origin = dst.to_device({x, y});
  const Rect t = target(dst, x, y, w, h);
  if (t.empty()) return;
  // Destination pixel i of the block samples source pixel floor((2 i + 1) sw / 2w).
  auto scaled = [](int64_t i, int64_t src_len, int64_t dst_len) {
    return (2 * i + 1) * src_len / (2 * dst_len);
  };
  transfer(dst.page(), t, src, op, [&](int tx, int ty) {
    return Point64{sx + scaled(tx - static_cast<int64_t>(origin.x), sw, w),
                   sy + scaled(ty - static_cast<int64_t>(origin.y), sh, h)};
  });
}

}  // namespace platform
