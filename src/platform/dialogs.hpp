// The dialog provider: how the window system asks the user a modal question.
//
// A provider shows a message box and returns the button pressed, and shows the file and print
// dialogs and returns the choice. The headless provider records each request and answers from
// a script (see headless/headless_dialogs.hpp).
#pragma once

#include <cstdint>
#include <optional>
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

// An open or save file dialog. The filter shows `filter_name` and lists the files matching
// `pattern` (patterns separated by ';').
struct FileDialogRequest {
  Hwnd owner = 0;
  bool save = false;  // a save dialog, else an open dialog
  std::string title;  // empty: "Open" or "Save As"
  std::string filter_name;
  std::string pattern;
  std::string initial_name;
  bool overwrite_prompt = false;  // ask before replacing an existing file
  bool path_must_exist = false;
  bool file_must_exist = false;
};

// The print dialog: a printer (the one given preselected) or a PDF file. Without a printer the
// dialog offers the file only.
struct PrintDialogRequest {
  Hwnd owner = 0;
  std::string printer;  // preselected printer; empty: none configured
};
struct PrintDialogAnswer {
  std::string printer;  // the printer chosen; empty: print to `file`
  std::string file;
};

class DialogProvider {
 public:
  virtual ~DialogProvider() = default;
  // Shows the box modally (may be called from any thread) and returns the button pressed.
  virtual DialogAnswer message_box(const MessageBoxRequest& request) = 0;
  // Shows a file dialog; the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> file_dialog(const FileDialogRequest& request) = 0;
  // Shows the print dialog; the choice, or nothing when cancelled.
  virtual std::optional<PrintDialogAnswer> print_dialog(const PrintDialogRequest& request) = 0;
};

}  // namespace platform
