// The string library's conversions that report a status: integer and real to short text,
// zero trimming of number texts, the status-returning readers and the character-by-character
// single-precision reader.
//
// [1] J. Burkardt, s_to_r4 / s_to_r8 of his string library: the reader's state machine.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "numerics/editfmt.hpp"
#include "numerics/stringlib.hpp"
#include "numerics/stringlib_internal.hpp"

namespace stringlib {
namespace {

using internal::adjustl_blanks;
using internal::kBlank;

constexpr int32_t kMaxIntstrDigits = 30;

bool is_exponent_letter(char c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }

// Within s[begin, end): when a point is followed only by digits up to end, the zeros at the end
// of those digits are removed (one is kept right behind the point) and the rest of s moves
// left; the freed positions at the end of the trimmed part become blanks.
void trim_fraction_zeros(std::string& s, size_t begin, size_t end) {
  if (end == 0) return;
  const size_t point = s.rfind('.', end - 1);
  if (point == std::string::npos || point < begin) return;
  if (!std::all_of(s.begin() + point + 1, s.begin() + end, ch_is_digit)) return;
  size_t keep = end;  // one past the last character kept
  while (keep > point + 2 && s[keep - 1] == '0') --keep;
  const size_t lt = s_len_trim(s);
  const auto tail_end = std::copy(s.begin() + end, s.begin() + lt, s.begin() + keep);
  std::fill(tail_end, s.begin() + lt, kBlank);
}

// The first value of a list-directed read: leading blanks skipped, ended by a blank, a comma or
// a slash.
std::string_view first_item(std::string_view text) {
  const size_t begin = text.find_first_not_of(kBlank);
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_first_of(" ,/", begin);
  return text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

// The status check both status readers make first: the trimmed text ends in a non-digit and
// holds an exponent letter (an exponent without its digits, as in "1.5E").
bool open_exponent(std::string_view text) {
  const int32_t lt = s_len_trim(text);
  if (lt == 0 || ch_is_digit(text[lt - 1])) return false;
  return text.substr(0, lt).find_first_of("eE") != std::string_view::npos;
}

}  // namespace

int32_t intstr(int32_t value, int32_t ndigits, std::string& text) {
  // A request beyond the text's 30-digit room is refused with a status instead of ending the
  // program.
  if (ndigits > kMaxIntstrDigits) return 1;
  // Digits from the last one up, in 64 bits (the most negative value has no 32-bit magnitude).
  int64_t m = std::llabs(int64_t{value});
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + m % 10));
    m /= 10;
  } while (m != 0);
  const int32_t have = static_cast<int32_t>(digits.size());
  if (have < ndigits) digits.insert(size_t{0}, static_cast<size_t>(ndigits - have), '0');
  if (value < 0) digits.insert(digits.begin(), '-');
  if (digits.size() > text.size()) {
    std::fill(text.begin(), text.end(), '*');
    return 2;
  }
  text = fixed(digits, static_cast<int32_t>(text.size()));
  return 0;
}

void s_trim_zeros(std::string& s) { trim_fraction_zeros(s, 0, s_len_trim(s)); }

void s_trim_zero(std::string& s) {
  const size_t lt = s_len_trim(s);
  size_t mantissa_end = lt;
  // The exponent starts at the first letter, or sign, after a digit or a point: an exponent of
  // three digits is written without its letter ("0.1000000-299").
  for (size_t i = 1; i < lt; ++i) {
    const bool starts = is_exponent_letter(s[i]) || s[i] == '+' || s[i] == '-';
    if (starts && (ch_is_digit(s[i - 1]) || s[i - 1] == '.')) {
      mantissa_end = i;
      break;
    }
  }
  trim_fraction_zeros(s, 0, mantissa_end);
}

