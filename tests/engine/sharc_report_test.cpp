#include "engine/sharc_report.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "files/units.hpp"
#include "numerics/editfmt.hpp"
#include "numerics/pvalue.hpp"
#include "numerics/stringlib.hpp"
#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/window_system.hpp"
#include "rename_hook.hpp"
#include "stats_fixture.hpp"
#include "support/file_size_limit.hpp"
#include "toolkit/gk_window.hpp"

namespace {

// While set, the disk is full: a write to a regular file past the room it holds fails.
std::atomic<bool> disk_full{false};

}  // namespace

extern "C" int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  if (const std::function<void()> act = std::exchange(enginetest::before_rename, nullptr)) act();
  return static_cast<int>(::syscall(SYS_renameat2, from_dir, from, to_dir, to, 0));
}

extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
  struct stat st = {};
  if (disk_full && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      ::lseek(fd, 0, SEEK_CUR) + off_t(count) > off_t(st.st_blocks) * 512) {
    errno = ENOSPC;
    return -1;
  }
  return ::syscall(SYS_write, fd, bytes, count);
}

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::vector<std::string> golden(const std::string& name) {
  std::ifstream in(std::string(VARQEN_SOURCE_DIR) + "/tests/engine/golden/" + name);
  std::stringstream s;
  s << in.rdbuf();
  return lines_of(s.str());
}

// A fit of five parameters, P3 fixed, to six rows: every section of the report has something
// to show (a masked column, a 4 x 4 correlation triangle, three-digit exponents, runs rows of
// both layouts with a pass on the limit, marked listing rows).
void fixed_fit(sharc_mod::FitResult& fit, sharc_mod::PostFit& st) {
  fit.resize(6, 5, 4, 1);
  const double x[] = {1, 2, 3, 4, 5, 1e100};
  const double y[] = {3.1, 2.7, 2.45, 2.2, 2.05, 1.9};
  const double yfit[] = {3.0, 2.75, 2.5, 2.25, 2.0, 1.95};
  const double studres[] = {0.5, -1.25, -0.75, -0.5, 2.25, -2.0};
  for (int32_t i = 1; i <= 6; ++i) {
    fit.x(i, 1) = x[i - 1];
    fit.y(i) = y[i - 1];
    fit.yfit(i) = yfit[i - 1];
    fit.studres(i) = studres[i - 1];
  }
  const double a[] = {2.5, -1.234567891e-5, 1.5e-120, 123456.789, 0.05};
  const double ase[] = {0.0123, 4.5e-7, 0.0, 1234.56, 0.75};
  const double pcl[] = {0.03, 1e-6, 0.0, 3000.0, 2.0};
  for (int32_t k = 1; k <= 5; ++k) {
    fit.a(k) = a[k - 1];
    fit.ase(k) = ase[k - 1];
    fit.pcl(k) = pcl[k - 1];
    fit.mask(k) = k == 3 ? 0 : 1;
  }
  const double correl[4][4] = {{1.0, -0.9876, 0.5, 0.123456},
                               {-0.9876, 1.0, -0.25, 0.0},
                               {0.5, -0.25, 1.0, -0.33333},
                               {0.123456, 0.0, -0.33333, 1.0}};
  const double dcorr[] = {2.1, 1.2, 0.6, -0.001};
  const double influence[] = {10.0, 20.5, 30.25, 39.25};
  for (int32_t j = 1; j <= 4; ++j) {
    fit.dcorr(j) = dcorr[j - 1];
    for (int32_t k = 1; k <= 4; ++k) {
      fit.correl(j, k) = correl[j - 1][k - 1];
      fit.pcmp(j, k) = k == 4 ? influence[j - 1] : 99.0;
    }
  }
  fit.runs.npos = 3;
  fit.runs.nneg = 2;
  fit.runs.nzero = 0;
  fit.runs.longest_up = 16;
  fit.runs.longest_down = 1;
  fit.runs.runs(1) = 3;
  fit.runs.runs(2) = 1;
  fit.runs.runs(15) = 1;
  fit.runs.z(1) = -0.25;
  fit.runs.z(2) = 2.5799999237060547;  // the limit itself passes
  fit.runs.z(15) = -3.0;
  fit.sse = 0.012345678;
  st.date = "Mon Dec  7 06:53:13 2026      ";
  st.spearman = 0.9428571428571428;
  st.mic = -3.4567;
  st.eigen_threshold = 0.0003513641700572214;
  st.ismall = 4;
  st.tau = 1.8877;
  st.pidx = FVector<int32_t>(6, 0);
  st.pidx(3) = 1;
  st.pidx(5) = 1;  // an influential row is not also marked suspect
  common_udf::cudf = stringlib::fixed("P1*EXP(-P2*X1)+P3+P4*X1+P5*X1^2", common_udf::len_text);
}

