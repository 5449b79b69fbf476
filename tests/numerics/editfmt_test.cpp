// Exact layouts of Fortran edit descriptors. Every expected layout below (the fault cases
// aside) was produced by a Fortran compiler (gfortran) writing the same values with the same
// format.
#include "numerics/editfmt.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using editfmt::Value;

constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
const double kNaN = std::nan("");
constexpr double kInf = std::numeric_limits<double>::infinity();

struct IntCase {
  const char* descriptor;
  int64_t value;
  const char* expected;
};

struct RealCase {
  const char* descriptor;
  double value;
  const char* expected;
};

void check_reals(const std::vector<RealCase>& cases) {
  for (const RealCase& c : cases) {
    SCOPED_TRACE(std::string(c.descriptor) + " of " + ::testing::PrintToString(c.value));
    EXPECT_EQ(editfmt::format_real(c.descriptor, c.value), c.expected);
  }
}

TEST(Editfmt, IntegerFieldsPadOrOverflowToAsterisks) {
  const std::vector<IntCase> cases = {
      // clang-format off
      {"I1", 0, "0"},
      {"I1", 7, "7"},
      {"I1", -1, "*"},
      {"I1", 10, "*"},
      {"I2", 42, "42"},
      {"I2", -5, "-5"},
      {"I2", 100, "**"},
      {"I3", 7, "  7"},
      {"I3", -99, "-99"},
      {"I3", -100, "***"},
      {"I4", 50, "  50"},
      {"I4", -999, "-999"},
      {"I4", 12345, "****"},
      {"I5", -7, "   -7"},
      {"I5", 99999, "99999"},
      {"I5", -9999, "-9999"},
      {"I5.3", -7, " -007"},
      {"I4.3", -5, "-005"},
      {"I5.0", 0, "     "},
      {"I5.0", 3, "    3"},
      {"I0", -123, "-123"},
      {"I0", 0, "0"},
      {"I0.0", 0, " "},
      {"I20", kInt64Min, "-9223372036854775808"},
      // clang-format on
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(std::string(c.descriptor) + " of " + std::to_string(c.value));
    EXPECT_EQ(editfmt::format_int(c.descriptor, c.value), c.expected);
  }
}

TEST(Editfmt, FixedFieldsRoundExactlyAndDropTheOptionalZero) {
  check_reals({
      // clang-format off
      {"F4.0", 0.4, "  0."},
      {"F4.0", -0.4, " -0."},
      {"F4.0", 99.5, "100."},
      {"F4.0", 999.5, "****"},
      {"F4.0", 2.5, "  2."},
      {"F4.0", 3.5, "  4."},
      {"F6.2", 3.14159, "  3.14"},
      {"F6.2", -0.001, " -0.00"},
      {"F6.2", 0.125, "  0.12"},
      {"F6.2", 0.375, "  0.38"},
      {"F6.2", -0.0, " -0.00"},
      {"F6.2", 999.994, "999.99"},
      {"F6.2", 999.995, "******"},
      {"F6.2", -99.995, "******"},
      {"F6.3", 9.9995, " 9.999"},
      {"F6.3", 9.99951, "10.000"},
      {"F5.3", 0.5, "0.500"},
      {"F5.3", -0.5, "-.500"},
      {"F4.3", -0.5, "****"},
      {"F9.3", -123456.78, "*********"},
      {"F9.3", 12345.6785, "12345.678"},
      {"F9.3", 1.0e6, "*********"},
      {"F14.3", 1.5e300, "**************"},
      {"F14.3", -1234567890.1234, "**************"},
      {"F14.3", 1.0e-10, "         0.000"},
      {"F0.3", -0.25, "-.250"},
      {"F0.0", 3.0, "3."},
      // clang-format on
  });
}

