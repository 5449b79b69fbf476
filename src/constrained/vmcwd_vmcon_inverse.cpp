// vmcwd_vmcon_mod: the in-place inverses of the QP step's working matrices.
//
// A = P^T L U by Gaussian elimination with row pivoting (the pivot of column k is the first
// element of largest magnitude on or below the diagonal); then U is inverted in place, the
// equation X L = U^-1 is solved for X = U^-1 L^-1 column by column from the right, and the
// recorded row interchanges become column interchanges applied in reverse order, which leaves
// A^-1 = U^-1 L^-1 P.
#include <cmath>

#include "constrained/vmcwd_vmcon_mod.hpp"

namespace vmcwd_vmcon_mod {
namespace {

// Step 2, the factorisation. Returns 0 or the column whose pivot is exactly 0.
int32_t factor(MatView<double> a, int32_t n, FVector<int32_t>& ipvt) {
  for (int32_t k = 1; k <= n; ++k) {
    int32_t p = k;
    for (int32_t i = k + 1; i <= n; ++i) {
      if (std::fabs(a(i, k)) > std::fabs(a(p, k))) p = i;
    }
    ipvt(k) = p;
    // A zero pivot would divide by zero: stop and say where.
    if (a(p, k) == 0.0) return k;
    if (p != k) {
      for (int32_t j = 1; j <= n; ++j) std::swap(a(k, j), a(p, j));
    }
    for (int32_t i = k + 1; i <= n; ++i) a(i, k) /= a(k, k);
    for (int32_t j = k + 1; j <= n; ++j) {
      const double akj = a(k, j);
      if (akj == 0.0) continue;
      for (int32_t i = k + 1; i <= n; ++i) a(i, j) -= a(i, k) * akj;
    }
  }
  return 0;
}

// U^-1 in place (upper triangle): column j := U^-1(1:j-1, 1:j-1) * U(1:j-1, j) * (-1 / u_jj).
void invert_upper(MatView<double> a, int32_t n) {
  for (int32_t j = 1; j <= n; ++j) {
    a(j, j) = 1.0 / a(j, j);
    const double ajj = -a(j, j);
    for (int32_t i = 1; i < j; ++i) {
      double s = 0.0;
      for (int32_t k = i; k < j; ++k) s += a(i, k) * a(k, j);
      a(i, j) = s * ajj;
    }
  }
}

// X L = U^-1 for X, L unit lower (below the diagonal of a), columns from n down to 1; then the
// column interchanges.
void solve_lower_and_permute(MatView<double> a, int32_t n, const FVector<int32_t>& ipvt) {
  FVector<double> work(n);
  for (int32_t j = n; j >= 1; --j) {
    for (int32_t i = j + 1; i <= n; ++i) {
      work(i) = a(i, j);
      a(i, j) = 0.0;
    }
    for (int32_t k = j + 1; k <= n; ++k) {
      if (work(k) == 0.0) continue;
      for (int32_t i = 1; i <= n; ++i) a(i, j) -= a(i, k) * work(k);
    }
  }
  for (int32_t j = n - 1; j >= 1; --j) {
    const int32_t p = ipvt(j);
    if (p == j) continue;
    for (int32_t i = 1; i <= n; ++i) std::swap(a(i, j), a(i, p));
  }
}

int32_t invert(MatView<double> a, int32_t n) {
  // Step 1.
  if (n < 1) return 0;
  if (n == 1) {
    if (a(1, 1) == 0.0) return 1;
    a(1, 1) = 1.0 / a(1, 1);
    return 0;
  }
  // Step 2.
  FVector<int32_t> ipvt(n);
  if (const int32_t k = factor(a, n, ipvt); k != 0) return k;
  invert_upper(a, n);
  solve_lower_and_permute(a, n, ipvt);
  return 0;
}

}  // namespace

// Both inverses report a zero pivot: a working matrix that is singular must not be used as
// if it had been inverted (the QP step ends with code 5 instead).
int32_t mb01cd2(MatView<double> a, int32_t n) { return invert(a, n); }

int32_t mb01bd(MatView<double> a, int32_t n) { return invert(a, n); }

}  // namespace vmcwd_vmcon_mod
