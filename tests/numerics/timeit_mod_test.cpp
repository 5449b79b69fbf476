#include "numerics/timeit_mod.hpp"

#include <gtest/gtest.h>

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

}  // namespace
