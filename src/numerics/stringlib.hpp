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
//
// Sources: stringlib.cpp (the procedures other modules call), stringlib_edit.cpp (characters,
// words, parentheses, case, the line reader), stringlib_number.cpp (conversions with a status).
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>

#include "numerics/farray.hpp"

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

// Characters of UTF-8 text. next_char gives the character at text[i] and moves i past it:
// UTF-8 decoded, C0 and C1 controls and DEL as Control, a byte that starts no well-formed UTF-8
// sequence as NotUtf8 (one byte at a time).
enum class CharKind { Text, Tab, Control, NotUtf8 };
struct LineChar {
  CharKind kind;
  int32_t code;  // the code point; for NotUtf8 the byte
};
LineChar next_char(std::string_view text, size_t& i);
// `text` as the program's messages quote it: TABs as blanks, and every control character and
// every byte that is not part of UTF-8 text as its code between "<" and ">", so that nothing in
// it is unseen or ends a C string.
std::string visible(std::string_view text);

// ---------------------------------------------------------------------------------------------
// The rest of the library: procedures no other module calls. Characters are bytes; a letter is
// a..z or A..Z only.

// Characters.
bool ch_is_control(char c);   // byte below 32 or above 126
bool ch_is_space(char c);     // blank or a byte 9..13 (TAB, LF, VT, FF, CR)
bool ch_is_digit(char c);     // 0..9
void ch_cap(char& c);         // upper-cases c in place
char ch_caps(char c);         // upper-case copy of c
char ch_capf(char c);         // the same as ch_caps (its second name)
bool ch_eqi(char a, char b);  // equal ignoring the case of letters
int32_t ch_to_digit(char c);  // 0..9 for a digit, 0 for a blank, -1 otherwise
char dig_to_chr(int32_t d);   // '0'..'9' for 0..9, '*' otherwise

// Positions and lengths.
int32_t s_chr_index(std::string_view s, char c);  // first position of c in 1..lt, or -1
int32_t ch_index(std::string_view s, char c);     // the same, 0 when c is not there
int32_t length(std::string_view s);  // lt, or the declared length for an all-blank text
inline int32_t nlength(std::string_view s) { return length(s); }
int32_t i4_length(int32_t i);  // characters of i in decimal, a minus sign included

// Case-sensitive twins of s_eqi and s_indexi (same padding and length rules).
bool s_case_eqi(std::string_view a, std::string_view b);
int32_t s_case_indexi(std::string_view s, std::string_view sub);

// Editing in place; the declared length never changes.
void removesp(std::string& s);         // left-adjusts, then removes every byte below 33
void s_adjustr(std::string& s);        // trailing blanks move to the front
void s_blanks_delete(std::string& s);  // TABs become blanks, runs of blanks one blank
void compact(std::string& s);          // runs of blanks become one blank, then left-adjusts
void delall(std::string& s, std::string_view sub);  // every occurrence, as delsubstr finds it
void s_del_braces(std::string& s);                  // removes "{" and "}"
// The last n characters of s(1..lt) as n characters; a shorter trimmed part is blank-padded on
// the right. n < 1 gives an empty text.
std::string right(std::string_view s, int32_t n);

// Words: runs of characters other than blank (or other than the delimiters).
int32_t s_word_count(std::string_view s);
// w receives the first word of s (blank-padded or cut to w's length), which is removed from s
// together with the blanks before it; the rest of s is left-adjusted. An all-blank s gives an
// all-blank w.
void word_extract(std::string& s, std::string& w);
// The same with the given delimiter characters instead of the blank; the delimiter after the
// word stays in s and is skipped by the next call.
void word_extract_delim(std::string& s, std::string& w, std::string_view delims);

// Parentheses: s_paren_check is true when every ")" closes an earlier "(", all are closed and
// s holds neither "()" nor ")("; parenthesescheck only compares the counts.
bool s_paren_check(std::string_view s);
bool parenthesescheck(std::string_view s);