TEST(Editfmt, ExponentFieldsUseThreeDigitExponentsWithoutE) {
  check_reals({
      // clang-format off
      {"E10.3", 12.3, " 0.123E+02"},
      {"E10.3", -12.3, "-0.123E+02"},
      {"E10.3", 0.0, " 0.000E+00"},
      {"E10.3", -0.0, "-0.000E+00"},
      {"E10.3", 9.9995, " 0.100E+02"},
      {"E10.3", 1.5e100, " 0.150+101"},
      {"E10.3", 1.5e-100, " 0.150E-99"},
      {"E10.3", -1.5e100, "-0.150+101"},
      {"E9.3", -12.3, "-.123E+02"},
      {"E8.3", -12.3, "********"},
      {"E10.4", 123.45, "0.1235E+03"},
      {"E10.4", -0.000123456, "-.1235E-03"},
      {"E10.4", 0.99995, "0.1000E+01"},
      {"E12.3E4", 1.5e200, " 0.150E+0201"},
      {"E12.4E3", 1.5, " 0.1500E+001"},
      {"E9.3E1", 1.5e12, "*********"},
      {"ES10.3", 0.0, " 0.000E+00"},
      {"ES10.3", -1.5, "-1.500E+00"},
      {"ES10.3", 9.9996, " 1.000E+01"},
      {"ES10.3", 1.5e200, " 1.500+200"},
      {"ES10.3", -1.5e-200, "-1.500-200"},
      {"ES9.3", -1.5, "*********"},
      {"ES10.3", 123456.0, " 1.235E+05"},
      // clang-format on
  });
}

TEST(Editfmt, GeneralFieldsChooseTheFormOnTheRoundedValue) {
  check_reals({
      // clang-format off
      {"G8.3", 1234.5, ".123E+04"},
      {"G8.3", 999.4, "999.    "},
      {"G8.3", 999.5, ".100E+04"},
      {"G8.3", 0.0999, ".999E-01"},
      {"G8.3", -1.5, "********"},
      {"G8.3", 0.0, "0.00    "},
      {"G8.3", 0.1, ".100    "},
      {"G10.4", 0.0, " 0.000    "},
      {"G10.4", -0.0, "-0.000    "},
      {"G10.4", 9999.5, "0.1000E+05"},
      {"G10.4", 9999.4, " 9999.    "},
      {"G10.4", 0.099995, "0.1000    "},
      {"G10.4", 0.09999, "0.9999E-01"},
      {"G10.4", 3.14159, " 3.142    "},
      {"G10.4", 1.0e4, "0.1000E+05"},
      {"G12.6", 123456.5, " 123456.    "},
      {"G12.6", -0.5, "-.500000    "},
      {"G12.6", 999999.5, "0.100000E+07"},
      {"G12.6", 1.0e-300, "0.100000-299"},
      {"G14.6", 1.0e100, "  0.100000+101"},
      {"G14.6", -2.718281828, "  -2.71828    "},
      {"G14.6", 99999.95, "   100000.    "},
      {"G15.8", -1.0e-100, "-0.10000000E-99"},
      {"G15.8", 12345678.9, "  12345679.    "},
      {"G15.8", 0.1, " 0.10000000    "},
      {"G16.8", 3.14159265358979, "   3.1415927    "},
      {"G16.8", 1.0e-300, "  0.10000000-299"},
      {"G16.8", -123.456, "  -123.45600    "},
      {"G16.8", 99999999.5, "  0.10000000E+09"},
      {"G5.1", 0.95, "*****"},
      {"G6.1", 0.5, ".5    "},
      {"G22.4", 9.9995, "             10.00    "},
      {"G12.4E3", 1.5, "  1.500     "},
      {"G12.4E1", 1.5e20, "************"},
      {"G12.4E3", 1.5e20, " 0.1500E+021"},
      // clang-format on
  });
}

TEST(Editfmt, ScaleFactorShiftsFixedAndExponentDigits) {
  check_reals({
      // clang-format off
      {"1PE14.4", 1234.5, "    1.2345E+03"},
      {"1PE14.4", -0.00098765, "   -9.8765E-04"},
      {"1PE14.4", 0.0, "    0.0000E+00"},
      {"1PE14.4", 9.99995, "    1.0000E+01"},
      {"1PE14.6", 1.5e-310, "  1.500000-310"},
      {"1PE14.6", -2.0, " -2.000000E+00"},
      {"1PE14.6", 6.02214076e23, "  6.022141E+23"},
      {"1PE16.8", 1.5e308, "  1.50000000+308"},
      {"1PE16.8", -1.0e-5, " -1.00000000E-05"},
      {"1PE16.8", 3.14159265358979, "  3.14159265E+00"},
      {"1PG11.5", 1.5, " 1.5000    "},
      {"1PG11.5", 1.5e10, "1.50000E+10"},
      {"1PG11.5", 0.0, " 0.0000    "},
      {"1PG11.5", -0.012345, "***********"},
      {"1PG11.5", 99999.5, "9.99995E+04"},
      {"1PG11.5", 1.0e-5, "1.00000E-05"},
      {"1PG11.5", 1.5e-100, "1.50000-100"},
      {"1PF8.3", 1.5, "  15.000"},
      {"-1PE14.4", 1234.5, "    0.0123E+05"},
      {"2PE14.4", 1234.5, "    12.345E+02"},
      {"-2PF8.0", 150.0, "      2."},
      {"-2PF8.0", 50.0, "      0."},
      {"1PES10.3", 1.5, " 1.500E+00"},
      // clang-format on
  });
}

