// A fake clock for tests: installs a tick source and a sleeper that advance a counter instead
// of waiting, and restores the real clock when it goes out of scope.
#pragma once

#include <atomic>
#include <cstdint>

#include "numerics/sysclock.hpp"

namespace testsupport {

class ScopedClock {
 public:
  explicit ScopedClock(int64_t start_ms = 1000) : now_(start_ms) {
    sysclock::set_tick_source([this] { return now_.load(); });
    sysclock::set_sleeper([this](int32_t ms) {
      if (ms > 0) now_ += ms;
      slept_ += ms > 0 ? ms : 0;
    });
  }
  ~ScopedClock() {
    sysclock::set_tick_source(nullptr);
    sysclock::set_sleeper(nullptr);
  }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

  void advance(int64_t ms) { now_ += ms; }
  int64_t now() const { return now_; }
  int64_t slept() const { return slept_; }  // total milliseconds asked of the sleeper

 private:
  std::atomic<int64_t> now_;
  std::atomic<int64_t> slept_{0};
};

}  // namespace testsupport
