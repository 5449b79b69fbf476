#include "platform/windowed/text_entry.hpp"

#include "platform/controls/control_classes.hpp"
#include "platform/windowed/dialog_window.hpp"

namespace platform {
namespace {

constexpr int32_t kOkResult = 1, kCancelResult = 0;

// The dialog with its buttons and prompt; the field is the caller's.
class EntryDialog {
 public:
  EntryDialog(WindowSystem& system,
              Hwnd owner,
              const std::string& title,
              bool has_prompt,
              const std::string& prompt,
              const std::function<void(Hwnd)>& shown)
      : dialog_(system, frame(system, owner, title, shown)) {
    add(kClassButton, "Ok", kBsDefPushButton | kStyleTabStop, {163, 47, 203, 61}, kEntryOkId);
    add(kClassButton, "Cancel", kBsPushButton | kStyleTabStop, {205, 47, 245, 61}, kEntryCancelId);
    if (has_prompt) add(kClassStatic, prompt, kSsLeft, {10, 13, 249, 21}, kEntryPromptId);
    dialog_.on_command([this](int32_t id, uint32_t code) {
      if (code != kBnClicked) return;
      if (id == kEntryOkId) {
        if (on_ok_) on_ok_();
        dialog_.end(kOkResult);
      }
      if (id == kEntryCancelId) dialog_.end(kCancelResult);
    });
    dialog_.set_cancel_result(kCancelResult);
  }

  // Adds a control placed in dialog units.
  Hwnd add(const char* cls, const std::string& text, uint32_t style, Rect units, int32_t id) {
    return dialog_.add({cls, text, style, dialog_.units().to_pixels(units), id});
  }
  DialogWindow& dialog() { return dialog_; }
  // Runs the dialog; true when it ended with "Ok", after `on_ok` read the field.
  bool run(std::function<void()> on_ok) {
    on_ok_ = std::move(on_ok);
    return dialog_.run(kEntryFieldId) == kOkResult;
  }

 private:
  static DialogFrame frame(WindowSystem& system,
                           Hwnd owner,
                           const std::string& title,
                           const std::function<void(Hwnd)>& shown) {
    const DialogUnits units(*DialogWindow::dialog_font());
    const Rect r = units.to_pixels({30, 30, 255, 65});  // x, y, width, height, each mapped
    const Point base = system.is_window(owner) ? system.client_origin(owner) : Point{0, 0};
    return DialogFrame{owner,
                       title.empty() ? "Input Request" : title,
                       Size{r.right, r.bottom},
                       Point{base.x + r.left, base.y + r.top},
                       shown};
  }

  DialogWindow dialog_;
  std::function<void()> on_ok_;
};

}  // namespace

std::optional<std::string> show_text_entry(WindowSystem& system,
                                           const TextEntryRequest& request,
                                           const std::function<void(Hwnd)>& shown) {
  EntryDialog entry(
      system, request.owner, request.title, request.has_prompt, request.prompt, shown);
  const uint32_t password = request.password ? kEsPassword : 0;
  entry.add(kClassEdit,
            request.initial,
            kStyleBorder | kStyleTabStop | kEsAutoHScroll | password,
            {10, 24, 245, 38},
            kEntryFieldId);
  std::string text;
  if (!entry.run([&] { text = entry.dialog().item_text(kEntryFieldId); })) return std::nullopt;
  return text;
}

std::optional<int32_t> show_selection(WindowSystem& system,
                                      const SelectionRequest& request,
                                      const std::function<void(Hwnd)>& shown) {
  EntryDialog entry(
      system, request.owner, request.title, request.has_prompt, request.prompt, shown);
  entry.add(kClassComboBox,
            "",
            kStyleVScroll | kStyleTabStop | kCbsDropDownList,
            {10, 24, 245, 91},
            kEntryFieldId);
  DialogWindow& dialog = entry.dialog();
  for (const std::string& option : request.options)
    dialog.send_item(kEntryFieldId, kMsgCbAddString, 0, reinterpret_cast<int64_t>(option.c_str()));
  dialog.send_item(kEntryFieldId, kMsgCbSetCurSel, 0);
  int32_t chosen = -1;
  if (!entry.run(
          [&] { chosen = static_cast<int32_t>(dialog.send_item(kEntryFieldId, kMsgCbGetCurSel)); }))
    return std::nullopt;
  // An empty list has nothing selected: "Ok" then chooses nothing.
  if (chosen < 0) return std::nullopt;
  return chosen;
}

}  // namespace platform
