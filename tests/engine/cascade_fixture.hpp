// Test helpers for the optimiser cascade: a data set with its arguments, and a recorder of the
// stages the cascade calls (through the stage table's test seam).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "common/nrtype.hpp"
#include "engine/fit_frame.hpp"
#include "engine/sharc_cascade.hpp"
#include "engine/sharc_final.hpp"
#include "engine/sharc_stages.hpp"
#include "model/funct.hpp"
#include "model/model_front.hpp"
#include "numerics/randomize.hpp"
#include "numerics/runtime_rng.hpp"
#include "numerics/stringlib.hpp"
#include "numerics/timeit_mod.hpp"
#include "support/cascade_pass.hpp"
#include "support/scoped_clock.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/text.hpp"
#include "toolkit/toolkit_fixture.hpp"

namespace cascadetest {

// One call of a stage as the cascade made it: the in/out sum and x(1) on entry.
struct Call {
  std::string name;
  double fin;
  double x1;
};

// Makes every stage of the table a stage that finds no improvement: it leaves the vector and the
// sum as it was handed them (the objective stays the engine's own).
inline void no_improvement(sharc_mod::Stages& st) {
  st.shuffle = [](VecView<double>, int32_t) {};
  st.hitnrun = [](int32_t n,
                  VecView<double> x,
                  VecView<double> xbest,
                  VecView<double>,
                  int32_t& nacc,
                  double&,
                  double,
                  int32_t) {
    for (int32_t i = 1; i <= n; ++i) xbest(i) = x(i);
    nacc = 0;
  };
  st.hitnrun2 = [](int32_t, VecView<double>, int32_t& nacc, double&, double, int32_t) { nacc = 0; };
  st.hooke =
      [](int32_t n, VecView<double> start, VecView<double> end, double&, double, double, int32_t) {
        for (int32_t i = 1; i <= n; ++i) end(i) = start(i);
      };
  st.simplex = [](VecView<double>, int32_t, double&, double, int32_t) {};
  st.gnllsqr = [](VecView<double>, double&) {};
  st.a23mrt = [](int32_t, VecView<double>, int32_t, double, double&, int32_t, int32_t) {};
  st.adam = [](int32_t,
               int32_t,
               VecView<double>,
               VecView<const int32_t>,
               VecView<const double>,
               VecView<const double>,
               int32_t,
               double&) {};
  st.evol = [](int32_t, int32_t, VecView<double>, double&, int32_t& count, int32_t) { count = 0; };
  st.gn_main = [](int32_t, int32_t, VecView<double>, double&, int32_t& info) { info = 0; };
  st.va10d = [](int32_t,
                int32_t,
                VecView<double>,
                double&,
                VecView<double>,
                int32_t&,
                int32_t&,
                int32_t&) {};
  st.varmetric = [](int32_t, VecView<double>, double&, int32_t& status) { status = 0; };
  st.vmsqp = [](const sharc_mod::VmsqpCall&) {};
  st.marq = [](const sharc_mod::MarqCall&) {};
}

// Wraps every stage with a recorder. The stages first become stages without improvement
// (unless `real` asks for the program's own), then `script` may replace some by scripted ones.
// Installed as the seam while it lives.
class StageRecorder {
 public:
  using Script = std::function<void(sharc_mod::Stages&)>;
  explicit StageRecorder(Script script = nullptr, bool real = false)
      : script_(std::move(script)), real_(real) {
    sharc_mod::stage_seam = [this](sharc_mod::Stages s) { return wrap(std::move(s)); };
  }
  ~StageRecorder() { sharc_mod::stage_seam = nullptr; }
  StageRecorder(const StageRecorder&) = delete;
  StageRecorder& operator=(const StageRecorder&) = delete;

  std::vector<Call> calls;

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const Call& c : calls) out.push_back(c.name);
    return out;
  }
  int count(const std::string& name) const {
    int k = 0;
    for (const Call& c : calls) k += c.name == name;
    return k;
  }
  // Index of the k-th call (1-based) of a stage, or -1.
  int index_of(const std::string& name, int k = 1) const {
    for (size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].name == name && --k == 0) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  void rec(const char* name, double fin, double x1) { calls.push_back({name, fin, x1}); }
  sharc_mod::Stages wrap(sharc_mod::Stages s);

  Script script_;
  bool real_;
};

