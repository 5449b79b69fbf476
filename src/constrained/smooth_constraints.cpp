#include "constrained/smooth_constraints.hpp"

#include <algorithm>
#include <cmath>

namespace smooth_constraints {
namespace {

constexpr double kTermCap = 4.503599727262e19;  // a larger penalty term counts as kTermNan
constexpr double kTermNan = 100.0;              // penalty term for a NaN or overflowing term

// A penalty term with its guard: NaN or beyond the cap becomes 100 (exp overflows to inf for
// values far outside the box).
double guarded(double term) { return (term != term || term > kTermCap) ? kTermNan : term; }

}  // namespace

void apply_smooth_bounds(double x,
                         double lo,
                         double hi,
                         double scale,
                         double smoothness,
                         double& xadj,
                         double& penalty) {
  const double range = hi - lo;
  const double t = (x - lo) / range;
  const double z = (0.625 / smoothness) * (std::fabs(t) - 0.5);

  // The comparisons stay in this order: a NaN t or z (zero range) falls through to x itself.
  if (z > 350.0) {
    xadj = hi;
  } else if (z < -350.0) {
    xadj = lo;
  } else if (t < 0.0) {
    xadj = lo - range * (std::tanh(z) + 1.0) / 2.0;
  } else if (t > 1.0) {
    xadj = lo + range * (std::tanh(z) + 1.0) / 2.0;
  } else {
    xadj = x;  // x itself, not lo + range * t, which rounds differently
  }

  const double below = x < lo ? guarded(scale * std::exp(lo - x)) : 0.0;
  const double above = x > hi ? guarded(scale * std::exp(x - hi)) : 0.0;
  penalty = penalty + below + above;
}

void smooth_constraint_adjustment(VecView<const double> x,
                                  VecView<const double> lo,
                                  VecView<const double> hi,
                                  VecView<const int32_t> mask,
                                  int32_t n,
                                  VecView<double> xadj,
                                  double& penalty) {
  constexpr double kScale = 10.0;
  constexpr double kSmoothness = 0.1;
  penalty = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    if (mask(i) != 0) {
      apply_smooth_bounds(x(i), lo(i), hi(i), kScale, kSmoothness, xadj(i), penalty);
    } else {
      xadj(i) = x(i);
    }
  }
  if (penalty != penalty) penalty = kTermNan;
}

void smooth_constraint_gradient(VecView<const double> x,
                                VecView<const double> lo,
                                VecView<const double> hi,
                                VecView<const int32_t> mask,
                                int32_t n,
                                VecView<double> grad) {
  constexpr double kScale = 100.0;
  constexpr double kSmoothness = 0.1;
  for (int32_t i = 1; i <= n; ++i) {
    if (mask(i) == 0) {
      grad(i) = 0.0;
      continue;
    }
    const double h = std::max((std::fabs(x(i)) + 1e-8) * 1e-8, 1e-8);
    double mapped = 0.0;
    double plus = 0.0;
    double minus = 0.0;
    apply_smooth_bounds(x(i) + h, lo(i), hi(i), kScale, kSmoothness, mapped, plus);
    apply_smooth_bounds(x(i) - h, lo(i), hi(i), kScale, kSmoothness, mapped, minus);
    grad(i) = (plus - minus) / (2.0 * h);
  }
}

}  // namespace smooth_constraints
