// The engine's direct searches on its objective f1dim (module sharc_mod, searches):
//   simplex  Nelder-Mead downhill simplex [1] with a coordinate probe and a coordinate
//            refinement of the best vertex after every iteration that does not converge;
//   hooke    Hooke-Jeeves pattern search [2]: exploratory moves along each coordinate, then
//            pattern moves, with the bounds rule after every pattern move.
// Both evaluate through the run state's f1dim, which works on a copy, so the bounds rule that
// func applies never reaches them; only free parameters (common_data::pmask not 0) move.
// Each returns a vector together with its own objective value, never above the value handed in
// (the start point and that value when nothing lower was found). Parameters are 1..n,
// n <= common_data::max_params.
//
// [1] J. A. Nelder, R. Mead, "A simplex method for function minimization", Computer Journal 7
//     (1965) 308-313.
// [2] R. Hooke, T. A. Jeeves, "'Direct search' solution of numerical and statistical problems",
//     J. ACM 8 (1961) 212-229.
#pragma once

#include <cstdint>

#include "engine/sharc_objective.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

// Nelder-Mead search from x.
//   x      in/out  in: the start point; out: the best vertex found (fixed parameters as given)
//   n      in      number of parameters, 1..max_params (others leave x and fmin unchanged)
//   fmin   in/out  in: the objective of the start point as the caller knows it; out: the
//                  objective of the returned x, never above the value handed in
//   scale  in      relative size of the start simplex
//   maxit  in      iteration limit
void simplex(
    RunState& rs, VecView<double> x, int32_t n, double& fmin, double scale, int32_t maxit = 500);

// Step 1 of a simplex iteration over the vertex values f(1..nv): the worst vertex h (largest
// value) and the best l (smallest), the lowest index winning ties in both; the second-worst s:
// starting from l, the vertex with the largest value strictly below f(h) (lowest index on
// ties), l when no value lies below f(h). So values (5, 5, 1) give h = 1 and s = l = 3.
void simplex_order(VecView<const double> f, int32_t nv, int32_t& h, int32_t& s, int32_t& l);

// Hooke-Jeeves search from x.
//   x       in   start point (not changed)
//   endpt   out  the point found, or x when nothing below fmin was found
//   lo, hi  in   bounds handed to the bounds rule after each pattern move
//   fmin    in/out  in: the objective of x as the caller knows it; out: the objective of endpt
//                   when that is lower, else unchanged
//   rho     in   step reduction factor and first step length, in (0, 1)
//   eps     in   smallest step length: the search ends when the step falls to it
//   itermax in   iteration limit (also the limit of pattern moves in one iteration)
// n outside 1..max_params returns endpt = x.
void hooke(RunState& rs,
           int32_t n,
           VecView<const double> x,
           VecView<double> endpt,
           VecView<const double> lo,
           VecView<const double> hi,
           double& fmin,
           double rho,
           double eps,
           int32_t itermax);

}  // namespace sharc_mod
