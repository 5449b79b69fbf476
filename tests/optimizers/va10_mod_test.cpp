#include "optimizers/va10_mod.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "optimizers/synthetic_problem.hpp"
#include "support/nist_problem.hpp"

namespace {

using optimtest::SyntheticProblem;

struct Outcome {
  std::vector<double> x;
  double fsum;
  int32_t status;
};

class Va10d : public SyntheticProblem {
 protected:
  // Runs va10d as the engine does: mode 1, the packed triangle filled with `fill`.
  static Outcome run(std::vector<double> x,
                     double fsum,
                     int32_t maxfn = 1000,
                     int32_t mode = 1,
                     double fill = 1.0) {
    const int32_t n = static_cast<int32_t>(x.size());
    std::vector<double> h(static_cast<size_t>(n * (n + 1) / 2), fill);
    int32_t status = -1;
    va10_mod::va10d(common_data::nd,
                    n,
                    VecView<double>(x.data(), n),
                    fsum,
                    VecView<double>(h.data(), h.size()),
                    mode,
                    maxfn,
                    status);
    return {x, fsum, status};
  }
};

TEST_F(Va10d, ReachesTheExactExponentialModelWithStatus1) {
  exponential_problem(0.0);
  const std::vector<double> start = {4.0, 0.5, 1.2};
  const Outcome out = run(start, sum_at(start));
  EXPECT_EQ(out.status, 1);
  EXPECT_NEAR(out.x[0], 5.0, 1e-4);
  EXPECT_NEAR(out.x[1], 0.4, 1e-5);
  EXPECT_NEAR(out.x[2], 1.0, 1e-4);
  EXPECT_DOUBLE_EQ(out.fsum, sum_at(out.x));
}

TEST_F(Va10d, ReachesTheCertifiedMisra1aWithStatus1) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
  const std::vector<double> start = {pb.certified[0] * 1.1, pb.certified[1] * 0.9};
  const Outcome out = run(start, pb.ssq(start));
  EXPECT_EQ(out.status, 1);
  EXPECT_GE(pb.params_lre(out.x), 4.0);
  EXPECT_GE(pb.ssr_lre(out.fsum), 6.0);
}

TEST_F(Va10d, StopsAtASmallEvaluationLimitWithStatus4AndNoWorse) {
  exponential_problem();
  const std::vector<double> start = {4.0, 0.5, 1.2};
  const Outcome out = run(start, sum_at(start), 10);
  EXPECT_EQ(out.status, 4);
  EXPECT_LE(out.fsum, sum_at(start));
  EXPECT_DOUBLE_EQ(out.fsum, sum_at(out.x));
}

TEST_F(Va10d, Mode1IgnoresTheMatrixItIsGiven) {
  exponential_problem();
  const std::vector<double> start = {4.0, 0.5, 1.2};
  const Outcome ones = run(start, sum_at(start), 1000, 1, 1.0);
  const Outcome nans = run(start, sum_at(start), 1000, 1, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(ones.x, nans.x);
  EXPECT_EQ(ones.fsum, nans.fsum);
  EXPECT_EQ(ones.status, nans.status);
  // Mode 2 factors the matrix: all ones is singular, so every attempt ends at once.
  const Outcome singular = run(start, sum_at(start), 1000, 2, 1.0);
  EXPECT_EQ(singular.status, 4);
  EXPECT_EQ(singular.x, start);
}

TEST_F(Va10d, ReturnsTheEntryVectorBeforeTheBoundsRuleWhenNothingIsLower) {
  exponential_problem();
  common_data::pboundhi(3) = 1.25;  // 1.2 lies within 5 % of it: the bounds rule moves it
  const std::vector<double> start = {4.0, 0.5, 1.2};
  const Outcome out = run(start, 1e-30);
  EXPECT_EQ(out.x, start);
  EXPECT_EQ(out.fsum, 1e-30);
  EXPECT_EQ(out.status, 1);
}

TEST_F(Va10d, AStartMovedByTheBoundsRuleIsJudgedByTheIncomingSum) {
  exponential_problem();
  common_data::pboundhi(3) = 1.25;
  const std::vector<double> start = {4.0, 0.5, 1.2};
  const double f_in = sum_at(start);
  const Outcome out = run(start, f_in);
  EXPECT_LT(out.fsum, f_in);
  EXPECT_DOUBLE_EQ(out.fsum, sum_at(out.x));
}

TEST_F(Va10d, FixedParametersNeverMove) {
  exponential_problem();
  common_data::pmask(3) = 0;
  const std::vector<double> start = {4.0, 0.5, 1.0000000000000002};
  const Outcome out = run(start, sum_at(start));
  EXPECT_EQ(out.x[2], start[2]);
  EXPECT_LT(out.fsum, sum_at(start));
}

TEST_F(Va10d, TimeLimitEndsEveryAttemptAndReturnsTheEntry) {
  exponential_problem();
  expire_time_limit();
  const std::vector<double> start = {4.0, 0.5, 1.2};
  const Outcome out = run(start, sum_at(start));
  EXPECT_EQ(out.status, 4);
  EXPECT_EQ(out.x, start);
  EXPECT_EQ(out.fsum, sum_at(start));
}

}  // namespace
