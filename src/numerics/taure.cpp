#include "numerics/taure.hpp"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoOverPi = 0.6366197723675814;

// Step 2: the shared level p = 1 - (1 - alpha)^(1/k), by its binomial series for alpha <= 0.5.
double shared_level(int32_t k, double alpha) {
  if (alpha <= 0.5) {
    double term = alpha / k;
    double p = term;
    for (int32_t i = 1; i <= 100; ++i) {
      term = term * alpha * (double(k) * i - 1.0) / ((i + 1.0) * k);  // exact, no int overflow
      if (term < 1e-14) return p;
      p = p + term;
    }
  }
  return 1.0 - std::pow(1.0 - alpha, 1.0 / k);
}

// Step 3, start value: r from the Cornish-Fisher expansion of t around the normal quantile z
// of p / 2.
double start_value(double p, int32_t nu) {
  const double y = std::sqrt(1.3862943611199 - 2.0 * std::log(p));
  const double z = y - (2.515517 + 0.802853 * y + 0.010328 * y * y) /
                           (1.0 + 1.432788 * y + 0.189269 * y * y + 0.001308 * y * y * y);
  const double g = 1.0 / nu;
  const double z2 = z * z;
  const double z4 = z2 * z2;
  const double z6 = z4 * z2;
  const double z8 = z4 * z4;
  const double t =
      z + g * (z2 + 1.0) * z / 4.0 + g * g * (5.0 * z4 + 16.0 * z2 + 3.0) * z / 96.0 +
      g * g * g * (3.0 * z6 + 19.0 * z4 + 17.0 * z2 - 15.0) * z / 384.0 +
      g * g * g * g * (79.0 * z8 + 776.0 * z6 + 1482.0 * z4 - 1920.0 * z2 - 945.0) * z / 92160.0;
  return t / std::sqrt(t * t + nu);
}

// G(r) = P(|R| <= r) and its derivative D(r) for nu >= 2 degrees of freedom.
void abs_r_distribution(double r, int32_t nu, double& g, double& d) {
  const double w = 1.0 - r * r;
  if (nu % 2 == 0) {
    const int32_t mh = nu / 2;
    double b = 1.0;
    double sum = b;
    for (int32_t j = 1; j <= mh - 1; ++j) {
      b = b * (2 * j - 1) / (2 * j) * w;
      sum += b;
    }
    g = r * sum;
    d = b * (nu - 1);
  } else {
    const int32_t mh = (nu - 1) / 2;
    double dj = std::sqrt(w);
    double sum = dj;
    for (int32_t j = 1; j <= mh - 1; ++j) {
      dj = dj * (2 * j) / (2 * j + 1) * w;
      sum += dj;
    }
    g = kTwoOverPi * (std::asin(r) + r * sum);
    d = kTwoOverPi * dj * (nu - 1);
  }
}

// Step 3, Newton refinement: stops before a step that is more than half the previous one (the
// iteration is no longer converging), at a step below 1e-8, or after 50 steps.
double refine(double r, double p, int32_t nu) {
  double previous = 1.0;
  for (int step = 1; step <= 50; ++step) {
    double g = 0.0;
    double d = 0.0;
    abs_r_distribution(r, nu, g, d);
    const double delta = ((1.0 - p) - g) / d;
    if (std::fabs(delta / previous) > 0.5) break;
    r = r + delta;
    if (std::fabs(delta) < 1e-8) break;
    previous = delta;
  }
  return r;
}

}  // namespace

void taure(int32_t k, int32_t n, double alpha, double& tau) {
  // Step 1. n <= 1 has no degrees of freedom: nothing to refine, and no index below 1.
  const int32_t nu = n - 1;
  if (nu <= 0 || alpha == 0.0) {
    tau = std::sqrt(static_cast<double>(std::max(n, 0)));
    return;
  }
  if (alpha >= 1.0) {
    tau = 0.0;
    return;
  }
  k = std::max(k, 1);  // a share among fewer than one test would divide by zero
  const double p = shared_level(k, alpha);
  // Step 3: r for nu = 1 (Cauchy) is exact; otherwise a start value and Newton steps.
  double r = 0.0;
  if (nu == 1) {
    r = std::sin((1.0 - p) / kTwoOverPi);
  } else {
    r = refine(start_value(p, nu), p, nu);
  }
  // Step 4.
  tau = std::sqrt(static_cast<double>(n)) * r;
}