TEST(FileErrorText, NamesThePathAndTheSystemsReason) {
  const struct {
    std::error_code err;
    const char* tail;
  } cases[] = {{file_safety::system_error(ENOSPC), "/d/a.TXT: No space left on device"},
               {file_safety::system_error(EACCES), "/d/a.TXT: Permission denied"},
               {file_safety::system_error(EROFS), "/d/a.TXT: Read-only file system"},
               {file_safety::Reason::NotAReport,
                "/d/a.TXT: a file that is not a report of this program, which a run never "
                "replaces"},
               {{}, "/d/a.TXT"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    EXPECT_EQ(sharc_mod::file_error_text("The report cannot be written.", "/d/a.TXT", c.err),
              std::string("The report cannot be written.\r\n") + c.tail);
  }
}

class Report : public enginetest::StatsFixture {};

TEST_F(Report, BothLayoutsMatchTheGoldenFilesLineByLine) {
  sharc_mod::FitResult fit;
  sharc_mod::PostFit st;
  fixed_fit(fit, st);
  const sharc_mod::ReportText text = sharc_mod::report_text(fit, st, true);
  EXPECT_EQ(text.results, golden("report_results.txt"));
  EXPECT_EQ(text.scratch, golden("report_scratch.txt"));
}

// The first and last column of each word of a line.
std::vector<std::pair<size_t, size_t>> word_spans(const std::string& line) {
  std::vector<std::pair<size_t, size_t>> spans;
  for (size_t at = line.find_first_not_of(' '); at != std::string::npos;) {
    const size_t end = std::min(line.find(' ', at), line.size());
    spans.emplace_back(at, end - 1);
    at = line.find_first_not_of(' ', end);
  }
  return spans;
}

// In the scratch copy, which standard output and the windows show, every value of sections 8
// to 12 stands under its name, a masked or an undetermined parameter's mark too.
TEST_F(Report, ScratchValuesStandUnderTheirNames) {
  const struct {
    const char* section;
    int32_t value_lines;
  } sections[] = {{"Final Parameter Values:", 1},
                  {"Parameter Standard Errors:", 1},
                  {"Parameter 95% Confidence Limits:", 2},
                  {"Parameter Significance (p-value < 5.E-02):", 1}};
  for (const int32_t undetermined : {0, 2}) {
    SCOPED_TRACE(::testing::Message() << "undetermined P" << undetermined);
    sharc_mod::FitResult fit;
    sharc_mod::PostFit st;
    fixed_fit(fit, st);
    if (undetermined != 0) fit.undetermined(undetermined) = 1;
    const std::vector<std::string> lines = sharc_mod::report_text(fit, st, true).scratch;
    for (const auto& sec : sections) {
      SCOPED_TRACE(sec.section);
      const auto heading = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return stringlib::trim(l) == std::string(" ") + sec.section;
      });
      ASSERT_NE(heading, lines.end());
      const auto names = word_spans(*(heading + 1));
      ASSERT_EQ(names.size(), 5u);
      for (int32_t v = 1; v <= sec.value_lines; ++v) {
        const auto values = word_spans(*(heading + 1 + v));
        ASSERT_EQ(values.size(), names.size()) << *(heading + 1 + v);
        for (size_t k = 0; k < names.size(); ++k) {
          SCOPED_TRACE(k + 1);
          EXPECT_LE(values[k].first, names[k].second);
          EXPECT_LE(names[k].first, values[k].second);
        }
      }
    }
  }
}

bool overlap(std::pair<size_t, size_t> a, std::pair<size_t, size_t> b) {
  return a.first <= b.second && b.first <= a.second;
}

