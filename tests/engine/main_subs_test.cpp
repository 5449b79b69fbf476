// The fit run: a whole fit to its report and run-log line, Restart, the weighting and level
// set-up between the cascade's passes, the data-set index and numbered series of files.
#include "engine/main_subs.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/main_subs_fixture.hpp"
#include "engine/sharc_tval.hpp"
#include "model/funct.hpp"
#include "support/close.hpp"
#include "support/file_size_limit.hpp"
#include "support/nist_problem.hpp"

namespace {

using cascadetest::StageRecorder;
using mainsubtest::data_file;
using mainsubtest::MainSubTest;
using mainsubtest::michaelis_rows;

// What the cascade is handed at its start: the vector in pfinal and the sum in fssqr.
struct Start {
  std::vector<double> pfinal;
  double fssqr = 0.0;
};

// Stages that find no improvement, recording the start of every pass.
class Passes {
 public:
  Passes()
      : recorder_([this](sharc_mod::Stages&) {
          Start s;
          for (int32_t i = 1; i <= common_data::npr; ++i)
            s.pfinal.push_back(common_data::pfinal(i));
          s.fssqr = common_data::fssqr;
          starts.push_back(s);
          levels.push_back(globals::iopt);
          brewt.push_back(globals::brewt);
        }) {}
  std::vector<Start> starts;
  std::vector<int32_t> levels;  // globals::iopt as each pass starts
  std::vector<int32_t> brewt;   // globals::brewt as each pass starts

 private:
  StageRecorder recorder_;
};

TEST_F(MainSubTest, FitsTheFileAndWritesTheReportAndTheRunLogLine) {
  dir.write("mm.dat", data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows()));
  run("mm.dat");
  EXPECT_EQ(globals::bdataerror, 0);
  EXPECT_EQ(globals::bcorrectmdl, 1);
  EXPECT_EQ(globals::bpostrun, 0);
  EXPECT_EQ(globals::bnext, 0);
  // The least squares solution of these rows, computed independently (P1 is linear given P2;
  // a golden-section search on P2 gives 120.041090 and 3.9991378, sum 0.2957990).
  EXPECT_NEAR(common_data::pfinal(1), 120.041090, 1e-5);
  EXPECT_NEAR(common_data::pfinal(2), 3.9991378, 1e-6);
  EXPECT_NEAR(common_data::fssqr, 0.2957990, 1e-6);
  EXPECT_EQ(stringlib::trim(globals::output_file_name), dir.file("mm.TXT"));
  const std::string report = dir.read("mm.TXT");
  EXPECT_NE(report.find("y = P1*X1/(P2+X1)"), std::string::npos);
  EXPECT_GT(globals::nlines3, 5);
  const std::string log = dir.read("Varqen-runlog.txt");
  EXPECT_EQ(log.rfind(" " + dir.file("mm.dat") + " : SSQR= ", 0), 0u) << log;
  EXPECT_TRUE(main_subs::every_block_reported);
  // No scratch or partial file is left behind.
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"Varqen-runlog.txt", "mm.TXT", "mm.dat"}));
}

