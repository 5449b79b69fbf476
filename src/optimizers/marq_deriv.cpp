// The derivative matrix of the method's statistics (fjac4), the parameter influence
// (curvature) and the perturbation search (search) of the SVD Levenberg-Marquardt method. All
// three evaluate the model only through funy.
//
// fjac4 extrapolates central differences at h, 2h and 4h twice by Richardson's rule [1]:
// with D(s) = (f(p + s) - f(p - s)) / 2s, D = D(h) + 0.4 (D(h) - D(2h)) +
// ((D(h) - D(2h)) - (D(2h) - D(4h))) / 45 = (64 D(h) - 20 D(2h) + D(4h)) / 45, exact for
// polynomials of degree 6.
//
// [1] L. F. Richardson, J. A. Gaunt, "The deferred approach to the limit", Phil. Trans. R. Soc.
//     A 226 (1927) 299-361.
#include <cmath>

#include "common/common_data.hpp"
#include "numerics/runtime_rng.hpp"
#include "optimizers/marq_parts.hpp"

namespace marq_mod {
namespace {

bool is_free(int32_t i) { return common_data::pmask(i) != 0; }

// A derivative entry of fjac4, cleaned of NaN, zero and overflow.
double clean_derivative(double d) {
  if (std::isnan(d)) return 1e-7;
  if (std::fabs(d) <= 4.4408920985006264e-20) return d < 0.0 ? -1e-7 : 1e-7;
  return std::fmin(std::fmax(d, -4.503599727262001e19), 4.503599727262001e19);
}

}  // namespace

void fjac4(const Model& md, VecView<double> p, int32_t mode, MatView<double> J) {
  const int32_t m = md.m;
  // The six perturbed evaluations of one parameter: -h, +h, -2h, +2h, -4h, +4h.
  FMatrixD<double> f(m, 6);
  FVector<double> w(m, 1.0);
  double ssq = 0.0, q = 0.0;
  int32_t counter = mode;
  int32_t col = 0;
  for (int32_t j = 1; j <= md.n; ++j) {
    if (!is_free(j)) continue;
    ++col;
    const double pj = p(j);
    const double h = (std::fmax(std::fabs(pj), 1e-7) + 1.0) * 1e-5;
    const double offsets[6] = {-h, h, -2.0 * h, 2.0 * h, -4.0 * h, 4.0 * h};
    for (int s = 0; s < 6; ++s) {
      p(j) = pj + offsets[s];
      funy(md, p, mode, f.view().col(s + 1), w.view(), ssq, q, counter);
    }
    p(j) = pj;
    for (int32_t i = 1; i <= m; ++i) {
      const double d1 = (f(i, 2) - f(i, 1)) / (2.0 * h);
      const double d2 = (f(i, 4) - f(i, 3)) / (4.0 * h);
      const double d4 = (f(i, 6) - f(i, 5)) / (8.0 * h);
      J(i, col) = clean_derivative(d1 + 0.4 * (d1 - d2) + ((d1 - d2) - (d2 - d4)) / 45.0);
    }
  }
}

void curvature(const Model& md, int32_t mode, VecView<double> p, VecView<double> pinf) {
  constexpr double kStep = 1.5811388300841896e-6;  // sqrt(2.5e-12)
  constexpr double kFlat = 3.162277660168379e-8;   // sqrt(1e-15): a curvature taken as none
  const int32_t m = md.m, n = md.n;
  FVector<double> yfit(m), w(m, 1.0);
  double q = 0.0;
  int32_t counter = mode;
  // Step 1: sums are normalised so that f(p) = 1. The offset 1e-15 is added to the sum at p as
  // well: (S + 1e-15) / S0 alone would read 1e-15 / S0 as curvature when S0 is small (an inert
  // parameter of a close fit would take almost all the influence).
  double s0 = 0.0;
  funy(md, p, mode, yfit.view(), w.view(), s0, q, counter);
  s0 += 1e-15;
  auto f_at = [&](int32_t j, double value) {
    const double pj = p(j);
    p(j) = value;
    double s = 0.0;
    funy(md, p, mode, yfit.view(), w.view(), s, q, counter);
    p(j) = pj;
    return (s + 1e-15) / s0;
  };
  // Step 2: curvature kappa = f'' / (1 + f'^2)^(3/2) along each free parameter.
  FVector<double> kappa(n, 0.0);
  double total = 0.0;
  int32_t nfree = 0;
  bool all_flat = true;
  for (int32_t j = 1; j <= n; ++j) {
    if (!is_free(j)) continue;
    ++nfree;
    const double h = (std::fabs(p(j)) + kStep) * kStep;
    const double fm = f_at(j, p(j) - h);
    const double fp = f_at(j, p(j) + h);
    double g = (fp - fm) * 0.5 / h;
    double d2 = (fm + fp - 2.0) / (2.0 * h * h);
    // One-sided forms where a point lies beyond a bound. Above the upper bound the two points
    // below, p - h and p, form both the slope and (mirroring the lower case) d2.
    if (p(j) + h > common_data::pboundhi(j)) {
      g = (1.0 - fm) / h;
      d2 = (fm - 1.0) / (h * h);
    }
    if (p(j) - h < common_data::pboundlo(j)) d2 = (fp - 1.0) / (h * h);
    const double bend = std::pow(1.0 + g * g, 1.5);
    double k = d2 / bend;
    if (k == 0.0) k = kFlat / bend;
    if (!(std::fabs(k) <= kFlat)) all_flat = false;
    kappa(j) = k + 1e-15;
    total += std::fabs(k);
  }
  // Step 3: shares; equal ones when every curvature is flat or a share is not a number.
  for (int32_t j = 1; j <= n; ++j) pinf(j) = 0.0;
  if (nfree == 0) return;
  total = std::fmin(total, 1e15);
  FVector<double> v(n, 0.0);
  bool any_nan = false;
  for (int32_t j = 1; j <= n; ++j) {
    if (!is_free(j)) continue;
    v(j) = all_flat ? 1.0 / nfree + 5e-6 : std::fabs(kappa(j)) / total + 5e-6;
    if (std::isnan(v(j))) any_nan = true;
  }
  double sum = 0.0;
  for (int32_t j = 1; j <= n; ++j) {
    if (!is_free(j)) continue;
    if (any_nan) v(j) = 1.0 / nfree;
    sum += v(j);
  }
  // Step 4: percent, rounded to three decimals (values of 2^52 and more are already whole).
  for (int32_t j = 1; j <= n; ++j) {
    if (!is_free(j)) continue;
    double pct = v(j) / sum * 100.0;
    if (std::fabs(pct) < 4503599627370496.0) pct = std::trunc(1000.0 * pct + 0.5) / 1000.0;
    pinf(j) = pct;
  }
}

void search(const Model& md,
            int32_t mode,
            VecView<double> p,
            VecView<double> w,
            double& sbest,
            double& q,
            int32_t& counter) {
  constexpr int kBatch = 30;  // uniform numbers drawn per parameter and trial
  constexpr int kPick = 15;   // the one of them that is used
  const int32_t m = md.m, n = md.n;
  // Step 1: the same eleven trials on every call.
  runtime_rng::seed_repeatable();
  FVector<double> trial(n), yfit(m), wt(m);
  for (int32_t k = -5; k <= 5; ++k) {
    // Step 2.
    for (int32_t i = 1; i <= n; ++i) {
      trial(i) = p(i);
      if (!is_free(i)) continue;
      double u = 0.0;
      for (int d = 1; d <= kBatch; ++d) {
        const double r = runtime_rng::uniform();
        if (d == kPick) u = r;
      }
      trial(i) = p(i) * (1.0 + k * u * 1e-4);
    }
    // Step 3: evaluated with the caller's weights (kept by the modes above 4).
    for (int32_t r = 1; r <= m; ++r) wt(r) = w(r);
    double s = 0.0, qt = 0.0;
    funy(md, trial.view(), mode, yfit.view(), wt.view(), s, qt, counter);
    if (s < sbest) {
      for (int32_t i = 1; i <= n; ++i) {
        if (is_free(i)) p(i) = trial(i);
      }
      for (int32_t r = 1; r <= m; ++r) w(r) = wt(r);
      sbest = s;
      q = qt;
    }
  }
}

}  // namespace marq_mod
