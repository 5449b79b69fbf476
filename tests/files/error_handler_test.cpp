#include "files/error_handler.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <utility>

#include "files/log_append.hpp"
#include "files/units.hpp"
#include "support/fixed_time.hpp"
#include "support/scoped_clock.hpp"
#include "support/temp_dir.hpp"

namespace {

// A neighbour's action, run once right after a write to the file `watched` is cut short.
std::function<void()> after_short_write;
ino_t watched = 0;

}  // namespace

extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
  const ssize_t n = ::syscall(SYS_write, fd, bytes, count);
  struct stat st = {};
  if (after_short_write && n >= 0 && size_t(n) < count && ::fstat(fd, &st) == 0 &&
      st.st_ino == watched) {
    const int err = errno;
    std::exchange(after_short_write, nullptr)();
    errno = err;
  }
  return n;
}

namespace {

using testsupport::fixed_time;

// Sets this process's file size limit: a write past it fails (EFBIG while SIGXFSZ is ignored).
void set_file_size_limit(rlim_t bytes) {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

class ErrorHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    units::reset();
    units::set_start_directory(dir_.path());
    units::set_console(&console_);
    error_handler::set_clock(fixed_time);
  }
  void TearDown() override {
    error_handler::set_clock(nullptr);
    units::reset();
  }
  testsupport::TempDir dir_;
  std::ostringstream console_;
};

TEST_F(ErrorHandler, DateTextHas24Characters) {
  EXPECT_EQ(error_handler::date_text(fixed_time()), "Mon Dec  7 04:21:58 2026");
  std::tm t = fixed_time();
  t.tm_mday = 17;
  t.tm_mon = 0;
  t.tm_wday = 6;
  EXPECT_EQ(error_handler::date_text(t), "Sat Jan 17 04:21:58 2026");
}

TEST_F(ErrorHandler, LogLineLayoutsByState) {
  const std::string log = std::string(error_handler::runlog_file_name) + std::string(63, ' ');
  struct Case {
    int32_t state;
    const char* line;
  } const cases[] = {
      {1, " FitRun : done : Date Mon Dec  7 04:21:58 2026"},
      {0, " FitRun(SUCCESS) : done : Date Mon Dec  7 04:21:58 2026"},
      {2, " FitRun(WARNING) : done : Date Mon Dec  7 04:21:58 2026"},
      {3, " FitRun(FAILURE) : done : Date Mon Dec  7 04:21:58 2026"},
      {4, " FitRun(UNDEFINED) : done : Date Mon Dec  7 04:21:58 2026"},
      {5, " FitRun(UNDEFINED) : done : Date Mon Dec  7 04:21:58 2026"},
      {-1, " FitRun(UNDEFINED) : done : Date Mon Dec  7 04:21:58 2026"},
  };
  std::string expected;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    error_handler::display_message("FitRun   ", "done   ", c.state, log);
    expected += std::string(c.line) + "\n";
    EXPECT_EQ(dir_.read("Varqen-runlog.txt"), expected);  // appended after the earlier lines
  }
  EXPECT_EQ(console_.str(), "");
  EXPECT_FALSE(units::is_connected(10)) << "the log is closed after every line";
}

TEST_F(ErrorHandler, LeadingBlanksReachTheLine) {
  error_handler::display_message("  R", "  m", 1, "Varqen-runlog.txt");
  EXPECT_EQ(dir_.read("Varqen-runlog.txt"), "   R :   m : Date Mon Dec  7 04:21:58 2026\n");
}

TEST_F(ErrorHandler, WithoutLogFileStateOneShowsInformation) {
  error_handler::display_message("FitRun", "done", 1);
  EXPECT_EQ(console_.str(), " FitRun(INFORMATION) : done : Date Mon Dec  7 04:21:58 2026\n");
}

