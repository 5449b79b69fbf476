#include "engine/sharc_stats.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numerics/taure.hpp"
#include "stats_fixture.hpp"
#include "support/close.hpp"
#include "support/nist_problem.hpp"

namespace {

// Outputs of one stderr_corr call, filled with NaN first so that every entry read must have
// been written.
struct Stats {
  explicit Stats(int32_t n, int32_t np, int32_t f)
      : yfit(n, std::nan("")),
        se(np, std::nan("")),
        correl(f, f, std::nan("")),
        eigval(f, std::nan("")),
        pcmp(f, f, std::nan("")),
        resid(n, std::nan("")),
        studres(n, std::nan("")),
        w(n, 1.0) {}
  FVector<double> yfit, se;
  FMatrixD<double> correl;
  FVector<double> eigval;
  FMatrixD<double> pcmp;
  FVector<double> resid;
  sharc_mod::RunsTest runs;
  FVector<double> studres;
  FVector<double> w;  // unit row weights
};

sharc_mod::FitCheck run_stderr_corr(MatView<const double> x,
                                    VecView<const double> y,
                                    int32_t nx,
                                    int32_t n,
                                    std::vector<double> p,
                                    double sse,
                                    Stats& s) {
  return sharc_mod::stderr_corr(x,
                                y,
                                nx,
                                n,
                                s.yfit.view(),
                                VecView<const double>(p.data(), long(p.size())),
                                int32_t(p.size()),
                                sse,
                                VecView<const double>(s.w.data(), n),
                                s.se.view(),
                                s.correl.view(),
                                s.eigval.view(),
                                s.pcmp.view(),
                                s.resid.view(),
                                s.runs,
                                s.studres.view());
}

// Least-squares line through (x, y) and its analytic statistics.
struct Line {
  double a, b, sse, se_a, se_b, corr;
};

Line fit_line(const std::vector<double>& x, const std::vector<double>& y) {
  const double n = double(x.size());
  double sx = 0, sy = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sx += x[i];
    sy += y[i];
  }
  const double mx = sx / n, my = sy / n;
  double sxx = 0, sxy = 0, sx2 = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sxx += (x[i] - mx) * (x[i] - mx);
    sxy += (x[i] - mx) * (y[i] - my);
    sx2 += x[i] * x[i];
  }
  Line l;
  l.b = sxy / sxx;
  l.a = my - l.b * mx;
  l.sse = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const double r = y[i] - l.a - l.b * x[i];
    l.sse += r * r;
  }
  const double s2 = l.sse / (n - 2);
  l.se_b = std::sqrt(s2 / sxx);
  l.se_a = std::sqrt(s2 * sx2 / (n * sxx));
  l.corr = -mx / std::sqrt(sx2 / n);  // cov(a, b) / (sd(a) sd(b))
  return l;
}

class StderrCorr : public enginetest::StatsFixture {};

const std::vector<double> kX = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const std::vector<double> kY = {2.61, 2.93, 3.62, 3.95, 4.41, 5.08, 5.43, 6.07, 6.39, 7.02};

// The central differences of a linear model are exact but for rounding, about 1e-16 / 1e-5 of
// a derivative: the statistics of a straight line agree with the analytic ones to far better
// than this.
constexpr double kLineTol = 1e-8;

