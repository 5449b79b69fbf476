#include "model/units.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "support/temp_dir.hpp"

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
  // A device without line ends.
  ASSERT_EQ(units::open_free(u, "/dev/zero", units::Mode::Read), 0);
  EXPECT_EQ(units::read_line(u, line), units::ReadStatus::TooLong);
  units::close(u);
}

TEST_F(Units, FailuresLeaveTheSystemsReason) {
  int32_t u = 0;
  EXPECT_EQ(units::open_free(u, "missing.txt", units::Mode::Read), 2);
  EXPECT_EQ(units::last_error(), ENOENT);
  EXPECT_EQ(units::open_free(u, ".", units::Mode::Write), 2);
  EXPECT_EQ(units::last_error(), EISDIR);
  EXPECT_EQ(units::open_free(u, "no/such/folder.txt", units::Mode::Write), 2);
  EXPECT_EQ(units::last_error(), ENOENT);
  ASSERT_EQ(units::open_free(u, "/dev/full", units::Mode::Write), 0);
  EXPECT_TRUE(units::write_line(u, "lost"));
  EXPECT_FALSE(units::flush(u));
  EXPECT_EQ(units::last_error(), ENOSPC);
  units::close(u);
}

TEST_F(Units, UniqueFilesAreNewEachTime) {
  std::set<std::string> names;
  for (int k = 0; k < 50; ++k) {
    const std::filesystem::path p = units::create_unique(dir_.path(), ".t-", ".part");
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.parent_path(), dir_.path());
    const std::string name = p.filename().string();
    EXPECT_EQ(name.size(), 3u + 6u + 5u);
    EXPECT_EQ(name.substr(0, 3), ".t-");
    EXPECT_TRUE(std::filesystem::is_regular_file(p));
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  // Relative folders lie in the start directory.
  const std::filesystem::path rel = units::create_unique("", "r", ".txt");
  EXPECT_EQ(rel.parent_path(), dir_.path());
  EXPECT_TRUE(units::create_unique(dir_.path() / "missing", "t", "").empty());
  EXPECT_EQ(units::last_error(), ENOENT);
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
