// Saving a window as a bitmap file, printing it on one page, and drawing picture files.
//
// Rectangles of writeimagefile and printimage are in window pixels (the viewport does not
// apply); the DC lock is held only while the block is copied, so the window goes on painting
// while a dialog is open, a file is written or a page is printed. readimagefile draws in
// viewport coordinates on the active page.
//
// Printing: the print dialog is shown on every call; the printer chosen last is remembered
// for the whole process (`pd_Printer`). Printers are opened through `open_printer`, which
// start-up code or tests may replace: by default a chosen printer is reached through
// `spooler` and a chosen file is written as a PDF document.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dialogs.hpp"
#include "platform/gfx/page.hpp"
#include "platform/print/printer.hpp"

namespace gk {

struct PrintSettings {
  bool asked = false;   // the default printer has been looked up
  std::string printer;  // the printer chosen last; empty: none
};
inline PrintSettings pd_Printer;  // shared by all windows, guarded by print_lock
inline std::mutex print_lock;

// The print spooler; null uses the system's (lp).
inline platform::Spooler* spooler = nullptr;
// Opens the printer the print dialog chose; null when it cannot be had.
using PrinterOpener =
    std::function<std::shared_ptr<platform::Printer>(const platform::PrintDialogAnswer&)>;
inline PrinterOpener open_printer;

// Nonzero when the file was written; 0 when the dialog was cancelled, the file could not be
// created or a write failed (a partly written file is removed).
int32_t writeimagefile(const char* filename,
                       int32_t left,
                       int32_t top,
                       int32_t right,
                       int32_t bottom,
                       int32_t activeflag);
// Nonzero when printed; 0 when the dialog was cancelled or the document could not be started.
int32_t printimage(const char* title,
                   int32_t left,
                   int32_t top,
                   int32_t right,
                   int32_t bottom,
                   int32_t activeflag);
// Draws a picture file scaled into the rectangle of the active page; a right or bottom of
// 2147483647 stands for the picture's own width or height.
void readimagefile(const char* filename, int32_t left, int32_t top, int32_t right, int32_t bottom);
// The picture of a file; nothing when it cannot be read.
std::optional<platform::Page> readipicture(const char* filename);

void reset_printing();

}  // namespace gk
