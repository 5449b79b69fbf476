// Bootstrap standard error of a sample mean, with the 95% t value for the sample size, all in
// single precision.
//
// The first of nb means is the sample's own; each further one is the mean of n values drawn
// uniformly over the sample's range [min, max] from the runtime generator (runtime_rng), not
// resampled from the sample itself. se is the standard deviation of the nb means (divisor
// nb - 1), accumulated in ascending order by Welford's running update [1].
//
// [1] B. P. Welford, "Note on a method for calculating corrected sums of squares and
//     products", Technometrics 4 (1962) 419-420.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

// se := bootstrap standard error of the mean of x(1..n) from nb means (0 for nb < 2);
// t := the 95% t value for n degrees of freedom in single precision (2.0 for n < 1).
// alpha is not used.
void bootstraping(int32_t n, VecView<const float> x, float alpha, int32_t nb, float& t, float& se);
