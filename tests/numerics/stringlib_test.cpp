#include "numerics/stringlib.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

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

// The procedures no other module calls.

TEST(Stringlib, CharacterTests) {
  EXPECT_TRUE(stringlib::ch_is_control('\x1f'));
  EXPECT_TRUE(stringlib::ch_is_control('\x7f'));
  EXPECT_TRUE(stringlib::ch_is_control('\x80'));
  EXPECT_FALSE(stringlib::ch_is_control('~'));
  EXPECT_TRUE(stringlib::ch_is_space('\t'));
  EXPECT_TRUE(stringlib::ch_is_space('\r'));
  EXPECT_FALSE(stringlib::ch_is_space('\0'));
  EXPECT_TRUE(stringlib::ch_is_digit('9'));
  EXPECT_FALSE(stringlib::ch_is_digit('a'));
  EXPECT_EQ(stringlib::ch_caps('q'), 'Q');
  EXPECT_EQ(stringlib::ch_capf('{'), '{');  // 123 is no letter, though 123 - 32 is '['
  char c = 'z';
  stringlib::ch_cap(c);
  EXPECT_EQ(c, 'Z');
  EXPECT_TRUE(stringlib::ch_eqi('m', 'M'));
  EXPECT_FALSE(stringlib::ch_eqi('[', '{'));
  EXPECT_EQ(stringlib::ch_to_digit('7'), 7);
  EXPECT_EQ(stringlib::ch_to_digit(' '), 0);
  EXPECT_EQ(stringlib::ch_to_digit('x'), -1);
  EXPECT_EQ(stringlib::dig_to_chr(3), '3');
  EXPECT_EQ(stringlib::dig_to_chr(10), '*');
  EXPECT_EQ(stringlib::dig_to_chr(-1), '*');
}

TEST(Stringlib, PositionsLengthsAndCaseSensitiveTwins) {
  EXPECT_EQ(stringlib::s_chr_index("ab c  ", 'c'), 4);
  EXPECT_EQ(stringlib::s_chr_index("ab c  ", ' '), 3);
  EXPECT_EQ(stringlib::s_chr_index("abc   ", ' '), -1);  // trailing blanks are not searched
  EXPECT_EQ(stringlib::ch_index("abc", 'x'), 0);
  EXPECT_EQ(stringlib::ch_index("abc", 'b'), 2);
  EXPECT_EQ(stringlib::length("ab  "), 2);
  EXPECT_EQ(stringlib::nlength("   "), 3);
  const std::pair<int32_t, int32_t> lengths[] = {
      {0, 1}, {7, 1}, {-7, 2}, {12345, 5}, {INT_MAX, 10}, {INT_MIN, 11}};
  for (const auto& [i, n] : lengths) EXPECT_EQ(stringlib::i4_length(i), n) << i;
  EXPECT_TRUE(stringlib::s_case_eqi("end", "end  "));
  EXPECT_FALSE(stringlib::s_case_eqi("end", "END"));
  EXPECT_EQ(stringlib::s_case_indexi("Model MODEL", "MODEL"), 7);
  EXPECT_EQ(stringlib::s_case_indexi("model", "MODEL"), 0);
}

