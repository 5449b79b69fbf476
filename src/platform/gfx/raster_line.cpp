#include "platform/gfx/raster_line.hpp"

#include <algorithm>
#include <cstdlib>

namespace platform::raster {

int64_t trace_segment(Point64 a, Point64 b, const Rect& bounds, int64_t first_step, Spine& out) {
  const int64_t dx = b.x - a.x;
  const int64_t dy = b.y - a.y;
  const bool x_major = std::llabs(dx) >= std::llabs(dy);
  const int64_t major_d = x_major ? dx : dy;
  const int64_t minor_d = x_major ? dy : dx;
  const int64_t n = std::llabs(major_d);
  if (n == 0 || bounds.empty()) return n;

  const int64_t major0 = x_major ? a.x : a.y;
  const int64_t minor0 = x_major ? a.y : a.x;
  const int64_t major_step = major_d < 0 ? -1 : 1;
  const int64_t minor_step = minor_d < 0 ? -1 : 1;
  const int64_t major_lo = x_major ? bounds.left : bounds.top;
  const int64_t major_hi = (x_major ? bounds.right : bounds.bottom) - 1;
  const int64_t minor_lo = x_major ? bounds.top : bounds.left;
  const int64_t minor_hi = (x_major ? bounds.bottom : bounds.right) - 1;

  // Steps whose major coordinate falls inside the bounds.
  int64_t i0 = major_step > 0 ? major_lo - major0 : major0 - major_hi;
  int64_t i1 = major_step > 0 ? major_hi - major0 : major0 - major_lo;
  i0 = std::max<int64_t>(i0, 0);
  i1 = std::min<int64_t>(i1, n - 1);
  if (i0 > i1) return n;

  // Minor offset q(i) = floor((2 i m + n) / 2n) with m = |minor_d|, advanced incrementally
  // from its exact value at i0 (the product needs 128 bits for far-away endpoints).
  const int64_t m = std::llabs(minor_d);
  const int64_t two_n = 2 * n;
  const __int128 num = static_cast<__int128>(2) * i0 * m + n;
  int64_t q = static_cast<int64_t>(num / two_n);
  int64_t r = static_cast<int64_t>(num % two_n);
  for (int64_t i = i0; i <= i1; ++i) {
    const int64_t minor = minor0 + minor_step * q;
    if (minor >= minor_lo && minor <= minor_hi) {
      const int major = static_cast<int>(major0 + major_step * i);
      const int mi = static_cast<int>(minor);
      out.push_back(x_major ? SpinePixel{major, mi, first_step + i}
                            : SpinePixel{mi, major, first_step + i});
    }
    r += 2 * m;
    if (r >= two_n) {
      r -= two_n;
      ++q;
    }
  }
  return n;
}

}  // namespace platform::raster
