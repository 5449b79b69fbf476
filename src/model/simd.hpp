// Elementary functions of the formula evaluator on whole vectors, with runtime dispatch to the
// widest instruction set the processor has.
//
// The functions come from SLEEF [1] (its 1.0-ulp variants), one build per level: SSE2 (the
// x86-64 baseline; 2 lanes, no fused multiply-add), AVX2 with FMA (4 lanes) and AVX-512
// (8 lanes). At the SSE2 level LOG, "^", the trigonometric functions and their inverses come
// from the platform's libm instead, one lane at a time: there SLEEF's two-lane forms cost more
// than two scalar calls (simd_sse2.cpp). Each level is a table of kernels compiled for it alone
// (simd_<level>.cpp); the program itself stays built for the baseline. The protected functions of
// the formula language keep their guards (the e^80 bounds of EXP, the clamps of LOG and LOG10, the
// small-argument values of SQRT and TANH, the special exponents of "^") around the library call,
// in vector form.
//
// Within one level every function is a pure function of each lane: the one-value entries
// (used by fparser::evalf and operators::aln) run the same vector code as the row runner, so
// one row evaluated alone and the same row inside a tile give the same bits. Between levels the
// library's results may differ in the last bit (SLEEF contracts with FMA where the processor has
// it; libm has its own algorithms), always within 1 ulp of the exact value; the arithmetic
// operators are plain IEEE operations and agree at every level.
//
// [1] N. Shibata, F. Petrogalli, "SLEEF: A Portable Vectorized Library of C Standard
//     Mathematical Functions", IEEE TPDS 31(6), 2020.
#pragma once

#include <cstdint>

#include "model/fparser_program.hpp"

namespace simd {

enum class Level : int32_t { Sse2 = 0, Avx2 = 1, Avx512 = 2 };

// The kernels of one level. The one-value functions are the formula language's functions with
// their guards (fparser_eval.cpp documents each).
struct Kernels {
  Level level;
  int32_t lanes;  // doubles per vector
  double (*exp)(double);
  double (*log)(double);    // LOG: ln|x| with the sign of x and its clamps
  double (*aln)(double);    // operators::aln: ln|x| with its clamps
  double (*log10)(double);  // LOG10
  double (*sqrt)(double);   // SQRT: operators::sqroot of |x|
  double (*tanh)(double);
  double (*pow)(double, double);  // "^"
  double (*sinh)(double);
  double (*cosh)(double);
  double (*sin)(double);
  double (*cos)(double);
  double (*tan)(double);
  double (*asin)(double);  // the caller checks the range [-1, 1]
  double (*acos)(double);
  double (*atan)(double);
  // Runs a row program over job.n rows (fparser_program.hpp).
  void (*run_rows)(fparser::RowsJob& job);
  // The model front end's guard of n row values (n >= 0), in place: a value that is not a
  // number or too large to hold a unit (v - 1 == v) becomes 4.440892098500626e-16, then the
  // value is clamped to +-2251799813685248 (limits::kNan, limits::kBound).
  void (*limit_values)(double* v, int32_t n);
  // The model evaluator's pass over n rows (any n >= 0) of formula values v, for unit sigmas:
  // yf(i) = v(i) through limit_values' guard, then with a value that is not a number or too
  // large to hold a unit replaced by 2.2204460492503132e-20 and clamped to
  // +-4.503599727262001e19; r(i) = y(i) - yf(i), and the stores ydf := yf, yres := r, ysig := 1. Returns sum r(i)^2 and puts sum |r(i)| into abs_sum, each accumulated
  // in eight interleaved partial sums (row i into sum i mod 8) that are added in a fixed order,
  // so the sums do not depend on the level.
  double (*residuals)(const double* v,
                      const double* y,
                      int32_t n,
                      double* yf,
                      double* ydf,
                      double* yres,
                      double* ysig,
                      double& abs_sum);
  // The sigmas of weighting mode 4 (StdDev / Residual) of the n residuals r, sd their
  // standard deviation (> 0): s(i) = sqrt(|r(i)| / sd), and 1 where that lies below 1e-6 or
  // above 1e6 in magnitude (a not-a-number stays).
  void (*stdev_sigmas)(const double* r, int32_t n, double sd, double* s);
  // sum (r(i) / s(i))^2 over n rows, in the partial sums and order of residuals.
  double (*weighted_squares)(const double* r, const double* s, int32_t n);
};

// The tables of the three levels (defined in simd_sse2.cpp, simd_avx2.cpp, simd_avx512.cpp).
extern const Kernels kSse2;
extern const Kernels kAvx2;
extern const Kernels kAvx512;

// The kernels in use: the best level at start-up, or what set_level chose.
extern const Kernels* active;

// The widest level this processor (and its operating system) supports.
Level best_level();
// Whether the processor supports level l.
bool supported(Level l);
// Switches to level l when supported (returns false and changes nothing otherwise). For tests
// and benchmarks; a fit never changes level.
bool set_level(Level l);
// "SSE2", "AVX2", "AVX-512".
const char* to_string(Level l);

}  // namespace simd
