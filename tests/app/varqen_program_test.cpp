// The `varqen` program run as a user runs it: the real binary, headless, in a temporary folder,
// with every pause made instantaneous (VARQEN_TEST_NO_PAUSES=1). Whole fits of NIST reference
// problems at the level Moderate are checked against the certified values; refused files
// against the dialogs the program prints and its exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/nist_problem.hpp"
#include "support/temp_dir.hpp"

namespace {

// Floors of certified digits. The report prints free parameters with 8 significant digits
// (G15.8) and the sum of squares with 7 (E14.6). The cascade seeds its random searches from the
// clock, so a fit differs from run to run: over repeated runs these problems reach 6 or more
// digits of the sum of squares but, for some runs, only 5.2 digits of the parameters; 4 digits
// of the parameters holds with margin for every run.
constexpr double kParamLreFloor = 4.0;
constexpr double kSsrLreFloor = 6.0;

struct Outcome {
  int status = -1;
  std::string output;  // standard output and standard error
};

// Starts the program in `dir`, through `runner` when one is given (a command that runs it as
// another user); finish() waits for it. Several may run at once.
FILE* start_varqen(const std::filesystem::path& dir,
                   const std::string& args,
                   const std::string& runner = "") {
  const std::string command = "cd '" + dir.string() +
                              "' && VARQEN_HEADLESS=1 VARQEN_TEST_NO_PAUSES=1 " + runner +
                              " '" VARQEN_BINARY "' " + args + " 2>&1";
  return popen(command.c_str(), "r");
}

Outcome finish(FILE* pipe) {
  Outcome out;
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.output.append(buffer, n);
  const int raw = pclose(pipe);
  out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

Outcome run_varqen(const std::filesystem::path& dir,
                   const std::string& args,
                   const std::string& runner = "") {
  return finish(start_varqen(dir, args, runner));
}

// A data file of y = p1 x / (4 + x) at eight x values, exact to the digits written.
std::string michaelis_file(double p1, const std::string& close = "END") {
  std::string text = "Y=P1*X1/(P2+X1)\n100 2\n0 0\n1000 100\n1 1\n";
  for (const double x : {0.5, 1.0, 2.0, 3.0, 5.0, 8.0, 12.0, 20.0}) {
    text += std::to_string(x) + " " + std::to_string(p1 * x / (4.0 + x)) + "\n";
  }
  return text + close + "\n";
}

// The numbers on the line after the line holding `label` and, when `skip_names`, one more line
// of names.
std::vector<double> values_after(const std::string& report, const std::string& label,
                                 bool skip_names) {
  std::istringstream in(report);
  std::string line;
  while (std::getline(in, line) && line.find(label) == std::string::npos) {
  }
  if (skip_names) std::getline(in, line);
  std::vector<double> v;
  if (!std::getline(in, line)) return v;
  std::istringstream fields(line);
  for (std::string f; fields >> f;) v.push_back(std::strtod(f.c_str(), nullptr));
  return v;
}

class VarqenNist : public ::testing::TestWithParam<const char*> {};

TEST_P(VarqenNist, ModerateFitReachesTheCertifiedValues) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist(GetParam(), 1, pb));
  testsupport::TempDir dir;
  std::filesystem::copy_file(pb.file, dir.path() / "problem.dat");
  const Outcome out = run_varqen(dir.path(), "--level moderate problem.dat");
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_NE(out.output.find("Saved in file: problem.TXT"), std::string::npos) << out.output;
  const std::string report = dir.read("problem.TXT");
  const std::vector<double> p = values_after(report, "Final Parameter Values:", true);
  ASSERT_EQ(p.size(), pb.certified.size()) << report;
  double worst = 11.0;
  for (size_t i = 0; i < p.size(); ++i) worst = std::min(worst, testsupport::lre(p[i], pb.certified[i]));
  const std::vector<double> sse = values_after(report, "Unweighted SSE:", false);
  ASSERT_FALSE(sse.empty()) << report;
  const double ssr_lre = pb.ssr_lre(sse[0]);
  RecordProperty("params_lre", std::to_string(worst));
  RecordProperty("ssr_lre", std::to_string(ssr_lre));
  EXPECT_GE(worst, kParamLreFloor) << report;
  EXPECT_GE(ssr_lre, kSsrLreFloor) << report;
  // One run-log line for the fit.
  EXPECT_NE(dir.read("Varqen-runlog.txt").find(" problem.dat : SSQR= "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Nist,
                         VarqenNist,
                         ::testing::Values("Misra1a", "Chwirut2", "DanWood", "Misra1b", "BoxBOD",
                                           "Eckerle4"));

TEST(Varqen, FitsTheBundledExamples) {
  for (const char* name : {"michaelis-menten", "exponential"}) {
    SCOPED_TRACE(name);
    testsupport::TempDir dir;
    std::filesystem::copy_file(std::string(VARQEN_SOURCE_DIR) + "/examples/" + name + ".dat",
                               dir.path() / (std::string(name) + ".dat"));
    const Outcome out = run_varqen(dir.path(), std::string(name) + ".dat");
    EXPECT_EQ(out.status, 0) << out.output;
    // The confirmation with the answer taken, then the summary as the main window shows it,
    // ending with the report's path and date.
    EXPECT_NE(out.output.find("Is this the correct data file?\n-> Yes\n"), std::string::npos)
        << out.output;
    EXPECT_NE(out.output.find("Unweighted SSE:"), std::string::npos) << out.output;
    EXPECT_NE(out.output.find("Saved in file: " + std::string(name) + ".TXT"), std::string::npos);
    EXPECT_NE(out.output.find("Date Saved: "), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / (std::string(name) + ".TXT")));
  }
}

const std::string kAborted = std::string(30, ' ') + "*** RUN ABORTED! ***";

TEST(Varqen, RefusedFilesPrintTheirDialogAndExitWithOne) {
  testsupport::TempDir dir;
  const std::string head = "Y=P1*X1+P2\n1 2\n0 0\n9 9\n1 1\n";
  std::string many;
  for (int i = 1; i <= 1001; ++i) many += std::to_string(i) + " " + std::to_string(2 * i) + "\n";
  dir.write("syntax.dat", "Y=P1*X1+P3\n1 2\n0 0\n9 9\n1 1\n1 2\n2 3\n3 4\nEND\n");
  dir.write("short.dat", head + "1 2\n2 3\n3\n4 5\nEND\n");
  dir.write("many.dat", head + many + "END\n");
  std::string utf16 = "\xff\xfe";
  for (const char c : head + "1 2\n2 3\n3 4\nEND\n") utf16 += std::string{c, '\0'};
  dir.write("utf16.dat", utf16);
  std::string long_path;
  while (long_path.size() <= 512) long_path += "./";
  long_path += "short.dat";
  // A FIFO without a writer held the program in its open for ever; a socket is no file either.
  ASSERT_EQ(mkfifo(dir.file("fifo.dat").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.file("folder.dat"));
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  dir.file("sock.dat").copy(addr.sun_path, sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::string not_regular =
      "cannot be opened: it is not a regular file (a FIFO, a device or a socket).";
  const struct {
    std::string file;
    std::string says;
  } cases[] = {
      {"missing.dat", "Error: The data file\nmissing.dat\ncannot be opened"},
      {"\"$(printf 'm\\033.dat')\"", "Error: The data file\nm<27>.dat\ncannot be opened"},
      {"syntax.dat", "Error: Model function syntax error number 12"},
      {"short.dat",
       "Error: A numeric syntax error was identified in the data file.\n"
       "A number in row 8  is not a valid numeric value.\n"
       "Line 8 holds 1 value; 2 are needed.\n\n" +
           kAborted},
      {"many.dat", "Error: The data file contains more than 1000 data points."},
      // Every character of the line shown, the dialog's end included.
      {"utf16.dat",
       "cannot be read.\nLine 1 holds a byte that is not UTF-8 text (code 255).\n"
       "Line 1 reads \"<255><254>Y<0>=<0>P<0>1<0>*<0>X<0>1<0>+<0>P<0>2<0>\".\n\n" +
           kAborted},
      {"fifo.dat", "Error: The data file\nfifo.dat\n" + not_regular},
      {"sock.dat", "Error: The data file\nsock.dat\n" + not_regular},
      {"/dev/zero", "Error: The data file\n/dev/zero\n" + not_regular},
      {"folder.dat", "Error: The data file\nfolder.dat\ncannot be opened: it is a folder."},
      {long_path,
       "Error: The path of the data file is " + std::to_string(long_path.size()) +
           " characters long;\n"
           "at most 512 fit in the file name field."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 40));
    const Outcome out = run_varqen(dir.path(), c.file, "timeout -s KILL 60");
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.output.find(c.says), std::string::npos) << out.output;
    EXPECT_EQ(out.output.find('\r'), std::string::npos);  // lines end with LF alone
    EXPECT_EQ(out.output.find('\033'), std::string::npos);
  }
  // A data error writes no run-log line and no report.
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Varqen-runlog.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "short.TXT"));
  close(sock);
}

