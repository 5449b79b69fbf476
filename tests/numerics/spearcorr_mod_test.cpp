#include "numerics/spearcorr_mod.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

std::vector<double> ranks(std::vector<double> x) {
  std::vector<double> rk(x.size(), -1.0);
  spearcorr_mod::rank(VecView<const double>(x.data(), static_cast<long>(x.size())),
                      static_cast<int32_t>(x.size()),
                      VecView<double>(rk.data(), static_cast<long>(rk.size())));
  return rk;
}

double rho_of(std::vector<double> x, std::vector<double> y) {
  double rho = -9.0;
  spearcorr_mod::spcorr(VecView<const double>(x.data(), static_cast<long>(x.size())),
                        VecView<const double>(y.data(), static_cast<long>(y.size())),
                        static_cast<int32_t>(x.size()),
                        0,
                        rho);
  return rho;
}

TEST(Rank, MidRanksWithTies) {
  struct Case {
    std::vector<double> x;
    std::vector<double> expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {{3, 1, 2}, {3, 1, 2}},
      {{2, 2, 1}, {2.5, 2.5, 1}},
      {{1, 2, 1}, {1.5, 3, 1.5}},
      {{5}, {1}},
      {{4, 4, 4, 4}, {2.5, 2.5, 2.5, 2.5}},
      {{9, 1, 9, 5, 1, 9}, {5, 1.5, 5, 3, 1.5, 5}},
      {{-1, -1, 0, 3, 3, 3, 0}, {1.5, 1.5, 3.5, 6, 6, 6, 3.5}},
      // ranking stops at the value that is not a number; NaN sorts after every number
      {{2, 1, nan, 3}, {2, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.x));
    EXPECT_EQ(ranks(c.x), c.expected);
  }
}

TEST(Rank, LaterValuesAllOneStepAboveTheFirstShareOneRank) {
  // 1e-15 held in single precision; 1 + that step is a double distinct from 1.
  const double up = 1.0 + double(1e-15f);
  ASSERT_NE(up, 1.0);
  struct Case {
    std::vector<double> x;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {{1.0, up, up}, {2, 2, 2}},
      {{1.0, up}, {1.5, 1.5}},
      {{-0.5, -0.5 + double(1e-15f), -0.5 + double(1e-15f), -0.5 + double(1e-15f)},
       {2.5, 2.5, 2.5, 2.5}},
      // one later value off the step: ordinary mid-ranks
      {{1.0, up, 1.0}, {1.5, 3, 1.5}},
      {{up, 1.0, 1.0}, {3, 1.5, 1.5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.x));
    EXPECT_EQ(ranks(c.x), c.expected);
  }
  // ranks (2, 2, 2) against (1, 2, 3): one shared rank, so no rank correlation
  EXPECT_TRUE(std::isnan(rho_of({1.0, up, up}, {1, 2, 3})));
}

TEST(Rank, OversizedSampleIsNotRanked) {
  std::vector<double> x(spearcorr_mod::kMaxRank + 1, 1.0);
  for (double r : ranks(x)) ASSERT_EQ(r, 0.0);
}

TEST(Rank, LargeDescendingSampleRanksInOrder) {
  std::vector<double> x(spearcorr_mod::kMaxRank);
  for (size_t i = 0; i < x.size(); ++i) x[i] = -static_cast<double>(i);
  const std::vector<double> rk = ranks(x);
  for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(rk[i], static_cast<double>(x.size() - i));
}

TEST(Spcorr, RankCorrelation) {
  struct Case {
    const char* what;
    std::vector<double> x, y;
    double expected;
  };
  const Case cases[] = {
      {"reversed", {1, 2, 3}, {3, 2, 1}, -1.0},
      {"identical", {0.5, 7, -2, 3}, {0.5, 7, -2, 3}, 1.0},
      {"monotone transform", {1, 2, 3, 4, 5}, {1, 8, 27, 64, 125}, 1.0},
      // ranks (1,2,3,4,5) and (2,1,4,3,5): D = 4, rho = 1 - 24/120
      {"two swaps", {1, 2, 3, 4, 5}, {20, 10, 40, 30, 50}, 0.8},
      // ranks (1,2,3,4) and (4,1,2,3): D = 9+1+1+1 = 12, rho = 1 - 72/60 = -0.2
      {"rotation", {1, 2, 3, 4}, {4, 1, 2, 3}, 1.0 - 72.0 / 60.0},
      {"single value", {1}, {1}, 0.0},
      // ranks (1..5) and (4,4,4,1.5,1.5): Pearson of the ranks -7.5 / sqrt(10 * 7.5); the
      // no-ties shortcut 1 - 6 D / 120 would give -0.625
      {"heavy ties", {1, 2, 3, 4, 5}, {2, 2, 2, 1, 1}, -std::sqrt(0.75)},
      // ties in both: ranks (1.5,1.5,3,4) and (1,2.5,2.5,4): sxy = 3.75, sxx = syy = 4.5
      {"ties in both", {1, 1, 2, 3}, {1, 2, 2, 3}, 3.75 / 4.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_DOUBLE_EQ(rho_of(c.x, c.y), c.expected);
  }
}

TEST(Spcorr, SampleSizeLimitsAndNearZeroRho) {
  std::vector<double> big(spearcorr_mod::kMaxRank + 1, 0.0);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<double>(i);
  EXPECT_EQ(rho_of(big, big), 0.0);
  big.pop_back();
  EXPECT_EQ(rho_of(big, big), 1.0);  // n = 7500: the denominator needs more than 32 bits
  // ranks (1,2,3,4) and (2,4,1,3) -> D = 1+4+4+1 = 10, rho = 1 - 60/60 = 0
  EXPECT_EQ(rho_of({1, 2, 3, 4}, {2, 4, 1, 3}), 0.0);
}

TEST(Spcorr, ConstantColumnHasNoRankCorrelation) {
  EXPECT_TRUE(std::isnan(rho_of({1, 2, 3, 4, 5}, {7, 7, 7, 7, 7})));
  EXPECT_TRUE(std::isnan(rho_of({3, 3}, {1, 2})));
}

}  // namespace
