// The open-file and save-file dialog, a modal dialog window of platform controls:
//
//   "Look in:"        the folder shown (absolute path)
//   list              its entries (file_listing): folders with a trailing '/' ("../" goes up),
//                     then the files the chosen filter lists; a scroll bar while they do
//                     not fit
//   "File name:"      an edit field, holding the request's initial name at first
//   "Files of type:"  a drop-down list of the request's filters by name, the first chosen
//   "Open" or "Save"  the default button, and "Cancel"
//
// The title is the request's, else "Open" or "Save As". The dialog starts in the request's
// initial folder when that exists (an initial name with a folder part starts in that folder),
// else in the process's current directory, which it only reads.
//
// Selecting a file in the list puts its name in the field; choosing another type lists the
// folder again. A double click on an entry, or Enter while the list has the focus, enters a
// folder or confirms a file. Confirming the field ("Open"/"Save" or Enter) follows
// file_choice: a folder is entered (the field is emptied), a pattern such as "*.txt" filters
// the list until another type is chosen, a refused name is explained in a message box, and
// replacing an existing file is asked as a Yes/No question, both through the window system's
// dialog provider. An unreadable folder is explained the same way and the dialog stays where
// it was. "Cancel", the close box and Escape choose nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/dialogs.hpp"
#include "platform/window_system.hpp"

namespace platform {

inline constexpr int32_t kFileOkId = 1;
inline constexpr int32_t kFileCancelId = 2;
inline constexpr int32_t kFileFolderId = 1201;  // static text: the folder shown
inline constexpr int32_t kFileListId = 1202;
inline constexpr int32_t kFileNameId = 1203;
inline constexpr int32_t kFileTypeId = 1204;

// Shows the dialog on the calling thread until it is answered (see DialogWindow): the chosen
// file's absolute path, or nothing. `shown` as in DialogFrame.
std::optional<std::string> show_file_dialog(WindowSystem& system,
                                            const FileDialogRequest& request,
                                            const std::function<void(Hwnd)>& shown);

}  // namespace platform