// In the results file every value of sections 8 to 12 stands under its own name, for 1 to 10
// parameters, free, fixed and undetermined ones in any order: the value's columns meet those of
// its name and of no other name. The value lines are written with the sections' value formats,
// as ever, so that a program that reads the values by position still finds them.
TEST_F(Report, ResultsValuesStandUnderTheirOwnNamesInUnchangedValueLines) {
  sharc_mod::FitResult rows;
  sharc_mod::PostFit st;
  fixed_fit(rows, st);
  st.ismall = 0;
  // Values in the fixed and the exponent forms of each G format, of either sign.
  const double a[] = {2.5,
                      -1.234567891e-5,
                      1.5e-120,
                      123456.789,
                      0.05,
                      -7.25,
                      6.02214076e23,
                      -0.3,
                      42.0,
                      0.0999999999};
  const double se[] = {0.0123, 4.5e-7, 1e-130, 1234.56, 0.75, 3.5, 1e21, 0.01, 100.0, 0.5};
  // Each section's value formats in the results file: a determined free parameter's, a fixed
  // one's and an undetermined one's.
  const struct {
    const char* heading;
    const char* free;
    const char* fixed;
    const char* undetermined;
  } sections[] = {
      {"Final Parameter Values:", "(5X,1p,G15.8,2X$)", "(5X,1p,G11.4,2X$)", "(5X,1p,G15.8,2X$)"},
      {"Parameter Standard Errors:", "(5X,1p,G10.4,2X$)", "(5X,A8,4X$)", "(3X,A14$)"},
      {"Parameter 95% Confidence Limits:", "(4X,1p,G11.3,2X$)", "(4X,A8,4X$)", "(3X,A14$)"},
      {"Parameter Significance (p-value < 5.E-02):",
       "(4X,1p,G10.3,2X$)",
       "(5X,A8,4X$)",
       "(2X,A14$)"}};
  // The number of parameter i in section s (side -1 and 1: its lower and upper limit).
  auto number = [](const sharc_mod::FitResult& fit, size_t s, int32_t side, int32_t i) {
    if (s == 0) return fit.a(i);
    if (s == 1) return fit.ase(i);
    if (s == 2) return fit.a(i) + side * fit.pcl(i);
    double p = 0.0, se = fit.ase(i);
    int32_t flag = 0;
    ppval(p, flag, fit.statistics_count(), fit.n, fit.a(i), se);
    return p;
  };
  for (const std::string kinds : {"F", "FMU", "UMF"}) {  // free, masked, undetermined
    for (int32_t npr = 1; npr <= 10; ++npr) {
      SCOPED_TRACE(::testing::Message() << npr << " parameters of the kinds " << kinds);
      sharc_mod::FitResult fit;
      fit.resize(6, npr, npr, 1);
      for (int32_t i = 1; i <= 6; ++i) {
        fit.x(i, 1) = rows.x(i, 1);
        fit.y(i) = rows.y(i);
        fit.yfit(i) = rows.yfit(i);
        fit.studres(i) = rows.studres(i);
      }
      for (int32_t i = 1; i <= npr; ++i) {
        const char kind = kinds[size_t(i - 1) % kinds.size()];
        fit.mask(i) = kind == 'M' ? 0 : 1;
        fit.undetermined(i) = kind == 'U' ? 1 : 0;
        fit.a(i) = a[i - 1];
        fit.ase(i) = se[i - 1];
        fit.pcl(i) = 2.0 * se[i - 1];
      }
      const std::vector<std::string> lines = sharc_mod::report_text(fit, st, true).results;
      for (size_t s = 0; s < std::size(sections); ++s) {
        SCOPED_TRACE(sections[s].heading);
        const auto heading =
            std::find(lines.begin(), lines.end(), std::string(" ") + sections[s].heading);
        ASSERT_NE(heading, lines.end());
        const auto names = word_spans(*(heading + 1));
        ASSERT_EQ(names.size(), size_t(npr)) << *(heading + 1);
        for (int32_t side = s == 2 ? -1 : 0; side <= (s == 2 ? 1 : 0); side += 2) {
          std::string expected;
          editfmt::RecordWriter values_of([&expected](std::string_view l) { expected = l; });
          for (int32_t i = 1; i <= npr; ++i) {
            if (fit.determined(i) || s == 0) {
              values_of.write(fit.mask(i) != 0 ? sections[s].free : sections[s].fixed,
                              {number(fit, s, side, i)});
            } else if (fit.mask(i) == 0) {
              values_of.write(sections[s].fixed, {"[Masked]"});
            } else {
              values_of.write(sections[s].undetermined, {"[Undetermined]"});
            }
          }
          if (side == -1) values_of.write("(A1)", {" "});  // the lower limits' line ends so
          values_of.finish();
          const std::string& line = *(heading + (side == 1 ? 3 : 2));
          EXPECT_EQ(line, expected);
          const auto values = word_spans(line);
          ASSERT_EQ(values.size(), names.size()) << line;
          for (size_t k = 0; k < names.size(); ++k) {
            for (size_t j = 0; j < names.size(); ++j) {
              EXPECT_EQ(overlap(values[k], names[j]), j == k)
                  << "value " << k + 1 << ", name " << j + 1 << "\n"
                  << *(heading + 1) << "\n"
                  << line;
            }
          }
        }
      }
    }
  }
}

TEST_F(Report, RunsRowsAppearOnlyForLengthsThatOccur) {
  sharc_mod::FitResult fit;
  sharc_mod::PostFit st;
  fixed_fit(fit, st);
  // Rises of 3, 1 and falls of 1, 1: no run of length 2, the longest of length 3.
  const double r[] = {1, 2, 3, 4, 3, 4, 3};
  fit.runs = sharc_mod::RunsTest();
  sharc_mod::runs_statistic(VecView<const double>(r, 7), 7, fit.runs);
  const std::vector<std::string> lines = sharc_mod::report_text(fit, st, true).results;
  size_t at = 0;
  while (lines[at].find("LENGTH") == std::string::npos) ++at;
  std::vector<std::string> rows;
  for (++at; !lines[at].empty(); ++at) rows.push_back(lines[at].substr(0, 26));
  EXPECT_EQ(rows,
            (std::vector<std::string>{"      1                 3.", "      3                 1."}));
}

