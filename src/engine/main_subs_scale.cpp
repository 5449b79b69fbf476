// The frame in which the fit run's passes work. The fit's thresholds, steps and tolerances are
// absolute (the least sum of the model evaluator, the exact-fit tests, the error path's 1e16,
// the settling test, the searches' first steps and the raise of tiny starts): they are made
// for data and parameters of unit size. So the passes fit y times 2^-y_scale, with the
// largest |y| in [64, 128), and each free parameter as p = 2^e q, e fixed before the fit: q
// starts in [0.5, 1), or, for a start at 0, a unit change of q moves the model's values about
// as much as the data's size. Both are exact in binary: the compiled formula reads p as 2^e q
// and gives its values times 2^-y_scale. Starts and bounds go into the frame before the
// passes; parameters, standard errors, bounds, data, fitted values and sums come back to the
// user's units before the statistics and the report.
// The bounds rule works on q against the bounds in the frame: its margins, half the upper
// bound and the middle of the bounds are the same points in either unit; its reset, half the
// root of the span taken of the span in q, is 2^e * 0.5 sqrt(span / 2^e) = 0.5 sqrt(span 2^e)
// in the user's units, which follows the parameter's units as the root of the span would not.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/nrtype.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/sharc_cascade.hpp"
#include "engine/sharc_final.hpp"
#include "engine/sharc_report.hpp"
#include "model/my_func.hpp"

namespace main_subs {
namespace {

constexpr double kNoStandardError = 9999.0;  // the final statistics' "not computed" mark

constexpr int32_t kTarget = 7;        // frexp exponent of the largest |y| once scaled: [64, 128)
constexpr double kTinyStart = 1e-16;  // q of a free parameter given as exactly 0
// Slope estimates of a start at 0: the first step of the parameter; the factor 2^kWiden a step
// grows by when the change it makes is lost to rounding beside the rest of the model (an offset
// of data of 1E+40 moved by 1), or shrinks by when it takes the model out of its range; and how
// many steps are taken at most (12 widenings reach past 2^768).
constexpr double kFirstStep = 1.0;
constexpr int32_t kWiden = 64;
constexpr int32_t kSlopeRounds = 16;
// frexp exponents of the largest |y| beyond which sums of squares of the data (up to 1000 rows)
// overflow or lose their precision in the data's units: 2^500 is about 3.3E+150.
constexpr int32_t kFittableLow = -498;
constexpr int32_t kFittableHigh = 500;

// The largest finite |y(1..n)|, 0 without one.
double top_value(VecView<const double> y, int32_t n) {
  double top = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    if (std::isfinite(y(i))) top = std::fmax(top, std::fabs(y(i)));
  }
  return top;
}

// Its exponent as frexp gives it (0 for 0).
int32_t top_exponent(VecView<const double> y, int32_t n) {
  int32_t e = 0;
  std::frexp(top_value(y, n), &e);
  return e;
}

// The largest change of the model's values over the rows per unit change of free parameter i
// about a(i) = 0, by central differences of step h (the other parameters at a); NaN when the
// model's values there are not all numbers.
double slope_at_zero(const Block& b, FVector<double>& a, int32_t i, double h) {
  const MatView<const double> x(b.fit.x.data(), b.rows, b.nvar, b.fit.x.ld());
  FVector<double> up(b.rows), down(b.rows);
  a(i) = h;
  const int32_t e1 = my_func::eval_func_rows(
      a.view(), b.npar, x, b.nvar, common_udf::cudf, b.rows, up.view(), false);
  a(i) = -h;
  const int32_t e2 = my_func::eval_func_rows(
      a.view(), b.npar, x, b.nvar, common_udf::cudf, b.rows, down.view(), false);
  a(i) = 0.0;
  if (e1 != 0 || e2 != 0) return std::nan("");
  double slope = 0.0;
  for (int32_t r = 1; r <= b.rows; ++r) {
    const double d = std::fabs(up(r) - down(r)) / (2.0 * h);
    if (!std::isfinite(d)) return std::nan("");
    slope = std::fmax(slope, d);
  }
  return slope;
}

// The exponent e of a free parameter given as 0: a change of 2^e in it moves the model's
// values by about the data's largest |y|, by the slope of the model at 0. A step wider than 2^e
// measures the slope again at 2^e: the slope of a nonlinear model (EXP(P2*X1)) over a wide step
// is far steeper than at 0. A step that the model does not feel widens, one that takes the
// model out of its range narrows. 0, the scale of the start as given, when no step measures a
// slope.
int32_t zero_start_exponent(const Block& b, int32_t i) {
  const double size = top_value(VecView<const double>(b.fit.y.data(), b.rows), b.rows);
  FVector<double> a = b.fit.a;
  int32_t e = 0;
  double h = kFirstStep;
  for (int32_t round = 1; round <= kSlopeRounds && size > 0.0; ++round) {
    const double slope = slope_at_zero(b, a, i, h);
    if (slope == 0.0) {
      h = std::ldexp(h, kWiden);
    } else if (!(slope > 0.0) || !std::isfinite(size / slope)) {
      h = std::ldexp(h, -kWiden);
    } else {
      std::frexp(size / slope, &e);
      if (std::ldexp(1.0, e) >= h) break;
      h = std::ldexp(1.0, e);
    }
  }
  return e;
}

// A bound of parameter i in the frame: times 2^-e, a bound beyond the range of a double there
// (1E+300 on a parameter of order 1E-30) kept as the largest double of its sign.
double frame_bound(double bound, int32_t e) {
  const double top = std::numeric_limits<double>::max();
  return std::fmax(-top, std::fmin(top, std::ldexp(bound, -e)));
}

}  // namespace

