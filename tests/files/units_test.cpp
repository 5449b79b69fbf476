#include "files/units.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "support/temp_dir.hpp"

namespace {

// Called after each read of a file that returned bytes, when set: a writer at the worst moment.
std::function<void()> after_read;

}  // namespace

// The program's reads pass through here, so that a test can change a file between two reads.
extern "C" ssize_t read(int fd, void* buffer, size_t bytes) {
  const ssize_t n = ::syscall(SYS_read, fd, buffer, bytes);
  if (n > 0 && after_read) after_read();
  return n;
}

namespace {

class Units : public ::testing::Test {
 protected:
  void SetUp() override {
    units::reset();
    units::set_start_directory(dir_.path());
  }
  void TearDown() override { units::reset(); }
  testsupport::TempDir dir_;
};

TEST_F(Units, GetUnitSkipsReservedNumbers) {
  dir_.write("f.txt", "x\n");
  int32_t u = -1;
  units::get_unit(u);
  EXPECT_EQ(u, 1);
  for (int32_t k = 1; k <= 4; ++k) ASSERT_EQ(units::open(k, "f.txt", units::Mode::Read), 0);
  units::get_unit(u);
  EXPECT_EQ(u, 7);
  units::get_unit(u);
  EXPECT_EQ(u, 7) << "the number is not reserved until opened";
  for (int32_t k = 7; k <= units::max_unit; ++k) {
    if (k != 9) {
      ASSERT_EQ(units::open(k, "f.txt", units::Mode::Read), 0) << k;
    }
  }
  units::get_unit(u);
  EXPECT_EQ(u, 0);
  units::close(42);
  units::get_unit(u);
  EXPECT_EQ(u, 42);
}

TEST_F(Units, OpenRefusesInvalidOrConnectedUnits) {
  dir_.write("f.txt", "");
  struct Case {
    int32_t unit;
    const char* path;
    units::Mode mode;
    int32_t status;
  } const cases[] = {
      {0, "f.txt", units::Mode::Read, 1},
      {100, "f.txt", units::Mode::Read, 1},
      {6, "f.txt", units::Mode::Read, 1},
      {5, "f.txt", units::Mode::Read, 1},
      {3, "missing.txt", units::Mode::Read, 2},
      {3, ".", units::Mode::Read, 2},  // a folder
      {3, "", units::Mode::Write, 2},
      {3, "f.txt", units::Mode::Read, 0},
      {3, "f.txt", units::Mode::Read, 1},  // already connected
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.unit) + " " + c.path);
    EXPECT_EQ(units::open(c.unit, c.path, c.mode), c.status);
  }
  EXPECT_FALSE(units::is_connected(100));
  EXPECT_TRUE(units::is_connected(3));
}

TEST_F(Units, ReadsLfCrLfAndCrLinesAlike) {
  dir_.write("d.txt", "a b\r\nc\n\r\nd\re\r\rlast");
  int32_t u = 0;
  ASSERT_EQ(units::open_free(u, "d.txt", units::Mode::Read), 0);
  std::vector<std::string> lines;
  std::string line;
  while (units::read_line(u, line) == units::ReadStatus::Ok) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a b", "c", "", "d", "e", "", "last"}));
  EXPECT_EQ(units::read_line(u, line), units::ReadStatus::End);
  EXPECT_FALSE(units::write_line(u, "no"));
  units::close(u);
  EXPECT_EQ(units::read_line(u, line), units::ReadStatus::Error);
}

// The lines of the file `name` as an open for reading gives them.
std::vector<std::string> lines_read(const std::string& name) {
  std::vector<std::string> lines;
  units::ScopedUnit file(name, units::Mode::Read);
  for (std::string line; file.ok() && file.read_line(line) == units::ReadStatus::Ok;) {
    lines.push_back(line);
  }
  return lines;
}

