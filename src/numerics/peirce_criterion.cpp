#include "numerics/peirce_criterion.hpp"

#include <cmath>

void peirce_criterion(int32_t n_obs, int32_t nd, int32_t m, double& r_ratio) {
  r_ratio = 0.0;
  // Step 1. nd < 1 would divide by zero in x2, nd >= N in the exponent 1 / (N - nd).
  if (n_obs <= 1 || nd < 1 || nd >= n_obs) return;
  const double big_n = static_cast<float>(n_obs);
  const double dnd = static_cast<float>(nd);
  const double dm = static_cast<float>(m);
  // Step 2.
  const double q =
      std::pow(dnd, dnd / big_n) * std::pow(big_n - dnd, (big_n - dnd) / big_n) / big_n;
  const double tol = 2.2200000334640245e-16 * big_n;  // below 1 for every 32-bit count
  // Step 3: at most 30 passes of the fixed point; a negative x2 leaves R where it was.
  double r_new = 1.0;
  double x2 = 0.0;
  for (int pass = 1; pass <= 30; ++pass) {
    const double r_old = r_new;
    double ldiv = std::pow(r_new, dnd);
    if (ldiv == 0.0) ldiv = 9.999999974752427e-7;
    const double lambda = std::pow(std::pow(q, big_n) / ldiv, 1.0 / (big_n - dnd));
    x2 = 1.0 + (big_n - dm - dnd) / dnd * (1.0 - lambda * lambda);
    if (x2 < 0.0) {
      x2 = 0.0;
    } else {
      r_new = std::exp((x2 - 1.0) / 2.0) * std::erfc(std::sqrt(x2) / 1.4142135381698608);
    }
    if (std::fabs(r_new - r_old) <= tol) break;
  }
  // Step 4.
  r_ratio = std::sqrt(x2);
}
