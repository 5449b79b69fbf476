#include "constrained/vmcwd_vmcon_mod.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "common/globals.hpp"
#include "constrained/vmcon_fixture.hpp"
#include "model/funct.hpp"
#include "support/close.hpp"

namespace {

using vmcontest::Call;
using vmcontest::VmconFixture;
namespace vm = vmcwd_vmcon_mod;

constexpr double kTiny = double(1.0e-24f);  // floor of a returned |multiplier|
// Distance to the reference optimum: the methods work on central-difference gradients whose
// error (about 1e-10 relative) leaves the optimum good to far better than 1e-5.
constexpr double kXTol = 1e-5;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(VmconFixture, ActiveUpperBoundIsFoundWithItsMultiplier) {
  common_data::pboundhi(1) = 2.2;  // the unconstrained optimum has P1 = 2.507
  const double b = best_b(2.2);
  double ga = 0.0;
  ssq(2.2, b, &ga);
  const double multiplier = -ga;  // grad f = lambda * (-e_1) for the bound 2.2 - P1 >= 0
  for (const bool watchdog : {false, true}) {
    SCOPED_TRACE(watchdog ? "vmcwd" : "vmcon");
    vm::reset();
    vm::console = &out_;
    Call k;
    k.x = {2.0, 0.3};
    run(k, watchdog);
    EXPECT_EQ(k.info, vm::kConverged);
    EXPECT_LE(k.ctest, k.acc);
    EXPECT_NEAR(k.x[0], 2.2, kXTol);
    EXPECT_NEAR(k.x[1], b, kXTol);
    EXPECT_EQ(vm::m, 4);
    EXPECT_EQ(vm::meq, 0);
    // The multipliers belong to the constraints x - lo (1, 2) and hi - x (3, 4).
    EXPECT_NEAR_REL(vm::vmvdb.lambda(3), multiplier, 1e-4);
    for (int32_t i : {1, 2, 4}) EXPECT_EQ(vm::vmvdb.lambda(i), kTiny) << i;
    EXPECT_NEAR_REL(k.f, ssq(k.x[0], k.x[1]), 1e-12);
    EXPECT_EQ(out_.str(), "");  // iprint -1
  }
}

TEST_F(VmconFixture, VmcwdWithoutConstraintsReachesTheUnconstrainedMinimum) {
  const std::vector<double> best = unconstrained_optimum();
  Call k;
  k.x = {2.0, 0.3};
  k.info = -111;
  k.iprint = 0;
  run(k, true);
  EXPECT_EQ(k.info, vm::kConverged);
  EXPECT_EQ(vm::m, 0);
  EXPECT_NEAR(k.x[0], best[0], kXTol);
  EXPECT_NEAR(k.x[1], best[1], kXTol);
  // iprint 0: headers and the convergence line, no iteration report.
  EXPECT_GE(count_of(out_.str(), "OPTIMIZATION ALGORITHM RUNS"), 1);
  EXPECT_EQ(count_of(out_.str(), "CONVERGENCE TEST VALUE"), 1);
  EXPECT_EQ(count_of(out_.str(), "ITERATIONS ="), 0);
}

TEST_F(VmconFixture, FixedParameterStaysExact) {
  common_data::pmask(2) = 0;
  const double b = 0.37;
  double num = 0.0, den = 0.0;
  for (int32_t k = 0; k < kRows; ++k) {
    const double e = std::exp(-b * xs_[k]);
    num += ys_[k] * e;
    den += e * e;
  }
  for (const bool watchdog : {false, true}) {
    SCOPED_TRACE(watchdog ? "vmcwd" : "vmcon");
    vm::reset();
    Call k;
    k.x = {2.0, b};
    run(k, watchdog);
    EXPECT_EQ(k.info, vm::kConverged);
    EXPECT_EQ(k.x[1], b);
    EXPECT_NEAR(k.x[0], num / den, kXTol);  // the least-squares P1 for the fixed P2
    EXPECT_EQ(vm::meq, 1);
    EXPECT_EQ(vm::m, 5);
    EXPECT_EQ(k.c(1), 0.0);  // the fixed parameter's equality holds
  }
}

TEST_F(VmconFixture, VmconCountsIterationsOnFromTheCallersValue) {
  Call k;
  k.x = {2.0, 0.3};
  k.limit = 5;
  k.niter = 5;
  k.iprint = 1;
  run(k, false);
  EXPECT_EQ(k.info, vm::kIterationLimit);
  EXPECT_EQ(k.niter, 6);
  EXPECT_EQ(k.x[0], 2.0);  // no QP step was made
  EXPECT_EQ(k.x[1], 0.3);
  EXPECT_NEAR_REL(k.f, ssq(2.0, 0.3), 1e-12);
  const std::string text = out_.str();
  EXPECT_EQ(count_of(text, "CONVERGENCE TEST VALUE"), 0);
  const std::vector<std::string> lines = lines_of(text);
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[10], "");
  EXPECT_EQ(lines[11], "     Q.P. ITERATIONS EXCEEDED ALLOWABLE MAXIMUM DURING");
  EXPECT_EQ(lines[12], "     PROGRAM EXECUTION" + std::string(38, ' ') + "-- INFO = 2");
  EXPECT_EQ(lines[13], "");
}

