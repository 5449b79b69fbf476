// The fit run's refusals: of data before the fit, and of fits that determine nothing:
// - before the fit, the mark test: rows whose |Y| exceeds every other row's by more than the
//   precision of a double allows in a sum of squares, standing alone (missing-value marks such
//   as 1E+30 among values of order 1), leave the other rows no say in the fit, in any
//   weighting, and are refused;
// - after the fit, the flat-sum test: a weighted sum of squares that no free parameter changes at
//   the final vector determines no parameter. One row whose square outweighs the others' beyond
//   rounding makes every sum the same, and so does a model whose values no parameter moves near
//   the data: the searches then stop wherever they are, and their vector, standard errors and
//   correlations mean nothing;
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
// A row whose |y| exceeds the largest |y| of the others more than this many times, standing
// alone in the file, is refused: 2^26.5 = sqrt(2^53) = 9.49E+07. A double carries 53 bits, and a
// term below 2^-53 of a sum (half a unit in its last place) is lost when added to it. While the
// fitted values stay near the other rows, the row's residual is about its y, and every other row's
// square, at most the largest of their |y| squared, is lost in the rounding of its square: the fit
// cannot see them. A fit that reaches the row instead moves its curve 1E+8 times beyond the others.
// Relative residuals (weighting 3) are no different: a curve through the others leaves the row a
// relative residual of 1E+8 whose square swamps theirs, one through the row leaves each of them -1.
constexpr double kMarkLimit = 94906265.62425156;
// Rows climb to a large value when each rises and the rise into it (in log |y|) is at most this
// many times the rise before: steps that at most double, as on a steep curve near its top (a
// logistic, a peak, a power law on a grid of decades); a mark leaps from data that hardly rise.
constexpr double kClimbGrowth = 2.0;
// The refusal of marks names this many of them by their lines, and counts the rest.
constexpr size_t kNamedMarks = 5;
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

// Whether the rows next to row i (those the file has) hold 0.
bool amid_zeros(VecView<const double> y, int32_t n, int32_t i) {
  return (i == 1 || y(i - 1) == 0.0) && (i == n || y(i + 1) == 0.0);
}

// The rows that marks are measured against, in the file's order: every row but those of 0 and
// the rounding residues, values amid zeros whose squares are lost in the rounding of `scale`
// squared (5.55E-17 among zeros below 7.5): they are zeros that arithmetic left a trace on.
std::vector<int32_t> measured_rows(VecView<const double> y, int32_t n, double scale) {
  std::vector<int32_t> rows;
  for (int32_t i = 1; i <= n; ++i) {
    const double v = std::fabs(y(i));
    if (v != 0.0 && !(v * kMarkLimit < scale && amid_zeros(y, n, i))) rows.push_back(i);
  }
  return rows;
}

// The search for marks among rows of magnitudes a (in the file's order; a share of `n` rows).
// A mark stands alone: a row, or a run of rows of one |y|, more than kMarkLimit times above the
// row next to it on one side at least, where the rows do not climb to it. Rows of data above
// the others by as much come as a stretch of varying values (a decay measured at 0..4 and at
// 45..49), or are climbed to (2 X^8 at X = 1, 10, ..., 1E+7; a steep logistic).
class MarkSearch {
 public:
  MarkSearch(std::vector<double> a, int32_t n) : a_(std::move(a)), n_(n) {
    const auto m = static_cast<ptrdiff_t>(a_.size());
    for (ptrdiff_t p = 0; p < m; ++p) {
      prev_.push_back(p - 1);
      next_.push_back(p + 1 < m ? p + 1 : -1);
    }
  }

  // The positions of the marks, in the file's order. Taking a mark away makes its neighbours
  // each other's: a mark beside a larger one (1E+30 beside 9.99E+37) stands alone once the
  // larger is gone, so the search runs until it takes no more.
  std::vector<size_t> marks() {
    std::vector<Stretch> candidates = uniform_stretches();
    std::sort(candidates.begin(), candidates.end(), [this](const Stretch& s, const Stretch& t) {
      return a_[s.first] < a_[t.first];
    });
    std::vector<bool> taken(a_.size(), false);
    for (bool more = true; more;) {
      more = false;
      for (const Stretch& s : candidates) {
        if (taken[s.first] || !alone(s)) continue;
        for (size_t p = s.first; p <= s.last; ++p) taken[p] = true;
        unlink(s);
        more = true;
      }
    }
    std::vector<size_t> found;
    for (size_t p = 0; p < a_.size(); ++p) {
      if (taken[p]) found.push_back(p);
    }
    return found;
  }

 private:
  struct Stretch {
    size_t first, last;
  };

  // The largest k of at most half of all rows such that the k largest |y| exceed the others
  // more than kMarkLimit times: its least |y| (0 when there is no such k). Marks are a small part
  // of the rows; a larger share above a gap is the data.
  double least_above_gap() const {
    std::vector<double> sorted = a_;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    for (size_t k = std::min(size_t(n_ / 2), sorted.size() - 1); k >= 1; --k) {
      if (sorted[k - 1] > kMarkLimit * sorted[k]) return sorted[k - 1];
    }
    return 0.0;
  }