// The data file changed while the run waits at its confirmation (between the readers' opens of
// it): the run fits the content it began with, whole, never rows counted in one content and
// read from another.
TEST_F(MainSubTest, AFileChangedDuringTheRunIsReadAsItWasAtItsStart) {
  const std::string original = data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows());
  std::string other_rows;
  for (int x = 1; x <= 20; ++x) other_rows += std::to_string(x) + " 7\n";
  const std::string path = dir.file("mm.dat");
  const struct {
    const char* what;
    std::function<void()> change;
  } cases[] = {
      {"replaced by 20 other rows",
       [&] {
         std::filesystem::rename(
             dir.write("new.dat", data_file("Y=P1*X1/(P2+X1)", "1 1", "1 1", other_rows)), path);
       }},
      {"cut to its first 3 lines", [&] { dir.write("mm.dat", "Y=P1*X1/(P2+X1)\n100 2\n0 0\n"); }},
      {"removed", [&] { std::filesystem::remove(path); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset_all();
    dir.write("mm.dat", original);
    dialogs.script_while_open(c.change);
    run("mm.dat");
    EXPECT_EQ(globals::bdataerror, 0) << last_text();
    EXPECT_TRUE(main_subs::every_block_reported);
    // The fit of the original eight rows (see the first test).
    EXPECT_NEAR(common_data::pfinal(1), 120.041090, 1e-5);
    EXPECT_NEAR(common_data::fssqr, 0.2957990, 1e-6);
  }
}

// The report's files are made before the confirmation and go with the block however it ends: a
// folder that cannot take the report refuses the file before anything is asked or fitted, and
// no other way out leaves a file of the report behind.
TEST_F(MainSubTest, AFolderThatCannotTakeTheReportRefusesTheFileBeforeTheConfirmation) {
  const std::string model = "Y=P1*X1/(P2+X1)";
  const std::string good = data_file(model, "100 2", "1 1", michaelis_rows());
  const std::string refused = "The report of the data file\r\n" + dir.file("mm.dat") +
                              "\r\ncannot be written beside it:\r\n";
  const std::string aborted = "\r\n\r\n" + std::string(30, ' ') + "*** RUN ABORTED! ***";
  const struct {
    const char* what;
    std::string file;
    bool folder_in_place;  // a folder named as the report
    rlim_t limit;          // a file size limit: no room for the report (0: none)
    bool no;               // the confirmation is answered No
    std::vector<std::string> titles;
    std::string error;  // the Error dialog's text, when checked
    std::vector<std::string> left;
  } cases[] = {
      // clang-format off
      {"a folder in the report's place", good, true, 0, false, {"Error"},
       refused + dir.file("mm.TXT") + ": Is a directory" + aborted, {"mm.TXT", "mm.dat"}},
      {"no room for the report", good, false, 4096, false, {"Error"},
       refused + dir.path().string() + ": File too large" + aborted, {"mm.dat"}},
      {"No at the confirmation", good, false, 0, true, {"Information"}, "", {"mm.dat"}},
      {"a data error after the confirmation", data_file(model, "100 2", "1 1", "1 2\n2 x\n3 4\n"),
       false, 0, false, {"Information", "Error"}, "", {"mm.dat"}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directory(dir.path());
    dir.write("mm.dat", c.file);
    if (c.folder_in_place) std::filesystem::create_directory(dir.path() / "mm.TXT");
    dialogs.clear();
    if (c.no) no();
    globals::bdataerror = 0;
    Passes passes;
    {
      std::optional<testsupport::FileSizeLimit> limit;
      if (c.limit != 0) limit.emplace(c.limit);
      run("mm.dat");
    }
    std::vector<std::string> titles;
    for (const auto& b : boxes()) titles.push_back(b.title);
    EXPECT_EQ(titles, c.titles);
    if (!c.error.empty()) {
      EXPECT_EQ(last_text(), c.error);
    }
    EXPECT_TRUE(passes.starts.empty());
    EXPECT_FALSE(main_subs::every_block_reported);
    EXPECT_EQ(dir.names(), c.left);  // no run-log line either
  }
}

// The data folder moved during the fit: the report and the working files go along, and the
// report lands beside the data file in the folder's new place, which the run names.
TEST_F(MainSubTest, AFolderMovedDuringTheFitTakesTheReportAlong) {
  std::filesystem::create_directory(dir.path() / "data");
  dir.write("data/mm.dat", data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows()));
  const std::filesystem::path moved = dir.path() / "moved";
  StageRecorder mover([&](sharc_mod::Stages&) {
    if (!std::filesystem::exists(moved)) std::filesystem::rename(dir.path() / "data", moved);
  });
  run("data/mm.dat");
  EXPECT_TRUE(main_subs::every_block_reported);
  EXPECT_EQ(stringlib::trim(globals::output_file_name), (moved / "mm.TXT").string());
  EXPECT_EQ(testsupport::names_in(moved), (std::vector<std::string>{"mm.TXT", "mm.dat"}));
}

TEST_F(MainSubTest, StartsFreeZerosAtATinyValueAndKeepsFixedOnes) {
  Passes passes;
  dir.write("z.dat", data_file("Y=P1*X1/(P2+X1)+P3", "0.0 2 0.0", "1 1 0", michaelis_rows()));
  run("z.dat");
  ASSERT_EQ(passes.starts.size(), 1u);
  // In the passes' frame: P2 = 2 is 4 x 0.5.
  EXPECT_EQ(passes.starts[0].pfinal, (std::vector<double>{1e-16, 0.5, 0.0}));
}

TEST_F(MainSubTest, RestartStartsFromThePreviousFitWithoutConfirmation) {
  dir.write("mm.dat", data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows()));
  {
    Passes first;
    run("mm.dat");
    ASSERT_EQ(first.starts.size(), 1u);
    // In the passes' frame: 100 = 128 x 0.78125, 2 = 4 x 0.5.
    EXPECT_EQ(first.starts[0].pfinal, (std::vector<double>{0.78125, 0.5}));
  }
  // The previous run's result, as a Restart finds it.
  common_data::pfinal(1) = 110.0;
  common_data::pfinal(2) = 3.0;
  common_data::fssqr = 42.0;
  dialogs.clear();
  globals::bpostrun = 1;
  Passes restart;
  run("mm.dat");
  EXPECT_TRUE(boxes().empty());
  ASSERT_EQ(restart.starts.size(), 1u);
  EXPECT_EQ(restart.starts[0].pfinal, (std::vector<double>{110.0 / 128, 3.0 / 4}));
  EXPECT_EQ(restart.starts[0].fssqr, 42.0);
  EXPECT_EQ(globals::bpostrun, 0);
  EXPECT_EQ(globals::bdataerror, 0);
}