// Exit status 0 only when every block's fit completed and its report was written. A run that
// ended in error but writes its report says so in the report's first line; the cascade's error
// path adds no run-log line, a fit too small to test adds its line.
TEST(Varqen, ExitsWithZeroOnlyWhenEveryBlockIsReported) {
  testsupport::TempDir dir;
  // A fixed parameter of 1E+12 keeps every fitted value far above the data: the sum stays above
  // the cascade's limit whatever the free parameters do.
  dir.write("huge.dat",
            "Y=P1*X1+P2*X1^2+P3\n1 1 1E12\n-1E15 -1E15 0\n1E15 1E15 2E12\n1 1 0\n"
            "1 3\n2 5\n3 7\n4 9\n5 11\n6 13\n7 15\nEND\n");
  // Started at its exact solution, so that the kept sum is exact whatever the random stages find.
  dir.write("exact.dat", "Y=P1*X1+P2\n2 1\n-10 -10\n10 10\n1 1\n1 3\n2 5\n3 7\nEND\n");
  dir.write("series#1.dat", michaelis_file(120.0, "NEXT"));
  dir.write("blocked.dat", michaelis_file(120.0));
  std::filesystem::create_directory(dir.path() / "blocked.TXT");
  dir.write("good.dat", michaelis_file(120.0));
  const struct {
    const char* file;
    int status;
    std::string says;
    const char* report;
    std::string first_line;
    bool logged;
  } cases[] = {
      {"huge.dat",
       1,
       "Error: MainRegression: ERROR!",
       "huge.TXT",
       " RUN ENDED IN ERROR: MainRegression: ERROR! A parameter may be NaN",
       false},
      {"exact.dat",
       1,
       "Error: There was an error in calculating the results.",
       "exact.TXT",
       " RUN ENDED IN ERROR: There was an error in calculating the results.",
       true},
      {"series#1.dat",
       1,
       "Error: The data file\nseries#2.dat\ncannot be opened",
       "series#1.TXT",
       " DATE: ",
       true},
      {"blocked.dat",
       1,
       "Error: The report of the data file\nblocked.dat\ncannot be written beside it:\n" +
           dir.file("blocked.TXT") + ": Is a directory",
       nullptr,
       "",
       false},
      {"good.dat", 0, "Saved in file: good.TXT", "good.TXT", " DATE: ", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string log_before = dir.read("Varqen-runlog.txt");
    const Outcome out = run_varqen(dir.path(), c.file);
    EXPECT_EQ(out.status, c.status) << out.output;
    EXPECT_NE(out.output.find(c.says), std::string::npos) << out.output;
    if (c.report != nullptr) {
      EXPECT_EQ(dir.read(c.report).rfind(c.first_line, 0), 0u) << dir.read(c.report);
    }
    EXPECT_EQ(dir.read("Varqen-runlog.txt").size() > log_before.size(), c.logged);
  }
  // Whichever way a run ended, no file of its report's making is left.
  std::vector<std::string> expected = {"Varqen-runlog.txt", "blocked.TXT"};
  for (const auto& c : cases) expected.push_back(c.file);
  for (const auto& c : cases) {
    if (c.report != nullptr) expected.push_back(c.report);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.names(), expected);
}

// A folder the user cannot write in refuses the data file before the model is confirmed, and
// so before a fit that would take minutes: the message names the folder and the reason, and
// the run adds no run-log line. The run is another user's (root writes in any folder).
TEST(Varqen, AFolderThatCannotTakeTheReportIsRefusedBeforeTheFit) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Gauss1", 1, pb));
  testsupport::TempDir dir;
  const std::filesystem::path data = dir.path() / "data";
  const std::filesystem::path work = dir.path() / "work";  // the working folder, writable by all
  std::filesystem::create_directories(data);
  std::filesystem::create_directories(work);
  std::filesystem::copy_file(pb.file, data / "gauss.dat");
  using std::filesystem::perm_options;
  using std::filesystem::perms;
  const perms others = perms::others_read | perms::others_exec;
  std::filesystem::permissions(dir.path(), others, perm_options::add);
  std::filesystem::permissions(data / "gauss.dat", perms::others_read, perm_options::add);
  std::filesystem::permissions(work, perms::all);
  const bool root = geteuid() == 0;
  if (!root) std::filesystem::permissions(data, perms::owner_write, perm_options::remove);
  const Outcome out = run_varqen(work,
                                 "--level difficult '" + (data / "gauss.dat").string() + "'",
                                 root ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "");
  if (!root) std::filesystem::permissions(data, perms::owner_write, perm_options::add);
  EXPECT_EQ(out.status, 1) << out.output;
  EXPECT_EQ(out.output,
            "Error: The report of the data file\n" + (data / "gauss.dat").string() +
                "\ncannot be written beside it:\n" + data.string() + ": Permission denied\n\n" +
                kAborted + "\n");
  EXPECT_TRUE(testsupport::names_in(work).empty());
  EXPECT_EQ(testsupport::names_in(data), std::vector<std::string>{"gauss.dat"});
}

