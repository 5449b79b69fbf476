#include "numerics/eigen_cond_index.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr int32_t kMaxRotations = 1000;

// Step 2: the symmetric working copy of the lower triangle, every entry pushed 1e-6 away from
// zero (a negative zero counts as negative) and the diagonal by a further 1e-12.
FMatrixD<double> perturbed_copy(MatView<double> a, int32_t n) {
  FMatrixD<double> b(n, n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = j; i <= n; ++i) {
      b(i, j) = a(i, j) + std::copysign(1e-6, a(i, j));
      b(j, i) = b(i, j);
    }
    b(j, j) = b(j, j) + 1e-12;
  }
  return b;
}

// out = x * y for n x n matrices.
void multiply(const FMatrixD<double>& x,
              const FMatrixD<double>& y,
              FMatrixD<double>& out,
              int32_t n) {
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int32_t k = 1; k <= n; ++k) s += x(i, k) * y(k, j);
      out(i, j) = s;
    }
  }
}

// Step 4.4: the symmetric reflection-rotation R that zeroes b(p,q); v = v R, b = R b R.
void rotate(FMatrixD<double>& b, FMatrixD<double>& v, int32_t n, int32_t p, int32_t q) {
  const double d = b(p, p) - b(q, q);
  double g = 2.0 * b(p, q);
  if (d < 0.0) g = -g;
  const double rr = std::sqrt(std::max(g * g + d * d, 0.0));
  const double cs = std::sqrt(std::max((std::fabs(d) / rr + 1.0) / 2.0, 0.0));
  const double sn = g / (2.0 * rr * cs);
  FMatrixD<double> r(n, n);
  for (int32_t i = 1; i <= n; ++i) r(i, i) = 1.0;
  r(p, p) = cs;
  r(p, q) = sn;
  r(q, p) = sn;
  r(q, q) = -cs;
  FMatrixD<double> t(n, n);
  multiply(v, r, t, n);
  v = t;
  multiply(r, b, t, n);
  multiply(t, r, b, n);
}

// Whether every off-diagonal entry of b is at most rel * sqrt|b_pp b_qq|.
bool off_diagonal_negligible(const FMatrixD<double>& b, int32_t n, double rel) {
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = j + 1; i <= n; ++i) {
      if (std::fabs(b(i, j)) > rel * std::sqrt(std::fabs(b(i, i) * b(j, j)))) return false;
    }
  }
  return true;
}

// Step 4: classical Jacobi on b, eigenvectors accumulated in v, until the off-diagonal part is
// negligible at machine precision, or at tol from rotation m on. Returns the rotations made.
int32_t jacobi(FMatrixD<double>& b, FMatrixD<double>& v, int32_t n, double tol, int32_t m) {
  constexpr double eps = std::numeric_limits<double>::epsilon();
  for (int32_t it = 1; it <= kMaxRotations; ++it) {
    if (off_diagonal_negligible(b, n, eps)) return it - 1;
    if (it > m && off_diagonal_negligible(b, n, tol)) return it - 1;
    // The first off-diagonal element of largest magnitude, row by row.
    int32_t p = 0;
    int32_t q = 0;
    double big = 0.0;
    for (int32_t i = 1; i <= n; ++i) {
      for (int32_t j = 1; j <= n; ++j) {
        if (j != i && std::fabs(b(i, j)) > big) {
          big = std::fabs(b(i, j));
          p = i;
          q = j;
        }
      }
    }
    if (big == 0.0) return it - 1;
    rotate(b, v, n, p, q);
  }
  return kMaxRotations;
}

// Step 7: selection sort of rows 1..n by ascending condition index (first minimum wins).
void sort_rows(common_data::CondIndexTable& c, int32_t n) {
  for (int32_t i = 1; i <= n - 1; ++i) {
    int32_t k = i;
    for (int32_t j = i + 1; j <= n; ++j) {
      if (c(j, 0) < c(k, 0)) k = j;
    }
    if (k == i) continue;
    for (int32_t col = 0; col <= n; ++col) std::swap(c(i, col), c(k, col));
  }
}

}  // namespace

void eigen_cond_index(
    MatView<double> a, common_data::CondIndexTable& c, int32_t n, double tol, int32_t& m) {
  // Step 1.
  if (m < 51) m = 100;
  if (n < 1 || n > common_data::max_params) return;  // the table holds 0..max_params
  const double tolx = std::max(1e-12, tol);
  // Steps 2-4.
  FMatrixD<double> b = perturbed_copy(a, n);
  FMatrixD<double> v(n, n);
  for (int32_t i = 1; i <= n; ++i) v(i, i) = 1.0;
  m = jacobi(b, v, n, tolx, m);

  // Step 5: the eigenvalues mu of the matrix and the smallest one.
  FVector<double> mu(n);
  double mumin = std::numeric_limits<double>::infinity();
  for (int32_t i = 1; i <= n; ++i) {
    mu(i) = std::fabs(b(i, i));
    mumin = std::min(mumin, mu(i));
  }
  // Steps 6 and 8: row k belongs to eigenvalue k, column j to parameter j; the matrix is the
  // inverse-side correlation matrix, so eigenvalue mu_k pairs with index sqrt(mu_k / mu_min).
  c(0, 0) = 0.0;
  for (int32_t j = 1; j <= n; ++j) c(0, j) = j;
  for (int32_t k = 1; k <= n; ++k) c(k, 0) = std::sqrt(mu(k) / mumin);
  for (int32_t j = 1; j <= n; ++j) {
    double total = 0.0;
    for (int32_t k = 1; k <= n; ++k) total += v(j, k) * v(j, k) * mu(k);
    for (int32_t k = 1; k <= n; ++k) c(k, j) = v(j, k) * v(j, k) * mu(k) / total;
  }
  sort_rows(c, n);
}
