#include "toolkit/drawing_state.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>

#include "platform/gfx/pen.hpp"
#include "platform/metrics.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace gk {

namespace {

using platform::Brush;
using platform::BrushRef;
using platform::DeviceContext;
using platform::MonoPattern;
using platform::Rect;

// The current window's record with its DC lock held. Drawing calls read the drawing state
// under that lock, so it is written and read here under the same lock (no data race).
class LockedWindow {
 public:
  LockedWindow() : rec_(GK__GetWindowDataPtr(0)) {
    if (rec_) lock_ = std::unique_lock<platform::CriticalSection>(rec_->dc_lock);
  }
  explicit operator bool() const { return rec_ != nullptr; }
  WindowData* operator->() const { return rec_.get(); }
  WindowData& operator*() const { return *rec_; }

 private:
  WindowRef rec_;
  std::unique_lock<platform::CriticalSection> lock_;
};

// Runs f on the device context of every page under the DC lock.
template <class F>
void each_page(WindowData& rec, F f) {
  std::lock_guard<platform::CriticalSection> g(rec.dc_lock);
  for (auto& dc : rec.page_dcs)
    if (dc) f(*dc);
}

// The active page's device context; call under the DC lock. Null before the pages exist.
DeviceContext* active_dc(WindowData& rec) {
  const int32_t page = rec.active_page;
  return page >= 0 && page < kPageCount ? rec.page_dcs[page].get() : nullptr;
}

// A pen of the window's line style, thickness and drawing colour, selected into every page.
// The user pattern 0 draws nothing: its dash array 0, 16 would still ink the cap of its one
// zero-length dash, so it gets the null pen.
void new_pen(WindowData& rec) {
  const bool blank = rec.line_style == 4 && rec.user_line_pattern == 0;
  const auto pen =
      blank ? platform::stock_null_pen()
            : platform::Pen::create(rec.line_thickness,
                                    rec.drawing_color,
                                    line_style_dashes(rec.line_style, rec.user_line_pattern));
  each_page(rec, [&](DeviceContext& dc) { dc.select_pen(pen); });
}

// clang-format off
// Brushes of the fill patterns 0..11; 8 x 8 rows from the top, most significant bit leftmost.
constexpr MonoPattern kThickRising  = {0xE0, 0xC1, 0x83, 0x07, 0x0E, 0x1C, 0x38, 0x70};
constexpr MonoPattern kThickFalling = {0x07, 0x83, 0xC1, 0xE0, 0x70, 0x38, 0x1C, 0x0E};
constexpr MonoPattern kChecker      = {0xCC, 0x33, 0xCC, 0x33, 0xCC, 0x33, 0xCC, 0x33};
constexpr MonoPattern kSparseDots   = {0x80, 0x00, 0x08, 0x00, 0x80, 0x00, 0x08, 0x00};
constexpr MonoPattern kDenseDots    = {0x88, 0x00, 0x22, 0x00, 0x88, 0x00, 0x22, 0x00};
// clang-format on

BrushRef fill_brush(int32_t pattern, platform::Color color) {
  using platform::HatchStyle;
  switch (pattern) {
    case 0:
      return platform::stock_null_brush();
    case 1:
      return Brush::solid(color);
    case 2:
      return Brush::hatch(HatchStyle::Horizontal);
    case 3:
      return Brush::hatch(HatchStyle::Rising);
    case 4:
      return Brush::pattern(kThickRising);
    case 5:
      return Brush::pattern(kThickFalling);
    case 6:
      return Brush::hatch(HatchStyle::Falling);
    case 7:
      return Brush::hatch(HatchStyle::Cross);
    case 8:
      return Brush::hatch(HatchStyle::DiagonalCross);
    case 9:
      return Brush::pattern(kChecker);
    case 10:
      return Brush::pattern(kSparseDots);
    case 11:
      return Brush::pattern(kDenseDots);
    default:
      return nullptr;
  }
}

void select_brush_everywhere(WindowData& rec, const BrushRef& brush) {
  each_page(rec, [&](DeviceContext& dc) { dc.select_brush(brush); });
}

bool active_is_visual(const WindowData& rec) { return rec.active_page == rec.visual_page; }

// Logical rectangle -> device rectangle of the active page.
Rect to_device(const DeviceContext& dc, const Rect& r) {
  const platform::Point a = dc.to_device({r.left, r.top});
  const platform::Point b = dc.to_device({r.right, r.bottom});
  return Rect{a.x, a.y, b.x, b.y};
}

int32_t metric(platform::Metric m) { return window_system ? window_system->metric(m) : 0; }

}  // namespace

