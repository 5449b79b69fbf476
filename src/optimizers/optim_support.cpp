#include "optimizers/optim_support.hpp"

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "model/funct.hpp"
#include "numerics/timeit_mod.hpp"

namespace optim_support {
namespace {

// The x matrix of fun_shared_data, sized once for the largest data set.
FMatrix<double, common_data::max_rows, common_data::max_x> x_matrix;

}  // namespace

bool time_limit_passed() {
  globals::totaltime = timeit_mod::timeclock(globals::starttimer);
  return globals::totaltime > globals::timemax;
}

double clamp_nan(double v, double lo, double hi, double nan_value) {
  if (v != v) return nan_value;
  if (v < lo) return lo;
  if (v > hi) return hi;
  return v;
}

double fun_shared_data(VecView<const double> p, int32_t n, VecView<double> yf) {
  const int32_t nd = common_data::nd;
  const int32_t cols = funct::load_x_columns(x_matrix.view());
  double ssq = 0.0;
  funct::fun(MatView<const double>(x_matrix.data(), nd, cols, common_data::max_rows),
             VecView<const double>(common_data::yd.data(), nd),
             p,
             n,
             common_data::nxd,
             nd,
             common_data::ndwt,
             yf,
             VecView<const double>(common_data::ysig.data(), nd),
             ssq);
  return ssq;
}

}  // namespace optim_support
