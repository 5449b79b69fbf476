#include "engine/sharc_postfit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/common_data.hpp"
#include "numerics/taure.hpp"
#include "stats_fixture.hpp"
#include "support/close.hpp"

namespace {

class PostFit : public enginetest::StatsFixture {
 protected:
  // n rows on y = 1 + 0.5 x with alternating disturbances, fitted values on the line, npr
  // parameters of which `fixed` are masked; every free parameter is clearly significant.
  void make_fit(int32_t n, int32_t npr, int32_t fixed) {
    fit.resize(n, npr, npr - fixed, 1);
    for (int32_t i = 1; i <= n; ++i) {
      fit.x(i, 1) = i;
      fit.yfit(i) = 1.0 + 0.5 * i;
      fit.y(i) = fit.yfit(i) + (i % 2 == 0 ? 0.1 : -0.1) * (1.0 + 0.01 * i);
      fit.studres(i) = (i % 2 == 0 ? 0.5 : -0.5);
    }
    for (int32_t k = 1; k <= npr; ++k) {
      fit.a(k) = 10.0;
      fit.ase(k) = 0.1;
      fit.mask(k) = k <= fixed ? 0 : 1;
    }
    for (int32_t k = 1; k <= npr - fixed; ++k) fit.dcorr(k) = 1.0;
    fit.sse = 0.25;
  }
  // ln(S1 / S2) + A / B with the unit weights of make_fit, computed here.
  double expected_mic(int32_t a, int32_t b) const {
    double s1 = 0, mean = 0, s2 = 0;
    for (int32_t i = 1; i <= fit.n; ++i) {
      s1 += (fit.y(i) - fit.yfit(i)) * (fit.y(i) - fit.yfit(i));
      mean += fit.yfit(i) / fit.n;
    }
    for (int32_t i = 1; i <= fit.n; ++i) s2 += (fit.yfit(i) - mean) * (fit.yfit(i) - mean);
    return std::log(s1 / s2) + double(float(a) / float(b));
  }
  sharc_mod::FitResult fit;
};

TEST_F(PostFit, PenaltyCountsLowerBothTermsByTheFixedParameters) {
  struct Case {
    const char* name;
    int32_t n, npr, fixed;
    double weak_se;  // standard error of the last parameter: large makes it not significant
    int32_t k, a, b;
  };
  const Case cases[] = {
      {"one of four fixed", 20, 4, 1, 0.1, 0, 23, 13},
      {"nothing fixed", 20, 4, 0, 0.1, 0, 24, 14},
      {"one parameter not significant", 20, 4, 0, 1e6, 1, 25, 13},
      {"B raised to 1", 8, 4, 2, 0.1, 0, 10, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_fit(c.n, c.npr, c.fixed);
    fit.ase(c.npr) = c.weak_se;
    const sharc_mod::PostFit st = sharc_mod::postfit_statistics(fit);
    EXPECT_EQ(st.k, c.k);
    EXPECT_EQ(st.count_a, c.a);
    EXPECT_EQ(st.count_b, c.b);
    EXPECT_NEAR_REL(st.mic, expected_mic(c.a, c.b), 1e-15);
    for (int32_t k = 1; k <= c.npr; ++k) EXPECT_FALSE(std::isnan(fit.pval(k)));
  }
}

// Only a perfect fit skips the p-values and gives the lowest MIC: residuals that sum to 0, as a
// least-squares fit with an intercept leaves them, have a MIC of their own.
TEST_F(PostFit, OnlyAPerfectFitSkipsThePValuesAndGivesTheLowestMic) {
  for (const double r : {0.25, 0.0}) {
    SCOPED_TRACE(r);
    make_fit(10, 3, 0);
    for (int32_t i = 1; i <= 10; ++i) fit.y(i) = fit.yfit(i) + (i <= 5 ? r : -r);
    fit.pval.fill(std::nan(""));
    fit.ase(1) = -0.5;
    const sharc_mod::PostFit st = sharc_mod::postfit_statistics(fit);
    if (r == 0.0) {
      EXPECT_EQ(st.mic, -4.503599727262001e19);
      EXPECT_TRUE(std::isnan(fit.pval(1)));
      EXPECT_EQ(fit.ase(1), -0.5);
    } else {
      EXPECT_NEAR_REL(st.mic, expected_mic(st.count_a, st.count_b), 1e-15);
      EXPECT_FALSE(std::isnan(fit.pval(1)));
      EXPECT_EQ(fit.ase(1), 0.5);
    }
  }
}

// A free parameter that moves no fitted value counts as fixed in every count of the
// statistics: the MIC, k and the Peirce flags are those of the same fit with it masked.
TEST_F(PostFit, AnUndeterminedParameterCountsAsMasked) {
  make_fit(12, 3, 0);
  fit.ase(3) = 1e6;  // not significant while counted
  fit.y(5) += 2.0;   // an outlier for Peirce
  sharc_mod::FitResult masked = fit;
  masked.mask(3) = 0;
  masked.ase(3) = 0.0;
  fit.undetermined(3) = 1;
  fit.ase(3) = std::nan("");
  const sharc_mod::PostFit a = sharc_mod::postfit_statistics(fit);
  const sharc_mod::PostFit b = sharc_mod::postfit_statistics(masked);
  EXPECT_EQ(a.k, b.k);
  EXPECT_EQ(a.count_a, b.count_a);
  EXPECT_EQ(a.count_b, b.count_b);
  EXPECT_EQ(a.mic, b.mic);
  for (int32_t i = 1; i <= fit.n; ++i) EXPECT_EQ(a.pidx(i), b.pidx(i)) << i;
}

// One whose standard error would rest on no correct digit stays a free parameter of every count
// and is not significant: the counts of the same fit with a standard error far beyond its value.
TEST_F(PostFit, AParameterWithoutACorrectDigitCountsAsNotSignificant) {
  make_fit(12, 3, 0);
  sharc_mod::FitResult wide = fit;
  wide.ase(3) = 1e6;
  fit.undetermined(3) = sharc_mod::kUnresolved;
  fit.ase(3) = std::nan("");
  const sharc_mod::PostFit a = sharc_mod::postfit_statistics(fit);
  const sharc_mod::PostFit b = sharc_mod::postfit_statistics(wide);
  EXPECT_EQ(a.k, 1);
  EXPECT_EQ(a.count_a, b.count_a);
  EXPECT_EQ(a.count_b, b.count_b);
  EXPECT_EQ(a.mic, b.mic);
}

TEST_F(PostFit, WeightsBelowTwoCountAsOne) {
  make_fit(12, 3, 0);
  for (int32_t i = 1; i <= 12; ++i) fit.sigy(i) = i <= 4 ? 1.5 : (i <= 8 ? 2.0 : 4.0);
  const sharc_mod::PostFit st = sharc_mod::postfit_statistics(fit);
  double s1 = 0, mean = 0, s2 = 0;
  for (int32_t i = 1; i <= 12; ++i) {
    const double w = i <= 4 ? 1.0 : (i <= 8 ? 2.0 : 4.0);
    EXPECT_EQ(fit.sigy(i), w);
    s1 += std::pow((fit.y(i) - fit.yfit(i)) / w, 2);
    mean += fit.yfit(i) / 12;
  }
  for (int32_t i = 1; i <= 12; ++i) s2 += std::pow(fit.yfit(i) - mean, 2);
  EXPECT_NEAR_REL(st.mic, std::log(s1 / s2) + double(15.0f / 7.0f), 1e-15);
}

TEST_F(PostFit, ThresholdsTauAndTheSmallestEigenvalue) {
  make_fit(10, 4, 0);
  fit.dcorr(1) = 2.1;
  fit.dcorr(2) = -0.01;
  fit.dcorr(3) = std::nan("");
  fit.dcorr(4) = 0.01;
  fit.sse = 0.56;
  const sharc_mod::PostFit st = sharc_mod::postfit_statistics(fit);
  EXPECT_EQ(st.ismall, 2);  // the first of two equal magnitudes; NaN passed over
  // The residuals' size relative to the data's: no unit, as the eigenvalues have none.
  double ysq = 0.0;
  for (int32_t i = 1; i <= 10; ++i) ysq += fit.y(i) * fit.y(i);
  EXPECT_NEAR_REL(st.eigen_threshold, 0.01 * std::sqrt(0.56 / 14) / std::sqrt(ysq / 10), 1e-15);
  double tau = 0;
  taure(10, 6, 0.05, tau);
  EXPECT_EQ(st.tau, tau);
  EXPECT_EQ(common_data::ctau, tau);
  EXPECT_EQ(st.date.size(), 30u);
  // The residuals plot: studentized residuals against row numbers.
  EXPECT_EQ(common_data::yrmin, -6.0);
  EXPECT_EQ(common_data::yrmax, 6.0);
  EXPECT_EQ(common_data::xrmax, 10.0);
  EXPECT_EQ(common_data::resxaxislable(1), 1.0);
  EXPECT_EQ(common_data::xdr(7), 7.0);
}

TEST_F(PostFit, PeirceFlagsTheOutlyingRowsOnly) {
  struct Case {
    const char* name;
    std::vector<double> studres;
    std::vector<int32_t> flagged;
  };
  const Case cases[] = {
      {"no outlier", {0.3, -0.2, 0.25, -0.1, 0.05, -0.3, 0.2, -0.15, 0.1, -0.25}, {}},
      {"one outlier", {0.3, -0.2, 0.25, -0.1, 0.05, -0.3, 0.2, -0.15, 5.0, -0.25}, {9}},
      {"two outliers", {0.3, -4.5, 0.25, -0.1, 0.05, -0.3, 0.2, -0.15, 5.0, -0.25}, {2, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_fit(10, 2, 0);
    for (int32_t i = 1; i <= 10; ++i) fit.studres(i) = c.studres[size_t(i - 1)];
    const sharc_mod::PostFit st = sharc_mod::postfit_statistics(fit);
    std::vector<int32_t> flagged;
    for (int32_t i = 1; i <= 10; ++i) {
      if (st.pidx(i) != 0) flagged.push_back(i);
    }
    EXPECT_EQ(flagged, c.flagged);
  }
}

TEST(RowMark, InfluentialBeforeSuspect) {
  const struct {
    double studres, tau;
    int32_t pidx;
    const char* mark;
  } cases[] = {{2.5, 2.0, 0, "[Influential]"},
               {-2.5, 2.0, 1, "[Influential]"},
               {2.0, 2.0, 1, "[Suspect]"},
               {-1.0, 2.0, 0, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.studres);
    EXPECT_EQ(sharc_mod::row_mark(c.studres, c.tau, c.pidx), c.mark);
  }
}

// Exact is judged by the sum that no change of the parameters removes, relative to the size of
// the values: residuals that the searches' last digits leave (a sum of 3e-20 here) do not
// count, noise in the ninth digit does.
TEST_F(PostFit, ADegenerateFitNeedsAnExactFitWithoutDegreesOfFreedom) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    int32_t n, npr, fixed;
    double offset, floor_rel;  // y - yfit; sse_floor over the sum of y^2 + yfit^2
    bool degenerate;
  } cases[] = {
      {"exact, one degree of freedom", 3, 2, 0, 0.0, 0.0, true},
      {"exact to rounding", 3, 2, 0, 0.0, 1e-32, true},
      {"last digits of the searches", 3, 2, 0, 1e-10, 1e-32, true},
      {"exact, two with one fixed", 4, 3, 1, 0.0, 1e-30, true},
      {"exact, three degrees of freedom", 5, 2, 0, 0.0, 0.0, false},
      {"noise in the ninth digit", 3, 2, 0, 1e-9, 1e-18, false},
      {"noise at the limit", 3, 2, 0, 1e-12, 1.01e-24, false},
      {"statistics not computed", 3, 2, 0, 0.0, nan, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    make_fit(c.n, c.npr, c.fixed);
    double scale = 0.0;
    for (int32_t i = 1; i <= c.n; ++i) {
      fit.y(i) = fit.yfit(i) + c.offset;
      scale += fit.y(i) * fit.y(i) + fit.yfit(i) * fit.yfit(i);
    }
    fit.sse_floor = c.floor_rel * scale;
    EXPECT_EQ(sharc_mod::degenerate_fit(fit), c.degenerate);
  }
}

TEST_F(PostFit, HandOverTakesLogarithmsOfPositiveXOnly) {
  make_fit(4, 2, 0);
  sharc_mod::hand_over(fit);
  EXPECT_EQ(common_data::nd, 4);
  EXPECT_EQ(common_data::xmin0, 1.0);
  EXPECT_DOUBLE_EQ(common_data::xdl(4), std::log10(4.0));
  EXPECT_EQ(common_data::yd(3), fit.y(3));
  EXPECT_EQ(common_data::ydf(3), fit.yfit(3));
  fit.x(2, 1) = -1.0;
  sharc_mod::hand_over(fit);
  EXPECT_EQ(common_data::xmin0, -1.0);
  EXPECT_EQ(common_data::xdl(4), 4.0);
}

}  // namespace
