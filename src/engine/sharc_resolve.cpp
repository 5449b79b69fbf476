#include "engine/sharc_resolve.hpp"

#include <cmath>
#include <limits>

#include "optimizers/marq_parts.hpp"

namespace sharc_mod {

Resolution resolve_jacobian(const FMatrixD<double>& j, int32_t n, int32_t f, double e) {
  constexpr double kEps = std::numeric_limits<double>::epsilon();
  constexpr double kShare = 0.01;  // the least addition to a variance that counts
  FVector<double> sigma(f);
  FMatrixD<double> u(n, f), v(f, f);
  marq_mod::svd(
      MatView<const double>(j.data(), n, f, j.ld()), n, f, sigma.view(), u.view(), v.view());
  const double error = e + n * kEps;
  const double floor = 10.0 * error;
  const double near = std::sqrt(10.0 * n * kEps * f);
  Resolution out{FMatrixD<double>(f, f, 0.0), FVector<int32_t>(f, 1), FVector<int32_t>(f, 0)};
  FVector<double> kept(f, 0.0), load(f, 0.0), weak(f, 0.0);
  bool unresolved = false;
  for (int32_t k = 1; k <= f; ++k) {
    if (!(sigma(k) > floor)) {
      unresolved = true;
      for (int32_t i = 1; i <= f; ++i) load(i) += v(i, k) * v(i, k);
      continue;
    }
    // The least singular value that J's error leaves possible, so that no variance is taken
    // below what the data give.
    const double s2 = (sigma(k) - error) * (sigma(k) - error);
    for (int32_t i = 1; i <= f; ++i) {
      kept(i) += v(i, k) * v(i, k) / s2;
      if (sigma(k) <= near) weak(i) += v(i, k) * v(i, k) / s2;
      for (int32_t l = 1; l <= i; ++l) out.cplus(l, i) += v(l, k) * v(i, k) / s2;
    }
  }
  for (int32_t i = 1; i <= f; ++i) {
    for (int32_t l = 1; l < i; ++l) out.cplus(i, l) = out.cplus(l, i);
    const bool bounded = load(i) < kShare * floor * floor * kept(i);
    if (!bounded || weak(i) >= 0.5 * kept(i)) out.inseparable(i) = 1;
    if (!bounded || (unresolved && out.inseparable(i) != 0)) out.has_error(i) = 0;
  }
  return out;
}

}  // namespace sharc_mod
