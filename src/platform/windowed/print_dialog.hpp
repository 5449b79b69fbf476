// The print dialog: print on one of the spooler's printers, or to a (PDF) file.
//
// "Printer:" (a radio button) with a drop-down list of the spooler's destinations, the
// request's printer selected (listed first when the spooler does not name it); "Print to
// file:" (a radio button) with a field for the file's name; "OK" (default) and "Cancel".
// Without any printer only the file can be chosen. Choosing a printer in the list selects
// "Printer:". "OK" answers the printer chosen, or the file when "Print to file:" is selected
// and a name is given (without a name the focus goes to the field and the dialog stays);
// "Cancel", the close box and Escape answer nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.hpp"
#include "platform/window_system.hpp"

namespace platform {

inline constexpr int32_t kPrintOkId = 1;
inline constexpr int32_t kPrintCancelId = 2;
inline constexpr int32_t kPrintToPrinterId = 1101;
inline constexpr int32_t kPrintPrinterListId = 1102;
inline constexpr int32_t kPrintToFileId = 1103;
inline constexpr int32_t kPrintFileNameId = 1104;

// Shows the dialog on the calling thread until it is answered (see DialogWindow), offering
// `printers`; `shown` as in DialogFrame.
std::optional<PrintDialogAnswer> show_print_dialog(WindowSystem& system,
                                                   const PrintDialogRequest& request,
                                                   std::vector<std::string> printers,
                                                   const std::function<void(Hwnd)>& shown);

}  // namespace platform
