// The fit run's refusals of data and of fits: a row that leaves the others no say, refused
// before the fit; a sum of squares flat to rounding at the final values, named by
// the line of its dominant row; a weighting-3 fit whose fitted values ran away from the data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/common_data.hpp"
#include "engine/main_subs.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/main_subs_fixture.hpp"
#include "support/nist_problem.hpp"

namespace {

using mainsubtest::MainSubTest;

// A data file's content: its model, lines 2 to 5 and rows (x, y).
struct Data {
  std::string model;
  std::vector<double> start, lo, hi;
  std::vector<bool> in_y_unit;  // the parameters that carry Y's unit
  std::vector<std::pair<double, double>> rows;
  std::vector<bool> held = {};  // the parameters held (mask 0); none when empty
  std::vector<double> x2 = {};  // a second X column, row by row; none when empty

  // The file with Y, and the starts and bounds of the parameters in Y's unit, times `unit`.
  std::string text(double unit = 1.0) const {
    std::string out = model + "\n";
    for (const std::vector<double>* line : {&start, &lo, &hi}) {
      for (size_t i = 0; i < line->size(); ++i) {
        out += (i ? " " : "") + number((*line)[i] * (in_y_unit[i] ? unit : 1.0));
      }
      out += "\n";
    }
    for (size_t i = 0; i < start.size(); ++i) {
      out += std::string(i ? " " : "") + (i < held.size() && held[i] ? "0" : "1");
    }
    out += "\n";
    for (size_t i = 0; i < rows.size(); ++i) {
      out += number(rows[i].first) + (x2.empty() ? "" : " " + number(x2[i])) + " " +
             number(rows[i].second * unit) + "\n";
    }
    return out + "END\n";
  }
  static std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
  }
};

class RefusalTest : public MainSubTest {
 protected:
  // Runs the file at weighting iwt; the first line of its report ("" without one).
  std::string fit(const std::string& text, int32_t iwt) {
    globals::iwt = iwt;
    dialogs.clear();
    std::filesystem::remove(dir.path() / "f.TXT");
    dir.write("f.dat", text);
    run("f.dat");
    const std::string report = exists("f.TXT") ? dir.read("f.TXT") : "";
    return report.substr(0, report.find('\n'));
  }
};

// `base` with the values of `rows` (1-based) written in.
std::vector<double> with(std::vector<double> base,
                         const std::vector<std::pair<int32_t, double>>& rows) {
  for (const auto& [i, v] : rows) base[size_t(i - 1)] = v;
  return base;
}

// f(x) for x = first, first + 1, ..., last.
template <class F>
std::vector<double> curve(int32_t first, int32_t last, F f) {
  std::vector<double> y;
  for (int32_t x = first; x <= last; ++x) y.push_back(f(double(x)));
  return y;
}

