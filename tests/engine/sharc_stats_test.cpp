#include "engine/sharc_stats.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/fit_frame.hpp"
#include "engine/sharc_postfit.hpp"
#include "model/fparser.hpp"
#include "model/funct.hpp"
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

const std::vector<double> kX = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const std::vector<double> kY = {2.61, 2.93, 3.62, 3.95, 4.41, 5.08, 5.43, 6.07, 6.39, 7.02};

class StderrCorr : public enginetest::StatsFixture {
 protected:
  // The statistics of the least-squares line l through kX, kY.
  Stats line_statistics(const Line& l) {
    use_formula("P1+P2*X1");
    use_data(kX, kY, 2);
    Stats line(n, 2, 2);
    run_stderr_corr(xview(), yview(), 1, n, {l.a, l.b}, l.sse, line);
    return line;
  }
};

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
  const Stats line = line_statistics(l);
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

// A normal matrix that cannot be inverted to working precision: a parameter whose error would
// rest on no correct digit has none (NaN), the others have at least the errors the data give,
// and the ridged correlation matrix still shows the -1 of the combination the data do not fix.
// Errors expected: s^2 (J'J)^-1 with s^2 = SSE / (n - f), J the exact derivatives, in 60-digit
// arithmetic (python3 mpmath); for P3 beside a slope written as P1*P2, the intercept's error of
// the straight line with n - 3 degrees of freedom.
TEST_F(StderrCorr, ANormalMatrixThatCannotBeInvertedGivesOnlyTheErrorsOfTheData) {
  const Line l = fit_line(kX, kY);
  const double nan = std::nan("");
  const std::vector<double> t = {0,      0.0001, 0.0002, 0.0003, 0.0004, 0.0005, 0.0006, 0.0007,
                                 0.0008, 0.0009, 0.001,  0.0011, 0.0012, 0.0013, 0.0014, 0.0015,
                                 0.0016, 0.0017, 0.0018, 0.0019, 0.002,  0.0021, 0.0022, 0.0023,
                                 0.0024, 0.0025, 0.0026, 0.0027, 0.0028, 0.0029};
  const std::vector<double> decay = {
      100.18942,     56.818574,     30.155488,     17.371368,     9.3930835,     5.2065958,
      3.0115674,     1.6133552,     0.8907525,     0.50140293,    0.28011839,    0.15176123,
      0.08516723,    0.045753068,   0.025676152,   0.014212535,   0.00773626,    0.0042728912,
      0.002362797,   0.0013473517,  0.00074786784, 0.00041333292, 0.00023091792, 0.00012441289,
      7.0745588e-05, 3.9465679e-05, 2.2100272e-05, 1.186522e-05,  6.6369411e-06, 3.5592238e-06};
  const struct {
    const char* name;
    const char* model;
    std::vector<double> x, y, p;
    double sse;
    std::vector<double> se;  // NaN: none
    std::vector<int32_t> inseparable;
    int32_t a, b;  // two parameters that trade off
  } cases[] = {
      {"slope as a product",
       "P1*P2*X1+P3",
       kX,
       kY,
       {2.0, l.b / 2.0, l.a},
       l.sse,
       {nan, nan, l.se_a * std::sqrt((kX.size() - 2.0) / (kX.size() - 3.0))},
       {1, 1, 0},
       1,
       2},
      {"decay whose amplitude and baseline cancel (an outlier in row 5)",
       "P1*EXP(-P2*X1)+P3",
       {0, 0.2681653, 0.5363306, 0.804496, 1.072661, 1.340827, 1.608992, 1.877157, 2.145323},
       {4.766002E-05,
        3.419747E-05,
        2.623465E-05,
        2.121082E-05,
        0.0001799482,
        1.606909E-05,
        1.488231E-05,
        1.408609E-05,
        1.37276E-05},
       {0.14209082, 9.79393811E-05, -0.14203500},
       2.19431e-8,
       {9991, 6.887, 9991},
       {1, 1, 1},
       1,
       3},
      {"double exponential whose rates merged",
       "P1*EXP(-P2*X1)+P3*EXP(-P4*X1)",
       t,
       decay,
       {1717.0765, 5259.6031, -1616.6821, 5224.6152},
       1.73107,
       {1.282e7, 1.312e5, 1.282e7, 1.381e5},
       {1, 1, 1, 1},
       1,
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t np = int32_t(c.p.size());
    use_formula(c.model);
    use_data(c.x, c.y, np);
    Stats s(n, np, np);
    const sharc_mod::FitCheck check = run_stderr_corr(xview(), yview(), 1, n, c.p, c.sse, s);
    for (int32_t k = 1; k <= np; ++k) {
      SCOPED_TRACE(k);
      const double expected = c.se[size_t(k - 1)];
      EXPECT_EQ(check.undetermined(k), std::isnan(expected) ? sharc_mod::kUnresolved : 0);
      EXPECT_EQ(check.inseparable(k), c.inseparable[size_t(k - 1)]);
      if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(s.se(k)));
      } else {
        // Never below the data's error (given to 4 digits), and above it by at most the
        // tenth that the error of the central differences leaves open.
        EXPECT_GE(s.se(k), expected * (1 - 5e-4));
        EXPECT_LE(s.se(k), expected * 1.11);
      }
    }
    EXPECT_LT(s.correl(c.a, c.b), -0.999);
  }
}

