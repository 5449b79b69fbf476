#include "optimizers/marq_mod.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"
#include "model/operators.hpp"
#include "numerics/balance_mod.hpp"
#include "optimizers/bounds_rule.hpp"
#include "optimizers/marq_parts.hpp"
#include "optimizers/optim_support.hpp"

namespace marq_mod {
namespace {

// What follows a sub-step, an iteration or a cycle.
enum class Next {
  kSubStep,       // the next damped sub-step of the iteration
  kEndIteration,  // the trial was rejected (or no step could be formed)
  kEndCycle,      // the cycle ends through its end rules
  kNewCycle,      // a new cycle begins at once (search failures with isearch on)
  kFinal,         // the final phase
};

// The state of one call, shared by its steps (the host variables of the method).
struct Call {
  Model md;
  int32_t n = 0, m = 0, nfree = 0;
  FVector<int32_t> index;  // parameter index of free parameter 1..nfree
  int32_t mode = 0;        // weighting mode of the cycles
  int32_t counter = 0;     // the robust mode's counter: the weighting mode of the final phase
  int32_t maxit = 30;
  int32_t isearch = 0;
  int32_t level_fails = 3;  // L: failed iterations a cycle tolerates with isearch on
  FVector<double> work;     // working vector
  FVector<double> saved;    // last vector that lowered the sum (start of the iteration)
  FVector<double> start;    // vector at the start of the cycle
  FVector<double> lo, hi;   // bounds, zeros of free parameters lifted to 2.22e-14
  FVector<double> yfit, w;  // fitted values and weights of the last evaluation
  // Derivative matrix of the sub-steps and the vector it belongs to.
  FMatrixD<double> J, U, V;
  FVector<double> sv, jac_at, fplus, fminus, wscratch, proj, delta;
  bool jac_valid = false;
  double ssq = 0.0;     // sum of squares of the last evaluation of the working vector
  double q_old = 0.0;   // goodness value of the saved vector
  double s_best = 0.0;  // best sum (starts at s0)
  double s_iter = 0.0;  // sum of the saved vector during an iteration
  double f_last = 0.0;  // sum at the start of the last sub-step
  double mu = 1.0;      // step factor, in [0.01, 1]
  int32_t k = 1;        // index of the damping floor among the singular values
  bool keep_k = false;  // an isearch failure raised k: the next iteration keeps it
  int32_t status = 0;
  int32_t r = 0;      // cycle counter: 0, 2, 4, ...
  int32_t fails = 0;  // failed iterations of the cycle (isearch on)
};

bool is_free(int32_t i) { return common_data::pmask(i) != 0; }

// funy at the working vector with the given mode: sets ssq, the fitted values and weights.
double evaluate(Call& c, int32_t mode) {
  double q = 0.0;
  funy(c.md, c.work.view(), mode, c.yfit.view(), c.w.view(), c.ssq, q, c.counter);
  return q;
}

// mu from the relative gain rel of the goodness value; false when the gain has vanished.
bool update_step_factor(Call& c, double rel) {
  c.mu = rel;
  if (!(rel > 2.22e-14)) return false;
  c.mu = std::min(
      1.0, std::max(0.01, 2.0 * (operators::sqroot(rel) + rel * operators::qexp(rel) + 0.05)));
  return true;
}

// Sub-step 2: central first differences of the fitted values at the working vector, m x nfree.
// Each perturbed vector is evaluated once for all rows. An iteration that restarts from the
// vector of the last matrix reuses it.
void derivative_matrix(Call& c) {
  if (c.jac_valid) {
    bool same = true;
    for (int32_t i = 1; i <= c.n && same; ++i) same = c.jac_at(i) == c.work(i);
    if (same) return;
  }
  double s = 0.0, q = 0.0;
  for (int32_t j = 1; j <= c.nfree; ++j) {
    const int32_t i = c.index(j);
    const double pi = c.work(i);
    const double h = std::max(std::fabs(pi), 1e-7) * 1e-5;
    c.work(i) = pi + h;
    funy(c.md, c.work.view(), c.mode, c.fplus.view(), c.wscratch.view(), s, q, c.counter);
    c.work(i) = pi - h;
    funy(c.md, c.work.view(), c.mode, c.fminus.view(), c.wscratch.view(), s, q, c.counter);
    c.work(i) = pi;
    for (int32_t r = 1; r <= c.m; ++r) {
      const double d = (c.fplus(r) - c.fminus(r)) / (2.0 * h);
      // A vanishing difference keeps a small slope, so no column of the matrix is zero.
      c.J(r, j) = std::fabs(d) <= 4.44e-16 ? (d < 0.0 ? -1e-7 : 1e-7)
                                           : optim_support::clamp_nan(d, -4.52e15, 4.52e15, 1e-7);
    }
  }
  for (int32_t i = 1; i <= c.n; ++i) c.jac_at(i) = c.work(i);
  c.jac_valid = true;
}

// Sub-steps 3-4: decomposition and transformed singular values; returns tau, or a negative
// value on the degenerate path (no step).
double damped_values(Call& c, bool first_of_iteration) {
  const int32_t ns = c.nfree;
  svd(c.J.view(), c.m, ns, c.sv.view(), c.U.view(), c.V.view());
  balance_mod::balance(c.V.view(), ns);
  for (int32_t j = 1; j <= ns; ++j) {
    for (int32_t i = 1; i <= ns; ++i) {
      if (c.V(i, j) == 0.0) c.V(i, j) = 0.001;
    }
  }
  const double wmax = c.sv(1);
  if (!(wmax > 2.220446049250313e-16)) return -1.0;
  // The floor index starts each iteration at the count of significant values, those that
  // step 4a leaves alone; it never runs past the number of free parameters.
  if (first_of_iteration && !c.keep_k) {
    c.k = 0;
    for (int32_t i = 1; i <= ns; ++i) c.k += c.sv(i) >= 1.4901161193847656e-8 * wmax ? 1 : 0;
  }
  c.keep_k = false;
  c.k = std::clamp(c.k, 1, ns);
  double largest = 0.0;
  for (int32_t i = 1; i <= ns; ++i) {
    double& v = c.sv(i);
    if (v < 1.4901161193847656e-8 * wmax) v *= wmax;  // 4a
    v = (v * v + 1e-5) / std::fabs(v);                // 4b
    if (std::isnan(v)) return -1.0;
    if (std::fabs(v) < 1e-6) v = v < 0.0 ? -1e-6 : 1e-6;
    if (std::fabs(v) > 1e6) v = v < 0.0 ? -1e6 : 1e6;
    largest = std::max(largest, v);
  }
  deigen = 1e-6 * largest;  // 4c
  for (int32_t i = 1; i <= ns; ++i) c.sv(i) += std::max(1e-5, deigen);
  // 4d: the damping floor; a smaller step factor gives a lower floor.
  double tau = std::pow(c.mu, 1.0 / (c.k + 1)) * c.sv(c.k);
  tau = tau == 0.0 ? 9.999999974752427e-7
                   : static_cast<double>(static_cast<float>(std::max(tau, 1e-6)));
  // 4e: values far above tau stay (plus tau), values far below are lifted to about tau.
  for (int32_t i = 1; i <= ns; ++i)
    c.sv(i) = tau + c.sv(i) * (1.0 - operators::qexp(-c.sv(i) / tau));
  // 5: linear spread of [lo, top] onto [lo, min(top, 1e6)]; nothing to spread when lo = top.
  double top = c.sv(1), low = c.sv(1);
  for (int32_t i = 2; i <= ns; ++i) {
    top = std::max(top, c.sv(i));
    low = std::min(low, c.sv(i));
  }
  low = std::max(low, 1e-6);
  const double hi = std::min(top, 1e6);
  if (top - low != 0.0) {
    for (int32_t i = 1; i <= ns; ++i) c.sv(i) = hi + (c.sv(i) - top) * (hi - low) / (top - low);
  }
  return tau;
}

// Sub-step 5: delta := sum_i V(:, i) |w(i)| / (w(i)^2 + tau^2) (U(:, i)^T e), e the (weighted)
// residuals of the working vector; a NaN entry of U or V counts as 1e-6.
void lm_step(Call& c, double tau) {
  const int32_t ns = c.nfree;
  auto entry = [](double v) { return std::isnan(v) ? 1e-6 : v; };
  for (int32_t i = 1; i <= ns; ++i) {
    double s = 0.0;
    for (int32_t r = 1; r <= c.m; ++r) {
      double e = (c.md.iy >= 1 ? c.md.Y(r, c.md.iy) : 0.0) - c.yfit(r);
      if (c.mode != 0) e /= std::fabs(c.w(r));
      s += entry(c.U(r, i)) * e;
    }
    c.proj(i) = std::fabs(c.sv(i)) / (c.sv(i) * c.sv(i) + tau * tau) * s;
  }
  for (int32_t j = 1; j <= ns; ++j) {
    double d = 0.0;
    for (int32_t i = 1; i <= ns; ++i) d += entry(c.V(j, i)) * c.proj(i);
    c.delta(j) = d;
  }
}

// Sub-step 7: the root mean square of the step over all n parameters.
bool step_vanished(const Call& c) {
  double s = 0.0;
  for (int32_t j = 1; j <= c.nfree; ++j) s += c.delta(j) * c.delta(j);
  return std::sqrt(s / c.n) < 1e-10;
}

// One damped sub-step (steps 1-7) from the working vector, which equals the saved vector.
Next sub_step(Call& c, int32_t it, bool first_of_iteration) {
  if (c.nfree == 0) return Next::kFinal;  // nothing to move
  // Steps 1-2: the sum at the start of the sub-step and the derivative matrix.
  evaluate(c, c.mode);
  c.f_last = c.ssq;
  derivative_matrix(c);
  // Steps 3-5.
  const double tau = damped_values(c, first_of_iteration);
  if (tau < 0.0) {
    // Degenerate path: no step; the iteration ends as after a rejection.
    deigen = kDegenerateStep;
    c.ssq = c.s_iter;
    return Next::kEndIteration;
  }
  lm_step(c, tau);
  for (int32_t j = 1; j <= c.nfree; ++j) c.work(c.index(j)) = c.saved(c.index(j)) + c.delta(j);
  bounds_rule::pbounds3(c.work.view(), c.n, c.lo.view(), c.hi.view(), c.ssq);
  double q_trial = 0.0;
  if (c.isearch % 2 != 0 && it <= 10) {
    search(c.md, c.mode, c.work.view(), c.w.view(), c.ssq, q_trial, c.counter);
  }
  q_trial = evaluate(c, c.mode);
  // Step 6: acceptance on a lower goodness value or a lower sum.
  if (q_trial < c.q_old || c.ssq < c.s_iter) {
    c.s_iter = c.ssq;
    for (int32_t i = 1; i <= c.n; ++i) c.saved(i) = c.work(i);
    c.k = c.k - 1 > c.n ? 1 : std::max(1, c.k - 1);
    const double rel = std::fabs(c.q_old - q_trial) / c.q_old;
    c.q_old = q_trial;
    if (!update_step_factor(c, rel)) {
      c.status = 800;
      return Next::kEndCycle;
    }
    return step_vanished(c) ? Next::kFinal : Next::kSubStep;
  }
  // Rejection: back to the saved vector and its sum. Restoring the sum matters: the next
  // iteration measures its trials against it, and a cycle ending on the rejected trial's larger
  // sum would count as ending above its start and throw its accepted steps away.
  for (int32_t i = 1; i <= c.n; ++i) c.work(i) = c.saved(i);
  c.ssq = c.s_iter;
  if (c.isearch % 2 != 0 && it <= 10) {
    double q = c.q_old;
    search(c.md, c.mode, c.work.view(), c.w.view(), c.ssq, q, c.counter);
  }
  bounds_rule::pbounds3(c.work.view(), c.n, c.lo.view(), c.hi.view(), c.ssq);
  return step_vanished(c) ? Next::kFinal : Next::kEndIteration;
}

// Iteration step 4 (isearch on): a search at the end of the iteration, and the cycle's
// failure count when it finds nothing.
Next search_at_iteration_end(Call& c) {
  double sum = c.ssq, q = c.q_old;
  search(c.md, c.mode, c.work.view(), c.w.view(), sum, q, c.counter);
  if (sum < c.s_iter) {
    c.ssq = sum;
    for (int32_t i = 1; i <= c.n; ++i) c.saved(i) = c.work(i);
    const double rel = std::fabs(c.q_old - q) / c.q_old;
    c.q_old = q;
    if (!update_step_factor(c, rel)) {
      c.status = 800;
      return Next::kEndCycle;
    }
    return Next::kSubStep;
  }
  c.ssq = c.s_iter;
  for (int32_t i = 1; i <= c.n; ++i) c.work(i) = c.saved(i);
  ++c.fails;
  c.k = c.k + 1 > c.n ? 1 : c.k + 1;
  c.keep_k = true;
  if (c.fails < c.level_fails) return Next::kSubStep;
  // The failures a cycle tolerates are spent. The order of these tests is our choice: the stop
  // (status 1100) first, then a new cycle with status 900 while few cycles have run, else 0.
  if (c.maxit <= c.r + 1 || std::fabs(1.0 - c.s_best / c.ssq) < 1e-9) {
    c.status = 1100;
    return Next::kEndCycle;
  }
  c.status = c.r + 1 < c.maxit / 2 ? 900 : 0;
  c.r += 1;
  return Next::kNewCycle;
}

// Iterations 1..maxit of one cycle.
Next run_iterations(Call& c) {
  for (int32_t it = 1; it <= c.maxit; ++it) {
    // Step 1.
    c.s_iter = c.ssq;
    if (optim_support::time_limit_passed() || (c.status >= 800 && c.r + 1 > 4)) return Next::kFinal;
    // Step 2: at most five sub-steps; a sixth is not started.
    Next next = Next::kSubStep;
    for (int32_t sub = 1; next == Next::kSubStep; ++sub) {
      if (sub == 6) {
        c.status = 800;
        next = Next::kEndCycle;
        break;
      }
      if (optim_support::time_limit_passed()) return Next::kFinal;
      next = sub_step(c, it, sub == 1);
    }
    if (next == Next::kFinal) return next;
    // Steps 3-4: the iteration ends on the saved vector (or what the search made of it).
    if (c.isearch != 0 && next == Next::kEndIteration) {
      const Next after = search_at_iteration_end(c);
      if (after != Next::kSubStep) return after;
    } else {
      for (int32_t i = 1; i <= c.n; ++i) c.work(i) = c.saved(i);
    }
    if (next == Next::kEndCycle) return next;
  }
  return Next::kEndCycle;
}

// The cycles: returns when the final phase is due.
void run_cycles(Call& c, double s0, VecView<double> yfit, int32_t& info) {
  double s_prev = s0;  // sum at the end of the previous cycle
  for (;;) {
    // Cycle start, steps 1-2.
    if (optim_support::time_limit_passed()) return;
    if (c.r + 1 > 5 && std::fabs(1.0 - c.s_best / c.ssq) < 1.0000000000000002e-14) return;
    // Steps 3-4.
    c.q_old = evaluate(c, c.mode);
    for (int32_t r = 1; r <= c.m; ++r) yfit(r) = c.yfit(r);
    c.s_best = std::min(c.s_best, c.ssq);
    info = 0;
    for (int32_t i = 1; i <= c.n; ++i) c.start(i) = c.saved(i) = c.work(i);
    c.mu = 1.0;
    c.fails = 0;
    c.s_iter = c.f_last = c.ssq;
    // Step 5.
    const Next next = c.maxit < 1 ? Next::kEndCycle : run_iterations(c);
    if (next == Next::kFinal) return;
    if (next == Next::kNewCycle) continue;
    // Cycle end.
    const double s_end = c.s_iter;
    if (std::fabs(s_end - c.f_last) < 2.22e-14) return;  // 1: the last sub-step gained nothing
    if (s_end > s_prev) {                                // 2: worse than the cycle's start
      for (int32_t i = 1; i <= c.n; ++i) c.work(i) = c.start(i);
      c.s_best = s_prev;
      return;
    }
    if (std::fabs(s_prev - s_end) <= 2.22e-14) return;  // 3: the cycle gained nothing
    c.s_best = s_end;
    if (c.maxit <= c.r + 1) return;  // 4
    s_prev = s_end;                  // 5
    c.status += 400;
    c.r += 2;
  }
}

// Start, steps 2-3: working vectors and bounds, zeros of free parameters lifted.
void prepare(Call& c,
             VecView<const double> p,
             VecView<const double> plo,
             VecView<const double> phi) {
  const int32_t n = c.n, m = c.m;
  c.work.resize(n);
  c.saved.resize(n);
  c.start.resize(n);
  c.lo.resize(n);
  c.hi.resize(n);
  c.jac_at.resize(n);
  c.index.resize(n);
  for (int32_t i = 1; i <= n; ++i) {
    c.work(i) = p(i);
    c.lo(i) = plo(i);
    c.hi(i) = phi(i);
    if (!is_free(i)) continue;
    c.index(++c.nfree) = i;
    if (std::fabs(c.work(i)) <= 2.22e-14) {
      const double lifted = operators::sqroot(2.22e-14);
      c.work(i) = c.work(i) < 0.0 ? -lifted : lifted;
    }
    if (c.hi(i) == 0.0) c.hi(i) = 2.22e-14;
    if (std::fabs(c.lo(i)) <= 2.22e-14) c.lo(i) = c.lo(i) < 0.0 ? -2.22e-14 : 2.22e-14;
  }
  for (int32_t i = 1; i <= n; ++i) c.saved(i) = c.start(i) = c.work(i);
  c.yfit.resize(m);
  c.w.resize(m, 1.0);
  c.wscratch.resize(m, 1.0);
  c.fplus.resize(m);
  c.fminus.resize(m);
  const int32_t ns = std::max(c.nfree, 1);
  c.J = FMatrixD<double>(m, ns);
  c.U = FMatrixD<double>(m, ns);
  c.V = FMatrixD<double>(ns, ns);
  c.sv.resize(ns);
  c.proj.resize(ns);
  c.delta.resize(ns);
}

// Final phase, step 1: the result vector, polished by one search, with its fitted values.
void finish_vector(Call& c, VecView<double> p, VecView<double> yfit) {
  // From here on the mode is the robust counter: robust weights stay as they are and the sums
  // are unweighted (modes 0-2 are unchanged).
  const int32_t mode = c.counter;
  double q = evaluate(c, mode);
  search(c.md, mode, c.work.view(), c.w.view(), c.ssq, q, c.counter);
  // The last evaluation is at the returned vector, so yfit, ydf, yres and ssq describe it.
  evaluate(c, mode);
  for (int32_t i = 1; i <= c.n; ++i) p(i) = c.work(i);
  for (int32_t r = 1; r <= c.m; ++r) yfit(r) = c.yfit(r);
}

}  // namespace

void marq(const int32_t& m,
          const int32_t& nvar,
          const int32_t& iy,
          const int32_t& n,
          MatView<const double> x,
          MatView<const double> Y,
          VecView<double> yfit,
          const int32_t& nostat,
          MatView<double> VS,
          MatView<double> CV,
          const int32_t& iwt,
          VecView<const double> sig,
          VecView<double> p,
          VecView<const double> plo,
          VecView<const double> phi,
          VecView<double> se,
          VecView<double> ci,
          VecView<double> pinf,
          const double& s0,
          std::optional<int32_t> maxit,
          double& ssq,
          const int32_t& isearch,
          const int32_t& level,
          int32_t& info) {
  // More rows or parameters than the shared arrays hold would write past them.
  if (m < 1 || m > common_data::max_rows || n < 1 || n > common_data::max_params) return;
  // Start, step 1.
  Call c;
  c.md = Model{x, Y, sig, n, nvar, iy, m};
  c.n = n;
  c.m = m;
  c.maxit = maxit.value_or(30);
  c.level_fails = level == 1 || level == 2 ? 3 : level;
  // Weighting mode 4 (standard deviation over residual) is never used here: it fits unweighted.
  c.mode = iwt <= 3 ? iwt : 0;
  c.counter = c.mode;
  c.isearch = isearch;
  prepare(c, p, plo, phi);
  // Step 4.
  c.ssq = ssq;
  c.s_best = s0;
  run_cycles(c, s0, yfit, info);
  // Final phase.
  finish_vector(c, p, yfit);
  ssq = c.ssq;
  if (nostat != 0) return;
  // The statistics evaluate perturbed vectors; the shared fitted values and residuals are
  // restored to those of the returned vector afterwards.
  FVector<double> residuals(m);
  for (int32_t r = 1; r <= m; ++r) residuals(r) = common_data::yres(r);
  final_statistics(c.md, c.counter, c.work.view(), c.ssq, VS, CV, se, ci);
  curvature(c.md, 0, c.work.view(), pinf);
  for (int32_t r = 1; r <= m; ++r) {
    common_data::ydf(r) = c.yfit(r);
    common_data::yres(r) = residuals(r);
  }
}

void reset() {
  deigen = 0.0;
  funy_count = 0;
}

}  // namespace marq_mod
