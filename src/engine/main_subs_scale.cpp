// The scale of the observations in the fit run. The fit's thresholds are absolute (the least
// sum of the model evaluator, the exact-fit tests, the 1e-12 added to the final residuals, the
// error path's 1e16, the settling test): they are made for data of the size the program is
// used with, so data far from it are fitted scaled by a power of two, exactly, and every figure
// goes back to the data's units before the report. The parameters keep their values: the
// model's values are scaled as the data are.
#include <cmath>
#include <string>

#include "common/common_data.hpp"
#include "common/nrtype.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/sharc_cascade.hpp"
#include "engine/sharc_final.hpp"
#include "engine/sharc_report.hpp"
#include "model/my_func.hpp"

namespace main_subs {
namespace {

constexpr int32_t kOrdinaryLow = -19;  // frexp exponents of the largest |y| left unscaled
constexpr int32_t kOrdinaryHigh = 20;
constexpr int32_t kTarget = 7;  // frexp exponent of the largest |y| once scaled: [64, 128)
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

}  // namespace

int32_t scale_exponent(VecView<const double> y, int32_t n) {
  const int32_t e = top_exponent(y, n);
  return e == 0 || (e >= kOrdinaryLow && e <= kOrdinaryHigh) ? 0 : e - kTarget;
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
  b.y_scale = scale_exponent(b.fit.y.view(), b.rows);
  sharc_mod::y_scale = b.y_scale;
  if (b.y_scale == 0) return true;
  b.y_read = b.fit.y;
  for (int32_t i = 1; i <= b.rows; ++i) {
    b.fit.y(i) = std::ldexp(b.fit.y(i), -b.y_scale);
    common_data::yd(i) = b.fit.y(i);
  }
  b.formula = fparser::comp(1);
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
    raised += " P" + std::to_string(i) + ", given as " + sharc_mod::figure(p) + ", starts at " +
              sharc_mod::figure(start(i)) + ".";
  }
  const MatView<const double> x(b.fit.x.data(), b.rows, b.nvar, b.fit.x.ld());
  const VecView<const double> a(start.data(), b.npar);
  const int32_t rows = my_func::stand_in_rows(a, b.npar, x, b.nvar, b.rows);
  if (rows < b.rows) return true;
  const VecView<const double> y(b.fit.y.data(), b.rows);
  const double ratio = sharc_mod::magnitude_ratio(x, b.nvar, y, b.rows, a, b.npar);
  std::string text = sharc_mod::stand_in_text(rows, b.rows, ratio, true);
  if (!raised.empty()) {
    text +=
        " Starting values of magnitude " + sharc_mod::figure(e2) + " or less are raised:" + raised;
  }
  sharc_mod::abort_run(sharc_mod::dialog_lines(text));
  return false;
}

void unscale_observations(Block& b) {
  const int32_t e = b.y_scale;
  sharc_mod::y_scale = 0;
  if (e == 0) return;
  fparser::comp(1) = b.formula;
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
