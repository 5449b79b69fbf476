#include "numerics/nrutil.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "numerics/runtime_rng.hpp"
#include "numerics/sysclock.hpp"
#include "support/close.hpp"

namespace {

const double kNaN = std::nan("");
const double kInf = std::numeric_limits<double>::infinity();

VecView<const double> view(const std::vector<double>& v) {
  return VecView<const double>(v.data(), static_cast<long>(v.size()));
}

TEST(RvalNan, ReplacesNaNAndValuesWithoutAUnit) {
  struct Case {
    double x, v, expected;
  };
  const Case cases[] = {
      {kNaN, 1.0, 1.0},
      {kInf, 2.0, 2.0},
      {-kInf, 2.0, 2.0},
      {1e20, 3.0, 3.0},
      {-1e20, 3.0, 3.0},
      {1e15, 3.0, 1e15},
      {0.0, 3.0, 0.0},
      {18014398509481984.0, 4.0, 4.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    double x = c.x;
    nrutil::rval_nan(x, c.v);
    EXPECT_EQ(x, c.expected);
  }
  double x = kNaN;
  nrutil::rval_nan(x, kNaN);
  EXPECT_TRUE(std::isnan(x));
}

TEST(RvecNan, GuardsEveryElementOfAStridedView) {
  // A column-major 2 x 3 matrix; its first row is elements 1, 3, 5.
  std::vector<double> m = {kNaN, kNaN, 1.0, kInf, 1e20, 5.0};
  nrutil::rvec_nan(VecView<double>(m.data(), 3, 2), -1.0);
  EXPECT_EQ(m[0], -1.0);
  EXPECT_TRUE(std::isnan(m[1]));  // second row untouched
  EXPECT_EQ(m[2], 1.0);
  EXPECT_EQ(m[3], kInf);
  EXPECT_EQ(m[4], -1.0);
}

TEST(RvecStats, MeanStdevAndMedian) {
  double r = -1.0;
  nrutil::rvec_mean(2, 4, view({9, 1, 2, 3}), r);
  EXPECT_EQ(r, 2.0);
  nrutil::rvec_stdev(2, 4, view({9, 1, 2, 3}), r);
  EXPECT_EQ(r, 1.0);
  nrutil::rvec_stdev1(4, view({1, 2, 3, 4}), r);
  EXPECT_DOUBLE_EQ(r, std::sqrt(5.0 / 3.0));
  nrutil::rvec_stdev1(1, view({7}), r);
  EXPECT_EQ(r, 0.0);
  nrutil::rvec_stdev(3, 2, view({1, 2, 3}), r);
  EXPECT_EQ(r, 0.0);
  nrutil::rvec_stdev1(0, view({}), r);
  EXPECT_EQ(r, 0.0);

  const std::vector<double> odd = {3, 1, 2};
  nrutil::rvec_median(view(odd), 3, r);
  EXPECT_EQ(r, 2.0);
  EXPECT_EQ(odd, (std::vector<double>{3, 1, 2}));  // input not changed
  nrutil::rvec_median(view({4, 1, 3, 2}), 4, r);
  EXPECT_EQ(r, 2.5);
  nrutil::rvec_median(view({6.5}), 1, r);
  EXPECT_EQ(r, 6.5);
}

TEST(Sortwt, SortsAscendingAndLeavesShortArraysAlone) {
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> value(-5, 5);
  for (int n : {2, 3, 4, 5, 8, 17, 100}) {
    SCOPED_TRACE(n);
    std::vector<double> a(n);
    for (double& x : a) x = value(gen);  // many ties
    std::vector<double> expected = a;
    std::sort(expected.begin(), expected.end());
    nrutil::sortwt(n, VecView<double>(a.data(), n));
    EXPECT_EQ(a, expected);
  }
  std::vector<double> one = {3.0};
  nrutil::sortwt(1, VecView<double>(one.data(), 1));
  EXPECT_EQ(one[0], 3.0);
  nrutil::sortwt(0, VecView<double>(one.data(), 1));
  EXPECT_EQ(one[0], 3.0);
}

TEST(Diag, RectangularMatrixChangesOnlyItsDiagonal) {
  std::vector<double> m(6, 1.0);  // 2 x 3, column-major
  nrutil::diagadd_r(MatView<double>(m.data(), 2, 3, 2), 2.0);
  EXPECT_EQ(m, (std::vector<double>{3, 1, 1, 3, 1, 1}));
  nrutil::diagmult_r(MatView<double>(m.data(), 2, 3, 2), 4.0);
  EXPECT_EQ(m, (std::vector<double>{12, 1, 1, 12, 1, 1}));
  std::vector<double> t(6, 1.0);  // 3 x 2
  nrutil::diagadd_r(MatView<double>(t.data(), 3, 2, 3), 1.0);
  EXPECT_EQ(t, (std::vector<double>{2, 1, 1, 1, 2, 1}));
}

TEST(FDate, FixedFormInEnglishPaddedTo30) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(nrutil::f_date_at(0), "Thu Jan  1 00:00:00 1970      ");
  EXPECT_EQ(nrutil::f_date_at(1796617319), "Mon Dec  7 04:21:59 2026      ");
  EXPECT_EQ(nrutil::f_date_at(1794009600 + 86400 * 10 + 3600 * 13 + 5),
            "Tue Nov 17 13:00:05 2026      ");
  EXPECT_EQ(nrutil::f_date().size(), 30u);
}

}  // namespace

