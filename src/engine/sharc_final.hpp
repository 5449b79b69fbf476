// The arguments of one cascade pass and the final statistics of its final stage.
#pragma once

#include <cstdint>

#include "engine/sharc_cascade.hpp"
#include "engine/sharc_stages.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

// Stand-in for the results of the final statistics (the cascade's arguments 18 to 28) until
// the standard-error module lands.
struct StatsOut {};

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

// Standard errors into se (9999.0 throughout when one is NaN), 95 % half-widths t * se into cl,
// the condition indices of the correlation matrix, and one last publication of `best`.
void final_statistics(const Arguments& a, VecView<const double> best, int32_t nfixed,
                      const Stages& st);

}  // namespace sharc_mod
