// Support routines of gn_module (declared in gn_module.hpp): the shifted Cholesky solver, the
// Cauchy radius, the coordinate probe and the expansion of the free-parameter vector. They are
// a file of their own only for size; they belong to the module.
#include <cmath>
#include <cstdint>

#include "common/common_data.hpp"
#include "optimizers/gn_mod.hpp"
#include "optimizers/gn_module.hpp"
#include "optimizers/optim_support.hpp"

namespace gn_module {
namespace {

// Extra attempts of gn_chol after its nf ordinary ones, each with twice the last increment:
// 64 doublings carry the shift 2^64 (about 1.8e19) times hnorm beyond where it stood.
constexpr int32_t kExtraAttempts = 64;

// Probe step factor of nearbysearch: h = 0.000122*|t + v| (about 2^-13).
constexpr double kProbe = 0.000122;

// Work vectors of nearbysearch, sized for the largest problem: probing allocates nothing.
FArray<double, common_data::max_params> probe_x;
FArray<double, common_data::max_rows> probe_r;

// L*L' = H + mu*I over the lower triangle of h; false when a pivot is not positive (or NaN).
bool factorise(int32_t nf, double mu, MatView<const double> h, MatView<double> l) {
  for (int32_t j = 1; j <= nf; ++j) {
    double d = h(j, j);
    for (int32_t k = 1; k < j; ++k) d -= l(j, k) * l(j, k);
    d += mu;
    if (!(d > 0.0)) return false;
    l(j, j) = std::sqrt(d);
    for (int32_t i = j + 1; i <= nf; ++i) {
      double v = h(i, j);
      for (int32_t k = 1; k < j; ++k) v -= l(i, k) * l(j, k);
      l(i, j) = v / l(j, j);
    }
  }
  return true;
}

// s := -(L*L')^-1 * g: forward substitution L*y = -g, then back substitution L'*s = y.
void solve(int32_t nf, MatView<const double> l, VecView<const double> g, VecView<double> s) {
  for (int32_t i = 1; i <= nf; ++i) {
    double v = -g(i);
    for (int32_t k = 1; k < i; ++k) v -= l(i, k) * s(k);
    s(i) = v / l(i, i);
  }
  for (int32_t i = nf; i >= 1; --i) {
    double v = s(i);
    for (int32_t k = i + 1; k <= nf; ++k) v -= l(k, i) * s(k);
    s(i) = v / l(i, i);
  }
}

bool all_finite(int32_t nf, VecView<const double> s) {
  for (int32_t i = 1; i <= nf; ++i) {
    if (!optim_support::finite(s(i))) return false;
  }
  return true;
}

// The limit of -(H + mu*I)^-1 * g for a large shift: L := sqrt(mu)*I and s := -g/mu, a
// non-finite entry of g giving 0. Keeps the step finite when no factorisation succeeds.
void steepest_descent(
    int32_t nf, double& mu, VecView<const double> g, MatView<double> l, VecView<double> s) {
  if (!(mu > 0.0) || !optim_support::finite(mu)) mu = 1.0;
  for (int32_t j = 1; j <= nf; ++j) {
    for (int32_t i = 1; i <= nf; ++i) l(i, j) = 0.0;
    l(j, j) = std::sqrt(mu);
    s(j) = optim_support::finite(g(j)) ? -g(j) / mu : 0.0;
    if (!optim_support::finite(s(j))) s(j) = 0.0;
  }
}

}  // namespace

void gn_chol(int32_t nf,
             double& mu,
             MatView<const double> h,
             VecView<const double> g,
             MatView<double> l,
             VecView<double> s) {
  const double hnorm = gn_mod::hnorm;
  bool ok = false;
  for (int32_t k = 1; k <= nf && !ok; ++k) {
    ok = factorise(nf, mu, h, l);
    if (!ok) mu += hnorm;
  }
  // All nf attempts failed: the shift was too small for the matrix. Keep raising it, doubling
  // the increment, so a strongly indefinite matrix still factorises.
  double inc = hnorm;
  for (int32_t k = 1; k <= kExtraAttempts && !ok && inc > 0.0; ++k) {
    ok = factorise(nf, mu, h, l);
    if (!ok) {
      inc += inc;
      mu += inc;
    }
  }
  if (ok) {
    solve(nf, MatView<const double>(l.data(), l.rows(), l.cols(), l.ld()), g, s);
    if (all_finite(nf, VecView<const double>(s.data(), s.size()))) return;
  }
  // A matrix holding NaN or inf, or a factor so small that the solve overflowed: the solves
  // would divide by a non-positive pivot or give inf, so take the shifted limit instead.
  steepest_descent(nf, mu, g, l, s);
}

void gn_cauchy(
    int32_t nf, MatView<const double> l, VecView<const double> g, double gnorm, double& del) {
  if (gnorm == 0.0) return;
  // Step 1: q = |L'g|^2 / gnorm^2 = g'Hg / gnorm^2.
  double q = 0.0;
  for (int32_t j = 1; j <= nf; ++j) {
    double v = 0.0;
    for (int32_t i = j; i <= nf; ++i) v += l(i, j) * g(i) / gnorm;
    q += v * v;
  }
  // Steps 2-3: dc = 0.6*|g|^3/(g'Hg), limited to [zcpmin, nf*zcpmax]. A zero curvature gives
  // dc = inf and so the upper limit; fmin/fmax pass over a NaN curvature the same way.
  const double dc = gn_mod::zcp * gnorm / q;
  del = std::fmax(gn_mod::zcpmin, std::fmin(nf * gn_mod::zcpmax, dc));
}

void nearbysearch(int32_t m,
                  int32_t nf,
                  int32_t n,
                  VecView<double> xf,
                  VecView<const double> xfull,
                  VecView<const double> t,
                  double fbest,
                  double& f) {
  const VecView<double> xp = probe_x.view(n);
  const VecView<double> r = probe_r.view(m > 0 ? m : 1);
  // Plain sum of squares at xf expanded over xfull.
  auto sum_at = [&]() {
    xmaskedarray(n, nf, VecView<const double>(xf.data(), nf), xfull, xp);
    double fw = 0.0;
    gnfun(m, n, VecView<const double>(xp.data(), n), r, fw);
    double s = 0.0;
    for (int32_t i = 1; i <= m; ++i) s += r(i) * r(i);
    return s;
  };
  double fb = fbest;
  int32_t c = 0;
  for (int32_t sweep = 1; sweep <= 10; ++sweep) {
    const int32_t before = c;
    for (int32_t j = 1; j <= nf; ++j) {
      const double v = xf(j);
      const double h = kProbe * std::fabs(t(j) + v);
      // Steps 2-3: up; a NaN probe becomes 1.1*v.
      xf(j) = v + 2.0 * h;
      if (std::isnan(xf(j))) xf(j) = 1.1 * v;
      double probe = sum_at();
      if (probe < fb) {
        fb = probe;
        ++c;
        continue;
      }
      // Step 4: down (NaN: 0.9*v), else restore.
      xf(j) = v - 2.0 * h;
      if (std::isnan(xf(j))) xf(j) = 0.9 * v;
      probe = sum_at();
      if (probe < fb) {
        fb = probe;
        ++c;
      } else {
        xf(j) = v;
      }
    }
    // Step 5. A sweep that kept nothing left xf and fb as they were, so the next one would
    // repeat its evaluations exactly: stop there too.
    if (c > 5 || c == before) break;
  }
  f = fb;
}

void xmaskedarray(int32_t n,
                  int32_t nf,
                  VecView<const double> xf,
                  VecView<const double> xfull,
                  VecView<double> xout) {
  for (int32_t i = 1; i <= n; ++i) xout(i) = xfull(i);
  int32_t k = 0;
  for (int32_t i = 1; i <= n && k < nf; ++i) {
    if (common_data::pmask(i) != 0) xout(i) = xf(++k);
  }
}

}  // namespace gn_module
