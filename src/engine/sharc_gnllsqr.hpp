// The engine's Gauss-Newton least-squares stage (module sharc_mod, gnllsqr) and its clamp
// minmax.
//
// gnllsqr first evaluates the objective in the pattern of a finite-difference Jacobian at the
// engine's best vector p (offsets 0, 2h, h, -2h, -h of each parameter in turn, then p itself).
// It then takes damped Gauss-Newton (Levenberg-Marquardt) steps from p on the model's weighted
// sum of squares: the Jacobian of the weighted residuals (through the fitted value where that
// is the sigma, with the other sigmas held), its columns scaled to unit length and solved by
// SVD, while the sum falls by more than its rounding. The lowest vector on the way that the
// bounds rule leaves in place (where that sum is the engine's) comes back with its sum when
// that lies below the fmin handed in; otherwise p and fmin come back bit for bit. Either way
// the last evaluation is of the vector returned, so common_data holds its publication.
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
//   p     in/out  the engine's best vector; the vector reached when its sum is below fmin
//   fmin  in/out  its sum of squares; the sum of the vector reached
// Evaluates nothing without rows or with n outside 1..max_params.
void gnllsqr(RunState& rs, int32_t m, int32_t n, VecView<double> p, double& fmin);

}  // namespace sharc_mod
