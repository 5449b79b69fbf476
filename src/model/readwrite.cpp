#include "model/readwrite.hpp"

#include <ostream>

#include "common/globals.hpp"
#include "model/listread.hpp"
#include "model/units.hpp"
#include "numerics/editfmt.hpp"
#include "numerics/stringlib.hpp"

namespace readwrite {
namespace {

using stringlib::fixed;
using units::ReadStatus;

constexpr std::string_view kInputFatal = "INPUT DATA FILE - Fatal error!";

// Reads the next line as a len_line text (cut or blank-padded).
ReadStatus read_text(const units::ScopedUnit& file, std::string& line) {
  const ReadStatus rs = file.read_line(line);
  if (rs == ReadStatus::Ok) line = fixed(line, len_line);
  return rs;
}

std::string before_comment(const std::string& line) { return line.substr(0, line.find('!')); }

Status read_failure(ReadStatus rs) {
  switch (rs) {
    case ReadStatus::Error:
      return Status::ReadError;
    case ReadStatus::TooLong:
      return Status::LineTooLong;
    default:
      return Status::Ok;
  }
}

// Classifies one left-adjusted line of the row count: the block goes on, or ends with or
// without NEXT. Only the text before "!" can hold END or NEXT: a comment never ends a block.
enum class RowLine { Counts, EndsBlock, EndsAtNext };
RowLine classify_row_line(const std::string& line) {
  const std::string head = before_comment(line);
  if (line[0] == 'E') return RowLine::EndsBlock;
  if (stringlib::s_indexi(head, "END") > 0) return RowLine::EndsBlock;
  if (line[0] == 'N' || stringlib::s_eqi(line.substr(0, 4), "NEXT")) return RowLine::EndsAtNext;
  if (stringlib::s_indexi(head, "NEXT") > 0) return RowLine::EndsAtNext;
  if (stringlib::s_len_trim(line) == 0) return RowLine::EndsBlock;
  return RowLine::Counts;
}

Status model_line(std::string& file_name, std::string& line, std::string_view code) {
  stringlib::s_adjustl(file_name);
  const std::string name = stringlib::trim(file_name);
  units::ScopedUnit file(name, units::Mode::Read);
  if (!file.ok()) {
    int32_t unit = 0;
    units::get_unit(unit);
    const std::string unit_text = editfmt::format("(I8)", {int64_t{unit}});
    units::console() << "\nFile_DATA_READ - Fatal error #" << code << "!\n"
                     << "  Could not open the input file \"" << name << "\" on unit " << unit_text
                     << "\n";
    return Status::OpenFailed;
  }
  // The line is read whole: a model cut at len_line characters would be another formula.
  std::string text;
  ReadStatus rs = ReadStatus::Ok;
  for (int32_t i = 1; i <= max_model_line_reads; ++i) {
    rs = file.read_line(text);
    if (rs != ReadStatus::Ok) break;
    std::string probe = text;
    stringlib::s_tab_blank(probe);  // a line of TABs is as blank as one of blanks
    if (stringlib::s_len_trim(probe) > 0) break;
  }
  if (rs != ReadStatus::Ok) text.clear();
  stringlib::s_control_blank(text);
  stringlib::s_whitespace_blank(text);
  stringlib::s_left(text);
  if (stringlib::s_len_trim(text) > len_line) {
    line = stringlib::trim(text);
    return Status::ModelTooLong;
  }
  line = fixed(text, len_line);
  return read_failure(rs);
}

// Field count of line k.
Status col_count(int32_t k, int32_t& count, std::string_view file_name) {
  units::ScopedUnit file(stringlib::trim(file_name), units::Mode::Read);
  if (!file.ok()) {
    units::console() << kInputFatal << "\n";
    return Status::OpenFailed;
  }
  std::string line;
  for (int32_t i = 1; i <= k; ++i) {
    const ReadStatus rs = read_text(file, line);
    if (rs != ReadStatus::Ok) {
      count = 0;  // a missing line has no fields
      return read_failure(rs);
    }
  }
  s_col_count(line, count);
  return Status::Ok;
}

// Opens the file, passes over `skip` non-blank lines and hands the reader to read(), which
// reads the values and returns the status.
template <typename Read>
Status read_values(std::string_view file_name, int32_t skip, Read read) {
  units::ScopedUnit file(stringlib::trim(file_name), units::Mode::Read);
  if (!file.ok()) {
    units::console() << kInputFatal << "\n";
    return Status::OpenFailed;
  }
  listread::Reader reader(
      [&file](std::string& record) { return file.read_line(record) == ReadStatus::Ok; });
  for (int32_t k = 1; k <= skip; ++k) {
    if (reader.skip_record() != listread::Result::Ok) return read(reader, false);
  }
  return read(reader, true);
}

Status read_reals_from(int32_t skip,
                       VecView<double> values,
                       int32_t n,
                       std::string_view file_name) {
  if (n > values.size()) return Status::BadArgument;
  return read_values(file_name, skip, [&](listread::Reader& reader, bool header_read) {
    return header_read && reader.read_reals(values, n, false) == listread::Result::Ok
               ? Status::Ok
               : Status::ReadError;
  });
}

}  // namespace

Status a_row_count(std::string_view file_name, int32_t& count) {
  globals::bnext = 0;
  units::ScopedUnit file(stringlib::trim(file_name), units::Mode::Read);
  if (!file.ok()) return Status::OpenFailed;
  count = 0;
  std::string line;
  ReadStatus rs = ReadStatus::Ok;
  while ((rs = read_text(file, line)) == ReadStatus::Ok) {
    stringlib::s_tab_blank(line);
    stringlib::s_adjustl(line);
    const RowLine kind = classify_row_line(line);
    if (kind == RowLine::EndsAtNext) globals::bnext = 1;
    if (kind != RowLine::Counts) break;
    ++count;
  }
  if (rs != ReadStatus::Ok && rs != ReadStatus::End) return read_failure(rs);
  return count - header_lines > max_data_rows ? Status::TooManyRows : Status::Ok;
}

Status a_model_line(std::string& file_name, std::string& line) {
  return model_line(file_name, line, "3A");
}

Status a_function_line(std::string& file_name, std::string& line) {
  return model_line(file_name, line, "3B");
}

Status rparcols(int32_t& count, std::string_view file_name) {
  return col_count(2, count, file_name);
}
Status rlocols(int32_t& count, std::string_view file_name) {
  return col_count(3, count, file_name);
}
Status rhicols(int32_t& count, std::string_view file_name) {
  return col_count(4, count, file_name);
}
Status rmaskcols(int32_t& count, std::string_view file_name) {
  return col_count(5, count, file_name);
}
Status rxycols(int32_t& count, std::string_view file_name) {
  return col_count(6, count, file_name);
}

void s_col_count(std::string& line, int32_t& count) {
  // Step 1: TABs, control characters and other white space become blanks.
  stringlib::s_tab_blank(line);
  stringlib::s_control_blank(line);
  stringlib::s_whitespace_blank(line);
  // Step 2: a non-blank character first or after a blank starts a field; "N" or "!" stops.
  count = 0;
  char previous = ' ';
  for (const char c : line) {
    if (c == 'N' || c == '!') break;
    if (c != ' ' && previous == ' ') ++count;
    previous = c;
  }
}

Status rpar(VecView<double> values, int32_t n, std::string_view file_name, int32_t& ierr) {
  const Status status = read_reals_from(1, values, n, file_name);
  ierr = status == Status::Ok ? 0 : 1;
  return status;
}

Status rlo(VecView<double> values, int32_t n, std::string_view file_name) {
  return read_reals_from(2, values, n, file_name);
}

Status rhi(VecView<double> values, int32_t n, std::string_view file_name) {
  return read_reals_from(3, values, n, file_name);
}

Status rmask(VecView<int32_t> mask, int32_t n, std::string_view file_name) {
  if (n > mask.size()) return Status::BadArgument;
  const Status status = read_values(file_name, 4, [&](listread::Reader& reader, bool header_read) {
    return header_read && reader.read_ints(mask, n, false) == listread::Result::Ok
               ? Status::Ok
               : Status::ReadError;
  });
  if (status == Status::ReadError) {
    for (int32_t i = 1; i <= n; ++i) mask(i) = 0;  // unreadable: every parameter fixed
  }
  return status;
}

Status rxy(MatView<double> data,
           int32_t n,
           int32_t m,
           std::string_view file_name,
           int32_t& errline,
           int32_t& ierr) {
  errline = 0;
  ierr = 1;
  // The shared data arrays hold max_data_rows rows: a longer block is refused, not cut.
  if (n > max_data_rows) return Status::TooManyRows;
  if (n > data.rows() || m > data.cols()) return Status::BadArgument;
  const Status status =
      read_values(file_name, header_lines, [&](listread::Reader& reader, bool header_read) {
        if (!header_read) {
          errline = reader.record_number() + 1;
          return Status::ReadError;
        }
        for (int32_t i = 1; i <= n; ++i) {
          // Each row stands on its own line: a short row is an error there, never joined
          // with the next line.
          const listread::Result r = reader.read_reals(data.row(i), m, true);
          if (r != listread::Result::Ok) {
            errline = reader.record_number() + (r == listread::Result::End ? 1 : 0);
            return Status::ReadError;
          }
          if (reader.more_in_record()) {
            errline = reader.record_number();
            return Status::ExtraValues;
          }
        }
        return Status::Ok;
      });
  if (status == Status::Ok) ierr = 0;
  return status;
}

namespace {

std::string plural(int32_t k, const char* word) {
  return std::to_string(k) + " " + word + (k == 1 ? "" : "s");
}

// The first control character (other than TAB) before any "!"; 0 when there is none.
int32_t control_character(const std::string& text) {
  for (const char c : text) {
    if (c == '!') break;
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 && c != '\t') return u;
  }
  return 0;
}

// What keeps the values of a line from being read: a value that is no number of the kind, an
// empty one, or too few or too many of them.
std::string value_fault(const std::string& at,
                        const std::string& text,
                        int32_t want,
                        ValueKind kind) {
  bool given = false;
  listread::Reader reader([&](std::string& r) {
    if (given) return false;
    given = true;
    r = text.substr(0, text.find('!'));
    return true;
  });
  FVector<double> reals(want);
  FVector<int32_t> ints(want);
  const listread::Result r = kind == ValueKind::Real ? reader.read_reals(reals.view(), want, true)
                                                     : reader.read_ints(ints.view(), want, true);
  const std::string& token = reader.problem_token();
  double probe = 0.0;
  if (r == listread::Result::BadValue) {
    const bool real = stringlib::parse_real(token, probe);
    return at + ": \"" + token + "\" is not a " +
           (kind == ValueKind::Integer && real ? "whole number." : "number.");
  }
  if (r == listread::Result::Short && !token.empty()) {
    return at + ": \"" + token + "\" leaves a value empty.";
  }
  const int32_t held = listread::count_values(text);
  if (r != listread::Result::Ok || reader.more_in_record()) {
    return at + " holds " + plural(held, "value") + "; " + std::to_string(want) +
           (want == 1 ? " is" : " are") + " needed.";
  }
  return "";
}

}  // namespace

