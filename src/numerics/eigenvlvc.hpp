// Eigenvalues and eigenvectors of small symmetric matrices.
//
// `eigenvv` is the principal-component analysis of the post-fit statistics: Householder
// reduction to tridiagonal form, then implicit QR sweeps with the Wilkinson shift (Golub and
// Van Loan [1], algorithms 8.3.1 and 8.3.2), eigenvalues sorted in descending order, and the
// derived tables (shares of the total, eigenvectors scaled to a largest component of 1, the
// percentage table of the loadings).
// `eigenjacobi` is the threshold Jacobi method (Rutishauser's cyclic variant, [1] section 8.5)
// on the lower triangle, with the eigenvalues sorted in descending order.
//
// [1] G. H. Golub and C. F. Van Loan, Matrix Computations, 3rd ed., 1996.
//
// Only the lower triangle of the input is read; matrices are column-major and 1-based.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace eigenvlvc {

// Principal components of the symmetric n x n matrix a (read only).
//   n, ncols  the order, given as rows and columns of a; a non-square call leaves every output
//             untouched, as does n < 1
//   ev        eigenvalues in descending order; a value of magnitude below 3.162277660168379e-8
//             (or NaN) becomes +3.162277660168379e-8, one above 31622776.601683795 becomes
//             +31622776.601683795
//   pct       pct(i) = 100 ev(i) / sum |ev(k)|
//   vec       unit eigenvectors in columns (ev order), each component clamped in magnitude to
//             3.162277660168379e-8 .. 31622776.601683795 with its sign
//   vecmax    each eigenvector (before clamping) divided by its first component of largest
//             magnitude
//   pctvar    pctvar(i,k) = 100 vec(i,k)^2 / sum over i of vec(i,k)^2 (each column sums to 100)
void eigenvv(int32_t n,
             int32_t ncols,
             MatView<double> a,
             VecView<double> ev,
             VecView<double> pct,
             MatView<double> vec,
             MatView<double> vecmax,
             MatView<double> pctvar);

// Eigen-decomposition of the symmetric matrix in the lower triangle of a by threshold Jacobi.
//   a    in: the matrix (lower triangle, leading dimension ld); out: the eigenvalues in
//        descending order on the diagonal; the other entries are working storage
//   v    out: v(1:n, j) is the unit eigenvector of eigenvalue j
//   ld   leading dimension of a and v; n < 1 or ld < n does nothing
//   n    order
//   tol  when the strictly lower absolute sum is at most tol the matrix counts as diagonal: its
//        diagonal is sorted and v is the matching permutation of the identity; so is a matrix
//        with an entry in its lower triangle that is not finite
void eigenjacobi(MatView<double> a, MatView<double> v, int32_t ld, int32_t n, double tol);

}  // namespace eigenvlvc