// ---- Colours ----

int32_t creatergb(int32_t red, int32_t green, int32_t blue) {
  return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}
int32_t getredvalue(int32_t c) { return c & 0xFF; }
int32_t getgreenvalue(int32_t c) { return (c >> 8) & 0xFF; }
int32_t getbluevalue(int32_t c) { return (c >> 16) & 0xFF; }
int32_t systemcolor(int32_t index) { return static_cast<int32_t>(platform::system_color(index)); }

void setcolor(int32_t c) {
  LockedWindow rec;
  if (!rec) return;
  rec->drawing_color = static_cast<Color>(c);
  each_page(*rec, [&](DeviceContext& dc) { dc.set_text_color(static_cast<Color>(c)); });
  new_pen(*rec);
}

int32_t getcolor() {
  LockedWindow rec;
  return rec ? static_cast<int32_t>(rec->drawing_color) : kUnknownWindow;
}

void setbkcolor(int32_t c) {
  LockedWindow rec;
  if (!rec) return;
  const Color color = static_cast<Color>(c);
  rec->background_color = color;
  rec->background_brush = Brush::solid(color);
  rec->background_brush_color = color;
  each_page(*rec, [&](DeviceContext& dc) { dc.set_bk_color(color); });
}

int32_t getbkcolor() {
  LockedWindow rec;
  return rec ? static_cast<int32_t>(rec->background_color) : kUnknownWindow;
}

int32_t getmaxcolor() { return 0; }

int32_t getdisplaycolor(int32_t c) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return kUnknownWindow;
  DeviceContext& dc = lease.dc();
  const platform::Color old = dc.get_pixel({0, 0});
  dc.set_pixel({0, 0}, static_cast<Color>(c));
  const platform::Color shown = dc.get_pixel({0, 0});
  dc.set_pixel({0, 0}, old);
  return static_cast<int32_t>(shown);
}

int32_t getpixel(int32_t x, int32_t y) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return kUnknownWindow;
  return static_cast<int32_t>(lease.dc().get_pixel({x, y}));
}

// ---- Lines ----

// Runs of set bits, read from the least significant bit after the s clear bits before the
// first set one: a run of n set bits gives a dash of n - 1 (its square caps add the missing
// pixel), a run of m clear bits between runs a gap of m + 1, and the clear bits after the last
// run, with the s skipped ones, a last gap of (16 - bits consumed) + s + 1, so the period is
// always 16 pixels (also when the last run ends at the top bit).
std::vector<int> CreateUserStyle(uint16_t pattern) {
  if (pattern == 0) return {0, 16};
  const int s = std::countr_zero(pattern);
  std::vector<int> dashes;
  int bit = s;
  for (;;) {
    int n = 0;
    while (bit < 16 && (pattern >> bit & 1)) ++n, ++bit;
    dashes.push_back(n - 1);
    if (bit >= 16 || (pattern >> bit) == 0) {
      dashes.push_back((16 - bit) + s + 1);
      return dashes;
    }
    int m = 0;
    while (!(pattern >> bit & 1)) ++m, ++bit;
    dashes.push_back(m + 1);
  }
}

std::vector<int> line_style_dashes(int32_t style, uint16_t pattern) {
  switch (style) {
    case 1:
      return {3, 4};
    case 2:
      return {3, 4, 7, 4};
    case 3:
      return {7, 4};
    case 4:
      return CreateUserStyle(pattern);
    default:
      return {16, 0};
  }
}

void setlinestyle(int32_t style, uint32_t pattern, int32_t thickness) {
  LockedWindow rec;
  if (!rec) return;
  rec->line_style = style;
  rec->user_line_pattern = static_cast<uint16_t>(pattern);
  rec->line_thickness = thickness;
  new_pen(*rec);
}

void setlinesettings(const linesettingstype* settings) {
  if (settings == nullptr) return;
  setlinestyle(settings->linestyle, settings->upattern, settings->thickness);
}

void getlinesettings(linesettingstype* settings) {
  LockedWindow rec;
  if (!rec || settings == nullptr) return;
  *settings = {
      rec->line_style, rec->user_line_pattern, rec->line_thickness, rec->line_transparency};
}

void setlinetransparency(int32_t flag) {
  LockedWindow rec;
  if (rec) rec->line_transparency = flag;
}

// ---- Fills ----

