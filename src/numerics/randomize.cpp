#include "numerics/randomize.hpp"

#include <cmath>

#include "numerics/runtime_rng.hpp"
#include "numerics/sysclock.hpp"

namespace randomize {
namespace {

// 32-bit signed product that wraps around in two's complement, as the table builder needs.
int32_t wrap_mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

int32_t wrap_sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Step 1: every entry of U from 53 bits; bit k is set when bit 5 of the two congruential
// generators differ. C++ % truncates, so the remainder takes the sign of the dividend.
void refill_table() {
  int32_t s1 = 0;
  int32_t s2 = 0;
  init_random_seed(s1);
  init_random_seed(s2);
  int32_t x = wrap_sub(123456789, s1);
  int32_t y = wrap_sub(987654321, s2);
  for (int32_t k = 1; k <= 97; ++k) {
    double s = 0.0;
    double t = 0.5;
    for (int bit = 1; bit <= 53; ++bit) {
      x = wrap_mul(6969, x) % 65543;
      y = wrap_mul(8888, y) % 65579;
      if (((x ^ y) & 32) != 0) s += t;
      t *= 0.5;
    }
    u_table(k) = s;
  }
}

}  // namespace

void init_random_seed(int32_t& seed) {
  int32_t count = sysclock::tick_count_ms();
  if (count < 0) count = 30000;
  runtime_rng::SeedArray seeds{};
  for (int32_t k = 1; k <= runtime_rng::kSeedSize; ++k) {
    seeds[k - 1] = static_cast<int32_t>(static_cast<uint32_t>(count) + 37u * (k - 1));
  }
  runtime_rng::seed_array(seeds);
  seed = seeds[runtime_rng::kSeedSize - 1];
}

void random_r(double& r) {
  if (lag_i == 97 && lag_j == 33) refill_table();
  // Step 2: lagged subtraction modulo 1.
  double x = u_table(lag_i) - u_table(lag_j);
  if (x < 0.0) x += 1.0;
  u_table(lag_i) = x;
  // Step 3: both lags step down, 0 wrapping to 97.
  if (--lag_i == 0) lag_i = 97;
  if (--lag_j == 0) lag_j = 97;
  // Step 4: the carry sequence, w -= 362436069876 / 2^53 modulo 9007199254740881 / 2^53.
  carry_w -= 4.023848697309873e-5;
  if (carry_w < 0.0) carry_w += 0.9999999999999877;
  // Step 5: combine modulo 1.
  r = x - carry_w;
  if (r < 0.0) r += 1.0;
}

void random_uni_r(double& r, double a, double b) {
  double u = 0.0;
  random_r(u);
  r = a + (b - a) * u;
}

void random_gauss_r(double& r, double mean, double sd) {
  double u1 = 0.0;
  double u2 = 0.0;
  double s = 0.0;
  do {
    random_r(u1);
    random_r(u2);
    u1 = 2.0 * u1 - 1.0;
    u2 = 2.0 * u2 - 1.0;
    s = u1 * u1 + u2 * u2;
  } while (s >= 1.0 || s == 0.0);  // s = 0 would give 0 * inf = NaN
  r = u1 * std::sqrt(-2.0 * std::log(s) / s) * sd + mean;
}

void reset() {
  u_table.fill(0.0);
  lag_i = 97;
  lag_j = 33;
  carry_w = 0.0;
}

}  // namespace randomize
