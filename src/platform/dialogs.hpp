// The dialog provider: how the window system asks the user a modal question.
//
// A provider shows a message box and returns the button pressed, and shows the file, print,
// text-entry and selection dialogs and returns the choice. Each request carries all its own
// parameters, so dialogs asked by several threads at once do not mix. The headless provider
// records each request and answers from a script (see headless/headless_dialogs.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// One entry of a file dialog's filter list: the name shown and the patterns of the files it
// lists (separated by ';'). "*.*" lists every file.
struct FileFilter {
  std::string name;
  std::string pattern;
  friend bool operator==(const FileFilter&, const FileFilter&) = default;
};

// An open or save file dialog. It opens in `initial_folder` (empty: wherever the dialog
// likes) with `initial_name` in its name field, and offers `filters` in order, the first
// chosen. A file dialog never changes the process's current directory.
struct FileDialogRequest {
  Hwnd owner = 0;
  bool save = false;  // a save dialog, else an open dialog
  std::string title;  // empty: "Open" or "Save As"
  std::vector<FileFilter> filters;
  std::string initial_folder;
  std::string initial_name;
  bool overwrite_prompt = false;  // ask before replacing an existing file
  bool path_must_exist = false;
  bool file_must_exist = false;
};

// The dialog's title: the one asked for, else "Open" or "Save As".
std::string file_dialog_title(const FileDialogRequest& request);

// A one-line text entry with "Ok" and "Cancel": the title, a prompt above the field (none when
// `has_prompt` is false) and the field holding `initial`, its text hidden for a password.
struct TextEntryRequest {
  Hwnd owner = 0;
  std::string title;
  bool has_prompt = false;
  std::string prompt;
  std::string initial;
  bool password = false;
};

// A choice from a drop-down list with "Ok" and "Cancel"; the first option starts selected.
struct SelectionRequest {
  Hwnd owner = 0;
  std::string title;
  bool has_prompt = false;
  std::string prompt;
  std::vector<std::string> options;
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
  // Shows a text entry; the text on "Ok", nothing on "Cancel" or close.
  virtual std::optional<std::string> text_entry(const TextEntryRequest& request) = 0;
  // Shows a selection; the 0-based option on "Ok", nothing on "Cancel" or close.
  virtual std::optional<int32_t> selection(const SelectionRequest& request) = 0;
};

}  // namespace platform
