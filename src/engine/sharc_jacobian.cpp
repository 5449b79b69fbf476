#include "engine/sharc_jacobian.hpp"

#include <cmath>
#include <limits>

#include "common/common_data.hpp"
#include "engine/sharc_stats.hpp"
#include "model/funct.hpp"
#include "model/limits.hpp"

namespace sharc_mod {
namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
// A widened step gives a derivative when its difference and the one over half the step differ
// by at most this share of the larger entries: the first is then within about 1.3 % of the
// slope.
constexpr double kSmooth = 0.01;
constexpr int32_t kSearch =
    8;  // halvings, in the logarithm, of the range a widened step is sought in
constexpr int32_t kRefine = 16;  // doublings of the step tried for a column of a singular fit

// The model's own value: one that the evaluator's guard did not replace.
bool own(double v) {
  return std::isfinite(v) && std::fabs(v) < limits::kBound && v != limits::kNan;
}

// The values at q(j) = pj - h into lo and pj + h into hi; false when any of them is not the
// model's own. q(j) is left at pj.
bool straddle(const ModelRows& m,
              FVector<double>& q,
              int32_t j,
              double pj,
              double h,
              FVector<double>& lo,
              FVector<double>& hi) {
  q(j) = pj - h;
  m.eval(q, lo.view());
  q(j) = pj + h;
  m.eval(q, hi.view());
  q(j) = pj;
  bool defined = true;
  for (int32_t i = 1; i <= m.n; ++i) defined = defined && own(lo(i)) && own(hi(i));
  return defined;
}

// The largest change of the fitted values between lo and hi, over the values that are numbers.
double largest_change(const FVector<double>& lo, const FVector<double>& hi, int32_t n) {
  double change = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    const double c = std::fabs(hi(i) - lo(i));
    if (std::isfinite(c)) change = std::fmax(change, c);
  }
  return change;
}

// Whether the step h of parameter j stays where the model is its own and gives a derivative:
// the differences over h and h/2 agree within kSmooth.
bool derivative_step(const ModelRows& m, FVector<double>& q, int32_t j, double pj, double h) {
  FVector<double> lo(m.n), hi(m.n), lo2(m.n), hi2(m.n);
  if (!straddle(m, q, j, pj, h, lo, hi) || !straddle(m, q, j, pj, 0.5 * h, lo2, hi2)) return false;
  double top = 0.0, gap = 0.0;
  for (int32_t i = 1; i <= m.n; ++i) {
    const double d = (hi(i) - lo(i)) / (2.0 * h);
    const double d2 = (hi2(i) - lo2(i)) / h;
    top = std::fmax(top, std::fabs(d));
    gap = std::fmax(gap, std::fabs(d - d2));
  }
  return gap <= kSmooth * top;
}

// The widest step of magnitude up to `target` and beyond `from` (a step already taken) that
// derivative_step accepts, sought by halving the logarithm of the range; 0 when none is found.
double widest_step(
    const ModelRows& m, FVector<double>& q, int32_t j, double pj, double from, double target) {
  if (derivative_step(m, q, j, pj, target)) return target;
  double good = from, bad = target;
  for (int32_t k = 0; k < kSearch; ++k) {
    const double mid = std::sqrt(good * bad);
    if (derivative_step(m, q, j, pj, mid)) {
      good = mid;
    } else {
      bad = mid;
    }
  }
  return good > from ? good : 0.0;
}

}  // namespace

double ModelRows::eval(FVector<double>& q, VecView<double> yf) const {
  double fval = 0.0;
  funct::fun(x,
             y,
             VecView<const double>(q.data(), np),
             np,
             nx,
             n,
             0,
             yf,
             VecView<const double>(ones.data(), n),
             fval);
  return fval;
}