// A negative r in exponent form is one column wider than a positive one: it loses a digit
// rather than the field. Every other r keeps its six digits.
TEST_F(Report, SpearmanRShowsInItsTwelveColumnsWhateverItsSign) {
  const struct {
    double r;
    const char* shown;
  } cases[] = {
      {-0.0839160839160839, "-8.39161E-02"},
      {-1e-5, "-1.00000E-05"},
      {-0.0999999, "-0.10000    "},  // five digits round it up to the fixed-point form
      {0.0839160839160839, "8.391608E-02"},
      {-0.5, "-.500000    "},
      {-1.0, "-1.00000    "},
  };
  sharc_mod::FitResult fit;
  sharc_mod::PostFit st;
  fixed_fit(fit, st);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.r);
    st.spearman = c.r;
    const sharc_mod::ReportText text = sharc_mod::report_text(fit, st, true);
    const std::string line = "   1.234568E-02   " + std::string(c.shown);
    EXPECT_EQ(text.results[3], line);
    EXPECT_EQ(text.scratch[2], line);
  }
}

TEST_F(Report, ANumberedModelPrintsItsOwnText) {
  globals::nmdl = 4;
  common_udf::cmdl = stringlib::fixed("  y = a + b*exp(-c*x)", common_udf::len_text);
  EXPECT_EQ(sharc_mod::report_model_text(), "y = a + b*exp(-c*x)");
  EXPECT_EQ(common_udf::cudf, common_udf::cmdl);
}

const std::string kAborted = "\r\n\r\n" + std::string(30, ' ') + "*** RUN ABORTED! ***";
const std::string kOldReport = " DATE: Mon Dec  7 06:53:13 2026\n";  // an earlier run's report

// No file of the report but the results file is left in its folder.
bool only_results_file_left(const std::filesystem::path& folder) {
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.path().filename() != "Decay.TXT") return false;
  }
  return true;
}

// The whole report, with its dialogs on a headless display.
class ReportRun : public enginetest::StatsFixture {
 protected:
  void SetUp() override {
    StatsFixture::SetUp();
    gk::reset();
    gk::attach(&system);
    fixed_fit(fit, st);
    globals::input_file_name = stringlib::fixed(dir.file("Decay.Dat"), globals::len_file_name);
    ASSERT_FALSE(files.create(dir.file("Decay.Dat"), fit.n));
  }
  void TearDown() override {
    gk::reset();
    StatsFixture::TearDown();
  }
  std::string results_path() const { return dir.file("Decay.TXT"); }
  std::vector<std::string> dialog_texts() {
    std::vector<std::string> out;
    for (const auto& d : dialogs.shown()) out.push_back(d.title + ": " + d.text);
    return out;
  }
  // Runs the report, which must fail with one Error dialog of `message` and the line `fatal`
  // on the standard output.
  void expect_failure(const std::string& message, const std::string& fatal) {
    std::ostringstream console;
    units::set_console(&console);
    EXPECT_EQ(sharc_mod::results_report(fit, st, files), sharc_mod::ReportStatus::Failed);
    EXPECT_EQ(globals::bdataerror, 1);
    EXPECT_EQ(dialog_texts(), std::vector<std::string>{"Error: " + message + kAborted});
    EXPECT_NE(console.str().find(fatal), std::string::npos) << console.str();
  }

  platform::HeadlessBackend backend;
  platform::HeadlessDialogs dialogs;
  platform::WindowSystem system{backend, dialogs};
  sharc_mod::FitResult fit;
  sharc_mod::PostFit st;
  sharc_report_files::ReportFiles files;
};

