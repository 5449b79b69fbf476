// Post-fit statistics of the fit run (module sharc_mod, file of the post-fit statistics): the
// model information criterion, p-values, Spearman's r of observed and fitted values, the
// eigenvalue threshold of the report, the outlier threshold tau with the Peirce flags and the
// row marks of the listing, and the hand-over of the data to the result windows.
//
//   MIC = ln(S1 / S2) + A / B,  S1 = sum ((y - yfit) / w)^2,  S2 = sum (yfit - mean(yfit))^2
//   A = n + npr - fixed + k',   B = n - npr - fixed - k' - 2   (each at least 1)
// where k' counts the free parameters whose p-value exceeds 0.05 (at most n - free - 3). The
// mean's divisor n, the quotient A / B and Peirce's n - 1 are single precision.
//
// The p-values test the free parameters with n - d degrees of freedom, d the number of those
// in the statistics, as their standard errors are computed. An undetermined parameter has no
// standard error (NaN) and no p-value. One that moves no fitted value counts as fixed in the
// counts (fixed, free, k, Peirce's unknowns), as the statistics hold it, so that the MIC is
// that of the model with the parameter masked. One whose standard error would rest on no
// correct digit is a free parameter of the statistics and counts in k as not significant: the
// data do not show it to differ from 0.
//
// The fit run computes the statistics inside its frame (fit_frame.hpp), on data whose largest
// |y| is of order 100, where the sums of squares can be had of data of any size (squares of data
// of order 1E+150 would overflow in their own units), and hands the data over in the user's
// units after leaving it. Every figure is the same in any units of y and of the parameters: the
// MIC is a quotient of sums, the eigenvalue threshold and the exact-fit test take the residuals
// relative to the data, p-values, Spearman's r, tau and the Peirce flags have no unit.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "engine/sharc_runs.hpp"
#include "engine/sharc_stats.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

// The fit run's arrays after the cascade (1-based; m = number of free parameters).
struct FitResult {
  int32_t n = 0;            // data rows
  int32_t npr = 0;          // parameters
  int32_t nx = 0;           // x variables
  FMatrixD<double> x;       // n x nx: the data file's x columns as read
  FVector<double> y;        // observed y
  FVector<double> yfit;     // fitted y of the final evaluation
  FVector<double> studres;  // studentized residuals (stderr_corr)
  FVector<double> sigy;     // weights of the final evaluation (1, or 1..10 when re-weighted)
  FVector<double> a;        // final parameters
  FVector<double> ase;      // standard errors (0 for a fixed parameter, NaN undetermined)
  FVector<double> pcl;      // 95% confidence half-widths
  FVector<double> pval;     // p-values
  FVector<int32_t> mask;    // 0 = fixed, anything else = free
  // kMovesNothing for a free parameter that moves no fitted value at the final parameters: the
  // data do not determine it, and the statistics leave it out as if it were fixed;
  // kUnresolved for one whose standard error would rest on no correct digit: it stays in the
  // statistics without one (stderr_corr). 0 for the others.
  FVector<int32_t> undetermined;
  // 1 for a free parameter that the data do not determine separately from others (stderr_corr).
  FVector<int32_t> inseparable;
  FMatrixD<double> correl;  // d x d correlation matrix of the d free parameters of the statistics
  FVector<double> dcorr;    // its d eigenvalues (sized for m; entries d + 1..m unused)
  FMatrixD<double> pcmp;    // d x d percentage table of the loadings
  RunsTest runs;            // runs test of the residuals
  double sse = 0.0;         // sum of squares of the final evaluation
  // The sum of squares that no change of the free parameters removes, to first order
  // (stderr_corr); NaN when not computed.
  double sse_floor = std::numeric_limits<double>::quiet_NaN();

  // Sizes every array for n rows, npr parameters (m of them free) and nx x variables.
  void resize(int32_t rows, int32_t params, int32_t free, int32_t xvars);
  int32_t fixed() const;  // mask entries equal to 0
  // Free and not undetermined: a parameter with a standard error.
  bool determined(int32_t i) const { return mask(i) != 0 && undetermined(i) == 0; }
  // Free and moving some fitted value: a parameter of the statistics.
  bool in_statistics(int32_t i) const { return mask(i) != 0 && undetermined(i) != kMovesNothing; }
  int32_t statistics_count() const;
};

// What the statistics give the report and the run-log line.
struct PostFit {
  double mic = 0.0;
  double spearman = 0.0;
  double tau = 0.0;              // outlier threshold (also common_data::ctau)
  double eigen_threshold = 0.0;  // v of the eigenvalue line
  int32_t ismall = 0;            // index of the eigenvalue of smallest magnitude (0: none)
  int32_t k = 0;                 // free parameters with p-value > 0.05
  int32_t kprime = 0;            // k as the penalty counts it
  int32_t count_a = 0;           // A of the MIC penalty
  int32_t count_b = 0;           // B of the MIC penalty
  FVector<int32_t> pidx;         // Peirce flag per row (0 or 1)
  std::string date;              // 30 characters, left-adjusted
};

// Steps 1 to 11: the statistics, in order, of a fit in the fit's frame. Unless every residual
// is zero (the MIC is then -4.503599727262001e19), it changes fit.ase (magnitudes), fit.pval
// and fit.sigy (weights below 2 become 1). Writes common_data::ctau and the residual plot's
// ranges and row numbers.
PostFit postfit_statistics(FitResult& fit);

// The mark of a listing row: "[Influential]" when |studres| > tau, else "[Suspect]" when the
// Peirce flag is set, else empty.
std::string row_mark(double studres, double tau, int32_t pidx);

// Step 12: a fit whose residuals leave nothing to test: an exact fit with n - npr + fixed <= 2.
// The fit is exact when the sum of squares that no change of its parameters removes,
// fit.sse_floor, is at most (1e-12)^2 times the sum of the squared observed and fitted values:
// the residuals lie below the twelfth significant digit of the data whatever last digits the
// searches left in the parameters. A fit whose statistics were not computed is not exact.
bool degenerate_fit(const FitResult& fit);

// Step 13: the data set for the result windows (common_data::nd, xd, yd, ydf, xdl, xmin0).
void hand_over(const FitResult& fit);

}  // namespace sharc_mod
