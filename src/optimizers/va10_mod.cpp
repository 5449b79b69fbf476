#include "optimizers/va10_mod.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"
#include "model/funct.hpp"
#include "optimizers/bounds_rule.hpp"
#include "optimizers/optim_support.hpp"

namespace va10_mod {
namespace {

using common_data::max_params;
using common_data::max_rows;

constexpr double kMinStep = 1.49e-8;    // least difference step, slope and step scale
constexpr double kFirstS = 1.00001e-4;  // relative difference step of the first attempt
constexpr int32_t kAttempts = 3;

// Work copies of the objective, sized once for the largest data set (it runs per trial vector).
struct MrtfunWork {
  FArray<double, max_rows> yf;
};
MrtfunWork mw;

inline long packed(long i, long k) { return i * (i - 1) / 2 + k; }

// How a stage of an attempt ended.
enum class End {
  Attempt,  // the attempt ends; a further one may follow
  Method,   // the method stops (evaluation limit, runaway step)
};

// The state of one call: the internal procedures share the working vectors of the entry.
class QuasiNewton {
 public:
  QuasiNewton(int32_t m, int32_t n, VecView<double> x, VecView<double> h, int32_t maxfn)
      : n_(n),
        x_(x),
        h_(h),
        maxfn_(maxfn),
        w_(n),
        g_(n),
        g_old_(n),
        p_(n),
        trial_(n),
        delta_(n),
        z_(n),
        r_(std::max(m, 1)) {}

  // w(i) = |x(i)| + 1e-15: the scale of each parameter, fixed for the call.
  void set_weights() {
    for (int32_t i = 1; i <= n_; ++i) w_(i) = std::fabs(x_(i)) + 1e-15;
  }
  void halve_step() { s_ = s_ / 2.0; }
  int32_t count() const { return count_; }

  // One attempt from x (fsum in/out: the sum at x); status as the attempt leaves it.
  End attempt(int32_t mode, double& fsum, int32_t& status) {
    // Step 1.
    if (optim_support::time_limit_passed()) return End::Attempt;
    status = 0;
    // Step 2.
    if (mode == 1) {
      unit_factors();
    } else if (mode == 2 && !factor()) {
      return End::Attempt;
    }
    for (int32_t i = 1; i <= n_; ++i) {
      if (!(h_(packed(i, i)) > 0.0)) return End::Attempt;
    }
    // Step 3.
    double f = evaluate(x_);
    fsum = f;
    double df = std::fabs(0.5 * f);
    if (df == 0.0) df = 1.0;
    bool stepped = false;  // a step was taken since the last gradient
    for (;;) {
      // Step 4.
      if (optim_support::time_limit_passed()) return End::Attempt;
      gradient(f);
      if (optim_support::time_limit_passed()) return End::Attempt;
      if (stepped) update();  // step 9 of the iteration before, with the new gradient
      stepped = false;
      // Step 5.
      solve_direction();
      double z = 0.0;
      double gs = 0.0;
      for (int32_t i = 1; i <= n_; ++i) {
        z = std::max(z, std::fabs(p_(i)) / w_(i));
        gs += p_(i) * g_(i);
      }
      if (z < kMinStep) z = kMinStep;
      const double alpha_min = kMinStep / z;
      status = 2;
      if (!(gs < 0.0)) return End::Attempt;  // not a descent direction
      // Step 6.
      double alpha = std::min(1.0, -2.0 * df / gs);
      status = 1;
      if (count_ >= maxfn_) {
        status = 3;
        return End::Method;
      }
      // Step 7.
      double f1 = f;
      const Step step = line_search(alpha, alpha_min, f, f1);
      if (step == Step::Limit) return End::Method;
      if (step == Step::Converged) {
        // Step 8.
        if (central_) return End::Attempt;  // the normal end
        central_ = true;
        continue;
      }
      take_step(f, f1, df);
      fsum = f;
      stepped = true;
      if (step == Step::Runaway) return End::Method;
    }
  }

 private:
  // Accepted: trial holds the new point, f1 its sum. Runaway: the same, and the method stops
  // (the extrapolated step grew beyond 1e15). Converged: no step. Limit: no step, and the
  // evaluation limit stops the method.
  enum class Step { Accepted, Converged, Runaway, Limit };

