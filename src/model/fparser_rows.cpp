// The formula evaluator over many rows: evalf_rows and the row program it runs.
//
// The program of evalf (a stack machine) is rewritten for a register machine whose one
// register R holds a tile of rows (fparser_program.hpp): the compiler below follows the stack,
// knowing of each entry where its value lies (a pool value, a column, R, or a tile spilled at
// its stack position), so that an operation on values shared by all rows becomes a fold into
// the pool, an operation that involves rows reads its other operand in place, and a value goes
// to memory only when a newer row value must take R while it waits below. Every row value goes
// through the same operations in the same order as in evalf, and the folds use evalf's own
// one-value functions (fparser_scalar.hpp): each row's bits are evalf's.
#include <algorithm>
#include <cstdint>

#include "model/fparser.hpp"
#include "model/fparser_scalar.hpp"
#include "model/simd.hpp"

namespace fparser {
namespace {

// The first value of v on a 64-byte boundary (v has 8 values to spare): whole vectors of every
// level then never straddle a cache line.
double* aligned(double* v) {
  const auto at = reinterpret_cast<uintptr_t>(v);
  return v + ((64 - at % 64) % 64) / sizeof(double);
}

constexpr int32_t kInReg = 3;  // a stack entry held in R (after the three RowSource values)
// A stack entry that is a term of a column (kRowTerm), not computed yet: the operation that
// takes it computes it (as an operand of + or -, without a spill), or brings it into R first.
constexpr int32_t kTerm = 4;

// A stack entry while the row program is built: where its value lies, and the pool index,
// column index or stack position there; for a term its column, power and factor.
struct Entry {
  int32_t at = kFromPool;  // RowSource, kInReg or kTerm
  int32_t idx = 0;
  int32_t f = 0;     // kTerm: 0 x, 1 x^2, 2 x^3
  int32_t form = 0;  // kTerm: 0 f(x), 1 c * f(x), 2 f(x) * c
  int32_t coef = 0;  // kTerm: the pool index of c
};

class RowCompiler {
 public:
  RowCompiler(Tcomp& c, int32_t nconst, int32_t ncols)
      : c_(c), nconst_(nconst), total_(nconst + ncols), name_pool_(c.padded.size(), -1) {
    c.rows.clear();
    c.folds.clear();
    c.pool.clear();
    c.pool_consts.clear();
    c.col_src.clear();
  }

  void build() {
    cache_powers();
    for (const Instr& in : c_.program) {
      const int32_t op = in.op;
      if (op == kImmed) {
        stack_.push_back(Entry{kFromPool, pool_value(in.v)});
      } else if (op == kVar) {
        stack_.push_back(name(in.k));
      } else if (op == kNeg || (op >= kAbs && op <= kOmegw) || op == kSquare || op == kCube) {
        unary(op);
      } else if (op >= kAdd && op <= kMax) {
        binary(op);
      } else if (op >= kAddVar && op <= kPowVar) {
        stack_.push_back(name(in.k));
        binary(kAdd + (op - kAddVar));
      } else if (op >= kAddImm && op <= kPowImm) {
        stack_.push_back(Entry{kFromPool, pool_value(in.v)});
        binary(kAdd + (op - kAddImm));
      }
    }
    // The formula's value, in R for every row (0 for a program that pushes nothing).
    if (stack_.empty()) stack_.push_back(Entry{kFromPool, pool_value(0.0)});
    to_reg(0);
    emit(kRowDone, 0);
    // One tile per stack position, power and kept power, 8 values more for the 64-byte
    // boundary.
    c_.spill.assign(static_cast<size_t>(next_tile_) * kMaxTileRows + 8, 0.0);
  }

 private:
  void emit(int32_t op,
            int32_t arg,
            int32_t arg2 = 0,
            int32_t spill = -1,
            int32_t arg3 = 0,
            int32_t tee = -1) {
    c_.rows.push_back(RowInstr{op, arg, arg2, arg3, spill, tee});
  }

