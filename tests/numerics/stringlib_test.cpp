#include "numerics/stringlib.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using stringlib::fixed;

TEST(Stringlib, TrimmedLength) {
  struct Case {
    std::string text;
    int32_t lt;
  } const cases[] = {
      {"ab  ", 2},
      {"    ", 0},
      {"", 0},
      {std::string(5, '\0'), 5},  // NUL is not blank
      {" a\t", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(stringlib::s_len_trim(c.text), c.lt);
    EXPECT_EQ(stringlib::lenstr(c.text), c.lt);
  }
}

TEST(Stringlib, AdjustlSkipsBlanksAndTabs) {
  struct Case {
    std::string in, out;
  } const cases[] = {
      {"\t x  ", "x    "},
      {"\t   ", "    "},   // only blanks and TABs: all blank
      {"    ", "    "},    // all blank: unchanged
      {"  a b", "a b  "},  // inner blank stays
      {"x\t", "x\t"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string s = c.in;
    stringlib::s_adjustl(s);
    EXPECT_EQ(s, c.out);
  }
}

TEST(Stringlib, CleaningActsOnTrimmedPartOnly) {
  std::string s = "a\x01\x7f\tb\r  ";
  stringlib::s_control_blank(s);
  EXPECT_EQ(s, "a   b   ");

  s = "a\tb\nc\x0b\x0c\rd\x01 ";
  stringlib::s_whitespace_blank(s);
  EXPECT_EQ(s, std::string("a b c   d\x01 "));

  s = " a b\tc  ";
  stringlib::s_blank_delete(s);
  EXPECT_EQ(s, "abc     ");

  s = "<P1>*X<>  ";
  stringlib::s_del_abrackets(s);
  EXPECT_EQ(s, "P1*X      ");

  s = "C:\\d\\f.dat  ";
  stringlib::s_replace_ch(s, '\\', ' ');
  EXPECT_EQ(s, "C: d f.dat  ");

  s = std::string("a\t ") + '\t';
  stringlib::s_tab_blank(s);  // scans all positions
  EXPECT_EQ(s, "a   ");
}

TEST(Stringlib, CaseInsensitiveComparisonPadsTheShorter) {
  EXPECT_TRUE(stringlib::s_eqi("Model", "MODEL"));
  EXPECT_TRUE(stringlib::s_eqi("end", "END   "));
  EXPECT_FALSE(stringlib::s_eqi("end", "ENDx"));
  EXPECT_FALSE(stringlib::s_eqi("a1", "A2"));
  EXPECT_FALSE(stringlib::s_eqi("[", "{"));  // only letters fold
}

TEST(Stringlib, Searches) {
  EXPECT_EQ(stringlib::s_indexi("Model 3", "MODEL"), 1);
  EXPECT_EQ(stringlib::s_indexi("y=p1*exp(x)", "EXP"), 6);
  EXPECT_EQ(stringlib::s_indexi("abc   ", "D"), 0);
  EXPECT_EQ(stringlib::s_indexi("ab", "abc"), 0);
  EXPECT_EQ(stringlib::s_indexi("data#3.DAT   ", "#3  "), 5);
  EXPECT_EQ(stringlib::s_index_last("a.b.c", "."), 4);
  EXPECT_EQ(stringlib::s_index_last("A.dat", ".DAT"), 0);  // case counts
  EXPECT_EQ(stringlib::s_index_last("x.DAT.DAT  ", ".DAT "), 6);
}

TEST(Stringlib, CapStringUppercasesInto512Characters) {
  std::string out;
  stringlib::s_cap_string("y = p1*x1 [a]  ", out);
  EXPECT_EQ(out, fixed("Y = P1*X1 [A]", 512));
  std::string same = "abc";
  stringlib::s_cap_string(same, same);
  EXPECT_EQ(same, fixed("ABC", 512));
}

TEST(Stringlib, ShiftKeepsDeclaredLength) {
  struct Case {
    int32_t n;
    std::string out;
  } const cases[] = {
      {0, "abcde"},
      {2, "  abc"},
      {-2, "cde  "},
      {5, "     "},
      {-9, "     "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    std::string s = "abcde";
    stringlib::shiftstr(s, c.n);
    EXPECT_EQ(s, c.out);
  }
}

TEST(Stringlib, InsertLosesWhatIsPushedPastTheEnd) {
  std::string s = "XYZ   ";
  stringlib::insertstr(s, "ab  ", 2);
  EXPECT_EQ(s, "XabYZ ");

  s = "1234";
  stringlib::insertstr(s, "#3", 4);
  EXPECT_EQ(s, "123#");

  s = "abc";
  stringlib::insertstr(s, "   ", 1);  // blank insert: nothing
  EXPECT_EQ(s, "abc");
  stringlib::insertstr(s, "z", 9);  // outside the buffer: nothing
  EXPECT_EQ(s, "abc");
}

TEST(Stringlib, DeleteSubstring) {
  std::string s = "Y=P1*X1   ";
  stringlib::delsubstr(s, "Y=");
  EXPECT_EQ(s, "P1*X1     ");

  s = "ab#3 #3.DAT";
  stringlib::delsubstr(s, "#3 ");  // trailing blank of sub is part of the search
  EXPECT_EQ(s, "ab #3.DAT  ");

  s = "abc";
  stringlib::delsubstr(s, "x");
  EXPECT_EQ(s, "abc");
}

TEST(Stringlib, LastWord) {
  struct Case {
    std::string text;
    int32_t len;
    std::string word;
  } const cases[] = {
      {"run 12 done  ", 8, "done    "},
      {"single", 8, "single  "},
      {"C: data  longname.dat", 4, "long"},
      {"     ", 3, "   "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string word(c.len, '?');
    stringlib::word_last_read(c.text, word);
    EXPECT_EQ(word, c.word);
  }
}

TEST(Stringlib, WriteIntegerLeftAdjusted) {
  struct Case {
    int32_t value;
    const char* fmt;
    int32_t len;
    std::string text;
  } const cases[] = {
      {7, "I3", 10, "7         "},
      {3, "I2  ", 3, "3  "},
      {-42, "I4", 4, "-42 "},
      {12345, "I3", 5, "***  "},  // too wide for the field
      {5, "I4", 2, "**"},         // the record does not fit the buffer
      {5, "Q4", 3, "***"},        // no such descriptor
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fmt);
    std::string text(c.len, '?');
    stringlib::write_di(c.value, text, c.fmt);
    EXPECT_EQ(text, c.text);
  }
}

TEST(Stringlib, WriteRealLeftAdjusted) {
  struct Case {
    double value;
    const char* fmt;
    std::string trimmed;
  } const cases[] = {
      {3.14159, "F6.2", "3.14"},
      {1.5, "G16.8", "1.5000000"},
      {-0.000123456, "G12.6", "-.123456E-03"},  // no room for the leading 0
      {1234.5, "F6.2", "******"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fmt);
    std::string text(30, '?');
    stringlib::write_dr(c.value, text, c.fmt);
    EXPECT_EQ(text.size(), 30u);
    EXPECT_EQ(stringlib::trim(text), c.trimmed);
  }
}

TEST(Stringlib, StringOfNumberIs30Characters) {
  EXPECT_EQ(stringlib::stringi(3, "(I1)"), fixed("3", 30));
  EXPECT_EQ(stringlib::stringi(42, "(I4)   "), fixed("  42", 30));
  EXPECT_EQ(stringlib::stringi(10, "(I1)"), fixed("*", 30));
  EXPECT_EQ(stringlib::stringr(0.5f, "(F4.1)"), fixed(" 0.5", 30));
  // The value is taken in single precision: 0.1f is 0.100000001490116...
  EXPECT_EQ(stringlib::stringr(0.1f, "(F12.10)"), fixed("0.1000000015", 30));
}

TEST(Stringlib, Str2RealConvertsCheckedText) {
  struct Case {
    std::string text;
    double value;
  } const cases[] = {
      {"12", 12.0},    {"1d2", 100.0},       {"-.5E-1", -0.05}, {"1,5", 0.0},
      {" 7", 0.0},     {"1 2", 0.0},         {"", 0.0},         {"   ", 0.0},
      {"inf", 0.0},    {"nan", 0.0},         {"0x1p3", 0.0},    {"1-2", 0.0},
      {"e", 0.0},      {"1.2.3", 0.0},       {"-", 0.0},        {"1e", 0.0},
      {"1.-2", 0.01},  // sign-and-integer exponent
      {"1e999", 0.0},  // beyond the double range
      {"1e-999", 0.0}, {"2.5e+3  ", 2500.0}, {"0012", 12.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string s = c.text;
    EXPECT_EQ(stringlib::str2real(s), c.value);
  }
}

TEST(Stringlib, Str2RealEditsTheBuffer) {
  std::string s = "1d2   ";
  EXPECT_EQ(stringlib::str2real(s), 100.0);
  EXPECT_EQ(s, "1.e2  ");

  s = "5 ";
  EXPECT_EQ(stringlib::str2real(s), 5.0);
  EXPECT_EQ(s, "5.");

  s = "5";  // no room for the point: read as if it were there
  EXPECT_EQ(stringlib::str2real(s), 5.0);
  EXPECT_EQ(s, "5");

  s = "1d,  ";  // invalid, but the D has been replaced
  EXPECT_EQ(stringlib::str2real(s), 0.0);
  EXPECT_EQ(s, "1e,  ");
}

TEST(Stringlib, Str2RealReadsOnlyThirtyCharacters) {
  std::string s = "1" + std::string(29, '0') + "99";  // 32 digits: the first 30 are read
  EXPECT_EQ(stringlib::str2real(s), 1e29);
}

TEST(Stringlib, Str2IntRoundsHalvesAwayFromZero) {
  struct Case {
    std::string text;
    int32_t value;
  } const cases[] = {
      {"2.5", 3},
      {"-2.5", -3},
      {"2.49", 2},
      {"7", 7},
      {"x", 0},
      {"1e20", 2147483647},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string s = c.text;
    EXPECT_EQ(stringlib::str2int(s), c.value);
  }
}

TEST(Stringlib, StringToIntegerScan) {
  struct Case {
    std::string text;
    int32_t value;
  } const cases[] = {
      {"  - 42abc", -42},
      {"x1", 0},
      {"+", 0},
      {"   ", 0},
      {"12 34", 12},
      {"+7", 7},
      {"- x", 0},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t v = -1;
    stringlib::s_to_i(c.text, v);
    EXPECT_EQ(v, c.value);
  }
}

TEST(Stringlib, ParseRealRejectsWhatTheDataFileCannotHold) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  } const cases[] = {
      {"1.5D-2", true, 0.015},
      {"-3", true, -3.0},
      {"+.5", true, 0.5},
      {"1.", true, 1.0},
      {"Inf", false, 0},
      {"NaN", false, 0},
      {" 1", false, 0},
      {"1 ", false, 0},
      {".", false, 0},
      {"1e+", false, 0},
      {"", false, 0},
      {"1e400", false, 0},
      {"-1e-400", true, -0.0},
      {"0x10", false, 0},
      {"1.5e3x", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double v = 99.0;
    EXPECT_EQ(stringlib::parse_real(c.text, v), c.ok);
    EXPECT_EQ(v, c.ok ? c.value : 99.0);
  }
}

}  // namespace