// The report and its scratch copy lie beside the data file: the working directory may be one
// that nobody can write in (as /proc). The report's name comes from the file's own name, so
// every data file of a folder keeps a report of its own, and another file is never replaced.
TEST(Varqen, WritesReportsBesideTheirDataFilesOnly) {
  testsupport::TempDir dir;
  const std::string longest = std::string(251, 'n') + ".dat";  // 255 bytes, the most a name has
  std::string cr_only = michaelis_file(120.0);
  std::replace(cr_only.begin(), cr_only.end(), '\n', '\r');
  dir.write("notes.TXT", "NOTES\n");
  std::set<std::string> expected = {"notes.TXT"};
  for (const char* folder : {"notes.dat.d", "k.dat.d"}) {
    std::filesystem::create_directory(dir.path() / folder);
    expected.insert(folder);
  }
  const struct {
    std::string file;
    std::string text;
    std::string report;
  } cases[] = {
      {"nodat", michaelis_file(120.0), "nodat.TXT"},
      {"notes.txt", michaelis_file(120.0), "notes.txt.TXT"},
      {longest, michaelis_file(120.0), std::string(251, 'n') + ".TXT"},
      {"cr-only.dat", cr_only, "cr-only.TXT"},
      {"notes.dat.d/run1", michaelis_file(120.0), "notes.dat.d/run1.TXT"},
      {"k.dat.d/../k.TXT", michaelis_file(120.0), "k.dat.d/../k.TXT.TXT"},
      {"x.dat", michaelis_file(120.0), "x.TXT"},
      {"x.dat.old", michaelis_file(120.0), "x.dat.old.TXT"},
      {"x.data", michaelis_file(120.0), "x.data.TXT"},
      {"x  .dat", michaelis_file(120.0), "x  .TXT"},
      {"x.dat ", michaelis_file(120.0), "x.dat .TXT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    dir.write(c.file, c.text);
    const Outcome out = run_varqen("/proc", "'" + dir.file(c.file) + "'");
    EXPECT_EQ(out.status, 0) << out.output;
    // The line as the main window keeps it: 220 characters at most.
    const std::string saved = ("Saved in file: " + dir.file(c.report)).substr(0, 220);
    EXPECT_NE(out.output.find(saved + "\n"), std::string::npos) << out.output;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / c.report));
    EXPECT_EQ(dir.read(c.file), c.text);
    for (const std::string& name : {c.file, c.report}) {
      expected.insert(std::filesystem::path(name).lexically_normal().begin()->string());
    }
  }
  EXPECT_EQ(dir.read("notes.TXT"), "NOTES\n");
  EXPECT_EQ(dir.names(), std::vector<std::string>(expected.begin(), expected.end()));
}

