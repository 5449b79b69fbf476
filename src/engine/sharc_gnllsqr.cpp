#include "engine/sharc_gnllsqr.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"

namespace sharc_mod {
namespace {

// The Jacobian step of parameter j: h = max((|p(j)| + floor) * factor, floor).
constexpr double kStepFloor = 1.220703125e-5;
constexpr double kStepFactor = 1.0009765625e-4;

// The objective of p through f1dim2 (row 1: every row gives the same value), clamped by
// minmax. (gnllsqr calls it only with rows.)
double calcch2(RunState& rs, int32_t n, const FArray<double, common_data::max_params>& p) {
  double yfi = 0.0;
  double fval = 0.0;
  rs.f1dim2(1, VecView<const double>(p.data(), n), yfi, fval, n);
  return minmax(fval);
}

}  // namespace

double minmax(double v) {
  if (v != v) return 1e-15;
  if (std::fabs(v) < 1e-30) v = std::copysign(1e-30, v);
  if (std::fabs(v) > 1e30) v = std::copysign(1e30, v);
  if (v - 1.0 == v) return 1e15;
  return v;
}

void gnllsqr(RunState& rs, int32_t m, int32_t n, VecView<double> p, double& fmin) {
  if (n < 1 || n > common_data::max_params || m < 1) return;
  // Step 1.
  FArray<double, common_data::max_params> p0;
  for (int32_t j = 1; j <= n; ++j) p0(j) = p(j);
  const double f0 = fmin;
  calcch2(rs, n, p0);  // the value is not used further

  // Step 2: the Jacobian probes, fixed parameters included.
  double f = 0.0;
  for (int32_t j = 1; j <= n; ++j) {
    const double h = std::max((std::fabs(p0(j)) + kStepFloor) * kStepFactor, kStepFloor);
    for (const double offset : {0.0, 2.0 * h, h, -2.0 * h, -h}) {
      p(j) = p0(j) + offset;
      rs.f1dim(p, n, f);
    }
    p(j) = p0(j);
  }
  // Step 3: the residuals at p, the evaluation common_data keeps.
  rs.f1dim(p, n, f);

  // Step 4.
  for (int32_t j = 1; j <= n; ++j) p(j) = p0(j);
  fmin = f0;
}

}  // namespace sharc_mod