// Case conversion of letters outside quotes: text from a single or double quote to the next
// quote of the same kind is left as it is.
std::string uppercase(std::string_view s);
std::string lowercase(std::string_view s);

// Hands out the next line of a unit: false at the end of the file or on a read error.
using LineSource = std::function<bool(std::string& line)>;
// Reads lines until one holds something besides blanks and a comment ("!" to the end of the
// line) and returns it in line, left-adjusted, the comment blanked, blank-padded or cut to
// line's declared length. Status 0, or -1 when the source ends first (line then all blank).
int32_t readline(const LineSource& source, std::string& line);

// Number to text.
// Writes value into text with at least ndigits digits (zeros in front), a minus in front when
// negative, left-aligned and blank-padded. Status 0; 1 when more than 30 digits are asked for
// (text unchanged); 2 when the digits do not fit into text (text then all asterisks).
int32_t intstr(int32_t value, int32_t ndigits, std::string& text);
// A short text of value, blank-padded to len_string_result: an integral value within the
// 32-bit range digit by digit; otherwise its "(G15.7)" form without leading blanks, trailing
// zeros of the mantissa and leading zeros of the exponent (0.1500000E+11 gives 0.15E+11,
// 0.1000000-299, the form of a three-digit exponent, gives 0.1-299).
std::string real2str(double value);
void real2strng(double value, std::string& text);  // the same into text (padded or cut)
// Trailing zeros of the digits after a point (one is kept right behind the point): "2.500"
// gives "2.5", "3.000" "3.0"; text without a point, or with other characters after it, stays.
void s_trim_zeros(std::string& s);
// The same for the mantissa before an exponent (a letter E, e, D, d, or the sign that starts a
// three-digit exponent), the exponent moving left: "1.2500E+03" gives "1.25E+03",
// "0.1500-304" "0.15-304"; without an exponent as s_trim_zeros.
void s_trim_zero(std::string& s);
// Leading zeros of the number (after leading blanks and a sign) that stand before another
// digit: "007" gives "7", "-0012.5" "-12.5", "0.5" stays.
void s_trim_prezeros(std::string& s);

// Text to number with a status.
// Status values of write_str_dr, write_str_di and valsub.
inline constexpr int32_t status_ok = 0;
inline constexpr int32_t status_no_number = 1;      // the text holds no number there
inline constexpr int32_t status_bad_char = 2;       // a character outside the allowed set
inline constexpr int32_t status_open_exponent = 3;  // ends in a non-digit and holds e or E
inline constexpr int32_t status_int_range = 15;     // an integer beyond 2147483647 in magnitude
// Reads the first value of text as a list-directed read does (leading blanks skipped, the
// value ending at a blank, comma or slash). status_open_exponent is checked first, on the
// whole trimmed text. On any failure value is 0.
void write_str_dr(std::string_view text, double& value, int32_t& status);
void write_str_di(std::string_view text, int32_t& value, int32_t& status);
// Reads a double from text whose characters 1..lt all belong to "1234567890+-.eE";
// status_bad_char otherwise, status_no_number when they still form no number (value 0).
void valsub(std::string_view text, double& value, int32_t& status);

// Character-by-character reader of a single-precision real: blanks, a sign, digits, a point,
// digits, an exponent letter (E, e, D, d), a sign and digits (a fractional exponent allowed),
// ended by a comma or semicolon (taken), another character that does not fit, or the end of
// s(1..lt). length is the number of characters used. On text that holds no number ierror is
// the reader's state (1, 2, 6 or 7), r is 0, and four lines go to out: a blank line,
// "S_TO_R4 - Serious error!", "  Illegal or nonnumeric input:" and the text.
void s_to_r4(
    std::string_view s, float& r, int32_t& ierror, int32_t& length, std::ostream& out = std::cout);
// Reads rvec(1..n) one after another with s_to_r4; ierror is 0, or the number of the value
// that could not be read (the values before it are set).
void s_to_r4vec(std::string_view s,
                int32_t n,
                VecView<float> rvec,
                int32_t& ierror,
                std::ostream& out = std::cout);

}  // namespace stringlib
