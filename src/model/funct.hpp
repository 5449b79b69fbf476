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

// w(i) := 1 / s(i)^2, the weight that the last call of fun gave row i through its sigma s(i)
// (common_data::ysig as fun left it), for i = 1..n: all 1 after an unweighted evaluation. Read
// it right after fun: funcs and other callers overwrite ysig with their own values.
void row_weights(int32_t n, VecView<double> w);

// s(i) := the sigma that fun gives row i in weighting mode `mode` (as above: 1 without
// weighting and for a numbered model) with fitted values yf, residuals r = y - yf and the
// caller's sigma sig, for i = 1..n (n <= common_data::max_rows). Evaluates nothing and writes
// no shared state.
void row_sigmas(int32_t n,
                int32_t mode,
                VecView<const double> yf,
                VecView<const double> r,
                VecView<const double> sig,
                VecView<double> s);

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

// sum r(i)^2 over rows 1..n in the one order of every sum of squares of fun: eight interleaved
// partial sums (row i into sum (i - 1) mod 8) added as ((1+2)+(3+4))+((5+6)+(7+8)). The order
// lets fun sum on vectors of any width with the same result; a caller that judges a method by
// its residuals sums them with this so that the same residuals give the same sum as fun.
double sum_squares(VecView<const double> r, int32_t n);

// Copies the shared x columns (common_data::xd, xd2, xd3) of rows 1..nd into xm: one or two
// columns when nxd is 1 or 2, all three otherwise. Returns the number of columns copied.
int32_t load_x_columns(MatView<double> xm);
// The same for rows 1..rows (a method's own row count; at most common_data::max_rows).
int32_t load_x_columns(MatView<double> xm, int32_t rows);

// Routines of the module that the program does not call.

// x(1..n) := n evenly spaced values from a to b, x(i) = ((n - i) a + (i - 1) b) / (n - 1);
// n = 1 gives the midpoint (a + b) / 2. Values beyond x.size() are left out.
void r8vec_linspace(int32_t n, double a, double b, VecView<double> x);

// A free parameter (common_data::pmask nonzero) at or beyond a bound, or within a relative
// 1e-9 of it (p >= hi - 1e-9 |hi|, p <= lo + 1e-9 |lo|), moves to the midpoint of its bounds
// (1e-9 for a midpoint of 0); when any moved, f := kSumCap.
void pbounds2(
    VecView<double> p, int32_t n, VecView<const double> lo, VecView<const double> hi, double& f);
// Pushes free parameters off zero and back inside their bounds, tests in this order, each on
// the value the previous left:
//   |p| < kSumFloor                    p := kSumFloor with the sign of p (+ for 0)
//   p at or above hi (relative 1e-9)   p := |hi|/2, -1/2 (hi = 0) or -2|hi|, less kSumFloor
//   p at or below lo (relative 1e-9)   p := 2|lo| (lo >= 0) or lo/2 (lo < 0), plus kSumFloor
// where a bound of magnitude 0 counts as magnitude 1.
void fbounds(VecView<double> p, int32_t n, VecView<const double> lo, VecView<const double> hi);

// Five-point quadratic Savitzky-Golay smoothing of y(1..n) into ys: interior points
// (-3, 12, 17, 12, -3)/35; the first and last (207, 12, -18, 12, -3)/210 and the second and
// next to last (2, 27, 12, -8, 2)/35 over the five points at their end (the end formulas of
// the five-point cubic fit, whose centre formula is the quadratic one). n < 5 gives zeros.
void savitzkygolay(VecView<const double> y, int32_t n, VecView<double> ys);
// Centred moving average of y(1..n) over m points (half-width (m - 1)/2), the window narrowed
// symmetrically near the ends; the first point is (5 y1 + 2 y2 - y3)/6 (the straight line
// through the first three points) when n >= 3. n < m or m < 1 gives zeros.
void movingaver(VecView<const double> y, int32_t n, VecView<double> ys, int32_t m);

// derivat's gradient in g(1..n) and f, followed in g(n+1 .. n + n(n+1)/2) by the packed lower
// triangle of the Hessian (H11, H21, H22, H31, ...) by central differences with derivat's
// steps: (f(+h_i) - 2 f + f(-h_i)) / h_i^2 on the diagonal, four evaluations
// (f(++) - f(+-) - f(-+) + f(--)) / (4 h_i h_j) per mixed term. Rows and columns of fixed
// parameters are 0 and cost nothing; a term that is not a number becomes 0, the rest is
// clamped to +-kSumCap. Leaves the shared state at p as derivat does. A g shorter than
// n + n(n+1)/2 or n > common_data::max_params is refused with f = kSumCap, g untouched.
void derivatv(VecView<double> g, double& f, VecView<const double> p, int32_t n);

// A smooth model curve over the shared data set (rows 1..common_data::nd, x columns by nxd as
// load_x_columns takes them): between each data row and the next, k evenly spaced points
// (r8vec_linspace over k + 1 points, the end point left to the next pair), then the last row;
// every x column is spaced alike. xc(j, c) and yc(j) = the model at p (my_func::eval_func on
// common_udf::cudf) for j = 1..ncurve, ncurve = k (nd - 1) + 1 (0 without rows), cut to the
// rows of xc and the size of yc; xc needs a column per x column (with fewer, ncurve is 0).
// k < 1 counts as 1 (the data's own x values). Returns 0, or the syntax code of a formula that
// cannot be compiled (ncurve is then 0).
int32_t funcurve(VecView<const double> p,
                 int32_t np,
                 int32_t k,
                 MatView<double> xc,
                 VecView<double> yc,
                 int32_t& ncurve);

// Clears fun_count (for tests).
void reset();

}  // namespace funct
