#include "platform/windowed/windowed_dialogs.hpp"

#include "platform/windowed/file_dialog.hpp"
#include "platform/windowed/message_box.hpp"
#include "platform/windowed/print_dialog.hpp"
#include "platform/windowed/text_entry.hpp"

namespace platform {

void WindowedDialogs::on_dialog_shown(std::function<void(Hwnd)> observer) {
  std::lock_guard<std::mutex> g(mutex_);
  observer_ = std::move(observer);
}

std::function<void(Hwnd)> WindowedDialogs::observer() const {
  std::lock_guard<std::mutex> g(mutex_);
  return observer_;
}

DialogAnswer WindowedDialogs::message_box(const MessageBoxRequest& request) {
  WindowSystem* system = system_;
  if (!system) return DialogAnswer::None;
  return show_message_box(*system, request, observer());
}

std::optional<std::string> WindowedDialogs::file_dialog(const FileDialogRequest& request) {
  WindowSystem* system = system_;
  if (!system) return std::nullopt;
  return show_file_dialog(*system, request, observer());
}

std::optional<PrintDialogAnswer> WindowedDialogs::print_dialog(const PrintDialogRequest& request) {
  WindowSystem* system = system_;
  if (!system) return std::nullopt;
  return show_print_dialog(*system, request, system->spooler().destinations(), observer());
}

std::optional<std::string> WindowedDialogs::text_entry(const TextEntryRequest& request) {
  WindowSystem* system = system_;
  if (!system) return std::nullopt;
  return show_text_entry(*system, request, observer());
}

std::optional<int32_t> WindowedDialogs::selection(const SelectionRequest& request) {
  WindowSystem* system = system_;
  if (!system) return std::nullopt;
  return show_selection(*system, request, observer());
}

}  // namespace platform
