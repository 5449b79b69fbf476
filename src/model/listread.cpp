#include "model/listread.hpp"

#include <algorithm>
#include <limits>

#include "numerics/stringlib.hpp"

namespace listread {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_blank_or_comma(char c) { return is_blank(c) || c == ','; }
bool ends_token(char c) { return is_blank(c) || c == ',' || c == '/'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Optional sign and digits, within 32 bits.
bool parse_int(std::string_view t, int32_t& value) {
  size_t i = t.empty() || (t[0] != '+' && t[0] != '-') ? 0 : 1;
  if (i == t.size()) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (!is_digit(t[i])) return false;
    v = v * 10 + (t[i] - '0');
    if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if (t[0] == '-') v = -v;
  if (v > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(v);
  return true;
}

// The repeat count of "r*c" (saturated just above `cap`); false when it is no positive integer.
bool repeat_count(std::string_view token, size_t star, int32_t cap, int64_t& count) {
  count = 0;
  if (star == 0) return false;
  for (size_t i = 0; i < star; ++i) {
    if (!is_digit(token[i])) return false;
    count = std::min<int64_t>(count * 10 + (token[i] - '0'), int64_t{cap} + 1);
  }
  return count > 0;
}

// Splits "r*c" into its repeat count and value; false when the count is no positive integer.
// Counts beyond `cap` are cut to it (no read needs more values than it asks for); `surplus`
// tells that copies were cut.
bool split_repeat(
    std::string_view token, int32_t cap, int32_t& r, std::string_view& value, bool& surplus) {
  const size_t star = token.find('*');
  r = 1;
  value = token;
  if (star == std::string_view::npos) return true;
  int64_t count = 0;
  if (!repeat_count(token, star, cap, count)) return false;
  surplus = count > cap;
  r = static_cast<int32_t>(std::min<int64_t>(count, cap));
  value = token.substr(star + 1);
  return value.find('*') == std::string_view::npos;
}

}  // namespace

bool Reader::fetch() {
  if (!next_(record_)) return false;
  ++records_;
  pos_ = 0;
  return true;
}

bool Reader::fetch_nonblank() {
  while (fetch()) {
    skip_blanks();
    if (pos_ < record_.size()) return true;
  }
  return false;
}

void Reader::skip_blanks() {
  while (pos_ < record_.size() && is_blank(record_[pos_])) ++pos_;
}

Result Reader::skip_record() { return fetch_nonblank() ? Result::Ok : Result::End; }

bool Reader::more_in_record() const {
  if (surplus_) return true;
  for (size_t i = pos_; i < record_.size() && record_[i] != '!' && record_[i] != '/'; ++i) {
    if (!is_blank_or_comma(record_[i])) return true;
  }
  return false;
}

Result Reader::read_items(int32_t n, const Assign& assign, bool record_bound) {
  problem_.clear();
  surplus_ = false;
  if (n <= 0) return Result::Ok;
  if (!fetch_nonblank()) return Result::End;
  int32_t index = 0;         // values read so far
  bool after_value = false;  // a comma now separates, rather than nulls
  while (index < n) {
    skip_blanks();
    if (pos_ >= record_.size()) {
      if (record_bound) return Result::Short;
      if (!fetch()) return Result::End;
      continue;
    }
    const char c = record_[pos_];
    if (c == '/') {  // the slash would leave the remaining values unset
      problem_ = "/";
      return Result::Short;
    }
    if (c == ',') {
      ++pos_;
      if (!after_value) {  // a null
        problem_ = ",";
        return Result::Short;
      }
      after_value = false;
      continue;
    }
    const size_t start = pos_;
    while (pos_ < record_.size() && !ends_token(record_[pos_])) ++pos_;
    const std::string_view token = std::string_view(record_).substr(start, pos_ - start);
    int32_t repeat = 1;
    std::string_view value;
    problem_ = token;
    if (!split_repeat(token, n - index, repeat, value, surplus_)) return Result::BadValue;
    if (value.empty()) return Result::Short;  // "r*": r nulls
    for (int32_t k = 0; k < repeat; ++k) {
      ++index;
      if (!assign(index, value)) return Result::BadValue;
    }
    problem_.clear();
    after_value = true;
  }
  return Result::Ok;
}

int32_t count_values(std::string_view record) {
  record = record.substr(0, std::min(record.find('!'), record.find('/')));
  int64_t total = 0;
  constexpr int32_t kCap = 1 << 30;  // a repeat count beyond any read
  for (size_t pos = 0; pos < record.size();) {
    if (is_blank_or_comma(record[pos])) {
      ++pos;
      continue;
    }
    const size_t start = pos;
    while (pos < record.size() && !is_blank_or_comma(record[pos])) ++pos;
    const std::string_view token = record.substr(start, pos - start);
    const size_t star = token.find('*');
    int64_t count = 1;
    if (star != std::string_view::npos && !repeat_count(token, star, kCap, count)) count = 1;
    total = std::min<int64_t>(total + count, kCap);
  }
  return static_cast<int32_t>(total);
}

Result Reader::read_reals(VecView<double> out, int32_t n, bool record_bound) {
  return read_items(
      n,
      [&out](int32_t i, std::string_view t) {
        double v = 0.0;
        if (!stringlib::parse_real(t, v)) return false;
        out(i) = v;
        return true;
      },
      record_bound);
}

Result Reader::read_ints(VecView<int32_t> out, int32_t n, bool record_bound) {
  return read_items(
      n,
      [&out](int32_t i, std::string_view t) {
        int32_t v = 0;
        if (!parse_int(t, v)) return false;
        out(i) = v;
        return true;
      },
      record_bound);
}

Result Reader::read_texts(std::vector<std::string>& out, int32_t n, bool record_bound) {
  out.assign(static_cast<size_t>(std::max(n, 0)), std::string());
  return read_items(
      n,
      [&out](int32_t i, std::string_view t) {
        out[static_cast<size_t>(i - 1)] = t;
        return true;
      },
      record_bound);
}

Result read_record_reals(const std::string& record, VecView<double> out, int32_t n) {
  bool given = false;
  Reader reader([&](std::string& r) {
    if (given) return false;
    given = true;
    r = record;
    return true;
  });
  return reader.read_reals(out, n, true);
}

}  // namespace listread
