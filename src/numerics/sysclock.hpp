// The system clock, the calendar clock, processor time and sleeping, behind seams that tests
// replace.
//
// `tick_count_ms` is the millisecond tick of the system (milliseconds since an arbitrary start,
// taken modulo 2^31 as the programs that read it expect); it comes from a monotonic clock, so
// it never jumps with the wall clock. `sleep_ms` pauses the calling thread. Tests install their
// own tick source and sleeper (see ScopedClock in the tests) so that nothing waits for real.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

namespace sysclock {

using TickSource = std::function<int64_t()>;  // milliseconds, monotonic
using Sleeper = std::function<void(int32_t ms)>;

// Milliseconds since an arbitrary start, modulo 2^31 (always >= 0).
int32_t tick_count_ms();
// Monotonic milliseconds without the modulo (for elapsed-time arithmetic).
int64_t monotonic_ms();
// Pauses the caller for ms milliseconds (ms <= 0 returns at once).
void sleep_ms(int32_t ms);

// Replace the tick source or the sleeper; an empty function restores the real one.
void set_tick_source(TickSource source);
void set_sleeper(Sleeper sleeper);

// The local calendar date and time with its milliseconds, as a date-and-time query gives them.
struct LocalTime {
  std::tm tm{};    // calendar fields; tm_gmtoff is the offset from UTC in seconds
  int32_t ms = 0;  // milliseconds of the second, 0..999
};
using LocalTimeSource = std::function<LocalTime()>;
// Processor time used by the process, seconds.
using CpuTimeSource = std::function<double()>;

LocalTime local_time();
double cpu_time();
// Replace the calendar clock or the processor clock; an empty function restores the real one.
void set_local_time_source(LocalTimeSource source);
void set_cpu_time_source(CpuTimeSource source);

}  // namespace sysclock
