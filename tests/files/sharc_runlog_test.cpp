#include "files/sharc_runlog.hpp"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "common/globals.hpp"
#include "files/error_handler.hpp"
#include "files/units.hpp"
#include "support/fixed_time.hpp"
#include "support/temp_dir.hpp"

namespace {

using testsupport::fixed_time;

class RunlogSummary : public ::testing::Test {
 protected:
  void SetUp() override {
    globals::reset();
    units::reset();
    units::set_start_directory(dir.path());
    error_handler::set_clock(fixed_time);
    globals::bcorrectmdl = 1;
  }
  void TearDown() override {
    error_handler::set_clock(nullptr);
    units::reset();
    globals::reset();
  }
  std::string log() { return dir.read("Varqen-runlog.txt"); }

  testsupport::TempDir dir;
};

TEST_F(RunlogSummary, AppendsTheSumOfSquaresAndTheMicUnderTheDataFileAsNamed) {
  const struct {
    double sse, mic;
    const char* line;
  } cases[] = {
      {1.2345678e-3,
       -3.4567,
       " /data/Run1.DAT : SSQR= 1.23457E-03 : MIC= -3.457 : Date Mon Dec  7 04:21:58 2026\n"},
      {1234.5,
       -4.503599727262001e19,
       " /data/Run1.DAT : SSQR=  1234.5 : MIC= -.4504E+20 : Date Mon Dec  7 04:21:58 2026\n"},
  };
  std::string expected;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    double mic = c.mic;
    sharc_runlog::RunlogTexts texts;
    EXPECT_TRUE(sharc_runlog::runlog_summary("/data/Run1.DAT", c.sse, mic, texts));
    EXPECT_EQ(mic, c.mic);
    EXPECT_EQ(texts.sse_text.size(), 30u);
    EXPECT_EQ(texts.mic_text.size(), 30u);
    expected += c.line;
    EXPECT_EQ(log(), expected);
  }
}

TEST_F(RunlogSummary, ALongPathIsCutTo80Characters) {
  const std::string path = "/" + std::string(100, 'd') + "/Run1.DAT";
  double mic = 1.5;
  sharc_runlog::RunlogTexts texts;
  sharc_runlog::runlog_summary(path, 2.0, mic, texts);
  EXPECT_EQ(log(),
            " /" + std::string(80 - 1, 'd') +
                " : SSQR=  2.0000 : MIC=  1.500 : Date Mon Dec  7 04:21:58 2026\n");
}

// A character of the name that cannot be shown is written by its code: one run, one line.
TEST_F(RunlogSummary, ACharacterOfTheNameThatCannotBeShownIsWrittenByItsCode) {
  double mic = 1.5;
  sharc_runlog::RunlogTexts texts;
  sharc_runlog::runlog_summary("/data/a\nb\x01.DAT", 2.0, mic, texts);
  EXPECT_EQ(log(),
            " /data/a<10>b<1>.DAT : SSQR=  2.0000 : MIC=  1.500 : Date Mon Dec  7 04:21:58 2026\n");
}

TEST_F(RunlogSummary, CancelledOrRejectedRunsWriteNoLineAndZeroTheMic) {
  for (int32_t cancel : {1, 0}) {
    SCOPED_TRACE(cancel);
    globals::bcancelrun = cancel;
    globals::bcorrectmdl = cancel;
    double mic = 7.0;
    sharc_runlog::RunlogTexts texts;
    EXPECT_FALSE(sharc_runlog::runlog_summary("/data/Run1.DAT", 1.0, mic, texts));
    EXPECT_EQ(mic, 0.0);
    EXPECT_EQ(texts.sse_text, std::string(30, ' '));
  }
  EXPECT_EQ(log(), "");
}

}  // namespace
