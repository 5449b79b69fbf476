#include "platform/sync.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "platform/message_queue.hpp"
#include "platform/thread.hpp"
#include "support/out_of_memory.hpp"

namespace {

using platform::Event;
using platform::kWaitTimeout;

constexpr int32_t kWaitMs = 5000;  // bound of every wait expected to succeed

TEST(Event, AutoResetWakesOneWaitAndKeepsOnePendingSet) {
  Event e;
  EXPECT_FALSE(e.wait(0));
  e.set();
  e.set();  // at most one pending wake-up
  EXPECT_TRUE(e.wait(0));
  EXPECT_FALSE(e.wait(0));

  Event manual(false);
  manual.set();
  EXPECT_TRUE(manual.wait(0));
  EXPECT_TRUE(manual.wait(0));  // stays set
  manual.reset();
  EXPECT_FALSE(manual.wait(0));
}

TEST(Event, WaitAnyNamesTheSignalledObject) {
  Event a, b;
  EXPECT_EQ(platform::wait_any({&a, &b}, 0), kWaitTimeout);
  b.set();
  EXPECT_EQ(platform::wait_any({&a, nullptr, &b}, 0), 2);
  EXPECT_FALSE(b.is_set());  // consumed
  std::thread setter([&] { a.set(); });
  EXPECT_EQ(platform::wait_any({&a, &b}, kWaitMs), 0);
  setter.join();
}

TEST(Thread, IdIsKnownBeforeTheBodyRunsAndNeverReused) {
  std::atomic<platform::ThreadId> seen{0};
  auto t = platform::Thread::create(
      [&] {
        seen = platform::current_thread_id();
        return 7u;
      },
      true);
  ASSERT_TRUE(t);
  EXPECT_TRUE(platform::thread_running(t->id()));
  EXPECT_FALSE(t->ended().wait(20));  // the gate holds the body back
  EXPECT_EQ(seen, 0u);
  t->resume();
  ASSERT_TRUE(t->ended().wait(kWaitMs));
  t->join();
  EXPECT_EQ(seen, t->id());
  EXPECT_EQ(t->exit_code(), 7u);
  EXPECT_TRUE(t->ended().wait(0));  // the end stays signalled
  EXPECT_FALSE(platform::thread_running(t->id()));

  std::set<platform::ThreadId> ids{t->id(), platform::current_thread_id()};
  for (int32_t i = 0; i < 20; ++i) {
    auto u = platform::Thread::create([] { return 0u; }, false);
    ASSERT_TRUE(u->ended().wait(kWaitMs));
    u->join();
    EXPECT_TRUE(ids.insert(u->id()).second) << "id reused: " << u->id();
  }
}

// A thread that takes its id, or with its id its queue, when memory has run out fails as any
// allocation does (std::bad_alloc): nothing that it keeps for its end is registered with the C
// library, whose registration ends the process at once when it finds no memory.
TEST(ThreadDeathTest, AThreadOutOfMemoryFailsAsAnAllocationDoes) {
  if (!testsupport::kOutOfMemoryTestable) GTEST_SKIP() << "sanitizers take the address space";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto id = [] { platform::current_thread_id(); };
  const auto queue = [] { platform::ThreadQueue::current(); };
  EXPECT_EXIT(testsupport::run_out_of_memory([] {}, id), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(testsupport::run_out_of_memory(id, queue), ::testing::ExitedWithCode(0), "");
}

TEST(OwnedMutex, RecursiveTimedAndOwnerChecked) {
  platform::OwnedMutex m;
  EXPECT_FALSE(m.unlock());  // not held
  ASSERT_TRUE(m.lock(0));
  ASSERT_TRUE(m.lock(0));  // recursive
  std::atomic<int32_t> other_try{-1}, other_unlock{-1};
  std::thread other([&] {
    other_try = m.lock(0) ? 1 : 0;
    other_unlock = m.unlock() ? 1 : 0;
  });
  other.join();
  EXPECT_EQ(other_try, 0);
  EXPECT_EQ(other_unlock, 0);  // a non-owner cannot release it
  EXPECT_TRUE(m.unlock());
  EXPECT_TRUE(m.held_by_caller());  // one level left
  std::atomic<bool> taken{false};
  std::thread waiter([&] { taken = m.lock(kWaitMs) && m.unlock(); });
  EXPECT_TRUE(m.unlock());
  waiter.join();
  EXPECT_TRUE(taken);
}

}  // namespace

namespace {

TEST(OwnedMutex, AnOwnerThatEndsWithoutReleasingAbandonsIt) {
  platform::OwnedMutex m;
  std::thread owner([&] { ASSERT_TRUE(m.lock(0)); });  // ends holding it
  owner.join();
  EXPECT_TRUE(m.lock(kWaitMs));  // taken over, not a time-out
  EXPECT_TRUE(m.held_by_caller());
  EXPECT_TRUE(m.unlock());
  // A live owner still keeps it.
  Event locked, release;
  std::thread holder([&] {
    m.lock(0);
    locked.set();
    release.wait(kWaitMs);
    m.unlock();
  });
  ASSERT_TRUE(locked.wait(kWaitMs));
  EXPECT_FALSE(m.lock(30));
  release.set();
  holder.join();
  EXPECT_TRUE(m.lock(0));
  m.unlock();
}

}  // namespace
