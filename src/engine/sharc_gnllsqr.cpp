#include "engine/sharc_gnllsqr.hpp"

#include <algorithm>
#include <cmath>

#include "model/funct.hpp"
#include "optimizers/marq_parts.hpp"

namespace sharc_mod {
namespace {

using Params = FArray<double, common_data::max_params>;

// The Jacobian step of parameter j: h = max((|p(j)| + floor) * factor, floor).
constexpr double kStepFloor = 1.220703125e-5;
constexpr double kStepFactor = 1.0009765625e-4;
// The probes of the linear model, a share of each parameter (at least kProbeFloor): wide,
// because the rounding of the fitted values, which may be the small difference of large terms
// (a polynomial in years), enters the derivatives divided by the probe; the extrapolation
// keeps the error of a wide probe on a nonlinear model small.
constexpr double kProbeShare = 1e-2;
constexpr double kProbeFloor = 1e-6;
// The weighting mode whose sigma of a row is its fitted value: the step differentiates
// through it. The sigmas of the other modes are held at the vector the step starts from (the
// robust ones follow the residuals, which the linear model does not see).
constexpr int32_t kSigmaIsFit = 2;
// Gauss-Newton steps per call; each costs 4 evaluations per free parameter and its trials.
constexpr int32_t kMaxSteps = 100;
// A fall of the sum below this share of it is rounding: the steps stop.
constexpr double kSettled = 1e-12;
// A step whose linear model promises less than this share of the sum is not tried.
constexpr double kWorthwhile = 1e-10;
// Singular values of the column-scaled Jacobian below this share of the largest carry no
// direction that double precision resolves.
constexpr double kRankFloor = 1e-15;
// The damping of a step, as a share of the largest singular value: none at first; after a
// step that fails to lower the sum it starts at the rank floor and rises by kDampRise, after
// one that lowers it, it falls by that factor. Past kDampTop (a steepest-descent step shorter
// than any rounding of the parameters) no step lowers the sum. The factor is small: in a
// curved valley (an exponential's amplitude against its rate) the undamped step overshoots and
// a damping ten times the one it needs shrinks the step along the valley's weak direction a
// hundredfold, so that the steps crawl.
constexpr double kDampRise = 2.0;
constexpr double kDampTop = 1e8;

// The objective of p through f1dim2 (row 1: every row gives the same value), clamped by
// minmax. (gnllsqr calls it only with rows.)
double calcch2(RunState& rs, int32_t n, const Params& p) {
  double yfi = 0.0;
  double fval = 0.0;
  rs.f1dim2(1, VecView<const double>(p.data(), n), yfi, fval, n);
  return minmax(fval);
}

// The linear model of the engine's weighted residuals e(i) = (y(i) - yf(i)) / s(i) at one
// vector: e there, its derivatives J (m rows, one column per free parameter) and their SVD
// with unit columns, J = U diag(w) V^T diag(scale).
struct Linear {
  Linear(int32_t m, int32_t free)
      : m(m),
        free(free),
        e(m),
        J(m, free),
        probe(m, 4),
        scale(free),
        w(free),
        u(m, free),
        v(free, free),
        proj(free) {}
  int32_t m, free;
  FVector<double> e;
  FMatrixD<double> J;
  FMatrixD<double> probe;  // fitted values at the offsets 2h, h, -2h, -h of one parameter
  FVector<double> scale, w;
  FMatrixD<double> u, v;
  FVector<double> proj;  // U^T e
};

// e := the weighted residuals of the last evaluation; g(i) := de(i) / dyf(i) there.
void residuals_of_last(const RunState& rs, Linear& lin, VecView<double> g) {
  const VecView<const double> y = rs.observed(), yf = rs.fitted();
  FVector<double> r(lin.m), s(lin.m);
  for (int32_t i = 1; i <= lin.m; ++i) r(i) = y(i) - yf(i);
  funct::row_sigmas(lin.m, rs.mode, yf, r.view(), rs.sigma(), s.view());
  for (int32_t i = 1; i <= lin.m; ++i) {
    lin.e(i) = r(i) / s(i);
    g(i) = rs.mode == kSigmaIsFit && s(i) == yf(i) ? -y(i) / (s(i) * s(i)) : -1.0 / s(i);
  }
}

// The engine's evaluations with the bounds rule set aside: the linear model is of the model
// itself, whatever the rule would do to the probes near a bound.
class RuleAside {
 public:
  explicit RuleAside(RunState& rs) : rs_(rs), first_pass_(rs.first_pass) { rs.first_pass = 0; }
  ~RuleAside() { rs_.first_pass = first_pass_; }
  RuleAside(const RuleAside&) = delete;
  RuleAside& operator=(const RuleAside&) = delete;

