#include "engine/sharc_resolve.hpp"

#include <cmath>
#include <limits>

namespace sharc_mod {
namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

// One-sided Jacobi (Hestenes): rotates pairs of columns of u (n x f) until every pair is
// orthogonal to eps of their norms; then sigma(k) = ||u(:,k)|| and the rotations, gathered in
// v, are the right singular vectors. Sweeps converge quadratically; a few more than ever
// needed bound them.
void jacobi_svd(
    FMatrixD<double>& u, int32_t n, int32_t f, FVector<double>& sigma, FMatrixD<double>& v) {
  constexpr int32_t kSweeps = 50;
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t k = 1; k <= f; ++k) v(j, k) = j == k ? 1.0 : 0.0;
  }
  for (int32_t sweep = 0; sweep < kSweeps; ++sweep) {
    bool rotated = false;
    for (int32_t p = 1; p < f; ++p) {
      for (int32_t q = p + 1; q <= f; ++q) {
        double alpha = 0.0, beta = 0.0, gamma = 0.0;
        for (int32_t i = 1; i <= n; ++i) {
          alpha += u(i, p) * u(i, p);
          beta += u(i, q) * u(i, q);
          gamma += u(i, p) * u(i, q);
        }
        if (!(std::fabs(gamma) > kEps * std::sqrt(alpha * beta))) continue;
        rotated = true;
        // The rotation that makes the pair orthogonal: t = tan of its angle, the smaller root.
        const double zeta = (beta - alpha) / (2.0 * gamma);
        const double t = std::copysign(1.0, zeta) / (std::fabs(zeta) + std::hypot(1.0, zeta));
        const double c = 1.0 / std::sqrt(1.0 + t * t);
        const double s = t * c;
        for (int32_t i = 1; i <= n; ++i) {
          const double up = u(i, p), uq = u(i, q);
          u(i, p) = c * up - s * uq;
          u(i, q) = s * up + c * uq;
        }
        for (int32_t i = 1; i <= f; ++i) {
          const double vp = v(i, p), vq = v(i, q);
          v(i, p) = c * vp - s * vq;
          v(i, q) = s * vp + c * vq;
        }
      }
    }
    if (!rotated) break;
  }
  for (int32_t k = 1; k <= f; ++k) {
    double s = 0.0;
    for (int32_t i = 1; i <= n; ++i) s += u(i, k) * u(i, k);
    sigma(k) = std::sqrt(s);
  }
}

}  // namespace

Resolution resolve_jacobian(FMatrixD<double>& j, int32_t n, int32_t f, double e) {
  constexpr double kShare = 0.01;  // the least addition to a variance that counts
  FVector<double> sigma(f);
  FMatrixD<double> v(f, f);
  jacobi_svd(j, n, f, sigma, v);
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
