// A fixture for the engine's objective and searches: every shared module reset, the model
// P1*EXP(-P2*X1) installed as the user's model, eight rows of data near 3 exp(-0.4 x) and a run
// state over them with both parameters free in [0, 10] (also in common_data's bounds), first
// pass, no restart.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "engine/sharc_objective.hpp"
#include "model/model_fixture.hpp"
#include "numerics/randomize.hpp"

namespace enginetest {

class EngineFixture : public modeltest::ModelFixture {
 protected:
  static constexpr int32_t kRows = 8;
  static constexpr int32_t kParams = 2;

  void SetUp() override {
    ModelFixture::SetUp();
    randomize::reset();
    use_formula("P1*EXP(-P2*X1)");
    for (int32_t i = 1; i <= kRows; ++i) {
      x_.push_back(i);
      // Alternating disturbances keep the least sum of squares positive.
      y_.push_back(3.0 * std::exp(-0.4 * i) + (i % 2 == 0 ? 0.01 : -0.01));
    }
    yf_.assign(kRows, 0.0);
    sig_.assign(kRows, 1.0);
    for (int32_t i = 1; i <= common_data::max_params; ++i) common_data::pmask(i) = 1;
    make_state(1);
  }
  void TearDown() override {
    state_.reset();
    randomize::reset();
    ModelFixture::TearDown();
  }

  // A fresh run state with the given first-pass flag and working bounds.
  void make_state(int32_t first_pass,
                  std::vector<double> lo = {0, 0},
                  std::vector<double> hi = {10, 10}) {
    lo_ = std::move(lo);
    hi_ = std::move(hi);
    for (size_t i = 0; i < lo_.size(); ++i) {  // the cascade publishes its bounds too
      common_data::pboundlo(static_cast<long>(i) + 1) = lo_[i];
      common_data::pboundhi(static_cast<long>(i) + 1) = hi_[i];
    }
    state_.reset();
    state_ = std::make_unique<sharc_mod::RunState>(
        MatView<const double>(x_.data(), kRows, 1, kRows),
        VecView<const double>(y_.data(), kRows),
        VecView<double>(yf_.data(), kRows),
        VecView<const double>(sig_.data(), kRows),
        1,
        kRows,
        0,
        static_cast<int32_t>(lo_.size()),
        VecView<const double>(lo_.data(), static_cast<long>(lo_.size())),
        VecView<const double>(hi_.data(), static_cast<long>(hi_.size())),
        first_pass,
        globals::bpostrun,
        1e-9);
  }

  // The unweighted sum of squares of the model at (p1, p2), computed here independently.
  double ssq(double p1, double p2) const {
    double s = 0.0;
    for (int32_t i = 0; i < kRows; ++i) {
      const double r = y_[i] - p1 * std::exp(-p2 * x_[i]);
      s += r * r;
    }
    return s;
  }

  // The objective of p through the run state (p is not changed).
  double objective(std::vector<double> p) {
    double f = 0.0;
    state_->f1dim(
        VecView<double>(p.data(), static_cast<long>(p.size())), static_cast<int32_t>(p.size()), f);
    return f;
  }

  std::vector<double> x_, y_, yf_, sig_, lo_, hi_;
  std::unique_ptr<sharc_mod::RunState> state_;
};

}  // namespace enginetest
