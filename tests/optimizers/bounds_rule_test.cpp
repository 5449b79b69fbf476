#include "optimizers/bounds_rule.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "optimizers/optim_support.hpp"

namespace {

// Half the square root of s: the reset point of the lower test.
double r(double s) { return 0.5 * std::sqrt(s); }

struct Case {
  double lo, hi, x, expected;
};

class BoundsRule : public ::testing::Test {
 protected:
  void SetUp() override {
    common_data::reset();
    for (int i = 1; i <= common_data::max_params; ++i) common_data::pmask(i) = 1;
  }
  // Runs pbounds3 on one parameter; returns the new value and the ssq it left (ssq starts at 3).
  std::pair<double, double> run(double lo, double hi, double x) {
    double vx = x, vlo = lo, vhi = hi, ssq = 3.0;
    bounds_rule::pbounds3(VecView<double>(&vx, 1),
                          1,
                          VecView<const double>(&vlo, 1),
                          VecView<const double>(&vhi, 1),
                          ssq);
    return {vx, ssq};
  }
};

TEST_F(BoundsRule, MovesAndKeepsValuesAsTheRuleStates) {
  const Case cases[] = {
      {1, 10, 9.6, 5.0},       // within 5 % of hi
      {1, 10, 9.4, 9.4},       // inside
      {1, 10, 1.04, r(9)},     // within 5 % of lo: half the root of the span
      {1, 10, 1.06, 1.06},     // inside
      {-10, -1, -0.9, -1.5},   // past the negative upper bound: 1.5*hi
      {-10, -1, -1.02, -1.5},  // within 5 % of it
      {-5, 200, 0, r(195)},    // zero reads -100 against the lower bound
      {-200, 200, 0, 0},       // zero inside both tests
      {0, 10, 0, 5},           // upper test only
      {0, 10, 0.3, 0.3},       // 0.3 < 1.05*0 is false
      {-10, 0, -1, -1},
      {1, 10, 50, 5},        // far above hi: half of hi, not hi
      {1, 10, 0.5, r(9)},    // below lo
      {1, 10, HUGE_VAL, 5},  // an infinite value is moved like a large one
      {0, 1000, 0, r(1000)},
      {0, 1000, 980, 500},
      {1e-3, 1e3, 1.01e-3, r(1e3 - 1e-3)},
      {1e-3, 1e3, 2e3, 500},
      {0.1, 0.15, 0.149, r(0.05)},  // half of hi lies below lo; the lower test brings it back
      // The stated point lies outside the bounds: a value inside stays, one outside goes to
      // the nearer bound.
      {-10, -1, -9.6, -9.6},  // the reset of a negative lower bound is positive
      {-10, -1, -20, -10},
      {-10, 0, 0, 0},  // moved to 0 by the upper test, then reset above hi
      {0, 0, 0, 0},    // equal bounds: the floor of the reset lies above them
      {0, 0, 3, 0},
      {6, 10, 9.8, 9.8},  // half of hi and then the reset lie below lo
      {6, 10, 11, 10},
      // Bounds narrow against their size (hi < 1.05 lo): both margins lie outside them, so no
      // value inside is moved.
      {490, 510, 500, 500},
      {490, 510, 490.5, 490.5},
      {490, 510, 509.9, 509.9},
      {490, 510, 520, 510},
      {490, 510, 480, 490},
      {490.0 / 512, 510.0 / 512, 495.0 / 512, 495.0 / 512},  // the same in the fit's frame
      {490.0 / 512, 510.0 / 512, 0.5, 490.0 / 512},
      {290, 310, 309, 309},
      {1.70e9, 1.71e9, 1.7e9, 1.7e9},
      {1.70e9, 1.71e9, 0, 1.70e9},
      {-510, -490, -500, -500},
      {-510, -490, -400, -490},
      {-510, -490, -600, -510},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lo " << c.lo << " hi " << c.hi << " x " << c.x);
    auto [x, ssq] = run(c.lo, c.hi, c.x);
    EXPECT_NEAR(x, c.expected, 1e-12 * std::fmax(1.0, std::fabs(c.expected)));
    EXPECT_EQ(ssq, x == c.x ? 3.0 : 6.0);
  }
  EXPECT_NEAR(r(11), 1.6583123951777, 1e-12);
}

TEST_F(BoundsRule, NanFixedAndEmptyAreLeftAlone) {
  auto [x, ssq] = run(1, 10, std::nan(""));
  EXPECT_TRUE(std::isnan(x));
  EXPECT_EQ(ssq, 3.0);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto [y, ssq2] = run(nan, nan, 9.9);  // NaN bounds make every comparison false
  EXPECT_EQ(y, 9.9);
  EXPECT_EQ(ssq2, 3.0);

  common_data::pmask(1) = 0;
  auto [z, ssq3] = run(1, 10, 9.99);
  EXPECT_EQ(z, 9.99);
  EXPECT_EQ(ssq3, 3.0);

  double v = 9.9, lo = 1, hi = 10, s = 3.0;
  bounds_rule::pbounds3(
      VecView<double>(&v, 1), 0, VecView<const double>(&lo, 1), VecView<const double>(&hi, 1), s);
  EXPECT_EQ(v, 9.9);
  EXPECT_EQ(s, 3.0);
}

TEST_F(BoundsRule, MaskIsLookedUpByPosition) {
  common_data::pmask(1) = 0;
  double x[3] = {9.6, 9.6, 9.6}, lo[3] = {1, 1, 1}, hi[3] = {10, 10, 10}, ssq = 1.0;
  bounds_rule::pbounds3(
      VecView<double>(x, 3), 3, VecView<const double>(lo, 3), VecView<const double>(hi, 3), ssq);
  EXPECT_EQ(x[0], 9.6);
  EXPECT_EQ(x[1], 5.0);
  EXPECT_EQ(x[2], 5.0);
  EXPECT_EQ(ssq, 2.0);
}

TEST_F(BoundsRule, SumDoublesOnceWhenSeveralMove) {
  double x[3] = {9.6, 9.7, 5.0}, lo[3] = {1, 1, 1}, hi[3] = {10, 10, 10}, ssq = 2.0;
  bounds_rule::pbounds3(
      VecView<double>(x, 3), 3, VecView<const double>(lo, 3), VecView<const double>(hi, 3), ssq);
  EXPECT_EQ(x[0], 5.0);
  EXPECT_EQ(x[1], 5.0);
  EXPECT_EQ(x[2], 5.0);
  EXPECT_EQ(ssq, 4.0);
}

// The rule exactly as stated, every magnitude recomputed through log10 and pow, with its two
// limits (a result inside [lo, hi]; a value inside moved only when the margins of the tests
// that fire lie inside too): the oracle for apply, which reaches the same decisions without
// the logarithms where it can.
double stated_rule(double v, double lo, double hi, bool& moved) {
  auto mag = [](double x) { return std::pow(10.0, std::log10(std::fabs(x))); };
  auto reset = [](double s) { return 0.5 * std::pow(10.0, 0.5 * std::log10(std::max(1e-15, s))); };
  auto in = [&](double x) { return lo <= x && x <= hi; };
  const double v0 = v;
  if (std::isnan(v)) return v;
  bool upper = v > 0.0 ? mag(v) > 0.95 * hi : v == 0.0 ? 100.0 > 0.95 * hi : -mag(v) > 1.05 * hi;
  bool margins = !upper || in((v < 0.0 ? 1.05 : 0.95) * hi);
  if (upper) v = v < 0.0 ? 1.5 * hi : 0.5 * hi;
  const double w = v;
  bool lower = w > 0.0 ? mag(w) < 1.05 * lo : w == 0.0 ? 0.95 * lo > -100.0 : -mag(w) < 0.95 * lo;
  margins = margins && (!lower || in((w > 0.0 ? 1.05 : 0.95) * lo));
  if (lower) v = reset(std::fabs(w > 0.0 ? hi - lo : hi + lo));
  moved = upper || lower;
  if (!moved || !(lo <= hi) || (in(v) && (!in(v0) || margins))) return v;
  moved = !in(v0);
  return moved ? std::clamp(v0, lo, hi) : v0;
}

// Runs apply and the oracle on v against bounds whose four thresholds (0.95 hi, 1.05 lo for
// v > 0; 1.05 hi, 0.95 lo for v < 0) fall on the recomputed magnitude of v and on the doubles
// next to it, where a shortcut would first go wrong; returns the number of disagreements (the
// first few are reported).
int compare_at_thresholds(double v, int& reported) {
  const double inf = std::numeric_limits<double>::infinity();
  const double m = std::pow(10.0, std::log10(std::fabs(v)));
  // Bound pairs (lo, hi): one test at a threshold, the other switched off by an infinite bound.
  std::vector<std::pair<double, double>> bounds;
  for (double b : {m / 0.95, m / 1.05, -m / 1.05, -m / 0.95}) {
    double x = std::nextafter(std::nextafter(b, -inf), -inf);
    for (int k = 0; k < 5; ++k, x = std::nextafter(x, inf)) {  // b and two doubles each side
      bounds.push_back({-inf, x});
      bounds.push_back({x, inf});
    }
    bounds.push_back({b, b});
  }
  int wrong = 0;
  for (const auto& [lo, hi] : bounds) {
    for (double x : {v, -v}) {
      bool moved = false, stated_moved = false;
      const double got = bounds_rule::apply(x, lo, hi, moved);
      const double want = stated_rule(x, lo, hi, stated_moved);
      if (std::bit_cast<uint64_t>(got) == std::bit_cast<uint64_t>(want) && moved == stated_moved) {
        continue;
      }
      ++wrong;
      if (++reported <= 5) {
        ADD_FAILURE() << std::hexfloat << "v " << x << " lo " << lo << " hi " << hi << ": " << got
                      << " moved " << moved << ", stated " << want << " moved " << stated_moved;
      }
    }
  }
  return wrong;
}

TEST_F(BoundsRule, DecidesAsTheRecomputedMagnitudesDoAtEveryPowerOfTenAndElsewhere) {
  std::vector<double> values;
  // Every power of ten of the double range (with 1e-324 and 1e309: 0 and infinity) and the
  // four doubles around each.
  for (int k = -324; k <= 309; ++k) {
    const double p = std::strtod(("1e" + std::to_string(k)).c_str(), nullptr);
    double below = p, above = p;
    values.push_back(p);
    for (int step = 0; step < 2; ++step) {
      below = std::nextafter(below, 0.0);
      above = std::nextafter(above, HUGE_VAL);
      values.push_back(below);
      values.push_back(above);
    }
  }
  // The ends of the range and of the normal numbers, and the largest and smallest magnitudes
  // a shortcut might take.
  const double ends[] = {std::numeric_limits<double>::denorm_min(),
                         std::numeric_limits<double>::min(),
                         std::numeric_limits<double>::max(),
                         std::numeric_limits<double>::quiet_NaN(),
                         0x1.0p-1000,
                         0x1.0p-1022,
                         0x1.0p+1000,
                         0x1.0p+1023};
  for (double e : ends) {
    values.push_back(e);
    values.push_back(std::nextafter(e, 0.0));
    values.push_back(std::nextafter(e, HUGE_VAL));
  }
  // Random doubles of every exponent (subnormals, infinities and NaNs among them).
  std::mt19937_64 bits(20240607);
  for (int k = 0; k < 2000; ++k) values.push_back(std::bit_cast<double>(bits()));

  int reported = 0, wrong = 0;
  for (double v : values) wrong += compare_at_thresholds(v, reported);
  EXPECT_EQ(wrong, 0);
}

TEST(OptimSupport, ClampTurnsNanIntoItsReplacement) {
  EXPECT_EQ(optim_support::clamp_nan(std::nan(""), -1, 1, 0.25), 0.25);
  EXPECT_EQ(optim_support::clamp_nan(5, -1, 1, 0.25), 1.0);
  EXPECT_EQ(optim_support::clamp_nan(-5, -1, 1, 0.25), -1.0);
  EXPECT_EQ(optim_support::clamp_nan(0.5, -1, 1, 0.25), 0.5);
  EXPECT_FALSE(optim_support::finite(std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(optim_support::finite(1e308));
}

}  // namespace
