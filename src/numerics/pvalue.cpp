#include "numerics/pvalue.hpp"

#include <cmath>

#include "numerics/farray.hpp"

namespace {

constexpr double kFloor = 2.2204460492503132e-20;
constexpr double kCap = 4.503599727262001e19;

// clang-format off
const FArray<double, 20> kT95Table = [] {
  const double v[20] = {12.71, 4.3, 3.18, 2.78, 2.57, 2.45, 2.37, 2.31, 2.26, 2.23,
                        2.2,   2.18, 2.16, 2.15, 2.13, 2.12, 2.11, 2.1, 2.09, 2.09};
  FArray<double, 20> a;
  for (long i = 1; i <= 20; ++i) a(i) = v[i - 1];
  return a;
}();
// clang-format on

// The continued fraction of I_x(a, b) [2]: 1 / (1 + d1 / (1 + d2 / (1 + ...))) with
//   d(2m+1) = -(a + m)(a + b + m) x / ((a + 2m)(a + 2m + 1)),
//   d(2m)   = m (b - m) x / ((a + 2m - 1)(a + 2m)),
// summed by the modified Lentz method until a factor changes it by less than kFractionEps. It
// converges fast for x < (a + 1) / (a + b + 2), in about sqrt(a) terms; kMaxTerms only bounds
// the loop.
double beta_fraction(double a, double b, double x) {
  constexpr double kFractionEps = 1e-16;
  constexpr double kLentzTiny = 1e-300;  // stands for a partial denominator of 0
  constexpr int32_t kMaxTerms = 100000;
  double f = 1.0, c = 1.0, d = 0.0;
  for (int32_t k = 1; k <= kMaxTerms; ++k) {
    const int32_t m = k / 2;
    const double dk = k % 2 == 1
                          ? -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1))
                          : m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m));
    d = 1.0 + dk * d;
    if (std::fabs(d) < kLentzTiny) d = kLentzTiny;
    c = 1.0 + dk / c;
    if (std::fabs(c) < kLentzTiny) c = kLentzTiny;
    d = 1.0 / d;
    const double delta = c * d;
    f *= delta;
    if (std::fabs(delta - 1.0) < kFractionEps) break;
  }
  return 1.0 / f;
}

// I_x(a, b) for a, b > 0 and x in [0, 1], y = 1 - x: x^a y^b / (a B(a, b)) times the continued
// fraction where it converges fast, else 1 - I_y(b, a) by the symmetry of the ratio.
double beta_ratio(double a, double b, double x, double y) {
  if (x <= 0.0) return 0.0;
  if (y <= 0.0) return 1.0;
  const double log_beta = std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b);
  const double front = std::exp(a * std::log(x) + b * std::log(y) - log_beta);
  if (x < (a + 1.0) / (a + b + 2.0)) return front * beta_fraction(a, b, x) / a;
  return 1.0 - front * beta_fraction(b, a, y) / b;
}

}  // namespace

double probst(double t, int32_t n) {
  if (n < 1) return 0.0;
  if (std::isnan(t)) return t;
  // x = n / (n + t^2) and 1 - x, each from its own quotient: 1 - x near 0 (t near 0) keeps
  // its digits. A t^2 that overflows leaves nothing in the tails.
  const double t2 = t * t;
  const double both = std::isinf(t2) ? 0.0 : beta_ratio(0.5 * n, 0.5, n / (n + t2), t2 / (n + t2));
  return t < 0.0 ? 0.5 * both : 1.0 - 0.5 * both;
}

void ppval(double& p, int32_t& flag, int32_t npar, int32_t nobs, double coef, double& se) {
  const int32_t df = nobs - npar;
  p = 1.0;
  flag = 0;
  // A missing standard error gives no test; clamping it would make it look tiny.
  if (std::isnan(se)) return;
  // Its magnitude, not clamped: a standard error of 1E+30 or 1E-30 is as real as one of 1,
  // in the units of its coefficient.
  se = std::fabs(se);
  const double t = std::fabs(coef / se);
  if (df > 0) {
    // The upper tail at t is the lower tail at -t, which probst gives to its last digits; 1 less
    // the distribution function at t would keep only the rounding of a p below about 1e-10. A
    // standard error of 0 (an exact fit) makes any coefficient but 0 as significant as can be.
    p = probst(-t, df);
    if (std::isnan(p)) {  // a coefficient that is not a number: no test either
      p = 1.0;
      return;
    }
    if (p > double(0.05f)) {
      flag = 0;
    } else {
      flag = 1;
      if (p < kFloor) p = kFloor;
    }
  }
  if (p - 1.0 == p) p = kCap;
  p = std::fmin(std::fmax(std::fabs(p), kFloor), kCap);
}

double t95(int32_t n) {
  if (n < 1) return 2.0;
  if (n <= 20) return kT95Table(n);
  double a = 0.0;
  double z = 0.0;
  if (n <= 30) {
    a = 12.3;
    z = (20 - n) * 0.04054651081081646;
  } else if (n <= 60) {
    a = 8.2;
    z = (35 - n) * 0.7178397931503169 / 35.0;
  } else {
    a = 3.9;
    z = (60 - n) * 0.6678293725756553 / 60.0;
  }
  return std::trunc(196.5 + a * std::exp(z)) / 100.0;
}
