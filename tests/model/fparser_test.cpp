#include "model/fparser.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using fparser::kAdd;
using fparser::kDiv;
using fparser::kEq;
using fparser::kGt;
using fparser::kImmed;
using fparser::kLt;
using fparser::kMax;
using fparser::kMin;
using fparser::kMul;
using fparser::kNeg;
using fparser::kPow;
using fparser::kSub;

const std::vector<std::string> kNames = {"P1", "P2", "P3", "X1"};
constexpr int32_t P1 = 32, P2 = 33, P3 = 34, X1 = 35;

class FparserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fparser::reset();
    fparser::console = &console_;
  }
  void TearDown() override { fparser::reset(); }

  // Compiles text into slot 1 and returns its status.
  int32_t compile(const std::string& text, int32_t printerr = 0) {
    fparser::initf(1);
    int32_t ierr = -1;
    fparser::parsef(1, text, kNames, &ierr, printerr);
    return ierr;
  }
  std::vector<int32_t> bytecode() const {
    const fparser::Tcomp& c = fparser::comp(1);
    std::vector<int32_t> v;
    for (int32_t k = 1; k <= c.bytecodesize; ++k) v.push_back(c.bytecode(k));
    return v;
  }
  std::vector<double> immed() const {
    const fparser::Tcomp& c = fparser::comp(1);
    std::vector<double> v;
    for (int32_t k = 1; k <= c.immedsize; ++k) v.push_back(c.immed(k));
    return v;
  }
  double eval(const std::string& text, std::vector<double> values) {
    EXPECT_EQ(compile(text), 0) << text;
    return fparser::evalf(1, values);
  }

  std::ostringstream console_;
};

TEST_F(FparserTest, CompilesBytecodeImmediatesAndStackSize) {
  struct Case {
    const char* text;
    std::vector<int32_t> code;
    std::vector<double> immed;
    int32_t stacksize;
  };
  const Case cases[] = {
      {"P1*(X1+P2)", {P1, X1, P2, kAdd, kMul}, {}, 3},
      {"-P1^2", {P1, kImmed, kPow, kNeg}, {2.0}, 2},
      {"P1+P2>P3", {P1, P2, P3, kGt, kAdd}, {}, 3},
      {"P1-P2-P3", {P1, P2, kSub, P3, kSub}, {}, 2},
      {"P1+P2-P3", {P1, P2, P3, kSub, kAdd}, {}, 3},
      {"P1/P2/P3", {P1, P2, kDiv, P3, kDiv}, {}, 2},
      {"1.5E-3*X1", {kImmed, X1, kMul}, {1.5e-3}, 2},
      {"P1**2", {P1, kImmed, kPow}, {2.0}, 2},
      {"(P1!P2)", {P1, P2, kMax}, {}, 2},
      {"SIN(X1)", {X1, 24}, {}, 1},
      {"-SIN(X1)", {X1, 24, kNeg}, {}, 1},
      {"LOG10(X1)", {X1, 18}, {}, 1},
      {"LOG(X1)", {X1, 19}, {}, 1},
      {"SINH(X1)+TAN(X1)", {X1, 21, X1, 26, kAdd}, {}, 2},
      {"1.5D2*X1", {kImmed, X1, kMul}, {150.0}, 2},
      {"PI*X1", {kImmed, X1, kMul}, {3.141592653589793}, 2},
      {"-P1+P2", {P1, kNeg, P2, kAdd}, {}, 2},
      {"-P1<P2", {P1, kNeg, P2, kLt}, {}, 2},
      {"P1^X1=P2", {P1, X1, P2, kEq, kPow}, {}, 3},
      {"P1:P2<P3", {P1, P2, kMin, P3, kLt}, {}, 2},
      {"P1<P2:P3", {P1, P2, P3, kMin, kLt}, {}, 3},
      {"-(P1+P2)", {P1, P2, kAdd, kNeg}, {}, 2},
      {"+P1", {P1}, {}, 1},
      {"P1*EXP(-P2*X1)", {P1, P2, X1, kMul, kNeg, 17, kMul}, {}, 3},
      {"VH*P1+VL", {kImmed, P1, kMul, kImmed, kAdd}, {1e16, 1e-16}, 2},
      {"(-VL)", {kImmed, kNeg}, {1e-16}, 1},
      {"2*X1-1E+2", {kImmed, X1, kMul, kImmed, kSub}, {2.0, 100.0}, 2},
      {"OMEGW(X1)*RD(P1)", {X1, 31, P1, 30, kMul}, {}, 2},
      {" p1 * x1 ", {}, {}, 0},  // names are case-sensitive: refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.code.empty()) {
      EXPECT_EQ(compile(c.text), 1);
      continue;
    }
    ASSERT_EQ(compile(c.text), 0);
    EXPECT_EQ(bytecode(), c.code);
    EXPECT_EQ(immed(), c.immed);
    EXPECT_EQ(fparser::comp(1).stacksize, c.stacksize);
  }
}