int32_t scale_exponent(VecView<const double> y, int32_t n) {
  const int32_t e = top_exponent(y, n);
  return e == 0 ? 0 : e - kTarget;
}

void scale_parameters(Block& b) {
  b.p_scale = FVector<int32_t>(b.npar, 0);
  b.lo_read = b.albnd;
  b.hi_read = b.aubnd;
  std::vector<double> factors(size_t(b.npar), 1.0);
  for (int32_t i = 1; i <= b.npar; ++i) {
    if (b.fit.mask(i) == 0) continue;
    int32_t e = 0;
    std::frexp(b.fit.a(i), &e);  // |a| = 2^e q, q in [0.5, 1)
    b.p_scale(i) = b.fit.a(i) == 0.0 ? zero_start_exponent(b, i) : e;
  }
  for (int32_t i = 1; i <= b.npar; ++i) {
    const int32_t e = b.p_scale(i);
    const bool zero = b.fit.mask(i) != 0 && b.fit.a(i) == 0.0;
    b.fit.a(i) = zero ? kTinyStart : std::ldexp(b.fit.a(i), -e);
    common_data::pfinal(i) = b.fit.a(i);
    factors[size_t(i - 1)] = std::ldexp(1.0, e);
    b.albnd(i) = common_data::pboundlo(i) = frame_bound(b.lo_read(i), e);
    b.aubnd(i) = common_data::pboundhi(i) = frame_bound(b.hi_read(i), e);
  }
  fparser::scale_names(1, factors);
  sharc_mod::p_scale.assign(b.p_scale.data(), b.p_scale.data() + b.npar);
}

void unscale_parameters(Block& b) {
  sharc_mod::p_scale.clear();
  for (int32_t i = 1; i <= b.p_scale.size(); ++i) {
    const int32_t e = b.p_scale(i);
    if (e == 0) continue;
    b.fit.a(i) = std::ldexp(b.fit.a(i), e);
    common_data::pfinal(i) = std::ldexp(common_data::pfinal(i), e);
    // The sentinel of standard errors that could not be computed stays as it is.
    if (b.fit.ase(i) != kNoStandardError) b.fit.ase(i) = std::ldexp(b.fit.ase(i), e);
    b.fit.pcl(i) = std::ldexp(b.fit.pcl(i), e);
    b.albnd(i) = common_data::pboundlo(i) = b.lo_read(i);
    b.aubnd(i) = common_data::pboundhi(i) = b.hi_read(i);
  }
}

