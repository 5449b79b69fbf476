// The formula evaluator: runs one compiled formula on its own stack for one set of values.
//
// Every operation an optimiser's trial values could break is guarded and gives a fixed finite
// value (division by zero, powers of zero, overflowing exponentials, logarithms and square
// roots of zero or negative numbers); only ASIN and ACOS outside [-1, 1] stop the evaluation,
// with the result 0 and evalerrtype 4. This is the innermost loop of every fit: it allocates
// nothing and takes squares and cubes by multiplication.
#include <algorithm>
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

// Operations of the evaluator's program: the bytecode's own codes 1..31, then a push of a
// name, the five arithmetic operators with a name or a number as right operand, squares and
// cubes of the top, and the end mark.
enum : int32_t {
  kDone = 0,
  kVar = kVarBegin,
  kAddVar,
  kSubVar,
  kMulVar,
  kDivVar,
  kPowVar,
  kAddImm,
  kSubImm,
  kMulImm,
  kDivImm,
  kPowImm,
  kSquare,
  kCube,
  kOpCount
};

void prepare_program(Tcomp& c, bool fuse) {
  c.program.clear();
  int32_t dp = 1;
  for (int32_t ip = 1; ip <= c.bytecodesize; ++ip) {
    const int32_t code = c.bytecode(ip);
    Instr in;
    if (code == kImmed || code >= kVarBegin) {
      const bool imm = code == kImmed;
      if (imm) in.v = c.immed(dp++);
      in.k = imm ? 0 : code - kVarBegin;
      const int32_t next = ip < c.bytecodesize ? c.bytecode(ip + 1) : 0;
      if (fuse && next >= kAdd && next <= kPow) {
        // push b; a OP b  ->  a OP= b
        in.op = (imm ? kAddImm : kAddVar) + (next - kAdd);
        if (imm && next == kPow && in.v == 2.0) in.op = kSquare;
        if (imm && next == kPow && in.v == 3.0) in.op = kCube;
        ++ip;
      } else {
        in.op = imm ? kImmed : kVar;
      }
    } else {
      in.op = code;
    }
    c.program.push_back(in);
  }
  c.program.push_back(Instr{kDone, 0, 0.0});
  int32_t names = 0;
  for (const Instr& in : c.program) {
    if (in.op == kVar || (in.op >= kAddVar && in.op <= kPowVar)) names = std::max(names, in.k + 1);
  }
  c.padded.assign(static_cast<size_t>(names), 0.0);
}

