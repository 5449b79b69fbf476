// The objective of the SVD Levenberg-Marquardt method, per weighting mode, on the model
// P1 + P2*X1 at P = (1, 2) over x = 1..4 (fitted values 3, 5, 7, 9).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "model/model_fixture.hpp"
#include "optimizers/marq_parts.hpp"
#include "support/close.hpp"
#include "support/out_of_memory.hpp"

namespace {

class MarqFuny : public modeltest::ModelFixture {
 protected:
  static constexpr int32_t kRows = 4;

  struct Out {
    std::vector<double> yfit, w;
    double ssq = 0.0, q = 0.0;
    int32_t counter = -1;
  };

  // funy with mode, observed y, sigma and incoming weights w0.
  Out run(int32_t mode,
          std::vector<double> y,
          std::vector<double> sig = {1, 1, 1, 1},
          std::vector<double> w0 = {0, 0, 0, 0},
          std::vector<double> p = {1.0, 2.0}) {
    const int32_t m = static_cast<int32_t>(y.size());
    x_.resize(m);
    for (int32_t i = 0; i < m; ++i) x_[i] = i + 1.0;
    Out o;
    o.yfit.assign(m, std::numeric_limits<double>::quiet_NaN());
    o.w = std::move(w0);
    marq_mod::funy(MatView<const double>(x_.data(), m, 1, m),
                   MatView<const double>(y.data(), m, 1, m),
                   VecView<const double>(p.data(), 2),
                   2,
                   1,
                   1,
                   m,
                   mode,
                   VecView<double>(o.yfit.data(), m),
                   VecView<const double>(sig.data(), m),
                   VecView<double>(o.w.data(), m),
                   o.ssq,
                   o.q,
                   o.counter);
    return o;
  }

  void SetUp() override {
    ModelFixture::SetUp();
    use_formula("P1+P2*X1");
  }

