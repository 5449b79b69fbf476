// Singular value decomposition A = U diag(w) V^T of a real m x n matrix by the Golub-Reinsch
// algorithm [1]: Householder reduction to upper bidiagonal form, accumulation of the right-hand
// and then the left-hand transformations, and diagonalisation of the bidiagonal form by
// implicitly shifted QR sweeps with Givens rotations. Any shape works; for m < n the trailing
// n - m values are zero and the matching columns of U are zero.
//
// Negligibility is absolute against the bidiagonal norm: e counts as zero when
// |e| + anorm == anorm, anorm the largest |w(i)| + |e(i)| of the reduction.
//
// [1] G. H. Golub, C. Reinsch, "Singular value decomposition and least squares solutions",
//     Numerische Mathematik 14 (1970) 403-420.
#include <algorithm>
#include <cmath>
#include <utility>

#include "optimizers/marq_parts.hpp"

namespace marq_mod {
namespace {

constexpr int kPasses = 100;  // QR passes allowed per singular value

double sign_of(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

// Step 1: reduces U (holding a copy of A) to bidiagonal form, diagonal in w, superdiagonal in
// e(2..n) (e(1) = 0); the Householder vectors stay in U. Returns anorm.
double bidiagonalize(
    MatView<double> U, int32_t m, int32_t n, VecView<double> w, VecView<double> e) {
  double g = 0.0, scale = 0.0, anorm = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t l = i + 1;
    e(i) = scale * g;
    // Left transformation: zero column i below the diagonal.
    g = 0.0;
    scale = 0.0;
    double s = 0.0;
    if (i <= m) {
      for (int32_t k = i; k <= m; ++k) scale += std::fabs(U(k, i));
      if (scale != 0.0) {
        for (int32_t k = i; k <= m; ++k) {
          U(k, i) /= scale;
          s += U(k, i) * U(k, i);
        }
        const double f = U(i, i);
        g = -sign_of(std::sqrt(s), f);
        const double h = f * g - s;
        U(i, i) = f - g;
        for (int32_t j = l; j <= n; ++j) {
          double sum = 0.0;
          for (int32_t k = i; k <= m; ++k) sum += U(k, i) * U(k, j);
          const double factor = sum / h;
          for (int32_t k = i; k <= m; ++k) U(k, j) += factor * U(k, i);
        }
        for (int32_t k = i; k <= m; ++k) U(k, i) *= scale;
      }
    }
    w(i) = scale * g;
    // Right transformation: zero row i right of the superdiagonal (e(l..n) is scratch here).
    g = 0.0;
    scale = 0.0;
    s = 0.0;
    if (i <= m && i != n) {
      for (int32_t k = l; k <= n; ++k) scale += std::fabs(U(i, k));
      if (scale != 0.0) {
        for (int32_t k = l; k <= n; ++k) {
          U(i, k) /= scale;
          s += U(i, k) * U(i, k);
        }
        const double f = U(i, l);
        g = -sign_of(std::sqrt(s), f);
        const double h = f * g - s;
        U(i, l) = f - g;
        for (int32_t k = l; k <= n; ++k) e(k) = U(i, k) / h;
        for (int32_t j = l; j <= m; ++j) {
          double sum = 0.0;
          for (int32_t k = l; k <= n; ++k) sum += U(j, k) * U(i, k);
          for (int32_t k = l; k <= n; ++k) U(j, k) += sum * e(k);
        }
        for (int32_t k = l; k <= n; ++k) U(i, k) *= scale;
      }
    }
    anorm = std::fmax(anorm, std::fabs(w(i)) + std::fabs(e(i)));
  }
  return anorm;
}

// Step 2: V := the product of the right-hand transformations.
void accumulate_right(MatView<double> U, int32_t n, VecView<const double> e, MatView<double> V) {
  double g = 0.0;
  int32_t l = n + 1;
  for (int32_t i = n; i >= 1; --i) {
    if (i < n) {
      if (g != 0.0) {
        // Double division avoids a possible underflow of U(i, l) * g.
        for (int32_t j = l; j <= n; ++j) V(j, i) = (U(i, j) / U(i, l)) / g;
        for (int32_t j = l; j <= n; ++j) {
          double s = 0.0;
          for (int32_t k = l; k <= n; ++k) s += U(i, k) * V(k, j);
          for (int32_t k = l; k <= n; ++k) V(k, j) += s * V(k, i);
        }
      }
      for (int32_t j = l; j <= n; ++j) V(i, j) = V(j, i) = 0.0;
    }
    V(i, i) = 1.0;
    g = e(i);
    l = i;
  }
}

// Step 3: U := the product of the left-hand transformations (m x n).
void accumulate_left(MatView<double> U, int32_t m, int32_t n, VecView<const double> w) {
  for (int32_t i = std::min(m, n); i >= 1; --i) {
    const int32_t l = i + 1;
    for (int32_t j = l; j <= n; ++j) U(i, j) = 0.0;
    if (w(i) != 0.0) {
      const double g = 1.0 / w(i);
      for (int32_t j = l; j <= n; ++j) {
        double s = 0.0;
        for (int32_t k = l; k <= m; ++k) s += U(k, i) * U(k, j);
        const double f = (s / U(i, i)) * g;
        for (int32_t k = i; k <= m; ++k) U(k, j) += f * U(k, i);
      }
      for (int32_t j = i; j <= m; ++j) U(j, i) *= g;
    } else {
      for (int32_t j = i; j <= m; ++j) U(j, i) = 0.0;
    }
    U(i, i) += 1.0;
  }
}

// Rotates columns a and b of M (rows 1..rows) by (c, s).
void rotate(MatView<double> M, int32_t rows, int32_t a, int32_t b, double c, double s) {
  for (int32_t j = 1; j <= rows; ++j) {
    const double y = M(j, a);
    const double z = M(j, b);
    M(j, a) = y * c + z * s;
    M(j, b) = z * c - y * s;
  }
}

// Makes w(k) non-negative, negating column k of V with it.
void make_non_negative(int32_t n, int32_t k, VecView<double> w, MatView<double> V) {
  if (w(k) >= 0.0) return;
  w(k) = -w(k);
  for (int32_t j = 1; j <= n; ++j) V(j, k) = -V(j, k);
}

// Step 4: diagonalises the bidiagonal form, value k = n..1, by shifted QR sweeps.
void diagonalize(MatView<double> U,
                 int32_t m,
                 int32_t n,
                 VecView<double> w,
                 VecView<double> e,
                 MatView<double> V,
                 double anorm) {
  auto negligible = [anorm](double v) { return std::fabs(v) + anorm == anorm; };
  for (int32_t k = n; k >= 1; --k) {
    for (int pass = 1; pass <= kPasses; ++pass) {
      // Test for splitting: e(l) negligible, or w(l - 1) negligible (then e(l) is cancelled).
      // e(1) is always 0; l = 1 ends the search even when a NaN defeats the test.
      bool cancel = true;
      int32_t l = k;
      for (; l >= 1; --l) {
        if (l == 1 || negligible(e(l))) {
          cancel = false;
          break;
        }
        if (negligible(w(l - 1))) break;
      }
      if (cancel) {
        const int32_t nm = l - 1;
        double c = 0.0, s = 1.0;
        for (int32_t i = l; i <= k; ++i) {
          const double f = s * e(i);
          e(i) = c * e(i);
          if (negligible(f)) break;
          const double g = w(i);
          const double h = pythagz(f, g);
          w(i) = h;
          c = g / h;
          s = -f / h;
          rotate(U, m, nm, i, c, s);
        }
      }
      // Convergence, or the budget spent: the value is taken as it stands.
      if (l == k || pass == kPasses) {
        make_non_negative(n, k, w, V);
        break;
      }
      // Shift from the bottom 2 x 2 minor.
      double x = w(l);
      const int32_t nm = k - 1;
      double y = w(nm);
      double g = e(nm);
      double h = e(k);
      double f = ((y - w(k)) * (y + w(k)) + (g - h) * (g + h)) / (2.0 * h * y);
      g = pythagz(f, 1.0);
      f = ((x - w(k)) * (x + w(k)) + h * ((y / (f + sign_of(g, f))) - h)) / x;
      // Next QR transformation.
      double c = 1.0, s = 1.0;
      for (int32_t j = l; j <= nm; ++j) {
        const int32_t i = j + 1;
        g = e(i);
        y = w(i);
        h = s * g;
        g = c * g;
        double z = pythagz(f, h);
        e(j) = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        rotate(V, n, j, i, c, s);
        z = pythagz(f, h);
        w(j) = z;
        if (z != 0.0) {
          c = f / z;
          s = h / z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        rotate(U, m, j, i, c, s);
      }
      e(l) = 0.0;
      e(k) = f;
      w(k) = x;
    }
  }
}

}  // namespace

double pythagz(double a, double b) {
  const double aa = std::fabs(a);
  const double ab = std::fabs(b);
  if (aa > ab) return aa * std::sqrt(1.0 + (ab / aa) * (ab / aa));
  if (b == 0.0) return 0.0;
  return ab * std::sqrt(1.0 + (aa / ab) * (aa / ab));
}

void svd(MatView<const double> A,
         int32_t m,
         int32_t n,
         VecView<double> w,
         MatView<double> U,
         MatView<double> V) {
  if (m < 1 || n < 1) return;
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= m; ++i) U(i, j) = A(i, j);
  }
  FVector<double> e(n);
  const double anorm = bidiagonalize(U, m, n, w, e.view());
  accumulate_right(U, n, e.view(), V);
  accumulate_left(U, m, n, w);
  diagonalize(U, m, n, w, e.view(), V, anorm);
  svd_sort(U, m, n, V, w);
}

void svd_sort(MatView<double> U, int32_t m, int32_t n, MatView<double> V, VecView<double> w) {
  auto swap_columns = [](MatView<double> M, int32_t rows, int32_t a, int32_t b) {
    for (int32_t r = 1; r <= rows; ++r) std::swap(M(r, a), M(r, b));
  };
  if (n < 1) return;
  for (int32_t pass = 1;; ++pass) {
    bool swapped = false;
    const int32_t first = pass % 2 == 1 ? 1 : 2;
    for (int32_t i = first; i + 1 <= n; i += 2) {
      if (std::fabs(w(i + 1)) > std::fabs(w(i))) {
        std::swap(w(i), w(i + 1));
        swap_columns(U, m, i, i + 1);
        swap_columns(V, n, i, i + 1);
        swapped = true;
      }
    }
    // After an odd pass every odd pair is ordered; an even pass without a swap orders the rest.
    if (n == 1 || (pass % 2 == 0 && !swapped)) return;
  }
}

}  // namespace marq_mod