TEST_F(MainSubTest, RunsASecondPassForReweightingAndForDifficult) {
  const struct {
    int32_t iwt, iopt;
    std::vector<int32_t> levels, brewt;
  } cases[] = {
      {1, 1, {1}, {0}},
      {1, 2, {2}, {0}},
      {1, 3, {3, -1}, {0, 0}},
      {2, 2, {2, 2}, {0, 1}},
      {2, 3, {3, -1}, {0, 1}},
      {4, 1, {1}, {0}},
  };
  dir.write("mm.dat", data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows()));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "iwt " << c.iwt << " iopt " << c.iopt);
    globals::iwt = c.iwt;
    globals::iopt = c.iopt;
    Passes passes;
    run("mm.dat");
    EXPECT_EQ(passes.levels, c.levels);
    EXPECT_EQ(passes.brewt, c.brewt);
    // The cascade gives the level back after a Difficult second pass.
    EXPECT_EQ(globals::iopt, c.iopt);
    EXPECT_EQ(globals::bpostrun, 0);
  }
}

// A weighted fit of the example ends at the minimum of its own objective, the sum of squares as
// its weighting mode weights it: no vector near it (relative steps of 1e-4 to 1e-2 along each
// parameter and both diagonals) has a lower one. The robust minimum, 36.5794, lies near
// (119.954, 3.9801) in a narrow valley along which the sum rises by only 1e-3 over 3e-3 in P1,
// the spread of the runs; the unweighted optimum (119.929, 3.998) has the robust sum 38.53.
TEST_F(MainSubTest, WeightedFitsOfTheExampleEndAtTheMinimumOfTheirOwnObjective) {
  std::filesystem::copy_file(std::string(VARQEN_SOURCE_DIR) + "/examples/michaelis-menten.dat",
                             dir.path() / "mm.dat");
  const std::vector<double> x = {0.5, 1, 2, 3, 5, 8, 12, 20, 30, 50};
  const std::vector<double> y = {
      14.133, 23.5, 40.3, 50.529, 67.267, 79.8, 90.4, 99.3, 106.382, 110.811};
  auto objective = [&](int32_t mode, double p1, double p2) {
    std::vector<double> p = {p1, p2}, yf(10), sig(10, 1.0);
    double f = 0.0;
    funct::fun(MatView<const double>(x.data(), 10, 1, 10),
               VecView<const double>(y.data(), 10),
               VecView<const double>(p.data(), 2),
               2,
               1,
               10,
               mode,
               VecView<double>(yf.data(), 10),
               VecView<const double>(sig.data(), 10),
               f);
    return f;
  };
  const int directions[8][2] = {
      {1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
  globals::iopt = 2;
  for (int32_t iwt : {3, 4, 5}) {
    SCOPED_TRACE("iwt " + std::to_string(iwt));
    globals::iwt = iwt;
    run("mm.dat");
    const int32_t mode = iwt - 1;
    const double p1 = common_data::pfinal(1), p2 = common_data::pfinal(2);
    const double f = objective(mode, p1, p2);
    for (double step : {1e-4, 1e-3, 1e-2}) {
      for (const auto& d : directions) {
        EXPECT_GE(objective(mode, p1 * (1 + d[0] * step), p2 * (1 + d[1] * step)), f * (1 - 1e-12))
            << "step " << step << " along (" << d[0] << ", " << d[1] << ")";
      }
    }
    if (iwt == 4) {
      EXPECT_NEAR(p1, 119.954, 5e-3);
      EXPECT_NEAR(p2, 3.9801, 4e-4);
      EXPECT_NEAR(f, 36.5794, 2e-3);
    }
  }
}

// 3x3 inverse by cofactors.
std::array<std::array<double, 3>, 3> inverse3(const std::array<std::array<double, 3>, 3>& a) {
  std::array<std::array<double, 3>, 3> c{};
  for (int j = 0; j < 3; ++j) {
    for (int k = 0; k < 3; ++k) {
      const int j1 = (j + 1) % 3, j2 = (j + 2) % 3, k1 = (k + 1) % 3, k2 = (k + 2) % 3;
      c[k][j] = a[j1][k1] * a[j2][k2] - a[j1][k2] * a[j2][k1];  // transposed cofactor
    }
  }
  const double det = a[0][0] * c[0][0] + a[0][1] * c[1][0] + a[0][2] * c[2][0];
  for (auto& row : c) {
    for (double& v : row) v /= det;
  }
  return c;
}

// Chwirut2 weighted 1/Y^2: the rows of large Y, which the weights discount, are studentized as
// weighted residuals r_w = (y - f) / f with the leverages h of the weighted hat matrix
// W^1/2 J inv(J'WJ) J' W^1/2, computed here from the analytic Jacobian of
// exp(-P1 x) / (P2 + P3 x) at the fit's vector: t = r_w / (s sqrt(1 - h)), s^2 = sum r_w^2 /
// (n - 4), about 0.80 and 1.49 for rows 1 and 2. The listing scales every row, the first and
// the last as the others, by 1 / sqrt(1 - 1/n) and centres it on the mean of the rows as they
// stand (those before it centred already). Rows 1 and 2 are no longer "[Suspect]" (2.65 and
// 2.95 when the residuals were the unweighted ones).
TEST_F(MainSubTest, AWeightedFitListsTheStudentizedResidualsOfItsWeightedResiduals) {
  std::filesystem::copy_file(testsupport::nist_dir() + "/dat/Chwirut2-start1.dat",
                             dir.path() / "c2.dat");
  globals::iwt = 3;
  run("c2.dat");
  ASSERT_TRUE(main_subs::every_block_reported);
  const int32_t n = common_data::nd;
  const double p1 = common_data::pfinal(1), p2 = common_data::pfinal(2),
               p3 = common_data::pfinal(3);
  std::vector<std::array<double, 3>> jw(size_t(n) + 1);
  std::vector<double> rw(size_t(n) + 1), h(size_t(n) + 1), t(size_t(n) + 1);
  std::array<std::array<double, 3>, 3> a{};
  double v = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    const double x = common_data::xd(i), d = p2 + p3 * x, f = std::exp(-p1 * x) / d;
    jw[size_t(i)] = {-x, -1.0 / d, -x / d};  // sqrt(w) J with w = 1 / f^2
    rw[size_t(i)] = (common_data::yd(i) - f) / f;
    v += rw[size_t(i)] * rw[size_t(i)];
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) a[j][k] += jw[size_t(i)][j] * jw[size_t(i)][k];
    }
  }
  const auto c = inverse3(a);
  const double s = std::sqrt(v / (n - 4));
  for (int32_t i = 1; i <= n; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) h[size_t(i)] += jw[size_t(i)][j] * c[j][k] * jw[size_t(i)][k];
    }
    t[size_t(i)] = rw[size_t(i)] / (s * std::sqrt(1.0 - h[size_t(i)]));
  }
  EXPECT_NEAR(t[1], 0.80, 0.01);
  EXPECT_NEAR(t[2], 1.49, 0.01);
  double mean = 0.0;
  for (int32_t i = 1; i <= n; ++i) mean += t[size_t(i)] / n;
  const std::string report = dir.read("c2.TXT");
  const size_t listing = report.find("Ycalc");
  ASSERT_NE(listing, std::string::npos);
  std::istringstream rows(report.substr(listing));
  std::string line;
  std::getline(rows, line);
  for (int32_t i = 1; i <= 2; ++i) {
    SCOPED_TRACE(i);
    const double listed = t[size_t(i)] / std::sqrt(1.0 - 1.0 / n) - mean;
    EXPECT_NEAR(common_data::ydr(i), listed, 1e-6);
    mean += (listed - t[size_t(i)]) / n;  // the mean as it stands for the next row
    std::getline(rows, line);
    EXPECT_EQ(line.find("[Suspect]"), std::string::npos) << line;
  }
}