namespace {

std::vector<std::string> print(const std::vector<double>& v, int32_t n, int32_t step) {
  std::vector<std::string> lines;
  nrutil::vecprn([&](std::string_view line) { lines.emplace_back(line); },
                 VecView<const double>(v.data(), static_cast<long>(v.size())),
                 n,
                 step);
  return lines;
}

TEST(Vecprn, NumbersOverValuesInBlocks) {
  EXPECT_EQ(print({1.5, -2.0, 1234.56}, 3, 3),
            (std::vector<std::string>{"     1            2            3",
                                      "  1.500E+00   -2.000E+00    1.235E+03"}));
  // Blocks of two: numbers and values per block.
  EXPECT_EQ(print({1.0, 2.0, 3.0}, 3, 2),
            (std::vector<std::string>{
                "     1            2", "  1.000E+00    2.000E+00", "     3", "  3.000E+00"}));
  // A step below 1 prints one block instead of looping for ever.
  EXPECT_EQ(print({4.0}, 1, 0), (std::vector<std::string>{"     1", "  4.000E+00"}));
}

TEST(Vecprn, MoreThanTenItemsContinueWithoutTheLeadingBlanks) {
  std::vector<double> v(12, 0.5);
  const std::vector<std::string> lines = print(v, 12, 12);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 19), "     1            2");
  EXPECT_EQ(lines[1], "11           12");
  EXPECT_EQ(lines[3], " 5.000E-01    5.000E-01");
}

TEST(Vecprn, ElementNumbersAbove99PrintAsAsterisks) {
  std::vector<double> v(100, 1.0);
  const std::vector<std::string> lines = print(v, 100, 100);
  ASSERT_EQ(lines.size(), 20u);  // ten lines of numbers, then ten of values
  EXPECT_EQ(lines[9],
            "91           92           93           94           95           96  "
            "         97           98           99           **");
}

}  // namespace

