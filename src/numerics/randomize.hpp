// Uniform and normal random numbers for the searches of the fit.
//
// random_r is the 64-bit universal generator of Marsaglia and Tsang [1]: a lagged-subtraction
// table of 97 doubles (lags 97 and 33) combined with a subtractive carry sequence. The table is
// refilled from the clock every 97th call (whenever both lags are back at 97 and 33), each entry
// built bit by bit from two small congruential generators whose 32-bit products wrap around.
// init_random_seed also re-seeds the runtime generator (runtime_rng) from the clock.
//
// [1] G. Marsaglia, W. W. Tsang, "The 64-bit universal RNG", Statistics & Probability Letters
//     66 (2004) 183-187.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace randomize {

inline FArray<double, 97> u_table;  // the lag table U(1..97)
inline int32_t lag_i = 97;          // lag index i, 1..97
inline int32_t lag_j = 33;          // lag index j, 1..97
inline double carry_w = 0.0;        // the carry sequence w, in [0, 1)

// Reads the millisecond tick (a negative count becomes 30000), seeds the runtime generator with
// count + 37 (k - 1), k = 1..8, and returns the last of those, count + 259, in seed.
void init_random_seed(int32_t& seed);
// r = next number of the universal generator, in [0, 1).
void random_r(double& r);
// r = a + (b - a) u, u from random_r.
void random_uni_r(double& r, double a, double b);
// r = a normal deviate with the given mean and standard deviation (polar method).
void random_gauss_r(double& r, double mean, double sd);

// Back to the state at program start (empty table, lags 97 and 33, carry 0), for tests.
void reset();

}  // namespace randomize
