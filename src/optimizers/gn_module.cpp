#include "optimizers/gn_module.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"
#include "model/funct.hpp"
#include "numerics/balance_mod.hpp"
#include "optimizers/bounds_rule.hpp"
#include "optimizers/gn_mod.hpp"
#include "optimizers/optim_support.hpp"

namespace gn_module {
namespace {

using common_data::max_params;
using common_data::max_rows;

constexpr double kEps = 2.220446049250313e-16;  // double epsilon, as the method states it
constexpr double kBlowUpSum = 1e7;              // a plain sum above this is a blow-up
constexpr double kBlowUpFactor = 100.0;         // ... and so is one above 100 times the best
constexpr double kTiny = 1e-14;                 // least |parameter|, Jacobian NaN substitute
constexpr double kHuge = 1e14;                  // largest |parameter| and |Jacobian entry|
constexpr double kNoEffect = 1e-7;              // difference given to a column without effect
constexpr int32_t kHookPasses = 15;

// Work copies of gnfun, sized for the largest data set: evaluations allocate nothing.
FMatrix<double, max_rows, common_data::max_x> fun_x;
FArray<double, max_rows> fun_y;
FArray<double, max_rows> fun_sig;
FArray<double, max_rows> fun_yfit;

double sum_of_squares(VecView<const double> r, int32_t m) {
  double s = 0.0;
  for (int32_t i = 1; i <= m; ++i) s += r(i) * r(i);
  return s;
}

double norm(VecView<const double> v, int32_t n) { return std::sqrt(sum_of_squares(v, n)); }

template <typename T>
VecView<const T> cv(VecView<T> v) {
  return VecView<const T>(v.data(), v.size());
}

// The working arrays of one gnm call, allocated once before the iteration.
struct Work {
  Work(int32_t m, int32_t n, int32_t nf)
      : xf(nf),
        lof(nf),
        hif(nf),
        d(nf),
        s(nf),
        g(nf),
        sn(nf),
        xb(nf),
        t(nf),
        w(nf),
        xentry(n),
        xtrial(n),
        r(m),
        rp(m),
        rm(m),
        jac(m, nf),
        h(nf, nf),
        l(nf, nf) {}