// While a snapshot is held, every open of its file for reading reads the content it was taken
// with, whatever has become of the file: replaced by another, rewritten in place, cut short or
// removed. Opens for writing, and every open once it is let go, take the file as it is.
TEST_F(Units, ASnapshotHoldsOneContentOfItsFileForEveryReader) {
  const std::string path = dir_.file("d.dat");
  const struct {
    const char* what;
    std::function<void()> change;
  } cases[] = {
      {"replaced", [&] { std::filesystem::rename(dir_.write("new.dat", "x\ny\nz\n"), path); }},
      {"rewritten", [&] { dir_.write("d.dat", "x\ny\nz\n"); }},
      {"cut short", [&] { std::filesystem::resize_file(path, 2); }},
      {"removed", [&] { std::filesystem::remove(path); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.write("d.dat", "a\r\nb\n");
    std::optional<units::Snapshot> held(std::in_place, "./d.dat");
    ASSERT_EQ(held->status(), 0);
    c.change();
    for (const std::string& name : {std::string("d.dat"), path}) {
      EXPECT_EQ(lines_read(name), (std::vector<std::string>{"a", "b"}));
    }
    held.reset();
    EXPECT_NE(lines_read("d.dat"), (std::vector<std::string>{"a", "b"}));
  }
  // A file that cannot be opened, or is too large to hold, holds nothing.
  EXPECT_EQ(units::Snapshot("d.dat").status(), 2);
  EXPECT_EQ(units::last_error(), std::errc::no_such_file_or_directory);
  dir_.write("big.dat", "");
  std::filesystem::resize_file(dir_.file("big.dat"), units::max_snapshot_bytes + 1);
  EXPECT_EQ(units::Snapshot("big.dat").status(), 4);
  EXPECT_EQ(units::last_error(), std::errc::file_too_large);
}

// A file rewritten in place or cut short between two reads of a snapshot is read again: the
// content held is one content of the file, never rows of two; a file written to at every read
// is refused.
TEST_F(Units, ASnapshotOfAFileWrittenWhileReadIsOneContentOrNone) {
  const std::string old_rows(200'000, 'o');  // four reads of 64 KiB
  const struct {
    const char* what;
    std::string writes;  // what the writer puts in the file, once or at every read
    bool every_read;
    std::string held;  // empty: refused
  } cases[] = {
      {"rewritten once", std::string(150'000, 'n'), false, std::string(150'000, 'n')},
      {"cut short once", "cut", false, "cut"},
      {"rewritten at every read", std::string(150'000, 'n'), true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.write("d.dat", old_rows);
    size_t writes = 0;
    after_read = [&] {
      if (writes > 0 && !c.every_read) return;
      // Each writing is shorter than the one before, so that every one shows in the size.
      dir_.write("d.dat", c.writes.substr(0, c.writes.size() - writes++));
    };
    std::optional<units::Snapshot> held(std::in_place, "d.dat");
    after_read = nullptr;
    if (c.held.empty()) {
      EXPECT_EQ(held->status(), 4);
      EXPECT_EQ(units::last_error(), file_safety::Reason::ChangedWhileRead);
      continue;
    }
    ASSERT_EQ(held->status(), 0);
    EXPECT_EQ(lines_read("d.dat"), std::vector<std::string>{c.held});
  }
}

TEST_F(Units, ALineBeyondTheCapIsTooLongAndNeverGrowsTheBuffer) {
  const size_t cap = units::max_line_length;
  dir_.write("d.txt", std::string(cap, 'x') + "\n" + std::string(cap + 1, 'y'));
  int32_t u = 0;
  ASSERT_EQ(units::open_free(u, "d.txt", units::Mode::Read), 0);
  std::string line;
  EXPECT_EQ(units::read_line(u, line), units::ReadStatus::Ok);
  EXPECT_EQ(line.size(), cap);
  EXPECT_EQ(units::read_line(u, line), units::ReadStatus::TooLong);
  EXPECT_EQ(line.size(), cap);
  units::close(u);
}

// Only a regular file is read: a FIFO without a writer would hold the open (or the first read)
// forever, a device may never end a line. The refusal comes at once, for every way of opening.
TEST_F(Units, ReadingTakesOnlyARegularFileAndNeverWaits) {
  ASSERT_EQ(mkfifo((dir_.path() / "fifo").c_str(), 0600), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string sock_path = dir_.file("sock");
  ASSERT_LT(sock_path.size(), sizeof addr.sun_path);
  sock_path.copy(addr.sun_path, sock_path.size());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  dir_.write("f.txt", "x\n");
  std::filesystem::create_symlink(dir_.path() / "fifo", dir_.path() / "link");
  const int folder = ::open(dir_.path().c_str(), O_PATH | O_DIRECTORY);
  const struct {
    const char* path;
    std::error_code error;  // none: opened
  } cases[] = {
      {"fifo", file_safety::Reason::NotRegularFile},
      {"link", file_safety::Reason::NotRegularFile},
      {"sock", file_safety::Reason::NotRegularFile},
      {"/dev/zero", file_safety::Reason::NotRegularFile},
      {"/dev/null", file_safety::Reason::NotRegularFile},
      {".", file_safety::system_error(EISDIR)},
      {"f.txt", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    int32_t u = 0;
    EXPECT_EQ(units::open_free(u, c.path, units::Mode::Read), c.error ? 2 : 0);
    if (c.error) {
      EXPECT_EQ(units::last_error(), c.error);
    }
    units::close(u);
    // A file held open is refused alike.
    const int fd = ::openat(folder, c.path, O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(units::open_free_fd(u, fd, units::Mode::Read), c.error ? 2 : 0);
    units::close(u);
    if (fd >= 0) ::close(fd);
  }
  // Writing may go to a device or to a FIFO that someone reads; with nobody reading a FIFO the
  // open fails rather than waits. A log is neither.
  int32_t u = 0;
  EXPECT_EQ(units::open_free(u, "/dev/null", units::Mode::Write), 0);
  units::close(u);
  EXPECT_EQ(units::open_free(u, "fifo", units::Mode::Write), 2);
  EXPECT_EQ(units::last_error(), std::errc::no_such_device_or_address);
  for (const char* log : {"/dev/null", "fifo"}) {
    EXPECT_EQ(units::open_free(u, log, units::Mode::Append), 2);
    EXPECT_EQ(units::last_error(), file_safety::Reason::NotRegularFile);
  }
  ::close(folder);
  ::close(sock);
}

TEST_F(Units, FailuresLeaveTheSystemsReason) {
  int32_t u = 0;
  EXPECT_EQ(units::open_free(u, "missing.txt", units::Mode::Read), 2);
  EXPECT_EQ(units::last_error(), std::errc::no_such_file_or_directory);
  EXPECT_EQ(units::open_free(u, ".", units::Mode::Write), 2);
  EXPECT_EQ(units::last_error(), std::errc::is_a_directory);
  EXPECT_EQ(units::open_free(u, "no/such/folder.txt", units::Mode::Write), 2);
  EXPECT_EQ(units::last_error(), std::errc::no_such_file_or_directory);
  ASSERT_EQ(units::open_free(u, "/dev/full", units::Mode::Write), 0);
  EXPECT_TRUE(units::write_line(u, "lost"));
  EXPECT_FALSE(units::flush(u));
  EXPECT_EQ(units::last_error(), std::errc::no_space_on_device);
  units::close(u);
}

TEST_F(Units, UniqueFilesAreNewEachTime) {
  std::set<std::string> names;
  const int folder = ::open(dir_.path().c_str(), O_PATH | O_DIRECTORY);
  for (int k = 0; k < 50; ++k) {
    file_safety::Descriptor fd;
    const std::string name = units::create_unique(folder, ".t-", ".part", fd);
    EXPECT_TRUE(fd.valid());
    EXPECT_EQ(name.size(), 3u + 6u + 5u);
    EXPECT_EQ(name.substr(0, 3), ".t-");
    EXPECT_TRUE(std::filesystem::is_regular_file(dir_.path() / name));
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  // The folder is the one held, wherever it is now; one that is gone takes no file.
  std::filesystem::rename(dir_.path(), dir_.path().string() + "-moved");
  file_safety::Descriptor fd;
  const std::string moved = units::create_unique(folder, "m", "", fd);
  EXPECT_TRUE(std::filesystem::exists(dir_.path().string() + "-moved/" + moved));
  std::filesystem::rename(dir_.path().string() + "-moved", dir_.path());
  const std::filesystem::path other = dir_.path() / "other";
  std::filesystem::create_directory(other);
  const int removed = ::open(other.c_str(), O_PATH | O_DIRECTORY);
  std::filesystem::remove(other);
  EXPECT_TRUE(units::create_unique(removed, "t", "", fd).empty());
  EXPECT_FALSE(fd.valid());
  EXPECT_EQ(units::last_error(), std::errc::no_such_file_or_directory);
  ::close(removed);
  ::close(folder);
}

TEST_F(Units, AppendKeepsEarlierLines) {
  int32_t u = 0;
  ASSERT_EQ(units::open_free(u, "log.txt", units::Mode::Append), 0);
  EXPECT_TRUE(units::write_line(u, "one"));
  units::close(u);
  ASSERT_EQ(units::open_free(u, "log.txt", units::Mode::Append), 0);
  EXPECT_TRUE(units::write_line(u, "two"));
  units::close(u);
  EXPECT_EQ(dir_.read("log.txt"), "one\ntwo\n");
}

TEST_F(Units, FlushReportsAFileThatRefusesTheWrite) {
  int32_t u = 0;
  ASSERT_EQ(units::open_free(u, "ok.txt", units::Mode::Write), 0);
  EXPECT_TRUE(units::write_line(u, "kept"));
  EXPECT_TRUE(units::flush(u));
  EXPECT_EQ(dir_.read("ok.txt"), "kept\n");
  units::close(u);
  EXPECT_FALSE(units::flush(u));
  // A device that is always full takes the line into the buffer and fails when it is handed on.
  ASSERT_EQ(units::open_free(u, "/dev/full", units::Mode::Write), 0);
  EXPECT_TRUE(units::write_line(u, "lost"));
  EXPECT_FALSE(units::flush(u));
  units::close(u);
}

TEST_F(Units, ConcurrentOpensNeverShareAUnit) {
  dir_.write("f.txt", "x\n");
  constexpr int kThreads = 4;
  constexpr int kPerThread = 20;
  std::vector<std::vector<int32_t>> got(kThreads);
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k) {
    threads.emplace_back([&got, k] {
      for (int i = 0; i < kPerThread; ++i) {
        int32_t u = 0;
        if (units::open_free(u, "f.txt", units::Mode::Read) == 0) got[k].push_back(u);
      }
    });
  }
  for (auto& t : threads) t.join();
  std::set<int32_t> all;
  size_t total = 0;
  for (const auto& g : got) {
    all.insert(g.begin(), g.end());
    total += g.size();
  }
  EXPECT_EQ(all.size(), total);
  EXPECT_EQ(total, 80u);  // all 80 fit into the 96 units handed out
  EXPECT_EQ(all.count(5) + all.count(6) + all.count(9), 0u);
}

}  // namespace
