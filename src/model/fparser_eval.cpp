// The formula evaluator: runs one compiled formula on its own stack for one set of values.
//
// Every operation an optimiser's trial values could break is guarded and gives a fixed finite
// value (division by zero, powers of zero, overflowing exponentials, logarithms and square
// roots of zero or negative numbers); only ASIN and ACOS outside [-1, 1] stop the evaluation,
// with the result 0 and evalerrtype 4. This is the innermost loop of every fit: it allocates
// nothing and takes squares and cubes by multiplication.
//
// The elementary functions and their guards are the vector kernels of module `simd`: evalf
// calls their one-value entries, evalf_rows (fparser_rows.cpp) runs a program derived from the
// same one in the kernels over tiles of rows, and both therefore give the same bits for every
// row.
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/fparser.hpp"
#include "model/fparser_scalar.hpp"
#include "model/simd.hpp"

namespace fparser {

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
  c.may_stop = false;
  for (const Instr& in : c.program) {
    if (in.op == kVar || (in.op >= kAddVar && in.op <= kPowVar)) names = std::max(names, in.k + 1);
    if (in.op == kAsin || in.op == kAcos) c.may_stop = true;
  }
  c.padded.assign(static_cast<size_t>(names), 0.0);
  // The row program is built for the layout of the names that evalf_rows meets first.
  c.layout_consts = -1;
  c.layout_cols = -1;
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
  const simd::Kernels& fn = *simd::active;
  const Instr* ip = c.program.data();
  // Below the top: s[0 .. sp-1]; the first push stores the unset top in s[0], so depth d
  // needs d entries, which stacksize provides.
  double* s = c.stack.data();
  int32_t sp = 0;
  double top = 0.0;
  bool stop = false;  // ASIN or ACOS met an argument outside [-1, 1]
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
  VARQEN_UNARY(scalar::unary(kNeg, top, fn, stop));
op_add:
  VARQEN_BINARY(scalar::binary(kAdd, a, top, fn));
op_sub:
  VARQEN_BINARY(scalar::binary(kSub, a, top, fn));
op_mul:
  VARQEN_BINARY(scalar::binary(kMul, a, top, fn));
op_div:
  VARQEN_BINARY(scalar::binary(kDiv, a, top, fn));
op_pow:
  VARQEN_BINARY(scalar::binary(kPow, a, top, fn));
op_eq:
  VARQEN_BINARY(scalar::binary(kEq, a, top, fn));
op_ne:
  VARQEN_BINARY(scalar::binary(kNe, a, top, fn));
op_lt:
  VARQEN_BINARY(scalar::binary(kLt, a, top, fn));
op_le:
  VARQEN_BINARY(scalar::binary(kLe, a, top, fn));
op_gt:
  VARQEN_BINARY(scalar::binary(kGt, a, top, fn));
op_ge:
  VARQEN_BINARY(scalar::binary(kGe, a, top, fn));
op_min:
  VARQEN_BINARY(scalar::binary(kMin, a, top, fn));
op_max:
  VARQEN_BINARY(scalar::binary(kMax, a, top, fn));
op_abs:
  VARQEN_UNARY(scalar::unary(kAbs, top, fn, stop));
op_exp:
  VARQEN_UNARY(scalar::unary(kExp, top, fn, stop));
op_log10:
  VARQEN_UNARY(scalar::unary(kLog10, top, fn, stop));
op_log:
  VARQEN_UNARY(scalar::unary(kLog, top, fn, stop));
op_sqrt:
  VARQEN_UNARY(scalar::unary(kSqrt, top, fn, stop));
op_sinh:
  VARQEN_UNARY(scalar::unary(kSinh, top, fn, stop));
op_cosh:
  VARQEN_UNARY(scalar::unary(kCosh, top, fn, stop));
op_tanh:
  VARQEN_UNARY(scalar::unary(kTanh, top, fn, stop));
op_sin:
  VARQEN_UNARY(scalar::unary(kSin, top, fn, stop));
op_cos:
  VARQEN_UNARY(scalar::unary(kCos, top, fn, stop));
op_tan:
  VARQEN_UNARY(scalar::unary(kTan, top, fn, stop));
op_asin:
op_acos:
  top = scalar::unary(ip->op, top, fn, stop);
  if (stop) {
    evalerrtype = 4;
    return 0.0;
  }
  VARQEN_NEXT;
op_atan:
  VARQEN_UNARY(scalar::unary(kAtan, top, fn, stop));
op_rd:
  VARQEN_UNARY(scalar::unary(kRd, top, fn, stop));
op_omegw:
  VARQEN_UNARY(scalar::unary(kOmegw, top, fn, stop));
op_add_var:
  VARQEN_UNARY(scalar::binary(kAdd, top, value[ip->k], fn));
op_sub_var:
  VARQEN_UNARY(scalar::binary(kSub, top, value[ip->k], fn));
op_mul_var:
  VARQEN_UNARY(scalar::binary(kMul, top, value[ip->k], fn));
op_div_var:
  VARQEN_UNARY(scalar::binary(kDiv, top, value[ip->k], fn));
op_pow_var:
  VARQEN_UNARY(scalar::binary(kPow, top, value[ip->k], fn));
op_add_imm:
  VARQEN_UNARY(scalar::binary(kAdd, top, ip->v, fn));
op_sub_imm:
  VARQEN_UNARY(scalar::binary(kSub, top, ip->v, fn));
op_mul_imm:
  VARQEN_UNARY(scalar::binary(kMul, top, ip->v, fn));
op_div_imm:
  VARQEN_UNARY(scalar::binary(kDiv, top, ip->v, fn));
op_pow_imm:
  VARQEN_UNARY(scalar::binary(kPow, top, ip->v, fn));
op_square:
  VARQEN_UNARY(scalar::unary(kSquare, top, fn, stop));
op_cube:
  VARQEN_UNARY(scalar::unary(kCube, top, fn, stop));

#undef VARQEN_UNARY
#undef VARQEN_BINARY
#undef VARQEN_NEXT
op_done:
  evalerrtype = 0;
  return top;
}

int32_t evalf_fault(int32_t i, std::span<const double> values) {
  evalerrtype = 0;
  const Tcomp& c = comp(i);
  const simd::Kernels& fn = *simd::active;
  // A name beyond the supplied values takes the last one (0 when none is given), as in evalf.
  auto value = [&](int32_t k) {
    return values.empty() ? 0.0 : values[std::min(size_t(k), values.size() - 1)];
  };
  std::vector<double> stack;
  bool stop = false;
  for (const Instr& in : c.program) {
    double b = 0.0;  // right operand of a binary operator
    int32_t op = in.op;
    if (op == kDone) break;
    if (op == kImmed || op == kVar) {
      stack.push_back(op == kImmed ? in.v : value(in.k));
      continue;
    }
    if (op >= kAdd && op <= kMax) {
      b = stack.back();
      stack.pop_back();
    } else if (op >= kAddVar && op <= kPowVar) {
      b = value(in.k);
      op = kAdd + (op - kAddVar);
    } else if (op >= kAddImm && op <= kPowImm) {
      b = in.v;
      op = kAdd + (op - kAddImm);
    } else {  // a function, the sign, a square or a cube of the top
      stack.back() = scalar::unary(op, stack.back(), fn, stop);
      if (stop) return evalerrtype = 4;
      continue;
    }
    if (op == kDiv && b == 0.0) evalerrtype = 1;
    stack.back() = scalar::binary(op, stack.back(), b, fn);
  }
  return evalerrtype;
}

}  // namespace fparser
