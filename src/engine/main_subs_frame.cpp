// How the fit run enters its frame (fit_frame.hpp) and leaves it. Entering, before the passes:
// y, and the compiled formula's values with it, times 2^-ey; then each free parameter's exponent,
// from its start or, for a start at 0, from the model's slope there against the data in the
// frame; the starts and bounds into the frame, and the formula reading p as 2^e q. Leaving,
// after the post-fit statistics: the data as read, the formula as compiled, the bounds as given,
// and the fitted values, residuals, sums, parameters, standard errors and half-widths out of
// the frame.
// The bounds rule works on q against the bounds in the frame: its margins, half the upper
// bound and the middle of the bounds are the same points in either unit; its reset, half the
// root of the span taken of the span in q, is 2^e * 0.5 sqrt(span / 2^e) = 0.5 sqrt(span 2^e)
// in the user's units, which follows the parameter's units as the root of the span would not.
#include <cmath>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/nrtype.hpp"
#include "engine/fit_frame.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/sharc_final.hpp"
#include "engine/sharc_report.hpp"
#include "model/my_func.hpp"

namespace main_subs {
namespace {

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
  const double size = fit_frame::largest_magnitude({b.fit.y.data(), b.rows}, b.rows);
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

// The exponent e(i) of each parameter, in the frame of the data: that of its start (|a| = 2^e q,
// q in [0.5, 1)), or for a free start of 0 the one of its slope there; 0 for a fixed parameter.
std::vector<int32_t> parameter_exponents(const Block& b) {
  std::vector<int32_t> exps(size_t(b.npar), 0);
  for (int32_t i = 1; i <= b.npar; ++i) {
    if (b.fit.mask(i) == 0) continue;
    int32_t e = 0;
    std::frexp(b.fit.a(i), &e);
    exps[size_t(i - 1)] = b.fit.a(i) == 0.0 ? zero_start_exponent(b, i) : e;
  }
  return exps;
}

}  // namespace

bool fittable(const Block& b) {
  const double top = fit_frame::largest_magnitude({b.fit.y.data(), b.rows}, b.rows);
  int32_t e = 0;
  std::frexp(top, &e);
  if (e >= kFittableLow && e <= kFittableHigh) return true;
  const bool big = e > 0;
  sharc_mod::abort_run(sharc_mod::dialog_lines(
      "The Y values reach " + sharc_mod::figure(top) + " in magnitude, " +
      (big ? "beyond " : "below ") +
      sharc_mod::figure(std::ldexp(1.0, big ? kFittableHigh : kFittableLow)) +
      ": the sums of their squares cannot be computed in these units. " +
      (big ? "Divide" : "Multiply") +
      " the Y values, and the starting values and bounds of the parameters that carry their "
      "unit, by a power of ten, then rerun the model."));
  return false;
}

void enter_frame(Block& b) {
  using fit_frame::active;
  b.formula = fparser::comp(1);
  // The data, and the model's values with them.
  active = fit_frame::Frame(fit_frame::Frame::y_exponent(b.fit.y.view(), b.rows), {});
  active.values_in(b.fit.y.view());
  for (int32_t i = 1; i <= b.rows; ++i) common_data::yd(i) = b.fit.y(i);
  if (active.y_exp() != 0) fparser::scale_values(1, active.value_factor());
  // The parameters, measured against the data in the frame.
  active = fit_frame::Frame(active.y_exp(), parameter_exponents(b));
  b.lo_read = b.albnd;
  b.hi_read = b.aubnd;
  for (int32_t i = 1; i <= b.npar; ++i) {
    const bool zero = b.fit.mask(i) != 0 && b.fit.a(i) == 0.0;
    b.fit.a(i) = zero ? kTinyStart : active.p_in(i, b.fit.a(i));
    common_data::pfinal(i) = b.fit.a(i);
    b.albnd(i) = common_data::pboundlo(i) = active.bound_in(i, b.lo_read(i));
    b.aubnd(i) = common_data::pboundhi(i) = active.bound_in(i, b.hi_read(i));
  }
  fparser::scale_names(1, active.name_factors(b.npar));
}

void leave_frame(Block& b) {
  using fit_frame::active;
  fparser::comp(1) = b.formula;
  // The data as read: values far below the largest |y| may have lost digits in the frame.
  for (int32_t i = 1; i <= b.rows; ++i) {
    b.fit.y(i) = b.xy(i, b.nvar + 1);
    common_data::yd(i) = b.fit.y(i);
  }
  active.values_out(b.fit.yfit.view());
  active.values_out(b.resid.view());
  active.values_out(common_data::yres.view(b.rows));
  for (int32_t i = 1; i <= b.rows; ++i) common_data::ydf(i) = b.fit.yfit(i);
  b.ssq = active.sum_out(b.ssq);
  common_data::fssqr = active.sum_out(common_data::fssqr);
  b.fit.sse = active.sum_out(b.fit.sse);
  b.fit.sse_floor = active.sum_out(b.fit.sse_floor);
  active.parameters_out(b.fit.a.view());
  active.parameters_out(common_data::pfinal.view(b.npar));
  active.parameters_out(b.fit.ase.view());
  active.parameters_out(b.fit.pcl.view());
  for (int32_t i = 1; i <= b.npar; ++i) {
    b.albnd(i) = common_data::pboundlo(i) = b.lo_read(i);
    b.aubnd(i) = common_data::pboundhi(i) = b.hi_read(i);
  }
  active = fit_frame::Frame();
}

bool start_in_range(const Block& b) {
  // The cascade's first step raises free starting values of magnitude up to 2 eps to sqrt(2 eps).
  const double e2 = 2.0 * nrtype::epsmachine;
  FVector<double> start(b.npar);
  std::string raised;
  const fit_frame::Frame& frame = fit_frame::active;
  for (int32_t i = 1; i <= b.npar; ++i) {
    const double p = b.fit.a(i);
    start(i) = p;
    if (b.fit.mask(i) == 0 || p == 0.0 || std::fabs(p) > e2) continue;
    start(i) = std::copysign(std::sqrt(e2), p);
    // In the frame only a start given as 0 is that small.
    raised += " P" + std::to_string(i) + ", given as " +
              sharc_mod::figure(p == kTinyStart ? 0.0 : frame.p_out(i, p)) + ", starts at " +
              sharc_mod::figure(frame.p_out(i, start(i))) + ".";
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

}  // namespace main_subs
