#include "toolkit/controls.hpp"

#include <cstring>
#include <mutex>

#include "platform/controls/control_classes.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/text.hpp"
#include "toolkit/text_conversion.hpp"

namespace gk {
namespace {

using namespace platform;

// Holds an OwnedMutex for a scope when it could be had in time.
class TimedLock {
 public:
  TimedLock(OwnedMutex& m, int32_t timeout_ms) : m_(m), held_(m.lock(timeout_ms)) {}
  ~TimedLock() {
    if (held_) m_.unlock();
  }
  TimedLock(const TimedLock&) = delete;
  TimedLock& operator=(const TimedLock&) = delete;
  explicit operator bool() const { return held_; }

 private:
  OwnedMutex& m_;
  bool held_;
};

bool same(const char* a, const char* b) { return a && std::strcmp(a, b) == 0; }

// The handles of a kind table and its count; an unknown kind is an empty table.
struct KindView {
  std::vector<Hwnd>* handles = nullptr;
  int32_t count = 0;
};

ControlTable* simple_table(WindowData& rec, const char* kind) {
  if (same(kind, kKindButton)) return &rec.buttons;
  if (same(kind, kKindEdit)) return &rec.text_boxes;
  if (same(kind, kKindListBox)) return &rec.list_boxes;
  if (same(kind, kKindComboBox)) return &rec.drop_downs;
  return nullptr;
}

KindView kind_view(WindowData& rec, const char* kind) {
  if (ControlTable* t = simple_table(rec, kind)) return {&t->handles, t->count};
  if (same(kind, kKindScrollBar)) return {&rec.scroll_bars.handles, rec.scroll_bars.count};
  return {};
}

// The window style of a new control: the request's bits with the kind's base.
uint32_t control_style(WindowData& rec, const ControlRequest& request) {
  constexpr uint32_t kBase = kStyleChild | kStyleVisible | kStyleTabStop;  // 0x50010000
  if (same(request.class_name, kKindButton)) return request.style | kBase;
  if (same(request.class_name, kKindEdit)) {
    uint32_t s = request.style | kBase | kStyleBorder;
    if (rec.text.horiz == 1) s |= 1;  // centred text
    if (rec.text.horiz == 2) s |= 2;  // right-aligned text
    return s;
  }
  if (same(request.class_name, kKindScrollBar))
    return kBase | (request.style != 0 ? kSbsVert : kSbsHorz);
  if (same(request.class_name, kKindListBox) || same(request.class_name, kKindComboBox))
    return request.style | kBase | kStyleVScroll;
  return kBase;
}

// Appends the control to its kind table; its kind-local index, -1 when the table lock could
// not be had.
int32_t store_in_table(WindowData& rec, const ControlRequest& request, Hwnd handle) {
  TimedLock g(rec.control_table_lock, kControlLockWaitMs);
  if (!g) return -1;
  if (same(request.class_name, kKindScrollBar)) {
    ScrollBarTable& t = rec.scroll_bars;
    ScrollInfo info;
    info.mask = kSifRange | kSifPage;
    info.min = 0;
    info.max = 100;
    info.page = 10;
    window_system->send_message(handle, kMsgSbmSetScrollInfo, 1, reinterpret_cast<int64_t>(&info));
    t.handles.push_back(handle);
    t.by_value.push_back(request.by_value);
    t.by_reference.push_back(request.by_reference);
    return t.count++;
  }
  ControlTable* t = simple_table(rec, request.class_name);
  if (!t) return -1;
  t->handles.push_back(handle);
  t->callbacks.push_back(request.callback);
  return t->count++;
}

// Window thread: makes the control and enters it.
int32_t create_here(WindowData& rec, const ControlRequest& request) {
  ControlRequest r = request;
  // A radio button starts a group when the window's radio-group flag says so.
  if (same(r.class_name, kKindButton) && r.style == kBsAutoRadioButton) {
    TimedLock g(rec.control_table_lock, kControlLockWaitMs);
    if (g && rec.radio_group) {
      r.style |= kStyleGroup;
      rec.radio_group = 0;
    }
  }
  CreateWindowParams p;
  p.class_name = r.class_name ? r.class_name : "";
  p.title = to_platform(r.caption);
  p.style = control_style(rec, r);
  p.frame = Rect{r.left, r.top, r.left + r.width, r.top + r.height};
  p.parent = rec.hwnd;
  const Hwnd handle = window_system->create_window(p);
  if (handle == 0) return -1;  // not made: entered nowhere
  window_system->show_window(handle, true);
  std::shared_ptr<const Font> font;
  {
    std::lock_guard<CriticalSection> g(rec.font_lock);
    font = rec.current_font;
  }
  window_system->send_message(handle, kMsgSetFont, reinterpret_cast<uint64_t>(&font), 1);
  if (font) register_controls_font(rec, font);
  return _MapControl(rec, store_in_table(rec, r, handle), handle);
}

// Window thread: the removal road; the removed handle (0 when there was none).
Hwnd remove_here(WindowData& rec, const char* kind, int32_t id) {
  Hwnd removed = 0;
  TimedLock table(rec.control_table_lock, kControlLockWaitMs);
  if (!table) return 0;
  const int32_t local = UnMapControl(rec, id);
  if (local >= 0) {
    if (same(kind, kKindScrollBar)) {
      ScrollBarTable& t = rec.scroll_bars;
      if (local < t.count) {
        t.by_value[local] = nullptr;
        t.by_reference[local] = nullptr;
        std::swap(removed, t.handles[local]);
      }
    } else if (ControlTable* t = simple_table(rec, kind); t && local < t->count) {
      t->callbacks[local] = nullptr;
      std::swap(removed, t->handles[local]);
    }
    if (removed != 0) {
      window_system->show_window(removed, false);
      window_system->destroy_window(removed);
    }
  }
  SetGlobalControlIndexInvalid(rec, id);  // last: the id is free only once all is gone
  return removed;
}

template <class F>
int64_t on_current_window(F&& task, int64_t if_none) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return if_none;
  return run_on_window_thread(
      rec, [&]() -> int64_t { return task(*rec); }, if_none);
}

}  // namespace

