// Stand-alone scroll bars: the "SCROLLBAR" kind of controls.
//
// A new scroll bar has range 0..100, page size 10 and position 0; the position stays within
// min..max - (page - 1). When the user scrolls, the window moves the thumb itself (a line is
// 1, a page the page size, dragging follows the thumb) and then runs the bar's scroll
// callbacks on one new thread with the new position: first the one taking it by value, then
// the one taking it by reference. Setting the position from the program runs no callback.
//
// Ids are global control ids (controls.hpp); unknown ids make the setters do nothing and
// getscrollposition answer -1.
#pragma once

#include <cstdint>

#include "toolkit/gk_record.hpp"

namespace gk {

// orientation 0 horizontal, any other value vertical; the id, or -1.
int32_t createscrollbar_generic(int32_t left,
                                int32_t top,
                                int32_t width,
                                int32_t height,
                                int32_t orientation,
                                ScrollCallback by_value,
                                ScrollCallbackRef by_reference);
int32_t createscrollbar(int32_t left,
                        int32_t top,
                        int32_t width,
                        int32_t height,
                        int32_t orientation,
                        ScrollCallback callback);
// The callback takes the position by reference; none when the pointer is null.
int32_t createscrollbar_ptr(int32_t left,
                            int32_t top,
                            int32_t width,
                            int32_t height,
                            int32_t orientation,
                            const ScrollCallbackRef* callback);

void setscrollrange(int32_t id, int32_t minimum, int32_t maximum);
void setscrollpagesize(int32_t id, int32_t page);
void setscrollposition(int32_t id, int32_t position);
int32_t getscrollposition(int32_t id);
void removescrollbar(int32_t id);

// The window procedure's handling of a scroll request from one of its scroll bars
// (kMsgHScroll/kMsgVScroll, `control` the bar); false when the bar is not in the window's
// table (the message then takes the default road).
bool on_control_scroll(const WindowRef& record, uint64_t wparam, Hwnd control);

}  // namespace gk
