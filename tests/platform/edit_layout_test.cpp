// Rows of a text field: line breaks, word wrapping, the caret's row and hit testing.
#include "platform/controls/edit_layout.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::edit_layout::Row;
namespace layout = platform::edit_layout;

// Every unit is 10 pixels wide, but for the second half of a surrogate pair (0).
layout::Advance tens(const std::u16string& text) {
  return [&text](int32_t i) { return text[i] >= 0xDC00 && text[i] <= 0xDFFF ? 0 : 10; };
}

struct Cut {
  int32_t start, end;
  bool soft;
  friend bool operator==(const Cut&, const Cut&) = default;
  friend void PrintTo(const Cut& c, std::ostream* os) {
    *os << "[" << c.start << "," << c.end << (c.soft ? ") soft" : ")");
  }
};

std::vector<Cut> cuts(const std::u16string& text, int32_t width) {
  std::vector<Cut> out;
  for (const Row& r : layout::layout(text, tens(text), width))
    out.push_back({r.start, r.end, r.soft});
  return out;
}

TEST(EditLayout, WrapsAtBlanksBreaksLongWordsAndKeepsLineBreaks) {
  struct Case {
    const char* name;
    std::u16string text;
    int32_t width;
    std::vector<Cut> rows;
  };
  const std::vector<Case> cases{
      {"fits", u"short", 100, {{0, 5, false}}},
      {"after the last blank that fits",
       u"hello world foo",
       60,
       {{0, 6, true}, {6, 12, true}, {12, 15, false}}},
      {"a word is not split when a blank is before it",
       u"ab cdefg",
       60,
       {{0, 3, true}, {3, 8, false}}},
      {"a long word is broken where it stops fitting",
       u"abcdefghij",
       35,
       {{0, 3, true}, {3, 6, true}, {6, 9, true}, {9, 10, false}}},
      {"a long word after a short one",
       u"a bcdefgh",
       40,
       {{0, 2, true}, {2, 6, true}, {6, 9, false}}},
      {"blanks at a cut hang at the row's end", u"ab    cd", 30, {{0, 6, true}, {6, 8, false}}},
      {"blanks at the line's end hang too", u"abc   ", 30, {{0, 6, false}}},
      {"line breaks make hard rows",
       u"a\n\nbc",
       100,
       {{0, 1, false}, {2, 2, false}, {3, 5, false}}},
      {"line breaks and wrapping", u"ab cd\nef", 30, {{0, 3, true}, {3, 5, false}, {6, 8, false}}},
      {"no wrapping at width 0", u"hello world foo", 0, {{0, 15, false}}},
      {"one unit at least when nothing fits",
       u"abc",
       5,
       {{0, 1, true}, {1, 2, true}, {2, 3, false}}},
      {"a pair is never split", u"ab\U0001F600cd", 25, {{0, 2, true}, {2, 5, true}, {5, 6, false}}},
      {"the empty text is one row", u"", 50, {{0, 0, false}}},
      {"CR LF is one break, outside both rows", u"ab\r\ncd", 100, {{0, 2, false}, {4, 6, false}}},
      {"a lone CR breaks too", u"a\rb", 100, {{0, 1, false}, {2, 3, false}}},
      {"LF CR is two breaks", u"a\n\rb", 100, {{0, 1, false}, {2, 2, false}, {3, 4, false}}},
      {"a break at the end leaves an empty row",
       u"ab\r\n",
       100,
       {{0, 2, false}, {4, 4, false}}},
      {"CR LF after wrapping", u"ab cd\r\nef", 30, {{0, 3, true}, {3, 5, false}, {7, 9, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cuts(c.text, c.width), c.rows);
  }
}

TEST(EditLayout, OneLineLayoutKeepsItsBreaksInItsOneRow) {
  const std::u16string text = u"ab\r\ncd\ne";
  const auto rows = layout::layout(text, tens(text), 0, false);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].start, 0);
  EXPECT_EQ(rows[0].end, 8);
  EXPECT_EQ(rows[0].width, 80);
  // Each break is drawn as one blank; the LF of a CR LF adds nothing.
  EXPECT_EQ(layout::drawn(text, 0, 8), u"ab cd e");
  EXPECT_EQ(layout::drawn(text, 3, 8), u"cd e");  // from inside a CR LF
  EXPECT_EQ(layout::drawn(u"x\r", 0, 2), u"x ");
}

