// Numeric-syntax checks of the data file, run before its values are loaded: the parameter
// lines 2 to 4 (checkparameterdata) and the data rows from line 6 on (checkparsestr2real).
//
// Each checked line is read as 128 characters (what stands beyond is not checked), left-
// adjusted, TABs blanked and upper-cased; a "!" comment is cut off; the fields are counted by
// the field scan below and that many values (at most n, or m) are read in free format. A line
// whose values cannot be read gives its line number (from the top of the file) and flag 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/readwrite.hpp"

namespace checkdata {

inline constexpr int32_t len_check_line = 128;
inline constexpr int32_t last_checked_line = 1000;

// Number of fields of a checked line: a comma that does not follow a field counts as a field
// of its own, and no field starts at column 128 or later. text is the 128-character line.
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

}  // namespace checkdata
