// The engine's Gauss-Newton least-squares stage (module sharc_mod, gnllsqr) and its clamp
// minmax.
//
// gnllsqr evaluates the objective in the pattern of a finite-difference Jacobian at the
// engine's best vector p (offsets 0, 2h, h, -2h, -h of each parameter in turn) and then at p
// itself, and hands back p and fmin exactly as they came. The step that such evaluations would
// give is never applied, so it is not formed; the lasting effect is the publication of p (as
// the bounds rule leaves it) to common_data by the last evaluation. Each probe vector is
// evaluated once: one evaluation yields the fitted values of every row.
#pragma once

#include <cstdint>

#include "engine/sharc_objective.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

// v clamped into a safe range: NaN -> 1e-15; |v| < 1e-30 -> 1e-30 with the sign of v;
// |v| > 1e30 -> 1e30 with the sign of v; then any value with v - 1 == v (|v| from about 2^53
// on) -> 1e15.
double minmax(double v);

// The Gauss-Newton stage on m data rows and n parameters.
//   p     in/out  the engine's best vector; returned bit for bit as handed in
//   fmin  in/out  its sum of squares; returned bit for bit as handed in
// Makes 5 n + 2 evaluations (none without rows); the last is of p. n outside 1..max_params
// evaluates nothing.
void gnllsqr(RunState& rs, int32_t m, int32_t n, VecView<double> p, double& fmin);

}  // namespace sharc_mod
