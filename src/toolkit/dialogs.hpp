// The toolkit's modal dialogs: message box, Yes/No question, open and save file, text entry,
// password entry and choice from a drop-down list.
//
// Message kinds: 1 "Information" (information icon), 2 "Warning" (exclamation), 3 "Error"
// (stop), any other "Message" (no icon). A dialog is owned by the current window when there is
// one, runs on the calling thread and blocks it until it closes; the window's own thread keeps
// running its loop meanwhile. Pairs of carriage return and line feed in a text are line breaks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dialogs.hpp"

namespace gk {

// Title and icon of a message kind.
std::string message_title(int32_t kind);
platform::DialogIcon message_icon(int32_t kind);

// Modal box with an OK button; a null text shows nothing.
void dlgmessage(int32_t kind, const char* text);
// Modal box with Yes and No; 1 when the user answered Yes, 0 otherwise (also for a null text,
// which shows nothing).
int32_t dlgyesno(int32_t kind, const char* text);

// File dialogs. `path` is a buffer of `length` bytes holding the initial file name or, when it
// ends in '/' or '\\', the folder to open in. The filter list offers, when `extension` is not
// empty, `description` (at most 128 bytes) or else the extension (at most 32) followed by
// "files", listing the pattern `extension` (at most 128); then always "All Files" ("*.*").
// 1 when a file was chosen: its full path is in `path`. 0 when cancelled, when `path` is null,
// or when the chosen path does not fit the buffer; `path` is then unchanged. Called on the
// current window's thread the dialog runs there; from any other thread it runs on a
// temporary thread while the caller waits.
int32_t RequestFileDialog(int32_t mode,
                          const char* title,
                          char* path,
                          int32_t length,
                          const char* description,
                          const char* extension);  // mode 1 open
int32_t dlgopenfile(
    const char* title, char* path, int32_t length, const char* description, const char* extension);
int32_t dlgsavefile(
    const char* title, char* path, int32_t length, const char* description, const char* extension);

// Text entry: the field starts with the buffer's text (up to its NUL, within `length`). On
// "Ok" the edited text goes into the buffer (at most length - 1 bytes, never a split
// character, and a NUL) and the answer is true; on "Cancel" the buffer is unchanged. Title
// null: "Input Request" (at most 50 UTF-16 units are shown); prompt null: no prompt line.
bool dlgrequesttext_generic(
    char* buffer, int32_t length, const char* title, const char* prompt, bool password);
bool dlgrequesttext(char* buffer, int32_t length, const char* title, const char* prompt);
bool dlgrequestpassword(char* buffer, int32_t length, const char* title, const char* prompt);
// Selection among `options`, NUL-terminated texts one after another closed by an empty text;
// the first starts selected. The 0-based option chosen with "Ok", -1 on "Cancel" or close.
int32_t dlgrequestselection(const char* options, const char* title, const char* prompt);

}  // namespace gk
