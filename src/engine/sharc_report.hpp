// Results report of the fit run (module sharc_mod, file of the report).
//
// The report is written twice at once: to the results file beside the data file (the data
// file's name with its last ".DAT", in any case, replaced by ".TXT") and to the narrower
// scratch copy, which also holds the residual-sign counts of the runs test. Every line goes
// through the edit-descriptor formatter. The scratch copy is then read back into globals::msge,
// sline3/nlines3 (the summary) and sline5/nlines5 (the listing) and deleted.
//
// Several runs may work in one folder at once, on one data file or on several: the scratch copy
// and the results file while it is written get names of their own, created exclusively in the
// report's folder (sharc_report_files.hpp), so no run reads another's results and the working
// directory need not be writable. The results file replaces an earlier report of its name by a
// rename once it is complete; of runs at once, the last to finish wins.
//
// Failures show an Error dialog naming the file and the system's reason, set
// globals::bdataerror and end the report.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/sharc_postfit.hpp"
#include "files/sharc_report_files.hpp"

namespace sharc_mod {

enum class ReportStatus {
  Written,         // both files written, the scratch copy read back and deleted
  NotWritten,      // the sum of squares is negative: no report
  WrittenInError,  // the results file was written, then an Error dialog ended the report
                   // (a degenerate fit, a scratch copy that could not be read back)
  Failed,          // no results file: an Error dialog was shown and globals::bdataerror set
};

// The lines of both layouts (results file R, scratch file S).
struct ReportText {
  std::vector<std::string> results;
  std::vector<std::string> scratch;
};

// The model line of the report: common_udf::cmdl for a numbered model (globals::nmdl > 0),
// else "y = " followed by the trimmed common_udf::cudf.
std::string report_model_text();

// Both layouts of the report of `fit`, up to the listing, and R's closing line when
// `complete` (a degenerate fit is refused before it). The p-values are computed anew here.
ReportText report_text(const FitResult& fit, const PostFit& stats, bool complete);

// Reads the scratch copy open as fd, from its first byte, back into the report buffers:
// globals::msge, the summary in sline3/nlines3 (its lines up to the first residual-sign count,
// then "Saved in file: " with the report's name as stringlib::visible shows it, whole, over
// as many lines as it takes, a blank line and "Date Saved: " with `date`; at most 62 lines in
// all) and the listing in sline5/nlines5 (the lines after its title). Every buffer starts
// blank. False, with the report buffers untouched, when the file cannot be read or holds no
// summary line.
bool report_read_back(int fd, const std::string& date);

// The Error dialog that ends a run: message, a blank line, `blanks` blanks and
// "*** RUN ABORTED! ***" (lines joined by CR LF); sets globals::bdataerror.
void abort_run(std::string_view message, int32_t blanks = 30);

// The text of an Error dialog about a file: the message, a line break, the file's path (as
// stringlib::visible shows it) and, when there is an error, ": " and its message ("No space
// left on device").
std::string file_error_text(std::string_view message,
                            const std::filesystem::path& path,
                            std::error_code err);

// The whole report of one fit, after postfit_statistics, into the files made by
// files.create: both files, the check of a degenerate fit, the hand-over to the result windows,
// the read-back into globals and the deletion of the scratch copy (also after a failure). Sets
// globals::output_file_name and copies the x columns into common_data::xd, xd2 and xd3. A run
// that ended in error but still has its report written (`run_error` not empty, or a degenerate
// fit) gets the first line " RUN ENDED IN ERROR: " and the reason.
ReportStatus results_report(const FitResult& fit,
                            const PostFit& stats,
                            sharc_report_files::ReportFiles& files,
                            std::string_view run_error = {});

}  // namespace sharc_mod
