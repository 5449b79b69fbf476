// Older readers and writers of the data files (see readwrite.hpp). None of them ends the
// program: each writes its message to standard output and returns a Status. Every array index
// is checked against the array handed in before anything is read into it.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <vector>

#include "common/globals.hpp"
#include "files/units.hpp"
#include "model/listread.hpp"
#include "model/readwrite.hpp"
#include "numerics/editfmt.hpp"
#include "numerics/farray.hpp"
#include "numerics/stringlib.hpp"

namespace readwrite {
namespace {

using units::ReadStatus;

constexpr int32_t kMaxOutputLines = 4999;  // lines read_data_ouput_file keeps
constexpr int32_t kOutputLineLen = 220;    // their declared length
constexpr int32_t kMaxCopiedLines = 1000;  // lines comment_out_first_line copies
constexpr int32_t kOldNameLen = 60;        // declared length of check_xydata's file name

// "\n<title>\n  Could not open the <what> file "<name>" on unit <unit, I8>": the unit shown is
// the one the open would have used.
void report_open_failure(std::string_view title, std::string_view what, std::string_view name) {
  int32_t unit = 0;
  units::get_unit(unit);
  units::console() << '\n'
                   << title << '\n'
                   << editfmt::format("(A,A,A,A,A,I8)",
                                      {std::string("  Could not open the "),
                                       std::string(what),
                                       std::string(" file \""),
                                       std::string(name),
                                       std::string("\" on unit "),
                                       int64_t{unit}})
                   << '\n';
}

// The line naming where a value could not be read.
void report_bad_line(std::string_view name, int32_t line) {
  units::console() << editfmt::format("(A,I0,A,A,A)",
                                      {std::string("  Error while reading line "),
                                       int64_t{line},
                                       std::string(" of the file \""),
                                       std::string(name),
                                       std::string("\".")})
                   << '\n';
}

// A reader over the lines of an open file.
listread::Reader file_reader(const units::ScopedUnit& file) {
  return listread::Reader(
      [&file](std::string& record) { return file.read_line(record) == ReadStatus::Ok; });
}

// The single-precision value of v; false beyond the float range.
bool to_float(double v, float& f) {
  if (std::fabs(v) > FLT_MAX) return false;
  f = static_cast<float>(v);
  return true;
}

// The line a failed read stopped on: the reader's current record, or the next one when the
// file ended; `before` lines were read before the reader took over.
int32_t failed_line(const listread::Reader& reader, listread::Result r, int32_t before = 0) {
  return before + reader.record_number() + (r == listread::Result::End ? 1 : 0);
}

// Reads count reals in free format as floats into out(1..count); errline gets the line of a
// failure.
bool read_floats(
    listread::Reader& reader, VecView<float> out, int32_t count, int32_t before, int32_t& errline) {
  FVector<double> v(std::max(count, 1));
  const listread::Result r = reader.read_reals(v.view(), count, false);
  bool ok = r == listread::Result::Ok;
  for (int32_t j = 1; ok && j <= count; ++j) ok = to_float(v(j), out(j));
  if (!ok) errline = failed_line(reader, r, before);
  return ok;
}

// The status of a loop over lines that stopped on rs: a line too long to read is reported, the
// end of the file is not.
Status lines_status(ReadStatus rs) {
  if (rs == ReadStatus::TooLong) return Status::LineTooLong;
  return rs == ReadStatus::Error ? Status::ReadError : Status::Ok;
}

bool is_blank_line(std::string line) {
  stringlib::s_tab_blank(line);
  return stringlib::s_len_trim(line) == 0;
}

bool first_is_one_of(const std::string& line, std::string_view chars) {
  return !line.empty() && chars.find(line[0]) != std::string_view::npos;
}

// Fields separated by blanks, TABs or commas, up to a "!".
int32_t field_count(std::string_view line) {
  int32_t count = 0;
  bool in_field = false;
  for (const char c : line) {
    if (c == '!') break;
    const bool separator = c == ' ' || c == '\t' || c == ',' || c == '\r';
    if (!separator && !in_field) ++count;
    in_field = !separator;
  }
  return count;
}

// The model text of an older layout's first line: between the first two double quotes, or
// without an opening quote the first word (as a free-format read of a text takes it).
std::string quoted_model(std::string line) {
  stringlib::s_adjustl(line);
  if (!line.empty() && line[0] == '"') {
    const size_t end = line.find('"', 1);
    return line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  return line.substr(0, line.find_first_of(" \t,"));
}

// Reads the counts line of an older layout (line 2): np, nx and n.
listread::Result read_counts(listread::Reader& reader, int32_t& np, int32_t& nx, int32_t& n) {
  FArray<int32_t, 3> c;
  const listread::Result r = reader.read_ints(c.view(), 3, true);
  if (r == listread::Result::Ok) {
    np = c(1);
    nx = c(2);
    n = c(3);
  }
  return r;
}

// "<title>" and "<label><value, I8>" lines.
void write_labelled(std::string_view label, int32_t value) {
  units::console() << editfmt::format("(A,I8)", {std::string(label), int64_t{value}}) << '\n';
}

}  // namespace

Status file_row_count(std::string_view file_name, int32_t& count) {
  const std::string name = stringlib::trim(file_name);
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    report_open_failure("FILE_ROW_COUNT - Fatal error #6!", "input", name);
    count = -1;
    return Status::OpenFailed;
  }
  count = 0;
  std::string line;
  ReadStatus rs;
  while ((rs = file.read_line(line)) == ReadStatus::Ok) {
    if (first_is_one_of(line, "'\"")) break;
    if (is_blank_line(line) || first_is_one_of(line, "!#")) continue;
    ++count;
  }
  if (rs == ReadStatus::TooLong || rs == ReadStatus::Error) count = -1;  // not all lines counted
  return lines_status(rs);
}

Status file_column_count(std::string_view file_name, int32_t& count, int32_t& ierr) {
  const std::string name = stringlib::trim(file_name);
  ierr = 0;
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    report_open_failure("FILE_COLUMN_COUNT - Fatal error #5!", "input", name);
    count = -1;
    ierr = 1;
    return Status::OpenFailed;
  }
  std::string line, first_nonblank;
  bool found = false;
  ReadStatus rs;
  while ((rs = file.read_line(line)) == ReadStatus::Ok) {
    if (is_blank_line(line)) continue;
    if (first_nonblank.empty()) first_nonblank = line;
    if (!first_is_one_of(line, "!#'\"")) {
      found = true;
      break;
    }
  }
  if (rs == ReadStatus::TooLong || rs == ReadStatus::Error) {
    count = -1;
    return lines_status(rs);
  }
  if (!found && first_nonblank.empty()) {
    units::console() << "\nFILE_COLUMN_COUNT - Warning!\n"
                     << "  The file does not seem to contain any data.\n";
    count = -1;
    return Status::ReadError;
  }
  count = field_count(found ? line : first_nonblank);
  return Status::Ok;
}