// A model whose fitted values no parameter moves at the final vector determines nothing: the
// guarded division by zero drives the values beyond the evaluator's bound, which turns them
// all into one substitute; ASIN(2) stops every evaluation at 0. The run ends on the error path
// (Error dialog, a report that says so first, no run-log line, not reported) with the cause
// that the formula meets there; a model whose parameters only cancel out has none.
TEST_F(MainSubTest, AModelThatNoParameterMovesEndsOnTheErrorPath) {
  const struct {
    const char* model;
    const char* cause;
  } cases[] = {{"Y=(P1+P2)*X1*0/0+X1", "Division by zero"},
               {"Y=P1*ASIN(2)+P2*X1", "Argument of ASIN or ACOS illegal"},
               {"Y=(P1-P1)*X1+P2*0", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    dialogs.clear();
    std::filesystem::remove(dir.path() / "Varqen-runlog.txt");
    dir.write("flat.dat", data_file(c.model, "1 2", "1 1", michaelis_rows()));
    run("flat.dat");
    EXPECT_FALSE(main_subs::every_block_reported);
    const std::string cause = c.cause == nullptr ? "" : c.cause;
    EXPECT_EQ(last_text(),
              "MainRegression: ERROR!\r\n The model does not depend on its\r\n parameters at "
              "these data: no free\r\n parameter changes any fitted value.\r\n" +
                  (cause.empty() ? "" : " Cause: " + cause + "\r\n") + " The run has ended...");
    EXPECT_EQ(dir.read("flat.TXT").substr(0, dir.read("flat.TXT").find('\n')),
              " RUN ENDED IN ERROR: The model does not depend on its parameters at these data: "
              "no free parameter changes any fitted value" +
                  (cause.empty() ? "." : " (" + cause + ")."));
    EXPECT_FALSE(exists("Varqen-runlog.txt"));
  }
}

// The numbers of the R report's lines that follow a heading and its names line: the values
// of `lines` lines, an undetermined parameter's cell counted apart.
struct Cells {
  std::vector<double> values;
  int32_t undetermined = 0;
};
Cells report_cells(const std::string& report, const std::string& heading, int32_t lines) {
  Cells cells;
  std::istringstream in(report.substr(report.find(heading)));
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  for (int32_t k = 1; k <= lines && std::getline(in, line); ++k) {
    std::istringstream cell(line);
    for (std::string word; cell >> word;) {
      if (word == "[Undetermined]") {
        ++cells.undetermined;
      } else {
        cells.values.push_back(std::stod(word));
      }
    }
  }
  return cells;
}

// A free parameter that moves no fitted value is reported as undetermined, whatever the
// parameter count and its place: its standard error, limits and p-value read "[Undetermined]",
// a summary line names it, and the other parameters get the standard errors, limits and
// p-values of the fit without it (to the digits printed). The fit completes (exit status 0).
// The program fits no model of one free parameter, so the two-parameter case is checked against
// the slope through the origin: se^2 = (SSE / (n - 1)) / sum x^2.
TEST_F(MainSubTest, AParameterThatMovesNoFittedValueIsReportedAsUndetermined) {
  const std::vector<double> x = {1, 2, 3, 4, 5, 6, 7, 8};
  // 5 + 2 x + 0.1 x^2 and noise: every least-squares vector lies inside the bounds [0, 1000].
  const std::vector<double> y = {7.2, 9.25, 12.02, 14.52, 17.55, 20.49, 23.99, 27.34};
  std::string rows;
  double sxx = 0, sxy = 0, sse = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    rows += std::to_string(x[i]) + " " + std::to_string(y[i]) + "\n";
    sxx += x[i] * x[i];
    sxy += x[i] * y[i];
  }
  for (size_t i = 0; i < x.size(); ++i) sse += std::pow(y[i] - sxy / sxx * x[i], 2);
  const double slope_se = std::sqrt(sse / double(x.size() - 1) / sxx);
  const struct {
    const char* model;
    const char* ones;     // start values and mask: all 1
    const char* reduced;  // the model without the undetermined parameter
    const char* named;
  } cases[] = {{"Y=P1*0+P2*X1", "1 1", nullptr, "P1"},
               {"Y=P1+P2*X1+P3*0", "1 1 1", "Y=P1+P2*X1", "P3"},
               {"Y=P1*0+P2+P3*X1", "1 1 1", "Y=P1+P2*X1", "P1"},
               {"Y=P1+P2*X1+P3*0+P4*X1^2", "1 1 1 1", "Y=P1+P2*X1+P3*X1^2", "P3"}};
  const std::string note = "Undetermined (changes no fitted value; left out of the statistics): ";
  constexpr double kPrinted = 1e-3;  // half a unit of the fourth digit the report prints
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    const std::string ones = c.ones, fewer = ones.substr(0, ones.size() - 2);
    dir.write("full.dat", data_file(c.model, ones, ones, rows));
    run("full.dat");
    EXPECT_TRUE(main_subs::every_block_reported);
    bool summary_names_it = false;
    for (int32_t k = 1; k <= globals::nlines3; ++k) {
      summary_names_it = summary_names_it || globals::sline3(k).find(note + c.named) == 1;
    }
    EXPECT_TRUE(summary_names_it);
    const std::string full = dir.read("full.TXT");
    EXPECT_NE(full.find("\n " + note + c.named + "\n"), std::string::npos) << full;
    if (c.reduced == nullptr) {
      const Cells f = report_cells(full, "Parameter Standard Errors:", 1);
      EXPECT_EQ(f.undetermined, 1);
      ASSERT_EQ(f.values.size(), 1u);
      EXPECT_NEAR_REL(f.values[0], slope_se, kPrinted);
      continue;
    }
    dir.write("reduced.dat", data_file(c.reduced, fewer, fewer, rows));
    run("reduced.dat");
    const std::string reduced = dir.read("reduced.TXT");
    // The eigenvalues, and their threshold on the heading line, are the reduced fit's too.
    const std::string eigen = "Eigenvalues values < ";
    EXPECT_EQ(full.substr(full.find(eigen), 30), reduced.substr(reduced.find(eigen), 30));
    for (auto [heading, lines, marked] : {std::tuple{"Parameter Standard Errors:", 1, true},
                                          std::tuple{"Parameter 95% Confidence Limits:", 2, true},
                                          std::tuple{"Parameter Significance", 1, true},
                                          std::tuple{eigen.c_str(), 1, false}}) {
      SCOPED_TRACE(heading);
      const Cells f = report_cells(full, heading, lines), r = report_cells(reduced, heading, lines);
      EXPECT_EQ(f.undetermined, marked ? lines : 0);
      EXPECT_EQ(r.undetermined, 0);
      ASSERT_EQ(f.values.size(), r.values.size());
      for (size_t k = 0; k < f.values.size(); ++k) {
        EXPECT_NEAR_REL(f.values[k], r.values[k], kPrinted);
      }
    }
  }
}

