#include "numerics/sysclock.hpp"

#include <time.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace sysclock {
namespace {

std::mutex seam_mutex;  // guards the seams; readers copy them under the lock
TickSource tick_source;
Sleeper sleeper;
LocalTimeSource local_time_source;
CpuTimeSource cpu_time_source;

template <typename Source>
Source copy_locked(const Source& source) {
  std::lock_guard<std::mutex> lock(seam_mutex);
  return source;
}

template <typename Source>
void install_locked(Source& slot, Source source) {
  std::lock_guard<std::mutex> lock(seam_mutex);
  slot = std::move(source);
}

LocalTime real_local_time() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  LocalTime t;
  // localtime_r: other threads may read the calendar clock at the same time.
  localtime_r(&now.tv_sec, &t.tm);
  t.ms = static_cast<int32_t>(now.tv_nsec / 1000000);
  return t;
}

double real_cpu_time() {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
}

int64_t real_monotonic_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int64_t monotonic_ms() {
  const TickSource source = copy_locked(tick_source);
  return source ? source() : real_monotonic_ms();
}

int32_t tick_count_ms() {
  const int64_t t = monotonic_ms() % (int64_t{1} << 31);
  return static_cast<int32_t>(t < 0 ? t + (int64_t{1} << 31) : t);
}

void sleep_ms(int32_t ms) {
  const Sleeper s = copy_locked(sleeper);
  if (s) {
    s(ms);
  } else if (ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

void set_tick_source(TickSource source) { install_locked(tick_source, std::move(source)); }

void set_sleeper(Sleeper s) { install_locked(sleeper, std::move(s)); }

LocalTime local_time() {
  const LocalTimeSource source = copy_locked(local_time_source);
  return source ? source() : real_local_time();
}

double cpu_time() {
  const CpuTimeSource source = copy_locked(cpu_time_source);
  return source ? source() : real_cpu_time();
}

void set_local_time_source(LocalTimeSource source) {
  install_locked(local_time_source, std::move(source));
}

void set_cpu_time_source(CpuTimeSource source) {
  install_locked(cpu_time_source, std::move(source));
}

}  // namespace sysclock
