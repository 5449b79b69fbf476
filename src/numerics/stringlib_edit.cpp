// The string library's character tests, word and parenthesis procedures, quote-aware case
// conversion and the comment-skipping line reader.
#include <algorithm>
#include <cstdlib>

#include "numerics/stringlib.hpp"
#include "numerics/stringlib_internal.hpp"

namespace stringlib {
namespace {

using internal::adjustl_blanks;
using internal::kBlank;
using internal::kTab;

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
char lower(char c) { return is_upper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

// Keeps, in order, the characters c of s(1..lt) for which keep(last kept character, c) holds
// (NUL before the first); the freed positions at the end become blanks.
template <typename Keep>
void filter_trimmed(std::string& s, Keep keep) {
  const int32_t lt = s_len_trim(s);
  int32_t k = 0;
  for (int32_t i = 0; i < lt; ++i) {
    if (keep(k == 0 ? '\0' : s[k - 1], s[i])) s[k++] = s[i];
  }
  std::fill(s.begin() + k, s.begin() + lt, kBlank);
}

// Runs of blanks in s(1..lt) become one blank.
void collapse_blanks(std::string& s) {
  filter_trimmed(s, [](char prev, char c) { return c != kBlank || prev != kBlank; });
}

// Converts the letters outside quotes by `convert`: a single or double quote opens a quoted
// part that the next quote of the same kind closes; quotes themselves are kept.
template <typename Convert>
std::string convert_unquoted(std::string_view s, Convert convert) {
  std::string out(s);
  const int32_t lt = s_len_trim(s);
  char quote = 0;  // the quote of the open quoted part, 0 outside
  for (int32_t i = 0; i < lt; ++i) {
    const char c = out[i];
    if (quote == 0 && (c == '"' || c == '\'')) {
      quote = c;
    } else if (quote != 0 && c == quote) {
      quote = 0;
    } else if (quote == 0) {
      out[i] = convert(c);
    }
  }
  return out;
}

// Takes the first run of characters that are not delimiters out of s into w; the rest of s,
// from the character after the word on, is left-adjusted.
template <typename IsDelim>
void extract_first(std::string& s, std::string& w, IsDelim is_delim) {
  const int32_t w_len = static_cast<int32_t>(w.size());
  w.assign(w_len, kBlank);
  const int32_t lt = s_len_trim(s);
  int32_t begin = 0;
  while (begin < lt && is_delim(s[begin])) ++begin;
  if (begin == lt) return;
  int32_t end = begin;  // one past the word
  while (end < lt && !is_delim(s[end])) ++end;
  w = fixed(std::string_view(s).substr(begin, end - begin), w_len);
  std::fill(s.begin(), s.begin() + end, kBlank);
  adjustl_blanks(s);
}

}  // namespace

bool ch_is_control(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 32 || u > 126;
}

bool ch_is_space(char c) { return c == kBlank || (c >= 9 && c <= 13); }

bool ch_is_digit(char c) { return c >= '0' && c <= '9'; }

char ch_caps(char c) { return is_lower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

char ch_capf(char c) { return ch_caps(c); }

void ch_cap(char& c) { c = ch_caps(c); }

bool ch_eqi(char a, char b) { return ch_caps(a) == ch_caps(b); }

int32_t ch_to_digit(char c) {
  if (ch_is_digit(c)) return c - '0';
  return c == kBlank ? 0 : -1;
}

char dig_to_chr(int32_t d) { return d >= 0 && d <= 9 ? static_cast<char>('0' + d) : '*'; }

int32_t s_chr_index(std::string_view s, char c) {
  const size_t p = s.substr(0, s_len_trim(s)).find(c);
  return p == std::string_view::npos ? -1 : static_cast<int32_t>(p + 1);
}

int32_t ch_index(std::string_view s, char c) { return std::max(s_chr_index(s, c), 0); }

int32_t i4_length(int32_t i) {
  // In 64 bits: the magnitude of the most negative 32-bit value does not fit 32 bits.
  int64_t m = std::llabs(int64_t{i});
  int32_t n = i < 0 ? 1 : 0;
  do {
    ++n;
    m /= 10;
  } while (m != 0);
  return n;
}

void removesp(std::string& s) {
  adjustl_blanks(s);
  filter_trimmed(s, [](char, char c) { return static_cast<unsigned char>(c) >= 33; });
}

void s_adjustr(std::string& s) {
  const int32_t lt = s_len_trim(s);
  std::rotate(s.begin(), s.begin() + lt, s.end());
}

void s_blanks_delete(std::string& s) {
  const int32_t lt = s_len_trim(s);
  std::replace(s.begin(), s.begin() + lt, kTab, kBlank);
  collapse_blanks(s);
}

void compact(std::string& s) {
  adjustl_blanks(s);
  collapse_blanks(s);
}

void delall(std::string& s, std::string_view sub) {
  // A sub without a trimmed part deletes nothing and would be found for ever.
  if (s_len_trim(sub) == 0) return;
  // Each deletion removes at least one non-blank character, so the loop ends.
  for (;;) {
    const std::string before = s;
    delsubstr(s, sub);
    if (s == before) return;
  }
}

std::string right(std::string_view s, int32_t n) {
  if (n < 1) return {};
  const int32_t lt = s_len_trim(s);
  // A trimmed part shorter than n is taken whole rather than read from before its start.
  const int32_t first = std::max(lt - n, 0);
  return fixed(s.substr(first, lt - first), n);
}

int32_t s_word_count(std::string_view s) {
  int32_t count = 0;
  char prev = kBlank;
  for (const char c : s) {
    if (c != kBlank && prev == kBlank) ++count;
    prev = c;
  }
  return count;
}

void word_extract(std::string& s, std::string& w) {
  extract_first(s, w, [](char c) { return c == kBlank; });
}

void word_extract_delim(std::string& s, std::string& w, std::string_view delims) {
  extract_first(s, w, [delims](char c) { return delims.find(c) != std::string_view::npos; });
}

bool s_paren_check(std::string_view s) {
  if (s.find("()") != std::string_view::npos || s.find(")(") != std::string_view::npos) {
    return false;
  }
  int32_t depth = 0;
  for (const char c : s) {
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0) return false;
  }
  return depth == 0;
}

bool parenthesescheck(std::string_view s) {
  return std::count(s.begin(), s.end(), '(') == std::count(s.begin(), s.end(), ')');
}

std::string uppercase(std::string_view s) { return convert_unquoted(s, ch_caps); }

std::string lowercase(std::string_view s) { return convert_unquoted(s, lower); }

int32_t readline(const LineSource& source, std::string& line) {
  const int32_t n = static_cast<int32_t>(line.size());
  std::string raw;
  while (source(raw)) {
    line = fixed(raw, n);
    adjustl_blanks(line);
    const size_t bang = line.find('!');
    if (bang != std::string::npos)
      std::fill(line.begin() + static_cast<long>(bang), line.end(), kBlank);
    if (s_len_trim(line) != 0) return 0;
  }
  line.assign(n, kBlank);
  return -1;
}

}  // namespace stringlib
