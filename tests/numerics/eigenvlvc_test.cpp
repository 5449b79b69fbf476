#include "numerics/eigenvlvc.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "support/close.hpp"
#include "test_matrices.hpp"

namespace {

using Matrix = FMatrixD<double>;
using test_matrices::from_rows;

// Independent reference: cyclic Jacobi in long double on the full symmetric matrix, run until
// the off-diagonal part is negligible in long double. Eigenvalues in descending order.
std::vector<double> reference_eigenvalues(const Matrix& a) {
  const long n = a.rows();
  std::vector<std::vector<long double>> m(n, std::vector<long double>(n));
  for (long i = 0; i < n; ++i) {
    for (long j = 0; j < n; ++j) m[i][j] = a(i + 1, j + 1);
  }
  for (int sweep = 0; sweep < 100; ++sweep) {
    long double off = 0.0L;
    long double all = 0.0L;
    for (long i = 0; i < n; ++i) {
      for (long j = 0; j < n; ++j) {
        all += m[i][j] * m[i][j];
        if (i != j) off += m[i][j] * m[i][j];
      }
    }
    if (off <= 1e-40L * all) break;
    for (long p = 0; p < n - 1; ++p) {
      for (long q = p + 1; q < n; ++q) {
        if (m[p][q] == 0.0L) continue;
        const long double theta = (m[q][q] - m[p][p]) / (2.0L * m[p][q]);
        const long double t =
            (theta >= 0 ? 1.0L : -1.0L) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0L));
        const long double c = 1.0L / std::sqrt(t * t + 1.0L);
        const long double s = t * c;
        for (long k = 0; k < n; ++k) {  // columns p, q
          const long double kp = m[k][p];
          const long double kq = m[k][q];
          m[k][p] = c * kp - s * kq;
          m[k][q] = s * kp + c * kq;
        }
        for (long k = 0; k < n; ++k) {  // rows p, q
          const long double pk = m[p][k];
          const long double qk = m[q][k];
          m[p][k] = c * pk - s * qk;
          m[q][k] = s * pk + c * qk;
        }
      }
    }
  }
  std::vector<double> ev(n);
  for (long i = 0; i < n; ++i) ev[i] = static_cast<double>(m[i][i]);
  std::sort(ev.begin(), ev.end(), std::greater<double>());
  return ev;
}

double max_abs(const Matrix& a) {
  double m = 0.0;
  for (long i = 0; i < a.rows() * a.cols(); ++i) m = std::max(m, std::fabs(a.data()[i]));
  return m;
}

// The random symmetric test matrices: dense, tridiagonal with exact zeros on the off-diagonal,
// and block diagonal (whose tridiagonal form has exact zeros at the block boundaries).
enum class Shape { kDense, kTridiagonalWithZeros, kBlockDiagonal };

Matrix random_symmetric(long n, Shape shape, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::bernoulli_distribution coin(0.4);
  Matrix a(n, n);
  const long block = std::max(1L, n / 2);
  for (long j = 1; j <= n; ++j) {
    for (long i = j; i <= n; ++i) {
      double x = u(rng);
      if (shape == Shape::kTridiagonalWithZeros && (i - j > 1 || (i - j == 1 && coin(rng)))) {
        x = 0.0;
      }
      if (shape == Shape::kBlockDiagonal && (i > block) != (j > block)) x = 0.0;
      a(i, j) = x;
      a(j, i) = x;
    }
  }
  return a;
}

struct Eigen {
  std::vector<double> ev, pct;
  Matrix vec, vecmax, pctvar;
};

Eigen run_eigenvv(Matrix a) {
  const long n = a.rows();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Eigen r{std::vector<double>(n, nan),
          std::vector<double>(n, nan),
          Matrix(n, n, nan),
          Matrix(n, n, nan),
          Matrix(n, n, nan)};
  eigenvlvc::eigenvv(static_cast<int32_t>(n),
                     static_cast<int32_t>(n),
                     a.view(),
                     VecView<double>(r.ev.data(), n),
                     VecView<double>(r.pct.data(), n),
                     r.vec.view(),
                     r.vecmax.view(),
                     r.pctvar.view());
  return r;
}

// Largest off-diagonal magnitude of U^T A U and the largest deviation of its diagonal from lambda.
struct Fit {
  double off = 0.0;
  double diag = 0.0;
};

