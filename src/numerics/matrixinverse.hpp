// Inverses of small dense matrices.
//
// `lumatinv` inverts a general n x n matrix by LU factorisation with partial pivoting, in the
// manner of the LINPACK pair DGEFA/DGEDI: factor, invert U, then multiply by the inverse of L
// and undo the row exchanges as column exchanges.
// `kaiser` forms a regularised inverse of a symmetric matrix by Kaiser's one-sided Jacobi method
// [1]: rotations orthogonalise the columns of A, whose norms are then the eigenvalue magnitudes
// and whose directions the eigenvectors; the inverse is rebuilt from them with every eigenvalue
// raised by a small delta (and by the ridge r), so a singular matrix still yields a bounded
// result. The post-fit statistics use it when `lumatinv` reports a singular matrix.
//
// [1] H. F. Kaiser, "The JK method: a procedure for finding the eigenvectors and eigenvalues of
//     a real symmetric matrix", The Computer Journal 15 (1972) 271-273.
//
// Matrices are column-major and 1-based (MatView). Work arrays live for one call only.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace matrixinverse {

// Inverts the n x n matrix a in place.
//   n       order (>= 0; n = 0 is an empty matrix and succeeds)
//   a       in: the matrix; out: its inverse, or unchanged on failure
//   status  0 on success; k in 1..n when the pivot of elimination step k is exactly zero (the
//           matrix is singular); a then keeps its input values
// Only an exactly zero pivot is refused; a tiny one is accepted.
void lumatinv(int32_t n, MatView<double> a, int32_t& status);

// Replaces the leading n x n block of the symmetric matrix a with its regularised inverse.
//   a       in: symmetric matrix (leading dimension ld); out: the regularised inverse
//   ld      leading dimension of a (its declared number of rows)
//   n       order, 1 <= n <= ld
//   d       scale vector d(1..n): entry (i,j) of the result is divided by d(i) d(j)
//   r       ridge added to every eigenvalue magnitude; r < 0 gives the zero matrix, r = 0 drops
//           the eigenvalues of magnitude at most 1e-7
//   status  0 success; 1 when n < 1 or ld < n (a untouched); 2 when the 20th sweep was needed
//           (the result is delivered all the same)
void kaiser(MatView<double> a, int32_t ld, int32_t n, VecView<double> d, double r, int32_t& status);

}  // namespace matrixinverse
