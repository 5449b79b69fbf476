// Text of a toolkit window: the text settings, the current font, text output and measuring.
//
// Text settings live in the window's record: font index, direction (0 horizontal, nonzero
// vertical reading upward), character size, horizontal justification (0 left, 1 centre,
// 2 right), vertical justification (0 bottom, 1 centre, 2 top), text transparency (1 = the
// background shows through) and the text position in viewport coordinates. The current font
// is selected into all four pages; it is rebuilt whenever the style changes.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/text/font.hpp"
#include "toolkit/gk_record.hpp"

namespace gk {

// The six fields gettextsettings and settextsettings copy.
struct textsettingstype {
  int32_t font;
  int32_t direction;
  int32_t charsize;
  int32_t horiz;
  int32_t vert;
  int32_t transparency;
};

inline constexpr int32_t kKeepDirection = -999;

void settextstyle(int32_t font, int32_t direction, int32_t charsize);
void setmatchthemetextstyle();
void setusercharsize(int32_t multx, int32_t divx, int32_t multy, int32_t divy);
void settextjustify(int32_t horizontal, int32_t vertical);
void settexttransparency(int32_t flag);  // only 0 and 1 are taken
void settextxy(int32_t x, int32_t y);
void gettextsettings(textsettingstype* settings);
void settextsettings(const textsettingstype& settings);
void settextsettings_from_pointer(const textsettingstype* settings);

// The font of the record's settings; font -999 (the default GUI font) is stored as font 7 with
// the default GUI font's height as character size.
std::shared_ptr<const platform::Font> create_font_object(WindowData& record);
// Rebuilds the current font and selects it into the four pages (under the font lock).
void set_font(WindowData& record);
// Drops the record's fonts at teardown (under the font lock).
void clear_fonts(WindowData& record);
void register_controls_font(WindowData& record, std::shared_ptr<const platform::Font> font);
int32_t is_controls_font(WindowData& record, const std::shared_ptr<const platform::Font>& font);

// Plugs set_font and clear_fonts into the window hooks (the first font of a window, its
// fonts at teardown); the program's start-up calls it before the first window is made.
void install_text();

// Size in pixels of the text block drawn with the current font; -1 for a null text.
int32_t textwidth(const char* text);
int32_t textheight(const char* text);
void outtext(const char* text);
void outtextxy(int32_t x, int32_t y, const char* text);

}  // namespace gk
