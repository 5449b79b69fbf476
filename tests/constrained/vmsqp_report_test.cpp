#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "constrained/sqp_fixture.hpp"
#include "constrained/vmsqp_mod.hpp"
#include "numerics/editfmt.hpp"

namespace {

class Report : public sqptest::SqpFixture {
 protected:
  bool has_line(const std::string& line) const {
    return ("\n" + out_.str()).find("\n" + line + "\n") != std::string::npos;
  }
};

TEST_F(Report, TraceAndFinalReportAppearWithTheSettingOn) {
  vmsqp_mod::bprint = 1;
  const std::vector<double> start = {4.0, 0.2};
  run(start, 4.503599727262001e19, {1, 1}, {0, 0}, {100, 100});

  EXPECT_TRUE(has_line(" Start of cycle=            1"));
  EXPECT_TRUE(
      has_line("Iter     Objective       Merit      Max|c|        b1        b2        b3"
               "        b4        b5"));
  // Row 1: the objective at the start (inside its re-centred box: no penalty, no violation).
  EXPECT_TRUE(has_line(
      editfmt::format("(i5,f15.8,f12.6,f12.8,10(f10.4,1x))", {1, ssr(start), 0.0, 0.0, 4.0, 0.2})));
  EXPECT_TRUE(has_line(" 3   1 No change in parameter values:    0.000000000000E+00"));
  EXPECT_TRUE(has_line(" REGRESSION STATISTICS"));
  EXPECT_TRUE(has_line(" CONSTRAINT SATISFACTION CHECK"));
  EXPECT_TRUE(has_line(" MODEL FIT COMPARISON"));
  const std::string tail = " VMSQP OPTIMIZATION COMPLETED\n\n\n\n\n";
  const std::string text = out_.str();
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(Report, RegressionStatisticsOnlyWhenEveryParameterIsFree) {
  vmsqp_mod::bprint = 1;
  run({4.0, 0.3}, 4.503599727262001e19, {1, 0}, {0, 0.1}, {100, 1});
  EXPECT_FALSE(has_line(" REGRESSION STATISTICS"));
  EXPECT_TRUE(has_line(" CONSTRAINT SATISFACTION CHECK"));

  out_.str("");
  run({4.0, 0.3}, 4.503599727262001e19, {1, 2}, {0, 0}, {100, 100});  // nonzero, not 1
  EXPECT_TRUE(has_line(" REGRESSION STATISTICS"));
}

TEST_F(Report, ConstraintCheckCountsViolationsInTwoDigits) {
  // A parameter exactly on its lower bound is a violation; so is one on its upper bound.
  std::vector<double> x(10, 1.0);
  std::vector<double> lo(10, 1.0);
  std::vector<double> hi(10, 1.0);
  vmsqp_mod::detailed_constraint_check(VecView<const double>(x.data(), 10),
                                       10,
                                       VecView<const double>(lo.data(), 10),
                                       VecView<const double>(hi.data(), 10));
  EXPECT_TRUE(has_line("VIOLATION: b(i) =  1.00000E+00 <=  1.00000E+00"));
  EXPECT_TRUE(has_line("VIOLATION: b(i) =  1.00000E+00 >=  1.00000E+00"));
  EXPECT_TRUE(has_line("WARNING: 10 constraint violation(s) detected"));

  out_.str("");
  x = {1.5};
  vmsqp_mod::detailed_constraint_check(VecView<const double>(x.data(), 1),
                                       1,
                                       VecView<const double>(lo.data(), 1),
                                       VecView<const double>(std::vector<double>{2.0}.data(), 1));
  EXPECT_TRUE(has_line("OK: b(i) =  1.50000E+00 >  1.00000E+00"));
  EXPECT_TRUE(has_line(" ALL LOWER BOUND CONSTRAINTS SATISFIED!"));
  EXPECT_TRUE(has_line(" ALL UPPER BOUND CONSTRAINTS SATISFIED!"));
}

TEST_F(Report, FitComparisonShowsAtMostThirtyRows) {
  std::vector<double> v(31, 0.5);
  const VecView<const double> col(v.data(), 31);
  vmsqp_mod::print_fit_comparison(col, col, col, col, 31);
  EXPECT_TRUE(has_line("   Point      x_data      y_data     y_model    Residual"));
  EXPECT_TRUE(has_line("   -----      ------      ------     -------    --------"));
  EXPECT_TRUE(has_line("      30    0.500000    0.500000    0.500000    0.500000"));
  EXPECT_EQ(out_.str().find("      31    "), std::string::npos);
  EXPECT_TRUE(has_line(" ... (showing first 30 data points only)"));
}

// regression_statistics on a constructed one-parameter problem: J a column of ones.
class Regression : public Report {
 protected:
  void stats(std::vector<double> x, std::vector<double> resid, int32_t n) {
    const int32_t m = static_cast<int32_t>(resid.size());
    xs_.clear();
    for (int32_t k = 1; k <= m; ++k) xs_.push_back(k);
    j_.assign(m * n, 1.0);
    sigma_.assign(m, 1.0);
    mask_.assign(n, 1);
    vmsqp_mod::regression_statistics(VecView<const double>(x.data(), n),
                                     VecView<const double>(resid.data(), m),
                                     VecView<const double>(xs_.data(), m),
                                     MatView<const double>(j_.data(), m, n, m),
                                     VecView<const double>(sigma_.data(), m),
                                     m,
                                     n,
                                     VecView<const int32_t>(mask_.data(), n));
  }
  std::vector<double> xs_, j_, sigma_;
  std::vector<int32_t> mask_;
};

TEST_F(Regression, HandComputedStatistics) {
  // SSR 0.06, MSE 0.03, C = 3 so Cov = 0.01 and se = 0.1, t = 20; u = 2 + resid has mean 2
  // and SST 0.06, so R-squared is 0.
  stats({2.0}, {0.1, -0.2, 0.1}, 1);
  EXPECT_TRUE(has_line("Degrees of freedom:      2"));
  EXPECT_TRUE(has_line("Sum of squared residuals:  6.00000000E-02"));
  EXPECT_TRUE(has_line("Mean squared error:  3.00000000E-02"));
  EXPECT_TRUE(has_line("R-squared:   0.000000"));
  EXPECT_TRUE(has_line("        b( 1)  2.00000000E+00  1.00000000E-01    20.000"));
  EXPECT_TRUE(has_line(" b( 1)  1.000E-02"));
  EXPECT_TRUE(has_line(" b( 1)    1.000000"));
  EXPECT_TRUE(has_line("Standard deviation of residuals:  1.73205E-01"));
}

TEST_F(Regression, FlagsOutliersBeyondTwoAndAHalfRmse) {
  // SSR 1 over 9 degrees of freedom: RMSE 1/3, threshold 0.83.
  std::vector<double> resid(10, 0.0);
  resid[6] = 1.0;
  stats({1.0}, resid, 1);
  EXPECT_TRUE(has_line("Point   7: residual =  1.00000E+00, x =  7.00000E+00"));
}

TEST_F(Regression, ZeroDivisorsAreWrittenAsNotAvailable) {
  // m = n: no degrees of freedom, no mean squared error, no standard errors.
  stats({2.0}, {0.0}, 1);
  EXPECT_TRUE(has_line("Mean squared error:             N/A"));
  EXPECT_TRUE(has_line("Root mean squared error:             N/A"));
  EXPECT_TRUE(has_line("R-squared:        N/A"));
  EXPECT_TRUE(has_line("        b( 1)  2.00000000E+00             N/A       N/A"));
  EXPECT_TRUE(has_line("Standard deviation of residuals:          N/A"));
  EXPECT_EQ(out_.str().find("covariance"), std::string::npos);
}

TEST_F(Regression, SingularNormalMatrixGivesTheWarning) {
  stats({1.0, 1.0}, {0.1, -0.1, 0.2}, 2);  // two equal columns
  EXPECT_TRUE(has_line(" Warning: Could not compute parameter statistics"));
  EXPECT_TRUE(has_line(" (Jacobian matrix may be singular or ill-conditioned)"));
}

}  // namespace
