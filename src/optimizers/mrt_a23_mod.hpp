// The modified Marquardt method: a damped Gauss-Newton minimiser of the weighted sum of squares
// on packed normal equations, followed by one adaptive random search around its result.
//
// Derivative information alternates between iterations: odd iterations take a Richardson-
// extrapolated central-difference gradient g of the sum and use it as every row of the
// derivative matrix J; even iterations refine J by Broyden's rank-one secant update [1]. The step
// solves (C + lambda (diag(C) + 0.4)) dx = -J^T r by a packed Cholesky factorisation, C = J^T J,
// raising lambda by 2.5 until the sum falls (Marquardt [2]). When the first pass stops, a random
// search with adaptive step lengths tries single-parameter moves; when it finds a lower sum the
// Marquardt pass runs once more from there.
//
// [1] C. G. Broyden, "A class of methods for solving nonlinear simultaneous equations",
//     Math. Comp. 19 (1965) 577-593.
// [2] D. W. Marquardt, "An algorithm for least-squares estimation of nonlinear parameters",
//     J. SIAM 11 (1963) 431-441.
//
// Arrays are 1-based. A packed lower-triangular matrix holds element (i, k), k <= i, at
// i(i-1)/2 + k. Fixed parameters (common_data::pmask 0) never move. Not reentrant: it evaluates
// through the shared data set on the main thread.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace mrt_a23_mod {

// Single-precision machine epsilon: the least damping factor and the least useful sum.
inline constexpr double kEpsSingle = 1.1920928955078125e-7;

// Minimises the weighted sum of squares of the shared data set over x(1..n).
//   n        in      number of parameters (n < 1 returns at once, nothing changed)
//   x        in/out  start vector; on return the result, never one with a higher sum than the
//                    incoming fsum (otherwise the entry vector)
//   m        in      number of residuals (the engine passes common_data::nd)
//   lambda0  in      initial damping factor, raised to at least kEpsSingle
//   fsum     in/out  in: the caller's sum at its best vector; out: the sum at the returned x
//   limit    in/out  in: evaluation limit per Marquardt pass, raised to at least 100;
//                    out: evaluations counted in the last pass
//   iprint   in      unit for one line per iteration (6: standard output); <= 0 prints nothing
// Polls the shared time limit once per iteration and once per trial step.
void a23mrt(int32_t n,
            VecView<double> x,
            int32_t m,
            double lambda0,
            double& fsum,
            int32_t& limit,
            int32_t iprint);

// The objective: evaluates the model at x(1..n) on the shared data set through funct::fun and
// returns r(i) = y(i) - yfit(i) for the rows 1..min(nd, size of r) and fsum = sum (r(i)/w(i))^2,
// w the shared sigmas as they were before the call (a zero sigma counts as 1). Changes
// common_data only through funct::fun.
void mrtfun(int32_t n, VecView<const double> x, VecView<double> r, double& fsum);

}  // namespace mrt_a23_mod
