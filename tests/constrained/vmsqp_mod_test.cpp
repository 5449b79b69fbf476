#include "constrained/vmsqp_mod.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "common/common_data.hpp"
#include "constrained/sqp_fixture.hpp"
#include "model/funct.hpp"
#include "support/close.hpp"

namespace {

using sqptest::SqpFixture;
using sqptest::SqpResult;

constexpr double kEngineEntrySum = 4.503599727262001e19;  // what the engine passes as fobj

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class Vmsqp : public SqpFixture {};

TEST_F(Vmsqp, ImprovesAPoorStartAndReturnsTheSumOfItsVector) {
  const std::vector<double> start = {3.0, 0.5};
  const SqpResult r = run(start, ssr(start), {1, 1}, {0, 0}, {100, 100});
  EXPECT_LT(r.fobj, 0.01 * ssr(start));
  // fobj, yfit, resid and common_data describe the returned vector.
  EXPECT_NEAR_REL(r.fobj, ssr(r.x), 1e-12);
  for (int32_t k = 1; k <= kRows; ++k) {
    SCOPED_TRACE(k);
    const double fit = r.x[0] * std::exp(-r.x[1] * xdat_[k - 1]);
    EXPECT_NEAR_REL(r.yfit[k - 1], fit, 1e-13);
    EXPECT_EQ(r.resid[k - 1], y_[k - 1] - r.yfit[k - 1]);
    EXPECT_EQ(r.sigma[k - 1], 1.0);
    EXPECT_EQ(common_data::ydf(k), r.yfit[k - 1]);
    EXPECT_EQ(common_data::yres(k), r.resid[k - 1]);
  }
}

TEST_F(Vmsqp, EngineCallWithTheCapAsEntrySumFindsTheFit) {
  const SqpResult r = run({4.0, 0.2}, kEngineEntrySum, {1, 1}, {0, 0}, {100, 100});
  EXPECT_NEAR(r.x[0], 5.0, 0.05);
  EXPECT_NEAR(r.x[1], 0.3, 0.01);
  EXPECT_NEAR_REL(r.fobj, ssr(r.x), 1e-12);
}

TEST_F(Vmsqp, NeverReturnsAWorseSum) {
  struct Case {
    const char* what;
    std::vector<double> start;
  };
  const Case cases[] = {
      {"near the optimum", {5.0, 0.3}},
      {"far off", {50.0, 2.0}},
      {"negative start", {-1.0, 0.1}},
      {"zero parameter", {2.0, 0.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const double f0 = ssr(c.start);
    const SqpResult r = run(c.start, f0, {1, 1}, {-100, -100}, {100, 100});
    EXPECT_LE(r.fobj, f0);
    EXPECT_NEAR_REL(r.fobj, ssr(r.x), 1e-12);
  }
}

TEST_F(Vmsqp, ReturnsTheEntryBitIdenticalWhenItCannotImprove) {
  // No sum can reach an entry value of 0: nothing is accepted and the entry comes back as is.
  const std::vector<double> start = {4.1, 0.37};
  const SqpResult r = run(start, 0.0, {1, 1}, {0, 0}, {100, 100});
  EXPECT_TRUE(same_bits(r.x[0], start[0]));
  EXPECT_TRUE(same_bits(r.x[1], start[1]));
  EXPECT_TRUE(same_bits(r.fobj, 0.0));
  // The fitted values left behind are those of the entry vector.
  EXPECT_NEAR_REL(r.yfit[0], 4.1 * std::exp(-0.37 * 0.5), 1e-13);
}

TEST_F(Vmsqp, KeepsFixedParametersBitIdentical) {
  const double fixed = 0.29999999999999993;
  const SqpResult r = run({3.0, fixed}, kEngineEntrySum, {1, 0}, {0, 0.1}, {100, 0.2});
  EXPECT_TRUE(same_bits(r.x[1], fixed));
  EXPECT_LT(r.fobj, ssr({3.0, fixed}));
}

TEST_F(Vmsqp, IsDeterministic) {
  const SqpResult a = run({3.0, 0.5}, kEngineEntrySum, {1, 1}, {0, 0}, {100, 100});
  vmsqp_mod::reset();
  vmsqp_mod::console = &out_;
  const SqpResult b = run({3.0, 0.5}, kEngineEntrySum, {1, 1}, {0, 0}, {100, 100});
  EXPECT_TRUE(same_bits(a.x[0], b.x[0]));
  EXPECT_TRUE(same_bits(a.x[1], b.x[1]));
  EXPECT_TRUE(same_bits(a.fobj, b.fobj));
}

TEST_F(Vmsqp, StaysWithinItsEvaluationBudget) {
  // Per cycle at most its limit 25 * maxit plus one iteration (1 + 2k Jacobian + 2k gradient at
  // x + 25 trials + 1 + 2k gradient at the new point, k free parameters), three cycles, and the
  // final evaluations at the returned (or restored) vector.
  const int64_t per_iteration = 27 + 6 * 2;
  const int64_t budget = 3 * (25 * 100 + per_iteration) + 2;
  for (double entry : {kEngineEntrySum, 0.0}) {
    SCOPED_TRACE(entry);
    funct::fun_count = 0;
    run({3.0, 0.5}, entry, {1, 1}, {0, 0}, {100, 100});
    EXPECT_LE(funct::fun_count, budget);
    EXPECT_GT(funct::fun_count, 0);
  }
}

TEST_F(Vmsqp, PrintsNothingWithTheSettingOff) {
  run({3.0, 0.5}, kEngineEntrySum, {1, 1}, {0, 0}, {100, 100});
  EXPECT_EQ(out_.str(), "");
}

TEST_F(Vmsqp, AnyConstraintCountIsSafe) {
  // c, the multipliers and A hold 2n entries whatever ncon says; ncon only limits how many
  // constraints are taken into account.
  for (int32_t ncon : {0, 1, 3, 4, 40}) {
    SCOPED_TRACE(ncon);
    const std::vector<double> start = {3.0, 0.5};
    const SqpResult r = run(start, ssr(start), {1, 1}, {0, 0}, {100, 100}, ncon);
    EXPECT_LE(r.fobj, ssr(start));
    EXPECT_NEAR_REL(r.fobj, ssr(r.x), 1e-12);
  }
}

}  // namespace
