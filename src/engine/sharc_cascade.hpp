// The optimiser cascade `sharc_mod::sharc`: one pass of a fit over every fitting method.
//
// Set-up (tiny-parameter rule, first evaluation, level settings, random table), an opening
// sequence of methods, a refinement section, a cycle loop and a final stage with the SVD
// Levenberg-Marquardt method and the final statistics. After every stage a keep-best rule with a
// test per kind of stage decides whether the stage's vector and sum become the best ones; each
// test is a conjunction of positive comparisons, so a NaN sum is always rejected.
//
// The cycle loop ends in one of six ways: the stage count passes the stage limit minus the
// progress base, the time limit (clock running sum + 100 s > globals::timemax), Cancel, the
// settling test on the mean of three recorded best sums, the cycle counter reaching 90, or the
// last cycle. Cancel pressed before the cycle loop runs the final stage with the Marquardt
// method; pressed during it, without.
//
// Threads: the Cancel button's callback `canceltest` runs on a toolkit thread. It writes only
// the stage count and globals::bcancelrun, which are atomics here and in globals; the cascade
// removes the button (which waits for running callbacks) before it returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "numerics/farray.hpp"

namespace sharc_mod {

// Progress state shared with the Cancel callback. Module storage, so it outlives every pass.
inline std::atomic<int32_t> stage_count{1};    // raised as the cascade passes its stages
inline std::atomic<int32_t> stage_limit{101};  // stage code - 1 (101 without a stage code)
inline constexpr int32_t progress_base = 1;
inline int32_t ny = 0;  // saved third argument of the Marquardt call: 1 after a final stage
// Set when a pass takes the error path (NaN parameters or a best sum above 1e16, or a model
// that no free parameter moves at the final vector), which also sets globals::bcancelrun; the
// fit run clears it for each block, so that it can tell that error from a Cancel press. The
// reason is what the run's report says after " RUN ENDED IN ERROR: ". Main thread only.
inline bool error_path_taken = false;
inline std::string error_path_reason;
// Set by a Cancel press (canceltest), on the toolkit's thread; the fit run clears it for each
// block. globals::bcancelrun, which the error path sets too, cannot tell the two apart.
inline std::atomic<bool> cancel_pressed{false};

// The error path: the Error dialog `dialog`, globals::bcancelrun set, error_path_taken set and
// `reason` kept for the report.
void take_error_path(const std::string& dialog, const std::string& reason);

// Seconds of time-limit margin: the cycle loop ends when the clock + this exceeds timemax.
inline constexpr double kTimeMargin = 100.0;

// Results of the final statistics that the cascade hands through (its arguments 18 to 28).
struct StatsOut;

// One pass of the cascade (arguments in the order of the fit run's call):
//   x      (1)  in   data, n rows by nx columns
//   y      (2)  in   observed values
//   yf     (3)  out  fitted values of the final vector
//   sig    (4)  in/out per-row sigma
//   mode   (5)  in   weighting mode
//   nx     (6)  in   number of x variables
//   n      (7)  in   rows
//   p      (8)  in/out initial parameters / the best vector
//   np     (9)  in   parameters
//   mask   (10) in   nonzero = free
//   lo, hi (11, 12) in bounds
//   level  (13) in   level adopted when globals::iopt is -1 on entry
//   ssq    (14) out  first sum, then the final unweighted residual sum of squares
//   se, cl, res17 (15-17) out standard errors, 95 % half-widths, Marquardt results
//   stats  (18-28) out results of the final statistics
//   stage_code (29) optional (nullptr: absent): the stage limit is stage_code - 1, else 101
//   offset (30) in   index offset of the hit-and-run search
//   first_pass (31) optional (nullptr: 0)
//   bpostrun (32) in   globals::bpostrun
void sharc(MatView<double> x,
           VecView<double> y,
           VecView<double> yf,
           VecView<double> sig,
           int32_t& mode,
           int32_t& nx,
           int32_t& n,
           VecView<double> p,
           int32_t& np,
           VecView<int32_t> mask,
           VecView<double> lo,
           VecView<double> hi,
           int32_t& level,
           double& ssq,
           VecView<double> se,
           VecView<double> cl,
           VecView<double> res17,
           StatsOut& stats,
           const int32_t* stage_code,
           double& offset,
           const int32_t* first_pass,
           int32_t& bpostrun);

// The parameter line of the progress display: p(1..n) written "G16.8", trimmed, in the layout
// for n (1, 2, 3, 4, 5..8, other), copied into text padded or cut to len characters.
void displaypar(VecView<const double> p, int32_t n, std::string& text, int32_t len);

// The Cancel button's callback: pushes the stage count past the stage limit minus the progress
// base and sets globals::bcancelrun. Pressing twice leaves the state of one press.
void canceltest();

// A Cancel asked for elsewhere than on the button (the main window's close box), from any
// thread: a press of the Cancel button at once while a cascade shows it; otherwise kept and
// taken as a press as soon as the next cascade shows its button. So a request that comes
// between two passes, or before the first, is not lost as a press would be.
void request_cancel();

}  // namespace sharc_mod
