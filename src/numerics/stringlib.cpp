#include "numerics/stringlib.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "numerics/editfmt.hpp"
#include "numerics/stringlib_internal.hpp"

namespace stringlib {
namespace internal {

void adjustl_blanks(std::string& s) {
  const size_t k = s.find_first_not_of(kBlank);
  if (k == std::string::npos || k == 0) return;
  std::rotate(s.begin(), s.begin() + static_cast<long>(k), s.end());
}

}  // namespace internal
namespace {

using internal::adjustl_blanks;
using internal::kBlank;
using internal::kTab;

// Removes every character of 1..lt for which drop(c) holds; freed positions become blanks.
template <typename Pred>
void remove_in_trimmed(std::string& s, Pred drop) {
  const int32_t lt = s_len_trim(s);
  if (lt == 0) return;
  const auto end = s.begin() + lt;
  const auto kept_end = std::remove_if(s.begin(), end, drop);
  std::fill(kept_end, end, kBlank);
}

// Replaces every character of 1..lt for which hit(c) holds by a blank.
template <typename Pred>
void blank_in_trimmed(std::string& s, Pred hit) {
  const int32_t lt = s_len_trim(s);
  std::replace_if(s.begin(), s.begin() + lt, hit, kBlank);
}

// Writes one formatted record into a whole text buffer, as a formatted write into an
// internal file does: the record is blank-padded to the buffer's length. A record longer than
// the buffer, or a faulty format, would be a run-time error there; here the buffer is filled
// with asterisks, as a too-narrow field is, so no cut-off number can pass for the value.
void write_record(std::string& text, std::string_view fmt, const editfmt::Value& value) {
  const editfmt::Output out = editfmt::write(fmt, {value});
  const std::string record = out.text.substr(0, out.text.find('\n'));
  if (!out.ok() || record.size() > text.size()) {
    std::fill(text.begin(), text.end(), '*');
    return;
  }
  std::fill(std::copy(record.begin(), record.end(), text.begin()), text.end(), kBlank);
}

// "(" + fmt(1..lt) + ")" in an 80-character format buffer.
std::string parenthesised(std::string_view fmt) {
  std::string f = "(";  // appended, not `"(" + std::string`: GCC 12 -O3 warns (-Wrestrict)
  f += trim(fmt);
  f += ')';
  if (f.size() > static_cast<size_t>(len_format)) f.resize(len_format);
  return f;
}

}  // namespace

bool parse_real(std::string_view t, double& value) {
  size_t i = 0;
  const bool negative = i < t.size() && t[i] == '-';
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::string mantissa;
  int digits = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    if (ch_is_digit(t[i])) {
      ++digits;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
    mantissa += t[i];
  }
  if (digits == 0) return false;
  std::string exponent;
  if (i < t.size()) {
    const char c = t[i];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D') ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) exponent += t[i++];
    const size_t first_digit = i;
    while (i < t.size() && ch_is_digit(t[i])) exponent += t[i++];
    if (i == first_digit || i != t.size()) return false;
  }
  const std::string text = mantissa + (exponent.empty() ? "" : "e" + exponent);
  double v = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow is no number.
    const bool tiny =
        !exponent.empty() && exponent[0] == '-' &&
        std::from_chars(mantissa.data(), mantissa.data() + mantissa.size(), v).ec == std::errc();
    if (!tiny) return false;
    v = 0.0;
  } else if (ec != std::errc() || end != text.data() + text.size()) {
    return false;
  }
  value = negative ? -v : v;
  return true;
}

std::string fixed(std::string_view s, int32_t n) {
  std::string out(s.substr(0, static_cast<size_t>(std::max(n, 0))));
  out.resize(static_cast<size_t>(std::max(n, 0)), kBlank);
  return out;
}

int32_t length(std::string_view s) {
  const int32_t lt = s_len_trim(s);
  return lt == 0 ? static_cast<int32_t>(s.size()) : lt;
}

std::string trim(std::string_view s) { return std::string(s.substr(0, s_len_trim(s))); }

int32_t s_len_trim(std::string_view s) {
  const size_t last = s.find_last_not_of(kBlank);
  return last == std::string_view::npos ? 0 : static_cast<int32_t>(last + 1);
}

void s_adjustl(std::string& s) {
  const int32_t lt = s_len_trim(s);
  if (lt == 0) return;
  const auto first =
      std::find_if(s.begin(), s.begin() + lt, [](char c) { return c != kBlank && c != kTab; });
  if (first == s.begin() + lt) {
    std::fill(s.begin(), s.end(), kBlank);
    return;
  }
  const auto moved_end = std::copy(first, s.begin() + lt, s.begin());
  std::fill(moved_end, s.begin() + lt, kBlank);
}

