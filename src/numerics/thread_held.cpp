#include "numerics/thread_held.hpp"

#include <new>

namespace thread_held {

std::optional<pthread_key_t> new_key(void (*release)(void*)) {
  pthread_key_t key{};
  if (pthread_key_create(&key, release) != 0) return std::nullopt;
  return key;
}

void hold(pthread_key_t key, void* value) {
  if (pthread_setspecific(key, value) != 0) throw std::bad_alloc();
}

}  // namespace thread_held
