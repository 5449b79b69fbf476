// A fixture for the SQP method's tests: every shared module reset, the method's report stream
// captured, and a small exponential-decay data set in common_data:
//   y_k = 5 exp(-0.3 x_k) + 0.01 sin(3k), x_k = 0.5 k, k = 1..12, model P1*EXP(-P2*X1).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "common/common_data.hpp"
#include "constrained/vmsqp_mod.hpp"
#include "model/model_fixture.hpp"

namespace sqptest {

// What one vmsqp call returned.
struct SqpResult {
  std::vector<double> x;
  double fobj = 0.0;
  std::vector<double> yfit;
  std::vector<double> resid;
  std::vector<double> sigma;
};

class SqpFixture : public modeltest::ModelFixture {
 protected:
  static constexpr int32_t kRows = 12;

  void SetUp() override {
    ModelFixture::SetUp();
    vmsqp_mod::reset();
    vmsqp_mod::console = &out_;
    use_formula("P1*EXP(-P2*X1)");
    common_data::nd = kRows;
    common_data::nxd = 1;
    for (int32_t k = 1; k <= kRows; ++k) {
      xdat_.push_back(0.5 * k);
      y_.push_back(5.0 * std::exp(-0.3 * 0.5 * k) + 0.01 * std::sin(3.0 * k));
      common_data::xd(k) = xdat_.back();
      common_data::yd(k) = y_.back();
    }
  }

  void TearDown() override {
    vmsqp_mod::reset();
    ModelFixture::TearDown();
  }

  // The plain sum of squared residuals of the data set at p, computed here.
  double ssr(const std::vector<double>& p) const {
    double s = 0.0;
    for (int32_t k = 0; k < kRows; ++k) {
      const double r = y_[k] - p[0] * std::exp(-p[1] * xdat_[k]);
      s += r * r;
    }
    return s;
  }

  // vmsqp as the engine calls it (maxit 100, ncon 2n unless given, mode 0), every output array
  // starting as NaN.
  SqpResult run(std::vector<double> x,
                double fobj,
                std::vector<int32_t> mask,
                std::vector<double> lo,
                std::vector<double> hi,
                int32_t ncon = -1) {
    const int32_t n = static_cast<int32_t>(x.size());
    for (int32_t j = 1; j <= n; ++j) common_data::pmask(j) = mask[j - 1];
    const double nan = std::nan("");
    SqpResult r;
    r.yfit.assign(kRows, nan);
    r.resid.assign(kRows, nan);
    r.sigma.assign(kRows, nan);
    const int32_t maxit = 100;
    const int32_t m = kRows;
    const int32_t nvar = 1;
    const int32_t nc = ncon < 0 ? 2 * n : ncon;
    const int32_t mode = 0;
    vmsqp_mod::vmsqp(maxit,
                     n,
                     m,
                     nvar,
                     nc,
                     mode,
                     VecView<double>(r.sigma.data(), m),
                     VecView<const double>(xdat_.data(), m),
                     VecView<const double>(y_.data(), m),
                     VecView<double>(r.yfit.data(), m),
                     VecView<double>(r.resid.data(), m),
                     VecView<double>(x.data(), n),
                     VecView<const double>(lo.data(), n),
                     VecView<const double>(hi.data(), n),
                     VecView<const int32_t>(mask.data(), n),
                     fobj);
    r.x = x;
    r.fobj = fobj;
    return r;
  }

  std::vector<double> xdat_;
  std::vector<double> y_;
  std::ostringstream out_;
};

}  // namespace sqptest
