// The fit run's refusals: the model line, the formula syntax, the shape and numeric checks of
// the data file in their order, too many rows and a missing file. Each shows its Error dialog,
// sets bdataerror and writes neither a report nor a run-log line.
#include <gtest/gtest.h>

#include <string>

#include "engine/main_subs_fixture.hpp"

namespace {

using mainsubtest::data_file;
using mainsubtest::MainSubTest;
using mainsubtest::michaelis_rows;

const std::string kAborted = "\r\n\r\n" + std::string(30, ' ') + "*** RUN ABORTED! ***";
const std::string kModelLineMessage =
    "The first row of the data file MUST contain the\r\n"
    "User-defined function (e.g., y=p1*exp(-(x1-p2)**2/p3)).\r\n\r\n"
    "Please correct the data file format and rerun the model." +
    kAborted;

using MainSubModelLine = MainSubTest;

TEST_F(MainSubModelLine, ShowsTheNormalisedFormulaForConfirmation) {
  dir.write("a.dat", data_file("  y = p1 * x1 / ( p2 + x1 )", "100 2", "1 1", michaelis_rows()));
  no();
  run("a.dat");
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].title, "Information");
  EXPECT_EQ(boxes()[0].text,
            "The following model was selected for analysis:\r\n\r\n"
            "Y(P1,.., X1,..) = P1*X1/(P2+X1)\r\nIs this the correct data file?");
  EXPECT_EQ(globals::bcorrectmdl, 0);
  EXPECT_EQ(globals::brerun, 1);
  EXPECT_EQ(globals::bdataerror, 0);
  // A No writes no report and no run-log line.
  EXPECT_FALSE(exists("a.TXT"));
  EXPECT_FALSE(exists("Varqen-runlog.txt"));
}

TEST_F(MainSubModelLine, RefusesNumberedModelsAndLinesWithoutX) {
  for (const char* line : {"MODEL 3", "model #12", "#4", "Y=P1*P2+3"}) {
    SCOPED_TRACE(line);
    dialogs.clear();
    globals::bdataerror = 0;
    dir.write("a.dat", data_file(line, "1 2", "1 1", michaelis_rows()));
    run("a.dat");
    ASSERT_EQ(boxes().size(), 1u);  // no confirmation
    EXPECT_EQ(boxes()[0].title, "Error");
    EXPECT_EQ(boxes()[0].text, kModelLineMessage);
    EXPECT_EQ(globals::bdataerror, 1);
  }
}

// A formula cut to the model field would be another model, fitted without a word.
TEST_F(MainSubModelLine, RefusesAModelLineLongerThanTheFieldWithoutConfirmation) {
  std::string terms;
  for (int i = 0; i < 100; ++i) terms += "+0*X1";
  const struct {
    std::string line;
    size_t length;
  } cases[] = {
      {"Y=P1*X1+P2" + terms + "+100*X1^2", 519},
      {"Y=" + std::string(1000, '(') + "P1*X1+P2" + std::string(1000, ')'), 2010},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    dialogs.clear();
    dir.write("a.dat", data_file(c.line, "1 2", "1 1", michaelis_rows()));
    ASSERT_EQ(c.line.size(), c.length);
    run("a.dat");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text,
              "The model function in the first row of the data file is " +
                  std::to_string(c.length) +
                  " characters long;\r\nthe model field holds at most 512 "
                  "characters." +
                  kAborted);
    EXPECT_EQ(globals::bdataerror, 1);
  }
}

TEST_F(MainSubModelLine, RefusesAFormulaWithoutAVariableAfterConfirmation) {
  dir.write("a.dat", data_file("Y=P1*EXP(P2)", "1 2", "1 1", "2.7\n2.8\n2.6\n2.75\n"));
  run("a.dat");
  ASSERT_EQ(boxes().size(), 2u);
  EXPECT_EQ(boxes()[1].title, "Error");
  EXPECT_EQ(boxes()[1].text, kModelLineMessage);
  EXPECT_EQ(globals::bdataerror, 1);
  EXPECT_FALSE(exists("a.TXT"));
}

TEST_F(MainSubModelLine, ShowsASyntaxErrorWithItsNumberAndLocation) {
  dir.write("a.dat", data_file("Y=P1*X1/(P3+X1)", "1 2", "1 1", michaelis_rows()));
  run("a.dat");
  ASSERT_EQ(boxes().size(), 2u);
  EXPECT_EQ(boxes()[1].title, "Error");
  EXPECT_EQ(boxes()[1].text,
            "Model function syntax error number 12 \r\n\r\n"
            "Invalid non-sequential parameter P3 ?\r\n\r\n"
            "Location of error in function:\r\ny = P1*X1/(P3+X1)\r\n"
            "______________\\*/__\r\n\r\n" +
                std::string(9, ' ') + "*** RUN ABORTED! ***");
  EXPECT_EQ(globals::berror, 1);
  EXPECT_EQ(globals::bdataerror, 1);
  EXPECT_FALSE(exists("Varqen-runlog.txt"));
}