bool scale_observations(Block& b) {
  const int32_t top = top_exponent(b.fit.y.view(), b.rows);
  if (top < kFittableLow || top > kFittableHigh) {
    const bool big = top > 0;
    sharc_mod::abort_run(sharc_mod::dialog_lines(
        "The Y values reach " + sharc_mod::figure(top_value(b.fit.y.view(), b.rows)) +
        " in magnitude, " + (big ? "beyond " : "below ") +
        sharc_mod::figure(std::ldexp(1.0, big ? kFittableHigh : kFittableLow)) +
        ": the sums of their squares cannot be computed in these units. " +
        (big ? "Divide" : "Multiply") +
        " the Y values, and the starting values and bounds of the parameters that carry their "
        "unit, by a power of ten, then rerun the model."));
    return false;
  }
  b.formula = fparser::comp(1);
  b.y_scale = scale_exponent(b.fit.y.view(), b.rows);
  sharc_mod::y_scale = b.y_scale;
  if (b.y_scale == 0) return true;
  b.y_read = b.fit.y;
  for (int32_t i = 1; i <= b.rows; ++i) {
    b.fit.y(i) = std::ldexp(b.fit.y(i), -b.y_scale);
    common_data::yd(i) = b.fit.y(i);
  }
  fparser::scale_values(1, std::ldexp(1.0, -b.y_scale));
  return true;
}

bool start_in_range(const Block& b) {
  // The cascade's first step raises free starting values of magnitude up to 2 eps to sqrt(2 eps).
  const double e2 = 2.0 * nrtype::epsmachine;
  FVector<double> start(b.npar);
  std::string raised;
  for (int32_t i = 1; i <= b.npar; ++i) {
    const double p = b.fit.a(i);
    start(i) = p;
    if (b.fit.mask(i) == 0 || p == 0.0 || std::fabs(p) > e2) continue;
    start(i) = std::copysign(std::sqrt(e2), p);
    // In the frame only a start given as 0 is that small.
    const int32_t e = b.p_scale(i);
    raised += " P" + std::to_string(i) + ", given as " +
              sharc_mod::figure(p == kTinyStart ? 0.0 : std::ldexp(p, e)) + ", starts at " +
              sharc_mod::figure(std::ldexp(start(i), e)) + ".";
  }
  const MatView<const double> x(b.fit.x.data(), b.rows, b.nvar, b.fit.x.ld());
  const VecView<const double> a(start.data(), b.npar);
  const int32_t rows = my_func::stand_in_rows(a, b.npar, x, b.nvar, b.rows);
  if (rows < b.rows) return true;
  const VecView<const double> y(b.fit.y.data(), b.rows);
  const double ratio = sharc_mod::magnitude_ratio(x, b.nvar, y, b.rows, a, b.npar);
  std::string text = sharc_mod::stand_in_text(rows, b.rows, ratio, true);
  if (!raised.empty()) {
    text += " Starting values given as 0 are raised:" + raised;
  }
  sharc_mod::abort_run(sharc_mod::dialog_lines(text));
  return false;
}

void unscale_observations(Block& b) {
  const int32_t e = b.y_scale;
  sharc_mod::y_scale = 0;
  fparser::comp(1) = b.formula;
  if (e == 0) return;
  b.fit.y = b.y_read;
  for (int32_t i = 1; i <= b.rows; ++i) {
    b.fit.yfit(i) = std::ldexp(b.fit.yfit(i), e);
    b.resid(i) = std::ldexp(b.resid(i), e);
    common_data::yd(i) = b.fit.y(i);
    common_data::ydf(i) = b.fit.yfit(i);
    common_data::yres(i) = std::ldexp(common_data::yres(i), e);
  }
  b.ssq = std::ldexp(b.ssq, 2 * e);
  common_data::fssqr = std::ldexp(common_data::fssqr, 2 * e);
  b.fit.sse_floor = std::ldexp(b.fit.sse_floor, 2 * e);
}

}  // namespace main_subs
