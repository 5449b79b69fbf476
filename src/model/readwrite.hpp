// Readers of the data file: the row counter, the model-line readers, the column counters and
// the value readers of lines 2 to 6 on.
//
// The file, line by line: 1 the model formula; 2 initial parameter values; 3 lower bounds;
// 4 upper bounds; 5 the parameter mask (integers, nonzero = free); 6 on the data rows (x values
// then y); then END (last block) or NEXT (another block follows). "!" starts a comment.
//
// Every routine takes the file by name, opens it on a free unit, reads from its first line and
// closes it before it returns. No routine ends the program or reads standard input: an open
// failure or a value that cannot be read comes back as a Status (with the line number where
// the routine has one), and the caller turns it into its message. CR LF line ends read like LF
// and TABs like blanks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "numerics/farray.hpp"

namespace readwrite {

inline constexpr int32_t len_line = 512;        // characters of a line the counters read
inline constexpr int32_t max_data_rows = 1000;  // rows the shared data arrays hold
inline constexpr int32_t header_lines = 5;      // lines before the first data row
inline constexpr int32_t max_model_line_reads = 1000;

enum class Status : int32_t {
  Ok = 0,
  OpenFailed = 1,    // the file cannot be opened (missing, a folder, no permission, no unit)
  ReadError = 2,     // a value cannot be read, or the file ends before all values are read
  TooManyRows = 3,   // more data rows than the shared arrays hold; nothing was read
  BadArgument = 4,   // a count outside the array handed in; nothing was read
  LineTooLong = 5,   // a line longer than units::max_line_length was met; reading stopped there
  ModelTooLong = 6,  // the model line is longer than len_line (model-line readers)
  ExtraValues = 7,   // a data row holds more values than were asked for (rxy)
};

// Lines of the block: lines 1.. up to, not including, the line that ends it (a line starting
// with E or N, a line holding END or NEXT in any case before any "!", a blank line, or the end
// of the file). Sets globals::bnext to 1 when the block ended at NEXT. The data rows number
// count - 5; more than max_data_rows of them cannot be fitted: then the status is TooManyRows
// (count and bnext set all the same). A line too long to read ends the count before it with
// LineTooLong (so the long line is line count + 1). On OpenFailed the count is left as it was.
Status a_row_count(std::string_view file_name, int32_t& count);

// The first non-blank line among the first 1000 lines, control characters blanked and
// left-adjusted, as a len_line text. file_name is left-adjusted in place. On OpenFailed a
// message goes to standard output ("#3A", or "#3B" for a_function_line) and line is unchanged.
// A model line whose trimmed text is longer than len_line is never cut: ModelTooLong, with the
// whole cleaned line in `line` (its length tells by how much); LineTooLong leaves line blank.
Status a_model_line(std::string& file_name, std::string& line);
Status a_function_line(std::string& file_name, std::string& line);

// Number of blank-separated fields of line 2, 3, 4, 5 or 6 (s_col_count); a missing line has
// none. On OpenFailed the count is left as it was.
Status rparcols(int32_t& count, std::string_view file_name);
Status rlocols(int32_t& count, std::string_view file_name);
Status rhicols(int32_t& count, std::string_view file_name);
Status rmaskcols(int32_t& count, std::string_view file_name);
Status rxycols(int32_t& count, std::string_view file_name);

// Number of blank-separated fields before the first "N" or "!"; line is blanked of TABs and
// control characters in place.
void s_col_count(std::string& line, int32_t& count);

// Reads n values in free format from line 2 (3, 4) on into values(1..n). rpar's ierr is 1 when
// a value cannot be read.
Status rpar(VecView<double> values, int32_t n, std::string_view file_name, int32_t& ierr);
Status rlo(VecView<double> values, int32_t n, std::string_view file_name);
Status rhi(VecView<double> values, int32_t n, std::string_view file_name);
// Reads n integers from line 5 on; all n become 0 when they cannot be read.
Status rmask(VecView<int32_t> mask, int32_t n, std::string_view file_name);

// Reads data rows 1..n of m values each, one row per line from line 6 on, into data(i, j).
// A row whose line holds fewer than m values, or a value that cannot be read, sets ierr = 1
// and errline to that line's number from the top of the file, and reading stops; a row with
// more than m values (before any "!") does the same with the status ExtraValues, since the
// value it would pass over is data the user meant. n above max_data_rows gives TooManyRows and
// reads nothing.
Status rxy(MatView<double> data,
           int32_t n,
           int32_t m,
           std::string_view file_name,
           int32_t& errline,
           int32_t& ierr);

enum class ValueKind { Real, Integer };

// What is wrong with line `line` (from the top of the file) for a reader that wants `want`
// values of `kind` standing on that line alone; want 0 asks only whether the line is there and
// keeps the block going (the header lines 1 to 5). Empty when nothing is wrong (or the file
// cannot be opened), else one sentence naming the line, for instance
//   Line 3 begins with "N", which ends the block.       Line 5: "1.0" is not a whole number.
//   Line 4 is missing: the file ends at line 3.          Line 8 holds 3 values; 2 are needed.
std::string line_fault(std::string_view file_name, int32_t line, int32_t want, ValueKind kind);

}  // namespace readwrite
