// The "LISTBOX" and "COMBOBOX" classes: a list of text entries with one selected entry, and
// the drop-down list, a one-line field that shows the selected entry and opens the list below
// itself in a pop-up window (class kClassComboList).
//
// Both keep their entries as UTF-8 text and answer the same requests (insert, delete, clear,
// select, count, read an entry). A selection the user makes (click, or Up, Down, Page Up,
// Page Down, Home and End; the view follows it) is told to the parent with kMsgCommand,
// notification code kLbnSelChange (1) in the high word of wparam and the control in lparam (a
// list box only with kLbsNotify); a selection the program sets is not told. A double click on
// an entry of a list box with kLbsNotify selects it and then tells kLbnDblClk (2). A drop-down
// list opens by a click or F4 (Alt+Down) and closes when an entry is clicked, on Enter or
// Escape, when it loses the focus, and on a press anywhere outside the open list and the field
// (close_dropped_lists).
//
// A list box with kStyleVScroll shows a vertical scroll bar inside its frame while its entries
// do not fit; the open list of a drop-down list with kStyleVScroll does the same. The bar
// scrolls the entries and follows the keys and the wheel (three entries a notch). A list box
// answers kMsgLbGetTopIndex, kMsgVScroll with lparam 0 (a request to its own bar) and
// kMsgSbmGetScrollInfo with wparam kSbsVert (the state of its bar; 0 while it is not shown).
#include <algorithm>
#include <utility>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/control_paint.hpp"
#include "platform/controls/scroll_track.hpp"
#include "platform/text/text_convert.hpp"

