// The native models of formula_bench at the AVX2 level.
#define NATIVE_NS avx2
#define NATIVE_W 4
#define NATIVE_VT __m256d
#define NATIVE_SLEEF(f) Sleef_##f##d4_u10avx2
#define NATIVE_TABLE kAvx2
#include "formula_native.inc"
