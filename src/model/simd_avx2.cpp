// The kernels of the AVX2 level (with FMA); compiled with -mavx2 -mfma, run only where the
// processor has both.
#define SIMD_NS avx2
#define SIMD_W 4
#define SIMD_VT __m256d
#define SIMD_SLEEF(f) Sleef_##f##d4_u10avx2
#define SIMD_SQRT(x) _mm256_sqrt_pd(x)
#define SIMD_MOVEMASK(m) _mm256_movemask_pd((__m256d)(m))
#define SIMD_SET1(x) _mm256_set1_pd(x)
#define SIMD_MAX(a, b) _mm256_max_pd(a, b)
#define SIMD_MIN(a, b) _mm256_min_pd(a, b)
#define SIMD_FIRST_MASK(k) _mm256_cmpgt_epi64(_mm256_set1_epi64x(k), _mm256_setr_epi64x(0, 1, 2, 3))
#define SIMD_LOAD_FIRST(p, k) _mm256_maskload_pd(p, SIMD_FIRST_MASK(k))
#define SIMD_STORE_FIRST(p, v, k) _mm256_maskstore_pd(p, SIMD_FIRST_MASK(k), v)
// Vectors per tile of the row program (simd_rows.inc).
#define SIMD_T 8
#define SIMD_LEVEL Level::Avx2
#define SIMD_TABLE kAvx2
#include "model/simd_kernels.inc"
