#include "model/omegawo.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kEps = 2.220446049250313e-16;

// ln(x / abs(w)), negated when w < 0.
double omega_log(double x, double w) {
  const double l = std::log(x / std::fabs(w));
  return w < 0.0 ? -l : l;
}

// One step of Fritsch's iteration [1]: w := w (1 + e), e the relative correction.
double fritsch_step(double x, double w, double& e) {
  const double z = omega_log(x, w) - w;
  const double q = 2.0 * (1.0 + w) * (1.0 + w + 2.0 * z / 3.0);
  e = z / (1.0 + w) * (q - z) / (q - 2.0 * z);
  return w * (1.0 + e);
}

// One Halley step on f(w) = w e^w - x [2]; d is the change subtracted from w.
double halley_step(double x, double w, double& d) {
  const double ew = std::exp(w);
  const double f = w * ew - x;
  d = f / (ew * (w + 1.0) - (w + 2.0) * f / (2.0 * w + 2.0));
  return w - d;
}

// Below this argument the initial values come from the series of W at 0. The closed forms fail
// there: omegaw's takes logarithms of quotients that tend to 1 (2.4x / ln(1 + 2.4x)) and loses
// its digits; omegawo's is off by about 7e-10 absolute at 0, more than W itself below 1e-9. The
// steps that follow cannot recover from a start that is off by more than W.
constexpr double kSeriesBelow = 1e-3;

// W(x) = x - x^2 + 3/2 x^3 - 8/3 x^4 + 125/24 x^5 - ..., the Taylor series at 0, the sum of
// (-n)^(n-1) / n! x^n [2], for 0 < x < kSeriesBelow: the first term left out, 54/5 x^6, is
// below 1.1e-14 W there, and the steps that follow take the rest.
double series_value(double x) {
  return x * (1.0 + x * (-1.0 + x * (1.5 + x * (-8.0 / 3.0 + x * (125.0 / 24.0)))));
}

// The initial value of omegaw for x > 0. For huge x the quotient 1.2x / ... may overflow: a
// value that is not positive and finite is replaced.
double initial_value(double x) {
  if (x < kSeriesBelow) return series_value(x);
  const double w0 = 1.4586887 * std::log(1.2 * x / std::log(2.4 * x / std::log1p(2.4 * x))) -
                    0.4586887 * std::log(2.0 * x / std::log1p(2.0 * x));
  if (w0 > 0.0 && std::isfinite(w0)) return w0;
  return x / (1.0 + x) + std::log1p(x / 8.0);
}

// Up to three passes of a Fritsch step followed (with halley) by a Halley step, leaving when a
// change of w is at most 1e-16; the common part of w and wtwo.
double polish(double x, double w0, bool halley_each_pass) {
  constexpr double kTol = 1e-16;
  double w = w0;
  for (int k = 1; k <= 3; ++k) {
    double e = 0.0;
    const double before = w;
    w = fritsch_step(x, w, e);
    if (std::fabs(w - before) <= kTol) break;
    if (halley_each_pass) {
      double d = 0.0;
      w = halley_step(x, w, d);
      if (std::fabs(d) <= kTol) break;
    }
  }
  return w;
}

}  // namespace

double omegawo(double x) {
  const double minus_inv_e = -0.36787944117144233;
  // Step 1: below the branch point there is no real value; on (-1/e, 0] the routine gives 0.
  if (x < minus_inv_e) return 0.0;
  if (x == minus_inv_e) return -1.0;
  if (x <= 0.0) return 0.0;
  // Step 2: exact values and the cap for huge arguments.
  if (x == 1.0) return 0.5671432904097838;
  if (x == 2.718281828459045) return 1.0;
  if (x >= 3e45) return 100.0;
  // Step 3: initial value (the series for small x, where this form is off by more than W).
  double w = series_value(x);
  if (x >= kSeriesBelow) {
    const double y = std::sqrt(2.718281828459045 * x + 1.0);
    w = 2.036 * std::log((1.0 + 1.14956131 * y) / (1.0 + 0.4549574 * std::log(1.0 + y))) - 1.0;
  }
  // Step 4: three steps w := w / (1 + w) * (1 + L).
  for (int k = 1; k <= 3; ++k) w = w / (1.0 + w) * (1.0 + omega_log(x, w));
  // Step 5: one step of Fritsch's iteration [1].
  double e = 0.0;
  return fritsch_step(x, w, e);
}

double omegaw(double x) {
  if (!(x > 0.0)) return 0.0;  // x <= 0 (and not-a-number) is taken as 0: W(0) = 0
  if (std::isinf(x)) return x;
  double w = initial_value(x);
  for (int k = 1; k <= 3; ++k) {
    double e = 0.0;
    w = fritsch_step(x, w, e);
    if (std::fabs(e) < 1e-10 * x) break;
  }
  for (int k = 1; k <= 3; ++k) {
    double d = 0.0;
    w = halley_step(x, w, d);
    if (std::fabs(d) <= kEps * std::fabs(w)) break;
  }
  return w;
}

double omgaw(double x) { return x > 0.0 ? std::fabs(initial_value(x)) : 0.0; }

double omagaw(double x) {
  if (std::isnan(x)) x = 1e-8;
  x = std::max(x, 1e-8 * std::fabs(x));
  if (x == 0.0) return 0.0;  // W(0) = 0; the steps would divide 0 by 0
  if (std::isinf(x)) x = std::numeric_limits<double>::max();
  const double w0 = std::clamp(initial_value(x), -65.0, 65.0);
  const double cap = 1.01 * w0;
  double w = w0;
  for (int k = 1; k <= 3; ++k) {
    double e = 0.0;
    w = std::min(fritsch_step(x, w, e), cap);
    if (std::fabs(e) < 1e-8 * std::fabs(x)) break;
  }
  return w;
}

double w(double x) {
  if (!(x > 0.0)) return 0.0;  // negative (and not-a-number) taken as 0
  if (x < 9.999779838528536e-07) return 0.999998 * x;
  if (std::isinf(x)) return x;
  return polish(x, initial_value(x), true);
}

double wtwo(double x) {
  if (!(x > 0.0)) return 0.0;
  if (x < 9.999779838528536e-07) return 0.999998 * x;
  if (std::isinf(x)) return x;
  double d = 0.0;
  return halley_step(x, polish(x, initial_value(x), false), d);
}
