// The optimisers' shared test harness: NIST StRD nonlinear regression problems loaded into the
// shared data set the way the fit run loads a data file before its cascade, with the certified
// answers, the log relative error, evaluation counting and a clock that runs out the time limit.
//
// Typical use:
//   testsupport::NistProblem pb;
//   ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
//   std::vector<double> x = pb.x0;
//   double ssq = pb.start_ssq;
//   testsupport::EvalCount evals;
//   some_method(pb.m, pb.n, VecView<double>(x.data(), pb.n), ssq, ...);
//   EXPECT_GE(pb.params_lre(x), 6.0);
//   EXPECT_LE(evals.count(), 500);
//
// The reference files live in tests/data/nist (see its README); the environment variable
// VARQEN_NIST_DIR, when set and not empty, names another copy instead.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The folder of the reference files: VARQEN_NIST_DIR when set and not empty, else the tree's
// tests/data/nist.
std::string nist_dir();

// The problems of certified_ssr.csv, in file order (26 names; ENSO is not among them).
std::vector<std::string> nist_problem_names();

// One reference problem as loaded into common_data.
struct NistProblem {
  std::string name;                  // NIST's name, e.g. "Misra1a"
  int32_t start = 0;                 // NIST start 1 or 2
  std::string file;                  // path of the data file
  int32_t n = 0;                     // parameters P1..Pn (all free)
  int32_t m = 0;                     // data rows
  int32_t nx = 0;                    // independent variables X1..Xnx
  std::vector<double> x0;            // start vector as the fit run hands it to the cascade
  double start_ssq = 0.0;            // weighted sum of squares at x0 (the cascade's entry sum)
  std::vector<double> certified;     // certified parameters, P1..Pn at index 0..n-1
  std::vector<double> certified_se;  // certified standard errors
  double certified_ssr = 0.0;        // certified residual sum of squares
  std::string difficulty;            // "lower", "average" or "higher"

  // Weighted sum of squares of the loaded data set at p (n entries) through funct::fun, with
  // weighting None; refreshes common_data's fitted values and residuals as any evaluation does.
  double ssq(const std::vector<double>& p) const;
  // Smallest LRE of p(1..n) against the certified parameters.
  double params_lre(const std::vector<double>& p) const;
  // LRE of a sum of squares against the certified one.
  double ssr_lre(double ssr) const;
};

// Log relative error -log10(|value - certified| / |certified|), capped to 0..11: 11 when equal
// (the certified values have 11 digits), 0 when worse than 100 % or not a number.
double lre(double value, double certified);

// Resets every shared module a fit touches (common_data, common_udf, globals, nrtype, the
// model evaluator and compiled formula, the runtime generator, the clock of the time limit).
void reset_shared_state();

// reset_shared_state(), then reads nist_dir()/dat/<name>-start<start>.dat as the fit run does:
// row count, model line normalised and compiled, shape and numeric checks, values, bounds and mask;
// a free start value of exactly 0 becomes 1e-16. It then sets up common_data as the cascade does
// before its first stage: x columns (xd, xd2, xd3, xnx), yd, ysig = 1, weighting mode 0
// (None), nd, nxd, npr, pmask, pboundlo, pboundhi, pfinal = x0, fssqr = start_ssq, and
// globals::timemax = 600000 with globals::starttimer = 1. funct::fun_count is 0 on return.
// A failure says which file and which step.
::testing::AssertionResult load_nist(const std::string& name, int32_t start, NistProblem& pb);

// Counts model evaluations (calls of funct::fun) from construction on.
class EvalCount {
 public:
  EvalCount();
  int64_t count() const;

 private:
  int64_t start_;
};

// A fake clock for the fit's time limit (globals::timemax, polled through
// optim_support::time_limit_passed). It installs itself as the tick source and sleeper,
// restarts the clock of the time limit, and then stands still, so no poll ever passes the
// limit until expire_after() says so. Restores the real clock when it goes out of scope.
class TimeLimitClock {
 public:
  TimeLimitClock();
  ~TimeLimitClock();
  TimeLimitClock(const TimeLimitClock&) = delete;
  TimeLimitClock& operator=(const TimeLimitClock&) = delete;

  // After `polls` further readings of the clock (0: the very next one) time jumps past
  // globals::timemax, so that poll and every later one report the limit passed.
  void expire_after(int64_t polls);
  // Readings of the clock since construction (one per time-limit poll).
  int64_t readings() const { return readings_; }

 private:
  int64_t read();

  std::atomic<int64_t> now_ms_{1000};
  std::atomic<int64_t> readings_{0};
  std::atomic<int64_t> expire_at_{-1};  // reading number at which time jumps; -1: never
};

}  // namespace testsupport