const std::string kMaskCount =
    "The total number of parameter Masks (T and F) in the data file\r\n"
    "does not equal the number of P1... parameters in the model function.\r\n\r\n"
    "The function suggests a total of 2  P parameters, but the\r\n"
    "data file doesn't contain that number of parameter masks.\r\n";
const std::string kHeader =
    "The data file must begin with five lines: the model, the initial values,\r\n"
    "the lower bounds, the upper bounds and the parameter masks;\r\n"
    "the X,Y data rows follow from line 6 on.\r\n\r\n";

// The checks of the data file, each on a file that passes every check before it; where the
// check's message does not name the line and what is wrong there, a sentence adds it.
TEST_F(MainSubTest, ChecksTheDataFileInOrderWithTheirMessages) {
  const std::string rows4 = "1 2\n2 3\n3 4\n4 5\n";
  std::string many;
  for (int i = 1; i <= 1001; ++i) many += std::to_string(i) + " " + std::to_string(2 * i) + "\n";
  const std::string kRow8Syntax =
      "A numeric syntax error was identified in the X vs Y data file: " + dir.file("a.dat") +
      "\r\nA number in row 8  is not a valid numeric value.\r\n";
  const std::string kTwoColumns =
      "The number of X...,Y data columns in the data file does\r\n"
      "not equal the number of X1... plus Y variables in the model function.\r\n\r\n"
      "The function suggests a total of 2  X plus Y variables,\r\n"
      "but the data file doesn't contain that number of X and Y data columns.\r\n";
  const std::string kSeparated = "; values are separated by blanks, TABs or commas.\r\n";
  const struct {
    const char* what;
    std::string file;
    std::string text;
  } cases[] = {
      {"1001 rows",
       data_file("Y=P1*X1+P2", "1 2", "1 1", many),
       "The data file contains more than 1000 data points.\r\n"
       "The number of X...,Y data rows MUST NOT EXCEED 1000.\r\n\r\n"
       "The data file suggests a total of 1001 X,Y data rows."},
      {"rows against free parameters",
       data_file("Y=P1*X1+P2*X1^2+P3+P4*X1^3", "1 2 3 4", "1 1 1 1", rows4),
       "The number of X...,Y data rows in the data file\r\n"
       "MUST BE GREATER than the number of active parameters\r\nin the model function.\r\n\r\n"
       "The data file suggests a total of 4  X,Y data rows,\r\n"
       "but the file contains only 4  unmasked parameters."},
      {"all masked",
       data_file("Y=P1*X1+P2", "1 2", "0 0", rows4),
       "The number of active unmasked parameters in the model\r\n"
       "MUST BE GREATER than one parameter in the model function.\r\n\r\n"
       "The model suggests a total of 2  parameters, but\r\n"
       "the data file contains only 0  unmasked parameters."},
      {"data columns",
       data_file("Y=P1*X1+P2*X2", "1 2", "1 1", rows4),
       "The number of X...,Y data columns in the data file does\r\n"
       "not equal the number of X1... plus Y variables in the model function.\r\n\r\n"
       "The function suggests a total of 3  X plus Y variables,\r\n"
       "but the data file doesn't contain that number of X and Y data columns.\r\n"
       "Line 6 holds 2 fields separated by blanks."},
      {"parameter syntax",
       "Y=P1*X1+P2\n1 2\n0 x\n9 9\n1 1\n" + rows4 + "END\n",
       "A numeric syntax error was identified in parameter data file.\r\n"
       "A number in row 3  is not a valid numeric value.\r\nLine 3: \"x\" is not a number."},
      {"initial values",
       "Y=P1*X1+P2\n1 2 3\n0 0\n9 9\n1 1\n" + rows4 + "END\n",
       "The number of P1...Pn parameter data columns in the data file\r\n"
       "does not equal the number of parameters in the model function.\r\n\r\n"
       "The function suggests a total of 2  P parameters, but the\r\n"
       "data file doesn't contain that number of parameter data columns.\r\n"
       "Line 2 holds 3 fields separated by blanks."},
      {"lower bounds",
       "Y=P1*X1+P2\n1 2\n0\n9 9\n1 1\n" + rows4 + "END\n",
       "The number of Lower Bound parameter data columns in the data file\r\n"
       "does not equal the number of P1... parameters in the model function.\r\n\r\n"
       "The function suggests a total of 2  P parameters, but the\r\n"
       "data file doesn't contain that number of lower bound data columns.\r\n"
       "Line 3 holds 1 field separated by blanks."},
      {"upper bounds",
       "Y=P1*X1+P2\n1 2\n0 0\n9\n1 1\n" + rows4 + "END\n",
       "The number of Upper Bound parameter data columns in the data file\r\n"
       "does not equal the number of P1... parameters in the model function.\r\n\r\n"
       "The function suggests a total of 2  P parameters, but the\r\n"
       "data file doesn't contain that number of upper bound data columns.\r\n"
       "Line 4 holds 1 field separated by blanks."},
      {"masks",
       "Y=P1*X1+P2\n1 2\n0 0\n9 9\n1 1 1\n" + rows4 + "END\n",
       kMaskCount + "Line 5 holds 3 fields separated by blanks."},
      {"mask value missing",
       "Y=P1*X1+P2\n1 2\n0 0\n9 9\n1\n" + rows4 + "END\n",
       kMaskCount + "Line 5 holds 1 field separated by blanks."},
      {"mask value with a point",
       "Y=P1*X1+P2\n1 2\n0 0\n9 9\n1.0 1\n" + rows4 + "END\n",
       "A numeric syntax error was identified in parameter data file.\r\n"
       "A number in row 5  is not a valid numeric value.\r\n"
       "Line 5: \"1.0\" is not a whole number."},
      {"data syntax",
       data_file("Y=P1*X1+P2", "1 2", "1 1", "1 2\n2 3\n3 x4\n4 5\n"),
       kRow8Syntax + "Line 8: \"x4\" is not a number."},
      {"form feed between values",
       data_file("Y=P1*X1+P2", "1 2", "1 1", "1 2\n2 3\n3\f4\n4 5\n"),
       kRow8Syntax + "Line 8 holds a control character (code 12)" + kSeparated +
           "Line 8 reads \"3<12>4\"."},
      {"byte not UTF-8 in a value",
       data_file("Y=P1*X1+P2", "1 2", "1 1", "1 2\n2 3\n3\xff 4\n4 5\n"),
       kRow8Syntax + "Line 8 holds a byte that is not UTF-8 text (code 255)" + kSeparated +
           "Line 8 reads \"3<255> 4\"."},
      // The column counters read the character as a blank: the message names it instead.
      {"control character splitting a value of line 6",
       data_file("Y=P1*X1+P2", "1 2", "1 1", "1\0205 2\n2 3\n3 4\n4 5\n"),
       kTwoColumns + "Line 6 holds a control character (code 16)" + kSeparated +
           "Line 6 reads \"1<16>5 2\"."},
      {"control character splitting a mask",
       "Y=P1*X1+P2\n1 2\n0 0\n9 9\n1\0011 1\n" + rows4 + "END\n",
       kMaskCount + "Line 5 holds a control character (code 1)" + kSeparated +
           "Line 5 reads \"1<1>1 1\"."},
      {"short data row",
       data_file("Y=P1*X1+P2", "1 2", "1 1", "1 2\n2 3\n3\n4 5\n"),
       "A numeric syntax error was identified in the data file.\r\n"
       "A number in row 8  is not a valid numeric value.\r\nLine 8 holds 1 value; 2 are needed."},
      {"a value more than the model needs",
       data_file("Y=P1*X1+P2", "1 2", "1 1", "1 2\n2 3\n3 4 5 ! c\n4 5\n"),
       kTwoColumns + "Line 8 holds 3 values; 2 are needed."},
      {"file ends in the header",
       "Y=P1*X1+P2\n1 2\n0 0\n",
       kHeader + "Line 4 is missing: the file ends at line 3."},
      {"blank line in the header",
       "Y=P1*X1+P2\n1 2\n\n0 0\n9 9\n1 1\n" + rows4,
       kHeader + "Line 3 is blank."},
      {"bound read as NEXT",
       "Y=P1*X1+P2\n1 2\nNaN 0\n9 9\n1 1\n" + rows4 + "END\n",
       kHeader + "Line 3 begins with \"N\", which ends the block."},
      {"lower bound above the upper bound",
       "Y=P1*X1+P2\n1 2\n0 5\n9 1\n1 1\n" + rows4 + "END\n",
       "The lower bound of P2 (line 3: 5.00000) is above\r\nits upper bound (line 4: 1.00000)."},
      {"one free parameter",
       data_file("Y=P1*X1+P2", "1 2", "1 0", rows4),
       "The number of active parameter data columns in the data file\r\n"
       "must be greater than one parameter (UnMasked Parameters > 1).\r\n\r\n"
       "The function suggests only 1  P active parameter,\r\n"
       "but the data file must contain at least 2 unmasked parameters.\r\n"
       "Either add or unmask one or more parameters and rerun the model."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dialogs.clear();
    globals::bdataerror = 0;
    dir.write("a.dat", c.file);
    run("a.dat");
    ASSERT_EQ(boxes().size(), 2u);  // the confirmation, then the refusal
    EXPECT_EQ(boxes()[1].title, "Error");
    EXPECT_EQ(boxes()[1].text, c.text + kAborted);
    EXPECT_EQ(globals::bdataerror, 1);
    EXPECT_EQ(globals::bnext, 0);  // a header line read as NEXT starts no series
    EXPECT_FALSE(main_subs::every_block_reported);
    EXPECT_FALSE(exists("a.TXT"));
    EXPECT_FALSE(exists("Varqen-runlog.txt"));
  }
}

// A NUL is never text (a UTF-16 file holds one in every other byte), and a character of the
// model line outside ASCII would be deleted with the blanks, leaving another formula (X1^15):
// the file is refused at its line before a model read from it is shown for confirmation.
TEST_F(MainSubTest, RefusesACharacterNoLineOrFormulaHoldsBeforeTheConfirmation) {
  using namespace std::string_literals;
  std::string utf16 = "\xff\xfe";
  for (const char c : data_file("Y=P1*X1+P2", "1 2", "1 1", "1 2\n2 3\n3 4\n4 5\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  const struct {
    std::string file;
    std::string fault;
  } cases[] = {
      {"Y=P1*X1+P2\n100\0, 2\n0 0\n9 9\n1 1\n1 2\n2 3\n3 4\nEND\n"s,
       "Line 2 holds a control character (code 0).\r\nLine 2 reads \"100<0>, 2\"."},
      {utf16,
       "Line 1 holds a byte that is not UTF-8 text (code 255).\r\n"
       "Line 1 reads \"<255><254>Y<0>=<0>P<0>1<0>*<0>X<0>1<0>+<0>P<0>2<0>\"."},
      {data_file("Y=P1*X1^1\2675+P2", "1 2", "1 1", michaelis_rows()),
       "Line 1 holds a byte that is not UTF-8 text (code 183).\r\n"
       "Line 1 reads \"Y=P1*X1^1<183>5+P2\"."},
      {data_file("Y=P1*X1\x1b+P2", "1 2", "1 1", michaelis_rows()),
       "Line 1 holds a control character (code 27).\r\nLine 1 reads \"Y=P1*X1<27>+P2\"."},
      {data_file("Y=P1*X1^1·5+P2", "1 2", "1 1", michaelis_rows()),
       "Line 1 holds a character that no formula holds (code 183).\r\n"
       "Line 1 reads \"Y=P1*X1^1·5+P2\"."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    dialogs.clear();
    dir.write("a.dat", c.file);
    run("a.dat");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, "Error");
    EXPECT_EQ(
        boxes()[0].text,
        "The data file\r\n" + dir.file("a.dat") + "\r\ncannot be read.\r\n" + c.fault + kAborted);
    EXPECT_EQ(globals::bdataerror, 1);
    EXPECT_FALSE(exists("a.TXT"));
    EXPECT_FALSE(exists("Varqen-runlog.txt"));
  }
}

TEST_F(MainSubTest, APathLongerThanTheNameFieldIsRefusedNotCut) {
  const std::string fits = "/" + std::string(511, 'a');
  EXPECT_TRUE(main_subs::set_input_file(fits));
  EXPECT_EQ(globals::input_file_name, fits);
  EXPECT_TRUE(boxes().empty());
  const std::string longer = fits + "b";
  EXPECT_FALSE(main_subs::set_input_file(longer));
  EXPECT_EQ(globals::input_file_name, fits);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text,
            "The path of the data file is 513 characters long;\r\n"
            "at most 512 fit in the file name field.\r\n" +
                longer.substr(0, 60) + "..." + kAborted);
  EXPECT_EQ(globals::bdataerror, 1);
}

TEST_F(MainSubTest, AMissingFileIsADataErrorNamingIt) {
  run("gone.dat");
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].title, "Error");
  EXPECT_EQ(boxes()[0].text, "The data file\r\n" + dir.file("gone.dat") +
                                 "\r\ncannot be opened: it is missing or unreadable." + kAborted);
  EXPECT_EQ(globals::bdataerror, 1);
  EXPECT_EQ(globals::bnext, 0);
}

}  // namespace