void s_control_blank(std::string& s) { blank_in_trimmed(s, ch_is_control); }

void s_whitespace_blank(std::string& s) {
  blank_in_trimmed(s, [](char c) { return c >= 9 && c <= 13; });
}

void s_tab_blank(std::string& s) { std::replace(s.begin(), s.end(), kTab, kBlank); }

void s_blank_delete(std::string& s) {
  remove_in_trimmed(s, [](char c) { return c == kBlank || c == kTab; });
}

void s_del_abrackets(std::string& s) {
  remove_in_trimmed(s, [](char c) { return c == '<' || c == '>'; });
}

void s_del_braces(std::string& s) {
  remove_in_trimmed(s, [](char c) { return c == '{' || c == '}'; });
}

void s_replace_ch(std::string& s, char c1, char c2) {
  const int32_t lt = s_len_trim(s);
  std::replace(s.begin(), s.begin() + lt, c1, c2);
}

namespace {

// a and b equal by `same`, the shorter taken as padded with blanks.
template <typename Same>
bool padded_equal(std::string_view a, std::string_view b, Same same) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (!same(a[i], b[i])) return false;
  }
  const std::string_view rest = a.size() > b.size() ? a.substr(common) : b.substr(common);
  return rest.find_first_not_of(kBlank) == std::string_view::npos;
}

// First i in 1..ls-lu+1 where s(i..i+lu-1) equals sub by `equal`; ls and lu are the trimmed
// lengths, or the declared ones for all-blank texts.
template <typename Equal>
int32_t first_match(std::string_view s, std::string_view sub, Equal equal) {
  const int32_t ls = length(s);
  const int32_t lu = length(sub);
  for (int32_t i = 1; i <= ls - lu + 1; ++i) {
    if (equal(s.substr(i - 1, lu), sub)) return i;
  }
  return 0;
}

}  // namespace

bool s_eqi(std::string_view a, std::string_view b) { return padded_equal(a, b, ch_eqi); }

bool s_case_eqi(std::string_view a, std::string_view b) {
  return padded_equal(a, b, [](char x, char y) { return x == y; });
}

int32_t s_indexi(std::string_view s, std::string_view sub) { return first_match(s, sub, s_eqi); }

int32_t s_case_indexi(std::string_view s, std::string_view sub) {
  return first_match(s, sub, s_case_eqi);
}

int32_t s_index_last(std::string_view s, std::string_view sub) {
  const int32_t ls = length(s);
  const int32_t lu = length(sub);
  for (int32_t i = ls - lu + 1; i >= 1; --i) {
    if (s.substr(i - 1, lu) == sub.substr(0, lu)) return i;
  }
  return 0;
}

void s_cap_string(std::string_view in, std::string& out) {
  // A copy first: in may view out itself.
  std::string result = fixed(in.substr(0, s_len_trim(in)), len_cap_string);
  std::transform(result.begin(), result.end(), result.begin(), ch_caps);
  out = std::move(result);
}

void shiftstr(std::string& s, int32_t n) {
  const int64_t len = static_cast<int64_t>(s.size());
  if (n == 0) return;
  if (std::abs(static_cast<int64_t>(n)) >= len) {
    std::fill(s.begin(), s.end(), kBlank);
  } else if (n > 0) {
    std::copy_backward(s.begin(), s.end() - n, s.end());
    std::fill(s.begin(), s.begin() + n, kBlank);
  } else {
    std::copy(s.begin() - n, s.end(), s.begin());
    std::fill(s.end() + n, s.end(), kBlank);
  }
}

void insertstr(std::string& s, std::string_view ins, int32_t pos) {
  // A position outside the buffer has no place to insert at (it would index past the text).
  if (pos < 1 || pos > static_cast<int32_t>(s.size())) return;
  const int32_t lt = s_len_trim(ins);
  if (lt == 0) return;
  std::string tail = s.substr(pos - 1);
  shiftstr(tail, lt);
  std::copy_n(ins.begin(), std::min<size_t>(lt, tail.size()), tail.begin());
  std::copy(tail.begin(), tail.end(), s.begin() + (pos - 1));
}

void delsubstr(std::string& s, std::string_view sub) {
  const size_t p = s.find(sub);
  if (p == std::string::npos) return;
  const int32_t lu = s_len_trim(sub);
  s = fixed(s.substr(0, p) + s.substr(p + lu), static_cast<int32_t>(s.size()));
}

void word_last_read(std::string_view s, std::string& word) {
  const int32_t lt = s_len_trim(s);
  const size_t blank = lt == 0 ? std::string_view::npos : s.substr(0, lt).rfind(kBlank);
  const size_t first = blank == std::string_view::npos ? 0 : blank + 1;
  word = fixed(s.substr(first, lt - first), static_cast<int32_t>(word.size()));
}

