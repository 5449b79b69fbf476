#include "numerics/sysclock.hpp"

#include <chrono>
#include <mutex>
#include <thread>

namespace sysclock {
namespace {

std::mutex seam_mutex;  // guards the two seams; readers copy them under the lock
TickSource tick_source;
Sleeper sleeper;

int64_t real_monotonic_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int64_t monotonic_ms() {
  TickSource source;
  {
    std::lock_guard<std::mutex> lock(seam_mutex);
    source = tick_source;
  }
  return source ? source() : real_monotonic_ms();
}

int32_t tick_count_ms() {
  const int64_t t = monotonic_ms() % (int64_t{1} << 31);
  return static_cast<int32_t>(t < 0 ? t + (int64_t{1} << 31) : t);
}

void sleep_ms(int32_t ms) {
  Sleeper s;
  {
    std::lock_guard<std::mutex> lock(seam_mutex);
    s = sleeper;
  }
  if (s) {
    s(ms);
  } else if (ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

void set_tick_source(TickSource source) {
  std::lock_guard<std::mutex> lock(seam_mutex);
  tick_source = std::move(source);
}

void set_sleeper(Sleeper s) {
  std::lock_guard<std::mutex> lock(seam_mutex);
  sleeper = std::move(s);
}

}  // namespace sysclock
