#include "optimizers/bounds_rule.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/common_data.hpp"
#include "optimizers/optim_support.hpp"

namespace {

// Half the square root of s: the reset point of the lower test.
double r(double s) { return 0.5 * std::sqrt(s); }

struct Case {
  double lo, hi, x, expected;
};

class BoundsRule : public ::testing::Test {
 protected:
  void SetUp() override {
    common_data::reset();
    for (int i = 1; i <= common_data::max_params; ++i) common_data::pmask(i) = 1;
  }
  // Runs pbounds3 on one parameter; returns the new value and the ssq it left (ssq starts at 3).
  std::pair<double, double> run(double lo, double hi, double x) {
    double vx = x, vlo = lo, vhi = hi, ssq = 3.0;
    bounds_rule::pbounds3(VecView<double>(&vx, 1),
                          1,
                          VecView<const double>(&vlo, 1),
                          VecView<const double>(&vhi, 1),
                          ssq);
    return {vx, ssq};
  }
};

TEST_F(BoundsRule, MovesAndKeepsValuesAsTheRuleStates) {
  const Case cases[] = {
      {1, 10, 9.6, 5.0},       // within 5 % of hi
      {1, 10, 9.4, 9.4},       // inside
      {1, 10, 1.04, r(9)},     // within 5 % of lo: half the root of the span
      {1, 10, 1.06, 1.06},     // inside
      {-10, -1, -0.9, -1.5},   // past the negative upper bound: 1.5*hi
      {-10, -1, -9.6, r(11)},  // past the narrowed lower bound: positive reset by the sum
      {-5, 200, 0, r(195)},    // zero reads -100 against the lower bound
      {-200, 200, 0, 0},       // zero inside both tests
      {0, 0, 0, r(1e-15)},     // both tests move it, the floor applies
      {0, 10, 0, 5},           // upper test only
      {0, 10, 0.3, 0.3},       // 0.3 < 1.05*0 is false
      {-10, 0, -1, -1},
      {-10, 0, 0, r(10)},    // moved to 0 by the upper test, then reset above hi
      {1, 10, 50, 5},        // far above hi: half of hi, not hi
      {1, 10, 0.5, r(9)},    // below lo
      {1, 10, HUGE_VAL, 5},  // an infinite value is moved like a large one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lo " << c.lo << " hi " << c.hi << " x " << c.x);
    auto [x, ssq] = run(c.lo, c.hi, c.x);
    EXPECT_NEAR(x, c.expected, 1e-12 * std::fmax(1.0, std::fabs(c.expected)));
    EXPECT_EQ(ssq, x == c.x ? 3.0 : 6.0);
  }
  EXPECT_NEAR(r(11), 1.6583123951777, 1e-12);
}

TEST_F(BoundsRule, NanFixedAndEmptyAreLeftAlone) {
  auto [x, ssq] = run(1, 10, std::nan(""));
  EXPECT_TRUE(std::isnan(x));
  EXPECT_EQ(ssq, 3.0);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto [y, ssq2] = run(nan, nan, 9.9);  // NaN bounds make every comparison false
  EXPECT_EQ(y, 9.9);
  EXPECT_EQ(ssq2, 3.0);

  common_data::pmask(1) = 0;
  auto [z, ssq3] = run(1, 10, 9.99);
  EXPECT_EQ(z, 9.99);
  EXPECT_EQ(ssq3, 3.0);

  double v = 9.9, lo = 1, hi = 10, s = 3.0;
  bounds_rule::pbounds3(
      VecView<double>(&v, 1), 0, VecView<const double>(&lo, 1), VecView<const double>(&hi, 1), s);
  EXPECT_EQ(v, 9.9);
  EXPECT_EQ(s, 3.0);
}

TEST_F(BoundsRule, MaskIsLookedUpByPosition) {
  common_data::pmask(1) = 0;
  double x[3] = {9.6, 9.6, 9.6}, lo[3] = {1, 1, 1}, hi[3] = {10, 10, 10}, ssq = 1.0;
  bounds_rule::pbounds3(
      VecView<double>(x, 3), 3, VecView<const double>(lo, 3), VecView<const double>(hi, 3), ssq);
  EXPECT_EQ(x[0], 9.6);
  EXPECT_EQ(x[1], 5.0);
  EXPECT_EQ(x[2], 5.0);
  EXPECT_EQ(ssq, 2.0);
}

TEST_F(BoundsRule, SumDoublesOnceWhenSeveralMove) {
  double x[3] = {9.6, 9.7, 5.0}, lo[3] = {1, 1, 1}, hi[3] = {10, 10, 10}, ssq = 2.0;
  bounds_rule::pbounds3(
      VecView<double>(x, 3), 3, VecView<const double>(lo, 3), VecView<const double>(hi, 3), ssq);
  EXPECT_EQ(x[0], 5.0);
  EXPECT_EQ(x[1], 5.0);
  EXPECT_EQ(x[2], 5.0);
  EXPECT_EQ(ssq, 4.0);
}

TEST(OptimSupport, ClampTurnsNanIntoItsReplacement) {
  EXPECT_EQ(optim_support::clamp_nan(std::nan(""), -1, 1, 0.25), 0.25);
  EXPECT_EQ(optim_support::clamp_nan(5, -1, 1, 0.25), 1.0);
  EXPECT_EQ(optim_support::clamp_nan(-5, -1, 1, 0.25), -1.0);
  EXPECT_EQ(optim_support::clamp_nan(0.5, -1, 1, 0.25), 0.5);
  EXPECT_FALSE(optim_support::finite(std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(optim_support::finite(1e308));
}

}  // namespace
