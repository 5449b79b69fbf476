// nrutil's random generators and clock seeds. The references [1]..[5] are those of nrutil.hpp.
// The generators that keep state between calls (randum, gasdev, kiss64) hold it here, one copy
// for the process, as saved variables; only the main thread calls them.
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "numerics/nrutil.hpp"
#include "numerics/runtime_rng.hpp"
#include "numerics/sysclock.hpp"

namespace nrutil {
namespace {

constexpr int64_t kIm = 2147483647;  // 2^31 - 1, the modulus of [2] and [3]

// s reduced into 1..2^31-2 (0 would stay 0 under a multiplicative step).
int64_t lcg_seed(int64_t s) {
  s %= kIm;
  if (s < 0) s += kIm;
  return s == 0 ? 1 : s;
}

// One multiplicative step s = a s mod (2^31 - 1); 64-bit products are exact here.
int64_t lcg_step(int64_t s, int64_t a) { return a * s % kIm; }

// ran1 of [1]: the minimal standard generator behind a Bays-Durham shuffle table of 32.
struct Ran1 {
  static constexpr int kNtab = 32;
  static constexpr int64_t kNdiv = 1 + (kIm - 1) / kNtab;
  int64_t iv[kNtab] = {};
  int64_t iy = 0;  // 0: the table is not filled yet

