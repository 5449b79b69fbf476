// nrutil's printers of vectors and matrices and its date texts. Every record is one formatted
// write through editfmt, so a format's reversion (more items than its group holds) continues on
// new records exactly as a formatted write does.
#include <algorithm>
#include <string>
#include <vector>

#include "numerics/editfmt.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/sysclock.hpp"

namespace nrutil {
namespace {

using Values = std::vector<editfmt::Value>;

// Writes each record of one formatted write to the sink.
void write_records(const LineSink& unit, std::string_view fmt, const Values& v) {
  const std::string text = editfmt::format(fmt, v);
  size_t start = 0;
  for (size_t nl = text.find('\n');; nl = text.find('\n', start)) {
    unit(std::string_view(text).substr(start,
                                       nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
}

// vector(1..n) in blocks of `step`: per block one write of the element numbers with
// number_fmt and one of the values with value_fmt.
void print_blocks(const LineSink& unit,
                  VecView<const double> vector,
                  int32_t n,
                  int32_t step,
                  std::string_view number_fmt,
                  std::string_view value_fmt) {
  // A step below 1 would never advance; the whole vector is then one block.
  if (step < 1) step = std::max(n, 1);
  Values numbers, values;
  for (int64_t i = 1; i <= n; i += step) {
    const int64_t j = std::min<int64_t>(i + step - 1, n);
    numbers.clear();
    values.clear();
    for (int64_t k = i; k <= j; ++k) {
      numbers.emplace_back(k);
      values.emplace_back(vector(k));
    }
    write_records(unit, number_fmt, numbers);
    write_records(unit, value_fmt, values);
  }
}

// One write per row i = 1..m of a(i, 1..n), with the row number first when `numbered`.
void print_rows(const LineSink& unit,
                MatView<const double> a,
                int32_t m,
                int32_t jlo,
                int32_t jhi,
                std::string_view fmt,
                bool numbered) {
  Values row;
  for (int32_t i = 1; i <= m; ++i) {
    row.clear();
    if (numbered) row.emplace_back(int64_t{i});
    for (int32_t j = jlo; j <= jhi; ++j) row.emplace_back(a(i, j));
    write_records(unit, fmt, row);
  }
}

}  // namespace

void vecprn(const LineSink& unit, VecView<const double> vector, int32_t n, int32_t step) {
  print_blocks(unit, vector, n, step, "(4X,10(I2,11X))", "(1X,10(ES10.3,3X))");
}

void vecprn3(const LineSink& unit, VecView<const double> vector, int32_t n, int32_t step) {
  print_blocks(unit, vector, n, step, "(4X,10(I2,11X))", "(2X,10(F7.3,6X))");
}

void matprn(const LineSink& unit, MatView<const double> a, int32_t m, int32_t n) {
  constexpr int32_t kColumnsPerBlock = 5;
  Values numbers;
  for (int32_t jlo = 1; jlo <= n; jlo += kColumnsPerBlock) {
    const int32_t jhi = std::min(jlo + kColumnsPerBlock - 1, n);
    numbers.clear();
    for (int32_t j = jlo; j <= jhi; ++j) numbers.emplace_back(int64_t{j});
    write_records(unit, "(6X,5(I7,7X))", numbers);
    print_rows(unit, a, m, jlo, jhi, "(1X,I3,2X,5(ES14.6))", true);
  }
}

void mat_print(
    const LineSink& unit, MatView<const double> a, int32_t m, int32_t n, std::string_view title) {
  unit(title.substr(0, title.find_last_not_of(' ') + 1));
  print_rows(unit, a, m, 1, n, "(2X,10(F7.3,6X))", false);
}

void print_array_2d(const LineSink& unit, MatView<const double> a, int32_t m, int32_t n) {
  print_rows(unit, a, m, 1, n, "(1X,10(ES10.3,3X))", false);
}

std::string f_date() { return f_date_at(std::time(nullptr)); }

std::string f_date_at(std::time_t t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  // localtime_r: the report may be written while other threads read the clock.
  if (localtime_r(&t, &tm) == nullptr) return std::string(30, ' ');
  std::string s = editfmt::format("(A3,1X,A3,1X,I2,1X,I2.2,':',I2.2,':',I2.2,1X,I4)",
                                  {std::string(kDays[tm.tm_wday % 7]),
                                   std::string(kMonths[tm.tm_mon % 12]),
                                   tm.tm_mday,
                                   tm.tm_hour,
                                   tm.tm_min,
                                   tm.tm_sec,
                                   tm.tm_year + 1900});
  s.resize(30, ' ');
  return s;
}

std::string current_date() {
  const sysclock::LocalTime t = sysclock::local_time();
  std::string s = editfmt::format("(I4.4,'-',I2.2,'-',I2.2,1X,I2.2,':',I2.2,':',I2.2,'.',I3.3)",
                                  {t.tm.tm_year + 1900,
                                   t.tm.tm_mon + 1,
                                   t.tm.tm_mday,
                                   t.tm.tm_hour,
                                   t.tm.tm_min,
                                   t.tm.tm_sec,
                                   t.ms});
  s.resize(30, ' ');
  return s;
}

}  // namespace nrutil
