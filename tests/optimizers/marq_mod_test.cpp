// The SVD Levenberg-Marquardt method as the fit engine calls it: statistics against NIST's
// certified standard errors, the contract of its outputs, its switches and its time limit, and
// its derivative, influence and search procedures.
#include "optimizers/marq_mod.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "model/model_front.hpp"
#include "numerics/runtime_rng.hpp"
#include "numerics/stringlib.hpp"
#include "optimizers/marq_parts.hpp"
#include "support/close.hpp"
#include "support/marq_fit.hpp"
#include "support/nist_problem.hpp"

namespace {

using testsupport::load_synthetic;
using testsupport::MarqOptions;
using testsupport::MarqResult;
using testsupport::NistProblem;
using testsupport::run_marq;
using testsupport::shared_ssq;

// How far the final search can move a parameter: trials k = -5..5 of at most |k| 1e-4 each.
constexpr double kSearchReach = 3e-3;

std::vector<double> scaled(std::vector<double> p, double f) {
  for (double& v : p) v *= f;
  return p;
}

TEST(MarqStatistics, TValuesFollowTheGridRule) {
  // The grid carries an offset of 0.005 above the exact quantile (12.706, 4.303, 3.182, ...).
  const struct {
    int32_t dof;
    float t;
  } cases[] = {{1, 12.711f},
               {2, 4.308f},
               {3, 3.183f},
               {5, 2.573f},
               {10, 2.233f},
               {12, 2.183f},
               {20, 2.093f},
               {30, 2.043f},
               {998, 1.963f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dof);
    EXPECT_EQ(marq_mod::t_value(c.dof), static_cast<double>(c.t));
  }
}

TEST(MarqStatistics, Misra1aNearTheOptimumGivesTheCertifiedStandardErrors) {
  NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
  const std::vector<double> p0 = scaled(pb.certified, 1.0001);
  const double s = pb.ssq(p0);
  const MarqResult r = run_marq(pb.m, pb.n, p0, s);
  EXPECT_LE(r.ssq, s);
  EXPECT_GE(pb.params_lre(r.p), 3.5);
  const double t = marq_mod::t_value(pb.m - pb.n);
  EXPECT_EQ(t, static_cast<double>(2.183f));
  for (int32_t j = 0; j < pb.n; ++j) {
    SCOPED_TRACE(j + 1);
    EXPECT_NEAR_REL(r.se[j], pb.certified_se[j], 1e-3);
    EXPECT_EQ(r.ci[j], r.se[j] * t);
    // VS holds C, with se = sqrt(ssq / dof) sqrt(C(j,j)) up to the diagonal's lift of 1.5e-10.
    EXPECT_NEAR_REL(r.se[j], std::sqrt(r.ssq / (pb.m - pb.n) * r.vs[j * pb.n + j]), 1e-9);
    EXPECT_EQ(r.cv[j * pb.n + j], 1.0);
  }
  EXPECT_EQ(r.cv[1], r.cv[pb.n]);  // symmetric
  EXPECT_LT(std::fabs(r.cv[1]), 1.0);
  EXPECT_NEAR(r.pinf[0] + r.pinf[1], 100.0, 2e-3);
  EXPECT_GT(marq_mod::deigen, 0.0);
}

TEST(MarqContract, ReturnsAVectorNoWorseThanItsEntryAndDescribesIt) {
  const struct {
    const char* name;
    int32_t start;
  } cases[] = {{"Misra1a", 2},
               {"Chwirut2", 2},
               {"DanWood", 2},
               {"Thurber", 2},
               {"Gauss1", 1},
               {"MGH09", 2},
               {"BoxBOD", 1},
               {"Lanczos3", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " start " + std::to_string(c.start));
    NistProblem pb;
    ASSERT_TRUE(testsupport::load_nist(c.name, c.start, pb));
    const MarqResult r = run_marq(pb.m, pb.n, pb.x0, pb.start_ssq);
    EXPECT_LE(r.ssq, pb.start_ssq);
    EXPECT_EQ(r.info, 0);
    for (int32_t i = 1; i <= pb.m; ++i) {
      ASSERT_EQ(r.yfit[i - 1], common_data::ydf(i)) << i;
      ASSERT_EQ(common_data::yres(i), common_data::yd(i) - r.yfit[i - 1]) << i;
    }
    EXPECT_NEAR_REL(shared_ssq(pb.m, pb.n, r.p), r.ssq, 1e-14);
    for (int32_t j = 0; j < pb.n; ++j) {
      EXPECT_GT(r.se[j], 0.0) << j;
      EXPECT_TRUE(std::isfinite(r.ci[j])) << j;
      EXPECT_GE(r.pinf[j], 0.0) << j;
    }
  }
}

TEST(MarqContract, NostatLeavesTheStatisticsUntouched) {
  NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 2, pb));
  marq_mod::reset();
  MarqOptions opt;
  opt.nostat = 1;
  const MarqResult r = run_marq(pb.m, pb.n, pb.x0, pb.start_ssq, opt);
  for (int32_t j = 0; j < pb.n; ++j) {
    EXPECT_TRUE(std::isnan(r.se[j]));
    EXPECT_TRUE(std::isnan(r.ci[j]));
    EXPECT_TRUE(std::isnan(r.pinf[j]));
  }
  for (size_t k = 0; k < r.vs.size(); ++k) EXPECT_TRUE(std::isnan(r.vs[k]) && std::isnan(r.cv[k]));
  EXPECT_LE(r.ssq, pb.start_ssq);
  // deigen holds 1e-6 times the largest transformed singular value of the last sub-step.
  EXPECT_GT(marq_mod::deigen, 0.0);
  EXPECT_LE(marq_mod::deigen, 1e-6 * (1e6 + 1.0));
}