void jacobian(const ModelRows& m,
              VecView<const double> p,
              double scale,
              FMatrixD<double>& jac,
              FVector<int32_t>& moved,
              FVector<double>& step) {
  constexpr double kStepRel = 1e-5;   // relative step of the differences
  constexpr double kResolved = 1e-9;  // least resolved change, relative to the data's size
  constexpr int32_t kWiden = 3;
  FVector<double> q(m.np);
  for (int32_t k = 1; k <= m.np; ++k) q(k) = p(k);
  FVector<double> f1(m.n), f2(m.n);
  int32_t col = 0;
  for (int32_t j = 1; j <= m.np; ++j) {
    if (common_data::pmask(j) == 0) continue;
    ++col;
    const double pj = q(j);
    double h = std::copysign(pj != 0.0 ? std::fabs(pj) * kStepRel : 1e-13, pj);
    // Guards against a step that underflows to 0 or loses bits (a subnormal parameter).
    if (!(std::fabs(h) >= std::numeric_limits<double>::min())) h = std::copysign(1e-13, pj);
    straddle(m, q, j, pj, h, f1, f2);
    double change = largest_change(f1, f2, m.n);
    for (int32_t tries = 0; change < kResolved * scale && tries < kWiden; ++tries) {
      // A change that rounding alone decides gives no scale: a parameter that moves nothing
      // keeps moving nothing however wide the step.
      const double wider = change > 0.0 ? std::fabs(h) * (kStepRel * scale / change)
                                        : std::fmax(std::fabs(h) * 1e6, kStepRel * scale);
      if (!std::isfinite(wider)) break;
      const double taken = widest_step(m, q, j, pj, std::fabs(h), wider);
      if (taken == 0.0) break;
      h = std::copysign(taken, h);
      straddle(m, q, j, pj, h, f1, f2);
      change = largest_change(f1, f2, m.n);
      if (taken < wider) break;  // the model allows no wider step
    }
    moved(col) = change >= kResolved * scale ? 1 : 0;
    step(j) = h;
    for (int32_t i = 1; i <= m.n; ++i) {
      // Divided by 2h with its sign: the derivative itself, also for a negative parameter.
      const double d = (f2(i) - f1(i)) / (2.0 * h);
      jac(i, col) = std::isfinite(d) ? d : 0.0;
    }
  }
}

FVector<double> refine_columns(const ModelRows& m,
                               VecView<const double> p,
                               const FVector<double>& step,
                               const FVector<int32_t>& undetermined,
                               const FVector<double>& norm,
                               VecView<const double> w,
                               VecView<const double> yfit,
                               FMatrixD<double>& jac) {
  FVector<double> q(m.np);
  for (int32_t k = 1; k <= m.np; ++k) q(k) = p(k);
  FVector<double> error(norm.size(), std::numeric_limits<double>::infinity());
  FVector<double> lo(m.n), hi(m.n), d(m.n), wide(m.n);
  for (int32_t j = 1, col = 0; j <= m.np; ++j) {
    if (common_data::pmask(j) == 0 || undetermined(j) == kMovesNothing) continue;
    ++col;
    // d: the difference over h, wide: the one over 2h, which the next step reuses.
    double h = step(j);
    if (!straddle(m, q, j, p(j), h, lo, hi)) continue;
    for (int32_t i = 1; i <= m.n; ++i) d(i) = (hi(i) - lo(i)) / (2.0 * h);
    for (int32_t k = 0; k <= kRefine; ++k, h *= 2.0) {
      if (!straddle(m, q, j, p(j), 2.0 * h, lo, hi)) break;
      double sum = 0.0;
      for (int32_t i = 1; i <= m.n; ++i) {
        wide(i) = (hi(i) - lo(i)) / (4.0 * h);
        const double e = (std::fabs(wide(i) - d(i)) + kEps * std::fabs(yfit(i) / h)) *
                         std::sqrt(w(i)) / norm(col);
        sum += e * e;
      }
      // The error falls with the rounding as the step grows, until the truncation outgrows it:
      // past its least, a step that happens to difference a curved model alike at h and 2h
      // (a period of it) would pass for exact.
      const double e = std::sqrt(sum);
      if (!(e < error(col))) break;
      error(col) = e;
      for (int32_t i = 1; i <= m.n; ++i) jac(i, col) = d(i) / norm(col);
      for (int32_t i = 1; i <= m.n; ++i) d(i) = wide(i);
    }
  }
  m.eval(q, lo.view());  // leaves the evaluation at p as the last one
  return error;
}

}  // namespace sharc_mod