  // Runs of consecutive rows above the gap, each within kMarkLimit of the one before, that
  // hold one |y|; runs of varying values are data.
  std::vector<Stretch> uniform_stretches() const {
    std::vector<Stretch> out;
    const double least = a_.size() < 2 ? 0.0 : least_above_gap();
    if (least == 0.0) return out;
    for (size_t p = 0; p < a_.size();) {
      if (a_[p] < least) {
        ++p;
        continue;
      }
      Stretch s{p, p};
      bool uniform = true;
      while (s.last + 1 < a_.size() && a_[s.last + 1] >= least &&
             std::fmax(a_[s.last], a_[s.last + 1]) <=
                 kMarkLimit * std::fmin(a_[s.last], a_[s.last + 1])) {
        uniform = uniform && a_[s.last + 1] == a_[p];
        ++s.last;
      }
      if (uniform) out.push_back(s);
      p = s.last + 1;
    }
    return out;
  }

  bool alone(const Stretch& s) const {
    return alone_towards(s.first, prev_) || alone_towards(s.last, next_);
  }

  // Whether the row at `edge` stands alone on the side that `link` leads to: the next row there
  // lies more than kMarkLimit times below it, and the two rows beyond do not climb to it (a rise
  // at each, the rise into `edge` at most kClimbGrowth times the one before, in log |y|). The
  // rise into j needs no test of its own: the rise into `edge`, positive, is at most
  // kClimbGrowth times it.
  bool alone_towards(size_t edge, const std::vector<ptrdiff_t>& link) const {
    const ptrdiff_t j = link[edge];
    if (j < 0 || !(a_[edge] > kMarkLimit * a_[size_t(j)])) return false;
    const ptrdiff_t k = link[size_t(j)];
    const ptrdiff_t k2 = k < 0 ? -1 : link[size_t(k)];
    if (k2 < 0) return true;
    const double e = std::log2(a_[edge]), lj = std::log2(a_[size_t(j)]),
                 lk = std::log2(a_[size_t(k)]), lk2 = std::log2(a_[size_t(k2)]);
    return !(lk > lk2 && e - lj <= kClimbGrowth * (lj - lk));
  }

  void unlink(const Stretch& s) {
    const ptrdiff_t before = prev_[s.first], after = next_[s.last];
    if (before >= 0) next_[size_t(before)] = after;
    if (after >= 0) prev_[size_t(after)] = before;
  }

  std::vector<double> a_;
  int32_t n_;
  std::vector<ptrdiff_t> prev_, next_;  // the neighbouring rows not taken as marks (-1: none)
};

// The largest |y| of the rows 1..n that are not in `marks`.
double largest_unmarked(VecView<const double> y, int32_t n, const std::vector<int32_t>& marks) {
  double top = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    if (!std::binary_search(marks.begin(), marks.end(), i)) top = std::fmax(top, std::fabs(y(i)));
  }
  return top;
}

// The least |y| of `marks` over the largest |y| of the other rows.
double least_ratio(VecView<const double> y, int32_t n, const std::vector<int32_t>& marks) {
  double least = std::numeric_limits<double>::infinity();
  for (const int32_t i : marks) least = std::fmin(least, std::fabs(y(i)));
  return least / largest_unmarked(y, n, marks);
}

