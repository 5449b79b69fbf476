// The Adam method: 99 adaptive-moment gradient steps on an objective the caller passes, with
// Ridders-extrapolated central-difference gradients and a reaction of its own to a bound
// violation [1]. The result is kept only when it lowers the objective by more than 1.001e-8.
//
// The step uses the bias-corrected moments with the current gradient entering once more
// (num = 0.9 mo + 0.1 g, den from 0.99 ve + 0.01 g^2), a Nesterov-like form [2]; the learning
// rate 0.04 is multiplied by 0.4 after steps 30, 60 and 90.
//
// [1] D. P. Kingma, J. Ba, "Adam: a method for stochastic optimization", ICLR 2015.
// [2] T. Dozat, "Incorporating Nesterov momentum into Adam", ICLR 2016 workshop.
// [3] C. J. F. Ridders, "Accurate computation of F'(x) and F'(x)F''(x)", Adv. Eng. Software 4
//     (1982) 75-76 (the gradient's extrapolation tableau).
//
// Arrays are 1-based. It keeps no state, reads no shared state and polls no time limit.
#pragma once

#include <cstdint>
#include <functional>

#include "numerics/farray.hpp"

// The objective: fval := f(x(1..n)); x is not changed.
using AdamObjective = std::function<void(VecView<double> x, int32_t n, double& fval)>;

// Minimises f over the free parameters.
//   f      in      the objective (the engine passes its f1dim)
//   n      in      number of parameters
//   m      in      number of data rows; not used
//   x      in/out  start vector; the result, or the start vector when the result's value is not
//                  below the entry value fval - 1.001e-8
//   mask   in      nonzero: free; 0: held exactly
//   lo, hi in      bounds; a step past one is followed by a step of the plain bias-corrected
//                  size back towards it (the result may still lie outside)
//   iters  out     always 100
//   fval   in/out  in: the caller's value at x; out: the value of the returned vector
// Costs up to 99 x 20 x (free parameters) + 2 evaluations of f.
void adam(const AdamObjective& f,
          int32_t n,
          int32_t m,
          VecView<double> x,
          VecView<const int32_t> mask,
          VecView<const double> lo,
          VecView<const double> hi,
          int32_t& iters,
          double& fval);