  // Squares and cubes of a column that the formula takes more than once are computed once, at
  // the start of each tile, into tiles of their own after the stack's (kRowPowers), when the
  // column's powers are taken at least three times (two squares alone cost less inline).
  void cache_powers() {
    const size_t ncols = c_.col_src.size() + c_.padded.size();  // enough for every column
    std::vector<int32_t>& uses = power_uses_;
    uses.assign(ncols * 3, 0);
    for (size_t i = 0; i + 1 < c_.program.size(); ++i) {
      const Instr& in = c_.program[i];
      const int32_t next = c_.program[i + 1].op;
      if (in.op != kVar || (next != kSquare && next != kCube)) continue;
      const Entry e = name(in.k);
      if (e.at == kFromColumn) ++uses[static_cast<size_t>(e.idx) * 3 + (next == kSquare ? 1 : 2)];
    }
    power_tile_.assign(ncols * 3, -1);
    tee_tile_.assign(ncols * 3, -1);
    int32_t& next_tile = next_tile_;
    next_tile = c_.stacksize + 1;
    for (size_t col = 0; col < ncols; ++col) {
      // Worth a pass of its own from three uses of a column's powers on.
      if (uses[col * 3 + 1] + uses[col * 3 + 2] < 3) continue;
      const bool sq = uses[col * 3 + 1] >= 2;
      const bool cu = uses[col * 3 + 2] >= 2;
      if (!sq && !cu) continue;
      if (sq) power_tile_[col * 3 + 1] = next_tile++;
      if (cu) power_tile_[col * 3 + 2] = next_tile++;
      emit(static_cast<int32_t>(kRowPowers) + (sq && cu ? 2
                                               : cu     ? 1
                                                        : 0),
           static_cast<int32_t>(col),
           sq ? power_tile_[col * 3 + 1] : 0,
           -1,
           cu ? power_tile_[col * 3 + 2] : 0);
    }
  }

  // Computes the term at stack position pos into R. A bare square or cube of a column that the
  // formula takes again later is also kept in a tile of its own, which the later terms read.
  void materialize(int32_t pos) {
    const Entry e = stack_[static_cast<size_t>(pos)];
    const int32_t spill = take_reg();
    int32_t tee = -1;
    const size_t key = static_cast<size_t>(e.idx) * 3 + static_cast<size_t>(e.f);
    if (e.idx >= 0 && e.form == 0 && e.f > 0 && power_uses_[key] > 0 && tee_tile_[key] < 0) {
      tee = next_tile_++;
      tee_tile_[key] = tee;
    }
    emit(static_cast<int32_t>(kRowTermLoad) + e.f * 3 + e.form, 0, e.idx, spill, e.coef, tee);
    stack_[static_cast<size_t>(pos)] = Entry{kInReg, 0};
    reg_ = pos;
  }

  // Frees R for a new value: the entry held there is to be spilled by the new value's own
  // instruction; returns its stack position (-1: R holds nothing).
  int32_t take_reg() {
    const int32_t pos = reg_;
    if (pos >= 0) stack_[static_cast<size_t>(pos)] = Entry{kFromSpill, pos};
    reg_ = -1;
    return pos;
  }

  int32_t pool_value(double v) {
    c_.pool.push_back(v);
    return static_cast<int32_t>(c_.pool.size()) - 1;
  }

  // Name k: a pool entry that takes a constant (0 when none is given) or a column.
  Entry name(int32_t k) {
    const int32_t src = total_ == 0 ? -1 : std::min(k, total_ - 1);
    if (src >= nconst_) {
      const int32_t col = src - nconst_;
      const auto it = std::find(c_.col_src.begin(), c_.col_src.end(), col);
      if (it != c_.col_src.end())
        return Entry{kFromColumn, static_cast<int32_t>(it - c_.col_src.begin())};
      c_.col_src.push_back(col);
      return Entry{kFromColumn, static_cast<int32_t>(c_.col_src.size()) - 1};
    }
    int32_t& at = name_pool_[static_cast<size_t>(k)];
    if (at < 0) {
      at = pool_value(0.0);
      if (src >= 0) c_.pool_consts.push_back(RowConst{at, src});
    }
    return Entry{kFromPool, at};
  }

  int32_t fold(int32_t op, int32_t a, int32_t b) {
    const int32_t dst = pool_value(0.0);
    c_.folds.push_back(RowFold{op, a, b, dst});
    return dst;
  }

  // The entry in R, if any, goes to the tile of its stack position.
  void free_reg() {
    if (reg_ < 0) return;
    emit(kRowSpill, reg_);
    stack_[static_cast<size_t>(reg_)] = Entry{kFromSpill, reg_};
    reg_ = -1;
  }

  // Brings the entry at stack position pos into R.
  void to_reg(int32_t pos) {
    Entry& e = stack_[static_cast<size_t>(pos)];
    if (e.at == kInReg) return;
    if (e.at == kTerm) return materialize(pos);
    const Entry was = e;
    free_reg();
    emit(static_cast<int32_t>(kRowLoad) + was.at, was.idx);
    stack_[static_cast<size_t>(pos)] = Entry{kInReg, 0};
    reg_ = pos;
  }

