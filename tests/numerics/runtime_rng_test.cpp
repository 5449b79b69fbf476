#include "numerics/runtime_rng.hpp"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

class RuntimeRng : public ::testing::Test {
 protected:
  void SetUp() override { runtime_rng::reset(); }
  void TearDown() override { runtime_rng::reset(); }
};

std::vector<double> draws(int count) {
  std::vector<double> v;
  for (int k = 0; k < count; ++k) v.push_back(runtime_rng::uniform());
  return v;
}

TEST_F(RuntimeRng, EqualSeedArraysGiveEqualStreamsAndDifferentOnesDiffer) {
  const runtime_rng::SeedArray a{1000, 1037, 1074, 1111, 1148, 1185, 1222, 1259};
  runtime_rng::SeedArray b = a;
  b[7] += 1;
  runtime_rng::seed_array(a);
  const auto first = draws(8);
  runtime_rng::seed_array(a);
  EXPECT_EQ(draws(8), first);
  runtime_rng::seed_array(b);
  EXPECT_NE(draws(8), first);
}

TEST_F(RuntimeRng, AllZeroSeedStillGivesAVaryingStream) {
  runtime_rng::seed_array({});
  const auto v = draws(50);
  EXPECT_EQ(std::set<double>(v.begin(), v.end()).size(), v.size());
}

TEST_F(RuntimeRng, RepeatableSeedRestartsTheStartUpStream) {
  const auto start = draws(5);
  runtime_rng::seed_array({1, 2, 3, 4, 5, 6, 7, 8});
  draws(3);
  runtime_rng::seed_repeatable();
  EXPECT_EQ(draws(5), start);
}

TEST_F(RuntimeRng, ProcessorSeedFollowsTheInjectedEntropy) {
  uint64_t counter = 0;
  runtime_rng::set_entropy_source([&counter] { return ++counter * 0x1234567ull; });
  runtime_rng::seed_processor();
  const auto first = draws(6);
  EXPECT_EQ(counter, 4u);  // one 64-bit word per state word
  counter = 0;
  runtime_rng::seed_processor();
  EXPECT_EQ(draws(6), first);
  runtime_rng::seed_repeatable();
  EXPECT_NE(draws(6), first);
}

TEST_F(RuntimeRng, ProcessorSeedsDifferAtEveryReseed) {
  // The real source: every re-seed starts a stream of its own (two equal first draws among
  // 4096 streams have a probability of about 1e-9).
  std::set<double> first;
  const int count = 4096;
  for (int k = 0; k < count; ++k) {
    runtime_rng::seed_processor();
    first.insert(runtime_rng::uniform());
  }
  EXPECT_EQ(first.size(), static_cast<size_t>(count));
}

TEST_F(RuntimeRng, UniformsAreTheNextDrawsOfTheStream) {
  runtime_rng::seed_array({1, 2, 3, 4, 5, 6, 7, 8});
  const auto expected = draws(12);
  runtime_rng::seed_array({1, 2, 3, 4, 5, 6, 7, 8});
  std::vector<double> got(11);
  runtime_rng::uniforms(got);
  EXPECT_EQ(got, std::vector<double>(expected.begin(), expected.begin() + 11));
  EXPECT_EQ(runtime_rng::uniform(), expected[11]);  // the stream goes on after them
}

TEST_F(RuntimeRng, DrawsStayInTheirRangesAndCoverThem) {
  double sum = 0.0;
  double lo = 1.0;
  double hi = 0.0;
  const int count = 100000;
  for (int k = 0; k < count; ++k) {
    const double u = runtime_rng::uniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    sum += u;
    lo = std::min(lo, u);
    hi = std::max(hi, u);
    const float f = runtime_rng::uniform_float();
    ASSERT_GE(f, 0.0f);
    ASSERT_LT(f, 1.0f);
  }
  // The mean of 1e5 uniforms has a standard error of 0.0009; 0.005 is over five of them.
  EXPECT_NEAR(sum / count, 0.5, 0.005);
  EXPECT_LT(lo, 1e-3);
  EXPECT_GT(hi, 1.0 - 1e-3);
}

TEST_F(RuntimeRng, IntegersCoverTheClosedRangeAndNothingElse) {
  std::set<int32_t> seen;
  for (int k = 0; k < 2000; ++k) {
    const int32_t v = runtime_rng::integer(-3, 4);
    ASSERT_GE(v, -3);
    ASSERT_LE(v, 4);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 8u);
  EXPECT_EQ(runtime_rng::integer(7, 7), 7);
  EXPECT_EQ(runtime_rng::integer(9, 2), 9);
  // The full range has a span of 2^32, which must not overflow into a span of 0: both signs
  // show up among 64 draws (a miss has probability 2^-63).
  bool negative = false;
  bool positive = false;
  for (int k = 0; k < 64; ++k) {
    const int32_t v = runtime_rng::integer(INT32_MIN, INT32_MAX);
    negative = negative || v < 0;
    positive = positive || v > 0;
  }
  EXPECT_TRUE(negative);
  EXPECT_TRUE(positive);
}

}  // namespace
