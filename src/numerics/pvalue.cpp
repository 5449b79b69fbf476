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

}  // namespace

double probst(double t, int32_t n) {
  if (n < 1) return 0.0;
  const double x = t / std::sqrt(static_cast<double>(n));
  const double c2 = n / (t * t + n);
  // Step 1: s = 1 + c2 (j0-1)/j0 + c2^2 (j0-1)(j0+1)/(j0 (j0+2)) + ..., up to j = n - 2.
  double s = n == 1 ? 0.0 : 1.0;
  double term = 1.0;
  for (int32_t j = n % 2 == 0 ? 2 : 3; j <= n - 2; j += 2) {
    term = term * c2 * (j - 1) / j;
    const double next = s + term;
    if (next == s) break;
    s = next;
  }
  // Steps 2 and 3; 0.3183098862 is 1/pi to ten digits.
  if (n % 2 == 0) return 0.5 + (x / 2.0) * std::sqrt(c2) * s;
  return 0.5 + (c2 * x * s + std::atan(x)) * 0.3183098862;
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
    // A standard error of 0 (an exact fit) makes any coefficient but 0 as significant as can be.
    p = std::isinf(t) ? 0.0 : std::fabs(1.0 - probst(t, df));
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