TEST_F(ReportRun, WritesTheResultsFileReadsTheScratchCopyBackAndDeletesIt) {
  common_data::nd = 0;
  ASSERT_EQ(sharc_mod::results_report(fit, st, files), sharc_mod::ReportStatus::Written);
  EXPECT_TRUE(dialogs.shown().empty());
  EXPECT_EQ(stringlib::trim(globals::output_file_name), results_path());
  std::ifstream in(results_path());
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(lines_of(s.str()), golden("report_results.txt"));
  EXPECT_TRUE(only_results_file_left(dir.path()));

  // The summary: the scratch copy from its second line up to the first count line.
  const std::vector<std::string> scratch = golden("report_scratch.txt");
  size_t counts = 0;
  while (scratch[counts].find("NUMBER") == std::string::npos) ++counts;
  const int32_t summary = int32_t(counts) - 1;
  ASSERT_EQ(globals::nlines3, summary + 3);
  std::string msge;
  for (int32_t k = 1; k <= summary; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(globals::sline3(k), stringlib::fixed(scratch[size_t(k)], globals::len_line));
    msge = stringlib::trim(msge + "\r\n" + stringlib::fixed(scratch[size_t(k)], globals::len_line));
  }
  const std::string saved = "Saved in file: " + results_path();
  EXPECT_EQ(globals::sline3(summary + 1), stringlib::fixed(saved, globals::len_line));
  EXPECT_EQ(globals::sline3(summary + 2), std::string(globals::len_line, ' '));
  EXPECT_EQ(globals::sline3(summary + 3),
            stringlib::fixed("Date Saved: " + st.date, globals::len_line));
  EXPECT_EQ(globals::msge, stringlib::fixed(msge + "\n" + saved, globals::len_message));
  // The listing: from its header to the end of the scratch copy.
  size_t title = 0;
  while (scratch[title].find("Ycalc") == std::string::npos) ++title;
  ASSERT_EQ(globals::nlines5, int32_t(scratch.size() - title - 1));
  for (int32_t k = 1; k <= globals::nlines5; ++k) {
    EXPECT_EQ(globals::sline5(k), stringlib::fixed(scratch[title + size_t(k)], globals::len_line));
  }
  EXPECT_EQ(globals::sline5(globals::nlines5 + 1), std::string(globals::len_line, ' '));
  // The data handed to the result windows.
  EXPECT_EQ(common_data::nd, 6);
  EXPECT_EQ(common_data::xd(6), 1e100);
  EXPECT_EQ(common_data::ydf(2), 2.75);
  EXPECT_EQ(common_data::xmin0, 1.0);
  EXPECT_DOUBLE_EQ(common_data::xdl(2), std::log10(2.0));
}

TEST_F(ReportRun, AFolderThatCannotTakeTheReportIsFoundBeforeTheFitAndKeepsNothing) {
  files.remove();
  const struct {
    const char* what;
    const char* data_file;
    const char* made;    // a folder made first
    rlim_t limit;        // a file size limit (0: none)
    const char* failed;  // what failed, in dir
    std::errc err;
  } cases[] = {
      {"missing folder",
       "gone/Decay.DAT",
       nullptr,
       0,
       "gone",
       std::errc::no_such_file_or_directory},
      {"a folder in the report's place",
       "Decay.Dat",
       "Decay.TXT",
       0,
       "Decay.TXT",
       std::errc::is_a_directory},
      {"no room for the report", "Decay.Dat", nullptr, 4096, "", std::errc::file_too_large},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.made != nullptr) std::filesystem::create_directory(dir.path() / c.made);
    sharc_report_files::ReportFiles refused;
    {
      std::optional<testsupport::FileSizeLimit> limit;
      if (c.limit != 0) limit.emplace(c.limit);
      EXPECT_EQ(refused.create(dir.file(c.data_file), 1000), c.err);
    }
    EXPECT_EQ(refused.failed(), *c.failed ? dir.path() / c.failed : dir.path());
    EXPECT_FALSE(refused.ready());
    EXPECT_EQ(dir.names(), c.made ? std::vector<std::string>{c.made} : std::vector<std::string>{});
    if (c.made != nullptr) std::filesystem::remove(dir.path() / c.made);
  }
}

TEST_F(ReportRun, AReportThatCannotBeWrittenAfterTheFitLeavesTheEarlierOneAndNoFileOfTheRun) {
  std::ofstream(results_path()) << kOldReport;
  globals::output_file_name = stringlib::fixed("/r/Previous.TXT", globals::len_file_name);
  common_data::xd(1) = -7.0;
  const std::string scratch = files.scratch().string();
  {
    // The disk fills during the fit: the reserved room is no guarantee.
    testsupport::FileSizeLimit limit(1024);
    expect_failure(
        "The scratch file of the report cannot be written.\r\n" + scratch + ": File too large",
        "TEMPORARY DATA FILE - Fatal error!");
  }
  EXPECT_EQ(dir.read("Decay.TXT"), kOldReport);
  EXPECT_TRUE(only_results_file_left(dir.path()));
  EXPECT_EQ(stringlib::trim(globals::output_file_name), "/r/Previous.TXT");
  EXPECT_EQ(common_data::xd(1), -7.0);
  EXPECT_EQ(globals::nlines3, 0);  // the buffers are not touched
}

TEST_F(ReportRun, AResultsFileThatCannotReplaceTheOldOneLeavesNoFileOfTheRun) {
  std::filesystem::create_directory(results_path());  // made in the report's place during the fit
  expect_failure("The report cannot be written.\r\n" + results_path() + ": Is a directory",
                 "OUTPUT DATA FILE - Fatal error!");
  EXPECT_TRUE(std::filesystem::is_directory(results_path()));
  std::filesystem::remove(results_path());
  EXPECT_TRUE(dir.names().empty());
}

