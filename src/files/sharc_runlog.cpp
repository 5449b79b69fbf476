#include "files/sharc_runlog.hpp"

#include "common/globals.hpp"
#include "files/error_handler.hpp"
#include "numerics/editfmt.hpp"
#include "numerics/stringlib.hpp"

namespace sharc_runlog {

bool runlog_summary(std::string_view data_file, double sse, double& mic, RunlogTexts& texts) {
  if (globals::bcancelrun != 0 || globals::bcorrectmdl == 0) {
    mic = 0.0;
    return false;
  }
  // Internal writes into 30-character texts.
  texts.sse_text = stringlib::fixed(editfmt::format("(1p,G11.5)", {sse}), 30);
  texts.mic_text = stringlib::fixed(editfmt::format("(G10.4)", {mic}), 30);
  // The MIC text goes in whole, trailing blanks and all.
  const std::string message = stringlib::fixed(
      "SSQR= " + stringlib::trim(texts.sse_text) + " : MIC= " + texts.mic_text, 80);
  // The data file's name as given (upper-cased it would name another file), every character
  // shown: a line feed in it would split the run's line in two.
  error_handler::display_message(stringlib::fixed(stringlib::visible(data_file), 80),
                                 message,
                                 1,
                                 stringlib::fixed(error_handler::runlog_file_name, 80));
  return true;
}

}  // namespace sharc_runlog
