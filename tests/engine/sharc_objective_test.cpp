#include "engine/sharc_objective.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "engine/engine_fixture.hpp"
#include "support/close.hpp"

namespace {

using enginetest::EngineFixture;
using sharc_mod::kClampLimit;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kRel = 1e-13;  // sums of eight terms: a few ulps of rounding

using SharcObjective = EngineFixture;

// sharc_mod::funcs over the rows of x and y with unit sigma and weighting mode 0; yf is resized
// and filled; returns fval.
double run_funcs(const std::vector<double>& x,
                 const std::vector<double>& y,
                 std::vector<double>& yf,
                 const std::vector<double>& p) {
  const int32_t n = static_cast<int32_t>(y.size());
  const std::vector<double> sig(n, 1.0);
  yf.assign(n, kNan);
  double f = kNan;
  sharc_mod::funcs(MatView<const double>(x.data(), n, 1, n),
                   VecView<const double>(y.data(), n),
                   VecView<double>(yf.data(), n),
                   VecView<const double>(sig.data(), n),
                   1,
                   n,
                   0,
                   VecView<const double>(p.data(), static_cast<long>(p.size())),
                   static_cast<int32_t>(p.size()),
                   f);
  return f;
}

TEST_F(SharcObjective, ClampLimitIsTheStatedDouble) {
  EXPECT_EQ(kClampLimit, 45035997272620007424.0);
  EXPECT_EQ(kClampLimit, 0x1.3880007449fd0p+65);
}

TEST_F(SharcObjective, FuncsReturnsTheSumAndPublishesTheEvaluation) {
  common_data::fssqr = kNan;
  const double f = run_funcs(x_, y_, yf_, {2.5, 0.3});
  EXPECT_NEAR_REL(f, ssq(2.5, 0.3), kRel);
  EXPECT_EQ(common_data::fssqr, f);
  EXPECT_EQ(common_data::pfinal(1), 2.5);
  EXPECT_EQ(common_data::pfinal(2), 0.3);
  for (int32_t i = 1; i <= kRows; ++i) {
    SCOPED_TRACE(i);
    const double fitted = 2.5 * std::exp(-0.3 * x_[i - 1]);
    EXPECT_NEAR_REL(yf_[i - 1], fitted, kRel);
    EXPECT_EQ(common_data::ydf(i), yf_[i - 1]);
    EXPECT_EQ(common_data::yres(i), y_[i - 1] - yf_[i - 1]);  // the real residuals
    EXPECT_NE(common_data::yres(i), 0.0);
    EXPECT_EQ(common_data::yd(i), y_[i - 1]);
    EXPECT_EQ(common_data::xd(i), x_[i - 1]);
    EXPECT_EQ(common_data::xnx(i, 1), x_[i - 1]);
    EXPECT_EQ(common_data::ysig(i), 1.0);
  }
}

TEST_F(SharcObjective, BoundsApplyOnlyOnAFirstPassOutsideRestart) {
  struct Case {
    int32_t first_pass;
    int32_t bpostrun;
    bool bounded;
  };
  const Case cases[] = {{1, 0, true}, {0, 0, false}, {1, 1, false}, {0, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "first pass " << c.first_pass << " bpostrun " << c.bpostrun);
    make_state(c.first_pass);
    globals::bpostrun = c.bpostrun;  // read at every evaluation, as the cascade's argument is
    // P1 = 9.8 lies within 5 % of the upper bound 10: the rule moves it to 5.
    std::vector<double> p = {9.8, 0.4};
    double f = kNan;
    state_->func(VecView<double>(p.data(), 2), 2, f);
    const double p1 = c.bounded ? 5.0 : 9.8;
    EXPECT_EQ(p[0], p1);  // func writes the bounded vector back
    EXPECT_EQ(p[1], 0.4);
    EXPECT_NEAR_REL(f, ssq(p1, 0.4), kRel);  // the rule does not double the value
    EXPECT_EQ(common_data::pfinal(1), p1);
  }
}

TEST_F(SharcObjective, F1dimWorksOnACopy) {
  std::vector<double> p = {9.8, 0.4};
  double f = kNan;
  state_->f1dim(VecView<double>(p.data(), 2), 2, f);
  EXPECT_EQ(p[0], 9.8);
  EXPECT_NEAR_REL(f, ssq(5.0, 0.4), kRel);

  double yfi = kNan, f2 = kNan;
  state_->f1dim2(3, VecView<const double>(p.data(), 2), yfi, f2, 2);
  EXPECT_EQ(p[0], 9.8);
  EXPECT_EQ(f2, f);
  EXPECT_NEAR_REL(yfi, 5.0 * std::exp(-0.4 * 3), kRel);
  state_->f1dim2(kRows + 1, VecView<const double>(p.data(), 2), yfi, f2, 2);
  EXPECT_EQ(yfi, kClampLimit);

  // The procedure form hands to methods that take the objective as an argument.
  sharc_mod::ObjectiveFn fn = state_->f1dim_fn();
  double f3 = kNan;
  fn(VecView<double>(p.data(), 2), 2, f3);
  EXPECT_EQ(f3, f);
  EXPECT_EQ(p[0], 9.8);
}

TEST_F(SharcObjective, NanAndOverflowNeverLeaveTheChain) {
  struct Case {
    const char* what;
    double y5;
  };
  // Both observations count as L; the residual of about L squared is past L, so the sum is L.
  const Case cases[] = {{"NaN observation", kNan}, {"observation past 2^53", 1e200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    y_[4] = c.y5;
    make_state(1);  // a state reads the observations once, when it is built
    std::vector<double> p = {3.0, 0.4};
    double f = kNan;
    state_->func(VecView<double>(p.data(), 2), 2, f);
    EXPECT_EQ(f, kClampLimit);
    EXPECT_EQ(common_data::yd(5), kClampLimit);
    // The caller's y is not changed.
    if (std::isnan(c.y5)) {
      EXPECT_TRUE(std::isnan(y_[4]));
    } else {
      EXPECT_EQ(y_[4], c.y5);
    }
    for (double v : yf_) EXPECT_TRUE(std::isfinite(v));
  }
}

TEST_F(SharcObjective, SpecialModelsUseTheLeastObservation) {
  globals::nmdl = 4000;
  common_data::fssqr = -7.0;
  y_ = {5, kNan, 2, 9};
  std::vector<double> yf;
  const std::vector<double> x = {1, 2, 3, 4};
  double f = run_funcs(x, y_, yf, {1.0, 1.0});
  EXPECT_EQ(yf[0], 2.0);
  EXPECT_EQ(yf[1], 0.0);
  EXPECT_EQ(yf[3], 0.0);
  // (5-2)^2 + NaN^2 + 4 + 81 is NaN: the guard turns it into L.
  EXPECT_EQ(f, kClampLimit);
  EXPECT_EQ(common_data::fssqr, -7.0);  // nothing published

  y_ = {5, 3, 2, 9};
  f = run_funcs(x, y_, yf, {1.0, 1.0});
  EXPECT_EQ(f, 103.0);  // residuals (3, 3, 2, 9)
  EXPECT_EQ(common_data::fssqr, -7.0);
}

TEST_F(SharcObjective, Pbounds3FollowsTheBoundsRule) {
  struct Case {
    double lo, hi, x, expected;
    bool doubled;
  };
  const Case cases[] = {
      {0, 0, 123.0, 0, true},  // both bounds 0: m(0) lies above them, so to the bound
      {0, 0, -4.0, 0, true},
      {2, 10, 0, 5.0, true},                   // 0.95*10 < 100: half the upper bound
      {0, 1000, 0, 15.811388300841896, true},  // only the lower test fires
      {-1000, 1000, 0, 0, false},              // neither test fires
      {-10, -1, -20, -10, true},  // past both: the positive reset lies outside, the bound
      {1, 10, 5, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lo " << c.lo << " hi " << c.hi << " x " << c.x);
    double x = c.x, lo = c.lo, hi = c.hi, fval = 3.0;
    sharc_mod::pbounds3(VecView<double>(&x, 1),
                        1,
                        VecView<const double>(&lo, 1),
                        VecView<const double>(&hi, 1),
                        fval);
    EXPECT_NEAR_REL(x, c.expected, 1e-15);
    EXPECT_EQ(fval, c.doubled ? 6.0 : 3.0);
  }
}

TEST_F(SharcObjective, Pbounds3LeavesNanAndFixedParametersAndDoublesOnce) {
  double x[3] = {kNan, 50.0, 9.9}, lo[3] = {1, 1, 1}, hi[3] = {10, 10, 10}, fval = 2.0;
  common_data::pmask(2) = 0;
  sharc_mod::pbounds3(
      VecView<double>(x, 3), 3, VecView<const double>(lo, 3), VecView<const double>(hi, 3), fval);
  EXPECT_TRUE(std::isnan(x[0]));
  EXPECT_EQ(x[1], 50.0);  // fixed, far outside its bounds
  EXPECT_EQ(x[2], 5.0);
  EXPECT_EQ(fval, 4.0);

  x[2] = 9.9;
  x[0] = 9.7;
  fval = 2.0;
  sharc_mod::pbounds3(
      VecView<double>(x, 3), 3, VecView<const double>(lo, 3), VecView<const double>(hi, 3), fval);
  EXPECT_EQ(x[0], 5.0);
  EXPECT_EQ(x[2], 5.0);
  EXPECT_EQ(fval, 4.0);  // two moves, one doubling
}

}  // namespace
