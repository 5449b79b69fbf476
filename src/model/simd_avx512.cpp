// The kernels of the AVX-512 level (F, DQ, VL, BW, with AVX2 and FMA); compiled for it alone,
// run only where the processor has it.
#define SIMD_NS avx512
#define SIMD_W 8
#define SIMD_VT __m512d
#define SIMD_SLEEF(f) Sleef_##f##d8_u10avx512f
// The masked forms: GCC 12's unmasked ones read an uninitialised register in its header.
#define SIMD_SQRT(x) _mm512_mask_sqrt_pd(x, 0xff, x)
#define SIMD_MOVEMASK(m) _mm512_movepi64_mask((__m512i)(m))
#define SIMD_SET1(x) _mm512_set1_pd(x)
#define SIMD_MAX(a, b) _mm512_mask_max_pd(a, 0xff, a, b)
#define SIMD_MIN(a, b) _mm512_mask_min_pd(a, 0xff, a, b)
#define SIMD_LOAD_FIRST(p, k) _mm512_maskz_loadu_pd((__mmask8)((1u << (k)) - 1u), p)
#define SIMD_STORE_FIRST(p, v, k) _mm512_mask_storeu_pd(p, (__mmask8)((1u << (k)) - 1u), v)
// Vectors per tile of the row program (simd_rows.inc).
#define SIMD_T 16
#define SIMD_LEVEL Level::Avx512
#define SIMD_TABLE kAvx512
#include "model/simd_kernels.inc"
