#include "optimizers/vmet.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "optimizers/optim_support.hpp"

namespace vmet {
namespace {

constexpr double kTiny = 1e-24;                     // floor of every magnitude in the update
constexpr double kShrink = 0.20000000298023224;     // step factor of the line search (0.2f)
constexpr double kTol = 9.999999747378752e-6;       // sufficient-decrease factor (1e-5f)
constexpr double kGradMax = 3.4028234663852886e37;  // limit of a gradient component
constexpr double kDistrusted = 1e-12;               // a pass ending below this is discarded
constexpr int32_t kMaxFailed = 25;                  // failed trials after a vanished difference
constexpr int32_t kMaxPasses = 3;

// v with its magnitude raised to kTiny, keeping its sign.
double floor_tiny(double v) { return std::fabs(v) < kTiny ? std::copysign(kTiny, v) : v; }

// The state of one call: B, the gradients and the points, shared by the pass and its gradient.
class Varme {
 public:
  Varme(const Objective& fcn, int32_t n, VecView<double> x)
      : fcn_(fcn), n_(n), x_(x), b_(n, n), g_(n), c_(n), t_(n), x0_(n), y_(n), bx_(n) {}

  // One pass from x. Returns the pass's minimum; x is the point that has it.
  double pass(int32_t pass_no, int32_t& status) {
    first_pass_ = pass_no == 1;
    eps_ = first_pass_ ? 1e-10 : 1e-12;
    // Step 1.
    ifn = 0;
    status = 0;
    ler = 0;
    unit_b();
    double f = evaluate();
    fmin_ = f;
    gradient(status);
    if (status > 0) return fmin_;
    ifn = ifn + 1 + n_;
    if (ifn > maxfn) {
      status = 4;
      return fmin_;
    }
    iter_ = 0;
    last_reset_ = 0;
    for (;;) {
      // Step 2.
      if (optim_support::time_limit_passed()) return fmin_;
      for (int32_t i = 1; i <= n_; ++i) {
        x0_(i) = x_(i);
        c_(i) = g_(i);
      }
      // Step 3: t = -B g.
      double gradproj = 0.0;
      for (int32_t i = 1; i <= n_; ++i) {
        double s = 0.0;
        for (int32_t j = 1; j <= n_; ++j) s -= b_(i, j) * g_(j);
        t_(i) = s;
        gradproj += g_(i) * s;
      }
      gradproj = floor_tiny(gradproj);
      if (gradproj >= 0.0) {  // not a descent direction
        if (!reset()) return fmin_;
        continue;
      }
      // Step 4.
      double a = 1.0;
      const Search search = line_search(gradproj, a, f, status);
      if (search == Search::EndPass) {
        // The trial in x was not accepted: the pass's point is the one with fmin.
        for (int32_t i = 1; i <= n_; ++i) x_(i) = x0_(i);
        return fmin_;
      }
      if (search == Search::Reset) continue;
      // Step 5.
      fmin_ = f;
      gradient(status);
      if (status > 0) return fmin_;
      ifn = ifn + n_;
      if (ifn > maxfn) {
        status = 4;
        return fmin_;
      }
      ++iter_;
      // Steps 6-7.
      if (!update(a)) {
        if (!reset()) return fmin_;
        continue;
      }
      if (optim_support::time_limit_passed()) return fmin_;
    }
  }

 private:
  enum class Search { Accepted, Reset, EndPass };

  bool free(int32_t i) const { return common_data::pmask(i) != 0; }

  double evaluate() {
    double f = 0.0;
    fcn_(n_, VecView<const double>(x_.data(), n_), f);
    return f;
  }

  void unit_b() {
    b_.fill(0.0);
    for (int32_t i = 1; i <= n_; ++i) b_(i, i) = 1.0;
  }

  // B := unit matrix, remembered at this iteration. Returns false when the last reset happened
  // at this very iteration: a second reset would change nothing, so the pass ends.
  bool reset() {
    if (last_reset_ == iter_) return false;
    unit_b();
    last_reset_ = iter_;
    return true;
  }

  // Step 4: a from 1 along t until the sufficient-decrease test holds.
  Search line_search(double gradproj, double& a, double& f, int32_t& status) {
    int32_t failed = 0;
    for (;;) {
      // a. The number of free parameters that do not move.
      int32_t still = 0;
      for (int32_t i = 1; i <= n_; ++i) {
        if (!free(i)) continue;
        x_(i) = x0_(i) + a * t_(i);
        if (std::fabs(x_(i) - x0_(i)) < kTiny) ++still;
      }
      if (optim_support::time_limit_passed()) return Search::EndPass;  // b
      // c. Compared with all n parameters, as stated: with a fixed one it never holds.
      if (still >= n_) {
        for (int32_t i = 1; i <= n_; ++i) x_(i) = x0_(i);
        return reset() ? Search::Reset : Search::EndPass;
      }
      // d.
      f = evaluate();
      ++ifn;
      if (ifn > maxfn) {
        status = 4;
        return Search::EndPass;
      }
      if (ler == 0) {
        // e.
        if (f < fmin_ + floor_tiny(a * gradproj * kTol)) return Search::Accepted;
        a = std::max(kShrink * a, kTiny);
      } else {
        // f. The latest gradient lost its last component: the trial counts as failed.
        ++failed;
        a = std::max(a * std::pow(kShrink, std::sqrt(static_cast<double>(failed))), kTiny);
        if (failed > kMaxFailed) {
          status = 3;
          return Search::EndPass;
        }
      }
    }
  }

