// The built-in control classes of the window system: push button, check box, radio button and
// group box ("BUTTON"), scroll bar ("SCROLLBAR"), static text ("STATIC"), one-line and
// multi-line text fields ("EDIT"), list box ("LISTBOX") and drop-down list ("COMBOBOX").
//
// Controls are child windows whose class procedure keeps their state (the class data of the
// window), draws them in the one classic style when their top-level window paints, and tells
// the parent what the user did: kMsgCommand with a notification code for buttons, kMsgHScroll
// or kMsgVScroll with a scroll request for scroll bars. A pressed control captures the mouse
// until the button is released. Disabled controls are drawn greyed and take no input. Static
// text, check boxes, radio buttons, group boxes and read-only or disabled text fields ask their
// parent for their background as they paint (parent_background.hpp).
//
// Every WindowSystem registers these classes when it is made.
#pragma once

#include <memory>

#include "platform/text/font.hpp"
#include "platform/window_system.hpp"

namespace platform {

inline constexpr const char* kClassButton = "BUTTON";
inline constexpr const char* kClassScrollBar = "SCROLLBAR";
inline constexpr const char* kClassStatic = "STATIC";
inline constexpr const char* kClassEdit = "EDIT";
inline constexpr const char* kClassListBox = "LISTBOX";
inline constexpr const char* kClassComboBox = "COMBOBOX";
inline constexpr const char* kClassComboList = "#combolist";  // the open list of a drop-down

void register_control_classes(WindowSystem& system);

// Class procedures (registered by register_control_classes).
int64_t button_proc(WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp);
int64_t scroll_bar_proc(
    WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp);
int64_t edit_proc(WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp);
int64_t list_box_proc(
    WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp);
int64_t combo_box_proc(
    WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp);
int64_t combo_list_proc(
    WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp);
int64_t static_proc(WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp);

}  // namespace platform
