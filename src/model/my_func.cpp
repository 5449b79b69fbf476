#include "model/my_func.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "model/fparser.hpp"
#include "model/limits.hpp"
#include "model/model_front.hpp"
#include "model/simd.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/stringlib.hpp"

namespace my_func {

int32_t eval_func(VecView<const double> p,
                  int32_t np,
                  VecView<const double> x,
                  int32_t nx,
                  std::string& formula,
                  double& value) {
  // Step 1. Left adjustment changes nothing unless the text starts with a blank or TAB; the
  // test spares the hot path a scan of the whole 512-character buffer per row.
  limits::set();
  if (!formula.empty() && (formula[0] == ' ' || formula[0] == '\t')) stringlib::s_adjustl(formula);
  // Step 2.
  value = 0.0;
  int32_t status = 0;
  if (globals::nmdl != 0) {
    const double x1 = nx >= 1 ? x(1) : 0.0;
    const double x2 = nx >= 2 ? x(2) : 0.0;
    const double x3 = nx >= 3 ? x(3) : 0.0;
    value = func2(x1, x2, x3, np);
  } else {
    status = fnparse2(p, x, np, nx, 1, formula, value);
  }
  // Step 3.
  nrutil::rval_nan(value, limits::kNan);
  if (value < -limits::kBound) value = -limits::kBound;
  if (value > limits::kBound) value = limits::kBound;
  return status;
}

int32_t eval_func_rows(VecView<const double> p,
                       int32_t np,
                       MatView<const double> x,
                       int32_t nx,
                       std::string& formula,
                       int32_t n,
                       VecView<double> values,
                       bool limit,
                       fparser::ResidualSink* sink) {
  if (n < 1) return 0;
  // Step 1, once for all rows.
  limits::set();
  if (!formula.empty() && (formula[0] == ' ' || formula[0] == '\t')) stringlib::s_adjustl(formula);
  // Step 2.
  if (globals::nmdl != 0) {
    for (int32_t i = 1; i <= n; ++i) {
      const double x1 = nx >= 1 ? x(i, 1) : 0.0;
      const double x2 = nx >= 2 ? x(i, 2) : 0.0;
      const double x3 = nx >= 3 ? x(i, 3) : 0.0;
      values(i) = func2(x1, x2, x3, np);
    }
  } else if (const int32_t status = fnparse2_rows(p, x, np, nx, 1, formula, n, &values(1), sink);
             status != 0) {
    return status;
  } else if (sink != nullptr) {
    return 0;  // the sink applied the guard
  }
  // Step 3, per row, on the contiguous values: the same guard on vectors.
  if (limit) simd::active->limit_values(&values(1), n);
  return 0;
}

int32_t formula_fault(
    VecView<const double> p, int32_t np, MatView<const double> x, int32_t nx, int32_t n) {
  fparser::evalerrtype = 0;
  if (globals::nmdl != 0 || fparser::comp.size() < 1) return 0;
  std::vector<double> values(size_t(std::max(np, 0) + std::max(nx, 0)));
  for (int32_t k = 1; k <= np; ++k) values[size_t(k - 1)] = p(k);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t k = 1; k <= nx; ++k) values[size_t(np + k - 1)] = x(i, k);
    if (const int32_t fault = fparser::evalf_fault(1, values); fault != 0) return fault;
  }
  return 0;
}

int32_t stand_in_rows(
    VecView<const double> p, int32_t np, MatView<const double> x, int32_t nx, int32_t n) {
  std::vector<double> values(size_t(std::max(n, 0)));
  if (n < 1 || eval_func_rows(p, np, x, nx, common_udf::cudf, n, VecView<double>(values.data(), n),
                              false) != 0) {
    return 0;
  }
  int32_t count = 0;
  for (const double v : values) count += v != v || std::fabs(v) > limits::kBound ? 1 : 0;
  return count;
}

}  // namespace my_func
