#include "numerics/eigen_cond_index.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "numerics/eigenvlvc.hpp"
#include "support/close.hpp"
#include "test_matrices.hpp"

namespace {

using Matrix = FMatrixD<double>;
using test_matrices::from_rows;

struct Result {
  common_data::CondIndexTable c;
  int32_t m;
  double operator()(long i, long j) const { return c(i, j); }
};

Result run(Matrix a, int32_t m = 0, double tol = 1e-8) {
  Result r{{}, m};
  r.c.fill(std::nan(""));
  eigen_cond_index(a.view(), r.c, static_cast<int32_t>(a.rows()), tol, r.m);
  return r;
}

void expect_labels_and_column_sums(const Result& r, long n) {
  EXPECT_EQ(r(0, 0), 0.0);
  for (long j = 1; j <= n; ++j) {
    EXPECT_EQ(r(0, j), double(j));
    double sum = 0.0;
    for (long k = 1; k <= n; ++k) {
      EXPECT_GE(r(k, j), 0.0);
      EXPECT_LE(r(k, j), 1.0);
      sum += r(k, j);
    }
    EXPECT_NEAR(sum, 1.0, 1e-13) << "column " << j;
  }
  for (long k = 2; k <= n; ++k) EXPECT_LE(r(k - 1, 0), r(k, 0));
}

TEST(EigenCondIndex, CorrelatedPair) {
  const Result r = run(from_rows({{1.0, 0.9}, {0.9, 1.0}}));
  expect_labels_and_column_sums(r, 2);
  // One rotation diagonalises it; the stop is found at the start of the second.
  EXPECT_EQ(r.m, 1);
  // Eigenvalues 1.9 and 0.1 (moved by about 1e-6 through the perturbation of the entries).
  EXPECT_NEAR_REL(r(1, 0), 1.0, 1e-12);
  EXPECT_NEAR_REL(r(2, 0), std::sqrt(19.0), 1e-5);
  // Both parameters owe 95 % of their variance to the small eigenvalue.
  for (long j = 1; j <= 2; ++j) {
    EXPECT_NEAR(r(2, j), 0.95, 1e-5);
    EXPECT_NEAR(r(1, j), 0.05, 1e-5);
  }
}

TEST(EigenCondIndex, DiagonalMatricesNeedNoRotation) {
  // Off-diagonal sum of squares after the perturbation: 2e-12, below the threshold. The
  // proportions follow their eigenvalue when the rows are sorted.
  struct Case {
    const char* name;
    std::vector<std::vector<double>> a;
    std::vector<std::vector<double>> proportions;  // rows 1..2 of the table
    double index2;                                 // condition index of row 2
  };
  const std::vector<Case> cases = {
      {"larger first", {{4.0, 0.0}, {0.0, 1.0}}, {{1.0, 0.0}, {0.0, 1.0}}, 2.0},
      {"smaller first", {{1.0, 0.0}, {0.0, 4.0}}, {{0.0, 1.0}, {1.0, 0.0}}, 2.0},
      // Equal indices keep their order: the first minimum wins.
      {"equal", {{1.0, 0.0}, {0.0, 1.0}}, {{1.0, 0.0}, {0.0, 1.0}}, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = run(from_rows(c.a), 10);
    EXPECT_EQ(r.m, 0);
    expect_labels_and_column_sums(r, 2);
    EXPECT_EQ(r(1, 0), 1.0);
    EXPECT_NEAR_REL(r(2, 0), c.index2, 1e-6);
    for (long k = 1; k <= 2; ++k) {
      for (long j = 1; j <= 2; ++j) EXPECT_EQ(r(k, j), c.proportions[k - 1][j - 1]);
    }
  }
}

TEST(EigenCondIndex, WritesOnlyItsPartOfTheTable) {
  // Two parameters fill rows and columns 0..2; the rest keeps its contents. Only the lower
  // triangle of the matrix is read.
  common_data::CondIndexTable table;
  table.fill(-1.0);
  int32_t m = 0;
  Matrix a = from_rows({{1.0, std::nan("")}, {0.9, 1.0}});
  eigen_cond_index(a.view(), table, 2, 1e-8, m);
  EXPECT_EQ(table(0, 1), 1.0);
  EXPECT_EQ(table(0, 2), 2.0);
  EXPECT_NEAR(table(2, 1), 0.95, 1e-5);
  EXPECT_EQ(table(3, 0), -1.0);
  EXPECT_EQ(table(0, 3), -1.0);
}

TEST(EigenCondIndex, OrderBeyondTheTableDoesNothing) {
  common_data::CondIndexTable table;
  table.fill(-1.0);
  Matrix a(11, 11);
  for (long i = 1; i <= 11; ++i) a(i, i) = 1.0;
  int32_t m = 0;
  eigen_cond_index(a.view(), table, 11, 1e-8, m);
  EXPECT_EQ(table(0, 0), -1.0);
  EXPECT_EQ(table(10, 10), -1.0);
}

// Random correlation matrices, checked against the principal components of the same perturbed
// matrix: condition index sqrt(lambda_max / lambda_k) in row k (ascending) and the proportions
// (V(j,k)^2 / lambda_k) / sum over k' of V(j,k')^2 / lambda_k'.
TEST(EigenCondIndex, AgreesWithPrincipalComponents) {
  std::mt19937 rng(99);
  std::normal_distribution<double> gauss;
  for (long n = 2; n <= 10; ++n) {
    for (int trial = 0; trial < 10; ++trial) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", trial " << trial);
      // Correlation matrix of 30 rows of correlated columns.
      Matrix x(30, n);
      for (long i = 1; i <= 30; ++i) {
        for (long j = 1; j <= n; ++j) x(i, j) = gauss(rng) + (j > 1 ? 0.7 * x(i, j - 1) : 0.0);
      }
      Matrix a(n, n);
      for (long p = 1; p <= n; ++p) {
        for (long q = 1; q <= n; ++q) {
          double s = 0.0, sp = 0.0, sq = 0.0;
          for (long i = 1; i <= 30; ++i) {
            s += x(i, p) * x(i, q);
            sp += x(i, p) * x(i, p);
            sq += x(i, q) * x(i, q);
          }
          a(p, q) = p == q ? 1.0 : s / std::sqrt(sp * sq);
        }
      }
      // The tightest tolerance, so that the eigenvectors are accurate enough to compare.
      const Result r = run(a, 0, 1e-12);
      expect_labels_and_column_sums(r, n);
      EXPECT_LT(r.m, 1000);

      Matrix b = a;
      for (long i = 0; i < n * n; ++i) b.data()[i] += std::copysign(1e-6, b.data()[i]);
      for (long i = 1; i <= n; ++i) b(i, i) += 1e-12;
      std::vector<double> ev(n), pct(n);
      Matrix vec(n, n), vecmax(n, n), pctvar(n, n);
      eigenvlvc::eigenvv(static_cast<int32_t>(n),
                         static_cast<int32_t>(n),
                         b.view(),
                         VecView<double>(ev.data(), n),
                         VecView<double>(pct.data(), n),
                         vec.view(),
                         vecmax.view(),
                         pctvar.view());
      // The rotations stop at an off-diagonal sum of squares of 0.5e-12 ||B||^2, about 1e-5 in
      // norm: the indices are second order in it, the eigenvectors (and the proportions) first
      // order, divided by the eigenvalue gaps (rarely below 0.05 here).
      for (long k = 1; k <= n; ++k) {
        EXPECT_NEAR_REL(r(k, 0), std::sqrt(ev[0] / ev[k - 1]), 1e-8) << "row " << k;
        for (long j = 1; j <= n; ++j) {
          double total = 0.0;
          for (long kk = 1; kk <= n; ++kk) total += vec(j, kk) * vec(j, kk) / ev[kk - 1];
          EXPECT_NEAR(r(k, j), vec(j, k) * vec(j, k) / ev[k - 1] / total, 2e-4)
              << "row " << k << ", column " << j;
        }
      }
    }
  }
}

}  // namespace
