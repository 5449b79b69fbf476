// One pass of the optimiser cascade with the arguments the fit run hands it: the data set that
// testsupport::load_nist left in common_data, weighting None, every parameter free, the stage
// code 91, the hit-and-run offset 1e-9, a first pass of a fresh run. The pass needs a current
// window (the progress display and the Cancel button are drawn on it).
#pragma once

#include <cstdint>
#include <vector>

#include "common/common_data.hpp"
#include "engine/sharc_cascade.hpp"
#include "engine/sharc_final.hpp"
#include "model/funct.hpp"
#include "numerics/farray.hpp"
#include "support/nist_problem.hpp"

namespace testsupport {

// The fit run's arrays that receive the final statistics (the cascade's arguments 18 to 28),
// sized for up to 10 parameters and n rows.
struct StatsArrays {
  sharc_mod::StatsOut& bind(int32_t n) {
    correl.assign(100, 0.0);
    pcmp.assign(100, 0.0);
    eigval.assign(10, 0.0);
    resid.assign(n, 0.0);
    studres.assign(n, 0.0);
    out.correl = MatView<double>(correl.data(), 10, 10, 10);
    out.pcmp = MatView<double>(pcmp.data(), 10, 10, 10);
    out.eigval = VecView<double>(eigval.data(), 10);
    out.resid = VecView<double>(resid.data(), n);
    out.studres = VecView<double>(studres.data(), n);
    return out;
  }
  std::vector<double> correl, pcmp, eigval, resid, studres;
  sharc_mod::StatsOut out{};
};

struct CascadePass {
  explicit CascadePass(const NistProblem& pb) : n(pb.m), np(pb.n), nx(pb.nx), p(pb.x0) {
    x.assign(static_cast<size_t>(n) * nx, 0.0);
    funct::load_x_columns(MatView<double>(x.data(), n, nx, n));
    for (int32_t i = 1; i <= n; ++i) y.push_back(common_data::yd(i));
    yf.assign(n, 0.0);
    sig.assign(n, 1.0);
    mask.assign(np, 1);
    for (int32_t i = 1; i <= np; ++i) {
      lo.push_back(common_data::pboundlo(i));
      hi.push_back(common_data::pboundhi(i));
    }
    se.assign(np, 0.0);
    cl.assign(np, 0.0);
    res17.assign(np, 0.0);
  }

  void run() {
    sharc_mod::sharc(MatView<double>(x.data(), n, nx, n),
                     VecView<double>(y.data(), n),
                     VecView<double>(yf.data(), n),
                     VecView<double>(sig.data(), n),
                     mode,
                     nx,
                     n,
                     VecView<double>(p.data(), np),
                     np,
                     VecView<int32_t>(mask.data(), np),
                     VecView<double>(lo.data(), np),
                     VecView<double>(hi.data(), np),
                     level,
                     ssq,
                     VecView<double>(se.data(), np),
                     VecView<double>(cl.data(), np),
                     VecView<double>(res17.data(), np),
                     stats.bind(n),
                     &code,
                     offset,
                     &first,
                     bpostrun);
  }

  int32_t n, np, nx;
  int32_t mode = 0;
  int32_t level = 3;
  int32_t code = 91;
  int32_t first = 1;
  int32_t bpostrun = 0;
  double offset = 1e-9;
  double ssq = 0.0;
  std::vector<double> p, x, y, yf, sig, lo, hi, se, cl, res17;
  std::vector<int32_t> mask;
  StatsArrays stats;
};

}  // namespace testsupport
