// Syntax check, error report and compiler of the formula language (the evaluator is in
// fparser_eval.cpp).
#include "model/fparser.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "numerics/stringlib.hpp"

namespace fparser {
namespace {

constexpr std::string_view kOpsOrOpen = "+-*/^=#<[>]:|(";
constexpr std::string_view kElementEnd = "+-*/^=#<[>]:|)";

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool in(std::string_view set, char c) { return set.find(c) != std::string_view::npos; }

// A blank-free formula with 1-based access; positions past the end read as a blank, which the
// text never holds.
class Text {
 public:
  explicit Text(const std::string& s) : s_(s) {}
  char operator()(int32_t j) const {
    return (j >= 1 && j <= len()) ? s_[static_cast<size_t>(j - 1)] : ' ';
  }
  int32_t len() const { return static_cast<int32_t>(s_.size()); }

 private:
  const std::string& s_;
};

std::ostream& out() { return console != nullptr ? *console : std::cout; }

// --- Elements ---------------------------------------------------------------------------

// A number at position b: [+|-][digits][.digits][e|E|d|D[+|-]digits]. end is the position
// after it. Malformed: no mantissa digit, an exponent letter without digits, a second point,
// a point or exponent letter after the exponent, or a value that overflows.
struct Number {
  double value = 0.0;
  int32_t end = 0;
  bool err = false;
};

Number realnum(const Text& f, int32_t b) {
  Number n;
  int32_t j = b;
  if (f(j) == '+' || f(j) == '-') ++j;
  int32_t digits = 0;
  while (is_digit(f(j))) ++j, ++digits;
  if (f(j) == '.') {
    ++j;
    while (is_digit(f(j))) ++j, ++digits;
    if (f(j) == '.') n.err = true;
  }
  if (digits == 0) n.err = true;
  if (!n.err && in("eEdD", f(j))) {
    ++j;
    if (f(j) == '+' || f(j) == '-') ++j;
    int32_t exp_digits = 0;
    while (is_digit(f(j))) ++j, ++exp_digits;
    if (exp_digits == 0 || f(j) == '.' || in("eEdD", f(j))) n.err = true;
  }
  n.end = j;
  if (n.err) return n;
  std::string s;
  for (int32_t k = b; k < j; ++k) s += in("dD", f(k)) ? 'e' : f(k);
  n.value = std::strtod(s.c_str(), nullptr);
  // An exponent beyond the double range: reading it fails rather than giving infinity.
  if (!std::isfinite(n.value)) n.err = true;
  return n;
}

// Index in `names` (1-based) of the element at b, which runs to the first of "+-*/^=#<[>]:|)"
// or the end; 0 when no name equals it. len gets the element's length.
int32_t variableindex(const Text& f, int32_t b, std::span<const std::string> names, int32_t& len) {
  int32_t e = b;
  while (e <= f.len() && !in(kElementEnd, f(e))) ++e;
  len = e - b;
  if (len == 0) return 0;
  for (size_t k = 0; k < names.size(); ++k) {
    std::string_view name = names[k];
    name = name.substr(0, 5);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (static_cast<int32_t>(name.size()) != len) continue;
    bool same = true;
    for (int32_t i = 0; i < len && same; ++i) same = f(b + i) == name[static_cast<size_t>(i)];
    if (same) return static_cast<int32_t>(k) + 1;
  }
  return 0;
}

// The named constant whose two letters (upper-cased) begin at b.
bool mathconst(const Text& f, int32_t b, double& value) {
  struct Const {
    char a, b;
    double v;
  };
  static constexpr Const kConsts[] = {{'P', 'I', 3.141592653589793},
                                      {'E', 'U', 2.718281828459045},
                                      {'D', 'G', 57.29577951308232},
                                      {'K', '1', 273.15},
                                      {'K', '2', 298.15},
                                      {'R', 'J', 8.3144621},
                                      {'R', 'C', 1.9872041},
                                      {'V', 'H', 1e16},
                                      {'V', 'L', 1e-16}};
  const char c1 = upper(f(b)), c2 = upper(f(b + 1));
  for (const Const& k : kConsts) {
    if (k.a == c1 && k.b == c2) {
      value = k.v;
      return true;
    }
  }
  return false;
}

// Index (1..16) of the first function of `funcs` whose name begins at b, compared lower-cased.
int32_t mathfunctionindex(const Text& f, int32_t b) {
  for (int32_t n = 0; n < 16; ++n) {
    const std::string_view name = funcs[n];
    bool match = true;
    for (size_t i = 0; i < name.size() && match; ++i)
      match = lower(f(b + static_cast<int32_t>(i))) == name[i];
    if (match) return n + 1;
  }
  return 0;
}

// F(b) is "(", F(e) is ")" and the parenthesis opening at b closes at e.
bool completelyenclosed(const Text& f, int32_t b, int32_t e) {
  if (b >= e || f(b) != '(' || f(e) != ')') return false;
  int32_t depth = 0;
  for (int32_t j = b; j <= e; ++j) {
    if (f(j) == '(') ++depth;
    if (f(j) == ')') --depth;
    if (depth == 0 && j < e) return false;
  }
  return depth == 0;
}

// --- Preparation and error report --------------------------------------------------------

// "**" becomes "^ " and "!" becomes "|", then blanks are removed; ipos(k) gets the position
// in `text` of the k-th remaining character.
std::string prepare(const std::string& text) {
  std::string w = text;
  for (size_t p = w.find("**"); p != std::string::npos; p = w.find("**")) w.replace(p, 2, "^ ");
  std::replace(w.begin(), w.end(), '!', '|');
  ipos.resize(kMaxLen + 1);  // zero: positions past the end
  std::string f;
  for (size_t k = 0; k < w.size(); ++k) {
    if (w[k] == ' ') continue;
    f += w[k];
    ipos(static_cast<long>(f.size())) = static_cast<int32_t>(k + 1);
  }
  return f;
}

struct Report {
  std::string* text;    // the caller's formula, edited
  std::string* marker;  // its marker line, or nullptr
};

// Marks the syntax error at position j of the blank-free text f. The "?" goes before the
// fault (for j <= 4 after the fourth character, the window the marker starts from) and the
// "*" of "\*/" stands under it. An error at the end of the text marks the end.
void parseerrmsg(const Text& f, int32_t j, const Report& r) {
  parseerrtype = 1;
  if (printerrors == 0) return;
  out() << "*** Error in syntax of function string. ***\n\n";
  const int32_t lt = stringlib::s_len_trim(*r.text);
  int32_t p = 0;
  if (j > f.len()) {
    p = lt;
  } else {
    const int32_t k = std::max(1, j - 4);
    p = k + 3 <= f.len() ? ipos(k + 3) : 0;
  }
  out() << std::string(static_cast<size_t>((j > f.len() ? lt + 1 : ipos(j)) + 1), ' ');
  const size_t at = std::min(static_cast<size_t>(p), r.text->size());
  *r.text = r.text->substr(0, at) + '?' + r.text->substr(at);
  if (r.marker != nullptr) {
    // The "*" stands under the "?": with the "?" in front of the text (p = 0) the marker
    // starts with the "*" itself.
    const std::string mark = p > 0 ? "\\*/" : "*/";
    *r.marker = std::string(static_cast<size_t>(std::max(0, p - 1)), '_') + mark +
                std::string(static_cast<size_t>(std::max(0, lt - p)), '_');
  }
}

// --- Syntax check -------------------------------------------------------------------------

// Scans operand, operator, operand, ... and reports the first fault (parseerrmsg is called
// once). Returns the syntax code, 0 when the formula is sound. A formula that ends where an
// operand is needed ends the scan; the unclosed-parenthesis test still applies then, so "(P1+"
// is "Missing )" (10), and without an open parenthesis it is "Missing operand" (1).
int32_t checksyntax(const Text& f, std::span<const std::string> names, const Report& r) {
  const int32_t lf = f.len();
  auto fail = [&](int32_t code, int32_t pos) {
    parseerrmsg(f, pos, r);
    return code;
  };
  int32_t parcnt = 0;
  auto ends_early = [&](int32_t pos) { return parcnt > 0 ? fail(10, lf + 1) : fail(1, pos); };
  int32_t j = 1;
  for (;;) {
    // Step 1: an operand must start here.
    char c = f(j);
    const bool constant_v = c == 'V' && in("HL", upper(f(j + 1)));
    if (in(nochr, c) && !constant_v) return fail(11, j);
    if (j > lf) return ends_early(j);
    // Step 2: a leading sign.
    if (c == '+' || c == '-') {
      ++j;
      if (j > lf) return fail(1, j);
      c = f(j);
      if (in(ops, c)) return fail(2, j);
    }
    // Step 3: a function name must be followed by "(".
    if (const int32_t n = mathfunctionindex(f, j); n > 0) {
      j += static_cast<int32_t>(funcs[n - 1].size());
      if (j > lf) return fail(3, j);
      c = f(j);
      if (c != '(') return fail(4, j);
    }
    // Step 4: "(" opens a new operand.
    if (c == '(') {
      ++parcnt;
      ++j;
      continue;
    }
    // Step 5: a number or an element.
    if (c == ')' && f(j - 1) == '(') return fail(7, j);  // "()"
    if (is_digit(c)) {
      const Number num = realnum(f, j);
      if (num.err) return fail(5, j);
      j = num.end;
    } else {
      int32_t len = 0;
      double value = 0.0;
      if (variableindex(f, j, names, len) > 0) {
        j += len;
      } else if (mathconst(f, j, value)) {
        j += 2;
      } else {
        return fail(6, j);
      }
    }
    // Step 6: closing parentheses.
    while (j <= lf && f(j) == ')') {
      if (--parcnt < 0) return fail(7, j);
      ++j;
    }
    // Step 7: the end, or an operator and a further operand.
    if (j > lf) break;
    if (!in(ops, f(j))) return fail(9, j);
    if (j + 1 > lf) return ends_early(j + 1);  // the formula ends in an operator
    if (in(ops, f(j + 1))) return fail(8, j + 1);
    ++j;
  }
  // Step 8.
  if (parcnt > 0) return fail(10, lf + 1);
  return 0;
}

// --- Compiler -------------------------------------------------------------------------------

// Compiles substrings of the blank-free text into c. The first pass (store false) only counts
// codes, immediates and the stack depth; the second fills the arrays sized by the first.
class Compiler {
 public:
  Compiler(const Text& f, std::span<const std::string> names, Tcomp& c, bool store)
      : f_(f), names_(names), c_(c), store_(store) {}

