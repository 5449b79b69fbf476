// Runs the SVD Levenberg-Marquardt method on the data set loaded into common_data (for example
// by testsupport::load_nist) the way the fit engine's final stage calls it: x columns and y
// copied from the shared data, sigma common_data::ysig, the shared bounds, s0 = 1.1 times the
// entry sum, isearch 0 and globals::iopt as the level. Header-only: only the programs that
// include it link the method.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "model/funct.hpp"
#include "numerics/farray.hpp"
#include "optimizers/marq_mod.hpp"

namespace testsupport {

struct MarqOptions {
  int32_t iwt = 0;                    // weighting mode
  int32_t nostat = 0;                 // nonzero skips the statistics
  std::optional<int32_t> maxit = 10;  // the engine passes 10
  int32_t isearch = 0;
  double s0_factor = 1.1;  // s0 = s0_factor * entry sum
};

struct MarqResult {
  std::vector<double> p, se, ci, pinf, yfit;
  std::vector<double> vs, cv;  // n x n, column by column
  double ssq = 0.0;
  int32_t info = -1;
};

// Calls marq from p with entry sum ssq on the first m rows of the shared data set. The result
// arrays start as NaN, so an entry marq does not write stays NaN.
inline MarqResult run_marq(
    int32_t m, int32_t n, std::vector<double> p, double ssq, const MarqOptions& opt = {}) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  FMatrixD<double> xm(m, common_data::max_x);
  const int32_t nvar = funct::load_x_columns(xm.view());
  MarqResult r;
  r.p = std::move(p);
  r.se.assign(n, nan);
  r.ci.assign(n, nan);
  r.pinf.assign(n, nan);
  r.yfit.assign(m, nan);
  r.vs.assign(n * n, nan);
  r.cv.assign(n * n, nan);
  r.ssq = ssq;
  const int32_t iy = 1;
  const double s0 = opt.s0_factor * ssq;
  marq_mod::marq(m,
                 nvar,
                 iy,
                 n,
                 MatView<const double>(xm.data(), m, nvar, m),
                 MatView<const double>(common_data::yd.data(), m, 1, m),
                 VecView<double>(r.yfit.data(), m),
                 opt.nostat,
                 MatView<double>(r.vs.data(), n, n, n),
                 MatView<double>(r.cv.data(), n, n, n),
                 opt.iwt,
                 VecView<const double>(common_data::ysig.data(), m),
                 VecView<double>(r.p.data(), n),
                 VecView<const double>(common_data::pboundlo.data(), n),
                 VecView<const double>(common_data::pboundhi.data(), n),
                 VecView<double>(r.se.data(), n),
                 VecView<double>(r.ci.data(), n),
                 VecView<double>(r.pinf.data(), n),
                 s0,
                 opt.maxit,
                 r.ssq,
                 opt.isearch,
                 globals::iopt,
                 r.info);
  return r;
}

}  // namespace testsupport
