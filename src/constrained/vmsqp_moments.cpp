// vmsqp_mod: the finite-difference gradient of the objective and the two Adam moment steps
// applied to the step pair before the BFGS update.
//
// Adam: D. P. Kingma, J. Ba, "Adam: a method for stochastic optimization", ICLR 2015,
// Algorithm 1 (beta1 = 0.9, beta2 = 0.999, epsilon = 1e-8), here applied to the step pair of a
// quasi-Newton method with the gradient at the iteration's start as the driving signal.
#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"
#include "constrained/initialize_vmsqp.hpp"
#include "constrained/vmsqp_lines.hpp"
#include "constrained/vmsqp_mod.hpp"

namespace vmsqp_mod {
namespace {

constexpr double kHalfHuge = 8.988465674311579e307;  // half the largest double: overflow guard

// What a moment step does with a NaN element.
enum class OnNan {
  kStop,      // report with the step, set the element to 2.0 and return
  kContinue,  // report, set the element to 0 and go on
};

// b^e for e >= 1 by binary powering, as an integer power of a real is evaluated (std::pow
// rounds differently in the last bit).
double integer_power(double b, int32_t e) {
  double r = 1.0;
  for (;;) {
    if ((e & 1) != 0) r *= b;
    e >>= 1;
    if (e == 0) return r;
    b *= b;
  }
}

// The moment step shared by adam_update_s and adam_update_y (steps 1 to 6).
void moment_step(Moments& mom,
                 VecView<double> v,
                 VecView<const double> g,
                 int32_t n,
                 int32_t t,
                 double lr,
                 OnNan on_nan) {
  if (n < 1) {
    lines::list({"ERROR: n_params must be positive"});
    return;
  }
  if (t < 1) {
    lines::list({"ERROR: iteration must be positive"});
    return;
  }
  if (t == 1) mom.first_call = 1;
  if (mom.first_call != 0) {
    mom.first.resize(n, 0.0);
    mom.second.resize(n, 0.0);
    mom.first_call = 0;
  }
  if (mom.first.size() != n || mom.second.size() != n) {
    lines::list({"ERROR: Moment estimate arrays size mismatch"});
    return;
  }

  const double b1 = integer_power(0.9, t);
  const double b2 = integer_power(0.999, t);
  if (1.0 - b1 < 1e-8 || 1.0 - b2 < 1e-8) {
    lines::list({"WARNING: Bias correction terms very small, potential numerical issues"});
  }
  for (int32_t i = 1; i <= n; ++i) {
    if (common_data::pmask(i) == 0) continue;
    mom.first(i) = 0.9 * mom.first(i) + (1.0 - 0.9) * g(i);
    mom.second(i) = 0.999 * mom.second(i) + (1.0 - 0.999) * g(i) * g(i);
    const double uh = mom.first(i) / (1.0 - b1);
    double vh = mom.second(i) / (1.0 - b2);
    if (vh < 0.0) {
      lines::list({"WARNING: Negative second moment at parameter", i});
      vh = std::fabs(vh);
    }
    const double step = lr * uh / (std::sqrt(vh) + 1e-8);
    v(i) = v(i) - step;

    if (v(i) != v(i)) {
      if (on_nan == OnNan::kStop) {
        lines::list({"ERROR: NaN detected in parameter", i, step, v(i)});
        v(i) = 2.0;
        return;
      }
      lines::list({"ERROR: NaN detected in parameter", i});
      v(i) = 0.0;
      continue;
    }
    if (std::fabs(v(i)) > kHalfHuge) {
      lines::list({"ERROR: Parameter overflow at", i});
      v(i) = lines::sign(1.0, v(i));
    }
  }
}

}  // namespace

void compute_gradient_numerical(VecView<const double> x,
                                VecView<const double> xdat,
                                VecView<const double> y,
                                VecView<double> sigma,
                                VecView<double> grad,
                                const int32_t& m,
                                const int32_t& n,
                                const int32_t& nvar,
                                const int32_t& mode,
                                int32_t& count,
                                VecView<const int32_t> mask) {
  constexpr double kStep = 1.0000002e-5;  // relative and least step (single-precision 1e-5)
  FVector<double> xp(n);
  FVector<double> yfit(m);
  FVector<double> resid(m);
  for (int32_t j = 1; j <= n; ++j) {
    grad(j) = 0.0;
    xp(j) = x(j);
  }
  // SSR with parameter j at v (xp is restored to x afterwards).
  auto ssr_at = [&](int32_t j, double v) {
    double ssr = 0.0;
    xp(j) = v;
    initialize_vmsqp::model_function(m,
                                     n,
                                     nvar,
                                     mode,
                                     VecView<const double>(xp.data(), n),
                                     sigma,
                                     xdat,
                                     y,
                                     yfit.view(),
                                     resid.view(),
                                     ssr);
    xp(j) = x(j);
    return ssr;
  };
  for (int32_t j = 1; j <= n; ++j) {
    if (mask(j) == 0) continue;
    const double h = std::max((std::fabs(x(j)) + kStep) * kStep, kStep);
    const double ssr_plus = ssr_at(j, x(j) + h);
    const double ssr_minus = ssr_at(j, x(j) - h);
    count += 2;
    double diff = ssr_plus - ssr_minus;
    if (std::fabs(diff) <= 2e-12) diff = lines::sign(1.02e-10, diff);
    grad(j) = diff / (2.0 * h);
  }
}

void adam_update_s(VecView<double> s, VecView<const double> g, const int32_t& n, const int32_t& t) {
  moment_step(moments_s, s, g, n, t, 0.001, OnNan::kStop);
}

void adam_update_y(VecView<double> yv,
                   VecView<const double> g,
                   const int32_t& n,
                   const int32_t& t) {
  moment_step(moments_y, yv, g, n, t, 0.0001, OnNan::kContinue);
}

void reset() {
  bprint = 0;
  console = nullptr;
  moments_s = Moments{};
  moments_y = Moments{};
}

}  // namespace vmsqp_mod