TEST_F(FparserTest, PrecedenceByValue) {
  struct Case {
    const char* text;
    std::vector<double> values;  // P1, P2, P3, X1
    double expected;
  };
  const Case cases[] = {
      {"P1^P2^P3", {2, 3, 2, 0}, 64.0},
      {"P1-P2-P3", {10, 3, 2, 0}, 5.0},
      {"P1/P2/P3", {12, 3, 2, 0}, 2.0},
      {"P1+P2>P3", {1, 2, 1, 0}, 2.0},
      {"-P1^2", {3, 0, 0, 0}, -9.0},
      {"-P1*P2+P3", {2, 3, 1, 0}, -5.0},
      {"P1*(X1+P2)", {2, 3, 0, 4}, 14.0},
      {"P1^X1=P2", {5, 1, 0, 1}, 5.0},
      {"2.5E-1*X1", {0, 0, 0, 8}, 2.0},
      {"PI*X1", {0, 0, 0, 2}, 2 * 3.141592653589793},
      {"EU+DG+K1+K2+RJ+RC",
       {0, 0, 0, 0},
       2.718281828459045 + 57.29577951308232 + 273.15 + 298.15 + 8.3144621 + 1.9872041},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(eval(c.text, c.values), c.expected);
  }
}

TEST_F(FparserTest, NameBeyondSuppliedValuesTakesTheLast) {
  EXPECT_EQ(eval("X1", {7.0, 9.0}), 9.0);
  EXPECT_EQ(eval("P1*X1+P2", {2.0, 3.0}), 9.0);
  EXPECT_EQ(eval("P1-X1", {}), 0.0);
  EXPECT_EQ(eval("P3+P1", {1.0, 2.0, 4.0, 8.0}), 5.0);
}

