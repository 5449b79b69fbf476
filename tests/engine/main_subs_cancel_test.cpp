// A fit run after Cancel in its first pass: no second pass, and a series stops at that file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/main_subs_fixture.hpp"

namespace {

using cascadetest::StageRecorder;
using mainsubtest::data_file;
using mainsubtest::MainSubTest;
using mainsubtest::michaelis_rows;

// Stages without improvement that count the passes; the first pass is cancelled during its
// opening sequence (the user's press, from another thread).
class CancelledFirstPass {
 public:
  CancelledFirstPass()
      : recorder_([this](sharc_mod::Stages& s) {
          ++passes;
          if (passes != 1) return;
          s.adam = [](int32_t,
                      int32_t,
                      VecView<double>,
                      VecView<const int32_t>,
                      VecView<const double>,
                      VecView<const double>,
                      int32_t,
                      double&) {
            std::thread press(sharc_mod::canceltest);
            press.join();
          };
        }) {}
  int passes = 0;

 private:
  StageRecorder recorder_;
};

TEST_F(MainSubTest, CancelInTheFirstPassRunsNoSecondPass) {
  dir.write("mm.dat", data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows()));
  for (int32_t iwt : {1, 2}) {
    SCOPED_TRACE(iwt);
    globals::iwt = iwt;  // 2: re-weighting, which asks for a second pass
    globals::iopt = 3;   // Difficult asks for one too
    CancelledFirstPass run_with_cancel;
    run("mm.dat");
    EXPECT_EQ(run_with_cancel.passes, 1);
    EXPECT_EQ(globals::bcancelrun.load(), 1);
    EXPECT_EQ(globals::iopt, 3);
    // The report, and no run-log line or file of the report's making.
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"mm.TXT", "mm.dat"}));
  }
}

// Closing the main window asks for Cancel whether or not a cascade shows its button: asked
// before the fit, it is pressed as soon as the first pass shows the button; asked during a
// pass, at once. The fit ends with its first pass either way, and the request is used up.
TEST_F(MainSubTest, ARequestedCancelIsPressedAtOnceOrWhenTheButtonIsShown) {
  dir.write("mm.dat", data_file("Y=P1*X1/(P2+X1)", "100 2", "1 1", michaelis_rows()));
  auto fit = [&](bool during, bool before) {
    globals::iopt = 3;  // Difficult: two passes unless cancelled
    globals::bcancelrun = 0;
    int passes = 0;
    StageRecorder recorder([&](sharc_mod::Stages& s) {
      ++passes;
      if (!during) return;
      s.adam = [adam = s.adam](auto&&... a) {
        std::thread close(sharc_mod::request_cancel);  // the close box, on the window's thread
        close.join();
        adam(a...);
      };
    });
    if (before) sharc_mod::request_cancel();
    run("mm.dat");
    return passes;
  };
  EXPECT_EQ(fit(false, true), 1);
  EXPECT_EQ(globals::bcancelrun.load(), 1);
  EXPECT_EQ(fit(true, false), 1);
  EXPECT_EQ(globals::bcancelrun.load(), 1);
  EXPECT_EQ(fit(false, false), 2);
  EXPECT_EQ(globals::bcancelrun.load(), 0);
}

TEST_F(MainSubTest, CancelEndsASeriesAtItsFile) {
  const std::string model = "Y=P1*X1/(P2+X1)";
  dir.write("run#1.dat", data_file(model, "100 2", "1 1", michaelis_rows(), "NEXT\n"));
  dir.write("run#2.dat", data_file(model, "100 2", "1 1", michaelis_rows()));
  CancelledFirstPass run_with_cancel;
  run("run#1.dat");
  EXPECT_EQ(run_with_cancel.passes, 1);
  EXPECT_EQ(boxes().size(), 1u);  // only the confirmation of run#1
  EXPECT_EQ(stringlib::trim(globals::input_file_name), dir.file("run#1.dat"));
  EXPECT_EQ(globals::bnext, 0);
}

}  // namespace