Status rcdata(int32_t& rows, int32_t& cols, std::string_view file_name) {
  constexpr std::string_view kStop = "READ ROW,COLUMN DATA ERROR!";
  const std::string name = stringlib::trim(file_name);
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    units::console() << kStop << '\n';
    return Status::OpenFailed;
  }
  listread::Reader reader = file_reader(file);
  FArray<int32_t, 2> c;
  const listread::Result r = reader.read_ints(c.view(), 2, true);
  if (r != listread::Result::Ok) {
    units::console() << kStop << '\n';
    report_bad_line(name, failed_line(reader, r));
    return Status::ReadError;
  }
  rows = c(1);
  cols = c(2);
  return Status::Ok;
}

Status rdata(MatView<double> data, int32_t rows, int32_t cols, std::string_view file_name) {
  constexpr std::string_view kStop = "READ ROW, COLUMN, AND DATA ERROR!";
  if (rows > data.rows() || cols > data.cols()) return Status::BadArgument;
  const std::string name = stringlib::trim(file_name);
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    units::console() << "INPUT DATA FILE - Fatal error!\n" << kStop << '\n';
    return Status::OpenFailed;
  }
  listread::Reader reader = file_reader(file);
  for (int32_t i = 1; i <= rows; ++i) {
    const listread::Result r = reader.read_reals(data.row(i), cols, false);
    if (r != listread::Result::Ok) {
      units::console() << kStop << '\n';
      report_bad_line(name, failed_line(reader, r));
      return Status::ReadError;
    }
  }
  return Status::Ok;
}

