#include "engine/sharc_report.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <string>
#include <system_error>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "files/units.hpp"
#include "numerics/editfmt.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/pvalue.hpp"
#include "numerics/stringlib.hpp"
#include "toolkit/guikit.hpp"

namespace sharc_mod {
namespace {

using editfmt::Value;

constexpr std::string_view kDegenerateError = "There was an error in calculating the results.";
constexpr double kRunsLimit = 2.5799999237060547;  // 2.58 in single precision: passes

// The formats of one parameter cell of sections 10 to 12 in each file: a determined free
// parameter's value, a fixed parameter's "[Masked]" and an undetermined one's "[Undetermined]",
// as wide as the value's cell. Every cell of the scratch copy's sections 8 to 12, names
// included, is 15 columns wide ("[Undetermined]" and a blank before it), so that each value
// stands under its name in the summary shown on standard output and in the windows.
struct CellLayout {
  const char* r_free;
  const char* s_free;
  const char* r_fixed;
  const char* s_fixed;
  const char* r_undetermined;
  const char* s_undetermined;
};
constexpr CellLayout kStdErrCell = {"(5X,1p,G10.4,2X$)",
                                    "(3X,1p,E10.3,2X$)",
                                    "(5X,A8,4X$)",
                                    "(5X,A8,2X$)",
                                    "(3X,A14$)",
                                    "(1X,A14$)"};
constexpr CellLayout kLimitCell = {"(4X,1p,G11.3,2X$)",
                                   "(2X,1p,E11.3,2X$)",
                                   "(4X,A8,4X$)",
                                   "(5X,A8,2X$)",
                                   "(3X,A14$)",
                                   "(1X,A14$)"};
constexpr CellLayout kPValueCell = {"(4X,1p,G10.3,2X$)",
                                    "(3X,1p,E10.3,2X$)",
                                    "(5X,A8,4X$)",
                                    "(5X,A8,2X$)",
                                    "(2X,A14$)",
                                    "(1X,A14$)"};

constexpr std::string_view kMasked = "[Masked]";
constexpr std::string_view kUndetermined = "[Undetermined]";

// A parameter's cell of a section in both files: its formats, and the mark that fills it in
// place of a value (none for a parameter whose value fills it).
struct Cell {
  const char* r_format;
  const char* s_format;
  std::string_view mark;
};

// Parameter i's cell of a section of `layout`: a determined parameter's value, else the mark of
// a fixed or an undetermined one.
Cell cell_of(const FitResult& fit, int32_t i, const CellLayout& layout) {
  if (fit.determined(i)) return {layout.r_free, layout.s_free, {}};
  if (fit.mask(i) == 0) return {layout.r_fixed, layout.s_fixed, kMasked};
  return {layout.r_undetermined, layout.s_undetermined, kUndetermined};
}

// Parameter i's cell of the parameter values (section 9): the value of every parameter, a free
// one's to more digits in the results file.
Cell value_cell_of(const FitResult& fit, int32_t i) {
  return {fit.mask(i) != 0 ? "(5X,1p,G15.8,2X$)" : "(5X,1p,G11.4,2X$)", "(3X,1p,E10.3,2X$)", {}};
}

// What fills a cell: its mark, or the number x.
Value content(const Cell& cell, double x) {
  if (cell.mark.empty()) return x;
  return std::string(cell.mark);
}

// The names cell over a value's cell of the results file: as wide as that cell and the name
// centred over its field, so that each name stands over its own value whatever the widths of
// the cells before it (a free parameter's value cell of section 9 is wider than a fixed one's,
// a "[Masked]" limit's narrower than a value's). A number's field is that of -1E+300, whose
// digits (or asterisks, where they do not fit) fill it.
std::string name_over(const Cell& cell, const std::string& name) {
  const editfmt::Output filled = editfmt::write(cell.r_format, {content(cell, -1e300)});
  const size_t first = filled.text.find_first_not_of(' ');
  const size_t field = filled.text.find_last_not_of(' ') + 1 - first;
  const size_t lead = first + (field > name.size() ? (field - name.size()) / 2 : 0);
  std::string text = std::string(lead, ' ') + name;
  if (text.size() < filled.column) text.resize(filled.column, ' ');
  return text;
}

// The two layouts written side by side; `both` writes the same format to each.
class Writer {
 public:
  Writer()
      : r_([this](std::string_view l) { out_.results.emplace_back(l); }),
        s_([this](std::string_view l) { out_.scratch.emplace_back(l); }) {}

