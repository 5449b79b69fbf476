// A fixture for the variable-metric QP method's tests: every shared module reset, the method's
// report captured, and a bounded exponential-decay problem in common_data:
//   y_k = 5 exp(-0.3 x_k) + 0.01 sin(3k), x_k = 0.5 k, k = 1..12, model P1*EXP(-P2*X1),
// both parameters free with the bounds P1 in [0, 10], P2 in [0, 2] unless a test sets others.
// A protocol driver answers every status 0 with an evaluation through funct::calcfg.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "common/common_data.hpp"
#include "constrained/vmqp_module.hpp"
#include "model/funct.hpp"
#include "model/model_fixture.hpp"

namespace vmqptest {

// The caller's side of the protocol: the arrays it passes and evaluates into.
struct Caller {
  int32_t n = 2;
  FArray<double, vmqp_module::kVars> x;
  double f = 0.0;
  FArray<double, vmqp_module::kVars> g;
  FArray<double, vmqp_module::kCons> c;
  FMatrix<double, vmqp_module::kVars, vmqp_module::kCons> cn;
  int32_t maxfun = 2000;
  double acc = 1e-6;
  int32_t info = -1;
  int32_t iprint = 0;
  int32_t iter = 0;

  void evaluate() { funct::calcfg(n, x.view(n), f, g.view(), c.view(), cn.view()); }
  // One call of vmqp with the current arrays.
  void call() {
    const int32_t spare = 0;
    vmqp_module::vmqp(
        n, x.view(), f, g.view(), c.view(), cn.view(), maxfun, acc, info, iprint, spare, iter);
  }
  // Evaluates at x, starts a run with `mode` and answers every status 0 until the run ends
  // or `calls` calls were made; returns the number of calls.
  int32_t drive(int32_t mode, int32_t calls = 100000) {
    evaluate();
    info = mode;
    int32_t made = 0;
    do {
      call();
      ++made;
      if (info != 0) break;
      evaluate();
    } while (made < calls);
    return made;
  }
};

class VmqpFixture : public modeltest::ModelFixture {
 protected:
  static constexpr int32_t kRows = 12;

  void SetUp() override {
    ModelFixture::SetUp();
    vmqp_module::reset();
    vmqp_module::console = &out_;
    use_formula("P1*EXP(-P2*X1)");
    common_data::nd = kRows;
    common_data::nxd = 1;
    common_data::ndwt = 0;
    for (int32_t k = 1; k <= kRows; ++k) {
      xdat_.push_back(0.5 * k);
      y_.push_back(5.0 * std::exp(-0.3 * 0.5 * k) + 0.01 * std::sin(3.0 * k));
      common_data::xd(k) = xdat_.back();
      common_data::yd(k) = y_.back();
      common_data::ysig(k) = 1.0;
    }
    set_bounds({0.0, 0.0}, {10.0, 2.0});
    common_data::pmask(1) = 1;
    common_data::pmask(2) = 1;
  }

  void TearDown() override {
    vmqp_module::reset();
    ModelFixture::TearDown();
  }

  static void set_bounds(std::vector<double> lo, std::vector<double> hi) {
    for (size_t i = 0; i < lo.size(); ++i) {
      common_data::pboundlo(static_cast<long>(i) + 1) = lo[i];
      common_data::pboundhi(static_cast<long>(i) + 1) = hi[i];
    }
  }

  // The sum of squared residuals at p, computed here.
  double ssr(double p1, double p2) const {
    double s = 0.0;
    for (int32_t k = 0; k < kRows; ++k) {
      const double r = y_[k] - p1 * std::exp(-p2 * xdat_[k]);
      s += r * r;
    }
    return s;
  }

  // The least-squares P1 for a given P2 (the model is linear in P1).
  double best_p1(double p2) const {
    double num = 0.0;
    double den = 0.0;
    for (int32_t k = 0; k < kRows; ++k) {
      const double e = std::exp(-p2 * xdat_[k]);
      num += y_[k] * e;
      den += e * e;
    }
    return num / den;
  }

  // The minimiser over p2 in [a, b] of phi by golden-section search (phi unimodal there).
  template <typename Phi>
  static double golden(Phi phi, double a, double b) {
    const double r = 0.5 * (std::sqrt(5.0) - 1.0);
    double c = b - r * (b - a);
    double d = a + r * (b - a);
    while (b - a > 1e-12) {
      if (phi(c) < phi(d)) {
        b = d;
      } else {
        a = c;
      }
      c = b - r * (b - a);
      d = a + r * (b - a);
    }
    return 0.5 * (a + b);
  }

  std::vector<double> xdat_;
  std::vector<double> y_;
  std::ostringstream out_;
};

}  // namespace vmqptest
