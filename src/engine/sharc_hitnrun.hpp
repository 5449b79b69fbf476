// The engine's hit-and-run random searches (module sharc_mod, random searches).
//
// hitnrun and hitnrun2 change one free parameter at a time by a random amount, keep a change
// that lowers the objective and otherwise try the opposite change. Five cycles of up to ten
// sub-cycles of maxit passes; each pass makes one move per parameter; the step shrinks by 5
// per cycle and a factor halves per sub-cycle. Trials go through the run state's func, so the
// bounds rule (when func applies it) acts on them and the searches keep the bounded values.
// hitnrun draws from the engine's table of 60 uniform numbers, which shuffle permutes; hitnrun2
// draws a table of its own from randomize::random_uni_r. The random integers that pick table
// entries come from the runtime generator (runtime_rng).
#pragma once

#include <cstdint>

#include "engine/sharc_objective.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

inline constexpr int32_t kHitTableSize = 60;    // entries of the uniform table
inline constexpr double kHitnrun2NoSum = 1e24;  // hitnrun2's reference without a caller's sum

// Permutes r(1..n) in place (Fisher-Yates driven by the table's own values): idx(i) =
// int(i r(i)) + 1 while that lies in 1..n (the filling stops at the first i where it does not,
// or after 10 n tries), then r(idx(m)) and r(m) are swapped for m = n down to 2 (an unset
// index swaps with r(1)).
void shuffle(VecView<double> r, int32_t n);

// Hit-and-run from x.
//   x      in      start point (not changed)
//   xbest  out     best point found (x when no change was accepted)
//   r      in/out  the engine's table of 60 uniform numbers: rescaled to 0.9 r + 0.05, then
//                  shuffled before every cycle and sub-cycle
//   nacc   out     accepted changes (not written when the second end branch applies)
//   fmin   in/out  in: the objective of x; out: the objective of xbest, never above the value
//                  handed in. For fmin <= 0 with nothing below 1.05 fmin found: xbest = x and
//                  fmin = 1.05 fmin.
//   step   in      relative step of the moves (divided by 5 at each cycle)
//   maxit  in      passes per sub-cycle (below 1: no trials)
// The parameter index uses the run state's hit offset e. n outside 1..max_params returns x.
void hitnrun(RunState& rs,
             int32_t n,
             VecView<const double> x,
             VecView<double> xbest,
             VecView<double> r,
             int32_t& nacc,
             double& fmin,
             double step = 0.5,
             int32_t maxit = 100);

// Hit-and-run variant with its own table, spreads that adapt to the acceptance ratio and
// common_data's bounds for out-of-range trials.
//   x     in/out  start point; out: the best point when it is below fmin, else unchanged
//   nacc  out     accepted changes (written only when x changes)
//   fmin  in/out  reference value; out: the objective of x when lower, else unchanged
void hitnrun2(RunState& rs,
              int32_t n,
              VecView<double> x,
              int32_t& nacc,
              double& fmin,
              double step = 0.5,
              int32_t maxit = 100);
// The same without a caller's sum: compares against kHitnrun2NoSum.
void hitnrun2(RunState& rs, int32_t n, VecView<double> x, int32_t& nacc);

}  // namespace sharc_mod
