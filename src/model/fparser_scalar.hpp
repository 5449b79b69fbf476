// The formula language's operations on one value, as fparser::evalf applies them to its top of
// stack; evalf_rows folds the values that depend on the caller's constants alone with the same
// functions, so a folded value is the value evalf computes.
#pragma once

#include <cmath>
#include <cstdint>

#include "model/fparser_program.hpp"
#include "model/omegawo.hpp"
#include "model/simd.hpp"

namespace fparser::scalar {

inline constexpr double kEps = 2.220446049250313e-16;

// f(x) for a function code kNeg, kAbs .. kOmegw, kSquare or kCube. ASIN and ACOS outside
// [-1, 1] set stop and give x.
[[gnu::always_inline]] inline double unary(int32_t op,
                                           double x,
                                           const simd::Kernels& fn,
                                           bool& stop) {
  switch (op) {
    case kNeg:
      return -x;
    case kAbs:
      return std::fabs(x);
    case kExp:
      return fn.exp(x);
    case kLog10:
      return fn.log10(x);
    case kLog:
      return fn.log(x);
    case kSqrt:
      return fn.sqrt(x);
    case kSinh:
      return fn.sinh(x);
    case kCosh:
      return fn.cosh(x);
    case kTanh:
      return fn.tanh(x);
    case kSin:
      return fn.sin(x);
    case kCos:
      return fn.cos(x);
    case kTan:
      return fn.tan(x);
    case kAsin:
    case kAcos:
      if (x < -1.0 || x > 1.0) {
        stop = true;
        return x;
      }
      return op == kAsin ? fn.asin(x) : fn.acos(x);
    case kAtan:
      return fn.atan(x);
    case kRd:
      return std::round(x);
    case kOmegw:
      return omegawo(x);
    case kSquare:  // a ^ 2 and a ^ 3 by multiplication, with the guard of "^"
      return std::fabs(x) <= kEps ? kEps : x * x;
    case kCube:
      return std::fabs(x) <= kEps ? kEps : x * x * x;
    default:
      return x;
  }
}

// a op b for an operator code kAdd .. kMax.
[[gnu::always_inline]] inline double binary(int32_t op,
                                            double a,
                                            double b,
                                            const simd::Kernels& fn) {
  switch (op) {
    case kAdd:
      return a + b;
    case kSub:
      return a - b;
    case kMul:
      return a * b;
    case kDiv:  // no division by zero
      return a / (b == 0.0 ? 1e-9 : b);
    case kPow:
      return fn.pow(a, b);
    case kEq:
      return a == b ? 1.0 : 0.0;
    case kNe:
      return a == b ? 0.0 : 1.0;
    case kLt:
      return a < b ? 1.0 : 0.0;
    case kLe:
      return a <= b ? 1.0 : 0.0;
    case kGt:
      return a > b ? 1.0 : 0.0;
    case kGe:
      return a >= b ? 1.0 : 0.0;
    case kMin:
      return b < a ? b : a;
    case kMax:
      return b > a ? b : a;
    default:
      return b;
  }
}

}  // namespace fparser::scalar
