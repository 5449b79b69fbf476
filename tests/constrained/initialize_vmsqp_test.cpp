#include "constrained/initialize_vmsqp.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/common_data.hpp"
#include "constrained/sqp_fixture.hpp"
#include "support/close.hpp"

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

class ModelFunction : public sqptest::SqpFixture {};

TEST_F(ModelFunction, ReturnsThePlainSumWhateverTheWeightingMode) {
  // Mode 1 would divide by common_data::ysig; the method's divisors are all 1.0 instead.
  for (int32_t k = 1; k <= kRows; ++k) common_data::ysig(k) = 0.5;
  const std::vector<double> p = {4.0, 0.25};
  for (int32_t mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    std::vector<double> sigma(kRows, kNan), yfit(kRows, kNan), resid(kRows, kNan);
    double s = kNan;
    initialize_vmsqp::model_function(kRows,
                                     2,
                                     1,
                                     mode,
                                     VecView<const double>(p.data(), 2),
                                     VecView<double>(sigma.data(), kRows),
                                     VecView<const double>(xdat_.data(), kRows),
                                     VecView<const double>(y_.data(), kRows),
                                     VecView<double>(yfit.data(), kRows),
                                     VecView<double>(resid.data(), kRows),
                                     s);
    EXPECT_NEAR_REL(s, ssr(p), 1e-13);
    for (int32_t k = 0; k < kRows; ++k) {
      EXPECT_EQ(sigma[k], 1.0);
      EXPECT_NEAR_REL(yfit[k], 4.0 * std::exp(-0.25 * xdat_[k]), 1e-14);
      EXPECT_EQ(resid[k], y_[k] - yfit[k]);
    }
  }
}

TEST_F(ModelFunction, ReadsTheXColumnsOfCommonDataNotXdat) {
  use_formula("P1*X1+P2*X2");
  for (int32_t k = 1; k <= kRows; ++k) {
    common_data::xd(k) = k;
    common_data::xd2(k) = 10.0 * k;
  }
  const std::vector<double> p = {1.0, 1.0};
  const std::vector<double> ignored(kRows, kNan);
  std::vector<double> sigma(kRows), yfit(kRows), resid(kRows);
  double s = kNan;
  initialize_vmsqp::model_function(kRows,
                                   2,
                                   2,
                                   0,
                                   VecView<const double>(p.data(), 2),
                                   VecView<double>(sigma.data(), kRows),
                                   VecView<const double>(ignored.data(), kRows),
                                   VecView<const double>(y_.data(), kRows),
                                   VecView<double>(yfit.data(), kRows),
                                   VecView<double>(resid.data(), kRows),
                                   s);
  EXPECT_EQ(yfit[0], 11.0);
  EXPECT_EQ(yfit[11], 132.0);
}

TEST_F(ModelFunction, NoRowsGiveAZeroSum) {
  const std::vector<double> p = {4.0, 0.25};
  std::vector<double> none(1, kNan);
  double s = kNan;
  initialize_vmsqp::model_function(0,
                                   2,
                                   1,
                                   0,
                                   VecView<const double>(p.data(), 2),
                                   VecView<double>(none.data(), 0),
                                   VecView<const double>(none.data(), 0),
                                   VecView<const double>(none.data(), 0),
                                   VecView<double>(none.data(), 0),
                                   VecView<double>(none.data(), 0),
                                   s);
  EXPECT_EQ(s, 0.0);
}

TEST(Constraints, LayoutAndGradientsFollowTheMask) {
  // c = (lo - x, x - hi), fixed parameters included; A rows of fixed parameters stay 0.
  const std::vector<double> x = {1.0, -2.0, 3.0};
  const std::vector<double> lo = {0.5, -1.0, 3.0};
  const std::vector<double> hi = {2.0, 4.0, 3.5};
  const std::vector<int32_t> mask = {1, 0, 1};
  std::vector<double> c(6, kNan);
  initialize_vmsqp::evaluate_constraints(VecView<const double>(x.data(), 3),
                                         3,
                                         VecView<double>(c.data(), 6),
                                         6,
                                         VecView<const double>(lo.data(), 3),
                                         VecView<const double>(hi.data(), 3));
  EXPECT_EQ(c, (std::vector<double>{-0.5, 1.0, 0.0, -1.0, -6.0, -0.5}));

  std::vector<double> a(6 * 3, kNan);
  initialize_vmsqp::compute_constraint_gradients(
      MatView<double>(a.data(), 6, 3, 6), 6, 3, VecView<const int32_t>(mask.data(), 3));
  const std::vector<double> expected = {-1,
                                        0,
                                        0,
                                        1,
                                        0,
                                        0,  // column 1
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,  // column 2: fixed
                                        0,
                                        0,
                                        -1,
                                        0,
                                        0,
                                        1};  // column 3
  EXPECT_EQ(a, expected);
}

}  // namespace
