#include "platform/text/text_layout.hpp"

#include <algorithm>

#include "platform/text/text_convert.hpp"

namespace platform {
namespace {

// Calls `visit(line)` for each line of the block.
template <typename Visit>
void for_each_line(std::u16string_view text, Visit visit) {
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size()) {
      visit(text.substr(start));
    } else if (text[i] == u'\r' || text[i] == u'\n') {
      visit(text.substr(start, i - start));
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      start = i + 1;
    }
  }
}

int line_width(const Font& font, std::u16string_view line) {
  int width = 0;
  size_t pos = 0;
  while (pos < line.size()) width += font.glyph(next_code_point(line, pos)).advance;
  return width;
}

uint32_t blend_channel(uint32_t under, uint32_t over, uint32_t alpha) {
  return (under * (255 - alpha) + over * alpha + 127) / 255;
}

Pixel blend(Pixel under, Pixel over, uint32_t alpha) {
  if (alpha == 255) return over;
  const uint32_t r = blend_channel((under >> 16) & 0xFF, (over >> 16) & 0xFF, alpha);
  const uint32_t g = blend_channel((under >> 8) & 0xFF, (over >> 8) & 0xFF, alpha);
  const uint32_t b = blend_channel(under & 0xFF, over & 0xFF, alpha);
  return (r << 16) | (g << 8) | b;
}

void fill_box(Page& page, const Rect& c, int x0, int y0, int x1, int y1, Pixel p) {
  for (int y = std::max(y0, c.top); y < std::min(y1, c.bottom); ++y) {
    for (int x = std::max(x0, c.left); x < std::min(x1, c.right); ++x) page.at(x, y) = p;
  }
}

void draw_glyph(Page& page, const Rect& c, const Glyph& g, int pen_x, int baseline, Pixel p) {
  const int x0 = pen_x + g.left;
  const int y0 = baseline - g.top;
  for (int j = std::max(0, c.top - y0); j < g.rows && y0 + j < c.bottom; ++j) {
    const uint8_t* cov = g.coverage.data() + static_cast<size_t>(j) * g.width;
    for (int i = std::max(0, c.left - x0); i < g.width && x0 + i < c.right; ++i) {
      if (cov[i] != 0) page.at(x0 + i, y0 + j) = blend(page.at(x0 + i, y0 + j), p, cov[i]);
    }
  }
}

}  // namespace

TextExtent measure_text(const Font& font, std::u16string_view text) {
  TextExtent extent;
  for_each_line(text, [&](std::u16string_view line) {
    extent.width = std::max(extent.width, line_width(font, line));
    extent.height += font.line_height();
  });
  return extent;
}

void draw_text(Page& page,
               const Font& font,
               int x,
               int y,
               std::u16string_view text,
               const TextColours& colours,
               const Rect& clip) {
  const Rect c = intersect(clip, {0, 0, page.width(), page.height()});
  if (c.left >= c.right || c.top >= c.bottom) return;
  int top = y;
  for_each_line(text, [&](std::u16string_view line) {
    if (colours.opaque) {
      const int width = line_width(font, line);
      fill_box(page, c, x, top, x + width, top + font.line_height(), colours.background);
    }
    const int baseline = top + font.ascent();
    int pen = x;
    size_t pos = 0;
    while (pos < line.size()) {
      const Glyph& g = font.glyph(next_code_point(line, pos));
      draw_glyph(page, c, g, pen, baseline, colours.text);
      pen += g.advance;
    }
    top += font.line_height();
  });
}

}  // namespace platform
