#include "numerics/timeit_mod.hpp"

#include "numerics/sysclock.hpp"

namespace timeit_mod {

double timeclock(int32_t& flag) {
  const double now = static_cast<double>(sysclock::monotonic_ms()) / 1000.0;
  if (flag != 0) {
    t0 = now;
    tt = 0.0;
    flag = 0;
    return 0.0;
  }
  tt = (now - t0) + tt;
  return tt;
}

void timeit(int32_t& flag) {
  const float now = static_cast<float>(sysclock::cpu_time());
  if (flag != 0) {
    ts0 = now;
    ts = 0.0f;
    flag = 0;
    return;
  }
  ts = (now - ts0) + ts;
}

void reset() {
  t0 = 0.0;
  tt = 0.0;
  ts0 = 0.0f;
  ts = 0.0f;
}

}  // namespace timeit_mod