TEST(Editfmt, NaNAndInfinityAreRightJustifiedOrAsterisks) {
  check_reals({
      // clang-format off
      {"F6.2", kNaN, "   NaN"},
      {"E10.3", kNaN, "       NaN"},
      {"ES10.3", kNaN, "       NaN"},
      {"G10.3", kNaN, "       NaN"},
      {"F2.1", kNaN, "**"},
      {"F9.2", kInf, " Infinity"},
      {"F8.2", kInf, "Infinity"},
      {"F4.2", kInf, " Inf"},
      {"F3.2", kInf, "Inf"},
      {"F2.2", kInf, "**"},
      {"F9.2", -kInf, "-Infinity"},
      {"F8.2", -kInf, "    -Inf"},
      {"F4.2", -kInf, "-Inf"},
      {"F3.2", -kInf, "***"},
      {"E10.3", -kInf, " -Infinity"},
      {"G16.8", kInf, "        Infinity"},
      {"1PE14.4", -kInf, "     -Infinity"},
      {"ES8.1", kInf, "Infinity"},
      // clang-format on
  });
}

// Decimal ties are decided on the exact binary value: an exact tie goes to the even digit, a
// value one ulp away goes to its side, and a decimal literal that is not exact rounds as its
// binary value lies (0.05 is slightly above the tie, 0.15 slightly below).
TEST(Editfmt, RoundingFollowsTheExactBinaryValue) {
  check_reals({
      {"F6.2", std::nextafter(0.125, 1.0), "  0.13"},
      {"F6.2", std::nextafter(0.125, 0.0), "  0.12"},
      {"F4.0", std::nextafter(2.5, 9.0), "  3."},
      {"F4.0", 2.5, "  2."},
      {"1PE10.0", 1.5, "    2.E+00"},
      {"ES9.1", 2.25, "  2.2E+00"},
      {"ES9.1", 2.35, "  2.4E+00"},
      {"E10.3", 1.2345, " 0.123E+01"},
      {"E10.3", 1.2355, " 0.124E+01"},
      {"F5.1", 0.05, "  0.1"},
      {"F5.1", 0.15, "  0.1"},
      {"G10.3", 0.0005, " 0.500E-03"},
  });
}

TEST(Editfmt, TextFieldsRightJustifyOrKeepTheLeftmostCharacters) {
  EXPECT_EQ(editfmt::format("(A13,'|',A16,'|',A13,'|',A)",
                            {"short", "a text longer than sixteen", "exactly13char", "free"}),
            "        short|a text longer th|exactly13char|free");
  EXPECT_EQ(editfmt::format("(A3,'|',G5.2,'|',G10.3)", {"hello", "hello", 42}),
            "hel|hello|        42");
}

struct RecordCase {
  const char* format;
  std::vector<Value> values;
  const char* expected;
};

