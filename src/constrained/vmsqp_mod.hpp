// The constrained sequential-quadratic-programming least-squares method of the fit cascade.
//
// vmsqp minimises the plain sum of squared residuals SSR(x) of the model (every per-row divisor
// 1.0) over the free parameters, treating a box around the current point as the inequality
// constraints c(x) <= 0 (c = (lo - x, x - hi)) with Lagrange multipliers. Each iteration
//   - seeds its quasi-Newton matrix B from the Gauss-Newton matrix J^T J of central-difference
//     residual derivatives (B := 0.7 B + 0.3 J^T J),
//   - solves B d = -g through a chain that always yields a direction (trusted Gauss-Jordan
//     inverse, Cholesky, Gaussian elimination, scaled gradient) and projects d off the active
//     constraints,
//   - backtracks along d on the merit SSR + 10 * sum(max(c, 0)^2) (Armijo constant 1e-4; the
//     first trial at alpha = 1 only measures the reduction factor, clamped to [0.4, 0.6]),
//   - smooths the step pair (s, y) with Adam moment steps and makes a BFGS update of the free
//     rows of B with y corrected by the multiplier change.
// The box is not the user's bound pair: each free parameter's box is re-centred on the newest
// point as the factor-of-ten interval [x/10, 10x] (or [10x, x/10] for x <= 0) at the start of
// cycles 1 and 2 and after every line search, so it acts as a multiplicative trust region. A
// point is accepted only when its SSR is not above the best accepted one. Three cycles of at
// most maxit iterations; the third ends at its first accepted step.
//
// The method reads neither the time limit nor the cancel flag. Reports go to `console` (standard
// output when null): a few diagnostics always, the iteration trace and the final report only
// when `bprint` is nonzero. Arrays are 1-based views; scalars by reference.
#pragma once

#include <cstdint>
#include <ostream>

#include "numerics/farray.hpp"

namespace vmsqp_mod {

inline int32_t bprint = 0;               // nonzero: write the trace and the final report
inline std::ostream* console = nullptr;  // where every line goes; null = standard output

// The Adam moment state of one of the two moment steps. Kept between calls; a call with
// iteration number 1 restarts it with n zeros.
struct Moments {
  FVector<double> first;   // first-moment estimate u (empty until the first restart)
  FVector<double> second;  // second-moment estimate v
  int32_t first_call = 1;  // 1: (re)allocate the moments at the next call
};
inline Moments moments_s;  // of adam_update_s
inline Moments moments_y;  // of adam_update_y

// The method (see above).
//   maxit   in      iterations per cycle; the evaluation limit of a cycle is 50 maxit for
//                   maxit <= 99, else 25 maxit
//   n, m    in      parameters, data rows
//   nvar    in      x columns of the model (1..3)
//   ncon    in      constraints taken into account, at most 2n (c, the multipliers and the
//                   constraint Jacobian always hold 2n)
//   mode    in      weighting mode handed to the evaluator
//   sigma   out     per-row divisors of the last evaluation (all 1.0)
//   xdat    in      x values of the rows, for the reports only
//   y       in      observed values
//   yfit    in/out  fitted values of the returned x
//   resid   out     residuals of the returned x
//   x       in/out  the start vector; out: the last accepted point, or the start vector
//                   bit-identical when that point's SSR exceeds the entry fobj
//   blo,bhi in      bounds of the fixed parameters' constraints (free ones are re-centred)
//   mask    in      nonzero = free; fixed parameters come back bit-identical
//   fobj    in/out  in: the caller's sum for x; out: SSR of the returned x (the entry value
//                   when the start vector is restored). yfit, resid and common_data's fitted
//                   values and residuals describe the returned x.
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
           double& fobj);

// Central-difference gradient of SSR at x: for every free j, h = max((|x_j| + 1.0000002e-5) *
// 1.0000002e-5, 1.0000002e-5) and grad_j = (SSR(x + h e_j) - SSR(x - h e_j)) / (2h), a
// difference of at most 2e-12 in magnitude replaced by 1.02e-10 with its sign (+0 counting as
// positive). Fixed parameters get 0. count += 1 per evaluation; sigma is overwritten.
void compute_gradient_numerical(VecView<const double> x,
                                VecView<const double> xdat,
                                VecView<const double> y,
                                VecView<double> sigma,
                                VecView<double> grad,
                                const int32_t& m,
                                const int32_t& n,
                                const int32_t& nvar,
                                const int32_t& mode,
                                int32_t& count,
                                VecView<const int32_t> mask);

// Adam moment steps on the step pair, driven by the gradient g: for every i with
// common_data::pmask(i) nonzero, u := 0.9 u + 0.1 g_i, v := 0.999 v + 0.001 g_i^2 and the
// element moves by -lr * uh / (sqrt(vh) + 1e-8) with the bias-corrected moments uh, vh.
// t = 1 restarts the moments. lr = 0.001 for s, 0.0001 for yv. Invalid n or t, or moments of
// another length, only write a message.
void adam_update_s(VecView<double> s, VecView<const double> g, const int32_t& n, const int32_t& t);
void adam_update_y(VecView<double> yv, VecView<const double> g, const int32_t& n, const int32_t& t);

// Final-report sections (written whatever bprint says; vmsqp calls them only when it is on).
// The lower and upper bound check of x against lo and hi.
void detailed_constraint_check(VecView<const double> x,
                               const int32_t& n,
                               VecView<const double> lo,
                               VecView<const double> hi);
// The data/model table of the first 30 rows.
void print_fit_comparison(VecView<const double> xdat,
                          VecView<const double> y,
                          VecView<const double> yfit,
                          VecView<const double> resid,
                          const int32_t& m);
// Sums, R-squared, standard errors, covariance and correlation, residual analysis and
// outliers, from the residual Jacobian j (m x n) and the divisors sigma.
void regression_statistics(VecView<const double> x,
                           VecView<const double> resid,
                           VecView<const double> xdat,
                           MatView<const double> j,
                           VecView<const double> sigma,
                           const int32_t& m,
                           const int32_t& n,
                           VecView<const int32_t> mask);

// Restores bprint, console and the moment state to their start-up values (for tests).
void reset();

}  // namespace vmsqp_mod
