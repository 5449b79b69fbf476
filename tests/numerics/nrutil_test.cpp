#include "numerics/nrutil.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

const double kNaN = std::nan("");
const double kInf = std::numeric_limits<double>::infinity();

VecView<const double> view(const std::vector<double>& v) {
  return VecView<const double>(v.data(), static_cast<long>(v.size()));
}

TEST(RvalNan, ReplacesNaNAndValuesWithoutAUnit) {
  struct Case {
    double x, v, expected;
  };
  const Case cases[] = {
      {kNaN, 1.0, 1.0},
      {kInf, 2.0, 2.0},
      {-kInf, 2.0, 2.0},
      {1e20, 3.0, 3.0},
      {-1e20, 3.0, 3.0},
      {1e15, 3.0, 1e15},
      {0.0, 3.0, 0.0},
      {18014398509481984.0, 4.0, 4.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    double x = c.x;
    nrutil::rval_nan(x, c.v);
    EXPECT_EQ(x, c.expected);
  }
  double x = kNaN;
  nrutil::rval_nan(x, kNaN);
  EXPECT_TRUE(std::isnan(x));
}

TEST(RvecNan, GuardsEveryElementOfAStridedView) {
  // A column-major 2 x 3 matrix; its first row is elements 1, 3, 5.
  std::vector<double> m = {kNaN, kNaN, 1.0, kInf, 1e20, 5.0};
  nrutil::rvec_nan(VecView<double>(m.data(), 3, 2), -1.0);
  EXPECT_EQ(m[0], -1.0);
  EXPECT_TRUE(std::isnan(m[1]));  // second row untouched
  EXPECT_EQ(m[2], 1.0);
  EXPECT_EQ(m[3], kInf);
  EXPECT_EQ(m[4], -1.0);
}

TEST(RvecStats, MeanStdevAndMedian) {
  double r = -1.0;
  nrutil::rvec_mean(2, 4, view({9, 1, 2, 3}), r);
  EXPECT_EQ(r, 2.0);
  nrutil::rvec_stdev(2, 4, view({9, 1, 2, 3}), r);
  EXPECT_EQ(r, 1.0);
  nrutil::rvec_stdev1(4, view({1, 2, 3, 4}), r);
  EXPECT_DOUBLE_EQ(r, std::sqrt(5.0 / 3.0));
  nrutil::rvec_stdev1(1, view({7}), r);
  EXPECT_EQ(r, 0.0);
  nrutil::rvec_stdev(3, 2, view({1, 2, 3}), r);
  EXPECT_EQ(r, 0.0);
  nrutil::rvec_stdev1(0, view({}), r);
  EXPECT_EQ(r, 0.0);

  const std::vector<double> odd = {3, 1, 2};
  nrutil::rvec_median(view(odd), 3, r);
  EXPECT_EQ(r, 2.0);
  EXPECT_EQ(odd, (std::vector<double>{3, 1, 2}));  // input not changed
  nrutil::rvec_median(view({4, 1, 3, 2}), 4, r);
  EXPECT_EQ(r, 2.5);
  nrutil::rvec_median(view({6.5}), 1, r);
  EXPECT_EQ(r, 6.5);
}

TEST(Sortwt, SortsAscendingAndLeavesShortArraysAlone) {
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> value(-5, 5);
  for (int n : {2, 3, 4, 5, 8, 17, 100}) {
    SCOPED_TRACE(n);
    std::vector<double> a(n);
    for (double& x : a) x = value(gen);  // many ties
    std::vector<double> expected = a;
    std::sort(expected.begin(), expected.end());
    nrutil::sortwt(n, VecView<double>(a.data(), n));
    EXPECT_EQ(a, expected);
  }
  std::vector<double> one = {3.0};
  nrutil::sortwt(1, VecView<double>(one.data(), 1));
  EXPECT_EQ(one[0], 3.0);
  nrutil::sortwt(0, VecView<double>(one.data(), 1));
  EXPECT_EQ(one[0], 3.0);
}

TEST(Diag, RectangularMatrixChangesOnlyItsDiagonal) {
  std::vector<double> m(6, 1.0);  // 2 x 3, column-major
  nrutil::diagadd_r(MatView<double>(m.data(), 2, 3, 2), 2.0);
  EXPECT_EQ(m, (std::vector<double>{3, 1, 1, 3, 1, 1}));
  nrutil::diagmult_r(MatView<double>(m.data(), 2, 3, 2), 4.0);
  EXPECT_EQ(m, (std::vector<double>{12, 1, 1, 12, 1, 1}));
  std::vector<double> t(6, 1.0);  // 3 x 2
  nrutil::diagadd_r(MatView<double>(t.data(), 3, 2, 3), 1.0);
  EXPECT_EQ(t, (std::vector<double>{2, 1, 1, 1, 2, 1}));
}

TEST(FDate, FixedFormInEnglishPaddedTo30) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(nrutil::f_date_at(0), "Thu Jan  1 00:00:00 1970      ");
  EXPECT_EQ(nrutil::f_date_at(1796617319), "Mon Dec  7 04:21:59 2026      ");
  EXPECT_EQ(nrutil::f_date_at(1794009600 + 86400 * 10 + 3600 * 13 + 5),
            "Tue Nov 17 13:00:05 2026      ");
  EXPECT_EQ(nrutil::f_date().size(), 30u);
}

}  // namespace

namespace {

std::vector<std::string> print(const std::vector<double>& v, int32_t n, int32_t step) {
  std::vector<std::string> lines;
  nrutil::vecprn([&](std::string_view line) { lines.emplace_back(line); },
                 VecView<const double>(v.data(), static_cast<long>(v.size())),
                 n,
                 step);
  return lines;
}

TEST(Vecprn, NumbersOverValuesInBlocks) {
  EXPECT_EQ(print({1.5, -2.0, 1234.56}, 3, 3),
            (std::vector<std::string>{"     1            2            3",
                                      "  1.500E+00   -2.000E+00    1.235E+03"}));
  // Blocks of two: numbers and values per block.
  EXPECT_EQ(print({1.0, 2.0, 3.0}, 3, 2),
            (std::vector<std::string>{
                "     1            2", "  1.000E+00    2.000E+00", "     3", "  3.000E+00"}));
  // A step below 1 prints one block instead of looping for ever.
  EXPECT_EQ(print({4.0}, 1, 0), (std::vector<std::string>{"     1", "  4.000E+00"}));
}

TEST(Vecprn, MoreThanTenItemsContinueWithoutTheLeadingBlanks) {
  std::vector<double> v(12, 0.5);
  const std::vector<std::string> lines = print(v, 12, 12);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 19), "     1            2");
  EXPECT_EQ(lines[1], "11           12");
  EXPECT_EQ(lines[3], " 5.000E-01    5.000E-01");
}

TEST(Vecprn, ElementNumbersAbove99PrintAsAsterisks) {
  std::vector<double> v(100, 1.0);
  const std::vector<std::string> lines = print(v, 100, 100);
  ASSERT_EQ(lines.size(), 20u);  // ten lines of numbers, then ten of values
  EXPECT_EQ(lines[9],
            "91           92           93           94           95           96  "
            "         97           98           99           **");
}

}  // namespace
