// The problems of hs_problems.hpp and the replacement of funct::calcfg that evaluates them.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/common_data.hpp"
#include "constrained/hs/hs_problems.hpp"
#include "model/funct.hpp"

namespace hstest {
namespace {

double hs5_f(const Vec& x) {
  return std::sin(x[0] + x[1]) + std::pow(x[0] - x[1], 2) - 1.5 * x[0] + 2.5 * x[1] + 1.0;
}
Vec hs5_grad(const Vec& x) {
  const double c = std::cos(x[0] + x[1]);
  return {c + 2.0 * (x[0] - x[1]) - 1.5, c - 2.0 * (x[0] - x[1]) + 2.5};
}

constexpr double kPi = std::numbers::pi;

}  // namespace

const Problem hs3 = {
    0,
    0,
    [](const Vec& x) { return x[1] + 1e-5 * std::pow(x[1] - x[0], 2); },
    [](const Vec& x) -> Vec {
      return {-2e-5 * (x[1] - x[0]), 1.0 + 2e-5 * (x[1] - x[0])};
    },
    nullptr,
    {-kWide, 0.0},
    {kWide, kWide},
    {10.0, 1.0},
    {0.0, 0.0},
    0.0,
};

const Problem hs5 = {
    0,
    0,
    hs5_f,
    hs5_grad,
    nullptr,
    {-1.5, -3.0},
    {4.0, 3.0},
    {0.0, 0.0},
    {0.5 - kPi / 3.0, -0.5 - kPi / 3.0},
    -std::sqrt(3.0) / 2.0 - kPi / 3.0,
};

const Problem hs6 = {
    1,
    1,
    [](const Vec& x) { return std::pow(1.0 - x[0], 2); },
    [](const Vec& x) -> Vec {
      return {-2.0 * (1.0 - x[0]), 0.0};
    },
    [](int32_t, const Vec& x, Vec& a) {
      a = {-20.0 * x[0], 10.0};
      return 10.0 * (x[1] - x[0] * x[0]);
    },
    {-kWide, -kWide},
    {kWide, kWide},
    {-1.2, 1.0},
    {1.0, 1.0},
    0.0,
};

const Problem hs5_split = {
    0,
    2,
    hs5_f,
    hs5_grad,
    [](int32_t i, const Vec& x, Vec& a) {
      const double s = i == 0 ? 1.0 : -1.0;
      a = {s, -s};
      return s * (x[0] - x[1]) - 1.0;
    },
    hs5.lo,
    hs5.hi,
    hs5.start,
    hs5.optimum,
    hs5.fopt,
};

double violation(const Vec& x) {
  double v = 0.0;
  for (int32_t i = 0; i < active->mgen; ++i) {
    Vec a;
    const double c = active->con(i, x, a);
    v = std::max(v, i < active->meq ? std::fabs(c) : -c);
  }
  for (int32_t i = 0; i < kN; ++i) {
    v = std::max({v, common_data::pboundlo(i + 1) - x[i], x[i] - common_data::pboundhi(i + 1)});
  }
  return v;
}

}  // namespace hstest

namespace funct {

int32_t calcfg(int32_t np,
               VecView<const double> x,
               double& f,
               VecView<double> gradient,
               VecView<double> g,
               MatView<double> jac) {
  ++hstest::evaluations;
  f = kSumCap;
  for (int32_t k = 1; k <= kMaxGrad; ++k) gradient(k) = 0.0;
  for (int32_t k = 1; k <= kMaxConstraints; ++k) g(k) = 0.0;
  for (int32_t c = 1; c <= kMaxConstraints; ++c) {
    for (int32_t r = 1; r <= kMaxGrad; ++r) jac(r, c) = 0.0;
  }
  const hstest::Problem* p = hstest::active;
  if (p == nullptr || np != hstest::kN) return 1;
  const hstest::Vec xv = {x(1), x(2)};
  f = p->f(xv);
  const hstest::Vec gv = p->grad(xv);
  for (int32_t i = 1; i <= np; ++i) gradient(i) = gv[i - 1];
  int32_t k = 0;
  for (int32_t i = 0; i < p->mgen; ++i) {
    hstest::Vec a;
    g(++k) = p->con(i, xv, a);
    for (int32_t j = 1; j <= np; ++j) jac(j, k) = a[j - 1];
  }
  for (int32_t i = 1; i <= np; ++i) {
    g(++k) = x(i) - common_data::pboundlo(i);
    jac(i, k) = 1.0;
  }
  for (int32_t i = 1; i <= np; ++i) {
    g(++k) = common_data::pboundhi(i) - x(i);
    jac(i, k) = -1.0;
  }
  for (int32_t i = 1; i <= hstest::padding; ++i) g(++k) = 1.0;
  common_data::ieqcns = p->meq;
  common_data::icnstr = k;
  return 0;
}

}  // namespace funct