  std::vector<double> x_;
  // Residuals 1, -1, 0.5, 1 against the fitted values 3, 5, 7, 9.
  const std::vector<double> y_ = {4.0, 4.0, 7.5, 10.0};
};

TEST_F(MarqFuny, WeightsAndSumsFollowTheMode) {
  const double r[kRows] = {1.0, -1.0, 0.5, 1.0};
  const double plain = 3.25;  // sum of r^2
  double sd = 0.0;            // sample standard deviation of r, for mode 4
  {
    double mean = (1.0 - 1.0 + 0.5 + 1.0) / 4.0, ss = 0.0;
    for (double v : r) ss += (v - mean) * (v - mean);
    sd = std::sqrt(ss / 3.0);
  }
  struct Case {
    std::string what;
    int32_t mode;
    std::vector<double> sig, w0, want_w;
    double want_ssq;
  };
  const std::vector<Case> cases = {
      {"0: unit weights", 0, {1, 1, 1, 1}, {7, 7, 7, 7}, {1, 1, 1, 1}, plain},
      {"1: sigma, 0 becomes 1, 1e-20 becomes 1e-8",
       1,
       {2.0, 0.0, 1e-20, 0.5},
       {0, 0, 0, 0},
       {2.0, 1.0, 1e-8, 0.5},
       0.25 + 1.0 + 0.25e16 + 4.0},
      {"2: the fitted value divides",
       2,
       {1, 1, 1, 1},
       {0, 0, 0, 0},
       {3, 5, 7, 9},
       1.0 / 9 + 1.0 / 25 + 0.25 / 49 + 1.0 / 81},
      {"4: weights returned, sum unweighted",
       4,
       {1, 1, 1, 1},
       {0, 0, 0, 0},
       {std::sqrt(1 / sd), std::sqrt(1 / sd), std::sqrt(0.5 / sd), std::sqrt(1 / sd)},
       plain},
      {"7: incoming weights kept (0 cleaned to 1), sum unweighted",
       7,
       {1, 1, 1, 1},
       {3.0, 0.0, 1e-16, -2.0},
       {3.0, 1.0, 1e-8, -2.0},
       plain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Out o = run(c.mode, y_, c.sig, c.w0);
    for (int32_t i = 0; i < kRows; ++i) {
      EXPECT_EQ(o.yfit[i], 3.0 + 2.0 * i);
      EXPECT_EQ(common_data::ydf(i + 1), o.yfit[i]);
      EXPECT_EQ(common_data::yres(i + 1), r[i]);
      EXPECT_NEAR_REL(o.w[i], c.want_w[i], 1e-15);
    }
    EXPECT_NEAR_REL(o.ssq, c.want_ssq, 1e-15);
    EXPECT_EQ(o.counter, -1);  // only the robust mode writes the counter
  }
}

TEST_F(MarqFuny, GoodnessIsTheRootMeanSquareOfRelativeResiduals) {
  const Out o = run(0, y_);
  const double rel[kRows] = {1.0 / 4.0, -1.0 / 4.0, 0.5 / 7.5, 1.0 / 10.0};
  double s = 0.0;
  for (double v : rel) s += v * v;
  const double rms = std::sqrt(s / kRows);
  EXPECT_NEAR_REL(o.q, 1.0 - 1.0 / (rms + 1.0), 1e-15);
  // A zero observation with a residual makes the rms infinite: q = 0.5.
  EXPECT_EQ(run(0, {0.0, 5.0, 7.0, 9.0}).q, 0.5);
}

TEST_F(MarqFuny, RobustModeWeighsEqualResidualsAlikeAndSetsTheCounter) {
  // |r| = 1 on every row: no spread, every a(i) = 1 and every weight 0.5.
  const Out o = run(3, {4.0, 4.0, 8.0, 8.0});
  for (double w : o.w) EXPECT_EQ(w, 0.5);
  EXPECT_EQ(o.ssq, 4.0 * 4.0);  // sum (1 / 0.5)^2
  EXPECT_EQ(o.counter, kRows + 1);
}

TEST_F(MarqFuny, RobustModeDiscountsAnOutlier) {
  // 49 residuals of magnitude 0.9..1.1 and one of 100, more than 4.659 scale units out: its
  // weight is 0.5 / 1e-8; the others lie inside the cut-off, where psi <= 1 (weights >= 0.5).
  const int32_t m = 50;
  std::vector<double> y;
  for (int32_t i = 0; i < m; ++i) {
    const double r = i == m - 1 ? 100.0 : (i % 2 == 0 ? 1.0 : -1.0) * (0.9 + 0.2 * i / m);
    y.push_back(3.0 + 2.0 * i + r);
  }
  const Out o = run(3, y, std::vector<double>(m, 1.0), std::vector<double>(m, 0.0));
  EXPECT_EQ(o.w[m - 1], 0.5 / 1e-8);
  for (int32_t i = 0; i < m - 1; ++i) {
    EXPECT_GE(o.w[i], 0.5) << i;
    EXPECT_LT(o.w[i], 1.0) << i;
  }
  EXPECT_EQ(o.counter, m + 1);
}

TEST_F(MarqFuny, SpreadModeWithEqualResidualsUsesUnitDeviation) {
  const Out o = run(4, {4.0, 6.0, 8.0, 10.0});  // every r = 1, deviation 0 -> s = 1
  for (double w : o.w) EXPECT_EQ(w, 1.0);
  EXPECT_EQ(o.ssq, 4.0);
}

TEST_F(MarqFuny, PerfectFitKeepsZeroResidualsAndTheFloorSum) {
  const Out o = run(0, {3.0, 5.0, 7.0, 9.0});
  for (int32_t i = 1; i <= kRows; ++i) EXPECT_EQ(common_data::yres(i), 0.0);
  EXPECT_EQ(o.ssq, 1e-30);
  EXPECT_EQ(o.q, 2e-36);
}

TEST_F(MarqFuny, TinyResidualsAreJitteredByAtMostOnePercent) {
  // P = (0, 0) fits 0 everywhere; residuals of about 1e-21 are below the jitter threshold.
  const std::vector<double> y = {1e-21, -2e-21, 3e-21, 1.5e-21};
  const Out o = run(0, y, {1, 1, 1, 1}, {0, 0, 0, 0}, {0.0, 0.0});
  bool changed = false;
  for (int32_t i = 1; i <= kRows; ++i) {
    const double r = common_data::yres(i);
    EXPECT_LE(std::fabs(r - y[i - 1]), 0.01 * std::fabs(y[i - 1])) << i;
    changed = changed || r != y[i - 1];
  }
  EXPECT_TRUE(changed);
}

TEST_F(MarqFuny, NanSumBecomesTheCapAndNoRowsTheFloor) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(run(1, y_, {nan, 1, 1, 1}).ssq, 4.503599727262001e19);
  EXPECT_EQ(run(0, {}).ssq, 1e-30);
}

using MarqFunyDeathTest = MarqFuny;

// The method's work, first taken when memory has run out, fails as an allocation.
TEST_F(MarqFunyDeathTest, OutOfMemoryFailsAsAnAllocation) {
  if (!testsupport::kOutOfMemoryTestable) GTEST_SKIP() << "sanitizers take the address space";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  double x = 1.0, y = 3.0, p[2] = {1.0, 2.0}, fit = 0.0, sig = 1.0, w = 0.0, ssq = 0.0, q = 0.0;
  int32_t counter = 0;
  auto evaluate = [&] {
    marq_mod::funy(MatView<const double>(&x, 1, 1, 1),
                   MatView<const double>(&y, 1, 1, 1),
                   VecView<const double>(p, 2),
                   2,
                   1,
                   1,
                   1,
                   0,
                   VecView<double>(&fit, 1),
                   VecView<const double>(&sig, 1),
                   VecView<double>(&w, 1),
                   ssq,
                   q,
                   counter);
  };
  EXPECT_EXIT(testsupport::run_out_of_memory([] {}, evaluate), ::testing::ExitedWithCode(0), "");
}

}  // namespace
