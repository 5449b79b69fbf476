// A fixture for the tests of vmcon, vmcwd, qpsub and axialsearch: every shared module reset,
// the methods' output captured, and an exponential-decay data set in common_data:
//   y_k = 2.5 exp(-0.4 x_k) + 0.02 sin(2k), x_k = 0.5 k, k = 1..10, model P1*EXP(-P2*X1),
// weighting None, bounds [-100, 100] and both parameters free unless a test says otherwise.
// The reference optima are computed here independently of the methods.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "common/common_data.hpp"
#include "constrained/vmcwd_vmcon_mod.hpp"
#include "model/model_fixture.hpp"

namespace vmcontest {

namespace vm = vmcwd_vmcon_mod;

// The arguments of one call of vmcon or vmcwd, with the defaults the tests start from.
struct Call {
  std::vector<double> x;
  double f = std::nan("");
  vm::GradArray fgrad;
  vm::ConsArray c;
  vm::ConsGrad cnorm;
  int32_t limit = 50;  // maxit or maxfun
  double acc = 1e-10;
  int32_t iprint = -1;
  int32_t info = 0;
  int32_t maxls = 10;
  double ctest = std::nan("");
  int32_t niter = 0;
  int32_t nruns = 1;
  int32_t qpmode = 1;
};

// vmcwd when `watchdog`, else vmcon, with the arguments of k.
inline void run(Call& k, bool watchdog) {
  int32_t n = static_cast<int32_t>(k.x.size());
  (watchdog ? vm::vmcwd : vm::vmcon)(n,
                                     VecView<double>(k.x.data(), n),
                                     k.f,
                                     k.fgrad,
                                     k.c,
                                     k.cnorm,
                                     k.limit,
                                     k.acc,
                                     k.iprint,
                                     k.info,
                                     k.maxls,
                                     k.ctest,
                                     k.niter,
                                     k.nruns,
                                     k.qpmode);
}

class VmconFixture : public modeltest::ModelFixture {
 protected:
  static constexpr int32_t kRows = 10;

  void SetUp() override {
    ModelFixture::SetUp();
    vm::reset();
    vm::console = &out_;
    use_formula("P1*EXP(-P2*X1)");
    common_data::nd = kRows;
    common_data::nxd = 1;
    common_data::npr = 2;
    common_data::ndwt = 0;
    for (int32_t k = 1; k <= kRows; ++k) {
      xs_.push_back(0.5 * k);
      ys_.push_back(2.5 * std::exp(-0.4 * 0.5 * k) + 0.02 * std::sin(2.0 * k));
      common_data::xd(k) = xs_.back();
      common_data::yd(k) = ys_.back();
      common_data::ysig(k) = 1.0;
    }
    for (int32_t i = 1; i <= 2; ++i) {
      common_data::pmask(i) = 1;
      common_data::pboundlo(i) = -100.0;
      common_data::pboundhi(i) = 100.0;
    }
  }

  void TearDown() override {
    vm::reset();
    ModelFixture::TearDown();
  }

  // Sum of squares and its gradient at (a, b), computed here.
  double ssq(double a, double b, double* ga = nullptr, double* gb = nullptr) const {
    double s = 0.0, da = 0.0, db = 0.0;
    for (int32_t k = 0; k < kRows; ++k) {
      const double e = std::exp(-b * xs_[k]);
      const double r = ys_[k] - a * e;
      s += r * r;
      da += -2.0 * r * e;
      db += 2.0 * r * a * xs_[k] * e;
    }
    if (ga != nullptr) *ga = da;
    if (gb != nullptr) *gb = db;
    return s;
  }

  // The b that minimises the sum for a fixed a: the root of d/db by bisection on [0.01, 2].
  double best_b(double a) const {
    double lo = 0.01, hi = 2.0;
    for (int it = 0; it < 200; ++it) {
      const double mid = 0.5 * (lo + hi);
      double gb = 0.0;
      ssq(a, mid, nullptr, &gb);
      (gb < 0.0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
  }

  // The unconstrained least-squares optimum by Gauss-Newton from (2.5, 0.4).
  std::vector<double> unconstrained_optimum() const {
    double a = 2.5, b = 0.4;
    for (int it = 0; it < 100; ++it) {
      double jaa = 0.0, jab = 0.0, jbb = 0.0, ra = 0.0, rb = 0.0;
      for (int32_t k = 0; k < kRows; ++k) {
        const double e = std::exp(-b * xs_[k]);
        const double r = ys_[k] - a * e;
        const double ja = e, jb = -a * xs_[k] * e;
        jaa += ja * ja;
        jab += ja * jb;
        jbb += jb * jb;
        ra += ja * r;
        rb += jb * r;
      }
      const double det = jaa * jbb - jab * jab;
      a += (jbb * ra - jab * rb) / det;
      b += (jaa * rb - jab * ra) / det;
    }
    return {a, b};
  }

  // vmcwd when `watchdog`, else vmcon, with the arguments of k.
  static void run(Call& k, bool watchdog) { vmcontest::run(k, watchdog); }

  std::vector<double> xs_;
  std::vector<double> ys_;
  std::ostringstream out_;
};

}  // namespace vmcontest
