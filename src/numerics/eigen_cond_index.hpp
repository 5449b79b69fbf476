// Condition indices and variance-decomposition proportions of a symmetric matrix.
//
// The collinearity diagnostics of Belsley, Kuh and Welsch [1]: the eigenvalues lambda_k of the
// (correlation) matrix give the condition indices sqrt(lambda_max / lambda_k), and the
// eigenvectors V give, for each parameter j, the share of its variance that belongs to each
// eigenvalue: (V(j,k)^2 / lambda_k) / sum over k' of V(j,k')^2 / lambda_k'. A large index whose
// row holds two or more large shares points to collinear parameters. The eigen-decomposition is
// the classical Jacobi method (rotation on the largest off-diagonal element) with full matrix
// products, which is cheap at parameter sizes.
//
// [1] D. A. Belsley, E. Kuh and R. E. Welsch, Regression Diagnostics, Wiley, 1980, ch. 3.
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
//   tol  relative stopping threshold of the rotations (at least 1e-12 is used)
//   m    in: a rotation count from which a looser stop is allowed (below 51 it is raised to 100,
//        and the raised value is written back); out: the rotations counted as made
// A zero eigenvalue gives an infinite condition index; the entries are perturbed by 1e-6 first,
// which makes that rare.
void eigen_cond_index(
    MatView<double> a, common_data::CondIndexTable& c, int32_t n, double tol, int32_t& m);
