// The native models of formula_bench at the AVX512 level.
#define NATIVE_NS avx512
#define NATIVE_W 8
#define NATIVE_VT __m512d
#define NATIVE_SLEEF(f) Sleef_##f##d8_u10avx512f
#define NATIVE_TABLE kAvx512
#include "formula_native.inc"