 private:
  RunState& rs_;
  int32_t first_pass_;
};

// The linear model at p: p, then each free parameter j at the offsets 2h, h, -2h and -h. The
// fitted values' derivatives are the central differences over 4h and 2h extrapolated to a zero
// spacing (exact for a cubic, so for a model linear in its parameters), and J follows from them
// by the chain rule; sum := the model's sum at p. False when J is not finite.
bool linearise(RunState& rs, int32_t n, VecView<double> p, Linear& lin, double& sum) {
  const RuleAside aside(rs);
  double f = 0.0;
  rs.f1dim(p, n, sum);
  FVector<double> g(lin.m);
  residuals_of_last(rs, lin, g.view());
  bool finite = true;
  int32_t col = 0;
  for (int32_t j = 1; j <= n; ++j) {
    if (!is_free(j)) continue;
    const double pj = p(j);
    const double h = std::max(std::fabs(pj) * kProbeShare, kProbeFloor);
    int32_t k = 0;
    for (const double offset : {2.0 * h, h, -2.0 * h, -h}) {
      p(j) = pj + offset;
      rs.f1dim(p, n, f);
      const VecView<const double> yf = rs.fitted();
      for (int32_t i = 1; i <= lin.m; ++i) lin.probe(i, k + 1) = yf(i);
      ++k;
    }
    p(j) = pj;
    ++col;
    for (int32_t i = 1; i <= lin.m; ++i) {
      const double wide = (lin.probe(i, 1) - lin.probe(i, 3)) / (4.0 * h);
      const double narrow = (lin.probe(i, 2) - lin.probe(i, 4)) / (2.0 * h);
      lin.J(i, col) = g(i) * (4.0 * narrow - wide) / 3.0;
      finite = finite && std::isfinite(lin.J(i, col)) && std::isfinite(lin.e(i));
    }
  }
  return finite;
}

// The SVD of J with unit columns (a zero column stays zero) and U^T e.
void decompose(Linear& lin) {
  const int32_t m = lin.m, k = lin.free;
  FMatrixD<double> a(m, k);
  for (int32_t j = 1; j <= k; ++j) {
    double norm = 0.0;
    for (int32_t i = 1; i <= m; ++i) norm = marq_mod::pythagz(norm, lin.J(i, j));
    lin.scale(j) = norm > 0.0 ? norm : 1.0;
    for (int32_t i = 1; i <= m; ++i) a(i, j) = lin.J(i, j) / lin.scale(j);
  }
  marq_mod::svd(MatView<const double>(a.data(), m, k, a.ld()),
                m,
                k,
                lin.w.view(),
                lin.u.view(),
                lin.v.view());
  for (int32_t c = 1; c <= k; ++c) {
    double s = 0.0;
    for (int32_t i = 1; i <= m; ++i) s += lin.u(i, c) * lin.e(i);
    lin.proj(c) = s;
  }
}

// delta := the least-squares solution of J delta = -e damped by mu (mu = 0: the Gauss-Newton
// step), over the singular values above the rank floor.
void step_of(const Linear& lin, double mu, VecView<double> delta) {
  const int32_t k = lin.free;
  for (int32_t j = 1; j <= k; ++j) delta(j) = 0.0;
  for (int32_t c = 1; c <= k; ++c) {
    const double w = lin.w(c);
    if (!(w > kRankFloor * lin.w(1))) continue;
    const double t = lin.proj(c) * w / (w * w + mu * mu);
    for (int32_t j = 1; j <= k; ++j) delta(j) -= lin.v(j, c) * t;
  }
  for (int32_t j = 1; j <= k; ++j) delta(j) /= lin.scale(j);
}

// The steps follow the model's own sum (the bounds rule set aside); a vector that the rule
// leaves in place, where that sum is the engine's, is a candidate to return.
struct Walk {
  Params x;             // the current vector
  double sum = 0.0;     // the model's sum there
  bool inside = false;  // the bounds rule leaves x in place
};

// The trial w.x + delta (free parameters): when the model's sum falls there, w moves to it.
// False otherwise, and when w.x + delta is w.x.
bool try_step(RunState& rs, int32_t n, Walk& w, VecView<const double> delta) {
  Params trial, bounded;
  int32_t col = 0;
  bool moved = false;
  for (int32_t j = 1; j <= n; ++j) {
    trial(j) = is_free(j) ? w.x(j) + delta(++col) : w.x(j);
    moved = moved || trial(j) != w.x(j);
    bounded(j) = trial(j);
  }
  if (!moved) return false;
  double f = 0.0;
  rs.func(bounded.view(n), n, f);  // as the engine evaluates it
  bool inside = true;
  for (int32_t j = 1; j <= n; ++j) inside = inside && bounded(j) == trial(j);
  if (!inside) {
    const RuleAside aside(rs);
    rs.f1dim(trial.view(n), n, f);
  }
  if (!(f < w.sum)) return false;
  w.x = trial;
  w.sum = f;
  w.inside = inside;
  return true;
}

// One step from w with the damping share `damp`, raised until the step lowers the sum and
// lowered after it. False when no damping lowers it.
bool step_down(RunState& rs, int32_t n, Walk& w, const Linear& lin, double& damp) {
  if (!(lin.w(1) > 0.0)) return false;
  double gain = 0.0;  // the fall of the sum that the linear model promises
  for (int32_t c = 1; c <= lin.free; ++c) {
    if (lin.w(c) > kRankFloor * lin.w(1)) gain += lin.proj(c) * lin.proj(c);
  }
  if (!(gain > kWorthwhile * w.sum)) return false;
  FVector<double> delta(lin.free);
  for (;;) {
    step_of(lin, damp * lin.w(1), delta.view());
    if (try_step(rs, n, w, delta.view())) {
      damp = damp / kDampRise < kRankFloor ? 0.0 : damp / kDampRise;
      return true;
    }
    damp = damp == 0.0 ? kRankFloor : damp * kDampRise;
    if (damp > kDampTop) return false;
  }
}

int32_t free_count(int32_t n) {
  int32_t k = 0;
  for (int32_t j = 1; j <= n; ++j) k += is_free(j) ? 1 : 0;
  return k;
}

}  // namespace

double minmax(double v) {
  if (v != v) return 1e-15;
  if (std::fabs(v) < 1e-30) v = std::copysign(1e-30, v);
  if (std::fabs(v) > 1e30) v = std::copysign(1e30, v);
  if (v - 1.0 == v) return 1e15;
  return v;
}

void gnllsqr(RunState& rs, int32_t m, int32_t n, VecView<double> p, double& fmin) {
  if (n < 1 || n > common_data::max_params || m < 1) return;
  // The evaluations of a finite-difference Jacobian at p (offsets 0, 2h, h, -2h, -h of every
  // parameter, then p), as the cascade's record of this stage has them.
  Params p0;
  for (int32_t j = 1; j <= n; ++j) p0(j) = p(j);
  calcch2(rs, n, p0);
  double f = 0.0;
  for (int32_t j = 1; j <= n; ++j) {
    const double h = std::max((std::fabs(p0(j)) + kStepFloor) * kStepFactor, kStepFloor);
    for (const double offset : {0.0, 2.0 * h, h, -2.0 * h, -h}) {
      p(j) = p0(j) + offset;
      rs.f1dim(p, n, f);
    }
    p(j) = p0(j);
  }
  rs.f1dim(p, n, f);

  // Gauss-Newton steps from p on the model's own sum; the lowest vector on the way that the
  // bounds rule leaves in place, if its sum is below fmin, is returned with that sum.
  Linear lin(m, free_count(n));
  if (lin.free == 0) return;
  Walk w;
  for (int32_t j = 1; j <= n; ++j) w.x(j) = p(j);
  double damp = 0.0;
  for (int32_t step = 1; step <= kMaxSteps; ++step) {
    if (!linearise(rs, n, w.x.view(n), lin, w.sum)) break;
    const double before = w.sum;
    decompose(lin);
    if (!step_down(rs, n, w, lin, damp)) break;
    if (w.inside && w.sum < fmin) {
      for (int32_t j = 1; j <= n; ++j) p(j) = w.x(j);
      fmin = w.sum;
    }
    if (!(before - w.sum > kSettled * before)) break;
  }
  // Without a lower sum p and fmin come back as they came. The last evaluation is of the
  // vector returned.
  rs.f1dim(p, n, f);
}

}  // namespace sharc_mod
