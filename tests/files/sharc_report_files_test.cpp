// The report's working files at an abrupt end of the program. The end is taken in a child
// process each time, since no working file is made in a process after it.
//
// The program's own system calls that make (exclusive creation) and remove working files are
// interposed here, so that a test can send the signal that ends the program from inside them:
// right after a file is made, right before one is removed, the worst moments for the removal
// at the end.
#include "files/sharc_report_files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace {

enum class RaiseAt { Never, AfterCreate, BeforeRemove };
std::atomic<RaiseAt> raise_at{RaiseAt::Never};

// Sends SIGTERM once, when `now` is the moment asked for.
void raise_if(RaiseAt now) {
  RaiseAt expected = now;
  if (raise_at.compare_exchange_strong(expected, RaiseAt::Never)) std::raise(SIGTERM);
}

}  // namespace

extern "C" int openat(int dir, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & (O_CREAT | O_TMPFILE)) != 0) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  const int fd = static_cast<int>(::syscall(SYS_openat, dir, path, flags, mode));
  if (fd >= 0 && (flags & O_EXCL) != 0) raise_if(RaiseAt::AfterCreate);
  return fd;
}

extern "C" int unlinkat(int dir, const char* path, int flags) {
  raise_if(RaiseAt::BeforeRemove);
  return static_cast<int>(::syscall(SYS_unlinkat, dir, path, flags));
}

namespace {

// Runs `body` in a child process that ends on SIGTERM as the program does (its report's
// working files removed, then the signal's default action). The child's exit code, or 128 +
// the signal that ended it.
int in_child(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGTERM, [](int sig) {
      sharc_report_files::remove_unfinished_reports();
      std::signal(sig, SIG_DFL);
      std::raise(sig);
    });
    std::_Exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// A signal that ends the program right after a working file is made, or right before one is
// removed, leaves none behind: a file is registered for the removal before anyone can see it,
// and forgotten only once it is gone.
TEST(ReportFiles, ASignalAtTheWorstMomentLeavesNoWorkingFile) {
  testsupport::TempDir dir;
  const std::string data = dir.file("Run.dat");
  const struct {
    const char* what;
    RaiseAt at;
    std::function<void(sharc_report_files::ReportFiles&)> then;  // after the files are made
  } cases[] = {
      {"made", RaiseAt::AfterCreate, [](sharc_report_files::ReportFiles&) {}},
      {"removed",
       RaiseAt::BeforeRemove,
       [](sharc_report_files::ReportFiles& f) { f.remove_scratch(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(in_child([&] {
                sharc_report_files::ReportFiles files;
                if (c.at == RaiseAt::AfterCreate) raise_at = c.at;
                if (files.create(data, 10)) return 1;
                raise_at = c.at;
                c.then(files);
                return 0;
              }),
              128 + SIGTERM);
    EXPECT_TRUE(dir.names().empty());
  }
}

// A signal that ends the program leaves alone a file put in a working file's place (by a
// neighbour in a folder others may write): it is not the run's. The run's other one goes.
TEST(ReportFiles, ASignalLeavesAFilePutInAWorkingFilesPlace) {
  testsupport::TempDir dir;
  for (const bool results_file : {false, true}) {
    SCOPED_TRACE(results_file ? "results file" : "scratch copy");
    EXPECT_EQ(in_child([&] {
                sharc_report_files::ReportFiles files;
                if (files.create(dir.file("Run.dat"), 10)) return 1;
                std::filesystem::rename(dir.write("planted", "planted\n"),
                                        results_file ? files.partial() : files.scratch());
                std::raise(SIGTERM);
                return 1;
              }),
              128 + SIGTERM);
    const std::vector<std::string> left = dir.names();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(dir.read(left[0]), "planted\n");
    std::filesystem::remove(dir.path() / left[0]);
  }
}

// The working files are removed where they are when their folder was moved, at the block's
// end and at an abrupt end of the program alike; after that end no report makes one.
TEST(ReportFiles, AnAbruptEndRemovesThemWhereTheirFolderWentAndMakesNoMore) {
  testsupport::TempDir dir;
  const std::filesystem::path data = dir.path() / "data";
  const std::filesystem::path moved = dir.path() / "moved";
  std::filesystem::create_directory(data);
  for (const bool abrupt : {false, true}) {
    SCOPED_TRACE(abrupt);
    sharc_report_files::ReportFiles run;
    ASSERT_FALSE(run.create((data / "Run.dat").string(), 10));
    std::filesystem::rename(data, moved);
    EXPECT_EQ(run.scratch().parent_path(), moved);
    EXPECT_EQ(testsupport::names_in(moved).size(), 2u);
    if (abrupt) {
      EXPECT_EQ(in_child([&] {
                  sharc_report_files::remove_unfinished_reports();
                  sharc_report_files::ReportFiles late;
                  return late.create((moved / "Late.dat").string(), 10).value();
                }),
                ECANCELED);
    } else {
      run.remove();
    }
    EXPECT_TRUE(testsupport::names_in(moved).empty());
    std::filesystem::rename(moved, data);
  }
}

TEST(ResultsFileName, ReplacesADatEndingTheFilesOwnNameElseAddsTxt) {
  const struct {
    const char* input;
    const char* expected;
  } cases[] = {{"C:\\DATA\\RUN1.DAT", "C:\\DATA\\RUN1.TXT"},
               {"A.DAT.DAT", "A.DAT.TXT"},
               {"/data/x.Dat", "/data/x.TXT"},
               {"run#1.DAT", "run#1.TXT"},
               {"notes.dat.d/run1", "notes.dat.d/run1.TXT"},  // never a folder's ".DAT"
               {"x.dat.old", "x.dat.old.TXT"},
               {"x.data", "x.data.TXT"},
               {"x  .dat", "x  .TXT"},  // blanks kept: no other file's report
               {"x.dat ", "x.dat .TXT"},
               {"/data/nodat", "/data/nodat.TXT"},
               {"k.dat.d/../k.TXT", "k.dat.d/../k.TXT.TXT"},
               {"", ".TXT"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(sharc_report_files::results_file_name(c.input), c.expected);
  }
}

}  // namespace
