// Thread identity: every thread that touches the window system gets a 32-bit id on first use.
// Ids count up from 1 and are never reused, so a stored id can never name a later thread.
#pragma once

#include <cstdint>

namespace platform {

using ThreadId = uint32_t;  // 0 = no thread

// The calling thread's id (assigned on first call).
ThreadId current_thread_id();

}  // namespace platform