// A slope written as the product of two parameters: the normal matrix cannot be inverted, and
// the direction along which P1 and P2 trade off is not resolved at all. No standard error,
// limit or p-value is printed for them, a line names them, and the fit completes. They stay
// parameters of the statistics: the intercept's limits are t of n - 3 = 2 degrees of freedom
// (4.303, where n - 1 would give 2.776) times its error.
TEST_F(MainSubTest, ParametersTheDataDoNotDetermineSeparatelyGetNoStandardError) {
  dir.write("product.dat",
            "Y=P1*P2*X1+P3\n1 1 1\n-100 -100 -100\n100 100 100\n1 1 1\n"
            "1 2.61\n2 2.93\n3 3.62\n4 3.95\n5 4.41\nEND\n");
  run("product.dat");
  EXPECT_TRUE(main_subs::every_block_reported);
  const std::string report = dir.read("product.TXT");
  for (auto [heading, lines] : {std::pair{"Parameter Standard Errors:", 1},
                                std::pair{"Parameter 95% Confidence Limits:", 2},
                                std::pair{"Parameter Significance", 1}}) {
    SCOPED_TRACE(heading);
    const Cells cells = report_cells(report, heading, lines);
    EXPECT_EQ(cells.undetermined, 2 * lines);
    EXPECT_EQ(cells.values.size(), size_t(lines));
  }
  const double se = report_cells(report, "Parameter Standard Errors:", 1).values.at(0);
  const Cells limits = report_cells(report, "Parameter 95% Confidence Limits:", 2);
  EXPECT_NEAR_REL((limits.values.at(1) - limits.values.at(0)) / 2, sharc_mod::tval95(2) * se, 0.02);
  EXPECT_NE(report.find("\n Not determined separately by the data: P1, P2\n"), std::string::npos)
      << report;
}