// A working file swapped, between its making and the report, for a link to another file (a
// neighbour in a folder others may write), a folder or a FIFO, or only removed: the run writes
// and reads only the file it made, so the other file is never touched; a results file found
// replaced or removed is not renamed into the report's place and is named in the message, which
// says which of the two befell it; what was planted stays.
TEST_F(ReportRun, AWorkingFileSwappedForAnotherIsNeverWrittenThroughAndIsNamed) {
  const std::filesystem::path victim = dir.path() / "victim";
  const auto symbolic = [&](const std::filesystem::path& p) {
    std::filesystem::create_symlink(victim, p);
  };
  const auto hard = [&](const std::filesystem::path& p) {
    std::filesystem::create_hard_link(victim, p);
  };
  const auto folder = [](const std::filesystem::path& p) { std::filesystem::create_directory(p); };
  const auto fifo = [](const std::filesystem::path& p) { ::mkfifo(p.c_str(), 0600); };
  const std::string replaced =
      "the run's working file was replaced by another file, which is left as it is";
  const struct {
    const char* what;
    bool results_file;  // the results file swapped, else the scratch copy
    std::function<void(const std::filesystem::path&)> plant;  // empty: only removed
    std::string reason;                                       // why the report cannot be written
  } cases[] = {
      {"scratch: symbolic link", false, symbolic, ""},
      {"scratch: hard link", false, hard, ""},
      {"results: symbolic link", true, symbolic, replaced},
      {"results: hard link", true, hard, replaced},
      {"results: folder", true, folder, replaced},
      {"results: FIFO", true, fifo, replaced},
      {"results: removed", true, nullptr, "the run's working file was removed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(victim) << "secret\n";
    ASSERT_FALSE(files.create(dir.file("Decay.Dat"), fit.n));
    const std::filesystem::path swapped = c.results_file ? files.partial() : files.scratch();
    std::filesystem::remove(swapped);
    if (c.plant) c.plant(swapped);
    dialogs.clear();
    if (c.results_file) {
      expect_failure("The report cannot be written.\r\n" + swapped.string() + ": " + c.reason,
                     "OUTPUT DATA FILE - Fatal error!");
      EXPECT_FALSE(std::filesystem::exists(results_path()));
    } else {
      EXPECT_EQ(sharc_mod::results_report(fit, st, files), sharc_mod::ReportStatus::Written);
      EXPECT_TRUE(sharc_report_files::begins_report(dir.read("Decay.TXT")));
      EXPECT_FALSE(std::filesystem::is_symlink(results_path()));
    }
    EXPECT_EQ(dir.read("victim"), "secret\n");
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(swapped)), bool(c.plant));
    std::filesystem::remove(swapped);
    std::filesystem::remove(results_path());
  }
  files.remove();
  EXPECT_EQ(dir.names(), std::vector<std::string>{"victim"});
}

// A neighbour that swaps the results file for its own between the last look at it and the
// rename (in a folder where others may rename files) has its file put at the report's name:
// that is found after the rename, the run fails and says so, and the file stays as it is. One
// that removes the results file there is named as such.
TEST_F(ReportRun, AResultsFileSwappedOrRemovedJustBeforeItsRenameIsNamed) {
  const struct {
    const char* what;
    bool swapped;  // else removed
    std::string reason;
  } cases[] = {
      {"swapped",
       true,
       "another file took the place of the run's results file as it was renamed to this name, "
       "and is left as it is"},
      {"removed", false, "the run's working file was removed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_FALSE(files.create(dir.file("Decay.Dat"), fit.n));
    const std::filesystem::path partial = files.partial();
    const std::string planted = dir.write("planted", kOldReport);
    enginetest::before_rename = [&] {
      if (c.swapped) std::filesystem::rename(planted, partial);
      if (!c.swapped) std::filesystem::remove(partial);
    };
    dialogs.clear();
    expect_failure("The report cannot be written.\r\n" +
                       (c.swapped ? results_path() : partial.string()) + ": " + c.reason,
                   "OUTPUT DATA FILE - Fatal error!");
    EXPECT_EQ(std::filesystem::exists(results_path()), c.swapped);
    std::filesystem::remove(results_path());
    std::filesystem::remove(planted);
    EXPECT_TRUE(dir.names().empty());
  }
}

// A file of the report's name that is not a report of this program (notes, a data file of that
// name) is never replaced: refused before the fit, and when it appears during the fit, at the
// end. An earlier report, or a link to one, is replaced.
TEST_F(ReportRun, AFileOfTheReportsNameThatIsNoReportIsNeverReplaced) {
  const std::string refusal =
      ": a file that is not a report of this program, which a run never replaces";
  const struct {
    const char* what;
    std::string found;  // what the report's name holds
    bool link;          // through a link to a file that holds it
    bool replaced;
  } cases[] = {
      {"notes", "my notes\n", false, false},
      {"empty", "", false, false},
      {"a link to notes", "my notes\n", true, false},
      {"an earlier report", kOldReport, false, true},
      {"an earlier report that ended in error", " RUN ENDED IN ERROR: x\n", false, true},
      {"a link to an earlier report", kOldReport, true, true},
  };
  for (const bool during_fit : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (during_fit ? ", during the fit" : ", before it"));
      std::filesystem::remove(results_path());
      files.remove();
      if (during_fit) {
        ASSERT_FALSE(files.create(dir.file("Decay.Dat"), fit.n));
      }
      const std::string held = dir.write("held", c.found);
      if (c.link) {
        std::filesystem::create_symlink(held, results_path());
      } else {
        std::filesystem::copy_file(held, results_path());
      }
      dialogs.clear();
      if (!during_fit) {
        const std::error_code err = files.create(dir.file("Decay.Dat"), fit.n);
        EXPECT_EQ(!err, c.replaced);
        if (err) {
          EXPECT_EQ(files.failed().string() + ": " + err.message(), results_path() + refusal);
        }
      }
      if (files.ready()) {
        const sharc_mod::ReportStatus status = sharc_mod::results_report(fit, st, files);
        EXPECT_EQ(status == sharc_mod::ReportStatus::Written, c.replaced);
        if (!c.replaced) {
          EXPECT_EQ(dialog_texts(),
                    std::vector<std::string>{"Error: The report cannot be written.\r\n" +
                                             results_path() + refusal + kAborted});
        }
      }
      EXPECT_EQ(dir.read("Decay.TXT") == c.found, !c.replaced);
      EXPECT_EQ(dir.read("held"), c.found);
    }
  }
}

