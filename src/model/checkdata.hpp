// Numeric-syntax checks of the data file, run before its values are loaded: the parameter
// lines 2 to 4 (checkparameterdata) and the data rows from line 6 on (checkparsestr2real).
//
// Each checked line is read as 128 characters (what stands beyond is not checked, but a number
// that column 128 cuts in two is read whole), left-adjusted, TABs blanked and upper-cased; a
// "!" comment is cut off; the fields are counted by the field scan below and that many values
// (at most n, or m) are read in free format. A line whose values cannot be read gives its line
// number (from the top of the file) and flag 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/readwrite.hpp"
#include "numerics/farray.hpp"

namespace checkdata {

inline constexpr int32_t len_check_line = 128;
inline constexpr int32_t last_checked_line = 1000;

// Number of fields of a checked line: a comma that does not follow a field counts as a field
// of its own, and no field starts at column 128 or later. text is the checked line, a blank and
// a comma.
int32_t field_scan(std::string_view text);

// Checks lines 2, 3 and 4. errline and ierr are 0, or the failing line and 1. OpenFailed sets
// ierr to 1. A file that ends early passes (missing lines are blank).
readwrite::Status checkparameterdata(std::string_view file_name,
                                     int32_t n,
                                     int32_t& errline,
                                     int32_t& ierr);

// Checks the data rows from line 6 to the first line holding END or NEXT before any "!", the
// end of the file, or line 1000. Same results as checkparameterdata.
readwrite::Status checkparsestr2real(std::string_view file_name,
                                     int32_t m,
                                     int32_t& errline,
                                     int32_t& ierr);

// Routines of the checks that the program does not call.

// Replaces every TAB of line by a blank.
void tab2blank(std::string& line);
// Reads the data rows after the first `skip` lines with the checks' scan (128 characters,
// upper-cased, "!" comments cut, fields counted): a line holding END or NEXT before any "!", the
// end of the file or 1000 rows end it; blank lines are passed over. A row with fewer than m
// fields, or whose first m values cannot be read, gives errline (its line from the top of the
// file) and ierr 1, and reading stops. The rows read before it, at most `rows` (in) and at most
// data.rows(), are copied into data(i, 1..m); rows (out) is their number. m outside
// 1..data.cols() is refused (BadArgument, rows 0, ierr 1).
readwrite::Status parsestr2real(std::string_view file_name,
                                int32_t& rows,
                                int32_t m,
                                int32_t skip,
                                MatView<double> data,
                                int32_t& errline,
                                int32_t& ierr);

}  // namespace checkdata
