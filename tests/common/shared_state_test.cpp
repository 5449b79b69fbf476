#include <gtest/gtest.h>

#include <thread>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "common/nrtype.hpp"

namespace {

TEST(Globals, ResetRestoresStartUpValues) {
  globals::timemax = 600000.0;
  globals::fini = "other.ini";
  globals::iopt = 3;
  globals::bnext = 1;
  globals::sline3(62) = "last line";
  globals::child_windows(257) = 5;
  globals::reset();

  EXPECT_EQ(globals::timemax, 50000.0);
  EXPECT_EQ(globals::fini, "Varqen.INI");
  EXPECT_EQ(globals::iopt, 0);
  EXPECT_EQ(globals::bnext, 0);
  EXPECT_EQ(globals::child_windows(257), 0);
  EXPECT_EQ(globals::sline3(62), std::string(220, '\0'));
}

TEST(Globals, NeverAssignedTextIsNulBytesOfDeclaredLength) {
  globals::reset();
  common_udf::reset();
  struct Case {
    const char* name;
    const std::string& text;
    size_t length;
  };
  const Case cases[] = {
      {"input_file_name", globals::input_file_name, 512},
      {"cwd", globals::cwd, 640},
      {"msge", globals::msge, 4096},
      {"cline", globals::cline, 220},
      {"sline1", globals::sline1(1), 170},
      {"cudf", common_udf::cudf, 512},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.text.size(), c.length);
    EXPECT_EQ(c.text.find_first_not_of('\0'), std::string::npos);
  }
}

TEST(Globals, CancelFlagSetOnAnotherThreadIsSeen) {
  globals::reset();
  std::thread cancel([] { globals::bcancelrun.store(1); });
  cancel.join();
  EXPECT_EQ(globals::bcancelrun.load(), 1);
  globals::reset();
  EXPECT_EQ(globals::bcancelrun.load(), 0);
}

TEST(CommonData, ConditionIndexTableIsZeroBasedInBothDirections) {
  common_data::reset();
  common_data::cimat(0, 0) = 1.0;
  common_data::cimat(10, 0) = 2.0;
  common_data::cimat(0, 10) = 3.0;
  common_data::cimat(10, 10) = 4.0;
  EXPECT_EQ(common_data::cimat(0, 0), 1.0);
  EXPECT_EQ(common_data::cimat(10, 0), 2.0);
  EXPECT_EQ(common_data::cimat(0, 10), 3.0);
  EXPECT_EQ(common_data::cimat(10, 10), 4.0);
  common_data::reset();
  EXPECT_EQ(common_data::cimat(10, 10), 0.0);
}

TEST(CommonData, ResetClearsDataSetAndResults) {
  common_data::nd = 1000;
  common_data::yd(1000) = 7.0;
  common_data::xnx(1000, 3) = 8.0;
  common_data::pmask(10) = 1;
  common_data::fssqr = 2.5;
  nrtype::epsmachine = 1.0;
  common_data::reset();
  nrtype::reset();
  EXPECT_EQ(common_data::nd, 0);
  EXPECT_EQ(common_data::yd(1000), 0.0);
  EXPECT_EQ(common_data::xnx(1000, 3), 0.0);
  EXPECT_EQ(common_data::pmask(10), 0);
  EXPECT_EQ(common_data::fssqr, 0.0);
  EXPECT_EQ(nrtype::epsmachine, 0.0);
}

}  // namespace
