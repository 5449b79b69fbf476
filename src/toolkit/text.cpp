#include "toolkit/text.hpp"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "platform/gfx/device_context.hpp"
#include "platform/text/text_layout.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/fonts.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/text_conversion.hpp"

namespace gk {
namespace {

using FontRef = std::shared_ptr<const platform::Font>;
using Lock = std::lock_guard<platform::CriticalSection>;

int32_t saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The font text is measured and drawn with: the current font; after graphdefaults has
// forgotten it, the font still selected in the page; the default GUI font for a page that
// never had one.
FontRef font_of(WindowData& rec, const platform::DeviceContext& dc) {
  Lock f(rec.font_lock);
  if (rec.current_font) return rec.current_font;
  return dc.font() ? dc.font() : platform::Font::default_gui();
}

int32_t measure(const char* text, bool width) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease || !text) return -1;
  const platform::TextExtent e =
      platform::measure_text(*font_of(lease.record(), lease.dc()), to_wide(text));
  return width ? e.width : e.height;
}

// Step 5 of outtext: the block is drawn unrotated into a bitmap of w x h and each bitmap
// pixel (i, j) goes to page pixel (left + j, top + w - i), a quarter turn counter-clockwise.
// Only the part of the bitmap that lands inside the clip region is made, so a huge text
// costs no more memory than the page.
void draw_vertical(platform::DeviceContext& dc,
                   const platform::Font& font,
                   platform::Point device_corner,
                   const std::u16string& text,
                   const platform::TextColours& colours) {
  const platform::TextExtent e = platform::measure_text(font, text);
  const platform::Rect clip = dc.drawable();
  const int64_t left = device_corner.x, top = device_corner.y, w = e.width;
  // Bitmap columns i0..i1-1 land on rows top + w - i inside the clip, rows j0..j1-1 on
  // columns left + j inside it (64 bits: the corner may lie far outside the page).
  const int64_t i0 = std::max<int64_t>(0, top + w - clip.bottom + 1);
  const int64_t i1 = std::min<int64_t>(w, top + w - clip.top + 1);
  const int64_t j0 = std::max<int64_t>(0, clip.left - left);
  const int64_t j1 = std::min<int64_t>(e.height, clip.right - left);
  if (i0 >= i1 || j0 >= j1) return;
  platform::Page& page = dc.page();
  platform::Page part(static_cast<int>(i1 - i0), static_cast<int>(j1 - j0));
  auto target = [&](int i, int j) {  // page pixel of part pixel (i, j)
    return platform::Point{static_cast<int>(left + j0 + j), static_cast<int>(top + w - i0 - i)};
  };
  part.fill(colours.background);
  if (!colours.opaque) {
    for (int j = 0; j < part.height(); ++j) {
      for (int i = 0; i < part.width(); ++i) {
        const platform::Point p = target(i, j);
        part.at(i, j) = page.at(p.x, p.y);
      }
    }
  }
  platform::draw_text(part,
                      font,
                      static_cast<int>(-i0),
                      static_cast<int>(-j0),
                      text,
                      {colours.text, colours.background, false},
                      {0, 0, part.width(), part.height()});
  for (int j = 0; j < part.height(); ++j) {
    for (int i = 0; i < part.width(); ++i) {
      const platform::Point p = target(i, j);
      page.at(p.x, p.y) = part.at(i, j);
    }
  }
}

}  // namespace

std::shared_ptr<const platform::Font> create_font_object(WindowData& record) {
  if (record.text.font == kThemeFont) {
    record.text.font = kGuiFont;
    record.text.char_size = platform::kDefaultGuiFontHeight;
    return platform::Font::default_gui();
  }
  return create_font_object(record.text.font, record.text.char_size);
}

void set_font(WindowData& record) {
  Lock f(record.font_lock);
  FontRef font = create_font_object(record);
  if (!font) return;  // no face at all: keep the font the pages have
  for (auto& dc : record.page_dcs) {
    if (dc) dc->select_font(font);
  }
  // The previous font is released with its last user; controls keep theirs alive.
  record.current_font = std::move(font);
}

void clear_fonts(WindowData& record) {
  Lock f(record.font_lock);
  record.controls_fonts.clear();
  record.current_font = nullptr;
}

void register_controls_font(WindowData& record, std::shared_ptr<const platform::Font> font) {
  Lock f(record.font_lock);
  auto& list = record.controls_fonts;
  // A font that only the list still holds has lost its controls (removed since): it goes, or
  // a window whose controls come and go (a Cancel button per fit) would keep every font.
  std::erase_if(list, [](const auto& held) { return held.use_count() == 1; });
  if (std::find(list.begin(), list.end(), font) == list.end()) list.push_back(std::move(font));
}

