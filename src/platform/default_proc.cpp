// Default processing of the window system: geometry of frames, hit testing, the close road,
// minimise/maximise/restore and resizing.
#include <algorithm>

#include "platform/window_internal.hpp"
#include "platform/window_system.hpp"

namespace platform {
namespace {

bool has_caption(uint32_t style) { return (style & kStyleCaption) == kStyleCaption; }

}  // namespace

// Frame thickness by style: a thick (sizing) frame, a dialog frame (also under a caption), a
// one-pixel border, or none.
static Point border_of(uint32_t style, const Backend& backend) {
  if (style & kStyleThickFrame)
    return {system_metric(Metric::CxSizeFrame, backend),
            system_metric(Metric::CySizeFrame, backend)};
  if (style & kStyleDlgFrame)
    return {system_metric(Metric::CxFixedFrame, backend),
            system_metric(Metric::CyFixedFrame, backend)};
  if (style & kStyleBorder) return {1, 1};
  return {0, 0};
}

// The height of what lies above the client area inside the frame: caption and menu bar.
static int32_t top_bars(uint32_t style, bool menu, const Backend& backend) {
  return (has_caption(style) ? system_metric(Metric::CyCaption, backend) : 0) +
         (menu ? system_metric(Metric::CyMenu, backend) : 0);
}

Rect WindowSystem::client_of(const Window& w) const {
  return client_for_frame(w.style, w.frame, w.menu != 0);
}

Rect WindowSystem::client_for_frame(uint32_t style, const Rect& frame, bool menu) const {
  const Point b = border_of(style, backend_);
  const int32_t cap = top_bars(style, menu, backend_);
  Rect c{frame.left + b.x, frame.top + b.y + cap, frame.right - b.x, frame.bottom - b.y};
  c.right = std::max(c.right, c.left);
  c.bottom = std::max(c.bottom, c.top);
  return c;
}

Rect WindowSystem::frame_for_client(uint32_t style, const Rect& client, bool menu) const {
  const Point b = border_of(style, backend_);
  const int32_t cap = top_bars(style, menu, backend_);
  return {client.left - b.x, client.top - b.y - cap, client.right + b.x, client.bottom + b.y};
}

int32_t WindowSystem::hit_test(Hwnd window, Point p) const {
  auto w = find(window);
  if (!w) return kHitNowhere;
  std::lock_guard<std::mutex> g(mutex_);
  const Rect f = w->frame;
  if (!f.contains(p.x, p.y)) return kHitNowhere;
  const Rect c = client_of(*w);
  if (c.contains(p.x, p.y)) return kHitClient;
  const Point b = border_of(w->style, backend_);
  const int32_t bar_top = w->menu ? c.top - system_metric(Metric::CyMenu, backend_) : c.top;
  if (w->menu && p.y >= bar_top && p.y < c.top && p.x >= c.left && p.x < c.right) return kHitMenu;
  if (has_caption(w->style) && p.y >= f.top + b.y && p.y < bar_top && p.x >= c.left &&
      p.x < c.right) {
    // Caption buttons sit at its right end, one small-icon width each: close, then minimise.
    const int32_t button = system_metric(Metric::CxSmIcon, backend_) + 2;
    if ((w->style & kStyleSysMenu) && p.x >= c.right - button) return kHitClose;
    if ((w->style & kStyleMinimizeBox) && p.x >= c.right - 2 * button) return kHitMinButton;
    return kHitCaption;
  }
  if (w->style & kStyleThickFrame) {
    const bool left = p.x < c.left, right = p.x >= c.right;
    const bool top = p.y < f.top + b.y, bottom = p.y >= c.bottom;
    if (top) return left ? kHitTopLeft : right ? kHitTopRight : kHitTop;
    if (bottom) return left ? kHitBottomLeft : right ? kHitBottomRight : kHitBottom;
    return left ? kHitLeft : kHitRight;
  }
  return kHitBorder;
}

bool WindowSystem::move_window(Hwnd window, const Rect& frame) {
  auto w = find(window);
  if (!w) return false;
  Rect old_client, new_client;
  {
    std::lock_guard<std::mutex> g(mutex_);
    old_client = client_of(*w);
    w->frame = frame;
    new_client = client_of(*w);
  }
  if (w->parent == 0) place_native(*w, frame, new_client);
  if (w->parent != 0 && is_visible(window)) {  // a moved child: repaint where it was and is
    const Rect old_frame = frame_for_client(w->style, old_client, w->menu != 0);
    invalidate(w->parent, &old_frame);
    invalidate(w->parent, &frame);
  }
  if (old_client.width() != new_client.width() || old_client.height() != new_client.height())
    return resize_client(window, new_client.width(), new_client.height(), kSizeRestored);
  return true;
}

// Gives the client area a new size (top-left corner kept) within the maximum tracking size,
// grows or shrinks the surface, sends the size message and repaints everything. The display
// is told unless it made the change itself (telling it again would echo the size back).
bool WindowSystem::resize_client(
    Hwnd window, int32_t width, int32_t height, uint32_t size_kind, bool tell_display) {
  auto w = find(window);
  if (!w) return false;
  MinMaxInfo limits{};
  send_message(window, kMsgGetMinMaxInfo, 0, reinterpret_cast<int64_t>(&limits));
  Rect frame;
  {
    std::lock_guard<std::mutex> g(mutex_);
    const Rect c = client_of(*w);
    Rect f = frame_for_client(
        w->style, Rect{c.left, c.top, c.left + width, c.top + height}, w->menu != 0);
    const int32_t fw = std::clamp(f.width(), 0, std::max(0, limits.max_track.x));
    const int32_t fh = std::clamp(f.height(), 0, std::max(0, limits.max_track.y));
    w->frame = Rect{w->frame.left, w->frame.top, w->frame.left + fw, w->frame.top + fh};
    frame = w->frame;
  }
  const Rect client = client_rect(window);
  if (w->parent == 0) {
    if (tell_display)
      place_native(*w, frame, client_for_frame(style(window), frame, menu(window) != 0));
    std::lock_guard<std::mutex> g(w->surface_mutex);
    Page grown(client.width(), client.height());
    const int32_t cw = std::min(grown.width(), w->surface.width());
    for (int32_t y = 0; y < std::min(grown.height(), w->surface.height()); ++y)
      std::copy_n(w->surface.row(y), cw, grown.row(y));
    w->surface = std::move(grown);
  }
  send_message(
      window, kMsgSize, size_kind, pack_point(client.width(), client.height()) & 0xFFFFFFFF);
  invalidate(window, nullptr);
  if (menu(window) != 0) draw_menu_bar(window);  // the bar spans the new width
  return true;
}

// A resize by the user: only windows with a sizing frame can be resized so, and never below
// the minimum tracking size. A size the display already gave the window (its window manager
// resized it) is taken as it is, for every window.
void WindowSystem::user_resize(Hwnd window, int32_t width, int32_t height, bool by_display) {
  if (by_display) {
    // The size the display holds now: the window may have placed itself since this was posted.
    if (const std::optional<Size> size = take_display_size(window))
      resize_client(
          window, std::max(size->width, 0), std::max(size->height, 0), kSizeRestored, false);
    return;
  }
  if ((style(window) & kStyleThickFrame) == 0) return;
  MinMaxInfo limits{};
  send_message(window, kMsgGetMinMaxInfo, 0, reinterpret_cast<int64_t>(&limits));
  const Rect f = frame_rect(window);
  const Rect c = client_rect(window);
  const int32_t w = std::max(width, limits.min_track.x - (f.width() - c.width()));
  const int32_t h = std::max(height, limits.min_track.y - (f.height() - c.height()));
  resize_client(window, std::max(w, 0), std::max(h, 0), kSizeRestored);
}

void WindowSystem::system_command(Hwnd window, uint32_t command) {
  auto w = find(window);
  if (!w) return;
  switch (command & 0xFFF0) {
    case kScClose:
      send_message(window, kMsgClose, 0, 0);
      return;
    case kScMinimize: {
      {
        std::lock_guard<std::mutex> g(mutex_);
        if (w->minimized) return;
        w->minimized = true;
      }
      // The client keeps its size while minimised; the size message says so with 0 x 0.
      send_message(window, kMsgSize, kSizeMinimized, 0);
      return;
    }
    case kScMaximize: {
      MinMaxInfo limits{};
      send_message(window, kMsgGetMinMaxInfo, 0, reinterpret_cast<int64_t>(&limits));
      Rect frame;
      {
        std::lock_guard<std::mutex> g(mutex_);
        if (w->maximized && !w->minimized) return;
        if (!w->maximized) w->restore_frame = w->frame;
        w->maximized = true;
        w->minimized = false;
        frame = Rect{limits.max_position.x,
                     limits.max_position.y,
                     limits.max_position.x + std::min(limits.max_size.x, limits.max_track.x),
                     limits.max_position.y + std::min(limits.max_size.y, limits.max_track.y)};
        w->frame = Rect{frame.left, frame.top, frame.left, frame.top};
      }
      const Rect c = client_for_frame(style(window), frame, menu(window) != 0);
      resize_client(window, c.width(), c.height(), kSizeMaximized);
      return;
    }
    case kScRestore: {
      Rect back;
      bool was_max;
      bool from_minimized = false;
      {
        std::lock_guard<std::mutex> g(mutex_);
        was_max = w->maximized;
        if (w->minimized && !was_max) {
          from_minimized = true;
          // Back from minimised: same client size, told with a restore size message.
          w->minimized = false;
          const Rect c = client_of(*w);
          back = Rect{0, 0, c.width(), c.height()};
        }
      }
      if (from_minimized) {
        send_message(
            window, kMsgSize, kSizeRestored, pack_point(back.right, back.bottom) & 0xFFFFFFFF);
        invalidate(window, nullptr);
        return;
      }
      {
        std::lock_guard<std::mutex> g(mutex_);
        w->minimized = false;
        w->maximized = false;
        back = was_max ? w->restore_frame : w->frame;
        if (was_max) w->frame = Rect{back.left, back.top, back.left, back.top};
      }
      const Rect c = client_for_frame(style(window), back, menu(window) != 0);
      resize_client(window, c.width(), c.height(), kSizeRestored);
      return;
    }
  }
}

int64_t WindowSystem::default_window_proc(Hwnd window,
                                          uint32_t message,
                                          uint64_t wparam,
                                          int64_t lparam) {
  switch (message) {
    case kMsgClose:
      destroy_window(window);
      return 0;
    case kMsgSysCommand:
      system_command(window, static_cast<uint32_t>(wparam));
      return 0;
    case kMsgNcHitTest:
      return hit_test(window, Point{point_x(lparam), point_y(lparam)});
    case kMsgGetMinMaxInfo: {
      auto* info = reinterpret_cast<MinMaxInfo*>(lparam);
      const Point b = border_of(style(window), backend_);
      const int32_t sw = metric(Metric::CxScreen), sh = metric(Metric::CyScreen);
      info->max_size = {sw + 2 * b.x, sh + 2 * b.y};
      info->max_position = {-b.x, -b.y};
      info->min_track = {metric(Metric::CxMinTrack), metric(Metric::CyMinTrack)};
      info->max_track = {metric(Metric::CxVirtualScreen) + 2 * b.x,
                         metric(Metric::CyVirtualScreen) + 2 * b.y};
      return 0;
    }
    case kMsgSizeRequest:
      user_resize(window, point_x(lparam), point_y(lparam), wparam != 0);
      return 0;
    case kMsgSetText:
      set_text(window, lparam ? reinterpret_cast<const char*>(lparam) : "");
      return 1;
    case kMsgGetText: {
      // At most wparam - 1 bytes, not splitting a character, and a NUL.
      const std::string t = text(window);
      auto* out = reinterpret_cast<char*>(lparam);
      if (out == nullptr || wparam == 0) return 0;
      size_t n = std::min<size_t>(t.size(), wparam - 1);
      while (n > 0 && n < t.size() && (static_cast<uint8_t>(t[n]) & 0xC0) == 0x80) --n;
      std::copy_n(t.data(), n, out);
      out[n] = '\0';
      return static_cast<int64_t>(n);
    }
    case kMsgGetTextLength:
      return static_cast<int64_t>(text(window).size());
    case kMsgSetCursor:
      backend_.set_cursor(root(window), static_cast<CursorShape>(wparam));
      return 1;
    case kMsgNcLButtonDown:
      if (wparam == static_cast<uint64_t>(kHitMenu)) menu_bar_press(window, lparam);
      return 0;
    case kMsgKeyDown:
      if (wparam == kVkF10 && menu(window) != 0) open_bar_menu(window, 0);
      return 0;
    case kMsgCancelMode:
      close_menus(window);
      return 0;
    case kMsgPaint:
      paint(window, nullptr);  // nothing to draw: just validate
      return 0;
    default:
      return 0;
  }
}

}  // namespace platform