void setfillstyle(int32_t pattern, int32_t color) {
  LockedWindow rec;
  if (!rec) return;
  if (pattern == 12) return;  // the user pattern stays
  const BrushRef brush = fill_brush(pattern, static_cast<Color>(color));
  if (!brush) {
    rec->graphics_result = kInvalidFillStyle;
    return;
  }
  rec->fill_style = pattern;
  rec->fill_color = static_cast<Color>(color);
  select_brush_everywhere(*rec, brush);
}

void setfillsettings(const fillsettingstype* settings) {
  if (settings == nullptr) return;
  setfillstyle(settings->pattern, settings->color);
}

void getfillsettings(fillsettingstype* settings) {
  LockedWindow rec;
  if (!rec || settings == nullptr) return;
  *settings = {rec->fill_style, static_cast<int32_t>(rec->fill_color), rec->fill_transparency};
}

void setfillpattern(const uint8_t* pattern, int32_t color) {
  LockedWindow rec;
  if (!rec || pattern == nullptr) return;
  std::copy(pattern, pattern + 8, rec->user_fill_pattern.begin());
  rec->fill_color = static_cast<Color>(color);
  rec->fill_style = 12;
  select_brush_everywhere(*rec, Brush::pattern(rec->user_fill_pattern));
}

void getfillpattern(uint8_t* buffer) {
  LockedWindow rec;
  if (!rec || buffer == nullptr) return;
  std::copy(rec->user_fill_pattern.begin(), rec->user_fill_pattern.end(), buffer);
}

void setfilltransparency(int32_t flag) {
  LockedWindow rec;
  if (rec) rec->fill_transparency = flag;
}

// ---- Write mode ----

void setwritemode(int32_t mode) {
  if (mode != 0 && mode != 1) return;
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  lease.dc().set_mix_mode(mode == 1 ? platform::MixMode::Xor : platform::MixMode::Copy);
}

// ---- Viewport ----

void setviewport(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t clip) {
  LockedWindow rec;
  if (!rec) return;
  rec->viewport = {left, top, right, bottom, clip};
  each_page(*rec, [&](DeviceContext& dc) {
    dc.set_clip(clip ? std::optional<Rect>(Rect{left, top, right, bottom}) : std::nullopt);
    dc.set_origin({left, top});
    dc.move_to({0, 0});
  });
}

void resetviewport() { setviewport(0, 0, getmaxx() + 1, getmaxy() + 1, 0); }

void clearviewport() {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  WindowData& rec = lease.record();
  const auto& v = rec.viewport;
  const Rect area{0, 0, v.right - v.left, v.bottom - v.top};
  const BrushRef brush =
      rec.background_brush ? rec.background_brush : Brush::solid(rec.background_color);
  lease.dc().fill_rect(area, *brush);
  refresh_drawn(rec, &area);
  lease.dc().move_to({0, 0});
}

void getviewsettings(viewporttype* settings) {
  LockedWindow rec;
  if (!rec || settings == nullptr) return;
  const auto& v = rec->viewport;
  *settings = {v.left, v.top, v.right, v.bottom, v.clip};
}

// ---- Position and size ----

void moveto(int32_t x, int32_t y) {
  DcLease lease = GK__GetCompatDC(0);
  if (lease) lease.dc().move_to({x, y});
}

void moverel(int32_t dx, int32_t dy) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  const platform::Point p = lease.dc().position();
  lease.dc().move_to({saturate32(int64_t{p.x} + dx), saturate32(int64_t{p.y} + dy)});
}

int32_t getx() {
  DcLease lease = GK__GetCompatDC(0);
  return lease ? lease.dc().position().x : kUnknownWindow;
}

int32_t gety() {
  DcLease lease = GK__GetCompatDC(0);
  return lease ? lease.dc().position().y : kUnknownWindow;
}

int32_t getmaxx() {
  LockedWindow rec;
  return rec ? rec->width - 1 : kUnknownWindow;
}

int32_t getmaxy() {
  LockedWindow rec;
  return rec ? rec->height - 1 : kUnknownWindow;
}

int32_t getwindowwidth() {
  LockedWindow rec;
  if (!rec) return kUnknownWindow;
  return rec->width + 2 * metric(platform::Metric::CxFixedFrame);
}

int32_t getwindowheight() {
  LockedWindow rec;
  if (!rec) return kUnknownWindow;
  return rec->height + metric(platform::Metric::CyCaption) +
         2 * metric(platform::Metric::CyFixedFrame);
}

int32_t getmaxwidth() {
  return metric(platform::Metric::CxScreen) - 2 * metric(platform::Metric::CxFixedFrame);
}

int32_t getmaxheight() {
  return metric(platform::Metric::CyScreen) - metric(platform::Metric::CyCaption) -
         2 * metric(platform::Metric::CyFixedFrame);
}