// A report that cannot be made under its name is refused before the model is confirmed, and so
// before the fit, with the path and what is wrong with it: a name that leads to the data file
// itself (a run never replaces its data), a name too long for the folder, a folder that makes
// no files. The data file stays as it was, and no file is left.
TEST(Varqen, AReportNameThatCannotBeMadeIsRefusedBeforeTheFit) {
  testsupport::TempDir dir;
  const std::string data = michaelis_file(120.0);
  dir.write("link.TXT", data);
  std::filesystem::create_symlink("link.TXT", dir.path() / "link.dat");
  dir.write("hard.dat", data);
  std::filesystem::create_hard_link(dir.path() / "hard.dat", dir.path() / "hard.TXT");
  const std::string name252(252, 'n'), name255(255, 'n');
  dir.write(name252, data);
  dir.write(name255, data);
  const std::string itself = ": the data file itself, which a run never replaces";
  const struct {
    std::string file;
    std::string failed;  // path and reason
  } cases[] = {
      {"link.dat", dir.file("link.TXT") + itself},
      {"hard.dat", dir.file("hard.TXT") + itself},
      {name252, dir.file(name252 + ".TXT") + ": File name too long"},
      {name255, dir.file(name255 + ".TXT") + ": File name too long"},
      {"/proc/cpuinfo", "/proc: no file can be made in this folder"},
  };
  const std::vector<std::string> names = dir.names();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 40));
    const Outcome out = run_varqen(dir.path(), c.file);
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.output,
              "Error: The report of the data file\n" + c.file + "\ncannot be written beside it:\n" +
                  c.failed + "\n\n" + kAborted + "\n");
  }
  EXPECT_EQ(dir.names(), names);
  EXPECT_EQ(dir.read("link.TXT"), data);
  EXPECT_EQ(dir.read("hard.TXT"), data);
}

