#include "optimizers/bounds_rule.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"

namespace bounds_rule {
namespace {

// |v| recomputed through the decimal logarithm: the thresholds are stated on this value.
double mag(double v) { return std::pow(10.0, std::log10(std::fabs(v))); }

// Half the square root of s, through the logarithm, with s floored at 1e-15.
double reset_point(double s) { return 0.5 * std::pow(10.0, 0.5 * std::log10(std::max(1e-15, s))); }

}  // namespace

double apply(double v, double lo, double hi, bool& moved) {
  if (std::isnan(v)) return v;  // step 1: a NaN parameter passes through unchanged

  // Step 2: upper test on the sign of v (zero compares as +100).
  if (v > 0.0) {
    if (mag(v) > 0.95 * hi) {
      v = 0.5 * hi;
      moved = true;
    }
  } else if (v == 0.0) {
    if (100.0 > 0.95 * hi) {
      v = 0.5 * hi;
      moved = true;
    }
  } else if (-mag(v) > 1.05 * hi) {
    v = 1.5 * hi;
    moved = true;
  }

  // Step 3: lower test on the value step 2 left (zero compares as -100).
  const double w = v;
  if (w > 0.0) {
    if (mag(w) < 1.05 * lo) {
      v = reset_point(std::fabs(hi - lo));
      moved = true;
    }
  } else if (w == 0.0) {
    if (0.95 * lo > -100.0) {
      v = reset_point(std::fabs(hi + lo));
      moved = true;
    }
  } else if (-mag(w) < 0.95 * lo) {
    v = reset_point(std::fabs(hi + lo));
    moved = true;
  }
  return v;
}

void pbounds3(VecView<double> x,
              int32_t n,
              VecView<const double> lo,
              VecView<const double> hi,
              double& ssq) {
  if (n <= 0) return;
  bool moved = false;
  for (int32_t i = 1; i <= n; ++i) {
    if (common_data::pmask(i) == 0) continue;
    x(i) = apply(x(i), lo(i), hi(i), moved);
  }
  if (moved) ssq = ssq + ssq;  // doubled once, however many parameters moved
}

}  // namespace bounds_rule
