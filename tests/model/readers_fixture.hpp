// Fixture of the data-file reader tests: a temporary folder for data files, the file units
// closed before and after, standard output captured.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "common/globals.hpp"
#include "files/units.hpp"
#include "support/temp_dir.hpp"

namespace modeltest {

class ReaderFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    units::reset();
    units::set_console(&console_);
    globals::reset();
  }
  void TearDown() override {
    EXPECT_FALSE(any_unit_open()) << "a reader left its file open";
    units::reset();
  }
  static bool any_unit_open() {
    for (int32_t u = 1; u <= units::max_unit; ++u) {
      if (units::is_connected(u)) return true;
    }
    return false;
  }
  // Writes a data file and returns its path.
  std::string file(const std::string& bytes, const std::string& name = "data.dat") {
    return dir_.write(name, bytes);
  }
  std::string missing() const { return (dir_.path() / "missing.dat").string(); }

  testsupport::TempDir dir_;
  std::ostringstream console_;
};

// A well-formed file of three parameters, two columns and three rows, ending at `end`.
inline std::string three_row_file(const std::string& end = "END") {
  return "Y=P1+P2*X1+P3*X1^2\n"
         "1 2 3\n"
         "-10 -10 -10\n"
         "10 10 10\n"
         "1 1 1\n"
         "1.0 2.5\n"
         "2.0 4.5\n"
         "3.0 8.5\n" +
         end + "\n";
}

}  // namespace modeltest
