#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "numerics/farray.hpp"
#include "optimizers/marq_parts.hpp"

namespace {

using marq_mod::pythagz;
using marq_mod::svd;
using marq_mod::svd_sort;

// Factors and checks of one decomposition of A (m x n).
struct Decomposition {
  FMatrixD<double> U, V;
  FVector<double> w;
};

Decomposition decompose(FMatrixD<double>& A) {
  const int32_t m = static_cast<int32_t>(A.rows()), n = static_cast<int32_t>(A.cols());
  Decomposition d{FMatrixD<double>(m, n), FMatrixD<double>(n, n), FVector<double>(n)};
  svd(A.view(), m, n, d.w.view(), d.U.view(), d.V.view());
  return d;
}

double max_abs(const FMatrixD<double>& A) {
  double s = 0.0;
  for (long j = 1; j <= A.cols(); ++j) {
    for (long i = 1; i <= A.rows(); ++i) s = std::fmax(s, std::fabs(A(i, j)));
  }
  return s;
}

// The properties every decomposition must have: A = U diag(w) V^T, V orthogonal, the columns of
// U that belong to nonzero values orthonormal, values non-negative and non-increasing.
void expect_valid(const FMatrixD<double>& A, const Decomposition& d) {
  const long m = A.rows(), n = A.cols();
  const double scale = std::fmax(max_abs(A), 1e-300);
  constexpr double kTol = 1e-12;  // a few hundred ulps of backward error for these sizes
  for (long j = 1; j <= n; ++j) {
    EXPECT_GE(d.w(j), 0.0) << "value " << j;
    if (j > 1) {
      EXPECT_LE(d.w(j), d.w(j - 1)) << "value " << j;
    }
  }
  for (long i = 1; i <= m; ++i) {
    for (long j = 1; j <= n; ++j) {
      double a = 0.0;
      for (long k = 1; k <= n; ++k) a += d.U(i, k) * d.w(k) * d.V(j, k);
      EXPECT_NEAR(a, A(i, j), kTol * scale) << "entry " << i << "," << j;
    }
  }
  for (long a = 1; a <= n; ++a) {
    for (long b = 1; b <= n; ++b) {
      double vv = 0.0;
      for (long k = 1; k <= n; ++k) vv += d.V(k, a) * d.V(k, b);
      EXPECT_NEAR(vv, a == b ? 1.0 : 0.0, kTol) << "V columns " << a << "," << b;
      if (d.w(a) <= kTol * d.w(1) || d.w(b) <= kTol * d.w(1)) continue;
      double uu = 0.0;
      for (long k = 1; k <= m; ++k) uu += d.U(k, a) * d.U(k, b);
      EXPECT_NEAR(uu, a == b ? 1.0 : 0.0, 1e-10) << "U columns " << a << "," << b;
    }
  }
}

FMatrixD<double> random_matrix(int32_t m, int32_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  FMatrixD<double> A(m, n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= m; ++i) A(i, j) = u(gen);
  }
  return A;
}

TEST(MarqSvd, PythagzAvoidsOverflowAndHandlesZero) {
  EXPECT_EQ(pythagz(0.0, 0.0), 0.0);
  EXPECT_EQ(pythagz(3.0, 4.0), 5.0);
  EXPECT_EQ(pythagz(-4.0, 3.0), 5.0);
  EXPECT_NEAR(pythagz(3e300, 4e300), 5e300, 1e286);
  EXPECT_NEAR(pythagz(3e-300, 4e-300), 5e-300, 1e-314);
}

