#include "constrained/smooth_constraints.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/close.hpp"

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(SmoothConstraints, MapsValuesAndChargesPenalties) {
  // Box [2, 4] (range 2), scale 10, smoothness 0.1: z = 6.25 (|t| - 0.5).
  struct Case {
    const char* what;
    double x;
    double xadj;
    double penalty;
  };
  const double up = (std::tanh(3.75) + 1.0) / 2.0;    // t = 1.1
  const double down = (std::tanh(-2.5) + 1.0) / 2.0;  // t = -0.1
  const Case cases[] = {
      {"inside: unchanged, no penalty", 3.1, 3.1, 0.0},
      {"on the lower bound", 2.0, 2.0, 0.0},
      {"on the upper bound", 4.0, 4.0, 0.0},
      {"just above hi maps just below it", 4.2, 2.0 + 2.0 * up, 10.0 * std::exp(0.2)},
      {"just below lo maps below lo", 1.8, 2.0 - 2.0 * down, 10.0 * std::exp(0.2)},
      {"56.5 ranges above: hi", 4.0 + 2.0 * 56.6, 4.0, 100.0},
      {"56.5 ranges below: also hi", 2.0 - 2.0 * 56.6, 4.0, 100.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double xadj = kNan;
    double penalty = 1.0;  // the routine adds to it
    smooth_constraints::apply_smooth_bounds(c.x, 2.0, 4.0, 10.0, 0.1, xadj, penalty);
    EXPECT_NEAR_REL(xadj, c.xadj, 1e-15);
    EXPECT_NEAR_REL(penalty, 1.0 + c.penalty, 1e-14);
  }
  // The documented fractions of the range.
  EXPECT_NEAR(up, 0.99945, 1e-5);
  EXPECT_NEAR(down, 0.0067, 1e-4);
}

TEST(SmoothConstraints, InBoxValueIsReturnedBitIdentical) {
  // lo + range * t would round 0.1 + 0.2 * ((0.3 - 0.1) / 0.2) to 0.30000000000000004.
  double xadj = 0.0;
  double penalty = 0.0;
  smooth_constraints::apply_smooth_bounds(0.3, 0.1, 0.3 + 1e-16, 10.0, 0.1, xadj, penalty);
  EXPECT_EQ(xadj, 0.3);
  smooth_constraints::apply_smooth_bounds(0.7, 0.1, 0.9, 10.0, 0.1, xadj, penalty);
  EXPECT_EQ(xadj, 0.7);
  EXPECT_EQ(penalty, 0.0);
}

TEST(SmoothConstraints, ZeroRangeBoxPassesTheValueThrough) {
  // t = 0/0 is NaN: every comparison fails and x comes back; no bound is violated.
  double xadj = kNan;
  double penalty = 0.0;
  smooth_constraints::apply_smooth_bounds(0.0, 0.0, 0.0, 10.0, 0.1, xadj, penalty);
  EXPECT_EQ(xadj, 0.0);
  EXPECT_EQ(penalty, 0.0);
}

TEST(SmoothConstraints, OverflowingPenaltyCountsAsExactlyOneHundred) {
  double xadj = 0.0;
  double penalty = 0.0;
  smooth_constraints::apply_smooth_bounds(-1000.0, 1.0, 2.0, 10.0, 0.1, xadj, penalty);
  EXPECT_EQ(penalty, 100.0);
  EXPECT_EQ(xadj, 2.0);  // more than 56.5 ranges out
  penalty = 0.0;
  smooth_constraints::apply_smooth_bounds(42.0, 1.0, 2.0, 10.0, 0.1, xadj, penalty);
  EXPECT_NEAR_REL(penalty, 10.0 * std::exp(40.0), 1e-14);  // large but below the cap
}

TEST(SmoothConstraints, AdjustmentCopiesFixedParametersWithoutPenalty) {
  std::vector<double> x = {5.0, 5.0, 1.5};
  std::vector<double> lo = {1.0, 1.0, 1.0};
  std::vector<double> hi = {2.0, 2.0, 2.0};
  std::vector<int32_t> mask = {0, 1, 1};
  std::vector<double> xadj(3, kNan);
  double penalty = kNan;
  smooth_constraints::smooth_constraint_adjustment(VecView<const double>(x.data(), 3),
                                                   VecView<const double>(lo.data(), 3),
                                                   VecView<const double>(hi.data(), 3),
                                                   VecView<const int32_t>(mask.data(), 3),
                                                   3,
                                                   VecView<double>(xadj.data(), 3),
                                                   penalty);
  EXPECT_EQ(xadj[0], 5.0);
  EXPECT_EQ(xadj[1], 2.0);  // t = 4: z = 21.875, whose tanh rounds to 1
  EXPECT_EQ(xadj[2], 1.5);
  EXPECT_NEAR_REL(penalty, 10.0 * std::exp(3.0), 1e-14);
}

TEST(SmoothConstraints, NanBoundMovesNothing) {
  std::vector<double> x = {1.0};
  std::vector<double> lo = {kNan};
  std::vector<double> hi = {2.0};
  std::vector<int32_t> mask = {1};
  std::vector<double> xadj(1);
  double penalty = 0.0;
  // A NaN bound leaves the value alone; the penalty stays finite.
  smooth_constraints::smooth_constraint_adjustment(VecView<const double>(x.data(), 1),
                                                   VecView<const double>(lo.data(), 1),
                                                   VecView<const double>(hi.data(), 1),
                                                   VecView<const int32_t>(mask.data(), 1),
                                                   1,
                                                   VecView<double>(xadj.data(), 1),
                                                   penalty);
  EXPECT_EQ(xadj[0], 1.0);
  EXPECT_EQ(penalty, 0.0);
}

TEST(SmoothConstraints, GradientDifferencesThePenaltyOfFreeParameters) {
  // d/dx 100 exp(x - hi) above the box; 0 inside it and for fixed parameters.
  std::vector<double> x = {3.0, 1.5, 9.0};
  std::vector<double> lo = {1.0, 1.0, 1.0};
  std::vector<double> hi = {2.0, 2.0, 2.0};
  std::vector<int32_t> mask = {1, 1, 0};
  std::vector<double> grad(3, kNan);
  smooth_constraints::smooth_constraint_gradient(VecView<const double>(x.data(), 3),
                                                 VecView<const double>(lo.data(), 3),
                                                 VecView<const double>(hi.data(), 3),
                                                 VecView<const int32_t>(mask.data(), 3),
                                                 3,
                                                 VecView<double>(grad.data(), 3));
  EXPECT_NEAR_REL(grad[0], 100.0 * std::exp(1.0), 1e-7);  // central difference, h = 4e-8
  EXPECT_EQ(grad[1], 0.0);
  EXPECT_EQ(grad[2], 0.0);

  std::vector<double> untouched = {kNan};
  smooth_constraints::smooth_constraint_gradient(VecView<const double>(x.data(), 1),
                                                 VecView<const double>(lo.data(), 1),
                                                 VecView<const double>(hi.data(), 1),
                                                 VecView<const int32_t>(mask.data(), 1),
                                                 0,
                                                 VecView<double>(untouched.data(), 1));
  EXPECT_TRUE(std::isnan(untouched[0]));
}

}  // namespace
