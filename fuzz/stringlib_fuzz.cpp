// Fuzzes the string library's editing, word and number-text procedures on arbitrary bytes: the
// first byte chooses a buffer length and a count, the rest is the text. Faults are crashes,
// sanitizer reports, a buffer whose declared length changed, and a status outside the
// documented set.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "numerics/farray.hpp"
#include "numerics/stringlib.hpp"

namespace {

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "stringlib_fuzz: %s\n", what);
    std::abort();
  }
}

// Runs an in-place edit on a copy and checks that the declared length is kept.
template <typename Edit>
void edit_keeps_length(const std::string& text, Edit edit, const char* name) {
  std::string s = text;
  edit(s);
  require(s.size() == text.size(), name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t n = data[0] % 40;  // a buffer length and a count, 0..39
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  edit_keeps_length(text, stringlib::removesp, "removesp");
  edit_keeps_length(text, stringlib::s_adjustr, "s_adjustr");
  edit_keeps_length(text, stringlib::s_blanks_delete, "s_blanks_delete");
  edit_keeps_length(text, stringlib::compact, "compact");
  edit_keeps_length(text, stringlib::s_del_braces, "s_del_braces");
  edit_keeps_length(text, stringlib::s_trim_zeros, "s_trim_zeros");
  edit_keeps_length(text, stringlib::s_trim_zero, "s_trim_zero");
  edit_keeps_length(text, stringlib::s_trim_prezeros, "s_trim_prezeros");
  const std::string sub = text.substr(0, static_cast<size_t>(n) % 4);
  edit_keeps_length(
      text, [&](std::string& s) { stringlib::delall(s, sub); }, "delall");

  std::string s = text;
  std::string w(static_cast<size_t>(n), '?');
  stringlib::word_extract(s, w);
  require(s.size() == text.size() && w.size() == static_cast<size_t>(n), "word_extract");
  s = text;
  stringlib::word_extract_delim(s, w, ",; ");
  require(s.size() == text.size() && w.size() == static_cast<size_t>(n), "word_extract_delim");
  require(stringlib::right(text, n).size() == static_cast<size_t>(n), "right");
  require(stringlib::uppercase(text).size() == text.size(), "uppercase");
  stringlib::s_word_count(text);
  stringlib::s_paren_check(text);
  stringlib::s_chr_index(text, 'e');
  stringlib::s_case_indexi(text, sub);

  std::ostringstream out;
  float r = 0.0f;
  int32_t ierror = 0, length = 0;
  stringlib::s_to_r4(text, r, ierror, length, out);
  require(length >= 0 && length <= static_cast<int32_t>(text.size()), "s_to_r4 length");
  std::vector<float> v(static_cast<size_t>(n) + 1);
  stringlib::s_to_r4vec(text, n, VecView<float>(v.data(), n), ierror, out);
  require(ierror >= 0 && ierror <= n, "s_to_r4vec ierror");

  double x = 0.0;
  int32_t i = 0, status = 0;
  stringlib::write_str_dr(text, x, status);
  require(status == 0 || status == 1 || status == 3, "write_str_dr status");
  stringlib::write_str_di(text, i, status);
  require(status == 0 || status == 1 || status == 3 || status == 15, "write_str_di status");
  stringlib::valsub(text, x, status);
  require(status >= 0 && status <= 2, "valsub status");

  std::string digits(static_cast<size_t>(n), ' ');
  stringlib::intstr(static_cast<int32_t>(size * 7919) - 50000, n, digits);
  require(digits.size() == static_cast<size_t>(n), "intstr");
  double value = 0.0;
  if (text.size() >= sizeof value) {
    std::memcpy(&value, text.data(), sizeof value);
    require(stringlib::real2str(value).size() == stringlib::len_string_result, "real2str");
  }
  return 0;
}