Status wdata(MatView<const double> data,
             int32_t rows,
             int32_t cols,
             std::string_view title,
             std::string_view stem) {
  if (rows > data.rows() || cols > data.cols()) return Status::BadArgument;
  const std::string out_name = stringlib::trim(stem) + ".txt";
  units::ScopedUnit file(out_name, units::Mode::Write);
  if (!file.ok()) {
    units::console() << "OUTPUT DATA FILE - Fatal error!\nWRITE DATA ERROR!\n";
    return Status::OpenFailed;
  }
  bool ok = units::write_line(file.unit(), "");
  std::string head = " Write Data ";
  head += stringlib::trim(title);
  head += " to a file ";
  head += out_name;
  ok = ok && units::write_line(file.unit(), head);
  std::vector<editfmt::Value> row;
  for (int32_t i = 1; ok && i <= rows; ++i) {
    row.clear();
    for (int32_t j = 1; j <= cols; ++j) row.emplace_back(data(i, j));
    ok = units::write_line(file.unit(), editfmt::format("(1000(3X,ES12.5))", row));
  }
  ok = ok && units::flush(file.unit());
  return ok ? Status::Ok : Status::WriteFailed;
}

Status check_xydata(std::string_view file_name, int32_t& np, int32_t& nx, int32_t& n) {
  const std::string name = stringlib::trim(stringlib::fixed(file_name, kOldNameLen));
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    units::console() << "INPUT DATA FILE *.IN - Fatal error #0!\n";
    return Status::OpenFailed;
  }
  listread::Reader reader = file_reader(file);
  // Line 1, the model, is passed over; line 2 holds the counts.
  listread::Result r = reader.skip_record();
  if (r == listread::Result::Ok) r = read_counts(reader, np, nx, n);
  if (r != listread::Result::Ok) {
    units::console() << "DATA INPUT - error!\n";
    report_bad_line(name, failed_line(reader, r));
    return Status::ReadError;
  }
  FArray<double, 3> v;  // lower bound, initial value, upper bound
  for (int32_t k = 1; k <= np; ++k) {
    r = reader.read_reals(v.view(), 3, true);
    if (r == listread::Result::End) {
      units::console() << "DATA INPUT - error!\n"
                       << "  Error while reading lines of parameter data.\n";
      write_labelled("  Number of parameter lines expected = ", np);
      write_labelled("  Number of parameter lines read =     ", k - 1);
      return Status::ReadError;
    }
    if (r != listread::Result::Ok || !(v(1) <= v(2) && v(2) <= v(3))) {
      units::console() << "DATA INPUT ERROR, LOWER BOUND, PARAMETER, UPPER BOUND NOT VALID OR "
                          "DOESN'T EXIST.\n";
      report_bad_line(name, reader.record_number());
      units::console() << "  Each parameter line holds three numbers: lower bound, initial value\n"
                       << "  and upper bound, with lower bound <= initial value <= upper bound.\n";
      return Status::ReadError;
    }
  }
  return Status::Ok;
}