std::string line_fault(std::string_view file_name, int32_t line, int32_t want, ValueKind kind) {
  units::ScopedUnit file(stringlib::trim(file_name), units::Mode::Read);
  if (!file.ok() || line < 1) return "";
  const std::string at = "Line " + std::to_string(line);
  std::string text;
  for (int32_t l = 1; l <= line; ++l) {
    const ReadStatus rs = file.read_line(text);
    if (rs == ReadStatus::TooLong) {
      return l == line
                 ? at + " is longer than " + std::to_string(units::max_line_length) + " characters."
                 : "";
    }
    if (rs != ReadStatus::Ok) {
      return at + " is missing: the file ends at line " + std::to_string(l - 1) + ".";
    }
  }
  std::string probe = text;
  stringlib::s_tab_blank(probe);
  stringlib::s_adjustl(probe);
  if (stringlib::s_len_trim(probe) == 0) return at + " is blank.";
  if (want <= 0) {
    // The header lines must not end the block.
    const RowLine kind_of_line = classify_row_line(probe);
    if (kind_of_line == RowLine::Counts) return "";
    if (probe[0] == 'E' || probe[0] == 'N') {
      return at + " begins with \"" + probe.substr(0, 1) + "\", which ends the block.";
    }
    const std::string head = before_comment(probe);
    return at + " holds " + (stringlib::s_indexi(head, "END") > 0 ? "END" : "NEXT") +
           ", which ends the block.";
  }
  if (const int32_t code = control_character(text); code != 0) {
    return at + " holds a control character (code " + std::to_string(code) +
           "); values are separated by blanks, TABs or commas.";
  }
  return value_fault(at, text, want, kind);
}

}  // namespace readwrite
