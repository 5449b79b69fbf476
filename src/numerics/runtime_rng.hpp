// The language runtime's uniform generator: one process-wide stream that several routines draw
// from and re-seed (by an array of eight 32-bit values, to a repeatable seed, or from a seed the
// processor chooses).
//
// The generator is xoshiro256** [1]. An array seed is packed into the four 64-bit state words
// and scrambled with splitmix64, so any eight values (all zeros included) give a valid state.
// The processor-chosen seed is the next word of a splitmix64 sequence keyed by one read of
// std::random_device at first use: unpredictable, and different at every re-seed. A test may
// install its own entropy source instead (four words per seed), which makes every draw
// deterministic.
//
// [1] D. Blackman, S. Vigna, "Scrambled linear pseudorandom number generators", ACM TOMS 47
//     (2021), the xoshiro256** generator.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace runtime_rng {

inline constexpr int kSeedSize = 8;  // 32-bit values in a seed array
using SeedArray = std::array<int32_t, kSeedSize>;
using EntropySource = std::function<uint64_t()>;

// Uniform double in [0, 1) with 53 random bits.
double uniform();
// out[k] := the next uniform() numbers, in order, drawn under one lock of the stream (no other
// thread's draw comes between them).
void uniforms(std::span<double> out);
// Uniform single-precision number in [0, 1) with 24 random bits.
float uniform_float();
// Uniform integer in [lo, hi] (inclusive, unbiased); returns lo when hi <= lo.
int32_t integer(int32_t lo, int32_t hi);

// Re-seeds the stream from eight values; equal arrays give equal streams.
void seed_array(const SeedArray& seed);
// Re-seeds the stream to the fixed repeatable seed (the state at program start).
void seed_repeatable();
// Re-seeds the stream from a processor-chosen seed (or from the test's entropy source).
void seed_processor();

// Test seam: replaces the entropy source behind seed_processor; empty restores the processor's.
void set_entropy_source(EntropySource source);

// Back to the repeatable seed and the real entropy source (for tests).
void reset();

}  // namespace runtime_rng