  // Starts the stream from s: eight warm-up steps, then the table filled from the back.
  void start(int64_t& s) {
    for (int j = kNtab + 8; j >= 1; --j) {
      s = lcg_step(s, 16807);
      if (j <= kNtab) iv[j - 1] = s;
    }
    iy = iv[0];
  }
  // The next uniform in (0, 1); s is the stream's state (the caller's idum).
  double next(int64_t& s) {
    s = lcg_step(s, 16807);
    const int64_t j = iy / kNdiv;  // 0-based slot of the table
    iy = iv[j];
    iv[j] = s;
    return static_cast<double>(iy) / static_cast<double>(kIm);
  }
};

struct RandumState {
  Ran1 table;
  int64_t seed2 = 1;  // the second stream, multiplier 48271
};

struct GasdevState {
  Ran1 table;
  bool iset = false;  // a second deviate is kept in gset
  double gset = 0.0;
};

// Marsaglia's initial values of [4].
struct Kiss64State {
  uint64_t x = 1234567890987654321ull;
  uint64_t c = 123456123456123456ull;
  uint64_t y = 362436362436362436ull;
  uint64_t z = 1066149217761810ull;
};

RandumState randum_state;
GasdevState gasdev_state;
Kiss64State kiss_state;

// A pair of uniforms on (-1, 1) inside the unit circle, s = u1^2 + u2^2 in (0, 1).
template <typename Uniform>
void polar_pair(Uniform uniform, double& u1, double& u2, double& s) {
  do {
    u1 = 2.0 * uniform() - 1.0;
    u2 = 2.0 * uniform() - 1.0;
    s = u1 * u1 + u2 * u2;
  } while (s >= 1.0 || s == 0.0);
}

}  // namespace

void shuffle(VecView<double> a) {
  for (long i = a.size(); i >= 2; --i) {
    // Values outside (0, 1) (or NaN) are clipped so the index stays within 1..i.
    double p = static_cast<double>(i) * a(i);
    if (!(p >= 0.0)) p = 0.0;
    if (p > static_cast<double>(i - 1)) p = static_cast<double>(i - 1);
    const long j = 1 + static_cast<long>(p);
    std::swap(a(i), a(j));
  }
}

int32_t randlcg(int32_t& seed) {
  seed = static_cast<int32_t>(lcg_step(lcg_seed(seed), 16807));
  return seed;
}

double randfmrg(FArray<int32_t, 5>& x) {
  bool all_zero = true;
  for (int k = 1; k <= 5; ++k) {
    int64_t v = x(k) % kIm;
    if (v < 0) v += kIm;
    x(k) = static_cast<int32_t>(v);
    all_zero = all_zero && v == 0;
  }
  // The all-zero state is the one the recursion cannot leave.
  if (all_zero) x(1) = 1;
  const int64_t xn = (107374182 * int64_t{x(1)} + 104480 * int64_t{x(5)}) % kIm;
  for (int k = 5; k >= 2; --k) x(k) = x(k - 1);
  x(1) = static_cast<int32_t>(xn);
  return static_cast<double>(xn) / static_cast<double>(kIm);
}

double randum(int32_t& idum) {
  RandumState& st = randum_state;
  int64_t s = idum;
  if (idum <= 0 || st.table.iy == 0) {
    s = lcg_seed(std::llabs(s));
    st.seed2 = s;
    st.table.start(s);
  }
  const double shuffled = st.table.next(s);
  idum = static_cast<int32_t>(s);
  st.seed2 = lcg_step(st.seed2, 48271);
  const double w = static_cast<double>(st.seed2) / static_cast<double>(kIm);
  const double t = std::fabs(std::tan(std::numbers::pi * (w - 0.5)));
  // A uniform plus an independent value, modulo 1, is again uniform.
  double r = shuffled + (t - std::floor(t));
  if (r >= 1.0) r -= 1.0;
  return r;
}

double gasdev(int32_t& idum, std::ostream& out) {
  GasdevState& st = gasdev_state;
  // A zero seed would start the multiplicative stream at its fixed point 0.
  if (idum == 0) {
    out << "error in gasdev\n";
    return std::nan("");
  }
  int64_t s = idum;
  if (idum < 0 || st.table.iy == 0) {
    s = lcg_seed(std::llabs(s));
    st.table.start(s);
    st.iset = false;
  }
  double result = 0.0;
  if (st.iset) {
    st.iset = false;
    result = st.gset;
  } else {
    double v1 = 0.0, v2 = 0.0, rsq = 0.0;
    polar_pair([&] { return st.table.next(s); }, v1, v2, rsq);
    const double fac = std::sqrt(-2.0 * std::log(rsq) / rsq);
    st.gset = v1 * fac;
    st.iset = true;
    result = v2 * fac;
  }
  idum = static_cast<int32_t>(s);
  return result;
}

void randvsub(int32_t& i1, int32_t& i2, double& r) {
  constexpr double i2_32m1 = 2.328306437080797e-10;  // 1 / (2^32 - 1)
  uint32_t u1 = static_cast<uint32_t>(i1);
  uint32_t u2 = static_cast<uint32_t>(i2);
  // A zero register stays zero and an even multiplier seed loses its period.
  if (u1 == 0) u1 = 1;
  u2 |= 1u;
  u1 ^= (u1 >> 15) & 0377777u;  // Tausworthe shift register
  u1 ^= u1 << 17;
  u2 *= 69069u;  // congruential
  r = static_cast<double>(u1 ^ u2) * i2_32m1;
  // Kept strictly inside (0, 1).
  if (r <= 0.0) r = 0.5 * i2_32m1;
  if (1.0 - r <= 0.0) r = 1.0 - 0.5 * i2_32m1;
  i1 = static_cast<int32_t>(u1);
  i2 = static_cast<int32_t>(u2);
}

void randv(int32_t& i1, int32_t& i2, VecView<double> v) {
  for (long k = 1; k <= v.size(); ++k) randvsub(i1, i2, v(k));
}

void normalvec(VecView<double> v) {
  for (long i = 1; i <= v.size(); i += 2) {
    double u1 = 0.0, u2 = 0.0, s = 0.0;
    polar_pair(runtime_rng::uniform, u1, u2, s);
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    v(i) = u1 * f;
    if (i + 1 <= v.size()) v(i + 1) = u2 * f;
  }
}

int64_t kiss64() {
  Kiss64State& k = kiss_state;
  // Multiply-with-carry.
  const uint64_t t = (k.x << 58) + k.c;
  k.c = k.x >> 6;
  k.x += t;
  k.c += k.x < t ? 1 : 0;
  // Xorshift.
  k.y ^= k.y << 13;
  k.y ^= k.y >> 17;
  k.y ^= k.y << 43;
  // Congruential.
  k.z = 6906969069ull * k.z + 1234567ull;
  return static_cast<int64_t>(k.x + k.y + k.z);
}

double rndom() { return static_cast<double>(static_cast<uint64_t>(kiss64()) >> 11) * 0x1.0p-53; }

void randsphere3rvec(FArray<double, 3>& x) {
  double u1 = 0.0, u2 = 0.0, s = 0.0;
  polar_pair(runtime_rng::uniform, u1, u2, s);
  const double root = 2.0 * std::sqrt(1.0 - s);
  x(1) = u1 * root;
  x(2) = u2 * root;
  x(3) = 1.0 - 2.0 * s;
}

void ranseed(int32_t& seed) {
  const sysclock::LocalTime t = sysclock::local_time();
  seed = -((100000 * t.tm.tm_min + 1000 * t.tm.tm_sec + t.ms) % 999999);
}

void rand_seed() {
  const sysclock::LocalTime t = sysclock::local_time();
  // The fastest-changing values first: the runtime generator's first draws depend most on the
  // leading seed values.
  runtime_rng::seed_array({t.ms,
                           t.tm.tm_sec,
                           t.tm.tm_min,
                           t.tm.tm_hour,
                           t.tm.tm_mday,
                           t.tm.tm_mon + 1,
                           t.tm.tm_year + 1900,
                           static_cast<int32_t>(t.tm.tm_gmtoff / 60)});
}

void reset_random() {
  randum_state = RandumState{};
  gasdev_state = GasdevState{};
  kiss_state = Kiss64State{};
}

}  // namespace nrutil
