#include "numerics/besti0_mod.hpp"

#include <cmath>
#include <cstdio>

#include "numerics/editfmt.hpp"

namespace besti0_mod {
namespace {

constexpr double kSmall = 2.980232238769531e-7;  // below it I0 - 1 is taken as 0
constexpr double kXmax = 690.782712893384;

}  // namespace

double besti0(double x) {
  const double a = std::fabs(x);
  if (a < kSmall) return 0.0;
  if (a <= 4.0) {
    // Denominators (2^k k!)^2 for k = 1..5.
    const double a2 = a * a;
    const double s = 1.0 + a2 / 4.0 + a2 * a2 / 64.0 + a2 * a2 * a2 / 2304.0 +
                     a2 * a2 * a2 * a2 / 147456.0 + a2 * a2 * a2 * a2 * a2 / 14745600.0;
    return std::fabs(s - 1.0);
  }
  if (a <= kXmax) {
    const double s = 1.0 + (1.0 / 8.0) / a + (9.0 / 128.0) / (a * a) +
                     (225.0 / 3072.0) / (a * a * a) + (11025.0 / 98304.0) / (a * a * a * a) +
                     (893025.0 / 3932160.0) / (a * a * a * a * a);
    return std::fabs(std::exp(a) * s / std::sqrt(6.283185307179586 * a) - 1.0);
  }
  std::printf(" \nBesselI0 - Fatal error!\n|x| is greater than xmax.\n%s\n",
              editfmt::format("(a, F14.3, 1x, a, F14.3)", {"Xmax=", kXmax, " |x|=", a}).c_str());
  std::fflush(stdout);
  return std::fabs(std::exp(kXmax) - 1.0);
}

}  // namespace besti0_mod