void getarccoords(arccoordstype* record) {
  LockedWindow rec;
  if (!rec || record == nullptr) return;
  const auto& a = rec->last_arc;
  *record = {a[0], a[1], a[2], a[3], a[4], a[5]};
}

// ---- Refresh ----

void refresh_drawn(WindowData& rec, const Rect* logical_area) {
  if (!rec.refresh || !active_is_visual(rec) || window_system == nullptr) return;
  if (logical_area == nullptr) {
    window_system->invalidate(rec.hwnd, nullptr);
    return;
  }
  DeviceContext* dc = active_dc(rec);
  if (dc == nullptr) return;
  const Rect device = to_device(*dc, *logical_area);
  window_system->invalidate(rec.hwnd, &device);
}

void refreshall() {
  LockedWindow rec;
  if (!rec || !active_is_visual(*rec) || window_system == nullptr) return;
  window_system->invalidate(rec->hwnd, nullptr);
}

void refreshrect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease || !active_is_visual(lease.record()) || window_system == nullptr) return;
  const Rect device = to_device(lease.dc(), platform::sorted(Rect{x1, y1, x2, y2}));
  window_system->invalidate(lease.record().hwnd, &device);
}

void RefreshWindow(const Rect* rect) {
  DcLease lease = GK__GetCompatDC(0);
  if (lease) refresh_drawn(lease.record(), rect);
}

void RefreshWindowFast(Hwnd window, const DeviceContext& dc, const Rect* rect) {
  if (window_system == nullptr) return;
  if (rect == nullptr) {
    window_system->invalidate(window, nullptr);
    return;
  }
  const Rect device = to_device(dc, *rect);
  window_system->invalidate(window, &device);
}

void setrefreshing(int32_t flag) {
  LockedWindow rec;
  if (rec) rec->refresh = flag;
}

int32_t getrefreshingbgi() {
  LockedWindow rec;
  return rec ? rec->refresh.load() : kUnknownWindow;
}

// ---- DC access ----

DcLease::DcLease(WindowRef record) : record_(std::move(record)) {
  if (!record_) return;
  lock_ = std::unique_lock<platform::CriticalSection>(record_->dc_lock);
  if (!record_->alive || active_dc(*record_) == nullptr) release();
}

DeviceContext& DcLease::dc() const { return *active_dc(*record_); }

void DcLease::release() {
  if (lock_.owns_lock()) lock_.unlock();
  record_ = nullptr;
}

DcLease GK__GetCompatDC(Hwnd handle) { return DcLease(GK__GetWindowDataPtr(handle)); }
void GK__ReleaseCompatDC(DcLease& lease) { lease.release(); }
DcLease GK__GetFoundDC(const WindowRef& record) { return DcLease(record); }
void GK__ReleaseFoundDC(DcLease& lease) { lease.release(); }

Rect CenterToBox(int32_t x, int32_t y, int32_t rx, int32_t ry) {
  return Rect{saturate32(int64_t{x} - rx),
              saturate32(int64_t{y} - ry),
              saturate32(int64_t{x} + rx),
              saturate32(int64_t{y} + ry)};
}

// ---- Page device contexts ----

void create_page_dcs(WindowData& rec) {
  for (int32_t i = 0; i < kPageCount; ++i) {
    auto dc = std::make_shared<DeviceContext>(rec.pages[i]);
    dc->set_text_color(rec.drawing_color);
    dc->set_bk_color(rec.background_color);
    rec.page_dcs[i] = std::move(dc);
  }
  reset_page_dcs(rec);
}

void reset_page_dcs(WindowData& rec) {
  rec.background_brush = Brush::solid(rec.background_color);
  const auto& v = rec.viewport;
  for (auto& dc : rec.page_dcs) {
    if (!dc) continue;
    dc->select_pen(platform::stock_white_pen());
    dc->select_brush(platform::stock_white_brush());
    dc->set_text_color(0xFFFFFF);
    dc->set_bk_color(rec.background_color);
    dc->set_clip(v.clip ? std::optional<Rect>(Rect{v.left, v.top, v.right, v.bottom})
                        : std::nullopt);
    dc->set_origin({v.left, v.top});
    dc->move_to({0, 0});
  }
}

void release_page_dcs(WindowData& rec) {
  for (auto& dc : rec.page_dcs) dc.reset();
}

void install_drawing() {
  hooks.create_pages = create_page_dcs;
  hooks.reset_pages = reset_page_dcs;
  hooks.release_pages = release_page_dcs;
}

}  // namespace gk
