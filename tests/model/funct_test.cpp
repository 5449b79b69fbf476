#include "model/funct.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "model/model_fixture.hpp"
#include "model/simd.hpp"
#include "numerics/runtime_rng.hpp"
#include "support/close.hpp"
#include "support/nist_problem.hpp"
#include "support/scoped_clock.hpp"

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// Three rows x = (1, 2, 3), y = (3, 5, 8) and the line P1 + P2 X1 at p = (1, 2): fitted
// (3, 5, 7), residuals (0, 0, 1).
class Fun : public modeltest::ModelFixture {
 protected:
  void SetUp() override {
    ModelFixture::SetUp();
    use_formula("P1+P2*X1");
  }

  // fun over the rows with the given sigma; yf starts as NaN so every write shows.
  double run(int32_t mode, std::vector<double> sig = {1, 1, 1}) {
    yf_.assign(y_.size(), kNan);
    double fval = kNan;
    const int32_t n = static_cast<int32_t>(y_.size());
    funct::fun(MatView<const double>(x_.data(), n, 1, n),
               VecView<const double>(y_.data(), n),
               VecView<const double>(p_.data(), 2),
               2,
               1,
               n,
               mode,
               VecView<double>(yf_.data(), n),
               VecView<const double>(sig.data(), n),
               fval);
    return fval;
  }

  std::vector<double> x_ = {1, 2, 3};
  std::vector<double> y_ = {3, 5, 8};
  std::vector<double> p_ = {1, 2};
  std::vector<double> yf_;
};