int32_t _MapControl(WindowData& rec, int32_t local_index, Hwnd handle) {
  TimedLock g(rec.control_map_lock, kControlLockWaitMs);
  if (!g) return -1;
  ControlMap& m = rec.control_map;
  for (int32_t i = 0; i < m.count; ++i) {
    if (m.handles[i] == kFreeSlot) {
      m.local_index[i] = local_index;
      m.handles[i] = handle;
      return i;
    }
  }
  m.local_index.push_back(local_index);
  m.handles.push_back(handle);
  return m.count++;
}

int32_t GetGlobalControlId(WindowData& rec, Hwnd handle) {
  if (handle == kFreeSlot || !window_system->is_window(handle)) return -1;
  TimedLock g(rec.control_map_lock, kControlLockWaitMs);
  if (!g) return -1;
  const ControlMap& m = rec.control_map;
  for (int32_t i = 0; i < m.count; ++i)
    if (m.handles[i] == handle) return i;
  return -1;
}

int32_t UnMapControl(WindowData& rec, int32_t id) {
  TimedLock g(rec.control_map_lock, kControlLockWaitMs);
  if (!g || id < 0 || id >= rec.control_map.count) return -1;
  return rec.control_map.local_index[id];
}

void SetGlobalControlIndexInvalid(WindowData& rec, int32_t id) {
  TimedLock g(rec.control_map_lock, kControlLockWaitMs);
  if (g && id >= 0 && id < rec.control_map.count) rec.control_map.handles[id] = kFreeSlot;
}