Fit similarity_fit(const Matrix& a, const Matrix& u, const std::vector<double>& lambda) {
  const long n = a.rows();
  Fit fit;
  for (long p = 1; p <= n; ++p) {
    for (long q = 1; q <= n; ++q) {
      double s = 0.0;
      for (long i = 1; i <= n; ++i) {
        for (long j = 1; j <= n; ++j) s += u(i, p) * a(i, j) * u(j, q);
      }
      if (p == q) {
        fit.diag = std::max(fit.diag, std::fabs(s - lambda[p - 1]));
      } else {
        fit.off = std::max(fit.off, std::fabs(s));
      }
    }
  }
  return fit;
}

TEST(Eigenvv, MatchesIndependentEigenvaluesAndDiagonalises) {
  std::mt19937 rng(31337);
  for (Shape shape : {Shape::kDense, Shape::kTridiagonalWithZeros, Shape::kBlockDiagonal}) {
    for (long n = 1; n <= 10; ++n) {
      for (int trial = 0; trial < 30; ++trial) {
        SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(shape) << ", n = " << n
                                        << ", trial " << trial);
        const Matrix a = random_symmetric(n, shape, rng);
        const Eigen r = run_eigenvv(a);
        const std::vector<double> ref = reference_eigenvalues(a);
        const double scale = std::max(1.0, max_abs(a));
        for (long k = 0; k < n; ++k) {
          // An eigenvalue this close to zero is reported as the positive clamp value.
          if (std::fabs(ref[k]) < 1e-7) continue;
          EXPECT_NEAR(r.ev[k], ref[k], 1e-10 * scale) << "eigenvalue " << k + 1;
        }
        // vecmax holds the eigenvectors before clamping: normalised, they must diagonalise A.
        Matrix u = r.vecmax;
        for (long k = 1; k <= n; ++k) {
          double norm = 0.0;
          for (long i = 1; i <= n; ++i) norm += u(i, k) * u(i, k);
          norm = std::sqrt(norm);
          for (long i = 1; i <= n; ++i) u(i, k) /= norm;
          // vec is the same unit vector, up to the sign that the division in vecmax took and the
          // clamping of tiny components.
          double dot = 0.0;
          for (long i = 1; i <= n; ++i) dot += r.vec(i, k) * u(i, k);
          const double sign = dot < 0.0 ? -1.0 : 1.0;
          for (long i = 1; i <= n; ++i) ASSERT_NEAR(r.vec(i, k), sign * u(i, k), 3.2e-8);
        }
        const Fit fit = similarity_fit(a, u, ref);
        EXPECT_LT(fit.off, 1e-10 * scale);
        EXPECT_LT(fit.diag, 1e-10 * scale);
      }
    }
  }
}