// The marks with rounding residues measured against `scale`, in the file's order, less those
// within kMarkLimit of a larger row that is not a mark: only a row beyond every other leaves
// them no say.
std::vector<int32_t> marks_at_scale(VecView<const double> y, int32_t n, double scale) {
  const std::vector<int32_t> rows = measured_rows(y, n, scale);
  std::vector<double> a;
  for (const int32_t i : rows) a.push_back(std::fabs(y(i)));
  std::vector<int32_t> marks;
  for (const size_t p : MarkSearch(a, n).marks()) marks.push_back(rows[p]);
  while (!marks.empty()) {
    const auto least = std::min_element(marks.begin(), marks.end(), [&y](int32_t i, int32_t j) {
      return std::fabs(y(i)) < std::fabs(y(j));
    });
    if (std::fabs(y(*least)) > kMarkLimit * largest_unmarked(y, n, marks)) break;
    marks.erase(least);
  }
  return marks;
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

// The Y of data row i as the file writes it, so that the user finds it there (as a figure when
// the file can no longer be read).
std::string y_as_written(const Block& b, int32_t i) {
  const std::string text = readwrite::rxy_text(b.file, i, b.nvar + 1);
  return text.empty() ? sharc_mod::figure(b.xy(i, b.nvar + 1)) : text;
}

// The sentence naming the row whose weighted square makes most of the sum at the final vector
// (weights w, fitted values yf), with its Y in the data's units. When no row's square outweighs
// all the others' together, no row stands out (a model far from every row, as with a constant
// term 1E+12 times the data): the sentence blames no row.
std::string dominant_row(const Block& b, VecView<const double> w, VecView<const double> yf) {
  int32_t top = 1;
  double total = 0.0, most = -1.0;
  for (int32_t i = 1; i <= b.rows; ++i) {
    const double r = b.fit.y(i) - yf(i), term = w(i) * r * r;
    total += term;
    if (term > most) {
      most = term;
      top = i;
    }
  }
  if (!(most > total - most)) {
    return "No row stands out from the others: no parameter moves the fitted values near the "
           "data. Check the model (a term that outweighs what the parameters change), the held "
           "parameters and the starting values.";
  }
  const double others = largest_other({b.fit.y.data(), b.rows}, b.rows, top);
  std::string text = row_name(top) + ", Y = " + y_as_written(b, top);
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
  // Zeros and rounding residues are measured against the largest |y| at first; once marks are
  // found, against the largest of the other rows, which finds a smaller mark among zeros (1E+20
  // beside 1E+38) that the larger one had passed for a residue.
  std::vector<int32_t> marks;
  for (double scale = fit_frame::largest_magnitude(y, n);;) {
    std::vector<int32_t> found = marks_at_scale(y, n, scale);
    if (found.empty()) break;
    marks = std::move(found);
    const double rest = largest_unmarked(y, n, marks);
    if (!(rest < scale)) break;
    scale = rest;
  }
  return {marks, marks.empty() ? 0.0 : least_ratio(y, n, marks)};
}

bool no_mark_rows(const Block& b) {
  const VecView<const double> y(&b.xy(1, b.nvar + 1), b.rows);
  const MarkRows marks = mark_rows(y, b.rows);
  if (marks.rows.empty()) return true;
  const std::string ratio = sharc_mod::figure(marks.ratio), limit = sharc_mod::figure(kMarkLimit);
  const auto holds = [&b](int32_t i) { return row_name(i) + " holds Y = " + y_as_written(b, i); };
  if (marks.rows.size() == 1) {
    sharc_mod::abort_run(holds(marks.rows[0]) + ", " + ratio +
                         " times the largest |Y|\r\nof the other rows. A row more than " + limit +
                         " times the others leaves them\r\nno say in the fit, in any weighting: "
                         "their squares are lost in the\r\nrounding of its own. Is it a "
                         "missing-value mark? Remove the row,\r\nor write the value it stands "
                         "for, and rerun.");
    return false;
  }
  // Each mark on a line of its own, a handful of them; the count of the others.
  std::string named;
  const size_t shown = std::min(marks.rows.size(), kNamedMarks);
  for (size_t k = 0; k < shown; ++k) {
    std::string line = holds(marks.rows[k]);
    if (k > 0) line[0] = 'l';
    named += line + (k + 1 < shown ? ",\r\n" : "");
  }
  if (const size_t more = marks.rows.size() - shown; more > 0) {
    named += ",\r\nand " + std::to_string(more) + (more == 1 ? " more row" : " more rows");
  }
  sharc_mod::abort_run(named + ": each at least " + ratio +
                       " times the largest |Y|\r\nof the other rows. Rows more than " + limit +
                       " times the others leave them\r\nno say in the fit, in any weighting: "
                       "their squares are lost in the\r\nrounding of their own. Are they "
                       "missing-value marks? Remove the rows,\r\nor write the values they stand "
                       "for, and rerun.");
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
  // A row whose y and fitted value both lie below the data's largest |y| by more than
  // kMarkLimit is 0 within the precision of a sum over the data: the fit cannot have run away
  // there. The far tails of a narrow peak are such rows: the model's values bottom out where
  // its exponential does (about 1E-35 of its height) while the data go on to 1E-278.
  const double negligible =
      fit_frame::largest_magnitude({b.fit.y.data(), b.rows}, b.rows) / kMarkLimit;
  int32_t far = 0, counted = 0;
  for (int32_t i = 1; i <= b.rows; ++i) {
    const double y = std::fabs(b.fit.y(i));
    if (y == 0.0) continue;  // a row of 0 has no size to be near: its term is 1 for any f
    if (y < negligible && std::fabs(yf(i)) < negligible) continue;
    ++counted;
    far += std::fabs(yf(i)) <= kFarRatio * y ? 0 : 1;
  }
  if (2 * far <= counted) return true;
  const std::string rows =
      std::to_string(far) + " of " + std::to_string(counted) +
      (counted == b.rows ? " rows"
                         : " rows whose Y is not 0 and whose Y or fitted value is at least 1/" +
                               sharc_mod::figure(kMarkLimit) + " of the largest |Y| in magnitude");
  end_in_error(
      "The fitted values are nowhere near the data: in " + rows + " they are more than " +
      std::to_string(kFarRatio) +
      " times Y in magnitude. Weighting 3 (1/Y^2) divides each residual by its fitted value, and "
      "its sum falls towards the number of rows as the fitted values grow: a row far from the "
      "others (an outlier, a missing-value mark) can pull the fit away from all of them, and so "
      "can the model (a term that keeps its values far from the data), a held parameter or the "
      "starting values. Check them and the data, or fit with another weighting.");
  return false;
}

}  // namespace main_subs