Hwnd GetControl(WindowData& rec, const char* kind, int32_t id) {
  if (!kind) return 0;
  TimedLock table(rec.control_table_lock, kControlLockWaitMs);
  if (!table) return 0;
  const KindView v = kind_view(rec, kind);
  const int32_t local = UnMapControl(rec, id);
  if (local < 0 || local >= v.count) return 0;
  return (*v.handles)[local];
}

int32_t create_control(const ControlRequest& request) {
  return static_cast<int32_t>(
      on_current_window([&](WindowData& rec) { return create_here(rec, request); }, -1));
}

void remove_control(const char* kind, int32_t id) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return;
  const Hwnd removed = static_cast<Hwnd>(run_on_window_thread(
      rec, [&]() -> int64_t { return remove_here(*rec, kind, id); }, 0));
  if (rec->window_thread_id != current_thread_id()) wait_control_callbacks(removed);
}

void MoveControl(
    const char* kind, int32_t id, int32_t left, int32_t top, int32_t width, int32_t height) {
  on_current_window(
      [&](WindowData& rec) -> int64_t {
        const Hwnd c = GetControl(rec, kind, id);
        if (c == 0) return 0;
        const Rect old = window_system->frame_rect(c);
        const Rect now{left, top, left + width, top + height};
        window_system->move_window(c, now);
        window_system->invalidate(rec.hwnd, &old);
        window_system->invalidate(rec.hwnd, &now);
        return 0;
      },
      0);
}

int32_t GetPosition(
    const char* kind, int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  Rect r;
  const int64_t found = on_current_window(
      [&](WindowData& rec) -> int64_t {
        const Hwnd c = GetControl(rec, kind, id);
        if (c == 0 || !window_system->is_window(c)) return 0;
        r = window_system->frame_rect(c);
        return 1;
      },
      0);
  if (!found) return 0;
  if (left) *left = r.left;
  if (top) *top = r.top;
  if (width) *width = r.width();
  if (height) *height = r.height();
  return 1;
}

void SetControlText(int32_t id, const char* text) {
  const std::string caption = to_platform(text ? text : "");
  on_current_window(
      [&](WindowData& rec) -> int64_t {
        const Hwnd c = GetControl(rec, kKindButton, id);
        if (c != 0)
          window_system->send_message(
              c, kMsgSetText, 0, reinterpret_cast<int64_t>(caption.c_str()));
        return 0;
      },
      0);
}

int32_t EnableControl(const char* kind, int32_t id, int32_t flag) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec || !kind) return 0;
  if (same(kind, kKindMenuItem)) {  // the menu module answers for its items
    return static_cast<int32_t>(
        window_system->send_message(rec->hwnd,
                                    flag ? kMsgEnableControl : kMsgDisableControl,
                                    static_cast<uint64_t>(id),
                                    reinterpret_cast<int64_t>(kind)));
  }
  return static_cast<int32_t>(run_on_window_thread(
      rec,
      [&]() -> int64_t {
        const Hwnd c = GetControl(*rec, kind, id);
        return c == 0 ? 0 : window_system->enable_window(c, flag != 0);
      },
      0));
}

void SetControlVisible_(const char* kind, int32_t id, int32_t flag) {
  on_current_window(
      [&](WindowData& rec) -> int64_t {
        const Hwnd c = GetControl(rec, kind, id);
        if (c == 0) return 0;
        window_system->show_window(c, flag > 0);
        return 0;
      },
      0);
}

int32_t getcallbackcontrolid() {
  const CallbackOrigin* origin = current_callback();
  return static_cast<int32_t>(on_current_window(
      [&](WindowData& rec) -> int64_t {
        Hwnd control = origin ? origin->control : 0;
        if (!origin) {
          TimedLock g(rec.control_table_lock, 1000);
          if (!g) return -1;
          control = rec.running_control;
        }
        return control == 0 ? -1 : GetGlobalControlId(rec, control);
      },
      -1));
}

