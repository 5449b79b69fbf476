// Blocks of text: measuring and drawing several lines with one font on a page.
//
// A block is split into lines at CR, LF or CR LF; lines are never wrapped and every character,
// '&' included, is drawn as itself. Each line is one line height of the font high (cell plus
// external leading); a block of n line breaks has n + 1 lines, so the empty text is one line
// high and 0 wide. A line is as wide as the sum of its glyph advances.
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

TextExtent measure_text(const Font& font, std::u16string_view text);

// Draws the block with its top-left corner at (x, y). Glyph edges are blended with what lies
// beneath them (the background box when opaque). Nothing outside `clip` or the page changes.
void draw_text(Page& page,
               const Font& font,
               int x,
               int y,
               std::u16string_view text,
               const TextColours& colours,
               const Rect& clip);

}  // namespace platform