  FVector<double> xf, lof, hif;  // free parameters and their bounds, packed
  FVector<double> d;             // scale: x = xb + s o d
  FVector<double> s;             // last scaled step
  FVector<double> g;             // gradient J'r0 of the linear model
  FVector<double> sn;            // Newton step
  FVector<double> xb;            // best point
  FVector<double> t;             // probe tolerances
  FVector<double> w;             // hook solve L*w = s
  FVector<double> xentry;        // the entry vector: fixed slots keep its values
  FVector<double> xtrial;        // full trial vector
  FVector<double> r, rp, rm;     // residuals at the trial, at xb(j) + h, at xb(j) - h
  FMatrixD<double> jac;          // m x nf Jacobian of the linear model
  FMatrixD<double> h;            // nf x nf Gauss-Newton matrix, balanced
  FMatrixD<double> l;            // its Cholesky factor
};

// Plain sum of squares at the packed vector v expanded over the entry vector; residuals in r.
double evaluate(
    int32_t m, int32_t n, int32_t nf, Work& w, VecView<const double> v, VecView<double> r) {
  xmaskedarray(n, nf, v, cv(w.xentry.view()), w.xtrial.view());
  double fw = 0.0;
  gnfun(m, n, cv(w.xtrial.view()), r, fw);
  return sum_of_squares(cv(r), m);
}

// Iteration step 4: the bounds rule on every packed entry (all are free) when any lies outside
// its bounds, then every |xf(j)| limited to [1e-14, 1e14], sign kept (zero becomes +1e-14).
void apply_bounds(int32_t nf, Work& w) {
  bool outside = false;
  for (int32_t j = 1; j <= nf; ++j) {
    if (w.xf(j) < w.lof(j) || w.xf(j) > w.hif(j)) outside = true;
  }
  if (outside) {
    bool moved = false;  // the sum the rule would double is evaluated again in step 5
    for (int32_t j = 1; j <= nf; ++j)
      w.xf(j) = bounds_rule::apply(w.xf(j), w.lof(j), w.hif(j), moved);
  }
  for (int32_t j = 1; j <= nf; ++j) {
    const double a = std::min(std::max(std::fabs(w.xf(j)), kTiny), kHuge);
    if (!std::isnan(w.xf(j))) w.xf(j) = std::copysign(a, w.xf(j) < 0.0 ? -1.0 : 1.0);
  }
}

// |s| limited to [stptol, 1/stptol]; a zero step stays zero. Returns the new norm.
double limit_step(int32_t nf, VecView<double> s) {
  const double sn = norm(cv(s), nf);
  if (!(sn > 0.0)) return 0.0;
  const double target = std::min(std::max(sn, gn_mod::stptol), 1.0 / gn_mod::stptol);
  if (target != sn) {
    for (int32_t j = 1; j <= nf; ++j) s(j) *= target / sn;
  }
  return target;
}

// Iteration step 7: the new radius from the ratio of the actual to the predicted change.
double new_radius(int32_t nf, const Work& w, double f, double f0, double snorm, int32_t nconsec) {
  double gs = 0.0;
  for (int32_t j = 1; j <= nf; ++j) gs += w.g(j) * w.s(j);
  gs = 2.0 * gs;
  double rr = (f - f0) / gs;
  double fac = gn_mod::zlow;  // a ratio that is not finite counts as a failed prediction
  if (optim_support::finite(rr)) {
    rr = std::copysign(std::min(std::max(std::fabs(rr), kTiny), kHuge), rr);
    fac = 0.5 / std::max(1.0 - rr, kEps);
    fac = std::min(std::max(fac, gn_mod::zlow), gn_mod::zhigh);
  }
  return snorm * fac * std::pow(gn_mod::zconsec, nconsec);
}

// Iteration step 11: the difference Jacobian at xb. Each perturbed vector is evaluated once
// for all rows. Column j = (r+ - r-)/|derivstp|, twice the central difference with respect to
// the scaled variable x(j)/d(j).
void full_jacobian(int32_t m, int32_t n, int32_t nf, Work& w) {
  const double ds = std::fabs(gn_mod::derivstp);
  for (int32_t j = 1; j <= nf; ++j) {
    const double v = w.xb(j);
    const double h = w.d(j) * ds;
    w.xb(j) = v - h;
    evaluate(m, n, nf, w, cv(w.xb.view()), w.rm.view());
    w.xb(j) = v + h;
    evaluate(m, n, nf, w, cv(w.xb.view()), w.rp.view());
    w.xb(j) = v;
    // A parameter without effect would give a zero column and a singular model; the test sums
    // |r+ - r-| so that changes of opposite sign cannot cancel out a real column.
    double effect = 0.0;
    for (int32_t i = 1; i <= m; ++i) effect += std::fabs(w.rp(i) - w.rm(i));
    if (effect < 1e-14) {
      for (int32_t i = 1; i <= m; ++i) w.rp(i) = w.rm(i) + kNoEffect;
    }
    for (int32_t i = 1; i <= m; ++i) {
      w.jac(i, j) = optim_support::clamp_nan((w.rp(i) - w.rm(i)) / ds, -kHuge, kHuge, kTiny);
    }
  }
}

// Broyden's rank-1 correction J := J + (dr - J*s)*s'/|s|^2 after a successful step, then
// r0 := r. dr is the change of residuals from the old best point to the new one, taken on the
// Jacobian's own scale: the difference columns are twice the derivative with respect to the
// scaled variables, so dr = 2*(r - r0). With dr = r - r0 the secant condition J*s = dr would
// halve the model along every step and double the next Newton step.
void broyden_update(int32_t m, int32_t nf, Work& w, double snorm) {
  FVector<double>& r0 = gn_mod::r0;
  if (snorm > 0.0) {
    const double s2 = snorm * snorm;
    for (int32_t i = 1; i <= m; ++i) {
      double js = 0.0;
      for (int32_t j = 1; j <= nf; ++j) js += w.jac(i, j) * w.s(j);
      const double c = (2.0 * (w.r(i) - r0(i)) - js) / s2;
      for (int32_t j = 1; j <= nf; ++j) {
        w.jac(i, j) = optim_support::clamp_nan(w.jac(i, j) + c * w.s(j), -kHuge, kHuge, kTiny);
      }
    }
  }
  for (int32_t i = 1; i <= m; ++i) r0(i) = w.r(i);
}

// Iteration step 12: H = J'J (diagonal raised slightly), g = J'r0, H balanced; hnorm; the
// Newton step. False when hnorm is 0 (code 129).
bool linear_model(int32_t m, int32_t n, int32_t nf, Work& w, double& gnorm) {
  for (int32_t j = 1; j <= nf; ++j) {
    double gj = 0.0;
    for (int32_t i = 1; i <= m; ++i) gj += w.jac(i, j) * gn_mod::r0(i);
    w.g(j) = gj;
    for (int32_t k = 1; k <= nf; ++k) {
      double hjk = 0.0;
      for (int32_t i = 1; i <= m; ++i) hjk += w.jac(i, j) * w.jac(i, k);
      w.h(j, k) = hjk;
    }
    w.h(j, j) = w.h(j, j) * 1.0000001 + 1e-14;
  }
  // The balancing's scale factors are not kept: the factorisations use the balanced matrix
  // (its lower triangle) with the unchanged g. H is exactly symmetric, so its row and column
  // sums agree and the balancing finds nothing to scale.
  balance_mod::balance(w.h.view(), nf);
  gnorm = norm(cv(w.g.view()), nf);
  double colmax = 0.0;
  for (int32_t j = 1; j <= nf; ++j) {
    double c = 0.0;
    for (int32_t i = 1; i <= nf; ++i) c += std::fabs(w.h(i, j));
    colmax = std::max(colmax, c);
  }
  gn_mod::hnorm = colmax * std::sqrt(static_cast<double>(static_cast<float>(n)) * kEps);
  if (gn_mod::hnorm == 0.0) return false;
  double mu_newton = 0.0;
  gn_chol(nf,
          mu_newton,
          MatView<const double>(w.h.data(), nf, nf, nf),
          cv(w.g.view()),
          w.l.view(),
          w.sn.view());
  return true;
}

// Iteration step 13, the hook step: s with |s| within 5 % of del, from H + mu*I, the hook
// parameter mu found by the safeguarded iteration of [2]. Returns the passes used, or 0 when
// no pass but the last (or none) accepted.
int32_t hook_step(int32_t nf, Work& w, double& mu, double del, double gnorm, double& snorm) {
  double lo = 0.0;
  double up = gnorm / del;
  const MatView<const double> h(w.h.data(), nf, nf, nf);
  const MatView<const double> l(w.l.data(), nf, nf, nf);
  for (int32_t k = 1; k <= kHookPasses; ++k) {
    // A shift that gn_chol had to raise is the least that makes H + mu*I positive definite, a
    // true lower bound. The hook parameter carried over from earlier steps is not: as a lower
    // bound it would only ever grow, and the steps would shrink to a crawl.
    const double mu_in = mu;
    gn_chol(nf, mu, h, cv(w.g.view()), w.l.view(), w.s.view());
    if (mu > mu_in) lo = std::max(lo, mu);
    snorm = limit_step(nf, w.s.view());
    if (std::fabs(snorm - del) <= 0.05 * del || up <= lo) return k < kHookPasses ? k : 0;
    if (snorm < del && mu <= up) up = mu;
    // Newton's step on phi(mu) = |s(mu)| - del with phi' = -|w|^2/|s|, L*w = s.
    double w2 = 0.0;
    for (int32_t i = 1; i <= nf; ++i) {
      double v = w.s(i);
      for (int32_t j = 1; j < i; ++j) v -= l(i, j) * w.w(j);
      w.w(i) = v / l(i, i);
      w2 += w.w(i) * w.w(i);
    }
    if (snorm > 0.0 && w2 / snorm > 0.0) mu += ((snorm - del) / (w2 / snorm)) * (snorm / del);
    mu = std::max(lo, std::min(mu, up));
  }
  return 0;
}

// Set-up steps 3-4: pack the free parameters and their bounds; the first scale.
void pack(int32_t n, int32_t nf, VecView<const double> x, Work& w) {
  int32_t k = 0;
  for (int32_t i = 1; i <= n; ++i) {
    w.xentry(i) = x(i);
    if (common_data::pmask(i) == 0) continue;
    ++k;
    w.xf(k) = x(i);
    w.lof(k) = common_data::pboundlo(i);
    w.hif(k) = common_data::pboundhi(i);
  }
  double sum = 0.0;
  for (int32_t j = 1; j <= nf; ++j) sum += w.xf(j);
  for (int32_t j = 1; j <= nf; ++j) {
    // A signed mean, the same for every component; the first full Jacobian rescales it.
    w.d(j) = gn_mod::iscale != 2 ? 0.1 * sum / nf : gn_mod::d0(j);
  }
}

// Set-up step 2: with iscale = 2 the input scale d0 must cover n entries, all positive and
// finite.
bool d0_usable(int32_t n) {
  if (gn_mod::d0.size() < n) return false;
  for (int32_t j = 1; j <= gn_mod::d0.size(); ++j) {
    if (!(gn_mod::d0(j) > 0.0) || !(gn_mod::d0(j) <= 1.7976931348623157e308)) return false;
  }
  return true;
}

// Set-up steps 1-2 of gnm, also checked by gn_main before it evaluates anything: sizes beyond
// the shared arrays and a problem without free parameters are input errors too.
bool input_error(int32_t m, int32_t n, int32_t nf) {
  return std::min({m, gn_mod::limit, n}) < 1 || m > max_rows || n > max_params || nf < 1 ||
         (gn_mod::iscale == 2 && !d0_usable(n));
}

void keep_state_arrays(int32_t m, int32_t nf) {
  if (gn_mod::r0.size() != m) gn_mod::r0.resize(m);
  if (gn_mod::d0.size() < nf) gn_mod::d0.resize(nf);
  if (gn_mod::jac0.rows() != m || gn_mod::jac0.cols() != nf) gn_mod::jac0 = FMatrixD<double>(m, nf);
  if (gn_mod::h0.rows() != nf || gn_mod::h0.cols() != nf) gn_mod::h0 = FMatrixD<double>(nf, nf);
}

int32_t free_count(int32_t n) {
  int32_t nf = 0;
  for (int32_t i = 1; i <= n; ++i) nf += common_data::pmask(i) != 0 ? 1 : 0;
  return nf;
}

}  // namespace

void gnfun(int32_t m, int32_t n, VecView<const double> x, VecView<double> r, double& f) {
  for (int32_t i = 1; i <= n; ++i) common_data::pfinal(i) = x(i);
  f = 0.0;
  if (m < 1) return;
  const int32_t nxd = common_data::nxd;
  const int32_t cols = funct::load_x_columns(fun_x.view(), m);
  for (int32_t i = 1; i <= m; ++i) {
    fun_y(i) = common_data::yd(i);
    fun_sig(i) = common_data::ysig(i);
  }
  // f is the sum funct::fun returns, weighted by the current mode: the sum the engine compares
  // across its stages.
  funct::fun(MatView<const double>(fun_x.data(), m, cols, max_rows),
             VecView<const double>(fun_y.data(), m),
             x,
             n,
             nxd,
             m,
             common_data::ndwt,
             fun_yfit.view(m),
             VecView<const double>(fun_sig.data(), m),
             f);
  for (int32_t i = 1; i <= m; ++i) {
    if (nxd >= 1 && nxd <= common_data::max_x) common_data::xnx(i, nxd) = fun_x(i, nxd);
    common_data::ydf(i) = fun_yfit(i);
    common_data::ysig(i) = fun_sig(i);  // undoes the weights funct::fun stored there
    r(i) = fun_y(i) - fun_yfit(i);
  }
}

// gnm: minimise the plain sum of squares f = |r(xb + s o d)|^2 over the nf free parameters.
// Each iteration evaluates the trial point (a blow-up guard), probes around it, pulls it inside
// the bounds and evaluates it again; a lower sum makes it the best point. The radius follows
// the ratio of actual to predicted change. The linear model is a full difference Jacobian at
// the best point, or the last one corrected by a rank-1 update after a successful step; the
// step is its Newton step when that fits the radius, else the hook step. The iteration ends
// when a test fires on a full Jacobian (codes 1, 2, 8 summed), the evaluation budget is spent
// (130), the model is degenerate (129), the hook step fails (133), after `limit` iterations
// (0), or on a persistent blow-up (200, which returns at once).
void gnm(int32_t m, int32_t n, int32_t& info, VecView<double> x, double& f0) {
  using namespace gn_mod;
  // Set-up steps 1-2.
  const int32_t nf = free_count(std::min(n, max_params));
  if (input_error(m, n, nf)) {
    info = kInputError;
    return;
  }
  Work w(m, n, nf);
  keep_state_arrays(m, nf);
  // Set-up steps 3-6.
  pack(n, nf, cv(x), w);
  nfcn = 0;
  nconsecmax = 0;
  ihookmax = 0;
  iter = 1;
  int32_t nrank1 = nf;  // rank-1 updates since the last full Jacobian
  int32_t nbad = 0;     // steps rejected on a rank-1 updated Jacobian
  int32_t nconsec = 0;  // successive successful steps
  w.s.fill(1.0);
  double snorm = 1.0;
  w.jac.fill(0.0);
  w.h.fill(0.0);
  w.g.fill(0.0);
  double del = 0.0;
  double mu = 0.0;  // hook parameter
  double gnorm = 0.0;
  bool take = true;
  xmaskedarray(n, nf, cv(w.xf.view()), cv(w.xentry.view()), w.xtrial.view());

  while (iter <= limit) {
    // Step 1, evaluate; step 2, blow-up guard.
    double f = evaluate(m, n, nf, w, cv(w.xf.view()), w.r.view());
    if (f > kBlowUpSum || f > kBlowUpFactor * f0 || std::isnan(f)) {
      for (int32_t i = 1; i <= n; ++i) x(i) = w.xtrial(i);
      info = kBlowUp;
      if (iter < limit / 2) {
        info = kConvStep;
        ++iter;
        continue;
      }
      return;
    }
    // Step 3, local probe.
    if (iter > 1) {
      for (int32_t j = 1; j <= nf; ++j) w.t(j) = std::max(0.1 * std::fabs(w.s(j) * w.d(j)), stptol);
      double fprobe = 0.0;
      nearbysearch(m, nf, n, w.xf.view(), cv(w.xentry.view()), cv(w.t.view()), f0, fprobe);
    }
    // Steps 4-5, bounds and the counted evaluation.
    apply_bounds(nf, w);
    info = 0;
    ++nfcn;
    f = evaluate(m, n, nf, w, cv(w.xf.view()), w.r.view());
    // Step 6, success count.
    if (iter > 1) {
      take = f < f0;
      nconsec = take ? nconsec + 1 : 0;
      nconsecmax = std::max(nconsecmax, nconsec);
      if (!take && nrank1 > 0) ++nbad;
    }
    // Step 7, radius update.
    if (iter >= 2 && !(iter == 2 && newtstep1st && !take)) {
      if (std::fabs(f - f0) <= std::max(reltol * std::max(f0, f), abstol)) info = kConvChange;
      del = new_radius(nf, w, f, f0, snorm, nconsec);
    }
    // Step 8, keep the best.
    if (take) {
      for (int32_t j = 1; j <= nf; ++j) w.xb(j) = w.xf(j);
      f0 = f;
      mu0 = mu;
      del0 = del;
      for (int32_t j = 1; j <= nf; ++j) d0(j) = w.d(j);
      jac0 = w.jac;
      h0 = w.h;
      nbad = 0;
    }
    // Step 9, tests.
    if (iter >= 2 && snorm <= stptol) info += kConvStep;
    if (f < abstol) info += kConvSmall;
    // Step 10, choose the model. The first iteration always takes a full Jacobian: with fixed
    // parameters a rank-1 update would start from a zero Jacobian and no saved residuals.
    bool full = false;
    bool new_model = true;
    if (info != 0 && (nrank1 == 0 || info >= kConvSmall)) {
      if (iter > 1) break;
      full = true;
    } else if (nfcn >= limit) {
      info = kBudget;
      if (iter > 1) break;
      full = true;
    } else if (iter > 1 && nbad <= mxbad && info == 0 && nrank1 < n) {
      if (take) {
        broyden_update(m, nf, w, snorm);
        ++nrank1;
      } else {
        new_model = false;
      }
    } else {
      full = true;
    }
    // Step 11, full Jacobian at xb.
    if (full) {
      nrank1 = 0;
      nbad = 0;
      if (take) {
        for (int32_t i = 1; i <= m; ++i) r0(i) = w.r(i);
        f0 = f;
      }
      nfcn += n;
      if (iscale == 1) {
        double old_sd = 0.0;
        double new_sd = 0.0;
        for (int32_t j = 1; j <= nf; ++j) {
          old_sd += (w.s(j) * w.d(j)) * (w.s(j) * w.d(j));
          w.d(j) = std::max(stptol, 0.5 * (std::fabs(w.xb(j)) + w.d(j)));
          new_sd += (w.s(j) * w.d(j)) * (w.s(j) * w.d(j));
        }
        if (new_sd > 0.0) del = del * std::sqrt(old_sd / new_sd);
      }
      full_jacobian(m, n, nf, w);
    }
    // Steps 12-13, the linear model and the step.
    if (new_model) {
      if (!linear_model(m, n, nf, w, gnorm)) {
        info = kZeroShift;
        break;
      }
      const double sn = norm(cv(w.sn.view()), nf);
      if (sn <= del || (iter == 1 && newtstep1st)) {
        for (int32_t j = 1; j <= nf; ++j) w.s(j) = w.sn(j);
        if (iter == 1 && newtstep1st) del = sn;
        snorm = limit_step(nf, w.s.view());
      } else if (iter == 1) {
        gn_cauchy(nf, MatView<const double>(w.l.data(), nf, nf, nf), cv(w.g.view()), gnorm, del);
        for (int32_t j = 1; j <= nf; ++j) w.s(j) = w.sn(j) * std::min(1.0, del / sn);
        snorm = limit_step(nf, w.s.view());
      } else if (int32_t k = hook_step(nf, w, mu, del, gnorm, snorm); k > 0) {
        ihookmax = std::max(ihookmax, k);
      } else {
        info = kHookFailed;
        break;
      }
    } else if (int32_t k = hook_step(nf, w, mu, del, gnorm, snorm); k > 0) {
      ihookmax = std::max(ihookmax, k);
    } else {
      info = kHookFailed;
      break;
    }
    // The new trial point.
    for (int32_t j = 1; j <= nf; ++j) w.xf(j) = w.xb(j) + w.s(j) * w.d(j);
    apply_bounds(nf, w);
    ++iter;
  }
  // Final step: the best point into x, evaluated once more for the shared fitted values.
  xmaskedarray(n, nf, cv(w.xb.view()), cv(w.xentry.view()), x);
  gnfun(m, n, cv(x), w.r.view(), f0);
}

void gn_main(int32_t m, int32_t n, VecView<double> x, double& ssq, int32_t& info) {
  // An input error leaves everything as it was: nothing is evaluated, x and ssq keep the
  // caller's values (a sum of 1e-14 for no rows would read as a perfect fit).
  if (input_error(m, n, free_count(std::min(n, max_params)))) {
    info = kInputError;
    return;
  }
  info = 0;
  FVector<double> xw(n);
  FVector<double> xstart(n);
  FVector<double> r(m);
  for (int32_t i = 1; i <= n; ++i) xw(i) = xstart(i) = x(i);
  // Step 2: the start's plain sum; 1e14 when it is NaN or too large to change by 1.
  double fw = 0.0;
  gnfun(m, n, cv(xw.view()), r.view(), fw);
  double f0 = sum_of_squares(cv(r.view()), m);
  if (std::isnan(f0) || f0 - 1.0 == f0) f0 = kHuge;
  int32_t code = 0;
  gnm(m, n, code, xw.view(), f0);
  double big_f = 0.0;
  gnfun(m, n, cv(xw.view()), r.view(), big_f);
  // Step 5: keep the result only when its real sum is below the entry sum; the sum returned is
  // never below the vector's real sum (the floor 1e-14 only raises it), and a failed start is
  // handed back with the caller's own sum, not one capped below it.
  const double fc = std::max(big_f, kTiny);
  const bool keep = code != kBlowUp && !std::isnan(big_f) && ssq > fc;
  for (int32_t i = 1; i <= n; ++i) x(i) = keep ? xw(i) : xstart(i);
  if (keep) ssq = fc;
  info = code;
}

}  // namespace gn_module
