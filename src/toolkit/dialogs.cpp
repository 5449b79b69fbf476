#include "toolkit/dialogs.hpp"

#include <cstring>

#include "platform/thread.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/text_conversion.hpp"

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
  r.text = to_platform(text);
  r.icon = message_icon(kind);
  r.buttons = buttons;
  return window_system->dialogs().message_box(r);
}

// Text of at most `max_bytes` bytes, cut at a character boundary.
std::string at_most(const char* text, size_t max_bytes) {
  std::string s = text ? text : "";
  if (s.size() <= max_bytes) return s;
  std::string cut(max_bytes + 1, '\0');
  copy_to_buffer(s, cut.data(), static_cast<int32_t>(max_bytes + 1));
  return cut.c_str();
}

// The filter list of a file dialog (see RequestFileDialog).
std::vector<platform::FileFilter> file_filters(const char* description, const char* extension) {
  std::vector<platform::FileFilter> filters;
  if (extension && *extension) {
    const std::string name =
        description && *description ? at_most(description, 128) : at_most(extension, 32) + "files";
    filters.push_back({to_platform(name), to_platform(at_most(extension, 128))});
  }
  filters.push_back({"All Files", "*.*"});
  return filters;
}

// The buffer's text up to its NUL (all of it when there is none).
std::string buffer_text(const char* buffer, int32_t length) {
  if (!buffer || length < 1) return {};
  return std::string(buffer, strnlen(buffer, static_cast<size_t>(length)));
}

// A title of at most 50 UTF-16 units, as the dialog's caption holds.
std::string caption_of(const char* title) {
  std::u16string wide = to_wide(title ? title : "Input Request");
  if (wide.size() > 50) {
    wide.resize(50);
    // A surrogate pair cut in two loses its first half too.
    if (wide.back() >= 0xD800 && wide.back() <= 0xDBFF) wide.pop_back();
  }
  return platform::utf16_to_utf8(wide);
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

namespace gk {

int32_t RequestFileDialog(int32_t mode,
                          const char* title,
                          char* path,
                          int32_t length,
                          const char* description,
                          const char* extension) {
  // Step 1.
  if (!path || length < 1 || !window_system) return 0;
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  // Step 2.
  platform::FileDialogRequest request;
  request.save = mode == 0;
  request.filters = file_filters(description, extension);
  const std::string initial = to_platform(buffer_text(path, length));
  if (!initial.empty() && (initial.back() == '/' || initial.back() == '\\'))
    request.initial_folder = initial;
  else
    request.initial_name = initial;
  if (title) request.title = to_platform(title);
  // Step 3.
  request.owner = rec ? rec->hwnd.load() : 0;
  // Step 4.
  std::optional<std::string> chosen;
  platform::DialogProvider& provider = window_system->dialogs();
  if (rec && rec->window_thread_id == platform::current_thread_id()) {
    chosen = provider.file_dialog(request);
  } else {
    auto thread = platform::Thread::create(
        [&]() -> uint32_t {
          chosen = provider.file_dialog(request);
          return chosen ? 1 : 0;
        },
        false);
    if (!thread) return 0;
    thread->join();
  }
  // Step 5: a path that does not fit is refused, not cut.
  if (!chosen) return 0;
  const std::string chosen_path = from_platform(*chosen);
  if (chosen_path.size() > static_cast<size_t>(length) - 1) return 0;
  copy_to_buffer(chosen_path, path, length);
  return 1;
}

int32_t dlgopenfile(
    const char* title, char* path, int32_t length, const char* description, const char* extension) {
  return RequestFileDialog(1, title, path, length, description, extension);
}

int32_t dlgsavefile(
    const char* title, char* path, int32_t length, const char* description, const char* extension) {
  return RequestFileDialog(0, title, path, length, description, extension);
}

bool dlgrequesttext_generic(
    char* buffer, int32_t length, const char* title, const char* prompt, bool password) {
  if (!buffer || length < 1 || !window_system) return false;
  platform::TextEntryRequest request;
  request.owner = dialog_owner();
  request.title = caption_of(title);
  request.has_prompt = prompt != nullptr;
  request.prompt = to_platform(prompt ? prompt : "");
  request.initial = to_platform(buffer_text(buffer, length));
  request.password = password;
  const std::optional<std::string> text = window_system->dialogs().text_entry(request);
  if (!text) return false;
  copy_to_buffer(from_platform(*text), buffer, length);
  return true;
}

bool dlgrequesttext(char* buffer, int32_t length, const char* title, const char* prompt) {
  return dlgrequesttext_generic(buffer, length, title, prompt, false);
}

bool dlgrequestpassword(char* buffer, int32_t length, const char* title, const char* prompt) {
  return dlgrequesttext_generic(buffer, length, title, prompt, true);
}

int32_t dlgrequestselection(const char* options, const char* title, const char* prompt) {
  if (!window_system) return -1;
  platform::SelectionRequest request;
  request.owner = dialog_owner();
  request.title = caption_of(title);
  request.has_prompt = prompt != nullptr;
  request.prompt = to_platform(prompt ? prompt : "");
  for (const char* o = options; o && *o; o += std::strlen(o) + 1)
    request.options.push_back(to_platform(o));
  const std::optional<int32_t> chosen = window_system->dialogs().selection(request);
  if (!chosen || *chosen < 0 || *chosen >= static_cast<int32_t>(request.options.size())) return -1;
  return *chosen;
}

}  // namespace gk
