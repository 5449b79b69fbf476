#include "model/vmfun.hpp"

#include "common/common_data.hpp"
#include "model/funct.hpp"

namespace {

using common_data::max_params;
using common_data::max_rows;
using common_data::max_x;

// Work arrays, sized once (the objective is called for every trial vector).
struct VmfunWork {
  FMatrix<double, max_rows, max_x> x;
  FArray<double, max_rows> yf;
  FArray<double, max_params> p;
};
VmfunWork vw;

}  // namespace

void vmfun(int32_t np, VecView<const double> x, double& f) {
  if (np > max_params) {  // more parameters than the shared vectors hold
    f = funct::kSumCap;
    return;
  }
  // Step 1: the x matrix by nxd (1: one column, 2: two, otherwise three), unit sigmas for
  // zeros, a contiguous parameter vector.
  const int32_t n = common_data::nd;
  const int32_t cols = funct::load_x_columns(vw.x.view());
  for (int32_t i = 1; i <= n; ++i) {
    if (common_data::ysig(i) == 0.0) common_data::ysig(i) = 1.0;
  }
  for (int32_t k = 1; k <= np; ++k) vw.p(k) = x(k);
  // Step 2. ysig is both the sigma argument and an output of fun, which reads it first.
  funct::fun(MatView<const double>(vw.x.data(), n, cols, max_rows),
             VecView<const double>(common_data::yd.data(), n),
             VecView<const double>(vw.p.data(), np),
             np,
             common_data::nxd,
             n,
             common_data::ndwt,
             vw.yf.view(n),
             VecView<const double>(common_data::ysig.data(), n),
             f);
  // Step 3.
  for (int32_t i = 1; i <= n; ++i) {
    common_data::ydf(i) = vw.yf(i);
    common_data::ydr(i) = common_data::yd(i) - vw.yf(i);
  }
}
