// Lambert W: the formula function OMEGW and its variants against an independent reference, on
// dense log-uniform samples of (0, 1e30], with their fixed values, cut-offs and caps.
#include "model/omegawo.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/fparser.hpp"
#include "model/operators.hpp"
#include "support/close.hpp"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");
constexpr double kCutoff = 9.999779838528536e-07;  // w and wtwo give 0.999998 x below it

// W(x) for x > 0 in long double, by Newton's method on f(w) = w + ln w - ln x from
// w = x / (1 + x), which lies below W(x) (x / (1 + x) e^(x / (1 + x)) <= x since
// ln(1 + x) >= x / (1 + x)). f is increasing and concave, so from below the iterates rise
// monotonically to the root: iterate until they stop rising.
double reference_w(double x) {
  const long double lx = x;
  long double w = lx / (1.0L + lx);
  for (int k = 0; k < 200; ++k) {
    const long double next = w / (1.0L + w) * (1.0L + std::log(lx / w));
    if (!(next > w)) break;
    w = next;
  }
  return static_cast<double>(w);
}

// Each routine with its tolerance: the ones that iterate to double precision 1e-12 relative;
// omagaw (and omega_w, which is omagaw away from the fixed values) stops at a relative
// correction of 1e-8 |x| with no Halley step after it, so 1e-7, its own tolerance.
struct Routine {
  const char* name;
  double (*f)(double);
  double rtol;
  bool cutoff;  // 0.999998 x below kCutoff
};
const Routine kRoutines[] = {
    {"omegawo", omegawo, 1e-12, false},
    {"omegaw", omegaw, 1e-12, false},
    {"omagaw", omagaw, 1e-7, false},
    {"omega_w", operators::omega_w, 1e-7, false},
    {"w", w, 1e-12, true},
    {"wtwo", wtwo, 1e-12, true},
};

// Checks every routine at every x; reports each routine's count of misses and its first one.
void expect_lambert_w(const std::vector<double>& xs) {
  std::vector<double> ref;
  for (double x : xs) ref.push_back(reference_w(x));
  for (const Routine& r : kRoutines) {
    int32_t misses = 0;
    std::string first;
    for (size_t i = 0; i < xs.size(); ++i) {
      const double x = xs[i];
      const double expected = r.cutoff && x < kCutoff ? 0.999998 * x : ref[i];
      const auto near = testsupport::near_rel(r.f(x), expected, r.rtol);
      if (!near && misses++ == 0) first = ::testing::PrintToString(x) + ": " + near.message();
    }
    EXPECT_EQ(misses, 0) << r.name << " of " << xs.size() << " arguments, first at " << first;
  }
}

// n values e^t, t evenly spaced over (ln lo, ln hi].
std::vector<double> log_uniform(double lo, double hi, int32_t n) {
  std::vector<double> xs;
  const double a = std::log(lo), step = (std::log(hi) - a) / n;
  for (int32_t k = 1; k <= n; ++k) xs.push_back(std::exp(a + k * step));
  return xs;
}

TEST(Omegawo, AgreesWithTheReferenceFromTheSmallestDoubleTo1e30) {
  expect_lambert_w(log_uniform(std::numeric_limits<double>::denorm_min(), 1e30, 100000));
  // The arguments below 1e-4, where the closed-form initial values lose their digits.
  expect_lambert_w(log_uniform(1e-12, 1e-4, 100000));
  // Arguments once far off: omegawo 10.27 at 1e-300 and 3.6e-4 at 1e-20, omegaw -879 and
  // 58.36, omega_w -956, omagaw 0.0049 at 1e-7 and 1.4 % high at 1e-6, wtwo 31.7.
  expect_lambert_w({1e-300,
                    1e-20,
                    3.0509030480623996e-10,
                    3.311e-8,
                    1.9185643812719998e-10,
                    1e-7,
                    1e-6,
                    3.8467191564012001e-06});
}

TEST(Omegawo, FixedValuesCutoffsAndCaps) {
  struct Case {
    const char* what;
    double got, expected;
  } const cases[] = {
      {"omegawo(1)", omegawo(1.0), 0.5671432904097838},
      {"omegawo(e)", omegawo(2.718281828459045), 1.0},
      {"omegawo(-1/e)", omegawo(-0.36787944117144233), -1.0},
      {"omegawo(-0.2)", omegawo(-0.2), 0.0},
      {"omegawo(-0.5)", omegawo(-0.5), 0.0},
      {"omegawo(0)", omegawo(0.0), 0.0},
      {"omegawo(5e45)", omegawo(5e45), 100.0},
      {"omegaw(0)", omegaw(0.0), 0.0},
      {"omegaw(-3)", omegaw(-3.0), 0.0},
      {"omegaw(NaN)", omegaw(kNaN), 0.0},
      {"omegaw(inf)", omegaw(kInf), kInf},
      {"w(-1)", w(-1.0), 0.0},
      {"wtwo(-1)", wtwo(-1.0), 0.0},
      {"omgaw(-2)", omgaw(-2.0), 0.0},
      {"omagaw(0)", omagaw(0.0), 0.0},
      // The initial value's clamp at 65 and the cap 1.01 * 65 beyond it.
      {"omagaw(1e40)", omagaw(1e40), 1.01 * 65.0},
      {"omega_w(1e40)", operators::omega_w(1e40), 1.01 * 65.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.got, c.expected);
  }
  EXPECT_NEAR(omegawo(10.0), 1.7455280027, 5e-11);
  // omagaw raises x to 1e-8 |x| and takes not-a-number as 1e-8: W(1e-8) = 1e-8 - 1e-16 + ...
  EXPECT_NEAR_REL(omagaw(-1.0), 1e-8 - 1e-16, 1e-12);
  EXPECT_NEAR_REL(omagaw(kNaN), 1e-8 - 1e-16, 1e-12);
  // omgaw is the initial value only: within 1 % from 0.01 up.
  for (double x : {0.01, 1.0, 10.0, 1e5, 1e100}) EXPECT_NEAR_REL(omgaw(x), reference_w(x), 1e-2);
}

// OMEGW in a model formula: the row-by-row evaluator and the one over many rows give the same
// value, and it is W, at small arguments too.
TEST(Omegawo, OmegwInAFormulaThroughBothEvaluators) {
  fparser::reset();
  const std::vector<std::string> names = {"X1"};
  fparser::initf(1);
  int32_t ierr = -1;
  fparser::parsef(1, "OMEGW(X1)", names, &ierr, 0);
  ASSERT_EQ(ierr, 0);
  const std::vector<double> xs = log_uniform(1e-310, 1e-3, 40);
  std::vector<double> rows(xs.size(), -7.0);
  const double* cols[] = {xs.data()};
  fparser::evalf_rows(1, {}, cols, static_cast<int32_t>(xs.size()), rows.data());
  for (size_t r = 0; r < xs.size(); ++r) {
    SCOPED_TRACE(xs[r]);
    const double one = fparser::evalf(1, std::vector<double>{xs[r]});
    EXPECT_EQ(rows[r], one);
    EXPECT_NEAR_REL(one, reference_w(xs[r]), 1e-12);
  }
}

}  // namespace
