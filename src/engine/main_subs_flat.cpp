// The flat-sum test of the fit run: a weighted sum of squares that no free parameter changes at
// the final vector determines no parameter. One row whose square outweighs the others' by more
// than the precision of a double (a missing-value mark such as 1E+30 among values of order 1)
// makes every sum the same to rounding: the searches then stop wherever they are, and their
// vector, standard errors and correlations mean nothing.
#include <cmath>
#include <limits>
#include <string>

#include "common/common_data.hpp"
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
// A row this many times the largest |y| of the others is named as a likely missing-value mark.
constexpr double kMarkRatio = 1e6;

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
  return "Line " + std::to_string(i + readwrite::header_lines) + " (data row " +
         std::to_string(i) + ")";
}

// The sentence naming the row whose weighted square dominates the sum at the final vector
// (weights w, fitted values yf), with its Y in the data's units.
std::string dominant_row(const Block& b, VecView<const double> w, VecView<const double> yf) {
  int32_t top = 1;
  for (int32_t i = 2; i <= b.rows; ++i) {
    const double r = b.fit.y(i) - yf(i), rt = b.fit.y(top) - yf(top);
    if (w(i) * r * r > w(top) * rt * rt) top = i;
  }
  double others = 0.0;
  for (int32_t i = 1; i <= b.rows; ++i) {
    if (i != top) others = std::fmax(others, std::fabs(b.fit.y(i)));
  }
  const double y = std::ldexp(b.fit.y(top), b.y_scale);
  std::string text = row_name(top) + ", Y = " + sharc_mod::figure(y);
  const double ratio = std::fabs(b.fit.y(top)) / others;
  if (others > 0.0 && ratio >= kMarkRatio) {
    return text + ", is " + sharc_mod::figure(ratio) +
           " times the other rows: a missing-value mark?";
  }
  return text + ", makes the most of it.";
}

}  // namespace

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
  sharc_mod::take_error_path(
      "MainRegression: ERROR!\r\n" + sharc_mod::dialog_lines(text) + "\r\n The run has ended...",
      text);
  return false;
}

}  // namespace main_subs
