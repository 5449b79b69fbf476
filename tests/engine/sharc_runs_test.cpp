#include "engine/sharc_runs.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/close.hpp"

namespace {

sharc_mod::RunsTest run(std::vector<double> r) {
  sharc_mod::RunsTest t;
  sharc_mod::runs_statistic(VecView<const double>(r.data(), long(r.size())), int32_t(r.size()), t);
  return t;
}

TEST(RunsStatistic, CountsRunsAndSignsOfTheDocumentedSequences) {
  struct Case {
    const char* name;
    std::vector<double> r;
    int32_t npos, nneg, nzero, up, down;
    std::vector<std::pair<int, double>> runs;  // (k, runs(k)) that must hold; others are 0
  };
  std::vector<double> rises(21);
  for (int i = 0; i < 21; ++i) rises[size_t(i)] = i;
  const std::vector<Case> cases = {
      {"rise then fall", {1, 2, 3, 2, 1}, 2, 2, 0, 2, 2, {{2, 2.0}}},
      {"a leading tie starts a run up", {0, 0, 1}, 1, 0, 1, 2, 0, {{2, 1.0}}},
      {"falls only, first residual positive", {5, -1, -2, -3}, 0, 3, 0, 0, 3, {{3, 1.0}}},
      {"a tie inside a fall continues it", {3, 2, 2, 1, 4}, 1, 2, 1, 1, 3, {{3, 1.0}, {1, 1.0}}},
      {"twenty rises count as 15 or more", rises, 20, 0, 0, 20, 0, {{15, 1.0}, {16, 1.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const sharc_mod::RunsTest t = run(c.r);
    EXPECT_EQ(t.npos, c.npos);
    EXPECT_EQ(t.nneg, c.nneg);
    EXPECT_EQ(t.nzero, c.nzero);
    EXPECT_EQ(t.npos + t.nneg + t.nzero, int32_t(c.r.size()) - 1);
    EXPECT_EQ(t.longest_up, c.up);
    EXPECT_EQ(t.longest_down, c.down);
    for (int k = 1; k <= 16; ++k) {
      double expected = 0.0;
      for (auto [kk, v] : c.runs) {
        if (kk == k) expected = v;
      }
      EXPECT_EQ(t.runs(k), expected) << "runs(" << k << ")";
    }
  }
}

TEST(RunsStatistic, ZValuesCompareWithTheExpectationLessOneHalf) {
  const sharc_mod::RunsTest t = run({1, 2, 3, 2, 1});
  // runs(2) = 2 against E(2) = 82/120 and SD(2) = sqrt(0.112667.. * 5 - 0.162828..).
  EXPECT_NEAR_REL(t.z(2), 1.5805088708273396, 1e-14);
  // No run of length 1 against E(1) = 2 (5 * 5 - 2) / 24: a negative z raised by 0.5.
  EXPECT_NEAR_REL(t.z(1), -1.193891968955631, 1e-14);
}

TEST(RunsStatistic, AlternatingResidualsPinTheFirstZValue) {
  for (int n : {6, 7, 40}) {
    SCOPED_TRACE(n);
    std::vector<double> r;
    for (int i = 0; i < n; ++i) r.push_back(i % 2 == 0 ? 1.0 : -1.0);
    const sharc_mod::RunsTest t = run(r);
    EXPECT_EQ(t.runs(1), n - 1);
    EXPECT_EQ(std::fabs(t.z(1)), 2.57);
  }
}

TEST(RunsStatistic, NaNDifferencesCountAsRisesAndShortInputWritesNothing) {
  const sharc_mod::RunsTest t = run({1.0, std::nan(""), 0.5});
  EXPECT_EQ(t.npos, 2);
  EXPECT_EQ(t.runs(2), 1.0);

  sharc_mod::RunsTest untouched;
  untouched.npos = -7;
  untouched.runs(1) = -7;
  double r = 1.0;
  sharc_mod::runs_statistic(VecView<const double>(&r, 1), 1, untouched);
  EXPECT_EQ(untouched.npos, -7);
  EXPECT_EQ(untouched.runs(1), -7);
}

}  // namespace
