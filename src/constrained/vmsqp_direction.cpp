// vmsqp_mod: step 10 of the SQP method, the search direction. B plus a ridge is solved for
// -g by a chain that always yields a direction: the trusted Gauss-Jordan inverse (with its
// condition test), a Cholesky solve, Gaussian elimination, and finally a scaled gradient. The
// direction is then projected off each active constraint and kept away from zero.
#include <algorithm>
#include <cmath>
#include <utility>

#include "constrained/robust_gj_matinv.hpp"
#include "constrained/vmsqp_lines.hpp"
#include "constrained/vmsqp_state.hpp"

namespace vmsqp_mod::detail {
namespace {

using lines::sign;

constexpr double kTol = 2e-12;         // least component of d; least usable |g| and diagonal
constexpr double kSolveTol = 4.4e-15;  // least pivot of the Cholesky and elimination solves

// Step 10c: Breg d = rhs by Cholesky factorisation of the lower triangle of breg. False when a
// radicand is not above 4.4e-15 (a NaN included) or a diagonal of the factor is below it.
bool solve_cholesky(const FMatrixD<double>& breg,
                    const FVector<double>& rhs,
                    FVector<double>& d,
                    int32_t n) {
  FMatrixD<double> l(n, n);
  for (int32_t j = 1; j <= n; ++j) {
    double radicand = breg(j, j);
    for (int32_t k = 1; k < j; ++k) radicand -= l(j, k) * l(j, k);
    if (!(radicand > kSolveTol)) return false;
    l(j, j) = std::sqrt(radicand);
    if (std::fabs(l(j, j)) < kSolveTol) return false;
    for (int32_t i = j + 1; i <= n; ++i) {
      double s = breg(i, j);
      for (int32_t k = 1; k < j; ++k) s -= l(i, k) * l(j, k);
      l(i, j) = s / l(j, j);
    }
  }
  for (int32_t i = 1; i <= n; ++i) {  // L z = rhs
    double s = rhs(i);
    for (int32_t k = 1; k < i; ++k) s -= l(i, k) * d(k);
    d(i) = s / l(i, i);
  }
  for (int32_t i = n; i >= 1; --i) {  // L^T d = z
    double s = d(i);
    for (int32_t k = i + 1; k <= n; ++k) s -= l(k, i) * d(k);
    d(i) = s / l(i, i);
  }
  return true;
}

// Step 10d: Breg d = rhs by Gaussian elimination with partial pivoting. False when a pivot is
// below 4.4e-15 in magnitude (or NaN).
bool solve_elimination(FMatrixD<double> w, FVector<double> rhs, FVector<double>& d, int32_t n) {
  for (int32_t k = 1; k <= n; ++k) {
    int32_t p = k;
    for (int32_t i = k + 1; i <= n; ++i) {
      if (std::fabs(w(i, k)) > std::fabs(w(p, k))) p = i;
    }
    if (!(std::fabs(w(p, k)) >= kSolveTol)) return false;
    if (p != k) {
      for (int32_t j = 1; j <= n; ++j) std::swap(w(k, j), w(p, j));
      std::swap(rhs(k), rhs(p));
    }
    for (int32_t i = k + 1; i <= n; ++i) {
      const double f = w(i, k) / w(k, k);
      for (int32_t j = k; j <= n; ++j) w(i, j) -= f * w(k, j);
      rhs(i) -= f * rhs(k);
    }
  }
  for (int32_t i = n; i >= 1; --i) {
    double s = rhs(i);
    for (int32_t j = i + 1; j <= n; ++j) s -= w(i, j) * d(j);
    d(i) = s / w(i, i);
  }
  return true;
}

// Step 10a: B plus a ridge that grows with the largest diagonal when B is indefinite or its
// diagonal spans more than 1e12.
FMatrixD<double> regularised(const Sqp& q) {
  const int32_t n = q.n;
  FMatrixD<double> breg = q.b;
  if (n < 1) return breg;
  double dmax = q.b(1, 1);
  double dmin = q.b(1, 1);
  for (int32_t i = 2; i <= n; ++i) {
    dmax = std::max(dmax, q.b(i, i));
    dmin = std::min(dmin, q.b(i, i));
  }
  double reg = 1.00002e-7;
  if (dmax <= 0.0 || dmin <= 0.0 || dmax / dmin > 1e12)
    reg = std::max(1.00002e-7 * dmax, 1.00002e-7);
  for (int32_t i = 1; i <= n; ++i) breg(i, i) += reg;
  return breg;
}

}  // namespace

void search_direction(Sqp& q) {
  const int32_t n = q.n;
  const FMatrixD<double> breg = regularised(q);
  FVector<double> rhs(n);
  for (int32_t j = 1; j <= n; ++j) rhs(j) = -q.g(j);

  // b: the trusted inverse; c, d: the two solves; e: the scaled gradient.
  FMatrixD<double> inv = breg;
  int32_t status = 0;
  robust_gj_matinv::robust_gj_mat_inv(inv.view(), n, status, 1);
  if (status == 1) {
    for (int32_t i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int32_t j = 1; j <= n; ++j) s += inv(i, j) * rhs(j);
      q.d(i) = s;
    }
  } else if (!solve_cholesky(breg, rhs, q.d, n) && !solve_elimination(breg, rhs, q.d, n)) {
    double gmax = 0.0;
    for (int32_t j = 1; j <= n; ++j) gmax = std::max(gmax, std::fabs(q.g(j)));
    for (int32_t j = 1; j <= n; ++j) {
      q.d(j) = gmax > kTol ? -q.g(j) / (gmax + 1.0) : -sign(1.414213562373095e-6, q.g(j));
      if (std::fabs(breg(j, j)) > kTol) q.d(j) = q.d(j) / breg(j, j);
    }
  }

  // f: project off each active constraint in turn.
  for (int32_t i = 1; i <= q.nc; ++i) {
    if (q.act(i) == 0) continue;
    double ad = 0.0;
    for (int32_t j = 1; j <= n; ++j) ad += q.a(i, j) * q.d(j);
    for (int32_t j = 1; j <= n; ++j) q.d(j) -= ad * q.a(i, j);
  }

  // g: no component smaller than 2e-12.
  for (int32_t j = 1; j <= n; ++j) {
    if (std::fabs(q.d(j)) < kTol) q.d(j) = sign(kTol, q.d(j));
  }
}

}  // namespace vmsqp_mod::detail
