#include "numerics/taure.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "support/close.hpp"

namespace {

TEST(Taure, CriticalTauMatchesTheExactStudentQuantile) {
  struct Case {
    int32_t k, n;
    double alpha;
    double expected;  // sqrt(n) t / sqrt(t^2 + n - 1), t the exact two-sided quantile (mpmath)
  };
  const Case cases[] = {
      {1, 10, 0.05, 1.9039086447739395888},  // even nu
      {1, 25, 0.05, 1.9412199850862654125},
      {5, 6, 0.05, 2.1395502391296605381},    // odd nu, level shared by 5 tests
      {50, 50, 0.05, 3.1565515353537465636},  // series over many tests
      {1, 4, 0.7, 0.47576487863976517174},    // alpha > 0.5: direct level
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "k=" << c.k << " n=" << c.n << " alpha=" << c.alpha);
    double tau = -1.0;
    taure(c.k, c.n, c.alpha, tau);
    // The Newton steps stop below 1e-8 in r, so about 1e-9 relative remains at most.
    EXPECT_NEAR_REL(tau, c.expected, 1e-9);
  }
}

TEST(Taure, OneDegreeOfFreedomIsExact) {
  double tau = 0.0;
  taure(1, 2, 0.05, tau);  // k = 1: the series gives p = alpha exactly
  EXPECT_EQ(tau, std::sqrt(2.0) * std::sin((1.0 - 0.05) / 0.6366197723675814));
}

TEST(Taure, DegenerateArguments) {
  struct Case {
    const char* what;
    int32_t k, n;
    double alpha, expected;
  };
  const Case cases[] = {
      {"one observation", 1, 1, 0.05, 1.0},
      {"no observations", 1, 0, 0.05, 0.0},
      {"negative count", 1, -4, 0.05, 0.0},
      {"alpha zero", 3, 9, 0.0, 3.0},
      {"alpha one", 1, 9, 1.0, 0.0},
      {"alpha above one", 1, 9, 1.5, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double tau = -1.0;
    taure(c.k, c.n, c.alpha, tau);
    EXPECT_EQ(tau, c.expected);
  }
  // Fewer than one test is taken as one.
  double with_zero = 0.0;
  double with_one = 0.0;
  taure(0, 10, 0.05, with_zero);
  taure(1, 10, 0.05, with_one);
  EXPECT_EQ(with_zero, with_one);
}

}  // namespace
