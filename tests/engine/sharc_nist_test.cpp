// Whole passes of the cascade with the program's own stages on NIST StRD reference problems:
// a first pass at the level Moderate reaches the certified residual sum of squares.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cascade_fixture.hpp"
#include "support/cascade_pass.hpp"
#include "support/nist_problem.hpp"

namespace {

using cascadetest::CascadeTest;

// The certified sums have 11 digits; 6 is the relative error of 1e-6 the cascade must reach.
constexpr double kSsrLreFloor = 6.0;

class CascadeNist : public CascadeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CascadeNist, ModerateFirstPassReachesCertifiedSum) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist(GetParam(), 1, pb));
  globals::iopt = 2;
  testsupport::CascadePass pass(pb);
  pass.run();
  const double lre = pb.ssr_lre(pass.ssq);
  RecordProperty("ssr_lre", std::to_string(lre));
  RecordProperty("params_lre", std::to_string(pb.params_lre(pass.p)));
  EXPECT_GE(lre, kSsrLreFloor);
  for (int32_t i = 0; i < pass.np; ++i) EXPECT_GT(pass.se[i], 0.0);
}

INSTANTIATE_TEST_SUITE_P(Nist, CascadeNist, ::testing::Values("Misra1a", "Thurber", "MGH09"));

}  // namespace
