#include "engine/sharc_resolve.hpp"

#include <cmath>
#include <limits>

#include "optimizers/marq_parts.hpp"

namespace sharc_mod {

Resolution resolve_jacobian(const FMatrixD<double>& j,
                            int32_t n,
                            int32_t f,
                            const FVector<double>& errors) {
  constexpr double kEps = std::numeric_limits<double>::epsilon();
  constexpr double kShare = 0.01;  // the least addition to a variance that counts
  constexpr double kFloor = 3.0;   // a resolved singular value, in errors of its direction
  FVector<double> sigma(f);
  FMatrixD<double> u(n, f), v(f, f);
  marq_mod::svd(
      MatView<const double>(j.data(), n, f, j.ld()), n, f, sigma.view(), u.view(), v.view());
  const double near = std::sqrt(10.0 * n * kEps * f);
  Resolution out{FMatrixD<double>(f, f, 0.0), FVector<int32_t>(f, 1), FVector<int32_t>(f, 0)};
  FVector<double> kept(f, 0.0), least(f, 0.0), weak(f, 0.0), error(f);
  FVector<int32_t> resolved(f, 0);
  double total = n * kEps;  // the norm of J's error
  for (int32_t i = 1; i <= f; ++i) total = std::hypot(total, errors(i));
  bool unresolved = false;
  for (int32_t k = 1; k <= f; ++k) {
    // The error of sigma_k: that of J along v_k, from the errors of the columns it is made of.
    error(k) = n * kEps;
    for (int32_t i = 1; i <= f; ++i) {
      if (v(i, k) != 0.0) error(k) += std::fabs(v(i, k)) * errors(i);
    }
    resolved(k) = sigma(k) > kFloor * error(k) ? 1 : 0;
    unresolved = unresolved || resolved(k) == 0;
  }
  for (int32_t k = 1; k <= f; ++k) {
    if (resolved(k) != 0) {
      // The least singular value that J's error leaves possible, so that no variance is taken
      // below what the data give.
      const double s2 = (sigma(k) - error(k)) * (sigma(k) - error(k));
      for (int32_t i = 1; i <= f; ++i) {
        kept(i) += v(i, k) * v(i, k) / s2;
        if (sigma(k) <= near) weak(i) += v(i, k) * v(i, k) / s2;
        for (int32_t l = 1; l <= i; ++l) out.cplus(l, i) += v(l, k) * v(i, k) / s2;
      }
      continue;
    }
    // The true singular value lies anywhere from 0 to sigma_k + error: a loading here adds at
    // least its share over the largest. A loading within what J's error turns v_k by (its
    // norm over the gap to the nearest resolved singular value) may be none at all.
    double gap = std::numeric_limits<double>::infinity();
    for (int32_t l = 1; l <= f; ++l) {
      if (resolved(l) != 0) gap = std::fmin(gap, std::fabs(sigma(l) - sigma(k)));
    }
    const double turn = total / gap;
    const double top = (sigma(k) + error(k)) * (sigma(k) + error(k));
    for (int32_t i = 1; i <= f; ++i) {
      const double real = std::fmax(0.0, std::fabs(v(i, k)) - turn);
      least(i) += real * real / top;
    }
  }
  for (int32_t i = 1; i <= f; ++i) {
    for (int32_t l = 1; l < i; ++l) out.cplus(i, l) = out.cplus(l, i);
    const bool bounded = least(i) < kShare * kept(i);
    if (!bounded || weak(i) >= 0.5 * kept(i)) out.inseparable(i) = 1;
    if (!bounded || (unresolved && out.inseparable(i) != 0)) out.has_error(i) = 0;
    if (out.has_error(i) != 0) out.cplus(i, i) += least(i);
  }
  return out;
}

}  // namespace sharc_mod