// A slope written as a product leaves one direction unresolved; the leverages come from the two
// it resolves, those of the straight line, so each studentized residual is the line's with s^2
// over n - 4 degrees of freedom instead of n - 3 (the transform after the division is linear).
TEST_F(StderrCorr, ASingularFitHasTheLeveragesOfTheDirectionsItResolves) {
  const Line l = fit_line(kX, kY);
  const Stats line = line_statistics(l);
  use_formula("P1*P2*X1+P3");
  use_data(kX, kY, 3);
  Stats product(n, 3, 3);
  run_stderr_corr(xview(), yview(), 1, n, {2.0, l.b / 2.0, l.a}, l.sse, product);
  for (int32_t i = 1; i <= n; ++i) {
    EXPECT_NEAR(product.studres(i), line.studres(i) * std::sqrt((n - 4.0) / (n - 3.0)), 1e-6) << i;
  }
}

// Columns of the data's x values, and y, as a fit of its own.
struct Data {
  std::vector<std::vector<double>> x;  // one vector per column
  std::vector<double> y;
};

// Rows i = 0..rows-1 of x columns and y made by `row`.
template <typename Row>
Data make_data(int32_t rows, int32_t cols, Row row) {
  Data d{std::vector<std::vector<double>>(size_t(cols)), {}};
  for (int32_t i = 0; i < rows; ++i) {
    std::vector<double> xs(static_cast<size_t>(cols), 0.0);
    d.y.push_back(row(i, xs));
    for (int32_t c = 0; c < cols; ++c) d.x[size_t(c)].push_back(xs[size_t(c)]);
  }
  return d;
}

