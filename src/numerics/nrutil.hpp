// Small numerical procedures on doubles, vectors and matrices: the guard that replaces a value
// that is not a number or has lost all precision, mean, standard deviation and median of a
// vector, heapsort, in-place operations on a matrix diagonal and the date text of the results
// report.
//
// Vectors are 1-based views that may be strided (a row or a column of a larger matrix); every
// procedure steps through them element by element. Work arrays are allocated per call.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "numerics/farray.hpp"

namespace nrutil {

// The guard: x becomes v when x is not a number (unless v is not a number either, which leaves
// x as it is) or when x - 1.0 == x (infinities and magnitudes of about 2^53 and above).
// Inline: the model evaluator applies it to every fitted value.
inline void rval_nan(double& x, double v) {
  if (x != x) {
    x = v;
    if (v != v) return;
  }
  // x - 1 == x: infinite, or so large that one unit is below its precision.
  if (x - 1.0 == x) x = v;
}
// The guard applied to every element of x.
void rvec_nan(VecView<double> x, double v);

// mean = (x(i1) + ... + x(i2)) / (i2 - i1 + 1); the callers pass i1 <= i2 (an empty range
// gives 0 rather than a division by zero).
void rvec_mean(int32_t i1, int32_t i2, VecView<const double> x, double& mean);
// Sample standard deviation of x(i1..i2) about its mean, divisor (count - 1); 0 when the
// range holds fewer than two elements.
void rvec_stdev(int32_t i1, int32_t i2, VecView<const double> x, double& sd);
// The same over x(1..n); 0 when n < 2.
void rvec_stdev1(int32_t n, VecView<const double> x, double& sd);
// Median of x(1..n) from a sorted copy (x is not changed): the middle element for odd n, the
// mean of the two middle elements for even n; 0 for n < 1.
void rvec_median(VecView<const double> x, int32_t n, double& median);

// Sorts a(1..n) ascending in place by heapsort; n < 2 leaves a unchanged.
void sortwt(int32_t n, VecView<double> a);

// Multiplies (adds s to) every element of the diagonal, min(rows, cols) elements.
void diagmult_r(MatView<double> m, double s);
void diagadd_r(MatView<double> m, double s);

// Receives one record (line) of formatted output, e.g. a write to an open text unit.
using LineSink = std::function<void(std::string_view line)>;

// Prints vector(1..n) in blocks of `step` elements: for each block a record of element numbers
// "(4X,10(I2,11X))" and a record of values "(1X,10(ES10.3,3X))", each continued on further
// records after ten items. Numbers above 99 print as "**". A step below 1 prints one block.
void vecprn(const LineSink& unit, VecView<const double> vector, int32_t n, int32_t step);

// The current local date and time as "Www Mmm dd hh:mm:ss yyyy" (English names, day blank-
// padded to two characters) padded with blanks to 30 characters.
std::string f_date();
// The same for a given calendar time (the clock reading behind f_date).
std::string f_date_at(std::time_t t);

}  // namespace nrutil