TEST(MarqContract, SpreadOverResidualWeightingFitsUnweighted) {
  NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Chwirut2", 2, pb));
  MarqOptions four;
  four.iwt = 4;
  const MarqResult a = run_marq(pb.m, pb.n, pb.x0, pb.start_ssq, four);
  ASSERT_TRUE(testsupport::load_nist("Chwirut2", 2, pb));
  const MarqResult b = run_marq(pb.m, pb.n, pb.x0, pb.start_ssq);
  EXPECT_EQ(a.ssq, b.ssq);
  EXPECT_EQ(a.p, b.p);
  EXPECT_EQ(a.se, b.se);
}

TEST(MarqContract, RobustFitReturnsTheUnweightedSumOfItsVector) {
  // From the final phase on the robust mode keeps its weights and sums unweighted.
  NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Chwirut2", 2, pb));
  MarqOptions opt;
  opt.iwt = 3;
  const MarqResult r = run_marq(pb.m, pb.n, pb.x0, pb.start_ssq, opt);
  EXPECT_NEAR_REL(r.ssq, shared_ssq(pb.m, pb.n, r.p), 1e-14);
  EXPECT_LT(r.ssq, pb.start_ssq);
}

TEST(MarqContract, SearchSwitchRunsAndReturnsNoWorse) {
  for (int32_t isearch : {1, 2}) {
    SCOPED_TRACE(isearch);
    NistProblem pb;
    ASSERT_TRUE(testsupport::load_nist("Misra1a", 2, pb));
    MarqOptions opt;
    opt.isearch = isearch;
    const MarqResult r = run_marq(pb.m, pb.n, pb.x0, pb.start_ssq, opt);
    EXPECT_LT(r.ssq, pb.start_ssq);
    EXPECT_NEAR_REL(r.ssq, shared_ssq(pb.m, pb.n, r.p), 1e-14);
    EXPECT_GT(r.se[0], 0.0);
  }
}

