// editfmt: parsing of Fortran formats, the format-control loop, and the layout of each field.
//
// Digits come from glibc's snprintf ("%.*e" and "%.*f"), which converts the exact binary value
// and rounds to nearest with ties to even; the field layout (sign, optional zero, exponent
// form, asterisks) is built here from those digits.
#include "numerics/editfmt.hpp"

#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace editfmt {
namespace {

// Bounds that keep a malformed or hostile format from exhausting memory, stack or time.
constexpr int kMaxNumber = 32767;               // largest width, count or repeat in a format
constexpr int kMaxDepth = 64;                   // deepest group nesting
constexpr size_t kMaxOutput = size_t{1} << 22;  // largest output text, in characters
constexpr int64_t kMaxSteps = 10'000'000;       // most format items one write may execute

enum class Kind { Int, Fixed, Exp, Sci, Gen, Alpha, Skip, Scale, Literal, Slash, Dollar, Group };

struct Item {
  Kind kind = Kind::Group;
  int repeat = 1;
  int w = -1;               // field width; -1 for A without a width
  int d = -1;               // digits after the point (F, E, ES, G) or minimum digits (I; -1: none)
  int e = 0;                // exponent digits of Ee; 0 when not given
  char letter = 'E';        // exponent letter: D for the D descriptor
  int n = 0;                // columns of nX, scale factor of kP
  std::string text;         // literal text
  std::vector<Item> items;  // contents of a group
};

// ---------------------------------------------------------------------------------------------
// Parsing

class Parser {
 public:
  explicit Parser(std::string_view fmt) : fmt_(fmt) {}

  // Parses the whole format into `top`; on failure returns false with `error` set.
  bool parse(std::vector<Item>& top, std::string& error) {
    bool ok = expect('(') && list(top, 1);
    if (ok && peek() != '\0') ok = fail("text after the closing parenthesis");
    if (!ok) error = error_;
    return ok;
  }

 private:
  // Blanks are insignificant outside literals.
  void skip_blanks() {
    while (at_ < fmt_.size() && (fmt_[at_] == ' ' || fmt_[at_] == '\t')) ++at_;
  }
  char peek() {
    skip_blanks();
    if (at_ >= fmt_.size()) return '\0';
    char c = fmt_[at_];
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
  }
  bool peek_digit() {
    char c = peek();
    return c >= '0' && c <= '9';
  }
  bool fail(const std::string& what) {
    error_ = "bad format: " + what + " at column " + std::to_string(at_ + 1);
    return false;
  }
  bool expect(char c) {
    if (peek() != c) return fail(std::string("expected '") + c + "'");
    ++at_;
    return true;
  }
  bool number(int& value) {
    if (!peek_digit()) return fail("expected a number");
    int64_t v = 0;
    while (peek_digit()) {
      v = v * 10 + (fmt_[at_++] - '0');
      if (v > kMaxNumber) return fail("number too large");
    }
    value = int(v);
    return true;
  }

  // Items up to and including the closing parenthesis of the current group.
  bool list(std::vector<Item>& out, int depth) {
    if (depth > kMaxDepth) return fail("groups nested too deeply");
    for (;;) {
      char c = peek();
      if (c == '\0') return fail("missing ')'");
      if (c == ')') {
        ++at_;
        return true;
      }
      if (c == ',') {
        ++at_;
        continue;
      }
      if (!item(out, depth)) return false;
    }
  }

