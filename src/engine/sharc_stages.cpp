#include "engine/sharc_stages.hpp"

#include "constrained/vmsqp_mod.hpp"
#include "engine/sharc_gnllsqr.hpp"
#include "engine/sharc_hitnrun.hpp"
#include "engine/sharc_objective.hpp"
#include "engine/sharc_search.hpp"

namespace sharc_mod {

namespace {

// Stand-ins for methods whose modules have not landed yet. Each is a valid stage that finds
// no improvement: it leaves the vector and the sum as it was handed them.

VecView<const double> cview(VecView<double> v) {
  return VecView<const double>(v.data(), v.size());
}

}  // namespace

Stages bind_stages(RunState& run) {
  Stages st;
  st.func = [&run](VecView<double> p, double& fval) {
    run.func(p, static_cast<int32_t>(p.size()), fval);
  };
  st.shuffle = [](VecView<double> r, int32_t n) { shuffle(r, n); };
  st.hitnrun = [&run](int32_t n, VecView<double> x, VecView<double> xbest, VecView<double> r,
                      int32_t& nacc, double& fmin, double step, int32_t maxit) {
    hitnrun(run, n, cview(x), xbest, r, nacc, fmin, step, maxit);
  };
  st.hitnrun2 = [&run](int32_t n, VecView<double> x, int32_t& nacc, double& fmin, double step,
                       int32_t maxit) { hitnrun2(run, n, x, nacc, fmin, step, maxit); };
  st.hooke = [&run](int32_t n, VecView<double> start, VecView<double> end, double& fmin,
                    double rho, double eps, int32_t itermax) {
    hooke(run, n, cview(start), end, run.lo_view(), run.hi_view(), fmin, rho, eps, itermax);
  };
  st.simplex = [&run](VecView<double> x, int32_t n, double& fmin, double scale, int32_t maxit) {
    simplex(run, x, n, fmin, scale, maxit);
  };
  st.gnllsqr = [&run](VecView<double> p, double& fmin) {
    gnllsqr(run, run.rows(), static_cast<int32_t>(p.size()), p, fmin);
  };
  st.a23mrt = [](int32_t, VecView<double>, int32_t, double, double&, int32_t, int32_t) {};
  st.adam = [](int32_t, int32_t, VecView<double>, VecView<const int32_t>, VecView<const double>,
               VecView<const double>, int32_t, double&) {};
  st.evol = [](int32_t, int32_t, VecView<double>, double&, int32_t& count, int32_t) {
    count = 0;
  };
  st.gn_main = [](int32_t, int32_t, VecView<double>, double&, int32_t& info) { info = 0; };
  st.va10d = [](int32_t, int32_t, VecView<double>, double&, VecView<double>, int32_t&, int32_t&,
                int32_t&) {};
  st.varmetric = [](int32_t, VecView<double>, double&, int32_t& status) { status = 0; };
  st.vmsqp = [](const VmsqpCall& c) {
    vmsqp_mod::vmsqp(c.maxit, c.np, c.n, c.nx, c.ncon, c.mode, c.sig, cview(c.work1), cview(c.y),
                     c.yfit, c.work2, c.x, cview(c.lo), cview(c.hi),
                     VecView<const int32_t>(c.mask.data(), c.mask.size()), c.fobj);
  };
  st.marq = [](const MarqCall&) {};
  return st;
}

}  // namespace sharc_mod
