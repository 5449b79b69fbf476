// The formula language: syntax check, compilation to bytecode for a small stack machine, and
// the protected evaluator that runs it once per data row.
//
// A formula is at most 512 characters of text over operands (numbers, names of the caller's
// list, two-letter constants, function calls, parenthesised formulas) joined by the binary
// operators of `ops`. The first operator of `ops` binds loosest, so every comparison, ":"
// (minimum) and "|" (maximum) binds tighter than "^"; each operator groups from the left. A
// leading minus binds looser than "*", "/", "^" and tighter than "+", "-". "**" is read as "^"
// and "!" as "|".
//
// Syntax errors carry a code 1..11 (see `checkf`) and, when printing is on, edit the caller's
// text: a "?" is inserted before the fault (after the fourth character for a fault among the
// first four) and a marker line holds "\*/" with its "*" under the "?".
// Error positions are those of the blank-free text: the offending character, or the position
// after the last character for errors found at the end of the text (codes 1, 3, 10).
//
// The bytecode, immediate and stack arrays of a compiled formula are 1-based. `evalf` runs a
// program derived from the bytecode and allocates nothing. Its elementary functions are the
// vector kernels of module `simd` (SLEEF, at the level the processor has), in which evalf_rows
// runs the formula over tiles of rows: the two give the same bits for every row.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/fparser_program.hpp"
#include "numerics/farray.hpp"

