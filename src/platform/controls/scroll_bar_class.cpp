// The "SCROLLBAR" class: a stand-alone scroll bar, horizontal or vertical (kSbsVert).
//
// State: range min..max, page size and position, clamped so that min <= pos <=
// max - max(page - 1, 0). The bar never moves its own thumb on user input: it sends the
// parent kMsgHScroll or kMsgVScroll with a request (lparam: the bar) and the parent sets the
// new position. Pressing an arrow asks for a line, the track beside the thumb for a page;
// dragging the thumb sends kSbThumbTrack with the tracking position (also in the scroll info)
// on each move and kSbThumbPosition on release; every press ends with kSbEndScroll on release.
// Keys: arrows a line, Page Up/Down a page, Home the top, End the bottom.
#include <algorithm>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/control_paint.hpp"

namespace platform {
namespace {

namespace cp = control_paint;

enum class Part { None, LineUp, LineDown, PageUp, PageDown, Thumb };

struct ScrollState {
  int32_t min = 0, max = 100;
  int32_t page = 0;
  int32_t pos = 0;
  int32_t track_pos = 0;
  Part pressed = Part::None;
  int32_t grab = 0;  // pixels from the thumb's start to where it was grabbed
};

std::shared_ptr<ScrollState> state_of(WindowSystem& system, Hwnd window) {
  auto s = std::static_pointer_cast<ScrollState>(system.class_data(window));
  if (!s) {
    s = std::make_shared<ScrollState>();
    system.set_class_data(window, s);
  }
  return s;
}

bool vertical(WindowSystem& system, Hwnd window) { return (system.style(window) & kSbsVert) != 0; }

int32_t max_pos(const ScrollState& s) { return std::max(s.min, s.max - std::max(s.page - 1, 0)); }

int32_t clamp_pos(const ScrollState& s, int32_t pos) { return std::clamp(pos, s.min, max_pos(s)); }

// Geometry along the bar: arrows of the bar's thickness at both ends, the track between.
struct Layout {
  int32_t length = 0;  // along the bar
  int32_t arrow = 0;
  int32_t thumb_start = 0, thumb_length = 0;  // 0 length: no thumb
  int32_t track_start() const { return arrow; }
  int32_t track_end() const { return length - arrow; }
};

Layout layout_of(const ScrollState& s, int32_t length, int32_t thickness) {
  Layout l;
  l.length = length;
  l.arrow = std::min(thickness, length / 2);
  const int32_t track = l.track_end() - l.track_start();
  const int64_t span = int64_t{s.max} - s.min + 1;
  if (track <= 0 || span <= 0) return l;
  int32_t thumb = s.page > 0 ? static_cast<int32_t>(int64_t{track} * s.page / span) : thickness;
  thumb = std::clamp(thumb, std::min(8, track), track);
  const int64_t travel = std::max<int64_t>(int64_t{max_pos(s)} - s.min, 0);
  const int32_t pos = s.pressed == Part::Thumb ? s.track_pos : s.pos;
  l.thumb_length = thumb;
  l.thumb_start =
      l.arrow +
      (travel == 0 ? 0 : static_cast<int32_t>((int64_t{pos} - s.min) * (track - thumb) / travel));
  return l;
}

Layout layout_for(WindowSystem& system, Hwnd window, const ScrollState& s) {
  const Rect c = system.client_rect(window);
  return vertical(system, window) ? layout_of(s, c.height(), c.width())
                                  : layout_of(s, c.width(), c.height());
}

Part part_at(const Layout& l, int32_t along) {
  if (along < l.track_start()) return Part::LineUp;
  if (along >= l.track_end()) return Part::LineDown;
  if (l.thumb_length == 0) return Part::None;
  if (along < l.thumb_start) return Part::PageUp;
  if (along >= l.thumb_start + l.thumb_length) return Part::PageDown;
  return Part::Thumb;
}

void notify(WindowSystem& system, Hwnd window, uint32_t request, int32_t position = 0) {
  const Hwnd parent = system.parent(window);
  if (parent == 0) return;
  const uint64_t wp = (static_cast<uint64_t>(static_cast<uint16_t>(position)) << 16) | request;
  system.send_message(parent,
                      vertical(system, window) ? kMsgVScroll : kMsgHScroll,
                      wp,
                      static_cast<int64_t>(window));
}

uint32_t request_of(Part p) {
  switch (p) {
    case Part::LineUp:
      return kSbLineUp;
    case Part::LineDown:
      return kSbLineDown;
    case Part::PageUp:
      return kSbPageUp;
    default:
      return kSbPageDown;
  }
}

// The scroll position the pointer at `along` asks for while dragging the thumb.
int32_t track_position(const ScrollState& s, const Layout& l, int32_t along) {
  const int32_t room = l.track_end() - l.track_start() - l.thumb_length;
  if (room <= 0) return s.min;
  const int32_t start = std::clamp(along - s.grab - l.track_start(), 0, room);
  const int64_t travel = int64_t{max_pos(s)} - s.min;
  return s.min + static_cast<int32_t>((start * travel + room / 2) / room);
}

void arrow(Page& page, const Rect& r, int direction, bool enabled, bool pressed, const Rect& clip) {
  cp::raised_box(page, r, pressed, clip);
  // A solid triangle of 4 rows pointing up (0), down (1), left (2) or right (3).
  const int shift = pressed ? 1 : 0;
  const int cx = r.left + r.width() / 2 + shift, cy = r.top + r.height() / 2 + shift;
  const Pixel ink = enabled ? cp::kText : cp::kGreyText;
  for (int i = 0; i < 4; ++i) {
    const int row = direction == 0 || direction == 2 ? i : 3 - i;
    const int along = row - 2;  // -2..1
    if (direction < 2)
      cp::fill(page, Rect{cx - i, cy + along, cx + i + 1, cy + along + 1}, ink, clip);
    else
      cp::fill(page, Rect{cx + along, cy - i, cx + along + 1, cy + i + 1}, ink, clip);
  }
}

void paint(WindowSystem& system, Hwnd window, const ChildPaint& target) {
  auto s = state_of(system, window);
  const bool vert = vertical(system, window);
  const bool enabled = system.is_enabled(window);
  const Layout l = layout_for(system, window, *s);
  Page& page = *target.surface;
  const Rect b = target.bounds;
  const Rect& clip = target.clip;
  // A rectangle along the bar from a to b (pixels along it).
  auto span = [&](int32_t a, int32_t z) {
    return vert ? Rect{b.left, b.top + a, b.right, b.top + z}
                : Rect{b.left + a, b.top, b.left + z, b.bottom};
  };
  // The track: the classic checkerboard of white and face.
  const Rect track = intersect(intersect(span(l.track_start(), l.track_end()), clip),
                               Rect{0, 0, page.width(), page.height()});
  for (int y = track.top; y < track.bottom; ++y)
    for (int x = track.left; x < track.right; ++x)
      page.at(x, y) = ((x + y) & 1) ? cp::kHighlight : cp::kFace;
  if (s->pressed == Part::PageUp || s->pressed == Part::PageDown) {
    const Rect dark = s->pressed == Part::PageUp
                          ? span(l.track_start(), l.thumb_start)
                          : span(l.thumb_start + l.thumb_length, l.track_end());
    cp::fill(page, dark, cp::kDarkShadow, clip);
  }
  arrow(page, span(0, l.arrow), vert ? 0 : 2, enabled, s->pressed == Part::LineUp, clip);
  arrow(page,
        span(l.track_end(), l.length),
        vert ? 1 : 3,
        enabled,
        s->pressed == Part::LineDown,
        clip);
  if (enabled && l.thumb_length > 0)
    cp::raised_box(page, span(l.thumb_start, l.thumb_start + l.thumb_length), false, clip);
}

void set_info(WindowSystem& system, Hwnd window, const ScrollInfo& info, bool redraw) {
  auto s = state_of(system, window);
  if (info.mask & kSifRange) {
    s->min = info.min;
    s->max = std::max(info.max, info.min);
  }
  if (info.mask & kSifPage)
    s->page = static_cast<int32_t>(std::min<uint32_t>(info.page, uint32_t(s->max - s->min + 1)));
  if (info.mask & kSifPos) s->pos = info.pos;
  s->pos = clamp_pos(*s, s->pos);
  if (redraw) system.invalidate(window, nullptr);
}

int32_t along(WindowSystem& system, Hwnd window, int64_t lp) {
  return vertical(system, window) ? point_y(lp) : point_x(lp);
}

}  // namespace

int64_t scroll_bar_proc(
    WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp) {
  switch (message) {
    case kMsgPaint:
      if (lp != 0) paint(system, window, *reinterpret_cast<const ChildPaint*>(lp));
      return 0;
    case kMsgLButtonDown:
    case kMsgLButtonDblClk: {
      auto s = state_of(system, window);
      const Layout l = layout_for(system, window, *s);
      const int32_t a = along(system, window, lp);
      const Part p = part_at(l, a);
      if (p == Part::None) return 0;
      s->pressed = p;
      if (p == Part::Thumb) {
        s->grab = a - l.thumb_start;
        s->track_pos = s->pos;
      }
      system.invalidate(window, nullptr);
      if (p != Part::Thumb) notify(system, window, request_of(p));
      return 0;
    }
    case kMsgMouseMove: {
      auto s = state_of(system, window);
      if (s->pressed != Part::Thumb) return 0;
      const int32_t t =
          track_position(*s, layout_for(system, window, *s), along(system, window, lp));
      if (t == s->track_pos) return 0;
      s->track_pos = t;
      system.invalidate(window, nullptr);
      notify(system, window, kSbThumbTrack, t);
      return 0;
    }
    case kMsgLButtonUp: {
      auto s = state_of(system, window);
      if (s->pressed == Part::None) return 0;
      const Part p = s->pressed;
      s->pressed = Part::None;
      system.invalidate(window, nullptr);
      if (p == Part::Thumb) notify(system, window, kSbThumbPosition, s->track_pos);
      notify(system, window, kSbEndScroll);
      return 0;
    }
    case kMsgKeyDown: {
      const bool vert = vertical(system, window);
      uint32_t request;
      switch (wp) {
        case kVkUp:
        case kVkLeft:
          request = kSbLineUp;
          break;
        case kVkDown:
        case kVkRight:
          request = kSbLineDown;
          break;
        case kVkPrior:
          request = kSbPageUp;
          break;
        case kVkNext:
          request = kSbPageDown;
          break;
        case kVkHome:
          request = kSbTop;
          break;
        case kVkEnd:
          request = kSbBottom;
          break;
        default:
          return 0;
      }
      // Arrows across the bar do nothing.
      if (((wp == kVkUp || wp == kVkDown) && !vert) || ((wp == kVkLeft || wp == kVkRight) && vert))
        return 0;
      notify(system, window, request);
      notify(system, window, kSbEndScroll);
      return 0;
    }
    case kMsgGetDlgCode:
      return kDlgCodeWantArrows;
    case kMsgEnable:
      system.invalidate(window, nullptr);
      return 0;
    case kMsgSbmSetPos: {
      auto s = state_of(system, window);
      const int32_t previous = s->pos;
      s->pos = clamp_pos(*s, static_cast<int32_t>(wp));
      if (lp) system.invalidate(window, nullptr);
      return previous;
    }
    case kMsgSbmGetPos:
      return state_of(system, window)->pos;
    case kMsgSbmSetRange:
    case kMsgSbmSetRangeRedraw: {
      ScrollInfo info;
      info.mask = kSifRange;
      info.min = static_cast<int32_t>(wp);
      info.max = static_cast<int32_t>(lp);
      set_info(system, window, info, message == kMsgSbmSetRangeRedraw);
      return state_of(system, window)->pos;
    }
    case kMsgSbmGetRange: {
      auto s = state_of(system, window);
      if (wp) *reinterpret_cast<int32_t*>(wp) = s->min;
      if (lp) *reinterpret_cast<int32_t*>(lp) = s->max;
      return 0;
    }
    case kMsgSbmSetScrollInfo:
      if (lp) set_info(system, window, *reinterpret_cast<const ScrollInfo*>(lp), wp != 0);
      return state_of(system, window)->pos;
    case kMsgSbmGetScrollInfo: {
      if (!lp) return 0;
      auto s = state_of(system, window);
      auto* info = reinterpret_cast<ScrollInfo*>(lp);
      if (info->mask & kSifRange) {
        info->min = s->min;
        info->max = s->max;
      }
      if (info->mask & kSifPage) info->page = static_cast<uint32_t>(s->page);
      if (info->mask & kSifPos) info->pos = s->pos;
      if (info->mask & kSifTrackPos)
        info->track_pos = s->pressed == Part::Thumb ? s->track_pos : s->pos;
      return 1;
    }
    default:
      return system.default_window_proc(window, message, wp, lp);
  }
}

}  // namespace platform