  bool item(std::vector<Item>& out, int depth) {
    Item it;
    char c = peek();
    if (c == '\'' || c == '"') return literal(out);
    if (c == '$') {
      ++at_;
      it.kind = Kind::Dollar;
      out.push_back(std::move(it));
      return true;
    }
    bool negative = false;
    bool signed_count = c == '-' || c == '+';
    if (signed_count) {
      negative = c == '-';
      ++at_;
    }
    int count = -1;
    if (peek_digit() && !number(count)) return false;
    c = peek();
    if (c == 'P') {
      if (count < 0) return fail("P needs a scale factor");
      ++at_;
      it.kind = Kind::Scale;
      it.n = negative ? -count : count;
      out.push_back(std::move(it));
      return true;
    }
    if (signed_count) return fail("a sign is allowed only before P");
    if (c == '\0') return fail("missing ')'");
    if (count == 0) return fail("a count must be positive");
    ++at_;
    it.repeat = count < 0 ? 1 : count;
    switch (c) {
      case '(':
        it.kind = Kind::Group;
        if (!list(it.items, depth + 1)) return false;
        break;
      case '/':
        it.kind = Kind::Slash;
        break;
      case 'X':
        it.kind = Kind::Skip;
        it.n = it.repeat;
        it.repeat = 1;
        break;
      default:
        --at_;
        if (!descriptor(it)) return false;
    }
    out.push_back(std::move(it));
    return true;
  }

  bool literal(std::vector<Item>& out) {
    const char quote = fmt_[at_++];
    Item it;
    it.kind = Kind::Literal;
    for (;;) {
      if (at_ >= fmt_.size()) return fail("unterminated literal");
      char c = fmt_[at_++];
      if (c == quote) {
        if (at_ < fmt_.size() && fmt_[at_] == quote) {
          ++at_;  // a doubled quote stands for one quote
        } else {
          break;
        }
      }
      it.text += c;
    }
    out.push_back(std::move(it));
    return true;
  }

  // A data edit descriptor: I, F, E, ES, G or A, with its width and digits.
  bool descriptor(Item& it) {
    char c = peek();
    ++at_;
    switch (c) {
      case 'I':
        it.kind = Kind::Int;
        if (!number(it.w)) return false;
        if (peek() == '.') {
          ++at_;
          if (!number(it.d)) return false;
          if (it.w > 0 && it.d > it.w) return fail("minimum digits exceed the width");
        }
        return true;
      case 'F':
        it.kind = Kind::Fixed;
        return number(it.w) && expect('.') && number(it.d);
      case 'E':
        it.kind = Kind::Exp;
        if (peek() == 'S') {
          ++at_;
          it.kind = Kind::Sci;
        }
        return exponent_form(it);
      case 'D':
        it.kind = Kind::Exp;
        it.letter = 'D';
        if (!number(it.w) || !expect('.') || !number(it.d)) return false;
        return it.w > 0 || fail("a positive width is needed");
      case 'G':
        it.kind = Kind::Gen;
        return exponent_form(it);
      case 'A':
        it.kind = Kind::Alpha;
        if (!peek_digit()) return true;
        if (!number(it.w)) return false;
        return it.w > 0 || fail("A needs a positive width");
      default:
        --at_;
        return fail(std::string("unknown edit descriptor '") + c + "'");
    }
  }

  // The w.d[Ee] part of E, ES and G.
  bool exponent_form(Item& it) {
    if (!number(it.w) || !expect('.') || !number(it.d)) return false;
    if (it.w == 0) return fail("a positive width is needed");
    if (peek() == 'E') {
      ++at_;
      if (!number(it.e)) return false;
      if (it.e == 0) return fail("exponent digits must be positive");
    }
    return true;
  }

