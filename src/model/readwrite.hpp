// Readers of the data file: the row counter, the model-line readers, the column counters and
// the value readers of lines 2 to 6 on.
//
// The file, line by line: 1 the model formula; 2 initial parameter values; 3 lower bounds;
// 4 upper bounds; 5 the parameter mask (integers, nonzero = free); 6 on the data rows (x values
// then y); then END (last block) or NEXT (another block follows). "!" starts a comment.
//
// Every routine takes the file by name, opens it on a free unit, reads from its first line and
// closes it before it returns. The name is opened as given, blanks and all ("z.dat " is not
// z.dat), and only a regular file is read (units). No routine ends the program or reads standard
// input: an open failure or a value that cannot be read comes back as a Status (with the line
// number where the routine has one), and the caller turns it into its message. CR LF line ends read
// like LF and TABs like blanks.
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
  WriteFailed = 8,   // a line could not be written
};

// Lines of the block: lines 1.. up to, not including, the line that ends it (a line starting
// with E or N, a line holding END or NEXT in any case before any "!", a blank line, or the end
// of the file). Sets globals::bnext to 1 when the block ended at NEXT. The data rows number
// count - 5; more than max_data_rows of them cannot be fitted: then the status is TooManyRows
// (count and bnext set all the same). A line too long to read ends the count before it with
// LineTooLong (so the long line is line count + 1), a counted line holding a NUL (a UTF-16 or
// binary file) with ReadError. On OpenFailed the count is left as it was.
Status a_row_count(std::string_view file_name, int32_t& count);

// The first non-blank line among the first 1000 lines, control characters blanked and
// left-adjusted, as a len_line text. On OpenFailed a
// message goes to standard output ("#3A", or "#3B" for a_function_line) and line is unchanged.
// A model line whose trimmed text is longer than len_line is never cut: ModelTooLong, with the
// whole cleaned line in `line` (its length tells by how much); LineTooLong leaves line blank.
Status a_model_line(std::string_view file_name, std::string& line);
Status a_function_line(std::string_view file_name, std::string& line);

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

// The text of value j of data row i as the file writes it (c of a value written r*c), read
// as rxy reads the rows; empty when the row or the value cannot be read.
std::string rxy_text(std::string_view file_name, int32_t i, int32_t j);

enum class ValueKind { Real, Integer };

// What is wrong with line `line` (from the top of the file) for a reader that wants `want`
// values of `kind` standing on that line alone; want 0 asks only whether the line is there
// and keeps the block going, and whether it holds a character no value holds (anywhere in the
// line: a_row_count refuses a NUL even in a comment). Empty when nothing is wrong (or the file
// cannot be opened), else one sentence naming the line, for instance
//   Line 3 begins with "N", which ends the block.       Line 5: "1.0" is not a whole number.
//   Line 4 is missing: the file ends at line 3.          Line 8 holds 3 values; 2 are needed.
// or the two of character_fault, which come before a value's fault.
std::string line_fault(std::string_view file_name, int32_t line, int32_t want, ValueKind kind);

// The first character before any "!" of line `line` that no value holds, a control character
// (codes 0 to 31 but TAB, 127 to 159) or a byte that is not part of UTF-8 text, named by its
// code, then the line as stringlib::visible shows it (at most 60 bytes of it, around the
// character):
//   Line 6 holds a control character (code 16); values are separated by blanks, TABs or commas.
//   Line 6 reads "1<16>5 2".
// joined by CR LF. Empty when there is none, or the file or the line cannot be read.
std::string character_fault(std::string_view file_name, int32_t line);

// The first character of the model line (the line a_model_line reads) that no formula holds,
// in the words of character_fault: a control character (TAB aside), a byte that is not part
// of UTF-8 text, or any other character outside ASCII, which the readers would blank and the
// fit run then delete, fitting another formula ("X1^1·5" as "X1^15"):
//   Line 1 holds a character that no formula holds (code 183).
//   Line 1 reads "Y=P1*X1^1·5+P2".
// A UTF-8 byte order mark before line 1 is not part of the line. Empty when there is no such
// character, or the file or its model line cannot be read.
std::string model_character_fault(std::string_view file_name);

// Older readers and writers, which the program does not call (readwrite_older.cpp). Their
// files: line 1 of an "older layout" file holds the model formula between double quotes, line
// 2 the counts "np nx n", lines 3 .. np + 2 the lower bound, initial value and upper bound of
// one parameter each, then n data rows of nx x values and y. Where these routines once stopped
// the program, they write the same message to standard output and return a Status; a value
// that cannot be read is reported with the number of its line from the top of the file.
// "Free format" below is listread's; single-precision values beyond the float range count as
// unreadable.

