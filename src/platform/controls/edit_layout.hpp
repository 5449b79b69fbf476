// The rows a text field shows: its text cut at line breaks and, in a word-wrapping field, at
// word boundaries so that each row fits the field's width.
//
// Positions count UTF-16 units, as the edit messages do. A line break is "\r\n", or a lone
// '\n' or '\r' (text set by a program may use any of them; it is shown, not rewritten). The
// caret never stops inside a character: between the '\r' and '\n' of a break or between the
// halves of a surrogate pair (`snap`).
//
// A row is a run [start, end) of the text. A hard row ends at a line break (not part of the
// row) or at the end of the text;
// a soft row ends where wrapping cut the line and the next row starts at its end. Wrapping
// cuts after the last blank that lets the row fit; the blanks at the cut stay at the end of
// the row, where they may hang past the width (as in every word processor). A word longer than
// the width is broken at the last character that fits (at least one character per row, and
// never between the two halves of a surrogate pair).
//
// The one position that ends a soft row also starts the next row; it belongs to the next row
// unless the caret was put at the row's end on purpose (End, or a click past the row's text).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/text/font.hpp"

namespace platform::edit_layout {

struct Row {
  int32_t start = 0;
  int32_t end = 0;    // one past the last position of the row (blanks of a cut included)
  bool soft = false;  // the row was cut by wrapping: the next row starts at `end`
  int32_t width = 0;  // pixels of the row's text
};

// Advance in pixels of the unit at a position (0 for the second half of a surrogate pair).
using Advance = std::function<int32_t(int32_t position)>;

// The number of units of the line break that starts at a position (2 for "\r\n", 1 for a lone
// '\n' or '\r'), 0 when none starts there.
int32_t break_at(std::u16string_view text, int32_t position);

// A position (0..text size) moved out of the character it splits ("\r\n" or a surrogate
// pair): past it when `forward`, else before it. Other positions are returned as they are.
int32_t snap(std::u16string_view text, int32_t position, bool forward);

// The advances of `text` drawn in `font` (which both must outlive the function): a surrogate
// pair counts as its character at the first half, and a line break (met only on a one-line
// field's row) as one blank at its first unit.
Advance font_advance(const Font& font, std::u16string_view text);

// The units [from, to) of `text` as a row draws them, each line break as one blank; the
// counterpart of font_advance.
std::u16string drawn(std::u16string_view text, int32_t from, int32_t to);

// The rows of `text`; wrap_width > 0 wraps words at that many pixels, 0 cuts only at line
// breaks. With `lines` false the whole text is one row, breaks and all (a one-line field).
// Always at least one row (the empty text is one empty row).
std::vector<Row> layout(std::u16string_view text,
                        const Advance& advance,
                        int32_t wrap_width,
                        bool lines = true);

// The row holding a position (0..text size); `at_row_end` picks the soft row a position ends
// rather than the row it starts.
int32_t row_of(const std::vector<Row>& rows, int32_t position, bool at_row_end = false);

// Pixel offsets of the positions start..end of a row from the row's left edge.
std::vector<int32_t> offsets(const Row& row, const Advance& advance);

// The position of a row nearest to pixel x (from the row's left edge). `past_end` tells
// whether it is the end of a soft row (which the next row starts too).
int32_t nearest(const Row& row, const Advance& advance, int32_t x, bool& past_end);

}  // namespace platform::edit_layout