Status read_xydata(std::string_view file_name,
                   std::string& model,
                   int32_t& np,
                   int32_t& nx,
                   int32_t& n,
                   VecView<float> lo,
                   VecView<float> p,
                   VecView<float> hi,
                   MatView<float> x,
                   VecView<float> y,
                   int32_t& errline) {
  errline = 0;
  const std::string name = stringlib::trim(file_name);
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    units::console() << "INPUT DATA FILE *.IN - Fatal error #0!\n";
    return Status::OpenFailed;
  }
  std::string first;
  if (file.read_line(first) != ReadStatus::Ok) first.clear();
  model = quoted_model(first);
  listread::Reader reader = file_reader(file);
  const listread::Result r = read_counts(reader, np, nx, n);
  if (r != listread::Result::Ok) {
    errline = failed_line(reader, r, 1);
    units::console() << "DATA INPUT - error!\n";
    report_bad_line(name, errline);
    return Status::ReadError;
  }
  // Counts beyond the caller's arrays: nothing is read into them.
  const auto exceeded = [](std::string_view what, long limit) {
    units::console() << editfmt::format("(A,I0)",
                                        {"PROGRAM ABORTED, " + std::string(what), int64_t{limit}})
                     << '\n';
  };
  const long row_limit = std::min(x.rows(), y.size());
  const long param_limit = std::min({lo.size(), p.size(), hi.size()});
  if (n > row_limit || n < 0) {
    exceeded("X,Y DATA NUMBER EXCEEDED ", row_limit);
    return Status::TooManyRows;
  }
  if (nx > x.cols() || nx < 0) {
    exceeded("X DATA COLUMNS EXCEEDED ", x.cols());
    return Status::BadArgument;
  }
  if (np > param_limit || np < 0) {
    exceeded("PARAMETER NUMBER EXCEEDED ", param_limit);
    return Status::BadArgument;
  }
  FArray<float, 3> v;
  std::vector<float> row(static_cast<size_t>(nx) + 1);
  bool ok = true;
  for (int32_t k = 1; ok && k <= np; ++k) {
    ok = read_floats(reader, v.view(), 3, 1, errline);
    if (ok) lo(k) = v(1), p(k) = v(2), hi(k) = v(3);
  }
  for (int32_t i = 1; ok && i <= n; ++i) {
    ok = read_floats(reader, VecView<float>(row.data(), nx + 1), nx + 1, 1, errline);
    for (int32_t j = 1; ok && j <= nx; ++j) x(i, j) = row[static_cast<size_t>(j - 1)];
    if (ok) y(i) = row[static_cast<size_t>(nx)];
  }
  if (!ok) {
    units::console() << "DATA INPUT - error!\n";
    report_bad_line(name, errline);
    return Status::ReadError;
  }
  return Status::Ok;
}

Status data_row_count(int32_t unit, std::string_view file_name, int32_t& count) {
  if (units::open(unit, stringlib::trim(file_name), units::Mode::Read) != 0) {
    return Status::OpenFailed;
  }
  count = 0;
  std::string line;
  ReadStatus rs;
  while ((rs = units::read_line(unit, line)) == ReadStatus::Ok) {
    if (is_blank_line(line) || first_is_one_of(line, "!#'\"")) break;
    ++count;
  }
  units::close(unit);
  return lines_status(rs);
}

Status read_data_ouput_file(VecView<std::string> lines,
                            int32_t& count,
                            std::string_view file_name) {
  globals::bnext = 0;
  count = 0;
  const std::string name = stringlib::trim(file_name);
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    report_open_failure("File_DATA_READ - Fatal error #1!", "input", name);
    return Status::OpenFailed;
  }
  const auto room = static_cast<int32_t>(std::min<long>(kMaxOutputLines, lines.size()));
  std::string line;
  ReadStatus rs = ReadStatus::Ok;
  while (count < room && (rs = file.read_line(line)) == ReadStatus::Ok) {
    line = stringlib::fixed(line, kOutputLineLen);
    if (line[0] == '#') line[0] = '!';
    const std::string head = line.substr(0, line.find('!'));
    if (stringlib::s_indexi(head, "END") > 0) break;
    if (stringlib::s_indexi(head, "NEXT") > 0) {
      globals::bnext = 1;
      break;
    }
    lines(++count) = line;
  }
  return lines_status(rs);
}

