#include "toolkit/scrollbars.hpp"

#include <algorithm>

#include "toolkit/controls.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace gk {
namespace {

using namespace platform;

// Runs `change` on the scroll bar `id` names, on the window thread under the table lock.
template <class F>
void with_scroll_bar(int32_t id, F&& change) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return;
  run_on_window_thread(
      rec,
      [&]() -> int64_t {
        const int32_t local = UnMapControl(*rec, id);
        if (local < 0 || !rec->control_table_lock.lock(kControlLockWaitMs)) return 0;
        if (local < rec->scroll_bars.count && rec->scroll_bars.handles[local] != 0)
          change(rec->scroll_bars.handles[local]);
        rec->control_table_lock.unlock();
        return 0;
      },
      0);
}

}  // namespace

int32_t createscrollbar_generic(int32_t left,
                                int32_t top,
                                int32_t width,
                                int32_t height,
                                int32_t orientation,
                                ScrollCallback by_value,
                                ScrollCallbackRef by_reference) {
  ControlRequest r;
  r.left = left;
  r.top = top;
  r.width = width;
  r.height = height;
  r.style = static_cast<uint32_t>(orientation);
  r.class_name = kKindScrollBar;
  r.by_value = std::move(by_value);
  r.by_reference = std::move(by_reference);
  return create_control(r);
}

int32_t createscrollbar(int32_t left,
                        int32_t top,
                        int32_t width,
                        int32_t height,
                        int32_t orientation,
                        ScrollCallback callback) {
  return createscrollbar_generic(
      left, top, width, height, orientation, std::move(callback), nullptr);
}

int32_t createscrollbar_ptr(int32_t left,
                            int32_t top,
                            int32_t width,
                            int32_t height,
                            int32_t orientation,
                            const ScrollCallbackRef* callback) {
  return createscrollbar_generic(
      left, top, width, height, orientation, nullptr, callback ? *callback : ScrollCallbackRef());
}

void setscrollrange(int32_t id, int32_t minimum, int32_t maximum) {
  with_scroll_bar(id, [&](Hwnd bar) {
    window_system->send_message(
        bar, kMsgSbmSetRangeRedraw, static_cast<uint64_t>(minimum), maximum);
  });
}

void setscrollpagesize(int32_t id, int32_t page) {
  with_scroll_bar(id, [&](Hwnd bar) {
    ScrollInfo info;
    info.mask = kSifPage;
    info.page = static_cast<uint32_t>(page);
    window_system->send_message(bar, kMsgSbmSetScrollInfo, 1, reinterpret_cast<int64_t>(&info));
  });
}

void setscrollposition(int32_t id, int32_t position) {
  with_scroll_bar(id, [&](Hwnd bar) {
    window_system->send_message(bar, kMsgSbmSetPos, static_cast<uint64_t>(position), 1);
  });
}

int32_t getscrollposition(int32_t id) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return -1;
  return static_cast<int32_t>(run_on_window_thread(
      rec,
      [&]() -> int64_t {
        const int32_t local = UnMapControl(*rec, id);
        if (local < 0 || !rec->control_table_lock.lock(kControlLockWaitMs)) return -1;
        int64_t pos = -1;
        if (local < rec->scroll_bars.count && rec->scroll_bars.handles[local] != 0)
          pos = window_system->send_message(rec->scroll_bars.handles[local], kMsgSbmGetPos);
        rec->control_table_lock.unlock();
        return pos;
      },
      -1));
}

void removescrollbar(int32_t id) { remove_control(kKindScrollBar, id); }

bool on_control_scroll(const WindowRef& rec, uint64_t wparam, Hwnd control) {
  // Step 1.
  ScrollInfo info;
  info.mask = kSifRange | kSifPage | kSifPos | kSifTrackPos;
  if (control == 0 || window_system->send_message(
                          control, kMsgSbmGetScrollInfo, 0, reinterpret_cast<int64_t>(&info)) == 0)
    return false;
  // Step 2.
  int32_t pos = info.pos;
  switch (wparam & 0xFFFF) {
    case kSbLineUp:
      pos -= 1;
      break;
    case kSbLineDown:
      pos += 1;
      break;
    case kSbPageUp:
      pos -= static_cast<int32_t>(info.page);
      break;
    case kSbPageDown:
      pos += static_cast<int32_t>(info.page);
      break;
    case kSbThumbTrack:
      pos = info.track_pos;
      break;
    case kSbEndScroll:
      return true;
    default:
      break;
  }
  // Step 3: the bar clamps the position to its range.
  window_system->send_message(control, kMsgSbmSetPos, static_cast<uint64_t>(pos), 1);
  pos = static_cast<int32_t>(window_system->send_message(control, kMsgSbmGetPos));
  // Step 4.
  ScrollCallback by_value;
  ScrollCallbackRef by_reference;
  if (!rec->control_table_lock.lock(kInfinite)) return false;
  const ScrollBarTable& t = rec->scroll_bars;
  const auto it = std::find(t.handles.begin(), t.handles.end(), control);
  if (it == t.handles.end()) {
    rec->control_table_lock.unlock();
    return false;
  }
  const size_t slot = static_cast<size_t>(it - t.handles.begin());
  by_value = t.by_value[slot];
  by_reference = t.by_reference[slot];
  rec->running_control = control;
  rec->control_table_lock.unlock();
  if (by_value || by_reference)
    start_scroll_callback(rec, std::move(by_value), std::move(by_reference), pos, control);
  return true;
}

}  // namespace gk
