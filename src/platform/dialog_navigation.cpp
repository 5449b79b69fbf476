// Keyboard navigation among the controls of a window, as dialogs have it (Tab, Shift+Tab,
// Enter).
#include <algorithm>

#include "platform/controls/control_classes.hpp"
#include "platform/window_system.hpp"

namespace platform {
namespace {

// The descendants of `window` in creation order, depth first.
void collect(const WindowSystem& system, Hwnd window, std::vector<Hwnd>& out) {
  for (Hwnd child : system.children(window)) {
    out.push_back(child);
    collect(system, child, out);
  }
}

bool is_push_button(const WindowSystem& system, Hwnd window) {
  const uint32_t kind = system.style(window) & kBsTypeMask;
  return system.class_name(window) == kClassButton &&
         (kind == kBsPushButton || kind == kBsDefPushButton);
}

}  // namespace

bool WindowSystem::is_dialog_message(Hwnd dialog, const Message& message) {
  if (message.message != kMsgKeyDown) return false;
  if (message.hwnd != dialog && root(message.hwnd) != dialog) return false;
  std::vector<Hwnd> all;
  collect(*this, dialog, all);
  if (message.wparam == kVkTab) {
    std::vector<Hwnd> stops;
    for (Hwnd h : all)
      if ((style(h) & kStyleTabStop) && is_visible(h) && is_enabled(h)) stops.push_back(h);
    if (stops.empty()) return true;
    const bool back = (message.lparam & kKeyShiftHeld) != 0;
    auto at = std::find(stops.begin(), stops.end(), focus());
    size_t next;
    if (at == stops.end()) {
      next = back ? stops.size() - 1 : 0;
    } else {
      const size_t i = static_cast<size_t>(at - stops.begin());
      next = back ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
    }
    set_focus(stops[next]);
    // A field reached by the keyboard has its whole text selected, so typing replaces it.
    if (send_message(stops[next], kMsgGetDlgCode) & kDlgCodeHasSetSel)
      send_message(stops[next], kMsgEmSetSel, 0, -1);
    return true;
  }
  if (message.wparam == kVkReturn) {
    Hwnd target = 0;
    if (is_push_button(*this, focus()) && root(focus()) == dialog) {
      target = focus();
    } else {
      for (Hwnd h : all)
        if (is_push_button(*this, h) && (style(h) & kBsTypeMask) == kBsDefPushButton &&
            is_enabled(h)) {
          target = h;
          break;
        }
    }
    if (target == 0) return false;
    send_message(target, kMsgBmClick);
    return true;
  }
  return false;
}

}  // namespace platform
