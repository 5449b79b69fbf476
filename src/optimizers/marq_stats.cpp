// The final statistics of the SVD Levenberg-Marquardt method: standard errors from the
// regularised inverse of the derivative matrix's normal matrix, and the 95 % Student t value
// of the confidence half-widths.
//
// Covariance: with J = U diag(w) V^T the derivative matrix of the fitted values at the result,
// (J^T J)^-1 = V diag(1 / w^2) V^T. Each 1 / w^2 is regularised as u^2 / (u^2 + 1e-15)^2,
// u = w (1 + sqrt(1e-15)), which stays finite for a vanishing w, and the standard error of
// parameter j is s sqrt(C(j,j)), s^2 = ssq / dof.
//
// Student t: the two-sided quantile for P = 0.95 is found on a grid of step 0.01, degree of
// freedom by degree of freedom, from the closed forms for 1 and 2 degrees of freedom and the
// finite series of the central probability A(t | d) [1, 26.7.3-4] beyond.
//
// [1] M. Abramowitz, I. A. Stegun, Handbook of Mathematical Functions (1964), 26.7.
#include <cmath>

#include "common/common_data.hpp"
#include "model/operators.hpp"
#include "optimizers/marq_mod.hpp"
#include "optimizers/marq_parts.hpp"

namespace marq_mod {
namespace {

constexpr double kTwoOverPi = 0.6366197466850281;  // 2/pi in single precision
constexpr double kPi = 3.141592653589793;

// A(t | d): the probability that |T| < t for Student's T with d >= 2 degrees of freedom.
double central_probability(double t, int32_t d) {
  const double q = t * t + d;
  const double ratio = d / q;
  double sum = 1.0, term = 1.0;
  if (d % 2 == 0) {
    for (int32_t j = 1; j <= (d - 2) / 2; ++j) {
      term *= (2.0 * j - 1.0) / (2.0 * j) * ratio;
      sum += term;
    }
    return t / std::sqrt(q) * sum;
  }
  for (int32_t j = 1; j <= (d - 3) / 2; ++j) {
    term *= (2.0 * j) / (2.0 * j + 1.0) * ratio;
    sum += term;
  }
  return kTwoOverPi * (std::atan(t / std::sqrt(static_cast<double>(d))) +
                       t * std::sqrt(static_cast<double>(d)) / q * sum);
}

}  // namespace

double t_value(int32_t dof) {
  // The method keeps a table over the levels 0.1, 0.05, 0.025 per tail and uses the last; only
  // that level is computed here. Every stored value carries the grid's offset 0.005.
  constexpr double kLevel = 0.025;
  constexpr double kP = 1.0 - 2.0 * kLevel;
  const double t1 = std::sin(kP * kPi / 2.0) / std::cos(kP * kPi / 2.0) + 0.005;
  const double t2 = std::sqrt(2.0 * kP * kP / (1.0 - kP * kP)) + 0.005;
  double t = dof <= 1 ? t1 : t2;
  for (int32_t d = 3; d <= dof; ++d) {
    const double start = d == 3 ? (t2 * 100.0 + 0.001) / 100.0 + 0.02 : t + 0.005;
    // Walk down the grid start - 0.01, start - 0.02, ... until A(g) is no longer above P;
    // g_up is the point before (the start itself if the first point already stops).
    double g_up = start;
    double a_up = -1.0;  // A(g_up), computed only when needed
    double g = start - 0.01;
    double a = central_probability(g, d);
    for (int32_t k = 2; a > kP; ++k) {
      g_up = g;
      a_up = a;
      g = start - k * 0.01;
      a = central_probability(g, d);
    }
    if (a_up < 0.0) a_up = central_probability(g_up, d);
    t = (kP <= (a + a_up) / 2.0 ? g : g_up) + 0.005;
  }
  return static_cast<double>(static_cast<float>(static_cast<int32_t>(1000.0 * t + 0.5)) / 1000.0f);
}

void final_statistics(const Model& md,
                      int32_t mode,
                      VecView<double> p,
                      double ssq,
                      MatView<double> VS,
                      MatView<double> CV,
                      VecView<double> se,
                      VecView<double> ci) {
  const int32_t m = md.m, n = md.n;
  for (int32_t j = 1; j <= n; ++j) {
    se(j) = 0.0;
    ci(j) = 0.0;
    for (int32_t i = 1; i <= n; ++i) VS(i, j) = CV(i, j) = 0.0;
  }
  FVector<int32_t> index(n);  // parameter index of each free parameter
  int32_t nfree = 0;
  for (int32_t j = 1; j <= n; ++j) {
    if (common_data::pmask(j) != 0) index(++nfree) = j;
  }
  if (nfree == 0) return;
  // Step 3: degrees of freedom (compared in single precision) and the scale s.
  const int32_t dof = static_cast<float>(m - n) < 3.0f ? 3 : m - n;
  const double s = operators::sqroot(ssq / dof);
  FMatrixD<double> J(m, nfree), U(m, nfree), V(nfree, nfree);
  FVector<double> w(nfree);
  fjac4(md, p, mode, J.view());
  svd(J.view(), m, nfree, w.view(), U.view(), V.view());
  for (int32_t i = 1; i <= nfree; ++i) {
    // A decomposition that is not finite gives no statistics.
    if (!std::isfinite(w(i))) {
      deigen = kDegenerateStats;
      return;
    }
  }
  // Step 4: regularised inverse squares of the singular values.
  const double lift = 1.0 + operators::sqroot(1e-15);
  double largest = 0.0;
  for (int32_t i = 1; i <= nfree; ++i) {
    const double u = w(i) * lift;
    w(i) = w(i) != 0.0 ? u * u / ((u * u + 1e-15) * (u * u + 1e-15)) : u;
    largest = std::fmax(largest, w(i));
  }
  deigen = 1e-15 * largest;
  for (int32_t i = 1; i <= nfree; ++i) w(i) += std::fmax(deigen, 1e-15);
  // Step 5: C = V diag(w') V^T, standard errors, VS and CV.
  FMatrixD<double> C(nfree, nfree);
  for (int32_t j = 1; j <= nfree; ++j) {
    for (int32_t k = 1; k <= nfree; ++k) {
      double c = 0.0;
      for (int32_t i = 1; i <= nfree; ++i) c += V(j, i) * V(k, i) * w(i);
      if (std::fabs(c) < 2.2204460492503132e-20) c = c < 0.0 ? -1e-15 : 1e-15;
      C(j, k) = c;
    }
  }
  const double diag_lift = 1.0 + operators::sqroot(2.2204460492503132e-20);
  for (int32_t j = 1; j <= nfree; ++j) {
    C(j, j) *= diag_lift;
    se(index(j)) = std::fabs(s * operators::sqroot(C(j, j)));
  }
  for (int32_t j = 1; j <= nfree; ++j) {
    for (int32_t k = 1; k <= nfree; ++k) {
      VS(j, k) = C(j, k);
      CV(index(j), index(k)) = C(j, k) / std::sqrt(C(j, j) * C(k, k));
    }
  }
  const double t = t_value(dof);
  for (int32_t j = 1; j <= n; ++j) ci(j) = se(j) * t;
}

}  // namespace marq_mod
