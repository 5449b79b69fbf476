// vmcon and vmcwd on NIST StRD reference problems with few rows, from NIST's start vectors
// with the data files' bounds as the constraints (acc 1e-10 times the start sum, 300
// iterations for vmcon, 2000 calls for vmcwd, 20 calls per line search). The methods are not
// part of the cascade and are not expected to reach every certified value; every run must keep
// the contract: a result code, a returned sum that is the sum of the returned vector and not
// above the start sum. The parameters' LRE is recorded (property "lre"); where both methods
// reached 4 or more digits from both starts, a floor one digit below the lowest guards against
// regressions.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "constrained/vmcwd_vmcon_mod.hpp"
#include "support/close.hpp"
#include "support/nist_problem.hpp"

namespace {

namespace vm = vmcwd_vmcon_mod;

struct NistRun {
  std::string name;
  int32_t start;
  bool watchdog;  // vmcwd, else vmcon
};

std::vector<NistRun> runs() {
  const char* names[] = {"Misra1a",
                         "Chwirut2",
                         "DanWood",
                         "Misra1b",
                         "Misra1c",
                         "Misra1d",
                         "BoxBOD",
                         "Rat42",
                         "Rat43",
                         "MGH09",
                         "Eckerle4",
                         "Roszman1"};
  std::vector<NistRun> all;
  for (const char* name : names) {
    for (int32_t start : {1, 2}) {
      for (bool watchdog : {false, true}) all.push_back({name, start, watchdog});
    }
  }
  return all;
}

double lre_floor(const std::string& name) {
  static const std::map<std::string, double> floors = {
      {"Misra1a", 3},
      {"Chwirut2", 3},
      {"DanWood", 3},
      {"Misra1b", 3},
      {"Misra1c", 3},
      {"Misra1d", 4},
      {"Rat42", 3},
  };
  const auto it = floors.find(name);
  return it == floors.end() ? 0.0 : it->second;
}

class VmconNist : public ::testing::TestWithParam<NistRun> {
 protected:
  void TearDown() override { vm::reset(); }
};

TEST_P(VmconNist, KeepsTheContract) {
  const NistRun& r = GetParam();
  vm::reset();
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist(r.name, r.start, pb));
  std::vector<double> x = pb.x0;
  int32_t n = pb.n;
  double f = 0.0, acc = 1e-10 * pb.start_ssq, ctest = 0.0;
  vm::GradArray fgrad;
  vm::ConsArray c;
  vm::ConsGrad cnorm;
  int32_t limit = r.watchdog ? 2000 : 300;
  int32_t iprint = -1, info = 0, maxls = 20, niter = 0, nruns = 1, qpmode = 1;
  (r.watchdog ? vm::vmcwd : vm::vmcon)(n,
                                       VecView<double>(x.data(), n),
                                       f,
                                       fgrad,
                                       c,
                                       cnorm,
                                       limit,
                                       acc,
                                       iprint,
                                       info,
                                       maxls,
                                       ctest,
                                       niter,
                                       nruns,
                                       qpmode);
  EXPECT_GE(info, vm::kConverged);
  EXPECT_LE(info, vm::kArtificialBound);
  EXPECT_NEAR_REL(f, pb.ssq(x), 1e-12);
  EXPECT_LE(f, pb.start_ssq);
  const double lre = pb.params_lre(x);
  RecordProperty("lre", std::to_string(lre));
  EXPECT_GE(lre, lre_floor(r.name));
}

INSTANTIATE_TEST_SUITE_P(Problems,
                         VmconNist,
                         ::testing::ValuesIn(runs()),
                         [](const ::testing::TestParamInfo<NistRun>& info) {
                           return info.param.name + "_start" + std::to_string(info.param.start) +
                                  (info.param.watchdog ? "_vmcwd" : "_vmcon");
                         });

}  // namespace
