// Data-file validation and loading of the fit run: the shape of the file against the model
// (checks 1 to 9), the numeric syntax of the data rows and the loading of values, bounds and
// mask (10 to 14), each failure with its own Error dialog, in this order.
#include <string>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "engine/main_subs.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/sharc_report.hpp"
#include "model/checkdata.hpp"
#include "model/readwrite.hpp"
#include "numerics/editfmt.hpp"
#include "numerics/stringlib.hpp"

namespace main_subs {
namespace {

using readwrite::Status;

constexpr const char* kCrlf = "\r\n";

std::string lines(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : kCrlf) + p;
  return text;
}

using readwrite::ValueKind;

// What the column counters saw on line L, added to a refusal of a count. They read a character
// no value holds as a blank, so such a character, where there is one, is named instead.
std::string fields_reason(const Block& b, int32_t line, int32_t count) {
  if (std::string fault = readwrite::character_fault(b.file, line); !fault.empty()) return fault;
  return "Line " + std::to_string(line) + " holds " + std::to_string(count) +
         (count == 1 ? " field" : " fields") + " separated by blanks.";
}

// A reader's open failure (the file went away after it was counted) ends the block too.
bool opened(Status s, const Block& b) {
  if (s != Status::OpenFailed) return true;
  missing_file_message(b.file);
  return false;
}

// Checks 6 to 9: a column count of line `line` against the parameter count.
bool columns_match(Status (*counter)(int32_t&, std::string_view),
                   int32_t line,
                   const Block& b,
                   const std::string& first,
                   const std::string& second,
                   const std::string& last) {
  int32_t count = 0;
  if (!opened(counter(count, b.file), b)) return false;
  if (count == b.npar) return true;
  sharc_mod::abort_run(with_reason(
      lines({first,
             second,
             "",
             "The function suggests a total of " + nnn(b.npar) + "P parameters, but the",
             last}),
      fields_reason(b, line, count)));
  return false;
}

bool mask_count_matches(const Block& b) {
  return columns_match(readwrite::rmaskcols,
                       5,
                       b,
                       "The total number of parameter Masks (T and F) in the data file",
                       "does not equal the number of P1... parameters in the model function.",
                       "data file doesn't contain that number of parameter masks.");
}

// Check 5's message for line `line`, with what is wrong there.
void parameter_syntax_message(const Block& b, int32_t line, ValueKind kind) {
  sharc_mod::abort_run(
      with_reason(lines({"A numeric syntax error was identified in parameter data file.",
                         "A number in row " + nnn(line) + "is not a valid numeric value."}),
                  readwrite::line_fault(b.file, line, b.npar, kind)));
}

// Lines 1 to 5 must all stand before the block ends: a file cut short, a blank line or a line
// read as END or NEXT (a bound written "NaN") in the header leaves no place for the values.
bool header_complete(const Block& b) {
  if (b.lines >= readwrite::header_lines) return true;
  globals::bnext = 0;  // a header line read as NEXT announces no further block
  sharc_mod::abort_run(
      with_reason(lines({"The data file must begin with five lines: the model, the initial values,",
                         "the lower bounds, the upper bounds and the parameter masks;",
                         "the X,Y data rows follow from line 6 on.",
                         ""}),
                  readwrite::line_fault(b.file, b.lines + 1, 0, ValueKind::Real)));
  return false;
}

// The data columns' message of check 4, with what is wrong on line `line`.
void columns_message(const Block& b, std::string_view reason) {
  sharc_mod::abort_run(with_reason(
      lines({"The number of X...,Y data columns in the data file does",
             "not equal the number of X1... plus Y variables in the model function.",
             "",
             "The function suggests a total of " + nnn(b.nvar + 1) + "X plus Y variables,",
             "but the data file doesn't contain that number of X and Y data columns."}),
      reason));
}

// A lower bound above its upper bound leaves no value to fit.
bool bounds_ordered(const Block& b) {
  for (int32_t i = 1; i <= b.npar; ++i) {
    if (b.albnd(i) <= b.aubnd(i)) continue;
    const auto number = [](double v) {
      std::string text = editfmt::format("(1p,G14.6)", {v});
      stringlib::s_adjustl(text);
      return stringlib::trim(text);
    };
    sharc_mod::abort_run(lines({"The lower bound of P" + std::to_string(i) +
                                    " (line 3: " + number(b.albnd(i)) + ") is above",
                                "its upper bound (line 4: " + number(b.aubnd(i)) + ")."}));
    return false;
  }
  return true;
}

}  // namespace

std::string nnn(int32_t value) {
  std::string text(3, ' ');
  stringlib::write_di(value, text, "I3");
  return text;
}

