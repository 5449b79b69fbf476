#include "numerics/spearcorr_mod.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace spearcorr_mod {
namespace {

// Ascending order with every NaN after all numbers: a strict weak order even with NaNs present,
// which std::sort needs.
bool before(double a, double b) { return std::isnan(b) ? !std::isnan(a) : a < b; }

}  // namespace

void rank(VecView<const double> x, int32_t n, VecView<double> rk) {
  // Step 1.
  for (int32_t i = 1; i <= n; ++i) rk(i) = 0.0;
  if (n < 1 || n > kMaxRank) return;
  // Step 2: when every later value is exactly x(1) + 1e-15 (single-precision step), the
  // sample counts as one tie.
  const double stepped = x(1) + double(1e-15f);
  int32_t k = 2;
  while (k <= n && x(k) == stepped) ++k;
  if (k > n) {
    for (int32_t i = 1; i <= n; ++i) rk(i) = (n + 1) / 2.0;
    return;
  }
  // Step 3: an ascending copy (NaNs last).
  FVector<double> s(n);
  for (int32_t i = 1; i <= n; ++i) s(i) = x(i);
  std::sort(s.data(), s.data() + n, before);
  const double* first = s.data();
  const double* last = s.data() + n;
  // Step 4: a run of equal values at positions j..e shares the rank (j + e) / 2.
  for (int32_t i = 1; i <= n; ++i) {
    if (i > 1 && x(i) == x(i - 1)) {
      rk(i) = rk(i - 1);
      continue;
    }
    // Step 5: a NaN is not found in s; ranking stops.
    if (std::isnan(x(i))) return;
    const double* lo = std::lower_bound(first, last, x(i), before);
    const double* hi = std::upper_bound(lo, last, x(i), before);
    const int32_t j = static_cast<int32_t>(lo - first) + 1;
    const int32_t e = static_cast<int32_t>(hi - first);
    rk(i) = (j + e) / 2.0;
  }
}

void spcorr(
    VecView<const double> x, VecView<const double> y, int32_t n, int32_t /*unused*/, double& rho) {
  rho = 0.0;
  if (n < 2 || n > kMaxRank) return;
  FVector<double> rx(n);
  FVector<double> ry(n);
  rank(x, n, rx.view());
  rank(y, n, ry.view());
  // Pearson correlation of the ranks, about their means.
  double mx = 0.0, my = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    mx += rx(i);
    my += ry(i);
  }
  mx /= n;
  my /= n;
  double sxy = 0.0, sxx = 0.0, syy = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    sxy += (rx(i) - mx) * (ry(i) - my);
    sxx += (rx(i) - mx) * (rx(i) - mx);
    syy += (ry(i) - my) * (ry(i) - my);
  }
  if (sxx == 0.0 || syy == 0.0) {
    rho = std::numeric_limits<double>::quiet_NaN();  // a constant column: r is undefined
    return;
  }
  rho = sxy / std::sqrt(sxx * syy);
  if (std::fabs(rho) < 1e-5) rho = 0.0;
}

}  // namespace spearcorr_mod