int32_t getmenuhandlerid() {
  if (const CallbackOrigin* origin = current_callback(); origin && origin->control == 0)
    return origin->menu_item;
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return -1;
  return static_cast<int32_t>(window_system->send_message(rec->hwnd, kMsgGetMenuHandlerId));
}

// clang-format off
void setbuttonposition(int32_t id, int32_t l, int32_t t, int32_t w, int32_t h) { MoveControl(kKindButton, id, l, t, w, h); }
void setcheckboxposition(int32_t id, int32_t l, int32_t t, int32_t w, int32_t h) { MoveControl(kKindButton, id, l, t, w, h); }
void setradiobuttonposition(int32_t id, int32_t l, int32_t t, int32_t w, int32_t h) { MoveControl(kKindButton, id, l, t, w, h); }
void setscrollbarposition(int32_t id, int32_t l, int32_t t, int32_t w, int32_t h) { MoveControl(kKindScrollBar, id, l, t, w, h); }
void settextboxposition(int32_t id, int32_t l, int32_t t, int32_t w, int32_t h) { MoveControl(kKindEdit, id, l, t, w, h); }
void setlistboxposition(int32_t id, int32_t l, int32_t t, int32_t w, int32_t h) { MoveControl(kKindListBox, id, l, t, w, h); }
void setdropdownlistposition(int32_t id, int32_t l, int32_t t, int32_t w, int32_t h) { MoveControl(kKindComboBox, id, l, t, w, h); }
int32_t getbuttonposition(int32_t id, int32_t* l, int32_t* t, int32_t* w, int32_t* h) { return GetPosition(kKindButton, id, l, t, w, h); }
int32_t getcheckboxposition(int32_t id, int32_t* l, int32_t* t, int32_t* w, int32_t* h) { return GetPosition(kKindButton, id, l, t, w, h); }
int32_t getradiobuttonposition(int32_t id, int32_t* l, int32_t* t, int32_t* w, int32_t* h) { return GetPosition(kKindButton, id, l, t, w, h); }
int32_t getscrollbarposition(int32_t id, int32_t* l, int32_t* t, int32_t* w, int32_t* h) { return GetPosition(kKindScrollBar, id, l, t, w, h); }
int32_t gettextboxposition(int32_t id, int32_t* l, int32_t* t, int32_t* w, int32_t* h) { return GetPosition(kKindEdit, id, l, t, w, h); }
int32_t getlistboxposition(int32_t id, int32_t* l, int32_t* t, int32_t* w, int32_t* h) { return GetPosition(kKindListBox, id, l, t, w, h); }
int32_t getdropdownlistposition(int32_t id, int32_t* l, int32_t* t, int32_t* w, int32_t* h) { return GetPosition(kKindComboBox, id, l, t, w, h); }
void setbuttonvisible(int32_t id, int32_t flag) { SetControlVisible_(kKindButton, id, flag); }
void setcheckboxvisible(int32_t id, int32_t flag) { SetControlVisible_(kKindButton, id, flag); }
void setradiobuttonvisible(int32_t id, int32_t flag) { SetControlVisible_(kKindButton, id, flag); }
void setscrollbarvisible(int32_t id, int32_t flag) { SetControlVisible_(kKindScrollBar, id, flag); }
void settextboxvisible(int32_t id, int32_t flag) { SetControlVisible_(kKindEdit, id, flag); }
void setlistboxvisible(int32_t id, int32_t flag) { SetControlVisible_(kKindListBox, id, flag); }
void setdropdownlistvisible(int32_t id, int32_t flag) { SetControlVisible_(kKindComboBox, id, flag); }
void setbuttontext(int32_t id, const char* text) { SetControlText(id, text); }
void setcheckboxtext(int32_t id, const char* text) { SetControlText(id, text); }
void setradiobuttontext(int32_t id, const char* text) { SetControlText(id, text); }
// clang-format on

}  // namespace gk
