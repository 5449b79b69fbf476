#include "platform/text/text_layout.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

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

// The pen after a TAB at `pen` pixels from the line's left edge.
int64_t next_tab_stop(int64_t pen, int tab_stop) { return (pen / tab_stop + 1) * tab_stop; }

bool is_tab(char32_t c, int tab_stop) { return c == U'\t' && tab_stop > 0; }

// In 64 bits: a line of a few million wide glyphs is wider than the int range.
int64_t line_width(const Font& font, std::u16string_view line, int tab_stop) {
  int64_t width = 0;
  size_t pos = 0;
  while (pos < line.size()) {
    const char32_t c = next_code_point(line, pos);
    width = is_tab(c, tab_stop) ? next_tab_stop(width, tab_stop) : width + font.advance(c);
  }
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

// Positions are 64-bit: a block may start anywhere in the 32-bit range and run past it.
void fill_box(Page& page, const Rect& c, int64_t x0, int64_t y0, int64_t x1, int64_t y1, Pixel p) {
  for (int64_t y = std::max<int64_t>(y0, c.top); y < std::min<int64_t>(y1, c.bottom); ++y) {
    for (int64_t x = std::max<int64_t>(x0, c.left); x < std::min<int64_t>(x1, c.right); ++x) {
      page.at(static_cast<int>(x), static_cast<int>(y)) = p;
    }
  }
}

void draw_glyph(
    Page& page, const Rect& c, const Glyph& g, int64_t pen_x, int64_t baseline, Pixel p) {
  const int64_t x0 = pen_x + g.left;
  const int64_t y0 = baseline - g.top;
  for (int64_t j = std::max<int64_t>(0, c.top - y0); j < g.rows && y0 + j < c.bottom; ++j) {
    const uint8_t* cov = g.coverage.data() + static_cast<size_t>(j) * g.width;
    for (int64_t i = std::max<int64_t>(0, c.left - x0); i < g.width && x0 + i < c.right; ++i) {
      if (cov[i] == 0) continue;
      Pixel& under = page.at(static_cast<int>(x0 + i), static_cast<int>(y0 + j));
      under = blend(under, p, cov[i]);
    }
  }
}

}  // namespace

int average_char_width(const Font& font) {
  const TextExtent e = measure_text(font, u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return (e.width / 26 + 1) / 2;
}

int tab_stop_width(const Font& font) { return 8 * average_char_width(font); }

TextExtent measure_text(const Font& font, std::u16string_view text, int tab_stop) {
  int64_t width = 0, height = 0;
  for_each_line(text, [&](std::u16string_view line) {
    width = std::max(width, line_width(font, line, tab_stop));
    height += font.line_height();
  });
  constexpr int64_t kMax = std::numeric_limits<int>::max();
  return TextExtent{static_cast<int>(std::min(width, kMax)), static_cast<int>(std::min(height, kMax))};
}

void draw_text(Page& page,
               const Font& font,
               int x,
               int y,
               std::u16string_view text,
               const TextColours& colours,
               const Rect& clip,
               int tab_stop) {
  const Rect c = intersect(clip, {0, 0, page.width(), page.height()});
  if (c.left >= c.right || c.top >= c.bottom) return;
  int64_t top = y;
  for_each_line(text, [&](std::u16string_view line) {
    if (colours.opaque) {
      const int64_t width = line_width(font, line, tab_stop);
      fill_box(page, c, x, top, x + width, top + font.line_height(), colours.background);
    }
    const int64_t baseline = top + font.ascent();
    // Glyphs that cannot reach the clip are only measured, not rendered.
    const InkBounds& ink = font.ink_bounds();
    const bool line_seen = baseline - ink.top < c.bottom && baseline - ink.bottom > c.top;
    int64_t pen = x;
    size_t pos = 0;
    while (pos < line.size()) {
      const char32_t code = next_code_point(line, pos);
      if (is_tab(code, tab_stop)) {
        pen = x + next_tab_stop(pen - x, tab_stop);
      } else if (line_seen && pen + ink.left < c.right && pen + ink.right > c.left) {
        const Glyph& g = font.glyph(code);
        if (font.charge_drawing(g)) draw_glyph(page, c, g, pen, baseline, colours.text);
        pen += g.advance;
      } else {
        pen += font.advance(code);
      }
    }
    top += font.line_height();
  });
}

}  // namespace platform
