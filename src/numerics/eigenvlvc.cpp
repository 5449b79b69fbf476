#include "numerics/eigenvlvc.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace eigenvlvc {
namespace {

// Magnitude limits of the reported eigenvalues and eigenvector components (10^-7.5, 10^7.5).
constexpr double kClampLow = 3.162277660168379e-8;
constexpr double kClampHigh = 31622776.601683795;
// An off-diagonal element of the tridiagonal form is negligible below this share of the sum
// of its two diagonal neighbours.
constexpr double kSplitTol = 1e-12;

// Step 2 of `eigenvv`: Householder reduction of the symmetric z to tridiagonal form. On return
// d holds the diagonal, e(k) the element between rows k and k+1, and q the orthogonal matrix
// with z = q T q^T. z is overwritten.
void tridiagonalise(
    int32_t n, FMatrixD<double>& z, FMatrixD<double>& q, FVector<double>& d, FVector<double>& e) {
  FVector<double> v(n);
  FVector<double> w(n);
  for (int32_t k = 1; k <= n - 2; ++k) {
    d(k) = z(k, k);
    // x = z(k+1:n, k), divided by its largest magnitude against overflow.
    double scale = 0.0;
    for (int32_t i = k + 1; i <= n; ++i) scale = std::max(scale, std::fabs(z(i, k)));
    if (scale == 0.0) {
      e(k) = 0.0;  // the column is already reduced
      continue;
    }
    double norm2 = 0.0;
    for (int32_t i = k + 1; i <= n; ++i) {
      v(i) = z(i, k) / scale;
      norm2 += v(i) * v(i);
    }
    const double alpha = std::sqrt(norm2);
    const double sg = v(k + 1) >= 0.0 ? 1.0 : -1.0;
    // Reflection vector v = x + sign(x1) ||x|| e1; H = I - beta v v^T.
    const double x1 = v(k + 1);
    v(k + 1) = x1 + sg * alpha;
    const double beta = 1.0 / (alpha * (alpha + std::fabs(x1)));
    e(k) = -scale * sg * alpha;

    // Trailing block: H Z H = Z - v w^T - w v^T with p = beta Z v, w = p - (beta v^T p / 2) v.
    double vp = 0.0;
    for (int32_t i = k + 1; i <= n; ++i) {
      double s = 0.0;
      for (int32_t j = k + 1; j <= n; ++j) s += z(i, j) * v(j);
      w(i) = beta * s;
      vp += v(i) * w(i);
    }
    const double half = beta * vp / 2.0;
    for (int32_t i = k + 1; i <= n; ++i) w(i) = w(i) - half * v(i);
    for (int32_t j = k + 1; j <= n; ++j) {
      for (int32_t i = k + 1; i <= n; ++i) z(i, j) = z(i, j) - v(i) * w(j) - w(i) * v(j);
    }
    // Accumulate q = q H.
    for (int32_t r = 1; r <= n; ++r) {
      double s = 0.0;
      for (int32_t i = k + 1; i <= n; ++i) s += q(r, i) * v(i);
      s = beta * s;
      for (int32_t i = k + 1; i <= n; ++i) q(r, i) = q(r, i) - s * v(i);
    }
  }
  for (int32_t k = std::max(1, n - 1); k <= n; ++k) d(k) = z(k, k);
  if (n >= 2) e(n - 1) = z(n, n - 1);
}

bool negligible(const FVector<double>& d, const FVector<double>& e, int32_t k) {
  return std::fabs(e(k)) <= kSplitTol * (std::fabs(d(k)) + std::fabs(d(k + 1)));
}

// One implicit QR sweep with the Wilkinson shift on the unreduced block m..l of the tridiagonal
// matrix (d, e); the plane rotations are applied to the columns of q.
void qr_sweep(
    int32_t n, int32_t m, int32_t l, FVector<double>& d, FVector<double>& e, FMatrixD<double>& q) {
  // The eigenvalue of the trailing 2 x 2 block nearer to d(l).
  const double h = (d(l - 1) - d(l)) / 2.0;
  const double mu = d(l) + h - (h >= 0.0 ? 1.0 : -1.0) * std::hypot(h, e(l - 1));
  double x = d(m) - mu;
  double z = e(m);
  for (int32_t k = m; k <= l - 1; ++k) {
    // Rotation in the plane (k, k+1) that maps (x, z) to (r, 0); identity when both are 0.
    const double r = std::hypot(x, z);
    const double c = r != 0.0 ? x / r : 1.0;
    const double s = r != 0.0 ? z / r : 0.0;
    if (k > m) e(k - 1) = r;
    const double dk = d(k);
    const double ek = e(k);
    const double dk1 = d(k + 1);
    d(k) = c * c * dk + 2.0 * c * s * ek + s * s * dk1;
    d(k + 1) = s * s * dk - 2.0 * c * s * ek + c * c * dk1;
    e(k) = (c * c - s * s) * ek + c * s * (dk1 - dk);
    if (k < l - 1) {
      z = s * e(k + 1);  // the bulge chased down the diagonal
      e(k + 1) = c * e(k + 1);
      x = e(k);
    }
    for (int32_t i = 1; i <= n; ++i) {
      const double qk = q(i, k);
      const double qk1 = q(i, k + 1);
      q(i, k) = c * qk + s * qk1;
      q(i, k + 1) = -s * qk + c * qk1;
    }
  }
}

// Step 3 of `eigenvv`: diagonalises (d, e), at most 3n sweeps in all. Each sweep runs on the
// largest unreduced block that ends at l: a sweep started above a zero element of e could not
// pass it and would leave the block below unchanged for ever.
void diagonalise(int32_t n, FVector<double>& d, FVector<double>& e, FMatrixD<double>& q) {
  int32_t l = n;
  int32_t sweeps = 0;
  while (l > 1) {
    if (negligible(d, e, l - 1)) {
      l = l - 1;
      continue;
    }
    if (sweeps >= 3 * n) return;  // keep the values reached
    int32_t m = l - 1;
    while (m > 1 && !negligible(d, e, m - 1)) m = m - 1;
    qr_sweep(n, m, l, d, e, q);
    sweeps = sweeps + 1;
  }
}

double clamp_signed(double x) {
  if (x != x) return kClampLow;
  if (std::fabs(x) < kClampLow) return std::copysign(kClampLow, x);
  if (std::fabs(x) > kClampHigh) return std::copysign(kClampHigh, x);
  return x;
}

// Eigenvalues keep their sign in range; out of range they become the positive limit.
double clamp_unsigned(double x) {
  if (x != x || std::fabs(x) < kClampLow) return kClampLow;
  if (std::fabs(x) > kClampHigh) return kClampHigh;
  return x;
}

}  // namespace