bool shape_checks(Block& b) {
  if (!header_complete(b)) return false;
  // More rows than the shared arrays hold cannot be fitted.
  if (b.too_many) {
    sharc_mod::abort_run(lines(
        {"The data file contains more than 1000 data points.",
         "The number of X...,Y data rows MUST NOT EXCEED 1000.", "",
         "The data file suggests a total of " + std::to_string(b.rows) + " X,Y data rows."}));
    return false;
  }
  // Check 1. A mask that cannot be read is refused at its line: read as all zeros it would be
  // reported as every parameter held fixed.
  b.mask.resize(b.npar);
  const Status mask = readwrite::rmask(b.mask.view(), b.npar, b.file);
  if (!opened(mask, b)) return false;
  if (mask != Status::Ok) {
    if (mask_count_matches(b)) parameter_syntax_message(b, 5, ValueKind::Integer);
    return false;
  }
  b.nfixed = 0;
  for (int32_t i = 1; i <= b.npar; ++i) b.nfixed += b.mask(i) == 0 ? 1 : 0;
  b.nfree = b.npar - b.nfixed;
  // Check 2.
  if (b.rows <= b.nfree) {
    sharc_mod::abort_run(
        lines({"The number of X...,Y data rows in the data file",
               "MUST BE GREATER than the number of active parameters", "in the model function.",
               "", "The data file suggests a total of " + nnn(b.rows) + "X,Y data rows,",
               "but the file contains only " + nnn(b.nfree) + "unmasked parameters."}));
    return false;
  }
  // Check 3.
  if (b.nfixed == b.npar) {
    sharc_mod::abort_run(
        lines({"The number of active unmasked parameters in the model",
               "MUST BE GREATER than one parameter in the model function.", "",
               "The model suggests a total of " + nnn(b.npar) + "parameters, but",
               "the data file contains only " + nnn(0) + "unmasked parameters."}));
    return false;
  }
  // Check 4.
  int32_t columns = 0;
  if (!opened(readwrite::rxycols(columns, b.file), b)) return false;
  if (columns != b.nvar + 1) {
    columns_message(b, fields_reason(b, readwrite::header_lines + 1, columns));
    return false;
  }
  // Check 5.
  int32_t errline = 0, ierr = 0;
  if (!opened(checkdata::checkparameterdata(b.file, b.npar, errline, ierr), b)) return false;
  if (ierr != 0) {
    parameter_syntax_message(b, errline, ValueKind::Real);
    return false;
  }
  // Checks 6 to 9.
  return columns_match(readwrite::rparcols,
                       2,
                       b,
                       "The number of P1...Pn parameter data columns in the data file",
                       "does not equal the number of parameters in the model function.",
                       "data file doesn't contain that number of parameter data columns.") &&
         columns_match(readwrite::rlocols,
                       3,
                       b,
                       "The number of Lower Bound parameter data columns in the data file",
                       "does not equal the number of P1... parameters in the model function.",
                       "data file doesn't contain that number of lower bound data columns.") &&
         columns_match(readwrite::rhicols,
                       4,
                       b,
                       "The number of Upper Bound parameter data columns in the data file",
                       "does not equal the number of P1... parameters in the model function.",
                       "data file doesn't contain that number of upper bound data columns.") &&
         mask_count_matches(b);
}

bool load_values(Block& b) {
  const int32_t n = b.npar;
  const int32_t m = b.nvar;
  b.par.resize(n);
  b.albnd.resize(n);
  b.aubnd.resize(n);
  b.xy = FMatrixD<double>(b.rows, m + 1);
  b.fit.resize(b.rows, n, b.nfree, m);
  b.resid.resize(b.rows);
  b.res17.resize(n);
  // Check 10; the data file is named as given (upper-cased it would name another file).
  int32_t errline = 0, ierr = 0;
  if (!opened(checkdata::checkparsestr2real(b.file, m + 1, errline, ierr), b)) return false;
  if (ierr != 0) {
    sharc_mod::abort_run(with_reason(
        lines({"A numeric syntax error was identified in the X vs Y data file: " +
                   stringlib::visible(b.file),
               "A number in row " + nnn(errline) + "is not a valid numeric value."}),
        readwrite::line_fault(b.file, errline, m + 1, ValueKind::Real)));
    return false;
  }
  // Check 11; a row with a value more than the model needs is refused like a wrong column count.
  const Status rows = readwrite::rxy(b.xy.view(), b.rows, m + 1, b.file, errline, ierr);
  if (!opened(rows, b)) return false;
  const std::string row_fault =
      ierr != 0 ? readwrite::line_fault(b.file, errline, m + 1, ValueKind::Real) : "";
  if (rows == Status::ExtraValues) {
    columns_message(b, row_fault);
    return false;
  }
  if (ierr != 0) {
    sharc_mod::abort_run(
        with_reason(lines({"A numeric syntax error was identified in the data file.",
                           "A number in row " + nnn(errline) + "is not a valid numeric value."}),
                    row_fault));
    return false;
  }
  // Check 12; bounds that cannot be read are refused the same way.
  Status s = readwrite::rpar(b.par.view(), n, b.file, ierr);
  if (!opened(s, b)) return false;
  Status lo = readwrite::rlo(b.albnd.view(), n, b.file);
  Status hi = readwrite::rhi(b.aubnd.view(), n, b.file);
  if (!opened(lo, b) || !opened(hi, b)) return false;
  if (ierr != 0 || s != Status::Ok || lo != Status::Ok || hi != Status::Ok) {
    std::string fault;
    for (int32_t line = 2; line <= 4 && fault.empty(); ++line) {
      fault = readwrite::line_fault(b.file, line, n, ValueKind::Real);
    }
    sharc_mod::abort_run(
        with_reason("A numeric syntax error was identified in the parameter data file.", fault));
    return false;
  }
  // Step 13.
  if (!opened(readwrite::rmask(b.fit.mask.view(), n, b.file), b)) return false;
  b.nfixed = 0;
  for (int32_t i = 1; i <= n; ++i) {
    common_data::pboundlo(i) = b.albnd(i);
    common_data::pboundhi(i) = b.aubnd(i);
    common_data::pmask(i) = b.fit.mask(i);
    b.nfixed += b.fit.mask(i) == 0 ? 1 : 0;
  }
  b.nfree = n - b.nfixed;
  // Check 14.
  if (b.nfree <= 1) {
    sharc_mod::abort_run(
        lines({"The number of active parameter data columns in the data file",
               "must be greater than one parameter (UnMasked Parameters > 1).", "",
               "The function suggests only " + nnn(b.nfree) + "P active parameter,",
               "but the data file must contain at least 2 unmasked parameters.",
               "Either add or unmask one or more parameters and rerun the model."}));
    return false;
  }
  return bounds_ordered(b);
}

}  // namespace main_subs
