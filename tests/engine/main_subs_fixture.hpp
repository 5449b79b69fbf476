// A fit run in a temporary folder: the headless main window of the cascade's tests, the start
// directory and globals::cwd in the folder, a fixed date for the run log, and helpers that
// write data files, run main_sub and read the dialogs it showed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/cascade_fixture.hpp"
#include "engine/main_subs.hpp"
#include "files/error_handler.hpp"
#include "files/units.hpp"
#include "support/fixed_time.hpp"
#include "support/temp_dir.hpp"

namespace mainsubtest {

// y = 120 x / (4 + x) with small alternating disturbances, at eight x values.
inline std::string michaelis_rows() {
  return "0.5 13.4\n1 24.1\n2 39.9\n3 51.6\n5 66.5\n8 80.3\n12 89.7\n20 100.2\n";
}

// The values as one line of a data file, each to 17 significant digits.
inline std::string line_of(const std::vector<double>& v) {
  std::string out;
  char buf[40];
  for (double d : v) {
    std::snprintf(buf, sizeof buf, "%.17g", d);
    out += (out.empty() ? "" : " ") + std::string(buf);
  }
  return out + "\n";
}

// A data file: the model line, lines 2 to 5, the rows and the closing line.
inline std::string data_file(const std::string& model,
                             const std::string& start,
                             const std::string& mask,
                             const std::string& rows,
                             const std::string& close = "END\n") {
  const size_t n = static_cast<size_t>(std::count(mask.begin(), mask.end(), ' ') + 1);
  std::string lo, hi;
  for (size_t i = 0; i < n; ++i) {
    lo += i ? " 0" : "0";
    hi += i ? " 1000" : "1000";
  }
  return model + "\n" + start + "\n" + lo + "\n" + hi + "\n" + mask + "\n" + rows + close;
}

class MainSubTest : public cascadetest::CascadeTest {
 protected:
  void SetUp() override {
    CascadeTest::SetUp();
    units::set_start_directory(dir.path());
    globals::cwd = stringlib::fixed((dir.path() / "").string(), globals::len_dir);
    error_handler::set_clock(testsupport::fixed_time);
    globals::iopt = 1;
    globals::iwt = 1;
    main_subs::input_file.clear();
  }
  void TearDown() override {
    error_handler::set_clock(nullptr);
    units::reset();
    CascadeTest::TearDown();
  }

  // Runs main_sub on the file `name` of the folder.
  void run(const std::string& name) {
    globals::input_file_name = stringlib::fixed(dir.file(name), globals::len_file_name);
    main_subs::main_sub();
  }
  void no() { dialogs.script_answer(platform::DialogAnswer::No); }

  // Title and text of every dialog shown so far.
  std::vector<platform::MessageBoxRequest> boxes() const { return dialogs.shown(); }
  std::string last_text() const {
    const auto b = boxes();
    return b.empty() ? "" : b.back().text;
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir.path() / name); }

  testsupport::TempDir dir;
};

}  // namespace mainsubtest
