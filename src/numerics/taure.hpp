// Critical tau of the tau outlier criterion.
//
// tau = sqrt(n) r, where r = t / sqrt(t^2 + nu) is the critical value of the studentized
// residual for n observations (nu = n - 1) at the level p shared by k tests,
// p = 1 - (1 - alpha)^(1/k) (the Sidak correction), t being the two-sided Student t at p.
// The start value of t comes from the normal quantile (Hastings' rational approximation [1,
// 26.2.23]) corrected by the Cornish-Fisher series in 1/nu [1, 26.7.5]; Newton steps then solve
// the exact distribution function of |R| = |T| / sqrt(T^2 + nu) for r.
//
// [1] M. Abramowitz, I. A. Stegun, Handbook of Mathematical Functions (1964).
#pragma once

#include <cstdint>

// tau := the critical tau for n observations at level alpha shared among k tests.
// n <= 1 or alpha = 0 gives sqrt(max(n, 0)); alpha >= 1 gives 0; k < 1 is taken as 1.
void taure(int32_t k, int32_t n, double alpha, double& tau);
