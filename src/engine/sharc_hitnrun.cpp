#include "engine/sharc_hitnrun.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/common_data.hpp"
#include "numerics/randomize.hpp"
#include "numerics/runtime_rng.hpp"

namespace sharc_mod {
namespace {

using common_data::max_params;
using Vec = FArray<double, max_params>;

constexpr double kRescale = 0.8999999999999999;          // 0.9, one ulp below
constexpr double kRescaleOffset = 0.05;                  // table values land in [0.05, 0.95)
constexpr double kThresholdFactor = 1.0499999523162842;  // single-precision 1.05
constexpr int32_t kCycles = 5;
constexpr int32_t kSubCycles = 10;
constexpr int32_t kDraws = 60;  // draws for one move at the most
constexpr int32_t kMaxAccepted = 2000;
constexpr int32_t kMaxTrials = 10000;
constexpr double kDirectionEnd = 2.0;  // direction range [-2, 2] at the start
constexpr double kWidening = 1.05;
constexpr double kStepFloor = 1e-5;
constexpr double kStepReset = 0.1;
constexpr double kOwnOffset = 1e-6;  // hitnrun2's index offset e

// The table position of one draw: the magnitude of the runtime's next random integer (drawn
// from [0, 2^31), so it has no sign to lose), divided by 20 while above 59, 0 taken as 1. The
// entry after it, k + 1 <= 60, stays inside the table.
int32_t draw_position() {
  int32_t k = runtime_rng::integer(0, std::numeric_limits<int32_t>::max());
  while (k > kHitTableSize - 1) k /= 20;
  return k == 0 ? 1 : k;
}

// The two searches share this loop; hitnrun2 (own_table) differs where `own_` is tested.
class HitAndRun {
 public:
  HitAndRun(RunState& rs,
            int32_t n,
            bool own_table,
            VecView<double> r,
            VecView<const double> lo,
            VecView<const double> hi,
            const Vec& x,
            double best)
      : rs_(rs), n_(n), own_(own_table), r_(r), lo_(lo), hi_(hi), best_(best) {
    e_ = own_ ? kOwnOffset : rs.hit_offset();
    xc_ = x;
    for (int32_t i = 1; i <= n_; ++i) {
      s_(i) = 0.5 * x(i);
      dlo_(i) = -kDirectionEnd;
      dhi_(i) = kDirectionEnd;
    }
    xb_ = xc_;
  }

  void run(double step, int32_t maxit);
  double best() const { return best_; }
  int32_t accepted() const { return accepted_; }
  const Vec& xb() const { return xb_; }

 private:
  bool sub_cycles(int32_t cycle, double step, int32_t maxit);
  bool draw(int32_t pass, int32_t& j, int32_t& k);
  void move(int32_t m, int32_t pass, double step, double factor);
  bool attempt(int32_t j, double rnext, double t, double& f);
  void end_cycle(double& step);
  double ratio() const { return std::fabs(last_rejected_ - best_) / (last_rejected_ + best_); }