TEST(Eigenvv, TwoByTwoExample) {
  const Eigen r = run_eigenvv(from_rows({{2.0, 1.0}, {1.0, 2.0}}));
  EXPECT_NEAR_REL(r.ev[0], 3.0, 1e-15);
  EXPECT_NEAR_REL(r.ev[1], 1.0, 1e-15);
  EXPECT_NEAR_REL(r.pct[0], 75.0, 1e-15);
  EXPECT_NEAR_REL(r.pct[1], 25.0, 1e-15);
  for (long k = 1; k <= 2; ++k) {
    SCOPED_TRACE(testing::Message() << "column " << k);
    EXPECT_NEAR_REL(std::fabs(r.vec(1, k)), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR_REL(std::fabs(r.vec(2, k)), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR_REL(std::max(std::fabs(r.vecmax(1, k)), std::fabs(r.vecmax(2, k))), 1.0, 1e-15);
    EXPECT_NEAR_REL(r.pctvar(1, k), 50.0, 1e-13);
    EXPECT_NEAR_REL(r.pctvar(2, k), 50.0, 1e-13);
  }
  // The first component of largest magnitude is the divisor, so it becomes exactly 1.
  EXPECT_EQ(r.vecmax(1, 1), 1.0);
  EXPECT_EQ(r.vecmax(1, 2), 1.0);
  EXPECT_NEAR_REL(r.vecmax(2, 1), 1.0, 1e-15);
  EXPECT_NEAR_REL(r.vecmax(2, 2), -1.0, 1e-15);
}

TEST(Eigenvv, SharesScaledVectorsAndPercentageTable) {
  // Eigenvalues 3 and 1 with eigenvectors (cos 30, sin 30) and (-sin 30, cos 30): the
  // percentage table is taken over each column (the squared components, times 100), not over
  // the eigenvalues of each parameter.
  const double c = std::sqrt(0.75);
  const double s = 0.5;
  const Eigen r =
      run_eigenvv(from_rows({{3 * c * c + s * s, 2 * c * s}, {2 * c * s, 3 * s * s + c * c}}));
  EXPECT_NEAR_REL(r.ev[0], 3.0, 1e-14);
  EXPECT_NEAR_REL(r.ev[1], 1.0, 1e-14);
  EXPECT_NEAR_REL(r.pct[0], 75.0, 1e-14);
  EXPECT_NEAR_REL(r.pct[1], 25.0, 1e-14);
  const double t = s / c;
  EXPECT_EQ(r.vecmax(1, 1), 1.0);
  EXPECT_NEAR_REL(r.vecmax(2, 1), t, 1e-14);
  EXPECT_NEAR_REL(r.vecmax(1, 2), -t, 1e-14);
  EXPECT_EQ(r.vecmax(2, 2), 1.0);
  EXPECT_NEAR_REL(r.pctvar(1, 1), 75.0, 1e-13);
  EXPECT_NEAR_REL(r.pctvar(2, 1), 25.0, 1e-13);
  EXPECT_NEAR_REL(r.pctvar(1, 2), 25.0, 1e-13);
  EXPECT_NEAR_REL(r.pctvar(2, 2), 75.0, 1e-13);

  // A negative eigenvalue keeps its sign in the shares, which are taken of the sum of
  // magnitudes.
  const Eigen m = run_eigenvv(from_rows({{0.0, 1.0}, {1.0, 0.0}}));
  EXPECT_NEAR_REL(m.pct[0], 50.0, 1e-14);
  EXPECT_NEAR_REL(m.pct[1], -50.0, 1e-14);
}

TEST(Eigenvv, DecoupledBlocksConverge) {
  // The leading 1 x 1 block is split from the rest by an exact zero in the tridiagonal form.
  const Eigen r = run_eigenvv(from_rows({{3.0, 0.0, 0.0}, {0.0, 2.0, 1.0}, {0.0, 1.0, 2.0}}));
  EXPECT_NEAR_REL(r.ev[0], 3.0, 1e-14);
  EXPECT_NEAR_REL(r.ev[1], 3.0, 1e-14);
  EXPECT_NEAR_REL(r.ev[2], 1.0, 1e-14);
}

TEST(Eigenvv, ClampsEigenvaluesAndComponents) {
  const double lo = 3.162277660168379e-8;
  const double hi = 31622776.601683795;
  struct Case {
    const char* name;
    std::vector<std::vector<double>> a;
    std::vector<double> ev;
  };
  const std::vector<Case> cases = {
      {"negative keeps its sign", {{0.0, 1.0}, {1.0, 0.0}}, {1.0, -1.0}},
      {"zero becomes the positive floor", {{1.0, 1.0}, {1.0, 1.0}}, {2.0, lo}},
      {"tiny negative becomes the positive floor", {{1.0, 0.0}, {0.0, -1e-9}}, {1.0, lo}},
      {"huge values become the positive ceiling", {{1e9, 0.0}, {0.0, -1e9}}, {hi, hi}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Eigen r = run_eigenvv(from_rows(c.a));
    EXPECT_NEAR_REL(r.ev[0], c.ev[0], 1e-15);
    EXPECT_NEAR_REL(r.ev[1], c.ev[1], 1e-15);
  }
  // Exact zero components of the identity's eigenvectors become the floor with their sign.
  const Eigen r = run_eigenvv(from_rows({{1.0, 0.0}, {0.0, 1.0}}));
  EXPECT_EQ(r.vec(2, 1), lo);
  EXPECT_EQ(r.vec(1, 2), lo);
  EXPECT_EQ(r.vecmax(2, 1), 0.0);  // vecmax is computed before the clamp
}

std::vector<double> diagonal(const Matrix& a) {
  std::vector<double> d(a.rows());
  for (long i = 1; i <= a.rows(); ++i) d[i - 1] = a(i, i);
  return d;
}

TEST(Eigenjacobi, MatchesIndependentEigenvaluesAndDiagonalises) {
  std::mt19937 rng(4242);
  for (Shape shape : {Shape::kDense, Shape::kTridiagonalWithZeros, Shape::kBlockDiagonal}) {
    for (long n = 2; n <= 10; ++n) {
      for (int trial = 0; trial < 30; ++trial) {
        SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(shape) << ", n = " << n
                                        << ", trial " << trial);
        const Matrix a = random_symmetric(n, shape, rng);
        Matrix w = a;
        Matrix v(n, n, std::numeric_limits<double>::quiet_NaN());
        eigenvlvc::eigenjacobi(w.view(), v.view(), n, n, 1e-12);
        const std::vector<double> ev = diagonal(w);
        EXPECT_TRUE(std::is_sorted(ev.begin(), ev.end(), std::greater<double>()));
        const std::vector<double> ref = reference_eigenvalues(a);
        double s = 0.0;
        for (long j = 1; j <= n; ++j) {
          for (long i = j + 1; i <= n; ++i) s += std::fabs(a(i, j));
        }
        // The sweeps end once no lower entry exceeds s / n^2 * 5e-6, so V^T A V is diagonal to
        // that level; the eigenvalues, second order in it, are far closer.
        const double final_thr = s / double(n * n) * 5e-6;
        const double scale = std::max(1.0, max_abs(a));
        for (long k = 0; k < n; ++k) EXPECT_NEAR(ev[k], ref[k], 1e-10 * scale);
        const Fit fit = similarity_fit(a, v, ev);
        EXPECT_LT(fit.off, final_thr + 1e-13 * scale);
        EXPECT_LT(fit.diag, 1e-10 * scale);
      }
    }
  }
}

TEST(Eigenjacobi, DiagonalMatrixKeepsItsDiagonal) {
  struct Case {
    const char* name;
    std::vector<std::vector<double>> a;
    std::vector<double> ev;
    std::vector<std::vector<double>> v;
  };
  const std::vector<Case> cases = {
      {"in order", {{4.0, 0.0}, {0.0, 1.0}}, {4.0, 1.0}, {{1.0, 0.0}, {0.0, 1.0}}},
      {"reversed", {{1.0, 0.0}, {0.0, 4.0}}, {4.0, 1.0}, {{0.0, 1.0}, {1.0, 0.0}}},
      {"upper triangle is not read",
       {{1.0, 9.0}, {0.0, 4.0}},
       {4.0, 1.0},
       {{0.0, 1.0}, {1.0, 0.0}}},
      {"below the tolerance", {{2.0, 0.0}, {1e-13, 3.0}}, {3.0, 2.0}, {{0.0, 1.0}, {1.0, 0.0}}},
      // Among equal values the last one found is taken first.
      {"equal pair", {{1.0, 0.0}, {0.0, 1.0}}, {1.0, 1.0}, {{0.0, 1.0}, {1.0, 0.0}}},
      {"equal largest pair",
       {{2.0, 0.0, 0.0}, {0.0, 3.0, 0.0}, {0.0, 0.0, 3.0}},
       {3.0, 3.0, 2.0},
       {{0.0, 0.0, 1.0}, {0.0, 1.0, 0.0}, {1.0, 0.0, 0.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix a = from_rows(c.a);
    const long n = a.rows();
    Matrix v(n, n);
    eigenvlvc::eigenjacobi(a.view(), v.view(), n, n, 1e-12);
    EXPECT_EQ(diagonal(a), c.ev);
    const Matrix expected = from_rows(c.v);
    for (long i = 1; i <= n; ++i) {
      for (long j = 1; j <= n; ++j) EXPECT_EQ(v(i, j), expected(i, j));
    }
  }
}

TEST(Eigenjacobi, EqualDiagonalRotatesByFortyFiveDegrees) {
  Matrix a = from_rows({{1.0, 0.0}, {0.5, 1.0}});
  Matrix v(2, 2);
  eigenvlvc::eigenjacobi(a.view(), v.view(), 2, 2, 1e-12);
  EXPECT_NEAR_REL(a(1, 1), 1.5, 1e-15);
  EXPECT_NEAR_REL(a(2, 2), 0.5, 1e-15);
  for (long i = 1; i <= 2; ++i) {
    for (long j = 1; j <= 2; ++j) EXPECT_NEAR_REL(std::fabs(v(i, j)), std::sqrt(0.5), 1e-15);
  }
}

TEST(Eigenjacobi, WorksOnTheLeadingBlock) {
  const double kMark = -7.25;
  Matrix a(3, 3, kMark);
  Matrix v(3, 3, kMark);
  a(1, 1) = 2.0;
  a(2, 1) = 1.0;
  a(2, 2) = 2.0;
  eigenvlvc::eigenjacobi(a.view(), v.view(), 3, 2, 1e-12);
  EXPECT_NEAR_REL(a(1, 1), 3.0, 1e-15);
  EXPECT_NEAR_REL(a(2, 2), 1.0, 1e-15);
  for (long i = 1; i <= 3; ++i) {
    EXPECT_EQ(a(3, i), kMark);
    EXPECT_EQ(v(3, i), kMark);
    EXPECT_EQ(v(i, 3), kMark);
  }
}

TEST(Eigenjacobi, NonFiniteEntriesEnd) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double bad : {nan, inf}) {
    SCOPED_TRACE(bad);
    Matrix a = from_rows({{1.0, 0.0, 0.0}, {bad, 2.0, 0.0}, {0.5, 0.25, 3.0}});
    Matrix v(3, 3);
    eigenvlvc::eigenjacobi(a.view(), v.view(), 3, 3, 1e-12);
    // Nothing is rotated: the diagonal comes back sorted.
    EXPECT_EQ(diagonal(a), (std::vector<double>{3.0, 2.0, 1.0}));
  }
  // The same for a bad diagonal entry (NaN compares as neither larger nor equal, so it stays
  // first); a rotation through it would spread NaN that no threshold test ever passes.
  for (double bad : {nan, inf}) {
    SCOPED_TRACE(testing::Message() << "diagonal " << bad);
    Matrix a = from_rows({{bad, 0.0, 0.0}, {0.5, 2.0, 0.0}, {0.25, 0.125, 3.0}});
    Matrix v(3, 3);
    eigenvlvc::eigenjacobi(a.view(), v.view(), 3, 3, 1e-12);
    const std::vector<double> ev = diagonal(a);
    if (std::isnan(bad)) {
      EXPECT_TRUE(std::isnan(ev[0]));
    } else {
      EXPECT_EQ(ev[0], bad);
    }
    EXPECT_EQ(ev[1], 3.0);
    EXPECT_EQ(ev[2], 2.0);
    const Matrix expected = from_rows({{1.0, 0.0, 0.0}, {0.0, 0.0, 1.0}, {0.0, 1.0, 0.0}});
    for (long i = 1; i <= 3; ++i) {
      for (long j = 1; j <= 3; ++j) EXPECT_EQ(v(i, j), expected(i, j));
    }
  }
}

// Entries near the largest double: the rotations square them, yet the result must be that of
// the same matrix scaled down by a power of 2 (which changes nothing but the exponent).
TEST(Eigenjacobi, EntriesNearTheOverflowLimit) {
  std::mt19937 rng(808);
  for (int trial = 0; trial < 10; ++trial) {
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    const long n = 2 + trial % 4;
    const Matrix small = random_symmetric(n, Shape::kDense, rng);
    Matrix a = small;
    for (long i = 0; i < n * n; ++i) a.data()[i] = std::ldexp(small.data()[i], 1020);
    Matrix v(n, n);
    eigenvlvc::eigenjacobi(a.view(), v.view(), n, n, 1e-12);
    const std::vector<double> ref = reference_eigenvalues(small);
    for (long k = 0; k < n; ++k) {
      EXPECT_NEAR(std::ldexp(a(k + 1, k + 1), -1020), ref[k], 1e-10) << "eigenvalue " << k + 1;
    }
    double s = 0.0;
    for (long j = 1; j <= n; ++j) {
      for (long i = j + 1; i <= n; ++i) s += std::fabs(small(i, j));
    }
    const Fit fit = similarity_fit(small, v, ref);
    EXPECT_LT(fit.off, s / double(n * n) * 5e-6 + 1e-13);
    EXPECT_LT(fit.diag, 1e-10);
  }
}

TEST(Eigenjacobi, SubnormalOffDiagonalEnds) {
  // The final threshold underflows to zero; the falling threshold must still end the sweeps.
  Matrix a = from_rows({{1.0, 0.0, 0.0}, {1e-320, 2.0, 0.0}, {0.0, 0.0, 3.0}});
  Matrix v(3, 3);
  eigenvlvc::eigenjacobi(a.view(), v.view(), 3, 3, 0.0);
  EXPECT_EQ(diagonal(a), (std::vector<double>{3.0, 2.0, 1.0}));
}

}  // namespace
