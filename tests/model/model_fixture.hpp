// A fixture for the model evaluator's tests: every shared module reset before and after each
// test, and a helper that installs a formula as the user's model and forces its compilation.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "model/funct.hpp"
#include "model/limits.hpp"
#include "model/model_front.hpp"
#include "numerics/runtime_rng.hpp"
#include "numerics/stringlib.hpp"

namespace modeltest {

class ModelFixture : public ::testing::Test {
 protected:
  void SetUp() override { reset_all(); }
  void TearDown() override { reset_all(); }

  // The next evaluation compiles `formula` as common_udf::cudf.
  static void use_formula(const std::string& formula) {
    common_udf::cudf = stringlib::fixed(formula, common_udf::len_text);
    fnparse2_reset();
  }

 private:
  static void reset_all() {
    common_data::reset();
    common_udf::reset();
    globals::reset();
    limits::reset();
    funct::reset();
    fnparse2_reset();
    runtime_rng::reset();
  }
};

}  // namespace modeltest
