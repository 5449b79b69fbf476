#include "numerics/matrixinverse.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "support/close.hpp"
#include "test_matrices.hpp"

namespace {

using Matrix = FMatrixD<double>;
using test_matrices::from_rows;

// Largest |(x y - I)(i,j)|.
double distance_from_identity(const Matrix& x, const Matrix& y) {
  double worst = 0.0;
  for (long i = 1; i <= x.rows(); ++i) {
    for (long j = 1; j <= x.rows(); ++j) {
      double s = 0.0;
      for (long k = 1; k <= x.rows(); ++k) s += x(i, k) * y(k, j);
      worst = std::max(worst, std::fabs(s - (i == j ? 1.0 : 0.0)));
    }
  }
  return worst;
}

bool same_bits(const Matrix& x, const Matrix& y) {
  for (long i = 0; i < x.rows() * x.cols(); ++i) {
    if (std::memcmp(&x.data()[i], &y.data()[i], sizeof(double)) != 0) return false;
  }
  return true;
}

// A random well-conditioned n x n matrix: entries in [-1, 1] plus n on the diagonal, with its
// rows shuffled so that the elimination has to pivot.
Matrix random_well_conditioned(long n, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Matrix a(n, n);
  for (long j = 1; j <= n; ++j) {
    for (long i = 1; i <= n; ++i) a(i, j) = u(rng) + (i == j ? double(n) : 0.0);
  }
  std::vector<long> order(n);
  for (long i = 0; i < n; ++i) order[i] = i + 1;
  std::shuffle(order.begin(), order.end(), rng);
  Matrix p(n, n);
  for (long i = 1; i <= n; ++i) {
    for (long j = 1; j <= n; ++j) p(i, j) = a(order[i - 1], j);
  }
  return p;
}

TEST(Lumatinv, ProductWithInverseIsIdentityForRandomMatrices) {
  std::mt19937 rng(20240611);
  for (long n = 1; n <= 10; ++n) {
    for (int trial = 0; trial < 20; ++trial) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", trial " << trial);
      const Matrix a = random_well_conditioned(n, rng);
      Matrix inv = a;
      int32_t status = -1;
      matrixinverse::lumatinv(static_cast<int32_t>(n), inv.view(), status);
      ASSERT_EQ(status, 0);
      // Condition numbers stay below ~10, so a few hundred ulps is generous.
      EXPECT_LT(distance_from_identity(a, inv), 1e-13);
      EXPECT_LT(distance_from_identity(inv, a), 1e-13);
    }
  }
}