TEST(MarqSvd, DecomposesMatricesOfEveryShape) {
  struct Case {
    std::string name;
    FMatrixD<double> A;
  };
  std::vector<Case> cases;
  cases.push_back({"random 8x5", random_matrix(8, 5, 1)});
  cases.push_back({"random 40x8", random_matrix(40, 8, 2)});
  cases.push_back({"wide 3x6 (m < n)", random_matrix(3, 6, 3)});
  cases.push_back({"wide 1x4", random_matrix(1, 4, 4)});
  cases.push_back({"column 5x1", random_matrix(5, 1, 5)});
  cases.push_back({"scalar", random_matrix(1, 1, 6)});
  FMatrixD<double> deficient = random_matrix(7, 4, 7);
  for (int32_t i = 1; i <= 7; ++i) {
    deficient(i, 3) = deficient(i, 1) + deficient(i, 2);
    deficient(i, 4) = 2.0 * deficient(i, 1);
  }
  cases.push_back({"rank 2 of 4", deficient});
  FMatrixD<double> hilbert(10, 6);
  for (int32_t i = 1; i <= 10; ++i) {
    for (int32_t j = 1; j <= 6; ++j) hilbert(i, j) = 1.0 / (i + j - 1);
  }
  cases.push_back({"Hilbert 10x6 (condition ~1e7)", hilbert});
  FMatrixD<double> graded = random_matrix(12, 3, 8);
  for (int32_t i = 1; i <= 12; ++i) {
    graded(i, 1) *= 1e6;  // columns a trillion apart, like x * exp(-b x) beside 1 - exp(-b x)
    graded(i, 3) *= 1e-6;
  }
  cases.push_back({"graded columns", graded});
  cases.push_back({"zero 4x3", FMatrixD<double>(4, 3, 0.0)});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FMatrixD<double> original = c.A;
    const Decomposition d = decompose(c.A);
    for (long j = 1; j <= c.A.cols(); ++j) {
      for (long i = 1; i <= c.A.rows(); ++i) ASSERT_EQ(c.A(i, j), original(i, j));  // A kept
    }
    expect_valid(c.A, d);
  }
}

// A = Q1 diag(s) Q2^T from Householder reflections Q = I - 2 v v^T / v^T v: the values must come
// back as s, sorted, and rank deficiency must show as a trailing (near) zero.
TEST(MarqSvd, RecoversValuesOfAMatrixBuiltFromThem) {
  const int32_t m = 6, n = 5;
  const double s[n] = {1e-3, 3.0, 0.0, 5.0, 3.0};
  const double expected[n] = {5.0, 3.0, 3.0, 1e-3, 0.0};
  auto reflect = [](int32_t size, uint32_t seed) {
    FMatrixD<double> v = random_matrix(size, 1, seed);
    double vv = 0.0;
    for (int32_t i = 1; i <= size; ++i) vv += v(i, 1) * v(i, 1);
    FMatrixD<double> Q(size, size);
    for (int32_t i = 1; i <= size; ++i) {
      for (int32_t j = 1; j <= size; ++j)
        Q(i, j) = (i == j ? 1.0 : 0.0) - 2.0 * v(i, 1) * v(j, 1) / vv;
    }
    return Q;
  };
  const FMatrixD<double> Q1 = reflect(m, 11), Q2 = reflect(n, 12);
  FMatrixD<double> A(m, n);
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t k = 1; k <= n; ++k) A(i, j) += Q1(i, k) * s[k - 1] * Q2(j, k);
    }
  }
  const Decomposition d = decompose(A);
  for (int32_t k = 1; k <= n; ++k) EXPECT_NEAR(d.w(k), expected[k - 1], 1e-14 * 5.0) << k;
  expect_valid(A, d);
}

TEST(MarqSvd, SortIsStableByMagnitudeAndMovesTheVectors) {
  const int32_t m = 2, n = 5;
  FVector<double> w(n);
  const double values[n] = {1.0, -3.0, 2.0, 2.0, -2.0};
  FMatrixD<double> U(m, n), V(n, n);
  for (int32_t j = 1; j <= n; ++j) {
    w(j) = values[j - 1];
    U(1, j) = V(1, j) = j;  // column tags
  }
  svd_sort(U.view(), m, n, V.view(), w.view());
  const double want_w[n] = {-3.0, 2.0, 2.0, -2.0, 1.0};
  const double want_tag[n] = {2, 3, 4, 5, 1};  // equal magnitudes keep their order
  for (int32_t j = 1; j <= n; ++j) {
    EXPECT_EQ(w(j), want_w[j - 1]) << j;
    EXPECT_EQ(U(1, j), want_tag[j - 1]) << j;
    EXPECT_EQ(V(1, j), want_tag[j - 1]) << j;
  }
}

TEST(MarqSvd, NanInputEndsWithNanValues) {
  FMatrixD<double> A = random_matrix(4, 3, 9);
  A(2, 2) = std::numeric_limits<double>::quiet_NaN();
  const Decomposition d = decompose(A);
  bool any_nan = false;
  for (int32_t k = 1; k <= 3; ++k) any_nan = any_nan || std::isnan(d.w(k));
  EXPECT_TRUE(any_nan);
}

}  // namespace
