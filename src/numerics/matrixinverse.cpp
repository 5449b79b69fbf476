#include "numerics/matrixinverse.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace matrixinverse {
namespace {

// Steps 1-2 of `lumatinv`: factors lu in place (negated multipliers below the diagonal, U on
// and above it) and records the pivot rows. Returns 0, or the step whose pivot is exactly zero.
int32_t lu_factor(int32_t n, FMatrixD<double>& lu, FVector<int32_t>& pivot) {
  for (int32_t k = 1; k <= n - 1; ++k) {
    // Step 1.1: the first row of largest magnitude in column k.
    int32_t l = k;
    for (int32_t i = k + 1; i <= n; ++i) {
      if (std::fabs(lu(i, k)) > std::fabs(lu(l, k))) l = i;
    }
    pivot(k) = l;
    if (lu(l, k) == 0.0) return k;  // step 1.2
    if (l != k) std::swap(lu(l, k), lu(k, k));
    // Step 1.4: negated multipliers.
    for (int32_t i = k + 1; i <= n; ++i) lu(i, k) = -(lu(i, k) / lu(k, k));
    // Step 1.5: row exchange and elimination, column by column.
    for (int32_t j = k + 1; j <= n; ++j) {
      const double t = lu(l, j);
      if (l != k) {
        lu(l, j) = lu(k, j);
        lu(k, j) = t;
      }
      for (int32_t i = k + 1; i <= n; ++i) lu(i, j) = lu(i, j) + t * lu(i, k);
    }
  }
  pivot(n) = n;
  if (lu(n, n) == 0.0) return n;  // step 2
  return 0;
}

// Step 3: replaces the upper triangle of w with the inverse of U.
void invert_upper(int32_t n, FMatrixD<double>& w) {
  for (int32_t k = 1; k <= n; ++k) {
    w(k, k) = 1.0 / w(k, k);
    const double t = -w(k, k);
    for (int32_t i = 1; i <= k - 1; ++i) w(i, k) = w(i, k) * t;
    for (int32_t j = k + 1; j <= n; ++j) {
      const double s = w(k, j);
      w(k, j) = 0.0;
      for (int32_t i = 1; i <= k; ++i) w(i, j) = w(i, j) + s * w(i, k);
    }
  }
}

// Step 4: inverse(U) * inverse(L), undoing the row exchanges as column exchanges.
void apply_inverse_lower(int32_t n, FMatrixD<double>& w, const FVector<int32_t>& pivot) {
  FVector<double> col(n);
  for (int32_t k = n - 1; k >= 1; --k) {
    for (int32_t i = k + 1; i <= n; ++i) {
      col(i) = w(i, k);
      w(i, k) = 0.0;
    }
    for (int32_t j = k + 1; j <= n; ++j) {
      const double t = col(j);
      for (int32_t i = 1; i <= n; ++i) w(i, k) = w(i, k) + t * w(i, j);
    }
    const int32_t l = pivot(k);
    if (l != k) {
      for (int32_t i = 1; i <= n; ++i) std::swap(w(i, k), w(i, l));
    }
  }
}

}  // namespace

void lumatinv(int32_t n, MatView<double> a, int32_t& status) {
  status = 0;
  if (n < 1) return;  // nothing to invert; also keeps pivot(n) in range
  FMatrixD<double> lu(n, n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) lu(i, j) = a(i, j);
  }
  FVector<int32_t> pivot(n);
  status = lu_factor(n, lu, pivot);
  if (status != 0) return;   // the argument keeps its input values
  FMatrixD<double>& w = lu;  // W starts as a copy of LU, which is not read again: share it
  invert_upper(n, w);
  apply_inverse_lower(n, w, pivot);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) a(i, j) = w(i, j);
  }
}

