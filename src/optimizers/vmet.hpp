// The variable-metric minimiser: BFGS on an explicit inverse-Hessian matrix B [1] with central-
// difference gradients, a backtracking line search with a sufficient-decrease test and a limit
// of 1000 evaluations per pass.
//
// Each iteration takes t = -B g, searches a along t from a = 1 (a := 0.2 a on failure) until
// f(x + a t) < fmin + 1e-5 a g.t, takes the gradient there and updates B with s = a t,
// y = g_new - g_old. B is reset to the unit matrix when t is not a descent direction, when the
// step moves no parameter, or when the curvature y.s is not positive. A pass ends when a reset
// changes nothing, on the evaluation limit, on the time limit, or when the gradient fails.
//
// [1] R. Fletcher, "Practical Methods of Optimization", 2nd ed., Wiley 1987, section 3.4.
//
// Arrays are 1-based. Module state: the evaluation counter, the vanished-difference flag and the
// limit persist between calls (the entry resets the counter). Not reentrant.
#pragma once

#include <cstdint>
#include <functional>

#include "numerics/farray.hpp"

namespace vmet {

// The objective: f := value at x(1..n) (the engine passes vmfun).
using Objective = std::function<void(int32_t n, VecView<const double> x, double& f)>;

inline int32_t ifn = 0;  // evaluations of the running pass
inline int32_t ler = 0;  // 1: the last parameter's difference vanished in the gradient
inline constexpr int32_t maxfn = 1000;  // evaluation limit of a pass

// Minimises fcn over the free parameters (common_data::pmask nonzero).
//   n       in      number of parameters
//   x       in/out  start vector; the result, or the start vector when the result is above the
//                   entry value or below 1e-12 (a sum that small is distrusted)
//   fmin    in/out  in: the caller's value at x; out: the value of the returned vector
//   status  out     0 normal end; 2 every gradient difference vanished; 3 more than 25 failed
//                   trials after the last parameter's difference vanished; 4 more than 1000
//                   evaluations in a pass
// Polls the shared time limit once per iteration, once per trial step and after each update.
void varmetric(const Objective& fcn, int32_t n, VecView<double> x, double& fmin, int32_t& status);

// Back to the start-up state (tests).
void reset();

}  // namespace vmet
