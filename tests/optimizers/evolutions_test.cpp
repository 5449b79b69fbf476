#include "optimizers/evolutions.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "optimizers/synthetic_problem.hpp"
#include "support/nist_problem.hpp"

namespace {

using optimtest::SyntheticProblem;

struct Outcome {
  std::vector<double> x;
  double fsum;
  int32_t count;
};

class Evol : public SyntheticProblem {
 protected:
  void SetUp() override {
    SyntheticProblem::SetUp();
    evolutions::reset();
  }
  static Outcome run(std::vector<double> x, double fsum, int32_t gens) {
    int32_t count = -1;
    evolutions::evol(common_data::nd,
                     static_cast<int32_t>(x.size()),
                     VecView<double>(x.data(), x.size()),
                     fsum,
                     count,
                     gens);
    return {x, fsum, count};
  }
  // The same run again from freshly reset modules and the same draws.
  Outcome rerun(const std::vector<double>& x, double fsum, int32_t gens) {
    TearDown();
    SetUp();
    exponential_problem();
    return run(x, fsum, gens);
  }
};

TEST_F(Evol, ImprovesTheExponentialModelFromNearStarts) {
  exponential_problem();
  const std::vector<std::vector<double>> starts = {{5.1, 0.41, 1.01}, {4.9, 0.39, 1.02}};
  for (const auto& start : starts) {
    SCOPED_TRACE(::testing::Message() << start[0] << " " << start[1] << " " << start[2]);
    const double f_in = sum_at(start);
    const Outcome out = run(start, f_in, 60);
    EXPECT_LT(out.fsum, f_in);
    EXPECT_GE(out.fsum, 0.01 * f_in);
    EXPECT_DOUBLE_EQ(out.fsum, sum_at(out.x));  // the weighted sum of the returned vector
    EXPECT_GE(out.count, 10);
    EXPECT_LE(out.count, 60);
  }
}

TEST_F(Evol, ImprovesMisra1aFromNearStarts) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
  install_entropy();
  const std::vector<double> factors[] = {{1.05, 0.95}, {1.08, 0.92}};
  for (const auto& f : factors) {
    SCOPED_TRACE(::testing::Message() << f[0] << " " << f[1]);
    const std::vector<double> start = {pb.certified[0] * f[0], pb.certified[1] * f[1]};
    const double f_in = pb.ssq(start);
    const Outcome out = run(start, f_in, 100);
    EXPECT_LT(out.fsum, f_in);
    EXPECT_GE(out.fsum, pb.certified_ssr * (1 - 1e-9));
    EXPECT_DOUBLE_EQ(out.fsum, pb.ssq(out.x));
  }
}

TEST_F(Evol, ReturnsTheEntryWhenTheResultIsAboveTheSumOrBelowOnePercentOfIt) {
  exponential_problem();
  const std::vector<double> start = {4.0, 0.5, 1.2};
  const double true_sum = sum_at(start);
  struct Case {
    const char* name;
    double f_in;
  };
  const Case cases[] = {
      {"caller knows a far lower sum", 1e-30},
      {"the result is below 1 % of the caller's sum", true_sum},  // the fit reaches ~1e-3
      {"a huge caller's sum", 1e6 * true_sum},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = run(start, c.f_in, 50);
    EXPECT_EQ(out.x, start);
    EXPECT_EQ(out.fsum, c.f_in);
    EXPECT_GT(out.count, 0);
  }
}

TEST_F(Evol, TimeLimitReturnsTheEntryVectorAndSumExactly) {
  exponential_problem();
  const std::vector<double> start = {5.1, 0.41, 1.01};
  expire_time_limit();
  const Outcome out = run(start, 123.25, 250);
  EXPECT_EQ(out.x, start);
  EXPECT_EQ(out.fsum, 123.25);
  EXPECT_EQ(out.count, 0);
}

TEST_F(Evol, ZeroGenerationsMeans500) {
  exponential_problem();
  const std::vector<double> start = {5.1, 0.41, 1.01};
  const Outcome zero = run(start, sum_at(start), 0);
  const Outcome five_hundred = rerun(start, sum_at(start), 500);
  const Outcome ten = rerun(start, sum_at(start), 10);
  EXPECT_EQ(zero.x, five_hundred.x);
  EXPECT_EQ(zero.fsum, five_hundred.fsum);
  EXPECT_EQ(zero.count, five_hundred.count);
  EXPECT_GT(zero.count, 10);  // it ran past the 10 generations of a short run
  EXPECT_EQ(ten.count, 10);
}

TEST_F(Evol, KeepsFixedParametersBitIdentical) {
  exponential_problem();
  common_data::pmask(3) = 0;
  const std::vector<double> start = {5.1, 0.41, 1.0000000000000002};
  const Outcome out = run(start, sum_at(start), 40);
  EXPECT_EQ(out.x[2], start[2]);
  EXPECT_LT(out.fsum, sum_at(start));
}

TEST_F(Evol, ReturnsTheEntryForParameterCountsItCannotSearch) {
  exponential_problem();
  for (int32_t n : {0, common_data::max_params + 1, 26}) {
    SCOPED_TRACE(n);
    std::vector<double> x(static_cast<size_t>(n) + 1, 2.0);  // one spare entry
    double fsum = 7.0;
    int32_t count = -1;
    evolutions::evol(30, n, VecView<double>(x.data(), n), fsum, count, 10);
    EXPECT_EQ(x, std::vector<double>(static_cast<size_t>(n) + 1, 2.0));
    EXPECT_EQ(fsum, 7.0);
    EXPECT_EQ(count, 0);
  }
}

TEST_F(Evol, SearchesASingleParameter) {
  // y = P1 x with P1 = 3 and a ripple; NP = 20, the exponential crossover changes P1 only.
  use_formula("P1*X1");
  common_data::nd = 10;
  common_data::nxd = 1;
  for (int i = 1; i <= 10; ++i) {
    common_data::xd(i) = i;
    common_data::yd(i) = 3.0 * i + 0.1 * ((i % 3) - 1);
    common_data::ysig(i) = 1.0;
  }
  free_parameters(1, 0.01, 100.0);
  const std::vector<double> start = {3.05};
  const Outcome out = run(start, sum_at(start), 30);
  EXPECT_LT(out.fsum, sum_at(start));
  EXPECT_NEAR(out.x[0], 3.0, 0.01);
}

TEST_F(Evol, RandomuReseedsOnEveryDraw) {
  double u1 = 0.0, u2 = 0.0;
  evolutions::randomu(u1);
  evolutions::randomu(u2);
  EXPECT_NE(u1, u2);  // the test's entropy source gives a new seed each time
  runtime_rng::set_entropy_source([] { return uint64_t{42}; });
  evolutions::randomu(u1);
  runtime_rng::uniform();  // draws in between do not matter: the next call re-seeds
  evolutions::randomu(u2);
  EXPECT_EQ(u1, u2);
  EXPECT_GE(u1, 0.0);
  EXPECT_LT(u1, 1.0);
}

TEST_F(Evol, AGeneratorThatRepeatsItselfDoesNotHang) {
  // Every draw of randomu is the same number, so every member index collides.
  exponential_problem();
  runtime_rng::set_entropy_source([] { return uint64_t{7}; });
  const std::vector<double> start = {5.1, 0.41, 1.01};
  const Outcome out = run(start, sum_at(start), 20);
  EXPECT_LE(out.fsum, sum_at(start));
  EXPECT_GT(out.count, 0);
}

}  // namespace