  std::string_view fmt_;
  size_t at_ = 0;
  std::string error_;
};

// ---------------------------------------------------------------------------------------------
// Digits

// Significant digits of ax >= 0 rounded to p >= 1 digits: ax ~ D.DDD * 10**exp10.
struct SciDigits {
  std::string digits;
  int exp10 = 0;
};

SciDigits sci_digits(double ax, int p) {
  std::string buf(size_t(p) + 32, '\0');
  std::snprintf(buf.data(), buf.size(), "%.*e", p - 1, ax);
  SciDigits out;
  size_t i = 0;
  for (; buf[i] != 'e'; ++i) {
    if (buf[i] != '.') out.digits += buf[i];
  }
  ++i;
  const bool negative = buf[i++] == '-';
  int ex = 0;
  for (; buf[i] != '\0'; ++i) ex = ex * 10 + (buf[i] - '0');
  out.exp10 = negative ? -ex : ex;
  return out;
}

// ax >= 0 rounded to a multiple of 10**-ndec, written as the integer count of those units
// (decimal digits, no leading zeros; empty for zero).
std::string fixed_digits(double ax, int ndec) {
  if (ax == 0) return "";
  std::string out;
  if (ndec >= 0) {
    const int size = std::snprintf(nullptr, 0, "%.*f", ndec, ax);
    std::string buf(size_t(size) + 1, '\0');
    std::snprintf(buf.data(), buf.size(), "%.*f", ndec, ax);
    for (char c : buf) {
      if (c >= '0' && c <= '9' && !(out.empty() && c == '0')) out += c;
    }
    return out;
  }
  // Rounding to tens or coarser (a negative scale factor with few decimals).
  const int unit = -ndec;  // round to a multiple of 10**unit
  const int lead = sci_digits(ax, 17).exp10;
  const int sig = lead - unit + 1;
  if (sig >= 1) {
    SciDigits s = sci_digits(ax, sig);
    return s.digits + std::string(size_t(s.exp10 - lead), '0');  // a carry adds a digit
  }
  if (sig < 0) return "";
  // ax in [10**(unit-1), 10**unit): it rounds to one unit when above half a unit, the
  // integer 5 * 10**(unit-1); a tie goes to the even count, zero. The integer part of ax has
  // exactly `unit` digits, all of them exact.
  const double whole = std::floor(ax);
  const std::string whole_digits = sci_digits(whole, unit).digits;
  const std::string half = "5" + std::string(size_t(unit - 1), '0');
  const bool above = whole_digits > half || (whole_digits == half && ax > whole);
  return above ? "1" : "";
}

// ---------------------------------------------------------------------------------------------
// Fields

// s right-justified in w columns, nullopt when it does not fit; w = 0 means minimal width.
std::optional<std::string> fit(const std::string& s, int w) {
  if (w == 0) return s;
  if (s.size() > size_t(w)) return std::nullopt;
  return std::string(size_t(w) - s.size(), ' ') + s;
}

std::string stars(int w) { return std::string(size_t(w > 0 ? w : 1), '*'); }

std::optional<std::string> int_field(int64_t v, int w, int m) {
  const uint64_t mag = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
  std::string digits = (mag == 0 && m == 0) ? "" : std::to_string(mag);
  if (m > int(digits.size())) digits.insert(0, size_t(m) - digits.size(), '0');
  if (v < 0) digits.insert(0, 1, '-');
  if (w == 0 && digits.empty()) return " ";
  return fit(digits, w);
}

// NaN and the infinities, as gfortran writes them in any real descriptor.
std::optional<std::string> special_field(double x, int w) {
  if (std::isnan(x)) return fit("NaN", w);
  const bool wide = w >= (x < 0 ? 9 : 8);
  if (x < 0) return fit(wide ? "-Infinity" : "-Inf", w);
  return fit(wide ? "Infinity" : "Inf", w);
}

// sign + body, with the optional zero in front of the body when the field has room for it.
std::optional<std::string> with_optional_zero(bool negative, const std::string& body, int w) {
  const std::string sign = negative ? "-" : "";
  if (w > 0 && body.size() + sign.size() + 1 <= size_t(w)) return fit(sign + "0" + body, w);
  return fit(sign + body, w);
}

// Fw.d under the scale factor k: the value times 10**k.
std::optional<std::string> fixed_field(double x, int w, int d, int k) {
  if (!std::isfinite(x)) return special_field(x, w);
  std::string digits = fixed_digits(std::fabs(x), d + k);  // the shown value times 10**d
  if (digits.size() < size_t(d)) digits.insert(0, size_t(d) - digits.size(), '0');
  const std::string int_part = digits.substr(0, digits.size() - size_t(d));
  const std::string frac = digits.substr(digits.size() - size_t(d));
  const bool negative = std::signbit(x);
  if (int_part.empty() && d > 0) return with_optional_zero(negative, "." + frac, w);
  return fit((negative ? "-" : "") + (int_part.empty() ? "0" : int_part) + "." + frac, w);
}

// The exponent part: E+dd, +ddd beyond 99, or E and exactly e digits (D in place of E for
// the D descriptor).
std::optional<std::string> exponent_text(int ex, int e, char letter = 'E') {
  const std::string sign = ex < 0 ? "-" : "+";
  std::string digits = std::to_string(ex < 0 ? -ex : ex);
  if (e > 0) {
    if (digits.size() > size_t(e)) return std::nullopt;
    return letter + sign + std::string(size_t(e) - digits.size(), '0') + digits;
  }
  if (digits.size() <= 2) return letter + sign + std::string(2 - digits.size(), '0') + digits;
  if (digits.size() == 3) return sign + digits;
  return std::nullopt;
}

// Ew.dEe under the scale factor k: k <= 0 gives 0.{-k zeros}{d+k digits}, k > 0 gives k
// digits before the point and d-k+1 after; the exponent drops by k.
std::optional<std::string> exp_field(double x, int w, int d, int e, int k, char letter = 'E') {
  if (!std::isfinite(x)) return special_field(x, w);
  if (k <= -d || k > d + 1) return std::nullopt;  // no digit would be left to show
  const int p = k <= 0 ? d + k : d + 1;
  const double ax = std::fabs(x);
  SciDigits s = ax == 0 ? SciDigits{std::string(size_t(p), '0'), -1 + k} : sci_digits(ax, p);
  std::optional<std::string> exponent = exponent_text(s.exp10 + 1 - k, e, letter);
  if (!exponent) return std::nullopt;
  if (k <= 0) {
    return with_optional_zero(
        std::signbit(x), "." + std::string(size_t(-k), '0') + s.digits + *exponent, w);
  }
  const std::string mantissa = s.digits.substr(0, size_t(k)) + "." + s.digits.substr(size_t(k));
  return fit((std::signbit(x) ? "-" : "") + mantissa + *exponent, w);
}

// ESw.dEe: one nonzero digit before the point (0 for zero), d after.
std::optional<std::string> sci_field(double x, int w, int d, int e) {
  if (!std::isfinite(x)) return special_field(x, w);
  const double ax = std::fabs(x);
  SciDigits s = ax == 0 ? SciDigits{std::string(size_t(d) + 1, '0'), 0} : sci_digits(ax, d + 1);
  std::optional<std::string> exponent = exponent_text(s.exp10, e);
  if (!exponent) return std::nullopt;
  return fit(
      (std::signbit(x) ? "-" : "") + s.digits.substr(0, 1) + "." + s.digits.substr(1) + *exponent,
      w);
}

// 10**n (n >= 0) by repeated multiplication, as the G decision computes its bounds.
double power_of_ten(int n) {
  double r = 1.0;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

// Gw.dEe: a value N with 0.1 - 0.5*10**(-d-1) <= |N| < 10**d - 0.5 is written F(w-n).(d-s)
// followed by n blanks (n = 4, or e+2 with Ee), where 10**(s-1)*(1 - 0.5*10**-d) <= |N| <
// 10**s*(1 - 0.5*10**-d); zero is written F(w-n).(d-1); any other value as Ew.dEe. The bounds
// are computed in double precision, so a value on a bound takes the larger layout (0.95 in
// G6.1 is "1.    ", as in gfortran). The scale factor acts only on the E form.
std::optional<std::string> gen_field(double x, int w, int d, int e, int k) {
  if (!std::isfinite(x)) return special_field(x, w);
  const int blanks = e > 0 ? e + 2 : 4;
  const double m = std::fabs(x);
  const double exp_d = power_of_ten(d);
  const double r_sc = 1 - 0.5 / exp_d;
  if (d == 0 || (m > 0 && (m < 0.1 * r_sc || 0.5 >= exp_d - m))) {
    return exp_field(x, w, d, e, k);
  }
  int s = 1;  // zero is laid out as if s were 1
  if (m > 0) {
    s = 0;
    for (double bound = 1.0; s < d && m >= bound * r_sc; bound *= 10) ++s;  // bound = 10**s
  }
  if (w - blanks <= 0) return std::nullopt;
  std::optional<std::string> f = fixed_field(x, w - blanks, d - s, 0);
  if (!f) return std::nullopt;
  return *f + std::string(size_t(blanks), ' ');
}

std::string alpha_field(const std::string& s, int w) {
  if (w < 0) return s;
  if (s.size() >= size_t(w)) return s.substr(0, size_t(w));
  return std::string(size_t(w) - s.size(), ' ') + s;
}

const char* kind_name(const Value& v) {
  if (std::holds_alternative<int64_t>(v)) return "an integer";
  if (std::holds_alternative<double>(v)) return "a real";
  return "a text";
}

// The field for one value, nullopt when it does not fit; `mismatch` is set when the value is
// of a kind the descriptor cannot write.
std::optional<std::string> layout(const Item& it, const Value& v, int k, bool& mismatch) {
  mismatch = false;
  const int64_t* i = std::get_if<int64_t>(&v);
  const double* x = std::get_if<double>(&v);
  const std::string* s = std::get_if<std::string>(&v);
  switch (it.kind) {
    case Kind::Int:
      if (i) return int_field(*i, it.w, it.d);
      break;
    case Kind::Fixed:
      if (x) return fixed_field(*x, it.w, it.d, k);
      break;
    case Kind::Exp:
      if (x) return exp_field(*x, it.w, it.d, it.e, k, it.letter);
      break;
    case Kind::Sci:
      if (x) return sci_field(*x, it.w, it.d, it.e);
      break;
    case Kind::Gen:
      if (i) return int_field(*i, it.w, -1);
      if (x) return gen_field(*x, it.w, it.d, it.e, k);
      return alpha_field(*s, it.w);
    case Kind::Alpha:
      if (s) return alpha_field(*s, it.w);
      break;
    default:
      break;
  }
  mismatch = true;
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Format control

class Writer {
 public:
  explicit Writer(std::span<const Value> values) : values_(values) {}

  Output run(const std::vector<Item>& top) {
    // Reversion restarts at the last group of the outermost list (the group closed by the
    // last parenthesis before the final one), or at the start when there is none.
    size_t revert = 0;
    for (size_t i = 0; i < top.size(); ++i) {
      if (top[i].kind == Kind::Group) revert = i;
    }
    size_t start = 0;
    size_t consumed_before = 0;
    Flow flow = list(top, start);
    while (flow == Flow::Go && next_ < values_.size()) {
      if (next_ == consumed_before) {
        flow =
            fail("the format has no data edit descriptor for value " + std::to_string(next_ + 1));
        break;
      }
      consumed_before = next_;
      flow = end_record();
      if (flow != Flow::Go) break;
      start = revert;
      flow = list(top, start);
    }
    Output out;
    for (const std::string& r : records_) out.text += r + "\n";
    out.text += record_;
    out.no_advance = no_advance_;
    out.column = pos_;
    out.error = error_;
    return out;
  }

 private:
  enum class Flow { Go, Stop, Fail };

  Flow fail(const std::string& what) {
    error_ = what;
    return Flow::Fail;
  }

  Flow list(const std::vector<Item>& items, size_t from) {
    for (size_t i = from; i < items.size(); ++i) {
      Flow flow = item(items[i]);
      if (flow != Flow::Go) return flow;
    }
    return Flow::Go;
  }

  Flow item(const Item& it) {
    for (int r = 0; r < it.repeat; ++r) {
      if (++steps_ > kMaxSteps) return fail("the format runs too long");
      Flow flow = once(it);
      if (flow != Flow::Go) return flow;
    }
    return Flow::Go;
  }

  Flow once(const Item& it) {
    switch (it.kind) {
      case Kind::Group:
        return list(it.items, 0);
      case Kind::Skip:
        pos_ += size_t(it.n);
        return Flow::Go;
      case Kind::Scale:
        scale_ = it.n;
        return Flow::Go;
      case Kind::Literal:
        return put(it.text);
      case Kind::Slash:
        return end_record();
      case Kind::Dollar:
        no_advance_ = true;
        return Flow::Go;
      default:
        return value(it);
    }
  }

  Flow value(const Item& it) {
    if (next_ >= values_.size()) return Flow::Stop;
    const Value& v = values_[next_++];
    bool mismatch = false;
    std::optional<std::string> field = layout(it, v, scale_, mismatch);
    if (mismatch) {
      return fail("value " + std::to_string(next_) + " is " + kind_name(v) +
                  ", which its edit descriptor cannot write");
    }
    return put(field ? *field : stars(it.w));
  }

  // Writes text at the current column; columns skipped by X before it become blanks.
  Flow put(const std::string& text) {
    if (pos_ > kMaxOutput || total_ + pos_ + text.size() > kMaxOutput) {
      return fail("the output is too long");
    }
    total_ += pos_ - record_.size() + text.size();
    record_.append(pos_ - record_.size(), ' ');
    record_ += text;
    pos_ = record_.size();
    return Flow::Go;
  }

  // Closes the record; its line end counts against the output cap like any other character,
  // so a format of nested slashes cannot grow the text past it.
  Flow end_record() {
    if (total_ + 1 > kMaxOutput) return fail("the output is too long");
    ++total_;
    records_.push_back(std::move(record_));
    record_.clear();
    pos_ = 0;
    return Flow::Go;
  }

  std::span<const Value> values_;
  size_t next_ = 0;                   // index of the next value to write
  std::vector<std::string> records_;  // finished records
  std::string record_;                // the record being written
  size_t pos_ = 0;                    // column of the next character in record_ (0-based)
  size_t total_ = 0;                  // characters written so far
  int scale_ = 0;                     // scale factor k of the last kP
  bool no_advance_ = false;
  int64_t steps_ = 0;
  std::string error_;
};

}  // namespace

Output write(std::string_view fmt, std::span<const Value> values) {
  std::vector<Item> top;
  Output out;
  if (!Parser(fmt).parse(top, out.error)) return out;
  return Writer(values).run(top);
}

Output write(std::string_view fmt, std::initializer_list<Value> values) {
  return write(fmt, std::span<const Value>(values.begin(), values.size()));
}

std::string format(std::string_view fmt, std::span<const Value> values) {
  return write(fmt, values).text;
}

std::string format(std::string_view fmt, std::initializer_list<Value> values) {
  return write(fmt, values).text;
}

std::string RecordWriter::write(std::string_view fmt, std::span<const Value> values) {
  const Output out = editfmt::write(fmt, values);
  const std::string_view text = out.text;
  size_t start = 0;
  for (bool first = true;; first = false) {
    const size_t nl = text.find('\n', start);
    const std::string_view rec = text.substr(start, nl == std::string_view::npos ? nl : nl - start);
    const bool last = nl == std::string_view::npos;
    if (first && open_) {
      // The first record continues the open one at its column: blanks of pending X skips
      // are written only when text follows, so a leading `/` ends the record without them.
      const size_t base = column_;
      if (!rec.empty()) record_.append(base - record_.size(), ' ');
      record_ += rec;
      column_ = base + (last ? out.column : rec.size());
    } else {
      if (!first) sink_(record_);
      record_ = rec;
      column_ = last ? out.column : rec.size();
    }
    open_ = true;
    if (last) break;
    start = nl + 1;
  }
  if (!out.no_advance) finish();
  return out.error;
}

std::string RecordWriter::write(std::string_view fmt, std::initializer_list<Value> values) {
  return write(fmt, std::span<const Value>(values.begin(), values.size()));
}

void RecordWriter::record(std::string_view text) {
  if (open_ && !text.empty()) record_.append(column_ - record_.size(), ' ');
  record_ += text;
  open_ = true;
  finish();
}

void RecordWriter::finish() {
  if (!open_) return;
  sink_(record_);
  record_.clear();
  column_ = 0;
  open_ = false;
}

std::string format_int(std::string_view descriptor, int64_t value) {
  const Value v = value;
  return format("(" + std::string(descriptor) + ")", std::span<const Value>(&v, 1));
}

std::string format_real(std::string_view descriptor, double value) {
  const Value v = value;
  return format("(" + std::string(descriptor) + ")", std::span<const Value>(&v, 1));
}

}  // namespace editfmt
