// The reference data files against NIST's originals: the start values on line 2, the bounds
// on lines 3 and 4 by the folder's rule, and every data row (x values first, then y; Nelson's y
// as ln y). A data file that drifted from its original would make every fit checked against
// the certified values wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/nist_problem.hpp"

namespace {

using Row = std::vector<double>;

Row numbers(const std::string& line) {
  std::istringstream in(line);
  Row values;
  for (std::string field; in >> field;) values.push_back(std::stod(field));
  return values;
}

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// NIST's file: per parameter {start 1, start 2, certified, its standard error}, and the data
// rows as printed (y first).
struct Original {
  std::vector<Row> parameters;
  std::vector<Row> rows;
};

Original read_original(const std::string& name) {
  Original o;
  bool in_data = false;
  for (const std::string& line : lines_of(testsupport::nist_dir() + "/original/" + name + ".dat")) {
    const size_t eq = line.find(" = ");
    if (in_data) {
      if (!numbers(line).empty()) o.rows.push_back(numbers(line));
    } else if (line.rfind("Data:", 0) == 0 && line.find('y') < line.find('(')) {
      in_data = true;  // "Data:   y   x", not "Data:   1 Response (y ...)"
    } else if (line.rfind("  b", 0) == 0 && eq != std::string::npos) {
      o.parameters.push_back(numbers(line.substr(eq + 3)));
    }
  }
  return o;
}

// The folder's bounds rule: one decade beyond the magnitudes of the starts and the certified
// value, rounded outwards to powers of ten (all three share a sign in every problem).
std::pair<double, double> bounds_of(const Row& p) {
  const double lo = std::min({std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
  const double hi = std::max({std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
  const double down = std::pow(10.0, std::floor(std::log10(lo)) - 1);
  const double up = std::pow(10.0, std::ceil(std::log10(hi)) + 1);
  return p[2] > 0 ? std::pair{down, up} : std::pair{-up, -down};
}

TEST(NistDataFiles, MatchTheirOriginals) {
  for (const std::string& name : testsupport::nist_problem_names()) {
    SCOPED_TRACE(name);
    const Original o = read_original(name);
    ASSERT_FALSE(o.parameters.empty());
    for (int32_t start = 1; start <= 2; ++start) {
      const std::vector<std::string> dat = lines_of(testsupport::nist_dir() + "/dat/" + name +
                                                    "-start" + std::to_string(start) + ".dat");
      ASSERT_EQ(dat.size(), 5 + o.rows.size() + 1) << "rows and END";
      EXPECT_EQ(dat.back(), "END");
      const Row starts = numbers(dat[1]), lower = numbers(dat[2]), upper = numbers(dat[3]);
      ASSERT_EQ(starts.size(), o.parameters.size());
      for (size_t k = 0; k < starts.size(); ++k) {
        EXPECT_EQ(starts[k], o.parameters[k][start - 1]) << "P" << k + 1;
        const auto [lo, hi] = bounds_of(o.parameters[k]);
        EXPECT_DOUBLE_EQ(lower[k], lo) << "P" << k + 1;
        EXPECT_DOUBLE_EQ(upper[k], hi) << "P" << k + 1;
      }
      for (size_t i = 0; i < o.rows.size(); ++i) {
        const Row& nist = o.rows[i];
        const Row row = numbers(dat[5 + i]);
        ASSERT_EQ(row.size(), nist.size()) << "line " << 6 + i;
        for (size_t j = 1; j < nist.size(); ++j) EXPECT_EQ(row[j - 1], nist[j]) << "line " << 6 + i;
        const double y = name == "Nelson" ? std::log(nist[0]) : nist[0];
        EXPECT_NEAR(row.back(), y, 1e-15 * std::fabs(y)) << "line " << 6 + i;
      }
    }
  }
}

}  // namespace