void s_trim_prezeros(std::string& s) {
  const size_t lt = s_len_trim(s);
  size_t first = s.find_first_not_of(kBlank);
  if (first == std::string::npos) return;
  if (s[first] == '+' || s[first] == '-') ++first;
  size_t end = first;  // one past the leading zeros that stand before another digit
  while (end + 1 < lt && s[end] == '0' && ch_is_digit(s[end + 1])) ++end;
  const auto tail_end = std::copy(s.begin() + end, s.begin() + lt, s.begin() + first);
  std::fill(tail_end, s.begin() + lt, kBlank);
}

std::string real2str(double value) {
  std::string text(len_string_result, kBlank);
  real2strng(value, text);
  return text;
}

void real2strng(double value, std::string& text) {
  const int32_t n = static_cast<int32_t>(text.size());
  // Integral values within the 32-bit range are written digit by digit.
  if (value == std::trunc(value) && std::fabs(value) <= 2147483647.0) {
    std::string digits(11, kBlank);
    intstr(static_cast<int32_t>(value), 1, digits);
    text = fixed(trim(digits), n);
    return;
  }
  std::string s = editfmt::format_real("G15.7", value);
  adjustl_blanks(s);
  s_trim_zero(s);
  // Leading zeros of the exponent go: "E+05" becomes "E+5", "E-10" stays.
  const size_t e = s.find_first_of("ED");
  if (e != std::string::npos && e + 2 < s.size() && (s[e + 1] == '+' || s[e + 1] == '-')) {
    size_t z = e + 2;
    while (z + 1 < s.size() && s[z] == '0' && ch_is_digit(s[z + 1])) ++z;
    s.erase(e + 2, z - (e + 2));
  }
  text = fixed(trim(s), n);
}

void write_str_dr(std::string_view text, double& value, int32_t& status) {
  value = 0.0;
  if (open_exponent(text)) {
    status = status_open_exponent;
    return;
  }
  double v = 0.0;
  if (!parse_real(first_item(text), v)) {
    status = status_no_number;
    return;
  }
  value = v;
  status = status_ok;
}

void write_str_di(std::string_view text, int32_t& value, int32_t& status) {
  value = 0;
  if (open_exponent(text)) {
    status = status_open_exponent;
    return;
  }
  const std::string_view item = first_item(text);
  const size_t digits_at = !item.empty() && (item[0] == '+' || item[0] == '-') ? 1 : 0;
  if (item.size() == digits_at || !std::all_of(item.begin() + digits_at, item.end(), ch_is_digit)) {
    status = status_no_number;
    return;
  }
  // The magnitude is accumulated only while it can still be in range, so no digit count
  // overflows it.
  int64_t m = 0;
  for (size_t i = digits_at; i < item.size(); ++i) {
    m = m * 10 + (item[i] - '0');
    if (m > 2147483647) {
      status = status_int_range;
      return;
    }
  }
  value = static_cast<int32_t>(item[0] == '-' ? -m : m);
  status = status_ok;
}

void valsub(std::string_view text, double& value, int32_t& status) {
  value = 0.0;
  const std::string_view t = text.substr(0, s_len_trim(text));
  if (t.find_first_not_of("1234567890+-.eE") != std::string_view::npos) {
    status = status_bad_char;
    return;
  }
  double v = 0.0;
  if (!parse_real(t, v)) {
    status = status_no_number;
    return;
  }
  value = v;
  status = status_ok;
}