// Three rows exactly on a line leave the searches' last digits in the residual sum (from 1e-32
// to 2.5e-20 by the random seeds, above 1e-20 on some of these 20): the fit is refused as exact
// on every run. Noise in the seventh digit of one row is no exact fit and is reported on every
// run.
TEST_F(MainSubTest, AnExactFitIsJudgedAlikeOnEveryRun) {
  const struct {
    const char* rows;
    bool exact;
  } cases[] = {{"0 0.994\n0.01 1.016\n0.02 1.038\n", true},
               {"0 0.994\n0.01 1.016\n0.02 1.0380001\n", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    dir.write("line.dat", data_file("Y=P1*X1+P2", "1 1", "1 1", c.rows));
    for (int32_t seed = 1; seed <= 20; ++seed) {
      SCOPED_TRACE(seed);
      clock_.advance(seed * 7919);  // another random seed for every run
      dialogs.clear();
      run("line.dat");
      EXPECT_EQ(main_subs::every_block_reported, !c.exact) << common_data::fssqr;
      EXPECT_EQ(last_text().find("There was an error in calculating the results.") == 0, c.exact);
    }
  }
}

TEST(MainSubReweight, GivesTheSmallestResidualWeightOneAndClampsAtTen) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    std::vector<double> r, w;
  } cases[] = {
      {{0.1, 0.5, -5.9}, {1.0, 1.4, 6.8}},
      {{0.0, 0.0, 0.0}, {1.0, 1.0, 1.0}},
      {{2.0, nan, 20.0}, {1.0, 1.0, 10.0}},
      {{nan, nan}, {1.0, 1.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.r[0]);
    const int32_t n = static_cast<int32_t>(c.r.size());
    std::vector<double> w(c.r.size(), -1.0);
    main_subs::reweight(VecView<const double>(c.r.data(), n), n, VecView<double>(w.data(), n));
    for (int32_t i = 0; i < n; ++i) EXPECT_NEAR(w[i], c.w[i], 1e-12) << i;
  }
}

