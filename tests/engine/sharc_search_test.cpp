#include "engine/sharc_search.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "engine/engine_fixture.hpp"
#include "engine/sharc_gnllsqr.hpp"
#include "engine/sharc_hitnrun.hpp"
#include "model/funct.hpp"
#include "support/close.hpp"

namespace {

using enginetest::EngineFixture;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

class SharcSearch : public EngineFixture {
 protected:
  std::vector<double> table_ = std::vector<double>(sharc_mod::kHitTableSize);

  void fill_table() {
    for (int32_t i = 0; i < sharc_mod::kHitTableSize; ++i) table_[i] = (i * 37 % 60) / 60.0;
  }
};

// hitnrun on two parameters from x with the table; returns xbest.
std::vector<double> run_hitnrun(sharc_mod::RunState& rs,
                                std::vector<double>& table,
                                const std::vector<double>& x,
                                int32_t& nacc,
                                double& fmin,
                                double step,
                                int32_t maxit) {
  std::vector<double> best(2, kNan);
  sharc_mod::hitnrun(rs,
                     2,
                     VecView<const double>(x.data(), 2),
                     VecView<double>(best.data(), 2),
                     VecView<double>(table.data(), sharc_mod::kHitTableSize),
                     nacc,
                     fmin,
                     step,
                     maxit);
  return best;
}

// A search from x with the value fmin of x handed in; returns the point found, fmin updated.
struct NamedSearch {
  const char* name;
  std::function<std::vector<double>(
      sharc_mod::RunState&, std::vector<double>&, std::vector<double>, double&)>
      run;
};

// The three searches with the limits the cascade gives them (hit-and-run with fewer passes).
const NamedSearch kSearches[] = {
    {"simplex",
     [](sharc_mod::RunState& rs, std::vector<double>&, std::vector<double> x, double& fmin) {
       sharc_mod::simplex(rs, VecView<double>(x.data(), 2), 2, fmin, 0.01, 250);
       return x;
     }},
    {"hooke",
     [](sharc_mod::RunState& rs, std::vector<double>&, std::vector<double> x, double& fmin) {
       std::vector<double> end(2, kNan);
       sharc_mod::hooke(rs,
                        2,
                        VecView<const double>(x.data(), 2),
                        VecView<double>(end.data(), 2),
                        rs.lo_view(),
                        rs.hi_view(),
                        fmin,
                        0.6,
                        1e-6,
                        250);
       return end;
     }},
    {"hitnrun",
     [](sharc_mod::RunState& rs, std::vector<double>& table, std::vector<double> x, double& fmin) {
       int32_t nacc = -1;
       return run_hitnrun(rs, table, x, nacc, fmin, 0.5, 10);
     }},
    {"hitnrun2",
     [](sharc_mod::RunState& rs, std::vector<double>&, std::vector<double> x, double& fmin) {
       int32_t nacc = -1;
       sharc_mod::hitnrun2(rs, 2, VecView<double>(x.data(), 2), nacc, fmin, 0.1, 10);
       return x;
     }},
};

TEST_F(SharcSearch, SearchesLowerTheSumAndReturnAPointWithItsOwnValue) {
  struct Start {
    const char* what;
    int32_t mask2;
  };
  const Start starts[] = {{"both free", 1}, {"P2 fixed", 0}};
  for (const NamedSearch& s : kSearches) {
    for (const Start& st : starts) {
      SCOPED_TRACE(::testing::Message() << s.name << ", " << st.what);
      fill_table();
      common_data::pmask(2) = st.mask2;
      const std::vector<double> x0 = {1.0, 0.3};
      const double f0 = objective(x0);
      double fmin = f0;
      const std::vector<double> x = s.run(*state_, table_, x0, fmin);
      EXPECT_LT(fmin, 0.5 * f0);
      EXPECT_EQ(objective(x), fmin);
      if (st.mask2 == 0) {
        EXPECT_EQ(x[1], 0.3);
      }
    }
  }
}

TEST_F(SharcSearch, SearchesReturnTheStartWhenNothingIsBelowTheGivenValue) {
  for (const NamedSearch& s : kSearches) {
    SCOPED_TRACE(s.name);
    fill_table();
    const std::vector<double> x0 = {1.0, 0.3};
    double fmin = 1e-12;  // below every value of the model on these data
    const std::vector<double> x = s.run(*state_, table_, x0, fmin);
    EXPECT_EQ(x, x0);
    EXPECT_EQ(fmin, 1e-12);
  }
}

TEST_F(SharcSearch, SimplexStartsFromTheStatedVertices) {
  // With no iteration the search returns the best vertex of its start simplex.
  const std::vector<std::vector<double>> vertices = {
      {0.185185185185, 0.555555555556}, {1.00037037037, 2.02}, {1.0019245009, 2.00769800359}};
  size_t best = 0;
  for (size_t v = 1; v < vertices.size(); ++v) {
    if (ssq(vertices[v][0], vertices[v][1]) < ssq(vertices[best][0], vertices[best][1])) best = v;
  }
  std::vector<double> x = {1.0, 2.0};
  double fmin = 1e30;
  sharc_mod::simplex(*state_, VecView<double>(x.data(), 2), 2, fmin, 0.01, 0);
  EXPECT_NEAR(x[0], vertices[best][0], 1e-10);
  EXPECT_NEAR(x[1], vertices[best][1], 1e-10);
  EXPECT_EQ(fmin, objective(x));
  EXPECT_EQ(funct::fun_count, 3 + 1);  // three vertices, then the check above
}

TEST(SharcSimplexOrder, TiesGoToTheLowestIndexAndSecondWorstLiesStrictlyBelow) {
  struct Case {
    std::vector<double> f;
    int32_t h, s, l;
  };
  const Case cases[] = {
      {{5, 5, 1}, 1, 3, 3},     // tied worst: nothing strictly between, so s is l
      {{5, 3, 3, 1}, 1, 2, 4},  // tied second-worst: the lower index
      {{2, 7, 7, 1}, 2, 1, 4},  // the largest value below the tie
      {{1, 1, 1}, 1, 1, 1},
      {{1, 4, 2}, 2, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.f));
    int32_t h = 0, s = 0, l = 0;
    const int32_t nv = static_cast<int32_t>(c.f.size());
    sharc_mod::simplex_order(VecView<const double>(c.f.data(), nv), nv, h, s, l);
    EXPECT_EQ(h, c.h);
    EXPECT_EQ(s, c.s);
    EXPECT_EQ(l, c.l);
  }
}

