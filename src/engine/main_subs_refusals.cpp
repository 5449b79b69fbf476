// The fit run's refusals: of data before the fit, and of fits that determine nothing:
// - before the fit, the mark test: rows whose |Y| exceeds every other row's by more than the
//   precision of a double allows in a sum of squares (missing-value marks such as 1E+30 among
//   values of order 1) leave the other rows no say in the fit, in any weighting, and are refused;
// - after the fit, the flat-sum test: a weighted sum of squares that no free parameter changes at
//   the final vector determines no parameter. One row whose square outweighs the others' beyond
//   rounding makes every sum the same: the searches then stop wherever they are, and their
//   vector, standard errors and correlations mean nothing;
// - after the fit, the near-data test of weighting 3: fitted values that ran away from the data.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "engine/fit_frame.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/sharc_cascade.hpp"
#include "engine/sharc_final.hpp"
#include "model/funct.hpp"
#include "model/readwrite.hpp"

namespace main_subs {
namespace {

// Each free q is moved by this share of max(|q|, 1): in the fit's frame a step that moves the
// model's values by about 1E-3 of the data's size, far above rounding.
constexpr double kStep = 1e-3;
// A sum within this many units of rounding of the final one has not changed.
constexpr double kRoundingUnits = 8.0;
// A row this many times the largest |y| of the others is named as a likely missing-value mark
// by the flat-sum message.
constexpr double kMarkRatio = 1e6;
// A row whose |y| exceeds the largest |y| of the others more than this many times is refused:
// 2^26.5 = sqrt(2^53) = 9.49E+07. A double carries 53 bits, and a term below 2^-53 of a sum
// (half a unit in its last place) is lost when added to it. While the fitted values stay near
// the other rows, the row's residual is about its y, and every other row's square, at most the
// largest of their |y| squared, is lost in the rounding of its square: the fit cannot see them.
// A fit that reaches the row instead moves its curve 1E+8 times beyond the others. Relative
// residuals (weighting 3) are no different: a curve through the others leaves the row a relative
// residual of 1E+8 whose square swamps theirs, one through the row leaves each of them -1.
constexpr double kMarkLimit = 94906265.62425156;
// Weighting 3 divides each residual by its fitted value: a row's term (y - f)^2 / f^2 is
// (1 - y/f)^2, which tends to 1 as |f| grows past |y|. So its sum tends to the row count as the
// fitted values grow without bound, and a fit can trade the large term of one row far from the
// others (100 times them, or -999999 among values of 5 to 100) for terms just below 1 in every
// row, running away from all the data. A fitted value more than this many times its y in
// magnitude is nowhere near it: its term exceeds 0.81, most of what running away costs. A fit
// nowhere near more than half of the rows describes no part of the data (one near most of them
// fits those, the rest standing out as outliers). The test is on y/f, which has no unit: data
// and fitted values in other units (or in the fit's frame, scaled by a power of two) give the
// same ratios, and so the same verdict.
constexpr int32_t kFarRatio = 10;

// The largest |y(i)| of the rows 1..n other than `row`.
double largest_other(VecView<const double> y, int32_t n, int32_t row) {
  const VecView<const double> after(y.data() + row * y.stride(), n - row, y.stride());
  return std::fmax(fit_frame::largest_magnitude(y, row - 1),
                   fit_frame::largest_magnitude(after, n - row));
}

// The weighted sum of the block's data at a (in the fit's frame); yf gets the fitted values.
double weighted_sum(const Block& b, VecView<const double> a, VecView<double> yf) {
  const MatView<const double> x(b.fit.x.data(), b.rows, b.nvar, b.fit.x.ld());
  double f = 0.0;
  const VecView<const double> y(b.fit.y.data(), b.rows), sig(b.fit.sigy.data(), b.rows);
  funct::fun(x, y, a, b.npar, b.nvar, b.rows, b.index, yf, sig, f);
  return f;
}

// Data row i as the data messages name it: by its line of the file, the header lines counted.
std::string row_name(int32_t i) {
  return "Line " + std::to_string(i + readwrite::header_lines) + " (data row " + std::to_string(i) +
         ")";
}

// The sentence naming the row whose weighted square dominates the sum at the final vector
// (weights w, fitted values yf), with its Y in the data's units.
std::string dominant_row(const Block& b, VecView<const double> w, VecView<const double> yf) {
  int32_t top = 1;
  for (int32_t i = 2; i <= b.rows; ++i) {
    const double r = b.fit.y(i) - yf(i), rt = b.fit.y(top) - yf(top);
    if (w(i) * r * r > w(top) * rt * rt) top = i;
  }
  const double others = largest_other({b.fit.y.data(), b.rows}, b.rows, top);
  std::string text = row_name(top) + ", Y = " + sharc_mod::figure(b.xy(top, b.nvar + 1));
  const double ratio = std::fabs(b.fit.y(top)) / others;
  if (others > 0.0 && ratio >= kMarkRatio) {
    return text + ", is " + sharc_mod::figure(ratio) +
           " times the other rows: a missing-value mark?";
  }
  return text + ", makes the most of it.";
}

// The error path of a test after the fit: its Error dialog and the report's reason say `text`.
void end_in_error(const std::string& text) {
  sharc_mod::take_error_path(
      "MainRegression: ERROR!\r\n" + sharc_mod::dialog_lines(text) + "\r\n The run has ended...",
      text);
}

}  // namespace

MarkRows mark_rows(VecView<const double> y, int32_t n) {
  // |y| largest first; the marks are the rows above the lowest gap beyond kMarkLimit that leaves
  // at most half of the rows above it (a larger share is the data, not marks in it), so that
  // marks of several sizes (1E+30 and 9.9E+37) are found together.
  std::vector<double> a(static_cast<size_t>(std::max(n, 0)));
  for (int32_t i = 1; i <= n; ++i) a[size_t(i - 1)] = std::fabs(y(i));
  std::sort(a.begin(), a.end(), std::greater<>());
  MarkRows marks;
  for (int32_t k = n / 2; k >= 1; --k) {
    const double least = a[size_t(k - 1)], others = a[size_t(k)];
    if (others > 0.0 && least / others > kMarkLimit) {
      marks.count = k;
      marks.ratio = least / others;
      for (int32_t i = n; i >= 1; --i) {
        if (std::fabs(y(i)) >= least) marks.first = i;
      }
      break;
    }
  }
  return marks;
}

bool no_mark_rows(const Block& b) {
  const VecView<const double> y(&b.xy(1, b.nvar + 1), b.rows);
  const MarkRows marks = mark_rows(y, b.rows);
  if (marks.count == 0) return true;
  const std::string ratio = sharc_mod::figure(marks.ratio), limit = sharc_mod::figure(kMarkLimit);
  const std::string value =
      row_name(marks.first) + " holds Y = " + sharc_mod::figure(y(marks.first));
  if (marks.count == 1) {
    sharc_mod::abort_run(value + ", " + ratio +
                         " times the largest |Y|\r\nof the other rows. A row more than " + limit +
                         " times the others leaves them\r\nno say in the fit, in any weighting: "
                         "their squares are lost in the\r\nrounding of its own. Is it a "
                         "missing-value mark? Remove the row,\r\nor write the value it stands "
                         "for, and rerun.");
  } else {
    sharc_mod::abort_run(value + ", and " + std::to_string(marks.count - 1) +
                         (marks.count == 2 ? " more row" : " more rows") +
                         " with a |Y| as large:\r\nthe least of them is " + ratio +
                         " times the largest |Y| of the other rows.\r\nRows more than " + limit +
                         " times the others leave them no say\r\nin the fit, in any weighting: "
                         "their squares are lost in the rounding\r\nof their own. Are they "
                         "missing-value marks? Remove the rows, or\r\nwrite the values they "
                         "stand for, and rerun.");
  }
  return false;
}

bool sum_moves(Block& b) {
  FVector<double> a(b.npar), yf(b.rows), w(b.rows);
  for (int32_t i = 1; i <= b.npar; ++i) a(i) = common_data::pfinal(i);
  const double s0 = weighted_sum(b, a.view(), yf.view());
  funct::row_weights(b.rows, w.view());
  const double rounding = kRoundingUnits * std::numeric_limits<double>::epsilon() * s0;
  for (int32_t i = 1; i <= b.npar; ++i) {
    if (b.fit.mask(i) == 0) continue;
    const double q = a(i), h = kStep * std::fmax(std::fabs(q), 1.0);
    FVector<double> scratch(b.rows);
    bool moved = false;
    for (const double step : {h, -h}) {
      a(i) = q + step;
      moved = moved || !(std::fabs(weighted_sum(b, a.view(), scratch.view()) - s0) <= rounding);
    }
    a(i) = q;
    if (moved) return true;
  }
  const std::string text =
      "No free parameter changes the weighted sum of squares at the final values: it is flat to "
      "rounding, and the fit determines nothing. " +
      dominant_row(b, w.view(), yf.view());
  end_in_error(text);
  return false;
}

bool near_data(const Block& b) {
  if (b.index != 2) return true;
  FVector<double> a(b.npar), yf(b.rows);
  for (int32_t i = 1; i <= b.npar; ++i) a(i) = common_data::pfinal(i);
  weighted_sum(b, a.view(), yf.view());
  int32_t far = 0, counted = 0;
  for (int32_t i = 1; i <= b.rows; ++i) {
    const double y = std::fabs(b.fit.y(i));
    if (y == 0.0) continue;  // a row of 0 has no size to be near: its term is 1 for any f
    ++counted;
    far += std::fabs(yf(i)) <= kFarRatio * y ? 0 : 1;
  }
  if (2 * far <= counted) return true;
  const std::string rows = std::to_string(far) + " of " + std::to_string(counted) +
                           (counted == b.rows ? " rows" : " rows whose Y is not 0");
  end_in_error(
      "The fitted values are nowhere near the data: in " + rows + " they are more than " +
      std::to_string(kFarRatio) +
      " times Y in magnitude. Weighting 3 (1/Y^2) divides each residual by its fitted value, and "
      "its sum falls towards the number of rows as the fitted values grow: a row far from the "
      "others (an outlier, a missing-value mark) can pull the fit away from all of them. Check "
      "the data, or fit with another weighting.");
  return false;
}

}  // namespace main_subs
