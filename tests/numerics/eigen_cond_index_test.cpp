#include "numerics/eigen_cond_index.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "numerics/eigenvlvc.hpp"
#include "numerics/matrixinverse.hpp"
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
  EXPECT_LE(r.m, 3);
  // Eigenvalues 1.9 and 0.1 (moved by about 1e-6 through the perturbation of the entries): the
  // large eigenvalue of the estimates' correlation carries the large index sqrt(1.9 / 0.1).
  EXPECT_NEAR_REL(r(1, 0), 1.0, 1e-12);
  EXPECT_NEAR_REL(r(2, 0), std::sqrt(19.0), 1e-5);
  // Both parameters owe 95 % of their variance to it: V(j,k)^2 = 1/2, shares mu_k / 2.
  for (long j = 1; j <= 2; ++j) {
    EXPECT_NEAR(r(2, j), 0.95, 1e-5);
    EXPECT_NEAR(r(1, j), 0.05, 1e-5);
  }
}

TEST(EigenCondIndex, DiagonalMatricesPairEachParameterWithItsEigenvalue) {
  // The perturbation puts 1e-6 off the diagonal, which is rotated away; each parameter keeps
  // its own eigenvalue, and the larger eigenvalue carries the larger index.
  struct Case {
    const char* name;
    std::vector<std::vector<double>> a;
    std::vector<std::vector<double>> proportions;  // rows 1..2 of the table
    double index2;                                 // condition index of row 2
  };
  const std::vector<Case> cases = {
      {"larger first", {{4.0, 0.0}, {0.0, 1.0}}, {{0.0, 1.0}, {1.0, 0.0}}, 2.0},
      {"smaller first", {{1.0, 0.0}, {0.0, 4.0}}, {{1.0, 0.0}, {0.0, 1.0}}, 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = run(from_rows(c.a), 10);
    EXPECT_LE(r.m, 3);
    expect_labels_and_column_sums(r, 2);
    EXPECT_NEAR_REL(r(1, 0), 1.0, 1e-12);
    EXPECT_NEAR_REL(r(2, 0), c.index2, 1e-6);
    for (long k = 1; k <= 2; ++k) {
      for (long j = 1; j <= 2; ++j) EXPECT_NEAR(r(k, j), c.proportions[k - 1][j - 1], 1e-9);
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

// The perturbed copy the routine works on: entries pushed 1e-6 away from zero, diagonal 1e-12.
Matrix perturbed(Matrix b) {
  const long n = b.rows();
  for (long i = 0; i < n * n; ++i) b.data()[i] += std::copysign(1e-6, b.data()[i]);
  for (long i = 1; i <= n; ++i) b(i, i) += 1e-12;
  return b;
}

// Principal components of the perturbed matrix by Householder tridiagonalisation (an
// independent method): eigenvalues descending in ev, unit eigenvectors in vec.
void reference(const Matrix& a, std::vector<double>& ev, Matrix& vec) {
  const long n = a.rows();
  Matrix b = perturbed(a), vecmax(n, n), pctvar(n, n);
  std::vector<double> pct(n);
  ev.assign(n, 0.0);
  vec = Matrix(n, n);
  eigenvlvc::eigenvv(static_cast<int32_t>(n), static_cast<int32_t>(n), b.view(),
                     VecView<double>(ev.data(), n), VecView<double>(pct.data(), n), vec.view(),
                     vecmax.view(), pctvar.view());
}

// Unit-diagonal scaling of a symmetric positive matrix.
Matrix unit_diagonal(const Matrix& a) {
  Matrix r = a;
  for (long p = 1; p <= a.rows(); ++p) {
    for (long q = 1; q <= a.rows(); ++q) r(p, q) = a(p, q) / std::sqrt(a(p, p) * a(q, q));
  }
  return r;
}

// Random correlation matrices, checked against the principal components of the same perturbed
// matrix: condition index sqrt(mu_k / mu_min) in row k (ascending) and the proportions
// V(j,k)^2 mu_k / sum over k' of V(j,k')^2 mu_k'.
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
      Matrix c(n, n);
      for (long p = 1; p <= n; ++p) {
        for (long q = 1; q <= n; ++q) {
          for (long i = 1; i <= 30; ++i) c(p, q) += x(i, p) * x(i, q);
        }
      }
      const Matrix a = unit_diagonal(c);
      const Result r = run(a);
      expect_labels_and_column_sums(r, n);
      EXPECT_LT(r.m, 1000);

      std::vector<double> ev;
      Matrix vec;
      reference(a, ev, vec);
      // Row k holds the k-th smallest eigenvalue, ev[n - k]. The proportions are first order
      // in the eigenvector errors, divided by the eigenvalue gaps (rarely below 0.05 here).
      for (long k = 1; k <= n; ++k) {
        const long e = n - k;
        EXPECT_NEAR_REL(r(k, 0), std::sqrt(ev[e] / ev[n - 1]), 1e-10) << "row " << k;
        for (long j = 1; j <= n; ++j) {
          double total = 0.0;
          for (long kk = 1; kk <= n; ++kk) total += vec(j, kk) * vec(j, kk) * ev[kk - 1];
          EXPECT_NEAR(r(k, j), vec(j, e + 1) * vec(j, e + 1) * ev[e] / total, 1e-8)
              << "row " << k << ", column " << j;
        }
      }
    }
  }
}

// Largest eigenvalue of a symmetric positive matrix by power iteration.
double power_iteration(const Matrix& a) {
  const long n = a.rows();
  std::vector<double> v(n, 1.0), w(n);
  double lambda = 0.0;
  for (int it = 0; it < 2000; ++it) {
    double norm = 0.0;
    for (long i = 1; i <= n; ++i) {
      w[i - 1] = 0.0;
      for (long j = 1; j <= n; ++j) w[i - 1] += a(i, j) * v[j - 1];
      norm += w[i - 1] * w[i - 1];
    }
    lambda = std::sqrt(norm);
    for (long i = 0; i < n; ++i) v[i] = w[i] / lambda;
  }
  return lambda;
}

// Ill-conditioned matrices: the largest index rests on the smallest eigenvalue, which an
// absolute stop of the rotations gets wrong by orders of magnitude. The reference is
// independent of any rotation: sqrt(lambda_max(B) lambda_max(B^-1)) for the perturbed copy B,
// both by power iteration; the inverse of a matrix of condition 1e12 is good to about 1e-4.
TEST(EigenCondIndex, IllConditionedMatricesGetAccurateIndices) {
  Matrix hilbert(10, 10);
  for (long i = 1; i <= 10; ++i) {
    for (long j = 1; j <= 10; ++j) hilbert(i, j) = 1.0 / double(i + j - 1);
  }
  // Eight columns, the last a near copy of the sum of the first two.
  std::mt19937 rng(7);
  std::normal_distribution<double> gauss;
  Matrix x(40, 8), c(8, 8);
  for (long i = 1; i <= 40; ++i) {
    for (long j = 1; j <= 7; ++j) x(i, j) = gauss(rng);
    x(i, 8) = x(i, 1) + x(i, 2) + 1e-3 * gauss(rng);
  }
  for (long p = 1; p <= 8; ++p) {
    for (long q = 1; q <= 8; ++q) {
      for (long i = 1; i <= 40; ++i) c(p, q) += x(i, p) * x(i, q);
    }
  }
  for (const Matrix& a : {unit_diagonal(hilbert), unit_diagonal(c)}) {
    const long n = a.rows();
    SCOPED_TRACE(testing::Message() << "n = " << n);
    const Result r = run(a);
    const Matrix b = perturbed(a);
    Matrix inv = b;
    int32_t status = 0;
    matrixinverse::lumatinv(static_cast<int32_t>(n), inv.view(), status);
    ASSERT_EQ(status, 0);
    const double largest = std::sqrt(power_iteration(b) * power_iteration(inv));
    EXPECT_GT(largest, 100.0);
    EXPECT_NEAR_REL(r(n, 0), largest, 1e-3);
  }
}

// The collinearity diagnostics of a fit: R is the correlation matrix of the estimates of a
// design with x3 = x1 + x2 + noise and an independent x4. The largest index must flag the three
// collinear parameters and leave the independent one out.
TEST(EigenCondIndex, FlagsTheCollinearParametersOfAFit) {
  std::mt19937 rng(60);
  std::normal_distribution<double> gauss;
  Matrix x(60, 4), xtx(4, 4);
  for (long i = 1; i <= 60; ++i) {
    x(i, 1) = gauss(rng);
    x(i, 2) = gauss(rng);
    x(i, 3) = x(i, 1) + x(i, 2) + 0.02 * gauss(rng);
    x(i, 4) = gauss(rng);
  }
  for (long p = 1; p <= 4; ++p) {
    for (long q = 1; q <= 4; ++q) {
      for (long i = 1; i <= 60; ++i) xtx(p, q) += x(i, p) * x(i, q);
    }
  }
  int32_t status = 0;
  matrixinverse::lumatinv(4, xtx.view(), status);
  ASSERT_EQ(status, 0);
  const Result r = run(unit_diagonal(xtx));
  EXPECT_GT(r(4, 0), 30.0);
  for (long j = 1; j <= 3; ++j) EXPECT_GT(r(4, j), 0.9) << "parameter " << j;
  EXPECT_LT(r(4, 4), 0.01);
}

}  // namespace