// The procedures no other module calls.
namespace {

using Lines = std::vector<std::string>;

template <typename Print>
Lines lines_of(Print print) {
  Lines lines;
  print([&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

// A column-major matrix a(i, j) = 10 i + j.
std::vector<double> numbered(long rows, long cols) {
  std::vector<double> m(rows * cols);
  for (long j = 1; j <= cols; ++j) {
    for (long i = 1; i <= rows; ++i) m[(i - 1) + (j - 1) * rows] = 10.0 * i + j;
  }
  return m;
}

TEST(NrutilChecks, SizeChecksReportAndReturnNoValue) {
  std::ostringstream out;
  EXPECT_EQ(nrutil::assert_eq2(3, 3, "t", out), 3);
  EXPECT_EQ(nrutil::assert_eq6(4, 4, 4, 4, 4, 4, "t", out), 4);
  EXPECT_TRUE(out.str().empty());
  EXPECT_EQ(nrutil::assert_eq3(2, 2, 3, "tagx", out), std::nullopt);
  EXPECT_EQ(out.str(),
            "nrerror: an assert_eq failed with this tag: tagx\nprogram terminated by assert_eq3\n");
  EXPECT_EQ(nrutil::assert_eq4(1, 1, 1, 2, "t", out), std::nullopt);
  EXPECT_EQ(nrutil::assert_eq5(1, 1, 1, 1, 0, "t", out), std::nullopt);
  const std::vector<int32_t> same = {5, 5, 5}, differ = {5, 6};
  EXPECT_EQ(nrutil::assert_eqn(VecView<const int32_t>(same.data(), 3), "n", out), 5);
  out.str("");
  EXPECT_EQ(nrutil::assert_eqn(VecView<const int32_t>(differ.data(), 2), "n", out), std::nullopt);
  EXPECT_NE(out.str().find("program terminated by assert_eqn"), std::string::npos);
  EXPECT_EQ(nrutil::assert_eqn(VecView<const int32_t>(), "n", out), std::nullopt);  // no sizes
  out.str("");
  EXPECT_FALSE(nrutil::nrerror("singular matrix", out));
  EXPECT_EQ(out.str(), "nrerror: singular matrix\nprogram terminated by nrerror\n");
}

TEST(NrutilMatrices, OuterProductsCopiesSwapsAndDiagonals) {
  const std::vector<double> a = {1, 2}, b = {3, 4, 5};
  const FMatrixD<double> p = nrutil::outerprod(view(a), view(b));
  EXPECT_EQ(p.rows(), 2);
  EXPECT_EQ(p.cols(), 3);
  EXPECT_EQ(p(1, 1), 3.0);
  EXPECT_EQ(p(2, 3), 10.0);
  const std::vector<int32_t> fa = {1, 0}, fb = {7, 1, 0};
  const FMatrixD<int32_t> q =
      nrutil::outerand(VecView<const int32_t>(fa.data(), 2), VecView<const int32_t>(fb.data(), 3));
  EXPECT_EQ(q(1, 1), 1);
  EXPECT_EQ(q(1, 3), 0);
  EXPECT_EQ(q(2, 1), 0);

  std::vector<double> m = numbered(2, 3);
  const MatView<const double> mv(m.data(), 2, 3, 2);
  std::vector<double> v(4, 0.0);
  EXPECT_TRUE(nrutil::rmatrow_to_rvec(mv, 2, VecView<double>(v.data(), 4)));
  EXPECT_EQ(v, (std::vector<double>{21, 22, 23, 0}));
  EXPECT_TRUE(nrutil::rmatcol_to_rvec(mv, 3, VecView<double>(v.data(), 4)));
  EXPECT_EQ(v, (std::vector<double>{13, 23, 23, 0}));
  EXPECT_FALSE(nrutil::rmatrow_to_rvec(mv, 3, VecView<double>(v.data(), 4)));

  double x = 1, y = 2;
  nrutil::swap_r(x, y);
  EXPECT_EQ(x, 2.0);
  std::vector<double> s = {1, 2}, t = {3, 4}, u = {5};
  EXPECT_TRUE(nrutil::swap_rv(VecView<double>(s.data(), 2), VecView<double>(t.data(), 2)));
  EXPECT_EQ(s, (std::vector<double>{3, 4}));
  EXPECT_FALSE(nrutil::swap_rv(VecView<double>(s.data(), 2), VecView<double>(u.data(), 1)));
  EXPECT_EQ(u[0], 5.0);

  std::ostringstream out;
  std::vector<double> d(6, 1.0);  // 2 x 3
  const std::vector<double> two = {2, 3}, three = {2, 3, 4};
  EXPECT_TRUE(nrutil::diagadd_rv(MatView<double>(d.data(), 2, 3, 2), view(two), out));
  EXPECT_TRUE(nrutil::diagmult_rv(MatView<double>(d.data(), 2, 3, 2), view(two), out));
  EXPECT_EQ(d, (std::vector<double>{6, 1, 1, 12, 1, 1}));
  EXPECT_FALSE(nrutil::diagadd_rv(MatView<double>(d.data(), 2, 3, 2), view(three), out));
  EXPECT_EQ(d, (std::vector<double>{6, 1, 1, 12, 1, 1}));
  EXPECT_NE(out.str().find("this tag: diagadd_rv"), std::string::npos);
}

TEST(NrutilVectors, CopiesAndProgressions) {
  const std::vector<int32_t> src = {1, 2, 3};
  std::vector<int32_t> dest(2, 0);
  int32_t copied = -1, not_copied = -1;
  nrutil::array_copy_i(
      VecView<const int32_t>(src.data(), 3), VecView<int32_t>(dest.data(), 2), copied, not_copied);
  EXPECT_EQ(dest, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(copied, 2);
  EXPECT_EQ(not_copied, 1);
  std::vector<double> big(3, 0.0);
  nrutil::array_copy_d(view({7.5}), VecView<double>(big.data(), 3), copied, not_copied);
  EXPECT_EQ(big, (std::vector<double>{7.5, 0, 0}));
  EXPECT_EQ(copied, 1);
  EXPECT_EQ(not_copied, 0);
  nrutil::array_copy_r(view({1, 2}), VecView<double>(big.data(), 3), copied, not_copied);
  EXPECT_EQ(big, (std::vector<double>{1, 2, 0}));

  // Beyond 16 terms the progression is built by doubling blocks; every term is still exact.
  const FVector<int32_t> odd = nrutil::arth_i(1, 2, 40);
  ASSERT_EQ(odd.size(), 40);
  for (int32_t k = 1; k <= 40; ++k) EXPECT_EQ(odd(k), 2 * k - 1) << k;
  const FVector<double> quarters = nrutil::arth_d(0.5, 0.25, 37);
  for (int32_t k = 1; k <= 37; ++k) EXPECT_EQ(quarters(k), 0.5 + 0.25 * (k - 1)) << k;
  EXPECT_EQ(nrutil::arth_r(-1.0, -1.0, 3)(3), -3.0);
  EXPECT_EQ(nrutil::arth_i(5, 1, 0).size(), 0);
  EXPECT_EQ(nrutil::arth_i(INT_MAX, 1, 2)(2), INT_MIN);  // wraps, no undefined overflow

  double r = -1.0;
  nrutil::rvec_stdev_median(4, view({1, 2, 3, 10}), r);  // median 2.5, sum of squares 59
  EXPECT_NEAR_REL(r, std::sqrt(59.0 / 3.0), 1e-15);
  nrutil::rvec_stdev_median(1, view({4}), r);
  EXPECT_EQ(r, 0.0);
  std::vector<double> x(5, kNaN);
  nrutil::r8vec_subinterval(5, 0.0, 1.0, VecView<double>(x.data(), 5));
  EXPECT_EQ(x, (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
  nrutil::r8vec_subinterval(1, 2.0, 4.0, VecView<double>(x.data(), 1));
  EXPECT_EQ(x[0], 3.0);
}

TEST(NrutilScalars, NormRoundingPrecisionAndComparisons) {
  const std::pair<std::vector<double>, double> norms[] = {
      {{3, 4}, 5.0},
      {{3e200, -4e200}, 5e200},    // the squares would overflow
      {{3e-200, 4e-200}, 5e-200},  // the squares would underflow
      {{1e-20, 0, 1}, 1.0},
      {{}, 0.0}};
  for (const auto& [v, n] : norms) {
    EXPECT_NEAR_REL(nrutil::enorm2(static_cast<int32_t>(v.size()), view(v)), n, 1e-15);
  }

  const std::tuple<double, int32_t, double> rounds[] = {{3.14159, 3, 3.14},
                                                        {-2.5, 1, -3.0},
                                                        {12345.0, 2, 12000.0},
                                                        {0.000123456, 2, 0.00012},
                                                        {0.0, 3, 0.0},
                                                        {1.5, 0, 1.5},
                                                        {1e-320, 3, 1e-320}};
  for (const auto& [v, n, expected] : rounds) {
    EXPECT_NEAR_REL(nrutil::roundz(v, n), expected, 1e-15) << v << " to " << n;
  }

  double eps = 0.0;
  int32_t digits = 0;
  nrutil::rval_prec(eps, digits);
  EXPECT_EQ(eps, 0x1.0p-52);
  EXPECT_EQ(digits, 15);

  const double sum = 0.1 + 0.2;  // 0.30000000000000004
  EXPECT_TRUE(nrutil::real_feq(sum, 0.3));
  EXPECT_FALSE(nrutil::real_fne(sum, 0.3));
  EXPECT_FALSE(nrutil::real_flt(0.3, sum));
  EXPECT_TRUE(nrutil::real_fge(0.3, sum));
  EXPECT_TRUE(nrutil::real_fle(sum, 0.3));
  EXPECT_TRUE(nrutil::real_fgt(1.0 + 1e-15, 1.0));
  EXPECT_TRUE(nrutil::real_flt(1.0, 2.0));
  EXPECT_FALSE(nrutil::real_fgt(1.0, 2.0));
  EXPECT_TRUE(nrutil::real_feq(100.0, 101.0, 0.01));
  EXPECT_TRUE(nrutil::real_fveq(view({sum, 1.0}), view({0.3, 1.0})));
  EXPECT_FALSE(nrutil::real_fveq(view({1.0}), view({1.0, 1.0})));

  EXPECT_EQ(nrutil::real_diff(0.7, 0.0, 2), 0.75);  // 0.7 = 0.7 * 2^0 -> 3/4
  EXPECT_EQ(nrutil::real_diff(10.0, 3.0, 1), 8.0);  // 7 = 0.875 * 2^3 -> 1 * 2^3
  EXPECT_EQ(nrutil::real_diff(1.0, 1.0, 4), 0.0);
  EXPECT_EQ(nrutil::pie(1.0, 3.0), 1.0 + 2.0 * std::numbers::pi);
}

TEST(NrutilRandom, SeededGeneratorsGiveTheirPublishedValues) {
  int32_t seed = 1;
  EXPECT_EQ(nrutil::randlcg(seed), 16807);
  for (int k = 2; k <= 10000; ++k) nrutil::randlcg(seed);
  EXPECT_EQ(seed, 1043618065);  // Park and Miller's check value
  seed = 0;                     // 0 is the generator's fixed point: taken as 1
  EXPECT_EQ(nrutil::randlcg(seed), 16807);
  seed = -1;
  EXPECT_EQ(nrutil::randlcg(seed), 2147483647 - 16807);

  FArray<int32_t, 5> x;
  x(1) = 1;
  x(5) = 1;
  EXPECT_EQ(nrutil::randfmrg(x), 107478662.0 / 2147483647.0);  // 107374182 + 104480
  EXPECT_EQ(nrutil::randfmrg(x) * 2147483647.0, 177130833.0);  // 107374182 * 107478662 mod m
  EXPECT_EQ(x(2), 107478662);
  FArray<int32_t, 5> zero;
  EXPECT_EQ(nrutil::randfmrg(zero) * 2147483647.0, 107374182.0);  // the zero state left

  int32_t i1 = 1, i2 = 2;  // an even i2 is made odd
  double r = 0.0;
  nrutil::randvsub(i1, i2, r);
  EXPECT_EQ(i1, 131073);  // 1 ^ (1 << 17)
  EXPECT_EQ(i2, 3 * 69069);
  EXPECT_NEAR_REL(r, static_cast<double>(131073 ^ (3 * 69069)) / 4294967295.0, 1e-15);
  std::vector<double> v(3, kNaN);
  nrutil::randv(i1, i2, VecView<double>(v.data(), 3));
  for (double u : v) EXPECT_TRUE(u > 0.0 && u < 1.0);

  nrutil::reset_random();
  int64_t k = 0;
  for (int n = 0; n < 100000000; ++n) k = nrutil::kiss64();
  EXPECT_EQ(static_cast<uint64_t>(k), 1666297717051644203ull);  // Marsaglia's check value
  const double u = nrutil::rndom();
  EXPECT_TRUE(u >= 0.0 && u < 1.0);
  nrutil::reset_random();
}

TEST(NrutilRandom, StatefulGeneratorsRestartAndStayInRange) {
  nrutil::reset_random();
  // The same negative seed restarts the same stream.
  std::vector<double> first, again;
  int32_t idum = -5;
  for (int n = 0; n < 5; ++n) first.push_back(nrutil::randum(idum));
  idum = -5;
  for (int n = 0; n < 5; ++n) again.push_back(nrutil::randum(idum));
  EXPECT_EQ(first, again);
  double sum = 0.0, sumsq = 0.0;
  constexpr int kDraws = 20000;
  for (int n = 0; n < kDraws; ++n) {
    const double w = nrutil::randum(idum);
    ASSERT_TRUE(w >= 0.0 && w < 1.0);
    sum += w;
  }
  // Mean of 20000 uniforms: standard error 0.002; 0.01 is five of them.
  EXPECT_NEAR(sum / kDraws, 0.5, 0.01);

  std::ostringstream out;
  idum = 0;
  EXPECT_TRUE(std::isnan(nrutil::gasdev(idum, out)));
  EXPECT_EQ(out.str(), "error in gasdev\n");
  idum = -7;
  sum = 0.0;
  for (int n = 0; n < kDraws; ++n) {
    const double g = nrutil::gasdev(idum, out);
    sum += g;
    sumsq += g * g;
  }
  // Standard errors: mean 0.007, variance 0.01; the bounds are five of them.
  EXPECT_NEAR(sum / kDraws, 0.0, 0.035);
  EXPECT_NEAR(sumsq / kDraws, 1.0, 0.05);
  nrutil::reset_random();
}

TEST(NrutilRandom, RuntimeDrawsNormalsSpherePointsAndShuffles) {
  runtime_rng::seed_repeatable();
  constexpr int kDraws = 20001;  // odd: the last pair fills one element
  std::vector<double> g(kDraws, kNaN);
  nrutil::normalvec(VecView<double>(g.data(), kDraws));
  double sum = 0.0, sumsq = 0.0;
  for (double v : g) {
    ASSERT_TRUE(std::isfinite(v));
    sum += v;
    sumsq += v * v;
  }
  EXPECT_NEAR(sum / kDraws, 0.0, 0.035);
  EXPECT_NEAR(sumsq / kDraws, 1.0, 0.05);

  double zsum = 0.0;
  for (int n = 0; n < 1000; ++n) {
    FArray<double, 3> p;
    nrutil::randsphere3rvec(p);
    EXPECT_NEAR(p(1) * p(1) + p(2) * p(2) + p(3) * p(3), 1.0, 1e-15);
    zsum += p(3);
  }
  EXPECT_NEAR(zsum / 1000, 0.0, 0.1);  // z is uniform on [-1, 1]: standard error 0.018
  runtime_rng::reset();

  std::vector<double> a = {0.5, 0.9, 0.1};
  nrutil::shuffle(VecView<double>(a.data(), 3));  // i = 3: j = 1 + int(0.3); i = 2: j = 2
  EXPECT_EQ(a, (std::vector<double>{0.1, 0.9, 0.5}));
  a = {7.0, -1.0};  // outside (0, 1): the index is clipped, not read outside the vector
  nrutil::shuffle(VecView<double>(a.data(), 2));
  EXPECT_EQ(a, (std::vector<double>{-1.0, 7.0}));
}

TEST(NrutilRandom, ClockSeedsAndDate) {
  sysclock::LocalTime t;
  t.tm.tm_year = 2026 - 1900;
  t.tm.tm_mon = 11;
  t.tm.tm_mday = 7;
  t.tm.tm_hour = 4;
  t.tm.tm_min = 21;
  t.tm.tm_sec = 58;
  t.ms = 123;
  sysclock::set_local_time_source([&] { return t; });
  int32_t seed = 0;
  nrutil::ranseed(seed);
  EXPECT_EQ(seed, -158125);  // -(2158123 mod 999999)
  EXPECT_EQ(nrutil::current_date(), "2026-12-07 04:21:58.123       ");

  nrutil::rand_seed();
  const double u1 = runtime_rng::uniform();
  nrutil::rand_seed();
  EXPECT_EQ(runtime_rng::uniform(), u1);  // the same clock reading, the same stream
  t.ms = 124;
  nrutil::rand_seed();
  EXPECT_NE(runtime_rng::uniform(), u1);
  sysclock::set_local_time_source(nullptr);
  runtime_rng::reset();
}

TEST(NrutilPrint, MatrixAndVectorLayouts) {
  const std::vector<double> m = numbered(2, 6);
  const MatView<const double> a(m.data(), 2, 6, 2);
  const Lines matprn = lines_of([&](const nrutil::LineSink& u) { nrutil::matprn(u, a, 2, 6); });
  ASSERT_EQ(matprn.size(), 6u);  // two blocks: 5 columns, then 1
  EXPECT_EQ(matprn[0].substr(0, 27), "            1             2");
  EXPECT_EQ(matprn[1].substr(0, 34), "   1    1.100000E+01  1.200000E+01");
  EXPECT_EQ(matprn[3], "            6");
  EXPECT_EQ(matprn[5], "   2    2.600000E+01");

  const std::vector<double> wide = numbered(1, 11);
  const Lines mat_print = lines_of([&](const nrutil::LineSink& u) {
    nrutil::mat_print(u, MatView<const double>(wide.data(), 1, 11, 1), 1, 11, "Title  ");
  });
  ASSERT_EQ(mat_print.size(), 3u);
  EXPECT_EQ(mat_print[0], "Title");
  EXPECT_EQ(mat_print[1].substr(0, 22), "   11.000       12.000");
  EXPECT_EQ(mat_print[2], " 21.000");  // the eleventh value: the group again, without 2X

  const Lines array2d =
      lines_of([&](const nrutil::LineSink& u) { nrutil::print_array_2d(u, a, 2, 2); });
  EXPECT_EQ(array2d, (Lines{"  1.100E+01    1.200E+01", "  2.100E+01    2.200E+01"}));

  const std::vector<double> v = {1.5, -2.0};
  const Lines vec3 =
      lines_of([&](const nrutil::LineSink& u) { nrutil::vecprn3(u, view(v), 2, 2); });
  EXPECT_EQ(vec3, (Lines{"     1            2", "    1.500       -2.000"}));
}

}  // namespace