namespace fparser {

// A value of evalf_rows's pool that is computed from other pool values: pool[dst] = op of
// pool[a] (a function code) or of pool[a] and pool[b] (an operator code), as evalf computes it.
struct RowFold {
  int32_t op = 0;
  int32_t a = 0;
  int32_t b = 0;
  int32_t dst = 0;
};

// A pool entry of evalf_rows that holds the caller's constant k (0-based).
struct RowConst {
  int32_t pool = 0;
  int32_t k = 0;
};

// One compiled formula.
struct Tcomp {
  FVector<int32_t> bytecode;  // operation codes 1..bytecodesize
  int32_t bytecodesize = 0;
  FVector<double> immed;  // numbers and constants in the order the bytecode pushes them
  int32_t immedsize = 0;
  FVector<double> stack;       // evaluation stack, stacksize values
  int32_t stacksize = 0;       // deepest stack the formula needs
  int32_t stackptr = 0;        // depth counter while compiling
  std::vector<Instr> program;  // what evalf runs; same values as running the bytecode
  std::vector<double> padded;  // the values for the names of the program, when fewer are given
  // evalf_rows: the row program for the layout of the names it last met (layout_consts of them
  // the caller's constants, layout_cols columns), and what it runs the program with.
  int32_t layout_consts = -1;
  int32_t layout_cols = -1;
  std::vector<RowInstr> rows;         // the row program
  std::vector<RowFold> folds;         // what fills the pool's folded values, in order
  std::vector<double> pool;           // the values that rows read from the pool
  std::vector<RowConst> pool_consts;  // pool entries that take one of the caller's constants
  std::vector<int32_t> col_src;       // the caller's column of each column the rows read
  std::vector<const double*> col_at;  // the same columns' rows, for one call
  std::vector<double*> tail_at;       // each one's padded last tile, in tail
  std::vector<double> tail;           // col_src.size() tiles of kMaxTileRows values (+ 8)
  std::vector<double> spill;          // tiles of kMaxTileRows values: stack positions, powers
  bool may_stop = false;              // the program holds ASIN or ACOS
};

inline constexpr int32_t kMaxLen = 512;  // declared length of a formula text

inline constexpr std::string_view ops = "+-*/^=#<[>]:|";  // lowest priority first
inline constexpr std::string_view nochr = "FJUVYZ";       // may not begin an operand
inline constexpr std::string_view funcs[16] = {"abs",
                                               "exp",
                                               "log10",
                                               "log",
                                               "sqrt",
                                               "sinh",
                                               "cosh",
                                               "tanh",
                                               "sin",
                                               "cos",
                                               "tan",
                                               "asin",
                                               "acos",
                                               "atan",
                                               "rd",
                                               "omegw"};

inline FVector<Tcomp> comp;       // compiled formulas, slots 1..n after initf(n)
inline FVector<int32_t> ipos;     // during one check: blank-free position -> caller's position
inline int32_t parseerrtype = 0;  // 1 once a syntax error was reported by this parsef/checkf
inline int32_t evalerrtype = 0;   // 4: the last evalf met ASIN/ACOS outside [-1, 1]
inline int32_t printerrors = 1;   // 1: a syntax error edits the texts and writes to `console`
inline std::ostream* console = nullptr;  // where error reports go; nullptr: standard output

// Frees any compiled formulas and makes slots 1..n, empty.
void initf(int32_t n);
// Frees every slot.
void endf();

// Checks `text` against the list `names` and compiles it into slot i. ierr (optional) gets
// parseerrtype: 0 success, 1 syntax error (the slot keeps its previous formula) or a slot index
// outside 1..size (nothing else done). printerr sets printerrors for this call.
void parsef(int32_t i,
            std::string_view text,
            std::span<const std::string> names,
            int32_t* ierr = nullptr,
            int32_t printerr = 1);

// The same check without compiling. Returns parseerrtype; ierr gets the syntax code:
//   1 missing operand (also: text ends where an operand is needed), 2 sign followed by an
//   operator, 3 function name at the end, 4 function name without "(", 5 malformed number,
//   6 neither a name nor a constant, 7 mismatched or empty parentheses, 8 two operators in a
//   row, 9 missing operator, 10 unclosed "(", 11 operand begins with F, J, U, V, Y or Z (the
//   constants VH and VL excepted); 0 when none.
// With printing on, an error inserts "?" into text and sets *marker (when given).
int32_t checkf(std::string& text,
               std::span<const std::string> names,
               int32_t printerr,
               int32_t& ierr,
               std::string* marker = nullptr);

// Builds c.program from c.bytecode and c.immed (called by parsef). Without fusion the program
// runs the bytecode code by code (the fuzz target compares the two).
void prepare_program(Tcomp& c, bool fuse = true);

// Makes slot i compute its formula's value times c: the product is the formula's last step, so
// evalf, evalf_fault and evalf_rows all give it, and for c a power of two each value is the
// formula's own, exactly, in other units. A slot outside 1..size is left alone.
void scale_values(int32_t i, double c);

// Makes slot i read each name k = 1..factors.size() as its value times factors[k - 1]: every
// push of the name is followed by the product (a factor of 1 is left out). For powers of two
// each value is the formula's own, exactly, at names written in other units. A slot outside
// 1..size is left alone.
void scale_names(int32_t i, std::span<const double> factors);

// Runs the formula of slot i with values(1..) for the names; 0.0 when ASIN or ACOS stopped it.
double evalf(int32_t i, std::span<const double> values);

// Runs the formula of slot i with values(1..) as evalf does and names the fault it meets, as an
// evalerrtype code: 4 when ASIN or ACOS stopped it, else 1 when it divided by zero (which evalf
// passes over, dividing by 1e-9), else 0. Leaves evalerrtype at that code, for evalerrmsg. For
// explaining a result after a fit: it allocates its stack and keeps no program of its own.
int32_t evalf_fault(int32_t i, std::span<const double> values);

// evalf over many rows at once: out[r] is bit for bit what evalf(i, values of row r) returns,
// for r = 0..count-1. The names of the program read, in list order, first the values of
// `consts` (the same in every row: the parameters), then column c of `cols` at row r
// (cols[c][r]: the x values); a name beyond them takes the last one given, as in evalf.
// evalerrtype is left as evalf leaves it after the last row. A slot without a compiled formula
// gives 0 in every row. out must not overlap a column. With a sink, out is not written: each row
// value goes through the model evaluator's pass of unit sigmas instead (ResidualSink). Allocates
// only when a slot meets a new layout of the names (how many constants, how many columns).
void evalf_rows(int32_t i,
                std::span<const double> consts,
                std::span<const double* const> cols,
                int32_t count,
                double* out,
                ResidualSink* sink = nullptr);

inline constexpr int32_t kEvalErrLen = 32;  // declared length of evalerrmsg's text

// The text of evalerrtype 1..5 ("Division by zero", "Argument of SQRT negative",
// "Argument of LOG  <=  0", "Argument of ASIN or ACOS illegal", "-exponent to fractional
// power"), blank-padded to kEvalErrLen; blanks for any other value.
std::string evalerrmsg();

// Back to the program-start state (tests).
void reset();

}  // namespace fparser
