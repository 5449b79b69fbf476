// The model evaluator: fitted values, residuals and the weighted sum of squares of the model
// over all data rows, its numerical gradient, and the package of sum, gradient and bound
// constraints for a constrained method.
//
// fun evaluates the model row by row (my_func::eval_func), forms the residuals r = y - yf, picks
// a sigma s(i) per row by the weighting mode and returns sum (r(i) / s(i))^2, kept within
// [2.2204460492503132e-20, 4.503599727262001e19] (the cap also replaces a sum that is not a
// number). It is the hottest function of the program: every optimiser calls it for every trial
// vector, so it allocates nothing; its work arrays are module storage sized for the largest data
// set (common_data::max_rows rows). Not reentrant: main thread only, like the shared state it
// writes.
//
// Weighting modes (the sigma of row i):
//   0 "None"               1
//   1 "1/Reweight^2"       the caller's sig(i)
//   2 "1/Y^2"              the fitted value yf(i)
//   3 "Robust Weight"      sqrt(0.5 / w(i)), w the Andrews sine weight of residual i
//   4 "StdDev / Residual"  sqrt(|r(i)| / sd), sd the sample standard deviation of r
//   other                  1, and the mode is recorded as 0
// A numbered model (globals::nmdl > 0) uses sigma 1 in every mode.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace funct {

inline constexpr double kSumFloor = 2.2204460492503132e-20;  // least sum of squares
inline constexpr double kSumCap = 4.503599727262001e19;      // worst sum of squares

inline int64_t fun_count = 0;  // calls of fun since program start or reset(): the cost of a fit

// Constraint package sizes of calcfg.
inline constexpr int32_t kMaxGrad = 25;         // entries of the gradient vector
inline constexpr int32_t kMaxConstraints = 50;  // entries of the constraint vector

// Evaluates the model at p for rows 1..n (n <= common_data::max_rows).
//   x     in   n rows by nx columns (column-major, any leading dimension): X1..Xnx of each row
//   y     in   observed values
//   p     in   parameters P1..Pnp
//   mode  in   weighting mode (above)
//   yf    out  fitted values (may be common_data::ydf)
//   sig   in   the caller's sigma, read by mode 1 only (may be common_data::ysig: it is read
//              before ysig is overwritten)
//   fval  out  the weighted sum of squares
// Writes common_data::nd, yres, ydf, ysig and ndwt (only ndwt when n = 0). More rows, x
// columns or parameters than the shared arrays hold (n > max_rows, nx > max_x,
// np > max_params) are refused with fval = kSumCap and nothing written; so is a formula that
// cannot be compiled (after its first row: fitted values and nd may then be partly written).
void fun(MatView<const double> x,
         VecView<const double> y,
         VecView<const double> p,
         int32_t np,
         int32_t nx,
         int32_t n,
         int32_t mode,
         VecView<double> yf,
         VecView<const double> sig,
         double& fval);

// g := central-difference gradient of the shared data set's sum of squares at p(1..np), 0 for
// every fixed parameter (common_data::pmask 0), which costs no evaluations; f := the sum at p.
// Reads the data set, mask and weighting mode from common_data; writes npr, pfinal, xnx and,
// through its last evaluation at p, the fitted values, residuals and sigmas at p.
// np > common_data::max_params is refused with f = kSumCap and nothing written.
void derivat(VecView<double> g, double& f, VecView<const double> p, int32_t np);

// Sum, gradient and bound constraints at x(1..np) for a constrained method:
//   f         out  the sum of squares at x
//   gradient  out  kMaxGrad entries: the gradient of derivat in 1..np, 0 beyond
//   g         out  kMaxConstraints entries: first one equality per fixed parameter, in
//                  parameter order, of value 0 (satisfied: the parameter stays where it is),
//                  then x(i) - pboundlo(i), then pboundhi(i) - x(i), for i = 1..np
//   jac       out  kMaxGrad by kMaxConstraints, column k the gradient of constraint k: +e_i for
//                  an equality and a lower bound, -e_i for every upper bound
// Writes common_data::nmod, ieqcns, icnstr and pfinal besides what derivat writes.
// Returns 0, or 1 (f = kSumCap, nothing else evaluated) for a numbered model, which the
// package does not support, or when the constraints would not fit (np > common_data::max_params).
int32_t calcfg(int32_t np,
               VecView<const double> x,
               double& f,
               VecView<double> gradient,
               VecView<double> g,
               MatView<double> jac);

// Copies the shared x columns (common_data::xd, xd2, xd3) of rows 1..nd into xm: one or two
// columns when nxd is 1 or 2, all three otherwise. Returns the number of columns copied.
int32_t load_x_columns(MatView<double> xm);
// The same for rows 1..rows (a method's own row count; at most common_data::max_rows).
int32_t load_x_columns(MatView<double> xm, int32_t rows);

// Clears fun_count (for tests).
void reset();

}  // namespace funct
