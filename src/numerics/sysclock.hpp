// The system clock and sleeping, behind seams that tests replace.
//
// `tick_count_ms` is the millisecond tick of the system (milliseconds since an arbitrary start,
// taken modulo 2^31 as the programs that read it expect); it comes from a monotonic clock, so
// it never jumps with the wall clock. `sleep_ms` pauses the calling thread. Tests install their
// own tick source and sleeper (see ScopedClock in the tests) so that nothing waits for real.
#pragma once

#include <cstdint>
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

}  // namespace sysclock
