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
      {1.0, 1, 0.75, 1e-15},
      {1.2, 2, 0.5 + 1.2 / (2.0 * std::sqrt(1.44 + 2.0)), 1e-15},
      {0.7, 1, 0.69440011221421478, 1e-14},
      {-1.5, 7, 0.088649243494985016577, 1e-13},
      {2.0, 5, 0.94903026058507082188, 1e-14},
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
    double rtol;
  };
  const Case cases[] = {
      {"significant", 2, 12, 2.0, 1.0, 0.036694017385370182809, 1.0, 1, 1e-13},
      {"not significant", 1, 4, -0.5, -0.25, 0.069662984279421588424, 0.25, 0, 1e-13},
      {"zero se gives the least p", 2, 12, 1.0, 0.0, kFloor, 0.0, 1, 0.0},
      {"no degrees of freedom", 3, 3, 5.0, 1.0, 1.0, 1.0, 0, 0.0},
      {"negative degrees of freedom", 4, 3, 5.0, 1.0, 1.0, 1.0, 0, 0.0},
      {"huge se is kept", 2, 12, 1.0, 1e30, 0.5, 1e30, 0, 1e-15},
      {"tiny se is kept", 2, 12, 3e-30, 1e-30, 0.0066718275112848, 1e-30, 1, 1e-13},
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

// A small p is the upper tail itself, not the rounding left of 1 less the distribution
// function: to 3 digits and far better down to the floor 2.22E-20, which stays, and falling as
// |t| grows. Expected: I_x(df/2, 1/2) / 2 with x = df / (df + t^2), mpmath's betainc at 40
// digits (python3).
TEST(Ppval, SmallPValuesAreTheUpperTailItself) {
  struct Case {
    int32_t df;
    double t, p;
  };
  const Case cases[] = {
      {1, 1e9, 3.1830988618379067143e-10},   {1, 1e15, 3.1830988618379067154e-16},
      {2, 1e5, 4.9999999992500000001e-11},   {3, 2000, 1.3783209980654622463e-10},
      {5, 60, 1.2168188794991898881e-8},     {5, 300, 3.9049537289611038125e-12},
      {8, 30, 8.2676283758948736471e-10},    {8, 225.25, 8.4454565462110534358e-17},
      {17, 12, 5.0311577632109512783e-10},   {17, 30, 1.8264663409562943352e-16},
      {17, 82, kFloor /* 7.8424575929968475332e-24 */},
      {26, 15, 1.2885867219655887861e-14},   {100, 9, 7.6803852573752068501e-15},
      {997, 10, kFloor /* 8.3918586197239315457e-23 */},
      {4, 3, 0.019970984035859413638},       {9, 1.5, 0.083925328028537410285},
      {30, 0.4, 0.34599525825709600264},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "df=" << c.df << " t=" << c.t);
    double p = -1.0, se = 1.0;
    int32_t flag = -1;
    ppval(p, flag, 2, 2 + c.df, c.t, se);
    // lgamma of df / 2 bounds the precision for hundreds of degrees of freedom.
    EXPECT_NEAR_REL(p, c.p, 1e-11);
  }
  for (int32_t df = 1; df <= 30; ++df) {
    SCOPED_TRACE(df);
    double last = 1.0;
    for (double t = 1.0; t < 1e12; t *= 1.1) {
      double p = 0.0, se = 1.0;
      int32_t flag = 0;
      ppval(p, flag, 2, 2 + df, t, se);
      ASSERT_LE(p, last) << "t=" << t;
      last = p;
    }
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
