// Synchronisation objects of the window system: events, thread ends, owner-checked mutexes.
//
// Every waitable object (an event, the end of a thread) keeps its signalled state under one
// process-wide lock and one condition variable. That makes a wait on any of several objects
// (`wait_any`) simple and free of lost wake-ups; the objects are few and signalled rarely, so
// the shared lock costs nothing measurable.
//
// Time-outs are in milliseconds; a negative time-out waits for ever.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>

#include "platform/thread_id.hpp"

namespace platform {

inline constexpr int32_t kInfinite = -1;
inline constexpr int32_t kWaitTimeout = -1;  // wait_any: nothing was signalled in time

// Something a thread can wait for. A signalled auto-reset object is reset by the wait that
// consumes it; a manual-reset one stays signalled until reset.
class Waitable {
 public:
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;
  virtual ~Waitable() = default;

  // true when the object was signalled (and consumed) within timeout_ms
  bool wait(int32_t timeout_ms);

 protected:
  explicit Waitable(bool auto_reset, bool signalled)
      : auto_reset_(auto_reset), signalled_(signalled) {}
  void set_state(bool signalled);
  bool state() const;

 private:
  friend int32_t wait_any(std::initializer_list<Waitable*>, int32_t);
  const bool auto_reset_;
  bool signalled_;  // guarded by the process-wide wait lock
};

// An event. Auto-reset by default: `set` wakes exactly one wait, and a set that no wait has
// consumed yet is kept (one pending wake-up at most).
class Event : public Waitable {
 public:
  explicit Event(bool auto_reset = true, bool signalled = false)
      : Waitable(auto_reset, signalled) {}
  void set() { set_state(true); }
  void reset() { set_state(false); }
  bool is_set() const { return state(); }
};

// Waits until one of `objects` is signalled; returns its position (consuming it when it resets
// itself), or kWaitTimeout. Null entries are skipped.
int32_t wait_any(std::initializer_list<Waitable*> objects, int32_t timeout_ms);

// A recursive mutex with timed acquisition that knows its owner, so that a release by a thread
// that does not hold it fails instead of corrupting the lock. A mutex whose owner thread ended
// without releasing it is abandoned: the next lock takes it over instead of waiting for ever.
class OwnedMutex {
 public:
  OwnedMutex() = default;
  OwnedMutex(const OwnedMutex&) = delete;
  OwnedMutex& operator=(const OwnedMutex&) = delete;

  // true when the calling thread holds the mutex within timeout_ms (recursively counted)
  bool lock(int32_t timeout_ms);
  // false (and nothing changes) when the calling thread does not hold the mutex
  bool unlock();
  bool held_by_caller() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  ThreadId owner_ = 0;  // 0 = free
  int32_t depth_ = 0;
};

// A recursive lock for short critical sections (no time-out, no owner check).
using CriticalSection = std::recursive_mutex;

}  // namespace platform
