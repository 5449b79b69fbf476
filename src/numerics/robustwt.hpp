// Robust weights of residuals after Andrews' sine wave [1], and a binned median.
//
// robust_wt works on the magnitudes x(i) = |r(i)|: it takes the binned median as the first
// location L and the mean absolute deviation from it as the scale s, then reweights with
// w(u) = c2 sin(c1 u) / u at u = (x - L) / (c1 c2 s), moving L to the weighted mean, for up to
// eleven passes. c1 = 4.659 and c2 = 1.483 are single-precision constants; their product
// 6.909297067811963 is also the limit of w as u -> 0.
//
// [1] D. F. Andrews, "A robust method for multiple linear regression", Technometrics 16 (1974)
//     523-531.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace robustwt {

// w(1..n) := Andrews sine weights of the residuals r(1..n); all 1 when their spread vanishes;
// nothing is written for n < 1. Every weight written is finite and non-negative.
void robust_wt(int32_t n, VecView<const double> r, VecView<double> w);

// Approximate median of x(1..n): the midpoint of the bin holding it among 1001 bins spanning
// mean +- one standard deviation (the mean of two midpoints for even n). Falls back to the mean
// when the spread is zero or not finite, or no bin reaches the middle; 0 for n < 1.
double binmedian(VecView<const double> x, int32_t n);

}  // namespace robustwt
