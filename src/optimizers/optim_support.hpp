// Small pieces every optimiser shares: the time-limit poll, NaN-aware clamps, the model
// evaluation on the shared data set and Ridders' extrapolation of a derivative. (The x matrix
// of the shared data set comes from funct::load_x_columns.)
//
// [1] C. J. F. Ridders, "Accurate computation of F'(x) and F'(x)F''(x)", Adv. Eng. Software 4
//     (1982) 75-76.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "numerics/farray.hpp"

namespace optim_support {

// The time-limit poll of the fit: globals::totaltime := timeclock(globals::starttimer); true
// when it exceeds globals::timemax. Each poll adds to the clock's running sum, so call it
// exactly where a method checks the limit.
bool time_limit_passed();

// v limited to [lo, hi]; a NaN v becomes nan_value (NaN compares false, so a plain
// min/max would pass it on).
double clamp_nan(double v, double lo, double hi, double nan_value);

// True when v is neither NaN nor infinite.
inline bool finite(double v) { return v - v == 0.0; }

// funct::fun on the shared data set at p(1..n): the x columns by nxd, yd, the sigmas ysig (read
// before fun overwrites them) and the weighting mode ndwt, over the nd rows. Fitted values go to
// yf(1..nd); returns fun's weighted sum of squares. Allocates nothing (main thread only).
double fun_shared_data(VecView<const double> p, int32_t n, VecView<double> yf);

// Ridders' extrapolation [1] of a derivative from central differences. Column c of the tableau
// t (c = 1..t.cols()) starts with difference(h_c, c), h_1 = h, h_c = h_(c-1) / ratio (a step
// that underflows to 0 becomes zero_step); the columns are extrapolated with the factors
// ratio2, ratio2^2, ... (ratio2 = ratio^2). Returns the entry with the least error estimate (at
// most err), T(1,1) when none qualifies. The columns stop when the diagonal changes by at least
// ratio * err or by less than stop_floor.
template <typename Difference>
double ridders(double h,
               double ratio,
               double ratio2,
               double err,
               double stop_floor,
               double zero_step,
               MatView<double> t,
               Difference&& difference) {
  t(1, 1) = difference(h, 1);
  double best = t(1, 1);
  for (long c = 2; c <= t.cols(); ++c) {
    h = h / ratio;
    if (h == 0.0) h = zero_step;
    t(1, c) = difference(h, c);
    double fac = ratio2;
    for (long r = 2; r <= c; ++r) {
      t(r, c) = (t(r - 1, c) * fac - t(r - 1, c - 1)) / (fac - 1.0);
      fac = fac * ratio2;
      const double e =
          std::max(std::fabs(t(r, c) - t(r - 1, c)), std::fabs(t(r, c) - t(r - 1, c - 1)));
      if (e <= err) {
        err = e;
        best = t(r, c);
      }
    }
    const double change = std::fabs(t(c, c) - t(c - 1, c - 1));
    if (change >= ratio * err || change < stop_floor) break;
  }
  return best;
}

}  // namespace optim_support
