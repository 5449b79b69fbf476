#include "numerics/runtime_rng.hpp"

#include <mutex>
#include <random>

namespace runtime_rng {
namespace {

using State = std::array<uint64_t, 4>;

// The stream is process-wide; the lock keeps draws from different threads from racing.
std::mutex rng_mutex;
EntropySource entropy_source;  // guarded by rng_mutex

uint64_t splitmix64(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Four state words from four 64-bit seed words, mixed so that similar seeds give unrelated
// streams. The all-zero state is the one xoshiro cannot leave; it is replaced.
State scramble(const std::array<uint64_t, 4>& words) {
  State s{};
  uint64_t chain = 0;
  for (int k = 0; k < 4; ++k) {
    chain ^= words[k];
    s[k] = splitmix64(chain);
  }
  if ((s[0] | s[1] | s[2] | s[3]) == 0) s[0] = 1;
  return s;
}

State repeatable_state() { return scramble({0x5EED5EED5EED5EEDull, 1, 2, 3}); }

State state = repeatable_state();  // guarded by rng_mutex

// The processor-chosen seed words: one 64-bit key read from the processor's entropy device at
// first use, then the splitmix64 sequence from that key, one step per seed. Reading the device
// costs about half a microsecond and the differential-evolution search re-seeds before every
// number it draws; the sequence costs a few nanoseconds. The key is unknown to the program, so
// the words are unpredictable, and splitmix64 maps the 2^64 successive steps one-to-one, so no
// two seeds of a process are equal. Called with rng_mutex held.
uint64_t processor_word() {
  static const uint64_t key = [] {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) | device();
  }();
  static uint64_t step = 0;
  uint64_t x = key + step++ * 0x9E3779B97F4A7C15ull;
  return splitmix64(x);
}

uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

uint64_t next_locked() {
  const uint64_t result = rotl(state[1] * 5, 7) * 9;
  const uint64_t t = state[1] << 17;
  state[2] ^= state[0];
  state[3] ^= state[1];
  state[1] ^= state[2];
  state[0] ^= state[3];
  state[2] ^= t;
  state[3] = rotl(state[3], 45);
  return result;
}

uint64_t next() {
  std::lock_guard<std::mutex> lock(rng_mutex);
  return next_locked();
}

double to_uniform(uint64_t r) { return static_cast<double>(r >> 11) * 0x1.0p-53; }

}  // namespace

double uniform() { return to_uniform(next()); }

void uniforms(std::span<double> out) {
  std::lock_guard<std::mutex> lock(rng_mutex);
  for (double& u : out) u = to_uniform(next_locked());
}

float uniform_float() { return static_cast<float>(next() >> 40) * 0x1.0p-24f; }

int32_t integer(int32_t lo, int32_t hi) {
  if (hi <= lo) return lo;
  const uint64_t span = static_cast<uint64_t>(int64_t{hi} - int64_t{lo}) + 1;
  // Rejection of the top partial block keeps every value equally likely.
  const uint64_t limit = UINT64_MAX - UINT64_MAX % span;
  uint64_t r;
  do {
    r = next();
  } while (r >= limit);
  return static_cast<int32_t>(int64_t{lo} + static_cast<int64_t>(r % span));
}

void seed_array(const SeedArray& seed) {
  std::array<uint64_t, 4> words{};
  for (int k = 0; k < 4; ++k) {
    words[k] = (static_cast<uint64_t>(static_cast<uint32_t>(seed[2 * k])) << 32) |
               static_cast<uint32_t>(seed[2 * k + 1]);
  }
  const State s = scramble(words);
  std::lock_guard<std::mutex> lock(rng_mutex);
  state = s;
}

void seed_repeatable() {
  std::lock_guard<std::mutex> lock(rng_mutex);
  state = repeatable_state();
}

void seed_processor() {
  EntropySource source;
  {
    std::lock_guard<std::mutex> lock(rng_mutex);
    if (!entropy_source) {
      state = scramble({processor_word(), 0, 0, 0});
      return;
    }
    source = entropy_source;  // called outside the lock: it is the test's code
  }
  std::array<uint64_t, 4> words{};
  for (auto& w : words) w = source();
  const State s = scramble(words);
  std::lock_guard<std::mutex> lock(rng_mutex);
  state = s;
}

void set_entropy_source(EntropySource source) {
  std::lock_guard<std::mutex> lock(rng_mutex);
  entropy_source = std::move(source);
}

void reset() {
  std::lock_guard<std::mutex> lock(rng_mutex);
  entropy_source = nullptr;
  state = repeatable_state();
}

}  // namespace runtime_rng