// Marks are rows beyond 2^26.5 (9.49E+07) times the largest |y| of all others, at most half of
// the rows, that stand alone in the file: sentinels of any sign and size, alone, several, in a
// run, among zeros, are refused. Good data that also have such gaps are not: rounding residues
// among zeros, a decay measured in two far-apart stretches, noiseless steep data climbing to
// their largest values, and a share of the data above half.
TEST(MainSubMarkRows, FindsMarksButNotDataWithGapsBeyondThePrecisionOfASum) {
  const std::vector<double> near_one =
      curve(1, 12, [](double i) { return 1.0 + 0.1 * (int32_t(i * 7) % 5 - 2); });
  const std::vector<double> near_micro =
      curve(1, 12, [&](double i) { return 1e-6 * near_one[size_t(i - 1)]; });
  const std::vector<double> climb =
      curve(0, 7, [](double k) { return 2.0 * std::pow(10.0, 8 * k); });
  std::vector<double> two_curves = climb;
  two_curves.insert(two_curves.end(), climb.begin(), climb.end());
  const auto logistic = [](double slope) {
    return curve(0, 10, [slope](double x) { return 10 / (1 + std::exp(-slope * (x - 5.5))); });
  };
  std::vector<double> stretches = curve(0, 4, [](double x) { return x; });
  for (int32_t x = 45; x <= 49; ++x) stretches.push_back(x);
  for (double& x : stretches) x = 3 * std::exp(-x / 2) * (1 + 0.01 * (int32_t(7 * x) % 5 - 2));
  const struct {
    const char* name;
    std::vector<double> y;
    std::vector<int32_t> marks;
  } cases[] = {
      {"a mark among values 1 to 9", {9, 7, 1e30, 5, 3, 1}, {3}},
      {"a negative mark", {2, -1e30, 3, 4}, {2}},
      {"9.99E+37 among values near 1", with(near_one, {{5, 9.99e37}}), {5}},
      {"1E+20 in the first row", with(near_one, {{1, 1e20}}), {1}},
      {"-9999 in the last row among values near 1E-6", with(near_micro, {{12, -9999}}), {12}},
      {"a mark among zeros and a value", {0, 0, 5, 1e30}, {4}},
      {"a mark amid zeros between data", {1, 2, 0, 1e30, 0, 3, 4}, {4}},
      {"just beyond the limit", {1, 0.5, 9.5e7, 1}, {3}},
      {"two marks alike", {3, 1e30, 2, 3, 1e30}, {2, 5}},
      {"marks of either sign and two sizes", {-1e30, 2, 9.9e37, 3}, {1, 3}},
      {"1E+30 and 1E+9 among values near 1", with(near_one, {{3, 1e30}, {9, 1e9}}), {3, 9}},
      {"three marks, in the first and last rows",
       with(near_one, {{1, 1e30}, {6, 1e30}, {12, 1e30}}),
       {1, 6, 12}},
      {"a run of three marks", with(near_one, {{5, 1e30}, {6, 1e30}, {7, 1e30}}), {5, 6, 7}},
      {"marks of two sizes side by side", with(near_one, {{5, 1e30}, {6, 9.99e37}}), {5, 6}},
      {"a mark where a steep logistic reaches its top", with(logistic(80), {{7, 1e30}}), {7}},
      {"a smaller mark amid zeros beside a larger",
       {34, 18, 9, 4.8, 2.5, 0, 0, 1e38, 0, -1e20, 0, 0},
       {8, 10}},
      {"a leap after rows that fall, then rise", {1000, 1, 20000, 3e12}, {4}},
      {"a leap after rows that hold, then rise", {1, 1, 20000, 3e12}, {4}},
      {"just within the limit", {1, 0.5, 9.4e7, 1}, {}},
      {"marks in more than half the rows", {1e30, 2, 1e30, 1e30, 3}, {}},
      {"one value among zeros", {0, 0, 7, 0}, {}},
      {"a rounding residue among zeros",
       with(std::vector<double>(15, 0.0), {{1, 7.5}, {9, 5.55e-17}}),
       {}},
      {"a decay rounded to 3 decimals, a zero written 3E-12",
       with(curve(0, 29, [](double t) { return std::round(1e5 * std::exp(-t)) / 1e3; }),
            {{21, 3e-12}}),
       {}},
      {"a decay measured at 0..4 and at 45..49", stretches, {}},
      {"2 X^8 at X = 1, 10, ..., 1E+7", climb, {}},
      {"the same in two curves, one after the other", two_curves, {}},
      {"a logistic of slope 40", logistic(40), {}},
      {"a logistic of slope 80, its top exactly 10", logistic(80), {}},
      {"a peak of width 0.1 at unit steps",
       curve(0, 20, [](double x) { return std::exp(-(x - 10) * (x - 10) / 0.1); }),
       {}},
      {"X^-12 at X = 1, 10, ..., 1E+5",
       curve(0, 5, [](double k) { return std::pow(10.0, -12 * k); }),
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto marks = main_subs::mark_rows({c.y.data(), int32_t(c.y.size())}, int32_t(c.y.size()));
    EXPECT_EQ(marks.rows, c.marks);
  }
}

// Marks are refused before the fit, whatever the weighting, the units, the bounds, the held
// parameters and the X columns: an Error dialog naming each mark by its line and data row with
// its Y as the file writes it (five, then how many more), a data error, no report and no run-log line. Without the
// refusal the searches follow a mark (P3 = 3.6E+28 outside its bounds).
TEST_F(RefusalTest, MarksAreRefusedBeforeTheFitEachNamed) {
  Data decay{"Y=P1*EXP(-P2*X1)+P3", {10, 0.3, 0}, {0, 0, -5}, {100, 5, 5}, {true, false, true}, {}};
  for (int32_t i = 1; i <= 25; ++i) {
    decay.rows.push_back({0.25 * i, i == 13 ? 1e30 : 8.0 * std::exp(-0.3 * 0.25 * i) + 1.0});
  }
  Data wide = decay;
  wide.lo = {0, 0, -100};
  wide.hi = {100, 5, 100};
  Data twice = decay;
  twice.rows[4].second = 1e30;
  Data line{"Y=P1*X1+P2", {1, 1}, {-100, -100}, {100, 100}, {true, true}, {}};
  for (int32_t x = 1; x <= 10; ++x) line.rows.push_back({x, x == 10 ? -1e30 : 2.0 * x});
  Data sizes = line;
  for (int32_t x = 1; x <= 10; ++x) sizes.rows[size_t(x - 1)].second = 1.0 + 0.1 * (x % 3);
  sizes.rows[2].second = 1e30;
  sizes.rows[8].second = 1e9;
  Data codes = line;
  for (int32_t x = 1; x <= 10; ++x) codes.rows[size_t(x - 1)].second = 1e-6 * (1 + 0.1 * (x % 3));
  codes.rows[3].second = -9999;
  codes.rows[7].second = 9999999;
  Data plane{"Y=P1*X1+P2*X2+P3",
             {1, 1, 2},
             {-10, -10, -10},
             {10, 10, 10},
             {true, true, true},
             {},
             {false, false, true}};
  for (int32_t i = 1; i <= 20; ++i) {
    const bool mark = i == 1 || i % 3 == 0 || i == 20;
    plane.rows.push_back({i, mark && i < 20 ? 1e30 : mark ? -1e30 : 2.0 + 0.1 * i});
    plane.x2.push_back(i % 4);
  }
  const struct {
    const Data* data;
    const char* says;  // the message's start in the data's units, then its first mark elsewhere
  } cases[] = {
      {&decay, "Line 18 (data row 13) holds Y = 1e+30, "},
      {&wide, "Line 18 (data row 13) holds Y = 1e+30, "},
      {&twice,
       "Line 10 (data row 5) holds Y = 1e+30,\r\nline 18 (data row 13) holds Y = 1e+30: each "},
      {&line, "Line 15 (data row 10) holds Y = -1e+30, "},
      {&sizes,
       "Line 8 (data row 3) holds Y = 1e+30,\r\nline 14 (data row 9) holds Y = 1000000000: each "},
      {&codes,
       "Line 9 (data row 4) holds Y = -9999,\r\nline 13 (data row 8) holds Y = 9999999: each "},
      {&plane,
       "Line 6 (data row 1) holds Y = 1e+30,\r\nline 8 (data row 3) holds Y = 1e+30,\r\n"
       "line 11 (data row 6) holds Y = 1e+30,\r\nline 14 (data row 9) holds Y = 1e+30,\r\n"
       "line 17 (data row 12) holds Y = 1e+30,\r\nand 3 more rows: each "},
  };
  for (const auto& c : cases) {
    const std::string says(c.says), first = says.substr(0, says.find("holds Y = ") + 10);
    for (const double unit : {1e-12, 1.0, 1e12}) {
      for (int32_t iwt = 1; iwt <= 5; ++iwt) {
        SCOPED_TRACE(first + " unit " + Data::number(unit) + " weighting " + std::to_string(iwt));
        globals::bdataerror = 0;
        std::filesystem::remove(dir.path() / "Varqen-runlog.txt");
        EXPECT_EQ(fit(c.data->text(unit), iwt), "");
        EXPECT_FALSE(main_subs::every_block_reported);
        EXPECT_EQ(globals::bdataerror, 1);
        EXPECT_EQ(last_text().rfind(unit == 1.0 ? says : first, 0), 0u) << last_text();
        EXPECT_FALSE(exists("Varqen-runlog.txt"));
      }
    }
  }
}

// A row whose value no parameter reaches (the model is 0 at X1 = 10 whatever P1 and P2) and
// 1E+7 times the others leaves the unweighted sum flat to rounding: the message names the row by
// its line of the file, as the data file's other messages do, by its data row and by its Y as
// the file writes it. A model whose values no parameter moves near the data (a constant 1E+12
// times them: at weighting 3 each row's term is 1 to rounding) leaves it flat with no row
// standing out: the message names none.
TEST_F(RefusalTest, AFlatSumNamesItsDominantRowOrNone) {
  Data d{"Y=(P1+P2*X1)*(X1-10)", {1, 1}, {-100, -100}, {100, 100}, {true, true}, {}};
  for (int32_t x = 1; x <= 9; ++x) d.rows.push_back({x, 2.0 + 0.5 * x});
  d.rows.push_back({10, 6.5e7});
  Data far{"Y=ABS(P1)+ABS(P2)*X1+1E12", {1, 1}, {-100, -100}, {100, 100}, {true, true}, {}};
  for (int32_t x = 1; x <= 10; ++x) far.rows.push_back({x, 2.9 + 0.2 * x});
  const struct {
    const Data* data;
    double unit;
    int32_t iwt;
    std::string says;
  } cases[] = {
      {&d, 1e-12, 1, "Line 15 (data row 10), Y = 6.4999999999999994e-05, is 1.0E+07 times"},
      {&d, 1.0, 1, "Line 15 (data row 10), Y = 65000000, is 1.0E+07 times"},
      {&d, 1e12, 2, "Line 15 (data row 10), Y = 6.5e+19, is 1.0E+07 times"},
      {&far, 1.0, 3, "No row stands out from the others: no parameter moves the fitted values"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says + " weighting " + std::to_string(c.iwt));
    const std::string first = fit(c.data->text(c.unit), c.iwt);
    EXPECT_FALSE(main_subs::every_block_reported);
    EXPECT_NE(first.find("it is flat to rounding"), std::string::npos) << first;
    EXPECT_NE(first.find(c.says), std::string::npos) << first;
    EXPECT_EQ(first.find("Line ") == std::string::npos, c.data == &far) << first;
  }
}

// y disturbed by -2, -1, 0, 1 or 2 % in a fixed pattern over the rows i.
double disturbed(double y, int32_t i) { return y * (1.0 + 0.01 * ((i * 7) % 5 - 2)); }

// A line y = 2 + 3x of 10 rows whose row 10 is 100 times the line, and a line from 5 to 100 with
// -999999 in row 5.
Data line_with_outlier() {
  Data d{"Y=P1+P2*X1", {1, 1}, {-100, -100}, {100, 100}, {true, true}, {}};
  for (int32_t x = 1; x <= 10; ++x) d.rows.push_back({x, (x == 10 ? 100 : 1) * (2.0 + 3.0 * x)});
  return d;
}
Data line_with_negative_row() {
  Data d = line_with_outlier();
  for (int32_t x = 1; x <= 10; ++x) d.rows[size_t(x - 1)].second = 5 + 95.0 * (x - 1) / 9;
  d.rows[4].second = -999999;
  return d;
}

// A peak of width 0.1 on a baseline held at 1E-7 (X1 - 6.5): the baseline keeps the fitted
// values of the tails at 1E-7 to 7E-7, far above data that fall to 1E-267. Only the row at 6.5,
// where the baseline is 0, is within rounding of 0 in both.
Data peak_on_held_baseline() {
  Data d{"Y=P1*EXP(-(X1-P2)^2/(2*P3^2))+P4*(X1-6.5)",
         {1.2, 9.9, 0.12, 1e-7},
         {0, 5, 0.01, -1},
         {10, 15, 1, 1},
         {true, false, false, true},
         {},
         {false, false, false, true}};
  for (int32_t k = 0; k <= 14; ++k) {
    const double x = 6.5 + 0.5 * k;
    d.rows.push_back({x, std::exp(-50.0 * (x - 10) * (x - 10))});
  }
  return d;
}

// Weighting 3 (1/Y^2) divides each residual by its fitted value, and its sum tends to the row
// count as the fitted values grow: one row far from the others pulls the fit away from all of
// them (P1 = P2 = 95 at the bounds, fitted values 40 times the data). Such a fit ends on the
// error path, in any units, with no run-log line; the message names the outlier and the model,
// a held parameter and the starting values as possible causes, and counts the rows it judged:
// a row whose Y is tiny is judged when its fitted value is not.
TEST_F(RefusalTest, AWeightingThreeFitThatRunsAwayFromTheDataEndsOnTheErrorPath) {
  const struct {
    Data data;
    const char* count;
  } cases[] = {
      {line_with_outlier(), " of 10 rows they are"},
      {line_with_negative_row(), " of 10 rows they are"},
      {peak_on_held_baseline(),
       "in 11 of 14 rows whose Y is not 0 and whose Y or fitted value is at least 1/9.5E+07 of "
       "the largest |Y| in magnitude they are"},
  };
  for (const auto& [d, count] : cases) {
    for (const double unit : {1e-12, 1.0, 1e12}) {
      SCOPED_TRACE(d.text(unit));
      std::filesystem::remove(dir.path() / "Varqen-runlog.txt");
      const std::string first = fit(d.text(unit), 3);
      EXPECT_FALSE(main_subs::every_block_reported);
      EXPECT_EQ(
          first.rfind(" RUN ENDED IN ERROR: The fitted values are nowhere near the data: ", 0), 0u)
          << first;
      EXPECT_NE(first.find(count), std::string::npos) << first;
      EXPECT_NE(first.find("an outlier"), std::string::npos) << first;
      EXPECT_NE(first.find("the model (a term that keeps its values far from the data), a held "
                           "parameter or the starting values"),
                std::string::npos)
          << first;
      EXPECT_FALSE(exists("Varqen-runlog.txt"));
    }
  }
}

// Fits over many decades complete: at weighting 3 a power law over 9 decades, Arrhenius, data
// from 1E-3 to 1E+9, a decay from 1E+6 counts to a few, Misra1a and a decay measured at 0..4
// and at 45..49 (P = 3, 0.5 to 3 digits), a peak of width 0.1 whose tails fall to 1E-267 below
// the model's least values (P = 1, 10 to 3 digits); at weighting 1 the counts, the line with an outlier
// 100 times the others and 7.5 at X1 = 0 among zeros, one of them a rounding residue (P1 = 7.5).
TEST_F(RefusalTest, FitsOverManyDecadesAndAGenuineOutlierComplete) {
  Data power{"Y=P1*X1^P2", {1, 1}, {0, 0}, {100, 5}, {true, false}, {}};
  for (int32_t k = -8; k <= 16; ++k) {
    const double x = std::pow(10.0, k / 4.0);
    power.rows.push_back({x, disturbed(2.5 * std::pow(x, 1.5), k)});
  }
  Data arrhenius{"Y=P1*EXP(-P2/X1)", {1e13, 1e4}, {0, 0}, {1e15, 1e5}, {true, false}, {}};
  for (int32_t t = 300; t <= 420; t += 10) {
    arrhenius.rows.push_back({t, disturbed(2e13 * std::exp(-12000.0 / t), t / 10)});
  }
  Data decades{"Y=P1*EXP(P2*X1)", {1, 1}, {0, 0}, {1e3, 10}, {true, false}, {}};
  for (int32_t x = 0; x <= 12; ++x)
    decades.rows.push_back({x, disturbed(1e-3 * std::pow(10, x), x)});
  Data counts{"Y=P1*EXP(-P2*X1)", {5e5, 0.5}, {0, 0}, {1e8, 10}, {true, false}, {}};
  for (int32_t i = 0; i < 28; ++i) {
    const double mean = 1e6 * std::exp(-0.5 * i);
    counts.rows.push_back({0.5 * i, std::round(mean + std::sqrt(mean) * ((i * 7) % 5 - 2) / 2)});
  }
  Data stretches{"Y=P1*EXP(-P2*X1)", {1, 1}, {0, 0}, {100, 10}, {true, false}, {}};
  for (const int32_t x : {0, 1, 2, 3, 4, 45, 46, 47, 48, 49}) {
    stretches.rows.push_back({x, disturbed(3 * std::exp(-0.5 * x), x)});
  }
  Data residue{"Y=P1*EXP(-P2*X1)", {5, 1}, {0, 0}, {100, 50}, {true, false}, {{0, 7.5}}};
  for (int32_t x = 1; x <= 14; ++x) residue.rows.push_back({x, x == 8 ? 5.55e-17 : 0.0});
  Data peak{"Y=P1*EXP(-(X1-P2)^2/(2*P3^2))",
            {1.2, 9.9, 0.12},
            {0, 5, 0.01},
            {10, 15, 1},
            {true, false, false},
            {}};
  for (int32_t k = 0; k <= 14; ++k) {
    const double x = 6.5 + 0.5 * k;
    peak.rows.push_back({x, std::exp(-50.0 * (x - 10) * (x - 10))});
  }
  std::ifstream in(testsupport::nist_dir() + "/dat/Misra1a-start1.dat");
  const std::string misra(std::istreambuf_iterator<char>(in), {});
  const double any = std::nan("");
  const struct {
    std::string file;
    int32_t iwt;
    double p1, p2, digits;  // the parameters to `digits` significant digits, where given
  } cases[] = {{power.text(), 3, any, any, 0},
               {arrhenius.text(), 3, any, any, 0},
               {decades.text(), 3, any, any, 0},
               {counts.text(), 3, any, any, 0},
               {misra, 3, any, any, 0},
               {stretches.text(), 3, 3, 0.5, 1e-3},
               {peak.text(), 3, 1, 10, 1e-3},
               {counts.text(), 1, any, any, 0},
               {line_with_outlier().text(), 1, any, any, 0},
               {residue.text(), 1, 7.5, any, 1e-6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.substr(0, c.file.find('\n')) + " weighting " + std::to_string(c.iwt));
    fit(c.file, c.iwt);
    EXPECT_TRUE(main_subs::every_block_reported) << last_text();
    for (const auto& [i, p] : {std::pair{1, c.p1}, {2, c.p2}}) {
      if (p == p) {
        EXPECT_NEAR(common_data::pfinal(i), p, c.digits * p);
      }
    }
  }
}

}  // namespace
