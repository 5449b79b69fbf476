#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "constrained/sqp_fixture.hpp"
#include "constrained/vmsqp_mod.hpp"
#include "support/close.hpp"

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

class GradientNumerical : public sqptest::SqpFixture {
 protected:
  std::vector<double> gradient(std::vector<double> p, std::vector<int32_t> mask, int32_t& count) {
    std::vector<double> sigma(kRows, kNan);
    std::vector<double> g(p.size(), kNan);
    const int32_t m = kRows, n = static_cast<int32_t>(p.size()), nvar = 1, mode = 0;
    vmsqp_mod::compute_gradient_numerical(VecView<const double>(p.data(), n),
                                          VecView<const double>(xdat_.data(), m),
                                          VecView<const double>(y_.data(), m),
                                          VecView<double>(sigma.data(), m),
                                          VecView<double>(g.data(), n),
                                          m,
                                          n,
                                          nvar,
                                          mode,
                                          count,
                                          VecView<const int32_t>(mask.data(), n));
    return g;
  }
};

TEST_F(GradientNumerical, MatchesTheAnalyticGradientOfTheFreeParameters) {
  // dSSR/dP1 = -2 sum r e^{-P2 x}, dSSR/dP2 = 2 sum r P1 x e^{-P2 x}.
  const std::vector<double> p = {4.0, 0.25};
  double g1 = 0.0, g2 = 0.0;
  for (int32_t k = 0; k < kRows; ++k) {
    const double e = std::exp(-p[1] * xdat_[k]);
    const double r = y_[k] - p[0] * e;
    g1 += -2.0 * r * e;
    g2 += 2.0 * r * p[0] * xdat_[k] * e;
  }
  int32_t count = 5;
  const std::vector<double> g = gradient(p, {1, 1}, count);
  EXPECT_EQ(count, 9);
  // Central differences with h about 1e-5: truncation error h^2 relative.
  EXPECT_NEAR_REL(g[0], g1, 1e-8);
  EXPECT_NEAR_REL(g[1], g2, 1e-8);

  count = 0;
  const std::vector<double> gf = gradient(p, {0, 1}, count);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(gf[0], 0.0);
  EXPECT_EQ(gf[1], g[1]);
}

TEST_F(GradientNumerical, ZeroDifferenceGivesAPositiveFloor) {
  use_formula("P1+0*P2*X1");  // P2 does not change the sum
  int32_t count = 0;
  const std::vector<double> g = gradient({1.0, 0.0}, {1, 1}, count);
  EXPECT_EQ(g[1], 1.02e-10 / (2.0 * 1.0000002e-5));
}

class MomentStep : public sqptest::SqpFixture {
 protected:
  void SetUp() override {
    SqpFixture::SetUp();
    common_data::pmask(1) = 1;
    common_data::pmask(2) = 0;
    common_data::pmask(3) = 1;
  }
};

TEST_F(MomentStep, FirstStepMovesEachFreeElementByTheLearningRate) {
  // t = 1: uh = g, vh = g^2, so the step is lr g / (|g| + 1e-8).
  const std::vector<double> g = {2.0, 5.0, -0.5};
  std::vector<double> s = {1.0, 1.0, 1.0};
  std::vector<double> yv = {1.0, 1.0, 1.0};
  vmsqp_mod::adam_update_s(VecView<double>(s.data(), 3), VecView<const double>(g.data(), 3), 3, 1);
  vmsqp_mod::adam_update_y(VecView<double>(yv.data(), 3), VecView<const double>(g.data(), 3), 3, 1);
  EXPECT_NEAR_REL(s[0], 1.0 - 0.001 * 2.0 / (2.0 + 1e-8), 1e-14);
  EXPECT_EQ(s[1], 1.0);  // fixed (pmask 0): untouched
  EXPECT_NEAR_REL(s[2], 1.0 + 0.001 * 0.5 / (0.5 + 1e-8), 1e-14);
  EXPECT_NEAR_REL(yv[0], 1.0 - 0.0001, 1e-10);
  EXPECT_EQ(yv[1], 1.0);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(MomentStep, MomentsCarryOverUntilTheFirstIterationRestartsThem) {
  const std::vector<double> g = {1.0, 0.0, 1.0};
  std::vector<double> s = {0.0, 0.0, 0.0};
  auto step = [&](int32_t t) {
    s.assign(3, 0.0);
    vmsqp_mod::adam_update_s(
        VecView<double>(s.data(), 3), VecView<const double>(g.data(), 3), 3, t);
    return s[0];
  };
  const double first = step(1);
  step(2);
  const double a = 1.0 - 0.9;  // the first-moment weight as computed
  EXPECT_EQ(vmsqp_mod::moments_s.first(1), 0.9 * a + a);
  EXPECT_EQ(step(1), first);  // restarted
}

TEST_F(MomentStep, InvalidCallsOnlyWriteTheirMessage) {
  struct Case {
    const char* what;
    int32_t n;
    int32_t t;
    const char* message;
  };
  const Case cases[] = {
      {"no parameters", 0, 1, " ERROR: n_params must be positive\n"},
      {"iteration 0", 3, 0, " ERROR: iteration must be positive\n"},
      {"moments of another length", 2, 2, " ERROR: Moment estimate arrays size mismatch\n"},
  };
  const std::vector<double> g = {1.0, 1.0, 1.0};
  std::vector<double> s = {0.0, 0.0, 0.0};
  vmsqp_mod::adam_update_s(VecView<double>(s.data(), 3), VecView<const double>(g.data(), 3), 3, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    out_.str("");
    std::vector<double> v = {7.0, 7.0, 7.0};
    vmsqp_mod::adam_update_s(
        VecView<double>(v.data(), 3), VecView<const double>(g.data(), 3), c.n, c.t);
    EXPECT_EQ(out_.str(), c.message);
    EXPECT_EQ(v, (std::vector<double>{7.0, 7.0, 7.0}));
  }
}

TEST_F(MomentStep, NanElementsAreReplacedDifferentlyByTheTwoSteps) {
  const std::vector<double> g = {1.0, 1.0, 1.0};
  std::vector<double> s = {kNan, 1.0, kNan};
  vmsqp_mod::adam_update_s(VecView<double>(s.data(), 3), VecView<const double>(g.data(), 3), 3, 1);
  EXPECT_EQ(s[0], 2.0);
  EXPECT_TRUE(std::isnan(s[2]));  // the step returned at the first NaN
  EXPECT_NE(out_.str().find(" ERROR: NaN detected in parameter           1"), std::string::npos);

  std::vector<double> yv = {kNan, 1.0, kNan};
  vmsqp_mod::adam_update_y(VecView<double>(yv.data(), 3), VecView<const double>(g.data(), 3), 3, 1);
  EXPECT_EQ(yv[0], 0.0);
  EXPECT_EQ(yv[2], 0.0);
}

}  // namespace