  void compilesubstr(int32_t b, int32_t e);

 private:
  void addcompiledbyte(int32_t code) {
    ++c_.bytecodesize;
    if (store_) c_.bytecode(c_.bytecodesize) = code;
  }
  void addimmed(double v) {
    ++c_.immedsize;
    if (store_) c_.immed(c_.immedsize) = v;
  }
  bool is_binary(int32_t j) const;
  void compile_operand(int32_t b);

  const Text& f_;
  std::span<const std::string> names_;
  Tcomp& c_;
  bool store_;
};

// Whether the "+" or "-" at j is a binary operator: not at the start of the text, not after an
// operator or "(", and not the sign of an exponent (digit after it, e/E/d/D before it, and
// before that letter digits with at most one point, starting the text or an operand).
bool Compiler::is_binary(int32_t j) const {
  if (j == 1 || in(kOpsOrOpen, f_(j - 1))) return false;
  if (is_digit(f_(j + 1)) && in("eEdD", f_(j - 1))) {
    int32_t k = j - 2;
    bool digit = false;
    int32_t points = 0;
    while (k >= 1 && (is_digit(f_(k)) || (f_(k) == '.' && points == 0))) {
      if (f_(k) == '.')
        ++points;
      else
        digit = true;
      --k;
    }
    if (digit && (k == 0 || in(kOpsOrOpen, f_(k)))) return false;
  }
  return true;
}

void Compiler::compilesubstr(int32_t b, int32_t e) {
  // Case 1: a leading "+".
  if (f_(b) == '+') return compilesubstr(b + 1, e);
  // Case 2: (...) around the whole substring.
  if (completelyenclosed(f_, b, e)) return compilesubstr(b + 1, e - 1);
  // Case 3: a function applied to the whole rest.
  if (is_letter(f_(b))) {
    const int32_t n = mathfunctionindex(f_, b);
    const int32_t open = b + (n > 0 ? static_cast<int32_t>(funcs[n - 1].size()) : 0);
    if (n > 0 && completelyenclosed(f_, open, e)) {
      compilesubstr(open + 1, e - 1);
      addcompiledbyte(n + 15);
      return;
    }
  }
  // Case 4: a minus in front of (...) or of a function call.
  if (f_(b) == '-') {
    if (completelyenclosed(f_, b + 1, e)) {
      compilesubstr(b + 2, e - 1);
      addcompiledbyte(kNeg);
      return;
    }
    const int32_t n = is_letter(f_(b + 1)) ? mathfunctionindex(f_, b + 1) : 0;
    const int32_t open = b + 1 + (n > 0 ? static_cast<int32_t>(funcs[n - 1].size()) : 0);
    if (n > 0 && completelyenclosed(f_, open, e)) {
      compilesubstr(open + 1, e - 1);
      addcompiledbyte(n + 15);
      addcompiledbyte(kNeg);
      return;
    }
  }
  // Case 5: split at the rightmost depth-0 occurrence of the loosest operator present.
  for (size_t io = 0; io < ops.size(); ++io) {
    const char op = ops[io];
    int32_t depth = 0;
    for (int32_t j = e; j >= b; --j) {
      const char c = f_(j);
      if (c == ')') ++depth;
      if (c == '(') --depth;
      if (depth != 0 || c != op) continue;
      if ((op == '+' || op == '-') && !is_binary(j)) continue;
      if (in("*/^", op) && f_(b) == '-') {
        // The minus applies to the whole product or power.
        compilesubstr(b + 1, e);
        addcompiledbyte(kNeg);
      } else {
        compilesubstr(b, j - 1);
        compilesubstr(j + 1, e);
        addcompiledbyte(static_cast<int32_t>(io) + 3);
        --c_.stackptr;
      }
      return;
    }
  }
  // Case 6: an operand, possibly with a minus.
  const int32_t b2 = f_(b) == '-' ? b + 1 : b;
  compile_operand(b2);
  ++c_.stackptr;
  c_.stacksize = std::max(c_.stacksize, c_.stackptr);
  if (b2 > b) addcompiledbyte(kNeg);
}

void Compiler::compile_operand(int32_t b) {
  if (is_digit(f_(b)) || f_(b) == '.') {
    addimmed(realnum(f_, b).value);
    addcompiledbyte(kImmed);
    return;
  }
  int32_t len = 0;
  if (const int32_t k = variableindex(f_, b, names_, len); k > 0) {
    addcompiledbyte(kVarBegin + k - 1);
    return;
  }
  // The check admits only names and constants here.
  double value = 0.0;
  mathconst(f_, b, value);
  addimmed(value);
  addcompiledbyte(kImmed);
}

// Two passes: count, allocate, fill.
Tcomp compile(const Text& f, std::span<const std::string> names) {
  Tcomp c;
  Compiler(f, names, c, false).compilesubstr(1, f.len());
  c.bytecode.resize(c.bytecodesize);
  c.immed.resize(c.immedsize);
  c.stack.resize(c.stacksize);
  c.bytecodesize = c.immedsize = c.stacksize = c.stackptr = 0;
  Compiler(f, names, c, true).compilesubstr(1, f.len());
  prepare_program(c);
  return c;
}

// Leading blanks removed (TABs stay, and the check refuses them).
std::string left_adjusted(std::string_view text) {
  text = text.substr(0, kMaxLen);
  const size_t p = text.find_first_not_of(' ');
  return p == std::string_view::npos ? std::string() : std::string(text.substr(p));
}

}  // namespace

void initf(int32_t n) {
  endf();
  comp.resize(n);
}

void endf() { comp.resize(0); }

void parsef(int32_t i,
            std::string_view text,
            std::span<const std::string> names,
            int32_t* ierr,
            int32_t printerr) {
  if (i < 1 || i > comp.size()) {
    if (ierr != nullptr) *ierr = 1;
    return;
  }
  printerrors = printerr;
  parseerrtype = 0;
  evalerrtype = 0;
  std::string work = left_adjusted(text);
  const std::string blank_free = prepare(work);
  const Text f(blank_free);
  if (checksyntax(f, names, Report{&work, nullptr}) == 0 && parseerrtype == 0) {
    comp(i) = compile(f, names);
  }
  ipos.resize(0);
  printerrors = 1;
  if (ierr != nullptr) *ierr = parseerrtype;
}

void scale_values(int32_t i, double c) {
  if (i < 1 || i > comp.size()) return;
  Tcomp& t = comp(i);
  // Push c, multiply: the bytecode of "(formula)*c", on a stack one value deeper.
  FVector<int32_t> code(t.bytecodesize + 2);
  for (int32_t k = 1; k <= t.bytecodesize; ++k) code(k) = t.bytecode(k);
  code(t.bytecodesize + 1) = kImmed;
  code(t.bytecodesize + 2) = kMul;
  FVector<double> immed(t.immedsize + 1);
  for (int32_t k = 1; k <= t.immedsize; ++k) immed(k) = t.immed(k);
  immed(t.immedsize + 1) = c;
  t.bytecode = std::move(code);
  t.immed = std::move(immed);
  t.bytecodesize += 2;
  t.immedsize += 1;
  t.stacksize = std::max(t.stacksize, 2);
  t.stack.resize(t.stacksize);
  prepare_program(t);
}

void scale_names(int32_t i, std::span<const double> factors) {
  if (i < 1 || i > comp.size()) return;
  Tcomp& t = comp(i);
  std::vector<int32_t> code;
  std::vector<double> immed;
  int32_t dp = 1;
  bool deeper = false;
  for (int32_t ip = 1; ip <= t.bytecodesize; ++ip) {
    const int32_t op = t.bytecode(ip);
    code.push_back(op);
    if (op == kImmed) immed.push_back(t.immed(dp++));
    const size_t k = size_t(op - kVarBegin);  // 0-based name of a push of a name
    if (op < kVarBegin || k >= factors.size() || factors[k] == 1.0) continue;
    // "name*c": one value deeper while c is pushed.
    code.push_back(kImmed);
    code.push_back(kMul);
    immed.push_back(factors[k]);
    deeper = true;
  }
  t.bytecodesize = int32_t(code.size());
  t.immedsize = int32_t(immed.size());
  t.bytecode = FVector<int32_t>(t.bytecodesize);
  for (int32_t k = 1; k <= t.bytecodesize; ++k) t.bytecode(k) = code[size_t(k - 1)];
  t.immed = FVector<double>(t.immedsize);
  for (int32_t k = 1; k <= t.immedsize; ++k) t.immed(k) = immed[size_t(k - 1)];
  if (deeper) t.stacksize += 1;
  t.stack.resize(t.stacksize);
  prepare_program(t);
}

int32_t checkf(std::string& text,
               std::span<const std::string> names,
               int32_t printerr,
               int32_t& ierr,
               std::string* marker) {
  printerrors = printerr;
  parseerrtype = 0;
  evalerrtype = 0;
  if (text.size() > static_cast<size_t>(kMaxLen)) text.resize(kMaxLen);
  const std::string blank_free = prepare(text);
  const Text f(blank_free);
  ierr = checksyntax(f, names, Report{&text, marker});
  ipos.resize(0);
  printerrors = 1;
  return parseerrtype;
}

std::string evalerrmsg() {
  static constexpr std::string_view kMessages[] = {"Division by zero",
                                                   "Argument of SQRT negative",
                                                   "Argument of LOG  <=  0",
                                                   "Argument of ASIN or ACOS illegal",
                                                   "-exponent to fractional power"};
  const bool known = evalerrtype >= 1 && evalerrtype <= 5;
  return stringlib::fixed(known ? kMessages[evalerrtype - 1] : "", kEvalErrLen);
}

void reset() {
  endf();
  ipos.resize(0);
  parseerrtype = 0;
  evalerrtype = 0;
  printerrors = 1;
  console = nullptr;
}

}  // namespace fparser
