#include "numerics/thread_held.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "numerics/farray.hpp"
#include "numerics/robustwt.hpp"
#include "support/out_of_memory.hpp"

namespace {

// Data of a thread that counts its ends; Tag sets holders apart.
template <int Tag>
struct Counted {
  int value = 0;
  static inline std::atomic<int> ended{0};
  ~Counted() { ++ended; }
};

// Whether two holders keep one object each per thread, kept between calls and destroyed when
// the thread ends.
template <int A, int B>
bool held_apart_and_released() {
  bool apart = true;
  auto use = [&](int value) {
    auto& a = thread_held::mine<Counted<A>>();
    auto& b = thread_held::mine<Counted<B>>();
    apart = apart && static_cast<void*>(&a) != static_cast<void*>(&b) && a.value == 0;
    a.value = value;
    b.value = -value;
    apart = apart && thread_held::mine<Counted<A>>().value == value &&
            thread_held::mine<Counted<B>>().value == -value;
  };
  std::thread(use, 1).join();
  std::thread(use, 2).join();
  return apart && Counted<A>::ended == 2 && Counted<B>::ended == 2;
}

TEST(ThreadHeld, EachThreadHoldsItsOwnAndReleasesItAtItsEnd) {
  EXPECT_TRUE((held_apart_and_released<1, 2>()));
}

// With every key of the process taken the data are still each thread's own.
TEST(ThreadHeldDeathTest, WithoutKeysEachThreadStillHoldsItsOwn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto without_keys = [] {
    for (pthread_key_t key; pthread_key_create(&key, nullptr) == 0;) {
    }
    std::_Exit(held_apart_and_released<3, 4>() ? 0 : 1);
  };
  EXPECT_EXIT(without_keys(), ::testing::ExitedWithCode(0), "");
}

// The robust weights' work, first taken when memory has run out, fails as an allocation.
TEST(ThreadHeldDeathTest, RobustWeightsOutOfMemoryFailAsAnAllocation) {
  if (!testsupport::kOutOfMemoryTestable) GTEST_SKIP() << "sanitizers take the address space";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::vector<double> r = {1.0, 2.0, 4.0}, w(3);
  auto weights = [&] {
    robustwt::robust_wt(3, VecView<const double>(r.data(), 3), VecView<double>(w.data(), 3));
  };
  EXPECT_EXIT(testsupport::run_out_of_memory([] {}, weights), ::testing::ExitedWithCode(0), "");
}

}  // namespace
