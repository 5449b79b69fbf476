#include "optimizers/mrt_a23_mod.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "optimizers/synthetic_problem.hpp"
#include "support/nist_problem.hpp"

namespace {

using optimtest::SyntheticProblem;

struct Outcome {
  std::vector<double> x;
  double fsum;
  int32_t limit;
};

class A23mrt : public SyntheticProblem {
 protected:
  // Runs a23mrt as the engine does (lambda0 the single-precision 0.001, no printing).
  static Outcome run(std::vector<double> x, double fsum, int32_t limit = 500, int32_t iprint = 0) {
    mrt_a23_mod::a23mrt(static_cast<int32_t>(x.size()),
                        VecView<double>(x.data(), x.size()),
                        common_data::nd,
                        double(0.001f),
                        fsum,
                        limit,
                        iprint);
    return {x, fsum, limit};
  }
};

TEST_F(A23mrt, ObjectiveGivesResidualsAndTheirSumWithZeroSigmasAsOne) {
  use_formula("P1*X1");
  common_data::nd = 3;
  common_data::nxd = 1;
  const double x[] = {1, 2, 3}, y[] = {1, 5, 2}, sig[] = {0, 2, 1};
  for (int i = 1; i <= 3; ++i) {
    common_data::xd(i) = x[i - 1];
    common_data::yd(i) = y[i - 1];
    common_data::ysig(i) = sig[i - 1];
  }
  common_data::ndwt = 1;
  std::vector<double> r(3, -1.0);
  const double p = 1.0;
  double f = 0.0;
  mrt_a23_mod::mrtfun(1, VecView<const double>(&p, 1), VecView<double>(r.data(), 3), f);
  EXPECT_EQ(r, (std::vector<double>{0.0, 3.0, -1.0}));
  EXPECT_DOUBLE_EQ(f, 0.0 + 2.25 + 1.0);  // (0/1)^2 + (3/2)^2 + (-1/1)^2
}

TEST_F(A23mrt, ImprovesTheExponentialModelFromNearStarts) {
  exponential_problem();
  const std::vector<std::vector<double>> starts = {
      {4.0, 0.5, 1.2}, {6.0, 0.3, 0.8}, {5.5, 0.45, 1}};
  for (const auto& start : starts) {
    SCOPED_TRACE(::testing::Message() << start[0] << " " << start[1] << " " << start[2]);
    const double f_in = sum_at(start);
    const Outcome out = run(start, f_in);
    EXPECT_LT(out.fsum, 0.1 * f_in);
    EXPECT_DOUBLE_EQ(out.fsum, sum_at(out.x));  // the returned sum belongs to the returned x
    EXPECT_GE(out.limit, 1);
    EXPECT_LE(out.limit, 501);
  }
}

TEST_F(A23mrt, ImprovesMisra1aFromNearStarts) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
  install_entropy();
  const std::vector<double> factors[] = {{1.05, 0.95}, {0.9, 1.1}};
  for (const auto& f : factors) {
    SCOPED_TRACE(::testing::Message() << f[0] << " " << f[1]);
    const std::vector<double> start = {pb.certified[0] * f[0], pb.certified[1] * f[1]};
    const double f_in = pb.ssq(start);
    const Outcome out = run(start, f_in);
    EXPECT_LT(out.fsum, 0.5 * f_in);
    EXPECT_GE(out.fsum, pb.certified_ssr * (1 - 1e-9));
    EXPECT_DOUBLE_EQ(out.fsum, pb.ssq(out.x));
  }
}

