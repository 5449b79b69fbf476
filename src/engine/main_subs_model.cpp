// Model line recognition and confirmation of the fit run: line 1 of the data file becomes the
// model text common_udf::cudf (upper case, without blanks, TABs and "Y="); a line holding a
// character no formula holds, naming a built-in model ("MODEL" or "#" and a number) or
// holding no "X" is refused; a formula is shown for confirmation and, on Yes, checked.
#include <string>
#include <system_error>

#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/sharc_report.hpp"
#include "files/file_safety.hpp"
#include "files/units.hpp"
#include "model/model_front.hpp"
#include "model/readwrite.hpp"
#include "numerics/stringlib.hpp"
#include "toolkit/guikit.hpp"

namespace main_subs {
namespace {

constexpr const char* kCrlf = "\r\n";
constexpr int32_t kMessageLength = 640;  // the confirmation's text buffer

// Step 2: upper case, printable characters only, no blanks or tabs, left-adjusted.
void normalise(std::string& text) {
  stringlib::s_cap_string(text, text);
  stringlib::s_control_blank(text);
  stringlib::s_del_blank(text);
  stringlib::s_adjustl(text);
}

// Line 1 of the file, normalised, into cudf; false after an Error dialog when the file cannot
// be opened, its model line does not fit the model field or holds a character no formula holds.
bool read_model_text(Block& b) {
  std::string line;
  std::string name = b.file;
  const readwrite::Status s = readwrite::a_function_line(name, line);
  if (s == readwrite::Status::ModelTooLong || s == readwrite::Status::LineTooLong) {
    // A cut formula would be another model, fitted without a word: refused.
    const std::string length = s == readwrite::Status::ModelTooLong
                                   ? std::to_string(line.size())
                                   : "more than " + std::to_string(units::max_line_length);
    sharc_mod::abort_run("The model function in the first row of the data file is " + length +
                         " characters long;\r\nthe model field holds at most " +
                         std::to_string(common_udf::len_text) + " characters.");
    return false;
  }
  if (s != readwrite::Status::Ok) {
    missing_file_message(b.file);
    return false;
  }
  // A character no formula holds would be blanked and deleted with the blanks, and another
  // formula fitted ("X1^1·5" as "X1^15"): refused, named at its line.
  if (std::string fault = readwrite::model_character_fault(b.file); !fault.empty()) {
    unreadable_file_message(b.file, fault);
    return false;
  }
  common_udf::cudf = stringlib::fixed(line, common_udf::len_text);
  normalise(common_udf::cudf);
  return true;
}

// Step 3 for a numbered model: the number after "MODEL" and "#" (from the first 3 characters).
void numbered_model(std::string& text, bool delete_word) {
  if (delete_word) stringlib::delsubstr(text, "MODEL");
  stringlib::delsubstr(text, "#");
  stringlib::s_adjustl(text);
  const std::string digits = text.substr(0, 3);
  stringlib::s_to_i(digits, globals::nmdl);
  text = stringlib::fixed("Model #" + digits, common_udf::len_text);
}

bool confirmed() {
  const std::string text = std::string("The following model was selected for analysis:") + kCrlf +
                           kCrlf + "Y(P1,.., X1,..) = " + stringlib::trim(common_udf::cudf) +
                           kCrlf + "Is this the correct data file?";
  return guikit::dlgyesno(1, stringlib::fixed(text, kMessageLength));
}

}  // namespace

void model_line_message() {
  sharc_mod::abort_run(std::string("The first row of the data file MUST contain the") + kCrlf +
                       "User-defined function (e.g., y=p1*exp(-(x1-p2)**2/p3))." + kCrlf + kCrlf +
                       "Please correct the data file format and rerun the model.");
}

void syntax_error_message(int32_t ierr,
                          std::string_view message,
                          std::string_view formula,
                          std::string_view marker) {
  sharc_mod::abort_run(std::string("Model function syntax error number ") + nnn(ierr) + kCrlf +
                           kCrlf + stringlib::trim(message) + kCrlf + kCrlf +
                           "Location of error in function:" + kCrlf + "y = " +
                           stringlib::trim(formula) + kCrlf + "______" +
                           stringlib::trim(marker),
                       9);
}

void missing_file_message(std::string_view file) {
  // The units refused the file just now, on this thread, when it is no file of data.
  const std::error_code fault = units::last_error();
  const char* why =
      fault == file_safety::Reason::NotRegularFile
          ? "cannot be opened: it is not a regular file (a FIFO, a device or a socket)."
      : fault == std::errc::is_a_directory ? "cannot be opened: it is a folder."
                                           : "cannot be opened: it is missing or unreadable.";
  sharc_mod::abort_run(std::string("The data file") + kCrlf + stringlib::visible(file) + kCrlf +
                       why);
}

void unreadable_file_message(std::string_view file, std::string_view fault) {
  sharc_mod::abort_run(with_reason(
      std::string("The data file") + kCrlf + stringlib::visible(file) + kCrlf + "cannot be read.",
      fault));
}

std::string with_reason(std::string text, std::string_view reason) {
  if (!reason.empty()) text += kCrlf + std::string(reason);
  return text;
}

ModelLine model_line(Block& b) {
  // Step 2.
  if (!read_model_text(b)) return ModelLine::DataError;
  globals::nmdl = 0;
  std::string& text = common_udf::cudf;
  // Step 3, searches ignoring case.
  if (stringlib::s_indexi(text, "MODEL") > 0) {
    numbered_model(text, true);
  } else if (stringlib::s_indexi(text, "#") > 0) {
    numbered_model(text, false);
  } else if (stringlib::s_indexi(text, "X") == 0) {
    model_line_message();
    return ModelLine::DataError;
  }
  // Step 4.
  if (globals::nmdl != 0) {
    model_line_message();
    return ModelLine::DataError;
  }
  // Step 5: the formula without "Y=".
  if (!read_model_text(b)) return ModelLine::DataError;
  stringlib::delsubstr(text, "Y=");
  stringlib::s_adjustl(text);
  text = stringlib::fixed(stringlib::trim(text), common_udf::len_text);
  // Steps 6 and 7.
  if (!confirmed()) {
    globals::bcorrectmdl = 0;
    globals::brerun = 1;
    return ModelLine::Rejected;
  }
  // Step 8.
  globals::bcorrectmdl = 1;
  globals::brerun = 0;
  int32_t length = 0;
  int32_t ierr = 0;
  std::string message = stringlib::fixed("'NONE'", common_udf::len_text);
  parse_func(b.npar, b.nvar, text, length, ierr, message);
  std::string formula = text;
  stringlib::s_adjustl(formula);
  ierr = 0;
  globals::berror = 0;
  std::string marker;
  check_func(formula, marker, b.npar, b.nvar, ierr, message);
  // Step 9.
  if (ierr != 0) {
    globals::berror = 1;
    syntax_error_message(ierr, message, formula, marker);
    return ModelLine::DataError;
  }
  return ModelLine::Accepted;
}

}  // namespace main_subs