inline sharc_mod::Stages StageRecorder::wrap(sharc_mod::Stages s) {
  if (!real_) no_improvement(s);
  if (script_) script_(s);
  using sharc_mod::MarqCall;
  using sharc_mod::VmsqpCall;
  sharc_mod::Stages w = s;
  w.hitnrun = [this, f = s.hitnrun](int32_t n,
                                    VecView<double> x,
                                    VecView<double> xb,
                                    VecView<double> r,
                                    int32_t& nacc,
                                    double& fmin,
                                    double step,
                                    int32_t maxit) {
    rec("hitnrun", fmin, x(1));
    f(n, x, xb, r, nacc, fmin, step, maxit);
  };
  w.hitnrun2 =
      [this, f = s.hitnrun2](
          int32_t n, VecView<double> x, int32_t& nacc, double& fmin, double step, int32_t maxit) {
        rec("hitnrun2", fmin, x(1));
        f(n, x, nacc, fmin, step, maxit);
      };
  w.hooke = [this, f = s.hooke](int32_t n,
                                VecView<double> a,
                                VecView<double> b,
                                double& fmin,
                                double rho,
                                double eps,
                                int32_t itermax) {
    rec("hooke", fmin, a(1));
    f(n, a, b, fmin, rho, eps, itermax);
  };
  w.simplex = [this, f = s.simplex](
                  VecView<double> x, int32_t n, double& fmin, double scale, int32_t maxit) {
    rec("simplex", fmin, x(1));
    f(x, n, fmin, scale, maxit);
  };
  w.gnllsqr = [this, f = s.gnllsqr](VecView<double> x, double& fmin) {
    rec("gnllsqr", fmin, x(1));
    f(x, fmin);
  };
  w.a23mrt = [this, f = s.a23mrt](int32_t np,
                                  VecView<double> x,
                                  int32_t m,
                                  double step,
                                  double& sse,
                                  int32_t maxit,
                                  int32_t iprint) {
    rec("a23mrt", sse, x(1));
    f(np, x, m, step, sse, maxit, iprint);
  };
  w.adam = [this, f = s.adam](int32_t np,
                              int32_t m,
                              VecView<double> x,
                              VecView<const int32_t> mask,
                              VecView<const double> lo,
                              VecView<const double> hi,
                              int32_t flag,
                              double& sse) {
    rec("adam", sse, x(1));
    f(np, m, x, mask, lo, hi, flag, sse);
  };
  w.evol =
      [this, f = s.evol](
          int32_t m, int32_t np, VecView<double> x, double& sse, int32_t& count, int32_t gens) {
        rec("evol", sse, x(1));
        f(m, np, x, sse, count, gens);
      };
  w.gn_main = [this, f = s.gn_main](
                  int32_t m, int32_t np, VecView<double> x, double& sse, int32_t& info) {
    rec("gn_main", sse, x(1));
    f(m, np, x, sse, info);
  };
  w.va10d = [this, f = s.va10d](int32_t m,
                                int32_t np,
                                VecView<double> x,
                                double& sse,
                                VecView<double> h,
                                int32_t& c1,
                                int32_t& c2,
                                int32_t& c3) {
    rec("va10d", sse, x(1));
    f(m, np, x, sse, h, c1, c2, c3);
  };
  w.varmetric = [this, f = s.varmetric](
                    int32_t np, VecView<double> x, double& sse, int32_t& status) {
    rec("varmetric", sse, x(1));
    f(np, x, sse, status);
  };
  w.vmsqp = [this, f = s.vmsqp](const VmsqpCall& c) {
    rec("vmsqp", c.fobj, c.x(1));
    f(c);
  };
  w.marq = [this, f = s.marq](const MarqCall& c) {
    rec("marq", c.fsum, c.x(1));
    f(c);
  };
  return w;
}

// The arguments of one cascade pass over a small data set: y = P1 * exp(P2 * X1) at rows
// x = 1..8 with P = (2, 0.3), started from (1.5, 0.25); bounds [0.01, 100] and [0.001, 10].
struct Pass {
  Pass() {
    common_udf::cudf = stringlib::fixed("P1*EXP(P2*X1)", common_udf::len_text);
    fnparse2_reset();
    for (int i = 1; i <= 8; ++i) {
      x.push_back(i);
      y.push_back(2.0 * std::exp(0.3 * i));
    }
    n = static_cast<int32_t>(y.size());
    yf.assign(n, 0.0);
    sig.assign(n, 1.0);
  }

  void run() {
    sharc_mod::sharc(MatView<double>(x.data(), n, 1, n),
                     VecView<double>(y.data(), n),
                     VecView<double>(yf.data(), n),
                     VecView<double>(sig.data(), n),
                     mode,
                     nx,
                     n,
                     VecView<double>(p.data(), np),
                     np,
                     VecView<int32_t>(mask.data(), np),
                     VecView<double>(lo.data(), np),
                     VecView<double>(hi.data(), np),
                     level,
                     ssq,
                     VecView<double>(se.data(), np),
                     VecView<double>(cl.data(), np),
                     VecView<double>(res17.data(), np),
                     stats.bind(n),
                     has_code ? &code : nullptr,
                     offset,
                     &first,
                     bpostrun);
  }

  std::vector<double> x, y, yf, sig;
  int32_t mode = 0;
  int32_t nx = 1;
  int32_t n = 0;
  int32_t np = 2;
  std::vector<double> p = {1.5, 0.25};
  std::vector<int32_t> mask = {1, 1};
  std::vector<double> lo = {0.01, 0.001};
  std::vector<double> hi = {100.0, 10.0};
  int32_t level = 3;
  double ssq = 0.0;
  std::vector<double> se = std::vector<double>(2, 0.0);
  std::vector<double> cl = std::vector<double>(2, 0.0);
  std::vector<double> res17 = std::vector<double>(2, 0.0);
  testsupport::StatsArrays stats;
  bool has_code = true;
  int32_t code = 91;
  double offset = 1e-9;
  int32_t first = 1;
  int32_t bpostrun = 0;
};

// A headless main window of 640 x 200 (the Cancel button lies at 290..380 x 125..145) as the
// current window, the shared state a pass touches reset, and a fake clock; the real sleeper
// and tick source come back at the end.
class CascadeTest : public toolkit_test::HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    gk::install_drawing();
    gk::install_text();
    window_ = gk::initwindow(640, 200, "fit", 0, 0, 0, 0);
    ASSERT_GE(window_, 0);
    reset_all();
  }
  void TearDown() override {
    reset_all();
    HeadlessToolkit::TearDown();
  }

  static void reset_all() {
    common_data::reset();
    common_udf::reset();
    globals::reset();
    nrtype::reset();
    funct::reset();
    fnparse2_reset();
    runtime_rng::reset();
    randomize::reset();
    timeit_mod::reset();
    sharc_mod::stage_seam = nullptr;
    sharc_mod::stage_count.store(1);
    sharc_mod::stage_limit.store(101);
    fit_frame::active = fit_frame::Frame();
  }

  testsupport::ScopedClock clock_;
  int32_t window_ = -1;
};

}  // namespace cascadetest