  // x := the accepted point; keeps the step and the gradient of its start for the update.
  // The expected decrease of the next step is the decrease just achieved (the first one is
  // half the sum); a step that gained nothing keeps the last value.
  void take_step(double& f, double f1, double& df) {
    for (int32_t i = 1; i <= n_; ++i) {
      delta_(i) = trial_(i) - x_(i);
      x_(i) = trial_(i);
      g_old_(i) = g_(i);
    }
    if (f - f1 > 0.0) df = f - f1;
    f = f1;
  }

  bool free(int32_t i) const { return common_data::pmask(i) != 0; }

  double evaluate(VecView<double> v) {
    double f = 0.0;
    mrtfun(static_cast<int32_t>(r_.size()), n_, VecView<const double>(v.data(), n_), r_.view(), f);
    ++count_;
    return f;
  }
  double evaluate(FVector<double>& v) { return evaluate(v.view()); }

  void unit_factors() {
    for (int32_t i = 1; i <= n_; ++i) {
      for (int32_t k = 1; k < i; ++k) h_(packed(i, k)) = 0.0;
      h_(packed(i, i)) = 1.0;
    }
  }

  // h := its L D L^T factors in place; false at a pivot that is not positive.
  bool factor() {
    for (int32_t j = 1; j <= n_; ++j) {
      double d = h_(packed(j, j));
      for (int32_t k = 1; k < j; ++k) d -= h_(packed(j, k)) * h_(packed(j, k)) * h_(packed(k, k));
      if (!(d > 0.0)) return false;
      h_(packed(j, j)) = d;
      for (int32_t i = j + 1; i <= n_; ++i) {
        double s = h_(packed(i, j));
        for (int32_t k = 1; k < j; ++k) s -= h_(packed(i, k)) * h_(packed(j, k)) * h_(packed(k, k));
        h_(packed(i, j)) = s / d;
      }
    }
    return true;
  }

  // p := -(L D L^T)^-1 g: forward substitution, division by D, back substitution.
  void solve_direction() {
    for (int32_t i = 1; i <= n_; ++i) {
      double s = -g_(i);
      for (int32_t k = 1; k < i; ++k) s -= h_(packed(i, k)) * p_(k);
      p_(i) = s;
    }
    for (int32_t i = 1; i <= n_; ++i) p_(i) = p_(i) / h_(packed(i, i));
    for (int32_t i = n_; i >= 1; --i) {
      double s = p_(i);
      for (int32_t k = i + 1; k <= n_; ++k) s -= h_(packed(k, i)) * p_(k);
      p_(i) = s;
    }
  }

  // Step 4: forward (n evaluations) or central (2n) differences at x with sum f.
  void gradient(double f) {
    for (int32_t i = 1; i <= n_; ++i) trial_(i) = x_(i);
    for (int32_t i = 1; i <= n_; ++i) {
      if (!free(i)) {
        g_(i) = 0.0;
        continue;
      }
      double d = w_(i) * s_;
      if (s_ * s_ > std::fabs(d)) d = s_ * s_;
      if (std::fabs(d) < kMinStep) d = std::copysign(kMinStep, d);
      const double xi = x_(i);
      trial_(i) = xi + d;
      const double fplus = evaluate(trial_);
      double q = 0.0;
      if (central_) {
        trial_(i) = xi - d;
        q = (fplus - evaluate(trial_)) / (2.0 * d);
      } else {
        q = (fplus - f) / d;
      }
      trial_(i) = xi;
      if (q == 0.0) q = kMinStep;  // a flat direction keeps a slope
      if (std::isnan(q)) q = s_;
      g_(i) = q;
    }
    // A gradient counts n (forward) or 2n (central) evaluations, fixed parameters included
    // although they cost none.
    for (int32_t i = 1; i <= n_; ++i) count_ += free(i) ? 0 : (central_ ? 2 : 1);
  }

