// Condition indices and variance-decomposition proportions of a parameter correlation matrix.
//
// The collinearity diagnostics of Belsley, Kuh and Welsch [1], applied to R, the correlation
// matrix of the parameter estimates. R is built from the inverse of the normal matrix, so its
// eigenvalue mu_k belongs to the eigenvalue 1/mu_k of the (scaled) cross-product matrix: the
// classical diagnostics of that matrix, written in R's eigenvalues, give the condition index
// sqrt(mu_k / mu_min) of eigenvalue k and the share of parameter j's variance that belongs to it,
// V(j,k)^2 mu_k / sum over k' of V(j,k')^2 mu_k'. A large index whose row holds two or more
// large shares points to collinear parameters.
//
// The eigen-decomposition is the classical Jacobi method (rotation on the largest off-diagonal
// element) with full matrix products, cheap at parameter sizes. It rotates until every
// off-diagonal entry is negligible next to its two diagonal entries at machine precision
// (|b_pq| <= eps sqrt|b_pp b_qq|), which makes the small eigenvalues, and so the large indices,
// accurate to many digits [2]; an absolute stop on the off-diagonal norm would leave them wrong
// by orders of magnitude for ill-conditioned matrices.
//
// [1] D. A. Belsley, E. Kuh and R. E. Welsch, Regression Diagnostics, Wiley, 1980, ch. 3.
// [2] J. Demmel and K. Veselic, "Jacobi's method is more accurate than QR", SIAM J. Matrix
//     Anal. Appl. 13 (1992) 1204-1245.
#pragma once

#include <cstdint>

#include "common/common_data.hpp"
#include "numerics/farray.hpp"

// Fills the condition-index table of the symmetric n x n matrix a (lower triangle read).
//   a    the matrix (read only)
//   c    the table, counted from 0 in both directions; entries 0..n are written: (0,0) = 0;
//        (0,j) = j; (i,0) = a condition index; (i,j) = the proportion of parameter j's variance
//        that belongs to the eigenvalue of row i (each column j sums to 1). Rows 1..n ascend by
//        condition index. Entries beyond n keep their values.
//   n    order; n < 1, or n larger than the table holds, does nothing
//   tol  the looser relative stop allowed from rotation m on, |b_pq| <= tol sqrt|b_pp b_qq|
//        (at least 1e-12 is used), for a matrix whose rounding keeps the machine-precision stop
//        out of reach
//   m    in: the rotation from which the looser stop applies (below 51 it is raised to 100,
//        and the raised value is written back); out: the rotations made (at most 1000)
// The entries are pushed 1e-6 away from zero and the diagonal by 1e-12 first, which keeps an
// exactly singular matrix from an infinite index.
void eigen_cond_index(
    MatView<double> a, common_data::CondIndexTable& c, int32_t n, double tol, int32_t& m);