TEST(Stringlib, EditingKeepsTheDeclaredLength) {
  using Edit = void (*)(std::string&);
  struct Case {
    const char* name;
    Edit edit;
    std::string in, out;
  } const cases[] = {
      {"removesp",
       stringlib::removesp,
       "  a b\tc\x01"
       "d  ",
       "abcd       "},
      {"s_adjustr", stringlib::s_adjustr, "ab  ", "  ab"},
      {"s_blanks_delete", stringlib::s_blanks_delete, "  a \t b  c   ", " a b c       "},
      {"compact", stringlib::compact, "  a   b  ", "a b      "},
      {"s_del_braces", stringlib::s_del_braces, "{a}b{}  ", "ab      "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string s = c.in;
    c.edit(s);
    EXPECT_EQ(s, c.out);
  }
  std::string s = "xabyabab";
  stringlib::delall(s, "ab");
  EXPECT_EQ(s, "xy      ");
  s = "aabb";  // a deletion that makes a new occurrence
  stringlib::delall(s, "ab");
  EXPECT_EQ(s, "    ");
  s = "a b";  // an all-blank sub deletes nothing (and must not loop for ever)
  stringlib::delall(s, "  ");
  EXPECT_EQ(s, "a b");
  EXPECT_EQ(stringlib::right("abcdef  ", 3), "def");
  EXPECT_EQ(stringlib::right("ab  ", 4), "ab  ");
  EXPECT_EQ(stringlib::right("abc", 0), "");
}

TEST(Stringlib, WordsParenthesesAndQuotedCase) {
  EXPECT_EQ(stringlib::s_word_count("  run 12  done "), 3);
  EXPECT_EQ(stringlib::s_word_count("   "), 0);
  std::string s = "  run 12 done";
  std::string w(5, '?');
  stringlib::word_extract(s, w);
  EXPECT_EQ(w, "run  ");
  EXPECT_EQ(s, "12 done      ");
  s = "   ";
  w = "??";
  stringlib::word_extract(s, w);
  EXPECT_EQ(w, "  ");
  s = ",a;b";
  w = "???";
  stringlib::word_extract_delim(s, w, ",;");
  EXPECT_EQ(w, "a  ");
  EXPECT_EQ(s, ";b  ");
  stringlib::word_extract_delim(s, w, ",;");
  EXPECT_EQ(w, "b  ");
  EXPECT_EQ(s, "    ");

  const std::pair<const char*, bool> checks[] = {{"(a+(b))", true},
                                                 {"(a))(", false},
                                                 {"f()", false},
                                                 {"(a)(b)", false},
                                                 {"((a)", false},
                                                 {")a(", false}};
  for (const auto& [text, ok] : checks) EXPECT_EQ(stringlib::s_paren_check(text), ok) << text;
  EXPECT_TRUE(stringlib::parenthesescheck(")a("));
  EXPECT_FALSE(stringlib::parenthesescheck("((a)"));

  EXPECT_EQ(stringlib::uppercase("a 'b' \"c'd\" e  "), "A 'b' \"c'd\" E  ");
  EXPECT_EQ(stringlib::lowercase("X 'Y' Z"), "x 'Y' z");
  EXPECT_EQ(stringlib::uppercase("a 'bc"), "A 'bc");  // an open quote runs to the end
}

TEST(Stringlib, ReadlineSkipsBlankAndCommentLines) {
  const std::vector<std::string> lines = {"", "   ! comment", "!", "  value 1 ! note", "next"};
  size_t k = 0;
  const stringlib::LineSource source = [&](std::string& line) {
    if (k == lines.size()) return false;
    line = lines[k++];
    return true;
  };
  std::string line(10, '?');
  EXPECT_EQ(stringlib::readline(source, line), 0);
  EXPECT_EQ(line, "value 1   ");
  EXPECT_EQ(stringlib::readline(source, line), 0);
  EXPECT_EQ(line, "next      ");
  EXPECT_EQ(stringlib::readline(source, line), -1);
  EXPECT_EQ(line, "          ");
}

TEST(Stringlib, IntegerAndRealToShortText) {
  struct Case {
    int32_t value, ndigits, len, status;
    std::string text;
  } const cases[] = {
      {42, 1, 5, 0, "42   "},
      {-7, 3, 6, 0, "-007  "},
      {INT_MIN, 1, 12, 0, "-2147483648 "},
      {5, 31, 3, 1, "???"},       // more than 30 digits asked for: refused, text unchanged
      {123456, 1, 4, 2, "****"},  // no room
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    std::string text(c.len, '?');
    EXPECT_EQ(stringlib::intstr(c.value, c.ndigits, text), c.status);
    EXPECT_EQ(text, c.text);
  }
  // An exponent of three digits is written without its letter, and its mantissa is trimmed as
  // a two-digit exponent's is.
  const std::pair<double, const char*> reals[] = {{3.0, "3"},
                                                  {-12.0, "-12"},
                                                  {0.5, "0.5"},
                                                  {1234.5678, "1234.568"},
                                                  {1.5e10, "0.15E+11"},
                                                  {1.25e-5, "0.125E-4"},
                                                  {-0.1, "-0.1"},
                                                  {1e-100, "0.1E-99"},
                                                  {1.5e98, "0.15E+99"},
                                                  {-1.5e99, "-0.15+100"},
                                                  {1e-300, "0.1-299"},
                                                  {-1e-300, "-0.1-299"},
                                                  {1e300, "0.1+301"},
                                                  {-2.5e-120, "-0.25-119"},
                                                  {1.7976931348623157e308, "0.1797693+309"}};
  for (const auto& [v, text] : reals) {
    EXPECT_EQ(stringlib::real2str(v), fixed(text, 30)) << v;
  }
  std::string small(6, '?');
  stringlib::real2strng(2.5, small);
  EXPECT_EQ(small, "2.5   ");
}

TEST(Stringlib, TrimZerosOfNumberTexts) {
  using Edit = void (*)(std::string&);
  struct Case {
    Edit edit;
    std::string in, out;
  } const cases[] = {
      {stringlib::s_trim_zeros, "2.500  ", "2.5    "},
      {stringlib::s_trim_zeros, "3.000", "3.0  "},
      {stringlib::s_trim_zeros, "100", "100"},            // no point: the zeros are the value
      {stringlib::s_trim_zeros, "1.50E+00", "1.50E+00"},  // exponent digits stay
      {stringlib::s_trim_zero, "1.2500E+03", "1.25E+03  "},
      {stringlib::s_trim_zero, "2.000D-01", "2.0D-01  "},
      {stringlib::s_trim_zero, "0.500", "0.5  "},
      {stringlib::s_trim_zero, "-0.1500-304", "-0.15-304  "},
      {stringlib::s_trim_prezeros, "007", "7  "},
      {stringlib::s_trim_prezeros, "-0012.5", "-12.5  "},
      {stringlib::s_trim_prezeros, "0.5", "0.5"},
      {stringlib::s_trim_prezeros, "000", "0  "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string s = c.in;
    c.edit(s);
    EXPECT_EQ(s, c.out);
  }
}

TEST(Stringlib, StatusReaders) {
  struct Case {
    const char* text;
    double real;
    int32_t real_status;
    int32_t integer;
    int32_t int_status;
  } const cases[] = {
      {" 1.5 2", 1.5, 0, 0, 1},
      {"42,", 42.0, 0, 42, 0},
      {"1d2", 100.0, 0, 0, 1},
      {"1.5e", 0.0, 3, 0, 3},  // an exponent without digits
      {"2E3x", 0.0, 3, 0, 3},
      {"abc", 0.0, 1, 0, 1},
      {"", 0.0, 1, 0, 1},
      {"-2147483647", -2147483647.0, 0, -2147483647, 0},
      {"2147483648", 2147483648.0, 0, 0, 15},
      {"-2147483648", -2147483648.0, 0, 0, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double r = -1.0;
    int32_t i = -1, status = -1;
    stringlib::write_str_dr(c.text, r, status);
    EXPECT_EQ(r, c.real);
    EXPECT_EQ(status, c.real_status);
    stringlib::write_str_di(c.text, i, status);
    EXPECT_EQ(i, c.integer);
    EXPECT_EQ(status, c.int_status);
  }
  const std::tuple<const char*, double, int32_t> valsubs[] = {
      {"1.5e2", 150.0, 0},
      {"1,5", 0.0, 2},
      {" 1", 0.0, 2},
      {"1-2", 0.01, 0},  // a sign may stand for the exponent letter
      {"1.2.3", 0.0, 1},
      {"", 0.0, 1}};
  for (const auto& [text, value, status] : valsubs) {
    double v = -1.0;
    int32_t st = -1;
    stringlib::valsub(text, v, st);
    EXPECT_EQ(v, value) << text;
    EXPECT_EQ(st, status) << text;
  }
}

TEST(Stringlib, SingleRealReaderStates) {
  struct Case {
    std::string text;
    float r;
    int32_t ierror, length;
  } const cases[] = {
      {"  -12.5e1, 3", -125.0f, 0, 10},  // the comma is used
      {"1.5 2", 1.5f, 0, 4},             // the blank after the number is used
      {"2.5D-2", 0.025f, 0, 6},
      {"1e0.5", 3.1622777f, 0, 5},                       // a fractional exponent
      {"1." + std::string(45, '0') + "1", 1.0f, 0, 48},  // digits beyond float do not overflow
      {"7x", 7.0f, 0, 1},
      {"", 0.0f, 1, 0},
      {"abc", 0.0f, 1, 0},
      {"-", 0.0f, 2, 0},
      {"1e", 0.0f, 6, 0},
      {"1e-", 0.0f, 7, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::ostringstream out;
    float r = -1.0f;
    int32_t ierror = -1, length = -1;
    stringlib::s_to_r4(c.text, r, ierror, length, out);
    EXPECT_FLOAT_EQ(r, c.r);
    EXPECT_EQ(ierror, c.ierror);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(out.str().empty(), c.ierror == 0);
  }
  std::ostringstream out;
  float r = 0.0f;
  int32_t ierror = 0, length = 0;
  stringlib::s_to_r4("1e+", r, ierror, length, out);
  EXPECT_EQ(out.str(), "\nS_TO_R4 - Serious error!\n  Illegal or nonnumeric input:\n    1e+\n");

  std::vector<float> v(4, -1.0f);
  stringlib::s_to_r4vec("1, 2.5 -3", 3, VecView<float>(v.data(), 4), ierror, out);
  EXPECT_EQ(ierror, 0);
  EXPECT_EQ(v, (std::vector<float>{1.0f, 2.5f, -3.0f, -1.0f}));
  stringlib::s_to_r4vec("1, 2.5 -3", 4, VecView<float>(v.data(), 4), ierror, out);
  EXPECT_EQ(ierror, 4);  // the fourth value is missing
}

}  // namespace
