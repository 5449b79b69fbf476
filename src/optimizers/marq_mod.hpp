// The SVD Levenberg-Marquardt method: the last stage of the fit's optimiser cascade and the
// source of the parameter statistics of its report.
//
// marq minimises the weighted sum of squares of the user's model (evaluated row by row through
// my_func::eval_func on common_udf::cudf) by damped Gauss-Newton steps computed from the
// singular value decomposition of the derivative matrix of the fitted values [1, 2]: with
// J = U diag(w) V^T and the residual vector e, the step is
//     delta = sum_i V(:, i) w(i) / (w(i)^2 + tau^2) (U(:, i)^T e),
// the Levenberg-Marquardt step with damping tau^2. The singular values are first transformed
// (lifted, limited, floored at tau) and tau follows a step factor mu that adapts to the relative
// gain of each accepted step. The iteration runs in cycles of at most maxit iterations of at
// most five damped sub-steps; a cycle that ends above the sum it started from restores its
// start vector. A small perturbation search polishes the result, and the final phase computes
// standard errors, 95 % confidence half-widths and the parameter influence.
//
// [1] K. Levenberg, "A method for the solution of certain non-linear problems in least squares",
//     Quart. Appl. Math. 2 (1944) 164-168; D. W. Marquardt, J. SIAM 11 (1963) 431-441.
// [2] G. H. Golub, C. Reinsch, "Singular value decomposition and least squares solutions",
//     Numerische Mathematik 14 (1970) 403-420.
#pragma once

#include <cstdint>
#include <optional>

#include "numerics/farray.hpp"

namespace marq_mod {

// Diagnostic of the last decomposition: 1e-6 times the largest transformed singular value of a
// sub-step, 1e-15 times the largest regularised inverse square singular value of the final
// statistics, or kDegenerateStep / kDegenerateStats on the degenerate paths. Nothing reads it.
inline double deigen = 0.0;
inline constexpr double kDegenerateStep = -1.7976931348623154e302;
inline constexpr double kDegenerateStats = -1.7976931348623157e293;

// Evaluations of the objective (each over all rows) since program start or reset(): the cost
// of a fit.
inline int64_t funy_count = 0;

// Fits the model to rows 1..m.
//   m, nvar, iy  in      rows, x variables (1..3), the column of Y holding y (below 1: y is 0)
//   n            in      parameters, free and fixed (common_data::pmask nonzero = free)
//   x            in      m x nvar independent variables;  Y  in  m x iy observed values
//   yfit         out     fitted values at the returned p (also left in common_data::ydf, with
//                        the residuals in common_data::yres)
//   nostat       in      nonzero skips the final statistics (se, ci, pinf, VS, CV untouched)
//   VS           out     n x n: its leading nfree x nfree block the unscaled covariance factor
//                        C = V diag(w') V^T of the free parameters (in index order), rest 0
//   CV           out     n x n: the correlations C(j,k) / sqrt(C(j,j) C(k,k)) laid out by
//                        parameter index, 0 for fixed parameters
//   iwt          in      weighting mode 0..3 (above 3 fits unweighted)
//   sig          in      per-row values of weighting mode 1
//   p            in/out  the parameters; on return the best vector found
//   plo, phi     in      lower and upper bounds (for the bounds rule of trial vectors)
//   se, ci       out     standard errors and 95 % confidence half-widths (0 for fixed)
//   pinf         out     the parameter influence in percent (0 for fixed)
//   s0           in      reference sum: the first cycle restores p when it ends above s0
//   maxit        in      iterations per cycle (absent: 30)
//   ssq          in/out  the sum at p; on return the sum at the returned p
//   isearch      in      odd: a perturbation search inside the first ten iterations; nonzero:
//                        one at the end of every iteration
//   level        in      globals::iopt: failed iterations a cycle tolerates with isearch on
//   info         out     0 at the start of every cycle
// Polls the time limit (optim_support::time_limit_passed) before every cycle, iteration and
// sub-step and ends through the final phase once it has passed. m outside 1..1000 or n outside
// 1..10 (more than the shared arrays hold) returns at once with nothing changed.
void marq(const int32_t& m,
          const int32_t& nvar,
          const int32_t& iy,
          const int32_t& n,
          MatView<const double> x,
          MatView<const double> Y,
          VecView<double> yfit,
          const int32_t& nostat,
          MatView<double> VS,
          MatView<double> CV,
          const int32_t& iwt,
          VecView<const double> sig,
          VecView<double> p,
          VecView<const double> plo,
          VecView<const double> phi,
          VecView<double> se,
          VecView<double> ci,
          VecView<double> pinf,
          const double& s0,
          std::optional<int32_t> maxit,
          double& ssq,
          const int32_t& isearch,
          const int32_t& level,
          int32_t& info);

// deigen and funy_count back to their start-up values (for tests).
void reset();

}  // namespace marq_mod
