#include "engine/sharc_runs.hpp"

#include <algorithm>
#include <cmath>

namespace sharc_mod {
namespace {

// Variance of the number of runs of length k: a(k) n + b(k). The coefficients are stored in
// double precision but carry single precision (they were typed as single-precision literals).
// clang-format off
constexpr double kVarA[kRunLengths] = {
    0.4236111044883728,     0.11266754567623138,    0.04191688820719719,
    0.010769125074148178,   0.002003959147259593,   0.00030232357676140964,
    3.911555540980771e-05,  4.4590387915377505e-06, 4.551105234895658e-07,
    4.207466730576925e-08,  3.5559308830812597e-09, 2.7682733882983257e-10,
    1.9978215262672627e-11, 1.3438766158918591e-12, 8.46561048258726e-14};
constexpr double kVarB[kRunLengths] = {
    -0.4819444417953491,     -0.1628284901380539,     -0.09690696746110916,
    -0.037781067192554474,   -0.009289228357374668,   -0.0017244291957467794,
    -0.00026385579258203506, -3.4669650631258264e-05, -4.00412909584702e-06,
    -4.130382649236708e-07,  -3.851875973737151e-08,  -3.2791038773183345e-09,
    -2.568491253018834e-10,  -1.8634338863621203e-11, -1.2592204839609322e-12};
// clang-format on

constexpr double kNaNDifference = 2.2204460492503132e-20;  // stands for a NaN difference

// Counts a finished run of length len (>= 1) in count(1..15), or in the long counter.
void count_run(int32_t len, FArray<double, kRunLengths>& count, double& longer) {
  if (len > kRunLengths) {
    longer += 1.0;
  } else if (len >= 1) {
    count(len) += 1.0;
  }
}

double factorial(int32_t k) {
  double f = 1.0;
  for (int32_t i = 2; i <= k; ++i) f *= i;
  return f;
}

}  // namespace

void runs_statistic(VecView<const double> r,
                    int32_t n,
                    int32_t& npos,
                    int32_t& nneg,
                    int32_t& nzero,
                    int32_t& longest_up,
                    int32_t& longest_down,
                    VecView<double> runs,
                    VecView<double> z) {
  if (n < 2) return;
  // Step 1: differences, a NaN one replaced by a tiny positive value.
  FVector<double> d(n - 1);
  for (int32_t i = 1; i <= n - 1; ++i) {
    d(i) = r(i + 1) - r(i);
    if (std::isnan(d(i))) d(i) = kNaNDifference;
  }
  // Step 2: walk the runs; u and w are the lengths of the current run up and down.
  FArray<double, kRunLengths> up, down;
  double up_longer = 0.0, down_longer = 0.0;
  int32_t u = 0, w = 0;
  longest_up = 0;
  longest_down = 0;
  for (int32_t i = 1; i <= n - 1; ++i) {
    if (d(i) > 0) {
      count_run(w, down, down_longer);
      w = 0;
      ++u;
    } else if (d(i) < 0) {
      count_run(u, up, up_longer);
      u = 0;
      ++w;
    } else if (w > 0) {
      ++w;  // a tie continues the run in progress
    } else {
      ++u;  // ... and starts a run up when none has begun
    }
    if (i == n - 1) {
      count_run(u, up, up_longer);
      count_run(w, down, down_longer);
    }
    longest_up = std::max(longest_up, u);
    longest_down = std::max(longest_down, w);
  }
  // Steps 3 and 4: runs per length, signs of the differences.
  for (int32_t k = 1; k <= kRunLengths; ++k) runs(k) = up(k) + down(k);
  runs(16) = up_longer + down_longer;
  npos = 0;
  nneg = 0;
  nzero = 0;
  for (int32_t i = 1; i <= n - 1; ++i) {
    if (d(i) > 0) {
      ++npos;
    } else if (d(i) < 0) {
      ++nneg;
    } else {
      ++nzero;
    }
  }
  // Steps 5 to 7: z(k) = (runs(k) - E(k)) / SD(k), its magnitude lowered by 0.5.
  const double dn = n;
  for (int32_t k = 1; k <= kRunLengths; ++k) {
    const double kk = k;
    const double expected = 2.0 *
                            ((kk * kk + 3 * kk + 1) * dn - (kk * kk * kk + 3 * kk * kk - kk - 4)) /
                            factorial(k + 3);
    const double sd = std::sqrt(kVarA[k - 1] * dn + kVarB[k - 1]);
    z(k) = (runs(k) - expected) / sd;
    z(k) = z(k) - std::copysign(0.5, z(k));
  }
  // Step 8: a sequence that changes direction at every step.
  if (runs(1) >= n - 1) z(1) = std::copysign(2.57, z(1));
  // Step 9: length 15 stands for 15 or more.
  runs(15) = runs(15) + runs(16);
}

void runs_statistic(VecView<const double> r, int32_t n, RunsTest& test) {
  runs_statistic(r,
                 n,
                 test.npos,
                 test.nneg,
                 test.nzero,
                 test.longest_up,
                 test.longest_down,
                 test.runs.view(),
                 test.z.view());
}

}  // namespace sharc_mod
