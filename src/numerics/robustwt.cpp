#include "numerics/robustwt.hpp"

#include <cmath>
#include <vector>

#include "numerics/thread_held.hpp"

namespace robustwt {
namespace {

constexpr double kC1 = 4.658999919891357;     // 4.659 in single precision
constexpr double kC2 = 1.4830000400543213;    // 1.483 in single precision
constexpr double kCs = 6.909297067811963;     // kC1 * kC2, the weight in the limit u -> 0
constexpr double kEdge = 0.0894546282935481;  // kC2 sin(kC1 u) / u at u = kC1
constexpr double kOutside = 1e-8;             // weight beyond kC1 scale units

// The residual magnitudes of one call, kept by each thread between calls.
struct Magnitudes {
  std::vector<double> x;
};

// Step 3: one reweighting pass at location loc; writes w and returns the new location.
double reweight(int32_t n, VecView<const double> x, double loc, double scale, VecView<double> w) {
  double numerator = 0.0;
  double denominator = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    const double dev = x(i) - loc;
    const double u = dev / (kCs * scale);
    const double au = std::fabs(u);
    if (au < 1e-8) {
      // On the location (u = 0 included) the weight term takes its limit kCs, not 0/0.
      w(i) = 1.0;
      numerator += dev;
      denominator += kCs;
    } else if (au <= kC1) {
      w(i) = kC2 * std::sin(kC1 * u) / u;
      numerator += w(i) * dev;
      denominator += w(i);
    } else {  // beyond kC1, or u not a number
      w(i) = kOutside;
      numerator += kOutside * dev;
      denominator += kEdge;
    }
  }
  return loc + numerator / denominator;
}

}  // namespace

void robust_wt(int32_t n, VecView<const double> r, VecView<double> w) {
  if (n < 1) return;
  // Step 2: magnitudes, binned median and mean absolute deviation. The model evaluator calls
  // this for every trial vector, so the magnitudes live in a buffer that only ever grows.
  std::vector<double>& magnitudes = thread_held::mine<Magnitudes>().x;
  if (magnitudes.size() < static_cast<size_t>(n)) magnitudes.resize(n);
  const VecView<double> x(magnitudes.data(), n);
  for (int32_t i = 1; i <= n; ++i) x(i) = std::fabs(r(i));
  const VecView<const double> xv(magnitudes.data(), n);
  const double m = binmedian(xv, n);
  double s = 0.0;
  for (int32_t i = 1; i <= n; ++i) s += std::fabs(x(i) - m);
  s /= n;
  if (std::isnan(s)) {
    s = 1.0;
  } else {
    s = std::fmin(std::fmax(s, 1e-15), 1e15);
    if (s <= 1e-8) {
      for (int32_t i = 1; i <= n; ++i) w(i) = 1.0;
      return;
    }
  }
  // Step 4: a first pass from the median, then up to 10 more until the location settles.
  double loc = m;
  double next = reweight(n, xv, loc, s, w);
  for (int pass = 1; pass <= 10 && !(std::fabs(next - loc) <= 1e-8); ++pass) {
    loc = next;
    next = reweight(n, xv, loc, s, w);
  }
  // Step 5.
  for (int32_t i = 1; i <= n; ++i) {
    if (std::isnan(w(i))) {
      w(i) = 1.0;
    } else if (w(i) < 0.0) {
      w(i) = -w(i);
    }
  }
}

double binmedian(VecView<const double> x, int32_t n) {
  if (n < 1) return 0.0;
  // Step 1.
  double mu = 0.0;
  for (int32_t i = 1; i <= n; ++i) mu += x(i);
  mu /= n;
  double ss = 0.0;
  for (int32_t i = 1; i <= n; ++i) ss += (x(i) - mu) * (x(i) - mu);
  const double sigma = std::sqrt(ss / n);
  // No bin index is computed from a zero or non-finite spread.
  if (!(sigma > 0.0) || !std::isfinite(sigma)) return mu;
  const double lo = mu - sigma;
  const double hi = mu + sigma;
  const double scale = 1000.0 / (2.0 * sigma);
  if (!std::isfinite(scale)) return mu;
  // Step 2: counts below the range and in bins 0..1000 of [lo, hi).
  int32_t below = 0;
  int32_t bins[1001] = {};
  for (int32_t i = 1; i <= n; ++i) {
    if (x(i) < lo) {
      ++below;
    } else if (x(i) < hi) {
      const double b = std::trunc((x(i) - lo) * scale);
      ++bins[b < 1000.0 ? static_cast<int32_t>(b) : 1000];
    }
  }
  int32_t total = below;
  if (n % 2 == 1) {
    // Step 3: the bin where the count reaches (n + 1) / 2.
    for (int32_t b = 0; b <= 1000; ++b) {
      total += bins[b];
      if (total >= (n + 1) / 2) return lo + (b + 0.5) / scale;
    }
    return mu;
  }
  // Step 4: the bin where the count reaches n / 2, averaged with the next filled bin when the
  // count there is exactly n / 2.
  for (int32_t b = 0; b <= 1000; ++b) {
    total += bins[b];
    if (total < n / 2) continue;
    if (total > n / 2) return lo + (2.0 * b + 1.0) / (2.0 * scale);
    for (int32_t b2 = b + 1; b2 <= 1000; ++b2) {
      if (bins[b2] > 0) return lo + (b + b2 + 1.0) / (2.0 * scale);
    }
    return mu;  // no later bin: the upper middle value lies at or above hi
  }
  return mu;
}

}  // namespace robustwt
