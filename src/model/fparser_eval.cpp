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
  c.may_stop = false;
  for (const Instr& in : c.program) {
    if (in.op == kVar || (in.op >= kAddVar && in.op <= kPowVar)) names = std::max(names, in.k + 1);
    if (in.op == kAsin || in.op == kAcos) c.may_stop = true;
  }
  c.padded.assign(static_cast<size_t>(names), 0.0);
  c.names.assign(static_cast<size_t>(names), NameSource{});
  // One row vector per stack entry and one for the top.
  c.block.assign(static_cast<size_t>(c.stacksize + 1) * kBlockRows, 0.0);
  c.stopped.assign(c.may_stop ? kBlockRows : 0, 0);
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

// --- Many rows per instruction ----------------------------------------------------------
//
// evalf_rows runs the same program with a stack of row vectors: every element goes through
// exactly the expression evalf applies to its top of stack, so each row's value is identical.
// A row stopped by ASIN or ACOS is marked and gives 0 at the end, however the later
// instructions treat its (then meaningless) values.
namespace {

template <class F>
inline void apply_unary(double* t, int32_t n, F f) {
  for (int32_t r = 0; r < n; ++r) t[r] = f(t[r]);
}

// a[r] := f(a[r], t[r]): a is the entry below the top, which becomes the new top.
template <class F>
inline void apply_binary(double* a, const double* t, int32_t n, F f) {
  for (int32_t r = 0; r < n; ++r) a[r] = f(a[r], t[r]);
}

// t[r] := f(t[r], b(r)) with b the name's value of row r.
template <class F>
inline void apply_name(double* t, const NameSource& b, int32_t n, F f) {
  if (b.column == nullptr) {
    const double v = b.value;
    for (int32_t r = 0; r < n; ++r) t[r] = f(t[r], v);
  } else {
    for (int32_t r = 0; r < n; ++r) t[r] = f(t[r], b.column[r]);
  }
}

// One block of n rows; names[k] tells where name k reads. Leaves the values in out.
void run_block(Tcomp& c, const NameSource* names, int32_t n, double* out) {
  double* const base = c.block.data();
  uint8_t* const stopped = c.stopped.data();
  if (c.may_stop) std::fill(stopped, stopped + n, uint8_t{0});
  int32_t sp = 0;  // entries in use; the top is entry sp - 1
  auto entry = [&](int32_t k) { return base + static_cast<size_t>(k) * kBlockRows; };
  for (const Instr& in : c.program) {
    double* t = sp > 0 ? entry(sp - 1) : nullptr;
    switch (in.op) {
      case kDone:
        break;
      case kImmed:
        t = entry(sp++);
        std::fill(t, t + n, in.v);
        break;
      case kVar: {
        t = entry(sp++);
        const NameSource& b = names[in.k];
        if (b.column == nullptr) {
          std::fill(t, t + n, b.value);
        } else {
          std::copy(b.column, b.column + n, t);
        }
        break;
      }
      case kNeg:
        apply_unary(t, n, [](double x) { return -x; });
        break;
      case kAdd:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a + x; });
        break;
      case kSub:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a - x; });
        break;
      case kMul:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a * x; });
        break;
      case kDiv:
        apply_binary(
            entry(--sp - 1), t, n, [](double a, double x) { return a / (x == 0.0 ? 1e-9 : x); });
        break;
      case kPow:
        apply_binary(entry(--sp - 1), t, n, power);
        break;
      case kEq:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a == x ? 1.0 : 0.0; });
        break;
      case kNe:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a == x ? 0.0 : 1.0; });
        break;
      case kLt:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a < x ? 1.0 : 0.0; });
        break;
      case kLe:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a <= x ? 1.0 : 0.0; });
        break;
      case kGt:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a > x ? 1.0 : 0.0; });
        break;
      case kGe:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return a >= x ? 1.0 : 0.0; });
        break;
      case kMin:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return x < a ? x : a; });
        break;
      case kMax:
        apply_binary(entry(--sp - 1), t, n, [](double a, double x) { return x > a ? x : a; });
        break;
      case kAbs:
        apply_unary(t, n, [](double x) { return std::fabs(x); });
        break;
      case kExp:
        apply_unary(t, n, protected_exp);
        break;
      case kLog10:
        apply_unary(t, n, protected_log10);
        break;
      case kLog:
        apply_unary(t, n, protected_log);
        break;
      case kSqrt:
        apply_unary(t, n, [](double x) { return operators::sqroot(std::fabs(x)); });
        break;
      case kSinh:
        apply_unary(t, n, [](double x) { return std::sinh(x); });
        break;
      case kCosh:
        apply_unary(t, n, [](double x) { return std::cosh(x); });
        break;
      case kTanh:
        apply_unary(t, n, protected_tanh);
        break;
      case kSin:
        apply_unary(t, n, [](double x) { return std::sin(x); });
        break;
      case kCos:
        apply_unary(t, n, [](double x) { return std::cos(x); });
        break;
      case kTan:
        apply_unary(t, n, [](double x) { return std::tan(x); });
        break;
      case kAsin:
      case kAcos:
        for (int32_t r = 0; r < n; ++r) {
          if (t[r] < -1.0 || t[r] > 1.0) {
            stopped[r] = 1;
          } else {
            t[r] = in.op == kAsin ? std::asin(t[r]) : std::acos(t[r]);
          }
        }
        break;
      case kAtan:
        apply_unary(t, n, [](double x) { return std::atan(x); });
        break;
      case kRd:
        apply_unary(t, n, [](double x) { return std::round(x); });
        break;
      case kOmegw:
        apply_unary(t, n, [](double x) { return omegawo(x); });
        break;
      case kAddVar:
        apply_name(t, names[in.k], n, [](double a, double b) { return a + b; });
        break;
      case kSubVar:
        apply_name(t, names[in.k], n, [](double a, double b) { return a - b; });
        break;
      case kMulVar:
        apply_name(t, names[in.k], n, [](double a, double b) { return a * b; });
        break;
      case kDivVar:
        apply_name(t, names[in.k], n, [](double a, double b) { return a / (b == 0.0 ? 1e-9 : b); });
        break;
      case kPowVar:
        apply_name(t, names[in.k], n, power);
        break;
      case kAddImm:
        apply_unary(t, n, [v = in.v](double x) { return x + v; });
        break;
      case kSubImm:
        apply_unary(t, n, [v = in.v](double x) { return x - v; });
        break;
      case kMulImm:
        apply_unary(t, n, [v = in.v](double x) { return x * v; });
        break;
      case kDivImm: {
        const double d = in.v == 0.0 ? 1e-9 : in.v;
        apply_unary(t, n, [d](double x) { return x / d; });
        break;
      }
      case kPowImm:
        apply_unary(t, n, [v = in.v](double x) { return power(x, v); });
        break;
      case kSquare:
        apply_unary(t, n, [](double x) { return std::fabs(x) <= kEps ? kEps : x * x; });
        break;
      case kCube:
        apply_unary(t, n, [](double x) { return std::fabs(x) <= kEps ? kEps : x * x * x; });
        break;
      default:
        break;
    }
  }
  const double* top = entry(sp - 1);
  for (int32_t r = 0; r < n; ++r) out[r] = c.may_stop && stopped[r] ? 0.0 : top[r];
}

}  // namespace

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
  for (int32_t start = 0; start < count; start += kBlockRows) {
    const int32_t n = std::min(kBlockRows, count - start);
    for (size_t k = 0; k < c.names.size(); ++k) {
      if (total == 0) {
        c.names[k] = NameSource{};
        continue;
      }
      const size_t src = std::min(k, total - 1);
      c.names[k] = src < nconst ? NameSource{nullptr, consts[src]}
                                : NameSource{cols[src - nconst] + start, 0.0};
    }
    run_block(c, c.names.data(), n, out + start);
  }
  if (count > 0)
    evalerrtype =
        c.may_stop && c.stopped[static_cast<size_t>((count - 1) % kBlockRows)] != 0 ? 4 : 0;
}

}  // namespace fparser
