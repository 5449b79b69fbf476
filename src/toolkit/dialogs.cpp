#include "toolkit/dialogs.hpp"

#include "toolkit/gk_window.hpp"

namespace gk {
namespace {

using platform::DialogAnswer;
using platform::DialogButtons;

// The owner of a dialog: the current window when windows exist and one is current.
Hwnd dialog_owner() {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  return rec ? rec->hwnd.load() : 0;
}

DialogAnswer show(int32_t kind, const char* text, DialogButtons buttons) {
  if (!window_system) return DialogAnswer::None;
  platform::MessageBoxRequest r;
  r.owner = dialog_owner();
  r.title = message_title(kind);
  r.text = text;
  r.icon = message_icon(kind);
  r.buttons = buttons;
  return window_system->dialogs().message_box(r);
}

}  // namespace

std::string message_title(int32_t kind) {
  switch (kind) {
    case 1:
      return "Information";
    case 2:
      return "Warning";
    case 3:
      return "Error";
    default:
      return "Message";
  }
}

platform::DialogIcon message_icon(int32_t kind) {
  switch (kind) {
    case 1:
      return platform::DialogIcon::Information;
    case 2:
      return platform::DialogIcon::Warning;
    case 3:
      return platform::DialogIcon::Error;
    default:
      return platform::DialogIcon::None;
  }
}

void dlgmessage(int32_t kind, const char* text) {
  if (text) show(kind, text, DialogButtons::Ok);
}

int32_t dlgyesno(int32_t kind, const char* text) {
  if (!text) return 0;
  return show(kind, text, DialogButtons::YesNo) == DialogAnswer::Yes ? 1 : 0;
}

}  // namespace gk
