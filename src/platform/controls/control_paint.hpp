// Drawing helpers of the built-in controls: the classic bevels, faces and captions.
#pragma once

#include <memory>
#include <string>

#include "platform/gfx/page.hpp"
#include "platform/text/font.hpp"
#include "platform/text/text_layout.hpp"
#include "platform/window_system.hpp"

namespace platform::control_paint {

// Classic colours as page pixels.
inline constexpr Pixel kFace = 0xC0C0C0;
inline constexpr Pixel kHighlight = 0xFFFFFF;
inline constexpr Pixel kLight = 0xDFDFDF;
inline constexpr Pixel kShadow = 0x808080;
inline constexpr Pixel kDarkShadow = 0x000000;
inline constexpr Pixel kText = 0x000000;
inline constexpr Pixel kGreyText = 0x808080;
inline constexpr Pixel kTrack = 0xE0E0E0;

// Fills r (clipped to clip and the page) with p.
void fill(Page& page, const Rect& r, Pixel p, const Rect& clip);
// A one-pixel frame inside r: top and left in `top_left`, bottom and right in `bottom_right`.
void frame(Page& page, const Rect& r, Pixel top_left, Pixel bottom_right, const Rect& clip);
// The raised bevel of a button (pressed: sunken) with its face filled.
void raised_box(Page& page, const Rect& r, bool pressed, const Rect& clip);
// A dotted focus rectangle inside r.
void focus_rect(Page& page, const Rect& r, const Rect& clip);
// What text is drawn on: transparent, or opaque with each line's box filled with `colour`.
struct TextBackground {
  Pixel colour = 0;
  bool opaque = false;
};
TextColours text_on(Pixel ink, const TextBackground& background);

// Caption text (UTF-8) in the font, inside r; horizontal 0 left, 1 centre, 2 right, vertically
// centred. Disabled text is drawn etched (white, then grey one pixel up-left); the background
// applies to the first text drawn.
void caption(Page& page,
             const Font& font,
             const std::string& text,
             const Rect& r,
             int horizontal,
             bool enabled,
             const Rect& clip,
             const TextBackground& background = {});

// The sunken frame of text fields and lists, two pixels wide, drawn inside r; the area
// within it filled white (disabled: face).
void sunken_field(Page& page, const Rect& r, bool enabled, const Rect& clip);
inline constexpr int32_t kSunkenWidth = 2;
// The area within a window's sunken frame, in its client coordinates (the frame is drawn on
// the whole window, outside any border the system leaves around the client area).
Rect within_sunken_field(WindowSystem& system, Hwnd window);
// Where a window's client area starts on the page it is painted on (`bounds`: the window).
Point client_on_page(WindowSystem& system, Hwnd window, const Rect& bounds);

// Size of UTF-8 text in the font.
TextExtent text_extent(const Font& font, const std::string& text);

// The font of a control: the one set with kMsgSetFont, else the default GUI font.
std::shared_ptr<const Font> font_or_default(const std::shared_ptr<const Font>& font);

}  // namespace platform::control_paint