TEST(EditLayout, PositionsInsideACharacterSnapToItsEdges) {
  const std::u16string text = u"a\r\nb\U0001F600\r\r\n";  // a CR LF b HIGH LOW CR CR LF
  struct Case {
    int32_t position;
    int32_t back, forward;
    int32_t breaks;  // the break that starts at the position, in units
  };
  for (const Case& c : {Case{0, 0, 0, 0},
                        Case{1, 1, 1, 2},
                        Case{2, 1, 3, 0},  // between CR and LF
                        Case{3, 3, 3, 0},
                        Case{4, 4, 4, 0},
                        Case{5, 4, 6, 0},  // between the halves of the pair
                        Case{6, 6, 6, 1},  // a lone CR
                        Case{7, 7, 7, 2},
                        Case{8, 7, 9, 0},
                        Case{9, 9, 9, 0}}) {
    SCOPED_TRACE(testing::Message() << "position " << c.position);
    EXPECT_EQ(layout::snap(text, c.position, false), c.back);
    EXPECT_EQ(layout::snap(text, c.position, true), c.forward);
    EXPECT_EQ(layout::break_at(text, c.position), c.breaks);
  }
}

TEST(EditLayout, RowWidthsCountTheirUnits) {
  const std::u16string text = u"hello world";
  const auto rows = layout::layout(text, tens(text), 70);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].width, 60);  // "hello " with its blank
  EXPECT_EQ(rows[1].width, 50);
}

TEST(EditLayout, ThePositionThatEndsASoftRowStartsTheNextUnlessAskedOtherwise) {
  const std::u16string text = u"hello world\nfoo";
  const auto rows = layout::layout(text, tens(text), 60);  // [0,6) soft, [6,11), [12,15)
  ASSERT_EQ(rows.size(), 3u);
  struct Case {
    int32_t position;
    bool at_row_end;
    int32_t row;
  };
  for (const Case& c : {Case{0, false, 0},
                        Case{5, false, 0},
                        Case{6, false, 1},
                        Case{6, true, 0},
                        Case{11, false, 1},
                        Case{11, true, 1},  // a hard row's end is its own
                        Case{12, false, 2},
                        Case{15, false, 2},
                        Case{0, true, 0}}) {
    SCOPED_TRACE(testing::Message() << c.position << (c.at_row_end ? " at end" : ""));
    EXPECT_EQ(layout::row_of(rows, c.position, c.at_row_end), c.row);
  }
}

TEST(EditLayout, NearestPositionOnARow) {
  const std::u16string text = u"hello world\U0001F600";
  const auto rows = layout::layout(text, tens(text), 60);  // [0,6) soft, [6,13)
  struct Case {
    int32_t row, x, position;
    bool past_end;
  };
  for (const Case& c : {Case{0, -20, 0, false},
                        Case{0, 14, 1, false},
                        Case{0, 16, 2, false},
                        Case{0, 58, 6, true},
                        Case{0, 500, 6, true},
                        Case{1, 0, 6, false},
                        Case{1, 49, 11, false},
                        Case{1, 500, 13, false}}) {  // not inside the pair
    SCOPED_TRACE(testing::Message() << "row " << c.row << " x " << c.x);
    bool past_end = !c.past_end;
    EXPECT_EQ(layout::nearest(rows[c.row], tens(text), c.x, past_end), c.position);
    EXPECT_EQ(past_end, c.past_end);
  }
}

}  // namespace
