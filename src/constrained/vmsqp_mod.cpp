// vmsqp_mod: the SQP least-squares method (see vmsqp_mod.hpp). The steps are tagged with the
// numbers of the method's outline: entry; per cycle 1-5; per iteration 6-17; exit.
//
// Background: J. Nocedal, S. J. Wright, "Numerical Optimization", 2nd ed., 2006: Ch. 18
// (sequential quadratic programming, merit functions), Sec. 6.1 (BFGS), Sec. 10.3
// (Gauss-Newton matrix as a Hessian model of a least-squares objective).
#include "constrained/vmsqp_mod.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "constrained/initialize_vmsqp.hpp"
#include "constrained/smooth_constraints.hpp"
#include "constrained/vmsqp_lines.hpp"
#include "constrained/vmsqp_state.hpp"

namespace vmsqp_mod {
namespace detail {
namespace {

using lines::sign;

constexpr double kActive = -1e-8;         // c_i above this counts as active
constexpr double kTol = 2e-12;            // smallest magnitude the method divides by or steps
constexpr double kFdStep = 1.0000002e-5;  // relative and least difference step
constexpr double kMeritWeight = 10.0;     // weight of the squared violations in the merit
constexpr int32_t kMaxTrials = 25;        // line-search trials
constexpr int32_t kMaxTotal = 1000000;    // limit of the running sum of evaluation counts

double dot(const FVector<double>& u, const FVector<double>& v, int32_t n) {
  double s = 0.0;
  for (int32_t i = 1; i <= n; ++i) s += u(i) * v(i);
  return s;
}

double norm(const FVector<double>& u, int32_t n) { return std::sqrt(dot(u, u, n)); }

// One direct evaluation of SSR at p (writes sigma, yfit, resid and common_data).
double evaluate(Sqp& q, const FVector<double>& p) {
  double ssr = 0.0;
  initialize_vmsqp::model_function(q.m,
                                   q.n,
                                   q.nvar,
                                   q.mode,
                                   VecView<const double>(p.data(), q.n),
                                   q.sigma,
                                   q.xdat,
                                   q.y,
                                   q.yfit,
                                   q.resid,
                                   ssr);
  ++q.nfev;
  return ssr;
}

void constraints_at(Sqp& q, const FVector<double>& p, FVector<double>& c) {
  initialize_vmsqp::evaluate_constraints(VecView<const double>(p.data(), q.n),
                                         q.n,
                                         c.view(),
                                         q.nc,
                                         VecView<const double>(q.lo.data(), q.n),
                                         VecView<const double>(q.hi.data(), q.n));
}

void gradient_at(Sqp& q, const FVector<double>& p, FVector<double>& g) {
  compute_gradient_numerical(VecView<const double>(p.data(), q.n),
                             q.xdat,
                             q.y,
                             q.sigma,
                             g.view(),
                             q.m,
                             q.n,
                             q.nvar,
                             q.mode,
                             q.nfev,
                             VecView<const int32_t>(q.mask.data(), q.n));
}

// Sum of the squared positive constraint values.
double violation_sum(const Sqp& q, const FVector<double>& c) {
  double s = 0.0;
  for (int32_t i = 1; i <= q.nc; ++i) {
    if (c(i) > 0.0) s += c(i) * c(i);
  }
  return s;
}

// Steps 2 and 12: the box of every free parameter becomes the factor-of-ten interval at p.
void recentre(Sqp& q, const FVector<double>& p) {
  for (int32_t j = 1; j <= q.n; ++j) {
    if (q.mask(j) == 0) continue;
    if (p(j) > 0.0) {
      q.lo(j) = p(j) / 10.0;
      q.hi(j) = p(j) * 10.0;
    } else {
      q.lo(j) = p(j) * 10.0;
      q.hi(j) = p(j) / 10.0;
    }
  }
}

// Step 3: the smoothed start of the cycle and its penalty.
void smooth_start(Sqp& q) {
  smooth_constraints::smooth_constraint_adjustment(VecView<const double>(q.x.data(), q.n),
                                                   VecView<const double>(q.lo.data(), q.n),
                                                   VecView<const double>(q.hi.data(), q.n),
                                                   VecView<const int32_t>(q.mask.data(), q.n),
                                                   q.n,
                                                   q.xadj.view(),
                                                   q.penalty);
  bool nan = false;
  for (int32_t j = 1; j <= q.n; ++j) nan = nan || q.xadj(j) != q.xadj(j);
  if (nan) {
    std::vector<editfmt::Value> items;
    auto vector_line = [&](const char* label, auto&& v) {
      items.assign(1, std::string(label));
      for (int32_t j = 1; j <= q.n; ++j) items.emplace_back(double(v(j)));
      lines::list(items);
    };
    vector_line("x_adj(:)=", q.xadj);
    vector_line("x(:)=", q.x);
    vector_line("x0(:)=", q.x0);
    for (int32_t j = 1; j <= q.n; ++j) q.xadj(j) = q.x0(j);
  }
  for (int32_t j = 1; j <= q.n; ++j) q.x(j) = q.xadj(j);
}

// Step 8: residual Jacobian J(k, j) = -(yfit(x + h e_j) - yfit(x - h e_j)) / (2h) of the free
// parameters, on work arrays of its own.
void residual_jacobian(Sqp& q) {
  FVector<double> xp(q.n);
  FVector<double> yplus(q.m);
  FVector<double> yminus(q.m);
  FVector<double> rwork(q.m);
  FVector<double> swork(q.m);
  for (int32_t j = 1; j <= q.n; ++j) xp(j) = q.x(j);
  // Fitted values with parameter j at v (xp is restored to x afterwards).
  auto fitted_at = [&](FVector<double>& p, int32_t j, double v, FVector<double>& yf) {
    double ssr = 0.0;
    p(j) = v;
    initialize_vmsqp::model_function(q.m,
                                     q.n,
                                     q.nvar,
                                     q.mode,
                                     VecView<const double>(p.data(), q.n),
                                     swork.view(),
                                     q.xdat,
                                     q.y,
                                     yf.view(),
                                     rwork.view(),
                                     ssr);
    p(j) = q.x(j);
  };
  q.jac.fill(0.0);
  for (int32_t j = 1; j <= q.n; ++j) {
    if (q.mask(j) == 0) continue;
    const double h = std::max((std::fabs(q.x(j)) + kFdStep) * kFdStep, kFdStep);
    fitted_at(xp, j, q.x(j) + h, yplus);
    fitted_at(xp, j, q.x(j) - h, yminus);
    xp(j) = q.x(j);
    q.nfev += 2;
    for (int32_t k = 1; k <= q.m; ++k) {
      double dk = yplus(k) - yminus(k);
      if (std::fabs(dk) <= kTol) dk = sign(1.02e-10, dk);
      q.jac(k, j) = -dk / (2.0 * h);
    }
  }
}

// Step 9: B := 0.7 B + 0.3 J^T diag(sigma) J (columns of free parameters), diagonal + 1.02e-10.
void seed_from_gauss_newton(Sqp& q) {
  for (int32_t j = 1; j <= q.n; ++j) {
    for (int32_t i = 1; i <= q.n; ++i) {
      double h = 0.0;
      if (q.mask(j) != 0) {
        for (int32_t k = 1; k <= q.m; ++k) h += q.jac(k, j) * q.sigma(k) * q.jac(k, i);
      }
      q.b(i, j) = 0.7 * q.b(i, j) + 0.3 * h;
    }
  }
  for (int32_t i = 1; i <= q.n; ++i) q.b(i, i) += 1.02e-10;
}

// The backtracking factor from the first-order model: the ratio of the actual change to the
// slope's prediction, kept in [0.4, 0.6]; 0.4 when the slope is zero or NaN (the ratio would
// be infinite or NaN).
double backtrack_factor(double ssrt, double fobj, double alpha, double slope) {
  if (slope == 0.0 || slope != slope) return 0.4;
  const double ratio = (ssrt - fobj) / (alpha * slope);
  if (ratio != ratio) return 0.4;
  return std::min(std::max(ratio, 0.4), 0.6);
}

// Step 11: backtracking on the merit SSR + 10 sum(max(c, 0)^2); returns the step factor.
double line_search(Sqp& q) {
  const int32_t n = q.n;
  const double phi0 = q.fobj + kMeritWeight * violation_sum(q, q.c);
  const double slope = dot(q.g, q.d, n);
  double alpha = 1.0;
  for (int32_t t = 1; t <= kMaxTrials; ++t) {
    for (int32_t j = 1; j <= n; ++j) q.xt(j) = q.x(j) + alpha * q.d(j);
    const double ssrt = evaluate(q, q.xt);
    constraints_at(q, q.xt, q.ct);
    const double phit = ssrt + kMeritWeight * violation_sum(q, q.ct);
    // The first trial (alpha = 1) only measures the reduction; it is never taken.
    if (t >= 2 && phi0 + alpha * 1e-4 * slope >= phit) break;
    alpha = alpha * backtrack_factor(ssrt, q.fobj, alpha, slope);
    if (alpha < kTol) {
      alpha = 1.0002e-8;
      break;
    }
  }
  return alpha;
}

// Step 13: multiplier update on the new constraint values.
void update_multipliers(Sqp& q) {
  if (q.nc < 1) return;
  for (int32_t i = 1; i <= q.nc; ++i) {
    q.lambda_old(i) = q.lambda(i);
    double l = q.lambda(i);
    if (l != l) l = std::max(0.1 * q.cnew(i) + 1e8, 0.0);
    if (std::fabs(l) > 1e8) l = sign(1e8, l);
    q.lambda(i) = q.act(i) != 0 ? std::max(l + 0.1 * q.cnew(i), 0.0) : std::max(0.9 * l, 0.0);
  }
}

// Step 15: BFGS update of the free rows of B with the multiplier-corrected gradient change.
void bfgs_update(Sqp& q) {
  const int32_t n = q.n;
  if (!(dot(q.s, q.yv, n) > kTol)) return;
  FVector<double> yl(n);
  for (int32_t j = 1; j <= n; ++j) {
    double s = q.yv(j);
    for (int32_t i = 1; i <= q.nc; ++i) s += q.a(i, j) * (q.lambda(i) - q.lambda_old(i));
    yl(j) = s;
  }
  const double sy = dot(q.s, yl, n);
  if (!(std::fabs(sy) > kTol && norm(q.s, n) > kTol)) return;
  FVector<double> bs(n);
  for (int32_t i = 1; i <= n; ++i) {
    double s = 0.0;
    for (int32_t j = 1; j <= n; ++j) s += q.b(i, j) * q.s(j);
    bs(i) = s;
  }
  const double sbs = dot(q.s, bs, n);
  // A zero (or non-finite) curvature s^T B s would fill B with infinities and NaN.
  if (sbs == 0.0 || sbs - sbs != 0.0) return;
  for (int32_t i = 1; i <= n; ++i) {
    if (q.mask(i) == 0) continue;
    for (int32_t j = 1; j <= n; ++j) q.b(i, j) += yl(i) * yl(j) / sy - bs(i) * bs(j) / sbs;
  }
}

// Step 17: the stop tests, in order; sets q.end when the cycle ends.
void stop_tests(Sqp& q) {
  const int32_t n = q.n;
  double dist = 0.0;
  for (int32_t j = 1; j <= n; ++j) dist += (q.xnew(j) - q.x(j)) * (q.xnew(j) - q.x(j));
  q.step = std::sqrt(dist);

  if (q.iter >= 2) {
    const double vmax = max_violation(q);
    if (norm(q.g, n) < 1e-8 && vmax < 1e-8 && q.step < 1e-10) {
      q.end = CycleEnd::kConverged;
      return;
    }
  }
  q.nfev_sum += q.nfev;
  if (q.cycle == 3 && q.step < kTol) {
    q.end = CycleEnd::kNoChange;
    return;
  }
  const int32_t limit = q.maxit <= 99 ? 50 * q.maxit : 25 * q.maxit;
  if (q.nfev > limit) {
    q.end = CycleEnd::kMaxEvaluations;
    return;
  }
  if (q.nfev_sum > kMaxTotal) {
    q.end = CycleEnd::kMaxTotalEvaluations;
    return;
  }
  if (q.npen >= q.maxit) {
    q.end = CycleEnd::kMaxPenalty;
    return;
  }
  ++q.iter;
  if (q.iter > q.maxit) q.end = CycleEnd::kMaxIterations;
}

// Steps 6 to 17: one iteration.
void iterate(Sqp& q) {
  const int32_t n = q.n;

  // Step 6: objective with the cycle's penalty.
  if (q.penalty > 0.0) {
    ++q.npen;
    if (bprint != 0) trace_penalty(q);
  }
  q.fobj = evaluate(q, q.x) + q.penalty;

  // Step 7: constraints, active set, gradient, constraint Jacobian.
  constraints_at(q, q.x, q.c);
  for (int32_t i = 1; i <= q.nc; ++i) q.act(i) = q.c(i) > kActive ? 1 : 0;
  gradient_at(q, q.x, q.g);
  initialize_vmsqp::compute_constraint_gradients(
      q.a.view(), q.nc, n, VecView<const int32_t>(q.mask.data(), n));

  // Steps 8 and 9: Gauss-Newton seed of B.
  residual_jacobian(q);
  seed_from_gauss_newton(q);
  const double violated = violation_sum(q, q.c);
  if (violated > 0.0) q.merit = q.fobj + kMeritWeight * violated;
  if (bprint != 0) trace_row(q);

  // Steps 10 and 11: direction and line search.
  search_direction(q);
  const double alpha = line_search(q);

  // Step 12: the new point; a NaN step component becomes 0.001 times the parameter.
  for (int32_t j = 1; j <= n; ++j) {
    q.s(j) = alpha * q.d(j);
    if (q.s(j) != q.s(j)) q.s(j) = 0.001 * q.x(j);
    q.xnew(j) = q.mask(j) != 0 ? q.x(j) + q.s(j) : q.x(j);
  }
  recentre(q, q.xnew);
  q.fobj = evaluate(q, q.xnew);
  constraints_at(q, q.xnew, q.cnew);
  gradient_at(q, q.xnew, q.gnew);

  // Step 13.
  update_multipliers(q);

  // Step 14: step pair (kept away from zero) smoothed by the moment steps.
  for (int32_t j = 1; j <= n; ++j) {
    q.s(j) = q.xnew(j) - q.x(j) + sign(1e-10, q.xnew(j));
    q.yv(j) = q.gnew(j) - q.g(j) + sign(1e-8, q.gnew(j));
  }
  const VecView<const double> g(q.g.data(), n);
  adam_update_s(q.s.view(), g, n, q.iter);
  adam_update_y(q.yv.view(), g, n, q.iter);

  // Step 15.
  bfgs_update(q);

  // Step 16: accept a point whose SSR is not above the best accepted one.
  if (q.fbest >= q.fobj) {
    for (int32_t j = 1; j <= n; ++j) {
      q.x(j) = q.xnew(j);
      q.g(j) = q.gnew(j);
    }
    for (int32_t i = 1; i <= 2 * n; ++i) q.c(i) = q.cnew(i);
    q.fbest = q.fobj;
  }

  stop_tests(q);
  ++q.iterations;
}

// Steps 1 to 5: one cycle.
void run_cycle(Sqp& q) {
  q.nfev = 0;
  q.nfev_sum = 0;
  q.npen = 0;
  q.iter = 1;
  q.end = CycleEnd::kRunning;
  if (q.cycle != 3) recentre(q, q.x);
  smooth_start(q);
  q.b.fill(0.0);
  for (int32_t i = 1; i <= q.n; ++i) q.b(i, i) = 1.0;
  if (bprint != 0) trace_cycle_start(q);
  while (q.end == CycleEnd::kRunning) iterate(q);
  q.evaluations += q.nfev;
  if (bprint != 0) trace_cycle_end(q);
}

}  // namespace

double max_violation(const Sqp& q) {
  if (q.nc < 1) return -std::numeric_limits<double>::max();
  double v = 0.0;
  for (int32_t i = 1; i <= q.nc; ++i) v = std::max(v, q.c(i));
  return v;
}

}  // namespace detail

void vmsqp(const int32_t& maxit,
           const int32_t& n,
           const int32_t& m,
           const int32_t& nvar,
           const int32_t& ncon,
           const int32_t& mode,
           VecView<double> sigma,
           VecView<const double> xdat,
           VecView<const double> y,
           VecView<double> yfit,
           VecView<double> resid,
           VecView<double> x,
           VecView<const double> blo,
           VecView<const double> bhi,
           VecView<const int32_t> mask,
           double& fobj) {
  using detail::Sqp;
  Sqp q;
  const int32_t nn = std::max(n, 0);
  const int32_t mm = std::max(m, 0);
  q.maxit = maxit;
  q.n = nn;
  q.m = mm;
  q.nvar = nvar;
  q.nc = std::clamp(ncon, 0, 2 * nn);
  q.mode = mode;
  q.sigma = sigma;
  q.xdat = xdat;
  q.y = y;
  q.yfit = yfit;
  q.resid = resid;

  // Entry: working copies; the multipliers start at 0 and persist across the cycles.
  for (FVector<double>* v :
       {&q.x, &q.x0, &q.lo, &q.hi, &q.xnew, &q.xt, &q.g, &q.gnew, &q.d, &q.s, &q.yv, &q.xadj}) {
    v->resize(nn, 0.0);
  }
  q.mask.resize(nn, 0);
  for (FVector<double>* v : {&q.c, &q.cnew, &q.ct, &q.lambda, &q.lambda_old})
    v->resize(2 * nn, 0.0);
  q.act.resize(2 * nn, 0);
  q.a = FMatrixD<double>(2 * nn, nn);
  q.jac = FMatrixD<double>(mm, nn);
  q.b = FMatrixD<double>(nn, nn);
  for (int32_t j = 1; j <= nn; ++j) {
    q.x(j) = x(j);
    q.x0(j) = x(j);
    q.lo(j) = blo(j);
    q.hi(j) = bhi(j);
    q.mask(j) = mask(j);
  }
  q.f0 = fobj;
  q.fbest = fobj;
  q.fobj = fobj;

  for (q.cycle = 1; q.cycle <= 3; ++q.cycle) detail::run_cycle(q);
  q.cycle = 3;

  // Exit: one evaluation at the vector returned, so x, fobj, yfit, resid and common_data all
  // describe it (the last evaluation may have been a rejected trial); the entry vector comes
  // back bit-identical, with the entry sum, when the result is worse.
  q.nfev = 0;
  q.fobj = detail::evaluate(q, q.x);
  if (q.fobj > q.f0) {
    for (int32_t j = 1; j <= nn; ++j) q.x(j) = q.x0(j);
    detail::evaluate(q, q.x);
    q.fobj = q.f0;
  }
  q.evaluations += q.nfev;
  for (int32_t j = 1; j <= nn; ++j) x(j) = q.x(j);
  fobj = q.fobj;
  if (bprint != 0) detail::final_report(q);
}

}  // namespace vmsqp_mod
