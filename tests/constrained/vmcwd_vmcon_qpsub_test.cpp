#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "constrained/vmcwd_vmcon_mod.hpp"

namespace {

namespace vm = vmcwd_vmcon_mod;

constexpr double kTiny = double(1.0e-24f);  // the floor of a returned |multiplier|

// One QP of order n = 2: B, the gradient and the constraints set column by column.
class Qpsub : public ::testing::Test {
 protected:
  void SetUp() override { vm::reset(); }
  void TearDown() override { vm::reset(); }

  void set_b(double b11, double b12, double b22) {
    vm::vmvdb.b(1, 1) = b11;
    vm::vmvdb.b(1, 2) = vm::vmvdb.b(2, 1) = b12;
    vm::vmvdb.b(2, 2) = b22;
  }
  // Constraint i: a . d >= -value (or = for i <= meq).
  void constraint(int32_t i, double a1, double a2, double value) {
    cnorm_(1, i) = a1;
    cnorm_(2, i) = a2;
    c_(i) = value;
  }
  int32_t solve(int32_t m, int32_t meq, int32_t qpmode = 1) {
    for (int32_t i = 1; i <= vm::kDim; ++i) vm::vmvdb.lambda(i) = std::nan("");
    int32_t info = 0;
    vm::qpsub(2, m, meq, g_, c_, cnorm_, -1, info, qpmode);
    return info;
  }
  void expect_floor_multipliers(int32_t m) {
    for (int32_t i = 1; i <= m; ++i) {
      SCOPED_TRACE(i);
      EXPECT_GE(std::fabs(vm::vmvdb.lambda(i)), kTiny);
    }
  }

