// The protected operations of the evaluator and the elementary functions behind them.
#include "model/operators.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/fparser.hpp"
#include "support/close.hpp"

namespace {

constexpr double kEps = 2.220446049250313e-16;
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

// Evaluates a formula of P1 and P2.
double eval(const std::string& text, double p1, double p2 = 0.0) {
  static const std::vector<std::string> names = {"P1", "P2"};
  fparser::initf(1);
  int32_t ierr = -1;
  fparser::parsef(1, text, names, &ierr, 0);
  EXPECT_EQ(ierr, 0) << text;
  return fparser::evalf(1, std::vector<double>{p1, p2});
}

TEST(Evalf, ProtectedValues) {
  fparser::reset();
  struct Case {
    const char* text;
    double p1, p2;
    double expected;
  };
  const Case cases[] = {
      {"P1/0", 2, 0, 2.0 / 1e-9},
      {"P1/P2", 2, 0, 2.0 / 1e-9},
      {"0^0", 0, 0, kEps},
      {"P1^P2", 0, -1, kEps},
      {"P1^3", 1e-17, 0, kEps},
      {"5^0", 0, 0, 1.0},
      {"P1^P2", 5, 1e-17, 1.0},
      {"P1^2", -3, 0, 9.0},
      {"P1^3", -3, 0, -27.0},
      {"P1^P2", 2, 0.5, std::sqrt(2.0)},
      {"EXP(100)", 0, 0, 5.54062238439351e34},
      {"EXP(P1)", -100, 0, 1.8048513878454153e-35},
      {"EXP(P1)", 1e-20, 0, 1.0},
      {"EXP(P1)", 1e20, 0, 1.0},
      {"EXP(P1)", kNaN, 0, 1.0},
      {"EXP(P1)", kInf, 0, 1.0},
      {"EXP(1)", 0, 0, std::exp(1.0)},
      {"LOG(0)", 0, 0, -36.0},
      {"LOG(P1)", -1e-20, 0, 36.0},
      {"LOG(P1)", 1e300, 0, 36.0},
      {"LOG(P1)", -1e300, 0, -36.0},
      {"LOG(P1)", 0.5, 0, std::log(0.5)},
      {"LOG(P1)", -0.5, 0, -std::log(0.5)},
      {"LOG(P1)", 1.0000001, 0, std::log(1.0000001)},
      {"LOG(P1)", kNaN, 0, -36.0},
      {"LOG(P1)", -kInf, 0, 36.0},
      {"LOG(P1)", 4.5e15, 0, 36.0},
      {"LOG10(0)", 0, 0, -16.0},
      {"LOG10(0.01)", 0, 0, -2.0},
      {"LOG10(-100)", 0, 0, -2.0},
      {"SQRT(-4)", 0, 0, 2.0},
      {"SQRT(0)", 0, 0, 0.0},
      {"TANH(0)", 0, 0, 1e-9},
      {"TANH(2E9)", 0, 0, 1.0},
      {"TANH(-2E9)", 0, 0, -1.0},
      {"TANH(1)", 0, 0, std::tanh(1.0)},
      {"(P1<P2)", 1, 2, 1.0},
      {"(P1[P2)", 2, 2, 1.0},
      {"(P1>P2)", 1, 2, 0.0},
      {"(P1]P2)", 2, 2, 1.0},
      {"(P1=P2)", 2, 2, 1.0},
      {"(P1#P2)", 2, 2, 0.0},
      {"(P1:P2)", 1, 2, 1.0},
      {"(P1|P2)", 1, 2, 2.0},
      {"RD(2.5)", 0, 0, 3.0},
      {"RD(-2.5)", 0, 0, -3.0},
      {"ABS(-2)", 0, 0, 2.0},
      {"ASIN(2)+P1", 5, 0, 0.0},
      {"ACOS(-2)*0+1", 0, 0, 0.0},
      {"ASIN(1)", 0, 0, std::asin(1.0)},
      {"OMEGW(1)", 0, 0, 0.5671432904097838},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(eval(c.text, c.p1, c.p2), c.expected);
  }
}

TEST(Evalf, AsinOutOfRangeSetsTheErrorMarkUntilTheNextCompleteRun) {
  fparser::reset();
  EXPECT_EQ(eval("ASIN(P1)", 2.0), 0.0);
  EXPECT_EQ(fparser::evalerrtype, 4);
  EXPECT_NEAR(fparser::evalf(1, std::vector<double>{0.5, 0.0}), std::asin(0.5), 1e-15);
  EXPECT_EQ(fparser::evalerrtype, 0);
}

TEST(Evalf, FusedProgramGivesTheValuesOfTheBytecodeRunCodeByCode) {
  fparser::reset();
  const std::vector<std::string> names = {"P1", "P2", "X1"};
  const std::vector<std::vector<double>> rows = {
      {2.0, 3.0, 0.5}, {0.0, 0.0, 0.0}, {-1.5, 1e-17, 7}};
  for (const char* text : {"P1+X1-P2*X1/P1^X1",
                           "P1+2-3*P2/0^2",
                           "X1^3*P1^2.5+P2^0",
                           "(P1+P2)*(X1-P1)/(P2+X1)",
                           "P1/P2/X1",
                           "-P1^2-X1^3",
                           "P1^X1^P2"}) {
    SCOPED_TRACE(text);
    fparser::initf(1);
    int32_t ierr = -1;
    fparser::parsef(1, text, names, &ierr, 0);
    ASSERT_EQ(ierr, 0);
    for (const std::vector<double>& row : rows) {
      fparser::prepare_program(fparser::comp(1), true);
      const double fused = fparser::evalf(1, row);
      fparser::prepare_program(fparser::comp(1), false);
      const double plain = fparser::evalf(1, row);
      EXPECT_TRUE(fused == plain || (std::isnan(fused) && std::isnan(plain)))
          << fused << " " << plain;
    }
  }
}

TEST(Qexp, MatchesTheExponentialAndClampsHugeArguments) {
  // (1 + f/4096)^4096 with its second-order correction leaves about f^3 / 2e8 relative.
  for (double x : {0.5, 1.0, 2.25, -3.7, 39.99, -39.5, 45.0, -60.0}) {
    SCOPED_TRACE(x);
    EXPECT_NEAR_REL(operators::qexp(x), std::exp(x), 1e-8);
  }
  EXPECT_EQ(operators::qexp(kNaN), 1.0);
  EXPECT_EQ(operators::qexp(1e-17), 1.0);
  EXPECT_EQ(operators::qexp(3.0000000001), std::exp(3.0));  // fraction below 1e-6: table value
  EXPECT_EQ(operators::qexp(70.0), 1e32);
  EXPECT_EQ(operators::qexp(-70.0), 1e-32);
  EXPECT_EQ(operators::qexp(kInf), 1e32);
  EXPECT_EQ(operators::qexp(-kInf), 1e-32);
  EXPECT_EQ(operators::qexp(-1e300), 1e-32);
}

TEST(Aln, LogarithmOfTheMagnitudeWithClamps) {
  EXPECT_EQ(operators::aln(-2.0), std::log(2.0));
  EXPECT_EQ(operators::aln(1.0000001), std::log(1.0000001));
  EXPECT_EQ(operators::aln(kNaN), -36.0);
  EXPECT_EQ(operators::aln(-kInf), 36.0);
  EXPECT_EQ(operators::aln(2.2e-16), -36.0);
  EXPECT_EQ(operators::aln(4.5e15), 36.0);
}

TEST(Sqroot, SignedRootWithTinyOffset) {
  EXPECT_EQ(operators::sqroot(4.0), 2.0);
  EXPECT_EQ(operators::sqroot(-9.0), -3.0);
  EXPECT_EQ(operators::sqroot(4e-32), 0.0);
  EXPECT_NEAR_REL(operators::sqroot(1e-30), std::sqrt(1e-30 + 4.930380658e-32), 1e-15);
}

// Each variant's values, from hand computation or the library function it protects; rtol 0
// means bit for bit. The exponentials are built from a table and squarings: 1e-11 covers their
// rounding; aexp's single Newton step leaves up to 1e-10; dpwr inherits qexp's 1e-9; lln's
// eight-term series at e leaves about 3e-7; the library's cube root is within an ulp.
TEST(Operators, ProtectedVariants) {
  const double e = std::exp(1.0);
  struct Case {
    const char* what;
    double got, expected, rtol;
  };
  const Case cases[] = {
      {"pwri(2,10)", operators::pwri(2.0, 10), 1024.0, 0},
      {"pwri(2,-2)", operators::pwri(2.0, -2), 0.25, 0},
      {"pwri(-3,3)", operators::pwri(-3.0, 3), -27.0, 0},
      {"pwri(7,0)", operators::pwri(7.0, 0), 1.0, 0},
      {"pwri(1,INT_MIN)", operators::pwri(1.0, INT32_MIN), 1.0, 0},
      {"pwri(2,INT_MIN)", operators::pwri(2.0, INT32_MIN), 0.0, 0},
      {"fxp(1)", operators::fxp(1.0), e, 1e-11},
      {"fxp(-2.5)", operators::fxp(-2.5), std::exp(-2.5), 1e-11},
      {"fxp(39.99)", operators::fxp(39.99), std::exp(39.99), 1e-11},
      {"fxp(-100)", operators::fxp(-100.0), 3.720076e-44, 0},
      {"fxp(-1e5)", operators::fxp(-1e5), 3.720076e-44, 0},
      {"fxp(50)", operators::fxp(50.0), std::exp(50.0), 0},
      {"aexp(NaN)", operators::aexp(kNaN), 1.0, 0},
      {"aexp(1e20)", operators::aexp(1e20), 2.5e30, 0},
      {"aexp(-1e20)", operators::aexp(-1e20), 1.0 / 2.5e30, 0},
      {"aexp(0.999)", operators::aexp(0.999), std::exp(0.999), 1e-10},
      {"aexp(-17.5)", operators::aexp(-17.5), std::exp(-17.5), 1e-10},
      {"aexp(55)", operators::aexp(55.0), std::exp(55.0), 0},
      {"aexp(80)", operators::aexp(80.0), 2.5e30, 0},
      {"dln(-e)", operators::dln(-e), 1.0, 0},
      {"dln(0)", operators::dln(0.0), -80.0, 0},
      {"dln(4e-32)", operators::dln(4e-32), -80.0, 0},
      {"dln(inf)", operators::dln(-kInf), 2.02824096e31, 0},
      {"lln(1)", operators::lln(1.0), 0.0, 0},
      {"lln(e)", operators::lln(e), 1.0, 5e-7},
      {"lln(-20)", operators::lln(-20.0), std::log(20.0), 0},
      {"lln(0)", operators::lln(0.0), -80.0, 0},
      {"rpwrr(2,3)", operators::rpwrr(2.0, 3.0), 8.0, 0},
      {"rpwrr(2,3+1e-9)", operators::rpwrr(2.0, 3.0 + 1e-9), 8.0, 0},
      {"rpwrr(-2,3)", operators::rpwrr(-2.0, 3.0), -8.0, 0},
      {"rpwrr(2,0.5)", operators::rpwrr(2.0, 0.5), std::sqrt(2.0), 1e-15},
      {"rpwrr(0,2)", operators::rpwrr(0.0, 2.0), 0.0, 0},
      {"rpwrr(0,0)", operators::rpwrr(0.0, 0.0), 1.0, 0},
      {"rpwrr(5,1e-40)", operators::rpwrr(5.0, 1e-40), 1.0, 0},
      {"dpwr(2,3)", operators::dpwr(2.0, 3.0), 8.0, 1e-8},
      {"dpwr(-2,3)", operators::dpwr(-2.0, 3.0), -8.0, 1e-8},
      {"dpwr(-2,2)", operators::dpwr(-2.0, 2.0), 4.0, 1e-8},
      {"dpwr(-4,0.5)", operators::dpwr(-4.0, 0.5), 2.0, 1e-8},
      {"dpwr(0,5)", operators::dpwr(0.0, 5.0), 0.0, 0},
      {"dpwr(0,0)", operators::dpwr(0.0, 0.0), 1.0, 0},
      {"dpwr(10,40)", operators::dpwr(10.0, 40.0), 1e32, 0},
      {"dpwr(10,400)", operators::dpwr(10.0, 400.0), std::exp(65.0), 0},
      {"dpwr(10,-400)", operators::dpwr(10.0, -400.0), std::exp(-65.0), 0},
      {"cuberoot(-27)", operators::cuberoot(-27.0), -3.0, 1e-15},
      {"cuberoot(0.125)", operators::cuberoot(0.125), 0.5, 1e-15},
      {"omega_w(-1/e)", operators::omega_w(-0.36787944117144233), -1.0, 0},
      {"omega_w(-0.2)", operators::omega_w(-0.2), 0.0, 0},
      {"omega_w(1)", operators::omega_w(1.0), 0.5671432904097838, 0},
      {"omega_w(e)", operators::omega_w(2.718281828459045), 1.0, 0},
      {"omega_w(10)", operators::omega_w(10.0), 1.7455280027406994, 1e-15},
      {"omega_w(5e45)", operators::omega_w(5e45), 100.0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.rtol == 0) {
      EXPECT_EQ(c.got, c.expected);
    } else {
      EXPECT_NEAR_REL(c.got, c.expected, c.rtol);
    }
  }
  EXPECT_TRUE(std::isnan(operators::rpwrr(-2.0, 0.5)));  // as the library power
}

}  // namespace
