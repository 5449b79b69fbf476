// Two constrained variable-metric methods, vmcon and vmcwd, for the package of objective,
// gradient and bound constraints that funct::calcfg builds from the model's weighted sum of
// squares and from common_data's mask and bounds. The fit engine does not call them.
//
// Both minimise f(x) subject to c_i(x) = 0 (i <= meq) and c_i(x) >= 0 (meq < i <= m) by
// sequential quadratic programming [1]: each iteration solves a quadratic programme in the step d
// (qpsub) with a variable-metric matrix B of the Lagrangian's Hessian, makes one axial probe
// around the current point (axialsearch), tests convergence, searches along d on the merit
// function phi(x) = f(x) + sum mu_i viol_i(c(x)) and updates B by a damped BFGS formula.
//   viol_i(c) = |c_i| for i <= meq, max(-c_i, 0) for i > meq
//   gradL     = fgrad - sum_i lambda_i (column i of cnorm)
// meq and m are the counts of calcfg (common_data::ieqcns, icnstr): one equality of value 0 per
// fixed parameter, which holds it where it is, then n lower and n upper bounds.
//
//   vmcon: monotone line search (sufficient decrease 0.1 of the predicted change), weights
//          mu_i := max(|lambda_i|, (mu_i + |lambda_i|) / 2), damping 0.2/0.8; argument 7
//          limits the iterations (niter continues from the caller's value).
//   vmcwd: Powell's watchdog line search (ratio 0.25 against the linearised merit, relaxed
//          acceptance between restarts, return to the best point), weight reset with factors
//          1.25 and 2.5, damping 0.1/0.9; argument 7 limits the calls of calcfg (niter starts
//          at 0).
// Both test the convergence value |g.d| + sum |lambda_i c_i|, with g and c at the point the
// axial probe returned and d the QP's own direction (not the one re-aimed after the probe).
//
// [1] M. J. D. Powell, "A fast algorithm for nonlinearly constrained optimization calculations",
//     Numerical Analysis Dundee 1977, LNM 630 (1978); the watchdog technique: R. M. Chamberlain,
//     M. J. D. Powell, C. Lemarechal, H. C. Pedersen, Math. Prog. Study 16 (1982).
//
// Capacities: n + 1 <= 25 (B carries the QP's extra variable) and m <= 25 multipliers. They are
// checked at entry, before anything is evaluated (codes 12 and 13), and the counts the first
// evaluation sets (common_data::icnstr, ieqcns) again before the methods write anything: a
// count beyond the multipliers gives code 13, a model calcfg refuses code 12. The array
// arguments have the fixed capacities of what calcfg writes (kMaxGrad gradient entries,
// kMaxConstraints constraint values, their gradients with leading dimension kMaxGrad).
//
// Neither method reads the time limit or the cancel flag. Every line they write goes to
// `console` (standard output when null). Not reentrant: the shared blocks below are module state.
#pragma once

#include <cstdint>
#include <ostream>

#include "model/funct.hpp"
#include "numerics/farray.hpp"