TEST_F(SharcSearch, HookeWithEpsAtLeastRhoEvaluatesOnlyTheStart) {
  const std::vector<double> x = {1.0, 0.3};
  const double f0 = objective(x);
  struct Case {
    double fmin_in, fmin_out;
  };
  const Case cases[] = {{1e30, f0}, {1e-12, 1e-12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fmin_in);
    funct::reset();
    std::vector<double> end(2, kNan);
    double fmin = c.fmin_in;
    sharc_mod::hooke(*state_,
                     2,
                     VecView<const double>(x.data(), 2),
                     VecView<double>(end.data(), 2),
                     state_->lo_view(),
                     state_->hi_view(),
                     fmin,
                     0.5,
                     0.5,
                     100);
    EXPECT_EQ(end, x);
    EXPECT_EQ(fmin, c.fmin_out);
    EXPECT_EQ(funct::fun_count, 1);
  }
}

TEST_F(SharcSearch, HitnrunWithoutAnImprovementKeepsTheStart) {
  struct Case {
    const char* what;
    double fmin_in, fmin_out;
    int32_t nacc_out;
  };
  // Positive fmin: the first end branch with nacc 0. fmin 0: the second branch, nacc untouched.
  const Case cases[] = {{"positive", 1e-12, 1e-12, 0}, {"zero", 0.0, 0.0, -7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fill_table();
    const std::vector<double> x = {1.0, 0.3};
    int32_t nacc = -7;
    double fmin = c.fmin_in;
    const std::vector<double> best = run_hitnrun(*state_, table_, x, nacc, fmin, 0.5, 5);
    EXPECT_EQ(best, x);
    EXPECT_EQ(fmin, c.fmin_out);
    EXPECT_EQ(nacc, c.nacc_out);
  }
}

TEST_F(SharcSearch, Hitnrun2WithoutASumAcceptsAnyFiniteResult) {
  std::vector<double> x = {1.0, 0.3};
  int32_t nacc = -1;
  sharc_mod::hitnrun2(*state_, 2, VecView<double>(x.data(), 2), nacc);
  EXPECT_GT(nacc, 0);
  EXPECT_NE(x, (std::vector<double>{1.0, 0.3}));
}

TEST_F(SharcSearch, HitnrunTrialsOutsideTheBoundsLandInside) {
  // Tight bounds around the start: every trial that leaves them is placed back inside, so the
  // point found lies within them.
  make_state(0, {0.9, 0.25}, {1.1, 0.35});
  fill_table();
  const std::vector<double> x = {1.0, 0.3};
  int32_t nacc = 0;
  double fmin = objective(x);
  const std::vector<double> best = run_hitnrun(*state_, table_, x, nacc, fmin, 10.0, 10);
  EXPECT_GT(nacc, 0);
  EXPECT_GE(best[0], 0.9);
  EXPECT_LE(best[0], 1.1);
  EXPECT_GE(best[1], 0.25);
  EXPECT_LE(best[1], 0.35);
}

TEST_F(SharcSearch, ShuffleFollowsTheTablesOwnValues) {
  struct Case {
    const char* what;
    std::vector<double> r, expected;
  };
  const Case cases[] = {
      // idx = (1, 2, 3, 2): only r(2) and r(4) trade places.
      {"valid indices", {0.1, 0.6, 0.7, 0.3}, {0.1, 0.3, 0.7, 0.6}},
      // 3 * 5.0 is past n: idx(3) and idx(4) stay 0 and swap with r(1).
      {"large value stops the filling", {0.5, 0.9, 5.0, 0.1}, {5.0, 0.9, 0.1, 0.5}},
      {"NaN stops the filling", {0.5, 0.9, kNan, 0.1}, {kNan, 0.9, 0.1, 0.5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> r = c.r;
    sharc_mod::shuffle(VecView<double>(r.data(), 4), 4);
    for (size_t i = 0; i < r.size(); ++i) {
      if (std::isnan(c.expected[i])) {
        EXPECT_TRUE(std::isnan(r[i])) << i;
      } else {
        EXPECT_EQ(r[i], c.expected[i]) << i;
      }
    }
  }
}

TEST(SharcMinmax, ClampsIntoTheSafeRange) {
  struct Case {
    double v, expected;
  };
  const Case cases[] = {{kNan, 1e-15},
                        {0.0, 1e-30},
                        {-0.0, -1e-30},
                        {1e20, 1e15},
                        {-1e20, 1e15},
                        {1e15, 1e15},
                        {2.5, 2.5},
                        {-2.5, -2.5},
                        {1e-31, 1e-30},
                        {-1e-31, -1e-30},
                        {1e31, 1e15}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    const double got = sharc_mod::minmax(c.v);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(std::signbit(got), std::signbit(c.expected));
  }
}

// The sum that weighting mode 2 gives (each residual over its fitted value), or the plain one.
double weighted_sum(
    const std::vector<double>& x, const std::vector<double>& y, double p1, double p2, bool by_fit) {
  double s = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    const double f = p1 * std::exp(-p2 * x[i]);
    s += std::pow((y[i] - f) / (by_fit ? f : 1.0), 2);
  }
  return s;
}

// From a start off the least sum, the stage steps to the least sum of the weighting in force:
// it returns a vector with its own sum, the last evaluation is of it, no change of 1e-4 in a
// parameter lowers that sum further, and a fixed parameter stays where it is.
TEST_F(SharcSearch, GnllsqrStepsToTheLeastSumOfTheWeighting) {
  const struct {
    const char* what;
    int32_t mode;
    bool p2_fixed;
  } cases[] = {{"unweighted", 0, false}, {"by the fitted value", 2, false}, {"P2 fixed", 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    state_->mode = c.mode;
    common_data::pmask(2) = c.p2_fixed ? 0 : 1;
    std::vector<double> p = {2.5, 0.45};
    double fmin = objective(p);
    const double start = fmin;
    sharc_mod::gnllsqr(*state_, kRows, 2, VecView<double>(p.data(), 2), fmin);
    EXPECT_LT(fmin, 0.1 * start);
    EXPECT_EQ(fmin, objective(p));
    EXPECT_NEAR(fmin, weighted_sum(x_, y_, p[0], p[1], c.mode == 2), 1e-12 * fmin);
    if (c.p2_fixed) {
      EXPECT_EQ(p[1], 0.45);
    }
    for (int32_t j = 0; j < (c.p2_fixed ? 1 : 2); ++j) {
      for (const double by : {1.0 - 1e-4, 1.0 + 1e-4}) {
        std::vector<double> q = p;
        q[size_t(j)] *= by;
        EXPECT_GE(weighted_sum(x_, y_, q[0], q[1], c.mode == 2), fmin) << j << " " << by;
      }
    }
    sharc_mod::gnllsqr(*state_, kRows, 2, VecView<double>(p.data(), 2), fmin);
    EXPECT_EQ(common_data::pfinal(1), p[0]);
    EXPECT_EQ(common_data::pfinal(2), p[1]);
  }
}

// Where no step lowers the sum below the one handed in, p and fmin come back bit for bit and
// the last evaluation publishes p as the bounds rule leaves it.
TEST_F(SharcSearch, GnllsqrWithoutALowerSumReturnsItsArgumentsAndPublishesTheStart) {
  struct Case {
    const char* what;
    std::vector<double> p;
    std::vector<double> published;  // pfinal afterwards
  };
  const Case cases[] = {{"inside the bounds", {2.9, 0.41}, {2.9, 0.41}},
                        {"zero parameter", {0.0, 0.41}, {5.0, 0.41}},
                        {"past the upper bound", {12.0, 0.41}, {5.0, 0.41}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    funct::reset();
    std::vector<double> p = c.p;
    double fmin = 1e-9;
    sharc_mod::gnllsqr(*state_, kRows, 2, VecView<double>(p.data(), 2), fmin);
    EXPECT_EQ(p, c.p);
    EXPECT_EQ(fmin, 1e-9);
    EXPECT_GE(funct::fun_count, 5 * 2 + 2);
    EXPECT_EQ(common_data::pfinal(1), c.published[0]);
    EXPECT_EQ(common_data::pfinal(2), c.published[1]);
  }
  funct::reset();
  std::vector<double> p = {2.9, 0.41};
  double fmin = 1.0;
  sharc_mod::gnllsqr(*state_, 0, 2, VecView<double>(p.data(), 2), fmin);
  EXPECT_EQ(funct::fun_count, 0);  // no rows, no evaluations
}

}  // namespace
