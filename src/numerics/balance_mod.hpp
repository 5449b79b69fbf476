// Radix-2 balancing of a square matrix.
//
// `balance` applies a diagonal similarity D^-1 A D, with D made of powers of 2, so that the
// off-diagonal absolute sums of each row and of its column become comparable. The eigenvalues
// are unchanged and, since only powers of 2 are applied, no rounding is introduced. This is the
// scaling loop of EISPACK's BALANC [1] without its permutation search.
//
// [1] B. N. Parlett and C. Reinsch, "Balancing a matrix for calculation of eigenvalues and
//     eigenvectors", Numerische Mathematik 13 (1969) 293-304.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace balance_mod {

// Balances the n x n matrix a in place (n < 1 does nothing); the diagonal is not changed. A row
// whose off-diagonal row or column sum is zero or not finite, or whose factor would not be a
// finite double, is left untouched.
void balance(MatView<double> a, int32_t n);

}  // namespace balance_mod
