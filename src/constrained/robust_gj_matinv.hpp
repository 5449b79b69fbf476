// In-place inverse of a small square matrix by Gauss-Jordan elimination on [A | I] with scaled
// partial pivoting, with a status that says whether the inverse can be trusted, and an optional
// condition test that replaces a badly conditioned matrix by an SSOR preconditioner first.
//
// Trust: status 1 only when no row is (nearly) zero, every pivot is at least machine epsilon
// 2.220446049250313e-16 in magnitude, and the smallest pivot is at least sqrt(eps)
// (1.4901161193847656e-8) times the largest. A matrix the condition test replaced is inverted
// all the same, but its inverse is the inverse of the preconditioner, not of A: such a result
// gets status 1 only when it is verified against A, ||A * Ainv - I||_inf <= 1e-8. So status 1
// always means "the inverse of the matrix passed in"; callers fall back to their own solve on 0.
//
// Matrices are column-major, 1-based (MatView), n x n.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace robust_gj_matinv {

// Inverts a in place.
//   a       in: the matrix; out: the computed inverse when the elimination ran to its end
//           (also with status 0 for a poor pivot ratio); otherwise a, or its preconditioner
//   n       order; n < 1 gives status 0
//   status  out: 1 the inverse is usable, 0 failed or not trusted
//   sw      in: nonzero runs the condition test (and, where it says so, the preconditioner)
//           before the elimination
void robust_gj_mat_inv(MatView<double> a, int32_t n, int32_t& status, int32_t sw);

// The condition test and preconditioner. Factorises a copy of a by Gaussian elimination with
// partial pivoting and estimates its reciprocal condition r from the factor U (the pivot ratio,
// improved by a row-sum estimate of ||U^-1|| and the column-sum norm of a):
//   r >= sqrt(eps) (or n = 0)           p := a unchanged; returns false
//   eps <= r < sqrt(eps)                p := the SSOR preconditioner of a; returns true
//   r < eps, or a pivot <= eps          p := the SSOR preconditioner of a with every diagonal
//                                       element raised by |mean diagonal| * 1.5625000173284136e-10;
//                                       returns true
// The SSOR preconditioner with relaxation factor omega (the inverse passes 1.2) is
//   M = (D + omega L) D^-1 (D + omega U) / (omega (2 - omega)),
// L and U the strict triangles and D the diagonal of the matrix, a diagonal element smaller
// than 1.5625000173284136e-10 in magnitude taken as 1.
bool ssor_precondition_matrix(MatView<const double> a, MatView<double> p, int32_t n, double omega);

}  // namespace robust_gj_matinv