Status comment_out_first_line(std::string_view file_name) {
  const std::string name = stringlib::trim(file_name);
  const std::string out_name =
      (name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string()) + ".txt";
  std::vector<std::string> copy;
  {
    units::ScopedUnit in(name, units::Mode::Read);
    if (!in.ok()) {
      report_open_failure("File_DATA_READ - Fatal error #3C!", "input", name);
      return Status::OpenFailed;
    }
    std::string line;
    bool commented = false;
    ReadStatus rs = ReadStatus::Ok;
    while (static_cast<int32_t>(copy.size()) < kMaxCopiedLines &&
           (rs = in.read_line(line)) == ReadStatus::Ok) {
      stringlib::s_control_blank(line);
      stringlib::s_adjustl(line);
      line = stringlib::trim(line);
      if (!commented && !line.empty()) {
        if (line[0] != '#') line = "# " + line;
        commented = true;
      }
      copy.push_back(line);
    }
    // A copy with a line cut short or missing is no copy: nothing is written.
    if (rs == ReadStatus::TooLong || rs == ReadStatus::Error) return lines_status(rs);
  }
  // Writing over the input would lose every line beyond those copied.
  std::error_code ec;
  if (std::filesystem::equivalent(units::resolve(out_name), units::resolve(name), ec)) {
    report_open_failure("File_DATA_WRITE - Fatal error #2!", "output", out_name);
    return Status::OpenFailed;
  }
  units::ScopedUnit out(out_name, units::Mode::Write);
  if (!out.ok()) {
    report_open_failure("File_DATA_WRITE - Fatal error #2!", "output", out_name);
    return Status::OpenFailed;
  }
  bool ok = true;
  for (const std::string& line : copy) ok = ok && units::write_line(out.unit(), line);
  ok = ok && units::flush(out.unit());
  return ok ? Status::Ok : Status::WriteFailed;
}

Status r4mat_data_read(MatView<float> table, int32_t m, int32_t n, std::string_view file_name) {
  if (m > table.cols() || n > table.rows()) return Status::BadArgument;
  const std::string name = stringlib::trim(file_name);
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    report_open_failure("R4MAT_DATA_READ - Fatal error #4!", "input", name);
    return Status::OpenFailed;
  }
  FVector<double> v(std::max(m, 1));
  FVector<float> f(std::max(m, 1));
  std::string line;
  int32_t j = 0;
  while (j < n) {
    if (file.read_line(line) != ReadStatus::Ok) {
      units::console() << "\nR4MAT_DATA_READ - Fatal error #5!\n"
                       << "  Error while reading lines of data.\n";
      write_labelled("  Number of values expected per line M = ", m);
      write_labelled("  Number of data lines read, J =         ", j);
      write_labelled("  Number of data lines needed, N =       ", n);
      return Status::ReadError;
    }
    if (is_blank_line(line) || first_is_one_of(line, "#")) continue;
    if (listread::read_record_reals(line, v.view(), m) != listread::Result::Ok) continue;
    bool ok = true;
    for (int32_t k = 1; ok && k <= m; ++k) ok = to_float(v(k), f(k));
    if (!ok) continue;
    ++j;
    for (int32_t k = 1; k <= m; ++k) table(j, k) = f(k);
  }
  return Status::Ok;
}

Status r4mat_header_read(std::string_view file_name, int32_t& m, int32_t& n) {
  int32_t ierr = 0;
  file_column_count(file_name, m, ierr);
  if (m <= -1) {
    units::console() << "\nDATA FILE READ - Fatal error #7!\n"
                     << "  The number of data columns could not be counted.\n";
    return Status::ReadError;
  }
  file_row_count(file_name, n);
  if (n <= -1) {
    units::console() << "\nDATA FILE READ - Fatal error #8!\n"
                     << "  The number of data rows could not be counted.\n";
    return Status::ReadError;
  }
  return Status::Ok;
}

}  // namespace readwrite
