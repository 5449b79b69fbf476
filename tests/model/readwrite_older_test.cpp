// The older readers and writers: what each reads from small files worked by hand, and the
// message and status each gives where it once stopped the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/globals.hpp"
#include "files/units.hpp"
#include "model/readwrite.hpp"
#include "numerics/farray.hpp"
#include "numerics/stringlib.hpp"
#include "readers_fixture.hpp"

namespace {

using readwrite::Status;

class OlderReaders : public modeltest::ReaderFixture {
 protected:
  // The could-not-open line for the missing file on unit 1 (no unit is open).
  std::string could_not_open(const std::string& what = "input") const {
    return "  Could not open the " + what + " file \"" + missing() + "\" on unit        1";
  }
};

std::string text(Status s) { return std::to_string(static_cast<int32_t>(s)); }

template <typename T>
std::string join(const T& values, long n) {
  std::string out;
  for (long i = 1; i <= n; ++i) out += (i > 1 ? " " : "") + std::to_string(values(i));
  return out;
}

TEST_F(OlderReaders, ReadWhatTheyFindAndReportWhatTheyCannot) {
  using Run = std::function<std::string(const std::string& path)>;
  // Each runner returns the status, then what was read.
  const Run row_count = [](const std::string& p) {
    int32_t n = 0;
    const Status s = readwrite::file_row_count(p, n);
    return text(s) + ":" + std::to_string(n);
  };
  const Run column_count = [](const std::string& p) {
    int32_t n = 0, ierr = 9;
    const Status s = readwrite::file_column_count(p, n, ierr);
    return text(s) + ":" + std::to_string(n) + ":" + std::to_string(ierr);
  };
  const Run counts = [](const std::string& p) {
    int32_t r = -1, c = -1;
    const Status s = readwrite::rcdata(r, c, p);
    return text(s) + ":" + std::to_string(r) + " " + std::to_string(c);
  };
  const auto data = [](int32_t rows) {
    return [rows](const std::string& p) {
      FMatrix<double, 3, 2> d;
      const Status s = readwrite::rdata(d.view(), rows, 2, p);
      const int32_t shown = std::min(rows, 3);
      return text(s) + ":" + join(d.view().col(1), shown) + "/" + join(d.view().col(2), shown);
    };
  };
  const Run check_xy = [](const std::string& p) {
    int32_t np = 0, nx = 0, n = 0;
    const Status s = readwrite::check_xydata(p, np, nx, n);
    return text(s) + ":" + std::to_string(np) + std::to_string(nx) + std::to_string(n);
  };
  const auto read_xy = [](bool one_row) {
    return [one_row](const std::string& p) {
      std::string model;
      int32_t np = 0, nx = 0, n = 0, errline = -1;
      FArray<float, 3> lo, pp, hi, y;
      FMatrix<float, 3, 2> x;
      const Status s = readwrite::read_xydata(p,
                                              model,
                                              np,
                                              nx,
                                              n,
                                              lo.view(),
                                              pp.view(),
                                              hi.view(),
                                              x.view().block(one_row ? 1 : 3, 2),
                                              y.view(),
                                              errline);
      if (s != Status::Ok) return text(s) + ":" + std::to_string(errline);
      return text(s) + ":" + model + ":" + join(pp, np) + ":" + join(hi, np) + ":" +
             join(x.view().col(1), n) + ":" + join(y, n);
    };
  };
  const auto unit_rows = [](int32_t unit) {
    return [unit](const std::string& p) {
      int32_t n = -1;
      const Status s = readwrite::data_row_count(unit, p, n);
      return text(s) + ":" + std::to_string(n) + ":" + std::to_string(units::is_connected(unit));
    };
  };
  const auto output_lines = [](long room) {
    return [room](const std::string& p) {
      FVector<std::string> lines(room);
      int32_t count = -1;
      const Status s = readwrite::read_data_ouput_file(lines.view(), count, p);
      std::string out =
          text(s) + ":" + std::to_string(count) + ":" + std::to_string(globals::bnext) + ":";
      for (int32_t i = 1; i <= count; ++i) out += stringlib::trim(lines(i)) + "|";
      return out + std::to_string(count > 0 ? lines(1).size() : 0);
    };
  };
  const Run table = [](const std::string& p) {
    FMatrix<float, 2, 2> t;
    const Status s = readwrite::r4mat_data_read(t.view(), 2, 2, p);
    return text(s) + ":" + join(t.view().row(1), 2) + "/" + join(t.view().row(2), 2);
  };
  const Run header = [](const std::string& p) {
    int32_t m = 0, n = 0;
    const Status s = readwrite::r4mat_header_read(p, m, n);
    return text(s) + ":" + std::to_string(m) + " " + std::to_string(n);
  };
  const std::string older = "\"Y=P1+P2*X1\"\n2 1 2\n0 1 5\n-1 0.5 1\n1 2\n3 4\n";
  const std::string bad_line = "  Error while reading line ";
  struct Case {
    const char* what;
    std::string file;  // contents; "-" for a missing file
    Run run;
    std::string expected;
    std::string message;  // a text standard output must hold ("" for nothing at all)
  };
  const Case cases[] = {
      {"row count", "1 2\n\n# c\n! c\n3 4\n'stop\n5 6\n", row_count, "0:2", ""},
      {"row count stopped by a line too long to read",
       "1\n" + std::string(units::max_line_length + 1, '7') + "\n",
       row_count,
       "5:-1",
       ""},
      {"row count, missing file",
       "-",
       row_count,
       "1:-1",
       "FILE_ROW_COUNT - Fatal error #6!\n" + could_not_open()},
      {"column count after comments", "# a b\n\n 1.0, 2.0\t3 ! c d\n", column_count, "0:3:0", ""},
      {"column count of comments only", "# a b\n", column_count, "0:3:0", ""},
      {"column count without data",
       " \n\n",
       column_count,
       "2:-1:0",
       "FILE_COLUMN_COUNT - Warning!\n  The file does not seem to contain any data."},
      {"column count, missing file",
       "-",
       column_count,
       "1:-1:1",
       "FILE_COLUMN_COUNT - Fatal error #5!\n" + could_not_open()},
      {"counts", "\n3 2 ! rows, columns\n", counts, "0:3 2", ""},
      {"counts unreadable",
       "3 x\n",
       counts,
       "2:-1 -1",
       "READ ROW,COLUMN DATA ERROR!\n" + bad_line + "1 of"},
      {"counts, missing file", "-", counts, "1:-1 -1", "READ ROW,COLUMN DATA ERROR!"},
      {"data rows continue across lines",
       "1 2\n3\n4\n5,6\n",
       data(3),
       "0:1.000000 3.000000 5.000000/2.000000 4.000000 6.000000",
       ""},
      {"data row unreadable",
       "1 2\n3 x\n",
       data(2),
       "2:1.000000 3.000000/2.000000 0.000000",
       "READ ROW, COLUMN, AND DATA ERROR!\n" + bad_line + "2 of"},
      {"data rows beyond the matrix",
       "1 2\n",
       data(4),
       "4:0.000000 0.000000 0.000000/0.000000 0.000000 0.000000",
       ""},
      {"data, missing file",
       "-",
       data(1),
       "1:0.000000/0.000000",
       "INPUT DATA FILE - Fatal error!\nREAD ROW, COLUMN, AND DATA ERROR!"},
      {"older layout checked", older, check_xy, "0:212", ""},
      {"older layout short of a parameter line",
       "\"Y=P1\"\n3 1 1\n0 1 2\n",
       check_xy,
       "2:311",
       "DATA INPUT - error!\n  Error while reading lines of parameter data.\n"
       "  Number of parameter lines expected =        3\n"
       "  Number of parameter lines read =            1\n"},
      {"older layout with a parameter below its bound",
       "\"Y=P1\"\n2 1 1\n0 1 2\n0 -1 2\n",
       check_xy,
       "2:211",
       "DATA INPUT ERROR, LOWER BOUND, PARAMETER, UPPER BOUND NOT VALID OR DOESN'T EXIST.\n" +
           bad_line + "4 of"},
      {"older layout read",
       older,
       read_xy(false),
       "0:Y=P1+P2*X1:1.000000 0.500000:5.000000 1.000000:1.000000 3.000000:2.000000 4.000000",
       ""},
      {"older layout with too many rows",
       older,
       read_xy(true),
       "3:0",
       "PROGRAM ABORTED, X,Y DATA NUMBER EXCEEDED 1"},
      {"older layout with a value beyond single precision",
       "\"Y=P1\"\n1 1 1\n0 1 2\n1 1e39\n",
       read_xy(false),
       "2:4",
       "DATA INPUT - error!\n" + bad_line + "4 of"},
      {"older layout, missing file",
       "-",
       read_xy(false),
       "1:0",
       "INPUT DATA FILE *.IN - Fatal error #0!"},
      {"row count on a given unit", "a\nb\n#c\nd\n", unit_rows(12), "0:2:0", ""},
      {"row count on the standard output's unit", "a\n", unit_rows(6), "1:-1:0", ""},
      {"output file lines",
       "# note\n1 2\nnext block\n3 4\n",
       output_lines(3),
       "0:2:1:! note|1 2|220",
       ""},
      {"output file lines cut to the array",
       "a\nb\nc\nEND\n",
       output_lines(2),
       "0:2:0:a|b|220",
       ""},
      {"output file, missing",
       "-",
       output_lines(2),
       "1:0:0:0",
       "File_DATA_READ - Fatal error #1!\n" + could_not_open()},
      {"single-precision table",
       "# h\n1 2 9\n\nx y\n3 4\n",
       table,
       "0:1.000000 2.000000/3.000000 4.000000",
       ""},
      {"single-precision table short of lines",
       "1 2\nx y\n",
       table,
       "2:1.000000 2.000000/0.000000 0.000000",
       "R4MAT_DATA_READ - Fatal error #5!\n  Error while reading lines of data.\n"
       "  Number of values expected per line M =        2\n"
       "  Number of data lines read, J =                1\n"
       "  Number of data lines needed, N =              2\n"},
      {"single-precision table, missing file",
       "-",
       table,
       "1:0.000000 0.000000/0.000000 0.000000",
       "R4MAT_DATA_READ - Fatal error #4!\n" + could_not_open()},
      {"table header", "# h\n1 2 3\n4 5 6\n", header, "0:3 2", ""},
      {"table header of an empty file", "", header, "2:-1 0", "DATA FILE READ - Fatal error #7!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    console_.str("");
    const std::string path = c.file == "-" ? missing() : file(c.file);
    EXPECT_EQ(c.run(path), c.expected);
    if (c.message.empty()) {
      EXPECT_EQ(console_.str(), "");
    } else {
      EXPECT_NE(console_.str().find(c.message), std::string::npos) << console_.str();
    }
  }
}

TEST_F(OlderReaders, WritersMakeTheirFiles) {
  // wdata: the title line, then each row in ES12.5 fields three blanks apart.
  FMatrix<double, 2, 2> d = [] {
    FMatrix<double, 2, 2> m;
    m(1, 1) = 1.0, m(1, 2) = -0.25, m(2, 1) = 12345.678, m(2, 2) = 0.0;
    return m;
  }();
  const std::string stem = (dir_.path() / "out").string();
  ASSERT_EQ(readwrite::wdata(d.view(), 2, 2, "Sample  ", stem), Status::Ok);
  EXPECT_EQ(dir_.read("out.txt"),
            "\n Write Data Sample to a file " + stem +
                ".txt\n    1.00000E+00   -2.50000E-01\n    1.23457E+04    0.00000E+00\n");
  EXPECT_EQ(readwrite::wdata(d.view(), 2, 2, "t", (dir_.path() / "no/such").string()),
            Status::OpenFailed);
  EXPECT_NE(console_.str().find("OUTPUT DATA FILE - Fatal error!\nWRITE DATA ERROR!"),
            std::string::npos);

  // comment_out_first_line: cleaned, left-adjusted copy with "# " before the first line.
  const std::string dat = file("\n  Y=P1\x01*X1\n\t2 3\n", "model.dat");
  ASSERT_EQ(readwrite::comment_out_first_line(dat), Status::Ok);
  EXPECT_EQ(dir_.read("model.txt"), "\n# Y=P1 *X1\n2 3\n");
  // A file that would be its own copy is left as it was.
  const std::string own = file("a\nb\n", "same.txt");
  console_.str("");
  EXPECT_EQ(readwrite::comment_out_first_line(own), Status::OpenFailed);
  EXPECT_EQ(dir_.read("same.txt"), "a\nb\n");
  EXPECT_NE(console_.str().find("File_DATA_WRITE - Fatal error #2!\n  Could not open the output"),
            std::string::npos);
  console_.str("");
  EXPECT_EQ(readwrite::comment_out_first_line(missing()), Status::OpenFailed);
  EXPECT_NE(console_.str().find("File_DATA_READ - Fatal error #3C!\n" + could_not_open()),
            std::string::npos);
}

}  // namespace
