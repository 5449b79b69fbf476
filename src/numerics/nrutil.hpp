// Small numerical procedures on doubles, vectors and matrices: the guard that replaces a value
// that is not a number or has lost all precision, mean, standard deviation and median of a
// vector, heapsort, in-place operations on a matrix diagonal and the date text of the results
// report; and, used by no other module, size checks, outer products, copies, progressions,
// random generators, printers of matrices and vectors, and tolerant comparisons.
//
// Vectors are 1-based views that may be strided (a row or a column of a larger matrix); every
// procedure steps through them element by element. Work arrays are allocated per call. Reals
// are doubles (the _r and _d variants alike); logical values are 32-bit flags, nonzero true.
//
// Sources: nrutil.cpp (guards, statistics, matrices, comparisons), nrutil_random.cpp
// (generators and seeds), nrutil_print.cpp (printers and date texts).
//
// [1] W. H. Press et al., Numerical Recipes in Fortran 90 (1996), the nrutil module and ran1,
//     gasdev (B1, B7).
// [2] S. K. Park, K. W. Miller, "Random number generators: good ones are hard to find", CACM 31
//     (1988) 1192-1201; S. K. Park, K. W. Miller, P. K. Stockmeyer, "Technical correspondence",
//     CACM 36 (1993) 105-110 (the multiplier 48271).
// [3] P. L'Ecuyer, F. Blouin, R. Couture, "A search for good multiple recursive random number
//     generators", ACM TOMACS 3 (1993) 87-98.
// [4] G. Marsaglia, the "Super-Duper" generator (1972), as combined in R. A. Becker et al.,
//     The New S Language (1988); G. Marsaglia, "64-bit KISS RNGs" (2009).
// [5] G. Marsaglia, "Choosing a point from the surface of a sphere", Ann. Math. Stat. 43
//     (1972) 645-646.
// [6] J. J. More, B. S. Garbow, K. E. Hillstrom, User guide for MINPACK-1 (1980), enorm.
// [7] D. E. Knuth, The Art of Computer Programming 2, 3rd ed. (1997), 4.2.2 (approximate
//     comparison).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <iostream>
#include <optional>
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

// ---------------------------------------------------------------------------------------------
// Procedures no other module calls.

// Size checks [1]. The common value of the sizes; when they differ, the lines
// "nrerror: an assert_eq failed with this tag: <tag>" and "program terminated by assert_eqK"
// go to out and no value comes back: the caller decides what to do, the process goes on.
// assert_eqn checks a vector of sizes ("program terminated by assert_eqn"); an empty vector
// has no common value.
std::optional<int32_t> assert_eq2(int32_t n1,
                                  int32_t n2,
                                  std::string_view tag,
                                  std::ostream& out = std::cout);
std::optional<int32_t> assert_eq3(
    int32_t n1, int32_t n2, int32_t n3, std::string_view tag, std::ostream& out = std::cout);
std::optional<int32_t> assert_eq4(int32_t n1,
                                  int32_t n2,
                                  int32_t n3,
                                  int32_t n4,
                                  std::string_view tag,
                                  std::ostream& out = std::cout);
std::optional<int32_t> assert_eq5(int32_t n1,
                                  int32_t n2,
                                  int32_t n3,
                                  int32_t n4,
                                  int32_t n5,
                                  std::string_view tag,
                                  std::ostream& out = std::cout);
std::optional<int32_t> assert_eq6(int32_t n1,
                                  int32_t n2,
                                  int32_t n3,
                                  int32_t n4,
                                  int32_t n5,
                                  int32_t n6,
                                  std::string_view tag,
                                  std::ostream& out = std::cout);
std::optional<int32_t> assert_eqn(VecView<const int32_t> nn,
                                  std::string_view tag,
                                  std::ostream& out = std::cout);
// Writes "nrerror: <message>" and "program terminated by nrerror" to out and returns false, the
// failure its caller hands on (`return nrerror(...)`); the process goes on.
bool nrerror(std::string_view message, std::ostream& out = std::cout);

// Outer products: m(i, j) = a(i) * b(j), and the flag a(i) and b(j).
FMatrixD<double> outerprod(VecView<const double> a, VecView<const double> b);
FMatrixD<int32_t> outerand(VecView<const int32_t> a, VecView<const int32_t> b);

