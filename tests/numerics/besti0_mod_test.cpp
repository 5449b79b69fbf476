#include "numerics/besti0_mod.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "support/close.hpp"

namespace {

TEST(Besti0, SeriesAndAsymptoticBranches) {
  struct Case {
    double x;
    double expected;
    double rtol;
  };
  // Branch values computed by hand from the six-term sums; the exact I0(2) - 1 is 1.2795853.
  const double s4 = 1.0 + 1.0 / 8 / 4 + 9.0 / 128 / 16 + 225.0 / 3072 / 64 + 11025.0 / 98304 / 256 +
                    893025.0 / 3932160 / 1024;
  const Case cases[] = {
      {0.0, 0.0, 0.0},
      {1e-7, 0.0, 0.0},
      {-2.9e-7, 0.0, 0.0},
      {2.0, 1.0 + 16.0 / 64 + 64.0 / 2304 + 256.0 / 147456 + 1024.0 / 14745600, 1e-15},
      {-2.0, 1.0 + 16.0 / 64 + 64.0 / 2304 + 256.0 / 147456 + 1024.0 / 14745600, 1e-15},
      {4.0, 4.0 + 256.0 / 64 + 4096.0 / 2304 + 65536.0 / 147456 + 1048576.0 / 14745600, 1e-15},
      {4.0000001, std::exp(4.0000001) * s4 / std::sqrt(6.283185307179586 * 4.0000001) - 1.0, 1e-6},
      {690.0, std::exp(690.0) / std::sqrt(6.283185307179586 * 690.0), 1e-3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    if (c.rtol == 0.0) {
      EXPECT_EQ(besti0_mod::besti0(c.x), c.expected);
    } else {
      EXPECT_NEAR_REL(besti0_mod::besti0(c.x), c.expected, c.rtol);
    }
  }
  EXPECT_NEAR(besti0_mod::besti0(2.0), 1.2795833, 1e-7);
  EXPECT_NEAR(besti0_mod::besti0(4.0), 10.29333, 1e-5);
  EXPECT_NEAR(besti0_mod::besti0(4.0000001), 10.29860, 1e-5);
  EXPECT_EQ(besti0_mod::besti0(-3.0), besti0_mod::besti0(3.0));
}

TEST(Besti0, BeyondTheLargestArgumentReportsAndReturnsTheBoundValue) {
  ::testing::internal::CaptureStdout();
  const double v = besti0_mod::besti0(-700.0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            " \nBesselI0 - Fatal error!\n|x| is greater than xmax.\n"
            "Xmax=       690.783  |x|=       700.000\n");
  EXPECT_EQ(v, std::exp(690.782712893384) - 1.0);
  EXPECT_TRUE(std::isfinite(v));
}

}  // namespace
