// The vector kernels of the formula evaluator against the platform's libm: at every level this
// processor supports, each function of the formula language, guards included, stays within the
// vector library's stated bound of 1 ulp of libm's value over about a million arguments (random
// over the whole range, and around every guarded edge); the guarded values themselves are exact.
// SSE2 may differ from the other levels in the last bit (SLEEF uses FMA where the processor has
// it; about 1 % of EXP's results differ), AVX2 and AVX-512 agree; fparser_rows_test checks that
// evalf and evalf_rows agree bit for bit at each level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/fparser.hpp"
#include "model/operators.hpp"
#include "model/simd.hpp"

namespace {

constexpr double kEps = 2.220446049250313e-16;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// The functions as the formula language defines them, on libm's long double functions: the
// value rounded to double is within half an ulp of the exact one, so a result within the vector
// library's bound of 1.0 ulp of the exact value is within 1 ulp of it.
double ld(long double v) { return static_cast<double>(v); }
double ref_exp(double x) {
  if (x != x || x - 1.0 == x) x = 0.0;
  x = std::fmin(std::fmax(x, -80.0), 80.0);
  if (std::fabs(x) <= kEps) return 1.0;
  if (x >= 80.0) return 5.54062238439351e34;
  if (x <= -80.0) return 1.8048513878454153e-35;
  return ld(std::exp(static_cast<long double>(x)));
}
double ref_aln(double x) {
  x = std::fabs(x);
  if (std::isnan(x)) return -36.0;
  if (std::isinf(x)) return 36.0;
  if (x <= 2.22e-16) return -36.0;
  if (x >= 4.5e15) return 36.0;
  return ld(std::log(static_cast<long double>(x)));
}
double ref_log(double x) {
  if (std::isnan(x)) return -36.0;
  if (std::isinf(x)) return 36.0;
  if (x >= 0.0 && x <= kEps) return -36.0;
  if (x < 0.0 && x >= -kEps) return 36.0;
  if (x >= 4503599627370496.0) return 36.0;
  if (x <= -4503599627370496.0) return -36.0;
  return x < 0.0 ? -ref_aln(x) : ref_aln(x);
}
double ref_log10(double x) {
  if (std::fabs(x) <= kEps) return -16.0;
  const double l = ld(std::log10(std::fabs(static_cast<long double>(x))));
  return x < 0.0 ? -l : l;
}
double ref_sqrt(double x) {
  x = std::fabs(x);
  const double e = 4.930380658e-32;
  if (x <= e) return 0.0;
  return std::copysign(std::sqrt(std::fabs(x + e)), x);
}
double ref_tanh(double x) {
  if (x >= -1e-9 && x <= 1e-9) return 1e-9;
  if (x >= 1e9) return 1.0;
  if (x <= -1e9) return -1.0;
  return ld(std::tanh(static_cast<long double>(x)));
}
double ref_pow(double a, double b) {
  if (std::fabs(a) <= kEps) return kEps;
  if (std::fabs(b) <= kEps) return 1.0;
  if (b == 2.0) return a * a;
  if (b == 3.0) return a * a * a;
  return ld(std::pow(static_cast<long double>(a), static_cast<long double>(b)));
}

// SINH and COSH: beyond |x| = 709, where SLEEF overflows early, the kernels return libm's own
// value, which is what is compared there.
double ref_hyperbolic(double x, bool cosh) {
  if (std::fabs(x) > 709.0) return cosh ? std::cosh(x) : std::sinh(x);
  const long double v = static_cast<long double>(x);
  return ld(cosh ? std::cosh(v) : std::sinh(v));
}

// Distance in units in the last place (0 for two not-a-numbers, huge for one).
uint64_t ulps(double a, double b) {
  if (a != a || b != b) return (a != a && b != b) ? 0 : UINT64_MAX;
  auto ordered = [](double v) {
    int64_t i = 0;
    std::memcpy(&i, &v, sizeof v);
    return i < 0 ? std::numeric_limits<int64_t>::min() - i : i;
  };
  const int64_t d = ordered(a) - ordered(b);
  return static_cast<uint64_t>(d < 0 ? -d : d);
}

// Arguments: a core range and random magnitudes over the whole range with random signs,
// alternately, and each edge with its neighbours a few ulps away and the special values at
// random places (so that vectors mix magnitudes and guarded lanes).
std::vector<double> arguments(std::mt19937_64& rng,
                              double lo,
                              double hi,
                              const std::vector<double>& edges,
                              size_t count) {
  std::vector<double> x(count);
  std::uniform_real_distribution<double> core(lo, hi), mantissa(1.0, 2.0);
  std::uniform_int_distribution<int> expo(-1000, 1000), sign(0, 1);
  for (size_t i = 0; i < count; i += 2) {
    x[i] = core(rng);
    const double m = std::ldexp(mantissa(rng), expo(rng));
    if (i + 1 < count) x[i + 1] = sign(rng) != 0 ? m : -m;
  }
  std::vector<double> special = {0.0, -0.0, kInf, -kInf, kNan, 5e-324, -5e-324, 1.0, -1.0};
  for (double e : edges) {
    double v = e;
    for (int k = 0; k < 4; ++k) v = std::nextafter(v, -kInf);
    for (int k = 0; k < 9; ++k, v = std::nextafter(v, kInf)) {
      special.push_back(v);
      special.push_back(-v);
    }
  }
  std::uniform_int_distribution<size_t> where(0, count - 1);
  for (int copy = 0; copy < 16; ++copy) {
    for (double v : special) x[where(rng)] = v;
  }
  return x;
}

const std::vector<std::string> kNames = {"X1", "X2"};

std::vector<simd::Level> levels() {
  std::vector<simd::Level> out;
  for (simd::Level l : {simd::Level::Sse2, simd::Level::Avx2, simd::Level::Avx512}) {
    if (simd::supported(l)) out.push_back(l);
  }
  return out;
}

class Simd : public ::testing::Test {
 protected:
  void SetUp() override { fparser::reset(); }
  void TearDown() override {
    simd::set_level(simd::best_level());
    fparser::reset();
  }
};

TEST_F(Simd, EveryFunctionIsWithinOneUlpOfLibmAtEveryLevel) {
  struct Case {
    const char* formula;
    std::function<double(double, double)> ref;
    double lo, hi;               // the core range of the first argument
    std::vector<double> edges;   // guarded edges of the first argument
    bool binary = false;         // "^": two arguments
  };
  // clang-format off
  const Case cases[] = {
      {"EXP(X1)", [](double x, double) { return ref_exp(x); }, -85.0, 85.0, {80.0, kEps, 1e-300, 9007199254740992.0}},
      {"LOG(X1)", [](double x, double) { return ref_log(x); }, 0.0, 10.0, {kEps, 2.22e-16, 4.5e15, 4503599627370496.0, 1.0}},
      {"LOG10(X1)", [](double x, double) { return ref_log10(x); }, 0.0, 1e3, {kEps, 1.0, 10.0}},
      {"SQRT(X1)", [](double x, double) { return ref_sqrt(x); }, -100.0, 100.0, {4.930380658e-32, 1e-300}},
      {"TANH(X1)", [](double x, double) { return ref_tanh(x); }, -20.0, 20.0, {1e-9, 1e9, 19.0}},
      {"SINH(X1)", [](double x, double) { return ref_hyperbolic(x, false); }, -720.0, 720.0, {709.0, 709.78, 710.5}},
      {"COSH(X1)", [](double x, double) { return ref_hyperbolic(x, true); }, -720.0, 720.0, {709.0, 709.78, 710.5}},
      {"SIN(X1)", [](double x, double) { return ld(std::sin(static_cast<long double>(x))); }, -100.0, 100.0, {15.0, 1e9, 1e14, 3.141592653589793}},
      {"COS(X1)", [](double x, double) { return ld(std::cos(static_cast<long double>(x))); }, -100.0, 100.0, {15.0, 1e9, 1e14, 1.5707963267948966}},
      {"TAN(X1)", [](double x, double) { return ld(std::tan(static_cast<long double>(x))); }, -100.0, 100.0, {15.0, 1e9, 1e14, 1.5707963267948966}},
      {"ASIN(X1)", [](double x, double) { return ld(std::asin(static_cast<long double>(x))); }, -1.0, 1.0, {1.0, 0.5}},
      {"ACOS(X1)", [](double x, double) { return ld(std::acos(static_cast<long double>(x))); }, -1.0, 1.0, {1.0, 0.5}},
      {"ATAN(X1)", [](double x, double) { return ld(std::atan(static_cast<long double>(x))); }, -100.0, 100.0, {1.0, 1e300}},
      {"X1^X2", [](double a, double b) { return ref_pow(a, b); }, -10.0, 10.0, {kEps, 1.0, 2.0, 3.0}, true},
  };
  // clang-format on
  constexpr size_t kCount = size_t{1} << 18;
  std::mt19937_64 rng(34);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.formula);
    const std::vector<double> x1 = arguments(rng, c.lo, c.hi, c.edges, kCount);
    // The second argument: exponents of "^" (whole and fractional, and the guarded ones).
    std::vector<double> x2(kCount, 0.0);
    if (c.binary) {
      x2 = arguments(rng, -40.0, 40.0, {kEps, 2.0, 3.0, 0.5}, kCount);
      for (size_t i = 0; i < kCount; i += 2) x2[i] = std::round(x2[i]);
      // ilogb of 0 and of not-a-number is INT_MIN, whose negation overflows; scaling would
      // leave both as they are anyway.
      for (size_t i = 1; i < kCount; i += 2) {
        if (x2[i] != 0.0 && !std::isnan(x2[i])) x2[i] = std::ldexp(x2[i], -std::ilogb(x2[i]) + 3);
      }
    }
    std::vector<double> want(kCount);
    for (size_t i = 0; i < kCount; ++i) want[i] = c.ref(x1[i], x2[i]);
    // ASIN and ACOS outside [-1, 1] stop the evaluation: not compared.
    const bool ranged = c.lo == -1.0 && c.hi == 1.0;
    fparser::initf(1);
    int32_t ierr = -1;
    fparser::parsef(1, c.formula, kNames, &ierr, 0);
    ASSERT_EQ(ierr, 0);
    const double* cols[2] = {x1.data(), x2.data()};
    std::vector<double> got(kCount), with_fma;
    for (simd::Level l : levels()) {
      SCOPED_TRACE(simd::to_string(l));
      ASSERT_TRUE(simd::set_level(l));
      fparser::evalf_rows(1, {}, cols, static_cast<int32_t>(kCount), got.data());
      uint64_t worst = 0;
      size_t at = 0;
      for (size_t i = 0; i < kCount; ++i) {
        if (ranged && !(x1[i] >= -1.0 && x1[i] <= 1.0)) continue;
        const uint64_t d = ulps(got[i], want[i]);
        if (d > worst) {
          worst = d;
          at = i;
        }
      }
      EXPECT_LE(worst, 1u) << "at " << x1[at] << ", " << x2[at] << ": " << got[at] << " vs "
                           << want[at];
      // The two levels with FMA run the same algorithm and give the same bits, so a fit gives
      // the same numbers on every processor that has AVX2.
      if (l == simd::Level::Avx2) with_fma = got;
      if (l == simd::Level::Avx512 && !with_fma.empty()) {
        size_t differ = 0;
        for (size_t i = 0; i < kCount; ++i) differ += ulps(got[i], with_fma[i]) != 0;
        EXPECT_EQ(differ, 0u);
      }
    }
  }
}

