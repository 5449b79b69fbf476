// The Gauss-Newton trust-region method: reference fits, the keep-or-restore rule of gn_main,
// input errors, fixed parameters, and its support routines on constructed inputs.
#include "optimizers/gn_module.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "model/funct.hpp"
#include "model/model_front.hpp"
#include "numerics/stringlib.hpp"
#include "optimizers/gn_mod.hpp"
#include "support/close.hpp"
#include "support/nist_problem.hpp"

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();

VecView<double> view(std::vector<double>& v) {
  return VecView<double>(v.data(), static_cast<long>(v.size()));
}
VecView<const double> cview(const std::vector<double>& v) {
  return VecView<const double>(v.data(), static_cast<long>(v.size()));
}

// Shared state reset before and after each test; small problems built in memory.
class GnTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }

  static void reset() {
    testsupport::reset_shared_state();
    gn_mod::reset();
  }

  // Model Y = formula over the rows (x, y), every parameter free with bounds [lo, hi],
  // weighting None (sigma 1).
  static void make_problem(const std::string& formula,
                           const std::vector<double>& x,
                           const std::vector<double>& y,
                           int32_t np,
                           double lo = -1e6,
                           double hi = 1e6) {
    common_udf::cudf = stringlib::fixed(formula, common_udf::len_text);
    int32_t npar = 0, nvar = 0, length = 0, ierr = 0;
    std::string message;
    parse_func(npar, nvar, common_udf::cudf, length, ierr, message);
    ASSERT_EQ(ierr, 0) << message;
    common_data::nd = static_cast<int32_t>(x.size());
    common_data::nxd = 1;
    common_data::npr = np;
    for (int32_t i = 1; i <= common_data::nd; ++i) {
      common_data::xd(i) = x[i - 1];
      common_data::xnx(i, 1) = x[i - 1];
      common_data::yd(i) = y[i - 1];
      common_data::ysig(i) = 1.0;
    }
    for (int32_t j = 1; j <= np; ++j) {
      common_data::pmask(j) = 1;
      common_data::pboundlo(j) = lo;
      common_data::pboundhi(j) = hi;
    }
  }
};

// ---------------------------------------------------------------------------------------------
// gn_main on reference problems.

class GnMainNist : public GnTest {};
// gn_chol on a 2 x 2 matrix h (by columns) and gradient g; l and s start as NaN.
class GnChol : public GnTest {
 protected:
  void chol(const std::vector<double>& h, const std::vector<double>& g, double& mu) {
    l.assign(4, kNan);
    s.assign(2, kNan);
    gn_module::gn_chol(2,
                       mu,
                       MatView<const double>(h.data(), 2, 2, 2),
                       cview(g),
                       MatView<double>(l.data(), 2, 2, 2),
                       view(s));
  }
  std::vector<double> l, s;
};
class GnCauchy : public GnTest {};

TEST_F(GnMainNist, Misra1aFromBothStartsReachesTheCertifiedFit) {
  for (int32_t start : {1, 2}) {
    SCOPED_TRACE(start);
    testsupport::NistProblem pb;
    ASSERT_TRUE(testsupport::load_nist("Misra1a", start, pb));
    std::vector<double> x = pb.x0;
    double ssq = pb.start_ssq;
    int32_t info = -1;
    gn_module::gn_main(pb.m, pb.n, view(x), ssq, info);
    EXPECT_GE(info, 1);  // converged: a sum of the codes 1, 2 and 8
    EXPECT_LE(info, 11);
    EXPECT_NEAR_REL(ssq, pb.certified_ssr, 1e-6);
    EXPECT_NEAR_REL(pb.ssq(x), pb.certified_ssr, 1e-6);
    EXPECT_GE(pb.params_lre(x), 5.0);
    // The shared state describes the returned vector.
    for (int32_t j = 1; j <= pb.n; ++j) EXPECT_EQ(common_data::pfinal(j), x[j - 1]);
  }
}

TEST_F(GnMainNist, StartBelowEveryPointFoundIsReturnedUnchanged) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Misra1a", 1, pb));
  std::vector<double> x = pb.certified;
  double ssq = 0.9 * pb.certified_ssr;  // no vector reaches this sum
  const double entry = ssq;
  int32_t info = -1;
  gn_module::gn_main(pb.m, pb.n, view(x), ssq, info);
  EXPECT_EQ(x, pb.certified);
  EXPECT_EQ(ssq, entry);
}

