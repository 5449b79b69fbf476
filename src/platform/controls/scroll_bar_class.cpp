// The "SCROLLBAR" class: a stand-alone scroll bar, horizontal or vertical (kSbsVert).
//
// Its range, page, position, geometry and look are those of scroll_track. The bar never moves its
// own thumb on user input: it sends the parent kMsgHScroll or kMsgVScroll with a request (lparam:
// the bar) and the parent sets the new position. Pressing an arrow asks for a line, the track
// beside the thumb for a page; dragging the thumb sends kSbThumbTrack with the tracking position
// (also in the scroll info) on each move and kSbThumbPosition on release; every press ends with
// kSbEndScroll on release. Keys: arrows a line, Page Up/Down a page, Home the top, End the bottom.
#include <algorithm>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/scroll_track.hpp"

namespace platform {
namespace {

using scroll_track::Layout;
using scroll_track::Part;
using scroll_track::Track;

std::shared_ptr<Track> state_of(WindowSystem& system, Hwnd window) {
  auto s = std::static_pointer_cast<Track>(system.class_data(window));
  if (!s) {
    s = std::make_shared<Track>();
    system.set_class_data(window, s);
  }
  return s;
}

bool vertical(WindowSystem& system, Hwnd window) { return (system.style(window) & kSbsVert) != 0; }

Layout layout_for(WindowSystem& system, Hwnd window, const Track& s) {
  const Rect c = system.client_rect(window);
  return vertical(system, window) ? scroll_track::layout_of(s, c.height(), c.width())
                                  : scroll_track::layout_of(s, c.width(), c.height());
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

void paint(WindowSystem& system, Hwnd window, const ChildPaint& target) {
  scroll_track::paint(*target.surface,
                      *state_of(system, window),
                      target.bounds,
                      vertical(system, window),
                      system.is_enabled(window),
                      target.clip);
}

void set_info(WindowSystem& system, Hwnd window, const ScrollInfo& info, bool redraw) {
  state_of(system, window)->set_info(info);
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
      const Part p = scroll_track::part_at(l, a);
      if (p == Part::None) return 0;
      s->pressed = p;
      if (p == Part::Thumb) {
        s->grab = a - l.thumb_start;
        s->track_pos = s->pos;
      }
      system.invalidate(window, nullptr);
      if (p != Part::Thumb) notify(system, window, scroll_track::request_of(p));
      return 0;
    }
    case kMsgMouseMove: {
      auto s = state_of(system, window);
      if (s->pressed != Part::Thumb) return 0;
      const int32_t t = scroll_track::track_position(
          *s, layout_for(system, window, *s), along(system, window, lp));
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
      s->pos = std::clamp(static_cast<int32_t>(wp), s->min, s->max_pos());
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
      state_of(system, window)->get_info(*reinterpret_cast<ScrollInfo*>(lp));
      return 1;
    }
    default:
      return system.default_window_proc(window, message, wp, lp);
  }
}

}  // namespace platform