// A log that is not a regular file of its own (a link planted in its place, dangling or not, a
// FIFO someone reads, a second name of another file) is never written: the line goes to the
// standard output after one line saying why, and what the planted name leads to is untouched.
TEST_F(ErrorHandler, ALogThatCannotBeOpenedOrWrittenGoesToStandardOutput) {
  dir_.write("victim.txt", "kept\n");
  std::filesystem::create_symlink("/dev/full", dir_.path() / "full.txt");
  std::filesystem::create_symlink(dir_.path() / "victim.txt", dir_.path() / "link.txt");
  std::filesystem::create_symlink(dir_.path() / "made.txt", dir_.path() / "dangling.txt");
  std::filesystem::create_hard_link(dir_.path() / "victim.txt", dir_.path() / "hard.txt");
  ASSERT_EQ(::mkfifo(dir_.file("fifo.txt").c_str(), 0600), 0);
  const int reader = ::open(dir_.file("fifo.txt").c_str(), O_RDONLY | O_NONBLOCK);
  // A log that another program keeps locked is waited for only so long.
  const int holder = ::open(dir_.write("locked.txt", "").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  const testsupport::ScopedClock clock;
  const std::string link = ": a symbolic link, which is not followed";
  const struct {
    std::string log;
    std::string failure;
  } cases[] = {
      {"no-such-folder/log.txt",
       "Error opening message log file " + dir_.file("no-such-folder/log.txt") +
           ": No such file or directory"},
      {"full.txt", "Error opening message log file " + dir_.file("full.txt") + link},
      {"link.txt", "Error opening message log file " + dir_.file("link.txt") + link},
      {"dangling.txt", "Error opening message log file " + dir_.file("dangling.txt") + link},
      {"hard.txt",
       "Error opening message log file " + dir_.file("hard.txt") +
           ": a file with other names (a hard link)"},
      {"fifo.txt",
       "Error opening message log file " + dir_.file("fifo.txt") + ": not a regular file"},
      {"locked.txt",
       "Error writing message log file " + dir_.file("locked.txt") + ": locked by another program"},
      // A control character of the path is shown by its code: the failure stays one line.
      {"new\nline/log.txt",
       "Error opening message log file " + dir_.file("new<10>line/log.txt") +
           ": No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log);
    console_.str("");
    error_handler::display_message("FitRun", "done", 2, c.log);
    EXPECT_EQ(console_.str(),
              " Display_Message(FAILURE) : " + c.failure +
                  " : Date Mon Dec  7 04:21:58 2026\n"
                  " FitRun(WARNING) : done : Date Mon Dec  7 04:21:58 2026\n");
  }
  ::close(reader);
  ::close(holder);
  EXPECT_GE(clock.slept(), log_append::lock_wait_ms);
  EXPECT_EQ(dir_.read("locked.txt"), "");
  EXPECT_EQ(dir_.read("victim.txt"), "kept\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "made.txt"));
}

// A line that the file takes only in part (a file-size limit, a full disk) is taken back
// whole: the log ends at the end of its last line, and the next run's line starts a line. Only
// the line's own bytes are taken back: another run that appends meanwhile waits for the log's
// lock, which is held for the append and the take-back, and a line that a writer without the
// lock adds after the torn part stays.
TEST_F(ErrorHandler, ALineTheLogTakesInPartIsTakenBackAndNothingElse) {
  enum class Neighbour { None, Run, WithoutLock };
  const struct {
    const char* what;
    Neighbour neighbour;  // who appends " theirs" right after the line is cut short
    const char* log;
  } cases[] = {
      {"alone", Neighbour::None, "one\n"},
      {"another run", Neighbour::Run, "one\n theirs\n"},
      {"a writer without the lock", Neighbour::WithoutLock, "one\n FitRu theirs\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.write("log.txt", "one\n");
    const pid_t pid = fork();
    if (pid == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const int theirs = ::open(dir_.file("log.txt").c_str(), O_WRONLY | O_APPEND);
      // Another run takes the lock first; when it is held, the run waits and appends after.
      bool waiting = false;
      const auto append = [&] {
        set_file_size_limit(RLIM_INFINITY);
        [[maybe_unused]] const ssize_t n = ::write(theirs, " theirs\n", 8);
        set_file_size_limit(10);
      };
      struct stat st = {};
      ::fstat(theirs, &st);
      watched = st.st_ino;
      if (c.neighbour == Neighbour::WithoutLock) after_short_write = append;
      if (c.neighbour == Neighbour::Run) {
        after_short_write = [&] {
          waiting = ::flock(theirs, LOCK_EX | LOCK_NB) != 0;
          if (!waiting) append();
        };
      }
      set_file_size_limit(10);
      error_handler::display_message("FitRun", "a line longer than the room left", 1, "log.txt");
      if (waiting && ::flock(theirs, LOCK_EX) == 0) append();
      std::_Exit(console_.str().starts_with(" Display_Message(FAILURE) : Error writing message "
                                            "log file " +
                                            dir_.file("log.txt") + ": File too large : Date")
                     ? 0
                     : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(dir_.read("log.txt"), c.log);
  }
  dir_.write("log.txt", "one\n");
  error_handler::display_message("FitRun", "next", 1, "log.txt");
  EXPECT_EQ(dir_.read("log.txt"), "one\n FitRun : next : Date Mon Dec  7 04:21:58 2026\n");
}

// The log of a relative name lies in the start folder where that folder is now: moved during
// the run, the line follows it, and a file put at the old place is not written.
TEST_F(ErrorHandler, ARelativeLogFollowsItsMovedFolder) {
  const std::filesystem::path moved = dir_.path().string() + "-moved";
  std::filesystem::rename(dir_.path(), moved);
  std::filesystem::create_directory(dir_.path());
  error_handler::display_message("FitRun", "done", 1, "log.txt");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "log.txt"));
  std::filesystem::remove(dir_.path());
  std::filesystem::rename(moved, dir_.path());
  EXPECT_EQ(dir_.read("log.txt"), " FitRun : done : Date Mon Dec  7 04:21:58 2026\n");
}

TEST_F(ErrorHandler, OpenMessageLogUsesUnitsFromTen) {
  int32_t unit = -1;
  ASSERT_EQ(error_handler::open_message_log("a.txt   ", unit), 0);
  EXPECT_EQ(unit, 10);
  int32_t second = -1;
  ASSERT_EQ(error_handler::open_message_log("b.txt", second), 0);
  EXPECT_EQ(second, 11);
  units::close(unit);
  units::close(second);
  for (int32_t u = 10; u <= units::max_unit; ++u) {
    ASSERT_EQ(units::open(u, "c.txt", units::Mode::Append), 0);
  }
  int32_t none = -1;
  EXPECT_EQ(error_handler::open_message_log("d.txt", none), 3);
  EXPECT_EQ(none, -1);
}

// The unit and file inquiries, on files of the temporary folder opened through the unit table.
TEST_F(ErrorHandler, UnitAndFileInquiries) {
  const std::string name = dir_.write("present.txt", "x\n");
  std::filesystem::create_directory(dir_.path() / "folder");
  int32_t unit = 0;
  ASSERT_EQ(units::open_free(unit, "present.txt", units::Mode::Read, 10), 0);
  struct Case {
    const char* what;
    bool got, expected;
  };
  const Case cases[] = {
      {"open by relative name", error_handler::file_open_by_name("present.txt  "), true},
      {"open by full name", error_handler::file_open_by_name(name), true},
      {"open by a name with ./", error_handler::file_open_by_name("./present.txt"), true},
      {"not open", error_handler::file_open_by_name("absent.txt"), false},
      {"unit open", error_handler::file_open_by_unit(unit), true},
      {"unit not open", error_handler::file_open_by_unit(unit + 1), false},
      {"file exists", error_handler::file_name_exists("present.txt"), true},
      {"file missing", error_handler::file_name_exists("absent.txt"), false},
      {"a folder is no file", error_handler::file_name_exists("folder"), false},
      {"blank name", error_handler::file_name_exists("   "), false},
      {"unit 1", error_handler::file_unit_exists(1), true},
      {"unit 99", error_handler::file_unit_exists(99), true},
      {"unit 0", error_handler::file_unit_exists(0), false},
      {"unit 100", error_handler::file_unit_exists(100), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.got, c.expected);
  }
  // get_lun: unit 10 is taken, so 11; with every unit from 10 on taken, -1.
  EXPECT_EQ(unit, 10);
  EXPECT_EQ(error_handler::get_lun(), 11);
  for (int32_t u = 11; u <= units::max_unit; ++u) {
    ASSERT_EQ(units::open(u, "present.txt", units::Mode::Read), 0) << u;
  }
  EXPECT_EQ(error_handler::get_lun(), -1);
  units::close(42);
  EXPECT_EQ(error_handler::get_lun(), 42);
}

}  // namespace
