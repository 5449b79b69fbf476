// Menu bars and pop-up menus of top-level windows: attaching, drawing and choosing.
//
// The bar is drawn by the window system into a page one line high and handed to the backend,
// which shows it between caption and client area. Open pop-up menus are top-level windows of
// class kClassMenuPopup, made by the owner window's thread and kept in the owner's record
// (outermost first); all tracking runs on that thread.
#include <algorithm>

#include "platform/controls/control_paint.hpp"
#include "platform/text/text_convert.hpp"
#include "platform/window_internal.hpp"
#include "platform/window_system.hpp"

namespace platform {
namespace {

namespace cp = control_paint;

constexpr Pixel kMenuHighlight = 0x000080;
constexpr int32_t kBarPad = 8;          // text inset of a bar entry, each side
constexpr int32_t kPopupInset = 3;      // bevel around a pop-up's items
constexpr int32_t kPopupTextLeft = 20;  // room for a check mark
constexpr int32_t kPopupRight = 24;     // room for the arrow of a pop-up entry
constexpr int32_t kSeparatorHeight = 9;

struct PopupState {
  Hwnd owner = 0;
  Hmenu menu = 0;
  int32_t highlight = -1;
};

std::shared_ptr<PopupState> popup_state(const WindowSystem& system, Hwnd popup) {
  return std::static_pointer_cast<PopupState>(system.class_data(popup));
}

int32_t text_width(const std::string& text) {
  return cp::text_extent(*Font::default_gui(), text).width;
}

std::vector<Rect> bar_layout(const std::vector<MenuItem>& items, int32_t height) {
  std::vector<Rect> rects;
  int32_t x = 0;
  for (const MenuItem& item : items) {
    const int32_t w = item.separator ? kBarPad : text_width(item.text) + 2 * kBarPad;
    rects.push_back(Rect{x, 0, x + w, height});
    x += w;
  }
  return rects;
}

int32_t item_height() { return Font::default_gui()->height() + 6; }

// Item rectangles of a pop-up in its client coordinates, and the client size.
std::vector<Rect> popup_layout(const std::vector<MenuItem>& items, Point* size) {
  int32_t text = 0;
  for (const MenuItem& item : items) text = std::max(text, text_width(item.text));
  const int32_t width = kPopupTextLeft + text + kPopupRight;
  std::vector<Rect> rects;
  int32_t y = kPopupInset;
  for (const MenuItem& item : items) {
    const int32_t h = item.separator ? kSeparatorHeight : item_height();
    rects.push_back(Rect{kPopupInset, y, kPopupInset + width, y + h});
    y += h;
  }
  if (size) *size = {width + 2 * kPopupInset, y + kPopupInset};
  return rects;
}

// One entry's caption: highlighted white on navy, greyed etched, else black.
void draw_entry(Page& page, const MenuItem& item, const Rect& r, int32_t text_left, bool lit) {
  const Rect all{0, 0, page.width(), page.height()};
  if (lit) cp::fill(page, r, kMenuHighlight, all);
  const Rect text{r.left + text_left, r.top, r.right, r.bottom};
  const auto font = Font::default_gui();
  if (lit && !item.grayed) {
    const std::u16string wide = utf8_to_utf16(item.text);
    const int32_t y = r.top + (r.height() - measure_text(*font, wide).height) / 2;
    draw_text(page, *font, text.left, y, wide, TextColours{cp::kHighlight, 0, false}, text);
  } else {
    cp::caption(page, *font, item.text, text, 0, !item.grayed, all);
  }
}

void paint_popup(Page& page, const std::vector<MenuItem>& items, int32_t highlight) {
  const Rect all{0, 0, page.width(), page.height()};
  cp::raised_box(page, all, false, all);
  const std::vector<Rect> rects = popup_layout(items, nullptr);
  for (size_t i = 0; i < items.size(); ++i) {
    const Rect& r = rects[i];
    const MenuItem& item = items[i];
    if (item.separator) {
      const int32_t y = r.top + r.height() / 2 - 1;
      cp::fill(page, Rect{r.left + 1, y, r.right - 1, y + 1}, cp::kShadow, all);
      cp::fill(page, Rect{r.left + 1, y + 1, r.right - 1, y + 2}, cp::kHighlight, all);
      continue;
    }
    const bool lit = static_cast<int32_t>(i) == highlight;
    draw_entry(page, item, r, kPopupTextLeft, lit);
    const Pixel mark = lit ? cp::kHighlight : item.grayed ? cp::kGreyText : cp::kText;
    const int32_t cy = r.top + r.height() / 2;
    if (item.checked)  // a small tick
      for (int32_t i2 = 0; i2 <= 6; ++i2) {
        const int32_t x = r.left + 6 + i2, y = cy + (i2 <= 2 ? i2 - 1 : 1 - (i2 - 2));
        cp::fill(page, Rect{x, y, x + 1, y + 2}, mark, all);
      }
    if (item.popup != 0)  // a right-pointing arrow
      for (int32_t k = 0; k < 4; ++k)
        cp::fill(page, Rect{r.right - 12 + k, cy - 3 + k, r.right - 11 + k, cy + 4 - k}, mark, all);
  }
}

int32_t item_at(const std::vector<Rect>& rects, Point p) {
  for (size_t i = 0; i < rects.size(); ++i)
    if (rects[i].contains(p.x, p.y)) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace

bool WindowSystem::set_menu(Hwnd window, Hmenu menu) {
  auto w = find(window);
  if (!w || w->parent != 0 || (menu != 0 && !menus_.exists(menu))) return false;
  Rect frame;
  {
    std::lock_guard<std::mutex> g(mutex_);
    const Rect client = client_of(*w);
    w->menu = menu;
    w->menu_open = -1;
    w->frame = frame_for_client(w->style, client, menu != 0);
    frame = w->frame;
  }
  place_native(*w, frame, client_for_frame(style(window), frame, menu != 0));
  draw_menu_bar(window);
  return true;
}

Hmenu WindowSystem::menu(Hwnd window) const {
  auto w = find(window);
  if (!w) return 0;
  std::lock_guard<std::mutex> g(mutex_);
  return w->menu;
}

Rect WindowSystem::adjust_window_rect(const Rect& client, uint32_t style, bool menu) const {
  return frame_for_client(style, client, menu);
}

void WindowSystem::draw_menu_bar(Hwnd window) {
  auto w = find(window);
  if (!w || w->parent != 0) return;
  Hmenu m;
  int32_t open;
  int32_t width;
  {
    std::lock_guard<std::mutex> g(mutex_);
    m = w->menu;
    open = w->menu_open;
    width = client_of(*w).width();
  }
  const auto items = m ? menus_.items(m) : std::nullopt;
  if (!items) {
    backend_.present_menu_bar(window, Page());
    return;
  }
  Page bar(width, metric(Metric::CyMenu));
  cp::fill(bar, Rect{0, 0, bar.width(), bar.height()}, cp::kFace, Rect{0, 0, width, bar.height()});
  const std::vector<Rect> rects = bar_layout(*items, bar.height());
  for (size_t i = 0; i < items->size(); ++i)
    if (!(*items)[i].separator)
      draw_entry(bar, (*items)[i], rects[i], kBarPad, static_cast<int32_t>(i) == open);
  backend_.present_menu_bar(window, bar);
}

Rect WindowSystem::menu_bar_item_rect(Hwnd window, int32_t index) const {
  const Hmenu m = menu(window);
  const auto items = m ? menus_.items(m) : std::nullopt;
  if (!items || index < 0 || index >= static_cast<int32_t>(items->size())) return {};
  const int32_t h = metric(Metric::CyMenu);
  const Rect f = frame_rect(window);
  const Point o = client_origin(window);
  return bar_layout(*items, h)[index].translated(o.x - f.left, o.y - f.top - h);
}

Hwnd WindowSystem::open_menu_popup(Hwnd window) const {
  auto w = find(window);
  if (!w) return 0;
  std::lock_guard<std::mutex> g(mutex_);
  return w->popups.empty() ? 0 : w->popups.back();
}

Rect WindowSystem::menu_popup_item_rect(Hwnd popup, int32_t index) const {
  auto s = popup_state(*this, popup);
  const auto items = s ? menus_.items(s->menu) : std::nullopt;
  if (!items || index < 0 || index >= static_cast<int32_t>(items->size())) return {};
  return popup_layout(*items, nullptr)[index];
}

void WindowSystem::open_bar_menu(Hwnd window, int32_t index) {
  close_menus(window);
  const Hmenu m = menu(window);
  const auto items = m ? menus_.items(m) : std::nullopt;
  if (!items || index < 0 || index >= static_cast<int32_t>(items->size())) return;
  const MenuItem& item = (*items)[index];
  if (item.separator || item.grayed) return;
  if (item.popup == 0) {  // a command on the bar itself
    post_message(window, kMsgCommand, item.id & 0xFFFF, 0);
    return;
  }
  auto w = find(window);
  if (!w) return;
  {
    std::lock_guard<std::mutex> g(mutex_);
    w->menu_open = index;
  }
  draw_menu_bar(window);
  const Point o = client_origin(window);
  const Rect r = bar_layout(*items, metric(Metric::CyMenu))[index];
  open_popup(window, item.popup, Point{o.x + r.left, o.y}, 0);
}

void WindowSystem::menu_bar_press(Hwnd window, int64_t screen_point) {
  auto w = find(window);
  const Hmenu m = menu(window);
  const auto items = m ? menus_.items(m) : std::nullopt;
  if (!w || !items) return;
  const Point o = client_origin(window);
  const int32_t index =
      item_at(bar_layout(*items, metric(Metric::CyMenu)), Point{point_x(screen_point) - o.x, 0});
  int32_t open;
  {
    std::lock_guard<std::mutex> g(mutex_);
    open = w->menu_open;
  }
  if (index < 0 || index == open) {
    close_menus(window);  // a second press on the open entry closes it
    return;
  }
  open_bar_menu(window, index);
}

void WindowSystem::open_popup(Hwnd owner, Hmenu menu, Point at, size_t depth) {
  auto w = find(owner);
  const auto items = menus_.items(menu);
  if (!w || !items) return;
  std::vector<Hwnd> deeper;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (w->popups.size() > depth) deeper.assign(w->popups.begin() + depth, w->popups.end());
    w->popups.resize(std::min(w->popups.size(), depth));
  }
  for (Hwnd p : deeper) destroy_window(p);
  Point size;
  popup_layout(*items, &size);
  CreateWindowParams params;
  params.class_name = kClassMenuPopup;
  params.style = kStylePopup;
  params.frame = Rect{at.x, at.y, at.x + size.x, at.y + size.y};
  const Hwnd popup = create_window(params);
  if (popup == 0) return;
  set_class_data(popup, std::make_shared<PopupState>(PopupState{owner, menu, -1}));
  {
    std::lock_guard<std::mutex> g(mutex_);
    w->popups.push_back(popup);
  }
  show_window(popup, true);
  set_focus(popup);
}

void WindowSystem::close_menus(Hwnd window) {
  auto w = find(window);
  if (!w) return;
  std::vector<Hwnd> popups;
  bool was_open;
  {
    std::lock_guard<std::mutex> g(mutex_);
    popups.swap(w->popups);
    was_open = w->menu_open >= 0;
    w->menu_open = -1;
  }
  const Hwnd focused = focus();
  for (auto it = popups.rbegin(); it != popups.rend(); ++it) destroy_window(*it);
  if (std::find(popups.begin(), popups.end(), focused) != popups.end()) set_focus(window);
  if (was_open) draw_menu_bar(window);
}

void WindowSystem::cancel_menus_except(Hwnd window, bool on_bar) {
  std::vector<Hwnd> owners;
  {
    std::lock_guard<std::mutex> g(mutex_);
    for (const auto& [h, w] : windows_)
      if (!w->popups.empty() && !(h == window && on_bar) &&
          std::find(w->popups.begin(), w->popups.end(), window) == w->popups.end())
        owners.push_back(h);
  }
  for (Hwnd owner : owners) post_message(owner, kMsgCancelMode);
}

void WindowSystem::choose_popup_item(Hwnd popup, int32_t index) {
  auto s = popup_state(*this, popup);
  const auto items = s ? menus_.items(s->menu) : std::nullopt;
  if (!items || index < 0 || index >= static_cast<int32_t>(items->size())) return;
  const MenuItem& item = (*items)[index];
  if (item.separator || item.grayed) return;  // nothing happens; the menu stays open
  const Hwnd owner = s->owner;
  if (item.popup != 0) {
    auto w = find(owner);
    if (!w) return;
    size_t depth;
    {
      std::lock_guard<std::mutex> g(mutex_);
      depth = static_cast<size_t>(std::find(w->popups.begin(), w->popups.end(), popup) -
                                  w->popups.begin());
    }
    const Point o = client_origin(popup);
    const Rect r = popup_layout(*items, nullptr)[index];
    open_popup(owner, item.popup, Point{o.x + r.right, o.y + r.top}, depth + 1);
    return;
  }
  close_menus(owner);
  post_message(owner, kMsgCommand, item.id & 0xFFFF, 0);
}

void WindowSystem::popup_key(Hwnd popup, uint32_t key) {
  auto s = popup_state(*this, popup);
  const auto items = s ? menus_.items(s->menu) : std::nullopt;
  if (!items) return;
  const int32_t n = static_cast<int32_t>(items->size());
  switch (key) {
    case kVkDown:
    case kVkUp: {
      const int32_t step = key == kVkDown ? 1 : n - 1;
      int32_t i = s->highlight < 0 ? (key == kVkDown ? n - 1 : 0) : s->highlight;
      for (int32_t k = 0; k < n; ++k) {
        i = (i + step) % n;
        if (!(*items)[i].separator) break;
      }
      s->highlight = i;
      invalidate(popup, nullptr);
      return;
    }
    case kVkReturn:
      choose_popup_item(popup, s->highlight);
      return;
    case kVkEscape:
      close_menus(s->owner);
      return;
    case kVkRight:
      if (s->highlight >= 0 && (*items)[s->highlight].popup != 0) {
        choose_popup_item(popup, s->highlight);
        return;
      }
      [[fallthrough]];
    case kVkLeft: {
      auto w = find(s->owner);
      const auto bar = menus_.items(menu(s->owner));
      if (!w || !bar || bar->empty()) return;
      int32_t open;
      {
        std::lock_guard<std::mutex> g(mutex_);
        open = w->menu_open;
      }
      const int32_t count = static_cast<int32_t>(bar->size());
      const int32_t next = (open + (key == kVkLeft ? count - 1 : 1)) % count;
      open_bar_menu(s->owner, next);
      return;
    }
    default:
      return;
  }
}

int64_t menu_popup_proc(
    WindowSystem& system, Hwnd popup, uint32_t message, uint64_t wp, int64_t lp) {
  auto s = popup_state(system, popup);
  if (!s) return system.default_window_proc(popup, message, wp, lp);
  switch (message) {
    case kMsgPaint: {
      const auto items = system.menus_.items(s->menu);
      system.paint(popup, [&](Page& surface, const Rect&) {
        paint_popup(surface, items ? *items : std::vector<MenuItem>{}, s->highlight);
      });
      return 0;
    }
    case kMsgMouseMove: {
      const auto items = system.menus_.items(s->menu);
      if (!items) return 0;
      const int32_t i = item_at(popup_layout(*items, nullptr), Point{point_x(lp), point_y(lp)});
      if (i != s->highlight && i >= 0 && !(*items)[i].separator) {
        s->highlight = i;
        system.invalidate(popup, nullptr);
      }
      return 0;
    }
    case kMsgLButtonUp: {
      const auto items = system.menus_.items(s->menu);
      if (!items) return 0;
      system.choose_popup_item(
          popup, item_at(popup_layout(*items, nullptr), Point{point_x(lp), point_y(lp)}));
      return 0;
    }
    case kMsgKeyDown:
      system.popup_key(popup, static_cast<uint32_t>(wp));
      return 0;
    default:
      return system.default_window_proc(popup, message, wp, lp);
  }
}

}  // namespace platform
