// The parameter line and the progress percentage of the cascade's display.
#include "engine/sharc_progress.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sharc_cascade.hpp"
#include "numerics/stringlib.hpp"

namespace {

std::string line(const std::vector<double>& p, int32_t n, int32_t len = 256) {
  std::vector<double> q = p;
  q.resize(10, 0.0);
  std::string text(static_cast<size_t>(len), '#');
  sharc_mod::displaypar(VecView<const double>(q.data(), 10), n, text, len);
  EXPECT_EQ(static_cast<int32_t>(text.size()), len);
  return stringlib::trim(text);
}

TEST(Displaypar, LayoutPerParameterCount) {
  const std::vector<double> p = {2.5, -0.125, 1e-3, 300.0, 7.0, 8.0, 9.0, 10.0, 11.0, 12.0};
  struct Case {
    int32_t n;
    const char* text;
  };
  const Case cases[] = {
      {1, "[ P1 = 2.5000000 ]"},
      {2, "[ P1 = 2.5000000 P2 = -0.12500000 ]"},
      {3, "[ P1=2.5000000 P2=-0.12500000 P3=0.10000000E-02 ]"},
      {4, "[ P1=2.5000000, P2=-0.12500000, P3=0.10000000E-02, P4=300.00000 ]"},
      {5, "[ P1=2.5000000, P2=-0.12500000, P3=0.10000000E-02, P4=300.00000,\r\n  P5=7.0000000 ]"},
      {8,
       "[ P1=2.5000000, P2=-0.12500000, P3=0.10000000E-02, P4=300.00000,\r\n"
       "  P5=7.0000000, P6=8.0000000, P7=9.0000000, P8=10.000000 ]"},
      {10, "( P(1) = 2.5000000 )"},
      {0, "( P(1) = 2.5000000 )"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(line(p, c.n), c.text);
  }
}

TEST(Displaypar, LongLineIsCutToTheBuffer) { EXPECT_EQ(line({2.5}, 1, 10), "[ P1 = 2.5"); }

TEST(ProgressPercent, SinglePrecisionOperandsAndCap) {
  struct Case {
    int32_t stage;
    int32_t limit;
    double percent;
  };
  const Case cases[] = {
      {1, 90, 200.0 / 89.0},
      {45, 90, 100.0},  // full after 45 stages with the stage code 91
      {44, 90, 200.0 * 44.0 / 89.0},
      {10, 101, 20.0},
      // 16777217 is not a float: it reads as 16777216, so the percentage is exactly 50.
      {16777217, 67108865, 50.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stage);
    sharc_mod::stage_count.store(c.stage);
    sharc_mod::stage_limit.store(c.limit);
    EXPECT_EQ(sharc_mod::progress_percent(), c.percent);
  }
  sharc_mod::stage_count.store(1);
  sharc_mod::stage_limit.store(101);
}

}  // namespace
