// The formula evaluator: runs one compiled formula on its own stack for one set of values.
//
// Every operation an optimiser's trial values could break is guarded and gives a fixed finite
// value (division by zero, powers of zero, overflowing exponentials, logarithms and square
// roots of zero or negative numbers); only ASIN and ACOS outside [-1, 1] stop the evaluation,
// with the result 0 and evalerrtype 4. This is the innermost loop of every fit: it allocates
// nothing and takes squares and cubes by multiplication.
//
// The elementary functions and their guards are the vector kernels of module `simd`: evalf
// calls their one-value entries, evalf_rows runs the whole program in the kernels over blocks
// of rows, and both therefore give the same bits for every row.
#include <algorithm>
#include <cmath>

#include "model/fparser.hpp"
#include "model/omegawo.hpp"
#include "model/simd.hpp"

namespace fparser {
namespace {

constexpr double kEps = 2.220446049250313e-16;

// The first value of v on a 64-byte boundary (v has 8 values to spare): whole vectors of every
// level then never straddle a cache line.
double* aligned(double* v) {
  const auto at = reinterpret_cast<uintptr_t>(v);
  return v + ((64 - at % 64) % 64) / sizeof(double);
}

}  // namespace

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
  c.names.assign(static_cast<size_t>(names), NameSource{});
  // One row vector per stack entry and one for the top.
  // 8 more values than the entries need, so that they can start on a 64-byte boundary.
  c.block.assign(static_cast<size_t>(c.stacksize + 1) * kBlockRows + 8, 0.0);
  c.slots.assign(static_cast<size_t>(c.stacksize + 1), Slot{});
  c.stopped.assign(c.may_stop ? kBlockRows : 0, 0);
  c.tail.assign(static_cast<size_t>(names) * kBlockRows + 8, 0.0);
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
  VARQEN_BINARY(fn.pow(a, top));
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
  VARQEN_UNARY(fn.exp(top));
op_log10:
  VARQEN_UNARY(fn.log10(top));
op_log:
  VARQEN_UNARY(fn.log(top));
op_sqrt:
  VARQEN_UNARY(fn.sqrt(top));
op_sinh:
  VARQEN_UNARY(fn.sinh(top));
op_cosh:
  VARQEN_UNARY(fn.cosh(top));
op_tanh:
  VARQEN_UNARY(fn.tanh(top));
op_sin:
  VARQEN_UNARY(fn.sin(top));
op_cos:
  VARQEN_UNARY(fn.cos(top));
op_tan:
  VARQEN_UNARY(fn.tan(top));
op_asin:
op_acos:
  if (top < -1.0 || top > 1.0) {
    evalerrtype = 4;
    return 0.0;
  }
  VARQEN_UNARY(ip->op == kAsin ? fn.asin(top) : fn.acos(top));
op_atan:
  VARQEN_UNARY(fn.atan(top));
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
  VARQEN_UNARY(fn.pow(top, value[ip->k]));
op_add_imm:
  VARQEN_UNARY(top + ip->v);
op_sub_imm:
  VARQEN_UNARY(top - ip->v);
op_mul_imm:
  VARQEN_UNARY(top * ip->v);
op_div_imm:
  VARQEN_UNARY(top / (ip->v == 0.0 ? 1e-9 : ip->v));
op_pow_imm:
  VARQEN_UNARY(fn.pow(top, ip->v));
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

// --- Many rows per instruction ----------------------------------------------------------
//
// evalf_rows runs the same program with a stack of row vectors in the kernels of module simd:
// every element goes through exactly the expression evalf applies to its top of stack, so each
// row's value is identical. A row stopped by ASIN or ACOS is marked and gives 0 at the end,
// however the later instructions treat its (then meaningless) values.

void evalf_rows(int32_t i,
                std::span<const double> consts,
                std::span<const double* const> cols,
                int32_t count,
                double* out) {
  Tcomp& c = comp(i);
  if (c.program.empty()) {
    std::fill(out, out + std::max(count, 0), 0.0);
    return;
  }
  // Where each name of the program reads; a name beyond the supplied values takes the last
  // one, and none given reads 0. The program reads at most as many names as padded holds.
  const size_t nconst = consts.size();
  const size_t total = nconst + cols.size();
  const simd::Kernels& fn = *simd::active;
  fparser::Block b;
  b.program = c.program.data();
  b.names = c.names.data();
  b.stack = aligned(c.block.data());
  b.slots = c.slots.data();
  b.stopped = c.stopped.data();
  b.may_stop = c.may_stop;
  for (int32_t start = 0; start < count; start += kBlockRows) {
    const int32_t n = std::min(kBlockRows, count - start);
    // The kernels read whole vectors: a short block reads its columns from padded copies.
    const bool short_block = n < kBlockRows;
    for (size_t k = 0; k < c.names.size(); ++k) {
      if (total == 0) {
        c.names[k] = NameSource{};
        continue;
      }
      const size_t src = std::min(k, total - 1);
      if (src < nconst) {
        c.names[k] = NameSource{nullptr, consts[src]};
      } else if (short_block) {
        double* pad = aligned(c.tail.data()) + k * kBlockRows;
        std::copy(cols[src - nconst] + start, cols[src - nconst] + start + n, pad);
        c.names[k] = NameSource{pad, 0.0};
      } else {
        c.names[k] = NameSource{cols[src - nconst] + start, 0.0};
      }
    }
    b.n = n;
    b.out = out + start;
    fn.run_block(b);
  }
  if (count > 0)
    evalerrtype =
        c.may_stop && c.stopped[static_cast<size_t>((count - 1) % kBlockRows)] != 0 ? 4 : 0;
}

}  // namespace fparser
