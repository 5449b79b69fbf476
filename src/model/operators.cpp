#include "model/operators.hpp"

#include <array>
#include <cmath>

#include "model/simd.hpp"

namespace operators {
namespace {

// e^0 .. e^40, the integer part of qexp's argument.
const std::array<double, 41> kExpTable = [] {
  std::array<double, 41> t{};
  for (int n = 0; n <= 40; ++n) t[n] = std::exp(static_cast<double>(n));
  return t;
}();

}  // namespace

// The clamps and the value are the vector kernel's, the one the formula evaluator's LOG runs:
// a ten-term atanh series refined by Newton steps on qexp would be off by up to 1e-6 absolute
// near 1, so the value comes from the vector library's logarithm (within 1 ulp).
double aln(double x) { return simd::active->aln(x); }

double qexp(double x) {
  if (std::isnan(x)) return 1.0;
  // Infinite or huge arguments; a huge negative one underflows towards 0, not to 1e32.
  if (x + 1e16 == x) return x > 0.0 ? 1e32 : 1e-32;
  const double ax = std::fabs(x);
  if (ax <= 1e-16) return 1.0;
  if (ax <= 40.0) {
    const int n = static_cast<int>(ax);
    const double f = ax - n;
    const double t = x < 0.0 ? 1.0 / kExpTable[n] : kExpTable[n];
    if (f <= 1e-6) return t;
    // e^f ~ (1 + f/4096)^4096 * (1 + f^2/8192 (1 + (f^2/4 + f/2 - f)/4096)).
    double r = (f + 4096.0) / 4096.0;
    for (int k = 1; k <= 12; ++k) r *= r;
    r *= 1.0 + f * f / 8192.0 * (1.0 + (f * f / 4.0 + f / 2.0 - f) / 4096.0);
    if (x < 0.0) r = 1.0 / r;
    return t * r;
  }
  if (ax < 70.0) return std::exp(x);
  return x > 0.0 ? 1e32 : 1e-32;
}

double sqroot(double x) {
  const double e = 4.930380658e-32;
  if (std::fabs(x) <= e) return 0.0;
  return std::copysign(std::sqrt(std::fabs(x + e)), x);
}

}  // namespace operators
