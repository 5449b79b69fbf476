#include "numerics/timeit_mod.hpp"

#include <gtest/gtest.h>

#include "numerics/sysclock.hpp"
#include "support/scoped_clock.hpp"

namespace {

TEST(TimeitMod, PollsAddTheElapsedTimeToARunningSum) {
  timeit_mod::reset();
  testsupport::ScopedClock clock(5000);
  int32_t flag = 1;
  EXPECT_EQ(timeit_mod::timeclock(flag), 0.0);
  EXPECT_EQ(flag, 0);
  clock.advance(1000);
  EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 1.0);
  clock.advance(2000);
  EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 4.0);  // 1 + 3
  // A restart clears the sum and the flag again.
  flag = 1;
  EXPECT_EQ(timeit_mod::timeclock(flag), 0.0);
  clock.advance(500);
  EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 0.5);
  timeit_mod::reset();
}

TEST(TimeitMod, ElapsedTimeDoesNotWrapWhenTheTickCountDoes) {
  timeit_mod::reset();
  testsupport::ScopedClock clock((int64_t{1} << 31) - 1000);  // 1 s before the tick wraps
  int32_t flag = 1;
  timeit_mod::timeclock(flag);
  clock.advance(3000);
  EXPECT_DOUBLE_EQ(timeit_mod::timeclock(flag), 3.0);
  timeit_mod::reset();
}

TEST(TimeitMod, TimeitSumsProcessorTimeInSinglePrecision) {
  timeit_mod::reset();
  double cpu = 10.0;
  sysclock::set_cpu_time_source([&] { return cpu; });
  struct Step {
    double cpu;
    int32_t flag;
    float sum;
  } const steps[] = {
      {10.0, 1, 0.0f},  // restart
      {11.5, 0, 1.5f},
      {13.0, 0, 4.5f},  // 1.5 + 3
      {16777216.0, 1, 0.0f},
      // 2^24 + 1.5 is no float: it reads as 2^24 + 2, so the sum is 2, not 1.5.
      {16777217.5, 0, 2.0f},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.cpu);
    cpu = s.cpu;
    int32_t flag = s.flag;
    timeit_mod::timeit(flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(timeit_mod::ts, s.sum);
  }
  sysclock::set_cpu_time_source(nullptr);
  timeit_mod::reset();
}

}  // namespace
