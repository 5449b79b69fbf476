#include "engine/sharc_objective.hpp"

#include <cmath>

#include "common/globals.hpp"
#include "model/funct.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/runtime_rng.hpp"
#include "optimizers/bounds_rule.hpp"

namespace sharc_mod {
namespace {

using common_data::max_params;
using common_data::max_rows;
using common_data::max_x;

// Built-in model numbers from this one on are not evaluated by the model evaluator.
constexpr int32_t kFirstSpecialModel = 4000;
// A mean |residual| below this counts as an exact fit, which gets a small random disturbance.
constexpr double kExactFit = 2.2204460492503132e-20;

// v limited to [-L, L]; a NaN stays NaN for the guard that follows.
double clamp_limit(double v) {
  if (v < -kClampLimit) return -kClampLimit;
  if (v > kClampLimit) return kClampLimit;
  return v;
}

// Step 2.3 of funcs: the evaluation of p becomes the shared "last evaluation".
void publish(MatView<const double> x,
             VecView<const double> y,
             VecView<double> yf,
             VecView<const double> sig,
             int32_t nx,
             int32_t n,
             VecView<const double> p,
             int32_t np) {
  for (int32_t j = 1; j <= nx; ++j) {
    for (int32_t i = 1; i <= n; ++i) common_data::xnx(i, j) = x(i, j);
  }
  // One array at a time: each loop is a plain copy the compiler can vectorise, and the values
  // do not depend on the order (an argument that is the shared array itself is copied onto
  // itself).
  if (nx >= 1) {
    for (int32_t i = 1; i <= n; ++i) common_data::xd(i) = x(i, 1);
  }
  for (int32_t i = 1; i <= n; ++i) common_data::yd(i) = y(i);
  for (int32_t i = 1; i <= n; ++i) common_data::ydf(i) = yf(i);
  for (int32_t i = 1; i <= n; ++i) common_data::ysig(i) = sig(i);
  // The residuals of this evaluation (the evaluator's own copy may carry the disturbance it
  // gives an exact fit).
  for (int32_t i = 1; i <= n; ++i) common_data::yres(i) = y(i) - yf(i);
  for (int32_t i = 1; i <= np; ++i) common_data::pfinal(i) = p(i);
}

// Step 3 of funcs, for built-in model numbers of 4000 and more: the least observation that is
// not NaN as the only fitted value, unit weights, nothing published. n >= 1.
double special_model_sum(VecView<const double> y, VecView<double> yf, int32_t n) {
  double least = 0.0;
  bool found = false;
  for (int32_t i = 1; i <= n; ++i) {
    if (y(i) != y(i)) continue;
    if (!found || y(i) < least) least = y(i);
    found = true;
  }
  yf(1) = found ? least : y(1);  // y(1) is NaN when no observation is a number
  for (int32_t i = 1; i <= n; ++i) yf(i) = clamp_limit(yf(i));

  double sum_abs = 0.0;
  for (int32_t i = 1; i <= n; ++i) sum_abs += std::abs(y(i) - yf(i));
  double factor = 1.0;
  if (sum_abs / n < kExactFit) {
    const double u = runtime_rng::uniform_float();
    factor = 1.0 + 0.02 * (u - 0.5);
  }
  double sum = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    const double r = (y(i) - yf(i)) * factor;
    sum += r * r;
  }
  return clamp_limit(sum);
}

}  // namespace

void funcs(MatView<const double> x,
           VecView<const double> y,
           VecView<double> yf,
           VecView<const double> sig,
           int32_t nx,
           int32_t n,
           int32_t mode,
           VecView<const double> p,
           int32_t np,
           double& fval) {
  // Step 1. (p is read only, so no copy of it is needed.)
  for (int32_t i = 1; i <= n; ++i) yf(i) = 0.0;
  // Guards the shared arrays: more rows, columns or parameters than they hold publish nothing.
  if (n < 0 || n > max_rows || nx < 0 || nx > max_x || np < 0 || np > max_params) {
    fval = kClampLimit;
    return;
  }

  if (globals::nmdl < kFirstSpecialModel) {
    // Step 2: the model evaluator, then publication.
    funct::fun(x, y, p, np, nx, n, mode, yf, sig, fval);
    common_data::fssqr = fval;
    publish(x, y, yf, sig, nx, n, p, np);
    fval = clamp_limit(fval);
  } else {
    // Step 3.
    fval = n >= 1 ? special_model_sum(y, yf, n) : 0.0;
  }
  // Step 4.
  nrutil::rval_nan(fval, kClampLimit);
}

