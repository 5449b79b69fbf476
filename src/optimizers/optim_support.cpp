#include "optimizers/optim_support.hpp"

#include "common/globals.hpp"
#include "numerics/timeit_mod.hpp"

namespace optim_support {

bool time_limit_passed() {
  globals::totaltime = timeit_mod::timeclock(globals::starttimer);
  return globals::totaltime > globals::timemax;
}

double clamp_nan(double v, double lo, double hi, double nan_value) {
  if (v != v) return nan_value;
  if (v < lo) return lo;
  if (v > hi) return hi;
  return v;
}

}  // namespace optim_support
