#include "model/model_front.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/globals.hpp"
#include "model/fparser.hpp"
#include "model/limits.hpp"
#include "numerics/stringlib.hpp"
#include "support/scoped_clock.hpp"

namespace {

class ModelFrontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    globals::reset();
    fparser::reset();
    limits::reset();
    fnparse2_reset();
    fparser::console = &console_;
  }
  void TearDown() override {
    fparser::reset();
    fnparse2_reset();
  }

  std::ostringstream console_;
  testsupport::ScopedClock clock_;
};

TEST_F(ModelFrontTest, ParseFuncNormalisesCountsAndChecks) {
  struct Case {
    const char* in;
    const char* out;
    int32_t npar, nvar, ierr;
    const char* message;
  };
  const Case cases[] = {
      {"p1 * exp(-p2*x1)", "P1*EXP(-P2*X1)", 2, 1, 0, ""},
      {"P1+-P2*X1", "P1-P2*X1", 2, 1, 0, ""},
      {"P1--P2*X1", "P1+P2*X1", 2, 1, 0, ""},
      {"P1-+P2*X1", "P1-P2*X1", 2, 1, 0, ""},
      {"P1**2*X1", "P1^2*X1", 1, 1, 0, ""},
      {"P1+++P2*X1", "P1++P2*X1", 2, 1, 8, "Multiple operators"},
      {"X1^.5*P1+P2", "X1^0.5*P1+P2", 2, 1, 0, ""},
      {"X1^(-.5)*P1", "X1^(-0.5)*P1", 1, 1, 0, ""},
      {"P1*X1^(+.5)", "P1*X1^(+0.5)", 1, 1, 0, ""},
      {"P1*X1^(.5)", "P1*X1^(0.5)", 1, 1, 0, ""},
      {"\tP1 *\x01X1 ", "P1*X1", 1, 1, 0, ""},
      {"P1*X1+P3", "P1*X1+P3", 2, 1, 12, "Invalid non-sequential parameter P3 ?"},
      {"P1*X2", "P1*X2", 1, 1, 13, "Invalid non-sequential variable X2 ?"},
      {"P1*X1+", "P1*X1+", 1, 1, 1, "Missing operand"},
      {"P1*(X1+P2", "P1*(X1+P2", 2, 1, 10, "Missing )"},
      {"P1*X1)(P2", "P1*X1)(P2", 2, 1, 7, "Mismatched parenthesis"},
      {"P1*Y1", "P1*Y1", 1, 0, 11, "Invalid character"},
      {"P1*Q1*X1", "P1*Q1*X1", 1, 1, 6, "Invalid variable or math function"},
      {"P1*EXP X1", "P1*EXPX1", 1, 1, 4, "Missing opening parenthesis"},
      {"P1*X1+EXP", "P1*X1+EXP", 1, 1, 3, "Missing function argument"},
      {"P1*2E*X1", "P1*2E*X1", 1, 1, 5, "Invalid number format"},
      {"P1*X1 P2", "P1*X1P2", 2, 1, 6, "Invalid variable or math function"},
      {"(P1)X1", "(P1)X1", 1, 1, 9, "Missing operator"},
      {"P1*+-X1", "P1*-X1", 1, 1, 8, "Multiple operators"},
      {"-*P1*X1", "-*P1*X1", 1, 1, 2, "Multiple operators"},
      {"", "", 0, 0, 1, "Missing operand"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    globals::iexpzero = 0;
    std::string formula = c.in;
    int32_t npar = -1, nvar = -1, length = -1, ierr = -1;
    std::string message = "'NONE'";
    const int64_t slept = clock_.slept();
    parse_func(npar, nvar, formula, length, ierr, message);
    EXPECT_EQ(formula.size(), 512u);
    EXPECT_EQ(stringlib::trim(formula), c.out);
    EXPECT_EQ(npar, c.npar);
    EXPECT_EQ(nvar, c.nvar);
    EXPECT_EQ(ierr, c.ierr);
    EXPECT_EQ(message, c.ierr == 0 ? "'NONE'" : c.message);
    // A sound formula returns at once; a faulty one after a 1 s pause.
    EXPECT_EQ(clock_.slept() - slept, c.ierr == 0 ? 0 : 1000);
    EXPECT_EQ(limits::bound, 2251799813685248.0);
    EXPECT_EQ(limits::vnan, 4.440892098500626e-16);
  }
}

TEST_F(ModelFrontTest, NeverAssignedTextIsAnEmptyFormula) {
  std::string formula(512, '\0');
  int32_t npar = -1, nvar = -1, length = -1, ierr = -1;
  std::string message;
  parse_func(npar, nvar, formula, length, ierr, message);
  EXPECT_EQ(formula, std::string(512, ' '));
  EXPECT_EQ(npar, 0);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(message, "Missing operand");
}

TEST_F(ModelFrontTest, ExponentZeroIsInsertedOnlyWhileTheFlagIsZero) {
  std::string formula = "P1*X1^.5";
  int32_t npar = 0, nvar = 0, length = 0, ierr = 0;
  std::string message;
  parse_func(npar, nvar, formula, length, ierr, message);
  EXPECT_EQ(stringlib::trim(formula), "P1*X1^0.5");
  EXPECT_EQ(globals::iexpzero, 9);  // no further "^": the flag takes the trimmed length
  EXPECT_EQ(length, 9);

  formula = "P1*X1^.5";
  parse_func(npar, nvar, formula, length, ierr, message);
  EXPECT_EQ(stringlib::trim(formula), "P1*X1^.5");
  EXPECT_EQ(ierr, 6);

  // With a second "^" after the first fix, the flag stays 0 and the next parse fixes that one.
  globals::iexpzero = 0;
  formula = "P1*X1^.5+P2*X1^.25";
  parse_func(npar, nvar, formula, length, ierr, message);
  EXPECT_EQ(stringlib::trim(formula), "P1*X1^0.5+P2*X1^.25");
  EXPECT_EQ(globals::iexpzero, 0);
  parse_func(npar, nvar, formula, length, ierr, message);
  EXPECT_EQ(stringlib::trim(formula), "P1*X1^0.5+P2*X1^0.25");
  EXPECT_EQ(ierr, 0);
}

TEST_F(ModelFrontTest, CheckFuncNumberingCodesWithMarkers) {
  struct Case {
    const char* formula;
    int32_t nvar, ierr;
    const char* message;
    const char* marker;
  };
  const Case cases[] = {
      {"P1*X1+P3", 1, 12, "Invalid non-sequential parameter P3 ?", "_______\\*/"},
      {"P3*X1+P1", 1, 12, "Invalid non-sequential parameter P3 ?", "_\\*/____"},
      {"P1*X1*X2", 1, 14, "Invalid variable X2 ? incompatible with input data.", "_______\\*/"},
      {"P1*X2", 1, 13, "Invalid non-sequential variable X2 ?", ""},
      {"P1*X1+*P2", 1, 8, "Multiple operators", "_____\\*/___"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.formula);
    std::string formula = stringlib::fixed(c.formula, 512);
    std::string marker, message;
    int32_t npar = 2, ierr = -1;
    check_func(formula, marker, npar, c.nvar, ierr, message);
    EXPECT_EQ(ierr, c.ierr);
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(marker, c.marker);
  }
  std::string formula = "P1*X1";
  std::string marker, message = "kept";
  int32_t npar = 12, ierr = -1;
  check_func(formula, marker, npar, 1, ierr, message);
  EXPECT_EQ(npar, 8);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(message, "kept");
}

TEST_F(ModelFrontTest, CheckParentheses) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {{"(P1)(X1)", false},
                        {"P1*()", false},
                        {"((P1))", true},
                        {"", true},
                        {"P", true},
                        {"P1)", false},
                        {")P1(", false},
                        {"(P1", false},
                        {"( P1 ) * ( X1 )", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(check_parentheses(c.text), c.ok);
  }
}

TEST_F(ModelFrontTest, CheckUdfFlagsEveryModelText) {
  for (const char* text : {"P1*X1", "MODEL 3", ""}) {
    int32_t flag = 0;
    check_udf(text, flag);
    EXPECT_EQ(flag, 1);
  }
}

TEST_F(ModelFrontTest, Fnparse2CompilesOnceAndAgainOn8888) {
  const std::vector<double> p = {2.0, 3.0};
  const std::vector<double> x = {4.0};
  const VecView<const double> pv(p.data(), 2), xv(x.data(), 1);
  double result = kRecompile;
  ASSERT_EQ(fnparse2(pv, xv, 2, 1, 1, "P1*X1+P2", result), 0);
  EXPECT_EQ(result, 11.0);
  // Any other value reuses the compiled formula, whatever text is passed.
  result = 0.0;
  ASSERT_EQ(fnparse2(pv, xv, 2, 1, 1, "P1-X1", result), 0);
  EXPECT_EQ(result, 11.0);
  result = kRecompile;
  ASSERT_EQ(fnparse2(pv, xv, 2, 1, 1, "P1-X1", result), 0);
  EXPECT_EQ(result, -2.0);
  EXPECT_EQ(clock_.slept(), 0);
}

TEST_F(ModelFrontTest, Fnparse2RefusesAFaultyFormulaWithAStatus) {
  const std::vector<double> p = {2.0};
  const std::vector<double> x = {4.0};
  const VecView<const double> pv(p.data(), 1), xv(x.data(), 1);
  double result = kRecompile;
  EXPECT_EQ(fnparse2(pv, xv, 1, 1, 1, "P1*X1+", result), 1);
  EXPECT_EQ(result, kRecompile);
  EXPECT_NE(console_.str().find("\nError in function, run aborted!\n"), std::string::npos);
  EXPECT_EQ(clock_.slept(), 5000);
  // The next call tries again rather than evaluating nothing.
  result = 0.0;
  EXPECT_EQ(fnparse2(pv, xv, 1, 1, 1, "P1*X1", result), 0);
  EXPECT_EQ(result, 8.0);
}

TEST_F(ModelFrontTest, Fnparse2UsesFunctionNamesAndTheLastOfSeveralCopies) {
  const std::vector<double> p = {1.0, 0.5};
  const std::vector<double> x = {2.0};
  double result = kRecompile;
  ASSERT_EQ(fnparse2(VecView<const double>(p.data(), 2),
                     VecView<const double>(x.data(), 1),
                     2,
                     1,
                     3,
                     "P1*EXP(-P2*X1)",
                     result),
            0);
  EXPECT_DOUBLE_EQ(result, std::exp(-1.0));
  EXPECT_EQ(fparser::comp.size(), 3);
}

TEST_F(ModelFrontTest, Func2IsZero) {
  limits::set();
  EXPECT_EQ(func2(1.0, 2.0, 3.0, 4), 0.0);
}

TEST_F(ModelFrontTest, FrontEvalFuncGuardsTheFormulaOrTakesTheNumberedModel) {
  const double kBound = 2251799813685248.0;     // 2^51
  const double kSubst = 4.440892098500626e-16;  // 2^-51
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> x = {1.0};
  struct Case {
    double p1;
    int32_t nmdl;
    double expected;
  } const cases[] = {
      {1.5, 0, 1.5},
      {kSubst, 0, kSubst},
      {kBound, 0, kBound},
      {kBound + 2.0, 0, kBound},
      {-5e15, 0, -kBound},
      {std::nan(""), 0, kSubst},
      {1e300, 0, kSubst},  // so large that subtracting 1 leaves it: taken as not a number
      {-inf, 0, kSubst},
      {1.5, 3, 0.0},  // the numbered model, not the formula
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.p1);
    globals::nmdl = c.nmdl;
    limits::reset();
    const std::vector<double> p = {c.p1};
    std::string formula = stringlib::fixed("  P1*X1", 512);
    double result = -7.0;
    EXPECT_EQ(front_eval_func(VecView<const double>(p.data(), 1),
                              1,
                              VecView<const double>(x.data(), 1),
                              1,
                              formula,
                              result),
              0);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(formula, stringlib::fixed("P1*X1", 512));
    EXPECT_EQ(limits::bound, kBound);
    EXPECT_EQ(limits::vnan, kSubst);
  }
  // The result slot is 0.0, not 8888.0: the formula compiled first stays.
  const std::vector<double> p = {2.0};
  std::string other = "P1+X1";
  double result = 0.0;
  globals::nmdl = 0;
  front_eval_func(
      VecView<const double>(p.data(), 1), 1, VecView<const double>(x.data(), 1), 1, other, result);
  EXPECT_EQ(result, 2.0);
}

TEST_F(ModelFrontTest, FrontMinmaxKeepsMagnitudesBetween2To51And2ToMinus51) {
  const double hi = 2251799813685248.0;     // 2^51
  const double lo = 4.440892098500626e-16;  // 2^-51
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double x, y, expected;
  } const cases[] = {
      {2.5, 4.0, 2.5},
      {std::nextafter(lo, 1.0), 4.0, std::nextafter(lo, 1.0)},
      {std::nextafter(hi, 0.0), 4.0, std::nextafter(hi, 0.0)},
      {lo, 4.0, 4.0},
      {-lo, 4.0, -4.0},
      {1e-300, -4.0, 4.0},
      {0.0, 4.0, 4.0},
      {-0.0, 4.0, -4.0},
      {hi, 4.0, 0.25},
      {-hi, -4.0, -0.25},
      {inf, 4.0, 0.25},
      {-1e300, 0.5, -2.0},
      {std::nan(""), -4.0, -4.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    const double got = front_minmax(c.x, c.y);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(std::signbit(got), std::signbit(c.expected));
  }
}

}  // namespace
