// The objective of the variable-metric method: the weighted sum of squares of the shared data
// set at a parameter vector, with the argument order that method calls it with.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

// f := funct::fun on the shared data set at x(1..np) (x may be strided), with the weighting mode
// common_data::ndwt and common_data::ysig as the sigmas (its zeros replaced by 1 in place).
// Also writes common_data::ydf (fitted values) and ydr (raw residuals y - yf) when nd > 0.
void vmfun(int32_t np, VecView<const double> x, double& f);