// Lines holding data: non-blank lines whose first character is neither "!" nor "#", up to a
// line whose first character is a quote (' or "). Open failure: "FILE_ROW_COUNT - Fatal error
// #6!" and the could-not-open line; count -1.
Status file_row_count(std::string_view file_name, int32_t& count);
// Fields (separated by blanks, TABs or commas, up to a "!") of the first non-blank line whose
// first character is none of ! # ' ", else of the first non-blank line. No non-blank line:
// "FILE_COLUMN_COUNT - Warning!", count -1, ierr 0, ReadError. Open failure: "FILE_COLUMN_COUNT
// - Fatal error #5!" and the could-not-open line, count -1, ierr 1.
Status file_column_count(std::string_view file_name, int32_t& count, int32_t& ierr);
// The two integers of the first line; left unchanged on failure ("READ ROW,COLUMN DATA ERROR!").
Status rcdata(int32_t& rows, int32_t& cols, std::string_view file_name);
// rows of cols values in free format from line 1 on, each row's read starting on a fresh line,
// into data(i, j). Open failure or a value that cannot be read: "READ ROW, COLUMN, AND DATA
// ERROR!" (after "INPUT DATA FILE - Fatal error!" on open failure).
Status rdata(MatView<double> data, int32_t rows, int32_t cols, std::string_view file_name);
// Writes the file stem + ".txt": a blank line, " Write Data <title> to a file <stem>.txt", then
// each row with (1000(3X,ES12.5)). Open failure: "OUTPUT DATA FILE - Fatal error!" and
// "WRITE DATA ERROR!".
Status wdata(MatView<const double> data,
             int32_t rows,
             int32_t cols,
             std::string_view title,
             std::string_view stem);
// Checks an older layout file (name cut to 60 characters): its counts line and its np parameter
// lines, each of three values with lower bound <= initial value <= upper bound. np, nx and n
// get the counts. A missing parameter line: "DATA INPUT - error!", "  Error while reading lines
// of parameter data." with the expected and read numbers of lines; a bad one: "DATA INPUT ERROR,
// LOWER BOUND, PARAMETER, UPPER BOUND NOT VALID OR DOESN'T EXIST." with the line and the rule.
Status check_xydata(std::string_view file_name, int32_t& np, int32_t& nx, int32_t& n);
// The older layout: the model text (between the quotes; without them the first word), the
// counts, the parameters' bounds and initial values, x(i, 1..nx) and y(i) of rows 1..n.
// Counts beyond the arrays: "PROGRAM ABORTED, X,Y DATA NUMBER EXCEEDED " (rows), "PROGRAM
// ABORTED, X DATA COLUMNS EXCEEDED " (x columns) or "PROGRAM ABORTED, PARAMETER NUMBER EXCEEDED "
// followed by the arrays' limit, and nothing is read. Open failure: "INPUT DATA FILE *.IN -
// Fatal error #0!". A value that cannot be read: "DATA INPUT - error!", errline its line.
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
                   int32_t& errline);
// Opens the file on the given unit and counts its lines up to a blank line, the end or a line
// whose first character is one of ! # ' ". The unit is closed again. OpenFailed (count left as
// it was) when the unit is not free or the file does not open.
Status data_row_count(int32_t unit, std::string_view file_name, int32_t& count);
// Up to 4999 lines (and no more than lines holds) as 220-character texts into lines(1..count),
// a "#" first character becoming "!", up to a line holding END or NEXT (in any case, before any
// "!"), which sets globals::bnext as a_row_count does. Open failure: "File_DATA_READ - Fatal
// error #1!" and the could-not-open line, count 0.
Status read_data_ouput_file(VecView<std::string> lines, int32_t& count, std::string_view file_name);
// Copies at most 1000 lines of the file, control characters blanked and left-adjusted, to the
// file named with ".txt" in place of its last four characters, writing "# " before the first
// non-blank line unless it begins with "#". Failures: "File_DATA_READ - Fatal error #3C!" (input
// not opened) or "File_DATA_WRITE - Fatal error #2!" with "  Could not open the output file ..."
// (output not opened, or it would be the input file itself, which is then left as it was).
Status comment_out_first_line(std::string_view file_name);
// n data lines of m values each into table(i, 1..m), i = 1..n, passing over blank lines, lines
// beginning with "#" and lines whose first m values cannot be read. The end of the file first:
// "R4MAT_DATA_READ - Fatal error #5!" with the numbers of values and lines. Open failure:
// "R4MAT_DATA_READ - Fatal error #4!" and the could-not-open line.
Status r4mat_data_read(MatView<float> table, int32_t m, int32_t n, std::string_view file_name);
// m and n from file_column_count and file_row_count; a count of -1 or less gives "DATA FILE
// READ - Fatal error #7!" (columns) or "#8!" (rows) with a line saying which count failed.
Status r4mat_header_read(std::string_view file_name, int32_t& m, int32_t& n);

}  // namespace readwrite