TEST(Editfmt, RecordsFollowFormatControlAndReversion) {
  std::vector<Value> twelve_ints;
  std::vector<Value> twelve_reals;
  for (int i = 1; i <= 12; ++i) {
    twelve_ints.emplace_back(i);
    twelve_reals.emplace_back(1.5 * (i - 2));
  }
  const std::vector<RecordCase> cases = {
      {"(4X,10(I2,11X))", {1, 2, 3}, "     1            2            3"},
      {"(4X,10(I2,11X))",
       twelve_ints,
       "     1            2            3            4            5            6            7   "
       "         8            9           10\n11           12"},
      {"(1X,10(ES10.3,3X))",
       twelve_reals,
       " -1.500E+00    0.000E+00    1.500E+00    3.000E+00    4.500E+00    6.000E+00    "
       "7.500E+00    9.000E+00    1.050E+01    1.200E+01\n 1.350E+01    1.500E+01"},
      {"(2x,8(1x,F8.4,2x))",
       {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0, 10.0},
       "     1.0000     2.0000     3.0000     4.0000     5.0000     6.0000     7.0000     8.0000"
       "\n   9.0000    10.0000"},
      // Reversion goes to the last group of the outer list, not the innermost one.
      {"(I2,(I3,(I4)),I5)",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
       " 1  2   3    4\n  5   6    7\n  8   9   10"},
      {"(I2,2(I3),I4)", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, " 1  2  3   4\n  5  6   7\n  8  9  10"},
      {"(3F5.1)", {1.0, 2.0, 3.0, 4.0}, "  1.0  2.0  3.0\n  4.0"},
      {"(5D20.10)",
       {1.5, -2.5e-200, 0.0, 123456.789, 1e100, 7.0},
       "    0.1500000000D+01   -0.2500000000-199    0.0000000000D+00    0.1234567890D+06    "
       "0.1000000000+101\n    0.7000000000D+01"},
      {"(1PD12.4,'|',D8.3,'|',D12.3)", {1.5, 2.5, 1e150}, "  1.5000D+00|********|   1.000+150"},
      {"(//1x,A)", {"hi"}, "\n\n hi"},
      {"(1X,4('*'))", {}, " ****"},
      {"(a3,i1,a1,1x,5(es10.3,1x))",
       {"ab(", 3, ")", 1.0, 2.0, 3.0, 4.0, 5.0, 6.0},
       "ab(3)  1.000E+00  2.000E+00  3.000E+00  4.000E+00  5.000E+00\n 6.000E+00"},
      {"(2(I1,1X),'|')", {1, 2, 3}, "1 2 |\n3"},
      // Output stops at a data descriptor with no value left, after the text before it.
      {"(I3,' a',I3,' b')", {5}, "  5 a"},
      {"('x=',I2)", {}, "x="},
      {"(I2/I3)", {1}, " 1\n"},
      {"(I3,2/,I3)", {1, 2}, "  1\n\n  2"},
      // Skipped columns become blanks only when something is written after them.
      {"(A,I2,5X)", {"[", 3}, "[ 3"},
      {"(A,I2,5X,A)", {"[", 3, "]"}, "[ 3     ]"},
      {"(F6.2,'it''s',\"a\"\"b\")", {1.0}, "  1.00it'sa\"b"},
      {"(A,1X,I3,1X,F6.2)", {"abc", 7, 1.5}, "abc   7   1.50"},
      // The scale factor stays in force across records and reversion.
      {"(1P,(E10.3))", {1.5, 2.5}, " 1.500E+00\n 2.500E+00"},
      {"(1P,E10.3,/,F6.2,0P,F6.2)", {1.5, 2.5, 2.5}, " 1.500E+00\n 25.00  2.50"},
      // Letter case and blanks outside literals do not matter.
      {"( 2x , 2( 1x, f8.4 ) , ' Ab ' )", {1.0, -2.0}, "     1.0000  -2.0000 Ab "},
      {"(1pe14.4,g10.3,es10.2)", {1234.5, 0.5, 0.25}, "    1.2345E+03 0.500      2.50E-01"},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.format);
    editfmt::Output out = editfmt::write(c.format, c.values);
    EXPECT_TRUE(out.ok()) << out.error;
    EXPECT_EQ(out.text, c.expected);
    EXPECT_FALSE(out.no_advance);
  }
}

TEST(Editfmt, DollarLeavesTheLastRecordOpen) {
  editfmt::Output out = editfmt::write("(I2,$)", {1});
  EXPECT_EQ(out.text, " 1");
  EXPECT_TRUE(out.no_advance);
  out = editfmt::write("(7x,A2,I1,A5$)", {"ab", 3, "cdefg"});
  EXPECT_EQ(out.text, "       ab3cdefg");
  EXPECT_TRUE(out.no_advance);
  out = editfmt::write("(I2,/,$)", {1});
  EXPECT_EQ(out.text, " 1\n");
  EXPECT_TRUE(out.no_advance);
}