TEST(MainSubDataSets, NumbersTheSetsOfX2OnlyWhenTheyNeverComeBack) {
  const struct {
    std::vector<double> x2;
    int32_t m;
    int32_t sets;
    std::vector<int32_t> id2;
  } cases[] = {
      {{1, 1, 2, 2, 3, 3}, 2, 3, {1, 1, 2, 2, 3, 3}},
      {{1, 1, 2, 2, 1, 1}, 2, 1, {1, 1, 1, 1, 1, 1}},
      {{1, 2, 1, 2, 1, 2}, 2, 1, {1, 1, 1, 1, 1, 1}},
      {{5, 5, 5, 5, 5, 5}, 2, 1, {1, 1, 1, 1, 1, 1}},
      {{1, 1, 2, 2, 3, 3}, 1, 1, {1, 1, 1, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "m " << c.m << " x2(5) " << c.x2[4]);
    common_data::reset();
    const int32_t n = 6;
    std::vector<double> x(2 * n, 0.0);
    for (int32_t i = 0; i < n; ++i) x[n + i] = c.x2[i];
    main_subs::data_sets(MatView<const double>(x.data(), n, 2, n), n, c.m);
    EXPECT_EQ(common_data::id2number, c.sets);
    for (int32_t i = 1; i <= n; ++i) EXPECT_EQ(common_data::id2(i), c.id2[i - 1]) << i;
  }
}

TEST(MainSubSeries, CountsOnTheNumberBeforeDatWhateverItsDigits) {
  const struct {
    const char* name;
    const char* next;  // nullptr: no next name
  } cases[] = {
      {"/d/RUN#1.DAT", "/d/RUN#2.DAT"},
      {"/d/run#9.dat", "/d/run#10.dat"},
      {"/d/c#12.DAT", "/d/c#13.DAT"},
      {"/d/g#99.DAT", "/d/g#100.DAT"},
      {"/d/r#09.dat", "/d/r#10.dat"},
      {"/d/r#1.dat.old", "/d/r#2.dat.old"},  // the first ".DAT"
      {" /d/r#1.dat ", " /d/r#2.dat "},      // the name as given, blanks and all
      {"/d#1.dat/r#1.dat", "/d#1.dat/r#2.dat"},
      {"/d/RUN.DAT", nullptr},
      {"/d/RUN12.DAT", nullptr},
      {"/d/RUN#0X.DAT", nullptr},
      {"/d/r#3", nullptr},
      {"/d#1.dat/r", nullptr},  // the folder's name is no series
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string name = c.name;
    EXPECT_EQ(main_subs::next_series_name(name), c.next != nullptr);
    EXPECT_EQ(name, c.next != nullptr ? c.next : c.name);
  }
}

TEST_F(MainSubTest, GoesOnWithTheNextFileOfASeriesAfterNext) {
  Passes passes;
  const std::string model = "Y=P1*X1/(P2+X1)";
  dir.write("run#1.dat", data_file(model, "100 2", "1 1", michaelis_rows(), "NEXT\n"));
  dir.write("run#2.dat", data_file(model, "100 2", "1 1", michaelis_rows()));
  run("run#1.dat");
  const auto b = boxes();
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0].title, "Information");  // confirmation of run#1
  EXPECT_EQ(b[1].title, "Information");
  EXPECT_EQ(b[1].text.rfind("run#1.dat : SSQR= ", 0), 0u) << b[1].text;
  EXPECT_NE(b[1].text.find(" : MIC= "), std::string::npos);
  EXPECT_NE(b[2].text.find("Is this the correct data file?"), std::string::npos);
  EXPECT_EQ(passes.starts.size(), 2u);
  EXPECT_TRUE(exists("run#1.TXT"));
  EXPECT_TRUE(exists("run#2.TXT"));
  EXPECT_EQ(dir.names(),
            (std::vector<std::string>{
                "Varqen-runlog.txt", "run#1.TXT", "run#1.dat", "run#2.TXT", "run#2.dat"}));
  EXPECT_EQ(stringlib::trim(globals::input_file_name), dir.file("run#2.dat"));
  EXPECT_EQ(globals::bnext, 0);
  EXPECT_TRUE(main_subs::every_block_reported);
}

