#include "model/checkdata.hpp"

#include <gtest/gtest.h>

#include <string>

#include "numerics/stringlib.hpp"
#include "readers_fixture.hpp"

namespace {

using readwrite::Status;

class CheckData : public modeltest::ReaderFixture {};

TEST(FieldScan, CountsFieldsAndLoneCommas) {
  struct Case {
    std::string text;
    int32_t count;
  } const cases[] = {
      {"1.0, 2.0", 2},
      {"1.0 , 2.0", 3},
      {"1 2 3", 3},
      {",", 1},
      {",,", 2},
      {"", 0},
      {std::string(126, ' ') + "7", 1},
      {std::string(127, ' ') + "7", 0},  // no field starts at column 128
      {std::string(120, 'x') + " 7", 2},
      {std::string(127, 'x') + " 7", 1},  // the scan ends past column 127
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string text = stringlib::fixed(c.text, checkdata::len_check_line) + " ,";
    EXPECT_EQ(checkdata::field_scan(text), c.count);
  }
}

TEST_F(CheckData, ParameterLines) {
  struct Case {
    const char* name;
    std::string lines;
    int32_t n;
    int32_t errline;
  } const cases[] = {
      {"good", "1 2 3 ! start values\n0 0 0\n9 9 9\n", 3, 0},
      {"comma directly after", "1.0, 2.0\n0 0\n9 9\n", 3, 0},
      {"lone comma, two expected", "1.0 , 2.0\n0 0\n9 9\n", 2, 0},
      {"lone comma, three expected", "1.0, 2.0\n1.0 , 2.0\n9 9\n", 3, 3},
      {"letter", "1 2\n0 0\n9 x\n", 2, 4},
      {"NaN", "1 NaN\n0 0\n9 9\n", 2, 2},
      {"n caps the values read", "1 2 bad\n0 0\n9 9\n", 2, 0},
      {"lower-case exponent", "1e3 2d-1\n0 0\n9 9\n", 2, 0},
      {"file ends early", "1 2\n", 2, 0},
      {"TAB separated", "1\t2\n0\t0\n9\t9\n", 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t errline = -1, ierr = -1;
    const Status s = checkdata::checkparameterdata(file("Y=P1+P2\n" + c.lines), c.n, errline, ierr);
    EXPECT_EQ(s, c.errline == 0 ? Status::Ok : Status::ReadError);
    EXPECT_EQ(errline, c.errline);
    EXPECT_EQ(ierr, c.errline == 0 ? 0 : 1);
  }
}

TEST_F(CheckData, DataRows) {
  const std::string head = "Y=P1*X1\n1 2\n0 0\n9 9\n1 1\n";
  struct Case {
    const char* name;
    std::string rows;
    int32_t m;
    int32_t errline;
  } const cases[] = {
      {"good", "1 2\n3 4\nEND\n", 2, 0},
      {"letter in a value", "1 2\n1.2 x3\nEND\n", 2, 7},
      {"after END not checked", "1 2\nEND\nx y\n", 2, 0},
      {"lower-case next ends", "1 2\nnext\nx y\n", 2, 0},
      {"comment NEXT does not end", "1 2 ! NEXT\nx y\n", 2, 7},
      {"blank line passes", "1 2\n\n3 4\nEND\n", 2, 0},
      {"checked past a blank line", "1 2\n\nx\n", 2, 8},
      {"short row passes the check", "1\n3 4\nEND\n", 2, 0},
      {"Inf", "Inf 2\n", 2, 6},
      {"beyond column 128 not checked", "1 2" + std::string(130, ' ') + "x\n", 2, 0},
      {"CR LF", "1 2\r\n3 4\r\nEND\r\n", 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t errline = -1, ierr = -1;
    const Status s = checkdata::checkparsestr2real(file(head + c.rows), c.m, errline, ierr);
    EXPECT_EQ(s, c.errline == 0 ? Status::Ok : Status::ReadError);
    EXPECT_EQ(errline, c.errline);
  }
}

TEST_F(CheckData, RowsBeyondLine1000AreNotChecked) {
  std::string text = "Y=P1*X1\n1\n0\n9\n1\n";
  for (int i = 6; i <= 1000; ++i) text += "1 2\n";
  int32_t errline = -1, ierr = -1;
  EXPECT_EQ(checkdata::checkparsestr2real(file(text + "x y\n"), 2, errline, ierr), Status::Ok);
  EXPECT_EQ(ierr, 0);
}

TEST_F(CheckData, OpenFailureSetsTheFlag) {
  int32_t errline = -1, ierr = -1;
  EXPECT_EQ(checkdata::checkparameterdata(missing(), 2, errline, ierr), Status::OpenFailed);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(errline, 0);
  EXPECT_EQ(checkdata::checkparsestr2real(missing(), 2, errline, ierr), Status::OpenFailed);
  EXPECT_EQ(console_.str(), "INPUT DATA FILE - Fatal error!\nINPUT DATA FILE - Fatal error!\n");
}

}  // namespace
