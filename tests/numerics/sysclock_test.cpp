#include "numerics/sysclock.hpp"

#include <gtest/gtest.h>

#include "support/scoped_clock.hpp"

TEST(Sysclock, TicksWrapModulo2To31) {
  testsupport::ScopedClock clock((int64_t{1} << 31) + 5);
  EXPECT_EQ(sysclock::tick_count_ms(), 5);
  EXPECT_EQ(sysclock::monotonic_ms(), (int64_t{1} << 31) + 5);
}

TEST(Sysclock, InjectedSleeperAdvancesTheFakeClockWithoutWaiting) {
  testsupport::ScopedClock clock(0);
  sysclock::sleep_ms(5000);
  EXPECT_EQ(clock.now(), 5000);
  EXPECT_EQ(clock.slept(), 5000);
  sysclock::sleep_ms(-3);  // negative pauses are nothing
  EXPECT_EQ(clock.slept(), 5000);
}

TEST(Sysclock, RealClockIsMonotonic) {
  const int64_t a = sysclock::monotonic_ms();
  sysclock::sleep_ms(2);
  EXPECT_GE(sysclock::monotonic_ms(), a + 2);
}
