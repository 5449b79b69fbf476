#include "model/model_front.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iostream>
#include <span>
#include <string_view>
#include <vector>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "model/fparser.hpp"
#include "model/limits.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/stringlib.hpp"
#include "numerics/sysclock.hpp"

namespace {

constexpr int32_t kLen = 512;  // declared length of formula, marker and message texts

// State of fnparse2 kept between calls.
int32_t compiled = 0;             // 0: compile before the next evaluation
std::vector<double> value_list;   // params then xvalues; grows, never shrinks
std::vector<double> result_list;  // one value per compiled formula

std::ostream& out() { return fparser::console != nullptr ? *fparser::console : std::cout; }

// Every occurrence of `from` becomes `to` (same length), left to right, until none is left.
void replace_all(std::string& s, std::string_view from, std::string_view to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from)) {
    s.replace(p, from.size(), to);
  }
}

// "P" or "X" followed by the digit k.
std::string name(char letter, int32_t k) { return std::string(1, letter) + char('0' + k); }

bool occurs(const std::string& formula, char letter, int32_t k) {
  return stringlib::s_indexi(formula, name(letter, k)) > 0;
}

// A line of l underscores with "\*/" from position i + 1 on.
std::string marker_at(int32_t l, int32_t i) {
  std::string m(static_cast<size_t>(std::max(l, i + 3)), '_');
  m.replace(static_cast<size_t>(i), 3, "\\*/");
  return m;
}

// A "0" before a bare decimal point that starts an exponent: the first of "^(.", "^(-.",
// "^(+.", "^." found gets one. iexpzero then records that no further "^" needs a look.
void insert_exponent_zero(std::string& f) {
  if (globals::iexpzero != 0 || f.find('^') == std::string::npos) return;
  struct Pattern {
    const char* text;
    int32_t offset;  // the "0" goes to position k + offset
  };
  static constexpr Pattern kPatterns[] = {{"^(.", 2}, {"^(-.", 3}, {"^(+.", 3}, {"^.", 1}};
  size_t from = 0;  // 0-based index after which a further "^" is looked for
  for (const Pattern& p : kPatterns) {
    const size_t k = f.find(p.text);
    if (k == std::string::npos) continue;
    const int32_t pos = static_cast<int32_t>(k) + 1 + p.offset;
    f.insert(static_cast<size_t>(pos - 1), "0");
    from = static_cast<size_t>(pos);
    break;
  }
  if (f.find('^', from) == std::string::npos) globals::iexpzero = stringlib::s_len_trim(f);
}

}  // namespace

std::string message_for(int32_t ierr, int32_t max_p, int32_t max_x) {
  switch (ierr) {
    case 1:
      return "Missing operand";
    case 2:
    case 8:
      return "Multiple operators";
    case 3:
      return "Missing function argument";
    case 4:
      return "Missing opening parenthesis";
    case 5:
      return "Invalid number format";
    case 6:
      return "Invalid variable or math function";
    case 7:
      return "Mismatched parenthesis";
    case 9:
      return "Missing operator";
    case 10:
      return "Missing )";
    case 11:
      return "Invalid character";
    case 12:
      return "Invalid non-sequential parameter " + name('P', max_p) + " ?";
    case 13:
      return "Invalid non-sequential variable " + name('X', max_x) + " ?";
    case 14:
      return "Invalid variable " + name('X', max_x) + " ?" + " incompatible with input data.";
    default:
      return "";
  }
}

void parse_func(int32_t& npar,
                int32_t& nvar,
                std::string& formula,
                int32_t& length,
                int32_t& ierr,
                std::string& message) {
  // Step 1.
  limits::set();
  // Step 2: clean, left-adjust, upper-case.
  std::string f = stringlib::fixed(formula, kLen);
  stringlib::s_del_blank(f);
  stringlib::s_control_blank(f);
  stringlib::s_adjustl(f);
  stringlib::s_cap_string(f, f);
  stringlib::s_blank_delete(f);
  // Step 3: fold sign pairs ("+++" ends as "++": the blanks stay until all four are done).
  if (check_parentheses(f)) {
    replace_all(f, "++", "+ ");
    replace_all(f, "+-", " -");
    replace_all(f, "-+", "- ");
    replace_all(f, "--", "+ ");
    stringlib::s_blank_delete(f);
    replace_all(f, "**", "^ ");
    stringlib::s_blank_delete(f);
    f = stringlib::trim(f);
    insert_exponent_zero(f);
  }
  // Step 4.
  f = stringlib::fixed(f, kLen);
  stringlib::s_adjustl(f);
  formula = f;
  npar = 0;
  nvar = 0;
  for (int32_t k = 1; k <= 8; ++k) npar += occurs(f, 'P', k) ? 1 : 0;
  for (int32_t k = 1; k <= 3; ++k) nvar += occurs(f, 'X', k) ? 1 : 0;
  // Step 5.
  ierr = 0;
  std::string copy = f;
  std::string marker;
  int32_t np = npar;
  check_func(copy, marker, np, nvar, ierr, message);
  length = stringlib::s_len_trim(copy);
}