TEST(Editfmt, RecordWriterContinuesOpenRecordsAtTheirColumn) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, std::vector<Value>>> writes;
    std::vector<std::string> records;
  };
  const std::vector<Case> cases = {
      {"a trailing X of an open record becomes blanks when text follows",
       {{"(5X,I2,2X$)", {1}}, {"(5X,I2,2X$)", {2}}, {"(A1)", {" "}}},
       {"      1        2   "}},
      {"a leading slash ends the open record without its pending blanks",
       {{"(3X,I2,4X$)", {7}}, {"(//1x,A)", {"Next:"}}},
       {"    7", "", " Next:"}},
      {"an open record of pending blanks only",
       {{"(4X$)", {}}, {"(A)", {"x"}}},
       {"    x"}},
      {"records written before the last one of a write are finished",
       {{"(I1/I1$)", {1, 2}}, {"(I2)", {3}}},
       {"1", "2 3"}},
      {"a write without a dollar ends its record",
       {{"(I2)", {1}}, {"(I2)", {2}}},
       {" 1", " 2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> records;
    editfmt::RecordWriter writer([&](std::string_view r) { records.emplace_back(r); });
    for (const auto& [fmt, values] : c.writes) EXPECT_EQ(writer.write(fmt, values), "");
    writer.finish();
    EXPECT_EQ(records, c.records);
  }
}

TEST(Editfmt, RecordWriterFinishesAnOpenRecordAndTakesWholeRecords) {
  std::vector<std::string> records;
  editfmt::RecordWriter writer([&](std::string_view r) { records.emplace_back(r); });
  writer.write("(2X,A$)", {"ab"});
  EXPECT_TRUE(writer.open());
  writer.record("cd");
  EXPECT_FALSE(writer.open());
  writer.record("ef");
  writer.write("(A$)", {"gh"});
  writer.finish();
  writer.finish();
  EXPECT_EQ(records, (std::vector<std::string>{"  abcd", "ef", "gh"}));
  EXPECT_NE(writer.write("(Q)", {}), "");
}

struct FaultCase {
  const char* format;
  std::vector<Value> values;
  const char* text_before_fault;
  const char* error_part;
};

TEST(Editfmt, FaultsAreReportedWithTheOutputWrittenBeforeThem) {
  const std::vector<FaultCase> cases = {
      {"I3", {1}, "", "expected '('"},
      {"(I3", {1}, "", "missing ')'"},
      {"(I3", {}, "", "missing ')'"},
      {"(I3) x", {1}, "", "after the closing parenthesis"},
      {"(Q3)", {1}, "", "unknown edit descriptor 'Q'"},
      {"(F6)", {1.0}, "", "expected '.'"},
      {"(E0.3)", {1.0}, "", "positive width"},
      {"(I2.5)", {1}, "", "minimum digits exceed the width"},
      {"(0I2)", {1}, "", "count must be positive"},
      {"(-2I2)", {1}, "", "sign is allowed only before P"},
      {"('abc)", {}, "", "unterminated literal"},
      {"(I99999)", {1}, "", "number too large"},
      {"(I3,F6.2)", {1, "x"}, "  1", "value 2 is a text"},
      {"(F6.2)", {1}, "", "value 1 is an integer"},
      {"(A)", {1.5}, "", "value 1 is a real"},
      {"('abc')", {1}, "abc", "no data edit descriptor for value 1"},
      // A reverted group without data descriptors would loop for ever.
      {"(I2,('x'))", {1, 2}, " 1x\nx", "no data edit descriptor for value 2"},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.format);
    editfmt::Output out = editfmt::write(c.format, c.values);
    EXPECT_FALSE(out.ok());
    EXPECT_NE(out.error.find(c.error_part), std::string::npos) << out.error;
    EXPECT_EQ(out.text, c.text_before_fault);
  }
}

TEST(Editfmt, RunawayFormatsStopWithAnError) {
  editfmt::Output out = editfmt::write("(32767(32767(32767X)),I1)", {1});
  EXPECT_NE(out.error.find("runs too long"), std::string::npos) << out.error;
  EXPECT_EQ(out.text, "");
  out = editfmt::write("(32767(32767('abcdef')))", {});
  EXPECT_NE(out.error.find("output is too long"), std::string::npos) << out.error;
  EXPECT_LE(out.text.size(), size_t{1} << 22);
  EXPECT_EQ(out.text.substr(0, 12), "abcdefabcdef");
  // Record ends count against the cap too: nested slashes alone would write 5 million lines.
  out = editfmt::write("(32767(32767/))", {});
  EXPECT_NE(out.error.find("output is too long"), std::string::npos) << out.error;
  EXPECT_LE(out.text.size(), size_t{1} << 22);
}

TEST(Editfmt, DeeplyNestedGroupsAreRefused) {
  const std::string deep = std::string(200, '(') + "I1" + std::string(200, ')');
  editfmt::Output out = editfmt::write(deep, {1});
  EXPECT_NE(out.error.find("nested too deeply"), std::string::npos) << out.error;
  const std::string fine = std::string(20, '(') + "I1" + std::string(20, ')');
  EXPECT_EQ(editfmt::format(fine, {1}), "1");
}

}  // namespace
