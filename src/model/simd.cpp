#include "model/simd.hpp"

namespace simd {
namespace {

bool has_avx2() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool has_avx512() {
  return has_avx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
}

const Kernels& table(Level l) {
  switch (l) {
    case Level::Avx512:
      return kAvx512;
    case Level::Avx2:
      return kAvx2;
    default:
      return kSse2;
  }
}

}  // namespace

// Constant-initialised to the baseline, so that a formula evaluated during another module's
// static initialisation has kernels; the best level is chosen when this file's dynamic
// initialisation runs, before main.
const Kernels* active = &kSse2;
[[maybe_unused]] static const bool chosen = set_level(best_level());

Level best_level() {
  __builtin_cpu_init();
  if (has_avx512()) return Level::Avx512;
  if (has_avx2()) return Level::Avx2;
  return Level::Sse2;
}

bool supported(Level l) {
  __builtin_cpu_init();
  switch (l) {
    case Level::Avx512:
      return has_avx512();
    case Level::Avx2:
      return has_avx2();
    default:
      return true;
  }
}

bool set_level(Level l) {
  if (!supported(l)) return false;
  active = &table(l);
  return true;
}

const char* to_string(Level l) {
  switch (l) {
    case Level::Avx512:
      return "AVX-512";
    case Level::Avx2:
      return "AVX2";
    default:
      return "SSE2";
  }
}

}  // namespace simd