TEST_F(Fun, WeightingModesGiveTheHandComputedSums) {
  struct Case {
    const char* what;
    int32_t mode;
    std::vector<double> sig;
    double fval;
    std::vector<double> ysig;  // the sigmas fun records
    int32_t ndwt;
  };
  // Mode 3: Andrews weights of (0, 0, 1) from an independent implementation; the sum is
  // 1 / (0.5 / w3) = 2 w3. Mode 4: sd of (0, 0, 1) is sqrt(1/3); rows with r = 0 get sigma 1.
  const double w12 = 6.59955928061868;
  const double w3 = 4.592884763129867;
  const double sd = std::sqrt(1.0 / 3.0);
  const Case cases[] = {
      {"none", 0, {1, 1, 1}, 1.0, {1, 1, 1}, 0},
      {"reweight: zero sigma becomes 1", 1, {0.5, 0, 2}, 0.25, {0.5, 1, 2}, 1},
      {"1/Y^2", 2, {1, 1, 1}, 1.0 / 49.0, {3, 5, 7}, 2},
      {"robust",
       3,
       {1, 1, 1},
       2.0 * w3,
       {std::sqrt(0.5 / w12), std::sqrt(0.5 / w12), std::sqrt(0.5 / w3)},
       3},
      {"stddev / residual", 4, {1, 1, 1}, sd, {1, 1, std::sqrt(1.0 / sd)}, 4},
      {"unknown mode counts as none", 7, {9, 9, 9}, 1.0, {1, 1, 1}, 0},
      {"negative mode counts as none", -1, {9, 9, 9}, 1.0, {1, 1, 1}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_NEAR_REL(run(c.mode, c.sig), c.fval, 1e-13);
    EXPECT_EQ(common_data::ndwt, c.ndwt);
    EXPECT_EQ(common_data::nd, 3);
    for (int i = 1; i <= 3; ++i) {
      EXPECT_NEAR_REL(common_data::ysig(i), c.ysig[i - 1], 1e-13) << "row " << i;
      EXPECT_EQ(common_data::ydf(i), 2.0 * i + 1.0);
      EXPECT_EQ(yf_[i - 1], 2.0 * i + 1.0);
      EXPECT_EQ(common_data::yres(i), i == 3 ? 1.0 : 0.0);
    }
  }
}

TEST_F(Fun, FourRowsWithDistinctResidualsInEveryMode) {
  x_ = {1, 2, 3, 4};
  y_ = {3.2, 4.9, 7.3, 8.8};  // fitted (3, 5, 7, 9): residuals (0.2, -0.1, 0.3, -0.2)
  const std::vector<double> sig = {0.5, 0, 2, 1};
  // Mode 3: the binned median of the magnitudes sits on 0.2, so those two rows get weight 1
  // and the other two the Andrews weight w (independent implementation); the sum is
  // 2 sum w r^2. Mode 4: sum r^2 / (|r| / sd) = sd sum |r|, sd = sqrt(0.17 / 3).
  const double w = 4.997312926368394;
  const double sd = std::sqrt(0.17 / 3.0);
  struct Case {
    int32_t mode;
    double fval;
    std::vector<double> ysig;
  };
  const Case cases[] = {
      {0, 0.04 + 0.01 + 0.09 + 0.04, {1, 1, 1, 1}},
      {1, 0.16 + 0.01 + 0.0225 + 0.04, {0.5, 1, 2, 1}},
      {2, 0.04 / 9 + 0.01 / 25 + 0.09 / 49 + 0.04 / 81, {3, 5, 7, 9}},
      {3,
       2.0 * (0.04 + 0.04 + w * (0.01 + 0.09)),
       {std::sqrt(0.5), std::sqrt(0.5 / w), std::sqrt(0.5 / w), std::sqrt(0.5)}},
      {4,
       sd * 0.8,
       {std::sqrt(0.2 / sd), std::sqrt(0.1 / sd), std::sqrt(0.3 / sd), std::sqrt(0.2 / sd)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    EXPECT_NEAR_REL(run(c.mode, sig), c.fval, 1e-13);
    EXPECT_EQ(common_data::ndwt, c.mode);
    for (int i = 1; i <= 4; ++i) {
      EXPECT_NEAR_REL(common_data::ysig(i), c.ysig[i - 1], 1e-13) << "row " << i;
    }
  }
}

TEST_F(Fun, SharedSigmaIsReadBeforeItIsOverwritten) {
  for (int i = 1; i <= 3; ++i) common_data::ysig(i) = std::vector<double>{0.5, 0, 0.25}[i - 1];
  double fval = 0.0;
  funct::fun(MatView<const double>(x_.data(), 3, 1, 3),
             VecView<const double>(y_.data(), 3),
             VecView<const double>(p_.data(), 2),
             2,
             1,
             3,
             1,
             common_data::ydf.view(3),
             VecView<const double>(common_data::ysig.data(), 3),
             fval);
  EXPECT_EQ(fval, 16.0);  // (1 / 0.25)^2
  EXPECT_EQ(common_data::ysig(1), 0.5);
  EXPECT_EQ(common_data::ysig(2), 1.0);
  EXPECT_EQ(common_data::ysig(3), 0.25);
  EXPECT_EQ(common_data::ydf(3), 7.0);
}

TEST_F(Fun, SigmaGuardsForVanishingFittedValues) {
  use_formula("P1*X1");
  p_ = {1, 0};
  x_ = {0, 1e-20, 2};  // fitted (0, 1e-20, 2)
  y_ = {1, 1e-12, 2};
  const double r2 = 1e-12 - 1e-20;
  EXPECT_NEAR_REL(run(2), 1.0 + (r2 / 1e-8) * (r2 / 1e-8), 1e-13);
  EXPECT_EQ(common_data::ysig(1), 1.0);   // exactly 0 becomes 1
  EXPECT_EQ(common_data::ysig(2), 1e-8);  // below 1e-15 becomes 1e-8
  EXPECT_EQ(common_data::ysig(3), 2.0);
}

TEST_F(Fun, SumBeyondDoublePrecisionIsTheCap) {
  y_ = {3, 5, 7 + 1e8};  // a sum of 1e16: subtracting 1 leaves it unchanged
  EXPECT_EQ(run(0), funct::kSumCap);
  y_ = {3, 5, 7 + 9e7};  // 8.1e15 still holds its units
  EXPECT_EQ(run(0), 8.1e15);
}

TEST_F(Fun, EqualResidualsUseUnitSpreadInMode4) {
  y_ = {4, 6, 8};  // residuals (1, 1, 1): sd = 0 becomes 1, sigma sqrt(1 / 1) = 1
  EXPECT_EQ(run(4), 3.0);
}

TEST_F(Fun, PerfectFitStaysAtTheFloor) {
  y_ = {3, 5, 7};
  for (int32_t mode = 0; mode <= 4; ++mode) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(run(mode), funct::kSumFloor);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(common_data::yres(i), 0.0);
  }
}

TEST_F(Fun, TinyResidualsAreJitteredByAtMostOnePercent) {
  use_formula("P1*X1");
  p_ = {1e-21, 0};
  y_ = {0, 0, 0};  // residuals -1e-21 x: mean magnitude 2e-21, below the floor
  runtime_rng::seed_array({1, 2, 3, 4, 5, 6, 7, 8});
  run(0);
  std::vector<double> first;
  for (int i = 1; i <= 3; ++i) {
    const double ratio = common_data::yres(i) / (-1e-21 * i);
    EXPECT_GE(ratio, 0.99);
    EXPECT_LT(ratio, 1.01);
    first.push_back(common_data::yres(i));
  }
  EXPECT_NE(first[0] / -1e-21, first[1] / -2e-21);  // each row draws its own factor
  runtime_rng::seed_array({1, 2, 3, 4, 5, 6, 7, 8});
  run(0);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(common_data::yres(i), first[i - 1]);
}

// The vector pass of mode 0 (made where the row values are) and the row-by-row path (taken for
// strided arrays) write the same values and give the same sum at every vector level, over row
// counts that leave a tail of a vector or of a tile (126: a last large tile, padded, ending in
// part of a vector): the eight interleaved partial sums of funct::sum_squares. A shared sigma
// that is not 1 before the call is 1 after it.
TEST_F(Fun, UnitSigmaSumIsTheSameAtEveryLevelAndOnEveryPath) {
  for (const int32_t n : {37, 126, 300}) {
    SCOPED_TRACE(n);
    x_.clear();
    y_.clear();
    long double exact = 0.0L;
    for (int32_t i = 1; i <= n; ++i) {
      x_.push_back(i);
      const double r = std::ldexp(1.0 + i / 7.0, (i * 13) % 40 - 20) * (i % 3 == 0 ? -1 : 1);
      y_.push_back(1.0 + 2.0 * i + r);
      const long double rr = static_cast<long double>(y_.back()) - (1.0L + 2.0L * i);
      exact += rr * rr;
    }
    std::vector<double> strided_y(2 * n), strided_yf(2 * n, kNan);
    for (int32_t i = 0; i < n; ++i) strided_y[2 * i] = y_[i];
    double first = kNan;
    for (simd::Level level : {simd::Level::Sse2, simd::Level::Avx2, simd::Level::Avx512}) {
      if (!simd::set_level(level)) continue;
      SCOPED_TRACE(simd::to_string(level));
      common_data::ysig(n / 2) = -3.0;
      common_data::ysig(n) = 0.0;
      for (auto* shared : {&common_data::ydf, &common_data::yres, &common_data::ysig}) {
        (*shared)(n + 1) = -7.0;  // the row after the last stays as it is
      }
      const double fval = run(0);
      for (auto* shared : {&common_data::ydf, &common_data::yres, &common_data::ysig}) {
        EXPECT_EQ((*shared)(n + 1), -7.0);
      }
      if (first != first) first = fval;
      EXPECT_EQ(fval, first);
      EXPECT_EQ(fval, funct::sum_squares(common_data::yres.view(n), n));
      EXPECT_NEAR(fval, static_cast<double>(exact), 1e-15 * static_cast<double>(exact));
      for (int32_t i = 1; i <= n; ++i) {
        EXPECT_EQ(yf_[i - 1], 1.0 + 2.0 * i);
        EXPECT_EQ(common_data::ydf(i), yf_[i - 1]);
        EXPECT_EQ(common_data::yres(i), y_[i - 1] - yf_[i - 1]);
        EXPECT_EQ(common_data::ysig(i), 1.0);
      }
      double strided = kNan;
      const std::vector<double> sig(n, 1.0);
      funct::fun(MatView<const double>(x_.data(), n, 1, n),
                 VecView<const double>(strided_y.data(), n, 2),
                 VecView<const double>(p_.data(), 2),
                 2,
                 1,
                 n,
                 0,
                 VecView<double>(strided_yf.data(), n, 2),
                 VecView<const double>(sig.data(), n),
                 strided);
      EXPECT_EQ(strided, fval);
      EXPECT_EQ(strided_yf[2 * (n - 1)], yf_[n - 1]);
    }
    simd::set_level(simd::best_level());
  }
}

// The weighted modes at every vector level and on both paths (contiguous arrays, and strided
// ones taken row by row) against a straightforward computation of steps 3 to 7 here: modes 1,
// 2 and 4 bit for bit (the sum in the eight interleaved partial sums of sum_squares, the
// standard deviation of mode 4 in row order with divisor n - 1), mode 3 the same on every path
// and level. Rows include a fitted value of 0 (sigma 1 in mode 2), a residual of 0 (sigma 1 in
// mode 4), and sigmas of 0 and 1e-20 (1 and 1e-8 in mode 1); row counts leave tails of a
// vector and of the eight partial sums. The strided path reads the fitted values of mode 2
// with their stride.
TEST_F(Fun, WeightedSumsAreTheSameAtEveryLevelAndOnEveryPath) {
  auto squares = [](const std::vector<double>& r, const std::vector<double>& s) {
    double part[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < r.size(); ++i) part[i % 8] += (r[i] / s[i]) * (r[i] / s[i]);
    return ((part[0] + part[1]) + (part[2] + part[3])) +
           ((part[4] + part[5]) + (part[6] + part[7]));
  };
  auto guard = [](double s) { return s == 0.0 ? 1.0 : std::fabs(s) < 1e-15 ? 1e-8 : s; };
  for (const int32_t n : {5, 37, 126}) {
    x_.clear();
    y_.clear();
    std::vector<double> sig, yf, r;
    for (int32_t i = 1; i <= n; ++i) {
      x_.push_back(i == 2 ? -0.5 : i);  // P1 + P2 X1 = 0 at X1 = -0.5
      yf.push_back(1.0 + 2.0 * x_.back());
      r.push_back(i == 3 ? 0.0 : std::ldexp(1.0 + i / 7.0, i % 9 - 4) * (i % 3 == 0 ? -1 : 1));
      y_.push_back(yf.back() + r.back());
      r.back() = y_.back() - yf.back();
      sig.push_back(i == 1 ? 0.0 : i == 3 ? 1e-20 : 0.5 + i / 8.0);
    }
    double mean = 0.0, ss = 0.0;
    for (double v : r) mean += v;
    mean /= n;
    for (double v : r) ss += (v - mean) * (v - mean);
    double sd = std::sqrt(ss / (n - 1));
    if (sd < 1e-6 || sd > 1e6) sd = 1.0;
    std::vector<std::vector<double>> sigma(5, std::vector<double>(n));
    for (int32_t i = 0; i < n; ++i) {
      sigma[1][i] = guard(sig[i] == 0.0 ? 1.0 : sig[i]);
      sigma[2][i] = guard(yf[i] == 0.0 ? 1.0 : yf[i]);
      const double s4 = std::sqrt(std::fabs(r[i]) / sd);
      sigma[4][i] = guard(std::fabs(s4) < 1e-6 || std::fabs(s4) > 1e6 ? 1.0 : s4);
    }
    std::vector<double> strided_y(2 * n), strided_yf(2 * n);
    for (int32_t i = 0; i < n; ++i) strided_y[2 * i] = y_[i];
    for (int32_t mode = 1; mode <= 4; ++mode) {
      SCOPED_TRACE(testing::Message() << n << " rows, mode " << mode);
      double first = kNan;
      for (simd::Level level : {simd::Level::Sse2, simd::Level::Avx2, simd::Level::Avx512}) {
        if (!simd::set_level(level)) continue;
        SCOPED_TRACE(simd::to_string(level));
        const double fval = run(mode, sig);
        if (mode != 3) {
          EXPECT_EQ(fval, squares(r, sigma[mode]));
        }
        if (first != first) first = fval;
        EXPECT_EQ(fval, first);
        int32_t differ = 0;
        for (int32_t i = 0; i < n; ++i) {
          differ += yf_[i] != yf[i] || common_data::ydf(i + 1) != yf[i] ||
                    common_data::yres(i + 1) != r[i] ||
                    (mode != 3 && common_data::ysig(i + 1) != sigma[mode][i]);
        }
        EXPECT_EQ(differ, 0);
        double strided = kNan;
        funct::fun(MatView<const double>(x_.data(), n, 1, n),
                   VecView<const double>(strided_y.data(), n, 2),
                   VecView<const double>(p_.data(), 2),
                   2,
                   1,
                   n,
                   mode,
                   VecView<double>(strided_yf.data(), n, 2),
                   VecView<const double>(sig.data(), n),
                   strided);
        EXPECT_EQ(strided, fval);
      }
    }
  }
  simd::set_level(simd::best_level());
}

TEST_F(Fun, ObservationThatIsNotANumberGivesTheCapNeverTheFloor) {
  y_ = {3, kNan, 8};
  for (int32_t mode = 0; mode <= 4; ++mode) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(run(mode), 4.503599727262001e19);
  }
}

TEST_F(Fun, NoRowsGiveTheFloorAndOnlyRecordTheMode) {
  common_data::ydf(1) = -5.0;
  common_data::ysig(1) = -6.0;
  double fval = 0.0;
  funct::fun(MatView<const double>(x_.data(), 0, 1, 1),
             VecView<const double>(y_.data(), 0),
             VecView<const double>(p_.data(), 2),
             2,
             1,
             0,
             3,
             VecView<double>(yf_.data(), 0),
             VecView<const double>(y_.data(), 0),
             fval);
  EXPECT_EQ(fval, funct::kSumFloor);
  EXPECT_EQ(common_data::ndwt, 3);
  EXPECT_EQ(common_data::nd, 0);
  EXPECT_EQ(common_data::ydf(1), -5.0);
  EXPECT_EQ(common_data::ysig(1), -6.0);
}

TEST_F(Fun, NumberedModelIsNeverWeighted) {
  globals::nmdl = 3;  // the numbered-model function yields 0 for every row
  const double fval = run(2);
  EXPECT_EQ(fval, 9.0 + 25.0 + 64.0);
  EXPECT_EQ(common_data::ndwt, 2);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(common_data::ysig(i), 1.0);
}

}  // namespace

