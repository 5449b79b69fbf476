// The bounds rule for trial parameter vectors, shared by the engine and every method that pulls
// a trial vector back towards the user's bounds (pbounds3).
//
// The rule is not a clamp. A free parameter that comes within 5 % of a bound, or passes it, is
// moved to a fixed point inside the range: half the upper bound, 1.5 times a negative upper
// bound, or half the square root of the bounds' span (or, for zero and negative values, of
// their sum). Positive values are tested against 0.95*hi and 1.05*lo, negative values against
// 1.05*hi and 0.95*lo; zero reads as +100 against the upper bound and as -100 against the lower.
// Both tests run in turn, so a value moved by the upper test can be moved again by the lower.
// Magnitudes are recomputed as 10^(log10 |v|), as the thresholds were stated with them.
//
// Two limits keep the result inside [lo, hi] (for lo <= hi). A value inside the bounds is moved
// only to a point inside them, and only when the margins of the tests that fire lie inside them
// too: with hi < 1.05 lo (a centre bounded to [490, 510]) both margins lie outside and every
// value inside would be thrown out, and the reset point of a negative lower bound (the sum
// taken for [-10, -1] gives +1.658) lies outside. A value outside the bounds whose point lies
// outside goes to the nearer bound. Where the stated rule already keeps both limits
// (bounds wide against their size, such as [0, 1000] or [1E-3, 1E3]), it is unchanged.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace bounds_rule {

// Applies the rule to x(i), i = 1..n, for every i with common_data::pmask(i) != 0.
//   x    in/out  trial parameters (a NaN entry is left unchanged)
//   lo   in      lower bounds, hi in upper bounds (a NaN bound moves nothing)
//   ssq  in/out  the caller's sum of squares for x: doubled once when any parameter moved
// n <= 0 does nothing.
void pbounds3(VecView<double> x,
              int32_t n,
              VecView<const double> lo,
              VecView<const double> hi,
              double& ssq);

// The rule for one value v against [lo, hi]; moved is set true when v changed (left as it was
// otherwise). Used by the
// inline copy of the differential-evolution objective, which has no sum to double.
double apply(double v, double lo, double hi, bool& moved);

}  // namespace bounds_rule
