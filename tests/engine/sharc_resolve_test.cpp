#include "engine/sharc_resolve.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/close.hpp"

namespace {

constexpr int32_t kRows = 4;
constexpr double kEps = std::numeric_limits<double>::epsilon();

// J = U diag(sigma) V' with U the first f columns of the 4 x 4 Hadamard matrix over 2, and V
// the f x f matrix whose column k is v_k.
FMatrixD<double> jacobian(const std::vector<double>& sigma,
                          const std::vector<std::vector<double>>& v) {
  const double h[4][4] = {{1, 1, 1, 1}, {1, -1, 1, -1}, {1, 1, -1, -1}, {1, -1, -1, 1}};
  const int32_t f = int32_t(sigma.size());
  FMatrixD<double> j(kRows, f, 0.0);
  for (int32_t i = 1; i <= kRows; ++i) {
    for (int32_t c = 1; c <= f; ++c) {
      for (int32_t k = 0; k < f; ++k) {
        j(i, c) += h[i - 1][k] / 2 * sigma[size_t(k)] * v[size_t(k)][size_t(c - 1)];
      }
    }
  }
  return j;
}

// Each rule of the resolution on either side of its threshold, with column errors e and the
// rounding 4 eps of 4 rows: a direction is resolved above 3 times its error; its variance is
// 1 / (sigma - error)^2; a loading on an unresolved direction beyond what J's error turns it by
// adds its least share to the variance, and from 1 % of the resolved variance on leaves the
// parameter without a standard error; a direction with sigma^2 <= 10 n eps f = 80 eps (f = 2; sigma
// ~ 1.33e-7) makes the parameters that draw half their variance from it inseparable, and without an
// error when some direction is unresolved.
TEST(ResolveJacobian, EachRuleHoldsOnEitherSideOfItsThreshold) {
  const double e = 1e-10;
  const double err2 = e + kRows * kEps;  // the error of a direction made of column 2 alone
  // The loading of parameter 1 on the unresolved direction 2 of singular value 0 that adds a
  // given share of its resolved variance: J's error turns v_2 by hypot(e, e, 4 eps) / (1 - 0).
  const double turn = std::hypot(std::hypot(e, e), kRows * kEps);
  const auto loading = [&](double share) { return turn + std::sqrt(share) * err2; };
  const auto rotation = [](double s) {
    const double c = std::sqrt(1 - s * s);
    return std::vector<std::vector<double>>{{c, s}, {-s, c}};
  };
  const double s45 = std::sqrt(0.5);
  const struct {
    const char* name;
    std::vector<double> sigma;
    std::vector<std::vector<double>> v;  // v_1, v_2, ...
    std::vector<double> errors;
    std::vector<int32_t> has_error, inseparable;
    int32_t at;  // a diagonal entry of C+ checked, 0 for none
    double c;    // its expected value
  } cases[] = {
      // clang-format off
      {"resolved at 3.3 errors", {1, 3.3 * err2}, rotation(0), {e, e}, {1, 1}, {0, 1},
       2, 1 / ((2.3 * err2) * (2.3 * err2))},
      {"unresolved at 2.7 errors", {1, 2.7 * err2}, rotation(0), {e, e}, {1, 0}, {0, 1}, 0, 0},
      {"a loading adding 0.8 % of the variance", {1, 0}, rotation(loading(0.008)), {e, e},
       {1, 0}, {0, 1}, 1, 1.008},
      {"a loading adding 1.25 %", {1, 0}, rotation(loading(0.0125)), {e, e}, {0, 0}, {1, 1},
       0, 0},
      {"a loading within the turn", {1, 0}, rotation(0.9 * turn), {e, e}, {1, 0}, {0, 1}, 0, 0},
      {"a direction below the near test", {1, 1.2e-7}, rotation(s45), {kEps, kEps}, {1, 1},
       {1, 1}, 0, 0},
      {"a direction above it", {1, 1.5e-7}, rotation(s45), {kEps, kEps}, {1, 1}, {0, 0}, 0, 0},
      {"0.6 of the variance from below it", {1, 1.2e-7}, rotation(std::sqrt(1.5) * 1.2e-7),
       {kEps, kEps}, {1, 1}, {1, 1}, 0, 0},
      {"0.4 of it", {1, 1.2e-7}, rotation(std::sqrt(2.0 / 3) * 1.2e-7), {kEps, kEps}, {1, 1},
       {0, 1}, 0, 0},
      {"below it beside an unresolved direction", {1, 1.2e-7, 0},
       {{s45, s45, 0}, {-s45, s45, 0}, {0, 0, 1}}, {kEps, kEps, e}, {0, 0, 0}, {1, 1, 1}, 0, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t f = int32_t(c.sigma.size());
    FVector<double> errors(f);
    for (int32_t k = 1; k <= f; ++k) errors(k) = c.errors[size_t(k - 1)];
    const sharc_mod::Resolution r =
        sharc_mod::resolve_jacobian(jacobian(c.sigma, c.v), kRows, f, errors);
    for (int32_t k = 1; k <= f; ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(r.has_error(k), c.has_error[size_t(k - 1)]);
      EXPECT_EQ(r.inseparable(k), c.inseparable[size_t(k - 1)]);
    }
    if (c.at != 0) {
      EXPECT_NEAR_REL(r.cplus(c.at, c.at), c.c, 1e-6);
    }
  }
}

}  // namespace
