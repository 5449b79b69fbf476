// Blocks of text: measuring and drawing several lines with one font on a page.
//
// A block is split into lines at CR, LF or CR LF; lines are never wrapped and every character,
// '&' included, is drawn as itself, except that with tab stops a TAB moves the pen to the next
// stop. Each line is one line height of the font high (cell plus external leading); a block of
// n line breaks has n + 1 lines, so the empty text is one line high and 0 wide. A line is as
// wide as the sum of its glyph advances (and tab gaps). Widths are summed in 64 bits; an extent
// beyond the int range is given as the largest int.
#pragma once

#include <string_view>

#include "platform/gfx/geometry.hpp"
#include "platform/gfx/page.hpp"
#include "platform/text/font.hpp"

namespace platform {

struct TextExtent {
  int width = 0;
  int height = 0;
};

struct TextColours {
  Pixel text = 0xFFFFFF;
  Pixel background = 0;
  bool opaque = false;  // fill each line's box with the background first
};

// The classic average character width of a font: the mean advance of the 52 Latin letters,
// rounded. Dialog units and tab stops are measured by it.
int average_char_width(const Font& font);

// The classic distance between tab stops: 8 average characters.
int tab_stop_width(const Font& font);

// `tab_stop`: pixels between tab stops, counted from the left edge of each line; a TAB moves
// the pen to the next stop (at least one pixel on). 0: a TAB is a character like any other,
// drawn as the font's glyph for it (the missing-glyph box).
TextExtent measure_text(const Font& font, std::u16string_view text, int tab_stop = 0);

// Draws the block with its top-left corner at (x, y). Glyph edges are blended with what lies
// beneath them (the background box when opaque). Nothing outside `clip` or the page changes.
void draw_text(Page& page,
               const Font& font,
               int x,
               int y,
               std::u16string_view text,
               const TextColours& colours,
               const Rect& clip,
               int tab_stop = 0);

}  // namespace platform
