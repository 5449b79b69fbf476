// Runs test of the residuals (module sharc_mod, file of the runs test).
//
// The residual sequence is cut into runs up and runs down: maximal stretches in which
// successive residuals keep rising or keep falling. For a random sequence of n values the
// number of runs of length k has the expectation
//   E(k) = 2 [(k^2 + 3k + 1) n - (k^3 + 3k^2 - k - 4)] / (k + 3)!
// and a variance a(k) n + b(k) [1]; z(k) compares the count with E(k), with a continuity
// correction of 0.5.
//
// [1] H. Levene, J. Wolfowitz, "The covariance matrix of runs up and down", Annals of
//     Mathematical Statistics 15 (1944) 58-69.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace sharc_mod {

// Run lengths counted one by one; longer runs share one further counter.
inline constexpr int32_t kRunLengths = 15;

// Results of one runs test.
struct RunsTest {
  int32_t npos = 0;          // positive differences r(i+1) - r(i) (NaN ones included)
  int32_t nneg = 0;          // negative differences
  int32_t nzero = 0;         // zero differences
  int32_t longest_up = 0;    // length of the longest run up
  int32_t longest_down = 0;  // length of the longest run down
  FArray<double, 16> runs;   // runs(k): runs up and down of length k; runs(15) holds 15 or
                             // more; runs(16) the runs longer than 15
  FArray<double, 15> z;      // z(k), the z-value of runs(k)
};

// The runs test of r(1..n). With n < 2 nothing is written.
//   r                          in   residuals in row order
//   npos, nneg, nzero          out  signs of the n - 1 differences
//   longest_up, longest_down   out  longest runs
//   runs(1..16), z(1..15)      out  as in RunsTest
void runs_statistic(VecView<const double> r,
                    int32_t n,
                    int32_t& npos,
                    int32_t& nneg,
                    int32_t& nzero,
                    int32_t& longest_up,
                    int32_t& longest_down,
                    VecView<double> runs,
                    VecView<double> z);

// The same into one record.
void runs_statistic(VecView<const double> r, int32_t n, RunsTest& test);

}  // namespace sharc_mod