namespace platform {
namespace {

namespace cp = control_paint;

constexpr Pixel kSelection = 0x000080;
constexpr int32_t kArrowWidth = 16;
constexpr int32_t kWheelRows = 3;     // entries scrolled per notch of the wheel
constexpr int32_t kWheelDelta = 120;  // one notch

struct ListState {
  std::vector<std::string> items;  // UTF-8
  int32_t selection = -1;
  int32_t top = 0;  // first entry shown
  bool focused = false;
  scroll_track::InnerBars bars;
  std::shared_ptr<const Font> font;
  // Drop-down lists.
  bool sized = false;       // the window was cut to the field's height
  int32_t list_height = 0;  // height of the opened list
  Hwnd popup = 0;           // the open list, 0 when closed
};

struct PopupState {
  Hwnd combo = 0;
  std::shared_ptr<ListState> list;
  int32_t hover = -1;
  int32_t top = 0;  // first entry shown
  scroll_track::InnerBars bars;
};

std::shared_ptr<ListState> state_of(WindowSystem& system, Hwnd window) {
  auto s = std::static_pointer_cast<ListState>(system.class_data(window));
  if (!s) {
    s = std::make_shared<ListState>();
    system.set_class_data(window, s);
  }
  return s;
}

int32_t row_height(const ListState& s) { return cp::font_or_default(s.font)->height() + 2; }
int32_t field_height(const ListState& s) { return cp::font_or_default(s.font)->height() + 8; }
int32_t count_of(const ListState& s) { return static_cast<int32_t>(s.items.size()); }

// Requests both classes answer, by their list-box numbers; -1 (an error) where Windows has
// LB_ERR. `handled` false for other messages.
int64_t list_request(ListState& s, uint32_t request, uint64_t wp, int64_t lp, bool& handled) {
  handled = true;
  const int32_t index = static_cast<int32_t>(wp);
  const bool valid = index >= 0 && index < count_of(s);
  switch (request) {
    case kMsgLbAddString:
    case kMsgLbInsertString: {
      if (lp == 0) return -1;
      const int32_t at = request == kMsgLbAddString || index < 0 ? count_of(s) : index;
      if (at > count_of(s)) return -1;
      s.items.insert(s.items.begin() + at, reinterpret_cast<const char*>(lp));
      if (s.selection >= at) ++s.selection;
      return at;
    }
    case kMsgLbDeleteString:
      if (!valid) return -1;
      s.items.erase(s.items.begin() + index);
      if (s.selection == index) s.selection = -1;
      if (s.selection > index) --s.selection;
      s.top = std::clamp(s.top, 0, std::max(0, count_of(s) - 1));
      return count_of(s);
    case kMsgLbResetContent:
      s.items.clear();
      s.selection = -1;
      s.top = 0;
      return 0;
    case kMsgLbSetCurSel:
      s.selection = valid ? index : -1;
      return valid || index == -1 ? s.selection : -1;
    case kMsgLbGetCurSel:
      return s.selection;
    case kMsgLbGetCount:
      return count_of(s);
    case kMsgLbGetTextLen:
      return valid ? static_cast<int64_t>(utf8_to_utf16(s.items[index]).size()) : -1;
    case kMsgLbGetText:
      if (!valid) return -1;
      if (lp) *reinterpret_cast<std::string*>(lp) = s.items[index];
      return static_cast<int64_t>(utf8_to_utf16(s.items[index]).size());
    default:
      handled = false;
      return 0;
  }
}

// The list-box number of a drop-down request (0: none).
uint32_t as_list_request(uint32_t message) {
  switch (message) {
    case kMsgCbAddString:
      return kMsgLbAddString;
    case kMsgCbInsertString:
      return kMsgLbInsertString;
    case kMsgCbDeleteString:
      return kMsgLbDeleteString;
    case kMsgCbResetContent:
      return kMsgLbResetContent;
    case kMsgCbSetCurSel:
      return kMsgLbSetCurSel;
    case kMsgCbGetCurSel:
      return kMsgLbGetCurSel;
    case kMsgCbGetCount:
      return kMsgLbGetCount;
    case kMsgCbGetLbTextLen:
      return kMsgLbGetTextLen;
    case kMsgCbGetLbText:
      return kMsgLbGetText;
    default:
      return 0;
  }
}

void notify(WindowSystem& system, Hwnd window, uint32_t code = kLbnSelChange) {
  const Hwnd parent = system.parent(window);
  if (parent != 0)
    system.send_message(
        parent, kMsgCommand, static_cast<uint64_t>(code) << 16, static_cast<int64_t>(window));
}

// A selection by the user: kept in view and told to the parent when it changed.
void user_select(
    WindowSystem& system, Hwnd window, ListState& s, int32_t index, int32_t rows, bool tell) {
  if (s.items.empty()) return;
  index = std::clamp(index, 0, count_of(s) - 1);
  if (index < s.top) s.top = index;
  if (rows > 0 && index >= s.top + rows) s.top = index - rows + 1;
  system.invalidate(window, nullptr);
  if (index == s.selection) return;
  s.selection = index;
  if (tell) notify(system, window);
}

// Entries from `first` down a column of rows inside `area`.
void paint_rows(Page& page,
                const ListState& s,
                const Rect& area,
                int32_t first,
                int32_t lit,
                bool enabled,
                bool focus,
                const Rect& clip) {
  const auto font = cp::font_or_default(s.font);
  const int32_t h = row_height(s);
  const Rect box = intersect(area, clip);
  for (int32_t i = first; i < count_of(s); ++i) {
    const Rect row{
        area.left, area.top + (i - first) * h, area.right, area.top + (i - first + 1) * h};
    if (row.top >= area.bottom) break;
    const bool on = i == lit;
    if (on) cp::fill(page, row, kSelection, box);
    draw_text(page,
              *font,
              row.left + 2,
              row.top + 1,
              utf8_to_utf16(s.items[i]),
              TextColours{on        ? cp::kHighlight
                          : enabled ? cp::kText
                                    : cp::kGreyText,
                          0,
                          false},
              intersect(box, row));
    if (on && focus) cp::focus_rect(page, row, box);
  }
}

int32_t rows_in(const ListState& s, const Rect& area) {
  return std::max(1, area.height() / row_height(s));
}

// The entries the open list of a drop-down list shows at most (within its black frame).
int32_t dropped_rows(const ListState& s) {
  return std::max(1, (s.list_height - 2) / row_height(s));
}

int32_t visible_rows(WindowSystem& system, Hwnd window, const ListState& s) {
  return rows_in(s, cp::within_sunken_field(system, window));
}

// The bar of entries shown `rows` at a time from `top`: shown when `wanted` and they do not
// fit; `top` kept within the travel.
void sync_bar(
    scroll_track::InnerBars& bars, bool wanted, const ListState& s, int32_t rows, int32_t& top) {
  bars.show_vertical = wanted && count_of(s) > rows;
  ScrollInfo v;
  v.mask = kSifRange | kSifPage | kSifPos;
  v.max = std::max(0, count_of(s) - 1);
  v.page = static_cast<uint32_t>(rows);
  v.pos = top;
  bars.vertical.set_info(v);
  top = bars.vertical.pos;
}

void sync_list(WindowSystem& system, Hwnd window, ListState& s) {
  sync_bar(s.bars,
           (system.style(window) & kStyleVScroll) != 0,
           s,
           visible_rows(system, window, s),
           s.top);
}

// Carries out a scroll request (kSb*) of a bar on the first entry shown.
void scroll_to(WindowSystem& system,
               Hwnd window,
               scroll_track::InnerBars& bars,
               int32_t& top,
               const std::optional<scroll_track::Request>& r) {
  system.invalidate(window, nullptr);
  if (!r) return;
  if (const auto to = scroll_track::scrolled(bars.vertical, top, r->code, r->position, 1))
    top = *to;
}

// The mouse on a bar: true when it was the bar's (a press on it, or a move or release of a
// press that began on it).
bool bar_mouse(WindowSystem& system,
               Hwnd window,
               scroll_track::InnerBars& bars,
               const Rect& inside,
               int32_t& top,
               uint32_t message,
               int64_t lp) {
  const Point p{point_x(lp), point_y(lp)};
  switch (message) {
    case kMsgLButtonDown:
    case kMsgLButtonDblClk:
      if (!bars.hit(inside, p)) return false;
      scroll_to(system, window, bars, top, bars.press(inside, p));
      return true;
    case kMsgMouseMove:
      if (!bars.pressed()) return false;
      scroll_to(system, window, bars, top, bars.drag(inside, p));
      return true;
    case kMsgLButtonUp:
      if (!bars.pressed()) return false;
      scroll_to(system, window, bars, top, bars.release());
      return true;
    default:
      return false;
  }
}

int32_t wheel_notches(uint64_t wp) {
  return static_cast<int16_t>((wp >> 16) & 0xFFFF) / kWheelDelta;
}

// The open list of a drop-down list: its area within the black frame, its bar and what it
// shows.
Rect popup_inside(WindowSystem& system, Hwnd popup) {
  const Rect c = system.client_rect(popup);
  return Rect{c.left + 1, c.top + 1, c.right - 1, c.bottom - 1};
}

void sync_popup(WindowSystem& system, Hwnd popup, PopupState& p) {
  sync_bar(p.bars,
           (system.style(p.combo) & kStyleVScroll) != 0,
           *p.list,
           rows_in(*p.list, popup_inside(system, popup)),
           p.top);
}

// Brings the drop-down's selection into its open list's view.
void show_selection(WindowSystem& system, Hwnd popup) {
  auto p = std::static_pointer_cast<PopupState>(system.class_data(popup));
  if (!p) return;
  const int32_t rows = rows_in(*p->list, popup_inside(system, popup));
  const int32_t selection = p->list->selection;
  p->hover = selection;  // the keys move the highlight from where the mouse left it
  if (selection >= 0 && selection < p->top) p->top = selection;
  if (selection >= p->top + rows) p->top = selection - rows + 1;
  sync_popup(system, popup, *p);
  system.invalidate(popup, nullptr);
}

void close_list(WindowSystem& system, Hwnd combo, ListState& s) {
  const Hwnd popup = std::exchange(s.popup, 0);
  if (popup != 0) system.destroy_window(popup);
  system.invalidate(combo, nullptr);
}

void open_list(WindowSystem& system, Hwnd combo, const std::shared_ptr<ListState>& s) {
  if (s->popup != 0) return;
  const Point o = system.client_origin(combo);
  const Rect c = system.client_rect(combo);
  // As tall as the entries need, within the height the list was made with (one entry at least).
  const int32_t h =
      std::max(std::min(s->list_height, count_of(*s) * row_height(*s) + 2), row_height(*s) + 2);
  CreateWindowParams p;
  p.class_name = kClassComboList;
  p.style = kStylePopup;
  p.frame = Rect{o.x, o.y + c.height(), o.x + c.width(), o.y + c.height() + h};
  s->popup = system.create_window(p);
  if (s->popup == 0) return;
  system.set_class_data(s->popup, std::make_shared<PopupState>(PopupState{combo, s, -1, 0, {}}));
  show_selection(system, s->popup);
  system.show_window(s->popup, true);
  system.invalidate(combo, nullptr);
}

// The selection keys. `rows`: the entries shown at once (0: the view does not follow); a
// page key moves by one entry less than `shown`, so the entry last selected stays in sight.
bool list_key(WindowSystem& system,
              Hwnd window,
              ListState& s,
              uint32_t key,
              int32_t rows,
              int32_t shown,
              bool tell) {
  const int32_t page = std::max(1, shown - 1);
  switch (key) {
    case kVkUp:
      user_select(system, window, s, s.selection - 1, rows, tell);
      return true;
    case kVkDown:
      user_select(system, window, s, s.selection + 1, rows, tell);
      return true;
    case kVkPrior:  // with no selection yet, from the first entry
      user_select(system, window, s, std::max(0, s.selection) - page, rows, tell);
      return true;
    case kVkNext:
      user_select(system, window, s, std::max(0, s.selection) + page, rows, tell);
      return true;
    case kVkHome:
      user_select(system, window, s, 0, rows, tell);
      return true;
    case kVkEnd:
      user_select(system, window, s, count_of(s) - 1, rows, tell);
      return true;
    default:
      return false;
  }
}

int64_t common(
    WindowSystem& system, Hwnd window, ListState& s, uint32_t message, uint64_t wp, int64_t lp) {
  switch (message) {
    case kMsgSetFocus:
    case kMsgKillFocus:
      s.focused = message == kMsgSetFocus;
      system.invalidate(window, nullptr);
      return 0;
    case kMsgSetFont:
      s.font = wp ? *reinterpret_cast<const std::shared_ptr<const Font>*>(wp) : nullptr;
      if (lp) system.invalidate(window, nullptr);
      return 0;
    case kMsgEnable:
      system.invalidate(window, nullptr);
      return 0;
    case kMsgGetDlgCode:
      return kDlgCodeWantArrows | kDlgCodeWantChars;
    default:
      return system.default_window_proc(window, message, wp, lp);
  }
}

}  // namespace

int64_t list_box_proc(
    WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp) {
  auto s = state_of(system, window);
  bool handled = false;
  const int64_t answer = list_request(*s, message, wp, lp, handled);
  if (handled) {
    system.invalidate(window, nullptr);
    return answer;
  }
  const bool tell = (system.style(window) & kLbsNotify) != 0;
  const int32_t rows = visible_rows(system, window, *s);
  const Rect inside = cp::within_sunken_field(system, window);
  sync_list(system, window, *s);
  if (bar_mouse(system, window, s->bars, inside, s->top, message, lp)) {
    sync_list(system, window, *s);
    return 0;
  }
  switch (message) {
    case kMsgPaint: {
      if (lp == 0) return 0;
      const auto& t = *reinterpret_cast<const ChildPaint*>(lp);
      const bool enabled = system.is_enabled(window);
      cp::sunken_field(*t.surface, t.bounds, enabled, t.clip);
      const Point o = cp::client_on_page(system, window, t.bounds);
      const Rect area = s->bars.content(inside).translated(o.x, o.y);
      paint_rows(*t.surface, *s, area, s->top, s->selection, enabled, s->focused, t.clip);
      s->bars.paint(*t.surface, inside.translated(o.x, o.y), enabled, t.clip);
      return 0;
    }
    case kMsgLButtonDown:
    case kMsgLButtonDblClk: {
      system.set_focus(window);
      const int32_t i = s->top + (point_y(lp) - inside.top) / row_height(*s);
      if (i < 0 || i >= count_of(*s)) return 0;
      user_select(system, window, *s, i, rows, tell);
      if (message == kMsgLButtonDblClk && tell) notify(system, window, kLbnDblClk);
      return 0;
    }
    case kMsgKeyDown:
      list_key(system, window, *s, static_cast<uint32_t>(wp), rows, rows, tell);
      return 0;
    case kMsgMouseWheel:
      s->top -= kWheelRows * wheel_notches(wp);
      sync_list(system, window, *s);
      system.invalidate(window, nullptr);
      return 0;
    case kMsgVScroll:
      if (lp == 0)  // a request to the list's own bar
        scroll_to(system,
                  window,
                  s->bars,
                  s->top,
                  scroll_track::Request{
                      true, static_cast<uint32_t>(wp & 0xFFFF), static_cast<int16_t>(wp >> 16)});
      return 0;
    case kMsgLbGetTopIndex:
      return s->top;
    case kMsgSbmGetScrollInfo:  // of the list's own bar: wparam kSbsVert
      if (wp != kSbsVert || lp == 0 || !s->bars.show_vertical) return 0;
      s->bars.vertical.get_info(*reinterpret_cast<ScrollInfo*>(lp));
      return 1;
    default:
      return common(system, window, *s, message, wp, lp);
  }
}

int64_t combo_box_proc(
    WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp) {
  auto s = state_of(system, window);
  if (!s->sized && system.is_window(window)) {  // the field is one line; the rest drops down
    const Rect f = system.frame_rect(window);
    s->sized = true;
    s->list_height = std::max(0, f.height() - field_height(*s));
    system.move_window(window, Rect{f.left, f.top, f.right, f.top + field_height(*s)});
  }
  bool handled = false;
  const int64_t answer = list_request(*s, as_list_request(message), wp, lp, handled);
  if (handled) {
    system.invalidate(window, nullptr);
    if (s->popup) system.invalidate(s->popup, nullptr);
    return answer;
  }
  switch (message) {
    case kMsgPaint: {
      if (lp == 0) return 0;
      const auto& t = *reinterpret_cast<const ChildPaint*>(lp);
      const bool enabled = system.is_enabled(window);
      const Rect& r = t.bounds;
      cp::sunken_field(*t.surface, r, enabled, t.clip);
      const Rect button{r.right - 2 - kArrowWidth, r.top + 2, r.right - 2, r.bottom - 2};
      cp::raised_box(*t.surface, button, s->popup != 0, t.clip);
      const int32_t cx = button.left + button.width() / 2, cy = button.top + button.height() / 2;
      for (int32_t k = 0; k < 4; ++k)  // a downward arrow
        cp::fill(*t.surface,
                 Rect{cx - 3 + k, cy - 1 + k, cx + 4 - k, cy + k},
                 enabled ? cp::kText : cp::kGreyText,
                 t.clip);
      const Rect field{r.left + 3, r.top + 3, button.left - 1, r.bottom - 3};
      if (s->selection >= 0)
        paint_rows(*t.surface,
                   *s,
                   field,
                   s->selection,
                   s->focused ? s->selection : -1,
                   enabled,
                   s->focused,
                   t.clip);
      return 0;
    }
    case kMsgLButtonDown:
    case kMsgLButtonDblClk:
      system.set_focus(window);
      if (s->popup != 0)
        close_list(system, window, *s);
      else
        open_list(system, window, s);
      return 0;
    case kMsgKeyDown: {
      const uint32_t key = static_cast<uint32_t>(wp);
      if (key == kVkF4 || (key == kVkDown && (lp & kKeyAltHeld))) {
        if (s->popup)
          close_list(system, window, *s);
        else
          open_list(system, window, s);
      } else if ((key == kVkReturn || key == kVkEscape) && s->popup) {
        close_list(system, window, *s);
      } else if (list_key(system, window, *s, key, 0, dropped_rows(*s), true) && s->popup) {
        show_selection(system, s->popup);
      }
      return 0;
    }
    case kMsgKillFocus:
      close_list(system, window, *s);
      return common(system, window, *s, message, wp, lp);
    case kMsgCbShowDropDown:
      if (wp)
        open_list(system, window, s);
      else
        close_list(system, window, *s);
      return 1;
    case kMsgCbGetDroppedState:
      return s->popup != 0 ? 1 : 0;
    case kMsgDestroy:
      close_list(system, window, *s);
      return 0;
    default:
      return common(system, window, *s, message, wp, lp);
  }
}

int64_t combo_list_proc(
    WindowSystem& system, Hwnd popup, uint32_t message, uint64_t wp, int64_t lp) {
  auto p = std::static_pointer_cast<PopupState>(system.class_data(popup));
  if (!p) return system.default_window_proc(popup, message, wp, lp);
  ListState& s = *p->list;
  const Rect inside = popup_inside(system, popup);
  sync_popup(system, popup, *p);
  if (bar_mouse(system, popup, p->bars, inside, p->top, message, lp)) {
    sync_popup(system, popup, *p);
    return 0;
  }
  // The entry under a point, -1 off the entries.
  const auto entry = [&](int64_t at) {
    const Point pt{point_x(at), point_y(at)};
    const int32_t i = p->top + (pt.y - inside.top) / row_height(s);
    const bool on = p->bars.content(inside).contains(pt.x, pt.y) && i < count_of(s);
    return on ? i : -1;
  };
  switch (message) {
    case kMsgPaint:
      system.paint(popup, [&](Page& page, const Rect&) {
        const Rect all{0, 0, page.width(), page.height()};
        cp::fill(page, all, cp::kHighlight, all);
        cp::frame(page, all, cp::kText, cp::kText, all);
        paint_rows(page,
                   s,
                   p->bars.content(inside),
                   p->top,
                   p->hover >= 0 ? p->hover : s.selection,
                   true,
                   false,
                   all);
        p->bars.paint(page, inside, true, all);
      });
      return 0;
    case kMsgMouseMove:
      if (entry(lp) >= 0 && entry(lp) != p->hover) {
        p->hover = entry(lp);
        system.invalidate(popup, nullptr);
      }
      return 0;
    case kMsgLButtonUp: {
      const int32_t i = entry(lp);
      const Hwnd combo = p->combo;
      if (i < 0) return 0;
      close_list(system, combo, s);
      user_select(system, combo, s, i, 0, true);
      return 0;
    }
    case kMsgMouseWheel:
      p->top -= kWheelRows * wheel_notches(wp);
      sync_popup(system, popup, *p);
      system.invalidate(popup, nullptr);
      return 0;
    case kMsgCancelMode: {  // a press elsewhere (wparam: the window it went to, lparam: where)
      const Point o = system.client_origin(p->combo);
      const Rect field = system.client_rect(p->combo).translated(o.x, o.y);
      // The field toggles the list itself when the press reaches it; a press that no window
      // receives (the display held the pointer for the list) closes it wherever it was.
      if (wp == 0 || !field.contains(point_x(lp), point_y(lp))) close_list(system, p->combo, s);
      return 0;
    }
    default:
      return system.default_window_proc(popup, message, wp, lp);
  }
}

}  // namespace platform
