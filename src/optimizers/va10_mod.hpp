// The quasi-Newton minimiser with a factored Hessian: the Hessian approximation B is kept as
// packed factors L D L^T, the gradient is taken by finite differences (forward differences
// first, central ones once the line search shows the curvature that makes them pay), each
// direction solves L D L^T p = -g, a line search halves, cuts by a parabola or extrapolates the
// step, and the factors take the BFGS correction as two rank-one updates [1], [2].
//
// [1] R. Fletcher, M. J. D. Powell, "On the modification of LDL^T factorizations",
//     Math. Comp. 28 (1974) 1067-1087.
// [2] P. E. Gill, G. H. Golub, W. Murray, M. A. Saunders, "Methods for modifying matrix
//     factorizations", Math. Comp. 28 (1974) 505-535, method C1.
//
// Packed storage: element (i, k), k <= i, at i(i-1)/2 + k; the diagonal holds D, the strict
// lower triangle the unit lower factor L. Arrays are 1-based. Fixed parameters
// (common_data::pmask 0) have a zero gradient and never move. Not reentrant.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace va10_mod {

// Minimises the weighted sum of squares of the shared data set over x(1..n).
//   m       in      number of residuals (the engine passes common_data::nd)
//   n       in      number of parameters (1..common_data::max_params; otherwise status 4 and
//                   nothing changed)
//   x       in/out  start vector; the result, or the entry vector when the result's sum is not
//                   below the incoming fsum
//   fsum    in/out  in: the caller's sum at x; out: the sum of the returned x
//   h       in/out  n(n+1)/2 packed elements: mode 2 a matrix to factor, mode 3 its factors;
//                   overwritten with the factors
//   mode    in      1 the unit matrix (h ignored), 2 factor h, 3 h holds the factors
//   maxfn   in      evaluation limit
//   status  out     1 normal end below the evaluation limit; 4 otherwise (limit reached, no
//                   descent direction, a matrix that is not positive definite, the time limit)
// Up to three attempts, each with half the difference step of the one before. Polls the shared
// time limit at the start of each attempt and iteration and after each gradient.
void va10d(int32_t m,
           int32_t n,
           VecView<double> x,
           double& fsum,
           VecView<double> h,
           int32_t mode,
           int32_t maxfn,
           int32_t& status);

// The objective: evaluates the model at x(1..n) on the shared data set through funct::fun,
// stores x in common_data::pfinal and the fitted values in ydf, returns r(i) = y(i) - yfit(i)
// for the rows 1..min(nd, size of r) and fsum = funct::fun's weighted sum of squares.
void mrtfun(int32_t m, int32_t n, VecView<const double> x, VecView<double> r, double& fsum);

// The bounds rule against common_data::pboundlo / pboundhi (see bounds_rule::pbounds3);
// fsum doubles when a parameter moves.
void pbounds3(VecView<double> x, int32_t n, double& fsum);

}  // namespace va10_mod
