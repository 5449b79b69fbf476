#include "optimizers/bounds_rule.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"

namespace bounds_rule {
namespace {

// |v| recomputed through the decimal logarithm: the thresholds are stated on this value.
double mag(double v) { return std::pow(10.0, std::log10(std::fabs(v))); }

// Half the square root of s, through the logarithm, with s floored at 1e-15.
double reset_point(double s) { return 0.5 * std::pow(10.0, 0.5 * std::log10(std::max(1e-15, s))); }

// The tests compare mag(v) with a threshold t. mag(v) is |v| up to the rounding of log10 and
// pow: an error of k ulps in log10(a) (|log10 a| < 309) moves 10^log10(a) by at most
// k * 2^-44 * ln 10 relative, and pow adds under one ulp. So while a = |v| is a normal number
// away from the ends of the range, mag(v) lies within a * (1 -+ kSlack) for libraries far
// worse than a few ulps (glibc's stays within 2^-43 of a); a threshold outside that band is
// decided by a alone, and only one inside it (or a value near the ends of the range) takes the
// logarithms. The outcome is that of comparing the recomputed value itself, at a fraction of
// the cost.
constexpr double kSlack = 0x1.0p-30;
constexpr double kLeast = 0x1.0p-1000;  // a in [kLeast, kMost]: a * (1 -+ kSlack) is exact
constexpr double kMost = 0x1.0p+1000;   // enough and neither overflows nor underflows

// mag(v) > t, for v not 0 or NaN.
bool mag_above(double v, double t) {
  const double a = std::fabs(v);
  if (a >= kLeast && a <= kMost) {
    if (a * (1.0 - kSlack) > t) return true;
    if (a * (1.0 + kSlack) <= t) return false;
  }
  return mag(v) > t;
}

// mag(v) < t, for v not 0 or NaN.
bool mag_below(double v, double t) {
  const double a = std::fabs(v);
  if (a >= kLeast && a <= kMost) {
    if (a * (1.0 + kSlack) < t) return true;
    if (a * (1.0 - kSlack) >= t) return false;
  }
  return mag(v) < t;
}

// One value under the rule as stated (steps 1 to 3): where it goes, whether a test fired, and
// whether the margin of every test that fired (the threshold it compared with: 0.95 hi or
// 1.05 hi, 1.05 lo or 0.95 lo) lies inside [lo, hi].
struct Stated {
  double to;
  bool moved = false;
  bool margins_inside = true;
};

bool inside(double v, double lo, double hi) { return lo <= v && v <= hi; }

Stated stated(double v, double lo, double hi) {
  Stated s{v};
  if (std::isnan(v)) return s;  // step 1: a NaN parameter passes through unchanged
  auto fire = [&](double margin, double to) {
    s.moved = true;
    s.margins_inside = s.margins_inside && inside(margin, lo, hi);
    s.to = to;
  };

  // Step 2: upper test on the sign of v (zero compares as +100).
  if (v > 0.0) {
    if (mag_above(v, 0.95 * hi)) fire(0.95 * hi, 0.5 * hi);
  } else if (v == 0.0) {
    if (100.0 > 0.95 * hi) fire(0.95 * hi, 0.5 * hi);
  } else if (mag_below(v, -(1.05 * hi))) {  // -mag(v) > 1.05*hi
    fire(1.05 * hi, 1.5 * hi);
  }

  // Step 3: lower test on the value step 2 left (zero compares as -100).
  const double w = s.to;
  if (w > 0.0) {
    if (mag_below(w, 1.05 * lo)) fire(1.05 * lo, reset_point(std::fabs(hi - lo)));
  } else if (w == 0.0) {
    if (0.95 * lo > -100.0) fire(0.95 * lo, reset_point(std::fabs(hi + lo)));
  } else if (mag_above(w, -(0.95 * lo))) {  // -mag(w) < 0.95*lo
    fire(0.95 * lo, reset_point(std::fabs(hi + lo)));
  }
  return s;
}

}  // namespace

double apply(double v, double lo, double hi, bool& moved) {
  const Stated s = stated(v, lo, hi);
  if (!s.moved) return v;
  // NaN or inverted bounds give no interval to keep: the stated rule holds as it is.
  // Otherwise the stated point, where it lies inside the bounds and, for a value inside them,
  // the margins do too: a margin outside (hi < 1.05 lo, bounds narrow against their size)
  // would move every value inside the bounds.
  const bool in = inside(v, lo, hi);
  if (!(lo <= hi) || (inside(s.to, lo, hi) && (!in || s.margins_inside))) {
    moved = true;
    return s.to;
  }
  // Otherwise a value inside stays, and one outside goes to the nearer bound, so that the rule
  // never leaves a free parameter outside its bounds. Not to a point farther in: the searches
  // that keep their own trial vector (the rule works on a copy) see a value outside as good as
  // the point it goes to, and with bounds set close around the answer the middle is about the
  // answer itself: they would wander outside and end there.
  if (in) return v;
  moved = true;
  return v > hi ? hi : lo;
}

void pbounds3(VecView<double> x,
              int32_t n,
              VecView<const double> lo,
              VecView<const double> hi,
              double& ssq) {
  if (n <= 0) return;
  bool moved = false;
  for (int32_t i = 1; i <= n; ++i) {
    if (common_data::pmask(i) == 0) continue;
    x(i) = apply(x(i), lo(i), hi(i), moved);
  }
  if (moved) ssq = ssq + ssq;  // doubled once, however many parameters moved
}

}  // namespace bounds_rule