void eigenvv(int32_t n,
             int32_t ncols,
             MatView<double> a,
             VecView<double> ev,
             VecView<double> pct,
             MatView<double> vec,
             MatView<double> vecmax,
             MatView<double> pctvar) {
  if (n < 1 || ncols != n) return;
  // Step 1: the symmetric matrix of the lower triangle.
  FMatrixD<double> z(n, n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = j; i <= n; ++i) {
      z(i, j) = a(i, j);
      z(j, i) = a(i, j);
    }
  }
  FMatrixD<double> q(n, n);
  for (int32_t i = 1; i <= n; ++i) q(i, i) = 1.0;
  FVector<double> d(n);
  FVector<double> e(n - 1);
  tridiagonalise(n, z, q, d, e);
  diagonalise(n, d, e, q);

  // Step 4: exchange sort of an index vector into descending order.
  FVector<int32_t> idx(n);
  for (int32_t i = 1; i <= n; ++i) idx(i) = i;
  for (int32_t i = 1; i <= n - 1; ++i) {
    for (int32_t j = i + 1; j <= n; ++j) {
      if (d(idx(i)) < d(idx(j))) std::swap(idx(i), idx(j));
    }
  }

  // Steps 5-7.
  double total = 0.0;
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t src = idx(k);
    double big = 0.0;  // first component of largest magnitude, with its sign
    for (int32_t i = 1; i <= n; ++i) {
      if (std::fabs(q(i, src)) > std::fabs(big)) big = q(i, src);
    }
    const double divisor = big != 0.0 ? big : 1e-8;
    for (int32_t i = 1; i <= n; ++i) {
      vecmax(i, k) = q(i, src) / divisor;
      vec(i, k) = clamp_signed(q(i, src));
    }
    ev(k) = clamp_unsigned(d(src));
    total += std::fabs(ev(k));
  }
  for (int32_t k = 1; k <= n; ++k) pct(k) = 100.0 * ev(k) / total;

  // Step 8: loadings L(i,k) = vec(i,k) sqrt(|ev(k)|), as percentages of their column.
  for (int32_t k = 1; k <= n; ++k) {
    const double root = std::sqrt(std::fabs(ev(k)));
    double colsum = 0.0;
    for (int32_t i = 1; i <= n; ++i) colsum += (vec(i, k) * root) * (vec(i, k) * root);
    for (int32_t i = 1; i <= n; ++i) {
      pctvar(i, k) = 100.0 * (vec(i, k) * root) * (vec(i, k) * root) / colsum;
    }
  }
}

