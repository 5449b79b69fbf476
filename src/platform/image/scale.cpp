#include "platform/image/scale.hpp"

#include <algorithm>
#include <array>

namespace platform {
namespace {

// One axis of the stretch: n source pixels onto m target pixels. Target pixel i covers the
// source interval [i * n / m, (i + 1) * n / m); in units of 1/m source pixels that is
// [i * n, (i + 1) * n), and source pixel p covers [p * m, (p + 1) * m), so every overlap is an
// exact integer and the weights of one target pixel sum to n.
struct Axis {
  int64_t n = 0;
  int64_t m = 0;
  int64_t first(int64_t i) const { return i * n / m; }
  int64_t last(int64_t i) const { return ((i + 1) * n + m - 1) / m; }  // one past
  int64_t weight(int64_t i, int64_t p) const {
    return std::min((i + 1) * n, (p + 1) * m) - std::max(i * n, p * m);
  }
};

using Sums = std::array<uint64_t, 3>;  // red, green, blue, each times its weights

void add(Sums& sums, uint64_t w, Pixel p) {
  sums[0] += w * ((p >> 16) & 0xFF), sums[1] += w * ((p >> 8) & 0xFF), sums[2] += w * (p & 0xFF);
}

// The target pixels of `part`, walked by `outer` lines across and `inner` pixels along each:
// a target pixel is the sum over the source pixels p under it along `inner` of the weighted
// sums of the source pixels q under it along `outer`. The sums of one source line (one p) are
// kept for the next target pixel, which shares that line when the stretch enlarges or at its
// edge when it shrinks, so each source pixel under a target line is summed about once:
// the work is (source lines along inner) x (source pixels under each target line) plus the
// target pixels. `pixel(q, p)` reads the source, `put(o, i, colour)` writes the target at
// outer index o and inner index i, both counted from the part's corner.
template <class Read, class Write>
void stretch(const Axis& outer,
             int64_t outer_begin,
             int64_t outer_end,
             const Axis& inner,
             int64_t inner_begin,
             int64_t inner_end,
             const Read& pixel,
             const Write& put) {
  const uint64_t total = static_cast<uint64_t>(outer.n * inner.n);
  const auto channel = [total](uint64_t sum) {
    return static_cast<Pixel>((2 * sum + total) / (2 * total));
  };
  for (int64_t o = outer_begin; o < outer_end; ++o) {
    const int64_t q0 = outer.first(o), q1 = outer.last(o);
    int64_t kept = -1;  // the source line whose sums `line` holds
    Sums line{};
    for (int64_t i = inner_begin; i < inner_end; ++i) {
      Sums sums{};
      for (int64_t p = inner.first(i), p1 = inner.last(i); p < p1; ++p) {
        if (p != kept) {
          line = {};
          for (int64_t q = q0; q < q1; ++q)
            add(line, static_cast<uint64_t>(outer.weight(o, q)), pixel(q, p));
          kept = p;
        }
        const auto w = static_cast<uint64_t>(inner.weight(i, p));
        for (int c = 0; c < 3; ++c) sums[c] += w * line[c];
      }
      put(o - outer_begin,
          i - inner_begin,
          (channel(sums[0]) << 16) | (channel(sums[1]) << 8) | channel(sums[2]));
    }
  }
}

}  // namespace

Page scale_page(const Page& source, int width, int height) {
  return scale_page(source, width, height, {0, 0, width, height});
}

Page scale_page(const Page& source, int width, int height, const Rect& part) {
  const Rect p = intersect(part, {0, 0, width, height});
  if (p.empty() || source.width() == 0 || source.height() == 0) return Page();
  Page target(p.width(), p.height());
  if (width == source.width() && height == source.height()) {  // its own size: a copy
    for (int y = 0; y < p.height(); ++y) {
      const Pixel* from = source.row(p.top + y) + p.left;
      std::copy(from, from + p.width(), target.row(y));
    }
    return target;
  }
  const Axis xs{source.width(), width}, ys{source.height(), height};
  // Source pixels under the part along each axis.
  const int64_t columns = xs.last(p.right - 1) - xs.first(p.left);
  const int64_t rows = ys.last(p.bottom - 1) - ys.first(p.top);
  // Walking target rows sums every source column under each target row, about
  // columns x (rows + target rows) work; walking target columns costs rows x (columns + target
  // columns). The cheaper order keeps a thin picture (1 x 2^24, say) in proportion to its pixels
  // plus the target's.
  const auto at = [&source](int64_t x, int64_t y) {
    return source.at(static_cast<int>(x), static_cast<int>(y));
  };
  if (columns * (rows + p.height()) <= rows * (columns + p.width())) {
    stretch(
        ys,
        p.top,
        p.bottom,
        xs,
        p.left,
        p.right,
        [&at](int64_t y, int64_t x) { return at(x, y); },
        [&target](int64_t y, int64_t x, Pixel c) {
          target.at(static_cast<int>(x), static_cast<int>(y)) = c;
        });
  } else {
    stretch(xs, p.left, p.right, ys, p.top, p.bottom, at, [&target](int64_t x, int64_t y, Pixel c) {
      target.at(static_cast<int>(x), static_cast<int>(y)) = c;
    });
  }
  return target;
}

}  // namespace platform