TEST_F(FparserTest, SyntaxCodesWithMarkedTextAndMarkerLine) {
  struct Case {
    const char* text;
    int32_t code;
    const char* marked;
    const char* marker;
  };
  const Case cases[] = {
      {"P1+", 1, "P1+?", "__\\*/"},
      {"-", 1, "-?", "\\*/"},
      {"", 1, "?", "*/"},
      {"+*P1", 2, "+*P1?", "___\\*/"},
      {"P1*EXP", 3, "P1*EXP?", "_____\\*/"},
      {"P1*EXP2", 4, "P1*EXP?2", "_____\\*/_"},
      {"P1*2E*X1", 5, "P1*2?E*X1", "___\\*/____"},
      {"1..2*X1", 5, "1..2?*X1", "___\\*/___"},
      {"P1 X1", 6, "P1 X1?", "____\\*/"},
      {".5*X1", 6, ".5*X?1", "___\\*/_"},
      {"P1)", 7, "?P1)", "*/___"},
      {"P1*()", 7, "P1*(?)", "___\\*/_"},
      {"P1+*X1", 8, "P1+*?X1", "___\\*/__"},
      {"X1^-1", 8, "X1^-?1", "___\\*/_"},
      {"P1*X1+P2+*P3", 8, "P1*X1+P2+?*P3", "________\\*/___"},
      {"P1 * X1 + P2 + * P3", 8, "P1 * X1 + P2 +? * P3", "_____________\\*/_____"},
      {"(P1)X1", 9, "(P1)?X1", "___\\*/__"},
      {"PIX1", 9, "PIX1?", "___\\*/"},
      {"(P1", 10, "(P1?", "__\\*/"},
      {"(P1+", 10, "(P1+?", "___\\*/"},
      {"P1*(", 10, "P1*(?", "___\\*/"},
      {"SIN(", 10, "SIN(?", "___\\*/"},
      {"(", 10, "(?", "\\*/"},
      {"(-", 1, "(-?", "_\\*/"},
      {"Y=P1", 11, "Y=P1?", "___\\*/"},
      {"P1*VX", 11, "P1*V?X", "___\\*/_"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    std::string marker = "untouched";
    int32_t ierr = -1;
    console_.str("");
    EXPECT_EQ(fparser::checkf(text, kNames, 1, ierr, &marker), 1);
    EXPECT_EQ(ierr, c.code);
    EXPECT_EQ(text, c.marked);
    EXPECT_EQ(marker, c.marker);
    EXPECT_EQ(console_.str().rfind("*** Error in syntax of function string. ***\n\n", 0), 0u);
    EXPECT_EQ(fparser::printerrors, 1);
  }
}

TEST_F(FparserTest, CheckWithoutPrintingLeavesTextsAlone) {
  std::string text = "P1+*X1";
  std::string marker = "m";
  int32_t ierr = 0;
  EXPECT_EQ(fparser::checkf(text, kNames, 0, ierr, &marker), 1);
  EXPECT_EQ(ierr, 8);
  EXPECT_EQ(text, "P1+*X1");
  EXPECT_EQ(marker, "m");
  EXPECT_TRUE(console_.str().empty());
  EXPECT_EQ(fparser::printerrors, 1);
}

TEST_F(FparserTest, SoundFormulasPassTheCheck) {
  for (const char* text : {"0.5*X1",
                           "1.5D2*X1",
                           "P1*EXP(-P2*X1)",
                           "((P1))",
                           "ABS(-X1)",
                           "P1**2",
                           "(P1!P2)",
                           "VH*X1",
                           "P1=P2#P3<X1[P1>P2]P3:X1|P1",
                           "P1*X1+P2 ",
                           "ACOS(X1)+ASIN(X1)+ATAN(X1)+COSH(X1)+TANH(X1)+SQRT(X1)"}) {
    SCOPED_TRACE(text);
    std::string t = text;
    int32_t ierr = -1;
    EXPECT_EQ(fparser::checkf(t, kNames, 1, ierr), 0);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(t, text);
  }
}

TEST_F(FparserTest, FailedParseKeepsTheSlotAndBadIndexOnlySetsIerr) {
  ASSERT_EQ(compile("P1+P2"), 0);
  int32_t ierr = 0;
  fparser::parsef(1, "P1+*P2", kNames, &ierr, 0);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(fparser::evalf(1, std::vector<double>{1, 2, 0, 0}), 3.0);
  fparser::parsef(2, "P1", kNames, &ierr, 0);
  EXPECT_EQ(ierr, 1);
  fparser::parseerrtype = 0;
  fparser::parsef(0, "P1", kNames, &ierr, 0);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(fparser::parseerrtype, 0);
}

TEST_F(FparserTest, SlotsAreIndependentAndFreedByEndf) {
  fparser::initf(2);
  int32_t ierr = -1;
  fparser::parsef(1, "P1*2", kNames, &ierr);
  ASSERT_EQ(ierr, 0);
  fparser::parsef(2, "  P1+2", kNames, &ierr);
  ASSERT_EQ(ierr, 0);
  const std::vector<double> v = {5, 0, 0, 0};
  EXPECT_EQ(fparser::evalf(1, v), 10.0);
  EXPECT_EQ(fparser::evalf(2, v), 7.0);
  fparser::endf();
  EXPECT_EQ(fparser::comp.size(), 0);
}

// Division by zero, which evaluation passes over, and ASIN or ACOS outside [-1, 1], which stops
// it, are found in any operand form: a name, a number or a computed value as the divisor.
TEST_F(FparserTest, EvalfFaultNamesTheFaultTheEvaluationMeets) {
  const struct {
    const char* text;
    std::vector<double> values;  // P1, P2, P3, X1
    int32_t fault;
  } cases[] = {
      {"P1*X1/0+P2", {1, 2, 0, 3}, 1},
      {"X1/P3", {1, 2, 0, 3}, 1},
      {"X1/(P1-P2)", {2, 2, 0, 3}, 1},
      {"X1/(P1-P2)", {2, 1, 0, 3}, 0},
      {"P1*ASIN(2)+P2*X1", {1, 2, 0, 3}, 4},
      {"ACOS(X1)/0", {0, 0, 0, -1.5}, 4},
      {"ASIN(X1)+P1/P2", {1, 0, 0, 0.5}, 1},
      {"SQRT(P1)+LOG(X1)", {-1, 0, 0, -1}, 0},
      {"P1*X1^2+P2", {1, 2, 0, 3}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " at P1 = " << c.values[0]);
    ASSERT_EQ(compile(c.text), 0);
    fparser::evalerrtype = 9;
    EXPECT_EQ(fparser::evalf_fault(1, c.values), c.fault);
    EXPECT_EQ(fparser::evalerrtype, c.fault);
  }
}

TEST_F(FparserTest, EvalErrMsgNamesTheErrorTypeIn32Characters) {
  const std::pair<int32_t, std::string> cases[] = {{1, "Division by zero"},
                                                   {2, "Argument of SQRT negative"},
                                                   {3, "Argument of LOG  <=  0"},
                                                   {4, "Argument of ASIN or ACOS illegal"},
                                                   {5, "-exponent to fractional power"},
                                                   {0, ""},
                                                   {6, ""},
                                                   {-1, ""}};
  for (const auto& [type, text] : cases) {
    SCOPED_TRACE(type);
    fparser::evalerrtype = type;
    EXPECT_EQ(fparser::evalerrmsg(), text + std::string(32 - text.size(), ' '));
  }
}

}  // namespace
