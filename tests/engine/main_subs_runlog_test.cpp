// Which runs add a line to the run log: every fit that ran to its end, also when its report
// failed; neither the cascade's error path (which ends a run as Cancel does) nor a refusal
// before the fit, a No or a Cancel.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "engine/main_subs_fixture.hpp"
#include "engine/sharc_cascade.hpp"
#include "rename_hook.hpp"

namespace {

using mainsubtest::data_file;
using mainsubtest::MainSubTest;
using mainsubtest::michaelis_rows;

TEST_F(MainSubTest, EveryFitThatRanToItsEndAndOnlyThatAddsARunLogLine) {
  const std::string model = "Y=P1*X1/(P2+X1)";
  const std::string fit = data_file(model, "100 2", "1 1", michaelis_rows());
  // An exact fit of 3 rows; a missing-value mark in row 6; a fixed 1E+12 that keeps the sum
  // above the cascade's limit; a row 1E+7 times the others that no parameter reaches, which
  // leaves the sum flat; a line whose row 10 is 100 times the others, which a weighting-3 fit
  // follows away from the data.
  const std::string exact = "Y=P1*X1+P2\n2 1\n-10 -10\n10 10\n1 1\n1 3\n2 5\n3 7\nEND\n";
  const std::string mark = data_file(
      model, "100 2", "1 1", "0.5 13.4\n1 24.1\n2 39.9\n3 51.6\n5 66.5\n8 1E+30\n12 89.7\n");
  const std::string huge =
      "Y=P1*X1+P2*X1^2+P3\n1 1 1E12\n-1E15 -1E15 0\n1E15 1E15 2E12\n1 1 0\n"
      "1 3\n2 5\n3 7\n4 9\n5 11\n6 13\n7 15\nEND\n";
  const std::string bounds = "-100 -100\n100 100\n1 1\n";
  std::string flat = "Y=(P1+P2*X1)*(X1-10)\n1 1\n" + bounds;
  std::string outlier = "Y=P1+P2*X1\n1 1\n" + bounds;
  for (int32_t x = 1; x <= 10; ++x) {
    outlier += std::to_string(x) + " " + std::to_string((x == 10 ? 100 : 1) * (2 + 3 * x)) + "\n";
    flat += std::to_string(x) + " " + (x == 10 ? "6.5E+07" : std::to_string(2.0 + 0.5 * x)) + "\n";
  }
  outlier += "END\n";
  flat += "END\n";
  const auto folder_in_place = [&] { std::filesystem::create_directory(dir.path() / "run.TXT"); };
  const auto swap_before_rename = [&] {
    dir.write("planted", " DATE: planted\n");
    enginetest::before_rename = [&] {
      for (const std::string& name : dir.names()) {
        if (name.starts_with(".varqen-"))
          std::filesystem::rename(dir.path() / "planted", dir.path() / name);
      }
    };
  };
  const struct {
    const char* what;
    std::string file;
    int32_t iwt;
    std::function<void()> before;  // what happens before the run
    const char* report;            // how run.TXT, a file, begins; nullptr: there is none
    bool logged;
    // What the run's line says after the data file's name; nullptr: as the completed fit's.
    const char* figures = nullptr;
  } cases[] = {
      // clang-format off
      {"a completed fit", fit, 1, nullptr, " DATE: ", true},
      {"an exact fit, too small to test", exact, 1, nullptr,
       " RUN ENDED IN ERROR: There was an error in calculating the results.", true,
       " : SSQR=  0.0000 : MIC= -.4504E+20 : Date "},  // the MIC the report prints
      {"a report that cannot be written", fit, 1,
       [&] { enginetest::before_rename = folder_in_place; }, nullptr, true},
      {"a report whose name leads to another file after the rename", fit, 1, swap_before_rename,
       " DATE: planted", true},
      {"the cascade's error path", huge, 1, nullptr, " RUN ENDED IN ERROR: ", false},
      {"a flat sum", flat, 1, nullptr, " RUN ENDED IN ERROR: ", false},
      {"weighting 3 nowhere near the data", outlier, 3, nullptr, " RUN ENDED IN ERROR: ", false},
      {"a data check", data_file(model, "100 2", "1 1", "1 2\n2 x\n3 4\n"), 1, nullptr, nullptr,
       false},
      {"the mark test", mark, 1, nullptr, nullptr, false},
      {"a report folder that cannot be written", fit, 1, folder_in_place, nullptr, false},
      {"a No", fit, 1, [&] { no(); }, nullptr, false},
      {"a Cancel", fit, 1, sharc_mod::request_cancel, " DATE: ", false},
      // clang-format on
  };
  std::string completed;  // the line of the completed fit, which a failed report repeats
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& name : dir.names()) std::filesystem::remove_all(dir.path() / name);
    dir.write("run.dat", c.file);
    globals::iwt = c.iwt;
    if (c.before) c.before();
    run("run.dat");
    enginetest::before_rename = nullptr;
    const bool report = std::filesystem::is_regular_file(dir.path() / "run.TXT");
    EXPECT_EQ(report, c.report != nullptr);
    if (report && c.report != nullptr) {
      EXPECT_EQ(dir.read("run.TXT").rfind(c.report, 0), 0u) << dir.read("run.TXT");
    }
    EXPECT_EQ(exists("Varqen-runlog.txt"), c.logged);
    if (!c.logged || !exists("Varqen-runlog.txt")) continue;
    const std::string line = dir.read("Varqen-runlog.txt");
    const std::string name = " " + dir.file("run.dat");
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    if (c.figures != nullptr) {
      EXPECT_EQ(line.rfind(name + c.figures, 0), 0u) << line;
    } else {
      if (completed.empty()) completed = line;
      EXPECT_EQ(line.rfind(name + " : SSQR= ", 0), 0u) << line;
      EXPECT_EQ(line, completed);
    }
  }
}

}  // namespace
