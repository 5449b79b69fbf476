// What a file dialog does with the name in its name field when the user confirms it.
//
// The name may be a file name, a relative path (seen from the folder shown), an absolute path,
// a folder to go to, or a pattern such as "*.txt" that filters the list instead of choosing.
// The request's checks decide whether a file is chosen, must be confirmed (replacing an
// existing file) or is refused with a message; nothing is chosen without them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/dialogs.hpp"

namespace platform::file_choice {

enum class Action {
  Stay,     // nothing typed: nothing happens
  Enter,    // show the folder `path`
  Filter,   // show the folder `path` through `pattern`
  Choose,   // the dialog ends with `path`
  Confirm,  // ask `message` (Yes/No); Yes ends the dialog with `path`
  Refuse,   // tell `message`; the dialog stays as it is
};

struct Outcome {
  Action action = Action::Stay;
  std::filesystem::path path;  // absolute, lexically normal
  std::string pattern;
  std::string message;
};

// The question asked before an existing file `name` (its last component) is replaced.
std::string replace_question(const std::string& name);

// The outcome of confirming `typed` while the absolute `folder` is shown.
Outcome confirm_name(const FileDialogRequest& request,
                     const std::filesystem::path& folder,
                     std::string_view typed);

}  // namespace platform::file_choice
