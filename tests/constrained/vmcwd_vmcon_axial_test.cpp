#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "constrained/vmcon_fixture.hpp"
#include "constrained/vmcwd_vmcon_mod.hpp"
#include "model/funct.hpp"
#include "support/close.hpp"

namespace {

using vmcontest::VmconFixture;
namespace vm = vmcwd_vmcon_mod;

class Axial : public VmconFixture {
 protected:
  // axialsearch from x, f being the sum there; returns the point it leaves.
  std::vector<double> probe(std::vector<double> x) {
    f_ = ssq(x[0], x[1]);
    vm::axialsearch(2, f_, VecView<double>(x.data(), 2), fgrad_, c_, cnorm_);
    return x;
  }
  // f, fgrad and c describe x (the constraint layout of calcfg with both parameters free).
  // The gradient is a central difference: good to about 1e-5 relative, or 1e-7 absolute
  // where it nearly vanishes.
  void expect_values_of(const std::vector<double>& x) {
    double ga = 0.0, gb = 0.0;
    EXPECT_NEAR_REL(f_, ssq(x[0], x[1], &ga, &gb), 1e-12);
    EXPECT_TRUE(testsupport::near_rel(fgrad_(1), ga, 1e-5, 1e-7));
    EXPECT_TRUE(testsupport::near_rel(fgrad_(2), gb, 1e-5, 1e-7));
    EXPECT_EQ(c_(1), x[0] - common_data::pboundlo(1));
    EXPECT_EQ(c_(3), common_data::pboundhi(1) - x[0]);
  }

  double f_ = 0.0;
  vm::GradArray fgrad_;
  vm::ConsArray c_;
  vm::ConsGrad cnorm_;
};

TEST_F(Axial, AllFixedMakesNoEvaluation) {
  common_data::pmask(1) = common_data::pmask(2) = 0;
  const int64_t before = funct::fun_count;
  const std::vector<double> x = probe({2.0, 0.3});
  EXPECT_EQ(funct::fun_count, before);
  EXPECT_EQ(x, (std::vector<double>{2.0, 0.3}));
  EXPECT_EQ(f_, ssq(2.0, 0.3));
}

TEST_F(Axial, ImprovesAndLeavesTheValuesOfTheReturnedPoint) {
  const double start = ssq(2.0, 0.3);
  const std::vector<double> x = probe({2.0, 0.3});
  EXPECT_LT(f_, start);
  // Steps of 1.11e-5 relative and less, at most 21 successes in all.
  EXPECT_NEAR(x[0], 2.0, 21 * 1.11e-5 * 2.1);
  EXPECT_NEAR(x[1], 0.3, 21 * 1.11e-5 * 0.31);
  expect_values_of(x);
}

TEST_F(Axial, AtTheOptimumEvaluatesAgainAtTheReturnedPoint) {
  // Every probe fails, so the last evaluation is a rejected probe.
  const std::vector<double> best = unconstrained_optimum();
  const std::vector<double> x = probe(best);
  EXPECT_NEAR(x[0], best[0], 1e-9);
  EXPECT_NEAR(x[1], best[1], 1e-9);
  expect_values_of(x);
  EXPECT_EQ(common_data::pfinal(1), x[0]);
  EXPECT_EQ(common_data::pfinal(2), x[1]);
}

TEST_F(Axial, ProbesStayInsideTheBounds) {
  // At P1's upper bound the objective falls as P1 rises: the probe must not step over it.
  common_data::pboundhi(1) = 2.2;
  const std::vector<double> x = probe({2.2, best_b(2.2)});
  EXPECT_EQ(x[0], 2.2);
  expect_values_of(x);
}

TEST_F(Axial, ClipsOnlyFreeComponentsOutsideTheirBounds) {
  struct Case {
    const char* what;
    int32_t mask2;
    std::vector<double> x;
    std::vector<double> expected;  // NaN: any value inside the bounds
  };
  const double any = std::nan("");
  const Case cases[] = {
      {"free P1 above its upper bound", 1, {100.5, 0.3}, {100.0, any}},
      {"free P1 below its lower bound", 1, {-100.5, 0.3}, {-100.0, any}},
      {"fixed P2 outside stays", 0, {2.0, 150.0}, {any, 150.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    common_data::pmask(2) = c.mask2;
    const std::vector<double> x = probe(c.x);
    for (size_t i = 0; i < 2; ++i) {
      if (std::isnan(c.expected[i])) {
        EXPECT_GE(x[i], common_data::pboundlo(i + 1));
        EXPECT_LE(x[i], common_data::pboundhi(i + 1));
      } else {
        EXPECT_EQ(x[i], c.expected[i]) << i;
      }
    }
    EXPECT_NEAR_REL(f_, ssq(x[0], x[1]), 1e-12);
    const int32_t lower1 = c.mask2 == 0 ? 2 : 1;  // after the fixed parameter's equality
    EXPECT_EQ(c_(lower1), x[0] - common_data::pboundlo(1));
  }
}

TEST_F(Axial, ParameterAtZeroMovesByTheAbsoluteStepOnly) {
  const std::vector<double> x = probe({2.0, 0.0});
  // At most one success per sweep and parameter, each of 2.22e-15 (+ 0 relative part).
  EXPECT_LE(std::fabs(x[1]), 21 * 2.22e-15);
  EXPECT_NE(x[1], 0.0);  // the sum falls as P2 rises from 0 with these data
}

}  // namespace
