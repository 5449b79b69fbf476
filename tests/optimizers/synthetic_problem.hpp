// A fixture for optimiser tests on small data sets built from known parameters: every shared
// module reset before and after each test, a fake clock, and a deterministic entropy source
// behind the runtime generator's processor-chosen seed, so that every draw repeats.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "files/units.hpp"
#include "model/funct.hpp"
#include "model/limits.hpp"
#include "model/model_front.hpp"
#include "model/vmfun.hpp"
#include "numerics/randomize.hpp"
#include "numerics/runtime_rng.hpp"
#include "numerics/stringlib.hpp"
#include "numerics/timeit_mod.hpp"
#include "support/scoped_clock.hpp"

namespace optimtest {

class SyntheticProblem : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_all();
    install_entropy();
  }
  void TearDown() override { reset_all(); }

  // y = 5 exp(-0.4 x) + 1 on x = 0.25, 0.5, ..., 7.5 plus a small deterministic ripple (so the
  // minimum sum is about 1e-3, well above the smallest sums the methods accept; 0 makes the data
  // exact); bounds [0.01, 100] for every parameter, all free, unweighted.
  void exponential_problem(double ripple = 0.01) {
    use_formula("P1*EXP(-P2*X1)+P3");
    common_data::nd = 30;
    common_data::nxd = 1;
    for (int32_t i = 1; i <= 30; ++i) {
      const double x = 0.25 * i;
      common_data::xd(i) = x;
      common_data::yd(i) = 5.0 * std::exp(-0.4 * x) + 1.0 + ripple * std::sin(7.0 * i);
      common_data::ysig(i) = 1.0;
    }
    free_parameters(3, 0.01, 100.0);
  }

  // The formula becomes the user's model; the next evaluation compiles it.
  static void use_formula(const std::string& formula) {
    common_udf::cudf = stringlib::fixed(formula, common_udf::len_text);
    fnparse2_reset();
  }

  static void free_parameters(int32_t n, double lo, double hi) {
    common_data::npr = n;
    for (int32_t i = 1; i <= n; ++i) {
      common_data::pmask(i) = 1;
      common_data::pboundlo(i) = lo;
      common_data::pboundhi(i) = hi;
    }
  }

  // The model evaluator's weighted sum of squares at x.
  static double sum_at(const std::vector<double>& x) {
    double f = 0.0;
    vmfun(static_cast<int32_t>(x.size()), VecView<const double>(x.data(), x.size()), f);
    return f;
  }

  // A deterministic processor-chosen seed, restarted (the harness's loader resets the runtime
  // generator, so tests that load a reference problem call this again afterwards).
  void install_entropy() {
    entropy_ = 0;
    runtime_rng::set_entropy_source([this] { return entropy_ += 0x9E3779B97F4A7C15ull; });
  }

  // The next poll of the time limit reports it passed.
  static void expire_time_limit() { globals::timemax = -1.0; }

 private:
  static void reset_all() {
    common_data::reset();
    common_udf::reset();
    globals::reset();
    limits::reset();
    funct::reset();
    fnparse2_reset();
    runtime_rng::reset();
    randomize::reset();
    timeit_mod::reset();
    units::reset();
  }

  testsupport::ScopedClock clock_;
  uint64_t entropy_ = 0;
};

}  // namespace optimtest