// Copies row i (column j) of m into v(1..), as many elements as both hold. False, v
// unchanged, when i (j) is outside the matrix.
bool rmatrow_to_rvec(MatView<const double> m, int32_t i, VecView<double> v);
bool rmatcol_to_rvec(MatView<const double> m, int32_t j, VecView<double> v);

void swap_r(double& a, double& b);
// Swaps a and b element by element; false, both unchanged, when their sizes differ.
bool swap_rv(VecView<double> a, VecView<double> b);

// m(j, j) *= diag(j) (+= diag(j)) along the diagonal. The sizes are checked with assert_eq2
// (tags "diagmult_rv", "diagadd_rv"): false, m unchanged, when diag's size is not
// min(rows, cols).
bool diagmult_rv(MatView<double> m, VecView<const double> diag, std::ostream& out = std::cout);
bool diagadd_rv(MatView<double> m, VecView<const double> diag, std::ostream& out = std::cout);

// dest(1..k) = src(1..k) with k = min(size src, size dest); n_copied = k and n_not_copied =
// size src - k.
void array_copy_i(VecView<const int32_t> src,
                  VecView<int32_t> dest,
                  int32_t& n_copied,
                  int32_t& n_not_copied);
void array_copy_d(VecView<const double> src,
                  VecView<double> dest,
                  int32_t& n_copied,
                  int32_t& n_not_copied);
void array_copy_r(VecView<const double> src,
                  VecView<double> dest,
                  int32_t& n_copied,
                  int32_t& n_not_copied);

// first, first + increment, ..., n terms (none for n < 1), by the doubling scheme of [1]
// beyond 16 terms. Integer terms wrap around in 32 bits.
FVector<int32_t> arth_i(int32_t first, int32_t increment, int32_t n);
FVector<double> arth_d(double first, double increment, int32_t n);
FVector<double> arth_r(double first, double increment, int32_t n);

// Standard deviation of x(1..n) about their median, divisor n - 1; 0 when n < 2.
void rvec_stdev_median(int32_t n, VecView<const double> x, double& sd);
// x(1..n) evenly spaced from a to b: x(i) = ((n - i) a + (i - 1) b) / (n - 1); the midpoint
// (a + b) / 2 when n = 1.
void r8vec_subinterval(int32_t n, double a, double b, VecView<double> x);
// Euclidean norm of x(1..n) with separate sums of small, mid-sized and large components, so
// that no square overflows or underflows [6].
double enorm2(int32_t n, VecView<const double> x);
// x rounded to ndigits significant decimal digits, halves away from zero; x itself when
// ndigits < 1, x is zero or not finite, or the scaling leaves the double range.
double roundz(double x, int32_t ndigits);
// Machine epsilon found by halving (2^-52) and the decimal digits that 1 + 10^-k still tells
// apart from 1 (15).
void rval_prec(double& eps, int32_t& ndigits);

// Comparisons with a tolerance scaled by the larger magnitude [7], s = eps * max(|a|, |b|):
// feq |a - b| <= s, fne its negation, fgt a - b > s, flt b - a > s, fge not flt, fle not fgt.
// real_fveq: equal sizes and every pair feq.
inline constexpr double kRealTol = 2.220446049250313e-16;  // 2^-52, the machine epsilon
bool real_feq(double a, double b, double eps = kRealTol);
bool real_fne(double a, double b, double eps = kRealTol);
bool real_fgt(double a, double b, double eps = kRealTol);
bool real_flt(double a, double b, double eps = kRealTol);
bool real_fge(double a, double b, double eps = kRealTol);
bool real_fle(double a, double b, double eps = kRealTol);
bool real_fveq(VecView<const double> a, VecView<const double> b, double eps = kRealTol);
// a - b rounded to nbits significant binary digits (1..53; halves away from zero).
double real_diff(double a, double b, int32_t nbits);
// a + (b - a) * pi.
double pie(double a, double b);

// Random generators (nrutil_random.cpp). Those with seed arguments carry their state in them;
// randum, gasdev and kiss64 also keep saved state between calls; normalvec and randsphere3rvec
// draw from the runtime generator (runtime_rng).

