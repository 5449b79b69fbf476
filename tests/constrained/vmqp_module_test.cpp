#include "constrained/vmqp_module.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "constrained/vmqp_fixture.hpp"

namespace {

using vmqptest::Caller;
using vmqptest::VmqpFixture;

TEST_F(VmqpFixture, RefusesBadSizesWithoutEvaluating) {
  struct Case {
    const char* name;
    int32_t n;
    int32_t m;
    int32_t meq;
    int32_t status;
  };
  const Case cases[] = {
      {"n < 1", 0, 4, 0, vmqp_module::kBadN},
      {"m < meq", 2, 1, 2, vmqp_module::kBadM},
      {"meq < 0", 2, 4, -1, vmqp_module::kBadMeq},
      {"n > 24", 25, 4, 0, vmqp_module::kNTooLarge},
      {"m > 49", 2, 50, 0, vmqp_module::kMTooLarge},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    vmqp_module::reset();
    common_data::icnstr = k.m;
    common_data::ieqcns = k.meq;
    Caller cl;
    cl.n = k.n;
    cl.x(1) = 3.0;
    cl.x(2) = 0.5;
    cl.f = 7.0;
    cl.iter = 4;
    cl.info = -1;
    const int64_t evals = funct::fun_count;
    cl.call();
    EXPECT_EQ(cl.info, k.status);
    EXPECT_EQ(funct::fun_count, evals);
    EXPECT_EQ(cl.x(1), 3.0);
    EXPECT_EQ(cl.f, 7.0);
    EXPECT_EQ(cl.iter, 4);
  }
}

TEST_F(VmqpFixture, KeepsTheCountsOfTheRunOnContinuingCalls) {
  Caller cl;
  cl.x(1) = 5.1;
  cl.x(2) = 0.31;
  cl.evaluate();
  cl.info = -1;
  cl.call();
  ASSERT_EQ(cl.info, 0);
  common_data::icnstr = 60;  // a later evaluation elsewhere must not change this run's m
  cl.evaluate();
  common_data::icnstr = 60;
  cl.call();
  EXPECT_NE(cl.info, vmqp_module::kMTooLarge);
  EXPECT_EQ(vmqp_module::m_run, 4);
}

TEST_F(VmqpFixture, FirstTrialPointIsOneHundredthOfTheStep) {
  // Near the optimum with B = I and no bound within reach, the programme's step is -g.
  set_bounds({0.0, -10.0}, {10.0, 10.0});
  Caller cl;
  cl.x(1) = 5.1;
  cl.x(2) = 0.31;
  cl.evaluate();
  const std::vector<double> g = {cl.g(1), cl.g(2)};
  cl.info = -1;
  cl.call();
  ASSERT_EQ(cl.info, 0);
  EXPECT_NEAR(cl.x(1), 5.1 - 0.01 * g[0], 1e-12 * std::fabs(g[0]) + 1e-14);
  EXPECT_NEAR(cl.x(2), 0.31 - 0.01 * g[1], 1e-12 * std::fabs(g[1]) + 1e-14);
  EXPECT_EQ(vmqp_module::xa(1), 5.1);
  EXPECT_EQ(vmqp_module::iter, 1);
  EXPECT_EQ(vmqp_module::nvma, 2);
}

TEST_F(VmqpFixture, EvaluationLimitsEndTheLineSearch) {
  // maxfun 1: the iteration limit (maxfun <= iter after the first programme) ends the run
  // before its line search hands back a point.
  Caller cl;
  cl.x(1) = 3.0;
  cl.x(2) = 0.5;
  cl.maxfun = 1;
  EXPECT_EQ(cl.drive(-1), 1);
  EXPECT_EQ(cl.info, vmqp_module::kMaxIterations);
  EXPECT_EQ(cl.x(1), 3.0);
  EXPECT_EQ(cl.x(2), 0.5);
  EXPECT_EQ(vmqp_module::nvma, 1);

  // maxfun 2: one trial point, then the evaluation limit.
  vmqp_module::reset();
  cl.x(1) = 3.0;
  cl.x(2) = 0.5;
  cl.maxfun = 2;
  EXPECT_EQ(cl.drive(-1), 2);
  EXPECT_EQ(cl.info, vmqp_module::kMaxEvaluations);
  EXPECT_EQ(vmqp_module::ibugfg, 1);
}

TEST_F(VmqpFixture, SixFailedTrialsEndTheLineSearch) {
  // An answer that is always far worse than the start rejects every trial point.
  Caller cl;
  cl.x(1) = 3.0;
  cl.x(2) = 0.5;
  cl.evaluate();
  cl.info = -1;
  cl.call();
  ASSERT_EQ(cl.info, 0);
  const double xa1 = vmqp_module::xa(1);
  std::vector<double> steps;
  int32_t calls = 1;
  while (cl.info == 0 && calls < 20) {
    steps.push_back(cl.x(1) - xa1);
    cl.evaluate();
    cl.f += 1e3;
    cl.call();
    ++calls;
  }
  EXPECT_EQ(cl.info, vmqp_module::kLongLineSearch);
  EXPECT_EQ(calls, 8);
  ASSERT_EQ(steps.size(), 7u);
  for (size_t k = 1; k + 1 < steps.size(); ++k) {
    EXPECT_NEAR(steps[k], 0.1 * steps[k - 1], 1e-15);  // each rejection shortens by 0.1
  }
  EXPECT_EQ(steps.back(), 0.0);  // the last point handed back is xa
}

TEST_F(VmqpFixture, LeavesTheCallersGradientsAndConstraintsAlone) {
  Caller cl;
  cl.x(1) = 3.0;
  cl.x(2) = 0.5;
  cl.evaluate();
  for (int32_t i = 3; i <= vmqp_module::kVars; ++i) cl.x(i) = 100.0 + i;  // beyond n: kept
  const auto g = cl.g;
  const auto c = cl.c;
  const auto cn = cl.cn;
  cl.info = -1;
  cl.call();
  ASSERT_EQ(cl.info, 0);
  for (int32_t i = 1; i <= vmqp_module::kVars; ++i) EXPECT_EQ(cl.g(i), g(i));
  for (int32_t j = 1; j <= vmqp_module::kCons; ++j) EXPECT_EQ(cl.c(j), c(j));
  for (int32_t j = 1; j <= vmqp_module::kCons; ++j) {
    for (int32_t i = 1; i <= vmqp_module::kVars; ++i) EXPECT_EQ(cl.cn(i, j), cn(i, j));
  }
  for (int32_t i = 3; i <= vmqp_module::kVars; ++i) EXPECT_EQ(cl.x(i), 100.0 + i);
  EXPECT_EQ(cl.iter, 1);
  EXPECT_NE(cl.x(1), 3.0);
}

// The bounded exponential problem: the protocol driver reaches a converged, feasible point
// within 1e-3 of the reference, with the objective never rising at an accepted point.
TEST_F(VmqpFixture, ConvergesOnTheBoundedExponentialProblem) {
  struct Case {
    const char* name;
    double hi1;  // upper bound of P1
    double x1, x2;
  };
  const Case cases[] = {
      {"bounds inactive at the optimum", 10.0, 3.0, 0.5},
      {"upper bound of P1 active", 4.5, 4.0, 0.25},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    vmqp_module::reset();
    vmqp_module::console = &out_;
    set_bounds({0.0, 0.0}, {k.hi1, 2.0});
    // Reference: P2 by golden section on the profile, P1 its least-squares value within bounds.
    auto p1_of = [&](double q) { return std::fmin(best_p1(q), k.hi1); };
    const double p2 = golden([&](double q) { return ssr(p1_of(q), q); }, 0.0, 2.0);
    const double p1 = p1_of(p2);

    Caller cl;
    cl.x(1) = k.x1;
    cl.x(2) = k.x2;
    cl.evaluate();
    cl.info = -1;
    double last_accepted = cl.f;
    int32_t last_iter = 0;
    bool monotone = true;
    for (int32_t calls = 0; calls < 5000; ++calls) {
      cl.call();
      if (vmqp_module::iter != last_iter) {  // a new major iteration: xa is its accepted point
        const double fa = ssr(vmqp_module::xa(1), vmqp_module::xa(2));
        monotone = monotone && fa <= last_accepted * (1.0 + 1e-12);
        last_accepted = fa;
        last_iter = vmqp_module::iter;
      }
      if (cl.info != 0) break;
      cl.evaluate();
    }
    EXPECT_EQ(cl.info, vmqp_module::kConverged);
    EXPECT_EQ(vmqp_module::ibugfg, 1);  // ended after an accepted point
    EXPECT_TRUE(monotone);
    EXPECT_NEAR(cl.x(1), p1, 1e-3);
    EXPECT_NEAR(cl.x(2), p2, 1e-3);
    EXPECT_LE(cl.x(1), k.hi1);
    EXPECT_GE(cl.x(2), 0.0);
  }
}

TEST_F(VmqpFixture, ModeMinusTwoStartsFromTheMatrixOfTheLastRun) {
  Caller cl;
  cl.x(1) = 5.1;
  cl.x(2) = 0.31;
  cl.drive(-1, 40);
  const double b11 = vmqp_module::b(1, 1);
  const double b12 = vmqp_module::b(1, 2);
  const double b22 = vmqp_module::b(2, 2);
  ASSERT_NE(b11, 1.0);  // the first run changed B

  cl.x(1) = 5.1;
  cl.x(2) = 0.31;
  cl.evaluate();
  cl.info = -2;
  cl.call();  // steps 2-9: no update of B before the first trial point
  EXPECT_EQ(vmqp_module::b(1, 1), b11);
  EXPECT_EQ(vmqp_module::b(1, 2), b12);
  EXPECT_EQ(vmqp_module::b(2, 2), b22);

  cl.evaluate();
  cl.info = -1;
  cl.call();
  EXPECT_EQ(vmqp_module::b(1, 1), 1.0);
  EXPECT_EQ(vmqp_module::b(1, 2), 0.0);
  EXPECT_EQ(vmqp_module::b(2, 2), 1.0);
}

TEST_F(VmqpFixture, UphillFirstStepEndsTheRun) {
  // One parameter, y = 2 everywhere, model P1, start 1.99 in [0, 10]: g < 0. A kept B = -1
  // makes the programme concave; its minimum is the far vertex P1 = 0, uphill for f.
  use_formula("P1");
  for (int32_t k = 1; k <= kRows; ++k) common_data::yd(k) = 2.0;
  set_bounds({0.0}, {10.0});
  vmqp_module::b(1, 1) = -1.0;
  Caller cl;
  cl.n = 1;
  cl.x(1) = 1.99;
  cl.drive(-2);
  EXPECT_EQ(cl.info, vmqp_module::kUphill);
  EXPECT_EQ(cl.x(1), 1.99);
  EXPECT_EQ(vmqp_module::ibugfg, 1);
}

TEST_F(VmqpFixture, ReportsEachIterationAtLevelOne) {
  Caller cl;
  cl.x(1) = 5.1;
  cl.x(2) = 0.31;
  cl.iprint = 1;
  cl.drive(-1, 3);
  const std::string text = out_.str();
  EXPECT_NE(text.find("     ITERATIONS =    0     NUMBER OF CALLS TO VMQP =    1"),
            std::string::npos);
  EXPECT_NE(text.find("     ITERATIONS =    1     NUMBER OF CALLS TO VMQP =    2"),
            std::string::npos);
  EXPECT_EQ(text.find("GLFMAG"), std::string::npos);  // the trace is level 2 only
}

TEST_F(VmqpFixture, FailedFirstProgrammeFallsBackOnTheAdamRefinement) {
  // A kept B = 0 turns the programme into a linear one; with P2 unbounded its vertex lies on
  // the step bounds (status 9). The first iteration is rescued by the refinement, which more
  // than halves f here; the refined point is accepted against its own start (B, with s'Bs = 0,
  // cannot be updated) and the next iteration fails the same way, ending the run.
  set_bounds({0.0, -1e30}, {10.0, 1e30});
  vmqp_module::b.fill(0.0);
  Caller cl;
  cl.x(1) = 4.0;
  cl.x(2) = 0.4;
  const double f0 = ssr(4.0, 0.4);
  const int32_t calls = cl.drive(-2);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(cl.info, vmqp_module::kBoundInBasis);
  EXPECT_EQ(cl.iter, 3);  // the failed programme, the refinement, the second failure
  EXPECT_LT(cl.f, 0.5 * f0);
  EXPECT_NEAR(cl.f, ssr(cl.x(1), cl.x(2)), 1e-9);
  EXPECT_EQ(vmqp_module::xa(1), 4.0);  // the refinement's own start
  EXPECT_NE(cl.x(1), 4.0);
}

TEST(VmqpUpdate, DampedBfgsKeepsTheSecantConditionOfItsTarget) {
  struct Case {
    const char* name;
    double g1, g2;  // gamma
    bool damped;
  };
  const Case cases[] = {
      {"curvature positive enough", 3.0, 1.0, false},
      {"negative curvature", -1.0, 0.5, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    vmqp_module::reset();
    vmqp_module::b(1, 1) = 2.0;
    vmqp_module::b(2, 2) = 1.0;
    vmqp_module::delta(1) = 1.0;
    vmqp_module::delta(2) = 0.5;
    vmqp_module::glf(1) = k.g1;
    vmqp_module::glf(2) = k.g2;
    vmqp_module::updatb(2);
    const double bs1 = vmqp_module::b(1, 1) * 1.0 + vmqp_module::b(1, 2) * 0.5;
    const double bs2 = vmqp_module::b(2, 1) * 1.0 + vmqp_module::b(2, 2) * 0.5;
    if (!k.damped) {
      EXPECT_NEAR(bs1, k.g1, 1e-12);
      EXPECT_NEAR(bs2, k.g2, 1e-12);
    } else {
      // s'Bs was 2.25; the damped target eta keeps s'eta = 0.2 s'Bs.
      EXPECT_NEAR(bs1 * 1.0 + bs2 * 0.5, 0.2 * 2.25, 1e-12);
    }
    EXPECT_EQ(vmqp_module::b(1, 2), vmqp_module::b(2, 1));
    EXPECT_GT(vmqp_module::b(1, 1) * vmqp_module::b(2, 2) - std::pow(vmqp_module::b(1, 2), 2),
              0.0);  // still positive definite
  }
  // A zero step would divide by zero: B is left as it is.
  vmqp_module::reset();
  vmqp_module::b(1, 1) = 2.0;
  vmqp_module::b(2, 2) = 1.0;
  vmqp_module::glf(1) = 1.0;
  vmqp_module::updatb(2);
  EXPECT_EQ(vmqp_module::b(1, 1), 2.0);
  EXPECT_EQ(vmqp_module::b(1, 2), 0.0);
}

TEST(VmqpUpdate, LagrangianGradientClampsMultipliersAndEntries) {
  vmqp_module::reset();
  vmqp_module::cn(1, 1) = 1.0;
  vmqp_module::cn(2, 2) = -1.0;
  vmqp_module::vlam(1) = 2.0;
  vmqp_module::vlam(2) = std::nan("");
  vmqp_module::vlam(3) = 0.0;
  vmqp_module::vlam(4) = -5e7;
  const double g[] = {3.0, 1.0};
  vmqp_module::gradlf(VecView<const double>(g, 2), 2, 4, 0);
  EXPECT_EQ(vmqp_module::vlam(2), 1e-16);
  EXPECT_EQ(vmqp_module::vlam(3), 1e-34);
  EXPECT_EQ(vmqp_module::vlam(4), -1e6);
  EXPECT_DOUBLE_EQ(vmqp_module::glf(1), 1.0);          // 3 - 1 * 2
  EXPECT_DOUBLE_EQ(vmqp_module::glf(2), 1.0 + 1e-16);  // 1 + 1 * 1e-16
}

}  // namespace
