// The arguments of one cascade pass and the final statistics of its final stage.
#pragma once

#include <cstdint>
#include <limits>

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
  // Per parameter: 1 for a free parameter that moves no fitted value at the final vector
  // (FitCheck), left out of the statistics above.
  FVector<int32_t> undetermined{};
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

// Standard errors into se (9999.0 throughout when one is NaN; weighted by the rows' weights in
// the fit's weighting mode at best), 95 % half-widths t * se into cl with t for the
// n - f residual degrees of freedom (at least 1), f the number of determined free parameters,
// the correlation results and the undetermined parameters into stats (whose se and cl are NaN),
// the condition indices of the correlation matrix into common_data::cimat, and one last
// publication of `best` (sum of squares final_sum). Returns false when the statistics find that
// no free parameter moves any fitted value at `best`.
bool final_statistics(const Arguments& a,
                      VecView<const double> best,
                      int32_t nfixed,
                      double final_sum);

}  // namespace sharc_mod
