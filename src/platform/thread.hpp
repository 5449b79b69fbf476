// Threads of the window system.
//
// A thread is created with its id already assigned and registered, and its body runs only once
// `resume` opens the start gate, so whoever starts it can record the id first. The end of a
// thread is a Waitable, so it can be waited for together with events (`wait_any`).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/sync.hpp"
#include "platform/thread_id.hpp"

namespace platform {

class Thread {
 public:
  using Body = std::function<uint32_t()>;  // returns the thread's exit code

  // Creates the thread; its body waits for `resume` when `suspended`. Null when the system
  // cannot start a thread.
  static std::shared_ptr<Thread> create(Body body, bool suspended);

  ~Thread();  // lets a thread that was never joined run on detached
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  ThreadId id() const { return state_->id; }
  void resume() { state_->gate.set(); }
  // Signalled (and kept signalled) once the body has returned.
  Waitable& ended() { return state_->ended; }
  bool has_ended() const { return state_->ended.is_set(); }
  uint32_t exit_code() const { return state_->exit_code; }  // valid once ended
  // Waits for the thread's end and releases its system resources; not on the thread itself.
  void join();

 private:
  // Shared with the running body, so that dropping the Thread early (even from the thread
  // itself) never leaves the body touching freed memory.
  struct State {
    ThreadId id = 0;
    Event gate{false};
    Event ended{false, false};
    uint32_t exit_code = 0;  // written before `ended` is set
  };
  Thread() = default;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// true while the thread with this id exists and has not ended (any thread that ever asked for
// its id counts, not only those made by Thread::create).
bool thread_running(ThreadId id);

// Suspends the calling thread for ms milliseconds (ms <= 0 returns at once).
void sleep_ms(int32_t ms);

}  // namespace platform