TEST(MarqContract, ZeroStartOfAFreeParameterIsLiftedAndAFixedZeroStays) {
  load_synthetic("P1+P2*X1+P3*X1^2", 10, {2.0, 3.0, 0.0});
  common_data::pmask(3) = 0;
  MarqOptions opt;
  opt.maxit = 0;  // no iterations: the cycle ends at once and only the final phase runs
  const std::vector<double> p0 = {0.0, 3.0, 0.0};
  const MarqResult r = run_marq(10, 3, p0, shared_ssq(10, 3, p0), opt);
  // sqrt(2.22e-14), moved only by the final search.
  EXPECT_NEAR_REL(r.p[0], std::sqrt(2.22e-14), kSearchReach);
  EXPECT_EQ(r.p[2], 0.0);
  EXPECT_EQ(r.se[2], 0.0);
  EXPECT_EQ(r.pinf[2], 0.0);
  EXPECT_GT(r.se[0], 0.0);
}

TEST(MarqContract, TimeLimitEndsTheMethodButNotItsStatistics) {
  NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 2, pb));
  testsupport::TimeLimitClock clock;
  clock.expire_after(0);  // the first poll, at the start of the first cycle, finds it passed
  const MarqResult r = run_marq(pb.m, pb.n, pb.x0, pb.start_ssq);
  EXPECT_EQ(clock.readings(), 1);
  EXPECT_EQ(r.info, -1);  // no cycle started
  for (int32_t j = 0; j < pb.n; ++j) {
    EXPECT_NEAR_REL(r.p[j], pb.x0[j], kSearchReach);  // only the final search moved it
    EXPECT_GT(r.se[j], 0.0);
    EXPECT_TRUE(std::isfinite(r.ci[j]));
  }
  EXPECT_LE(r.ssq, pb.start_ssq);
}

TEST(MarqContract, FirstCycleEndingAboveTheReferenceSumRestoresItsStart) {
  NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 2, pb));
  MarqOptions opt;
  opt.s0_factor = 1e-6;  // no cycle can end below s0
  const MarqResult r = run_marq(pb.m, pb.n, pb.x0, pb.start_ssq, opt);
  for (int32_t j = 0; j < pb.n; ++j) EXPECT_NEAR_REL(r.p[j], pb.x0[j], kSearchReach);
}

TEST(MarqContract, LargeProblemOfAThousandRowsAndEightParametersFinishes) {
  const std::vector<double> truth = {1.0, 0.5, -0.2, 3.0, 0.8, 1.5, 2.0, 0.3};
  load_synthetic("P1+P2*X1+P3*X1^2+P4*EXP(-P5*X1)+P6*SIN(P7*X1+P8)", 1000, truth, 0.005);
  const std::vector<double> p0 = scaled(truth, 1.01);
  const double s = shared_ssq(1000, 8, p0);
  const MarqResult r = run_marq(1000, 8, p0, s);
  EXPECT_LT(r.ssq, s);
  for (int32_t j = 0; j < 8; ++j) {
    EXPECT_GT(r.se[j], 0.0) << j;
    EXPECT_TRUE(std::isfinite(r.se[j])) << j;
  }
}

TEST(MarqContract, RefusesSizesBeyondTheSharedArrays) {
  NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
  const MarqResult r = run_marq(pb.m, 11, std::vector<double>(11, 1.0), 5.0);
  EXPECT_EQ(r.ssq, 5.0);
  EXPECT_TRUE(std::isnan(r.se[0]));
  EXPECT_TRUE(std::isnan(r.yfit[0]));
}

// ---- fjac4, curvature and search on P1*EXP(P2*X1) + 0*P3 ----

class MarqProcedures : public ::testing::Test {
 protected:
  void SetUp() override {
    load_synthetic("P1*EXP(P2*X1)+0*P3", kRows, {2.0, -0.3, 1.0});
    md_ = marq_mod::Model{
        MatView<const double>(common_data::xnx.data(), kRows, 1, common_data::max_rows),
        MatView<const double>(common_data::yd.data(), kRows, 1, kRows),
        VecView<const double>(common_data::ysig.data(), kRows),
        3,
        1,
        1,
        kRows};
  }
  static constexpr int32_t kRows = 12;
  marq_mod::Model md_;
  std::vector<double> p_ = {2.0, -0.3, 1.0};
};