  void unary(int32_t op) {
    const int32_t top = static_cast<int32_t>(stack_.size()) - 1;
    if (stack_.back().at == kFromPool) {
      stack_.back().idx = fold(op, stack_.back().idx, 0);
      return;
    }
    if ((op == kSquare || op == kCube) && stack_.back().at == kFromColumn) {
      const int32_t col = stack_.back().idx;
      const int32_t f = op == kSquare ? 1 : 2;
      const size_t key = static_cast<size_t>(col) * 3 + static_cast<size_t>(f);
      const int32_t cached = power_tile_[key] >= 0 ? power_tile_[key] : tee_tile_[key];
      --power_uses_[key];  // the uses still to come
      // A power the tile computed at its start is read from its tile (a term source < 0).
      stack_.back() = cached >= 0 ? Entry{kTerm, -1 - cached, 0, 0, 0} : Entry{kTerm, col, f, 0, 0};
      return;
    }
    if (stack_.back().at == kTerm) materialize(top);
    const int32_t f = op == kSquare ? 0 : op == kCube ? 1 : op == kNeg ? 2 : -1;
    if (f >= 0 && stack_.back().at != kInReg) {
      // One instruction loads and applies.
      const Entry e = stack_.back();
      const int32_t spill = take_reg();
      emit(static_cast<int32_t>(kRowUnary2) + f * 3 + e.at, e.idx, 0, spill);
      stack_.back() = Entry{kInReg, 0};
      reg_ = top;
      return;
    }
    to_reg(top);
    emit(op == kSquare ? kRowSquare
         : op == kCube ? kRowCube
                       : static_cast<int32_t>(kRowUnary) + op,
         0);
  }

  // a op b, a below the top and b the top.
  void binary(int32_t op) {
    const int32_t ia = static_cast<int32_t>(stack_.size()) - 2;
    const int32_t ib = ia + 1;
    Entry a = stack_[static_cast<size_t>(ia)];
    Entry b = stack_[static_cast<size_t>(ib)];
    if (a.at == kFromPool && b.at == kFromPool) {
      stack_.pop_back();
      stack_[static_cast<size_t>(ia)].idx = fold(op, a.idx, b.idx);
      return;
    }
    // A number or parameter times a bare power of a column stays a term.
    const auto bare = [](const Entry& e) {
      return e.at == kFromColumn || (e.at == kTerm && e.form == 0);
    };
    if (op == kMul && ((a.at == kFromPool && bare(b)) || (bare(a) && b.at == kFromPool))) {
      const bool first = a.at == kFromPool;
      const Entry& x = first ? b : a;
      stack_.pop_back();
      stack_[static_cast<size_t>(ia)] =
          Entry{kTerm, x.idx, x.at == kTerm ? x.f : 0, first ? 1 : 2, first ? a.idx : b.idx};
      return;
    }
    // A term added to or subtracted from a value in R, the pool or a spill tile (a term on the
    // left of another is computed into R first).
    if ((op == kAdd || op == kSub) && a.at == kTerm && b.at == kTerm) {
      materialize(ia);
      a = stack_[static_cast<size_t>(ia)];
    }
    const auto other = [](const Entry& e) {
      return e.at == kInReg || e.at == kFromPool || e.at == kFromSpill;
    };
    if ((op == kAdd || op == kSub) &&
        ((b.at == kTerm && other(a)) || (a.at == kTerm && other(b)))) {
      const bool reversed = a.at == kTerm;
      const Entry& t = reversed ? a : b;
      const Entry& v = reversed ? b : a;
      const int32_t place = v.at == kInReg ? 0 : v.at == kFromPool ? 1 : 2;
      const int32_t spill = v.at == kInReg ? -1 : take_reg();
      const int32_t code =
          (((place * 2 + (op == kSub ? 1 : 0)) * 2 + (reversed ? 1 : 0)) * 3 + t.f) * 3 + t.form;
      emit(static_cast<int32_t>(kRowTerm) + code, v.idx, t.idx, spill, t.coef);
      stack_.pop_back();
      stack_[static_cast<size_t>(ia)] = Entry{kInReg, 0};
      reg_ = ia;
      return;
    }
    // Otherwise terms are computed first.
    if (b.at == kTerm) materialize(ib);
    if (stack_[static_cast<size_t>(ia)].at == kTerm) materialize(ia);
    a = stack_[static_cast<size_t>(ia)];
    b = stack_[static_cast<size_t>(ib)];
    stack_.pop_back();
    const int32_t first = static_cast<int32_t>(kRowBinary) + (op - kAdd) * 6;
    if (b.at == kInReg) {
      emit(first + 3 + a.at, a.idx);  // a op R
    } else if (a.at != kInReg && op <= kDiv) {
      // One instruction loads both operands.
      const int32_t spill = take_reg();
      emit(static_cast<int32_t>(kRowBinary2) + (op - kAdd) * 9 + a.at * 3 + b.at,
           a.idx,
           b.idx,
           spill);
    } else {
      to_reg(ia);
      emit(first + b.at, b.idx);  // R op b
    }
    stack_[static_cast<size_t>(ia)] = Entry{kInReg, 0};
    reg_ = ia;
  }

