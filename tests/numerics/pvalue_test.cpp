#include "numerics/pvalue.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/close.hpp"

namespace {

constexpr double kFloor = 2.2204460492503132e-20;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(Probst, MatchesTheStudentDistribution) {
  struct Case {
    double t;
    int32_t n;
    double expected;  // closed forms, or the regularised incomplete beta to 20 digits (mpmath)
    double rtol;
  };
  const Case cases[] = {
      {0.0, 1, 0.5, 0.0},
      {0.0, 7, 0.5, 0.0},
      {0.0, 12, 0.5, 0.0},
      {1.0, 1, 0.5 + std::atan(1.0) * 0.3183098862, 0.0},
      {1.2, 2, 0.5 + 1.2 / (2.0 * std::sqrt(1.44 + 2.0)), 1e-15},
      // 0.3183098862 is 1/pi to ten digits, so odd n agrees with the exact value to ~1e-10.
      {0.7, 1, 0.69440011221421478, 1e-10},
      {-1.5, 7, 0.088649243494985016577, 1e-9},
      {2.0, 5, 0.94903026058507082188, 1e-10},
      {2.0, 10, 0.96330598261462981719, 1e-14},
      {3.0, 30, 0.99730501796717402669, 1e-14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "t=" << c.t << " n=" << c.n);
    if (c.rtol == 0.0) {
      EXPECT_EQ(probst(c.t, c.n), c.expected);
    } else {
      EXPECT_NEAR_REL(probst(c.t, c.n), c.expected, c.rtol);
    }
  }
  EXPECT_EQ(probst(2.0, 0), 0.0);
  EXPECT_EQ(probst(2.0, -3), 0.0);
}

TEST(Ppval, UpperTailAndSignificanceFlag) {
  struct Case {
    const char* what;
    int32_t npar, nobs;
    double coef, se_in;
    double p, se_out;
    int32_t flag;
    double rtol;  // odd degrees of freedom carry the ten-digit 1/pi: about 1e-10
  };
  const Case cases[] = {
      {"significant", 2, 12, 2.0, 1.0, 0.036694017385370182809, 1.0, 1, 1e-13},
      {"not significant", 1, 4, -0.5, -0.25, 0.069662984279421588424, 0.25, 0, 1e-9},
      {"zero se gives the least p", 2, 12, 1.0, 0.0, kFloor, 0.0, 1, 0.0},
      {"no degrees of freedom", 3, 3, 5.0, 1.0, 1.0, 1.0, 0, 0.0},
      {"negative degrees of freedom", 4, 3, 5.0, 1.0, 1.0, 1.0, 0, 0.0},
      {"huge se is kept", 2, 12, 1.0, 1e30, 0.5, 1e30, 0, 1e-15},
      {"tiny se is kept", 2, 12, 3e-30, 1e-30, 0.0066718275112848, 1e-30, 1, 1e-10},
      {"zero coefficient", 2, 12, 0.0, 1.0, 0.5, 1.0, 0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double p = -1.0;
    int32_t flag = -1;
    double se = c.se_in;
    ppval(p, flag, c.npar, c.nobs, c.coef, se);
    EXPECT_TRUE(testsupport::near_rel(p, c.p, c.rtol));
    EXPECT_EQ(flag, c.flag);
    EXPECT_EQ(se, c.se_out);
  }
}

TEST(Ppval, NotANumberGivesNoTest) {
  double p = -1.0;
  int32_t flag = -1;
  double se = kNan;
  ppval(p, flag, 2, 12, 1.0, se);
  EXPECT_EQ(p, 1.0);
  EXPECT_EQ(flag, 0);
  EXPECT_TRUE(std::isnan(se));

  se = 1.0;
  ppval(p, flag, 2, 12, kNan, se);
  EXPECT_EQ(p, 1.0);
  EXPECT_EQ(flag, 0);
}

TEST(T95, TableAndInterpolation) {
  struct Case {
    int32_t n;
    double expected;
  };
  const Case cases[] = {{-5, 2.0},
                        {0, 2.0},
                        {1, 12.71},
                        {2, 4.3},
                        {10, 2.23},
                        {20, 2.09},
                        {21, 2.08},
                        {30, 2.04},
                        {31, 2.05},
                        {35, 2.04},
                        {40, 2.03},
                        {60, 2.01},
                        {61, 2.0},
                        {200, 1.97},
                        {100000, 1.96}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(t95(c.n), c.expected);
  }
}

}  // namespace
