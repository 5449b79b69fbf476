// Spearman's rank correlation of two samples, with mid-ranks for ties.
//
// rho is the Pearson correlation of the mid-ranks [1]. Without ties it equals the textbook
// 1 - 6 D / ((n - 1) n (n + 1)), D the sum of squared rank differences; with ties that shortcut
// is wrong (a constant sample would get 0.5), so it is not used. Samples of more than 7500
// values are not ranked.
//
// [1] C. Spearman, "The proof and measurement of association between two things", American
//     Journal of Psychology 15 (1904) 72-101.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace spearcorr_mod {

inline constexpr int32_t kMaxRank = 7500;  // largest sample that is ranked

// rk(1..n) := mid-ranks of x(1..n) (ties share the mean of their positions). rk is zeroed first
// and stays 0 for n > 7500; ranking stops at the first value that is not a number, leaving
// the ranks from there on 0. When x(2..n) all equal x(1) + 1e-15 (single precision), every
// rank is (n + 1) / 2.
void rank(VecView<const double> x, int32_t n, VecView<double> rk);

// rho := Spearman's rho of x(1..n) and y(1..n); 0 unless 2 <= n <= 7500, and 0 when
// |rho| < 1e-5. A sample whose ranks are all equal (a constant column) has no rank
// correlation: rho is NaN. The fourth argument is not used.
void spcorr(
    VecView<const double> x, VecView<const double> y, int32_t n, int32_t unused, double& rho);

}  // namespace spearcorr_mod