TEST_F(VmconFixture, HeaderAndClosingMessageLayout) {
  common_data::pboundhi(1) = 2.2;
  Call k;
  k.x = {2.0, 0.3};
  k.iprint = 1;
  run(k, false);
  ASSERT_EQ(k.info, vm::kConverged);
  const std::vector<std::string> lines = lines_of(out_.str());
  const std::vector<std::string> header = {
      "",
      "",
      "           OPTIMIZATION ALGORITHM RUNS                 =   1",
      "           NUMBER OF INDEPENDENT VARIABLES             =   2",
      "           TOTAL NUMBER OF CONSTRAINTS                 =   4",
      "           NUMBER OF EQUALITY CONSTRAINTS              =   0",
      "           MAXIMUM QUADRATIC PROGRAMMING ITERATIONS    =  50",
      "           MAXIMUM LINE SEARCH ITERATIONS              =  10",
      "           PRINTOUT CONTROL                            =   1",
      "           ACCURACY OF THE FINAL SOLUTION              = 0.1000E-09",
      "",
      "                       CONVERGENCE TEST VALUE = 0.6284E+00",
      "",
  };
  ASSERT_GE(lines.size(), header.size() + 5);
  for (size_t i = 0; i < header.size(); ++i) EXPECT_EQ(lines[i], header[i]) << "line " << i;
  const size_t end = lines.size();
  EXPECT_EQ(lines[end - 5], "");
  EXPECT_EQ(lines[end - 4], "     REQUIRED ACCURACY ACHIEVED IN VMCON. THE PRINTING");
  EXPECT_EQ(lines[end - 3], "     OF THE LAST ITERATION GIVES THE OPTIMAL SOLUTION");
  EXPECT_EQ(lines[end - 2], "     COMPUTED BY VMCON.  -- INFO = 1");
  EXPECT_EQ(lines[end - 1], "");
}

TEST_F(VmconFixture, VmconWithOneLineSearchCallReturnsTheSearchStart) {
  Call k;
  k.x = {2.0, 0.3};
  k.maxls = 1;
  k.iprint = 1;
  run(k, false);
  EXPECT_EQ(k.info, vm::kLineSearchLimit);
  // The start of the line search is the point of the first axial probe: within its steps.
  EXPECT_NEAR(k.x[0], 2.0, 1e-3);
  EXPECT_NEAR(k.x[1], 0.3, 1e-3);
  // Evaluated again there: f and the constraints belong to the returned x.
  EXPECT_NEAR_REL(k.f, ssq(k.x[0], k.x[1]), 1e-12);
  EXPECT_EQ(k.c(1), k.x[0] - common_data::pboundlo(1));
  const std::string text = out_.str();
  EXPECT_EQ(count_of(text, "CONVERGENCE TEST VALUE"), 1);
  EXPECT_NE(text.find("     BE ATTAINABLE" + std::string(42, ' ') + "-- INFO = 3"),
            std::string::npos);
}

