// One-shot uniform numbers seeded from the clock, and a chaotic map of (0, 1) onto itself.
//
// rnduni scrambles a fresh clock seed with two 16-bit congruential steps, folds it through a few
// single-precision operations into a start value below 30000 and returns the Wichmann-Hill
// combination [1] of three seeds derived from it. pi_rand_gen maps x to the fractional part of
// (x + pi)^6, computed in IEEE binary128 (__float128) so that the fraction keeps its digits
// although (x + pi)^6 is near 1000; it restarts from (pi - 3) / k when the fraction is exactly 0.
//
// [1] B. A. Wichmann, I. D. Hill, "Algorithm AS 183: An efficient and portable pseudo-random
//     number generator", Applied Statistics 31 (1982) 188-190.
#pragma once

#include <cstdint>

namespace pi_rand {

// Same as randomize::init_random_seed: seeds the runtime generator from the clock and returns
// the clock count + 259.
void init_random_seed(int32_t& seed);
// One uniform number in [0, 1) from a fresh clock seed.
double rnduni();
// x := the next value of the map; an accepted value lies strictly between 1.05e-6 and
// 0.99999905, and x = 0 gives 0.14159342040448605.
void pi_rand_gen(double& x);

}  // namespace pi_rand