  void r(std::string_view fmt, std::initializer_list<Value> v) { r_.write(fmt, v); }
  void s(std::string_view fmt, std::initializer_list<Value> v) { s_.write(fmt, v); }
  void both(std::string_view fmt, std::initializer_list<Value> v) {
    r_.write(fmt, v);
    s_.write(fmt, v);
  }
  void both(std::string_view fmt, std::span<const Value> v) {
    r_.write(fmt, v);
    s_.write(fmt, v);
  }
  // A cell in both files, holding x or the cell's mark.
  void cell(const Cell& c, double x) {
    r(c.r_format, {content(c, x)});
    s(c.s_format, {content(c, x)});
  }
  // Records of nrutil::vecprn, to both files.
  void vecprn(VecView<const double> v, int32_t n) {
    nrutil::vecprn([this](std::string_view l) { r_.record(l); }, v, n, 10);
    nrutil::vecprn([this](std::string_view l) { s_.record(l); }, v, n, 10);
  }
  ReportText finish() {
    r_.finish();
    s_.finish();
    return std::move(out_);
  }

 private:
  ReportText out_;
  editfmt::RecordWriter r_;
  editfmt::RecordWriter s_;
};

// Section 3's format. Spearman r is written G12.6 under the 1p of the sum of squares; a
// negative r that G writes in exponent form (|r| < 0.1) takes 13 columns, its sign one more
// than a positive r, and G12.6 would fill the field with asterisks: such an r is written with
// one significant digit fewer, G12.5, in the same 12 columns. Every other r keeps G12.6.
std::string_view sse_spearman_format(double spearman) {
  const bool fits = editfmt::format_real("1p,G12.6", spearman).find('*') == std::string::npos;
  return fits ? "(1x, 1pE14.6, 3x, G12.6)" : "(1x, 1pE14.6, 3x, G12.5)";
}

// Sections 1 to 6: date, sum of squares, Spearman r, MIC and the model.
void write_summary(Writer& w, const FitResult& fit, const PostFit& st) {
  w.r("(A, A30)", {std::string(sharc_report_files::report_date_line), st.date});
  w.r("(/1x, A15, 10x, A11)", {"Unweighted SSE:", "Spearman r:"});
  w.s("(/1x, A15, 7x, A11)", {"Unweighted SSE:", "Spearman r:"});
  w.both(sse_spearman_format(st.spearman), {fit.sse, st.spearman});
  w.r("(/1x, A34)", {"Model Information Criterion (MIC):"});
  w.s("(1x, A34)", {"Model Information Criterion (MIC):"});
  w.both("(1x, 1p,E14.4)", {st.mic});
  w.both("(/1X,A6)", {"Model:"});
  w.both("(1x, A)", {report_model_text()});
}

// Sections 7 to 12: parameters, standard errors, confidence limits and p-values, one column
// per parameter; a value line stays open until the next heading's "/" ends it. The names of the
// results file stand over their values (name_over); the scratch copy's are written with their
// own formats.
void write_parameters(Writer& w, const FitResult& fit) {
  const int32_t npr = fit.npr;
  auto names = [&](auto r_cell, const char* s_fmt, const char* label, Value s_tail) {
    for (int32_t i = 1; i <= npr; ++i) {
      w.r("(A$)", {name_over(r_cell(i), editfmt::format("(A,I0)", {label, i}))});
      w.s(s_fmt, {label, i, s_tail});
    }
    w.both("(A1)", {" "});
  };
  auto section = [&](const CellLayout& layout) {
    return [&fit, &layout](int32_t i) { return cell_of(fit, i, layout); };
  };
  w.both("(/1X,A)", {"Final Parameter Values:"});
  names([&fit](int32_t i) { return value_cell_of(fit, i); }, "(7x,A1,I1,A6$)", "P", " ");
  for (int32_t i = 1; i <= npr; ++i) w.cell(value_cell_of(fit, i), fit.a(i));
  w.both("(//1x,A)", {"Parameter Standard Errors:"});
  names(section(kStdErrCell), "(7x,A2,I1,A5$)", "SE", " ");
  for (int32_t i = 1; i <= npr; ++i) {
    w.cell(cell_of(fit, i, kStdErrCell), fit.ase(i));
  }
  w.both("(//1x,A)", {"Parameter 95% Confidence Limits:"});
  names(section(kLimitCell), "(6x,A2,I1,A6$)", "CL", "    ");
  for (int32_t side : {-1, 1}) {
    if (side == 1) w.both("(A1)", {" "});
    for (int32_t i = 1; i <= npr; ++i) {
      w.cell(cell_of(fit, i, kLimitCell), fit.a(i) + side * fit.pcl(i));
    }
  }
  w.both("(//1x,A)", {"Parameter Significance (p-value < 5.E-02):"});
  names(section(kPValueCell), "(4x,A7,I1,A3$)", "p-value", " ");
  const int32_t free = fit.statistics_count();
  for (int32_t i = 1; i <= npr; ++i) {
    double p = 0.0, se = fit.ase(i);
    int32_t flag = 0;
    ppval(p, flag, free, fit.n, fit.a(i), se);
    w.cell(cell_of(fit, i, kPValueCell), p);
  }
}

// The parameters that the data do not determine, named on a line of their own below the
// p-values (left open like a value line), so that the summary says why their cells are empty
// or their errors so large: those that move no fitted value, and those that trade off against
// others along a combination the data hardly fix.
void write_undetermined(Writer& w, const FitResult& fit) {
  std::string moves_nothing, inseparable;
  for (int32_t i = 1; i <= fit.npr; ++i) {
    if (fit.mask(i) == 0) continue;
    const std::string name = "P" + std::to_string(i);
    if (fit.undetermined(i) == kMovesNothing) {
      moves_nothing += (moves_nothing.empty() ? "" : ", ") + name;
    } else if (fit.inseparable(i) != 0) {
      inseparable += (inseparable.empty() ? "" : ", ") + name;
    }
  }
  if (!moves_nothing.empty()) {
    w.both(
        "(//1x,A$)",
        {"Undetermined (changes no fitted value; left out of the statistics): " + moves_nothing});
  }
  if (!inseparable.empty()) {
    w.both("(//1x,A$)", {"Not determined separately by the data: " + inseparable});
  }
}

// The names of the free parameters of the statistics for sections 13 and 15, ended by an empty
// text.
void free_names(Writer& w, const FitResult& fit, const char* fmt, const std::string& tail) {
  for (int32_t i = 1; i <= fit.npr; ++i) {
    if (fit.in_statistics(i)) w.both(fmt, {"P", i, tail});
  }
  w.both("(A1)", {""});
}

// Sections 13 to 15: correlation triangle, eigenvalues and the principal component.
void write_collinearity(Writer& w, const FitResult& fit, const PostFit& st) {
  const int32_t m = fit.statistics_count();
  w.both("(//1x,A)", {"Correlation Matrix:"});
  free_names(w, fit, "(7x,A1,I1,A2$)", " ");
  std::vector<Value> row;
  for (int32_t r = 1; r <= m; ++r) {
    for (int32_t k = 1; k < r; ++k) w.both("(5x,a6$)", {"------"});
    row.clear();
    for (int32_t k = r; k <= m; ++k) row.emplace_back(fit.correl(r, k));
    w.both("(2x,8(1x,F8.4,2x))", row);
  }
  w.both("( /1x, A21, 1pE8.2, A34 )",
         {"Eigenvalues values < ", st.eigen_threshold, " may suggest parameter redundancy:"});
  FVector<double> magnitudes(m);
  for (int32_t k = 1; k <= m; ++k) magnitudes(k) = std::fabs(fit.dcorr(k));
  w.vecprn(VecView<const double>(magnitudes.data(), m), m);
  w.both("(/1x,A19,1X,A23)", {"Principal Component", "Parameter Influence (%)"});
  free_names(w, fit, "(5x,A1,I1,A6$)", std::string(6, ' '));
  row.clear();
  for (int32_t k = 1; k <= m && st.ismall >= 1; ++k) row.emplace_back(fit.pcmp(k, st.ismall));
  w.both("(1x,8(1x,F6.2,6x))", row);
}

// Section 16: the runs-test table, and in the scratch copy the counts behind it.
void write_runs(Writer& w, const RunsTest& t) {
  w.both("(1X)", {});
  w.both("(1X,'RUNS STATISTIC: PASS if |Run-ExpRun|/(StdDev Run) < 2.58 (pval=1%)')", {});
  w.both("(1X,2X,'LENGTH',13X,'RUNS',8X,'z-Value',4X,'RANDOM RUNS')", {});
  const int32_t last = std::min(kRunLengths, std::max(t.longest_up, t.longest_down));
  for (int32_t k = 1; k <= last; ++k) {
    if (t.runs(k) <= 1e-6) continue;
    const double z = std::fabs(t.z(k));
    const std::string verdict =
        std::string(z > kRunsLimit ? "FAIL" : "PASS") + std::string(11, ' ');
    if (k < kRunLengths) {
      w.both("(1X,4X,I2,15X,F4.0,5X,F9.3,6X,A16)", {k, t.runs(k), z, verdict});
    } else {
      w.both("(1X,4X,I2,1X,A10,4X,F4.0,5X,F9.3,6X,A16)", {k, "or greater", t.runs(k), z, verdict});
    }
  }
  w.s("(1X)", {});
  w.s("(1X,'NUMBER OF POSITIVE RESIDUALS',3X,'=',1X,I5)", {t.npos});
  w.s("(1X,'NUMBER OF NEGATIVE RESIDUALS',3X,'=',1X,I5)", {t.nneg});
  w.s("(1X,'NUMBER OF ZERO RESIDUALS',7X,'=',1X,I5)", {t.nzero});
  w.s("(1X,'LENGTH OF THE LONGEST RUN UP',3X,'=',1X,I5)", {t.longest_up});
  w.s("(1X,'LENGTH OF THE LONGEST RUN DOWN',1X,'=',1X,I5)", {t.longest_down});
}

// Sections 17 to 19: the listing of x, y, fitted y and studentized residual with row marks.
void write_listing(Writer& w, const FitResult& fit, const PostFit& st) {
  w.both("(/2x,A)", {"X, Y, Ycalc, Residual Results:"});
  for (int32_t j = 1; j <= fit.nx; ++j) w.both("(6x,A1,I1,A5$)", {"X", j, "     "});
  w.both("(6x,A1,A6$)", {"Y", "      "});
  w.both("(6x,A5,A2$)", {"Ycalc", "  "});
  w.both("(6x,A10,1X,A6,F6.3$)", {"|Residual|", "> Tau=", st.tau});
  w.both("(A1)", {""});
  // The values of a row take nx + 3 fields; the mark follows as A13.
  const std::string count = std::to_string(fit.nx + 3);
  const std::string plain = "(1x," + count + "(1p,G14.6))";
  const std::string marked = "(1x," + count + "(1p,G14.6),A13)";
  std::vector<Value> row;
  for (int32_t i = 1; i <= fit.n; ++i) {
    row.clear();
    for (int32_t j = 1; j <= fit.nx; ++j) row.emplace_back(fit.x(i, j));
    row.emplace_back(fit.y(i));
    row.emplace_back(fit.yfit(i));
    row.emplace_back(fit.studres(i));
    const std::string mark = row_mark(fit.studres(i), st.tau, st.pidx(i));
    if (!mark.empty()) row.emplace_back(mark);
    w.both(mark.empty() ? plain : marked, row);
  }
}

// --- Files ----------------------------------------------------------------------------------

// The fatal line of a file that failed, on the standard output.
void fatal_line(std::string_view fmt, std::string_view text) {
  units::console() << editfmt::format(fmt, {std::string(text)}) << '\n';
}

// The failure the units just reported (EIO when they gave none).
std::error_code failure() {
  const std::error_code err = units::last_error();
  return err ? err : file_safety::system_error(EIO);
}

// Writes the lines over the working file open as fd, from its first byte, and then cuts it
// to their length: the room reserved beyond them is kept until the text is all written. None,
// or the error of what failed.
std::error_code write_file(int fd, const std::vector<std::string>& lines) {
  {
    units::ScopedUnit unit(fd, units::Mode::Overwrite);
    if (!unit.ok()) return failure();
    for (const std::string& l : lines) {
      if (!units::write_line(unit.unit(), l)) return failure();
    }
    if (!units::flush(unit.unit())) return failure();
  }
  const off_t end = ::lseek(fd, 0, SEEK_CUR);  // the unit shares the descriptor's offset
  if (end < 0 || ::ftruncate(fd, end) != 0) return file_safety::system_error(errno);
  return {};
}

// "Saved in file: " and the report's name (every character visible), whole, in lines of the
// report buffers' length.
std::vector<std::string> saved_lines() {
  const std::string saved =
      "Saved in file: " + stringlib::visible(stringlib::trim(globals::output_file_name));
  std::vector<std::string> lines;
  for (size_t at = 0; at < saved.size(); at += size_t(globals::len_line)) {
    lines.push_back(saved.substr(at, size_t(globals::len_line)));
  }
  return lines;
}

}  // namespace

bool report_read_back(int fd, const std::string& date) {
  units::ScopedUnit unit(fd, units::Mode::Read);
  if (!unit.ok()) return false;
  // Lines are read as 220-character records (longer ones cut).
  std::string line;
  auto next = [&] {
    if (unit.read_line(line) != units::ReadStatus::Ok) return false;
    globals::cline = stringlib::fixed(line, globals::len_line);
    return true;
  };
  if (!next()) return false;
  // The summary, cut so that the closing lines (the report's name, a blank line and the date)
  // still fit in the buffer; the first line is the empty one that starts the scratch copy.
  const std::vector<std::string> saved = saved_lines();
  const int32_t closing = int32_t(saved.size()) + 2;
  std::string msge = stringlib::trim(globals::cline);
  std::vector<std::string> summary;
  while (int32_t(summary.size()) < globals::max_lines - closing && next() &&
         stringlib::s_indexi(globals::cline.substr(0, 80), "NUMBER") == 0) {
    msge = stringlib::trim(stringlib::fixed(msge + "\r\n" + globals::cline, globals::len_message));
    summary.push_back(globals::cline);
  }
  if (summary.empty()) return false;  // stale buffers must not pass for this run's report
  const std::string blank(globals::len_line, ' ');
  globals::sline3.fill(blank);
  globals::sline5.fill(blank);
  globals::nlines3 = int32_t(summary.size());
  for (int32_t k = 1; k <= globals::nlines3; ++k) globals::sline3(k) = summary[size_t(k - 1)];
  // The name shown with every character visible (an ESC or a line feed in it would act on the
  // terminal or split the line) and whole: a name cut short names another file.
  std::string whole;
  for (const std::string& l : saved) whole += l;
  const size_t room = size_t(globals::len_message) - whole.size() - 1;
  globals::msge = stringlib::fixed(msge.substr(0, room) + "\n" + whole, globals::len_message);
  for (const std::string& l : saved) {
    globals::sline3(++globals::nlines3) = stringlib::fixed(l, globals::len_line);
  }
  globals::sline3(globals::nlines3 + 2) =
      stringlib::fixed("Date Saved: " + date, globals::len_line);
  globals::nlines3 += 2;
  // The listing: the lines after its title (at most 61, since the title is one of the 62).
  globals::nlines5 = 0;
  bool title = false;
  for (int32_t k = 1; k <= globals::max_lines && next(); ++k) {
    if (title) {
      globals::sline5(++globals::nlines5) = globals::cline;
    } else {
      title = stringlib::s_indexi(globals::cline.substr(0, 50), "YCALC") > 0;
    }
  }
  return true;
}

std::string report_model_text() {
  if (globals::nmdl > 0) {
    common_udf::cudf = common_udf::cmdl;
    std::string text = common_udf::cmdl;
    stringlib::s_adjustl(text);
    return stringlib::trim(text);
  }
  return "y = " + stringlib::trim(common_udf::cudf);
}

ReportText report_text(const FitResult& fit, const PostFit& stats, bool complete) {
  Writer w;
  write_summary(w, fit, stats);
  write_parameters(w, fit);
  write_undetermined(w, fit);
  write_collinearity(w, fit, stats);
  if (fit.npr - fit.fixed() >= 1) write_runs(w, fit.runs);
  write_listing(w, fit, stats);
  if (complete) w.r("(A1)", {""});
  return w.finish();
}

void abort_run(std::string_view message, int32_t blanks) {
  const std::string tail = "\r\n\r\n" + std::string(size_t(std::max(blanks, 0)), ' ') +
                           "*** RUN ABORTED! ***";
  guikit::dlgmessage(3, std::string(message) + tail);
  globals::bdataerror = 1;
}

std::string file_error_text(std::string_view message,
                            const std::filesystem::path& path,
                            std::error_code err) {
  std::string text = std::string(message) + "\r\n" + stringlib::visible(path.string());
  if (err) text += ": " + err.message();
  return text;
}

ReportStatus results_report(const FitResult& fit,
                            const PostFit& stats,
                            sharc_report_files::ReportFiles& files,
                            std::string_view run_error) {
  if (fit.sse < 0) return ReportStatus::NotWritten;
  const bool degenerate = degenerate_fit(fit);
  ReportText text = report_text(fit, stats, !degenerate);
  // A report of a run that ended in error says so before anything else.
  const std::string_view error = degenerate ? kDegenerateError : run_error;
  if (!error.empty()) {
    text.results.insert(text.results.begin(),
                        std::string(sharc_report_files::report_error_line) + std::string(error));
  }
  // A scratch copy that cannot be written leaves the previous results file's name in place.
  if (const std::error_code err = write_file(files.scratch_fd(), text.scratch)) {
    fatal_line("(/1x, A34)", "TEMPORARY DATA FILE - Fatal error!");
    abort_run(
        file_error_text("The scratch file of the report cannot be written.", files.scratch(), err));
    files.remove();
    return ReportStatus::Failed;
  }
  globals::output_file_name = stringlib::fixed(files.report_name(), globals::len_file_name);
  // The results file is written under a name of its own and renamed over the old report only
  // when complete: of runs at once, the last to finish wins, and none sees another's half file.
  std::error_code err = write_file(files.partial_fd(), text.results);
  // The file at fault: the report when its text could not be written, else what commit names.
  std::filesystem::path at_fault = files.results();
  if (!err) {
    err = files.commit();
    at_fault = files.failed();
  }
  if (err) {
    fatal_line("(/1x, A31)", "OUTPUT DATA FILE - Fatal error!");
    files.remove();
    abort_run(file_error_text("The report cannot be written.", at_fault, err));
    return ReportStatus::Failed;
  }
  // The listing's x columns also become the shared x columns, once both files hold it.
  for (int32_t i = 1; i <= fit.n; ++i) {
    if (fit.nx >= 1) common_data::xd(i) = fit.x(i, 1);
    if (fit.nx >= 2) common_data::xd2(i) = fit.x(i, 2);
    if (fit.nx >= 3) common_data::xd3(i) = fit.x(i, 3);
  }
  if (degenerate) {
    files.remove_scratch();
    abort_run(std::string(kDegenerateError) +
              "\r\nThe data lacks randomness and the\r\n"
              "number of data points minus number of parameters < 3.\r\n\r\n"
              "Add more X,Y data points and rerun.");
    return ReportStatus::WrittenInError;
  }
  hand_over(fit);
  const std::filesystem::path scratch = files.scratch();
  const bool read = report_read_back(files.scratch_fd(), stats.date);
  files.remove_scratch();
  if (!read) {
    fatal_line("(/1x, A30)", "INPUT DATA FILE - Fatal error!");
    abort_run(file_error_text("The scratch file of the report cannot be read back.", scratch, {}));
    return ReportStatus::WrittenInError;
  }
  return ReportStatus::Written;
}

}  // namespace sharc_mod
