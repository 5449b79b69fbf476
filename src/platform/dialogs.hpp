// The dialog provider: how the window system asks the user a modal question.
//
// A provider shows a message box and returns the button pressed. The headless provider records
// each request and answers from a script (see headless/headless_dialogs.hpp).
#pragma once

#include <cstdint>
#include <string>

#include "platform/messages.hpp"

namespace platform {

enum class DialogIcon { None, Information, Warning, Error, Question };
enum class DialogButtons { Ok, OkCancel, YesNo, YesNoCancel };
// Button values (what a message box returns).
enum class DialogAnswer : int32_t { None = 0, Ok = 1, Cancel = 2, Yes = 6, No = 7 };

struct MessageBoxRequest {
  Hwnd owner = 0;  // 0 = no owner
  std::string title;
  std::string text;
  DialogIcon icon = DialogIcon::None;
  DialogButtons buttons = DialogButtons::Ok;
};

// The answer a user gives by just confirming: the first button.
DialogAnswer default_answer(DialogButtons buttons);

class DialogProvider {
 public:
  virtual ~DialogProvider() = default;
  // Shows the box modally (may be called from any thread) and returns the button pressed.
  virtual DialogAnswer message_box(const MessageBoxRequest& request) = 0;
};

}  // namespace platform
