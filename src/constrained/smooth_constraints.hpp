// Smooth mapping of a parameter vector into its box [lo, hi] with an exponential penalty for
// every bound the unmapped value violates.
//
// Inside the box a value is returned as it is. Outside, the value goes through a tanh-shaped
// transition in the relative position t = (x - lo) / (hi - lo): z = (0.625 / smoothness) *
// (|t| - 0.5), and the mapped value is lo + range * (tanh(z) + 1) / 2 above the box and
// lo - range * (tanh(z) + 1) / 2 below it; |z| > 350 snaps to hi (or lo). A box of zero width
// gives t = NaN, which fails every comparison, so the value passes through unchanged.
//
// The penalty of one bound is scale * exp(distance outside it); a NaN or a term above
// 4.503599727262e19 counts as exactly 100.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace smooth_constraints {

// One value:
//   x, lo, hi          in      the value and its bounds
//   scale, smoothness  in      penalty scale and transition width (the method uses 10 and 0.1)
//   xadj               out     the mapped value
//   penalty            in/out  the two penalty terms of x are added to it
void apply_smooth_bounds(
    double x, double lo, double hi, double scale, double smoothness, double& xadj, double& penalty);

// The whole vector x(1..n): free parameters (mask nonzero) are mapped with scale 10 and
// smoothness 0.1, fixed ones copied without penalty. penalty := the sum of all terms (a NaN
// sum becomes 100).
void smooth_constraint_adjustment(VecView<const double> x,
                                  VecView<const double> lo,
                                  VecView<const double> hi,
                                  VecView<const int32_t> mask,
                                  int32_t n,
                                  VecView<double> xadj,
                                  double& penalty);

// Central-difference gradient of the penalty alone (scale 100, smoothness 0.1) with step
// h = max((|x_i| + 1e-8) * 1e-8, 1e-8); 0 for fixed parameters. n < 1 writes nothing.
void smooth_constraint_gradient(VecView<const double> x,
                                VecView<const double> lo,
                                VecView<const double> hi,
                                VecView<const int32_t> mask,
                                int32_t n,
                                VecView<double> grad);

}  // namespace smooth_constraints
