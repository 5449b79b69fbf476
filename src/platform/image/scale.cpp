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

std::vector<Span> spans(int n, int m) {
  std::vector<Span> out(m);
  for (int i = 0; i < m; ++i) {
    const int64_t begin = int64_t{i} * n;  // in 1/m units
    const int64_t end = int64_t{i + 1} * n;
    Span& s = out[i];
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
  if (width <= 0 || height <= 0 || source.width() == 0 || source.height() == 0) return Page();
  Page target(width, height);
  const std::vector<Span> xs = spans(source.width(), width);
  const std::vector<Span> ys = spans(source.height(), height);
  const double total = double(source.width()) * double(source.height());
  for (int ty = 0; ty < height; ++ty) {
    for (int tx = 0; tx < width; ++tx) {
      double r = 0, g = 0, b = 0;
      for (size_t j = 0; j < ys[ty].weights.size(); ++j) {
        const Pixel* row = source.row(ys[ty].first + static_cast<int>(j));
        for (size_t i = 0; i < xs[tx].weights.size(); ++i) {
          const double w = double(ys[ty].weights[j]) * xs[tx].weights[i];
          const Pixel p = row[xs[tx].first + i];
          r += w * ((p >> 16) & 0xFF), g += w * ((p >> 8) & 0xFF), b += w * (p & 0xFF);
        }
      }
      auto channel = [&](double sum) { return static_cast<Pixel>(sum / total + 0.5); };
      target.at(tx, ty) = (channel(r) << 16) | (channel(g) << 8) | channel(b);
    }
  }
  return target;
}

}  // namespace platform
