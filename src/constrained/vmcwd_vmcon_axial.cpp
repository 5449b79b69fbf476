// vmcwd_vmcon_mod::axialsearch: the axial probe that follows each QP step of vmcon and vmcwd.
//
// Probe phase: up to 20 sweeps over the free parameters; each tries x_i + s, then x_i - s, with
// s = |x_i| h + 2.22e-15 and h halved every sweep from 2.22e-5, and keeps a trial that lowers
// the objective. It ends after the sweep in which the successes (over all sweeps) exceed 10 n.
// A trial outside the parameter's bounds is not evaluated: a point the constraints forbid is
// no success. Bound phase: a free component outside its bounds is clipped to the bound it
// crosses; fixed components are never moved.
#include <cmath>

#include "common/common_data.hpp"
#include "constrained/vmcwd_vmcon_parts.hpp"

namespace vmcwd_vmcon_mod {
namespace {

constexpr double kStartStep = 2.22e-5;  // h before the first halving
constexpr double kAbsStep = 2.22e-15;   // absolute part of a probe step (a parameter at 0)
constexpr int32_t kSweeps = 20;

bool inside(int32_t i, double v) {
  return v >= common_data::pboundlo(i) && v <= common_data::pboundhi(i);
}

// Evaluates at xt (copied into x) when xt_i lies inside the bounds; true when it succeeds.
bool probe(int32_t n,
           int32_t i,
           double& f,
           double fbest,
           VecView<double> x,
           const FVector<double>& xt,
           GradArray& fgrad,
           ConsArray& c,
           ConsGrad& cnorm,
           bool& at_best) {
  if (!inside(i, xt(i))) return false;
  for (int32_t k = 1; k <= n; ++k) x(k) = xt(k);
  parts::evaluate(n, x, f, fgrad, c, cnorm);
  at_best = f < fbest;  // a NaN objective fails the comparison
  return at_best;
}

}  // namespace

void axialsearch(
    int32_t n, double& f, VecView<double> x, GradArray& fgrad, ConsArray& c, ConsGrad& cnorm) {
  // Step 1. at_best: the last evaluation (the caller's on entry) was at xb.
  FVector<double> xb(n), xt(n);
  for (int32_t k = 1; k <= n; ++k) xb(k) = xt(k) = x(k);
  double fbest = f;
  int32_t successes = 0;
  double h = kStartStep;
  bool at_best = true;
  // Steps 2 to 5.
  for (int32_t sweep = 1; sweep <= kSweeps; ++sweep) {
    h *= 0.5;
    for (int32_t i = 1; i <= n; ++i) {
      if (common_data::pmask(i) == 0) continue;
      const double s = std::fabs(xb(i)) * h + kAbsStep;
      xt(i) = xb(i) + s;
      if (std::isnan(xt(i))) xt(i) = 1.1 * xb(i);
      bool ok = probe(n, i, f, fbest, x, xt, fgrad, c, cnorm, at_best);
      if (!ok) {
        xt(i) = xb(i) - s;
        if (std::isnan(xt(i))) xt(i) = xb(i) / 1.1;
        ok = probe(n, i, f, fbest, x, xt, fgrad, c, cnorm, at_best);
      }
      if (ok) {
        ++successes;
        fbest = f;
        xb(i) = xt(i);
      } else {
        xt(i) = xb(i);
        if (!(f <= fbest)) f = fbest;
      }
    }
    if (successes > 10 * n) break;
  }
  // Bound phase: clip only the free components that lie outside their bounds.
  for (int32_t j = 1; j <= n; ++j) {
    if (common_data::pmask(j) == 0) continue;
    const double lo = common_data::pboundlo(j);
    const double hi = common_data::pboundhi(j);
    if (xb(j) < lo) {
      xb(j) = lo;
      at_best = false;
    } else if (xb(j) > hi) {
      xb(j) = hi;
      at_best = false;
    }
  }
  for (int32_t k = 1; k <= n; ++k) x(k) = xb(k);
  f = fbest;
  // The callers take fgrad, c and cnorm as those of x: evaluate again when the last
  // evaluation was a rejected probe or x was clipped.
  if (!at_best) parts::evaluate(n, x, f, fgrad, c, cnorm);
}

}  // namespace vmcwd_vmcon_mod
