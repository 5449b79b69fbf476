// Whole passes of the cascade with the program's own stages on NIST StRD reference problems:
// a first pass at the level Moderate reaches the certified residual sum of squares.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cascade_fixture.hpp"
#include "support/nist_problem.hpp"

namespace {

using cascadetest::CascadeTest;

// The certified sums have 11 digits; 6 is the relative error of 1e-6 the cascade must reach.
constexpr double kSsrLreFloor = 6.0;

struct NistPass {
  explicit NistPass(const testsupport::NistProblem& pb)
      : n(pb.m), np(pb.n), nx(pb.nx), p(pb.x0) {
    x.assign(static_cast<size_t>(n) * nx, 0.0);
    MatView<double> xm(x.data(), n, nx, n);
    funct::load_x_columns(xm);
    for (int32_t i = 1; i <= n; ++i) y.push_back(common_data::yd(i));
    yf.assign(n, 0.0);
    sig.assign(n, 1.0);
    mask.assign(np, 1);
    for (int32_t i = 1; i <= np; ++i) {
      lo.push_back(common_data::pboundlo(i));
      hi.push_back(common_data::pboundhi(i));
    }
    se.assign(np, 0.0);
    cl.assign(np, 0.0);
    res17.assign(np, 0.0);
  }

  void run() {
    sharc_mod::sharc(MatView<double>(x.data(), n, nx, n), VecView<double>(y.data(), n),
                     VecView<double>(yf.data(), n), VecView<double>(sig.data(), n), mode, nx, n,
                     VecView<double>(p.data(), np), np, VecView<int32_t>(mask.data(), np),
                     VecView<double>(lo.data(), np), VecView<double>(hi.data(), np), level, ssq,
                     VecView<double>(se.data(), np), VecView<double>(cl.data(), np),
                     VecView<double>(res17.data(), np), stats.bind(n), &code, offset, &first, bpostrun);
  }

  int32_t n, np, nx;
  int32_t mode = 0;
  int32_t level = 3;
  int32_t code = 91;
  int32_t first = 1;
  int32_t bpostrun = 0;
  double offset = 1e-9;
  double ssq = 0.0;
  std::vector<double> p, x, y, yf, sig, lo, hi, se, cl, res17;
  std::vector<int32_t> mask;
  cascadetest::StatsArrays stats;
};

class CascadeNist : public CascadeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CascadeNist, ModerateFirstPassReachesCertifiedSum) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist(GetParam(), 1, pb));
  globals::iopt = 2;
  NistPass pass(pb);
  pass.run();
  const double lre = pb.ssr_lre(pass.ssq);
  RecordProperty("ssr_lre", std::to_string(lre));
  RecordProperty("params_lre", std::to_string(pb.params_lre(pass.p)));
  EXPECT_GE(lre, kSsrLreFloor);
  for (int32_t i = 0; i < pass.np; ++i) EXPECT_GT(pass.se[i], 0.0);
}

INSTANTIATE_TEST_SUITE_P(Nist, CascadeNist, ::testing::Values("Misra1a", "Thurber", "MGH09"));

}  // namespace
