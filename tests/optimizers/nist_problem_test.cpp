// The optimisers' test harness itself: every reference file loads into the shared data set and
// its certified parameters reproduce the certified sum of squares; LRE, evaluation counting and
// the forced time-out behave as the method tests rely on.
#include "support/nist_problem.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "model/funct.hpp"
#include "optimizers/optim_support.hpp"

namespace {

TEST(NistProblem, EveryFileLoadsAndItsCertifiedOptimumGivesTheCertifiedSum) {
  const std::vector<std::string> names = testsupport::nist_problem_names();
  ASSERT_EQ(names.size(), 26u);
  for (const std::string& name : names) {
    for (int32_t start : {1, 2}) {
      SCOPED_TRACE(name + " start " + std::to_string(start));
      testsupport::NistProblem pb;
      ASSERT_TRUE(testsupport::load_nist(name, start, pb));
      EXPECT_EQ(common_data::nd, pb.m);
      EXPECT_EQ(common_data::nxd, pb.nx);
      EXPECT_EQ(common_data::npr, pb.n);
      EXPECT_EQ(funct::fun_count, 0);
      EXPECT_EQ(common_data::fssqr, pb.start_ssq);
      for (int32_t j = 1; j <= pb.n; ++j) {
        EXPECT_EQ(common_data::pmask(j), 1);
        EXPECT_EQ(common_data::pfinal(j), pb.x0[j - 1]);
        EXPECT_LT(common_data::pboundlo(j), common_data::pboundhi(j));
      }
      const double ssr = pb.ssq(pb.certified);
      if (name == "Lanczos1") {
        // The 11-digit certified parameters give about 4e-21, not the certified 1.4e-25.
        EXPECT_LT(ssr, 1e-19);
      } else {
        // 11 certified digits of the parameters leave about 6 digits of the sum on the
        // worst-conditioned problems.
        EXPECT_GE(pb.ssr_lre(ssr), 6.0) << ssr << " vs " << pb.certified_ssr;
      }
      EXPECT_EQ(funct::fun_count, 1);
    }
  }
}

TEST(NistProblem, FirstRowsAndStartOfMisra1a) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 2, pb));
  EXPECT_EQ(pb.m, 14);
  EXPECT_EQ(pb.n, 2);
  EXPECT_EQ(pb.nx, 1);
  EXPECT_EQ(pb.x0, (std::vector<double>{250.0, 0.0005}));
  EXPECT_EQ(common_data::xd(1), 77.6);
  EXPECT_EQ(common_data::xnx(14, 1), 760.0);
  EXPECT_EQ(common_data::yd(14), 81.78);
  EXPECT_EQ(common_data::ysig(1), 1.0);
  EXPECT_EQ(common_data::xd2(1), 0.0);
  EXPECT_EQ(pb.certified_ssr, 1.2455138894E-01);
  EXPECT_EQ(pb.difficulty, "lower");
  EXPECT_EQ(globals::timemax, 600000.0);
}

TEST(NistProblem, MissingFileIsAFailureNamingIt) {
  testsupport::NistProblem pb;
  const ::testing::AssertionResult r = testsupport::load_nist("Misra1a", 3, pb);
  EXPECT_FALSE(r);
  EXPECT_NE(std::string(r.message()).find("Misra1a-start3.dat"), std::string::npos);
}

TEST(NistProblem, LogRelativeErrorIsCappedToZeroToEleven) {
  struct Case {
    double q, c, want;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {2.0, 2.0, 11.0},          // equal
      {1.001, 1.0, 3.0},         // three digits
      {1.0 + 1e-13, 1.0, 11.0},  // beyond the certified digits
      {-5.0, 1.0, 0.0},          // worse than 100 %
      {nan, 1.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.q);
    EXPECT_NEAR(testsupport::lre(c.q, c.c), c.want, 1e-9);
  }
}

TEST(NistProblem, EvalCountCountsModelEvaluations) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
  testsupport::EvalCount evals;
  pb.ssq(pb.x0);
  pb.ssq(pb.certified);
  EXPECT_EQ(evals.count(), 2);
}

TEST(TimeLimitClock, PollsPassTheLimitFromTheChosenReadingOn) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
  testsupport::TimeLimitClock clock;
  EXPECT_EQ(globals::starttimer, 0);
  for (int k = 0; k < 5; ++k) EXPECT_FALSE(optim_support::time_limit_passed());
  clock.expire_after(2);
  EXPECT_FALSE(optim_support::time_limit_passed());
  EXPECT_FALSE(optim_support::time_limit_passed());
  EXPECT_TRUE(optim_support::time_limit_passed());
  EXPECT_TRUE(optim_support::time_limit_passed());
  EXPECT_GT(globals::totaltime, globals::timemax);
  EXPECT_EQ(clock.readings(), 9);
}

}  // namespace