// Runs at once in one folder, on one data file and on several, each with its own results.
TEST(Varqen, ConcurrentRunsInOneFolderKeepTheirOwnResults) {
  testsupport::TempDir dir;
  constexpr int kRuns = 3;
  dir.write("same.dat", michaelis_file(120.0));
  std::vector<FILE*> pipes;
  for (int k = 0; k < kRuns; ++k) {
    dir.write("own" + std::to_string(k) + ".dat", michaelis_file(100.0 * (k + 1)));
    pipes.push_back(start_varqen(dir.path(), "same.dat"));
    pipes.push_back(start_varqen(dir.path(), "own" + std::to_string(k) + ".dat"));
  }
  for (int k = 0; k < 2 * kRuns; ++k) {
    SCOPED_TRACE(k);
    const Outcome out = finish(pipes[size_t(k)]);
    ASSERT_EQ(out.status, 0) << out.output;
    // The summary printed is the run's own: P1 of its own data file.
    const std::vector<double> p = values_after(out.output, "Final Parameter Values:", true);
    ASSERT_FALSE(p.empty()) << out.output;
    const double p1 = k % 2 == 0 ? 120.0 : 100.0 * (k / 2 + 1);
    EXPECT_NEAR(p[0], p1, 1e-3 * p1) << out.output;
  }
  for (int k = 0; k < kRuns; ++k) {
    const std::vector<double> p =
        values_after(dir.read("own" + std::to_string(k) + ".TXT"), "Final Parameter Values:", true);
    ASSERT_FALSE(p.empty());
    EXPECT_NEAR(p[0], 100.0 * (k + 1), 0.1 * (k + 1));
  }
  // Every run logged its line whole, and no scratch or partial file is left.
  const std::string log = dir.read("Varqen-runlog.txt");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2 * kRuns);
  EXPECT_EQ(dir.names(),
            (std::vector<std::string>{"Varqen-runlog.txt",
                                      "own0.TXT",
                                      "own0.dat",
                                      "own1.TXT",
                                      "own1.dat",
                                      "own2.TXT",
                                      "own2.dat",
                                      "same.TXT",
                                      "same.dat"}));
}

