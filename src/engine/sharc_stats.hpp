// Standard errors, correlation and principal components of a fit (module sharc_mod, file of
// the cascade's final statistics).
//
// At the final parameters p the Jacobian J of the fitted values is taken by central
// differences over the free parameters (sharc_jacobian.hpp). With the row weights W of the fit (1
// for an unweighted fit) the normal matrix A = J'WJ is inverted into the covariance C = inv(A). The
// fit run calls this in its frame (fit_frame.hpp), where y and the parameters start at unit size;
// the steps do not depend on units all the same. J's columns are scaled to unit weighted norm, D =
// diag of the norms, so that the normal matrix D^-1 A D^-1 has a unit diagonal; its floors, ridges
// and inverses act there, and C = D^-1 inv(D^-1 A D^-1) D^-1 (the frame's exponents, fixed at
// the start, leave columns of any size at the final parameters). Thresholds on residuals and on
// the changes of the fitted values are taken relative to the data's largest |y|. So every
// figure below is the same, times its unit, whatever the units of y and of the parameters. Then
//   SE(k)   = sqrt(C(k,k)) * sqrt(SSE / (n - f))     SSE = sum w r^2, the weighted sum
//   R(j,k)  = C(j,k) / sqrt(C(j,j) C(k,k))          the correlation matrix of the f free
//                                                    parameters, with its eigen-analysis
//   h(i)    = |w(i) J(i,:) C J(i,:)'|                the leverage of row i
//   t(i)    = r(i) / (s sqrt(1 - h(i)))              the studentized residual, s^2 = v/(n-f-1),
//                                                    with r := sqrt(w) r, v := sum w r^2 when
//                                                    weighted (v: the unweighted sum at p else)
// A normal matrix that cannot be inverted (singular to working precision) is regularised
// instead: its diagonal raised by a ridge and inverted by LU, with Kaiser's regularised
// inverse as the fallback, twice, the second ridge scaled to the largest eigenvalue of the
// first pass's R, and only the second pass's results kept, for R and its eigen-analysis:
// the correlation of -1 and the eigenvalue near 0 are what show the user the combination of
// parameters that the data do not fix. The ridge's standard errors would be its own, not the
// data's: the standard errors, leverages and the sum no change removes come instead from the
// inverse on the directions of the scaled Jacobian that the data resolve (sharc_resolve.hpp),
// its columns differenced again over the steps that differentiate them best.
// A parameter with a loading in a direction they do not resolve stays in J, A and R, and its
// standard error is NaN; it and those whose variance comes mostly from directions that the
// normal matrix does not resolve are the ones the data do not determine separately (the model
// is then evaluated up to 34f + 1 times more). The residuals also get the runs test, and the
// studentized residuals, the first and last rows as every other, are scaled by
// 1 / sqrt(1 - 1/n), centred row by row on the column's running mean and bounded to
// [-5.9, 5.9].
//
// Fixed parameters (common_data::pmask 0) are left out of J, A, C and R in index order; their
// standard error is 0. A free parameter whose central differences change no fitted value by
// 1e-9 of the data's largest |y| (with a step widened until they would, as far as the model
// stays its own) is left out too: it moves no fitted value that differences resolve, the data say
// nothing about it, and its column would only carry rounding into A. Everything above is then
// computed from the columns that move alone, as if it were held fixed (f counts those columns),
// and its standard error is NaN: not computed. When no free parameter moves any fitted value, all
// columns are kept as they are (the fit run ends such a fit on its error path).
#pragma once

#include <cstdint>

#include "engine/sharc_runs.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

// Values of FitCheck::undetermined.
inline constexpr int32_t kMovesNothing = 1;  // moves no fitted value: left out, as if fixed
inline constexpr int32_t kUnresolved = 2;    // in the statistics, but its standard error would
                                             // rest on no correct digit

// What the final statistics find about the fit as a whole.
struct FitCheck {
  bool moves = false;  // some free parameter moves some fitted value at p
  // The sum of squares that no change of the free parameters removes, to first order: that of
  // the residuals after one Gauss-Newton step from p, r - J C J'W r. It does not depend on how
  // close to the least-squares vector the searches stopped, only on the data and the model.
  double sse_floor = 0.0;
  // Per parameter 1..np: kMovesNothing or kUnresolved for an undetermined free parameter,
  // else 0.
  FVector<int32_t> undetermined;
  // Per parameter 1..np: 1 for a free parameter that the data do not determine separately
  // from others (sharc_resolve.hpp), else 0.
  FVector<int32_t> inseparable;
};

// Final statistics of the parameters p(1..np) fitted to rows 1..n.
//   x        in   n rows by nx columns: X1..Xnx of each row
//   y        in   observed values
//   yfit     out  fitted values at p (the evaluation after the Jacobian)
//   p        in   parameters; common_data::pmask marks the free ones (f of them)
//   sse      in   sum of squares of the fit, for the standard errors: the weighted sum
//                 sum w(i) r(i)^2 of a weighted fit
//   w        in   w(1..n): the row weights of the fit, 1 / sigma^2 (all 1 when unweighted)
//   se       out  se(1..np): standard errors, 0 for a fixed parameter, NaN for an
//                 undetermined one
//   correl   out  f x f correlation matrix of the free parameters that move a fitted value
//   eigval   out  its f eigenvalues, descending
//   pcmp     out  f x f percentage table of the loadings (column k belongs to eigval(k))
//   resid    out  residuals y - yfit (scaled by one common random factor in [0.99, 1.01) when
//                 their mean magnitude is below 2.2204460492503132e-20)
//   runs     out  the runs test of resid
//   studres  out  studentized residuals (of the weighted residuals sqrt(w) r when any w is
//                 not 1)
// Needs 1 <= f < n and n <= common_data::max_rows (the fit run guarantees n >= 3 and
// 2 <= f < n). Evaluates the model with funct::fun, which leaves the state of its last
// evaluation (at p, unweighted) in common_data. Writes "MATRIX INVERSE 2 - Fatal error!" to
// the standard output when the regularised matrix defeats both the LU and Kaiser's inverse,
// and goes on. Returns the check of the fit: `moves` is false when no free parameter moves a
// fitted value (the statistics then stand on rounding alone).
FitCheck stderr_corr(MatView<const double> x,
                     VecView<const double> y,
                     int32_t nx,
                     int32_t n,
                     VecView<double> yfit,
                     VecView<const double> p,
                     int32_t np,
                     double sse,
                     VecView<const double> w,
                     VecView<double> se,
                     MatView<double> correl,
                     VecView<double> eigval,
                     MatView<double> pcmp,
                     VecView<double> resid,
                     RunsTest& runs,
                     VecView<double> studres);

}  // namespace sharc_mod