// At the SSE2 level LOG, "^", SIN, COS, TAN, ASIN, ACOS and ATAN are libm's own functions (there
// SLEEF's two-lane forms are the slower ones), in evalf and evalf_rows alike; EXP stays with
// SLEEF. Arguments where no guard applies.
TEST_F(Simd, Sse2TakesTheSlowerFunctionsFromLibm) {
  // clang-format off
  const struct {
    const char* formula;
    double (*libm)(double, double);
    double lo, hi;
  } cases[] = {
      {"LOG(X1)", [](double x, double) { return std::log(x); }, 1e-3, 1e3},
      {"X1^X2", [](double a, double b) { return std::pow(a, b); }, 0.5, 50.0},
      {"SIN(X1)", [](double x, double) { return std::sin(x); }, -20.0, 20.0},
      {"COS(X1)", [](double x, double) { return std::cos(x); }, -20.0, 20.0},
      {"TAN(X1)", [](double x, double) { return std::tan(x); }, -20.0, 20.0},
      {"ASIN(X1)", [](double x, double) { return std::asin(x); }, -1.0, 1.0},
      {"ACOS(X1)", [](double x, double) { return std::acos(x); }, -1.0, 1.0},
      {"ATAN(X1)", [](double x, double) { return std::atan(x); }, -20.0, 20.0},
  };
  // clang-format on
  ASSERT_TRUE(simd::set_level(simd::Level::Sse2));
  constexpr int32_t kCount = 4096;
  std::mt19937_64 rng(41);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.formula);
    std::uniform_real_distribution<double> first(c.lo, c.hi), exponent(-3.0, 3.0);
    std::vector<double> x1(kCount), x2(kCount), got(kCount);
    for (int32_t i = 0; i < kCount; ++i) {
      x1[i] = first(rng);
      x2[i] = exponent(rng);
    }
    fparser::initf(1);
    int32_t ierr = -1;
    fparser::parsef(1, c.formula, kNames, &ierr, 0);
    ASSERT_EQ(ierr, 0);
    const double* cols[2] = {x1.data(), x2.data()};
    fparser::evalf_rows(1, {}, cols, kCount, got.data());
    int32_t differ = 0;
    for (int32_t i = 0; i < kCount; ++i) {
      const double want = c.libm(x1[i], x2[i]);
      const double values[2] = {x1[i], x2[i]};
      differ += got[i] != want || fparser::evalf(1, values) != want;
    }
    EXPECT_EQ(differ, 0);
  }
}

