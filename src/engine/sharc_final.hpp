// The arguments of one cascade pass and the final statistics of its final stage.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "engine/sharc_cascade.hpp"
#include "engine/sharc_runs.hpp"
#include "engine/sharc_stages.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

// The results of the final statistics (the cascade's arguments 18 to 28), written into the
// fit run's arrays: f is the number of free parameters, n the number of rows.
struct StatsOut {
  MatView<double> correl;   // f x f correlation matrix of the free parameters
  VecView<double> eigval;   // its f eigenvalues, descending
  MatView<double> pcmp;     // f x f percentage table of the principal components
  VecView<double> resid;    // n residuals of the final vector
  RunsTest runs;            // runs test of the residuals
  VecView<double> studres;  // n studentized residuals
  // The sum of squares that no change of the free parameters removes (FitCheck); NaN when the
  // statistics were not computed.
  double sse_floor = std::numeric_limits<double>::quiet_NaN();
  // Per parameter: FitCheck's kMovesNothing for a free parameter that moves no fitted value at
  // the final vector, left out of the statistics above, kUnresolved for one without a standard
  // error, else 0.
  FVector<int32_t> undetermined{};
  // Per parameter: 1 for a free parameter that the data do not determine separately, else 0.
  FVector<int32_t> inseparable{};
};

// The cascade's 32 arguments, gathered (see sharc()).
struct Arguments {
  MatView<double> x;
  VecView<double> y;
  VecView<double> yf;
  VecView<double> sig;
  int32_t& mode;
  int32_t& nx;
  int32_t& n;
  VecView<double> p;
  int32_t& np;
  VecView<int32_t> mask;
  VecView<double> lo;
  VecView<double> hi;
  int32_t& level;
  double& ssq;
  VecView<double> se;
  VecView<double> cl;
  VecView<double> res17;
  StatsOut& stats;
  const int32_t* stage_code;
  double& offset;
  const int32_t* first_pass;
  int32_t& bpostrun;
};

inline VecView<const double> cview(VecView<double> v) {
  return VecView<const double>(v.data(), v.size());
}

// common_data::xnx := the x data (rows 1..n, one column per x variable).
void publish_x(const Arguments& a);
// publish_x, and yd := y, ydf := yf, ysig := sig (rows 1..n).
void publish_data(const Arguments& a);

// Standard errors into se (9999.0 in the user's units, fit_frame::active.p_in(i, 9999.0) in the
// frame, throughout when one is NaN; weighted by the rows' weights in the fit's weighting mode
// at best), 95 % half-widths t * se into cl with t for the n - f residual degrees of freedom
// (at least 1), f the number of free parameters that move a fitted value, the correlation
// results and the undetermined parameters into stats (whose se and cl are NaN),
// the condition indices of the correlation matrix into common_data::cimat, and one last
// publication of `best` (sum of squares final_sum). Returns false when the statistics find that
// no free parameter moves any fitted value at `best`.
bool final_statistics(const Arguments& a,
                      VecView<const double> best,
                      int32_t nfixed,
                      double final_sum);

// A figure of a message: v written 1P,E9.1 ("1.0E+16"), or with three exponent digits when it
// needs them ("1.0E+200"), left-adjusted.
std::string figure(double v);

// The lines of a dialog that says `text`: its words filled into lines of at most 38
// characters, each led by a blank, joined by CR LF.
std::string dialog_lines(const std::string& text);

// How many times the data's largest magnitude y(1..n) the model's largest magnitude at p(1..np)
// is (x: n rows by nx columns), rounded to a power of ten; 0 when either is 0 or not a number.
double magnitude_ratio(MatView<const double> x,
                       int32_t nx,
                       VecView<const double> y,
                       int32_t n,
                       VecView<const double> p,
                       int32_t np);

// The sentence that says that the model's values at the starting (at_start) or final parameters
// are the evaluator's stand-ins in `rows` of the n rows, with what to do; ratio is
// magnitude_ratio at the starting values. Figures out of the fit's frame (fit_frame::active).
std::string stand_in_text(int32_t rows, int32_t n, double ratio, bool at_start);

}  // namespace sharc_mod
