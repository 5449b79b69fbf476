// The tests of the fit run that one row of the data can defeat: a sum of squares flat to
// rounding at the final values, named by the line of its dominant row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "engine/main_subs.hpp"
#include "engine/main_subs_fixture.hpp"

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

class FlatTest : public MainSubTest {
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

// A row whose value no parameter reaches (the model is 0 at X1 = 10 whatever P1 and P2) and
// 1E+7 times the others leaves the unweighted sum flat to rounding: the message names the row by
// its line of the file, as the data file's other messages do, and by its data row.
TEST_F(FlatTest, AFlatSumNamesTheLineOfItsDominantRow) {
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

}  // namespace
