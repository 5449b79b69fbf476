// The native models of formula_bench at the SSE2 level.
#define NATIVE_NS sse2
#define NATIVE_W 2
#define NATIVE_VT __m128d
#define NATIVE_SLEEF(f) Sleef_##f##d2_u10sse2
#define NATIVE_TABLE kSse2
#include "formula_native.inc"