// The room reserved for the report before the fit stays its own until the report is
// complete: with the disk full meanwhile the report is still written, whole and cut to its
// length.
TEST_F(ReportRun, TheRoomReservedBeforeTheFitTakesTheReportWhenTheDiskFillsMeanwhile) {
  struct stat partial = {};
  ASSERT_EQ(::stat(files.partial().c_str(), &partial), 0);
  if (partial.st_blocks * 512 < partial.st_size) GTEST_SKIP() << "no room reserved here";
  common_data::nd = 0;
  disk_full = true;
  const sharc_mod::ReportStatus status = sharc_mod::results_report(fit, st, files);
  disk_full = false;
  EXPECT_EQ(status, sharc_mod::ReportStatus::Written);
  EXPECT_EQ(lines_of(dir.read("Decay.TXT")), golden("report_results.txt"));
}

TEST_F(ReportRun, TheWorkingDirectoryNeedNotBeWritable) {
  globals::cwd = stringlib::fixed(dir.file("missing") + "/", globals::len_dir);
  std::ofstream(results_path()) << kOldReport;
  EXPECT_EQ(sharc_mod::results_report(fit, st, files), sharc_mod::ReportStatus::Written);
  EXPECT_NE(dir.read("Decay.TXT"), kOldReport);
  EXPECT_TRUE(only_results_file_left(dir.path()));
}

TEST_F(ReportRun, AReportOfARunThatEndedInErrorSaysSoFirst) {
  ASSERT_EQ(sharc_mod::results_report(fit, st, files, "the cascade failed."),
            sharc_mod::ReportStatus::Written);
  EXPECT_EQ(lines_of(dir.read("Decay.TXT")).front(), " RUN ENDED IN ERROR: the cascade failed.");
}

TEST_F(ReportRun, ADegenerateFitIsRefusedAfterTheListingAndTheScratchFileIsDeleted) {
  // Three rows, three free parameters, an exact fit: nothing is left to test.
  fit.resize(3, 3, 3, 1);
  for (int32_t i = 1; i <= 3; ++i) {
    fit.x(i, 1) = i;
    fit.y(i) = fit.yfit(i) = 2.0 * i;
    fit.a(i) = 1.0;
  }
  fit.sse_floor = 0.0;
  st.mic = -4.503599727262001e19;
  st.pidx = FVector<int32_t>(3, 0);
  st.ismall = 1;
  EXPECT_EQ(sharc_mod::results_report(fit, st, files), sharc_mod::ReportStatus::WrittenInError);
  EXPECT_EQ(globals::bdataerror, 1);
  EXPECT_EQ(dialog_texts(),
            std::vector<std::string>{"Error: There was an error in calculating the results.\r\n"
                                     "The data lacks randomness and the\r\n"
                                     "number of data points minus number of parameters < 3.\r\n\r\n"
                                     "Add more X,Y data points and rerun." +
                                     kAborted});
  EXPECT_TRUE(only_results_file_left(dir.path()));
  // The results file holds the report up to the listing, without its closing line, under a
  // first line that says the run ended in error.
  std::ifstream in(results_path());
  std::stringstream s;
  s << in.rdbuf();
  const std::vector<std::string> lines = lines_of(s.str());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), " RUN ENDED IN ERROR: There was an error in calculating the results.");
  EXPECT_EQ(lines.back().substr(0, 15), "    3.00000    ");
  EXPECT_EQ(globals::nlines3, 0);
}

TEST_F(ReportRun, ANegativeSumOfSquaresWritesNoReport) {
  fit.sse = -1.0;
  globals::nlines3 = 7;
  EXPECT_EQ(sharc_mod::results_report(fit, st, files), sharc_mod::ReportStatus::NotWritten);
  EXPECT_FALSE(std::filesystem::exists(results_path()));
  EXPECT_EQ(globals::nlines3, 7);
  EXPECT_TRUE(dialogs.shown().empty());
}

}  // namespace

