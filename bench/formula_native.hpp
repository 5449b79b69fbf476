// The models of formula_bench as native C++ over blocks of rows, with vector arithmetic and the
// formula evaluator's vector library (SLEEF) at a given instruction-set level: what a hand-written
// loop can reach, the honest limit for fparser::evalf_rows. One build per level
// (formula_native_<level>.cpp), like the evaluator's kernels.
#pragma once

#include <cstdint>

#include "model/simd.hpp"

namespace formula_native {

// Model values of rows 0..n-1 into out. x and out must hold n rounded up to 8 values.
using Block = void (*)(const double* p, const double* x, int32_t n, double* out);

struct Models {
  Block misra1a, mgh09, thurber, gauss1, bennett5;
};

extern const Models kSse2, kAvx2, kAvx512;

inline const Models& at(simd::Level l) {
  return l == simd::Level::Avx512 ? kAvx512 : l == simd::Level::Avx2 ? kAvx2 : kSse2;
}

}  // namespace formula_native