// The data file is the one named, blanks and all ("z.dat " is neither z.dat nor " z.dat"), a
// numbered series goes on with the next name as given, and the report's name is printed with
// every character visible.
TEST(Varqen, TheDataFileIsTheOneNamedBlanksAndAll) {
  testsupport::TempDir dir;
  dir.write("z.dat", michaelis_file(300.0));
  dir.write("z.dat ", michaelis_file(120.0));
  dir.write(" z.dat", michaelis_file(200.0));
  dir.write("s#1.dat ", michaelis_file(150.0, "NEXT"));
  dir.write("s#2.dat ", michaelis_file(250.0));
  dir.write("g#99.DAT", michaelis_file(150.0, "NEXT"));
  dir.write("g#100.DAT", michaelis_file(350.0));
  dir.write("e\033.dat", michaelis_file(130.0));
  dir.write("l\nf.dat", michaelis_file(140.0));
  const struct {
    const char* arg;
    double p1;  // of the last block fitted
    const char* says;
  } cases[] = {
      {"'z.dat '", 120.0, "Saved in file: z.dat .TXT\n"},
      {"' z.dat'", 200.0, "Saved in file:  z.TXT\n"},
      {"z.dat", 300.0, "Saved in file: z.TXT\n"},
      {"'s#1.dat '", 250.0, "Information: s#1.dat  : SSQR= "},
      {"'g#99.DAT'", 350.0, "Saved in file: g#100.TXT\n"},
      // Control characters shown by their codes, as the run log shows them.
      {"\"$(printf 'e\\033.dat')\"", 130.0, "Saved in file: e<27>.TXT\n"},
      {"\"$(printf 'l\\nf.dat')\"", 140.0, "Saved in file: l<10>f.TXT\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    const Outcome out = run_varqen(dir.path(), c.arg);
    EXPECT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find(c.says), std::string::npos) << out.output;
    EXPECT_EQ(out.output.find('\033'), std::string::npos);
    const std::vector<double> p = values_after(out.output, "Final Parameter Values:", true);
    ASSERT_FALSE(p.empty()) << out.output;
    EXPECT_NEAR(p[0], c.p1, 1e-3 * c.p1);
  }
}

