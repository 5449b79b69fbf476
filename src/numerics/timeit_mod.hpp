// The clock behind the shared time limit of a fit.
//
// timeclock keeps a start time and a running sum: a restart (flag nonzero) sets the start to now
// and the sum to 0; every later poll adds the time elapsed since the start to the sum and
// returns the sum. After polls at e1, e2, ..., ek seconds the result is e1 + e2 + ... + ek, so
// how often a caller polls decides when a limit on the result is reached. Time comes from the
// monotonic millisecond clock of sysclock, so the result never wraps or jumps with the wall clock.
// timeit runs the same scheme on the processor time of sysclock, in single precision, and keeps
// its sum in ts (no other module calls it).
#pragma once

#include <cstdint>

namespace timeit_mod {

inline double t0 = 0.0;  // start time of the last restart, seconds
inline double tt = 0.0;  // running sum of the elapsed times at each poll, seconds

// flag != 0: restart, clear flag, return 0. flag == 0: add the elapsed time to the running sum
// and return the sum (seconds).
double timeclock(int32_t& flag);

inline float ts0 = 0.0f;  // start of timeit's last restart, processor seconds
inline float ts = 0.0f;   // timeit's running sum of the processor times at each call, seconds

// flag != 0: ts0 = now, ts = 0, flag cleared. flag == 0: ts = (now - ts0) + ts, all in single
// precision.
void timeit(int32_t& flag);

// Back to the state at program start, for tests.
void reset();

}  // namespace timeit_mod
