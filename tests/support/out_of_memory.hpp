// A thread that meets the end of the process's memory, for death tests: the code under test
// must fail there as any allocation does, in std::bad_alloc (which the program reports as out of
// memory), and never in an abort of the C library.
#pragma once

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <functional>
#include <new>
#include <thread>

namespace testsupport {

// Sanitizers reserve more address space than the limit below leaves.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kOutOfMemoryTestable = false;
#else
inline constexpr bool kOutOfMemoryTestable = true;
#endif

namespace detail {

// The blocks that exhaust_memory took, chained (kept where the optimiser cannot drop them).
inline void* volatile taken = nullptr;

// Takes every block of memory the process may still have, down to the smallest, and keeps it.
inline void exhaust_memory() {
  for (size_t size = 1 << 16; size >= sizeof(void*); size /= 2) {
    while (void* block = std::malloc(size)) {
      *static_cast<void**>(block) = taken;
      taken = block;
    }
  }
}

}  // namespace detail

// Runs `before` on a new thread, lets the memory of the process run out, and runs `after` on
// that thread. Ends the process with 0 on a std::bad_alloc that no one catches, with 2 when
// `after` returns, with 3 on another exception; an abort ends it by its signal. Meant for a
// death test of the "threadsafe" style, whose fresh process has no other threads.
[[noreturn]] inline void run_out_of_memory(const std::function<void()>& before,
                                           const std::function<void()>& after) {
  std::set_terminate([] {
    try {
      std::rethrow_exception(std::current_exception());
    } catch (const std::bad_alloc&) {
      std::_Exit(0);
    } catch (...) {
    }
    std::_Exit(3);
  });
  mallopt(M_ARENA_MAX, 1);  // every thread allocates from the one arena limited below
  std::atomic<bool> ready{false}, go{false};
  std::thread t([&] {
    before();
    ready = true;
    while (!go) std::this_thread::yield();
    after();
  });
  while (!ready) std::this_thread::yield();
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t size = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (1 << 20);
  const rlimit limit{size, size};
  setrlimit(RLIMIT_AS, &limit);
  detail::exhaust_memory();
  go = true;
  t.join();
  std::_Exit(2);
}

}  // namespace testsupport
