// The fit run: blocks of a data file (or of a numbered series) from the row count to the
// run-log line. The steps are tagged as main_subs.hpp numbers them.
#include "engine/main_subs.hpp"

#include <cctype>
#include <cmath>
#include <limits>
#include <system_error>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "common/nrtype.hpp"
#include "engine/main_subs_block.hpp"
#include "engine/sharc_cascade.hpp"
#include "engine/sharc_final.hpp"
#include "engine/sharc_report.hpp"
#include "files/file_safety.hpp"
#include "files/sharc_runlog.hpp"
#include "files/units.hpp"
#include "model/funct.hpp"
#include "model/model_front.hpp"
#include "model/readwrite.hpp"
#include "numerics/prec_mod.hpp"
#include "numerics/stringlib.hpp"
#include "toolkit/guikit.hpp"

namespace main_subs {
namespace {

enum class BlockEnd {
  DataError,  // refused by a check (an Error dialog was shown)
  Rejected,   // the user answered No
  Failed,     // fitted, but the cascade took its error path or the report failed
  Reported,   // fitted and reported
};

constexpr int32_t kStageCode = 91;
constexpr double kHitnrunOffset = 1e-9;

// Why the data file could not be held, as the message says it.
std::string content_failure(std::error_code err) {
  if (err == std::errc::file_too_large) {
    return "It is larger than " + std::to_string(units::max_snapshot_bytes >> 20) + " MiB.";
  }
  if (err == file_safety::Reason::ChangedWhileRead) return "It changed while being read.";
  return err.message() + ".";
}

// The file read whole for the block's readers: they open it a number of times, and the
// confirmation waits between them, so that a file replaced meanwhile would give them a mix of
// two contents.
bool hold_content(Block& b) {
  b.content.emplace(b.file);
  if (b.content->status() == 2) {
    missing_file_message(b.file);
    return false;
  }
  if (b.content->status() != 0) {
    unreadable_file_message(b.file, content_failure(units::last_error()));
    return false;
  }
  return true;
}

// Step 2, first half: the file's name as given, its content held and the block's lines counted.
bool count_block(Block& b) {
  b.file = data_file_name();
  if (!hold_content(b)) return false;
  const readwrite::Status s = readwrite::a_row_count(b.file, b.lines);
  if (s == readwrite::Status::OpenFailed) {
    missing_file_message(b.file);
    return false;
  }
  if (s == readwrite::Status::LineTooLong || s == readwrite::Status::ReadError) {
    globals::bnext = 0;
    unreadable_file_message(
        b.file, readwrite::line_fault(b.file, b.lines + 1, 0, readwrite::ValueKind::Real));
    return false;
  }
  b.too_many = s == readwrite::Status::TooManyRows;
  return true;
}

// The report's files, made before the confirmation: a folder that cannot take the report (one
// that is read-only or not the user's, a full disk, a folder in the report's place) refuses the
// data file now rather than after the fit.
bool make_report_files(Block& b) {
  const std::error_code err = b.report.create(b.file, b.lines - readwrite::header_lines);
  if (!err) return true;
  const std::string message = "The report of the data file\r\n" + stringlib::visible(b.file) +
                              "\r\ncannot be written beside it:";
  sharc_mod::abort_run(sharc_mod::file_error_text(message, b.report.failed(), err));
  return false;
}

// Step 7: the starting vector, from the previous run on a Restart.
void starting_values(Block& b) {
  VecView<double> a = b.fit.a.view();
  if (globals::bpostrun != 0) {
    for (int32_t i = 1; i <= b.npar; ++i) a(i) = common_data::pfinal(i);
    b.ssq = common_data::fssqr;
    return;
  }
  for (int32_t i = 1; i <= b.npar; ++i) {
    a(i) = b.par(i);
    common_data::pfinal(i) = a(i);
  }
}

// Step 8: x columns, y and the data-set index.
void data_setup(Block& b) {
  const int32_t m = b.nvar;
  for (int32_t i = 1; i <= b.rows; ++i) {
    for (int32_t k = 1; k <= m; ++k) {
      b.fit.x(i, k) = b.xy(i, k);
      common_data::xnx(i, k) = b.xy(i, k);
    }
    b.fit.y(i) = b.xy(i, m + 1);
    common_data::yd(i) = b.fit.y(i);
  }
  common_data::nxd = m;
  data_sets(b.fit.x.view(), b.rows, m);
}

void set_weights(Block& b, VecView<const double> r) {
  if (b.index == 1) {
    reweight(r, b.rows, b.fit.sigy.view());
  } else {
    b.fit.sigy.fill(1.0);
  }
}

// Step 9: compiles the formula and evaluates it once at the starting vector (first row).
bool compile(Block& b) {
  b.ssq = kRecompile;
  if (globals::nmdl != 0) return true;
  FVector<double> x1(b.nvar);
  for (int32_t k = 1; k <= b.nvar; ++k) x1(k) = b.fit.x(1, k);
  const int32_t ierr =
      fnparse2(b.fit.a.view(), x1.view(), b.npar, b.nvar, 1, common_udf::cudf, b.ssq);
  if (ierr == 0) return true;
  // A formula that passed the check but cannot be compiled is a syntax error all the same.
  globals::berror = 1;
  syntax_error_message(ierr, message_for(ierr, 0, 0), common_udf::cudf, "");
  return false;
}

// One pass of the cascade over the block's arrays.
void cascade(Block& b, int32_t& level, int32_t& first_pass) {
  sharc_mod::FitResult& f = b.fit;
  sharc_mod::StatsOut stats{
      f.correl.view(), f.dcorr.view(), f.pcmp.view(), b.resid.view(), {}, f.studres.view()};
  int32_t code = kStageCode;
  double offset = kHitnrunOffset;
  sharc_mod::sharc(f.x.view(),
                   f.y.view(),
                   f.yfit.view(),
                   f.sigy.view(),
                   b.index,
                   b.nvar,
                   b.rows,
                   f.a.view(),
                   b.npar,
                   f.mask.view(),
                   b.albnd.view(),
                   b.aubnd.view(),
                   level,
                   b.ssq,
                   f.ase.view(),
                   f.pcl.view(),
                   b.res17.view(),
                   stats,
                   &code,
                   offset,
                   &first_pass,
                   globals::bpostrun);
  f.runs = stats.runs;
  f.sse_floor = stats.sse_floor;
  f.undetermined = stats.undetermined;
  f.inseparable = stats.inseparable;
}

// Step 10 and the weighting and level set-up between the passes.
void passes(Block& b, int32_t formula_flag) {
  globals::iopt2 = globals::iopt;
  globals::brewt = 0;
  int32_t level = globals::iopt;
  int32_t first_pass = formula_flag != 0 && globals::bpostrun == 0 ? 1 : 0;
  VecView<double> a = b.fit.a.view();
  if (first_pass == 1) {
    common_data::fssqr = b.ssq;
    for (int32_t i = 1; i <= b.npar; ++i) a(i) = common_data::pfinal(i);
  } else {
    b.ssq = common_data::fssqr;
    for (int32_t i = 1; i <= b.npar; ++i) common_data::pfinal(i) = a(i);
  }
  cascade(b, level, first_pass);
  common_data::fssqr = b.ssq;
  for (int32_t i = 1; i <= b.rows; ++i) common_data::ydf(i) = b.fit.yfit(i);
  bool second = true;
  if (b.index == 1) {
    for (int32_t i = 1; i <= b.rows; ++i) {
      common_data::ydr(i) = b.fit.studres(i);
      common_data::ysig(i) = common_data::ydr(i);
    }
    set_weights(b, common_data::ydr.view(b.rows));
    globals::brewt = 1;
  } else {
    set_weights(b, {});
    globals::bpostrun = 0;
    globals::brewt = 0;
    second = globals::iopt == 3;
  }
  // A Cancel (or the cascade's error path) in the first pass ends the fit with that pass.
  if (!second || globals::bcancelrun.load() != 0) return;
  first_pass = 0;
  if (globals::iopt == 3) {  // the Difficult hand-over
    globals::iopt2 = -1;
    globals::iopt = -1;
    level = 3;
  } else {
    level = globals::iopt;
  }
  cascade(b, level, first_pass);
  common_data::fssqr = b.ssq;
}

// Step 11 in the fit's frame: the final evaluation and the post-fit statistics.
sharc_mod::PostFit statistics_in_frame(Block& b) {
  sharc_mod::FitResult& f = b.fit;
  for (int32_t i = 1; i <= b.npar; ++i) f.a(i) = common_data::pfinal(i);
  double fval = 0.0;
  funct::fun(f.x.view(),
             f.y.view(),
             f.a.view(),
             b.npar,
             b.nvar,
             b.rows,
             b.index,
             f.yfit.view(),
             f.sigy.view(),
             fval);
  for (int32_t i = 1; i <= b.rows; ++i) {
    common_data::ydf(i) = f.yfit(i);
    common_data::ydr(i) = f.studres(i);
    common_data::ysig(i) = f.studres(i);
  }
  set_weights(b, f.studres.view());
  if (b.index != 1) globals::brewt = 0;
  globals::bpostrun = 0;
  f.sse = common_data::fssqr;
  return sharc_mod::postfit_statistics(f);
}

// Step 11 in the user's units: report and run-log line. Every fit that ran to its end adds its
// line, also when its report failed (a fit too small to test, a report that could not be
// written or read back); the cascade's error path, like a Cancel, sets globals::bcancelrun
// and so adds none.
sharc_mod::ReportStatus report_and_log(Block& b,
                                       sharc_mod::PostFit& stats,
                                       sharc_runlog::RunlogTexts& texts) {
  const sharc_mod::ReportStatus report = sharc_mod::results_report(
      b.fit, stats, b.report, sharc_mod::error_path_taken ? sharc_mod::error_path_reason : "");
  sharc_runlog::runlog_summary(data_file_name(), b.fit.sse, stats.mic, texts);
  return report;
}

// Steps 10 and 11: the fit in its frame, entered here and left here: the passes, the tests that
// a fit can fail, the final evaluation and the statistics inside it, the report outside.
BlockEnd fit_in_frame(Block& b, int32_t formula_flag, sharc_runlog::RunlogTexts& texts) {
  if (!fittable(b)) return BlockEnd::DataError;
  enter_frame(b);
  const bool started = start_in_range(b);
  sharc_mod::PostFit stats;
  if (started) {
    passes(b, formula_flag);
    if (!sharc_mod::error_path_taken && sum_moves(b)) near_data(b);
    stats = statistics_in_frame(b);
  }
  leave_frame(b);
  if (!started) return BlockEnd::DataError;
  return report_and_log(b, stats, texts) == sharc_mod::ReportStatus::Written &&
                 !sharc_mod::error_path_taken
             ? BlockEnd::Reported
             : BlockEnd::Failed;
}

// Steps 2 to 11 for the block at the top of the current file.
BlockEnd run_block(int32_t& formula_flag, sharc_runlog::RunlogTexts& texts) {
  Block b;
  sharc_mod::error_path_taken = false;
  sharc_mod::cancel_pressed.store(false);
  // Step 2.
  if (!count_block(b) || !make_report_files(b)) return BlockEnd::DataError;
  if (globals::bpostrun == 0) {
    switch (model_line(b)) {
      case ModelLine::Rejected:
        return BlockEnd::Rejected;
      case ModelLine::DataError:
        return BlockEnd::DataError;
      case ModelLine::Accepted:
        break;
    }
    check_udf(common_udf::cudf, formula_flag);
  }
  // Step 3.
  if (globals::nmdl != 0) {
    model_line_message();
    return BlockEnd::DataError;
  }
  // Step 4.
  int32_t length = 0, ierr = 0;
  std::string message;
  parse_func(b.npar, b.nvar, common_udf::cudf, length, ierr, message);
  common_data::npr = b.npar;
  // A formula whose only "X" stands in a function name (P1*EXP(P2)) has no variable to fit
  // against, and the cascade cannot run without one: refused like a line without "X".
  if (b.nvar == 0) {
    model_line_message();
    return BlockEnd::DataError;
  }
  b.rows = b.lines - readwrite::header_lines;
  b.index = globals::iwt - 1;
  // Steps 5 and 6, and a row that would leave the others no say.
  if (!shape_checks(b) || !load_values(b) || !no_mark_rows(b)) return BlockEnd::DataError;
  // Steps 7 to 9.
  starting_values(b);
  data_setup(b);
  set_weights(b, common_data::ydr.view(b.rows));
  if (!compile(b)) return BlockEnd::DataError;
  // Steps 10 and 11.
  return fit_in_frame(b, formula_flag, texts);
}

// Step 13, first part: the Information dialog between the files of a series.
void series_message(const sharc_runlog::RunlogTexts& texts) {
  const std::string name = data_file_name();
  size_t cut = name.find_last_of("/\\");
  if (cut == std::string::npos) cut = name.find_last_of(':');
  const std::string part = cut == std::string::npos ? name : name.substr(cut + 1);
  guikit::dlgmessage(
      1,
      stringlib::trim(stringlib::visible(part) + " : SSQR= " + stringlib::trim(texts.sse_text) +
                      " : MIC= " + texts.mic_text));
}

// Step 13 when the name gives no next file: the block asked for one, and the run says why
// none follows instead of ending as after END.
void no_next_file_message(const std::string& file) {
  sharc_mod::abort_run("The data file\r\n" + file +
                       "\r\nends its block at NEXT, but its name gives no next file:\r\n"
                       "a series is named with \"#\" and a number just before \".DAT\"\r\n"
                       "(run#1.dat, run#2.dat, ...).");
}

}  // namespace

void reweight(VecView<const double> r, int32_t n, VecView<double> w) {
  double least = std::numeric_limits<double>::max();
  for (int32_t i = 1; i <= n; ++i) {
    w(i) = std::fabs(r(i)) + 1.0;
    if (w(i) < least) least = w(i);  // a NaN never compares below
  }
  for (int32_t i = 1; i <= n; ++i) {
    const double v = w(i) - least + 1.0;
    w(i) = v != v ? 1.0 : std::fmin(std::fmax(v, 1.0), 10.0);
  }
}

void data_sets(MatView<const double> x, int32_t n, int32_t m) {
  bool grouped = m >= 2 && n >= 1;
  if (grouped) {
    common_data::id2(1) = 1;
    for (int32_t i = 2; i <= n; ++i) {
      common_data::id2(i) = common_data::id2(i - 1) + (x(i, 2) != x(i - 1, 2) ? 1 : 0);
    }
    common_data::id2number = common_data::id2(n);
    // The grouping holds only for sets of several rows that never come back.
    if (n >= 2 && x(1, 2) != x(2, 2)) grouped = false;
    if (common_data::id2(1) == common_data::id2(n)) grouped = false;
    double top = x(1, 2);
    for (int32_t i = 2; i <= n && grouped; ++i) {
      if (x(i, 2) < top && x(i, 2) == x(1, 2)) grouped = false;
      top = std::fmax(top, x(i, 2));
    }
  }
  if (grouped) return;
  for (int32_t i = 1; i <= n; ++i) common_data::id2(i) = 1;
  common_data::id2number = 1;
}

bool set_input_file(std::string_view path) {
  if (static_cast<int32_t>(path.size()) > globals::len_file_name) {
    every_block_reported = false;
    sharc_mod::abort_run("The path of the data file is " + std::to_string(path.size()) +
                         " characters long;\r\nat most " + std::to_string(globals::len_file_name) +
                         " fit in the file name field.\r\n" + std::string(path.substr(0, 60)) +
                         "...");
    return false;
  }
  input_file = path;
  globals::input_file_name = stringlib::fixed(path, globals::len_file_name);
  return true;
}

std::string data_file_name() {
  if (stringlib::fixed(input_file, globals::len_file_name) == globals::input_file_name) {
    return input_file;
  }
  std::string field = globals::input_file_name;
  stringlib::s_adjustl(field);
  return stringlib::trim(field);
}

bool next_series_name(std::string& name) {
  const size_t base = name.find_last_of('/') + 1;  // the file's own name
  const int32_t dat = stringlib::s_indexi(std::string_view(name).substr(base), ".DAT");
  if (dat == 0) return false;
  const size_t end = base + size_t(dat - 1);
  size_t first = end;
  while (first > base && std::isdigit(static_cast<unsigned char>(name[first - 1])) != 0) --first;
  if (first == end || first == base || name[first - 1] != '#') return false;
  // Counted on in its own digits, a carry widening the number: #9 to #10, #099 to #100.
  size_t at = end;
  while (at > first && name[at - 1] == '9') name[--at] = '0';
  if (at == first) {
    name.insert(first, 1, '1');
  } else {
    ++name[at - 1];
  }
  return true;
}

void main_sub() {
  // Step 1.
  nrtype::epsmachine = prec_mod::prec(-1);
  int32_t formula_flag = 0;
  every_block_reported = true;
  for (;;) {
    sharc_runlog::RunlogTexts texts;  // the texts of this block's run-log line, when it has one
    const BlockEnd end = run_block(formula_flag, texts);
    if (end != BlockEnd::Reported) every_block_reported = false;
    // Step 12: the block's arrays are gone with it.
    globals::iexpzero = 0;
    // A cancelled file ends the series: the next file is not read. Any other end of a block,
    // the error path included, goes on with the next file.
    if (globals::bnext != 1 || globals::bpostrun != 0 || sharc_mod::cancel_pressed.load()) break;
    // Step 13. A block without a run-log line has no sum of squares to show.
    if (!stringlib::trim(texts.sse_text).empty()) series_message(texts);
    globals::bnext = 0;
    std::string name = data_file_name();
    if (!next_series_name(name)) {
      // A refused block has had its Error; a line that only began with N (a note, the model
      // line "Name: ...") asked for no series.
      if (end != BlockEnd::DataError && end != BlockEnd::Rejected) {
        no_next_file_message(stringlib::visible(name));
      }
      every_block_reported = false;
      break;
    }
    // A name grown past the field by its mark is refused, not cut.
    if (!set_input_file(name)) break;
  }
  globals::bnext = 0;
}

}  // namespace main_subs