// Every printed standard error lies from the data's to twice it, and no parameter whose error is
// a small share of its value goes without one: where a Jacobian column underflows (the spike's
// width, MGH17's second rate far past the data), its step is widened no further than the model
// stays its own, so that the column counts as 0 and the others keep their errors; and each
// direction is judged by the errors of its own columns (a Gaussian 300 wide on x = 0..6, whose
// centre and width are poorly differenced), linear columns differenced exactly (two X columns
// 3e-9 apart: singular values far below the differences' first error), a small real loading
// on a nearly unresolved direction counted (X2 = 3 X1 + 1e-9 X3). Expected: s^2 (J'J)^-1 with J
// the exact derivatives at p, s^2 = SSE / (n - f) at p, in 113-bit arithmetic (__float128, a
// program of its own); NaN for a parameter left out as moving no fitted value.
TEST_F(StderrCorr, EveryStandardErrorIsTheDatasWhereverTheJacobianIsHardToDifference) {
  const double nan = std::nan("");
  const double spike_noise[] = {
      0.003, -0.004, 0.005, -0.002, 0.001, -0.005, 0.004, -0.003, 0.002, -0.004, 0.001};
  const struct {
    const char* name;
    const char* model;
    Data data;
    std::vector<double> p;
    double sse;
    std::vector<double> se;
  } cases[] = {
      {"line with a spike in its last row",
       "P1+P2*X1+P3*EXP(-P4*(X1-10)^2)",
       make_data(11,
                 1,
                 [&](int32_t i, std::vector<double>& x) {
                   x[0] = i;
                   const double y = 1 + 0.5 * i + spike_noise[i] + (i == 10 ? 2 : 0);
                   return std::round(y * 1e6) / 1e6;
                 }),
       {1.0010364, 0.49970303, 2.0029333, 29.276101},
       1.1682424244e-04,
       {2.246037e-03, 4.207213e-04, 4.627935e-03, nan}},
      {"Gaussian 300 wide",
       "P1*EXP(-((X1-P2)/P3)^2)+P4",
       make_data(15,
                 1,
                 [](int32_t i, std::vector<double>& x) {
                   const double at = 6.0 * i / 14;
                   x[0] = std::round(at * 1e6) / 1e6;
                   const double u = (at - 1) / 300;
                   return 2 * std::exp(-u * u) + 0.5 + 1e-9 * std::sin(2.3 * i + 0.4) * 1.3;
                 }),
       {2.0000000, 0.99999617, 300.00034, 0.50000000},
       1.2379967140e-17,
       {1.119138e-01, 1.166956e-05, 8.395071e+00, 1.119138e-01}},
      {"X2 = 3 X1 + 1e-9 X3",
       "P1*X1+P2*X2+P3*X3+P4",
       make_data(16,
                 3,
                 [](int32_t i, std::vector<double>& x) {
                   x[0] = 1 + 0.37 * i + 0.1 * std::sin(i);
                   x[2] = 2 + std::cos(1.7 * i);
                   x[1] = 3 * x[0] + 1e-9 * x[2] + 1e-12 * std::sin(5.1 * i);
                   return 2 * x[0] + 0.5 * x[1] + 1.5 * x[2] + 1 + 0.05 * std::sin(3.7 * i + 1);
                 }),
       {0.86134275, 0.87928582, 1.5031562, 0.99793889},
       2.0499986501e-02,
       {4.566842e+10, 1.522281e+10, 1.522506e+01, 3.990557e-02}},
      {"X2 3e-9 from X1",
       "P1*X1+P2*X2+P3",
       make_data(12,
                 2,
                 [](int32_t i, std::vector<double>& x) {
                   x[0] = 1 + 0.5 * i;
                   x[1] = x[0] + 3e-9 * std::sin(2.9 * i + 0.3);
                   return 0.7 * x[0] + 0.3 * x[1] + 2 + 1e-10 * std::sin(1.3 * i);
                 }),
       {0.39105239, 0.60894761, 2.0000000},
       5.3934342475e-18,
       {1.035543e-01, 1.035543e-01, 5.344825e-10}},
      {"MGH17 where start 1 ends",
       "",
       {},
       {0.12935311, 0.90456117, -0.18991428, 4.08047858E-03, 67.278185},
       2.4518295139e-02,
       {8.453526e-02, 7.297485e-02, 3.495321e-02, 7.055860e-04, nan}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t np = int32_t(c.p.size());
    FMatrixD<double> x;
    FVector<double> y;
    if (c.data.y.empty()) {
      testsupport::NistProblem pb;
      ASSERT_TRUE(testsupport::load_nist("MGH17", 1, pb));
      n = pb.m;
      x = FMatrixD<double>(n, pb.nx);
      funct::load_x_columns(x.view());
      y = FVector<double>(n);
      for (int32_t i = 1; i <= n; ++i) y(i) = common_data::yd(i);
    } else {
      use_formula(c.model);
      n = int32_t(c.data.y.size());
      const int32_t nx = int32_t(c.data.x.size());
      x = FMatrixD<double>(n, nx);
      y = FVector<double>(n);
      for (int32_t i = 1; i <= n; ++i) {
        for (int32_t k = 1; k <= nx; ++k) x(i, k) = c.data.x[size_t(k - 1)][size_t(i - 1)];
        y(i) = c.data.y[size_t(i - 1)];
      }
      common_data::npr = np;
      common_data::nxd = nx;
      for (int32_t k = 1; k <= np; ++k) common_data::pmask(k) = 1;
    }
    Stats s(n, np, np);
    const sharc_mod::FitCheck check =
        run_stderr_corr(MatView<const double>(x.data(), n, x.cols(), n),
                        VecView<const double>(y.data(), n),
                        int32_t(x.cols()),
                        n,
                        c.p,
                        c.sse,
                        s);
    for (int32_t k = 1; k <= np; ++k) {
      SCOPED_TRACE(k);
      const double expected = c.se[size_t(k - 1)];
      EXPECT_EQ(check.undetermined(k), std::isnan(expected) ? sharc_mod::kMovesNothing : 0);
      if (std::isnan(expected)) continue;
      EXPECT_GE(s.se(k), expected * 0.999);
      EXPECT_LE(s.se(k), expected * 2);
    }
  }
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

// Every row of the column, the first and the last as the others: its residual over
// s sqrt(1 - h) with h = 1/n + (x - mean x)^2 / Sxx and s^2 = SSE / (n - 3), divided by
// sqrt(1 - 1/n), less the mean of the column as it then stands, row by row. Expected: that
// recipe in 40-digit arithmetic (python3 mpmath) on the least-squares line through rows
// x = 1..n. A's last residual is negative while the one before is larger and positive; B's
// first row and C's last lie beyond tau, and are marked.
TEST_F(StderrCorr, EveryRowIsStudentizedAlikeTheEndRowsToo) {
  use_formula("P1+P2*X1");
  const struct {
    const char* what;
    std::vector<double> y, t;
    int32_t influential;  // the row marked [Influential], 0 for none
  } cases[] = {
      {"A",
       {2.1, 3.9, 6.2, 7.8, 10.3, 11.7},
       {0.106357350465,
        -0.648691103208,
        0.781791156209,
        -0.739316569966,
        1.58145298248,
        -1.16103461511},
       0},
      {"B",
       {9.0, 5.1, 6.9, 9.1, 11.0, 12.8, 15.1, 17.0},
       {2.33221441833,
        -1.24001113003,
        -0.976197655892,
        -0.541369298515,
        -0.305764719011,
        -0.132262422661,
        0.35822551856,
        0.678099516994},
       1},
      {"C",
       {3.0, 5.1, 6.9, 9.1, 11.0, 12.8, 15.1, 11.0},
       {-0.643979276017,
        -0.201397930884,
        -0.0147654471405,
        0.377066955988,
        0.596292847058,
        0.779519295572,
        1.31230015224,
        -2.38260262166},
       8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> x;
    for (size_t i = 1; i <= c.y.size(); ++i) x.push_back(double(i));
    use_data(x, c.y, 2);
    const Line l = fit_line(x, c.y);
    Stats s(n, 2, 2);
    run_stderr_corr(xview(), yview(), 1, n, {l.a, l.b}, l.sse, s);
    double tau = 0;
    taure(n, n - 2, 0.05, tau);  // the listing's threshold
    for (int32_t i = 1; i <= n; ++i) {
      SCOPED_TRACE(i);
      // The central differences of a line are exact but for rounding.
      EXPECT_NEAR(s.studres(i), c.t[size_t(i - 1)], 1e-9);
      EXPECT_EQ(sharc_mod::row_mark(s.studres(i), tau, 0),
                i == c.influential ? "[Influential]" : "");
    }
  }
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

// ---- The statistics in any units ------------------------------------------------------------

// A model with data of unit size and a vector near its least-squares one. `twin` is the model
// as written at unit size, `formula` the same model with parameter `other` written in other
// units (its value times `factor` inside the formula, the parameter divided by it), or the twin
// again (other = 0). y_params carry Y's unit.
struct UnitsCase {
  const char* name;
  const char* twin;
  const char* formula;
  std::vector<double> x, y, p;
  std::vector<int32_t> y_params;  // 1-based
  int32_t other;                  // 1-based, 0 for none
  double factor;                  // the twin's parameter `other` is the case's times factor
};

// Rows of a model at x with relative disturbances that alternate in size and sign.
std::vector<double> disturbed(const std::vector<double>& x, double (*model)(double), double rel) {
  std::vector<double> y;
  for (size_t i = 0; i < x.size(); ++i) y.push_back(model(x[i]) * (1.0 + rel * std::sin(2.3 * i)));
  return y;
}

std::vector<double> range(double from, double step, int32_t n) {
  std::vector<double> x;
  for (int32_t i = 0; i < n; ++i) x.push_back(from + step * i);
  return x;
}

std::vector<UnitsCase> units_cases() {
  const std::vector<double> mm_x = {0.5, 1, 2, 3, 5, 8, 12, 20, 30, 50};
  const std::vector<double> mm_y = {
      14.133, 23.5, 40.3, 50.529, 67.267, 79.8, 90.4, 99.3, 106.382, 110.811};
  const std::vector<double> t = range(300, 10, 13);
  const std::vector<double> arr = disturbed(
      t, [](double x) { return 2.1e13 * std::exp(-11940 / x); }, 0.02);
  const std::vector<double> ex = range(0, 1, 15);
  const std::vector<double> gx = range(0, 0.5, 21);
  return {
      {"Michaelis-Menten",
       "P1*X1/(P2+X1)",
       "P1*X1/(P2+X1)",
       mm_x,
       mm_y,
       {119.929, 3.99763},
       {1},
       0,
       1.0},
      {"decay to a baseline",
       "P1*EXP(-P2*X1)+P3",
       "P1*EXP(-P2*X1)+P3",
       ex,
       disturbed(
           ex, [](double x) { return 3.0 * std::exp(-0.4 * x) + 0.5; }, 0.01),
       {3.0, 0.4, 0.5},
       {1, 3},
       0,
       1.0},
      {"Gaussian peak",
       "P1*EXP(-((X1-P2)/P3)^2)",
       "P1*EXP(-((X1-P2)/P3)^2)",
       gx,
       disturbed(
           gx, [](double x) { return 4.0 * std::exp(-std::pow((x - 5.0) / 1.5, 2)); }, 0.02),
       {4.0, 5.0, 1.5},
       {1},
       0,
       1.0},
      {"Arrhenius, A written plainly",
       "P1*1E13*EXP(-P2/X1)",
       "P1*EXP(-P2/X1)",
       t,
       arr,
       {2.1, 11940},
       {1},
       1,
       1e-13},
      {"Michaelis-Menten, Km in micro-units",
       "P1*X1/(P2+X1)",
       "P1*X1/(P2*1E-6+X1)",
       mm_x,
       mm_y,
       {119.929, 3.99763},
       {1},
       2,
       1e-6},
  };
}

// Every figure of the statistics that the report prints, of one fit.
struct UnitsStats {
  std::vector<double> se, correl, studres;
  double mic = 0, eigen_threshold = 0;
  std::string marks;
};

class StatsInUnits : public enginetest::StatsFixture {
 protected:
  // The statistics of `formula` at p on data y, as the fit run computes them: stderr_corr and
  // the post-fit statistics on the data and the model's values in the fit's frame (times 2^-e).
  // The parameters stay as given: the statistics take each one's figures in its own units.
  UnitsStats statistics(const char* formula,
                        const std::vector<double>& x1,
                        const std::vector<double>& y,
                        const std::vector<double>& p) {
    const int32_t np = int32_t(p.size());
    use_formula(formula);
    use_data(x1, y, np);
    const int32_t e = fit_frame::Frame::y_exponent(yview(), n);
    for (int32_t i = 1; i <= n; ++i) yv(i) = std::ldexp(yv(i), -e);
    Stats s(n, np, np);
    // The first evaluation compiles the formula; the second gives the values at the fit's scale.
    double sse = 0.0;
    for (const bool scaled : {false, true}) {
      if (scaled) fparser::scale_values(1, std::ldexp(1.0, -e));
      funct::fun(xview(),
                 yview(),
                 VecView<const double>(p.data(), np),
                 np,
                 1,
                 n,
                 0,
                 s.yfit.view(),
                 VecView<const double>(s.w.data(), n),
                 sse);
    }
    const sharc_mod::FitCheck check = run_stderr_corr(xview(), yview(), 1, n, p, sse, s);
    sharc_mod::FitResult fit;
    fit.resize(n, np, np, 1);
    for (int32_t i = 1; i <= n; ++i) {
      fit.x(i, 1) = x1[size_t(i - 1)];
      fit.y(i) = yv(i);
      fit.yfit(i) = s.yfit(i);
      fit.studres(i) = s.studres(i);
    }
    for (int32_t k = 1; k <= np; ++k) {
      fit.a(k) = p[size_t(k - 1)];
      fit.ase(k) = s.se(k);
      fit.undetermined(k) = check.undetermined(k);
      fit.dcorr(k) = s.eigval(k);
    }
    fit.sse = sse;
    UnitsStats u;
    u.se.assign(s.se.data(), s.se.data() + np);
    for (int32_t j = 1; j <= np; ++j) {
      for (int32_t k = j + 1; k <= np; ++k) u.correl.push_back(s.correl(j, k));
    }
    const sharc_mod::PostFit st = sharc_mod::postfit_statistics(fit);
    u.mic = st.mic;
    u.eigen_threshold = st.eigen_threshold;
    for (int32_t i = 1; i <= n; ++i) {
      u.studres.push_back(s.studres(i));
      const std::string mark = sharc_mod::row_mark(s.studres(i), st.tau, st.pidx(i));
      u.marks += mark.empty() ? '.' : mark[1];
    }
    return u;
  }
};

// Y and the parameters that carry its unit times 10^k, and a parameter written in other units
// inside the model, give the statistics of the model at unit size: standard errors times the
// parameters' factors, the same correlations, MIC, eigenvalue threshold, studentized residuals
// and marks. The tolerances are those of figures printed to 4 digits; the central differences
// and the column scaling differ from one unit to another by rounding only.
TEST_F(StatsInUnits, EveryFigureIsTheTwinsInAnyUnits) {
  constexpr double kSeRel = 5e-3;
  constexpr double kCorr = 1e-3;
  constexpr double kMic = 5e-3;
  constexpr double kStudres = 1e-3;
  for (const UnitsCase& c : units_cases()) {
    const UnitsStats twin = statistics(c.twin, c.x, c.y, c.p);
    for (const int32_t k : {0, 3, -3, 9, -9, 13, -13, 40, -40, 120, -120}) {
      SCOPED_TRACE(std::string(c.name) + ", k " + std::to_string(k));
      std::vector<double> y = c.y, p = c.p, factor(c.p.size(), 1.0);
      for (double& v : y) v *= std::pow(10.0, k);
      for (const int32_t j : c.y_params) factor[size_t(j - 1)] = std::pow(10.0, k);
      if (c.other != 0) factor[size_t(c.other - 1)] /= c.factor;
      for (size_t j = 0; j < p.size(); ++j) p[j] *= factor[j];
      const UnitsStats u = statistics(c.formula, c.x, y, p);
      for (size_t j = 0; j < p.size(); ++j) {
        EXPECT_NEAR_REL(u.se[j], twin.se[j] * factor[j], kSeRel) << "SE" << j + 1;
      }
      for (size_t j = 0; j < u.correl.size(); ++j) {
        EXPECT_NEAR(u.correl[j], twin.correl[j], kCorr) << "R " << j;
      }
      EXPECT_NEAR(u.mic, twin.mic, kMic);
      EXPECT_NEAR_REL(u.eigen_threshold, twin.eigen_threshold, kSeRel);
      for (size_t i = 0; i < u.studres.size(); ++i) {
        EXPECT_NEAR(u.studres[i], twin.studres[i], kStudres) << "row " << i + 1;
      }
      EXPECT_EQ(u.marks, twin.marks);
    }
  }
}

// At unit size the covariance is s^2 inv(J'WJ), J computed here from the derivatives of the
// model, s^2 = sum w r^2 / (n - 2): for a rate constant of Arrhenius's A as written by users too
// (a Jacobian column of order 1E-13), and for weights 1 / y^2.
TEST_F(StatsInUnits, StandardErrorsAndCorrelationAreThoseOfTheInverseNormalMatrix) {
  constexpr double kRel = 5e-3;
  const std::vector<UnitsCase> cases = units_cases();
  struct Check {
    const UnitsCase& c;
    bool weighted;
    void (*grad)(const std::vector<double>& p, double x, double g[2]);
    double (*model)(const std::vector<double>& p, double x);
  };
  const auto mm_grad = [](const std::vector<double>& p, double x, double g[2]) {
    g[0] = x / (p[1] + x);
    g[1] = -p[0] * x / ((p[1] + x) * (p[1] + x));
  };
  const auto mm = [](const std::vector<double>& p, double x) { return p[0] * x / (p[1] + x); };
  const auto arr_grad = [](const std::vector<double>& p, double x, double g[2]) {
    g[0] = std::exp(-p[1] / x);
    g[1] = -p[0] / x * std::exp(-p[1] / x);
  };
  const auto arr = [](const std::vector<double>& p, double x) {
    return p[0] * std::exp(-p[1] / x);
  };
  const Check checks[] = {{cases[0], false, mm_grad, mm},
                          {cases[0], true, mm_grad, mm},
                          {cases[3], false, arr_grad, arr}};
  for (const Check& ch : checks) {
    SCOPED_TRACE(std::string(ch.c.formula) + (ch.weighted ? ", weighted" : ""));
    std::vector<double> p = ch.c.p;
    p[0] /= ch.c.other == 1 ? ch.c.factor : 1.0;
    use_formula(ch.c.formula);
    use_data(ch.c.x, ch.c.y, 2);
    Stats s(n, 2, 2);
    double a11 = 0, a12 = 0, a22 = 0, wss = 0;
    for (int32_t i = 1; i <= n; ++i) {
      const double x = ch.c.x[size_t(i - 1)], y = ch.c.y[size_t(i - 1)];
      s.w(i) = ch.weighted ? 1.0 / (y * y) : 1.0;
      double g[2];
      ch.grad(p, x, g);
      a11 += s.w(i) * g[0] * g[0];
      a12 += s.w(i) * g[0] * g[1];
      a22 += s.w(i) * g[1] * g[1];
      wss += s.w(i) * std::pow(y - ch.model(p, x), 2);
    }
    run_stderr_corr(xview(), yview(), 1, n, p, wss, s);
    const double s2 = wss / (n - 2), det = a11 * a22 - a12 * a12;
    EXPECT_NEAR_REL(s.se(1), std::sqrt(s2 * a22 / det), kRel);
    EXPECT_NEAR_REL(s.se(2), std::sqrt(s2 * a11 / det), kRel);
    EXPECT_NEAR(s.correl(1, 2), -a12 / std::sqrt(a11 * a22), 1e-3);
  }
}

}  // namespace
