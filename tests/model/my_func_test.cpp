#include "model/my_func.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "common/globals.hpp"
#include "model/model_fixture.hpp"

namespace {

class EvalFunc : public modeltest::ModelFixture {};

TEST_F(EvalFunc, GuardsTheModelValue) {
  use_formula("P1*X1");
  struct Case {
    const char* what;
    double p1;
    double expected;
  };
  const Case cases[] = {
      {"plain value", 2.5, 5.0},
      {"not a number", std::numeric_limits<double>::quiet_NaN(), 4.440892098500626e-16},
      {"lost precision", 5e299, 4.440892098500626e-16},  // 1e300 - 1 == 1e300
      {"large but exact", 5e14, 1e15},
      {"beyond 2^51", 2.5e15, 2251799813685248.0},
      {"beyond -2^51", -2.5e15, -2251799813685248.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const double p[] = {c.p1};
    const double x[] = {2.0};
    std::string formula = "P1*X1";
    double value = 0.0;
    my_func::eval_func(
        VecView<const double>(p, 1), 1, VecView<const double>(x, 1), 1, formula, value);
    EXPECT_EQ(value, c.expected);
  }
}

TEST_F(EvalFunc, LeftAdjustsTheFormulaInPlace) {
  use_formula("P1+X1");
  std::string formula = "   P1+X1   ";
  const double p[] = {1.0};
  const double x[] = {2.0};
  double value = 0.0;
  my_func::eval_func(
      VecView<const double>(p, 1), 1, VecView<const double>(x, 1), 1, formula, value);
  EXPECT_EQ(formula, "P1+X1      ");
  EXPECT_EQ(value, 3.0);
}

TEST_F(EvalFunc, NumberedModelTakesTheNumberedFunction) {
  use_formula("P1+X1");
  globals::nmdl = 4;
  const double p[] = {1.0};
  const double x[] = {2.0, 3.0, 4.0};
  std::string formula = "P1+X1";
  double value = -1.0;
  my_func::eval_func(
      VecView<const double>(p, 1), 1, VecView<const double>(x, 3), 3, formula, value);
  EXPECT_EQ(value, 0.0);
}

}  // namespace
