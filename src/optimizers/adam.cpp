#include "optimizers/adam.hpp"

#include <algorithm>
#include <cmath>

#include "optimizers/optim_support.hpp"

namespace {

constexpr double kBeta1 = 0.9;
constexpr double kOneMinusBeta1 = 0.09999999999999998;  // stored as its own constant
constexpr double kBeta2 = 0.99;
constexpr double kOneMinusBeta2 = 0.010000000000000009;  // stored as its own constant
constexpr double kEps = 1.001e-8;                        // in every denominator and bias term
constexpr double kGradFloor = 1.001e-15;  // smaller gradient components become +-kEps
constexpr int32_t kSteps = 99;
constexpr double kRatio = 2.001;                      // step ratio of the gradient tableau
constexpr double kRatio2 = 4.004001;                  // its square
constexpr double kZeroStep = 4.0000000000000007e-10;  // replaces a step that vanished
constexpr double kGradMax = 1.7976931348623158e307;
constexpr int32_t kTableau = 10;

// The work of one call: the tableau and the objective, shared by the gradient's probes.
class Gradient {
 public:
  Gradient(const AdamObjective& f, int32_t n, VecView<const int32_t> mask)
      : f_(f), n_(n), mask_(mask), tableau_(kTableau, kTableau) {}

  // g(i) := Ridders' extrapolation of central differences at xw for every free i, 0 for a
  // fixed one. xw(i) changes only while it is probed.
  void operator()(VecView<double> xw, FVector<double>& g) {
    for (int32_t i = 1; i <= n_; ++i) {
      if (mask_(i) == 0) {
        g(i) = 0.0;
        continue;
      }
      const double x0 = xw(i);
      g(i) = optim_support::ridders((std::fabs(x0) + 1e-8) * 2e-5,
                                    kRatio,
                                    kRatio2,
                                    1e8,
                                    2.001e-8,
                                    kZeroStep,
                                    tableau_.view(),
                                    [&](double h, long) { return central(xw, i, x0, h); });
      if (std::isnan(g(i))) {
        g(i) = 8.000000000000001e-10;
      } else if (std::fabs(g(i)) < 1e-8) {
        g(i) = g(i) + std::copysign(kZeroStep, g(i));
      } else {
        g(i) = std::clamp(g(i), -kGradMax, kGradMax);
      }
      xw(i) = x0;
    }
  }

 private:
  // D(h) = (f(x0 + h) - f(x0 - h)) / 2h in component i; a difference below 1e-8 is taken from
  // fp + h, so that a flat direction still gets a slope. (h is always positive here.)
  double central(VecView<double> xw, int32_t i, double x0, double h) {
    double fp = 0.0;
    double fm = 0.0;
    xw(i) = x0 + h;
    f_(xw, n_, fp);
    xw(i) = x0 - h;
    f_(xw, n_, fm);
    if (std::fabs(fp - fm) < 1e-8) fp = fp + h;
    return (fp - fm) / (2.0 * h);
  }

  const AdamObjective& f_;
  int32_t n_;
  VecView<const int32_t> mask_;
  FMatrixD<double> tableau_;
};

}  // namespace

void adam(const AdamObjective& f,
          int32_t n,
          int32_t /*m: not used*/,
          VecView<double> x,
          VecView<const int32_t> mask,
          VecView<const double> lo,
          VecView<const double> hi,
          int32_t& iters,
          double& fval) {
  // Steps 1-2.
  const double f0 = fval;
  FVector<double> saved(n);
  FVector<double> work(n);
  for (int32_t i = 1; i <= n; ++i) saved(i) = work(i) = x(i);
  FVector<double> g(n, 0.0);
  FVector<double> mo(n, 0.0);  // first moment
  FVector<double> ve(n, 0.0);  // second moment
  Gradient gradient(f, n, mask);
  f(work.view(), n, fval);

  // Step 3.
  double a = 0.04;
  for (int32_t t = 1; t <= kSteps; ++t) {
    gradient(work.view(), g);
    for (int32_t i = 1; i <= n; ++i) {
      if (std::fabs(g(i)) < kGradFloor) g(i) = std::copysign(kEps, g(i));
    }
    const double b1 = (1.0 - __builtin_powi(kBeta1, t)) + kEps;
    const double b2 = (1.0 - __builtin_powi(kBeta2, t)) + kEps;
    for (int32_t i = 1; i <= n; ++i) {
      if (mask(i) == 0) continue;
      const double gi = g(i);
      double xi = work(i);
      mo(i) = kBeta1 * mo(i) + kOneMinusBeta1 * gi;
      ve(i) = kBeta2 * ve(i) + kOneMinusBeta2 * gi * gi;
      // The updated moments enter once more: num = 0.9 mo + 0.1 g, den from 0.99 ve + 0.01 g^2.
      const double num = gi - kBeta1 * (gi - mo(i));
      const double den =
          b1 * std::sqrt(std::fabs(((gi * gi - ve(i)) * kBeta2 - gi * gi) / b2) + kEps);
      xi = xi - a * num / den;
      // The plain bias-corrected step; a bound violation is answered by a step of its size
      // back towards the bound (its sign follows mo, so |s| gives the direction).
      const double s = a * mo(i) * std::sqrt(b2) / (b1 * std::sqrt(std::fabs(ve(i)) + kEps));
      if (xi < lo(i)) xi = xi + std::fabs(s);
      if (xi > hi(i)) xi = xi - std::fabs(s);
      work(i) = xi;
    }
    if (t % 30 == 0) a = 0.4 * a;
  }

  // Steps 4-5.
  double fnew = 0.0;
  f(work.view(), n, fnew);
  const bool better = fnew - f0 + kEps < 0.0;
  for (int32_t i = 1; i <= n; ++i) x(i) = better ? work(i) : saved(i);
  fval = better ? fnew : f0;
  iters = 100;
}
