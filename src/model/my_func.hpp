// The model value for one data row: the compiled user formula (or the numbered model, when one
// is selected) at parameters p and the row's x values, guarded so that the result is always a
// finite number within +-2^51.
#pragma once

#include <cstdint>
#include <string>

#include "model/fparser_program.hpp"
#include "numerics/farray.hpp"

namespace my_func {

// value := the model at p(1..np) for the row x(1..nx). formula (the user formula,
// common_udf::cudf on the fit's road) is left-adjusted in place and compiled on first use by
// fnparse2. A value that is not a number, or so large that subtracting 1 leaves it unchanged,
// becomes 2^-51; the rest is clamped to [-2^51, 2^51]. Sets `limits` to (2^51, 2^-51).
// Returns 0, or the syntax code of a formula that cannot be compiled (value is then 0).
int32_t eval_func(VecView<const double> p,
                  int32_t np,
                  VecView<const double> x,
                  int32_t nx,
                  std::string& formula,
                  double& value);

// eval_func for rows 1..n of the x matrix (n rows, nx columns) at once: values(r) is bit for
// bit what eval_func gives for row r. values must be contiguous (stride 1). Returns 0, or the
// syntax code of a formula that cannot be compiled, reported once (values untouched; eval_func
// row by row would report it at every row). n < 1 does nothing. With limit false the values
// are left before the guard of step 3 (not-a-number substitute and clamp), for a caller that
// applies it in a pass of its own (simd::Kernels::limit_values does exactly that guard).
// A sink is taken for the user formula only (globals::nmdl == 0): each row value then goes
// through the model evaluator's pass of unit sigmas (fparser::ResidualSink), which applies the
// guard of step 3 itself, and values is not written.
int32_t eval_func_rows(VecView<const double> p,
                       int32_t np,
                       MatView<const double> x,
                       int32_t nx,
                       std::string& formula,
                       int32_t n,
                       VecView<double> values,
                       bool limit = true,
                       fparser::ResidualSink* sink = nullptr);

// The fault that the user formula (compiled by eval_func or eval_func_rows) meets at p(1..np)
// in the first of rows 1..n of x (n rows by nx columns) that meets one, as fparser::evalf_fault
// names it: 4 ASIN or ACOS outside [-1, 1], 1 a division by zero; 0 when no row meets one, and
// for a numbered model. fparser::evalerrtype is left at that code, for fparser::evalerrmsg.
int32_t formula_fault(
    VecView<const double> p, int32_t np, MatView<const double> x, int32_t nx, int32_t n);

// The rows among 1..n of x (n rows by nx columns, n <= common_data::max_rows) whose model value
// at p(1..np) the guard of step 3 replaces: not a number, or beyond +-2^51 (clamped, or taken
// for a number that has lost every unit). Their fitted values are stand-ins, not the model's.
// 0 for a formula that cannot be compiled.
int32_t stand_in_rows(
    VecView<const double> p, int32_t np, MatView<const double> x, int32_t nx, int32_t n);

}  // namespace my_func