  // Step 6, the BFGS update of B with s = a t and y = g - c. Returns false when B must be
  // reset instead (a curvature y.s that is not positive on the first pass).
  bool update(double a) {
    double d1 = 0.0;
    for (int32_t i = 1; i <= n_; ++i) {
      y_(i) = floor_tiny(g_(i) - c_(i));
      t_(i) = a * t_(i);  // t becomes the step s
      d1 += y_(i) * t_(i);
    }
    if (d1 <= 0.0) {
      if (first_pass_) {
        if (std::fabs(d1) >= kTiny) return false;
        d1 = std::copysign(kTiny, d1);
        if (d1 < 0.0) return false;
      } else {
        // Only reachable after a pass that ended in a non-finite minimum: any positive
        // replacement keeps the update finite.
        d1 = std::max(std::fabs(d1), kTiny);
      }
    } else if (d1 < kTiny) {
      d1 = kTiny;
    }
    double d2 = 0.0;
    for (int32_t i = 1; i <= n_; ++i) {
      double s = 0.0;
      for (int32_t j = 1; j <= n_; ++j) s += b_(i, j) * y_(j);
      bx_(i) = s;
      d2 += y_(i) * s;
    }
    d2 = 1.0 + floor_tiny(d2) / d1;
    // B := B - (s X^T + X s^T - D2 s s^T) / D1, X = B y.
    for (int32_t i = 1; i <= n_; ++i) {
      for (int32_t j = 1; j <= n_; ++j) {
        b_(i, j) -= (t_(i) * bx_(j) + bx_(i) * t_(j) - d2 * t_(i) * t_(j)) / d1;
      }
      b_(i, i) += kTiny;
    }
    return true;
  }

  // Central differences at x: g(i) = (f(x + d e_i) - f(x - d e_i)) / 2d,
  // d = (|x(i)| + eps) sqrt(eps); 0 for a fixed parameter (after its evaluations). A difference
  // below 1e-16 is counted and replaced by eps; status := 2 when all n vanished.
  void gradient(int32_t& status) {
    int32_t vanished = 0;
    for (int32_t i = 1; i <= n_; ++i) {
      const double xi = x_(i);
      const double d = (std::fabs(xi) + eps_) * std::sqrt(eps_);
      x_(i) = xi + d;
      const double fplus = evaluate();
      x_(i) = xi - d;
      const double fminus = evaluate();
      x_(i) = xi;
      double diff = fplus - fminus;
      ler = std::fabs(diff) < 1e-16 ? 1 : 0;
      if (ler == 1) {
        ++vanished;
        diff = eps_;
      }
      double gi = diff / (2.0 * d);
      if (std::isnan(gi)) {
        gi = std::sqrt(eps_);
      } else if (std::fabs(gi) < eps_) {
        gi = std::copysign(eps_, gi);
      } else {
        gi = std::clamp(gi, -kGradMax, kGradMax);
      }
      g_(i) = free(i) ? gi : 0.0;
    }
    if (vanished == n_) status = 2;
  }

  const Objective& fcn_;
  int32_t n_;
  VecView<double> x_;
  FMatrixD<double> b_;  // inverse-Hessian approximation B
  FVector<double> g_;   // gradient at x
  FVector<double> c_;   // gradient at the iteration's start
  FVector<double> t_;   // search direction, then the step s
  FVector<double> x0_;  // the iteration's start point (value fmin)
  FVector<double> y_;   // gradient change
  FVector<double> bx_;  // B y
  double fmin_ = 0.0;
  double eps_ = 1e-10;  // gradient accuracy of the pass
  bool first_pass_ = true;
  int32_t iter_ = 0;        // iterations of the pass
  int32_t last_reset_ = 0;  // iteration of the last reset of B
};

}  // namespace

void varmetric(const Objective& fcn, int32_t n, VecView<double> x, double& fmin, int32_t& status) {
  const double f_in = fmin;
  FVector<double> x_in(n);
  FVector<double> x_best(n);
  for (int32_t i = 1; i <= n; ++i) x_in(i) = x_best(i) = x(i);
  double f_best = std::numeric_limits<double>::infinity();
  ifn = 0;
  Varme varme(fcn, n, x);
  for (int32_t pass = 1; pass <= kMaxPasses; ++pass) {
    double f = varme.pass(pass, status);
    // End of a pass.
    if (f < kDistrusted) {
      for (int32_t i = 1; i <= n; ++i) x(i) = x_in(i);
      f = f_in;
    } else if (f < f_best) {
      f_best = f;
      for (int32_t i = 1; i <= n; ++i) x_best(i) = x(i);
    } else {
      for (int32_t i = 1; i <= n; ++i) x(i) = x_best(i);
    }
    // A further pass, from the best point, only after a minimum that is not finite, and not
    // once the time limit has passed (the last poll's reading).
    if (optim_support::finite(f) || globals::totaltime > globals::timemax) break;
  }
  if (!(f_best <= f_in)) {
    for (int32_t i = 1; i <= n; ++i) x(i) = x_in(i);
    fmin = f_in;
  } else {
    for (int32_t i = 1; i <= n; ++i) x(i) = x_best(i);
    fmin = f_best;
  }
}

void reset() {
  ifn = 0;
  ler = 0;
}

}  // namespace vmet
