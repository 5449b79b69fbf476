#include "model/readwrite.hpp"

#include <algorithm>
#include <optional>
#include <vector>
#include <ostream>

#include "common/globals.hpp"
#include "files/units.hpp"
#include "model/listread.hpp"
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

// Reads up to the model line, the first line that is not blank (TABs counting as blanks) among
// the first max_model_line_reads lines, or the last of them, into text; number is its line.
ReadStatus first_model_line(const units::ScopedUnit& file, std::string& text, int32_t& number) {
  ReadStatus rs = ReadStatus::Ok;
  for (number = 1; number <= max_model_line_reads; ++number) {
    rs = file.read_line(text);
    if (rs != ReadStatus::Ok) break;
    std::string probe = text;
    stringlib::s_tab_blank(probe);  // a line of TABs is as blank as one of blanks
    if (stringlib::s_len_trim(probe) > 0) break;
  }
  number = std::min(number, max_model_line_reads);
  return rs;
}

Status model_line(std::string_view name, std::string& line, std::string_view code) {
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
  int32_t number = 0;
  const ReadStatus rs = first_model_line(file, text, number);
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
  units::ScopedUnit file(file_name, units::Mode::Read);
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
  units::ScopedUnit file(file_name, units::Mode::Read);
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
  units::ScopedUnit file(file_name, units::Mode::Read);
  if (!file.ok()) return Status::OpenFailed;
  count = 0;
  std::string raw;
  ReadStatus rs = ReadStatus::Ok;
  while ((rs = file.read_line(raw)) == ReadStatus::Ok) {
    std::string line = fixed(raw, len_line);
    stringlib::s_tab_blank(line);
    stringlib::s_adjustl(line);
    const RowLine kind = classify_row_line(line);
    if (kind == RowLine::EndsAtNext) globals::bnext = 1;
    if (kind != RowLine::Counts) break;
    // A NUL is never text: the file is UTF-16 or binary, and with its NULs blanked (as the
    // model line and the column counters blank them) it would be read as other text.
    if (raw.find('\0') != std::string::npos) return Status::ReadError;
    ++count;
  }
  if (rs != ReadStatus::Ok && rs != ReadStatus::End) return read_failure(rs);
  return count - header_lines > max_data_rows ? Status::TooManyRows : Status::Ok;
}

Status a_model_line(std::string_view file_name, std::string& line) {
  return model_line(file_name, line, "3A");
}