TEST_F(A23mrt, NeverReturnsAWorseSum) {
  exponential_problem();
  const std::vector<double> good = run({4.0, 0.5, 1.2}, sum_at({4.0, 0.5, 1.2})).x;
  struct Case {
    const char* name;
    std::vector<double> start;
    double f_scale;  // the caller's sum as a multiple of the true sum at the start
    bool expire;     // the time limit has passed
  };
  const Case cases[] = {
      {"at the fit", good, 1.0, false},
      {"caller knows a lower sum", {4.0, 0.5, 1.2}, 1e-6, false},
      {"time limit passed", {4.0, 0.5, 1.2}, 1.0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    globals::timemax = c.expire ? -1.0 : globals::kTimemaxDefault;
    const double f_in = c.f_scale * sum_at(c.start);
    const Outcome out = run(c.start, f_in);
    if (out.x == c.start) {
      EXPECT_DOUBLE_EQ(out.fsum, sum_at(c.start));
    } else {
      EXPECT_LE(out.fsum, f_in);
    }
    if (c.f_scale < 1.0) {
      EXPECT_EQ(out.x, c.start);  // nothing beats the caller's sum
    }
  }
}

TEST_F(A23mrt, KeepsFixedParametersBitIdentical) {
  exponential_problem();
  common_data::pmask(3) = 0;
  const std::vector<double> start = {4.0, 0.5, 1.0000000000000002};
  const Outcome out = run(start, sum_at(start));
  EXPECT_EQ(out.x[2], start[2]);
  EXPECT_LT(out.fsum, sum_at(start));
}

TEST_F(A23mrt, RaisesTheEvaluationLimitToAtLeast100) {
  exponential_problem();
  const std::vector<double> start = {4.0, 0.5, 1.2};
  const Outcome low = run(start, sum_at(start), 1);
  // The same draws again: the runs must agree exactly when the limit 1 was raised to 100.
  TearDown();
  SetUp();
  exponential_problem();
  const Outcome hundred = run(start, sum_at(start), 100);
  EXPECT_EQ(low.x, hundred.x);
  EXPECT_EQ(low.fsum, hundred.fsum);
  EXPECT_EQ(low.limit, hundred.limit);
  EXPECT_EQ(low.limit, 101);  // this pass ends on the evaluation limit
}

TEST_F(A23mrt, ReturnsTheEntryWhenTheSumBecomesImplausiblySmall) {
  // An exact model started where the sum is already below the single-precision epsilon: the
  // method distrusts such sums and returns the entry even though it finds lower ones.
  use_formula("P1*X1+P2");
  common_data::nd = 5;
  common_data::nxd = 1;
  for (int i = 1; i <= 5; ++i) {
    common_data::xd(i) = i;
    common_data::yd(i) = 2.0 * i + 1.0;
    common_data::ysig(i) = 1.0;
  }
  free_parameters(2, -100.0, 100.0);
  const std::vector<double> start = {2.00003, 1.0};
  ASSERT_LT(sum_at(start), mrt_a23_mod::kEpsSingle);
  const Outcome out = run(start, sum_at(start));
  EXPECT_EQ(out.x, start);
  EXPECT_DOUBLE_EQ(out.fsum, sum_at(start));
}

TEST_F(A23mrt, PrintsEachIterationFormattedAndListDirected) {
  // y = P1 x at P1 = 0.5 on x = (1, 2), y = (1, 2): residuals 0.5 and 1, sum 1.25.
  use_formula("P1*X1");
  common_data::nd = 2;
  common_data::nxd = 1;
  for (int i = 1; i <= 2; ++i) {
    common_data::xd(i) = i;
    common_data::yd(i) = i;
    common_data::ysig(i) = 1.0;
  }
  free_parameters(1, 0.01, 100.0);
  std::ostringstream out;
  units::set_console(&out);
  run({0.5}, 1.25, 500, 6);
  std::istringstream lines(out.str());
  std::string first, second;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(first, " ITN #   1 EVALN *   1  SUMSQUARES=  1.25000000E+00");
  EXPECT_EQ(second,
            " ITN #           1  EVALN *           1  SUMSQUARES=   1.2500000000000000     ");

  std::ostringstream quiet;
  units::set_console(&quiet);
  run({0.5}, 1.25, 500, 0);
  EXPECT_EQ(quiet.str(), "");
  units::set_console(nullptr);
}

}  // namespace
