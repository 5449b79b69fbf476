#include "platform/windowed/print_dialog.hpp"

#include <algorithm>

#include "platform/controls/control_classes.hpp"
#include "platform/windowed/dialog_window.hpp"

namespace platform {
namespace {

constexpr int32_t kOkResult = 1, kCancelResult = 0;

// The layout, in dialog units: (left, top, right, bottom) of each control and the client size.
constexpr Rect kToPrinter{10, 10, 75, 20};
constexpr Rect kPrinterList{78, 8, 245, 88};
constexpr Rect kToFile{10, 30, 75, 40};
constexpr Rect kFileName{78, 28, 245, 42};
constexpr Rect kOk{151, 52, 196, 66};
constexpr Rect kCancel{200, 52, 245, 66};
constexpr Rect kClient{0, 0, 255, 74};

bool checked(DialogWindow& dialog, int32_t id) {
  return dialog.send_item(id, kMsgBmGetCheck) == kBstChecked;
}

void check(DialogWindow& dialog, int32_t on, int32_t off) {
  dialog.send_item(on, kMsgBmSetCheck, kBstChecked);
  dialog.send_item(off, kMsgBmSetCheck, kBstUnchecked);
}

// The chosen destination, or nothing when "OK" cannot answer yet.
std::optional<PrintDialogAnswer> choice(DialogWindow& dialog,
                                        const std::vector<std::string>& printers) {
  if (checked(dialog, kPrintToPrinterId)) {
    const int64_t i = dialog.send_item(kPrintPrinterListId, kMsgCbGetCurSel);
    if (i >= 0 && i < static_cast<int64_t>(printers.size()))
      return PrintDialogAnswer{printers[static_cast<size_t>(i)], ""};
    return std::nullopt;
  }
  const std::string file = dialog.item_text(kPrintFileNameId);
  if (file.empty()) return std::nullopt;
  return PrintDialogAnswer{"", file};
}

void add_controls(DialogWindow& dialog, const std::vector<std::string>& printers) {
  const DialogUnits& u = dialog.units();
  const uint32_t radio = kBsAutoRadioButton | kStyleTabStop;
  dialog.add(
      {kClassButton, "Printer:", radio | kStyleGroup, u.to_pixels(kToPrinter), kPrintToPrinterId});
  dialog.add({kClassComboBox,
              "",
              kCbsDropDownList | kStyleVScroll | kStyleTabStop,
              u.to_pixels(kPrinterList),
              kPrintPrinterListId});
  dialog.add({kClassButton, "Print to file:", radio, u.to_pixels(kToFile), kPrintToFileId});
  dialog.add({kClassEdit,
              "",
              kStyleBorder | kStyleTabStop | kEsAutoHScroll,
              u.to_pixels(kFileName),
              kPrintFileNameId});
  dialog.add({kClassButton,
              "OK",
              kBsDefPushButton | kStyleTabStop | kStyleGroup,
              u.to_pixels(kOk),
              kPrintOkId});
  dialog.add({kClassButton,
              "Cancel",
              kBsPushButton | kStyleTabStop,
              u.to_pixels(kCancel),
              kPrintCancelId});
  for (const std::string& p : printers)
    dialog.send_item(kPrintPrinterListId, kMsgCbAddString, 0, reinterpret_cast<int64_t>(p.c_str()));
}

}  // namespace

std::optional<PrintDialogAnswer> show_print_dialog(WindowSystem& system,
                                                   const PrintDialogRequest& request,
                                                   std::vector<std::string> printers,
                                                   const std::function<void(Hwnd)>& shown) {
  if (!request.printer.empty() &&
      std::find(printers.begin(), printers.end(), request.printer) == printers.end())
    printers.insert(printers.begin(), request.printer);
  const DialogUnits units(*DialogWindow::dialog_font());
  const Rect client = units.to_pixels(kClient);
  DialogWindow dialog(
      system, DialogFrame{request.owner, "Print", {client.width(), client.height()}, {}, shown});
  add_controls(dialog, printers);
  const auto preselected = std::find(printers.begin(), printers.end(), request.printer);
  dialog.send_item(kPrintPrinterListId,
                   kMsgCbSetCurSel,
                   preselected == printers.end() ? 0 : preselected - printers.begin());
  if (printers.empty()) {
    check(dialog, kPrintToFileId, kPrintToPrinterId);
    system.enable_window(dialog.item(kPrintToPrinterId), false);
    system.enable_window(dialog.item(kPrintPrinterListId), false);
  } else {
    check(dialog, kPrintToPrinterId, kPrintToFileId);
  }

  std::optional<PrintDialogAnswer> answer;
  dialog.on_command([&](int32_t id, uint32_t code) {
    if (id == kPrintPrinterListId && code == kLbnSelChange)
      check(dialog, kPrintToPrinterId, kPrintToFileId);
    if (code != kBnClicked) return;
    if (id == kPrintCancelId) dialog.end(kCancelResult);
    if (id != kPrintOkId) return;
    answer = choice(dialog, printers);
    if (answer)
      dialog.end(kOkResult);
    else
      system.set_focus(dialog.item(kPrintFileNameId));
  });
  dialog.set_cancel_result(kCancelResult);
  const int32_t first = printers.empty() ? kPrintFileNameId : kPrintPrinterListId;
  if (dialog.run(first) != kOkResult) return std::nullopt;
  return answer;
}

}  // namespace platform
