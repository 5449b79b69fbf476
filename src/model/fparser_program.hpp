// The evaluator's programs: the instructions that fparser::evalf runs, derived from a formula's
// bytecode, and the row program that fparser::evalf_rows has the vector kernels of module
// `simd` run over tiles of rows.
//
// Plain data only (no inline code): the kernels are compiled once per instruction-set level,
// and a header they include must not bring in functions that the linker could merge across
// those levels.
#pragma once

#include <cstdint>

namespace fparser {

// Operation codes of the bytecode. Binary operators are their position in `ops` plus 2,
// functions their position in `funcs` plus 15, names of the caller's list kVarBegin + k - 1.
inline constexpr int32_t kImmed = 1;
inline constexpr int32_t kNeg = 2;
inline constexpr int32_t kAdd = 3, kSub = 4, kMul = 5, kDiv = 6, kPow = 7;
inline constexpr int32_t kEq = 8, kNe = 9, kLt = 10, kLe = 11, kGt = 12, kGe = 13;
inline constexpr int32_t kMin = 14, kMax = 15;
inline constexpr int32_t kAbs = 16, kExp = 17, kLog10 = 18, kLog = 19, kSqrt = 20;
inline constexpr int32_t kSinh = 21, kCosh = 22, kTanh = 23, kSin = 24, kCos = 25, kTan = 26;
inline constexpr int32_t kAsin = 27, kAcos = 28, kAtan = 29, kRd = 30, kOmegw = 31;
inline constexpr int32_t kVarBegin = 32;

// Operations of the program that evalf runs: the bytecode's own codes 1..31, then a push of a
// name, the five arithmetic operators with a name or a number as right operand, squares and
// cubes of the top, and the end mark.
enum ProgramOp : int32_t {
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

// One instruction of the program: a push directly followed by a binary operator is one
// instruction.
struct Instr {
  int32_t op = 0;  // ProgramOp
  int32_t k = 0;   // 0-based index of the name a push of a name reads
  double v = 0.0;  // the value a push of a number pushes
};

// --- The row program of evalf_rows ------------------------------------------------------
//
// evalf_rows runs the program in the kernels of module `simd` on tiles of rows (8 or 16 vectors,
// by level), with the top of the stack held in vector registers. The program is rewritten for
// that once per layout of the names (which are the caller's constants and which its columns):
// what depends on constants alone is folded into a pool of values before the rows are run, and
// each remaining operation names where its operands lie. Every row value still goes through
// exactly the operations evalf applies to it, in the same order (a power of a column taken
// several times may be computed once: the same operations give the same bits).

// Where the operand of a row instruction lies: a pool value (shared by all rows), a column of
// the caller's (the tile's rows of it), or the tile that a spill put at a stack position.
enum RowSource : int32_t { kFromPool = 0, kFromColumn = 1, kFromSpill = 2 };

// Operations of the row program. R is the tile in registers, the top of the stack.
enum RowOp : int32_t {
  kRowDone = 0,              // R is the formula's value
  kRowLoad,                  // R := the operand (+ RowSource)
  kRowSpill = kRowLoad + 3,  // the tile at stack position arg := R
  kRowUnary,                 // R := f(R): kRowUnary + the bytecode's function code (kNeg .. kOmegw)
  kRowSquare = kRowUnary + kVarBegin,  // R := R^2 with the guard of "^"
  kRowCube,                            // R := R^3 with the guard of "^"
  // R := R op operand (reversed 0) or operand op R (reversed 1), op = kAdd .. kMax:
  // kRowBinary + ((op - kAdd) * 2 + reversed) * 3 + RowSource.
  kRowBinary,
  // R := a op b for two operands that are not R, op = kAdd .. kDiv (a the left one, at arg; b at
  // arg2): kRowBinary2 + (op - kAdd) * 9 + RowSource of a * 3 + RowSource of b.
  kRowBinary2 = kRowBinary + (kMax - kAdd + 1) * 6,
  // R := f(operand) for f = square, cube, negation, of an operand that is not R:
  // kRowUnary2 + f * 3 + RowSource (f: 0 square, 1 cube, 2 negation).
  kRowUnary2 = kRowBinary2 + (kDiv - kAdd + 1) * 9,
  // A term T of a column: f(x) for f = x, x^2, x^3 with the guard of "^" (f 0, 1, 2), times a
  // pool value c as c * f(x) (form 1) or f(x) * c (form 2), or alone (form 0); x is column arg2
  // and c pool[arg3]. R := A op T (reversed 0) or T op A (reversed 1) for op + or - and A in R,
  // the pool or a spill tile (0, 1, 2; at arg):
  // kRowTerm + (((A * 2 + (op is -)) * 2 + reversed) * 3 + f) * 3 + form.
  kRowTerm = kRowUnary2 + 9,
  kRowTermLoad = kRowTerm + 108,  // R := T: kRowTermLoad + f * 3 + form
  // The tiles at stack positions arg2 := x^2 (+ 0), arg3 := x^3 (+ 1), or both (+ 2), for x the
  // tile's rows of column arg, with the guard of "^". A term whose column index is negative
  // reads x from the tile at position -1 - index instead.
  kRowPowers = kRowTermLoad + 9,
  kRowOpCount = kRowPowers + 3
};

struct RowInstr {
  int32_t op = kRowDone;  // RowOp
  int32_t arg = 0;        // the pool index, dense column index or stack position of the operand
  int32_t arg2 = 0;       // the same for the second operand of kRowBinary2, kRowTerm
  int32_t arg3 = 0;       // the pool index of a term's factor
  int32_t spill = -1;     // kRowBinary2, kRowUnary2, kRowTerm..: first R to this stack position
  int32_t tee = -1;       // kRowTermLoad: then R to the tile at this position as well
};

// What fun needs from each row, computed where the row value is made: the model evaluator's
// guards of the value, the residual against y and the stores of its shared state, with the sums
// of r^2 and |r| kept as eight partial sums (row i into entry i mod 8, added in row order).
struct ResidualSink {
  const double* y = nullptr;  // observed values
  double* yf = nullptr;       // guarded model values
  double* ydf = nullptr;      // a second copy of them (the shared fitted values)
  double* yres = nullptr;     // y - yf
  double* ysig = nullptr;     // 1 for every row
  double sq[8] = {};          // out: partial sums of r^2
  double ab[8] = {};          // out: partial sums of |r|
};

// One run of the row program over rows 0..n-1 for a kernel.
struct RowsJob {
  const RowInstr* program = nullptr;    // ends with kRowDone
  const double* pool = nullptr;         // values of kFromPool operands
  const double* const* cols = nullptr;  // the used columns, row 0 of the run first
  int32_t ncols = 0;
  double* const* tail_cols = nullptr;  // ncols buffers of kMaxTileRows: the last tile's columns
  double* spill = nullptr;             // 64 values per stack position, on a 64-byte boundary
  int32_t n = 0;                       // rows, >= 1
  bool may_stop = false;               // the program holds ASIN or ACOS
  double* out = nullptr;               // the row values (a stopped row gives 0), unless sink is set
  ResidualSink* sink = nullptr;        // instead of out: the row values through fun's pass
  bool last_stopped = false;           // out: ASIN or ACOS stopped row n-1
};

// Rows of the largest tile of any level: the size of each spill and tail entry.
inline constexpr int32_t kMaxTileRows = 128;

}  // namespace fparser
