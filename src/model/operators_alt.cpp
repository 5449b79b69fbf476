// Protected exponentials, logarithms and powers of module operators that the evaluator does not
// use, kept beside the ones it does (operators.cpp).
#include <cmath>
#include <cstdint>

#include "model/omegawo.hpp"
#include "model/operators.hpp"

namespace operators {
namespace {

constexpr double kTiny = 4.930380658e-32;  // magnitudes treated as zero by dln, rpwrr

// (1 + f/4096)^4096 by twelve squarings.
double compound(double f) {
  double r = (f + 4096.0) / 4096.0;
  for (int k = 1; k <= 12; ++k) r *= r;
  return r;
}

}  // namespace

double omega_w(double x) {
  // Where OMEGW gives a fixed value (its steps 1 and 2) take it; elsewhere the bounded iteration.
  if (x <= 0.0 || x == 1.0 || x == 2.718281828459045 || x >= 3e45) return omegawo(x);
  return omagaw(x);
}

double pwri(double x, int32_t n) {
  // |n| in 64 bits: -INT32_MIN does not fit in 32.
  uint64_t k = n < 0 ? static_cast<uint64_t>(-int64_t{n}) : static_cast<uint64_t>(n);
  double result = 1.0;
  double base = x;
  while (k != 0) {
    if (k & 1u) result *= base;
    base *= base;
    k >>= 1;
  }
  return n < 0 ? 1.0 / result : result;
}

double fxp(double x) {
  if (x <= -100.0) return 3.720076e-44;
  const double ax = std::fabs(x);
  if (ax <= 40.0) {
    const int n = static_cast<int>(ax);
    const double f = ax - n;
    // e^f / (1 + f/4096)^4096 = exp(f^2/8192 - f^3/(3 4096^2) + ...); its series to the order
    // 1/4096^2 is 1 + f^2/8192 (1 + (f^2/4 - 2f/3)/4096), leaving a relative error below 1e-11.
    const double corr = 1.0 + f * f / 8192.0 * (1.0 + (f * f / 4.0 - 2.0 * f / 3.0) / 4096.0);
    const double v = qexp(static_cast<double>(n)) * compound(f) * corr;
    return x < 0.0 ? 1.0 / v : v;
  }
  return std::exp(x);
}

double aexp(double x) {
  constexpr double kCap = 2.5e30;  // about e^70
  if (std::isnan(x)) return 1.0;
  // A huge negative argument underflows towards 0: the cap's reciprocal, not the cap.
  if (x + 4.5e15 == x) return x > 0.0 ? kCap : 1.0 / kCap;
  const double ax = std::fabs(x);
  if (ax <= 40.0) {
    const int n = static_cast<int>(ax);
    const double f = ax - n;
    // Taylor polynomial of e^f to degree 7 (relative error below 1.1e-5 on [0, 1)) by Horner's
    // rule, 1 + f (1 + f/2 (1 + ... (1 + f/7))), then one Newton step on ln(p) = f,
    // p := p (1 + f - ln p), which squares that error (below 1e-10).
    double p = 1.0;
    for (int k = 7; k >= 1; --k) p = 1.0 + f / k * p;
    p *= 1.0 + f - std::log(p);
    const double v = qexp(static_cast<double>(n)) * p;
    return x < 0.0 ? 1.0 / v : v;
  }
  if (ax < 70.0) return std::exp(x);
  return x > 0.0 ? kCap : 1.0 / kCap;
}

double dln(double x) {
  const double ax = std::fabs(x);
  if (std::isnan(ax) || ax <= kTiny) return -80.0;
  if (std::isinf(ax)) return 2.02824096e31;
  return std::log(ax);
}

double lln(double x) {
  const double ax = std::fabs(x);
  if (std::isnan(ax) || ax <= kTiny || std::isinf(ax)) return dln(x);
  if (ax < 0.1 || ax > 15.0) return std::log(ax);
  // ln a = 2 (y + y^3/3 + ... + y^15/15), y = (a - 1)/(a + 1), over the common denominator
  // 45045, the least common multiple of 1, 3, ..., 15 (eight terms: at the ends of [0.1, 15]
  // the terms left out add up to about 1e-2).
  const double y = (ax - 1.0) / (ax + 1.0);
  const double y2 = y * y;
  const double s =
      45045.0 +
      y2 * (15015.0 +
            y2 * (9009.0 +
                  y2 * (6435.0 + y2 * (5005.0 + y2 * (4095.0 + y2 * (3465.0 + y2 * 3003.0))))));
  return 2.0 * y * s / 45045.0;
}

double rpwrr(double x, double y) {
  if (y == 0.0 || std::fabs(y) < kTiny) return 1.0;
  if (x == 0.0 || std::fabs(x) < kTiny) return 0.0;
  const double whole = std::nearbyint(y);
  // Whole exponents within the range of pwri's count multiply; larger ones go the long way.
  if (std::fabs(y - whole) <= 1e-8 && std::fabs(whole) <= 2147483647.0) {
    return pwri(x, static_cast<int32_t>(whole));
  }
  return std::exp(y * std::log(x));
}

double dpwr(double x, double y) {
  if (y == 0.0) return 1.0;
  if (x == 0.0) return 0.0;
  double p = y * std::log(std::fabs(x));
  if (std::fabs(p) > 690.0) p = std::copysign(65.0, p);
  const double v = qexp(p);
  const bool odd_whole = std::trunc(y) == y && std::fmod(y, 2.0) != 0.0;
  return x < 0.0 && odd_whole ? -v : v;
}

double cuberoot(double x) { return std::cbrt(x); }

}  // namespace operators
