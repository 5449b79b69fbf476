// The evaluator's program: the instructions that fparser::evalf and fparser::evalf_rows run,
// derived from a formula's bytecode, and the block of rows that the vector kernels of module
// `simd` run them over.
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

// Operations of the program: the bytecode's own codes 1..31, then a push of a name, the five
// arithmetic operators with a name or a number as right operand, squares and cubes of the top,
// and the end mark.
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

// Where a name of the program reads in evalf_rows: a value shared by all rows of the block, or
// a column of row values.
struct NameSource {
  const double* column = nullptr;  // the block's row values, or nullptr
  double value = 0.0;              // the shared value when column is nullptr
};

// Rows that evalf_rows runs each instruction over before it moves on: enough to spread the cost
// of choosing the instruction over many vectors, few enough that the stack of row vectors
// (2 KiB an entry) stays in the first-level cache for the formulas of the data files. A multiple
// of every vector width, so a block's stack entries hold whole vectors.
inline constexpr int32_t kBlockRows = 256;

// One entry of a kernel's stack while it runs a block: the rows' values, or one value shared by
// all rows (a number, a parameter, or what the program computed from such values alone), which
// the kernel then never spreads into memory.
struct Slot {
  const double* rows = nullptr;  // the values of the rows (the entry's storage or a column)
  double value = 0.0;            // the shared value when uniform
  int32_t uniform = 0;           // 1: every row has `value`
};

// One block of rows for a kernel. Every column of `names` and every stack entry can be read
// for n rounded up to whole vectors (evalf_rows pads a short last block); only rows 0..n-1 of
// out are written.
struct Block {
  const Instr* program = nullptr;    // ends with kDone
  const NameSource* names = nullptr;  // where each name of the program reads
  double* stack = nullptr;            // storage of stack entry k at stack + k * kBlockRows
  Slot* slots = nullptr;              // one per stack entry
  uint8_t* stopped = nullptr;         // per row: ASIN/ACOS stopped it (when may_stop)
  bool may_stop = false;              // the program holds ASIN or ACOS
  int32_t n = 0;                      // rows, 1..kBlockRows
  double* out = nullptr;              // the rows' values; a stopped row gives 0
};

}  // namespace fparser