// An earlier report that the run could not replace refuses the data file before the fit, like a
// folder that cannot take the report: another user's report in a sticky folder (as /tmp), an
// immutable one. The run is another user's, or the flag is set, by root only.
TEST(Varqen, AnEarlierReportThatCannotBeReplacedIsRefusedBeforeTheFit) {
  if (geteuid() != 0) GTEST_SKIP() << "another user's run and the immutable flag need root";
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Gauss1", 1, pb));
  testsupport::TempDir dir;
  const std::filesystem::path sticky = dir.path() / "sticky";
  std::filesystem::create_directory(sticky);
  using std::filesystem::perm_options;
  using std::filesystem::perms;
  std::filesystem::permissions(sticky, perms::all | perms::sticky_bit);
  std::filesystem::permissions(dir.path(), perms::others_exec, perm_options::add);
  std::filesystem::copy_file(pb.file, sticky / "gauss.dat");
  std::filesystem::permissions(sticky / "gauss.dat", perms::others_read, perm_options::add);
  const std::string report = (sticky / "gauss.TXT").string();
  std::ofstream(report) << "old\n";
  const struct {
    const char* what;
    const char* runner;
    bool immutable;
  } cases[] = {
      {"another user's report", "setpriv --reuid=65534 --regid=65534 --clear-groups", false},
      {"an immutable report", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int fd = open(report.c_str(), O_RDONLY);
    int flags = 0;
    const bool set = c.immutable && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                     (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (c.immutable && !set) {
      close(fd);
      std::cout << "skipped: the file system keeps no immutable flag\n";
      continue;
    }
    const Outcome out = run_varqen(sticky, "--level difficult gauss.dat", c.runner);
    if (set) {
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    close(fd);
    EXPECT_EQ(out.status, 1) << out.output;
    EXPECT_EQ(out.output,
              "Error: The report of the data file\ngauss.dat\ncannot be written beside it:\n" +
                  report + ": Operation not permitted\n\n" + kAborted + "\n");
    EXPECT_EQ(testsupport::names_in(sticky), (std::vector<std::string>{"gauss.TXT", "gauss.dat"}));
    EXPECT_EQ(dir.read("sticky/gauss.TXT"), "old\n");
  }
}

// A run log that cannot be opened, in a read-only working folder or one that is gone, is named
// with the system's reason; the run goes on, and the line it would have logged is printed.
TEST(Varqen, ARunLogThatCannotBeOpenedIsNamedWithTheReason) {
  testsupport::TempDir dir;
  const std::filesystem::path data = dir.path() / "data";
  const std::filesystem::path ro = dir.path() / "ro";
  const std::filesystem::path gone = dir.path() / "gone";
  for (const auto& folder : {data, ro, gone}) std::filesystem::create_directory(folder);
  using std::filesystem::perm_options;
  using std::filesystem::perms;
  std::filesystem::permissions(data, perms::all);
  std::filesystem::permissions(dir.path(), perms::others_exec, perm_options::add);
  dir.write("data/mm.dat", michaelis_file(120.0));
  std::filesystem::permissions(data / "mm.dat", perms::others_read, perm_options::add);
  const bool root = geteuid() == 0;
  // Root writes in any folder: the run is then another user's.
  if (!root) std::filesystem::permissions(ro, perms::owner_write, perm_options::remove);
  const struct {
    std::filesystem::path folder;
    std::string runner;
    std::string failure;
  } cases[] = {
      {ro,
       root ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "",
       (ro / "Varqen-runlog.txt").string() + ": Permission denied"},
      {gone,
       "sh -c 'rmdir \"$PWD\" && exec \"$0\" \"$@\"'",
       gone.string() + " (deleted)/Varqen-runlog.txt: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder.filename().string());
    const Outcome out = run_varqen(c.folder, "'" + (data / "mm.dat").string() + "'", c.runner);
    EXPECT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find(" Display_Message(FAILURE) : Error opening message log file " +
                              c.failure + " : Date "),
              std::string::npos)
        << out.output;
    EXPECT_NE(out.output.find(" " + (data / "mm.dat").string() + "(INFORMATION) : SSQR= "),
              std::string::npos);
  }
  if (!root) std::filesystem::permissions(ro, perms::owner_write, perm_options::add);
  EXPECT_EQ(testsupport::names_in(data), (std::vector<std::string>{"mm.TXT", "mm.dat"}));
}

// A run ended by a signal during its fit ends as the signal ends it, without a report and
// without the report's working files, which lie beside the data file from before the model's
// confirmation on: whoever sends the signal, and a CPU time limit (at which the system would
// kill the program outright).
TEST(Varqen, ARunEndedByASignalLeavesNoFileOfItsReport) {
  testsupport::NistProblem pb;
  ASSERT_TRUE(testsupport::load_nist("Gauss1", 1, pb));
  testsupport::TempDir dir;
  std::filesystem::copy_file(pb.file, dir.path() / "gauss.dat");
  const struct {
    int sig;
    const char* limit;  // a limit the run starts with; no signal is sent then
  } cases[] = {
      {SIGTERM, ""},
      {SIGUSR1, ""},
      {SIGALRM, ""},
      {SIGXCPU, ""},
      {SIGXCPU, "ulimit -t 1;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.sig)) + " " + c.limit);
    // The shell starts the program, prints its process id and waits for it.
    FILE* pipe = popen(("cd '" + dir.path().string() + "' && ulimit -c 0 && " + c.limit +
                        " { VARQEN_HEADLESS=1 VARQEN_TEST_NO_PAUSES=1 '" VARQEN_BINARY
                        "' --level difficult gauss.dat 2>&1 & echo $!; wait $!; }")
                           .c_str(),
                       "r");
    ASSERT_NE(pipe, nullptr);
    pid_t pid = 0;
    bool confirmed = false;
    char line[4096];
    while ((pid == 0 || !confirmed) && std::fgets(line, sizeof line, pipe) != nullptr) {
      const std::string text(line);
      if (text.size() > 1 && text.find_first_not_of("0123456789\n") == std::string::npos) {
        pid = std::stoi(text);
      }
      confirmed = confirmed || text == "-> Yes\n";
    }
    ASSERT_TRUE(pid > 0 && confirmed);
    if (*c.limit == '\0') kill(pid, c.sig);
    const Outcome out = finish(pipe);
    EXPECT_EQ(out.status, 128 + c.sig) << out.output;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"gauss.dat"});
  }
}

// Short of memory (an address-space limit), a run either fits or ends with a line saying
// so and status 1, never on a crash, and leaves no working file of its report. (Sanitized
// programs cannot start under such limits at all.)
TEST(Varqen, ARunWithoutMemoryEndsWithAMessageAndNoWorkingFile) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve more address space than the limits leave";
#endif
  testsupport::TempDir dir;
  dir.write("mm.dat", michaelis_file(120.0));
  for (const int megabytes : {36, 44, 52, 60, 68, 76}) {
    SCOPED_TRACE(megabytes);
    const Outcome out =
        run_varqen(dir.path(), "mm.dat", "prlimit --as=" + std::to_string(megabytes * 1'000'000));
    ASSERT_TRUE(out.status == 0 || out.status == 1) << out.status << "\n" << out.output;
    std::vector<std::string> expected = {"mm.dat"};
    if (out.status == 0) {
      expected = {"Varqen-runlog.txt", "mm.TXT", "mm.dat"};
    } else {
      EXPECT_TRUE(out.output.find("varqen: out of memory") != std::string::npos ||
                  out.output.find("varqen: the main window cannot be opened") != std::string::npos)
          << out.output;
    }
    EXPECT_EQ(dir.names(), expected);
    for (const std::string name : {"mm.TXT", "Varqen-runlog.txt"}) {
      std::filesystem::remove(dir.path() / name);
    }
  }
}

// A closed standard output (the reader of a pipe gone) never ends a run: it goes on and writes
// its report. A file size limit refuses the file as a full disk does. Neither leaves a working
// file. The shell writes the run's status last on the output read here.
TEST(Varqen, AClosedOutputOrAFileSizeLimitEndsNoRunAbruptly) {
  testsupport::TempDir dir;
  // A line with one y of 1e200: refused before the fit, with an Error of several lines.
  std::string loud = "Y=P1*X1+P2\n1 1\n-1e300 -1e300\n1e300 1e300\n1 1\n";
  for (int x = 1; x <= 20; ++x) loud += std::to_string(x) + (x == 7 ? " 1e200\n" : " 3\n");
  dir.write("loud.dat", loud + "END\n");
  dir.write("mm.dat", michaelis_file(120.0));
  const struct {
    const char* command;  // $VARQEN is the program; the output read here is descriptor 3
    std::string output;
  } cases[] = {
      {"( $VARQEN loud.dat; echo $? >&3 ) | head -1 >/dev/null", "1\n"},
      {"( ulimit -f 4; $VARQEN mm.dat >&3; echo $? >&3 )",
       "Error: The report of the data file\nmm.dat\ncannot be written beside it:\n" +
           dir.path().string() + ": File too large\n\n" + kAborted + "\n1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const Outcome out = finish(popen(("cd '" + dir.path().string() +
                                      "' && export VARQEN_HEADLESS=1 VARQEN_TEST_NO_PAUSES=1 && "
                                      "VARQEN='" VARQEN_BINARY "' && { " +
                                      c.command + "; } 3>&1")
                                         .c_str(),
                                     "r"));
    EXPECT_EQ(out.output, c.output);
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"loud.dat", "mm.dat"}));
}

