#include "toolkit/menus.hpp"

#include <cstring>
#include <mutex>

#include "platform/window_system.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/text_conversion.hpp"

namespace gk {
namespace {

using namespace platform;

constexpr int32_t kRefused = -2;

bool has_text(const char* text) { return text != nullptr && *text != '\0'; }

// Runs `task` with the current window's record on its window thread; `if_none` without one.
template <class F>
int32_t on_window(F&& task, int32_t if_none) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return if_none;
  return static_cast<int32_t>(run_on_window_thread(
      rec, [&]() -> int64_t { return task(*rec); }, if_none));
}

// The handle of menu index `index`, 0 when out of range or removed (window thread).
Hmenu menu_handle(WindowData& rec, int32_t index) {
  std::lock_guard<std::mutex> g(rec.state_lock);
  return index >= 0 && index < rec.menu_count ? rec.menus[index] : 0;
}

int32_t add_menu_here(WindowData& rec, const char* text, int32_t parent) {
  MenuStore& store = window_system->menus();
  if (!has_text(text) && parent != -1) return kRefused;
  Hmenu made;
  if (parent == -1) {
    if (window_system->menu(rec.hwnd) != 0) {
      AdjustWindowSize(rec);
      return kRefused;
    }
    made = store.create();
    window_system->set_menu(rec.hwnd, made);
    AdjustWindowSize(rec);
  } else {
    {
      std::lock_guard<std::mutex> g(rec.state_lock);
      if (parent < 0 || parent >= rec.menu_count) return kRefused;
    }
    made = store.create();
    if (!store.append(menu_handle(rec, parent), kMenuPopup, made, to_platform(text))) {
      store.destroy(made);
      return kRefused;
    }
  }
  int32_t index;
  {
    std::lock_guard<std::mutex> g(rec.state_lock);
    rec.menus.push_back(made);
    index = rec.menu_count++;
  }
  window_system->draw_menu_bar(rec.hwnd);
  return index;
}

int32_t add_item_here(WindowData& rec, const char* text, int32_t menu, const Callback& callback) {
  int32_t id;
  {
    std::lock_guard<std::mutex> g(rec.state_lock);
    if (menu < 0 || menu >= rec.menu_count) return kRefused;
    id = rec.menu_handler_count++;
    rec.menu_handlers.push_back(callback);
  }
  const Hmenu m = menu_handle(rec, menu);
  const bool text_given = has_text(text);
  if (!callback && text_given) return kRefused;  // the id stays used
  if (callback && text_given)
    window_system->menus().append(m, kMenuString, static_cast<uint32_t>(id), to_platform(text));
  else
    window_system->menus().append(m, kMenuSeparator, static_cast<uint32_t>(id), "");
  window_system->draw_menu_bar(rec.hwnd);
  return id;
}

// The window thread's answer to enabling or greying a "MENUITEM".
bool on_message(
    WindowData&, Hwnd window, uint32_t message, uint64_t wp, int64_t lp, int64_t& result) {
  if (message != kMsgEnableControl && message != kMsgDisableControl) return false;
  const char* kind = reinterpret_cast<const char*>(lp);
  if (kind == nullptr || std::strcmp(kind, kKindMenuItem) != 0) return false;
  const Hmenu bar = window_system->menu(window);
  result = bar == 0 ? -1
                    : window_system->menus().enable_command(
                          bar, static_cast<uint32_t>(wp), message == kMsgEnableControl);
  window_system->draw_menu_bar(window);
  return true;
}

}  // namespace

int32_t addmenu(const char* text, int32_t parent) {
  return on_window([&](WindowData& rec) { return add_menu_here(rec, text, parent); }, kRefused);
}

int32_t addmenuitem(const char* text, int32_t menu, Callback callback) {
  return on_window([&](WindowData& rec) { return add_item_here(rec, text, menu, callback); },
                   kRefused);
}

int32_t addmenuitem_ptr(const char* text, int32_t menu, const Callback* callback) {
  return addmenuitem(text, menu, callback ? *callback : Callback());
}

void addmenuseparator(int32_t menu) { addmenuitem(nullptr, menu, Callback()); }

int32_t enablemenuitem(int32_t id, int32_t flag) { return EnableControl(kKindMenuItem, id, flag); }

void removemenuitem(int32_t id) {
  on_window(
      [&](WindowData& rec) {
        const Hmenu bar = window_system->menu(rec.hwnd);
        if (bar == 0) return 0;
        window_system->menus().remove_command(bar, static_cast<uint32_t>(id));
        window_system->draw_menu_bar(rec.hwnd);
        return 0;
      },
      0);
}

void removemenu(int32_t index) {
  on_window(
      [&](WindowData& rec) {
        Hmenu m = 0;
        {
          std::lock_guard<std::mutex> g(rec.state_lock);
          if (index >= 0 && index < rec.menu_count) std::swap(m, rec.menus[index]);
        }
        if (m != 0 && m == window_system->menu(rec.hwnd)) window_system->set_menu(rec.hwnd, 0);
        if (m != 0) window_system->menus().destroy(m);
        if (window_system->menu(rec.hwnd) != 0) {
          window_system->draw_menu_bar(rec.hwnd);
          return 0;
        }
        for (Hwnd child : window_system->children(rec.hwnd)) EnumShiftChildren(child, 1);
        AdjustWindowSize(rec);
        return 0;
      },
      0);
}

void AdjustWindowSize(WindowData& rec) {
  const Hwnd window = rec.hwnd;
  const Rect frame = window_system->adjust_window_rect(Rect{0, 0, rec.width, rec.height},
                                                       window_system->style(window),
                                                       window_system->menu(window) != 0);
  const Rect now = window_system->frame_rect(window);
  window_system->move_window(
      window, Rect{now.left, now.top, now.left + frame.width(), now.top + frame.height()});
  window_system->invalidate(window, nullptr);
}

void EnumShiftChildren(Hwnd child, int32_t up) {
  const int32_t h = window_system->metric(Metric::CyMenu);
  const Rect r = window_system->frame_rect(child);
  window_system->move_window(child, r.translated(0, up ? -h : h));
}

void install_menus() { hooks.menus = on_message; }

}  // namespace gk