  vm::GradArray g_;
  vm::ConsArray c_;
  vm::ConsGrad cnorm_;
};

TEST_F(Qpsub, WithoutConstraintsSolvesTheNewtonStep) {
  set_b(2.0, 1.0, 3.0);
  g_(1) = 1.0;
  g_(2) = -2.0;
  ASSERT_EQ(solve(0, 0), vm::kConverged);
  // B d = -g: d = (-5/5, 5/5) = (-1, 1).
  EXPECT_NEAR(vm::vmvdb.d(1), -1.0, 1e-15);
  EXPECT_NEAR(vm::vmvdb.d(2), 1.0, 1e-15);
  EXPECT_EQ(vm::vmvdb.d(3), 1.0);  // xi at its upper bound
}

TEST_F(Qpsub, ActiveBoundCarriesTheMultiplier) {
  // Bounds in calcfg's layout: d_i >= -(x_i - lo_i), -d_i >= -(hi_i - x_i); only the upper
  // bound of parameter 1 (slack 0.5) stops the Newton step d = (3, -1).
  set_b(1.0, 0.0, 1.0);
  g_(1) = -3.0;
  g_(2) = 1.0;
  constraint(1, 1.0, 0.0, 10.0);
  constraint(2, 0.0, 1.0, 10.0);
  constraint(3, -1.0, 0.0, 0.5);
  constraint(4, 0.0, -1.0, 10.0);
  ASSERT_EQ(solve(4, 0), vm::kConverged);
  EXPECT_NEAR(vm::vmvdb.d(1), 0.5, 1e-14);
  EXPECT_NEAR(vm::vmvdb.d(2), -1.0, 1e-14);
  // B d + g = lambda_3 a_3: (0.5 - 3, 0) = lambda_3 (-1, 0).
  EXPECT_NEAR(vm::vmvdb.lambda(3), 2.5, 1e-13);
  for (int32_t i : {1, 2, 4}) EXPECT_EQ(vm::vmvdb.lambda(i), kTiny) << i;
}

TEST_F(Qpsub, EqualityHoldsItsComponentAtZero) {
  // A fixed parameter 2: equality e_2 . d = 0 first, then the bounds of both.
  set_b(2.0, 1.0, 2.0);
  g_(1) = -4.0;
  g_(2) = 3.0;
  constraint(1, 0.0, 1.0, 0.0);
  constraint(2, 1.0, 0.0, 10.0);
  constraint(3, 0.0, 1.0, 10.0);
  constraint(4, -1.0, 0.0, 10.0);
  constraint(5, 0.0, -1.0, 10.0);
  ASSERT_EQ(solve(5, 1), vm::kConverged);
  EXPECT_EQ(vm::vmvdb.d(2), 0.0);  // exactly: a zero component is not replaced
  EXPECT_NEAR(vm::vmvdb.d(1), 2.0, 1e-14);
  // B d + g = lambda_1 e_2: second row 1 * 2 + 3 = 5.
  EXPECT_NEAR(vm::vmvdb.lambda(1), 5.0, 1e-13);
}

TEST_F(Qpsub, InconsistentConstraintsGiveCode5) {
  set_b(1.0, 0.0, 1.0);
  g_(1) = 1.0;
  constraint(1, 1.0, 0.0, -1.0);  // d_1 >= 1
  constraint(2, -1.0, 0.0, 0.0);  // d_1 <= 0
  EXPECT_EQ(solve(2, 0), vm::kInfeasible);
  expect_floor_multipliers(2);
}

TEST_F(Qpsub, EqualityThatCannotBeMetIsRelaxedByXi) {
  // Equality 1 with c_1 < 0 takes xi: d_1 - 2 xi = 0; with d_1 <= 1 only xi <= 0.5 is
  // feasible, so xi leaves its upper bound; the repeat with the bound 0.9 xi = 0.45 ends with
  // xi at that bound.
  set_b(1.0, 0.0, 1.0);
  constraint(1, 1.0, 0.0, -2.0);
  constraint(2, -1.0, 0.0, 1.0);
  EXPECT_EQ(solve(2, 1), vm::kConverged);
  EXPECT_NEAR(vm::vmvdb.d(3), 0.45, 1e-14);
  EXPECT_NEAR(vm::vmvdb.d(1), 0.9, 1e-14);
  // The same equality met with xi = 1 when the inequality allows it.
  constraint(2, -1.0, 0.0, 3.0);
  EXPECT_EQ(solve(2, 1), vm::kConverged);
  EXPECT_EQ(vm::vmvdb.d(3), 1.0);
  EXPECT_NEAR(vm::vmvdb.d(1), 2.0, 1e-14);
}

TEST_F(Qpsub, UnboundedStepMeetsAnArtificialBound) {
  // B nearly singular: the Newton step -g / 1e-12 = -1e12 runs into d_1 >= -1e10.
  set_b(1e-12, 0.0, 1.0);
  g_(1) = 1.0;
  EXPECT_EQ(solve(0, 0), vm::kArtificialBound);
  EXPECT_NEAR(vm::vmvdb.d(1), -1e10, 1.0);
}

TEST_F(Qpsub, FeasibilityModeStopsAtTheFirstFeasiblePoint) {
  // x_1 lies 0.5 below its lower bound; the objective would go on to d_1 = 3.
  set_b(1.0, 0.0, 1.0);
  g_(1) = -3.0;
  constraint(1, 1.0, 0.0, -0.5);
  constraint(2, 0.0, 1.0, 10.0);
  constraint(3, -1.0, 0.0, 10.0);
  constraint(4, 0.0, -1.0, 10.0);
  ASSERT_EQ(solve(4, 0, 4), vm::kConverged);
  EXPECT_NEAR(vm::vmvdb.d(1), 0.5, 1e-14);
  EXPECT_EQ(vm::vmvdb.d(2), 0.0);
  ASSERT_EQ(solve(4, 0, 1), vm::kConverged);
  EXPECT_NEAR(vm::vmvdb.d(1), 3.0, 1e-14);
  expect_floor_multipliers(4);
}

}  // namespace