int32_t is_controls_font(WindowData& record, const std::shared_ptr<const platform::Font>& font) {
  Lock f(record.font_lock);
  const auto& list = record.controls_fonts;
  return std::find(list.begin(), list.end(), font) != list.end() ? 1 : 0;
}

void install_text() {
  hooks.create_font = set_font;
  hooks.release_fonts = clear_fonts;
}

void settextstyle(int32_t font, int32_t direction, int32_t charsize) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  Lock dc(rec->dc_lock);
  rec->text.font = font;
  if (direction != kKeepDirection) rec->text.direction = direction;
  rec->text.char_size = charsize;
  set_font(*rec);
}

void setmatchthemetextstyle() { settextstyle(kThemeFont, kKeepDirection, kThemeFont); }

void setusercharsize(int32_t multx, int32_t divx, int32_t multy, int32_t divy) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  Lock dc(rec->dc_lock);
  rec->user_char_size = {multx, divx, multy, divy};
  set_font(*rec);
}

void settextjustify(int32_t horizontal, int32_t vertical) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  Lock dc(rec->dc_lock);
  rec->text.horiz = horizontal;
  rec->text.vert = vertical;
}

void settexttransparency(int32_t flag) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec || (flag != 0 && flag != 1)) return;
  Lock dc(rec->dc_lock);
  rec->text.transparency = flag;
}

void settextxy(int32_t x, int32_t y) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  Lock dc(rec->dc_lock);
  rec->text_position = {x, y};
}

void gettextsettings(textsettingstype* settings) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec || !settings) return;
  Lock dc(rec->dc_lock);
  const WindowData::TextSettings& t = rec->text;
  *settings = {t.font, t.direction, t.char_size, t.horiz, t.vert, t.transparency};
}

void settextsettings(const textsettingstype& s) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  Lock dc(rec->dc_lock);
  rec->text = {s.font, s.direction, s.charsize, s.horiz, s.vert, s.transparency};
}

void settextsettings_from_pointer(const textsettingstype* settings) {
  if (settings) settextsettings(*settings);
}

int32_t textwidth(const char* text) { return measure(text, true); }
int32_t textheight(const char* text) { return measure(text, false); }

void outtext(const char* text) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  WindowData& r = lease.record();
  platform::DeviceContext& dc = lease.dc();
  if (text) {
    const FontRef font = font_of(r, dc);
    const std::u16string wide = to_wide(text);
    const platform::TextExtent e = platform::measure_text(*font, wide);
    const bool vertical = r.text.direction != 0;
    // Steps 1-2: the rectangle from the text position to the client's bottom-right corner,
    // its top-left corner moved by the justification (extents as they lie on the page).
    const int across = vertical ? e.height : e.width;
    const int up = vertical ? e.width : e.height;
    // In 64 bits, saturated to the 32-bit range: the text position may be any value.
    int64_t x = r.text_position.x, y = r.text_position.y;
    if (r.text.horiz == 1) x -= across / 2;
    if (r.text.horiz == 2) x -= across;
    if (r.text.vert == 1) y -= up / 2;
    if (r.text.vert == 0) y -= up;
    const platform::Point corner{saturate(x), saturate(y)};
    // Step 3.
    const platform::TextColours colours{platform::to_pixel(r.drawing_color),
                                        platform::to_pixel(r.background_color),
                                        r.text.transparency != 1};
    const platform::Point device = dc.to_device(corner);
    if (vertical) {
      draw_vertical(dc, *font, device, wide, colours);            // step 5
      r.text_position.x = saturate(int64_t{corner.x} + e.width);  // step 6
    } else {
      // Step 4: clipped to the rectangle, which ends at the client's corner, and the page's
      // clip region.
      const platform::Rect box =
          platform::intersect({device.x, device.y, r.width, r.height}, dc.drawable());
      platform::draw_text(dc.page(), *font, device.x, device.y, wide, colours, box);
      r.text_position.y = saturate(int64_t{corner.y} + e.height);  // step 6
    }
  }
  refresh_drawn(r, nullptr);  // step 7
}

void outtextxy(int32_t x, int32_t y, const char* text) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  Lock dc(rec->dc_lock);  // recursive: outtext takes it again
  rec->text_position = {x, y};
  outtext(text);
}

}  // namespace gk
