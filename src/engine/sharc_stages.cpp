#include "engine/sharc_stages.hpp"

#include "constrained/vmsqp_mod.hpp"
#include "engine/sharc_final.hpp"
#include "engine/sharc_gnllsqr.hpp"
#include "engine/sharc_hitnrun.hpp"
#include "engine/sharc_objective.hpp"
#include "engine/sharc_search.hpp"
#include "model/vmfun.hpp"
#include "optimizers/adam.hpp"
#include "optimizers/evolutions.hpp"
#include "optimizers/gn_module.hpp"
#include "optimizers/marq_mod.hpp"
#include "optimizers/mrt_a23_mod.hpp"
#include "optimizers/va10_mod.hpp"
#include "optimizers/vmet.hpp"

namespace sharc_mod {

Stages bind_stages(RunState& run) {
  Stages st;
  st.func = [&run](VecView<double> p, double& fval) {
    run.func(p, static_cast<int32_t>(p.size()), fval);
  };
  st.shuffle = [](VecView<double> r, int32_t n) { shuffle(r, n); };
  st.hitnrun = [&run](int32_t n,
                      VecView<double> x,
                      VecView<double> xbest,
                      VecView<double> r,
                      int32_t& nacc,
                      double& fmin,
                      double step,
                      int32_t maxit) {
    hitnrun(run, n, cview(x), xbest, r, nacc, fmin, step, maxit);
  };
  st.hitnrun2 =
      [&run](
          int32_t n, VecView<double> x, int32_t& nacc, double& fmin, double step, int32_t maxit) {
        hitnrun2(run, n, x, nacc, fmin, step, maxit);
      };
  st.hooke = [&run](int32_t n,
                    VecView<double> start,
                    VecView<double> end,
                    double& fmin,
                    double rho,
                    double eps,
                    int32_t itermax) {
    hooke(run, n, cview(start), end, run.lo_view(), run.hi_view(), fmin, rho, eps, itermax);
  };
  st.simplex = [&run](VecView<double> x, int32_t n, double& fmin, double scale, int32_t maxit) {
    simplex(run, x, n, fmin, scale, maxit);
  };
  st.gnllsqr = [&run](VecView<double> p, double& fmin) {
    gnllsqr(run, run.rows(), static_cast<int32_t>(p.size()), p, fmin);
  };
  st.a23mrt = [](int32_t np,
                 VecView<double> x,
                 int32_t m,
                 double step,
                 double& sse,
                 int32_t maxit,
                 int32_t iprint) {
    int32_t limit = maxit;
    mrt_a23_mod::a23mrt(np, x, m, step, sse, limit, iprint);
  };
  st.evol = [](int32_t m,
               int32_t np,
               VecView<double> x,
               double& sse,
               int32_t& count,
               int32_t generations) { evolutions::evol(m, np, x, sse, count, generations); };
  st.gn_main = [](int32_t m, int32_t np, VecView<double> x, double& sse, int32_t& info) {
    gn_module::gn_main(m, np, x, sse, info);
  };
  // The controls 1 and c2 are the mode and the evaluation limit; c3 comes back as the status.
  st.va10d = [](int32_t m,
                int32_t np,
                VecView<double> x,
                double& sse,
                VecView<double> h,
                int32_t& c1,
                int32_t& c2,
                int32_t& c3) { va10_mod::va10d(m, np, x, sse, h, c1, c2, c3); };
  st.varmetric = [](int32_t np, VecView<double> x, double& sse, int32_t& status) {
    vmet::varmetric(vmfun, np, x, sse, status);
  };
  // The flag 1 goes in as adam's iteration count, which it overwrites.
  st.adam = [&run](int32_t np,
                   int32_t m,
                   VecView<double> x,
                   VecView<const int32_t> mask,
                   VecView<const double> lo,
                   VecView<const double> hi,
                   int32_t flag,
                   double& sse) {
    int32_t iters = flag;
    adam(run.f1dim_fn(), np, m, x, mask, lo, hi, iters, sse);
  };
  st.vmsqp = [](const VmsqpCall& c) {
    vmsqp_mod::vmsqp(c.maxit,
                     c.np,
                     c.n,
                     c.nx,
                     c.ncon,
                     c.mode,
                     c.sig,
                     cview(c.work1),
                     cview(c.y),
                     c.yfit,
                     c.work2,
                     c.x,
                     cview(c.lo),
                     cview(c.hi),
                     VecView<const int32_t>(c.mask.data(), c.mask.size()),
                     c.fobj);
  };
  st.marq = [](const MarqCall& c) {
    const MatView<const double> xw(c.xw.data(), c.xw.rows(), c.xw.cols(), c.xw.ld());
    const MatView<const double> yw(c.yw.data(), c.yw.size(), 1, c.yw.size());
    marq_mod::marq(c.n,
                   c.nx,
                   c.ny,
                   c.np,
                   xw,
                   yw,
                   c.yfit,
                   c.zero1,
                   c.w1,
                   c.w2,
                   c.wcode,
                   cview(c.sig),
                   c.x,
                   cview(c.lo),
                   cview(c.hi),
                   c.res15,
                   c.res16,
                   c.res17,
                   c.fscale,
                   c.control,
                   c.fsum,
                   c.zero2,
                   c.iopt,
                   c.status);
  };
  return st;
}

}  // namespace sharc_mod