TEST(Lumatinv, SmallExamples) {
  struct Case {
    const char* name;
    std::vector<std::vector<double>> a;
    int32_t status;
    std::vector<std::vector<double>> expected;  // the argument on return
  };
  const std::vector<Case> cases = {
      {"order 1", {{4.0}}, 0, {{0.25}}},
      {"zero of order 1", {{0.0}}, 1, {{0.0}}},
      {"exchange in the first step", {{0.0, 1.0}, {1.0, 0.0}}, 0, {{0.0, 1.0}, {1.0, 0.0}}},
      {"singular at the last step", {{1.0, 2.0}, {2.0, 4.0}}, 2, {{1.0, 2.0}, {2.0, 4.0}}},
      {"zero middle column",
       {{1.0, 0.0, 2.0}, {3.0, 0.0, 1.0}, {2.0, 0.0, 5.0}},
       2,
       {{1.0, 0.0, 2.0}, {3.0, 0.0, 1.0}, {2.0, 0.0, 5.0}}},
      {"tiny pivot accepted", {{1e-300, 0.0}, {0.0, 2.0}}, 0, {{1e300, 0.0}, {0.0, 0.5}}},
      {"upper triangular", {{2.0, 1.0}, {0.0, 4.0}}, 0, {{0.5, -0.125}, {0.0, 0.25}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix a = from_rows(c.a);
    int32_t status = -1;
    matrixinverse::lumatinv(static_cast<int32_t>(a.rows()), a.view(), status);
    EXPECT_EQ(status, c.status);
    const Matrix expected = from_rows(c.expected);
    for (long j = 1; j <= a.cols(); ++j) {
      for (long i = 1; i <= a.rows(); ++i) EXPECT_NEAR_REL(a(i, j), expected(i, j), 1e-15);
    }
    if (c.status != 0) {
      EXPECT_TRUE(same_bits(a, from_rows(c.a)));
    }
  }
}

TEST(Lumatinv, SingularMatrixKeepsEveryInputBit) {
  // Column 3 is column 1 plus column 2: exact in binary, so the last pivot is exactly zero.
  Matrix a = from_rows({{1.0, 2.0, 3.0}, {4.0, 0.5, 4.5}, {-0.0, 6.0, 6.0}});
  const Matrix before = a;
  int32_t status = 0;
  matrixinverse::lumatinv(3, a.view(), status);
  EXPECT_EQ(status, 3);
  EXPECT_TRUE(same_bits(a, before));
}

// The regularised inverse of a symmetric matrix with eigenpairs (lambda_k, v_k), as the method
// builds it: column k of A V has norm |lambda_k|, is divided by ev_k = |lambda_k| + delta, and
// enters as u_k u_k^T / (ev_k + r).
Matrix expected_kaiser(const std::vector<double>& lambda,
                       const std::vector<std::vector<double>>& vecs,
                       double r) {
  const long n = static_cast<long>(lambda.size());
  double evmax = 0.0;
  for (double l : lambda) evmax = std::max(evmax, std::sqrt(l * l + 2.22e-16));
  const double delta = std::max(1e-5 * evmax, 1e-5);
  Matrix c(n, n);
  for (long k = 0; k < n; ++k) {
    // The norm carries the method's guard against a zero column.
    const double ev = std::sqrt(lambda[k] * lambda[k] + 2.22e-16) + delta;
    const double w = lambda[k] * lambda[k] / (ev * ev * (ev + r));
    for (long i = 1; i <= n; ++i) {
      for (long j = 1; j <= n; ++j) c(i, j) += w * vecs[k][i - 1] * vecs[k][j - 1];
    }
  }
  return c;
}

TEST(Kaiser, IdentityNeedsNoRotation) {
  Matrix a = from_rows({{1.0, 0.0}, {0.0, 1.0}});
  std::vector<double> d = {1.0, 1.0};
  int32_t status = -1;
  matrixinverse::kaiser(a.view(), 2, 2, VecView<double>(d.data(), 2), 1e-6, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(a(1, 1), 0.9999690006409888);
  EXPECT_EQ(a(2, 2), 0.9999690006409888);
  EXPECT_EQ(a(1, 2), 0.0);
  EXPECT_EQ(a(2, 1), 0.0);
}

TEST(Kaiser, InvertsAtEveryScale) {
  const double h = std::sqrt(0.5);
  const std::vector<std::vector<double>> vecs = {{h, h}, {h, -h}};
  for (double scale : {1e-3, 1.0, 1e3, 1e7, 1e12, 1e100}) {
    SCOPED_TRACE(testing::Message() << "scale " << scale);
    const Matrix a = from_rows({{2.0 * scale, scale}, {scale, 2.0 * scale}});
    Matrix c = a;
    std::vector<double> d = {1.0, 1.0};
    int32_t status = -1;
    matrixinverse::kaiser(c.view(), 2, 2, VecView<double>(d.data(), 2), 1e-6, status);
    EXPECT_EQ(status, 0);
    const Matrix expected = expected_kaiser({3.0 * scale, scale}, vecs, 1e-6);
    for (long i = 1; i <= 2; ++i) {
      for (long j = 1; j <= 2; ++j) EXPECT_NEAR_REL(c(i, j), expected(i, j), 1e-12);
    }
    // From 1 upwards the eigenvalues dominate delta and the ridge: a true inverse to ~3e-5.
    if (scale >= 1.0) {
      EXPECT_LT(distance_from_identity(a, c), 1e-4);
    }
  }
}

TEST(Kaiser, SingularMatrixGivesBoundedPseudoInverse) {
  // Eigenvalues 2 and 0: the null direction contributes nothing.
  Matrix c = from_rows({{1.0, 1.0}, {1.0, 1.0}});
  std::vector<double> d = {1.0, 1.0};
  int32_t status = -1;
  matrixinverse::kaiser(c.view(), 2, 2, VecView<double>(d.data(), 2), 1e-6, status);
  EXPECT_EQ(status, 0);
  for (long i = 1; i <= 2; ++i) {
    for (long j = 1; j <= 2; ++j) EXPECT_NEAR(c(i, j), 0.25, 1e-4);
  }
}

TEST(Kaiser, ScaleVectorAndRidge) {
  struct Case {
    const char* name;
    std::vector<double> d;
    double r;
    double c11, c22;
  };
  const double ev = 1.00001;
  const std::vector<Case> cases = {
      {"scale vector", {2.0, 0.5}, 1e-6, 0.9999690006409888 / 4.0, 0.9999690006409888 * 4.0},
      {"zero ridge", {1.0, 1.0}, 0.0, 1.0 / (ev * ev * ev), 1.0 / (ev * ev * ev)},
      {"negative ridge", {1.0, 1.0}, -1.0, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix a = from_rows({{1.0, 0.0}, {0.0, 1.0}});
    std::vector<double> d = c.d;
    int32_t status = -1;
    matrixinverse::kaiser(a.view(), 2, 2, VecView<double>(d.data(), 2), c.r, status);
    EXPECT_EQ(status, 0);
    EXPECT_NEAR_REL(a(1, 1), c.c11, 1e-15);
    EXPECT_NEAR_REL(a(2, 2), c.c22, 1e-15);
    EXPECT_EQ(a(1, 2), 0.0);
  }
}

TEST(Kaiser, WorksOnTheLeadingBlockOnly) {
  // A 3-row array holding a 2 x 2 problem; row 3 and column 3 are not touched.
  const double kMark = -7.25;
  Matrix a(3, 3, kMark);
  a(1, 1) = 1.0;
  a(2, 1) = 0.0;
  a(1, 2) = 0.0;
  a(2, 2) = 1.0;
  std::vector<double> d = {1.0, 1.0};
  int32_t status = -1;
  matrixinverse::kaiser(a.view(), 3, 2, VecView<double>(d.data(), 2), 1e-6, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(a(1, 1), 0.9999690006409888);
  EXPECT_EQ(a(2, 2), 0.9999690006409888);
  for (long i = 1; i <= 3; ++i) {
    EXPECT_EQ(a(3, i), kMark);
    EXPECT_EQ(a(i, 3), kMark);
  }
}

TEST(Kaiser, RefusesBadOrderWithoutTouchingTheMatrix) {
  struct Case {
    int32_t ld, n;
  };
  for (const Case& c : {Case{2, 3}, Case{2, 0}, Case{2, -1}}) {
    SCOPED_TRACE(testing::Message() << "ld " << c.ld << ", n " << c.n);
    Matrix a = from_rows({{1.0, 2.0}, {2.0, 1.0}});
    const Matrix before = a;
    std::vector<double> d = {1.0, 1.0, 1.0};
    int32_t status = -1;
    matrixinverse::kaiser(a.view(), c.ld, c.n, VecView<double>(d.data(), 3), 1e-6, status);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(same_bits(a, before));
  }
}

TEST(Kaiser, NaNEndsAfterTheSweepLimit) {
  // Every cosine is NaN, so every pair rotates and the sweeps run to their limit.
  Matrix a = from_rows({{1.0, std::numeric_limits<double>::quiet_NaN()}, {0.5, 1.0}});
  std::vector<double> d = {1.0, 1.0};
  int32_t status = -1;
  matrixinverse::kaiser(a.view(), 2, 2, VecView<double>(d.data(), 2), 1e-6, status);
  EXPECT_EQ(status, 2);
}

}  // namespace