// Threaded dispatch (a jump to the next instruction's label at the end of each one) with the
// top of the stack held in a register: the stack array holds the values below it, so a binary
// operator reads one value from memory and a function none.
double evalf(int32_t i, std::span<const double> values) {
  Tcomp& c = comp(i);
  // A slot without a compiled formula has nothing to evaluate.
  if (c.program.empty()) return 0.0;
  static const void* const kLabels[kOpCount] = {
      &&op_done,    &&op_immed,   &&op_neg,     &&op_add,     &&op_sub,     &&op_mul,
      &&op_div,     &&op_pow,     &&op_eq,      &&op_ne,      &&op_lt,      &&op_le,
      &&op_gt,      &&op_ge,      &&op_min,     &&op_max,     &&op_abs,     &&op_exp,
      &&op_log10,   &&op_log,     &&op_sqrt,    &&op_sinh,    &&op_cosh,    &&op_tanh,
      &&op_sin,     &&op_cos,     &&op_tan,     &&op_asin,    &&op_acos,    &&op_atan,
      &&op_rd,      &&op_omegw,   &&op_var,     &&op_add_var, &&op_sub_var, &&op_mul_var,
      &&op_div_var, &&op_pow_var, &&op_add_imm, &&op_sub_imm, &&op_mul_imm, &&op_div_imm,
      &&op_pow_imm, &&op_square,  &&op_cube};
  const Instr* ip = c.program.data();
  // Below the top: s[0 .. sp-1]; the first push stores the unset top in s[0], so depth d
  // needs d entries, which stacksize provides.
  double* s = c.stack.data();
  int32_t sp = 0;
  double top = 0.0;
  // A name beyond the supplied values takes the last one (0 when none is given): such a call
  // reads a padded copy, so the instructions index without a check.
  const double* value = values.data();
  if (values.size() < c.padded.size()) {
    for (size_t k = 0; k < c.padded.size(); ++k) {
      c.padded[k] = values.empty() ? 0.0 : values[std::min(k, values.size() - 1)];
    }
    value = c.padded.data();
  }

#define VARQEN_NEXT goto* kLabels[(++ip)->op]
#define VARQEN_BINARY(expr)   \
  do {                        \
    const double a = s[--sp]; \
    top = (expr);             \
    VARQEN_NEXT;              \
  } while (0)
#define VARQEN_UNARY(expr) \
  do {                     \
    top = (expr);          \
    VARQEN_NEXT;           \
  } while (0)

  goto* kLabels[ip->op];
op_var:
  s[sp++] = top;
  top = value[ip->k];
  VARQEN_NEXT;
op_immed:
  s[sp++] = top;
  top = ip->v;
  VARQEN_NEXT;
op_neg:
  VARQEN_UNARY(-top);
op_add:
  VARQEN_BINARY(a + top);
op_sub:
  VARQEN_BINARY(a - top);
op_mul:
  VARQEN_BINARY(a * top);
op_div:
  VARQEN_BINARY(a / (top == 0.0 ? 1e-9 : top));
op_pow:
  VARQEN_BINARY(power(a, top));
op_eq:
  VARQEN_BINARY(a == top ? 1.0 : 0.0);
op_ne:
  VARQEN_BINARY(a == top ? 0.0 : 1.0);
op_lt:
  VARQEN_BINARY(a < top ? 1.0 : 0.0);
op_le:
  VARQEN_BINARY(a <= top ? 1.0 : 0.0);
op_gt:
  VARQEN_BINARY(a > top ? 1.0 : 0.0);
op_ge:
  VARQEN_BINARY(a >= top ? 1.0 : 0.0);
op_min:
  VARQEN_BINARY(top < a ? top : a);
op_max:
  VARQEN_BINARY(top > a ? top : a);
op_abs:
  VARQEN_UNARY(std::fabs(top));
op_exp:
  VARQEN_UNARY(protected_exp(top));
op_log10:
  VARQEN_UNARY(protected_log10(top));
op_log:
  VARQEN_UNARY(protected_log(top));
op_sqrt:
  VARQEN_UNARY(operators::sqroot(std::fabs(top)));
op_sinh:
  VARQEN_UNARY(std::sinh(top));
op_cosh:
  VARQEN_UNARY(std::cosh(top));
op_tanh:
  VARQEN_UNARY(protected_tanh(top));
op_sin:
  VARQEN_UNARY(std::sin(top));
op_cos:
  VARQEN_UNARY(std::cos(top));
op_tan:
  VARQEN_UNARY(std::tan(top));
op_asin:
op_acos:
  if (top < -1.0 || top > 1.0) {
    evalerrtype = 4;
    return 0.0;
  }
  VARQEN_UNARY(ip->op == kAsin ? std::asin(top) : std::acos(top));
op_atan:
  VARQEN_UNARY(std::atan(top));
op_rd:
  VARQEN_UNARY(std::round(top));
op_omegw:
  VARQEN_UNARY(omegawo(top));
op_add_var:
  VARQEN_UNARY(top + value[ip->k]);
op_sub_var:
  VARQEN_UNARY(top - value[ip->k]);
op_mul_var:
  VARQEN_UNARY(top * value[ip->k]);
op_div_var : {
  const double b = value[ip->k];
  VARQEN_UNARY(top / (b == 0.0 ? 1e-9 : b));
}
op_pow_var:
  VARQEN_UNARY(power(top, value[ip->k]));
op_add_imm:
  VARQEN_UNARY(top + ip->v);
op_sub_imm:
  VARQEN_UNARY(top - ip->v);
op_mul_imm:
  VARQEN_UNARY(top * ip->v);
op_div_imm:
  VARQEN_UNARY(top / (ip->v == 0.0 ? 1e-9 : ip->v));
op_pow_imm:
  VARQEN_UNARY(power(top, ip->v));
op_square:
  VARQEN_UNARY(std::fabs(top) <= kEps ? kEps : top * top);
op_cube:
  VARQEN_UNARY(std::fabs(top) <= kEps ? kEps : top * top * top);

#undef VARQEN_UNARY
#undef VARQEN_BINARY
#undef VARQEN_NEXT
op_done:
  evalerrtype = 0;
  return top;
}

}  // namespace fparser