void pbounds3(VecView<double> x,
              int32_t n,
              VecView<const double> lo,
              VecView<const double> hi,
              double& fval) {
  bounds_rule::pbounds3(x, n, lo, hi, fval);
}

RunState::RunState(MatView<const double> x,
                   VecView<const double> y,
                   VecView<double> yf,
                   VecView<const double> sig,
                   int32_t nx,
                   int32_t n,
                   int32_t mode,
                   int32_t np,
                   VecView<const double> lower,
                   VecView<const double> upper,
                   int32_t first_pass,
                   const int32_t& bpostrun,
                   double hit_offset)
    : mode(mode),
      first_pass(first_pass),
      x_(x),
      yf_(yf),
      sig_(sig),
      nx_(nx),
      n_(n),
      np_(np < 0 ? 0 : (np > max_params ? max_params : np)),
      bpostrun_(bpostrun),
      hit_offset_(hit_offset),
      yguard_(n) {
  for (int32_t i = 1; i <= np_; ++i) {
    lo(i) = lower(i);
    hi(i) = upper(i);
  }
  // Steps 1 and 2 of func, once: the observations do not change while the state lives.
  for (int32_t i = 1; i <= n_; ++i) yguard_(i) = y(i);
  nrutil::rvec_nan(yguard_.view(), kClampLimit);
}

void RunState::func(VecView<double> p, int32_t np, double& fval) {
  // Guards the fixed-size parameter copy: a count beyond the shared arrays is refused.
  if (np < 0 || np > max_params) {
    fval = kClampLimit;
    return;
  }
  // Steps 1 and 2: the guarded observations were prepared with the state. (x is read only; it
  // needs no copy.)
  FArray<double, max_params> pc;
  for (int32_t i = 1; i <= np; ++i) pc(i) = p(i);

  // Step 3: the doubling value is 0, so the rule never changes the objective.
  if (first_pass != 0 && bpostrun_ == 0) {
    double unused = 0.0;
    pbounds3(pc.view(np),
             np,
             VecView<const double>(lo.data(), np),
             VecView<const double>(hi.data(), np),
             unused);
  }

  // Steps 4 to 6.
  funcs(x_,
        VecView<const double>(yguard_.data(), n_),
        yf_,
        sig_,
        nx_,
        n_,
        mode,
        VecView<const double>(pc.data(), np),
        np,
        fval);
  nrutil::rvec_nan(yf_, kClampLimit);
  nrutil::rval_nan(fval, kClampLimit);
  for (int32_t i = 1; i <= np; ++i) p(i) = pc(i);
}

void RunState::f1dim(VecView<double> x, int32_t n, double& fval) {
  if (n < 0 || n > max_params) {  // guards the fixed-size copy
    fval = kClampLimit;
    return;
  }
  FArray<double, max_params> xt;
  for (int32_t i = 1; i <= n; ++i) xt(i) = x(i);
  func(xt.view(n), n, fval);
}

void RunState::f1dim2(int32_t i, VecView<const double> x, double& yfi, double& fval, int32_t n) {
  if (n < 0 || n > max_params) {  // guards the fixed-size copy
    fval = kClampLimit;
    yfi = kClampLimit;
    return;
  }
  FArray<double, max_params> xt;
  for (int32_t k = 1; k <= n; ++k) xt(k) = x(k);
  func(xt.view(n), n, fval);
  yfi = i >= 1 && i <= n_ ? yf_(i) : kClampLimit;  // a row outside the data reads nothing
}

ObjectiveFn RunState::f1dim_fn() {
  return [this](VecView<double> x, int32_t n, double& fval) { f1dim(x, n, fval); };
}

}  // namespace sharc_mod