// One block that is not reported fails the whole call, whichever block it is.
TEST_F(MainSubTest, ANoInOneBlockOfASeriesIsNotASuccess) {
  Passes passes;
  const std::string model = "Y=P1*X1/(P2+X1)";
  dir.write("run#1.dat", data_file(model, "100 2", "1 1", michaelis_rows(), "NEXT\n"));
  dir.write("run#2.dat", data_file(model, "100 2", "1 1", michaelis_rows()));
  no();
  run("run#1.dat");
  EXPECT_EQ(passes.starts.size(), 1u);
  EXPECT_TRUE(exists("run#2.TXT"));
  EXPECT_EQ(globals::brerun, 0);  // the last block's answer was Yes
  EXPECT_FALSE(main_subs::every_block_reported);
}

TEST_F(MainSubTest, AMissingNextFileEndsTheSeriesAsADataError) {
  Passes passes;
  dir.write("run#1.dat", data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows(), "NEXT\n"));
  run("run#1.dat");
  const auto b = boxes();
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[2].title, "Error");
  EXPECT_NE(b[2].text.find(dir.file("run#2.dat")), std::string::npos);
  EXPECT_EQ(globals::bdataerror, 1);
  EXPECT_EQ(globals::bnext, 0);
  EXPECT_TRUE(exists("run#1.TXT"));  // the first file's report stands
  EXPECT_FALSE(main_subs::every_block_reported);
}

TEST_F(MainSubTest, NextInAFileWithoutASeriesNumberSaysNoNextFileFollows) {
  Passes passes;
  dir.write("plain.dat", data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows(), "NEXT\n"));
  run("plain.dat");
  const auto b = boxes();
  ASSERT_EQ(b.size(), 3u);  // the confirmation, the Information between blocks, the refusal
  EXPECT_EQ(b[2].title, "Error");
  EXPECT_NE(b[2].text.find(dir.file("plain.dat") + "\r\nends its block at NEXT"), std::string::npos)
      << b[2].text;
  EXPECT_EQ(passes.starts.size(), 1u);
  EXPECT_TRUE(exists("plain.TXT"));  // the block's own report stands
  EXPECT_EQ(globals::bnext, 0);
  EXPECT_FALSE(main_subs::every_block_reported);
}

// A refused block, or one whose fit ends on the error path (a model 1E+12 above the data),
// shows its own Error and nothing more: a line that begins with N (a note, the model line
// "Name: x") asks for no next file, and a block without a run-log line has no sum of squares to
// show between the files of a series, which goes on with the next file.
TEST_F(MainSubTest, ARefusedOrFailedBlockShowsOnlyItsOwnError) {
  Passes passes;
  const std::string model = "Y=P1*X1/(P2+X1)";
  const std::string note = "Note here\n";
  dir.write("name.dat", data_file("Name: x", "100 2", "1 1", michaelis_rows()));
  dir.write("run#1.dat", data_file(model, "100 2", "1 1", michaelis_rows(), "NEXT\n"));
  dir.write("run#2.dat", data_file(model, "100 2", "1 1", note + michaelis_rows(), "NEXT\n"));
  dir.write("run#3.dat", data_file(model, "100 2", "1 1", michaelis_rows()));
  dir.write("far#1.dat", data_file(model + "+1E12", "100 2", "1 1", michaelis_rows(), "NEXT\n"));
  dir.write("far#2.dat", data_file(model, "100 2", "1 1", michaelis_rows()));
  const struct {
    const char* file;
    std::vector<std::string> titles;
  } cases[] = {
      {"name.dat", {"Information", "Error"}},  // the confirmation, the refusal
      {"run#1.dat", {"Information", "Information", "Information", "Error", "Information"}},
      {"far#1.dat", {"Information", "Error", "Information"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    dialogs.clear();
    run(c.file);
    std::vector<std::string> titles;
    for (const auto& box : boxes()) {
      titles.push_back(box.title);
      EXPECT_EQ(box.text.find("ends its block at NEXT"), std::string::npos) << box.text;
      EXPECT_EQ(box.text.find("SSQR=  :"), std::string::npos) << box.text;
    }
    EXPECT_EQ(titles, c.titles);
    EXPECT_FALSE(main_subs::every_block_reported);
  }
  EXPECT_TRUE(exists("run#3.TXT"));
  EXPECT_TRUE(exists("far#2.TXT"));
}

}  // namespace
