// Data of each thread held by keys of the thread library.
//
// A thread-local object with a destructor has the C library allocate, when a thread first
// touches it, the record that runs the destructor at the thread's end, and the library ends the
// process at once when that allocation fails: a thread short of memory would abort instead of
// failing as an allocation does (std::bad_alloc, which the program reports as out of memory).
// A key of the thread library keeps its value in the thread's own block (for the first 32 keys
// of the process) and still releases it when the thread ends.
#pragma once

#include <pthread.h>

#include <memory>
#include <optional>

namespace thread_held {

// A key whose values `release` is called on when their thread ends; none when the thread
// library has no key left to give (its limit of keys per process reached).
std::optional<pthread_key_t> new_key(void (*release)(void*));

// Holds `value` under `key` for the calling thread. Throws std::bad_alloc when the library
// finds no memory to store it (past the first 32 keys it allocates a block per thread).
void hold(pthread_key_t key, void* value);

// The calling thread's own T, value-initialised on its first call and destroyed when the thread
// ends. Each T is one object per thread, so every holder names its data by a type of its own
// (declared in an unnamed namespace). Throws std::bad_alloc when no memory is left for it.
// Without a key (none left) the T is a thread-local object after all, correct but for the abort
// above when memory runs out.
template <class T>
T& mine() {
  static const std::optional<pthread_key_t> key =
      new_key([](void* held) { delete static_cast<T*>(held); });
  if (!key) {
    thread_local T unkeyed{};
    return unkeyed;
  }
  if (void* held = pthread_getspecific(*key)) return *static_cast<T*>(held);
  auto made = std::make_unique<T>();
  hold(*key, made.get());
  return *made.release();
}

}  // namespace thread_held
