// Differential evolution: the cascade's population-based global search over the parameters.
//
// A population of NP = min(20n, 100) members is drawn around the start vector; every generation
// evaluates the members, scans 11 small multiplicative perturbations of the last member, lets
// the scan's best replace every worse member, and builds one trial per member by one of several
// mutation and crossover forms (difference vectors with exponential or binomial crossover [1], a
// normal perturbation along a difference, or a current-to-difference move); every 50th
// generation half the population may be drawn afresh around the scan's vector.
//
// [1] R. Storn, K. Price, "Differential evolution - a simple and efficient heuristic for global
//     optimization over continuous spaces", J. Global Optimization 11 (1997) 341-359.
//
// The search works on the unweighted sum of squares of regfunc; the result is judged by the
// model evaluator's weighted sum, the one the engine compares stages with. Arrays are 1-based;
// the population is NP x n, member-fastest. Random numbers come from randomu, which re-seeds the
// runtime generator from a processor-chosen seed on every draw. Not reentrant: the module blocks
// below and the shared data set belong to the main thread.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace evolutions {

// The module's shared blocks, overwritten by every call of evol.
struct Regdat {
  int32_t maximise = 0;  // nonzero: the reported sum is negated
  int32_t bounds = 0;    // nonzero: regfunc applies the bounds rule
};
inline Regdat regdat;
inline int32_t flags = 0;  // always 0
inline int32_t kff = 0;    // objective calls of the search
inline int32_t maxx = 0;   // number of parameters of the running search
inline int32_t rndm = 0;   // seed word; nothing reads it

// Searches for a lower sum of squares of the shared data set over x(1..n).
//   m      in      number of residuals handed to the objective (the engine passes nd)
//   n      in      number of parameters; n < 1 or n > common_data::max_params returns at once
//   x      in/out  start vector; the result, or the entry vector when the result's weighted sum
//                  is above fsum or below 1 % of it, or when the time limit passed
//   fsum   in/out  in: the caller's weighted sum at x; out: the weighted sum at the returned x
//                  (the entry value itself when the entry vector is returned)
//   count  out     generations run
//   gens   in      generation limit; 0 means 500
// Polls the shared time limit once per generation.
void evol(int32_t m, int32_t n, VecView<double> x, double& fsum, int32_t& count, int32_t gens);

// The search's objective at x(1..n): with regdat.bounds on, first applies the bounds rule to
// the free parameters against the bounds +-4.503599727262001e19 (x changes in place); then
// evaluates the model, stores x in common_data::pfinal and the fitted values in ydf, and returns
// fval = the unweighted sum of squares of the first m residuals, clamped to
// [2.2204460492503132e-20, 4.503599727262001e19], a NaN sum or a clamped value below
// 1.4901161193847657e-10 being replaced by a large one. mask is not read (the bounds rule reads
// common_data::pmask). Counts one call in kff.
void regfunc(VecView<double> x, VecView<const int32_t> mask, double& fval, int32_t n, int32_t m);

// u := one uniform number in [0, 1) after re-seeding the runtime generator from a processor-
// chosen seed: of 11 fresh draws u1..u11, u_(|s|+1) with s = sum_{k=1..10} int((k - 6) u_k).
void randomu(double& u);

// Clears the module blocks (for tests).
void reset();

}  // namespace evolutions
