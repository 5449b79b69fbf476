#include "constrained/robust_gj_matinv.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace robust_gj_matinv {
namespace {

constexpr double kEps = 2.220446049250313e-16;             // machine epsilon of double precision
constexpr double kSqrtEps = 1.4901161193847656e-8;         // its square root
constexpr double kTiny = 2.441406304151293e-20;            // least trusted row scale and pivot
constexpr double kHuge = 4.095999909149208e19;             // start of the smallest-pivot search
constexpr double kSmallDiagonal = 1.5625000173284136e-10;  // SSOR: a smaller diagonal counts as 1
constexpr double kVerifyTolerance = 1e-8;  // ||A * Ainv - I||_inf accepted for a preconditioned A

// The SSOR preconditioner of w (see the header).
void ssor_matrix(const FMatrixD<double>& w, MatView<double> p, int32_t n, double omega) {
  FVector<double> d(n);
  for (int32_t i = 1; i <= n; ++i) {
    d(i) = std::fabs(w(i, i)) < kSmallDiagonal ? 1.0 : w(i, i);
  }
  // (D + omega L)(i, k) for k <= i and (D + omega U)(k, j) for k <= j.
  auto lower = [&](int32_t i, int32_t k) { return i == k ? d(i) : omega * w(i, k); };
  auto upper = [&](int32_t k, int32_t j) { return k == j ? d(k) : omega * w(k, j); };
  const double scale = 1.0 / (omega * (2.0 - omega));
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int32_t k = 1; k <= std::min(i, j); ++k) s += lower(i, k) * upper(k, j) / d(k);
      p(i, j) = s * scale;
    }
  }
}

// Reciprocal condition estimate of the factor u (upper triangle of an LU factorisation) of a:
// the pivot ratio, raised to 1 / min(umax / umin, ||a||_1 * est) where est bounds ||U^-1|| by
// row sums.
double reciprocal_condition(MatView<const double> a, const FMatrixD<double>& u, int32_t n) {
  double umin = std::fabs(u(1, 1));
  double umax = umin;
  for (int32_t i = 2; i <= n; ++i) {
    umin = std::min(umin, std::fabs(u(i, i)));
    umax = std::max(umax, std::fabs(u(i, i)));
  }
  double r = umin / umax;
  double anorm = 0.0;
  for (int32_t j = 1; j <= n; ++j) {
    double col = 0.0;
    for (int32_t i = 1; i <= n; ++i) col += std::fabs(a(i, j));
    anorm = std::max(anorm, col);
  }
  double est = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    const double uii = std::fabs(u(i, i));
    if (uii <= kEps) continue;
    double row = 0.0;
    for (int32_t j = i + 1; j <= n; ++j) row += std::fabs(u(i, j));
    est = std::max(est, (row / uii + 1.0) / uii);
  }
  if (est > 0.0) r = std::max(r, 1.0 / std::min(umax / umin, anorm * est));
  return r;
}

// Gaussian elimination with partial pivoting (the first largest magnitude on ties) of u in
// place. False when a pivot is not above eps in magnitude (the matrix counts as singular).
bool factorise(FMatrixD<double>& u, int32_t n) {
  for (int32_t k = 1; k <= n; ++k) {
    int32_t p = k;
    for (int32_t i = k + 1; i <= n; ++i) {
      if (std::fabs(u(i, k)) > std::fabs(u(p, k))) p = i;
    }
    if (!(std::fabs(u(p, k)) > kEps)) return false;
    if (p != k) {
      for (int32_t j = 1; j <= n; ++j) std::swap(u(k, j), u(p, j));
    }
    for (int32_t i = k + 1; i <= n; ++i) {
      const double f = u(i, k) / u(k, k);
      u(i, k) = 0.0;
      for (int32_t j = k + 1; j <= n; ++j) u(i, j) -= f * u(k, j);
    }
  }
  return true;
}

// ||a * ainv - I||_inf: how far ainv is from the inverse of a.
double inverse_residual(MatView<const double> a, MatView<const double> ainv, int32_t n) {
  double worst = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    double row = 0.0;
    for (int32_t j = 1; j <= n; ++j) {
      double s = i == j ? -1.0 : 0.0;
      for (int32_t k = 1; k <= n; ++k) s += a(i, k) * ainv(k, j);
      row += std::fabs(s);
    }
    if (row != row) return row;  // a NaN entry fails the caller's test, never passes it
    worst = std::max(worst, row);
  }
  return worst;
}

