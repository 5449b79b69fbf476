#include "numerics/nrutil.hpp"

#include <cmath>
#include <cstdio>
#include <vector>

#include "numerics/editfmt.hpp"

namespace nrutil {

void rvec_nan(VecView<double> x, double v) {
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

// Writes each record of one formatted write to the sink.
void write_records(const LineSink& unit,
                   std::string_view fmt,
                   const std::vector<editfmt::Value>& v) {
  const std::string text = editfmt::format(fmt, v);
  size_t start = 0;
  for (size_t nl = text.find('\n');; nl = text.find('\n', start)) {
    unit(std::string_view(text).substr(start,
                                       nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
}

}  // namespace

void vecprn(const LineSink& unit, VecView<const double> vector, int32_t n, int32_t step) {
  // A step below 1 would never advance; the whole vector is then one block.
  if (step < 1) step = std::max(n, 1);
  std::vector<editfmt::Value> numbers, values;
  for (int64_t i = 1; i <= n; i += step) {
    const int64_t j = std::min<int64_t>(i + step - 1, n);
    numbers.clear();
    values.clear();
    for (int64_t k = i; k <= j; ++k) {
      numbers.emplace_back(k);
      values.emplace_back(vector(k));
    }
    write_records(unit, "(4X,10(I2,11X))", numbers);
    write_records(unit, "(1X,10(ES10.3,3X))", values);
  }
}

std::string f_date() { return f_date_at(std::time(nullptr)); }

std::string f_date_at(std::time_t t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  // localtime_r: the report may be written while other threads read the clock.
  if (localtime_r(&t, &tm) == nullptr) return std::string(30, ' ');
  char buf[64];
  std::snprintf(buf,
                sizeof buf,
                "%s %s %2d %02d:%02d:%02d %4d",
                kDays[tm.tm_wday % 7],
                kMonths[tm.tm_mon % 12],
                tm.tm_mday,
                tm.tm_hour,
                tm.tm_min,
                tm.tm_sec,
                tm.tm_year + 1900);
  std::string s(buf);
  s.resize(30, ' ');
  return s;
}

}  // namespace nrutil
