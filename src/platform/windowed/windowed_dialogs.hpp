// The windowed dialog provider: every dialog is a real window of the window system, with its
// controls, drawn by the platform (message_box.hpp, text_entry.hpp, print_dialog.hpp), so the
// dialogs look and work the same on every display.
//
// The window system is made with its provider, and this provider needs the window system, so
// they are joined in this order:
//   WindowedDialogs dialogs;
//   WindowSystem system(backend, dialogs);
//   dialogs.attach(system);
// Until it is attached (and after `attach(nullptr)`), the provider shows nothing: message boxes
// answer DialogAnswer::None and the other dialogs nothing. Each dialog runs on the thread that
// asks for it (any thread; see DialogWindow).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dialogs.hpp"
#include "platform/window_system.hpp"

namespace platform {

class WindowedDialogs : public DialogProvider {
 public:
  void attach(WindowSystem* system) { system_ = system; }
  // Called on a dialog's thread once it is shown and has the focus (tests use it to find the
  // window); empty: nobody is told.
  void on_dialog_shown(std::function<void(Hwnd dialog)> observer);

  DialogAnswer message_box(const MessageBoxRequest& request) override;
  std::optional<std::string> file_dialog(const FileDialogRequest& request) override;
  std::optional<PrintDialogAnswer> print_dialog(const PrintDialogRequest& request) override;
  std::optional<std::string> text_entry(const TextEntryRequest& request) override;
  std::optional<int32_t> selection(const SelectionRequest& request) override;

 private:
  std::function<void(Hwnd)> observer() const;

  std::atomic<WindowSystem*> system_{nullptr};
  mutable std::mutex mutex_;  // guards observer_
  std::function<void(Hwnd)> observer_;
};

}  // namespace platform