void write_di(int32_t value, std::string& text, std::string_view fmt) {
  write_record(text, parenthesised(fmt), int64_t{value});
  adjustl_blanks(text);
}

void write_dr(double value, std::string& text, std::string_view fmt) {
  write_record(text, parenthesised(fmt), value);
  adjustl_blanks(text);
}

std::string stringi(int32_t value, std::string_view fmt) {
  std::string text(len_string_result, kBlank);
  write_record(text, trim(fmt), int64_t{value});
  return text;
}

std::string stringr(float value, std::string_view fmt) {
  std::string text(len_string_result, kBlank);
  write_record(text, trim(fmt), static_cast<double>(value));
  return text;
}

double str2real(std::string& s) {
  // Step 1: nothing to read.
  int32_t lt = s_len_trim(s);
  if (lt == 0) return 0.0;
  // Step 2: D exponents become e; only "1234567890+-.eE" may stand in 1..lt.
  std::replace_if(
      s.begin(), s.begin() + lt, [](char c) { return c == 'D' || c == 'd'; }, 'e');
  constexpr std::string_view allowed = "1234567890+-.eE";
  if (s.find_first_not_of(allowed) < static_cast<size_t>(lt)) return 0.0;
  // Step 3: a missing point goes before the first exponent letter, or after the text. When the
  // buffer has no room left for it the text is read as if it were there.
  std::string text = s.substr(0, lt);
  if (text.find('.') == std::string::npos) {
    size_t at = text.find('e');
    if (at == std::string::npos) at = text.find('E');
    if (at == std::string::npos) at = text.size();
    text.insert(at, 1, '.');
    ++lt;
    if (lt <= static_cast<int32_t>(s.size())) std::copy(text.begin(), text.end(), s.begin());
  }
  // Step 4: the first 30 characters are read as a real.
  double value = 0.0;
  if (!parse_real(std::string_view(text).substr(0, len_real_field), value)) return 0.0;
  return value;
}

int32_t str2int(std::string& s) {
  const double r = std::round(str2real(s));  // halves away from zero
  // Values beyond the 32-bit range saturate instead of overflowing the conversion.
  constexpr double lo = std::numeric_limits<int32_t>::min();
  constexpr double hi = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(r, lo, hi));
}

void s_to_i(std::string_view s, int32_t& value) {
  value = 0;
  const int32_t lt = s_len_trim(s);
  if (lt == 0) return;
  int32_t i = 0;
  const auto skip_blanks = [&] {
    while (i < lt && s[i] == kBlank) ++i;
  };
  // Step 2: optional sign, blanks around it skipped.
  skip_blanks();
  int64_t sign = 1;
  if (s[i] == '-' || s[i] == '+') {
    sign = s[i] == '-' ? -1 : 1;
    ++i;
    skip_blanks();
  }
  // Step 3: a digit must follow.
  if (i >= lt || !ch_is_digit(s[i])) return;
  // Step 4: digits up to the first other character; magnitudes beyond 32 bits saturate.
  int64_t v = 0;
  for (; i < lt && ch_is_digit(s[i]); ++i) {
    v = std::min<int64_t>(v * 10 + (s[i] - '0'), int64_t{1} << 31);
  }
  v *= sign;
  value = static_cast<int32_t>(std::clamp<int64_t>(
      v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

LineChar next_char(std::string_view text, size_t& i) {
  const auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(i++);
  if (b < 0x80) {
    if (b == '\t') return {CharKind::Tab, b};
    return {b < 32 || b == 127 ? CharKind::Control : CharKind::Text, b};
  }
  // Lead byte: the number of continuation bytes and the range of the first of them, which
  // rules out overlong forms, surrogates and code points above U+10FFFF.
  int32_t more = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    more = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return {CharKind::NotUtf8, b};
  }
  int32_t code = b & (0x3F >> more);
  for (int32_t k = 0; k < more; ++k) {
    const size_t at = i + static_cast<size_t>(k);
    const unsigned char c = at < text.size() ? byte(at) : 0;
    if (c < (k == 0 ? lo : 0x80) || c > (k == 0 ? hi : 0xBF)) return {CharKind::NotUtf8, b};
    code = (code << 6) | (c & 0x3F);
  }
  i += static_cast<size_t>(more);
  return {code <= 0x9F ? CharKind::Control : CharKind::Text, code};
}

std::string visible(std::string_view text) {
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const LineChar c = next_char(text, i);
    if (c.kind == CharKind::Tab) {
      shown += ' ';
    } else if (c.kind == CharKind::Text) {
      shown += text.substr(start, i - start);
    } else {
      shown += "<" + std::to_string(c.code) + ">";
    }
  }
  return shown;
}

}  // namespace stringlib
