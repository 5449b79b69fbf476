#include "optimizers/adam.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Outcome {
  std::vector<double> x;
  double fval;
  int32_t iters;
};

// Runs adam on f from x with the caller's value fval.
Outcome run(const AdamObjective& f,
            std::vector<double> x,
            double fval,
            std::vector<int32_t> mask = {},
            std::vector<double> lo = {},
            std::vector<double> hi = {}) {
  const size_t n = x.size();
  if (mask.empty()) mask.assign(n, 1);
  if (lo.empty()) lo.assign(n, -1e3);
  if (hi.empty()) hi.assign(n, 1e3);
  int32_t iters = -1;
  adam(f,
       static_cast<int32_t>(n),
       0,
       VecView<double>(x.data(), n),
       VecView<const int32_t>(mask.data(), n),
       VecView<const double>(lo.data(), n),
       VecView<const double>(hi.data(), n),
       iters,
       fval);
  return {x, fval, iters};
}

// sum (x(i) - c(i))^2 + 1: a bowl shifted to c, with the least value 1.
AdamObjective bowl(std::vector<double> c) {
  return [c](VecView<double> x, int32_t n, double& f) {
    f = 1.0;
    for (int32_t i = 1; i <= n; ++i) f += (x(i) - c[i - 1]) * (x(i) - c[i - 1]);
  };
}

double value(const AdamObjective& f, std::vector<double> x) {
  double v = 0.0;
  f(VecView<double>(x.data(), x.size()), static_cast<int32_t>(x.size()), v);
  return v;
}

TEST(Adam, ImprovesAShiftedBowl) {
  const AdamObjective f = bowl({1.0, -2.0, 0.5});
  const std::vector<double> start = {0.0, 0.0, 0.0};
  const Outcome out = run(f, start, value(f, start));
  EXPECT_LT(out.fval, 0.5 * value(f, start));
  EXPECT_EQ(out.fval, value(f, out.x));
  EXPECT_EQ(out.iters, 100);
  // Every parameter moved towards its centre.
  EXPECT_GT(out.x[0], 0.5);
  EXPECT_LT(out.x[1], -1.0);
  EXPECT_GT(out.x[2], 0.25);
}

TEST(Adam, KeepsMaskedParametersExact) {
  const AdamObjective f = bowl({1.0, -2.0, 0.5});
  const std::vector<double> start = {0.0, 0.30000000000000004, 0.0};
  const Outcome out = run(f, start, value(f, start), {1, 0, 1});
  EXPECT_EQ(out.x[1], start[1]);
  EXPECT_LT(out.fval, value(f, start));
}

TEST(Adam, KeepsAResultOnlyWhenItIsLowerByMoreThanTheTolerance) {
  // A flat objective: a vanished difference is taken from fp + h, a slope of +0.5, so the
  // parameters move down while the value never changes.
  const AdamObjective flat = [](VecView<double>, int32_t, double& f) { f = 5.0; };
  struct Case {
    const char* name;
    double f_in;
    bool kept;
  };
  const Case cases[] = {
      {"nothing improves", 5.0, false},
      {"lower by less than 1.001e-8", 5.0 + 5e-9, false},
      {"lower by more", 5.0 + 2e-8, true},
  };
  const std::vector<double> start = {1.0, 2.0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = run(flat, start, c.f_in);
    EXPECT_EQ(out.iters, 100);
    if (c.kept) {
      EXPECT_EQ(out.fval, 5.0);
      EXPECT_LT(out.x[0], start[0]);
    } else {
      EXPECT_EQ(out.fval, c.f_in);
      EXPECT_EQ(out.x, start);
    }
  }
}

TEST(Adam, NoParametersCallsTheObjectiveTwice) {
  int calls = 0;
  const AdamObjective f = [&calls](VecView<double>, int32_t n, double& v) {
    EXPECT_EQ(n, 0);
    v = ++calls == 1 ? 3.0 : 2.0;
  };
  std::vector<double> x;
  const Outcome out = run(f, x, 4.0);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(out.fval, 2.0);  // the second call's value is lower than the entry value 4
  EXPECT_EQ(out.iters, 100);
}

TEST(Adam, AnswersABoundViolationByAStepBackTowardsTheBound) {
  // A slope drives the parameter through the bound every step; the reaction pulls it back by
  // the plain step, so it stays near the bound, on either side and for either sign.
  struct Case {
    const char* name;
    double slope;  // f = slope * x
    double start, lo, hi, bound;
  };
  const Case cases[] = {
      {"below a negative lower bound", 1.0, -0.9, -1.0, 10.0, -1.0},
      {"below a positive lower bound", 1.0, 0.6, 0.5, 10.0, 0.5},
      {"above a positive upper bound", -1.0, 0.9, -10.0, 1.0, 1.0},
      {"above a negative upper bound", -1.0, -1.1, -10.0, -1.0, -1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const double slope = c.slope;
    const AdamObjective f = [slope](VecView<double> x, int32_t, double& v) { v = slope * x(1); };
    const Outcome out = run(f, {c.start}, slope * c.start, {1}, {c.lo}, {c.hi});
    EXPECT_NEAR(out.x[0], c.bound, 0.1);
  }
}

}  // namespace