// Permutes a(1..n), whose values lie in (0, 1), from the last element down: a(i) is exchanged
// with a(j), j = 1 + int(i * a(i)) (clipped to 1..i) - a Fisher-Yates pass whose indices are
// drawn from the values themselves.
void shuffle(VecView<double> a);
// The minimal standard linear congruential generator [2]: seed = 16807 seed mod (2^31 - 1),
// returned; a seed outside 1..2^31-2 is first reduced into it (0 becomes 1).
int32_t randlcg(int32_t& seed);
// The fifth-order multiple recursive generator of [3]: x_n = (107374182 x_{n-1} + 104480
// x_{n-5}) mod (2^31 - 1), with x(1..5) = x_{n-1}..x_{n-5} updated; returns x_n / (2^31 - 1).
// Values are reduced into 0..2^31-2 first; an all-zero state becomes x(1) = 1.
double randfmrg(FArray<int32_t, 5>& x);
// A shuffled, tangent-folded mix in [0, 1): a Bays-Durham shuffle table (32 entries, as ran1
// of [1]) over the minimal standard generator, its draw added modulo 1 to the fractional part
// of |tan(pi (w - 1/2))| for w from a second stream (multiplier 48271 [2]). idum <= 0 (or the
// first call) starts both streams from max(-idum, 1).
double randum(int32_t& idum);
// A standard normal deviate by the polar method [1] from ran1's uniforms; the second deviate
// of each pair is kept for the next call. idum < 0 (or the first call) starts the stream from
// -idum. idum = 0 is a bad seed (the stream would stay at 0): "error in gasdev" goes to out
// and the result is NaN.
double gasdev(int32_t& idum, std::ostream& out = std::cout);
// The combined shift-register and multiplicative generator of [4] ("Super-Duper"): i1 ^=
// i1 >> 15, i1 ^= i1 << 17 and i2 = 69069 i2 (32 bits, unsigned), r = (i1 xor i2) /
// (2^32 - 1) kept inside (0, 1). i1 = 0 becomes 1 and an even i2 is made odd.
void randvsub(int32_t& i1, int32_t& i2, double& r);
// v(1..) from successive randvsub numbers.
void randv(int32_t& i1, int32_t& i2, VecView<double> v);
// v(1..) standard normal deviates by the polar method, uniforms from the runtime generator.
void normalvec(VecView<double> v);
// The 64-bit KISS generator [4]: multiply-with-carry + xorshift + congruential, wrapped.
int64_t kiss64();
// A uniform number in [0, 1) from the top 53 bits of kiss64.
double rndom();
// A point uniform on the unit sphere, x(1..3), by the method of [5] with uniforms from the
// runtime generator.
void randsphere3rvec(FArray<double, 3>& x);
// A non-positive seed from the calendar clock: -((100000 minute + 1000 second + millisecond)
// mod 999999).
void ranseed(int32_t& seed);
// Seeds the runtime generator with the eight values of the calendar clock: millisecond,
// second, minute, hour, day, month, year and the offset from UTC in minutes.
void rand_seed();
// Back to the state at program start of the generators with saved state (for tests).
void reset_random();

// Printers (nrutil_print.cpp), one formatted write per record, through editfmt.
// Blocks of five columns: a record of column numbers "(6X,5(I7,7X))", then one record per row
// "(1X,I3,2X,5(ES14.6))" of the row number and its values.
void matprn(const LineSink& unit, MatView<const double> a, int32_t m, int32_t n);
// The title, then one write "(2X,10(F7.3,6X))" per row (more than ten values continue on
// further records).
void mat_print(
    const LineSink& unit, MatView<const double> a, int32_t m, int32_t n, std::string_view title);
// One write "(1X,10(ES10.3,3X))" per row.
void print_array_2d(const LineSink& unit, MatView<const double> a, int32_t m, int32_t n);
// As vecprn, the values written "(2X,10(F7.3,6X))".
void vecprn3(const LineSink& unit, VecView<const double> vector, int32_t n, int32_t step);
// The calendar clock as "yyyy-mm-dd hh:mm:ss.sss", blank-padded to 30 characters.
std::string current_date();

}  // namespace nrutil
