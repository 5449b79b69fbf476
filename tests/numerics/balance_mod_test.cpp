#include "numerics/balance_mod.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "test_matrices.hpp"

namespace {

using Matrix = FMatrixD<double>;
using test_matrices::from_rows;

void expect_same(const Matrix& a, const Matrix& b) {
  for (long j = 1; j <= a.cols(); ++j) {
    for (long i = 1; i <= a.rows(); ++i) {
      SCOPED_TRACE(testing::Message() << "(" << i << ", " << j << ")");
      if (std::isnan(b(i, j))) {
        EXPECT_TRUE(std::isnan(a(i, j)));
      } else {
        EXPECT_EQ(a(i, j), b(i, j));
      }
    }
  }
}

TEST(Balance, Examples) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    std::vector<std::vector<double>> a;
    std::vector<std::vector<double>> expected;
  };
  const std::vector<Case> cases = {
      {"powers of 2 only", {{1.0, 100.0}, {0.01, 1.0}}, {{1.0, 0.78125}, {1.28, 1.0}}},
      {"diagonal", {{3.0, 0.0, 0.0}, {0.0, -2.0, 0.0}, {0.0, 0.0, 5.0}}, {}},
      {"already balanced", {{1.0, 2.0}, {3.0, 4.0}}, {}},
      {"zero column sum", {{1.0, 64.0}, {0.0, 1.0}}, {}},
      {"infinite entry", {{1.0, inf}, {1e-3, 1.0}}, {}},
      {"NaN entry", {{1.0, nan}, {1e-3, 1.0}}, {}},
      // Row 3 can never be balanced (its column sum is infinite); rows 1 and 2 still are.
      {"infinite column beside a balanced pair",
       {{1.0, 100.0, inf}, {0.01, 1.0, 0.0}, {0.0, 0.0, 1.0}},
       {{1.0, 0.78125, inf}, {1.28, 1.0, 0.0}, {0.0, 0.0, 1.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix a = from_rows(c.a);
    balance_mod::balance(a.view(), static_cast<int32_t>(a.rows()));
    expect_same(a, from_rows(c.expected.empty() ? c.a : c.expected));
  }
}

// Sums far apart need factors near the ends of the exponent range: the diagonal must come back
// exactly as it was and no finite entry may turn into inf or NaN.
TEST(Balance, ExtremeScalesKeepTheDiagonalAndStayFinite) {
  struct Case {
    const char* name;
    std::vector<std::vector<double>> a;
    std::vector<std::vector<double>> expected;
  };
  const std::vector<Case> cases = {
      {"factor beyond the largest double", {{1.1, 1e300}, {1e-320, 1.0}}, {}},
      {"reciprocal factor beyond the largest double", {{1.1, 1e-320}, {1e300, 1.0}}, {}},
      {"huge diagonal, row scaled up",
       {{1e300, 1e-10}, {1e10, 1.0}},
       {{1e300, std::ldexp(1e-10, 33)}, {std::ldexp(1e10, -33), 1.0}}},
      {"tiny diagonal, row scaled down",
       {{1.1e-300, 1e10}, {1e-10, 1.0}},
       {{1.1e-300, std::ldexp(1e10, -33)}, {std::ldexp(1e-10, 33), 1.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix a = from_rows(c.a);
    balance_mod::balance(a.view(), static_cast<int32_t>(a.rows()));
    expect_same(a, from_rows(c.expected.empty() ? c.a : c.expected));
  }
}

TEST(Balance, EmptyOrderDoesNothing) {
  Matrix a = from_rows({{1.0, 100.0}, {0.01, 1.0}});
  balance_mod::balance(a.view(), 0);
  EXPECT_EQ(a(1, 2), 100.0);
}

// Random matrices with entries spread over 20 decades: the result must be D^-1 A D with D a
// diagonal of powers of 2 (so the diagonal and every product a(i,j) a(j,i) are kept exactly),
// and every row must end up balanced against its column.
TEST(Balance, IsAPowerOfTwoSimilarityThatBalances) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> decade(-10, 10);
  for (long n = 2; n <= 10; ++n) {
    for (int trial = 0; trial < 10; ++trial) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", trial " << trial);
      Matrix a(n, n);
      for (long j = 1; j <= n; ++j) {
        for (long i = 1; i <= n; ++i) a(i, j) = mant(rng) * std::pow(10.0, decade(rng));
      }
      Matrix b = a;
      balance_mod::balance(b.view(), static_cast<int32_t>(n));
      // D(j) from row 1: b(1,j) = a(1,j) D(j) / D(1), D(1) = 1.
      std::vector<double> dg(n + 1, 1.0);
      for (long j = 2; j <= n; ++j) {
        dg[j] = b(1, j) / a(1, j);
        int e = 0;
        ASSERT_EQ(std::frexp(dg[j], &e), 0.5) << "factor " << dg[j] << " of column " << j;
      }
      for (long j = 1; j <= n; ++j) {
        for (long i = 1; i <= n; ++i) ASSERT_EQ(b(i, j), a(i, j) * dg[j] / dg[i]);
      }
      for (long i = 1; i <= n; ++i) {
        double csum = 0.0;
        double rsum = 0.0;
        for (long j = 1; j <= n; ++j) {
          if (j == i) continue;
          csum += std::fabs(b(j, i));
          rsum += std::fabs(b(i, j));
        }
        // A ratio beyond about 2.3 would still let a factor of 2 gain 5 %.
        EXPECT_LT(csum / rsum, 2.5);
        EXPECT_GT(csum / rsum, 1.0 / 2.5);
      }
    }
  }
}

}  // namespace
