#include "constrained/initialize_vmsqp.hpp"

#include <algorithm>

#include "common/common_data.hpp"
#include "model/funct.hpp"

namespace initialize_vmsqp {
namespace {

using common_data::max_params;
using common_data::max_rows;
using common_data::max_x;

// Work arrays of model_function, sized once for the largest data set: the method evaluates
// thousands of times per call, so an evaluation allocates nothing.
struct EvalWork {
  FMatrix<double, max_rows, max_x> xm;  // x matrix, rows by nvar
  FArray<double, max_rows> y;           // copy of y
  FArray<double, max_rows> yfit;        // copy of yfit, then the evaluator's fitted values
  FArray<double, max_rows> divisor;     // per-row divisors, all 1.0
  FArray<double, max_params> p;         // copy of x
};
EvalWork ew;

}  // namespace

void model_function(int32_t m,
                    int32_t n,
                    int32_t nvar,
                    int32_t mode,
                    VecView<const double> x,
                    VecView<double> sigma,
                    VecView<const double> /*xdat*/,
                    VecView<const double> y,
                    VecView<double> yfit,
                    VecView<double> resid,
                    double& ssr) {
  // More than the shared arrays hold: funct::fun would refuse it too, after the copies below
  // had run past the work arrays.
  if (m > max_rows || nvar > max_x || n > max_params) {
    for (int32_t k = 1; k <= m; ++k) sigma(k) = 1.0;
    ssr = funct::kSumCap;
    return;
  }
  const int32_t rows = std::max(m, 0);
  for (int32_t k = 1; k <= rows; ++k) {
    ew.xm(k, 1) = common_data::xd(k);
    if (nvar >= 2) ew.xm(k, 2) = common_data::xd2(k);
    if (nvar >= 3) ew.xm(k, 3) = common_data::xd3(k);
    ew.y(k) = y(k);
    ew.yfit(k) = yfit(k);
    ew.divisor(k) = 1.0;
  }
  for (int32_t j = 1; j <= n; ++j) ew.p(j) = x(j);

  double weighted = 0.0;  // the evaluator's weighted sum: not used
  funct::fun(MatView<const double>(ew.xm.data(), rows, std::max(nvar, 1), max_rows),
             VecView<const double>(ew.y.data(), rows),
             VecView<const double>(ew.p.data(), std::max(n, 0)),
             n,
             nvar,
             m,
             mode,
             VecView<double>(ew.yfit.data(), rows),
             VecView<const double>(ew.divisor.data(), rows),
             weighted);

  ssr = 0.0;
  for (int32_t k = 1; k <= rows; ++k) {
    sigma(k) = ew.divisor(k);
    resid(k) = y(k) - ew.yfit(k);
    yfit(k) = ew.yfit(k);
    const double r = resid(k) / sigma(k);
    ssr += r * r;
  }
}

void evaluate_constraints(VecView<const double> x,
                          int32_t n,
                          VecView<double> c,
                          int32_t ncon,
                          VecView<const double> lo,
                          VecView<const double> hi) {
  const long cleared = std::min<long>(ncon, c.size());
  for (long i = 1; i <= cleared; ++i) c(i) = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    c(i) = lo(i) - x(i);
    c(n + i) = x(i) - hi(i);
  }
}

void compute_constraint_gradients(MatView<double> a,
                                  int32_t /*ncon*/,
                                  int32_t n,
                                  VecView<const int32_t> mask) {
  for (long j = 1; j <= a.cols(); ++j) {
    for (long i = 1; i <= a.rows(); ++i) a(i, j) = 0.0;
  }
  for (int32_t j = 1; j <= n; ++j) {
    if (mask(j) == 0) continue;
    a(j, j) = -1.0;
    a(n + j, j) = 1.0;
  }
}

}  // namespace initialize_vmsqp
