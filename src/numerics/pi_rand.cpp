#include "numerics/pi_rand.hpp"

#include <cmath>
#include <cstdlib>

#include "numerics/randomize.hpp"

namespace pi_rand {
namespace {

using quad = __float128;

// pi and its powers rounded to binary128.
constexpr quad kTwoPi = 6.28318530717958647692528676655900577Q;
constexpr quad kThreePi2 = 29.6088132032680758565034729996284534Q;
constexpr quad kThreePi4 = 292.227273102007311709320998066115334Q;
constexpr quad kPi6 = 961.389193575304437030219443652419899Q;
constexpr quad kPiMinus3 = 0.141592653589793238462643383279502884Q;

constexpr quad kLow = 1.05e-6Q;
constexpr quad kHigh = 0.99999905Q;

// Largest integer not above h. Within the 32-bit range this is the truncation, less 1 when the
// truncation exceeds h; beyond it the wider truncation avoids an out-of-range conversion, and
// a binary128 value of magnitude 2^112 or more is already an integer.
quad floor_quad(quad h) {
  if (!(h > -0x1p112Q && h < 0x1p112Q)) return h;
  const __int128 whole = static_cast<__int128>(h);
  quad f = static_cast<quad>(whole);
  if (f > h) f -= 1;
  return f;
}

// Step 4 of rnduni: the remainder of f by 214748.36 in [0, 214748.36); 0 when it is exactly 0.
float fold(float f) {
  float r = std::fmod(f, 214748.36f);
  if (r < 0.0f) r += 214748.36f;
  return r;
}

}  // namespace

void init_random_seed(int32_t& seed) { randomize::init_random_seed(seed); }

double rnduni() {
  // Step 1: the low 16 bits of a clock seed.
  int32_t s = 0;
  init_random_seed(s);
  s &= 0xFFFF;
  // Step 2: scramble; each step keeps the low 16 bits.
  for (int32_t k = 1; k <= 250; ++k) {
    for (int m = 0; m < 5; ++m) s = ((8973 * s + 1) & 0xFFFF) - 32768;
    for (int m = 0; m < 5; ++m) s = (8973 * s + k % 2) & 0xFFFF;
  }
  // Steps 3 and 4, in single precision.
  bool folded = true;
  float f = 0.0f;
  if (s != 0) {
    f = static_cast<float>(s) * 4.5875f + 45381.668f;
  } else {
    int32_t v = 0;
    for (int attempt = 1; attempt <= 10 && v == 0; ++attempt) init_random_seed(v);
    if (v != 0) {
      f = static_cast<float>(std::abs(int64_t{v})) * 4.5875f + 45381.668f;
    } else {
      f = 91256.67f;
      folded = false;
    }
  }
  if (folded) f = fold(f);
  // Step 5: a start value in 1..30000.
  if (folded && f == 0.0f) {
    s = 1;
  } else {
    s = static_cast<int32_t>(f) + 1;
    while (s > 30000) s /= 10;
  }
  // Steps 6 and 7: Wichmann-Hill with three seeds from s.
  const int32_t ix = s;
  const int32_t iy = s / 2;
  const int32_t iz = s / 3;
  const double r = static_cast<double>((171 * ix) % 30269) / 30269.0 +
                   static_cast<double>((172 * iy) % 30307) / 30307.0 +
                   static_cast<double>((170 * iz) % 30323) / 30323.0;
  return r - std::trunc(r);
}

void pi_rand_gen(double& x) {
  quad q = x;
  for (int32_t k = 1;; ++k) {
    // Step 1: the fixed point 0 maps to a fixed start.
    if (q == 0) {
      x = 0.14159342040448605;
      return;
    }
    // Step 2: h = (q + pi)^6 as a cubic in v = 2 pi q + q^2.
    const quad v = kTwoPi * q + q * q;
    const quad h = ((v + kThreePi2) * v + kThreePi4) * v + kPi6;
    // Steps 3 and 4: accept any nonzero fraction (a NaN fraction is rejected too).
    const quad frac = h - floor_quad(h);
    const quad clamped = frac < kLow ? kLow : (frac > kHigh ? kHigh : frac);
    const quad gap = frac > clamped ? frac - clamped : clamped - frac;
    if (gap < kLow) {
      x = static_cast<double>(frac * 0.999998Q + kLow);
      return;
    }
    // Step 5: restart nearer 0.
    q = kPiMinus3 / k;
  }
}

}  // namespace pi_rand
