#include "model/checkdata.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numerics/farray.hpp"
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
      // Column 128 falls inside the last value of line 2: each number is judged whole.
      {"a number cut by column 128",
       "-289.05365982429186 2.4296782399255532 3.1233242383243423E-01 -1.2432342384234234E-02 "
       "7.2342342342342342E-03 4.0504221437679692E-12\n0 0 0 0 0 0\n9 9 9 9 9 9\n",
       6,
       0},
      {"a bad number cut by column 128", "1 " + std::string(123, ' ') + "2.5x\n0 0\n9 9\n", 2, 2},
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
      {"a number cut by column 128", "1 " + std::string(120, ' ') + "2.5E-12\n", 2, 0},
      {"a bad number cut by column 128", "1 " + std::string(123, ' ') + "2.5x\n", 2, 6},
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

// parsestr2real reads a block after its skipped lines with the checks' scan: blank and comment
// lines pass, END or NEXT ends, a short or unreadable row stops with its line number; the rows
// copied are capped by the caller's count and matrix.
TEST_F(CheckData, Parsestr2realReadsABlockOfRows) {
  struct Case {
    const char* what;
    std::string body;  // after two skipped lines
    int32_t rows_in, m;
    int32_t rows, errline, ierr;
    std::vector<double> col2;  // column 2 of the rows read
  };
  const Case cases[] = {
      {"block to END", "1 2\n\n! note\n3,4 ! c\nend\n5 6\n", 9, 2, 2, 0, 0, {2, 4}},
      {"NEXT ends too", "1 2\nNEXT\n5 6\n", 9, 2, 1, 0, 0, {2}},
      {"end of file", "1 2\n3 4", 9, 2, 2, 0, 0, {2, 4}},
      {"capped by the caller's count", "1 2\n3 4\n5 6\n", 2, 2, 2, 0, 0, {2, 4}},
      {"short row", "1 2\n3\n5 6\n", 9, 2, 1, 4, 1, {2}},
      {"unreadable value", "1 2\n3 4\n5 x6\n", 9, 2, 2, 5, 1, {2, 4}},
      {"extra values ignored", "1 2 7\n", 9, 2, 1, 0, 0, {2}},
      {"more columns than the matrix", "1 2 3 4\n", 9, 4, 0, 0, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = file("header one\nheader two\n" + c.body);
    FMatrix<double, 3, 3> data;
    int32_t rows = c.rows_in, errline = -1, ierr = -1;
    checkdata::parsestr2real(path, rows, c.m, 2, data.view(), errline, ierr);
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(errline, c.errline);
    EXPECT_EQ(ierr, c.ierr);
    for (int32_t i = 1; i <= rows && i <= static_cast<int32_t>(c.col2.size()); ++i) {
      EXPECT_EQ(data(i, 2), c.col2[static_cast<size_t>(i - 1)]);
    }
  }
  // 1001 rows: the work matrix takes 1000, the caller's matrix 3.
  std::string many = "h\n";
  for (int i = 1; i <= 1001; ++i) many += std::to_string(i) + " 0\n";
  FMatrix<double, 3, 3> data;
  int32_t rows = 5000, errline = -1, ierr = -1;
  checkdata::parsestr2real(file(many), rows, 2, 1, data.view(), errline, ierr);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(data(3, 1), 3.0);
  EXPECT_EQ(ierr, 0);
  rows = 5;
  EXPECT_EQ(checkdata::parsestr2real(missing(), rows, 2, 0, data.view(), errline, ierr),
            Status::OpenFailed);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(rows, 0);

  std::string tabs = "a\tb \t\t";
  checkdata::tab2blank(tabs);
  EXPECT_EQ(tabs, "a b   ");
}

}  // namespace
