// The model front end: the procedures between the fit engine and the formula compiler.
//
// Before a run the engine normalises the model formula with `parse_func` (upper case, blanks
// and control characters removed, sign pairs folded, a "0" put before a bare exponent point),
// which counts the parameters P1..P8 and variables X1..X3 it uses and checks it with
// `check_func`. During the run `fnparse2` computes the model value of one data row: it
// compiles the formula once (again when the caller passes 8888.0 in the result) and evaluates
// the compiled formula.
//
// Formula texts are 512-character blank-padded buffers (common_udf::cudf). Syntax codes 1..11
// come from the compiler (fparser); 12..14 are the front end's own checks of the parameter and
// variable numbering. The 1 s and 5 s pauses go through sysclock::sleep_ms.
#pragma once

#include <cstdint>
#include <string>

#include "model/fparser_program.hpp"
#include "numerics/farray.hpp"

inline constexpr double kRecompile = 8888.0;  // result value that makes fnparse2 compile

// Normalises formula (in/out, 512 characters) and checks it. npar, nvar: the number of
// distinct P1..P8 and X1..X3 names in it; ierr, message: the result of check_func; length:
// the trimmed length of the formula as check_func left it. Sets `limits`.
void parse_func(int32_t& npar,
                int32_t& nvar,
                std::string& formula,
                int32_t& length,
                int32_t& ierr,
                std::string& message);

// Checks formula against the names P1..P8, X1..X3 and the numbering rules. formula (in/out)
// may get a "?" at a syntax fault; marker (out) the line that marks the fault with "\*/".
// npar (in/out, above 8 becomes 8); nvar: the number of variables to compare with. ierr (out):
// 0 or a code 1..14; message (out): the user's words for the code. Pauses 1 s unless the
// formula is sound.
void check_func(std::string& formula,
                std::string& marker,
                int32_t& npar,
                int32_t nvar,
                int32_t& ierr,
                std::string& message);

// The user's words for a syntax code 1..14 (max_p, max_x: the highest parameter and variable
// numbers in the formula, named by codes 12 to 14); blanks for any other code.
std::string message_for(int32_t ierr, int32_t max_p, int32_t max_x);

// Parentheses balance, no ")" before its "(", and neither ")(" nor "()" occurs (blanks
// ignored). True for an empty text.
bool check_parentheses(const std::string& text);

// flag := 1 when the text "P1*0.+" followed by the model text begins with a parameter name,
// which it always does.
void check_udf(const std::string& text, int32_t& flag);

// result := the value of formula at params(1..npar) and xvalues(1..nvar). The formula is
// compiled on the first call and whenever result is 8888.0 on entry; nfunc is the number of
// compiled copies (callers pass 1), the value is that of the last. Returns 0, or the syntax
// code when the formula cannot be compiled: then "Error in function, run aborted!" is written,
// the call pauses 5 s and result is left unchanged.
int32_t fnparse2(VecView<const double> params,
                 VecView<const double> xvalues,
                 int32_t npar,
                 int32_t nvar,
                 int32_t nfunc,
                 const std::string& formula,
                 double& result);

// fnparse2 for rows 1..n of the x matrix at once (n rows, nvar columns, any leading
// dimension): results[r - 1] is bit for bit what fnparse2 gives for row r, compiling as it
// would on its first call. Only the last compiled copy is evaluated: its value is the result.
// Returns 0, or the syntax code as fnparse2 does (results untouched); n < 1 does nothing.
// With a sink the values go through it instead of into results (fparser::evalf_rows).
int32_t fnparse2_rows(VecView<const double> params,
                      MatView<const double> x,
                      int32_t npar,
                      int32_t nvar,
                      int32_t nfunc,
                      const std::string& formula,
                      int32_t n,
                      double* results,
                      fparser::ResidualSink* sink = nullptr);

// Compiles nfunc copies of formula with the list names(1..nnames); ierr: 0, or the syntax code
// (nothing is compiled then).
void compile_func(int32_t nfunc,
                  const std::string& formula,
                  const std::string* names,
                  int32_t nnames,
                  int32_t& ierr,
                  int32_t printerr);

// results(i) := the value of compiled formula i at values(1..nvalues), i = 1..nfunc.
void calc_func(int32_t nfunc, const double* values, int32_t nvalues, double* results);

// The numbered-model function: 0.0 for every input, guarded and clamped by `limits`.
double func2(double x1, double x2, double x3, int32_t n);

// The front end's own model value of one row, kept beside my_func::eval_func (the one the fit
// uses): sets `limits` to (2^51, 2^-51) and left-adjusts formula (in/out); with a numbered model
// chosen (globals::nmdl not 0) result := func2 of xvalues(1..min(nvar, 3)), else the formula at
// params(1..npar), xvalues(1..nvar) by fnparse2 with one copy and the result slot at 0.0 (so the
// formula is compiled on the first call only). A value that is not a number (or so large that
// subtracting 1 leaves it unchanged) becomes limits::vnan; the rest is clamped to
// [-limits::bound, limits::bound]. Returns 0, or the syntax code of a formula that cannot be
// compiled (result is then 0).
int32_t front_eval_func(VecView<const double> params,
                        int32_t npar,
                        VecView<const double> xvalues,
                        int32_t nvar,
                        std::string& formula,
                        double& result);

// The front end's clamp of x into the magnitudes 2^-51 .. 2^51, apart from the engine's own
// minmax: x when 2^-51 < |x| < 2^51; |y| with the sign of x when |x| <= 2^-51; |1/y| with the
// sign of x when |x| >= 2^51 (infinite x included); y when x is not a number.
double front_minmax(double x, double y);

// Forgets the compiled formula, so the next fnparse2 compiles (tests).
void fnparse2_reset();
