#include "model/omegawo.hpp"

#include <cmath>

namespace {

// ln(x / abs(w)), negated when w < 0.
double omega_log(double x, double w) {
  const double l = std::log(x / std::fabs(w));
  return w < 0.0 ? -l : l;
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
  // Step 3: initial value.
  const double y = std::sqrt(2.718281828459045 * x + 1.0);
  double w = 2.036 * std::log((1.0 + 1.14956131 * y) / (1.0 + 0.4549574 * std::log(1.0 + y))) - 1.0;
  // Step 4: three steps w := w / (1 + w) * (1 + L).
  for (int k = 1; k <= 3; ++k) w = w / (1.0 + w) * (1.0 + omega_log(x, w));
  // Step 5: one step of Fritsch's iteration [1].
  const double z = omega_log(x, w) - w;
  const double q = 2.0 * (1.0 + w) * (1.0 + w + 2.0 * z / 3.0);
  w = w * (1.0 + z / (1.0 + w) * (q - z) / (q - 2.0 * z));
  return w;
}
