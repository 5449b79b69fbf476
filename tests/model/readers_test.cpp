#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/checkdata.hpp"
#include "model/readwrite.hpp"
#include "numerics/stringlib.hpp"
#include "readers_fixture.hpp"

namespace {

using modeltest::three_row_file;
using readwrite::Status;

class Readers : public modeltest::ReaderFixture {};

TEST_F(Readers, RowCountStopsAtTheLineThatEndsTheBlock) {
  const std::string head = "Y=P1*X1\n1\n0\n9\n1\n";
  struct Case {
    const char* name;
    std::string body;
    int32_t count;
    int32_t bnext;
  } const cases[] = {
      {"END", "1 2\n3 4\nEND\n5 6\n", 7, 0},
      {"NEXT", "1 2\nNEXT\n5 6\n", 6, 1},
      {"lower-case end anywhere", "1 2\nthe end\n", 6, 0},
      {"lower-case next", "1 2\n  next block\n", 6, 1},
      {"first letter E", "1 2\nExtra\n", 6, 0},
      {"first letter N", "1 2\nNo more\n", 6, 0 + 1},
      {"lower-case n counts", "1 2\nnope\n3 4\n", 8, 0},
      {"blank line", "1 2\n   \n3 4\nEND\n", 6, 0},
      {"TAB-only line is blank", "1 2\n\t\n3 4\n", 6, 0},
      {"end of file", "1 2\n3 4", 7, 0},
      {"comment cannot end the block", "2 3.4 ! trend END\n5 6 ! next\nEND\n", 7, 0},
      {"NEXT before a comment", "1 2\nNEXT ! append\n", 6, 1},
      {"comment line counts", "! INDEPENDENT\n1 2\nEND\n", 7, 0},
      {"header word ending the count", "X INDEPENDENT\n1 2\n", 5, 0},
      {"CR LF", "1 2\r\n3 4\r\nNEXT\r\n", 7, 1},
      {"CR alone", "1 2\r3 4\rNEXT\r", 7, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file(head + c.body);
    int32_t count = -1;
    globals::bnext = 7;
    EXPECT_EQ(readwrite::a_row_count(path, count), Status::Ok);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(globals::bnext, c.bnext);
  }
}

// A NUL is never text: the file is UTF-16 or binary, and blanking would read it as other text.
TEST_F(Readers, RowCountStopsBeforeALineHoldingNul) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    Status status;
    int32_t count;
  } cases[] = {
      {"\xff\xfeY\0=\0P\0001\0\n"s, Status::ReadError, 0},
      {"Y=P1*X1\n100\0, 2\n0\n"s, Status::ReadError, 1},
      {"Y=P1*X1\n1\n0\n9\n1\n1 2 ! \0\n"s, Status::ReadError, 5},
      {"Y=P1*X1\n1\n0\n9\n1\n1 2\nEND\0\n\0\n"s, Status::Ok, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    int32_t count = -1;
    EXPECT_EQ(readwrite::a_row_count(file(c.text), count), c.status);
    EXPECT_EQ(count, c.count);
  }
}

TEST_F(Readers, RowCountOfModelLineStartingWithE) {
  int32_t count = -1;
  EXPECT_EQ(readwrite::a_row_count(file("EXP(P1*X1)\n1\n0\n9\n1\n1 2\nEND\n"), count), Status::Ok);
  EXPECT_EQ(count, 0);
}

TEST_F(Readers, RowCountOfMissingFileLeavesCount) {
  int32_t count = 42;
  globals::bnext = 1;
  EXPECT_EQ(readwrite::a_row_count(missing(), count), Status::OpenFailed);
  EXPECT_EQ(count, 42);
  EXPECT_EQ(globals::bnext, 0);
  EXPECT_EQ(console_.str(), "");
}

TEST_F(Readers, ModelLineSkipsLeadingBlankLinesAndCleans) {
  std::string name = file("\n  \n\t\r\n\t Y = P1 *\x01X1\t\r\n1 2\n");
  std::string line;
  EXPECT_EQ(readwrite::a_model_line(name, line), Status::Ok);
  EXPECT_EQ(line, stringlib::fixed("Y = P1 * X1", 512));
}

TEST_F(Readers, ModelLineReadsAtMost1000Lines) {
  std::string name = file(std::string(1000, '\n') + "Y=P1\n");
  std::string line = "unchanged";
  EXPECT_EQ(readwrite::a_function_line(name, line), Status::Ok);
  EXPECT_EQ(line, std::string(512, ' '));
}

TEST_F(Readers, AModelLineLongerThanTheFieldIsNeverCut) {
  for (const size_t length : {512u, 513u, 4000u}) {
    SCOPED_TRACE(length);
    const std::string model = "Y=P1*X1" + std::string(length - 7, '1');
    std::string name = file("  " + model + "  \n1\n");
    std::string line;
    EXPECT_EQ(readwrite::a_function_line(name, line),
              length > 512 ? Status::ModelTooLong : Status::Ok);
    EXPECT_EQ(stringlib::trim(line), model);
  }
}

TEST_F(Readers, ALineTooLongToReadStopsTheReaderThere) {
  const std::string huge(units::max_line_length + 1, '7');
  int32_t count = -1;
  EXPECT_EQ(readwrite::a_row_count(file("Y=P1*X1\n1\n" + huge + "\n9\n1\n"), count),
            Status::LineTooLong);
  EXPECT_EQ(count, 2);  // the long line is line 3
  std::string name = file("\n" + huge);
  std::string line = "kept";
  EXPECT_EQ(readwrite::a_model_line(name, line), Status::LineTooLong);
  EXPECT_EQ(line, std::string(512, ' '));
  EXPECT_EQ(readwrite::rparcols(count, file("Y\n" + huge)), Status::LineTooLong);
}

// The sentence the fit run adds to a refusal: the line and what is wrong there.
TEST_F(Readers, LineFaultNamesTheLineAndWhatIsWrongThere) {
  using readwrite::ValueKind;
  const std::string huge(units::max_line_length + 1, '7');
  struct Case {
    std::string text;
    int32_t line, want;
    ValueKind kind;
    std::string fault;
  } const cases[] = {
      {"Y\n1 2\n", 3, 0, ValueKind::Real, "Line 3 is missing: the file ends at line 2."},
      {"Y\n1 2\n \t\n", 3, 0, ValueKind::Real, "Line 3 is blank."},
      {"Y\n1 2\nNaN 0\n", 3, 0, ValueKind::Real, "Line 3 begins with \"N\", which ends the block."},
      {"Y\n1 2\n0 end 0\n", 3, 0, ValueKind::Real, "Line 3 holds END, which ends the block."},
      {"Y\n1 2\n0 0 ! end\n", 3, 0, ValueKind::Real, ""},
      {"Y\n" + huge, 2, 0, ValueKind::Real, "Line 2 is longer than 1048576 characters."},
      {"Y\n1\n2\n3\n1.0 1\n", 5, 2, ValueKind::Integer, "Line 5: \"1.0\" is not a whole number."},
      {"Y\n1\n2\n3\n1\n", 5, 2, ValueKind::Integer, "Line 5 holds 1 value; 2 are needed."},
      {"Y\n1\n2\n3\n1 1 ! 1\n", 5, 2, ValueKind::Integer, ""},
      {"Y\n1\n2\n3\n1 x4\n", 5, 2, ValueKind::Real, "Line 5: \"x4\" is not a number."},
      {"Y\n1 2 3\n", 2, 2, ValueKind::Real, "Line 2 holds 3 values; 2 are needed."},
      {"Y\n2*1 3\n", 2, 2, ValueKind::Real, "Line 2 holds 3 values; 2 are needed."},
      {"Y\n1,,2\n", 2, 2, ValueKind::Real, "Line 2: \",\" leaves a value empty."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    EXPECT_EQ(readwrite::line_fault(file(c.text), c.line, c.want, c.kind), c.fault);
  }
  EXPECT_EQ(readwrite::line_fault(missing(), 2, 0, ValueKind::Real), "");
}

// A character no value holds is named by its code, and the line shown with it made visible.
TEST_F(Readers, LineFaultNamesACharacterNoValueHoldsByItsCode) {
  using namespace std::string_literals;
  const std::string kControl = "a control character (code ";
  const std::string kByte = "a byte that is not UTF-8 text (code ";
  struct Case {
    std::string line;  // line 2 of the file
    int32_t want;      // values asked for; 0: a line of the block a_row_count counts
    std::string what, shown;
  } const cases[] = {
      {"0.5\f13.4", 2, kControl + "12", "0.5<12>13.4"},
      {"100\0, 2 ! ok"s, 2, kControl + "0", "100<0>, 2 ! ok"},
      {"\t1\x10 2\x7f", 2, kControl + "16", "1<16> 2<127>"},
      {"1 \xc2\x85", 2, kControl + "133", "1 <133>"},
      {"2.5\xb5 \xce\xbc \xe2\x82", 2, kByte + "181", "2.5<181> \xce\xbc <226><130>"},
      // Of a long line, the part around the character.
      {std::string(70, '1') + "\x01" + std::string(70, '2'),
       2,
       kControl + "1",
       "..." + std::string(20, '1') + "<1>" + std::string(39, '2') + "..."},
      // In a line of the block a NUL counts wherever it stands.
      {"1 2 ! \0"s, 0, kControl + "0", "1 2 ! <0>"},
      {"\xff\xfeY\0=\0P\0001\0"s, 0, kByte + "255", "<255><254>Y<0>=<0>P<0>1<0>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    const std::string path = file("Y\n" + c.line + "\n");
    EXPECT_EQ(readwrite::line_fault(path, 2, c.want, readwrite::ValueKind::Real),
              "Line 2 holds " + c.what + ")" +
                  (c.want > 0 ? "; values are separated by blanks, TABs or commas." : ".") +
                  "\r\nLine 2 reads \"" + c.shown + "\".");
  }
  // Only the values' part of a line is looked at: a comment may hold anything.
  EXPECT_EQ(readwrite::line_fault(file("Y\n1 2 ! \x01\n"), 2, 2, readwrite::ValueKind::Real), "");
}

// The readers blank what the model line holds outside ASCII and the fit run deletes the
// blanks: each character below would change the formula without a word.
TEST_F(Readers, ModelCharacterFaultNamesACharacterNoFormulaHolds) {
  const std::string kControl = "a control character (code ";
  const std::string kByte = "a byte that is not UTF-8 text (code ";
  const std::string kOther = "a character that no formula holds (code ";
  struct Case {
    std::string text;  // the file
    std::string what, shown;
    int32_t line;
  } const cases[] = {
      {"Y=P1*X1^1\2675+P2\n1 2\n", kByte + "183", "Y=P1*X1^1<183>5+P2", 1},
      {"Y=P1*X1^1\xc3+P2\n", kByte + "195", "Y=P1*X1^1<195>+P2", 1},
      {"Y=P1*X1\x1b+P2\n", kControl + "27", "Y=P1*X1<27>+P2", 1},
      {"Y = P1\f* X1\r\n", kControl + "12", "Y = P1<12>* X1", 1},
      {"\n \t\nY=P1*X1\x7f\n", kControl + "127", "Y=P1*X1<127>", 3},
      {"Y=P1*X1^1·5+P2\n", kOther + "183", "Y=P1*X1^1·5+P2", 1},
      {"\xef\xbb\xbfY=µ*X1\n", kOther + "181", "Y=µ*X1", 1},
      // Blanks, TABs, line ends and a byte order mark before line 1 leave the formula alone.
      {"\xef\xbb\xbf  Y = P1 *\tX1 \t\r\n1\x01\n", "", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    const std::string at = "Line " + std::to_string(c.line);
    EXPECT_EQ(readwrite::model_character_fault(file(c.text)),
              c.what.empty()
                  ? ""
                  : at + " holds " + c.what + ").\r\n" + at + " reads \"" + c.shown + "\".");
  }
  EXPECT_EQ(readwrite::model_character_fault(missing()), "");
}

TEST_F(Readers, ModelLineOpenFailureIsReported) {
  std::string name = missing() + "   ";
  std::string line = "kept";
  EXPECT_EQ(readwrite::a_function_line(name, line), Status::OpenFailed);
  EXPECT_EQ(line, "kept");
  EXPECT_EQ(console_.str(),
            "\nFile_DATA_READ - Fatal error #3B!\n  Could not open the input file \"" + name +
                "\" on unit        1\n");
}

TEST_F(Readers, ColumnCountersCountBlankSeparatedFieldsOfTheirLine) {
  const std::string path = file(
      "Y=P1\n"
      "1 2 3\n"
      "1,2,3\n"
      "1 2 N 3\n"
      "\t1\t2 ! 3 4\n"
      " a  b\x01"
      "c\r\n");
  struct Case {
    const char* name;
    Status (*counter)(int32_t&, std::string_view);
    int32_t count;
  } const cases[] = {
      {"rparcols", readwrite::rparcols, 3},
      {"rlocols", readwrite::rlocols, 1},
      {"rhicols", readwrite::rhicols, 2},
      {"rmaskcols", readwrite::rmaskcols, 2},
      {"rxycols", readwrite::rxycols, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t count = -1;
    EXPECT_EQ(c.counter(count, path), Status::Ok);
    EXPECT_EQ(count, c.count);
  }
}

TEST_F(Readers, ColumnCountersSeePhysicalLines) {
  int32_t count = -1;
  const std::string path = file("\n\nY=P1\n1 2 3\n");
  EXPECT_EQ(readwrite::rparcols(count, path), Status::Ok);
  EXPECT_EQ(count, 0);  // line 2 is blank
  EXPECT_EQ(readwrite::rxycols(count, path), Status::Ok);
  EXPECT_EQ(count, 0);  // no line 6
  EXPECT_EQ(readwrite::rhicols(count, path), Status::Ok);
  EXPECT_EQ(count, 3);
  count = 9;
  EXPECT_EQ(readwrite::rparcols(count, missing()), Status::OpenFailed);
  EXPECT_EQ(count, 9);
  EXPECT_EQ(console_.str(), "INPUT DATA FILE - Fatal error!\n");
}

TEST_F(Readers, ParameterValuesInFreeFormat) {
  struct Case {
    const char* name;
    std::string line2;
    Status status;
    std::array<double, 3> values;
  } const cases[] = {
      {"comment after the values", "1 2 3 ! start\n", Status::Ok, {1, 2, 3}},
      {"commas", "1, 2 ,3\n", Status::Ok, {1, 2, 3}},
      {"repeat count", "2*1.5 4\n", Status::Ok, {1.5, 1.5, 4}},
      {"null value", "1,,3\n", Status::ReadError, {1, -7, -7}},
      {"repeat of nulls", "2* 3\n", Status::ReadError, {-7, -7, -7}},
      {"slash before the last value", "1 /\n", Status::ReadError, {1, -7, -7}},
      {"continued on the next line", "1 2\n3\n", Status::Ok, {1, 2, 3}},
      {"D exponent", "1d2 -2.5E-1 +.5\n", Status::Ok, {100, -0.25, 0.5}},
      {"NaN", "1 NaN 3\n", Status::ReadError, {1, -7, -7}},
      {"Inf", "Inf 2 3\n", Status::ReadError, {-7, -7, -7}},
      {"comment too early", "1 2 ! 3\n", Status::ReadError, {1, 2, -7}},
      {"letter", "1 2x 3\n", Status::ReadError, {1, -7, -7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file("Y=P1+P2+P3\n" + c.line2);
    FArray<double, 10> p;
    p.fill(-7.0);
    int32_t ierr = -1;
    EXPECT_EQ(readwrite::rpar(p.view(), 3, path, ierr), c.status);
    EXPECT_EQ(ierr, c.status == Status::Ok ? 0 : 1);
    for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(p(i), c.values[i - 1]) << i;
    EXPECT_EQ(p(4), -7.0);
  }
}

TEST_F(Readers, ValueReadersSkipBlankLinesAndReportEndOfFile) {
  const std::string path = file("Y=P1+P2\n\n1 2\n\n-5 -6\n50 60\n");
  FArray<double, 10> v;
  int32_t ierr = -1;
  EXPECT_EQ(readwrite::rpar(v.view(), 2, path, ierr), Status::Ok);
  EXPECT_EQ(v(2), 2.0);
  EXPECT_EQ(readwrite::rlo(v.view(), 2, path), Status::Ok);
  EXPECT_EQ(v(1), -5.0);
  EXPECT_EQ(readwrite::rhi(v.view(), 2, path), Status::Ok);
  EXPECT_EQ(v(2), 60.0);
  FArray<int32_t, 10> mask;
  EXPECT_EQ(readwrite::rmask(mask.view(), 2, path), Status::ReadError);  // no line 5
  EXPECT_EQ(readwrite::rhi(v.view(), 3, path), Status::ReadError);       // one value short
  EXPECT_EQ(readwrite::rpar(v.view(), 11, path, ierr), Status::BadArgument);
  EXPECT_EQ(readwrite::rpar(v.view(), 2, missing(), ierr), Status::OpenFailed);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(console_.str(), "INPUT DATA FILE - Fatal error!\n");
}

TEST_F(Readers, MaskThatCannotBeReadBecomesAllZero) {
  struct Case {
    const char* line5;
    Status status;
    std::array<int32_t, 3> mask;
  } const cases[] = {
      {"1 0 1", Status::Ok, {1, 0, 1}},
      {"1 1 0.5", Status::ReadError, {0, 0, 0}},
      {"1.0 1 1", Status::ReadError, {0, 0, 0}},
      {"1 -2 99999999999", Status::ReadError, {0, 0, 0}},
      {"3*1", Status::Ok, {1, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line5);
    const std::string path = file("Y\n1 2 3\n0 0 0\n9 9 9\n" + std::string(c.line5) + "\n");
    FArray<int32_t, 10> mask;
    mask.fill(5);
    EXPECT_EQ(readwrite::rmask(mask.view(), 3, path), c.status);
    for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(mask(i), c.mask[i - 1]) << i;
  }
}

TEST_F(Readers, DataRowsOnePerLine) {
  FMatrix<double, 1000, 4> d;
  int32_t errline = -1, ierr = -1;
  const std::string path = file(three_row_file());
  EXPECT_EQ(readwrite::rxy(d.view(), 3, 2, path, errline, ierr), Status::Ok);
  EXPECT_EQ(errline, 0);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(d(1, 1), 1.0);
  EXPECT_EQ(d(2, 2), 4.5);
  EXPECT_EQ(d(3, 1), 3.0);
  EXPECT_EQ(d(3, 2), 8.5);
  EXPECT_EQ(d(4, 1), 0.0);
}

TEST_F(Readers, DataRowErrorsGiveTheirOwnLine) {
  const std::string head = "Y=P1*X1+P2*X2\n1 2\n0 0\n9 9\n1 1\n";
  struct Case {
    const char* name;
    std::string rows;
    int32_t n;
    Status status;
    int32_t errline;
  } const cases[] = {
      {"short row", "1 2 3\n4 5\n7 8 9\nEND\n", 3, Status::ReadError, 7},
      {"letter", "1 2 3\n4 5 6\n1.2 x3 1\n", 3, Status::ReadError, 8},
      {"Inf", "Inf 2 3\n", 1, Status::ReadError, 6},
      {"comment-only row", "1 2 3\n! note\n", 2, Status::ReadError, 7},
      {"file ends", "1 2 3\n", 2, Status::ReadError, 7},
      {"comment after the values", "1 2 3 ! 4 c\n", 1, Status::Ok, 0},
      {"a value more than the row needs", "1 2 3\n1 2 3 4 ! c\n", 2, Status::ExtraValues, 7},
      {"a repeat beyond the row", "4*1\n", 1, Status::ExtraValues, 6},
      {"TAB and CR LF", "1\t2\t3\r\n4,5,6\r\n", 2, Status::Ok, 0},
      {"repeat", "2*4 5\n1 2 3\n", 2, Status::Ok, 0},
      {"null", "1 2 3\n1,,3\n", 2, Status::ReadError, 7},
      {"slash", "1 / 9\n", 1, Status::ReadError, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FMatrix<double, 1000, 3> d;
    int32_t errline = -1, ierr = -1;
    EXPECT_EQ(readwrite::rxy(d.view(), c.n, 3, file(head + c.rows), errline, ierr), c.status);
    EXPECT_EQ(errline, c.errline);
    EXPECT_EQ(ierr, c.status == Status::Ok ? 0 : 1);
  }
}

TEST_F(Readers, DataRowsThatLeaveAValueUnsetAreShortRows) {
  // Two values needed per row (X1 and Y): each of these leaves one unset and is an error at its
  // own line, never a fit of a value nobody wrote.
  for (const char* row : {"1,,", "1 /", ", 3.1", "2*"}) {
    SCOPED_TRACE(row);
    FMatrix<double, 1000, 2> d;
    int32_t errline = -1, ierr = -1;
    const std::string path = file("Y=P1*X1\n1\n0\n9\n1\n0 1\n" + std::string(row) + "\nEND\n");
    EXPECT_EQ(readwrite::rxy(d.view(), 2, 2, path, errline, ierr), Status::ReadError);
    EXPECT_EQ(errline, 7);
    EXPECT_EQ(ierr, 1);
  }
  FMatrix<double, 1000, 2> d;
  int32_t errline = -1, ierr = -1;
  const std::string path = file("Y\n1\n0\n9\n1\n2*4\n1, 2\n");
  ASSERT_EQ(readwrite::rxy(d.view(), 2, 2, path, errline, ierr), Status::Ok);
  EXPECT_EQ(d(1, 1), 4.0);
  EXPECT_EQ(d(1, 2), 4.0);
  EXPECT_EQ(d(2, 2), 2.0);
}

TEST_F(Readers, DataRowsBeyondColumn128AreRead) {
  FMatrix<double, 1000, 2> d;
  int32_t errline = -1, ierr = -1;
  const std::string path = file("Y\n1\n0\n9\n1\n1" + std::string(140, ' ') + "2\nEND\n");
  ASSERT_EQ(readwrite::rxy(d.view(), 1, 2, path, errline, ierr), Status::Ok);
  EXPECT_EQ(d(1, 2), 2.0);
}

TEST_F(Readers, MoreThan1000RowsAreRefusedNotWritten) {
  std::string text = "Y=P1*X1\n1\n0\n9\n1\n";
  for (int i = 1; i <= 1001; ++i) text += std::to_string(i) + " 1\n";
  int32_t at_end_of_file = 0;
  EXPECT_EQ(readwrite::a_row_count(file(text), at_end_of_file), Status::TooManyRows);
  EXPECT_EQ(at_end_of_file, 1006);
  const std::string path = file(text + "END\n");
  int32_t count = 0;
  EXPECT_EQ(readwrite::a_row_count(path, count), Status::TooManyRows);
  EXPECT_EQ(count - readwrite::header_lines, 1001);
  FMatrixD<double> d(1001, 2);
  int32_t errline = -1, ierr = -1;
  EXPECT_EQ(readwrite::rxy(d.view(), 1001, 2, path, errline, ierr), Status::TooManyRows);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(d(1, 1), 0.0);
  FMatrix<double, 1000, 2> small;
  EXPECT_EQ(readwrite::rxy(small.view(), 1000, 3, path, errline, ierr), Status::BadArgument);
}

TEST_F(Readers, ScolCountStopsAtCapitalNOrComment) {
  struct Case {
    std::string line;
    int32_t count;
  } const cases[] = {
      {"1 2 3", 3},
      {"  1   2  ", 2},
      {"1,2,3", 1},
      {"1 2 N 3", 2},
      {"1 2n 3", 3},
      {"1 ! 2 3", 1},
      {"", 0},
      {"\t1\x01\x02"
       "2",
       2},
      {"NaN 2", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string line = c.line;
    int32_t count = -1;
    readwrite::s_col_count(line, count);
    EXPECT_EQ(count, c.count);
  }
}

}  // namespace

namespace {

// The sample files a new user runs first must pass every check and read completely.
TEST_F(Readers, ExampleFilesReadCompletely) {
  struct Case {
    const char* name;
    int32_t n, m, rows;
    double first_x, last_y;
  } const cases[] = {
      {"exponential.dat", 3, 2, 16, 0.0, 1.2522},
      {"michaelis-menten.dat", 2, 2, 10, 0.5, 110.811},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string(VARQEN_SOURCE_DIR) + "/examples/" + c.name;
    int32_t count = 0, cols = 0, errline = -1, ierr = -1;
    ASSERT_EQ(readwrite::a_row_count(path, count), Status::Ok);
    EXPECT_EQ(count - readwrite::header_lines, c.rows);
    EXPECT_EQ(globals::bnext, 0);
    for (auto counter :
         {readwrite::rparcols, readwrite::rlocols, readwrite::rhicols, readwrite::rmaskcols}) {
      EXPECT_EQ(counter(cols, path), Status::Ok);
      EXPECT_EQ(cols, c.n);
    }
    EXPECT_EQ(readwrite::rxycols(cols, path), Status::Ok);
    EXPECT_EQ(cols, c.m);
    EXPECT_EQ(checkdata::checkparameterdata(path, c.n, errline, ierr), Status::Ok);
    EXPECT_EQ(checkdata::checkparsestr2real(path, c.m, errline, ierr), Status::Ok);
    FArray<int32_t, 10> mask;
    EXPECT_EQ(readwrite::rmask(mask.view(), c.n, path), Status::Ok);
    EXPECT_EQ(mask(c.n), 1);
    FMatrix<double, 1000, 3> d;
    ASSERT_EQ(readwrite::rxy(d.view(), c.rows, c.m, path, errline, ierr), Status::Ok);
    EXPECT_EQ(d(1, 1), c.first_x);
    EXPECT_EQ(d(c.rows, 2), c.last_y);
  }
}

}  // namespace