Status a_function_line(std::string_view file_name, std::string& line) {
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

std::string rxy_text(std::string_view file_name, int32_t i, int32_t j) {
  std::vector<std::string> texts;
  const Status status =
      read_values(file_name, header_lines, [&](listread::Reader& reader, bool header_read) {
        if (!header_read) return Status::ReadError;
        for (int32_t k = 1; k < i; ++k) {
          if (reader.skip_record() != listread::Result::Ok) return Status::ReadError;
        }
        return reader.read_texts(texts, j, true) == listread::Result::Ok ? Status::Ok
                                                                          : Status::ReadError;
      });
  return status == Status::Ok && !texts.empty() ? texts.back() : "";
}

namespace {

using stringlib::CharKind;
using stringlib::LineChar;
using stringlib::next_char;
using stringlib::visible;

std::string plural(int32_t k, const char* word) {
  return std::to_string(k) + " " + word + (k == 1 ? "" : "s");
}

// Most bytes of a line a refusal quotes, and how many of them stand before the character it
// names when the line is cut: enough to recognise the place in the file.
constexpr size_t kQuoteBytes = 60;
constexpr size_t kQuoteLead = 20;

// The line as a refusal quotes it: trimmed of blanks and TABs, at most kQuoteBytes bytes of it
// around byte `at` (cuts marked "..."), made visible.
std::string quoted_line(std::string_view text, size_t at) {
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  if (first == std::string_view::npos) return "\"\"";
  text = text.substr(first, last - first + 1);
  at = at > first ? at - first : 0;
  size_t begin = 0, end = text.size();
  if (text.size() > kQuoteBytes) {
    begin = std::min(at > kQuoteLead ? at - kQuoteLead : 0, text.size() - kQuoteBytes);
    end = begin + kQuoteBytes;
    // Cut between characters, not inside one.
    const auto continuation = [&text](size_t k) {
      return (static_cast<unsigned char>(text[k]) & 0xC0) == 0x80;
    };
    for (int32_t k = 0; k < 3 && begin > 0 && begin < at && continuation(begin); ++k) ++begin;
    for (int32_t k = 0; k < 3 && end < text.size() && continuation(end); ++k) --end;
  }
  return "\"" + std::string(begin > 0 ? "..." : "") + visible(text.substr(begin, end - begin)) +
         (end < text.size() ? "..." : "") + "\"";
}

// What a line is scanned for: a line of values (before any "!": a comment may hold anything),
// any line of the block (all of it), or the model line (all of it, and ASCII alone: the
// formula's names, numbers and operators are ASCII, and a character read as a blank would
// join its neighbours into another formula).
enum class Scan { Values, Line, Formula };

// The UTF-8 byte order mark an editor may write before the first line: not part of the text.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The sentences naming the first character of `text` that `scan` refuses; empty when there is
// none.
std::string character_sentence(const std::string& at, std::string_view text, Scan scan) {
  const std::string_view scanned = scan == Scan::Values ? text.substr(0, text.find('!')) : text;
  for (size_t i = 0; i < scanned.size();) {
    const size_t start = i;
    const LineChar c = next_char(scanned, i);
    const char* what = c.kind == CharKind::Control             ? "a control character"
                       : c.kind == CharKind::NotUtf8           ? "a byte that is not UTF-8 text"
                       : scan == Scan::Formula && c.code > 127 ? "a character that no formula holds"
                                                               : nullptr;
    if (what == nullptr) continue;
    return at + " holds " + what + " (code " + std::to_string(c.code) + ")" +
           (scan == Scan::Values ? "; values are separated by blanks, TABs or commas." : ".") +
           "\r\n" + at + " reads " + quoted_line(text, start) + ".";
  }
  return "";
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

// Reads line `line` of the file into text: "" when it is there, else the sentence saying why
// not; nullopt when the file cannot be opened or a line before it cannot be read.
std::optional<std::string> read_line_at(std::string_view file_name,
                                        int32_t line,
                                        std::string& text) {
  units::ScopedUnit file(file_name, units::Mode::Read);
  if (!file.ok() || line < 1) return std::nullopt;
  const std::string at = "Line " + std::to_string(line);
  for (int32_t l = 1; l <= line; ++l) {
    const ReadStatus rs = file.read_line(text);
    if (rs == ReadStatus::TooLong) {
      if (l < line) return std::nullopt;
      return at + " is longer than " + std::to_string(units::max_line_length) + " characters.";
    }
    if (rs != ReadStatus::Ok) {
      return at + " is missing: the file ends at line " + std::to_string(l - 1) + ".";
    }
  }
  return "";
}

}  // namespace

std::string character_fault(std::string_view file_name, int32_t line) {
  std::string text;
  const std::optional<std::string> why_not = read_line_at(file_name, line, text);
  if (!why_not || !why_not->empty()) return "";
  return character_sentence("Line " + std::to_string(line), text, Scan::Values);
}

std::string model_character_fault(std::string_view file_name) {
  units::ScopedUnit file(file_name, units::Mode::Read);
  if (!file.ok()) return "";
  std::string text;
  int32_t number = 0;
  if (first_model_line(file, text, number) != ReadStatus::Ok) return "";
  if (number == 1 && text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
  return character_sentence("Line " + std::to_string(number), text, Scan::Formula);
}

std::string line_fault(std::string_view file_name, int32_t line, int32_t want, ValueKind kind) {
  std::string text;
  const std::optional<std::string> why_not = read_line_at(file_name, line, text);
  if (!why_not) return "";
  if (!why_not->empty()) return *why_not;
  const std::string at = "Line " + std::to_string(line);
  std::string probe = text;
  stringlib::s_tab_blank(probe);
  stringlib::s_adjustl(probe);
  if (stringlib::s_len_trim(probe) == 0) return at + " is blank.";
  if (want <= 0) {
    // The header lines must not end the block.
    const RowLine kind_of_line = classify_row_line(probe);
    if (kind_of_line == RowLine::Counts) return character_sentence(at, text, Scan::Line);
    if (probe[0] == 'E' || probe[0] == 'N') {
      return at + " begins with \"" + probe.substr(0, 1) + "\", which ends the block.";
    }
    const std::string head = before_comment(probe);
    return at + " holds " + (stringlib::s_indexi(head, "END") > 0 ? "END" : "NEXT") +
           ", which ends the block.";
  }
  if (std::string fault = character_sentence(at, text, Scan::Values); !fault.empty()) return fault;
  return value_fault(at, text, want, kind);
}

}  // namespace readwrite
