// Saving a window as a bitmap file, printing it on one page, and drawing picture files.
//
// Rectangles of writeimagefile and printimage are in window pixels (the viewport does not
// apply); the DC lock is held only while the block is copied, so the window goes on painting
// while a dialog is open, a file is written or a page is printed. readimagefile draws in
// viewport coordinates on the active page.
//
// Printing: the print dialog is shown on every call; the printer chosen last is remembered
// by the window system, which also opens the printer chosen (its printing services, which
// start-up code or tests may replace).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/image/picture.hpp"

namespace gk {

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
// 2147483647 stands for the picture's own width or height. Transparent parts of the picture
// (icons) leave the page's pixels as they were.
void readimagefile(const char* filename, int32_t left, int32_t top, int32_t right, int32_t bottom);
// The picture of a file; nothing when it cannot be read, after an error box that says why:
// "Insufficient memory to read image" when memory ran out, else "Cannot read image NAME:
// REASON" (the system's reason the file cannot be opened or read, "not a regular file",
// "larger than N bytes", or the decoder's: "not a picture", "larger than N pixels", ...; see
// platform::load_picture and platform::DecodeError).
std::optional<platform::Picture> readipicture(const char* filename);

}  // namespace gk
