#include "numerics/nrutil.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <ostream>
#include <type_traits>
#include <vector>

namespace nrutil {

void rvec_nan(VecView<double> x, double v) {
  if (x.stride() == 1) {
    // rval_nan as one selection per element, which gives the same value and which the compiler
    // can vectorise: the model evaluator's callers guard every fitted value after every call.
    double* const p = x.data();
    for (long i = 0; i < x.size(); ++i) {
      const double e = p[i];
      p[i] = ((e != e) | (e - 1.0 == e)) ? v : e;
    }
    return;
  }
  for (long i = 1; i <= x.size(); ++i) rval_nan(x(i), v);
}

void rvec_mean(int32_t i1, int32_t i2, VecView<const double> x, double& mean) {
  const int32_t count = i2 - i1 + 1;
  // An empty range has no mean; 0 keeps the caller away from 0/0.
  if (count < 1) {
    mean = 0.0;
    return;
  }
  double sum = 0.0;
  for (int32_t i = i1; i <= i2; ++i) sum += x(i);
  mean = sum / count;
}

void rvec_stdev(int32_t i1, int32_t i2, VecView<const double> x, double& sd) {
  const int32_t count = i2 - i1 + 1;
  if (count < 2) {
    sd = 0.0;
    return;
  }
  double mean = 0.0;
  rvec_mean(i1, i2, x, mean);
  double ss = 0.0;
  for (int32_t i = i1; i <= i2; ++i) ss += (x(i) - mean) * (x(i) - mean);
  sd = std::sqrt(ss / (count - 1));
}

void rvec_stdev1(int32_t n, VecView<const double> x, double& sd) { rvec_stdev(1, n, x, sd); }

void rvec_median(VecView<const double> x, int32_t n, double& median) {
  if (n < 1) {
    median = 0.0;
    return;
  }
  FVector<double> a(n);
  for (int32_t i = 1; i <= n; ++i) a(i) = x(i);
  sortwt(n, a.view());
  if (n % 2 == 1) {
    median = a((n + 1) / 2);
  } else {
    median = (a(n / 2) + a(n / 2 + 1)) / 2.0;
  }
}

// Heapsort in its classic two-phase form: while l > 1 the heap is built ("hiring": a(l) is
// sifted down); then the top a(1) is exchanged with a(ir) and ir shrinks ("retirement").
void sortwt(int32_t n, VecView<double> a) {
  if (n < 2) return;
  int32_t l = n / 2 + 1;
  int32_t ir = n;
  for (;;) {
    double rra = 0.0;
    if (l > 1) {
      --l;
      rra = a(l);
    } else {
      rra = a(ir);
      a(ir) = a(1);
      --ir;
      if (ir == 1) {
        a(1) = rra;
        return;
      }
    }
    // Sift rra down from l: the larger child moves up while it exceeds rra.
    int32_t i = l;
    int32_t j = l + l;
    while (j <= ir) {
      if (j < ir && a(j) < a(j + 1)) ++j;
      if (rra < a(j)) {
        a(i) = a(j);
        i = j;
        j += j;
      } else {
        j = ir + 1;
      }
    }
    a(i) = rra;
  }
}

void diagmult_r(MatView<double> m, double s) {
  const long n = std::min(m.rows(), m.cols());
  for (long i = 1; i <= n; ++i) m(i, i) *= s;
}

void diagadd_r(MatView<double> m, double s) {
  const long n = std::min(m.rows(), m.cols());
  for (long i = 1; i <= n; ++i) m(i, i) += s;
}

namespace {

// The common value of sizes, or the failure report of assert_eqK / assert_eqn and no value.
template <typename Sizes>
std::optional<int32_t> common_size(const Sizes& sizes,
                                   std::string_view tag,
                                   std::string_view variant,
                                   std::ostream& out) {
  const bool same =
      std::size(sizes) > 0 && std::all_of(std::begin(sizes), std::end(sizes), [&](int32_t n) {
        return n == *std::begin(sizes);
      });
  if (same) return *std::begin(sizes);
  // The routine once stopped the program here; it reports the same lines and lets the caller
  // go on without a size.
  out << "nrerror: an assert_eq failed with this tag: " << tag << "\n"
      << "program terminated by " << variant << "\n";
  return std::nullopt;
}

// a + b with the wrap-around of 32-bit two's complement for integers (no undefined overflow).
template <typename T>
T wrap_add(T a, T b) {
  if constexpr (std::is_integral_v<T>) {
    return static_cast<T>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
  } else {
    return a + b;
  }
}

// The arithmetic progression of [1]: sequential sums up to 16 terms; beyond, 8 terms and then
// blocks that double, each block = the first terms + a running multiple of the increment.
template <typename T>
FVector<T> arth(T first, T increment, int32_t n) {
  constexpr int32_t kNparArth = 16;
  constexpr int32_t kNpar2Arth = 8;
  FVector<T> a(n);
  if (n < 1) return a;
  a(1) = first;
  const int32_t sequential = n <= kNparArth ? n : kNpar2Arth;
  for (int32_t k = 2; k <= sequential; ++k) a(k) = wrap_add(a(k - 1), increment);
  if (n <= kNparArth) return a;
  T temp = increment;
  for (int32_t d = 1; d < kNpar2Arth; d *= 2) temp = wrap_add(temp, temp);  // 8 increments
  for (int32_t k = kNpar2Arth; k < n; k += k) {
    for (int32_t i = 1; i <= std::min(k, n - k); ++i) a(k + i) = wrap_add(temp, a(i));
    temp = wrap_add(temp, temp);
  }
  return a;
}

template <typename T>
void array_copy(VecView<const T> src, VecView<T> dest, int32_t& n_copied, int32_t& n_not_copied) {
  n_copied = static_cast<int32_t>(std::min(src.size(), dest.size()));
  n_not_copied = static_cast<int32_t>(src.size()) - n_copied;
  for (int32_t i = 1; i <= n_copied; ++i) dest(i) = src(i);
}

// Copies as many elements of from as to holds.
void copy_vector(VecView<const double> from, VecView<double> to) {
  const long n = std::min(from.size(), to.size());
  for (long i = 1; i <= n; ++i) to(i) = from(i);
}

}  // namespace

std::optional<int32_t> assert_eq2(int32_t n1, int32_t n2, std::string_view tag, std::ostream& out) {
  return common_size(std::initializer_list<int32_t>{n1, n2}, tag, "assert_eq2", out);
}

std::optional<int32_t> assert_eq3(
    int32_t n1, int32_t n2, int32_t n3, std::string_view tag, std::ostream& out) {
  return common_size(std::initializer_list<int32_t>{n1, n2, n3}, tag, "assert_eq3", out);
}

std::optional<int32_t> assert_eq4(
    int32_t n1, int32_t n2, int32_t n3, int32_t n4, std::string_view tag, std::ostream& out) {
  return common_size(std::initializer_list<int32_t>{n1, n2, n3, n4}, tag, "assert_eq4", out);
}

std::optional<int32_t> assert_eq5(int32_t n1,
                                  int32_t n2,
                                  int32_t n3,
                                  int32_t n4,
                                  int32_t n5,
                                  std::string_view tag,
                                  std::ostream& out) {
  return common_size(std::initializer_list<int32_t>{n1, n2, n3, n4, n5}, tag, "assert_eq5", out);
}

std::optional<int32_t> assert_eq6(int32_t n1,
                                  int32_t n2,
                                  int32_t n3,
                                  int32_t n4,
                                  int32_t n5,
                                  int32_t n6,
                                  std::string_view tag,
                                  std::ostream& out) {
  return common_size(
      std::initializer_list<int32_t>{n1, n2, n3, n4, n5, n6}, tag, "assert_eq6", out);
}

std::optional<int32_t> assert_eqn(VecView<const int32_t> nn,
                                  std::string_view tag,
                                  std::ostream& out) {
  std::vector<int32_t> sizes;
  for (long i = 1; i <= nn.size(); ++i) sizes.push_back(nn(i));
  return common_size(sizes, tag, "assert_eqn", out);
}

bool nrerror(std::string_view message, std::ostream& out) {
  out << "nrerror: " << message << "\n"
      << "program terminated by nrerror\n";
  return false;
}

FMatrixD<double> outerprod(VecView<const double> a, VecView<const double> b) {
  FMatrixD<double> m(a.size(), b.size());
  for (long j = 1; j <= b.size(); ++j) {
    for (long i = 1; i <= a.size(); ++i) m(i, j) = a(i) * b(j);
  }
  return m;
}

FMatrixD<int32_t> outerand(VecView<const int32_t> a, VecView<const int32_t> b) {
  FMatrixD<int32_t> m(a.size(), b.size());
  for (long j = 1; j <= b.size(); ++j) {
    for (long i = 1; i <= a.size(); ++i) m(i, j) = a(i) != 0 && b(j) != 0 ? 1 : 0;
  }
  return m;
}

bool rmatrow_to_rvec(MatView<const double> m, int32_t i, VecView<double> v) {
  if (i < 1 || i > m.rows()) return false;
  copy_vector(m.row(i), v);
  return true;
}

bool rmatcol_to_rvec(MatView<const double> m, int32_t j, VecView<double> v) {
  if (j < 1 || j > m.cols()) return false;
  copy_vector(m.col(j), v);
  return true;
}

void swap_r(double& a, double& b) { std::swap(a, b); }

bool swap_rv(VecView<double> a, VecView<double> b) {
  if (a.size() != b.size()) return false;
  for (long i = 1; i <= a.size(); ++i) std::swap(a(i), b(i));
  return true;
}

bool diagmult_rv(MatView<double> m, VecView<const double> diag, std::ostream& out) {
  const auto n = assert_eq2(static_cast<int32_t>(diag.size()),
                            static_cast<int32_t>(std::min(m.rows(), m.cols())),
                            "diagmult_rv",
                            out);
  if (!n) return false;
  for (int32_t j = 1; j <= *n; ++j) m(j, j) *= diag(j);
  return true;
}

bool diagadd_rv(MatView<double> m, VecView<const double> diag, std::ostream& out) {
  const auto n = assert_eq2(static_cast<int32_t>(diag.size()),
                            static_cast<int32_t>(std::min(m.rows(), m.cols())),
                            "diagadd_rv",
                            out);
  if (!n) return false;
  for (int32_t j = 1; j <= *n; ++j) m(j, j) += diag(j);
  return true;
}

void array_copy_i(VecView<const int32_t> src,
                  VecView<int32_t> dest,
                  int32_t& n_copied,
                  int32_t& n_not_copied) {
  array_copy(src, dest, n_copied, n_not_copied);
}

void array_copy_d(VecView<const double> src,
                  VecView<double> dest,
                  int32_t& n_copied,
                  int32_t& n_not_copied) {
  array_copy(src, dest, n_copied, n_not_copied);
}

void array_copy_r(VecView<const double> src,
                  VecView<double> dest,
                  int32_t& n_copied,
                  int32_t& n_not_copied) {
  array_copy(src, dest, n_copied, n_not_copied);
}

FVector<int32_t> arth_i(int32_t first, int32_t increment, int32_t n) {
  return arth(first, increment, n);
}

FVector<double> arth_d(double first, double increment, int32_t n) {
  return arth(first, increment, n);
}

FVector<double> arth_r(double first, double increment, int32_t n) {
  return arth(first, increment, n);
}

void rvec_stdev_median(int32_t n, VecView<const double> x, double& sd) {
  if (n < 2) {
    sd = 0.0;
    return;
  }
  double median = 0.0;
  rvec_median(x, n, median);
  double ss = 0.0;
  for (int32_t i = 1; i <= n; ++i) ss += (x(i) - median) * (x(i) - median);
  sd = std::sqrt(ss / (n - 1));
}

void r8vec_subinterval(int32_t n, double a, double b, VecView<double> x) {
  if (n == 1) {
    x(1) = 0.5 * (a + b);
    return;
  }
  for (int32_t i = 1; i <= n; ++i) {
    x(i) = (static_cast<double>(n - i) * a + static_cast<double>(i - 1) * b) / (n - 1);
  }
}

// MINPACK's enorm [6]: components split at rdwarf and rgiant / n into small, intermediate and
// large ones; the small and large sums are kept scaled by their largest component.
double enorm2(int32_t n, VecView<const double> x) {
  constexpr double rdwarf = 3.834e-20;
  constexpr double rgiant = 1.304e19;
  double s1 = 0.0, s2 = 0.0, s3 = 0.0, x1max = 0.0, x3max = 0.0;
  if (n < 1) return 0.0;
  const double agiant = rgiant / n;
  for (int32_t i = 1; i <= n; ++i) {
    const double xabs = std::fabs(x(i));
    if (xabs > rdwarf && xabs < agiant) {
      s2 += xabs * xabs;  // intermediate components
    } else if (xabs <= rdwarf) {
      // small components
      if (xabs > x3max) {
        s3 = 1.0 + s3 * (x3max / xabs) * (x3max / xabs);
        x3max = xabs;
      } else if (xabs != 0.0) {
        s3 += (xabs / x3max) * (xabs / x3max);
      }
    } else if (xabs > x1max) {
      // large components
      s1 = 1.0 + s1 * (x1max / xabs) * (x1max / xabs);
      x1max = xabs;
    } else {
      s1 += (xabs / x1max) * (xabs / x1max);
    }
  }
  if (s1 != 0.0) return x1max * std::sqrt(s1 + (s2 / x1max) / x1max);
  if (s2 == 0.0) return x3max * std::sqrt(s3);
  if (s2 >= x3max) return std::sqrt(s2 * (1.0 + (x3max / s2) * (x3max * s3)));
  return std::sqrt(x3max * ((s2 / x3max) + (x3max * s3)));
}

double roundz(double x, int32_t ndigits) {
  if (ndigits < 1 || x == 0.0 || !std::isfinite(x)) return x;
  // p decimal places keep ndigits significant digits: p = ndigits - (digits before the point).
  const double p = ndigits - (std::floor(std::log10(std::fabs(x))) + 1.0);
  const double scale = std::pow(10.0, p);
  const double y = x * scale;
  // Scales beyond the double range would turn x into 0, inf or NaN.
  if (scale == 0.0 || !std::isfinite(scale) || !std::isfinite(y)) return x;
  return std::round(y) / scale;
}

void rval_prec(double& eps, int32_t& ndigits) {
  eps = 1.0;
  while (1.0 + eps / 2.0 > 1.0) eps /= 2.0;
  ndigits = 0;
  for (double t = 0.1; 1.0 + t > 1.0; t /= 10.0) ++ndigits;
}

namespace {

double tolerance(double a, double b, double eps) {
  return eps * std::max(std::fabs(a), std::fabs(b));
}

}  // namespace

bool real_feq(double a, double b, double eps) { return std::fabs(a - b) <= tolerance(a, b, eps); }
bool real_fne(double a, double b, double eps) { return !real_feq(a, b, eps); }
bool real_fgt(double a, double b, double eps) { return a - b > tolerance(a, b, eps); }
bool real_flt(double a, double b, double eps) { return b - a > tolerance(a, b, eps); }
bool real_fge(double a, double b, double eps) { return !real_flt(a, b, eps); }
bool real_fle(double a, double b, double eps) { return !real_fgt(a, b, eps); }

bool real_fveq(VecView<const double> a, VecView<const double> b, double eps) {
  if (a.size() != b.size()) return false;
  for (long i = 1; i <= a.size(); ++i) {
    if (!real_feq(a(i), b(i), eps)) return false;
  }
  return true;
}

double real_diff(double a, double b, int32_t nbits) {
  const double d = a - b;
  if (d == 0.0 || !std::isfinite(d)) return d;
  nbits = std::clamp(nbits, 1, 53);
  int e = 0;
  const double m = std::frexp(d, &e);  // d = m 2^e, 0.5 <= |m| < 1
  return std::ldexp(std::round(std::ldexp(m, nbits)), e - nbits);
}

double pie(double a, double b) { return a + (b - a) * std::numbers::pi; }

}  // namespace nrutil