// The reader's states [1]: 1 nothing yet, 2 a sign, 3 integer digits, 4 a point, 5 fraction
// digits, 6 an exponent letter, 7 its sign, 8 exponent digits, 9 a point in the exponent,
// 10 exponent fraction digits, 11 a blank after the number, 12 a comma or semicolon. The number
// is r = sign * 10^(jsgn * jtop / jbot) * rtop / rbot, all in single precision.
void s_to_r4(std::string_view s, float& r, int32_t& ierror, int32_t& length, std::ostream& out) {
  const int32_t nchar = s_len_trim(s);
  ierror = 0;
  r = 0.0f;
  length = 0;
  float isgn = 1.0f;
  float rtop = 0.0f;
  float rbot = 1.0f;
  int32_t jsgn = 1;
  int32_t jtop = 0;
  int32_t jbot = 1;
  int32_t ihave = 1;
  // Digits past these bounds no longer change a single-precision value; accumulating them
  // would overflow the integers or turn rtop / rbot into inf / inf.
  constexpr float kMantissaDigitsEnough = 1e9f;
  constexpr int32_t kExponentEnough = 100000000;
  for (int32_t i = 0; i < nchar; ++i) {
    const char c = s[i];
    bool terminated = false;
    if (c == kBlank) {
      if (ihave == 6 || ihave == 7) {
        terminated = true;
      } else if (ihave > 2) {
        ihave = 11;
      }
    } else if (c == ',' || c == ';') {
      if (ihave != 1) {
        ihave = 12;
        length = i + 1;
        break;
      }
    } else if (c == '-' || c == '+') {
      const int32_t sign = c == '-' ? -1 : 1;
      if (ihave == 1) {
        ihave = 2;
        isgn = static_cast<float>(sign);
      } else if (ihave == 6) {
        ihave = 7;
        jsgn = sign;
      } else {
        terminated = true;
      }
    } else if (c == '.') {
      if (ihave < 4) {
        ihave = 4;
      } else if (ihave >= 6 && ihave <= 8) {
        ihave = 9;
      } else {
        terminated = true;
      }
    } else if (is_exponent_letter(c)) {
      if (ihave < 6) {
        ihave = 6;
      } else {
        terminated = true;
      }
    } else if (ihave < 11 && ch_is_digit(c)) {
      if (ihave <= 2) {
        ihave = 3;
      } else if (ihave == 4) {
        ihave = 5;
      } else if (ihave == 6 || ihave == 7) {
        ihave = 8;
      } else if (ihave == 9) {
        ihave = 10;
      }
      const int32_t ndig = ch_to_digit(c);
      if (ihave == 3) {
        rtop = 10.0f * rtop + static_cast<float>(ndig);
      } else if (ihave == 5 && rtop < kMantissaDigitsEnough) {
        rtop = 10.0f * rtop + static_cast<float>(ndig);
        rbot = 10.0f * rbot;
      } else if (ihave == 8 && jtop < kExponentEnough) {
        jtop = 10 * jtop + ndig;
      } else if (ihave == 10 && jbot < kExponentEnough && jtop < kExponentEnough) {
        jtop = 10 * jtop + ndig;
        jbot = 10 * jbot;
      }
    } else {
      terminated = true;
    }
    if (terminated) break;
    length = i + 1;
  }
  // Ending with nothing, a bare sign, or an exponent letter or sign without digits: no number.
  if (ihave == 1 || ihave == 2 || ihave == 6 || ihave == 7) {
    ierror = ihave;
    length = 0;
    out << "\n"
        << "S_TO_R4 - Serious error!\n"
        << "  Illegal or nonnumeric input:\n"
        << "    " << s.substr(0, nchar) << "\n";
    return;
  }
  float rexp = 1.0f;
  if (jtop != 0) {
    rexp = jbot == 1 ? std::pow(10.0f, static_cast<float>(jsgn * jtop))
                     : std::pow(10.0f, static_cast<float>(jsgn * jtop) / static_cast<float>(jbot));
  }
  r = isgn * rexp * rtop / rbot;
}

void s_to_r4vec(
    std::string_view s, int32_t n, VecView<float> rvec, int32_t& ierror, std::ostream& out) {
  ierror = 0;
  size_t ilo = 0;
  for (int32_t i = 1; i <= n; ++i) {
    int32_t used = 0;
    s_to_r4(s.substr(ilo), rvec(i), ierror, used, out);
    if (ierror != 0) {
      ierror = i;
      return;
    }
    ilo += static_cast<size_t>(used);
  }
}

}  // namespace stringlib