TEST_F(MarqProcedures, DerivativeMatrixMatchesTheAnalyticOne) {
  FMatrixD<double> J(kRows, 3);
  common_data::pmask(2) = 0;  // a fixed parameter has no column
  std::vector<double> p = p_;
  marq_mod::fjac4(md_, VecView<double>(p.data(), 3), 0, J.view());
  EXPECT_EQ(p, p_);  // restored
  for (int32_t i = 1; i <= kRows; ++i) {
    const double x = i;
    EXPECT_NEAR_REL(J(i, 1), std::exp(-0.3 * x), 1e-9) << i;  // d/dP1
    EXPECT_EQ(J(i, 2), 1e-7) << i;  // P3 does not act: the zero derivative becomes 1e-7
  }
}

TEST_F(MarqProcedures, FlatSumOfSquaresSharesTheInfluenceEqually) {
  common_udf::cudf = stringlib::fixed("X1+0*P1+0*P2+0*P3", common_udf::len_text);
  fnparse2_reset();
  std::vector<double> pinf(3, -1.0);
  marq_mod::curvature(md_, 0, VecView<double>(p_.data(), 3), VecView<double>(pinf.data(), 3));
  for (double v : pinf) EXPECT_EQ(v, 33.333);
}

TEST_F(MarqProcedures, InfluenceIsAShareInPercentAndZeroForFixed) {
  std::vector<double> pinf(3, -1.0);
  // P3 does not act: its curvature is flat while the others' are not, so the shares stay
  // unequal (only an all-flat set falls back to equal shares) and P3's is the floor share
  // 5e-6 of every parameter, 0.0005 % rounded to 0.001.
  marq_mod::curvature(md_, 0, VecView<double>(p_.data(), 3), VecView<double>(pinf.data(), 3));
  EXPECT_EQ(pinf[2], 0.001);
  EXPECT_GT(pinf[0], 0.0);
  EXPECT_GT(pinf[1], 0.0);
  EXPECT_NEAR(pinf[0] + pinf[1] + pinf[2], 100.0, 2e-3);
  // A fixed parameter gets no share.
  common_data::pmask(1) = 0;
  marq_mod::curvature(md_, 0, VecView<double>(p_.data(), 3), VecView<double>(pinf.data(), 3));
  EXPECT_EQ(pinf[0], 0.0);
  EXPECT_NEAR(pinf[1] + pinf[2], 100.0, 1e-3);
  EXPECT_GT(pinf[1], 99.0);
}

TEST_F(MarqProcedures, SearchRepeatsItsTrialsAndTakesOnlyStrictGains) {
  std::vector<double> w(kRows, 1.0);
  auto run = [&](std::vector<double> p, double sbest) {
    double q = -1.0;
    int32_t counter = 0;
    marq_mod::search(
        md_, 0, VecView<double>(p.data(), 3), VecView<double>(w.data(), kRows), sbest, q, counter);
    return std::make_pair(p, sbest);
  };
  const std::vector<double> off = {2.01, -0.3, 1.0};
  const double s = shared_ssq(kRows, 3, off);
  runtime_rng::uniform();  // a different generator state before each call changes nothing
  const auto a = run(off, s);
  runtime_rng::uniform();
  runtime_rng::uniform();
  const auto b = run(off, s);
  EXPECT_EQ(a, b);
  EXPECT_LT(a.second, s);
  // A model that ignores its parameters gives every trial the same sum: nothing is taken.
  common_udf::cudf = stringlib::fixed("X1+0*P1+0*P2+0*P3", common_udf::len_text);
  fnparse2_reset();
  const double flat = shared_ssq(kRows, 3, off);
  const auto c = run(off, flat);
  EXPECT_EQ(c.first, off);
  EXPECT_EQ(c.second, flat);
}

}  // namespace