namespace {

class ReadBack : public enginetest::StatsFixture {
 protected:
  std::string scratch(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return dir.write("tempor.txt", text);
  }
  // report_read_back of the file `path`, held open as the run holds its scratch copy.
  static bool read_back(const std::string& path, const std::string& date) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const bool read = sharc_mod::report_read_back(fd, date);
    if (fd >= 0) ::close(fd);
    return read;
  }
};

TEST_F(ReadBack, AScratchCopyWithoutSummaryLeavesTheBuffersAsTheyWere) {
  globals::nlines3 = 5;
  globals::sline3(1) = "kept";
  EXPECT_FALSE(read_back(dir.file("tempor.txt"), "d"));
  EXPECT_FALSE(read_back(scratch({}), "d"));
  EXPECT_FALSE(read_back(scratch({"", " NUMBER OF POSITIVE RESIDUALS"}), "d"));
  EXPECT_EQ(globals::nlines3, 5);
  EXPECT_EQ(globals::sline3(1), "kept");
}

TEST_F(ReadBack, ALongSummaryIsCutSoThatTheClosingLinesFit) {
  globals::output_file_name = stringlib::fixed("/r/Run.TXT", globals::len_file_name);
  std::vector<std::string> lines = {""};
  for (int i = 1; i <= 70; ++i)
    lines.push_back(" summary " + std::to_string(i) + std::string(300, 'x'));
  lines.push_back("  X, Y, YCALC, Residual Results:");
  lines.push_back(" header");
  globals::sline5.fill("old");
  ASSERT_TRUE(read_back(scratch(lines), "Mon Dec  7 06:53:13 2026"));
  ASSERT_EQ(globals::nlines3, globals::max_lines);
  EXPECT_EQ(globals::sline3(59), stringlib::fixed(lines[59], globals::len_line));  // cut to 220
  EXPECT_EQ(stringlib::trim(globals::sline3(60)), "Saved in file: /r/Run.TXT");
  EXPECT_EQ(stringlib::trim(globals::sline3(62)), "Date Saved: Mon Dec  7 06:53:13 2026");
  EXPECT_EQ(int32_t(globals::msge.size()), globals::len_message);
  EXPECT_EQ(globals::msge.substr(0, 2), "\r\n");  // the empty first line starts it
  // The summary lines beyond the cut are passed over on the way to the listing's title.
  EXPECT_EQ(globals::nlines5, 1);
  EXPECT_EQ(stringlib::trim(globals::sline5(1)), " header");
  EXPECT_EQ(globals::sline5(2), std::string(globals::len_line, ' '));
}

// A report name longer than a line is shown whole over the lines it takes: a name cut short
// names a file that does not exist. The summary gives way to it.
TEST_F(ReadBack, ALongReportNameIsShownWhole) {
  const std::string name = "/r/" + std::string(400, 'n') + ".TXT";
  globals::output_file_name = stringlib::fixed(name, globals::len_file_name);
  std::vector<std::string> lines = {""};
  for (int i = 1; i <= 70; ++i) lines.push_back(" summary " + std::to_string(i));
  ASSERT_TRUE(read_back(scratch(lines), "date"));
  ASSERT_EQ(globals::nlines3, globals::max_lines);
  const std::string saved = "Saved in file: " + name;  // 419 characters: two lines
  EXPECT_EQ(stringlib::trim(globals::sline3(58)), " summary 58");
  EXPECT_EQ(globals::sline3(59) + stringlib::trim(globals::sline3(60)), saved);
  EXPECT_EQ(stringlib::trim(globals::sline3(62)), "Date Saved: date");
  EXPECT_NE(globals::msge.find("\n" + saved), std::string::npos);
}

TEST_F(ReadBack, TheSummaryStopsAtTheFirstCountLineInAnyCase) {
  globals::output_file_name = stringlib::fixed("/r/Run.TXT", globals::len_file_name);
  ASSERT_TRUE(read_back(scratch({"",
                                 " first",
                                 " second",
                                 " number of positive residuals = 3",
                                 " more",
                                 "",
                                 "  X, Y, Ycalc, Residual Results:",
                                 "      X1",
                                 " row 1"}),
                        "date"));
  EXPECT_EQ(globals::nlines3, 5);
  EXPECT_EQ(stringlib::trim(globals::sline3(2)), " second");
  EXPECT_EQ(stringlib::trim(globals::msge), "\r\n first\r\n second\nSaved in file: /r/Run.TXT");
  ASSERT_EQ(globals::nlines5, 2);
  EXPECT_EQ(stringlib::trim(globals::sline5(1)), "      X1");
  EXPECT_EQ(stringlib::trim(globals::sline5(2)), " row 1");
}

}  // namespace