namespace vmcwd_vmcon_mod {

inline constexpr int32_t kDim = 25;  // capacity of B (n + 1 rows) and of the multipliers (m)

using GradArray = FArray<double, funct::kMaxGrad>;                          // fgrad
using ConsArray = FArray<double, funct::kMaxConstraints>;                   // c
using ConsGrad = FMatrix<double, funct::kMaxGrad, funct::kMaxConstraints>;  // cnorm

// Result codes (info) of vmcon and vmcwd.
inline constexpr int32_t kConverged = 1;            // the convergence value reached acc
inline constexpr int32_t kIterationLimit = 2;       // vmcon: maxit iterations; vmcwd: maxfun calls
inline constexpr int32_t kLineSearchLimit = 3;      // maxls calls of calcfg in one line search
inline constexpr int32_t kUphill = 4;               // d does not descend the merit function
inline constexpr int32_t kInfeasible = 5;           // the linearised constraints have no solution
                                                    // (vmcon: or a lower bound above its upper)
inline constexpr int32_t kArtificialBound = 6;      // a step bound of 1e10 is active (vmcwd: or B
                                                    // lost positive definiteness)
inline constexpr int32_t kTooManyVariables = 12;    // n outside 1..24 or beyond the model's slots,
                                                    // or calcfg refuses the model
inline constexpr int32_t kTooManyConstraints = 13;  // m = 2n + fixed parameters above 25, or the
                                                    // counts calcfg sets not 0 <= meq <= m <= 25

// Shared block a2: the constraint counts of the last call.
inline int32_t m = 0;    // total number of constraints
inline int32_t meq = 0;  // of which equalities (the first meq)

// Shared block vmvdb: what qpsub hands the methods, B and the saved point. Kept between calls.
struct Vmvdb {
  FArray<double, kDim> lambda;    // multipliers of the m constraints
  FArray<double, kDim> d;         // step d(1..n); d(n+1) the relaxation variable xi
  FMatrix<double, kDim, kDim> b;  // the variable-metric matrix B (order n; row/column n+1 0)
  FArray<double, kDim> xs;        // vmcon: start of the line search; vmcwd: the best point
};
inline Vmvdb vmvdb;

inline std::ostream* console = nullptr;  // where every line goes; null = standard output

// The method vmcon. Arguments (all by reference):
//   n       in      variables, 1..24 (and at most common_data::max_params)
//   x       in/out  the start point; out: the final point (n entries)
//   f       out     objective at x
//   fgrad   out     its gradient
//   c       out     constraint values at x
//   cnorm   out     constraint gradients, column i for constraint i
//   maxit   in      largest iteration count (niter included)
//   acc     in      required accuracy of the convergence value
//   iprint  in      < 0 nothing written; >= 0 header and convergence values; >= 1 also the
//                   closing message
//   info    out     result code (above); its entry value is not used
//   maxls   in      calls of calcfg allowed in one line search (maxls - 1 trials are tested)
//   ctest   out     the last convergence value (1e25 for one that is not a number)
//   niter   in/out  iteration counter, continued from the caller's value
//   nruns   in      only printed
//   qpmode  in      handed to qpsub
// On code 3 x is the start of the failed line search, evaluated again. Codes 12 and 13 change
// only info, and f, fgrad, c and cnorm when the first evaluation's counts were refused;
// nothing is written. A lower bound above its upper bound (common_data::pboundlo(i) >
// pboundhi(i), i <= n) is refused at entry with code 5 before any evaluation (its closing
// message written when iprint >= 1).
void vmcon(int32_t& n,
           VecView<double> x,
           double& f,
           GradArray& fgrad,
           ConsArray& c,
           ConsGrad& cnorm,
           int32_t& maxit,
           double& acc,
           int32_t& iprint,
           int32_t& info,
           int32_t& maxls,
           double& ctest,
           int32_t& niter,
           int32_t& nruns,
           int32_t& qpmode);

// The method vmcwd: the same arguments, argument 7 being maxfun (largest number of calls of
// calcfg in the main loop) and info an entry mode too: -111 or -110 skip the first evaluation
// and the header and run without constraints (m = 0); any other value starts normally. niter
// starts at 0. iprint >= 1 adds an iteration report every iprint iterations and a closing
// report; its error messages are written when iprint >= 0. Code 1 is returned only when the
// convergence test held.
void vmcwd(int32_t& n,
           VecView<double> x,
           double& f,
           GradArray& fgrad,
           ConsArray& c,
           ConsGrad& cnorm,
           int32_t& maxfun,
           double& acc,
           int32_t& iprint,
           int32_t& info,
           int32_t& maxls,
           double& ctest,
           int32_t& niter,
           int32_t& nruns,
           int32_t& qpmode);

// The quadratic programme of one iteration, in z = (d, xi), N = n + 1:
//   minimise 0.5 d'B d + fgrad.d - 1e10 xi
//   subject to -1e10 <= d_j <= 1e10, 0 <= xi <= 1,
//     for i <= meq: a_i.d + c_i xi = 0 when c_i < 0, else a_i.d = -c_i,
//     for i > meq:  a_i.d >= -c_i                      (a_i = column i of cnorm).
// Every call is a fresh problem. On return vmvdb holds d, xi (d(n+1)) and lambda(1..m), every
// |lambda_i| in [1e-24, 1e25] with its sign (a multiplier of an inactive constraint is +1e-24),
// and info is 1 (solved), 5 (no feasible point, xi driven to 1e-6 or less, a singular working
// matrix or the iteration cap) or 6 (an artificial bound, or xi's lower bound, is active at the
// end, or the step is unbounded because B is singular on the working subspace; d is then the
// feasible point reached and lambda is left as it was). qpmode > 3 stops at the first point
// that meets every constraint; any other value (2 and 3 included) solves the programme from
// the same start. iprint is not used.
void qpsub(int32_t n,
           int32_t m,
           int32_t meq,
           const GradArray& fgrad,
           const ConsArray& c,
           const ConsGrad& cnorm,
           int32_t iprint,
           int32_t& info,
           int32_t qpmode);

// Axial probe around x (f the objective at x on entry): up to 20 sweeps of relative steps
// +-(|x_i| h + 2.22e-15), h = 1.11e-5 halved each sweep, over the free parameters
// (common_data::pmask nonzero), keeping improvements; a probe outside the parameter's bounds is
// not taken. Ends after the sweep in which the successes exceed 10 n. Free components of the
// result outside their bounds are clipped to them. On return x is the best point, f its
// objective, and fgrad, c and cnorm belong to x (evaluated again when the last probe was
// elsewhere).
void axialsearch(
    int32_t n, double& f, VecView<double> x, GradArray& fgrad, ConsArray& c, ConsGrad& cnorm);

// In-place inverse of the leading n x n block of a (leading dimension a.ld()) by LU
// factorisation with row pivoting. Returns 0, or k when the pivot of column k is exactly 0: a
// is then left partly transformed (its inverse is not available). n < 1 does nothing; a 1 x 1
// zero block stays unchanged (and returns 1).
int32_t mb01cd2(MatView<double> a, int32_t n);
// The same inverse for a working matrix rebuilt from the whole working set.
int32_t mb01bd(MatView<double> a, int32_t n);

// Clears the shared blocks and the console (for tests).
void reset();

}  // namespace vmcwd_vmcon_mod