  bool outside_bounds(const FVector<double>& v) const {
    for (int32_t i = 1; i <= n_; ++i) {
      if (v(i) < common_data::pboundlo(i) || v(i) > common_data::pboundhi(i)) return true;
    }
    return false;
  }

  void point(double alpha) {
    for (int32_t i = 1; i <= n_; ++i) trial_(i) = x_(i) + alpha * p_(i);
  }

  // Step 7. On Accepted, trial holds the new point and f1 its sum.
  Step line_search(double alpha, double alpha_min, double f, double& f1) {
    for (;;) {
      point(alpha);
      f1 = evaluate(trial_);
      if (f1 < f) return accept(alpha, f, f1);
      if (alpha < alpha_min) return Step::Converged;
      alpha = alpha / 2.0;
      point(alpha);
      const double fh = evaluate(trial_);
      if (fh < f) {
        f1 = fh;
        return accept(alpha, f, f1);
      }
      // Cut the step to the minimum of the parabola through f (0), fh (alpha), f1 (2 alpha).
      double q = 0.1;
      if (f1 + f > 2.0 * fh) q = std::max(0.1, 1.0 + 0.5 * (f - f1) / (f1 + f - 2.0 * fh));
      alpha = q * alpha;
      if (count_ >= maxfn_) return Step::Limit;
    }
  }

  // An accepted step alpha with sum f1 (trial holds its point). A point outside the bounds is
  // pulled back by the bounds rule and evaluated again, and ends the step there; otherwise the
  // step is extrapolated while that lowers the sum.
  Step accept(double alpha, double f, double& f1) {
    if (outside_bounds(trial_)) {
      pbounds3(trial_.view(), n_, f1);
      f1 = evaluate(trial_);
      return Step::Accepted;
    }
    double gnorm = 0.0;
    for (int32_t i = 1; i <= n_; ++i) gnorm += g_(i) * g_(i);
    gnorm = std::sqrt(gnorm);
    const double factor = gnorm > 1000.0  ? 1000.0
                          : gnorm > 100.0 ? 100.0
                          : gnorm > 2.0   ? gnorm
                                          : 2.0;
    for (;;) {
      if (count_ >= maxfn_) return Step::Accepted;
      const double alpha2 = factor * alpha;
      if (alpha2 > 1e15) return Step::Runaway;
      if (alpha2 < 1e-15) return Step::Converged;  // a vanishing step: nothing gained
      for (int32_t i = 1; i <= n_; ++i) z_(i) = x_(i) + alpha2 * p_(i);
      const double f2 = evaluate(z_);
      // Curvature along the line that makes central differences worth their cost.
      if (f + f2 >= 2.0 * f1 && 7.0 * f2 + 5.0 * f > 12.0 * f1) central_ = true;
      // The first evaluation that is not lower, or a point outside the bounds, ends it.
      if (!(f2 < f1) || outside_bounds(z_)) return Step::Accepted;
      alpha = alpha2;
      f1 = f2;
      for (int32_t i = 1; i <= n_; ++i) trial_(i) = z_(i);
    }
  }

  // Step 9: B := B + y y^T / (y.delta) - (B delta)(B delta)^T / (delta.B delta) on the factors,
  // y the change of the gradient along delta. Skipped when y.delta <= 0, which would make the
  // factors indefinite.
  void update() {
    double yd = 0.0;
    for (int32_t i = 1; i <= n_; ++i) yd += (g_(i) - g_old_(i)) * delta_(i);
    if (!(yd > 0.0)) return;
    // u = B delta = L (D (L^T delta)).
    for (int32_t i = 1; i <= n_; ++i) {
      double s = delta_(i);
      for (int32_t k = i + 1; k <= n_; ++k) s += h_(packed(k, i)) * delta_(k);
      z_(i) = h_(packed(i, i)) * s;
    }
    double dbd = 0.0;
    for (int32_t i = n_; i >= 1; --i) {
      double s = z_(i);
      for (int32_t k = 1; k < i; ++k) s += h_(packed(i, k)) * z_(k);
      trial_(i) = s;
      dbd += delta_(i) * s;
    }
    for (int32_t i = 1; i <= n_; ++i) p_(i) = g_(i) - g_old_(i);
    rank_one(1.0 / yd, p_);
    if (dbd > 0.0) rank_one(-1.0 / dbd, trial_);
  }