// Intercept and slope of either sign: the Jacobian column of a negative parameter is its
// derivative, not the negated derivative, so the correlation keeps its analytic sign.
TEST_F(StderrCorr, StraightLineMatchesTheAnalyticStandardErrorsAndCorrelation) {
  use_formula("P1+P2*X1");
  const struct {
    const char* name;
    double a_sign, b_sign;
  } cases[] = {{"both positive", 1, 1},
               {"negative slope", 1, -1},
               {"negative intercept", -1, 1},
               {"both negative", -1, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> y;
    for (size_t i = 0; i < kX.size(); ++i) y.push_back(c.a_sign * 1.5 + c.b_sign * (kY[i] - 1.5));
    use_data(kX, y, 2);
    const Line l = fit_line(kX, y);
    Stats s(n, 2, 2);
    run_stderr_corr(xview(), yview(), 1, n, {l.a, l.b}, l.sse, s);
    EXPECT_NEAR_REL(s.se(1), l.se_a, kLineTol);
    EXPECT_NEAR_REL(s.se(2), l.se_b, kLineTol);
    EXPECT_EQ(s.correl(1, 1), 1.0);
    EXPECT_EQ(s.correl(2, 2), 1.0);
    EXPECT_NEAR_REL(s.correl(1, 2), l.corr, kLineTol);
    EXPECT_EQ(s.correl(2, 1), s.correl(1, 2));
    // The eigenvalues of a 2 x 2 correlation matrix are 1 +- |r|, descending.
    EXPECT_NEAR_REL(s.eigval(1), 1 + std::fabs(l.corr), kLineTol);
    EXPECT_NEAR_REL(s.eigval(2), 1 - std::fabs(l.corr), 1e-6);
    // Each column of the percentage table sums to 100.
    EXPECT_NEAR(s.pcmp(1, 2) + s.pcmp(2, 2), 100.0, 1e-9);
    for (int32_t i = 1; i <= n; ++i) {
      SCOPED_TRACE(i);
      EXPECT_NEAR(s.yfit(i), l.a + l.b * kX[size_t(i - 1)], 1e-12);
      EXPECT_NEAR(s.resid(i), y[size_t(i - 1)] - s.yfit(i), 1e-15);
      EXPECT_LE(std::fabs(s.studres(i)), 5.9);
    }
    EXPECT_EQ(s.runs.npos + s.runs.nneg + s.runs.nzero, n - 1);
  }
}

TEST_F(StderrCorr, AFixedParameterHasNoStandardErrorAndStaysOutOfTheMatrices) {
  // P2 is held at 0: the free P1 and P3 form the same straight line as above.
  use_formula("P1+P2*X1*X1+P3*X1");
  use_data(kX, kY, 3, {1, 0, 1});
  const Line l = fit_line(kX, kY);
  Stats s(n, 3, 2);
  run_stderr_corr(xview(), yview(), 1, n, {l.a, 0.0, l.b}, l.sse, s);
  EXPECT_EQ(s.se(2), 0.0);
  EXPECT_NEAR_REL(s.se(1), l.se_a, kLineTol);
  EXPECT_NEAR_REL(s.se(3), l.se_b, kLineTol);
  EXPECT_NEAR_REL(s.correl(1, 2), l.corr, kLineTol);
}

// A free parameter that moves no fitted value (every central difference 0) is left out of the
// statistics as if it were fixed: the others get exactly the statistics of the model without
// it, here the analytic straight line, and it gets no standard error. Left in, its column of
// stand-in derivatives acted as a second intercept and gave it a standard error of its own.
TEST_F(StderrCorr, AParameterThatMovesNoFittedValueIsLeftOutAsIfFixed) {
  const Line l = fit_line(kX, kY);
  use_formula("P1+P2*X1");
  use_data(kX, kY, 2);
  Stats line(n, 2, 2);
  run_stderr_corr(xview(), yview(), 1, n, {l.a, l.b}, l.sse, line);
  const struct {
    const char* model;
    int32_t np, at_a, at_b;  // parameter count; the indexes of intercept and slope
  } cases[] = {{"P1*0+P2+P3*X1", 3, 2, 3},
               {"P1+P2*0+P3*X1", 3, 1, 3},
               {"P1+P2*X1+P3*0", 3, 1, 2},
               {"P1*0+P2+P3*0+P4*X1", 4, 2, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    use_formula(c.model);
    use_data(kX, kY, c.np);
    std::vector<double> p(size_t(c.np), 1.0);
    p[size_t(c.at_a - 1)] = l.a;
    p[size_t(c.at_b - 1)] = l.b;
    Stats s(n, c.np, c.np);
    const sharc_mod::FitCheck check = run_stderr_corr(xview(), yview(), 1, n, p, l.sse, s);
    EXPECT_TRUE(check.moves);
    for (int32_t k = 1; k <= c.np; ++k) {
      SCOPED_TRACE(k);
      const bool determined = k == c.at_a || k == c.at_b;
      EXPECT_EQ(check.undetermined(k), determined ? 0 : 1);
      EXPECT_EQ(std::isnan(s.se(k)), !determined);
    }
    EXPECT_NEAR_REL(s.se(c.at_a), l.se_a, kLineTol);
    EXPECT_NEAR_REL(s.se(c.at_b), l.se_b, kLineTol);
    EXPECT_NEAR_REL(s.correl(1, 2), l.corr, kLineTol);
    EXPECT_NEAR_REL(s.eigval(2), line.eigval(2), kLineTol);
    EXPECT_NEAR_REL(check.sse_floor, l.sse, 1e-6);
    for (int32_t i = 1; i <= n; ++i) EXPECT_NEAR(s.studres(i), line.studres(i), 1e-12) << i;
  }
}

// Two parameters that act alike make the normal matrix singular: it is regularised by its ridges
// instead, and gives finite standard errors and a correlation just above -1.
TEST_F(StderrCorr, ASingularNormalMatrixIsRegularised) {
  use_formula("(P1+P2)*X1");
  use_data(kX, kY, 2);
  Stats s(n, 2, 2);
  run_stderr_corr(xview(), yview(), 1, n, {0.3, 0.4}, 1.0, s);
  for (int32_t k = 1; k <= 2; ++k) {
    EXPECT_TRUE(std::isfinite(s.se(k)));
    EXPECT_GT(s.se(k), 0.0);
  }
  EXPECT_GT(s.correl(1, 2), -1.0);
  EXPECT_LT(s.correl(1, 2), -0.999);
}

// Every NIST problem at its certified parameters and residual sum of squares: the standard
// errors agree with the certified ones to 0.1 % (LRE 3), however ill-conditioned the problem
// and whatever the units of its parameters. The correlations of MGH17 (P3 < 0) and Kirby2
// (P2, P4 < 0) keep the signs of the exact values, given to 4 digits.
TEST_F(StderrCorr, MatchesTheCertifiedStandardErrorsOfEveryNistProblem) {
  constexpr double kSeLreFloor = 3.0;
  const struct {
    const char* name;
    int32_t j, k;
    double r, tol;  // the exact value to the digits given, half a unit of the last one
  } correlations[] = {{"MGH17", 2, 3, -1.0000, 5e-5},
                      {"MGH17", 1, 3, -0.9152, 5e-5},
                      {"Kirby2", 1, 2, -0.896, 5e-4},
                      {"Kirby2", 1, 4, 0.5686, 5e-5}};
  for (const std::string& name : testsupport::nist_problem_names()) {
    SCOPED_TRACE(name);
    testsupport::NistProblem pb;
    ASSERT_TRUE(testsupport::load_nist(name, 1, pb));
    FMatrixD<double> xm(pb.m, pb.nx);
    ASSERT_EQ(funct::load_x_columns(xm.view()), pb.nx);
    Stats s(pb.m, pb.n, pb.n);
    run_stderr_corr(MatView<const double>(xm.data(), pb.m, pb.nx, pb.m),
                    VecView<const double>(common_data::yd.data(), pb.m),
                    pb.nx,
                    pb.m,
                    pb.certified,
                    pb.certified_ssr,
                    s);
    for (int32_t k = 1; k <= pb.n; ++k) {
      EXPECT_GE(testsupport::lre(s.se(k), pb.certified_se[size_t(k - 1)]), kSeLreFloor)
          << "SE" << k << " " << s.se(k);
    }
    for (const auto& c : correlations) {
      if (name != c.name) continue;
      EXPECT_NEAR(s.correl(c.j, c.k), c.r, c.tol) << "R" << c.j << c.k;
    }
  }
}

// Weighted least squares with weights w = 1 / X1^2 is unweighted least squares of the rows
// scaled by sqrt(w) = 1 / X1: y / X1 against P1 / X1 + P2. Both have the same normal matrix,
// leverages, weighted residuals and scale, so their statistics must agree row by row.
TEST_F(StderrCorr, AWeightedFitHasTheStatisticsOfItsRowsScaledBySqrtW) {
  std::vector<double> y, y_scaled;
  for (size_t i = 0; i < kX.size(); ++i) {
    y.push_back(kY[i] * kX[i] * (1.0 + 0.1 * ((i * 7) % 5)));  // spread grows with X1
    y_scaled.push_back(y.back() / kX[i]);
  }
  const std::vector<double> p = {0.4, 0.8};
  double wss = 0.0;
  for (size_t i = 0; i < kX.size(); ++i) {
    const double r = (y[i] - p[0] - p[1] * kX[i]) / kX[i];
    wss += r * r;
  }
  use_formula("P1+P2*X1");
  use_data(kX, y, 2);
  Stats weighted(n, 2, 2);
  for (int32_t i = 1; i <= n; ++i) weighted.w(i) = 1.0 / (kX[size_t(i - 1)] * kX[size_t(i - 1)]);
  run_stderr_corr(xview(), yview(), 1, n, p, wss, weighted);
  use_formula("P1/X1+P2");
  use_data(kX, y_scaled, 2);
  Stats scaled(n, 2, 2);
  run_stderr_corr(xview(), yview(), 1, n, p, wss, scaled);
  for (int32_t k = 1; k <= 2; ++k) EXPECT_NEAR_REL(weighted.se(k), scaled.se(k), 1e-8);
  EXPECT_NEAR_REL(weighted.correl(1, 2), scaled.correl(1, 2), 1e-8);
  for (int32_t i = 1; i <= n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(weighted.studres(i), scaled.studres(i), 1e-8);
    // The residuals of the report stay those of the data as given.
    EXPECT_NEAR(weighted.resid(i), scaled.resid(i) * kX[size_t(i - 1)], 1e-12);
  }
}

// The sum that no change of the parameters removes is the least-squares sum of the data,
// wherever near the solution the vector lies: rounding for rows exactly on a line, the
// analytic minimum for noisy rows (a straight line is linear, so one Gauss-Newton step is
// exact); weighting does not change it for rows on the line.
TEST_F(StderrCorr, TheSumNoParameterChangeRemovesIsTheLeastSquaresSum) {
  use_formula("P1+P2*X1");
  std::vector<double> exact;
  for (double xi : kX) exact.push_back(0.994 + 2.2 * xi);
  const struct {
    const char* name;
    const std::vector<double>& y;
    double shift;  // of both parameters from the least-squares vector, relative
    double w10;    // weight of row 10
  } cases[] = {{"exact, at the solution", exact, 0.0, 1.0},
               {"exact, off by 1e-9", exact, 1e-9, 1.0},
               {"exact, off by 1e-6, weighted", exact, 1e-6, 4.0},
               {"noisy, at the solution", kY, 0.0, 1.0},
               {"noisy, off by 1e-6", kY, 1e-6, 1.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    use_data(kX, c.y, 2);
    const Line l = fit_line(kX, c.y);
    Stats s(n, 2, 2);
    s.w(n) = c.w10;
    const sharc_mod::FitCheck check =
        run_stderr_corr(xview(), yview(), 1, n, {l.a * (1 + c.shift), l.b * (1 - c.shift)}, 1, s);
    EXPECT_TRUE(check.moves);
    if (&c.y == &exact) {
      EXPECT_LE(check.sse_floor, 1e-28);
    } else {
      EXPECT_NEAR_REL(check.sse_floor, l.sse, 1e-6);
    }
  }
}

TEST_F(StderrCorr, EndRowsAreBoundedByTauAndKeepTheirSign) {
  use_formula("P1+P2*X1");
  std::vector<double> x, y;
  for (int i = 1; i <= 60; ++i) {
    x.push_back(i);
    y.push_back(2.0 + 0.5 * i + 0.01 * (i % 7 - 3));
  }
  // The first row and the last two lie far below the line (the last row's value is the mean
  // of the last two residuals).
  y.front() -= 5.0;
  y[58] -= 5.0;
  y[59] -= 5.0;
  use_data(x, y, 2);
  const Line l = fit_line(x, y);
  Stats s(n, 2, 2);
  run_stderr_corr(xview(), yview(), 1, n, {l.a, l.b}, l.sse, s);
  double tau = 0;
  taure(n, n - 2, 0.05, tau);
  EXPECT_EQ(s.studres(1), -tau);
  EXPECT_EQ(s.studres(n), -tau);
  EXPECT_LT(s.studres(n - 1), -tau);  // an inner row is bounded by 5.9 only
  for (int32_t i = 1; i <= n; ++i) EXPECT_LE(std::fabs(s.studres(i)), 5.9);
}

TEST_F(StderrCorr, AnExactFitGivesEveryRowTheSameSmallStudentizedResidual) {
  use_formula("P1+P2*X1");
  std::vector<double> y;
  for (double xi : kX) y.push_back(2.0 + 0.5 * xi);  // exact in binary
  use_data(kX, y, 2);
  Stats s(n, 2, 2);
  run_stderr_corr(xview(), yview(), 1, n, {2.0, 0.5}, 1e-30, s);
  // Every row starts at 1e-6 and is centred as (1e-6 + 1e-6) / sqrt(1 - 1/n) - 1e-6.
  const double expected = 2e-6 / std::sqrt(1.0 - 1.0 / n) - 1e-6;
  for (int32_t i = 1; i <= n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(s.resid(i), 0.0);  // exact zeros stay zero under the random factor
    EXPECT_NEAR_REL(s.studres(i), expected, 1e-12);
  }
}

TEST_F(StderrCorr, TinyResidualsShareOneRandomFactor) {
  use_formula("P1*X1");
  std::vector<double> y;
  for (double xi : kX) y.push_back(1e-21 * xi + (int(xi) % 3 - 1) * 1e-25);
  use_data(kX, y, 1);
  // A second free parameter keeps the fit's shape; it multiplies a zero column.
  use_formula("P1*X1+P2*0");
  common_data::npr = 2;
  common_data::pmask(2) = 1;
  Stats s(n, 2, 2);
  run_stderr_corr(xview(), yview(), 1, n, {1e-21, 1.0}, 1e-49, s);
  double factor = 0;
  for (int32_t i = 1; i <= n; ++i) {
    const double raw = y[size_t(i - 1)] - s.yfit(i);
    if (raw == 0) continue;
    const double f = s.resid(i) / raw;
    if (factor == 0) factor = f;
    EXPECT_NEAR_REL(f, factor, 1e-12);
  }
  EXPECT_GE(factor, 0.99);
  EXPECT_LT(factor, 1.01);
}

}  // namespace
