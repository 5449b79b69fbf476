// Run-log summary line of the fit run (module sharc_runlog): the sum of squares and the MIC of a
// fit, appended to "Varqen-runlog.txt" under the data file's path.
#pragma once

#include <string>
#include <string_view>

namespace sharc_runlog {

// The texts of the last run-log line, 30 characters each: the sum of squares written with
// "(1p,G11.5)" and the MIC with "(G10.4)". The information dialog between the files of a
// series repeats them.
struct RunlogTexts {
  std::string sse_text = std::string(30, ' ');
  std::string mic_text = std::string(30, ' ');
};

// When globals::bcancelrun is 0 and globals::bcorrectmdl is not 0: builds the texts and
// appends "SSQR= <sse> : MIC= <mic>" (80 characters at most) with the first 80 characters of
// the data file's name as given (`data_file`, with stringlib::visible's codes for the
// characters that cannot be shown) as the routine and state 1; returns true. Otherwise writes
// nothing, sets mic to 0 and returns false. The fit run calls it after the report of every fit
// that ran to its end, whether the report was written or failed.
bool runlog_summary(std::string_view data_file, double sse, double& mic, RunlogTexts& texts);

}  // namespace sharc_runlog