// operators::aln is the kernel of LOG (and so within 1 ulp of libm's logarithm).
TEST_F(Simd, AlnKeepsItsClampsAndUsesTheVectorLogarithm) {
  const double args[] = {kNan, kInf, -kInf, 0.0, 2.22e-16, -2.2e-16, 4.5e15, -1e300, 0.5, -3.0};
  for (double x : args) {
    SCOPED_TRACE(x);
    EXPECT_EQ(operators::aln(x), simd::active->aln(x));
    EXPECT_LE(ulps(operators::aln(x), ref_aln(x)), 1u);
  }
}

TEST_F(Simd, LevelNamesAndSupport) {
  EXPECT_STREQ(simd::to_string(simd::Level::Sse2), "SSE2");
  EXPECT_STREQ(simd::to_string(simd::Level::Avx2), "AVX2");
  EXPECT_STREQ(simd::to_string(simd::Level::Avx512), "AVX-512");
  EXPECT_TRUE(simd::supported(simd::Level::Sse2));  // the x86-64 baseline
  EXPECT_TRUE(simd::supported(simd::best_level()));
  EXPECT_EQ(simd::active->level, simd::best_level());
  for (simd::Level l : {simd::Level::Sse2, simd::Level::Avx2, simd::Level::Avx512}) {
    EXPECT_EQ(simd::set_level(l), simd::supported(l));
    if (simd::supported(l)) {
      EXPECT_EQ(simd::active->level, l);
    }
  }
}

}  // namespace
