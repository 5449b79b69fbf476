// Menus of a toolkit window: its menu bar, the drop-down menus under it and their items.
//
// `addmenu` returns a menu index, the menu's position in the window's menu list (the bar is 0
// when it is made first); `addmenuitem` returns an item id, the item's position in the
// window's menu-handler list, unique across all menus of the window and the command the item
// carries. Separators take an item id too. Choosing an item runs its callback on a new
// callback thread (gk_callbacks.hpp); inside it `getmenuhandlerid` answers the item id. Both
// lists only grow: removing a menu or item leaves its entries in place.
//
// The lists are built and read on the window's own thread (each call below runs there), so no
// command ever sees a half-grown list. Failures answer -2. All act on the current window;
// without one they answer -2 or do nothing.
#pragma once

#include <cstdint>

#include "toolkit/gk_record.hpp"

namespace gk {

// parent -1: the window's menu bar (text ignored; -2 when it has one); otherwise a drop-down
// menu captioned `text` appended to the menu `parent`. The new menu index, or -2.
int32_t addmenu(const char* text, int32_t parent);
// A command item captioned `text` that runs `callback`; with no text (null or empty) a
// separator. With text and no callback: -2, and the item id is used up all the same.
int32_t addmenuitem(const char* text, int32_t menu, Callback callback);
int32_t addmenuitem_ptr(const char* text, int32_t menu, const Callback* callback);
void addmenuseparator(int32_t menu);
// 1 enables, 0 greys the item, in whatever menu it is; the item's previous state (1 greyed,
// 0 enabled), -1 when there is no such item.
int32_t enablemenuitem(int32_t id, int32_t flag);
void removemenuitem(int32_t id);  // its handler entry stays
// Destroys the menu and clears its list entry; when that leaves the window without a bar,
// the controls move up by the bar's height and the window is fitted to its client size.
void removemenu(int32_t index);

// Resizes the window (not moving it) so that its client area has the record's client size,
// with or without a menu bar.
void AdjustWindowSize(WindowData& record);
// Moves one control up (up nonzero) or down by the menu bar's height, keeping its size.
void EnumShiftChildren(Hwnd child, int32_t up);

// Plugs the menu module into the window procedure (enabling and greying items); call before
// the first window.
void install_menus();

}  // namespace gk