  Tcomp& c_;
  int32_t nconst_;
  int32_t total_;
  std::vector<int32_t> name_pool_;  // the pool entry of each name that is a constant, or -1
  std::vector<Entry> stack_;
  int32_t reg_ = -1;                 // the stack position held in R, or -1
  std::vector<int32_t> power_uses_;  // (column * 3 + power): how often the rest takes it
  std::vector<int32_t> tee_tile_;    // (column * 3 + power): the tile a term load kept it in, or -1
  int32_t next_tile_ = 0;            // the first tile after the stack's, powers' and kept powers'
  std::vector<int32_t> power_tile_;  // (column * 3 + power): its tile from a tile's start, or -1
};

// The row program that gives 0 in every row (ASIN or ACOS of a shared value stopped them all).
const RowInstr kZeroProgram[] = {{kRowLoad, 0, 0, 0, -1, -1},
                                 {kRowDone, 0, 0, 0, -1, -1}};  // R := pool[0]
const double kZeroPool[] = {0.0};

}  // namespace

void evalf_rows(int32_t i,
                std::span<const double> consts,
                std::span<const double* const> cols,
                int32_t count,
                double* out,
                ResidualSink* sink) {
  Tcomp& c = comp(i);
  if (count <= 0) return;
  const simd::Kernels& fn = *simd::active;
  const int32_t nconst = static_cast<int32_t>(consts.size());
  const int32_t ncols = static_cast<int32_t>(cols.size());
  RowsJob job;
  job.n = count;
  job.out = out;
  job.sink = sink;
  bool stop = false;
  if (c.program.empty()) {
    stop = true;  // nothing to evaluate: 0 in every row
  } else {
    if (c.layout_consts != nconst || c.layout_cols != ncols) {
      RowCompiler(c, nconst, ncols).build();
      c.layout_consts = nconst;
      c.layout_cols = ncols;
      const size_t used = c.col_src.size();
      c.col_at.assign(used, nullptr);
      c.tail.assign(used * kMaxTileRows + 8, 0.0);
      c.tail_at.assign(used, nullptr);
      for (size_t k = 0; k < used; ++k) c.tail_at[k] = aligned(c.tail.data()) + k * kMaxTileRows;
    }
    // The pool for this call: the constants, then what is computed from them alone.
    for (const RowConst& k : c.pool_consts)
      c.pool[static_cast<size_t>(k.pool)] = consts[static_cast<size_t>(k.k)];
    for (const RowFold& f : c.folds) {
      const double a = c.pool[static_cast<size_t>(f.a)];
      c.pool[static_cast<size_t>(f.dst)] =
          f.op >= kAdd && f.op <= kMax
              ? scalar::binary(f.op, a, c.pool[static_cast<size_t>(f.b)], fn)
              : scalar::unary(f.op, a, fn, stop);
    }
    for (size_t k = 0; k < c.col_src.size(); ++k)
      c.col_at[k] = cols[static_cast<size_t>(c.col_src[k])];
  }
  if (stop) {
    job.program = kZeroProgram;
    job.pool = kZeroPool;
  } else {
    job.program = c.rows.data();
    job.pool = c.pool.data();
    job.cols = c.col_at.data();
    job.ncols = static_cast<int32_t>(c.col_at.size());
    job.tail_cols = c.tail_at.data();
    job.spill = aligned(c.spill.data());
    job.may_stop = c.may_stop;
  }
  fn.run_rows(job);
  if (!c.program.empty()) evalerrtype = stop || job.last_stopped ? 4 : 0;
}

}  // namespace fparser
