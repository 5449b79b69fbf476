#include "engine/sharc_tval.hpp"

#include <cmath>

namespace sharc_mod {
namespace {

constexpr float kG = 0.6366197466850281f;         // 2 / pi in single precision
constexpr float kOffset = 0.004999999888241291f;  // 0.005: carried by every stored value
constexpr float kStep = 0.009999999776482582f;    // 0.01

// A(t | nu) = P(|T| <= t) for nu >= 3 degrees of freedom, in single precision. With
// q = t^2 + nu, cos^2 = nu / q:
//   even nu: A = t / sqrt(q) * (1 + sum_{j=1}^{(nu-2)/2} prod_{i=1}^{j} (2i-1)/(2i) * nu/q)
//   odd nu:  A = g * (theta + t sqrt(nu) / q * (1 + sum_{j=1}^{(nu-3)/2} prod_{i=1}^{j}
//                (2i)/(2i+1) * nu/q)),  theta = atan(t / sqrt(nu))
// Each product extends the previous one by one factor, which multiplies in the same order as
// forming it anew.
float central_probability(float t, int32_t nu) {
  const float fnu = float(nu);
  const float q = t * t + fnu;
  const float c2 = fnu / q;
  float sum = 0.0f;
  float prod = 1.0f;
  if (nu % 2 == 0) {
    for (int32_t j = 1; j <= (nu - 2) / 2; ++j) {
      prod = prod * (float(2 * j - 1) / float(2 * j) * c2);
      sum = sum + prod;
    }
    return t / std::sqrt(q) * (1.0f + sum);
  }
  for (int32_t j = 1; j <= (nu - 3) / 2; ++j) {
    prod = prod * (float(2 * j) / float(2 * j + 1) * c2);
    sum = sum + prod;
  }
  const float theta = std::atan(t / std::sqrt(fnu));
  return kG * (theta + t * std::sqrt(fnu) / q * (1.0f + sum));
}

}  // namespace

double tval95(int32_t nu) {
  if (nu < 1) nu = 1;  // the table starts at one degree of freedom
  // Step 1.
  const float alpha = 0.025f;
  const float a = 1.0f - 2.0f * alpha;
  // Step 2: nu = 1, tan(a / g) as sin / sqrt(1 - sin^2).
  const float s = std::sin(a / kG);
  float t_nu = s / std::sqrt(1.0f - s * s) + kOffset;
  if (nu >= 2) {
    // Step 3: nu = 2 in closed form.
    t_nu = std::sqrt(2.0f * a * a / (1.0f - a * a)) + kOffset;
    // Steps 4 and 5: walk down from the previous value for nu' = 3..nu.
    float t = (t_nu * 100.0f + 0.001f) / 100.0f + 0.02f;
    float t_up = t;
    float a_up = a;
    for (int32_t nup = 3; nup <= nu; ++nup) {
      t = t - kStep;
      float prob = central_probability(t, nup);
      while (prob - a > 0.0f) {
        t_up = t;
        a_up = prob;
        t = t - kStep;
        prob = central_probability(t, nup);
      }
      // The crossing lies nearer the step above when the mean probability is still below a.
      if (a - (prob + a_up) / 2.0f > 0.0f) t = t_up;
      t_nu = t + kOffset;
      t = t_nu + kOffset;
    }
  }
  // Step 7.
  return double(std::floor(t_nu * 1000.0f + 0.5f) / 1000.0f);
}

}  // namespace sharc_mod
