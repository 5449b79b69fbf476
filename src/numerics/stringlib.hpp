// Blank-padded text: measuring, cleaning, searching, editing and converting fixed-length text
// buffers padded with blanks on the right.
//
// A buffer is a std::string whose size() is its declared length n; positions count from 1.
// "Blank" is the space character only (a NUL or TAB is not blank). The trimmed length lt is the
// position of the last non-blank character, 0 for an all-blank buffer. Procedures that remove
// characters move the rest left and fill the freed positions with blanks: the declared length
// never changes. A string holding only significant text works as a buffer whose declared length
// is that text's length; `fixed` gives a buffer its declared length.
//
// Failures are reported by value: invalid numeric text converts to 0, a failed search gives 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace stringlib {

// Declared lengths the procedures below impose themselves.
inline constexpr int32_t len_cap_string = 512;    // both buffers of s_cap_string
inline constexpr int32_t len_real_field = 30;     // field str2real reads its number from
inline constexpr int32_t len_format = 80;         // format buffer of write_di and write_dr
inline constexpr int32_t len_string_result = 30;  // result of stringi and stringr

// Declared-length helpers.
std::string fixed(std::string_view s, int32_t n);  // blank-padded or cut to n characters
std::string trim(std::string_view s);              // positions 1..lt

// Lengths and adjustment.
int32_t s_len_trim(std::string_view s);
inline int32_t s_trim_len(std::string_view s) { return s_len_trim(s); }
inline int32_t lenstr(std::string_view s) { return s_len_trim(s); }
void s_adjustl(std::string& s);  // left-adjust, skipping leading blanks and TABs
inline void s_left(std::string& s) { s_adjustl(s); }

// Cleaning (positions 1..lt, in place).
void s_control_blank(std::string& s);     // bytes < 32 or > 126 become blanks
void s_whitespace_blank(std::string& s);  // codes 9..13 become blanks
void s_tab_blank(std::string& s);         // TABs become blanks (all n positions)
void s_blank_delete(std::string& s);      // removes blanks and TABs
inline void s_del_blank(std::string& s) { s_blank_delete(s); }
void s_del_abrackets(std::string& s);  // removes "<" and ">"
void s_replace_ch(std::string& s, char c1, char c2);

// Search and comparison.
bool s_eqi(std::string_view a, std::string_view b);
int32_t s_indexi(std::string_view s, std::string_view sub);
int32_t s_index_last(std::string_view s, std::string_view sub);

// Editing.
// out := upper-case copy of in(1..lt), both buffers 512 characters (out is resized to 512).
void s_cap_string(std::string_view in, std::string& out);
void shiftstr(std::string& s, int32_t n);
void insertstr(std::string& s, std::string_view ins, int32_t pos);
void delsubstr(std::string& s, std::string_view sub);
void word_last_read(std::string_view s, std::string& word);

// Reads a real written as: optional sign, digits with an optional point (one digit at least),
// optional exponent ("e", "E", "d" or "D" and an optionally signed integer, or a sign and an
// integer). No blanks, no "inf"/"nan", no hexadecimal: text is checked here before it is
// converted. False (value unchanged) for other text and for magnitudes beyond the double
// range; magnitudes below it read as zero.
bool parse_real(std::string_view text, double& value);

// Number to text, through the edit-descriptor formatter, as a formatted write into a text
// buffer: the record is blank-padded to the buffer's length. fmt is given without parentheses
// for write_di and write_dr ("I4", "G16.8"), which write into the whole of text and then move
// leading blanks to the end; stringi and stringr take a format with its parentheses ("(I1)")
// and return 30 characters. A value too wide for its field comes out as asterisks; so does the
// whole buffer when the record does not fit into it or the format is faulty.
void write_di(int32_t value, std::string& text, std::string_view fmt);
void write_dr(double value, std::string& text, std::string_view fmt);
std::string stringi(int32_t value, std::string_view fmt);
std::string stringr(float value, std::string_view fmt);

// Text to number.
double str2real(std::string& s);  // edits the buffer: D -> e, inserts a missing point
inline double str2real(std::string_view s) {
  std::string copy(s);
  return str2real(copy);
}
int32_t str2int(std::string& s);
inline int32_t str2int(std::string_view s) {
  std::string copy(s);
  return str2int(copy);
}
void s_to_i(std::string_view s, int32_t& value);

}  // namespace stringlib