TEST_F(VmconFixture, VmcwdCallLimitsGiveCodes2And3) {
  struct Case {
    const char* what;
    int32_t maxfun, maxls, info;
    const char* message;
  };
  const Case cases[] = {
      {"call limit",
       4,
       10,
       vm::kIterationLimit,
       "     ERROR RETURN FROM VMCWD DUE TO    4 CALLS OF CALCFG"},
      {"line-search limit",
       50,
       1,
       vm::kLineSearchLimit,
       "     ERROR RETURN FROM VMCWD DUE TO    4 CALLS OF CALCFG IN A LINE SEARCH"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vm::reset();
    vm::console = &out_;
    out_.str("");
    Call k;
    k.x = {0.5, 1.5};  // far from the optimum: the first full step is not accepted
    k.limit = c.maxfun;
    k.maxls = c.maxls;
    k.iprint = 0;
    run(k, true);
    EXPECT_EQ(k.info, c.info);
    EXPECT_NE(out_.str().find(c.message), std::string::npos) << out_.str();
    // What is returned is an evaluated point no worse than the start.
    EXPECT_NEAR_REL(k.f, ssq(k.x[0], k.x[1]), 1e-12);
    EXPECT_LE(k.f, ssq(0.5, 1.5));
  }
}

TEST_F(VmconFixture, VmcwdReportsEveryIprintIterations) {
  Call k;
  k.x = {2.0, 0.3};
  k.iprint = 2;
  run(k, true);
  ASSERT_EQ(k.info, vm::kConverged);
  const std::string text = out_.str();
  EXPECT_NE(text.find("     ITERATIONS =    0     CALLS OF CALCFG =    2"), std::string::npos);
  EXPECT_NE(text.find("     ITERATIONS =    2"), std::string::npos);
  EXPECT_EQ(text.find("     ITERATIONS =    1"), std::string::npos);
  EXPECT_NE(text.find("     THE CURRENT VALUES OF F, X AND C ARE AS FOLLOWS"), std::string::npos);
  EXPECT_NE(text.find("     THE FOLLOWING VALUES OF F, X AND CARE RETURNED BY VMCWD"),
            std::string::npos);
  // x five per line in D20.10.
  EXPECT_NE(text.find("     X =\n         0.2000044379D+01    0.3000066568D+00\n"),
            std::string::npos);
}

TEST_F(VmconFixture, VmcwdWritesNothingWithNegativeIprint) {
  Call k;
  k.x = {2.0, 0.3};
  k.limit = 3;
  run(k, true);
  EXPECT_EQ(k.info, vm::kIterationLimit);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(VmconFixture, CapacitiesAreCheckedBeforeAnyEvaluation) {
  struct Case {
    const char* what;
    int32_t n;
    int32_t fixed;  // parameters 1..fixed held
    int32_t nmdl;
    int32_t info;
  };
  const Case cases[] = {
      {"no variable", 0, 0, 0, vm::kTooManyVariables},
      {"more variables than parameter slots", 11, 0, 0, vm::kTooManyVariables},
      {"numbered model", 2, 0, 3, vm::kTooManyVariables},
      {"26 constraints", 9, 8, 0, vm::kTooManyConstraints},
  };
  for (const bool watchdog : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(watchdog ? "vmcwd: " : "vmcon: ") + c.what);
      out_.str("");
      for (int32_t i = 1; i <= common_data::max_params; ++i) {
        common_data::pmask(i) = i <= c.fixed ? 0 : 1;
      }
      globals::nmdl = c.nmdl;
      Call k;
      k.x.assign(c.n, 1.0);
      k.iprint = 1;
      const int64_t before = funct::fun_count;
      run(k, watchdog);
      EXPECT_EQ(k.info, c.info);
      EXPECT_EQ(funct::fun_count, before);
      EXPECT_EQ(out_.str(), "");
      EXPECT_TRUE(std::isnan(k.f));
    }
  }
  // 25 constraints still fit: 9 parameters, 7 of them fixed.
  globals::nmdl = 0;
  for (int32_t i = 1; i <= common_data::max_params; ++i) common_data::pmask(i) = i <= 7 ? 0 : 1;
  Call k;
  k.x.assign(9, 1.0);
  k.limit = 1;
  run(k, false);
  EXPECT_EQ(vm::m, 25);
  EXPECT_EQ(vm::meq, 7);
}

}  // namespace