namespace {

// The stored element of the symmetric pair (i, j): the lower triangle holds it.
double& lower(MatView<double> a, int32_t i, int32_t j) { return a(std::max(i, j), std::min(i, j)); }

// Step 4 of `eigenjacobi`: the rotation that zeroes a(p,q), p > q, applied to the lower
// triangle of a and to the columns of x.
void jacobi_rotate(MatView<double> a, FMatrixD<double>& x, int32_t n, int32_t p, int32_t q) {
  const double apq = a(p, q);
  const double app = a(p, p);
  const double aqq = a(q, q);
  double t;
  double cs;
  double sn;
  double cs2;
  if (aqq == app) {
    t = 1.0;
    cs = 0.7071067811865475;
    sn = 0.7071067811865475;
    cs2 = 0.4999999999999999;
  } else {
    // t = tan(theta), the smaller root of t^2 apq + t (aqq - app) - apq = 0.
    const double d = aqq - app;
    const double sg = aqq >= app ? 1.0 : -1.0;
    t = 2.0 * apq * sg / (std::fabs(d) + std::sqrt(4.0 * apq * apq + d * d));
    cs = 1.0 / std::sqrt(1.0 + t * t);
    sn = t * cs;
    cs2 = cs * cs;
  }
  a(p, p) = (app - 2.0 * t * apq + t * t * aqq) * cs2;
  a(q, q) = (aqq + 2.0 * t * apq + t * t * app) * cs2;
  a(p, q) = 0.0;
  for (int32_t k = 1; k <= n; ++k) {
    if (k == p || k == q) continue;
    double& akp = lower(a, k, p);
    double& akq = lower(a, k, q);
    const double kp = akp;
    const double kq = akq;
    akp = cs * kp - sn * kq;
    akq = sn * kp + cs * kq;
  }
  for (int32_t i = 1; i <= n; ++i) {
    const double xp = x(i, p);
    const double xq = x(i, q);
    x(i, p) = cs * xp - sn * xq;
    x(i, q) = sn * xp + cs * xq;
  }
}

// Steps 3-4 of `eigenjacobi`: sweeps over the lower triangle with a falling threshold; s is the
// strictly lower absolute sum, positive and finite.
void threshold_sweeps(MatView<double> a, FMatrixD<double>& x, int32_t n, double s) {
  double thr = s / n;
  const double final_thr = s / (double(n) * n) * 5e-6;
  for (;;) {
    bool rotated = false;
    for (int32_t p = 2; p <= n; ++p) {
      for (int32_t q = 1; q <= p - 1; ++q) {
        if (std::fabs(a(p, q)) <= thr) continue;
        jacobi_rotate(a, x, n, p, q);
        rotated = true;
      }
    }
    if (rotated) continue;
    // thr == 0 only when an extremely small s underflows; it could not fall further.
    if (thr < final_thr || thr == 0.0) return;
    thr = thr / n;
  }
}

// The rotations square the entries; beyond this magnitude the matrix is worked on scaled down.
constexpr double kLargeEntry = 0x1p500;

// Multiplies the lower triangle of a, diagonal included, by 2^e. Exact, and every step of the
// sweeps gives the same digits on the scaled matrix, only with the exponent moved.
void scale_lower(MatView<double> a, int32_t n, int e) {
  for (int32_t q = 1; q <= n; ++q) {
    for (int32_t p = q; p <= n; ++p) a(p, q) = std::ldexp(a(p, q), e);
  }
}

// Steps 3-4 of `eigenjacobi` on a matrix whose lower triangle is finite. When its entries are
// large enough to overflow in a rotation, the lower triangle is scaled to a largest magnitude
// below 1 for the sweeps and scaled back after them.
void rotate_to_diagonal(MatView<double> a, FMatrixD<double>& x, int32_t n, double s) {
  double big = 0.0;
  for (int32_t q = 1; q <= n; ++q) {
    for (int32_t p = q; p <= n; ++p) big = std::max(big, std::fabs(a(p, q)));
  }
  int e = 0;
  if (big > kLargeEntry) std::frexp(big, &e);
  scale_lower(a, n, -e);
  threshold_sweeps(a, x, n, std::ldexp(s, -e));
  scale_lower(a, n, e);
}

// Step 5 of `eigenjacobi`: selection sort of the diagonal into descending order (the last of
// equal values wins), moving the columns of x along.
void sort_descending(MatView<double> a, FMatrixD<double>& x, int32_t n) {
  for (int32_t i = 1; i <= n - 1; ++i) {
    int32_t k = i;
    for (int32_t j = i + 1; j <= n; ++j) {
      if (a(j, j) >= a(k, k)) k = j;
    }
    if (k == i) continue;
    std::swap(a(i, i), a(k, k));
    for (int32_t r = 1; r <= n; ++r) std::swap(x(r, i), x(r, k));
  }
}

}  // namespace

void eigenjacobi(MatView<double> a, MatView<double> v, int32_t ld, int32_t n, double tol) {
  if (n < 1 || ld < n) return;
  FMatrixD<double> x(n, n);
  for (int32_t i = 1; i <= n; ++i) x(i, i) = 1.0;
  double s = 0.0;
  for (int32_t q = 1; q <= n - 1; ++q) {
    for (int32_t p = q + 1; p <= n; ++p) s += std::fabs(a(p, q));
  }
  // Step 2: a matrix whose lower triangle sums to at most tol counts as diagonal and keeps its
  // diagonal. A matrix with an entry that is not finite is not rotated either: a NaN or infinite
  // sum would keep the threshold from ever falling below its final value, and a rotation through
  // a bad diagonal entry would spread NaN, which never passes the threshold test.
  bool finite = std::isfinite(s);
  for (int32_t i = 1; i <= n; ++i) finite = finite && std::isfinite(a(i, i));
  if (!(tol >= s) && s > 0.0 && finite) rotate_to_diagonal(a, x, n, s);
  sort_descending(a, x, n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) v(i, j) = x(i, j);
  }
}

}  // namespace eigenvlvc