void check_func(std::string& formula,
                std::string& marker,
                int32_t& npar,
                int32_t nvar,
                int32_t& ierr,
                std::string& message) {
  // Step 1.
  static const std::string kNames[] = {
      "P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "X1", "X2", "X3"};
  npar = std::min(npar, 8);
  ierr = 0;
  // The names are counted in the formula as given: the "?" of a syntax error could split one
  // ("X?1") and turn the syntax fault into a numbering fault.
  const std::string given = formula;
  fparser::checkf(formula, kNames, 1, ierr, &marker);
  // Step 2.
  int32_t max_p = 0, max_x = 0, cnt_p = 0;
  for (int32_t k = 8; k >= 1 && max_p == 0; --k) max_p = occurs(given, 'P', k) ? k : 0;
  for (int32_t k = 1; k <= 3; ++k) max_x = occurs(given, 'X', k) ? k : max_x;
  for (int32_t k = 1; k <= npar; ++k) cnt_p += occurs(given, 'P', k) ? 1 : 0;
  // Step 3.
  stringlib::s_adjustl(formula);
  const int32_t l = stringlib::s_len_trim(formula);
  // Steps 4 to 7.
  if (max_p != cnt_p) {
    ierr = 12;
    marker = marker_at(l, stringlib::s_indexi(formula, name('P', max_p)));
  } else {
    int32_t cnt_x = 0;
    for (int32_t k = 1; k <= 3; ++k) cnt_x += occurs(given, 'X', k) ? 1 : 0;
    if (cnt_x != max_x) {
      ierr = 13;
    } else if (cnt_x == nvar) {
      if (ierr == 0) return;
    } else {
      ierr = 14;
      marker = marker_at(l, stringlib::s_indexi(formula, name('X', max_x)));
    }
  }
  // Steps 8 and 9.
  message = message_for(ierr, max_p, max_x);
  sysclock::sleep_ms(1000);
}

bool check_parentheses(const std::string& text) {
  std::string t = text;
  t.erase(std::remove(t.begin(), t.end(), ' '), t.end());
  if (t.empty()) return true;
  int32_t depth = 0;
  int32_t opened = 0, closed = 0;
  for (char c : t) {
    if (c == '(') ++depth, ++opened;
    if (c == ')') --depth, ++closed;
    if (depth < 0) return false;  // ")" before its "("
  }
  if (opened != closed) return false;
  return t.find(")(") == std::string::npos && t.find("()") == std::string::npos;
}

void check_udf(const std::string& text, int32_t& flag) {
  const std::string examined = "P1*0.+" + stringlib::trim(text);
  // The first operand is a parameter name: "P" and a digit 1..8.
  flag = (examined[0] == 'P' && examined[1] >= '1' && examined[1] <= '8') ? 1 : 0;
}

namespace {

// Step 2 of fnparse2: compiles when asked to (result 8888.0 on entry), on the first call, or
// when the compiled slots are gone. Returns 0, or the syntax code after the report and pause.
int32_t ensure_compiled(
    int32_t npar, int32_t nvar, int32_t nfunc, const std::string& formula, double result) {
  if (result == kRecompile || fparser::comp.size() < nfunc) compiled = 0;
  if (compiled != 0) return 0;
  std::vector<std::string> names;
  for (int32_t k = 1; k <= npar; ++k) names.push_back(name('P', k));
  for (int32_t k = 1; k <= nvar; ++k) names.push_back(name('X', k));
  for (std::string_view fn : fparser::funcs) {
    std::string up(fn);
    for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    names.push_back(up);
  }
  int32_t ierr = 0;
  compile_func(nfunc, formula, names.data(), static_cast<int32_t>(names.size()), ierr, 1);
  // A refused formula ends the run with a status, not the program.
  if (ierr > 0) {
    out() << "\nError in function, run aborted!\n";
    sysclock::sleep_ms(5000);
    return ierr;
  }
  compiled = 1;
  result_list.assign(static_cast<size_t>(nfunc), 0.0);
  return 0;
}

}  // namespace

int32_t fnparse2(VecView<const double> params,
                 VecView<const double> xvalues,
                 int32_t npar,
                 int32_t nvar,
                 int32_t nfunc,
                 const std::string& formula,
                 double& result) {
  // Step 1: the value list (no allocation once it has grown to size).
  const size_t nvalues = static_cast<size_t>(std::max(npar, 0) + std::max(nvar, 0));
  if (value_list.size() < nvalues) value_list.resize(nvalues);
  for (int32_t k = 1; k <= npar; ++k) value_list[static_cast<size_t>(k - 1)] = params(k);
  for (int32_t k = 1; k <= nvar; ++k) value_list[static_cast<size_t>(npar + k - 1)] = xvalues(k);
  // Step 2.
  if (const int32_t ierr = ensure_compiled(npar, nvar, nfunc, formula, result); ierr != 0) {
    return ierr;
  }
  // Step 3.
  calc_func(nfunc, value_list.data(), static_cast<int32_t>(nvalues), result_list.data());
  result = result_list[static_cast<size_t>(nfunc - 1)];
  return 0;
}

int32_t fnparse2_rows(VecView<const double> params,
                      MatView<const double> x,
                      int32_t npar,
                      int32_t nvar,
                      int32_t nfunc,
                      const std::string& formula,
                      int32_t n,
                      double* results,
                      fparser::ResidualSink* sink) {
  if (n < 1) return 0;  // no row asks for a value, so nothing is compiled either
  if (const int32_t ierr = ensure_compiled(npar, nvar, nfunc, formula, 0.0); ierr != 0) {
    return ierr;
  }
  const std::span<const double> consts(params.data(), static_cast<size_t>(std::max(npar, 0)));
  const double* cols[common_data::max_x] = {};
  const int32_t ncols = std::clamp(nvar, 0, common_data::max_x);
  for (int32_t j = 1; j <= ncols; ++j) cols[j - 1] = &x(1, j);
  fparser::evalf_rows(nfunc, consts, std::span<const double* const>(cols, ncols), n, results, sink);
  return 0;
}

void compile_func(int32_t nfunc,
                  const std::string& formula,
                  const std::string* names,
                  int32_t nnames,
                  int32_t& ierr,
                  int32_t printerr) {
  const std::span<const std::string> list(names, static_cast<size_t>(std::max(nnames, 0)));
  std::string slot = stringlib::fixed(formula, kLen);
  ierr = 0;
  // A formula the check refuses is not compiled at all.
  if (nfunc < 1) {
    ierr = 1;
    return;
  }
  if (fparser::checkf(slot, list, printerr, ierr) != 0) {
    ierr = std::max(ierr, 1);
    return;
  }
  fparser::initf(nfunc);
  for (int32_t i = 1; i <= nfunc; ++i) {
    ierr = 0;
    fparser::parsef(i, formula, list, &ierr, printerr);
  }
}

void calc_func(int32_t nfunc, const double* values, int32_t nvalues, double* results) {
  const std::span<const double> v(values, static_cast<size_t>(std::max(nvalues, 0)));
  for (int32_t i = 1; i <= nfunc; ++i) results[i - 1] = fparser::evalf(i, v);
}

double func2(double /*x1*/, double /*x2*/, double /*x3*/, int32_t /*n*/) {
  double value = 0.0;
  nrutil::rval_nan(value, limits::vnan);
  return std::clamp(value, -limits::bound, limits::bound);
}

int32_t front_eval_func(VecView<const double> params,
                        int32_t npar,
                        VecView<const double> xvalues,
                        int32_t nvar,
                        std::string& formula,
                        double& result) {
  limits::set();
  stringlib::s_adjustl(formula);
  result = 0.0;
  int32_t status = 0;
  if (globals::nmdl != 0) {
    double x[3] = {};
    for (int32_t k = 1; k <= std::min(nvar, 3); ++k) x[k - 1] = xvalues(k);
    result = func2(x[0], x[1], x[2], npar);
  } else {
    status = fnparse2(params, xvalues, npar, nvar, 1, formula, result);
  }
  nrutil::rval_nan(result, limits::vnan);
  result = std::clamp(result, -limits::bound, limits::bound);
  return status;
}

double front_minmax(double x, double y) {
  if (x != x) return y;
  const double ax = std::fabs(x);
  if (ax <= limits::kNan) return std::copysign(std::fabs(y), x);
  if (ax >= limits::kBound) return std::copysign(std::fabs(1.0 / y), x);
  return x;
}

void fnparse2_reset() {
  compiled = 0;
  value_list.clear();
  result_list.clear();
}