namespace {

// The shared data set: rows x = 0..4, y from a quadratic plus a wobble, model
// P1 + P2 X1 + P3 X1^2 unweighted, so the sum of squares is quadratic in p and central
// differences are exact up to rounding.
class Derivat : public modeltest::ModelFixture {
 protected:
  void SetUp() override {
    ModelFixture::SetUp();
    use_formula("P1+P2*X1+P3*X1^2");
    common_data::nd = 5;
    common_data::nxd = 1;
    for (int i = 1; i <= 5; ++i) {
      const double x = i - 1.0;
      common_data::xd(i) = x;
      common_data::yd(i) = 1.0 + 0.5 * x - 0.25 * x * x + (i % 2 == 0 ? 0.1 : -0.1);
      common_data::ysig(i) = 1.0;
    }
    for (int k = 1; k <= 3; ++k) common_data::pmask(k) = 1;
    common_data::ndwt = 0;
  }

  // Analytic gradient: -2 sum r(i) (1, x, x^2).
  std::vector<double> analytic(const std::vector<double>& p) const {
    std::vector<double> g(3, 0.0);
    for (int i = 1; i <= 5; ++i) {
      const double x = common_data::xd(i);
      const double r = common_data::yd(i) - (p[0] + p[1] * x + p[2] * x * x);
      g[0] -= 2.0 * r;
      g[1] -= 2.0 * r * x;
      g[2] -= 2.0 * r * x * x;
    }
    return g;
  }

