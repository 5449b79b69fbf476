#include "numerics/robustwt.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/close.hpp"

namespace {

std::vector<double> weights(std::vector<double> r) {
  std::vector<double> w(r.size(), std::numeric_limits<double>::quiet_NaN());
  robustwt::robust_wt(static_cast<int32_t>(r.size()),
                      VecView<const double>(r.data(), static_cast<long>(r.size())),
                      VecView<double>(w.data(), static_cast<long>(w.size())));
  return w;
}

double median_of(std::vector<double> x) {
  return robustwt::binmedian(VecView<const double>(x.data(), static_cast<long>(x.size())),
                             static_cast<int32_t>(x.size()));
}

// Reference weights from an independent implementation of the reweighting (Python).
TEST(RobustWt, WeightsMatchTheReference) {
  struct Case {
    std::vector<double> r;
    std::vector<double> w;
  };
  const Case cases[] = {
      {{0.3, -1.2, 2.5, 0.8, -0.1, 4.0, -0.6},
       {6.533270032770125,
        6.905449818648248,
        5.868341170323643,
        6.851674377538197,
        6.332186008694895,
        3.050181978233401,
        6.757011897795519}},
      {{0.3, -1.2, 2.5, 0.8, -0.1, 40.0, -0.6, 0.5},
       {6.904245169703147,
        6.8723978538594395,
        6.775207239275731,
        6.890159433189897,
        6.907347149061269,
        1.2932628721534363,
        6.89687784647233,
        6.899695259767571}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.r.size());
    const std::vector<double> w = weights(c.r);
    for (size_t i = 0; i < w.size(); ++i) EXPECT_NEAR_REL(w[i], c.w[i], 1e-12) << "i=" << i;
  }
}

TEST(RobustWt, VanishingSpreadGivesUnitWeights) {
  for (const std::vector<double>& r : {std::vector<double>{2.0, -2.0, 2.0, 2.0},
                                       std::vector<double>{0.0, 0.0, 0.0},
                                       std::vector<double>{7.0}}) {
    SCOPED_TRACE(r.size());
    for (double w : weights(r)) EXPECT_EQ(w, 1.0);
  }
}

TEST(RobustWt, NothingWrittenForAnEmptySample) {
  double w = -3.0;
  const double r = 1.0;
  robustwt::robust_wt(0, VecView<const double>(&r, 1), VecView<double>(&w, 1));
  EXPECT_EQ(w, -3.0);
}

TEST(RobustWt, ResidualThatIsNotANumberStillGivesFiniteWeights) {
  for (double w : weights({1.0, std::numeric_limits<double>::quiet_NaN(), 3.0, 0.5})) {
    EXPECT_TRUE(std::isfinite(w));
    EXPECT_GE(w, 0.0);
  }
}

TEST(BinMedian, MidpointsOfTheBinsAndTheFallbacks) {
  struct Case {
    const char* what;
    std::vector<double> x;
    double expected;
    double tol;
  };
  const double sigma3 = std::sqrt(2.0 / 3.0);
  const Case cases[] = {
      {"odd count: within a bin width of the middle value", {1, 2, 3}, 2.0, sigma3 / 1000},
      {"equal values: zero spread gives the mean", {5, 5, 5}, 5.0, 0.0},
      // mean 2, sd 1: lo = 1, 500 bins per unit; six 2s fill bin 500, so the count passes 4
      {"even count past the middle in one bin", {0, 4, 2, 2, 2, 2, 2, 2}, 2.001, 1e-15},
      {"even count exactly half: two midpoints averaged", {1, 2, 3, 4}, 2.5, 1e-12},
      {"even count, upper half at the top edge: the mean", {1, 3}, 2.0, 0.0},
      {"single value", {-4.5}, -4.5, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_NEAR(median_of(c.x), c.expected, c.tol);
  }
  const double x = 1.0;
  EXPECT_EQ(robustwt::binmedian(VecView<const double>(&x, 1), 0), 0.0);
}

TEST(BinMedian, NonFiniteSpreadGivesTheMean) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(median_of({1.0, inf, 2.0}), inf);
  EXPECT_EQ(median_of({1e300, -1e300, 1e300}), 1e300 / 3.0);
}

}  // namespace