namespace {

// Orthogonality threshold of the column pairs. It is compared with a cosine, which is free of
// the matrix's scale, so it must not be scaled by the entries (that would skip every rotation of
// a matrix with large entries and return a wrong inverse).
constexpr double kCosineEps = 9.999999999999998e-15;
constexpr int32_t kMaxSweeps = 20;

// One rotation of columns j and k of a: makes them orthogonal and puts the longer first.
void rotate_pair(MatView<double> a, int32_t n, int32_t j, int32_t k, double p, double q) {
  double cs;
  double sn;
  if (std::fabs(p) <= std::fabs(q)) {
    const double tan = p / q;
    cs = 1.0 / std::sqrt(1.0 + tan * tan);
    sn = std::fabs(tan) * cs;
  } else {
    const double ctn = q / p;
    sn = 1.0 / std::sqrt(1.0 + ctn * ctn);
    cs = std::fabs(ctn) * sn;
  }
  // Half-angle formulas: cos(theta) and sin(theta) from cos(2 theta) and sin(2 theta).
  cs = std::sqrt((1.0 + cs) * 0.5);
  sn = sn * 0.5 / cs;
  if (q < 0.0) std::swap(cs, sn);
  if (p < 0.0) sn = -sn;
  for (int32_t i = 1; i <= n; ++i) {
    const double aj = a(i, j);
    const double ak = a(i, k);
    a(i, j) = aj * cs + ak * sn;
    a(i, k) = ak * cs - aj * sn;
  }
}

// Steps 2-4 of `kaiser`: sweeps of column rotations. Returns false when the sweep limit ended
// them.
bool orthogonalise_columns(MatView<double> a, int32_t n) {
  const int32_t nn = n * (n - 1) / 2;
  int32_t cnt = nn;  // pairs found orthogonal since the last rotation
  for (int32_t sweep = 1; sweep <= kMaxSweeps; ++sweep) {
    for (int32_t j = 1; j <= n - 1; ++j) {
      for (int32_t k = j + 1; k <= n; ++k) {
        double h = 0.0;
        double sj = 0.0;
        double sk = 0.0;
        for (int32_t i = 1; i <= n; ++i) {
          h += a(i, j) * a(i, k);
          sj += a(i, j) * a(i, j);
          sk += a(i, k) * a(i, k);
        }
        const double p = 2.0 * h;
        const double q = sj - sk;
        // Two roots, not the root of the product: sj * sk overflows for entries beyond about
        // 1e77, and a cosine of 0 would then call every pair orthogonal.
        const double norms = std::sqrt(sj) * std::sqrt(sk);
        const double cosine = norms > 0.0 ? std::fabs(h / norms) : 0.0;
        if (cosine < kCosineEps) {
          cnt = cnt - 1;
          if (q >= 0.0) continue;  // orthogonal and already in order
        }
        rotate_pair(a, n, j, k, p, q);
        cnt = nn;
      }
    }
    if (sweep == kMaxSweeps) return false;
    if (cnt <= 0) return true;
  }
  return true;
}

}  // namespace

void kaiser(
    MatView<double> a, int32_t ld, int32_t n, VecView<double> d, double r, int32_t& status) {
  if (n < 1 || ld < n) {
    status = 1;
    return;
  }
  status = 0;
  if (n > 1 && !orthogonalise_columns(a, n)) status = 2;

  // Step 5: column norms (the eigenvalue magnitudes), raised by delta, and unit columns.
  FVector<double> ev(n);
  double evmax = 0.0;
  for (int32_t j = 1; j <= n; ++j) {
    double s = 0.0;
    for (int32_t i = 1; i <= n; ++i) s += a(i, j) * a(i, j);
    ev(j) = std::sqrt(s + 2.22e-16);
    evmax = std::max(evmax, ev(j));
  }
  const double delta = std::max(1e-5 * evmax, 1e-5);
  for (int32_t j = 1; j <= n; ++j) {
    ev(j) = ev(j) + delta;  // >= 1e-5, so the division below is safe
    for (int32_t i = 1; i <= n; ++i) a(i, j) = a(i, j) / ev(j);
  }

  // Step 6: C = sum over k of u_k u_k^T / (ev(k) + r), scaled by d.
  FMatrixD<double> c(n, n);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i; j <= n; ++j) {
      double s = 0.0;
      for (int32_t k = 1; k <= n; ++k) {
        const bool included = r > 0.0 || (r == 0.0 && ev(k) > 1e-7);
        if (included) s += a(i, k) * a(j, k) / d(i) / d(j) / (ev(k) + r);
      }
      c(i, j) = s;
      c(j, i) = s;
    }
  }
  // Step 7.
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) a(i, j) = c(i, j);
  }
}

}  // namespace matrixinverse
