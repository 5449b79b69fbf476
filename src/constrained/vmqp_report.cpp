// vmqp_module: the iteration report and the detailed trace of the method and of its
// quadratic-programme solver, written to console (standard output when null).
#include "constrained/vmqp_report.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

#include "constrained/vmqp_module.hpp"

namespace vmqp_module {
namespace report {

void put(std::string_view fmt, std::span<const editfmt::Value> values) {
  std::ostream& out = console != nullptr ? *console : std::cout;
  out << editfmt::format(fmt, values) << '\n';
}

void put(std::string_view fmt, std::initializer_list<editfmt::Value> values) {
  put(fmt, std::span<const editfmt::Value>(values.begin(), values.size()));
}

}  // namespace report

namespace {

const char* const kStars = "(1X,72('*'))";

// Value i of the list of `label`.
double list_value(int32_t label, int32_t i, VecView<const double> values, int32_t column) {
  switch (label) {
    case 1:
      return b(i, column);
    case 2:
      return delta(i);
    case 3:
      return ghat(i);
    case 4:
      return glf(i);
    case 5:
      return vlam(i);
    case 9:
      return cn(i, column);
    default:
      return values(i);
  }
}

}  // namespace

void colum3(int32_t label, int32_t count, VecView<const double> values, int32_t column) {
  if (count == 0) {
    report::put("(1X,A)", {"num=0 in Colum3"});
    return;
  }
  if (label < 1 || label > 9) return;
  std::string& fmt = colum3_formats[label - 1];
  for (int32_t first = 1; first <= count; first += 3) {
    const int32_t last = std::min(first + 2, count);
    fmt[1] = static_cast<char>('0' + (last - first + 1));
    std::vector<editfmt::Value> items;
    for (int32_t i = first; i <= last; ++i) {
      items.emplace_back(i);
      if (label == 1 || label == 9) items.emplace_back(column);
      items.emplace_back(list_value(label, i, values, column));
    }
    report::put(fmt, items);
  }
}

void vmaout(VecView<const double> c,
            double f,
            VecView<const double> g,
            int32_t m,
            int32_t n,
            VecView<const double> x,
            int32_t level) {
  report::put(kStars, {});
  report::put(
      "(/5X, 'ITERATIONS =', I5, 5X,                                     'NUMBER OF CALLS TO "
      "VMQP =', I5)",
      {iter, nvma});
  report::put("(/1X,' THE VECTOR OF CONTROL VARIABLE VALUES ARE:'/)", {});
  colum3(6, n, x, 0);
  if (m > 0) {
    report::put("(/1X,' THE VECTOR OF CONSTRAINT VALUES ARE:'/)", {});
    colum3(7, m, c, 0);
  }
  report::put("(/\" OBJECTIVE FUNCTION VALUE IS: \", ES16.7)", {f});
  if (level == 2) {
    report::put("(/2X,'  THE VECTOR OF GRADIENT VALUES ARE:'/)", {});
    colum3(8, n, g, 0);
    report::put("(/2X,'  THE JACOBIAN MATRIX IS:'/)", {});
    for (int32_t j = 1; j <= m; ++j) colum3(9, n, {}, j);
  }
  report::put(kStars, {});
}

void bugaid(int32_t what, int32_t count, double value) {
  switch (what) {
    case 1:
      report::put("(' DFLSA =',1PE16.7)", {value});
      break;
    case 2:
      for (int32_t j = 1; j <= count; ++j) colum3(1, count, {}, j);
      break;
    case 3:
      report::put("(' FLS =',1PE16.7 )", {value});
      break;
    case 4:
      report::put("(' alpha =',1PE16.7 )", {value});
      break;
    case 5:
      colum3(2, count, {}, 0);
      break;
    case 6:
      report::put("(' LAMBDA MAX =',1PE16.7 )", {value});
      break;
    case 7:
      colum3(3, count, {}, 0);
      break;
    case 8:
      colum3(4, count, {}, 0);
      break;
    case 9:
      colum3(5, count, {}, 0);
      break;
    case 10:
      report::put("(' GLFMAG =',1PE16.7 )", {value});
      break;
    default:
      break;
  }
}

}  // namespace vmqp_module
