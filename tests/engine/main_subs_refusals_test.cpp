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

#include "engine/main_subs.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/main_subs_fixture.hpp"
#include "support/nist_problem.hpp"

namespace {

using mainsubtest::MainSubTest;

// A data file's content: its model, lines 2 to 4 (every parameter free) and rows (x, y).
struct Data {
  std::string model;
  std::vector<double> start, lo, hi;
  std::vector<bool> in_y_unit;  // the parameters that carry Y's unit
  std::vector<std::pair<double, double>> rows;

  // The file with Y, and the starts and bounds of the parameters in Y's unit, times `unit`.
  std::string text(double unit = 1.0) const {
    std::string out = model + "\n";
    for (const std::vector<double>* line : {&start, &lo, &hi}) {
      for (size_t i = 0; i < line->size(); ++i) {
        out += (i ? " " : "") + number((*line)[i] * (in_y_unit[i] ? unit : 1.0));
      }
      out += "\n";
    }
    for (size_t i = 0; i < start.size(); ++i) out += i ? " 1" : "1";
    out += "\n";
    for (const auto& [x, y] : rows) out += number(x) + " " + number(y * unit) + "\n";
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

// Only rows beyond 2^26.5 (9.49E+07) times the largest |y| of all others are marks, and at most
// half of the rows: data over many decades, a genuine outlier, a share of the data above half
// and one nonzero value among zeros are not.
TEST(MainSubMarkRows, FindsOnlyRowsBeyondThePrecisionOfASumOfSquares) {
  std::vector<double> decay, decades;
  for (int32_t i = 0; i <= 24; ++i) decay.push_back(1e6 * std::exp(-0.5756 * i));  // to 1
  for (int32_t k = -3; k <= 9; ++k) decades.push_back(std::pow(10.0, k));
  const struct {
    const char* name;
    std::vector<double> y;
    int32_t first, count;
  } cases[] = {
      {"a mark among values 1 to 9", {9, 7, 1e30, 5, 3, 1}, 3, 1},
      {"a negative mark", {2, -1e30, 3, 4}, 2, 1},
      {"a mark among zeros and values", {0, 0, 5, 1e30}, 4, 1},
      {"just beyond the limit", {1, 0.5, 9.5e7, 1}, 3, 1},
      {"just within the limit", {1, 0.5, 9.4e7, 1}, 0, 0},
      {"a decay from 1E+6 counts to 1", decay, 0, 0},
      {"data from 1E-3 to 1E+9", decades, 0, 0},
      {"an outlier 100 times the others", {2, 5, 8, 11, 14, 1700}, 0, 0},
      {"-999999 among values 5 to 100", {5, 15, -999999, 36, 100}, 0, 0},
      {"two marks alike", {3, 1e30, 2, 3, 1e30}, 2, 2},
      {"marks of either sign and two sizes", {-1e30, 2, 9.9e37, 3}, 1, 2},
      {"marks in more than half the rows", {1e30, 2, 1e30, 1e30, 3}, 0, 0},
      {"one value among zeros", {0, 0, 7, 0}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto marks = main_subs::mark_rows({c.y.data(), int32_t(c.y.size())}, int32_t(c.y.size()));
    EXPECT_EQ(marks.first, c.first);
    EXPECT_EQ(marks.count, c.count);
  }
}

// A row beyond that limit is refused before the fit, whatever the weighting, the units and the
// bounds: an Error dialog naming its line and data row, a data error, no report and no run-log
// line. Without the refusal the searches follow the mark (P3 = 3.6E+28 outside its bounds).
TEST_F(RefusalTest, ARowThatLeavesTheOthersNoSayIsRefusedBeforeTheFit) {
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
  const struct {
    const Data* data;
    const char* says;
  } cases[] = {
      {&decay, "Line 18 (data row 13) holds Y = 1.0E+"},
      {&wide, "Line 18 (data row 13) holds Y = 1.0E+"},
      {&twice, "Line 10 (data row 5) holds Y = 1.0E+"},
      {&line, "Line 15 (data row 10) holds Y = -1.0E+"},
  };
  for (const auto& c : cases) {
    for (const auto& [unit, exponent] : {std::pair{1e-12, "18"}, {1.0, "30"}, {1e12, "42"}}) {
      for (int32_t iwt = 1; iwt <= 5; ++iwt) {
        SCOPED_TRACE(c.says + std::string(exponent) + " weighting " + std::to_string(iwt));
        globals::bdataerror = 0;
        std::filesystem::remove(dir.path() / "Varqen-runlog.txt");
        EXPECT_EQ(fit(c.data->text(unit), iwt), "");
        EXPECT_FALSE(main_subs::every_block_reported);
        EXPECT_EQ(globals::bdataerror, 1);
        EXPECT_EQ(last_text().rfind(c.says + std::string(exponent) + ", ", 0), 0u) << last_text();
        EXPECT_FALSE(exists("Varqen-runlog.txt"));
      }
    }
  }
}

// A row whose value no parameter reaches (the model is 0 at X1 = 10 whatever P1 and P2) and
// 1E+7 times the others leaves the unweighted sum flat to rounding: the message names the row by
// its line of the file, as the data file's other messages do, and by its data row.
TEST_F(RefusalTest, AFlatSumNamesTheLineOfItsDominantRow) {
  Data d{"Y=(P1+P2*X1)*(X1-10)", {1, 1}, {-100, -100}, {100, 100}, {true, true}, {}};
  for (int32_t x = 1; x <= 9; ++x) d.rows.push_back({x, 2.0 + 0.5 * x});
  d.rows.push_back({10, 6.5e7});
  for (const auto& [unit, y] : {std::pair{1e-12, "6.5E-05"}, {1.0, "6.5E+07"}, {1e12, "6.5E+19"}}) {
    for (int32_t iwt : {1, 2}) {
      SCOPED_TRACE(y + std::string(" weighting ") + std::to_string(iwt));
      const std::string first = fit(d.text(unit), iwt);
      EXPECT_FALSE(main_subs::every_block_reported);
      EXPECT_NE(first.find("it is flat to rounding"), std::string::npos) << first;
      EXPECT_NE(first.find("Line 15 (data row 10), Y = " + std::string(y) + ", is 1.0E+07 times"),
                std::string::npos)
          << first;
    }
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

// Weighting 3 (1/Y^2) divides each residual by its fitted value, and its sum tends to the row
// count as the fitted values grow: one row far from the others pulls the fit away from all of
// them (P1 = P2 = 95 at the bounds, fitted values 40 times the data). Such a fit ends on the
// error path, in any units, with no run-log line.
TEST_F(RefusalTest, AWeightingThreeFitThatRunsAwayFromTheDataEndsOnTheErrorPath) {
  for (const Data& d : {line_with_outlier(), line_with_negative_row()}) {
    for (const double unit : {1e-12, 1.0, 1e12}) {
      SCOPED_TRACE(d.text(unit));
      std::filesystem::remove(dir.path() / "Varqen-runlog.txt");
      const std::string first = fit(d.text(unit), 3);
      EXPECT_FALSE(main_subs::every_block_reported);
      EXPECT_EQ(
          first.rfind(" RUN ENDED IN ERROR: The fitted values are nowhere near the data: ", 0), 0u)
          << first;
      EXPECT_FALSE(exists("Varqen-runlog.txt"));
    }
  }
}

// Fits over many decades complete: at weighting 3 a power law over 9 decades, Arrhenius, data
// from 1E-3 to 1E+9, a decay from 1E+6 counts to a few and Misra1a; at weighting 1 that decay and
// the line with an outlier 100 times the others.
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
  std::ifstream in(testsupport::nist_dir() + "/dat/Misra1a-start1.dat");
  const std::string misra(std::istreambuf_iterator<char>(in), {});
  const struct {
    std::string file;
    int32_t iwt;
  } cases[] = {{power.text(), 3},
               {arrhenius.text(), 3},
               {decades.text(), 3},
               {counts.text(), 3},
               {misra, 3},
               {counts.text(), 1},
               {line_with_outlier().text(), 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.substr(0, c.file.find('\n')) + " weighting " + std::to_string(c.iwt));
    fit(c.file, c.iwt);
    EXPECT_TRUE(main_subs::every_block_reported) << last_text();
  }
}

}  // namespace