TEST(Varqen, UsageErrorsExitWithTwoAndHelpNamesTheOptions) {
  testsupport::TempDir dir;
  for (const char* args : {"--level hard a.dat",
                           "--weighting 6 a.dat",
                           "--bogus",
                           "a.dat b.dat",
                           "-x.dat",
                           "-- a.dat b.dat"}) {
    SCOPED_TRACE(args);
    const Outcome out = run_varqen(dir.path(), args);
    EXPECT_EQ(out.status, 2);
    EXPECT_NE(out.output.find("usage: varqen"), std::string::npos) << out.output;
  }
  const Outcome help = run_varqen(dir.path(), "--help");
  EXPECT_EQ(help.status, 0);
  for (const char* name :
       {"easy", "moderate", "difficult", "None", "1/Reweight^2", "1/Y^2", "Robust Weight",
        "StdDev / Residual", "3 divides each residual by its fitted value"}) {
    EXPECT_NE(help.output.find(name), std::string::npos) << name;
  }
  // "--" ends the options: a data file may begin with "-".
  dir.write("-x.dat", michaelis_file(120.0));
  const Outcome dashed = run_varqen(dir.path(), "-- -x.dat");
  EXPECT_EQ(dashed.status, 0) << dashed.output;
  EXPECT_NE(dashed.output.find("Saved in file: -x.TXT\n"), std::string::npos) << dashed.output;
  // Without a file the open-file dialog asks; the headless one is cancelled.
  EXPECT_EQ(run_varqen(dir.path(), "").status, 2);
}

}  // namespace
