// Whole passes of the cascade with the program's own stages on the NIST StRD reference problems,
// both starts, at the level Moderate: the certified residual sum of squares where the cascade
// must reach it, and the certified standard errors of every fit whose parameters reach 6
// certified digits.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "engine/cascade_fixture.hpp"
#include "engine/sharc_tval.hpp"
#include "support/cascade_pass.hpp"
#include "support/close.hpp"
#include "support/nist_problem.hpp"

namespace {

using cascadetest::CascadeTest;

// The certified values have 11 digits; 6 is the relative error of 1e-6 a converged fit reaches.
constexpr double kSsrLreFloor = 6.0;
constexpr double kConvergedLre = 6.0;
// Standard errors within 0.1 % of the certified ones.
constexpr double kSeLreFloor = 3.0;

struct NistFit {
  std::string name;
  int32_t start;
};

void PrintTo(const NistFit& fit, std::ostream* os) { *os << fit.name << " start " << fit.start; }

std::vector<NistFit> all_fits() {
  std::vector<NistFit> fits;
  for (const std::string& name : testsupport::nist_problem_names()) {
    for (int32_t start : {1, 2}) fits.push_back({name, start});
  }
  return fits;
}

// The first starts that the cascade must bring to the certified sum.
bool must_converge(const NistFit& fit) {
  return fit.start == 1 && (fit.name == "Misra1a" || fit.name == "Thurber" || fit.name == "MGH09");
}

class CascadeNist : public CascadeTest, public ::testing::WithParamInterface<NistFit> {};

TEST_P(CascadeNist, ModerateFirstPassReachesTheCertifiedValues) {
  const NistFit& fit = GetParam();
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist(fit.name, fit.start, pb));
  globals::iopt = 2;
  testsupport::CascadePass pass(pb);
  pass.run();
  const double ssr_lre = pb.ssr_lre(pass.ssq);
  const double params_lre = pb.params_lre(pass.p);
  RecordProperty("ssr_lre", std::to_string(ssr_lre));
  RecordProperty("params_lre", std::to_string(params_lre));
  if (must_converge(fit)) {
    EXPECT_GE(ssr_lre, kSsrLreFloor);
    for (int32_t i = 0; i < pass.np; ++i) EXPECT_GT(pass.se[i], 0.0);
  }
  if (params_lre < kConvergedLre) return;  // standard errors of another vector
  for (int32_t i = 0; i < pass.np; ++i) {
    EXPECT_GE(testsupport::lre(pass.se[i], pb.certified_se[size_t(i)]), kSeLreFloor)
        << "SE" << i + 1 << " " << pass.se[i] << " certified " << pb.certified_se[size_t(i)];
  }
}

INSTANTIATE_TEST_SUITE_P(Nist,
                         CascadeNist,
                         ::testing::ValuesIn(all_fits()),
                         [](const ::testing::TestParamInfo<NistFit>& info) {
                           return info.param.name + "_start" + std::to_string(info.param.start);
                         });

// The confidence limits have the residual degrees of freedom of the standard errors,
// n - (np - fixed): Rat43 (15 rows, 4 parameters) with P4 held at its certified value has 12,
// not the 10 of n - np - fixed.
TEST_F(CascadeTest, ConfidenceLimitsWithAFixedParameterUseTheResidualDegreesOfFreedom) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Rat43", 1, pb));
  globals::iopt = 1;
  testsupport::CascadePass pass(pb);
  pass.mask[3] = 0;
  pass.p[3] = pb.certified[3];
  pass.run();
  EXPECT_EQ(pass.p[3], pb.certified[3]);
  EXPECT_EQ(pass.se[3], 0.0);
  for (int32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_GT(pass.se[size_t(i)], 0.0);
    EXPECT_NEAR_REL(pass.cl[size_t(i)], sharc_mod::tval95(12) * pass.se[size_t(i)], 1e-15);
  }
}

}  // namespace
