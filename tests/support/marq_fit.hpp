// Runs the SVD Levenberg-Marquardt method on the data set loaded into common_data (by
// testsupport::load_nist or load_synthetic below) the way the fit engine's final stage calls it:
// x columns and y copied from the shared data, sigma common_data::ysig, the shared bounds,
// s0 = 1.1 times the entry sum, isearch 0 and globals::iopt as the level. Header-only: only the
// programs that include it link the method.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "model/funct.hpp"
#include "numerics/farray.hpp"
#include "numerics/stringlib.hpp"
#include "optimizers/marq_mod.hpp"
#include "support/nist_problem.hpp"

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

// The unweighted sum of squares of the first m rows of the shared data set at p(1..n), through
// funct::fun (which also refreshes common_data's fitted values and residuals).
inline double shared_ssq(int32_t m, int32_t n, const std::vector<double>& p) {
  NistProblem pb;
  pb.m = m;
  pb.n = n;
  return pb.ssq(p);
}

// A synthetic data set in common_data after a reset of every shared module a fit touches:
// the formula as the user's model, x = xscale, 2 xscale, ..., m xscale, y = the model at truth
// plus a small deterministic wiggle 1e-3 sin(1.7 i) (so the optimum is no perfect fit), sigma 1,
// every parameter free with bounds a decade around its truth.
inline void load_synthetic(const std::string& formula,
                           int32_t m,
                           const std::vector<double>& truth,
                           double xscale = 1.0) {
  reset_shared_state();
  common_udf::cudf = stringlib::fixed(formula, common_udf::len_text);
  const int32_t n = static_cast<int32_t>(truth.size());
  common_data::nd = m;
  common_data::nxd = 1;
  common_data::npr = n;
  for (int32_t j = 1; j <= n; ++j) {
    common_data::pmask(j) = 1;
    const double a = std::fabs(truth[j - 1]) + 1.0;
    common_data::pboundlo(j) = -10.0 * a;
    common_data::pboundhi(j) = 10.0 * a;
  }
  for (int32_t i = 1; i <= m; ++i) {
    common_data::xd(i) = common_data::xnx(i, 1) = i * xscale;
    common_data::ysig(i) = 1.0;
  }
  shared_ssq(m, n, truth);
  for (int32_t i = 1; i <= m; ++i)
    common_data::yd(i) = common_data::ydf(i) + 1e-3 * std::sin(1.7 * i);
  globals::starttimer = 1;
}

}  // namespace testsupport
