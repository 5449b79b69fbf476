#include "numerics/bootstraping.hpp"

#include <algorithm>
#include <cmath>

#include "numerics/runtime_rng.hpp"

namespace {

// Running mean m = m + (v(i) - m) / i of n values produced by next(i); 0 for n < 1.
template <typename Next>
float running_mean(int32_t n, Next next) {
  if (n < 1) return 0.0f;
  float m = next(1);
  for (int32_t i = 2; i <= n; ++i) m = m + (next(i) - m) / static_cast<float>(i);
  return m;
}

// The 95% t value of t95 with single-precision constants.
float t95_single(int32_t n) {
  // clang-format off
  static const float table[20] = {12.71f, 4.3f, 3.18f, 2.78f, 2.57f, 2.45f, 2.37f, 2.31f, 2.26f,
                                  2.23f, 2.2f, 2.18f, 2.16f, 2.15f, 2.13f, 2.12f, 2.11f, 2.1f,
                                  2.09f, 2.09f};
  // clang-format on
  const VecView<const float> t(table, 20);
  if (n < 1) return 2.0f;
  if (n <= 20) return t(n);
  float a = 0.0f;
  float z = 0.0f;
  if (n <= 30) {
    a = 12.3f;
    z = static_cast<float>(20 - n) * 0.040546514093875885f;
  } else if (n <= 60) {
    a = 8.2f;
    z = static_cast<float>(35 - n) * 0.020509706810116768f;
  } else {
    a = 3.9f;
    z = static_cast<float>(60 - n) * 0.011130490340292454f;
  }
  return std::trunc(196.5f + a * std::exp(z)) / 100.0f;
}

}  // namespace

void bootstraping(
    int32_t n, VecView<const float> x, float /*alpha*/, int32_t nb, float& t, float& se) {
  se = 0.0f;
  t = t95_single(n);
  if (nb < 1) return;
  // Steps 1 and 2: the sample mean, then nb - 1 means of uniform draws over [min, max].
  FVector<float> means(nb);
  means(1) = running_mean(n, [&](int32_t i) { return x(i); });
  if (n >= 1) {
    float lo = x(1);
    float hi = x(1);
    for (int32_t i = 2; i <= n; ++i) {
      lo = std::min(lo, x(i));
      hi = std::max(hi, x(i));
    }
    FVector<float> resample(n);
    for (int32_t b = 2; b <= nb; ++b) {
      for (int32_t i = 1; i <= n; ++i) resample(i) = lo + runtime_rng::uniform_float() * (hi - lo);
      means(b) = running_mean(n, [&](int32_t i) { return resample(i); });
    }
  }
  if (nb < 2) return;
  // Steps 3 and 4: sort, then the running standard deviation in sorted order.
  // NaN means (from a sample holding a NaN) go last: std::sort needs a strict weak order.
  std::sort(means.data(), means.data() + nb, [](float a, float b) {
    return std::isnan(b) ? !std::isnan(a) : a < b;
  });
  float mm = means(1);
  float s = 0.0f;
  for (int32_t k = 2; k <= nb; ++k) {
    const float d = means(k) - mm;
    mm = mm + d / static_cast<float>(k);
    s = s + (means(k) - mm) * d;
  }
  se = std::sqrt(s / static_cast<float>(nb - 1));
}
