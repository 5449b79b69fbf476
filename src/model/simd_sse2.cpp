// The kernels of the SSE2 level (the x86-64 baseline; SLEEF's variant without FMA, and the
// platform's libm for the functions listed below).
#define SIMD_NS sse2
#define SIMD_W 2
#define SIMD_VT __m128d
#define SIMD_SLEEF(f) Sleef_##f##d2_u10sse2
#define SIMD_SQRT(x) _mm_sqrt_pd(x)
#define SIMD_MOVEMASK(m) _mm_movemask_pd((__m128d)(m))
#define SIMD_SET1(x) _mm_set1_pd(x)
#define SIMD_MAX(a, b) _mm_max_pd(a, b)
#define SIMD_MIN(a, b) _mm_min_pd(a, b)
// Lane 0 alone: a part of a vector of two is one value.
#define SIMD_LOAD_FIRST(p, k) _mm_load_sd(p)
#define SIMD_STORE_FIRST(p, v, k) _mm_store_sd(p, v)
// The functions taken from libm: at this level SLEEF's two-lane form of each costs more per
// value than libm's scalar function (bench/simd_bench.cpp; POW 2.2-2.5 times, ATAN 2.4,
// LOG 1.7, TAN 1.8 on a processor with AVX-512), and the one-value entries of evalf pay for
// one value instead of two. EXP stays with SLEEF, whose two lanes cost less than two calls of
// libm's; so do SINH, COSH, TANH and LOG10, for which libm does not keep within 1 ulp.
#define SIMD_LIBM_FNS (kFnLog | kFnPow | kFnSin | kFnCos | kFnTan | kFnAsin | kFnAcos | kFnAtan)
// Vectors per tile of the row program (simd_rows.inc).
#define SIMD_T 8
#define SIMD_LEVEL Level::Sse2
#define SIMD_TABLE kSse2
#include "model/simd_kernels.inc"