  RunState& rs_;
  int32_t n_;
  bool own_;
  VecView<double> r_;
  VecView<const double> lo_, hi_;
  double e_ = 0.0;
  Vec xc_, xb_;                        // current and best point
  Vec s_;                              // spread of each parameter
  Vec dlo_, dhi_;                      // direction range of each parameter
  FArray<int32_t, max_params> count_;  // accepted changes of each parameter in this cycle
  double best_;
  double last_rejected_ = 0.0;
  int32_t accepted_ = 0;
  int32_t rejected_ = 0;
  int32_t trials_ = 0;  // grows by n per pass
  int32_t q_ = 0;       // hitnrun: the index accepted last in this sub-cycle
  bool sub_accepted_ = false;
};

void HitAndRun::run(double step, int32_t maxit) {
  for (int32_t cycle = 1; cycle <= kCycles; ++cycle) {
    step = step / 5.0;
    if (!sub_cycles(cycle, step, maxit)) return;
    end_cycle(step);
  }
}

// Step 2.2: the sub-cycles of one cycle; false when the whole search stops (hitnrun2).
bool HitAndRun::sub_cycles(int32_t cycle, double step, int32_t maxit) {
  if (!own_) shuffle(r_, kHitTableSize);
  double factor = 2.0;
  for (int32_t sub = 1; sub <= kSubCycles; ++sub) {
    factor = factor * 0.5;
    if (own_) {
      if (accepted_ > kMaxAccepted - 1) return false;
    } else {
      shuffle(r_, kHitTableSize);
      if (accepted_ >= kMaxAccepted || trials_ >= kMaxTrials) return true;
    }
    q_ = 0;
    for (int32_t i = 1; i <= n_; ++i) {
      if (is_free(i)) q_ = i;
    }
    sub_accepted_ = false;
    for (int32_t pass = 1; pass <= maxit; ++pass) {
      for (int32_t m = 1; m <= n_; ++m) move(m, pass, step, factor);
      trials_ += n_;
    }
    if (sub_accepted_) {
      xb_ = xc_;
    } else {
      xc_ = xb_;
    }
    if (own_) {
      if (cycle >= 3 && ratio() < 1e-7) return false;
      if (cycle >= 2 && ratio() < 1e-6) return true;
    } else if (cycle >= 3 && ratio() < 1e-7) {
      return true;
    }
  }
  return true;
}

// The parameter of one move: j = int(|u + e| n + 1.2 + e) from the drawn entry u = r(k), an
// index above n taken as 1 in odd passes and as n in even ones. hitnrun accepts a free j other
// than q + 1 (and makes it q); hitnrun2 any free j. After 60 draws hitnrun uses the last j
// when it is free; false: the move is skipped.
bool HitAndRun::draw(int32_t pass, int32_t& j, int32_t& k) {
  for (int32_t d = 1; d <= kDraws; ++d) {
    k = draw_position();
    const double v = std::fabs(r_(k) + e_) * n_ + 1.2 + e_;
    j = v < n_ + 1 ? static_cast<int32_t>(v) : n_ + 1;  // a NaN or huge v is above n too
    if (j > n_) j = pass % 2 == 1 ? 1 : n_;
    if (!is_free(j)) continue;
    if (!own_) {
      if (j == q_ + 1) continue;
      q_ = j;
    }
    return true;
  }
  return !own_ && is_free(j);
}

// One move of move number m: a trial change of parameter j, else the opposite change.
void HitAndRun::move(int32_t m, int32_t pass, double step, double factor) {
  int32_t j = 0;
  int32_t k = 0;
  if (!draw(pass, j, k)) return;
  const double u = r_(k);
  const double rnext = std::fabs(r_(k + 1));
  double up = 0.0;
  double down = 0.0;
  if (m != j) {
    const double d = dlo_(j) + (dhi_(j) - dlo_(j)) * u;
    const double dx = xc_(j) * d * step * factor;
    up = xc_(j) + dx;
    down = xc_(j) - dx;
  } else {
    const double spread = (2.0 * rnext - 1.0) * s_(j);
    up = own_ ? xc_(j) + spread : xc_(j) + std::fabs(0.05 + u) * s_(j);
    down = xc_(j) - spread;
  }
  double f = 0.0;
  if (attempt(j, rnext, up, f) || attempt(j, rnext, down, f)) return;
  ++rejected_;
  last_rejected_ = f;
}

// Evaluates xc with xc(j) := t (a t outside the bounds of j lands at their midpoint plus
// rnext times half their width). Kept when below the best value: xc keeps the values func
// wrote back. Otherwise the whole of xc is restored (func may have moved other parameters
// too), so xc always holds the point whose value is the best value.
bool HitAndRun::attempt(int32_t j, double rnext, double t, double& f) {
  if (t < lo_(j) || t > hi_(j)) t = (lo_(j) + hi_(j)) / 2.0 + rnext * (hi_(j) - lo_(j)) / 2.0;
  const Vec saved = xc_;
  xc_(j) = t;
  rs_.func(xc_.view(n_), n_, f);
  if (f < best_) {
    best_ = f;
    ++accepted_;
    ++count_(j);
    sub_accepted_ = true;
    return true;
  }
  xc_ = saved;
  return false;
}

// Step 2.3, once per cycle: wider direction ranges, the step reset, new spreads (hitnrun: from
// the current point; hitnrun2: by the acceptance ratio of each parameter), counts cleared.
void HitAndRun::end_cycle(double& step) {
  for (int32_t i = 1; i <= n_; ++i) {
    dlo_(i) = dlo_(i) * kWidening;
    dhi_(i) = dhi_(i) * kWidening;
  }
  if (step <= kStepFloor) step = kStepReset;
  for (int32_t i = 1; i <= n_; ++i) {
    if (!own_) {
      s_(i) = is_free(i) ? std::fabs(xc_(i)) * 0.0001 : 0.0;
    } else {
      const double a = count_(i) / static_cast<double>(rejected_ + accepted_ + 1);
      if (a > 0.6) s_(i) = s_(i) * (1.0 + (a - 0.6) * 5.0 / 0.4);
      if (a < 0.4) s_(i) = s_(i) / (1.0 + 5.0 * (0.4 - a) / 0.4);
      s_(i) = std::min(s_(i), hi_(i) - lo_(i));
    }
    count_(i) = 0;
  }
}

}  // namespace

void shuffle(VecView<double> r, int32_t n) {
  if (n < 1) return;
  FVector<int32_t> idx(n, 0);
  // Step 1: k = int(i r(i)) + 1 is valid for i r(i) in (-1, n); an invalid k repeats for the
  // same i, so the filling stops there.
  for (int32_t i = 1, tries = 0; i <= n && tries < 10 * n; ++tries) {
    const double v = i * r(i);
    if (v > -1.0 && v < n) idx(i++) = static_cast<int32_t>(v) + 1;
  }
  // Step 2.
  for (int32_t m = n; m >= 2; --m) {
    const int32_t j = std::min(std::max(idx(m), 1), n);
    std::swap(r(j), r(m));
  }
}

void hitnrun(RunState& rs,
             int32_t n,
             VecView<const double> x,
             VecView<double> xbest,
             VecView<double> r,
             int32_t& nacc,
             double& fmin,
             double step,
             int32_t maxit) {
  if (n < 1 || n > max_params) {  // the work vectors hold at most max_params
    for (int32_t i = 1; i <= n && i <= xbest.size(); ++i) xbest(i) = x(i);
    return;
  }
  // Step 1.
  for (int32_t i = 1; i <= kHitTableSize; ++i) r(i) = kRescale * r(i) + kRescaleOffset;
  const double threshold = kThresholdFactor * fmin;
  Vec x0;
  for (int32_t i = 1; i <= n; ++i) x0(i) = x(i);
  HitAndRun search(rs,
                   n,
                   false,
                   r,
                   VecView<const double>(rs.lo.data(), n),
                   VecView<const double>(rs.hi.data(), n),
                   x0,
                   fmin);
  // Step 2.
  search.run(step, maxit);
  // Step 3.
  if (threshold > search.best()) {
    for (int32_t i = 1; i <= n; ++i) xbest(i) = search.xb()(i);
    fmin = search.best();
    nacc = search.accepted();
  } else {
    for (int32_t i = 1; i <= n; ++i) xbest(i) = x(i);
    fmin = threshold;
  }
}

void hitnrun2(RunState& rs,
              int32_t n,
              VecView<double> x,
              int32_t& nacc,
              double& fmin,
              double step,
              int32_t maxit) {
  if (n < 1 || n > max_params) return;  // the work vectors hold at most max_params
  FArray<double, kHitTableSize> table;
  for (int32_t i = 1; i <= kHitTableSize; ++i) randomize::random_uni_r(table(i), 0.05, 0.95);
  Vec x0;
  for (int32_t i = 1; i <= n; ++i) x0(i) = x(i);
  HitAndRun search(rs,
                   n,
                   true,
                   table.view(),
                   VecView<const double>(common_data::pboundlo.data(), n),
                   VecView<const double>(common_data::pboundhi.data(), n),
                   x0,
                   fmin);
  search.run(step, maxit);
  if (fmin > search.best()) {
    for (int32_t i = 1; i <= n; ++i) x(i) = search.xb()(i);
    fmin = search.best();
    nacc = search.accepted();
  }
}

void hitnrun2(RunState& rs, int32_t n, VecView<double> x, int32_t& nacc) {
  double fmin = kHitnrun2NoSum;
  hitnrun2(rs, n, x, nacc, fmin);
}

}  // namespace sharc_mod
