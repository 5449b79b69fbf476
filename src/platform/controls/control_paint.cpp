#include "platform/controls/control_paint.hpp"

#include "platform/text/text_convert.hpp"
#include "platform/text/text_layout.hpp"

namespace platform::control_paint {

void fill(Page& page, const Rect& r, Pixel p, const Rect& clip) {
  const Rect a = intersect(intersect(r, clip), Rect{0, 0, page.width(), page.height()});
  if (a.empty()) return;  // disjoint rectangles intersect with left > right
  for (int y = a.top; y < a.bottom; ++y) std::fill(page.row(y) + a.left, page.row(y) + a.right, p);
}

void frame(Page& page, const Rect& r, Pixel top_left, Pixel bottom_right, const Rect& clip) {
  if (r.empty()) return;
  fill(page, Rect{r.left, r.top, r.right, r.top + 1}, top_left, clip);
  fill(page, Rect{r.left, r.top, r.left + 1, r.bottom}, top_left, clip);
  fill(page, Rect{r.left, r.bottom - 1, r.right, r.bottom}, bottom_right, clip);
  fill(page, Rect{r.right - 1, r.top, r.right, r.bottom}, bottom_right, clip);
}

void raised_box(Page& page, const Rect& r, bool pressed, const Rect& clip) {
  fill(page, r, kFace, clip);
  if (pressed) {
    frame(page, r, kDarkShadow, kDarkShadow, clip);
    frame(page, Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, kShadow, kShadow, clip);
    return;
  }
  frame(page, r, kHighlight, kDarkShadow, clip);
  frame(page, Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, kLight, kShadow, clip);
}

void focus_rect(Page& page, const Rect& r, const Rect& clip) {
  if (r.empty()) return;
  const Rect a = intersect(clip, Rect{0, 0, page.width(), page.height()});
  auto dot = [&](int x, int y) {
    if (a.contains(x, y) && ((x + y) & 1) == 0) page.at(x, y) = kText;
  };
  for (int x = r.left; x < r.right; ++x) {
    dot(x, r.top);
    dot(x, r.bottom - 1);
  }
  for (int y = r.top; y < r.bottom; ++y) {
    dot(r.left, y);
    dot(r.right - 1, y);
  }
}

TextColours text_on(Pixel ink, const TextBackground& background) {
  return TextColours{ink, background.colour, background.opaque};
}

void caption(Page& page,
             const Font& font,
             const std::string& text,
             const Rect& r,
             int horizontal,
             bool enabled,
             const Rect& clip,
             const TextBackground& background) {
  const std::u16string wide = utf8_to_utf16(text);
  const TextExtent e = measure_text(font, wide);
  int x = r.left;
  if (horizontal == 1) x = r.left + (r.width() - e.width) / 2;
  if (horizontal == 2) x = r.right - e.width;
  const int y = r.top + (r.height() - e.height) / 2;
  const Rect box = intersect(r, clip);
  if (enabled) {
    draw_text(page, font, x, y, wide, text_on(kText, background), box);
    return;
  }
  draw_text(page, font, x + 1, y + 1, wide, text_on(kHighlight, background), box);
  draw_text(page, font, x, y, wide, TextColours{kGreyText, 0, false}, box);
}

void sunken_field(Page& page, const Rect& r, bool enabled, const Rect& clip) {
  frame(page, r, kShadow, kHighlight, clip);
  const Rect in{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  frame(page, in, kDarkShadow, kLight, clip);
  fill(page,
       Rect{in.left + 1, in.top + 1, in.right - 1, in.bottom - 1},
       enabled ? kHighlight : kFace,
       clip);
}

namespace {

// The border the system leaves around a window's client area.
Point client_offset(WindowSystem& system, Hwnd window) {
  const Rect f = system.frame_rect(window), c = system.client_rect(window);
  return {(f.width() - c.width()) / 2, (f.height() - c.height()) / 2};
}

}  // namespace

Rect within_sunken_field(WindowSystem& system, Hwnd window) {
  const Rect c = system.client_rect(window);
  const Point b = client_offset(system, window);
  return Rect{c.left + kSunkenWidth - b.x,
              c.top + kSunkenWidth - b.y,
              c.right - kSunkenWidth + b.x,
              c.bottom - kSunkenWidth + b.y};
}

Point client_on_page(WindowSystem& system, Hwnd window, const Rect& bounds) {
  const Point b = client_offset(system, window);
  return {bounds.left + b.x, bounds.top + b.y};
}

TextExtent text_extent(const Font& font, const std::string& text) {
  return measure_text(font, utf8_to_utf16(text));
}

std::shared_ptr<const Font> font_or_default(const std::shared_ptr<const Font>& font) {
  return font ? font : Font::default_gui();
}

}  // namespace platform::control_paint
