#include "platform/gfx/paint.hpp"

#include <algorithm>

namespace platform::raster {

namespace {

void paint_solid(Pixel* p, int n, Pixel c, MixMode mix) {
  if (mix == MixMode::Copy) {
    std::fill_n(p, n, c);
  } else {
    for (int i = 0; i < n; ++i) p[i] ^= c;
  }
}

void paint_pattern(Pixel* p, int x0, int n, uint8_t bits, const Ink& ink, MixMode mix) {
  for (int i = 0; i < n; ++i) {
    const int x = x0 + i;
    const bool set = (bits & (0x80u >> (x & 7))) != 0;
    if (!set && !ink.opaque) continue;
    const Pixel c = set ? ink.fg : ink.bg;
    if (mix == MixMode::Copy)
      p[i] = c;
    else
      p[i] ^= c;
  }
}

}  // namespace

void paint(Page& page, const Coverage& mask, const Rect& clip, const Ink& ink, MixMode mix) {
  const Rect bounds = intersect(clip, Rect{0, 0, page.width(), page.height()});
  for (const Span& s : mask.spans()) {
    if (s.y < bounds.top || s.y >= bounds.bottom) continue;
    const int x0 = std::max(s.x0, bounds.left);
    const int x1 = std::min(s.x1, bounds.right);
    if (x0 >= x1) continue;
    Pixel* row = page.row(s.y) + x0;
    if (ink.pattern == nullptr)
      paint_solid(row, x1 - x0, ink.fg, mix);
    else
      paint_pattern(row, x0, x1 - x0, (*ink.pattern)[s.y & 7], ink, mix);
  }
}

}  // namespace platform::raster