  // L D L^T + sigma v v^T, in place (v is destroyed). A diagonal that rounding would make
  // non-positive is kept at a small fraction of its old value, so the factors stay definite.
  void rank_one(double sigma, FVector<double>& v) {
    double a = sigma;
    for (int32_t j = 1; j <= n_; ++j) {
      const double pj = v(j);
      const double dj = h_(packed(j, j));
      double dnew = dj + a * pj * pj;
      if (!(dnew > 1e-15 * dj)) dnew = 1e-15 * dj;
      const double b = pj * a / dnew;
      a = dj * a / dnew;
      h_(packed(j, j)) = dnew;
      for (int32_t r = j + 1; r <= n_; ++r) {
        v(r) -= pj * h_(packed(r, j));
        h_(packed(r, j)) += b * v(r);
      }
    }
  }

  int32_t n_;
  VecView<double> x_;
  VecView<double> h_;
  int32_t maxfn_;
  int32_t count_ = 0;      // evaluations of the call
  double s_ = kFirstS;     // relative difference step
  bool central_ = false;   // central differences in use (kept for the rest of the call)
  FVector<double> w_;      // parameter scales
  FVector<double> g_;      // gradient at x
  FVector<double> g_old_;  // gradient at the start of the last step
  FVector<double> p_;      // direction
  FVector<double> trial_;  // trial point
  FVector<double> delta_;  // the last step
  FVector<double> z_;      // work vector
  FVector<double> r_;      // residuals of the last evaluation
};

}  // namespace

void mrtfun(int32_t m, int32_t n, VecView<const double> x, VecView<double> r, double& fsum) {
  (void)m;  // the residual vector's own size bounds the rows written
  const int32_t nd = common_data::nd;
  if (n > max_params || n < 0 || nd > max_rows) {  // more than the shared arrays hold
    fsum = funct::kSumCap;
    return;
  }
  fsum = optim_support::fun_shared_data(x, n, mw.yf.view(nd));
  for (int32_t k = 1; k <= n; ++k) common_data::pfinal(k) = x(k);
  const int32_t rows = std::min<long>(nd, r.size());
  for (int32_t i = 1; i <= nd; ++i) common_data::ydf(i) = mw.yf(i);
  for (int32_t i = 1; i <= rows; ++i) r(i) = common_data::yd(i) - mw.yf(i);
}

void pbounds3(VecView<double> x, int32_t n, double& fsum) {
  n = std::min(n, max_params);  // the shared bounds hold max_params slots
  bounds_rule::pbounds3(x,
                        n,
                        VecView<const double>(common_data::pboundlo.data(), n),
                        VecView<const double>(common_data::pboundhi.data(), n),
                        fsum);
}

void va10d(int32_t m,
           int32_t n,
           VecView<double> x,
           double& fsum,
           VecView<double> h,
           int32_t mode,
           int32_t maxfn,
           int32_t& status) {
  status = 4;
  if (n < 1 || n > max_params) return;  // nothing to do, or more than the shared arrays hold
  // Start.
  const double f_in = fsum;
  FVector<double> x_in(n);
  for (int32_t i = 1; i <= n; ++i) x_in(i) = x(i);
  pbounds3(x, n, fsum);
  const double f_start = fsum;  // possibly doubled by the bounds rule
  QuasiNewton qn(m, n, x, h, maxfn);
  qn.set_weights();
  for (int32_t attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) {
      qn.halve_step();
      // Only free parameters are nudged: a fixed one keeps its value exactly.
      for (int32_t i = 1; i <= n; ++i) {
        if (common_data::pmask(i) != 0) x(i) = x(i) + 1e-15;
      }
      fsum = f_start;
    }
    if (qn.attempt(mode, fsum, status) == End::Method) break;
  }
  // Finish.
  if (!(qn.count() < maxfn && status == 1)) status = 4;
  if (!(f_in > fsum)) {
    for (int32_t i = 1; i <= n; ++i) x(i) = x_in(i);
    fsum = f_in;
  }
}

}  // namespace va10_mod
