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

// A reader's open failure (the file went away after it was counted) ends the block too.
bool opened(Status s, const Block& b) {
  if (s != Status::OpenFailed) return true;
  missing_file_message(b.file);
  return false;
}

// Checks 6 to 9: a column count of lines 2 to 5 against the parameter count.
bool columns_match(Status (*counter)(int32_t&, std::string_view),
                   const Block& b,
                   const std::string& first,
                   const std::string& second,
                   const std::string& last) {
  int32_t count = 0;
  if (!opened(counter(count, b.file), b)) return false;
  if (count == b.npar) return true;
  sharc_mod::abort_run(lines({first, second, "", "The function suggests a total of " +
                                                     nnn(b.npar) + "P parameters, but the",
                              last}));
  return false;
}

}  // namespace

std::string nnn(int32_t value) {
  std::string text(3, ' ');
  stringlib::write_di(value, text, "I3");
  return text;
}

bool shape_checks(Block& b) {
  // More rows than the shared arrays hold cannot be fitted.
  if (b.too_many) {
    sharc_mod::abort_run(lines(
        {"The data file contains more than 1000 data points.",
         "The number of X...,Y data rows MUST NOT EXCEED 1000.", "",
         "The data file suggests a total of " + std::to_string(b.rows) + " X,Y data rows."}));
    return false;
  }
  // Check 1.
  b.mask.resize(b.npar);
  if (!opened(readwrite::rmask(b.mask.view(), b.npar, b.file), b)) return false;
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
    sharc_mod::abort_run(lines(
        {"The number of X...,Y data columns in the data file does",
         "not equal the number of X1... plus Y variables in the model function.", "",
         "The function suggests a total of " + nnn(b.nvar + 1) + "X plus Y variables,",
         "but the data file doesn't contain that number of X and Y data columns."}));
    return false;
  }
  // Check 5.
  int32_t errline = 0, ierr = 0;
  if (!opened(checkdata::checkparameterdata(b.file, b.npar, errline, ierr), b)) return false;
  if (ierr != 0) {
    sharc_mod::abort_run(lines({"A numeric syntax error was identified in parameter data file.",
                                "A number in row " + nnn(errline) + "is not a valid numeric value."}));
    return false;
  }
  // Checks 6 to 9.
  return columns_match(readwrite::rparcols, b,
                       "The number of P1...Pn parameter data columns in the data file",
                       "does not equal the number of parameters in the model function.",
                       "data file doesn't contain that number of parameter data columns.") &&
         columns_match(readwrite::rlocols, b,
                       "The number of Lower Bound parameter data columns in the data file",
                       "does not equal the number of P1... parameters in the model function.",
                       "data file doesn't contain that number of lower bound data columns.") &&
         columns_match(readwrite::rhicols, b,
                       "The number of Upper Bound parameter data columns in the data file",
                       "does not equal the number of P1... parameters in the model function.",
                       "data file doesn't contain that number of upper bound data columns.") &&
         columns_match(readwrite::rmaskcols, b,
                       "The total number of parameter Masks (T and F) in the data file",
                       "does not equal the number of P1... parameters in the model function.",
                       "data file doesn't contain that number of parameter masks.");
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
  // Check 10: the message names the data file in its full field.
  int32_t errline = 0, ierr = 0;
  if (!opened(checkdata::checkparsestr2real(b.file, m + 1, errline, ierr), b)) return false;
  if (ierr != 0) {
    sharc_mod::abort_run(
        lines({"A numeric syntax error was identified in the X vs Y data file: " +
                   stringlib::fixed(shown_name(globals::input_file_name), globals::len_file_name),
               "A number in row " + std::to_string(errline) + "is not a valid numeric value."}));
    return false;
  }
  // Check 11.
  if (!opened(readwrite::rxy(b.xy.view(), b.rows, m + 1, b.file, errline, ierr), b)) return false;
  if (ierr != 0) {
    sharc_mod::abort_run(lines({"A numeric syntax error was identified in the data file.",
                                "A number in row " + nnn(errline) + "is not a valid numeric value."}));
    return false;
  }
  // Check 12; bounds that cannot be read are refused the same way.
  Status s = readwrite::rpar(b.par.view(), n, b.file, ierr);
  if (!opened(s, b)) return false;
  Status lo = readwrite::rlo(b.albnd.view(), n, b.file);
  Status hi = readwrite::rhi(b.aubnd.view(), n, b.file);
  if (!opened(lo, b) || !opened(hi, b)) return false;
  if (ierr != 0 || s != Status::Ok || lo != Status::Ok || hi != Status::Ok) {
    sharc_mod::abort_run("A numeric syntax error was identified in the parameter data file.");
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
  return true;
}

}  // namespace main_subs
