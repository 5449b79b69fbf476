#include "platform/sync.hpp"

#include <algorithm>
#include <chrono>

#include "platform/thread.hpp"

namespace platform {
namespace {

// The one lock and condition variable behind every Waitable (see the header). Never destroyed:
// threads still wait and signal while the program's exit handlers close its windows.
std::mutex& wait_lock() {
  static auto* m = new std::mutex;
  return *m;
}
std::condition_variable& wait_cv() {
  static auto* cv = new std::condition_variable;
  return *cv;
}

// Waits on `cv` until pred() holds or the time-out passes; the lock is held on entry and exit.
template <class Pred>
bool wait_for(std::unique_lock<std::mutex>& lock,
              std::condition_variable& cv,
              int32_t timeout_ms,
              Pred pred) {
  if (timeout_ms < 0) {
    cv.wait(lock, pred);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), pred);
}

// How often a thread waiting for an OwnedMutex looks whether its owner has ended.
constexpr int32_t kAbandonPollMs = 10;

}  // namespace

void Waitable::set_state(bool signalled) {
  {
    std::lock_guard<std::mutex> g(wait_lock());
    signalled_ = signalled;
  }
  if (signalled) wait_cv().notify_all();
}

bool Waitable::state() const {
  std::lock_guard<std::mutex> g(wait_lock());
  return signalled_;
}

bool Waitable::wait(int32_t timeout_ms) { return wait_any({this}, timeout_ms) == 0; }

int32_t wait_any(std::initializer_list<Waitable*> objects, int32_t timeout_ms) {
  std::unique_lock<std::mutex> lock(wait_lock());
  int32_t hit = kWaitTimeout;
  auto any_signalled = [&] {
    int32_t i = 0;
    for (Waitable* w : objects) {
      if (w && w->signalled_) {
        hit = i;
        if (w->auto_reset_) w->signalled_ = false;
        return true;
      }
      ++i;
    }
    return false;
  };
  wait_for(lock, wait_cv(), timeout_ms, any_signalled);
  return hit;
}

bool OwnedMutex::lock(int32_t timeout_ms) {
  const ThreadId me = current_thread_id();
  std::unique_lock<std::mutex> lock(mutex_);
  if (owner_ == me) {
    ++depth_;
    return true;
  }
  // An owner that ended without releasing has abandoned the mutex: it is free. Its end
  // signals nothing, so a waiter looks again every kAbandonPollMs.
  auto free = [&] { return owner_ == 0 || !thread_running(owner_); };
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  while (!free()) {
    auto slice = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAbandonPollMs);
    if (timeout_ms >= 0 && slice > deadline) slice = deadline;
    released_.wait_until(lock, slice, free);
    if (!free() && timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
  }
  owner_ = me;
  depth_ = 1;
  return true;
}

bool OwnedMutex::unlock() {
  std::lock_guard<std::mutex> g(mutex_);
  if (owner_ != current_thread_id()) return false;  // a non-owner must not free the lock
  if (--depth_ == 0) {
    owner_ = 0;
    released_.notify_one();
  }
  return true;
}

bool OwnedMutex::held_by_caller() const {
  std::lock_guard<std::mutex> g(mutex_);
  return owner_ == current_thread_id();
}

}  // namespace platform
