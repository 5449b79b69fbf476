// Small pieces every optimiser shares: the time-limit poll and NaN-aware clamps. (The x matrix
// of the shared data set comes from funct::load_x_columns.)
#pragma once

#include <cstdint>

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

}  // namespace optim_support
