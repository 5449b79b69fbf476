// Objective and bound constraints of the SQP least-squares method (vmsqp_mod).
//
// The objective is the plain sum of squared residuals: every per-row divisor is 1.0 whatever
// weighting mode the model evaluator is handed. The constraints are the box lo <= x <= hi as
// c <= 0: c(i) = lo(i) - x(i) and c(n + i) = x(i) - hi(i), i = 1..n, free and fixed parameters
// alike. Arrays are 1-based views.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace initialize_vmsqp {

// One evaluation of the model at x(1..n) over rows 1..m of the shared x columns
// (common_data::xd, and xd2, xd3 when nvar >= 2, 3) through funct::fun with weighting `mode`.
//   sigma  out  the divisors, all 1.0
//   xdat   in   not used (the x columns come from common_data)
//   y      in   observed values
//   yfit   out  fitted values
//   resid  out  y - yfit
//   ssr    out  sum of resid^2 (0 for m < 1)
// Writes common_data through funct::fun. More rows, x columns or parameters than the shared
// arrays hold are refused: ssr := funct::kSumCap, sigma := 1, yfit and resid unchanged.
void model_function(int32_t m,
                    int32_t n,
                    int32_t nvar,
                    int32_t mode,
                    VecView<const double> x,
                    VecView<double> sigma,
                    VecView<const double> xdat,
                    VecView<const double> y,
                    VecView<double> yfit,
                    VecView<double> resid,
                    double& ssr);

// c(1..ncon) := 0, then the 2n box constraints at x (c must hold 2n entries).
void evaluate_constraints(VecView<const double> x,
                          int32_t n,
                          VecView<double> c,
                          int32_t ncon,
                          VecView<const double> lo,
                          VecView<const double> hi);

// a := 0 (all its rows), then for every free j (mask(j) nonzero) a(j, j) := -1 and
// a(n + j, j) := +1; the rows of fixed parameters stay 0. a has at least 2n rows and n columns.
void compute_constraint_gradients(MatView<double> a,
                                  int32_t ncon,
                                  int32_t n,
                                  VecView<const int32_t> mask);

}  // namespace initialize_vmsqp
