#include "platform/image/scale.hpp"

#include <vector>

namespace platform {
namespace {

// Source interval [i * n / m, (i + 1) * n / m) of target index i, in units of 1/m source
// pixels, as (first pixel, weights...). Integer arithmetic keeps the result exact.
struct Span {
  int first = 0;
  std::vector<int> weights;  // in units of 1/m source pixels, summing to n
};

// Spans of the target indices first..last-1.
std::vector<Span> spans(int n, int m, int first, int last) {
  std::vector<Span> out;
  out.reserve(static_cast<size_t>(last - first));
  for (int i = first; i < last; ++i) {
    const int64_t begin = int64_t{i} * n;  // in 1/m units
    const int64_t end = int64_t{i + 1} * n;
    Span& s = out.emplace_back();
    s.first = static_cast<int>(begin / m);
    for (int64_t p = s.first; p * m < end; ++p) {
      const int64_t lo = std::max(begin, p * m);
      const int64_t hi = std::min(end, (p + 1) * m);
      s.weights.push_back(static_cast<int>(hi - lo));
    }
  }
  return out;
}

}  // namespace

Page scale_page(const Page& source, int width, int height) {
  return scale_page(source, width, height, {0, 0, width, height});
}

Page scale_page(const Page& source, int width, int height, const Rect& part) {
  const Rect p = intersect(part, {0, 0, width, height});
  if (p.empty() || source.width() == 0 || source.height() == 0) return Page();
  Page target(p.width(), p.height());
  const std::vector<Span> xs = spans(source.width(), width, p.left, p.right);
  const std::vector<Span> ys = spans(source.height(), height, p.top, p.bottom);
  const double total = double(source.width()) * double(source.height());
  for (int ty = 0; ty < p.height(); ++ty) {
    for (int tx = 0; tx < p.width(); ++tx) {
      double r = 0, g = 0, b = 0;
      for (size_t j = 0; j < ys[ty].weights.size(); ++j) {
        const Pixel* row = source.row(ys[ty].first + static_cast<int>(j));
        for (size_t i = 0; i < xs[tx].weights.size(); ++i) {
          const double w = double(ys[ty].weights[j]) * xs[tx].weights[i];
          const Pixel px = row[xs[tx].first + i];
          r += w * ((px >> 16) & 0xFF), g += w * ((px >> 8) & 0xFF), b += w * (px & 0xFF);
        }
      }
      auto channel = [&](double sum) { return static_cast<Pixel>(sum / total + 0.5); };
      target.at(tx, ty) = (channel(r) << 16) | (channel(g) << 8) | channel(b);
    }
  }
  return target;
}

}  // namespace platform
