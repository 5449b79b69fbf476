// The search direction of the SQP method (an internal step, tested through its state): each
// link of the solve chain, the projection off active constraints and the floor on components.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "constrained/vmsqp_state.hpp"
#include "support/close.hpp"

namespace {

using vmsqp_mod::detail::Sqp;

constexpr double kRidge = 1.00002e-7;  // the ridge added to a well-scaled B

// State of two parameters with B given by rows, gradient g and no active constraint.
Sqp state(std::vector<double> b_rows, std::vector<double> g) {
  Sqp q;
  q.n = 2;
  q.nc = 4;
  q.b = FMatrixD<double>(2, 2);
  q.b(1, 1) = b_rows[0];
  q.b(1, 2) = b_rows[1];
  q.b(2, 1) = b_rows[2];
  q.b(2, 2) = b_rows[3];
  q.g.resize(2);
  q.g(1) = g[0];
  q.g(2) = g[1];
  q.d.resize(2, std::numeric_limits<double>::quiet_NaN());
  q.act.resize(4, 0);
  q.a = FMatrixD<double>(4, 2);
  q.a(1, 1) = -1.0;
  q.a(2, 2) = -1.0;
  q.a(3, 1) = 1.0;
  q.a(4, 2) = 1.0;
  return q;
}

TEST(SearchDirection, SolvesTheRegularisedSystemByEachLinkOfTheChain) {
  struct Case {
    const char* what;
    std::vector<double> b;
    double reg;  // the ridge the step adds
  };
  const Case cases[] = {
      {"trusted inverse", {2, 1, 1, 3}, kRidge},
      // Pivot ratio about 1e-9 after the ridge: the inverse is not trusted, Cholesky solves it.
      {"Cholesky", {100, 0, 0, 1e-9}, kRidge},
      // Indefinite (determinant about -1e-10 after the ridge) and as badly conditioned:
      // Cholesky fails on the negative radicand and elimination solves it.
      {"elimination", {1, 1, 1, 1 - 2 * kRidge - 1e-10}, kRidge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sqp q = state(c.b, {1.0, -2.0});
    vmsqp_mod::detail::search_direction(q);
    // (B + reg I) d = -g
    const double r1 = (c.b[0] + c.reg) * q.d(1) + c.b[1] * q.d(2) + 1.0;
    const double r2 = c.b[2] * q.d(1) + (c.b[3] + c.reg) * q.d(2) - 2.0;
    const double scale = std::fabs(q.d(1)) + std::fabs(q.d(2));
    EXPECT_LT(std::fabs(r1), 1e-8 * scale);
    EXPECT_LT(std::fabs(r2), 1e-8 * scale);
  }
}

TEST(SearchDirection, FallsBackToTheScaledGradientWhenEverySolveFails) {
  // A NaN in B defeats the inverse, Cholesky and elimination: d = -g / (max|g| + 1), divided
  // by each usable diagonal element of B + reg I.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Sqp q = state({2, 0, nan, 4}, {1.0, -3.0});
  vmsqp_mod::detail::search_direction(q);
  EXPECT_NEAR_REL(q.d(1), -1.0 / 4.0 / (2.0 + kRidge), 1e-15);
  EXPECT_NEAR_REL(q.d(2), 3.0 / 4.0 / (4.0 + kRidge), 1e-15);
}

TEST(SearchDirection, ProjectsOffActiveConstraintsAndFloorsTinyComponents) {
  // Constraint 1 (lower bound of parameter 1) active: d_1 is removed and then floored to 2e-12
  // with the sign of +0, positive.
  Sqp q = state({1, 0, 0, 1}, {1.0, -2.0});
  q.act(1) = 1;
  vmsqp_mod::detail::search_direction(q);
  EXPECT_EQ(q.d(1), 2e-12);
  EXPECT_NEAR_REL(q.d(2), 2.0 / (1.0 + kRidge), 1e-15);

  // A zero gradient component gives a zero direction component, floored the same way.
  Sqp z = state({1, 0, 0, 1}, {0.0, -2.0});
  vmsqp_mod::detail::search_direction(z);
  EXPECT_EQ(z.d(1), 2e-12);
}

}  // namespace
