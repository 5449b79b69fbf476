#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "constrained/vmcwd_vmcon_mod.hpp"
#include "numerics/farray.hpp"

namespace {

namespace vm = vmcwd_vmcon_mod;

using Inverse = std::function<int32_t(MatView<double>, int32_t)>;

struct Method {
  const char* name;
  Inverse inv;
};

const Method kMethods[] = {{"mb01cd2", vm::mb01cd2}, {"mb01bd", vm::mb01bd}};

// A row-major n x n matrix placed in a working matrix of leading dimension 50, as the QP step
// passes it.
FMatrix<double, 50, 50> working(int32_t n, const std::vector<double>& rows) {
  FMatrix<double, 50, 50> a;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = 1; j <= n; ++j) a(i, j) = rows[(i - 1) * n + (j - 1)];
  }
  return a;
}

TEST(VmconInverse, InvertsTheLeadingBlock) {
  struct Case {
    const char* what;
    int32_t n;
    std::vector<double> a;
  };
  const Case cases[] = {
      {"1 x 1", 1, {4.0}},
      {"needs a row interchange", 3, {0.0, 2.0, 1.0, 1.0, 1.0, 0.0, 3.0, 0.0, 1.0}},
      {"symmetric KKT-like", 4, {2, 1, 1, 0, 1, 3, 0, -1, 1, 0, 0, 0, 0, -1, 0, 0}},
      {"dense", 5, {5, 1, 2, 0, 1, 1, 6, 1, 2, 0, 2, 1, 7, 1, 3, 0, 2, 1, 8, 1, 1, 0, 3, 1, 9}},
  };
  for (const Method& m : kMethods) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(m.name) + ": " + c.what);
      FMatrix<double, 50, 50> a = working(c.n, c.a);
      a(c.n + 1, c.n + 1) = 7.0;  // outside the block: must stay as it is
      ASSERT_EQ(m.inv(a.view(), c.n), 0);
      EXPECT_EQ(a(c.n + 1, c.n + 1), 7.0);
      for (int32_t i = 1; i <= c.n; ++i) {
        for (int32_t j = 1; j <= c.n; ++j) {
          double s = 0.0;
          for (int32_t k = 1; k <= c.n; ++k) s += c.a[(i - 1) * c.n + (k - 1)] * a(k, j);
          // Well-conditioned matrices: the product is the identity to rounding.
          EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-14) << "(" << i << ", " << j << ")";
        }
      }
    }
  }
}

TEST(VmconInverse, PermutationIsItsOwnInverse) {
  for (const Method& m : kMethods) {
    SCOPED_TRACE(m.name);
    FMatrix<double, 50, 50> a = working(2, {0.0, 1.0, 1.0, 0.0});
    ASSERT_EQ(m.inv(a.view(), 2), 0);
    EXPECT_EQ(a(1, 1), 0.0);
    EXPECT_EQ(a(1, 2), 1.0);
    EXPECT_EQ(a(2, 1), 1.0);
    EXPECT_EQ(a(2, 2), 0.0);
  }
}

TEST(VmconInverse, ZeroPivotIsReported) {
  for (const Method& m : kMethods) {
    SCOPED_TRACE(m.name);
    FMatrix<double, 50, 50> one = working(1, {0.0});
    EXPECT_EQ(m.inv(one.view(), 1), 1);
    EXPECT_EQ(one(1, 1), 0.0);  // unchanged
    FMatrix<double, 50, 50> rank1 = working(2, {1.0, 2.0, 2.0, 4.0});
    EXPECT_EQ(m.inv(rank1.view(), 2), 2);
    FMatrix<double, 50, 50> none = working(1, {3.0});
    EXPECT_EQ(m.inv(none.view(), 0), 0);
    EXPECT_EQ(none(1, 1), 3.0);  // n < 1 does nothing
  }
}

}  // namespace
