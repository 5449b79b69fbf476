#include "model/checkdata.hpp"

#include <algorithm>
#include <limits>
#include <ostream>

#include "files/units.hpp"
#include "model/listread.hpp"
#include "numerics/farray.hpp"
#include "numerics/stringlib.hpp"

namespace checkdata {
namespace {

using readwrite::Status;
using units::ReadStatus;

enum class LineCheck { Passes, Fails, EndsCheck };

bool separates(char c) { return c == ' ' || c == ',' || c == '\t'; }

// Reads the next line as the checks see it: 128 characters, left-adjusted, TABs blanked. A
// number that column 128 cuts in two is kept whole: its first part alone may be no number
// ("1.5E" of "1.5E-12") or another one.
ReadStatus read_check_line(const units::ScopedUnit& file, std::string& line) {
  const ReadStatus rs = file.read_line(line);
  if (rs != ReadStatus::Ok) return rs;
  size_t end = len_check_line;
  while (end < line.size() && !separates(line[end - 1]) && !separates(line[end])) ++end;
  line = stringlib::fixed(line, static_cast<int32_t>(end));
  stringlib::s_adjustl(line);
  stringlib::s_tab_blank(line);
  return rs;
}

void upper_case(std::string& line) {
  for (char& c : line) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

// The checked line with a comment blanked to its end.
std::string without_comment(std::string line) {
  const size_t bang = line.find('!');
  if (bang != std::string::npos) std::fill(line.begin() + static_cast<long>(bang), line.end(), ' ');
  return line;
}

// The fields of a checked line without its comment, by the field scan of the line, a blank and
// a comma.
int32_t fields_of(const std::string& line) { return field_scan(line + " ,"); }

// Reads count values of a checked line without its comment, all on that one record.
bool read_record(const std::string& line, int32_t count, VecView<double> values) {
  return listread::read_record_reals(line, values, count) == listread::Result::Ok;
}

// Reads the values of one upper-cased line: at most `cap` of them when cap is positive.
bool values_read(std::string line, int32_t cap) {
  line = without_comment(std::move(line));
  int32_t count = fields_of(line);
  if (cap > 0) count = std::min(count, cap);
  if (count == 0) return true;
  FVector<double> values(count);
  return read_record(line, count, values.view());
}

// Opens the file and runs check(L, line) on lines 1..last until it returns other than
// Passes; the end of the file ends the checks without error.
template <typename Check>
Status check_lines(
    std::string_view file_name, int32_t last, int32_t& errline, int32_t& ierr, Check check) {
  errline = 0;
  ierr = 0;
  units::ScopedUnit file(file_name, units::Mode::Read);
  if (!file.ok()) {
    units::console() << "INPUT DATA FILE - Fatal error!\n";
    ierr = 1;
    return Status::OpenFailed;
  }
  std::string line;
  for (int32_t l = 1; l <= last; ++l) {
    const ReadStatus rs = read_check_line(file, line);
    if (rs == ReadStatus::End) return Status::Ok;
    // A line that cannot be read, or is too long to read, fails where it stands.
    const LineCheck result = rs != ReadStatus::Ok ? LineCheck::Fails : check(l, line);
    if (result == LineCheck::EndsCheck) return Status::Ok;
    if (result == LineCheck::Fails) {
      errline = l;
      ierr = 1;
      return Status::ReadError;
    }
  }
  return Status::Ok;
}

}  // namespace

int32_t field_scan(std::string_view text) {
  constexpr int32_t kLastStart = len_check_line - 1;  // no field starts at column 128
  const auto at = [&text](int32_t j) {
    return j >= 1 && j <= static_cast<int32_t>(text.size()) ? text[j - 1] : ' ';
  };
  int32_t count = 0;
  int32_t j = 1;
  for (int32_t step = 1; step <= len_check_line && j < len_check_line; ++step) {
    const char c = at(j);
    if (c == ' ') {
      ++j;
    } else if (c == ',') {
      ++count;
      ++j;
    } else {
      ++count;
      int32_t next = j + 1;
      while (next <= static_cast<int32_t>(text.size()) && at(next) != ' ' && at(next) != ',') {
        ++next;
      }
      j = next + 1;
      if (j > kLastStart) break;
    }
  }
  return count;
}

Status checkparameterdata(std::string_view file_name, int32_t n, int32_t& errline, int32_t& ierr) {
  return check_lines(file_name, 4, errline, ierr, [n](int32_t l, std::string& line) {
    if (l == 1) return LineCheck::Passes;  // the model line
    upper_case(line);
    return values_read(line, n) ? LineCheck::Passes : LineCheck::Fails;
  });
}

Status checkparsestr2real(std::string_view file_name, int32_t m, int32_t& errline, int32_t& ierr) {
  return check_lines(
      file_name, last_checked_line, errline, ierr, [m](int32_t l, std::string& line) {
        if (l <= readwrite::header_lines) return LineCheck::Passes;
        upper_case(line);
        // Only the text before "!" can end the block: a comment never does.
        const std::string head = line.substr(0, line.find('!'));
        if (head.find("END") != std::string::npos || head.find("NEXT") != std::string::npos) {
          return LineCheck::EndsCheck;
        }
        return values_read(line, m) ? LineCheck::Passes : LineCheck::Fails;
      });
}

void tab2blank(std::string& line) { stringlib::s_tab_blank(line); }

Status parsestr2real(std::string_view file_name,
                     int32_t& rows,
                     int32_t m,
                     int32_t skip,
                     MatView<double> data,
                     int32_t& errline,
                     int32_t& ierr) {
  constexpr int32_t kWorkRows = 1000;  // rows of the work matrix
  const int32_t wanted = rows;
  rows = 0;
  // A row of more values than the caller's matrix has columns would be written past it.
  if (m < 1 || m > data.cols()) {
    errline = 0;
    ierr = 1;
    return Status::BadArgument;
  }
  FMatrixD<double> work(kWorkRows, m);
  int32_t read = 0;
  // No line limit of its own: blank lines may stand between any number of rows.
  constexpr int32_t kAnyLine = std::numeric_limits<int32_t>::max() - 1;
  const Status status =
      check_lines(file_name, kAnyLine, errline, ierr, [&](int32_t l, std::string& line) {
        if (l <= skip) return LineCheck::Passes;
        upper_case(line);
        const std::string head = line.substr(0, line.find('!'));
        if (head.find("END") != std::string::npos || head.find("NEXT") != std::string::npos) {
          return LineCheck::EndsCheck;
        }
        const std::string text = without_comment(line);
        const int32_t fields = fields_of(text);
        if (fields == 0) return LineCheck::Passes;  // a blank or comment line holds no row
        if (fields < m || !read_record(text, m, work.view().row(read + 1))) {
          return LineCheck::Fails;
        }
        return ++read < kWorkRows ? LineCheck::Passes : LineCheck::EndsCheck;
      });
  // The rows read before any failure, as many as the caller wants and its matrix holds.
  rows = std::min({read, std::max(wanted, 0), static_cast<int32_t>(data.rows())});
  for (int32_t i = 1; i <= rows; ++i) {
    for (int32_t j = 1; j <= m; ++j) data(i, j) = work(i, j);
  }
  return status;
}

}  // namespace checkdata
