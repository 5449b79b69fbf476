#include "numerics/balance_mod.hpp"

#include <cmath>

namespace balance_mod {
namespace {

// A scaling is kept only when it lowers the row's and column's joint sum below this share of
// its old value (0.95 held in single precision).
const double kGain = double(0.95f);

// Tries to balance row i against column i; returns true when it scaled them.
bool balance_row(MatView<double> a, int32_t n, int32_t i) {
  double csum = 0.0;
  double rsum = 0.0;
  for (int32_t j = 1; j <= n; ++j) {
    if (j == i) continue;
    csum += std::fabs(a(j, i));
    rsum += std::fabs(a(i, j));
  }
  // A zero sum has no scale to match. A sum that is not finite has none either, and an infinite
  // column sum would keep the factor search below dividing by 4 for ever.
  if (csum == 0.0 || rsum == 0.0 || !std::isfinite(csum) || !std::isfinite(rsum)) return false;

  // Step 2.1: the power of 2 that brings csum within a factor 2 of rsum.
  double g = rsum / 2.0;
  double f = 1.0;
  const double s = csum + rsum;
  while (csum < g) {
    csum = 4.0 * csum;
    f = 2.0 * f;
  }
  g = 2.0 * rsum;
  while (csum > g) {
    csum = csum / 4.0;
    f = f / 2.0;
  }
  // Step 2.2: apply it only when it pays.
  if (!((csum + rsum) / f < kGain * s)) return false;
  // Sums more than 2^2048 apart ask for a factor that is not a finite double; such a row is
  // left as it is.
  const double finv = 1.0 / f;
  if (!std::isfinite(f) || !std::isfinite(finv)) return false;
  // The diagonal entry would be multiplied by 1/f and then by f: it is left alone, which is the
  // same except where that detour would overflow or lose bits to underflow.
  for (int32_t j = 1; j <= n; ++j) {
    if (j == i) continue;
    a(i, j) = a(i, j) * finv;
    a(j, i) = a(j, i) * f;
  }
  return true;
}

}  // namespace

void balance(MatView<double> a, int32_t n) {
  if (n < 1) return;
  // Each scaling lowers the total off-diagonal sum by at least 5 % of the row's share, and the
  // entries only move by powers of 2, so the sweeps end.
  bool scaled = true;
  while (scaled) {
    scaled = false;
    for (int32_t i = 1; i <= n; ++i) {
      if (balance_row(a, n, i)) scaled = true;
    }
  }
}

}  // namespace balance_mod