// Steps 2 to 6 of the inverse: Gauss-Jordan on [a | I] with scaled partial pivoting.
int32_t gauss_jordan(MatView<double> a, int32_t n) {
  FMatrixD<double> g(n, 2 * n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) g(i, j) = a(i, j);
    g(j, n + j) = 1.0;
  }

  // Step 3: row scales; a (nearly) zero row ends it before any elimination.
  FVector<double> scale(n);
  for (int32_t i = 1; i <= n; ++i) {
    double r = 0.0;
    for (int32_t j = 1; j <= n; ++j) r = std::max(r, std::fabs(g(i, j)));
    if (r < kTiny) return 0;
    scale(i) = 1.0 / r;
  }

  // Step 4: elimination.
  double pmax = kTiny;
  double pmin = kHuge;
  for (int32_t k = 1; k <= n; ++k) {
    int32_t p = k;
    double best = std::fabs(g(k, k)) * scale(k);
    for (int32_t i = k + 1; i <= n; ++i) {
      const double v = std::fabs(g(i, k)) * scale(i);
      if (v > best) {
        best = v;
        p = i;
      }
    }
    const double pivot_size = std::fabs(g(p, k));
    if (!(pivot_size >= kEps)) return 0;  // also refuses a NaN pivot
    pmax = std::max(pmax, pivot_size);
    pmin = std::min(pmin, pivot_size);
    if (p != k) {
      for (int32_t j = 1; j <= 2 * n; ++j) std::swap(g(k, j), g(p, j));
      std::swap(scale(k), scale(p));
    }
    const double pivot = g(k, k);
    for (int32_t j = 1; j <= 2 * n; ++j) g(k, j) /= pivot;
    for (int32_t i = 1; i <= n; ++i) {
      if (i == k) continue;
      const double f = g(i, k);
      for (int32_t j = 1; j <= 2 * n; ++j) g(i, j) -= f * g(k, j);
    }
  }

  // Step 5: the right half is the inverse.
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) a(i, j) = g(i, n + j);
  }

  // Step 6: trust by the pivot ratio.
  if (!(pmax > kTiny) || !(pmin > kTiny)) return 0;
  return pmin / pmax >= kSqrtEps ? 1 : 0;
}

}  // namespace

bool ssor_precondition_matrix(MatView<const double> a, MatView<double> p, int32_t n, double omega) {
  FMatrixD<double> w(n, n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) w(i, j) = a(i, j);
  }
  FMatrixD<double> u = w;
  const bool regular = factorise(u, n);
  // A stopped factorisation counts as a zero pivot (umin = 0 with the singular mark).
  const double r = (regular && n >= 1) ? reciprocal_condition(a, u, n) : 0.0;
  if (n < 1 || (regular && r >= kSqrtEps)) {
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t i = 1; i <= n; ++i) p(i, j) = a(i, j);
    }
    return false;
  }
  if (!regular || r < kEps) {
    double mean = 0.0;
    for (int32_t i = 1; i <= n; ++i) mean += w(i, i);
    const double shift = std::fabs(mean / n) * kSmallDiagonal;
    for (int32_t i = 1; i <= n; ++i) w(i, i) += shift;
  }
  ssor_matrix(w, p, n, omega);
  return true;
}

void robust_gj_mat_inv(MatView<double> a, int32_t n, int32_t& status, int32_t sw) {
  status = 0;
  if (n < 1) return;
  constexpr double kOmega = 1.2;

  // Step 1: the condition test; a replaced matrix keeps its original for the verification.
  FMatrixD<double> original;
  bool preconditioned = false;
  if (sw != 0) {
    original = FMatrixD<double>(n, n);
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t i = 1; i <= n; ++i) original(i, j) = a(i, j);
    }
    preconditioned =
        ssor_precondition_matrix(MatView<const double>(original.data(), n, n, n), a, n, kOmega);
  }

  status = gauss_jordan(a, n);

  // The inverse of a preconditioner is no inverse of the matrix passed in unless it checks out:
  // without this, callers would take it as one and step in a wrong direction.
  if (preconditioned && status == 1) {
    const double residual = inverse_residual(MatView<const double>(original.data(), n, n, n),
                                             MatView<const double>(a.data(), n, n, a.ld()),
                                             n);
    if (!(residual <= kVerifyTolerance)) status = 0;
  }
}

}  // namespace robust_gj_matinv
