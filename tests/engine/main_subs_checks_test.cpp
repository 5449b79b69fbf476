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

// The checks of the data file, each on a file that passes every check before it.
TEST_F(MainSubTest, ChecksTheDataFileInOrderWithTheirMessages) {
  const std::string rows4 = "1 2\n2 3\n3 4\n4 5\n";
  std::string many;
  for (int i = 1; i <= 1001; ++i) many += std::to_string(i) + " " + std::to_string(2 * i) + "\n";
  const struct {
    const char* what;
    std::string file;
    std::string text;
  } cases[] = {
      {"1001 rows", data_file("Y=P1*X1+P2", "1 2", "1 1", many),
       "The data file contains more than 1000 data points.\r\n"
       "The number of X...,Y data rows MUST NOT EXCEED 1000.\r\n\r\n"
       "The data file suggests a total of 1001 X,Y data rows."},
      {"rows against free parameters",
       data_file("Y=P1*X1+P2*X1^2+P3+P4*X1^3", "1 2 3 4", "1 1 1 1", rows4),
       "The number of X...,Y data rows in the data file\r\n"
       "MUST BE GREATER than the number of active parameters\r\nin the model function.\r\n\r\n"
       "The data file suggests a total of 4  X,Y data rows,\r\n"
       "but the file contains only 4  unmasked parameters."},
      {"all masked", data_file("Y=P1*X1+P2", "1 2", "0 0", rows4),
       "The number of active unmasked parameters in the model\r\n"
       "MUST BE GREATER than one parameter in the model function.\r\n\r\n"
       "The model suggests a total of 2  parameters, but\r\n"
       "the data file contains only 0  unmasked parameters."},
      {"data columns", data_file("Y=P1*X1+P2*X2", "1 2", "1 1", rows4),
       "The number of X...,Y data columns in the data file does\r\n"
       "not equal the number of X1... plus Y variables in the model function.\r\n\r\n"
       "The function suggests a total of 3  X plus Y variables,\r\n"
       "but the data file doesn't contain that number of X and Y data columns."},
      {"parameter syntax", "Y=P1*X1+P2\n1 2\n0 x\n9 9\n1 1\n" + rows4 + "END\n",
       "A numeric syntax error was identified in parameter data file.\r\n"
       "A number in row 3  is not a valid numeric value."},
      {"initial values", "Y=P1*X1+P2\n1 2 3\n0 0\n9 9\n1 1\n" + rows4 + "END\n",
       "The number of P1...Pn parameter data columns in the data file\r\n"
       "does not equal the number of parameters in the model function.\r\n\r\n"
       "The function suggests a total of 2  P parameters, but the\r\n"
       "data file doesn't contain that number of parameter data columns."},
      {"lower bounds", "Y=P1*X1+P2\n1 2\n0\n9 9\n1 1\n" + rows4 + "END\n",
       "The number of Lower Bound parameter data columns in the data file\r\n"
       "does not equal the number of P1... parameters in the model function.\r\n\r\n"
       "The function suggests a total of 2  P parameters, but the\r\n"
       "data file doesn't contain that number of lower bound data columns."},
      {"upper bounds", "Y=P1*X1+P2\n1 2\n0 0\n9\n1 1\n" + rows4 + "END\n",
       "The number of Upper Bound parameter data columns in the data file\r\n"
       "does not equal the number of P1... parameters in the model function.\r\n\r\n"
       "The function suggests a total of 2  P parameters, but the\r\n"
       "data file doesn't contain that number of upper bound data columns."},
      {"masks", "Y=P1*X1+P2\n1 2\n0 0\n9 9\n1 1 1\n" + rows4 + "END\n",
       "The total number of parameter Masks (T and F) in the data file\r\n"
       "does not equal the number of P1... parameters in the model function.\r\n\r\n"
       "The function suggests a total of 2  P parameters, but the\r\n"
       "data file doesn't contain that number of parameter masks."},
      {"data syntax", data_file("Y=P1*X1+P2", "1 2", "1 1", "1 2\n2 3\n3 x4\n4 5\n"),
       "A numeric syntax error was identified in the X vs Y data file: " +
           stringlib::fixed(mainsubtest::upper(dir.file("a.dat")), 512) +
           "\r\nA number in row 8is not a valid numeric value."},
      {"short data row", data_file("Y=P1*X1+P2", "1 2", "1 1", "1 2\n2 3\n3\n4 5\n"),
       "A numeric syntax error was identified in the data file.\r\n"
       "A number in row 8  is not a valid numeric value."},
      {"one free parameter", data_file("Y=P1*X1+P2", "1 2", "1 0", rows4),
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
    EXPECT_FALSE(exists("a.TXT"));
    EXPECT_FALSE(exists("Varqen-runlog.txt"));
  }
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
