#include "optimizers/optim_support.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Ridders, ExtrapolatesCentralDifferencesFarBeyondTheirOwnAccuracy) {
  // d/dx exp(x) at 1 from steps 0.1, 0.05, ...: a single central difference is off by
  // h^2 / 6 ~ 2e-3 relative; the tableau reaches about 1e-12.
  FMatrixD<double> t(10, 10);
  int calls = 0;
  const double d = optim_support::ridders(
      0.1, 2.0, 4.0, 1e8, 1e-15, 1e-6, t.view(), [&calls](double h, long column) {
        ++calls;
        EXPECT_EQ(column, calls);  // columns are filled in order, one difference each
        return (std::exp(1.0 + h) - std::exp(1.0 - h)) / (2.0 * h);
      });
  EXPECT_NEAR(d, std::exp(1.0), 1e-11);
  EXPECT_LT(calls, 10);  // it stopped once the diagonal no longer improved
  EXPECT_GT(std::fabs(t(1, 1) - std::exp(1.0)), 1e-3);
}

TEST(Ridders, KeepsTheFirstDifferenceWhenNoEstimateQualifies) {
  FMatrixD<double> t(10, 10);
  const double d = optim_support::ridders(
      1.0, 2.0, 4.0, -1.0, 0.0, 1e-6, t.view(), [](double h, long) { return 3.0 + h; });
  EXPECT_EQ(d, 4.0);  // err < 0: no error estimate is small enough
}

}  // namespace
