// vmsqp on the NIST StRD reference problems, called as the fit engine calls it (maxit 100,
// ncon 2n, mode 0) from NIST's start vectors. The method is one stage of a cascade and is not
// expected to reach the certified values on its own; what every problem must show is the
// method's contract: no worse sum than the entry sum, a returned sum that is the sum of the
// returned vector, and a bounded cost. The parameters' LRE is recorded (property "lre"); where
// the stage alone gets 4 or more digits from both starts, a floor one digit below the lower of
// the two measured values guards against regressions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "constrained/vmsqp_mod.hpp"
#include "support/close.hpp"
#include "support/nist_problem.hpp"

namespace {

struct Problem {
  std::string name;
  int32_t start;
};

std::vector<Problem> problems() {
  std::vector<Problem> all;
  for (const std::string& name : testsupport::nist_problem_names()) {
    all.push_back({name, 1});
    all.push_back({name, 2});
  }
  return all;
}

// LRE floors by problem (others: 0).
double lre_floor(const std::string& name) {
  static const std::map<std::string, double> floors = {
      {"Chwirut1", 4},
      {"Chwirut2", 3},
      {"Gauss1", 4},
      {"Gauss2", 4},
      {"Gauss3", 4},
      {"DanWood", 7},
      {"Thurber", 4},
      {"BoxBOD", 7},
      {"Rat42", 5},
      {"Rat43", 6},
      {"Eckerle4", 5},
  };
  const auto it = floors.find(name);
  return it == floors.end() ? 0.0 : it->second;
}

class VmsqpNist : public ::testing::TestWithParam<Problem> {
 protected:
  void TearDown() override { vmsqp_mod::reset(); }
};

TEST_P(VmsqpNist, NeverWorseAndConsistent) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist(GetParam().name, GetParam().start, pb));
  vmsqp_mod::reset();

  const int32_t n = pb.n, m = pb.m;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> x = pb.x0;
  std::vector<double> sigma(m, nan), yfit(m, nan), resid(m, nan), xdat(m), y(m);
  std::vector<double> lo(n), hi(n);
  std::vector<int32_t> mask(n);
  for (int32_t k = 1; k <= m; ++k) {
    xdat[k - 1] = common_data::xd(k);
    y[k - 1] = common_data::yd(k);
  }
  for (int32_t j = 1; j <= n; ++j) {
    lo[j - 1] = common_data::pboundlo(j);
    hi[j - 1] = common_data::pboundhi(j);
    mask[j - 1] = common_data::pmask(j);
  }
  double fobj = pb.start_ssq;
  const int32_t maxit = 100, ncon = 2 * n, mode = 0;
  testsupport::EvalCount evals;
  vmsqp_mod::vmsqp(maxit,
                   n,
                   m,
                   pb.nx,
                   ncon,
                   mode,
                   VecView<double>(sigma.data(), m),
                   VecView<const double>(xdat.data(), m),
                   VecView<const double>(y.data(), m),
                   VecView<double>(yfit.data(), m),
                   VecView<double>(resid.data(), m),
                   VecView<double>(x.data(), n),
                   VecView<const double>(lo.data(), n),
                   VecView<const double>(hi.data(), n),
                   VecView<const int32_t>(mask.data(), n),
                   fobj);
  const int64_t cost = evals.count();

  EXPECT_LE(fobj, pb.start_ssq);
  double sum = 0.0;
  for (int32_t k = 0; k < m; ++k) sum += resid[k] * resid[k];
  EXPECT_NEAR_REL(sum, fobj, 1e-12);  // the residuals left are those of the returned vector
  EXPECT_NEAR_REL(pb.ssq(x), fobj, 1e-12);
  // Three cycles of at most 25 * 100 evaluations plus one iteration each (27 + 6n), and the
  // final evaluations.
  EXPECT_LE(cost, 3 * (2500 + 27 + 6 * n) + 2);
  const double lre = pb.params_lre(x);
  EXPECT_GE(lre, lre_floor(pb.name));
  RecordProperty("lre", std::to_string(lre));
  RecordProperty("evaluations", std::to_string(cost));
}

INSTANTIATE_TEST_SUITE_P(AllProblems,
                         VmsqpNist,
                         ::testing::ValuesIn(problems()),
                         [](const ::testing::TestParamInfo<Problem>& info) {
                           return info.param.name + "_start" + std::to_string(info.param.start);
                         });

}  // namespace
