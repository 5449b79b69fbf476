// Drawing state of a window: colours, pens, fills, write mode, viewport, position and refresh.
//
// Every drawing call draws on the active page of the current window with the state kept here
// in the window's record (gk_record.hpp). Each of the four pages has a device context whose
// text colour is the drawing colour, whose background colour is the background colour, and
// into which the current pen and brush are selected; the setters change all four under the
// DC lock, so switching the active page keeps the state.
//
// Coordinates are logical: relative to the viewport's top-left corner, which is the origin of
// every page's device context. Colours are colour values red + 256 green + 65536 blue.
//
// Refresh rule: a drawing call repaints its area at once only when the refresh flag is on and
// the active page is the visual page; otherwise nothing reaches the screen until `refreshall`,
// `refreshrect`, `setvisualpage` or `swapbuffers`.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/gfx/brush.hpp"
#include "platform/gfx/device_context.hpp"
#include "toolkit/gk_record.hpp"

namespace gk {

// Records filled and read through pointers, as the toolkit's callers lay them out.
struct linesettingstype {
  int32_t linestyle;
  uint32_t upattern;  // 16-bit pattern in a 32-bit slot
  int32_t thickness;
  int32_t transparency;  // filled by getlinesettings only
};
struct fillsettingstype {
  int32_t pattern;
  int32_t color;
  int32_t transparency;  // filled by getfillsettings only
};
struct viewporttype {
  int32_t left, top, right, bottom, clip;
};
struct arccoordstype {
  int32_t x, y, xstart, ystart, xend, yend;
};

inline constexpr int32_t kInvalidFillStyle = -11;  // graphics result of a bad fill pattern

// Colours.
int32_t creatergb(int32_t red, int32_t green, int32_t blue);
int32_t getredvalue(int32_t c);
int32_t getgreenvalue(int32_t c);
int32_t getbluevalue(int32_t c);
int32_t systemcolor(int32_t index);
void setcolor(int32_t c);
int32_t getcolor();
void setbkcolor(int32_t c);
int32_t getbkcolor();
int32_t getmaxcolor();
int32_t getdisplaycolor(int32_t c);
// Colour of a pixel of the active page; 0xFFFFFFFF (as -1) outside the page or clip region.
int32_t getpixel(int32_t x, int32_t y);

// Lines: style 0 solid, 1 dotted, 2 centre line, 3 dashed, 4 user pattern.
void setlinestyle(int32_t style, uint32_t pattern, int32_t thickness);
void setlinesettings(const linesettingstype* settings);
void getlinesettings(linesettingstype* settings);
void setlinetransparency(int32_t flag);
// Dash array of a 16-bit user pattern: runs of set bits become dashes that, with the pen's
// square caps, cover exactly those bits; see drawing_state.cpp.
std::vector<int> CreateUserStyle(uint16_t pattern);
// Dash array of a line style (unknown styles draw solid).
std::vector<int> line_style_dashes(int32_t style, uint16_t pattern);

// Fills: patterns 0..11 (see drawing_state.cpp), 12 the user pattern.
void setfillstyle(int32_t pattern, int32_t color);
void setfillsettings(const fillsettingstype* settings);
void getfillsettings(fillsettingstype* settings);
void setfillpattern(const uint8_t* pattern, int32_t color);
void getfillpattern(uint8_t* buffer);
void setfilltransparency(int32_t flag);

// 0 copy, 1 exclusive or, on the active page only; other values change nothing.
void setwritemode(int32_t mode);

// Viewport.
void setviewport(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t clip);
void resetviewport();
void clearviewport();
void getviewsettings(viewporttype* settings);

// Position and size.
void moveto(int32_t x, int32_t y);
void moverel(int32_t dx, int32_t dy);
int32_t getx();
int32_t gety();
int32_t getmaxx();
int32_t getmaxy();
int32_t getwindowwidth();
int32_t getwindowheight();
int32_t getmaxwidth();
int32_t getmaxheight();
void getarccoords(arccoordstype* record);

// Refresh.
void refreshall();
void refreshrect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// rect null: the whole window.
void RefreshWindow(const platform::Rect* rect);
void RefreshWindowFast(Hwnd window, const platform::DeviceContext& dc, const platform::Rect* rect);
void setrefreshing(int32_t flag);
int32_t getrefreshingbgi();

// The refresh rule for an area drawn on the active page: the logical rectangle is converted to
// device coordinates and invalidated when the refresh flag is on and the active page is the
// visual page. A null area stands for the whole window. Call under the DC lock.
void refresh_drawn(WindowData& rec, const platform::Rect* logical_area);

// DC access: holds the window's DC lock and gives the active page's device context until it
// is released or destroyed. Bound to the record it was taken from, so releasing it can never
// leave another window's lock, whichever window is current by then.
class DcLease {
 public:
  DcLease() = default;
  explicit DcLease(WindowRef record);
  DcLease(DcLease&&) = default;
  DcLease& operator=(DcLease&&) = default;

  explicit operator bool() const { return record_ != nullptr; }
  platform::DeviceContext& dc() const;  // the active page's
  WindowData& record() const { return *record_; }
  void release();

 private:
  WindowRef record_;
  std::unique_lock<platform::CriticalSection> lock_;
};

// handle 0: the current window. An empty lease for a closed window.
DcLease GK__GetCompatDC(Hwnd handle);
void GK__ReleaseCompatDC(DcLease& lease);
DcLease GK__GetFoundDC(const WindowRef& record);
void GK__ReleaseFoundDC(DcLease& lease);

// A coordinate sum saturated to 32 bits: a point far beyond the page stays far beyond it
// instead of overflowing (which is undefined) and wrapping round to the other side.
inline int32_t saturate32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The box (x - rx, y - ry, x + rx, y + ry).
platform::Rect CenterToBox(int32_t x, int32_t y, int32_t rx, int32_t ry);

// Page device contexts of a window, through the window module's page hooks: made over the
// pages with the window's state when the window starts, brought back to the defaults by
// graphdefaults (white stock pen and brush, white text, the record's background colour and
// viewport) and released at teardown. Each runs under the DC lock.
void create_page_dcs(WindowData& rec);
void reset_page_dcs(WindowData& rec);
void release_page_dcs(WindowData& rec);
// Plugs the three into the window hooks; the program's start-up calls it before the first
// window is made.
void install_drawing();

}  // namespace gk