TEST_F(GnMainNist, BlowUpReevaluatesUntilHalfTheLimitThenRestoresTheStart) {
  // MGH10's starts give sums far above 1e7: the first trial point is a blow-up.
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("MGH10", 1, pb));
  ASSERT_GT(pb.start_ssq, 1e7);
  std::vector<double> x = pb.x0;
  double ssq = pb.start_ssq;
  int32_t info = -1;
  testsupport::EvalCount evals;
  gn_module::gn_main(pb.m, pb.n, view(x), ssq, info);
  EXPECT_EQ(info, gn_module::kBlowUp);
  EXPECT_EQ(x, pb.x0);
  EXPECT_EQ(ssq, pb.start_ssq);
  EXPECT_EQ(gn_mod::iter, gn_mod::limit / 2);
  // The start, iterations 1..100 of the same point, and gn_main's final evaluation.
  EXPECT_EQ(evals.count(), 1 + gn_mod::limit / 2 + 1);
}

TEST_F(GnMainNist, FixedParameterStaysBitIdenticalAndTheOthersFit) {
  // Rat42 with P3 held at its certified value: P1 and P2 must reach theirs. With a budget of
  // two iterations the first step must already lower the sum a lot: it comes from a full
  // Jacobian, not from a rank-1 update of the zero Jacobian the iteration starts with.
  for (int32_t limit : {200, 2}) {
    SCOPED_TRACE(limit);
    testsupport::NistProblem pb;
    ASSERT_TRUE(testsupport::load_nist("Rat42", 2, pb));
    gn_mod::limit = limit;
    std::vector<double> x = pb.x0;
    x[2] = pb.certified[2];
    common_data::pmask(3) = 0;
    double ssq = pb.ssq(x);
    const double entry = ssq;
    int32_t info = -1;
    gn_module::gn_main(pb.m, pb.n, view(x), ssq, info);
    EXPECT_EQ(x[2], pb.certified[2]);
    EXPECT_LT(ssq, 0.5 * entry);
    if (limit == 200) {
      EXPECT_GE(testsupport::lre(x[0], pb.certified[0]), 4.0);
      EXPECT_GE(testsupport::lre(x[1], pb.certified[1]), 4.0);
      EXPECT_NEAR_REL(ssq, pb.certified_ssr, 1e-6);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// gn_main on constructed problems.

TEST_F(GnTest, InputErrorsGive128AndChangeNothing) {
  make_problem("P1*X1+P2", {1, 2, 3, 4}, {5, 7, 9, 11}, 2);
  struct Case {
    const char* what;
    int32_t m, n;
    int32_t limit = 200;
    int32_t iscale = 1;
  };
  const Case cases[] = {
      {"no rows", 0, 2},
      {"no parameters", 4, 0},
      {"no iterations", 4, 2, 0},
      {"more rows than the data arrays", common_data::max_rows + 1, 2},
      {"more parameters than the slots", 4, common_data::max_params + 1},
      {"fixed scale without d0", 4, 2, 200, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gn_mod::reset();
    gn_mod::limit = c.limit;
    gn_mod::iscale = c.iscale;
    std::vector<double> x(common_data::max_params + 1, 1.5);
    double ssq = 42.0;
    int32_t info = -1;
    gn_module::gn_main(c.m, c.n, VecView<double>(x.data(), std::max(c.n, 1)), ssq, info);
    EXPECT_EQ(info, gn_module::kInputError);
    EXPECT_EQ(ssq, 42.0);
    for (double v : x) EXPECT_EQ(v, 1.5);
  }
}

TEST_F(GnTest, ExactFitKeepsAFiniteZeroStepAndStoresTheFloorSum) {
  // Residuals all 0: gradient 0, Newton step 0, which must stay 0 (not 0 * stptol/0).
  make_problem("P1*X1+P2", {1, 2, 3, 4}, {5, 7, 9, 11}, 2);
  std::vector<double> x = {2.0, 3.0};
  double ssq = 1.0;
  int32_t info = -1;
  gn_module::gn_main(4, 2, view(x), ssq, info);
  EXPECT_GE(info, gn_module::kConvSmall);
  EXPECT_EQ(x, (std::vector<double>{2.0, 3.0}));
  EXPECT_EQ(ssq, 1e-14);  // below the entry sum; the real sum is below 1e-14
}

TEST_F(GnTest, LinearProblemFitsFromAFarStart) {
  // y = 2x + 3 with alternating noise +-0.1: least squares gives P1 = 2 - 0.04, P2 = 3.1.
  make_problem("P1*X1+P2", {1, 2, 3, 4}, {5.1, 6.9, 9.1, 10.9}, 2);
  std::vector<double> x = {10.0, -4.0};
  double ssq = 1e6;
  int32_t info = -1;
  gn_module::gn_main(4, 2, view(x), ssq, info);
  // The iteration stops when the sum changes by less than 1e-8 of itself: the sum is then
  // that close, the parameters about its square root.
  EXPECT_NEAR_REL(ssq, 0.032, 1e-8);  // residuals 0.04, -0.12, 0.12, -0.04
  EXPECT_NEAR_REL(x[0], 1.96, 1e-5);
  EXPECT_NEAR_REL(x[1], 3.1, 1e-5);
}

TEST_F(GnTest, ParameterWhoseResidualChangesCancelKeepsItsRealDerivative) {
  // x symmetric about 0: the changes of the residuals with P1 sum to zero row by row, yet P1
  // has a strong effect. Its Jacobian column must stay the real one for the fit to get there.
  make_problem("P1*X1+P2", {-2, -1, 1, 2}, {-5.1, -2.0, 4.1, 7.0}, 2);
  std::vector<double> x = {1.0, 1.0};
  double ssq = 1e6;
  int32_t info = -1;
  gn_module::gn_main(4, 2, view(x), ssq, info);
  // Least squares: P1 = sum(x y)/sum(x^2) = 30.3/10, P2 = mean(y) = 1.
  EXPECT_NEAR_REL(x[0], 3.03, 1e-5);
  EXPECT_NEAR_REL(x[1], 1.0, 1e-5);
}

TEST_F(GnTest, GnfunReturnsResidualsAndRestoresTheSigmas) {
  make_problem("P1*X1+P2", {1, 2, 3}, {4, 4, 9}, 2);
  common_data::ndwt = 4;  // StdDev / Residual: the evaluator writes its own sigmas
  for (int32_t i = 1; i <= 3; ++i) common_data::ysig(i) = 0.5 * i;
  std::vector<double> x = {2.0, 1.0};
  std::vector<double> r(3, kNan);
  double f = kNan;
  gn_module::gnfun(3, 2, cview(x), view(r), f);
  EXPECT_EQ(r, (std::vector<double>{1.0, -1.0, 2.0}));
  for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(common_data::ysig(i), 0.5 * i);
  EXPECT_EQ(common_data::ydf(3), 7.0);
  EXPECT_EQ(common_data::pfinal(1), 2.0);
  EXPECT_EQ(common_data::pfinal(2), 1.0);
  EXPECT_TRUE(std::isfinite(f));
  EXPECT_GT(f, 0.0);

  std::vector<double> y = {5.0, 6.0};
  gn_module::gnfun(0, 2, cview(y), view(r), f);
  EXPECT_EQ(f, 0.0);
  EXPECT_EQ(common_data::pfinal(1), 5.0);
}

// ---------------------------------------------------------------------------------------------
// Support routines.

TEST_F(GnChol, PositiveDefiniteMatrixFactorisesAtOnce) {
  gn_mod::hnorm = 1.0;
  std::vector<double> h = {4, 2, 2, 3};  // [[4, 2], [2, 3]] by columns
  std::vector<double> g = {2, 1};
  double mu = 0.0;
  chol(h, g, mu);
  EXPECT_EQ(mu, 0.0);
  EXPECT_DOUBLE_EQ(l[0], 2.0);
  EXPECT_DOUBLE_EQ(l[1], 1.0);
  EXPECT_DOUBLE_EQ(l[3], std::sqrt(2.0));
  // H s = -g: s = -(1/8) [3 -2; -2 4] g = (-0.5, 0).
  EXPECT_NEAR(s[0], -0.5, 1e-15);
  EXPECT_NEAR(s[1], 0.0, 1e-15);
}

TEST_F(GnChol, ShiftRisesUntilTheMatrixFactorises) {
  struct Case {
    const char* what;
    std::vector<double> h;
    double hnorm;
    double mu_expected;
  };
  const Case cases[] = {
      {"singular: one failed attempt", {1, 1, 1, 1}, 0.5, 0.5},
      {"strongly indefinite: beyond nf attempts", {-100, 0, 0, 1}, 1.0, 128.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gn_mod::hnorm = c.hnorm;
    std::vector<double> g = {1, -1};
    double mu = 0.0;
    chol(c.h, g, mu);
    EXPECT_EQ(mu, c.mu_expected);
    // (H + mu I) s = -g
    EXPECT_NEAR((c.h[0] + mu) * s[0] + c.h[2] * s[1], -g[0], 1e-12);
    EXPECT_NEAR(c.h[1] * s[0] + (c.h[3] + mu) * s[1], -g[1], 1e-12);
  }
}

TEST_F(GnChol, MatrixThatNeverFactorisesGivesAFiniteSteepestDescentStep) {
  gn_mod::hnorm = 1.0;
  std::vector<double> h = {kNan, 0, 0, 1};
  std::vector<double> g = {2, -4};
  double mu = 0.0;
  chol(h, g, mu);
  ASSERT_GT(mu, 0.0);
  EXPECT_TRUE(std::isfinite(mu));
  EXPECT_DOUBLE_EQ(s[0], -2.0 / mu);
  EXPECT_DOUBLE_EQ(s[1], 4.0 / mu);
  EXPECT_DOUBLE_EQ(l[0], std::sqrt(mu));
  EXPECT_EQ(l[1], 0.0);
}

TEST_F(GnCauchy, RadiusIsTheCauchyStepWithinItsLimits) {
  struct Case {
    const char* what;
    double l11;  // L = l11 * I, so g'Hg = l11^2 |g|^2
    double gnorm;
    double expected;
  };
  const double g_norm = 5.0;  // g = (3, 4)
  const Case cases[] = {
      {"0.6 |g|^3 / g'Hg", 1.0, g_norm, 0.6 * 5.0},
      {"small curvature: 250 nf", 1e-6, g_norm, 500.0},
      {"large curvature: 0.5", 1e6, g_norm, 0.5},
      {"zero gradient keeps the radius", 1.0, 0.0, 7.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> l = {c.l11, 0, 0, c.l11};
    std::vector<double> g = {3, 4};
    double del = 7.0;
    gn_module::gn_cauchy(2, MatView<const double>(l.data(), 2, 2, 2), cview(g), c.gnorm, del);
    EXPECT_NEAR_REL(del, c.expected, 1e-12);
  }
}

TEST_F(GnTest, XmaskedarrayFillsTheFreeSlotsInOrder) {
  common_data::pmask(1) = 1;
  common_data::pmask(2) = 0;
  common_data::pmask(3) = 1;
  std::vector<double> xf = {7, 9};
  std::vector<double> xfull = {1, 2, 3};
  std::vector<double> out(3, kNan);
  gn_module::xmaskedarray(3, 2, cview(xf), cview(xfull), view(out));
  EXPECT_EQ(out, (std::vector<double>{7, 2, 9}));
}

TEST_F(GnTest, NearbysearchProbesZeroAtTinyStepsAndStopsAfterSixKeptProbes) {
  // Only P2 free, at 0; the data want P2 = 1, so every upward probe is kept. Sweep k moves
  // v by 2 * 0.000122 * |t + v|: the first probe is at 2.44e-10. After six kept probes (c > 5)
  // the search ends: six sweeps of one evaluation each.
  make_problem("P1*X1+P2", {1, 2, 3}, {3, 5, 7}, 2);
  common_data::pmask(1) = 0;
  std::vector<double> xfull = {2.0, 0.0};
  std::vector<double> xf = {0.0};
  std::vector<double> t = {1e-6};
  double v = 0.0;
  for (int k = 0; k < 6; ++k) v += 2.0 * (0.000122 * std::fabs(1e-6 + v));
  testsupport::EvalCount evals;
  double f = kNan;
  gn_module::nearbysearch(3, 1, 2, view(xf), cview(xfull), cview(t), 3.0, f);
  EXPECT_EQ(evals.count(), 6);
  EXPECT_DOUBLE_EQ(xf[0], v);
  EXPECT_NEAR(2.0 * 0.000122 * 1e-6, 2.44e-10, 1e-24);
  EXPECT_NEAR_REL(f, 3.0 * (1.0 - v) * (1.0 - v), 1e-12);
}

TEST_F(GnTest, NearbysearchKeepsTheStartWhenNothingIsBetter) {
  make_problem("P1*X1+P2", {1, 2, 3}, {3, 5, 7}, 2);
  std::vector<double> xfull = {2.0, 1.0};
  std::vector<double> xf = {2.0, 1.0};  // the exact fit
  std::vector<double> t = {1e-3, 1e-3};
  double f = kNan;
  testsupport::EvalCount evals;
  gn_module::nearbysearch(3, 2, 2, view(xf), cview(xfull), cview(t), 0.0, f);
  EXPECT_EQ(xf, (std::vector<double>{2.0, 1.0}));
  EXPECT_EQ(f, 0.0);
  EXPECT_EQ(evals.count(), 4);  // one sweep, up and down per parameter: nothing to repeat
}

TEST_F(GnTest, NearbysearchKeepsADownwardProbe) {
  make_problem("P1*X1+P2", {1, 2, 3}, {3, 5, 7}, 2);
  common_data::pmask(1) = 0;
  std::vector<double> xfull = {2.0, 5.0};
  std::vector<double> xf = {5.0};
  std::vector<double> t = {0.0};
  double f = kNan;
  gn_module::nearbysearch(3, 1, 2, view(xf), cview(xfull), cview(t), 48.0, f);
  EXPECT_LT(xf[0], 5.0);
  EXPECT_NEAR_REL(f, 3.0 * (xf[0] - 1.0) * (xf[0] - 1.0), 1e-12);
}

}  // namespace
