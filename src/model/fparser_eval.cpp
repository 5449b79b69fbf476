// The formula evaluator: runs one compiled formula on its own stack for one set of values.
//
// Every operation an optimiser's trial values could break is guarded and gives a fixed finite
// value (division by zero, powers of zero, overflowing exponentials, logarithms and square
// roots of zero or negative numbers); only ASIN and ACOS outside [-1, 1] stop the evaluation,
// with the result 0 and evalerrtype 4. This is the innermost loop of every fit: it allocates
// nothing and takes squares and cubes by multiplication.
#include <cmath>

#include "model/fparser.hpp"
#include "model/omegawo.hpp"
#include "model/operators.hpp"
#include "numerics/nrutil.hpp"

namespace fparser {
namespace {

constexpr double kEps = 2.220446049250313e-16;
constexpr double kExpHi = 5.54062238439351e34;     // e^80
constexpr double kExpLo = 1.8048513878454153e-35;  // e^-80
constexpr double kTwo52 = 4503599627370496.0;      // 2^52

double power(double a, double b) {
  if (std::fabs(a) <= kEps) return kEps;
  if (std::fabs(b) <= kEps) return 1.0;
  if (b == 2.0) return a * a;
  if (b == 3.0) return a * a * a;
  return std::pow(a, b);
}

double protected_exp(double x) {
  // A not-a-number or a value too large to hold a unit becomes 0.
  nrutil::rval_nan(x, 0.0);
  x = std::fmin(std::fmax(x, -80.0), 80.0);
  if (std::fabs(x) <= kEps) return 1.0;
  if (x >= 80.0) return kExpHi;
  if (x <= -80.0) return kExpLo;
  return std::exp(x);
}

double protected_log10(double x) {
  if (std::fabs(x) <= kEps) return -16.0;
  const double l = std::log10(std::fabs(x));
  return x < 0.0 ? -l : l;
}

// LOG(-x) = -LOG(x), with clamps at +-36.
double protected_log(double x) {
  if (std::isnan(x)) return -36.0;
  if (std::isinf(x)) return 36.0;
  if (x >= 0.0 && x <= kEps) return -36.0;
  if (x < 0.0 && x >= -kEps) return 36.0;
  if (x >= kTwo52) return 36.0;
  if (x <= -kTwo52) return -36.0;
  const double l = operators::aln(x);
  return x < 0.0 ? -l : l;
}

double protected_tanh(double x) {
  if (x >= -1e-9 && x <= 1e-9) return 1e-9;
  if (x >= 1e9) return 1.0;
  if (x <= -1e9) return -1.0;
  return std::tanh(x);
}

}  // namespace

double evalf(int32_t i, std::span<const double> values) {
  Tcomp& c = comp(i);
  // A slot without a compiled formula has nothing to evaluate.
  if (c.bytecodesize == 0) return 0.0;
  const int32_t* code = c.bytecode.data();
  const double* immed = c.immed.data();
  double* s = c.stack.data();  // s[sp - 1] is the top
  int32_t sp = 0;
  int32_t dp = 0;
  const size_t nvalues = values.size();
  for (int32_t ip = 0; ip < c.bytecodesize; ++ip) {
    const int32_t op = code[ip];
    switch (op) {
      case kImmed:
        s[sp++] = immed[dp++];
        break;
      case kNeg:
        s[sp - 1] = -s[sp - 1];
        break;
      case kAdd:
        --sp, s[sp - 1] += s[sp];
        break;
      case kSub:
        --sp, s[sp - 1] -= s[sp];
        break;
      case kMul:
        --sp, s[sp - 1] *= s[sp];
        break;
      case kDiv:
        --sp, s[sp - 1] /= (s[sp] == 0.0 ? 1e-9 : s[sp]);
        break;
      case kPow:
        --sp, s[sp - 1] = power(s[sp - 1], s[sp]);
        break;
      case kEq:
        --sp, s[sp - 1] = s[sp - 1] == s[sp] ? 1.0 : 0.0;
        break;
      case kNe:
        --sp, s[sp - 1] = s[sp - 1] == s[sp] ? 0.0 : 1.0;
        break;
      case kLt:
        --sp, s[sp - 1] = s[sp - 1] < s[sp] ? 1.0 : 0.0;
        break;
      case kLe:
        --sp, s[sp - 1] = s[sp - 1] <= s[sp] ? 1.0 : 0.0;
        break;
      case kGt:
        --sp, s[sp - 1] = s[sp - 1] > s[sp] ? 1.0 : 0.0;
        break;
      case kGe:
        --sp, s[sp - 1] = s[sp - 1] >= s[sp] ? 1.0 : 0.0;
        break;
      case kMin:
        --sp, s[sp - 1] = s[sp] < s[sp - 1] ? s[sp] : s[sp - 1];
        break;
      case kMax:
        --sp, s[sp - 1] = s[sp] > s[sp - 1] ? s[sp] : s[sp - 1];
        break;
      case kAbs:
        s[sp - 1] = std::fabs(s[sp - 1]);
        break;
      case kExp:
        s[sp - 1] = protected_exp(s[sp - 1]);
        break;
      case kLog10:
        s[sp - 1] = protected_log10(s[sp - 1]);
        break;
      case kLog:
        s[sp - 1] = protected_log(s[sp - 1]);
        break;
      case kSqrt:
        s[sp - 1] = operators::sqroot(std::fabs(s[sp - 1]));
        break;
      case kSinh:
        s[sp - 1] = std::sinh(s[sp - 1]);
        break;
      case kCosh:
        s[sp - 1] = std::cosh(s[sp - 1]);
        break;
      case kTanh:
        s[sp - 1] = protected_tanh(s[sp - 1]);
        break;
      case kSin:
        s[sp - 1] = std::sin(s[sp - 1]);
        break;
      case kCos:
        s[sp - 1] = std::cos(s[sp - 1]);
        break;
      case kTan:
        s[sp - 1] = std::tan(s[sp - 1]);
        break;
      case kAsin:
      case kAcos:
        if (s[sp - 1] < -1.0 || s[sp - 1] > 1.0) {
          evalerrtype = 4;
          return 0.0;
        }
        s[sp - 1] = op == kAsin ? std::asin(s[sp - 1]) : std::acos(s[sp - 1]);
        break;
      case kAtan:
        s[sp - 1] = std::atan(s[sp - 1]);
        break;
      case kRd:
        s[sp - 1] = std::round(s[sp - 1]);
        break;
      case kOmegw:
        s[sp - 1] = omegawo(s[sp - 1]);
        break;
      default: {
        // A name beyond the supplied values takes the last one.
        const size_t k = static_cast<size_t>(op - kVarBegin);
        s[sp++] = nvalues == 0 ? 0.0 : values[k < nvalues ? k : nvalues - 1];
        break;
      }
    }
  }
  evalerrtype = 0;
  return s[0];
}

}  // namespace fparser