  double run(std::vector<double> p, std::vector<double>& g) {
    g.assign(3, kNan);
    double f = kNan;
    funct::derivat(VecView<double>(g.data(), 3), f, VecView<const double>(p.data(), 3), 3);
    return f;
  }
};

TEST_F(Derivat, MatchesTheAnalyticGradient) {
  const std::vector<double> points[] = {{0.9, 0.6, -0.2}, {0.0, 0.0, 0.0}, {-3.0, 12.0, 250.0}};
  for (const auto& p : points) {
    SCOPED_TRACE(::testing::PrintToString(p));
    std::vector<double> g;
    run(p, g);
    const std::vector<double> expected = analytic(p);
    // Central differences of a quadratic are exact but for rounding: about eps f / h, which
    // at p = 0 (step 3e-10, f about 10) is some 1e-5.
    for (int k = 0; k < 3; ++k) {
      EXPECT_TRUE(testsupport::near_rel(g[k], expected[k], 1e-6, 2e-5)) << "k=" << k;
    }
  }
}

TEST_F(Derivat, FixedParameterGetsZeroAndCostsNoEvaluations) {
  std::vector<double> g;
  const int64_t before_all_free = funct::fun_count;
  run({0.9, 0.6, -0.2}, g);
  EXPECT_EQ(funct::fun_count - before_all_free, 2 * 3 + 2);
  common_data::pmask(2) = 0;
  const int64_t before = funct::fun_count;
  run({0.9, 0.6, -0.2}, g);
  EXPECT_EQ(funct::fun_count - before, 2 * 2 + 2);
  EXPECT_EQ(g[1], 0.0);
  EXPECT_NE(g[0], 0.0);
}

TEST_F(Derivat, MoreParametersThanTheSharedVectorsHoldAreRefused) {
  const int32_t np = common_data::max_params + 1;
  std::vector<double> p(np, 0.5);
  std::vector<double> g(np, kNan);
  double f = 0.0;
  const int64_t before = funct::fun_count;
  funct::derivat(VecView<double>(g.data(), np), f, VecView<const double>(p.data(), np), np);
  EXPECT_EQ(f, funct::kSumCap);
  EXPECT_EQ(funct::fun_count, before);
  EXPECT_EQ(common_data::npr, 0);
}

TEST_F(Derivat, ParameterWithoutEffectGetsTheSmallestPositiveComponent) {
  use_formula("P1+P2*X1+0*P3");
  std::vector<double> g;
  run({0.9, 0.6, -0.2}, g);
  EXPECT_EQ(g[2], 8.8800002646180425e-16);
}

TEST_F(Derivat, LeavesTheSharedStateDescribingP) {
  const std::vector<double> p = {0.9, 0.6, -0.2};
  std::vector<double> g;
  const double f = run(p, g);
  double expected_f = 0.0;
  for (int i = 1; i <= 5; ++i) {
    const double x = common_data::xd(i);
    const double fit = p[0] + p[1] * x + p[2] * x * x;
    EXPECT_DOUBLE_EQ(common_data::ydf(i), fit);
    EXPECT_DOUBLE_EQ(common_data::yres(i), common_data::yd(i) - fit);
    EXPECT_EQ(common_data::xnx(i, 1), x);
    expected_f += (common_data::yd(i) - fit) * (common_data::yd(i) - fit);
  }
  EXPECT_NEAR_REL(f, expected_f, 1e-14);
  EXPECT_EQ(common_data::npr, 3);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(common_data::pfinal(k), p[k - 1]);
}

// The Hessian of the quadratic model's sum of squares is 2 sum (1, x, x^2)(1, x, x^2)^T whatever
// p is; the packed lower triangle follows the gradient in g.
TEST_F(Derivat, DerivatvAddsThePackedHessian) {
  const std::vector<double> p = {0.9, 0.6, -0.2};
  std::vector<double> g(3 + 6, kNan);
  double f = kNan;
  common_data::pmask(2) = 0;
  const int64_t before = funct::fun_count;
  funct::derivatv(VecView<double>(g.data(), 9), f, VecView<const double>(p.data(), 3), 3);
  // derivat (2 per free parameter + 2), 2 per free diagonal term, 4 for the one free mixed
  // term, and the closing evaluation at p.
  EXPECT_EQ(funct::fun_count - before, (2 * 2 + 2) + 2 * 2 + 4 + 1);
  std::vector<double> expected_g = analytic(p);
  expected_g[1] = 0.0;
  double s[5] = {0, 0, 0, 0, 0};  // sums of x^0 .. x^4
  for (int i = 1; i <= 5; ++i) {
    for (int k = 0; k <= 4; ++k) s[k] += std::pow(common_data::xd(i), k);
  }
  // (H11, H21, H22, H31, H32, H33) with row and column 2 fixed.
  const double hessian[6] = {2 * s[0], 0, 0, 2 * s[2], 0, 2 * s[4]};
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(testsupport::near_rel(g[k], expected_g[k], 1e-6, 2e-5));
  // Second differences of a quadratic are exact but for rounding: about eps f / h^2 (1e-5).
  for (int k = 0; k < 6; ++k) {
    EXPECT_TRUE(testsupport::near_rel(g[3 + k], hessian[k], 1e-4, 1e-4)) << "k=" << k;
  }
  EXPECT_EQ(common_data::pfinal(3), p[2]);
  // A g without room for the triangle is refused.
  std::vector<double> short_g(8, kNan);
  funct::derivatv(VecView<double>(short_g.data(), 8), f, VecView<const double>(p.data(), 3), 3);
  EXPECT_EQ(f, funct::kSumCap);
  EXPECT_TRUE(std::isnan(short_g[0]));
}

// The curve through x = 0..4 at four points per interval: x = 0, 0.25, ..., 4 and the model's
// values there; with too small arrays the curve is cut.
TEST_F(Derivat, FuncurveSpacesPointsBetweenRows) {
  const std::vector<double> p = {0.9, 0.6, -0.2};
  std::vector<double> xc(20, kNan), yc(20, kNan);
  int32_t ncurve = -1;
  ASSERT_EQ(funct::funcurve(VecView<const double>(p.data(), 3),
                            3,
                            4,
                            MatView<double>(xc.data(), 20, 1, 20),
                            VecView<double>(yc.data(), 20),
                            ncurve),
            0);
  ASSERT_EQ(ncurve, 17);
  for (int j = 0; j < 17; ++j) {
    const double x = 0.25 * j;
    EXPECT_DOUBLE_EQ(xc[j], x);
    EXPECT_DOUBLE_EQ(yc[j], p[0] + p[1] * x + p[2] * x * x);
  }
  EXPECT_TRUE(std::isnan(xc[17]));
  funct::funcurve(VecView<const double>(p.data(), 3),
                  3,
                  4,
                  MatView<double>(xc.data(), 6, 1, 6),
                  VecView<double>(yc.data(), 20),
                  ncurve);
  EXPECT_EQ(ncurve, 6);
  EXPECT_DOUBLE_EQ(xc[5], 1.25);
}

class Calcfg : public Derivat {};

TEST_F(Calcfg, ConstraintLayoutWithOneFixedParameter) {
  use_formula("P1+P2*X1");
  common_data::pmask(1) = 1;
  common_data::pmask(2) = 0;
  common_data::pboundlo(1) = -1.0;
  common_data::pboundhi(1) = 4.0;
  common_data::pboundlo(2) = 0.25;
  common_data::pboundhi(2) = 2.0;
  std::vector<double> x = {1.5, 0.75};
  std::vector<double> grad(funct::kMaxGrad, kNan);
  std::vector<double> g(funct::kMaxConstraints, kNan);
  std::vector<double> jac(funct::kMaxGrad * funct::kMaxConstraints, kNan);
  double f = kNan;
  const MatView<double> jv(jac.data(), funct::kMaxGrad, funct::kMaxConstraints, funct::kMaxGrad);
  ASSERT_EQ(funct::calcfg(2,
                          VecView<const double>(x.data(), 2),
                          f,
                          VecView<double>(grad.data(), funct::kMaxGrad),
                          VecView<double>(g.data(), funct::kMaxConstraints),
                          jv),
            0);
  EXPECT_EQ(common_data::ieqcns, 1);
  EXPECT_EQ(common_data::icnstr, 5);
  // The fixed P2's equality is satisfied (0) wherever P2 is.
  const std::vector<double> g_expected = {0.0, 1.5 + 1.0, 0.75 - 0.25, 4.0 - 1.5, 2.0 - 0.75};
  for (int k = 1; k <= funct::kMaxConstraints; ++k) {
    EXPECT_EQ(g[k - 1], k <= 5 ? g_expected[k - 1] : 0.0) << "constraint " << k;
  }
  // Columns: e2 (the fixed P2), e1, e2, then -e1 and -e2: every upper bound falls as x rises.
  const double col[5][2] = {{0, 1}, {1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  for (int c = 1; c <= funct::kMaxConstraints; ++c) {
    for (int r = 1; r <= funct::kMaxGrad; ++r) {
      const double expected = (c <= 5 && r <= 2) ? col[c - 1][r - 1] : 0.0;
      ASSERT_EQ(jv(r, c), expected) << "row " << r << " column " << c;
    }
  }
  EXPECT_EQ(grad[1], 0.0);  // fixed
  EXPECT_NE(grad[0], 0.0);
  for (int k = 3; k <= funct::kMaxGrad; ++k) EXPECT_EQ(grad[k - 1], 0.0);
  double sum = 0.0;
  for (int i = 1; i <= 5; ++i) {
    const double r = common_data::yd(i) - (1.5 + 0.75 * common_data::xd(i));
    sum += r * r;
  }
  EXPECT_NEAR_REL(f, sum, 1e-14);
  EXPECT_EQ(common_data::pfinal(1), 1.5);
  EXPECT_EQ(common_data::pfinal(2), 0.75);
}

TEST_F(Calcfg, NumberedModelIsRefusedWithAStatus) {
  globals::nmdl = 2;
  std::vector<double> x = {1.5, 0.75};
  std::vector<double> grad(funct::kMaxGrad, kNan);
  std::vector<double> g(funct::kMaxConstraints, kNan);
  std::vector<double> jac(funct::kMaxGrad * funct::kMaxConstraints, kNan);
  double f = 0.0;
  const int64_t before = funct::fun_count;
  EXPECT_EQ(
      funct::calcfg(
          2,
          VecView<const double>(x.data(), 2),
          f,
          VecView<double>(grad.data(), funct::kMaxGrad),
          VecView<double>(g.data(), funct::kMaxConstraints),
          MatView<double>(jac.data(), funct::kMaxGrad, funct::kMaxConstraints, funct::kMaxGrad)),
      1);
  EXPECT_EQ(f, funct::kSumCap);
  EXPECT_EQ(funct::fun_count, before);
  EXPECT_EQ(common_data::nmod, 0);
  for (double v : g) EXPECT_EQ(v, 0.0);
}

}  // namespace

namespace {

// The certified sums of squares of NIST reference problems, evaluated at the certified
// parameters (given to 11 digits, so the sums agree to about 1e-9).
// The module's vector utilities, each case checked against values worked by hand: spacing,
// the two bound rules and the two smoothers (whose formulas reproduce a cubic, respectively a
// straight line, exactly).
class FunctUtilities : public modeltest::ModelFixture {};

TEST_F(FunctUtilities, SpacingBoundsAndSmoothing) {
  using Vec = std::vector<double>;
  const double tiny = funct::kSumFloor;
  const auto linspace = [](int32_t n, double a, double b, size_t size) {
    Vec x(size, kNan);
    funct::r8vec_linspace(n, a, b, VecView<double>(x.data(), static_cast<long>(size)));
    return x;
  };
  // Bound rules on parameters with all masks free but the last given as fixed.
  const auto bounds = [](bool two, Vec p, const Vec& lo, const Vec& hi, double& f) {
    const auto n = static_cast<int32_t>(p.size());
    for (int32_t i = 1; i <= n; ++i) common_data::pmask(i) = i < n ? 1 : 0;
    if (two) {
      funct::pbounds2(VecView<double>(p.data(), n),
                      n,
                      VecView<const double>(lo.data(), n),
                      VecView<const double>(hi.data(), n),
                      f);
    } else {
      funct::fbounds(VecView<double>(p.data(), n),
                     n,
                     VecView<const double>(lo.data(), n),
                     VecView<const double>(hi.data(), n));
    }
    return p;
  };
  const auto smooth = [](const Vec& y, int32_t m) {
    const auto n = static_cast<int32_t>(y.size());
    Vec ys(y.size(), kNan);
    if (m == 0) {
      funct::savitzkygolay(VecView<const double>(y.data(), n), n, VecView<double>(ys.data(), n));
    } else {
      funct::movingaver(VecView<const double>(y.data(), n), n, VecView<double>(ys.data(), n), m);
    }
    return ys;
  };
  Vec cubic, line;
  for (int i = 1; i <= 7; ++i) cubic.push_back(i * i * i - 4.0 * i * i + 2.0);
  for (int i = 1; i <= 6; ++i) line.push_back(2.0 * i + 1.0);
  double f_moved = 1.0, f_kept = 1.0, f_unused = 1.0;
  struct Case {
    const char* what;
    Vec got, expected;
  };
  const Case cases[] = {
      {"linspace", linspace(5, 0, 1, 5), {0, 0.25, 0.5, 0.75, 1}},
      {"linspace descending", linspace(3, 1, -1, 3), {1, 0, -1}},
      {"linspace of one: midpoint", linspace(1, 2, 4, 1), {3}},
      {"linspace cut to the array", linspace(4, 0, 3, 2), {0, 1}},
      {"pbounds2: at, inside the band, outside it, beyond; fixed stays",
       bounds(true,
              {10, 10 * (1 - 5e-10), 10 * (1 - 2e-9), -12, 6, 5},
              {-10, -10, -10, -10, 2, 0},
              {10, 10, 10, 10, 6, 5},
              f_moved),
       {1e-9, 1e-9, 10 * (1 - 2e-9), 1e-9, 4, 5}},
      {"pbounds2: none moved", bounds(true, {1, 2}, {0, 0}, {3, 3}, f_kept), {1, 2}},
      {"fbounds",
       bounds(false,
              {0, -1e-30, 5, 1, -1, -5, -5, 3, 7},
              {-1, -1, -1, -3, -10, 0, -4, 3, 0},
              {1, 1, 4, 0, -2, 10, 10, 10, 1},
              f_unused),
       {tiny, -tiny, 2 - tiny, -0.5 - tiny, -4 - tiny, 2 + tiny, -2 + tiny, 6 + tiny, 7}},
      {"savitzky-golay keeps a cubic", smooth(cubic, 0), cubic},
      {"savitzky-golay of a spike", smooth({0, 0, 0, 35, 0, 0, 0}, 0), {2, -8, 12, 17, 12, -8, 2}},
      {"savitzky-golay of four points", smooth({1, 2, 3, 4}, 0), {0, 0, 0, 0}},
      {"moving average of a spike", smooth({0, 0, 3, 0, 0}, 3), {-0.5, 1, 1, 1, 0}},
      {"moving average keeps a line", smooth(line, 5), line},
      {"moving average wider than the data", smooth({1, 2}, 3), {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.got.size(), c.expected.size());
    for (size_t i = 0; i < c.got.size(); ++i) {
      EXPECT_TRUE(testsupport::near_rel(c.got[i], c.expected[i], 1e-14, 1e-12)) << "i=" << i;
    }
  }
  EXPECT_EQ(f_moved, funct::kSumCap);
  EXPECT_EQ(f_kept, 1.0);
}

class FunNist : public modeltest::ModelFixture {
 protected:
  // Reads line 1 (the model), skips lines 2-5 and loads the rows "x y" into the shared data.
  bool load(const std::string& name) {
    std::ifstream in(testsupport::nist_dir() + "/dat/" + name + "-start1.dat");
    std::string line;
    if (!std::getline(in, line) || line.rfind("Y=", 0) != 0) return false;
    use_formula(line.substr(2));
    for (int k = 0; k < 4; ++k) std::getline(in, line);
    int32_t n = 0;
    while (std::getline(in, line) && line.find("END") == std::string::npos) {
      std::istringstream row(line);
      double x = 0.0;
      double y = 0.0;
      if (!(row >> x >> y)) continue;
      ++n;
      common_data::xnx(n, 1) = x;
      common_data::yd(n) = y;
    }
    common_data::nd = n;
    return n > 0;
  }
};

TEST_F(FunNist, CertifiedSumsOfSquares) {
  struct Case {
    const char* name;
    std::vector<double> p;
    double ssr;
  };
  const Case cases[] = {
      {"Misra1a", {2.3894212918E+02, 5.5015643181E-04}, 1.2455138894E-01},
      {"Thurber",
       {1.2881396800E+03,
        1.4910792535E+03,
        5.8323836877E+02,
        7.5416644291E+01,
        9.6629502864E-01,
        3.9797285797E-01,
        4.9727297349E-02},
       5.6427082397E+03},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(load(c.name)) << "cannot read it in " << testsupport::nist_dir();
    const int32_t n = common_data::nd;
    const int32_t np = static_cast<int32_t>(c.p.size());
    double fval = 0.0;
    funct::fun(MatView<const double>(common_data::xnx.data(), n, 1, common_data::max_rows),
               VecView<const double>(common_data::yd.data(), n),
               VecView<const double>(c.p.data(), np),
               np,
               1,
               n,
               0,
               common_data::ydf.view(n),
               VecView<const double>(common_data::ysig.data(), n),
               fval);
    EXPECT_NEAR_REL(fval, c.ssr, 1e-8);
  }
}

}  // namespace

namespace {

class FunBadFormula : public Fun {};

TEST_F(FunBadFormula, FormulaThatCannotBeCompiledGivesTheCapOnce) {
  use_formula("P1*X1+");
  testsupport::ScopedClock clock;
  ::testing::internal::CaptureStdout();
  const double fval = run(0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(fval, funct::kSumCap);
  EXPECT_EQ(clock.slept(), 5000);  // one refusal and its pause, not one per row
}

}  // namespace
