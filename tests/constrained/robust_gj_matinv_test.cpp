#include "constrained/robust_gj_matinv.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/close.hpp"

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// A column-major n x n matrix from rows written out.
std::vector<double> by_columns(int n, std::vector<double> rows) {
  std::vector<double> a(n * n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) a[i + j * n] = rows[i * n + j];
  }
  return a;
}

MatView<double> view(std::vector<double>& a, int n) { return MatView<double>(a.data(), n, n, n); }

// max |(a * b - I)(i, j)|
double distance_from_identity(const std::vector<double>& a, const std::vector<double>& b, int n) {
  double worst = 0.0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double s = i == j ? -1.0 : 0.0;
      for (int k = 0; k < n; ++k) s += a[i + k * n] * b[k + j * n];
      worst = std::fmax(worst, std::fabs(s));
    }
  }
  return worst;
}

TEST(RobustGjMatInv, IdentityComesBackUnchangedWithStatusOne) {
  for (int sw : {0, 1}) {
    SCOPED_TRACE(sw);
    std::vector<double> a = by_columns(3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    const std::vector<double> identity = a;
    int32_t status = -1;
    robust_gj_matinv::robust_gj_mat_inv(view(a, 3), 3, status, sw);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(a, identity);
  }
}

TEST(RobustGjMatInv, InvertsAGeneralMatrixThatNeedsRowExchanges) {
  // Zero leading element and rows of very different scale.
  const std::vector<double> a0 = by_columns(3, {0, 2, 1, 1e3, 1e3, 3e3, 4, 0, 1});
  for (int sw : {0, 1}) {
    SCOPED_TRACE(sw);
    std::vector<double> a = a0;
    int32_t status = -1;
    robust_gj_matinv::robust_gj_mat_inv(view(a, 3), 3, status, sw);
    EXPECT_EQ(status, 1);
    // Rounding bound: n * eps * max |a_ij| * max |ainv_ij| is about 2e-12 here.
    EXPECT_LT(distance_from_identity(a0, a, 3), 2e-12);
  }
}

TEST(RobustGjMatInv, PoorPivotRatioInvertsButIsNotTrusted) {
  // Pivot ratio 1e-9 < sqrt(eps): the inverse is right, the status says not to trust it.
  std::vector<double> a = by_columns(2, {1, 0, 0, 1e-9});
  int32_t status = -1;
  robust_gj_matinv::robust_gj_mat_inv(view(a, 2), 2, status, 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(a[0], 1.0);
  EXPECT_NEAR_REL(a[3], 1e9, 1e-15);
  EXPECT_EQ(a[1], 0.0);
  EXPECT_EQ(a[2], 0.0);
}

TEST(RobustGjMatInv, RefusesBeforeEliminating) {
  struct Case {
    const char* what;
    int n;
    std::vector<double> rows;
  };
  const Case cases[] = {
      {"zero row", 2, {1, 2, 0, 0}},
      {"tiny row", 2, {1, 2, 1e-21, 1e-21}},
      {"NaN row", 2, {1, 2, kNan, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> a = by_columns(c.n, c.rows);
    const std::vector<double> before = a;
    int32_t status = -1;
    robust_gj_matinv::robust_gj_mat_inv(view(a, c.n), c.n, status, 0);
    EXPECT_EQ(status, 0);
    for (size_t k = 0; k < a.size(); ++k) {
      if (!std::isnan(before[k])) {
        EXPECT_EQ(a[k], before[k]);
      }
    }
  }
}

TEST(RobustGjMatInv, EmptyAndSingularMatricesGiveStatusZero) {
  std::vector<double> none(1, 7.0);
  int32_t status = -1;
  robust_gj_matinv::robust_gj_mat_inv(view(none, 0), 0, status, 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(none[0], 7.0);

  for (int sw : {0, 1}) {
    SCOPED_TRACE(sw);
    std::vector<double> a = by_columns(2, {1, 2, 2, 4});
    status = -1;
    robust_gj_matinv::robust_gj_mat_inv(view(a, 2), 2, status, sw);
    EXPECT_EQ(status, 0);
  }
}

TEST(RobustGjMatInv, PreconditionedMatrixNeverPassesForAnInverse) {
  // Nearly singular (reciprocal condition about 1e-13): the condition test replaces it by its
  // SSOR preconditioner, whose inverse is no inverse of the matrix: status 0.
  std::vector<double> a = by_columns(2, {1, 1, 1, 1 + 4e-13});
  int32_t status = -1;
  robust_gj_matinv::robust_gj_mat_inv(view(a, 2), 2, status, 1);
  EXPECT_EQ(status, 0);
}

TEST(SsorPreconditionMatrix, LeavesWellConditionedMatricesAlone) {
  std::vector<double> a = by_columns(2, {4, 1, 2, 3});
  std::vector<double> p(4, kNan);
  EXPECT_FALSE(robust_gj_matinv::ssor_precondition_matrix(
      MatView<const double>(a.data(), 2, 2, 2), view(p, 2), 2, 1.2));
  EXPECT_EQ(p, a);
}

TEST(SsorPreconditionMatrix, BuildsTheSsorMatrixOfAFlaggedMatrix) {
  // Rows (1, 1; 1, 1 + 1e-10): r about 2.5e-11, between eps and sqrt(eps), so no shift.
  // M = (D + wL) D^-1 (D + wU) / (w (2 - w)) with D = diag(1, 1 + 1e-10), w = 1.2:
  //   M11 = d1, M12 = w u12, M21 = w l21, M22 = (w^2 l21 u12 / d1 + d2), all / 0.96.
  const double d2 = 1.0 + 1e-10;
  std::vector<double> a = by_columns(2, {1, 1, 1, d2});
  std::vector<double> p(4, kNan);
  EXPECT_TRUE(robust_gj_matinv::ssor_precondition_matrix(
      MatView<const double>(a.data(), 2, 2, 2), view(p, 2), 2, 1.2));
  const double scale = 1.0 / (1.2 * 0.8);
  EXPECT_NEAR_REL(p[0], 1.0 * scale, 1e-15);
  EXPECT_NEAR_REL(p[2], 1.2 * scale, 1e-15);
  EXPECT_NEAR_REL(p[1], 1.2 * scale, 1e-15);
  EXPECT_NEAR_REL(p[3], (1.44 + d2) * scale, 1e-15);
}

TEST(SsorPreconditionMatrix, ShiftsTheDiagonalOfASingularMatrixAndFloorsTinyDiagonals) {
  // Singular: every diagonal element is first raised by |mean diagonal| * 1.5625e-10; a
  // zero diagonal element of the preconditioner's D is then taken as 1.
  std::vector<double> a = by_columns(2, {2, 2, 2, 2});
  std::vector<double> p(4, kNan);
  EXPECT_TRUE(robust_gj_matinv::ssor_precondition_matrix(
      MatView<const double>(a.data(), 2, 2, 2), view(p, 2), 2, 1.2));
  const double d = 2.0 + 2.0 * 1.5625000173284136e-10;
  const double scale = 1.0 / (1.2 * 0.8);
  EXPECT_NEAR_REL(p[0], d * scale, 1e-15);
  EXPECT_NEAR_REL(p[3], (1.44 * 4.0 / d + d) * scale, 1e-15);

  std::vector<double> z = by_columns(2, {0, 1, 0, 0});  // zero diagonal, singular
  EXPECT_TRUE(robust_gj_matinv::ssor_precondition_matrix(
      MatView<const double>(z.data(), 2, 2, 2), view(p, 2), 2, 1.2));
  EXPECT_NEAR_REL(p[0], scale, 1e-15);        // D11 = 1
  EXPECT_NEAR_REL(p[2], 1.2 * scale, 1e-15);  // w u12
  EXPECT_EQ(p[1], 0.0);
  EXPECT_NEAR_REL(p[3], scale, 1e-15);
}

}  // namespace
