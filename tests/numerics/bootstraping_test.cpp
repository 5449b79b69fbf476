#include "numerics/bootstraping.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numerics/runtime_rng.hpp"

namespace {

struct Result {
  float t = -1.0f;
  float se = -1.0f;
};

Result run(std::vector<float> x, int32_t nb) {
  Result r;
  bootstraping(static_cast<int32_t>(x.size()),
               VecView<const float>(x.data(), static_cast<long>(x.size())),
               0.05f,
               nb,
               r.t,
               r.se);
  return r;
}

class Bootstraping : public ::testing::Test {
 protected:
  void SetUp() override { runtime_rng::reset(); }
  void TearDown() override { runtime_rng::reset(); }
};

TEST_F(Bootstraping, DegenerateResamplesGiveZeroError) {
  EXPECT_EQ(run({1, 2, 3}, 1).se, 0.0f);
  EXPECT_EQ(run({1, 2, 3}, 0).se, 0.0f);
  EXPECT_EQ(run(std::vector<float>(10, 4.25f), 1000).se, 0.0f);
  EXPECT_EQ(run({}, 50).se, 0.0f);
}

TEST_F(Bootstraping, TValueFollowsTheSampleSize) {
  struct Case {
    int32_t n;
    float t;
  };
  const Case cases[] = {
      {0, 2.0f}, {1, 12.71f}, {10, 2.23f}, {25, 2.06f}, {40, 2.03f}, {100, 1.98f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(run(std::vector<float>(c.n, 1.0f), 2).t, c.t);
  }
}

TEST_F(Bootstraping, ErrorOfUniformResamplesOverTheRange) {
  // Resample values are uniform over [0, 6]: the mean of 12 of them has standard deviation
  // 6 / sqrt(12 * 12) = 0.5. With 4000 resamples the estimate is within about 1% (sd of the
  // estimate 0.5 / sqrt(2 * 4000)); 5% bounds it under any seed.
  const std::vector<float> x = {0, 6, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  runtime_rng::seed_array({11, 22, 33, 44, 55, 66, 77, 88});
  const Result r = run(x, 4000);
  EXPECT_NEAR(r.se, 0.5f, 0.025f);
  EXPECT_EQ(r.t, 2.18f);
}

TEST_F(Bootstraping, SameRuntimeSeedGivesTheSameError) {
  const std::vector<float> x = {3, 1, 4, 1, 5, 9, 2, 6};
  runtime_rng::seed_array({1, 2, 3, 4, 5, 6, 7, 8});
  const float first = run(x, 200).se;
  runtime_rng::seed_array({1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(run(x, 200).se, first);
  EXPECT_GT(first, 0.0f);
}

}  // namespace
