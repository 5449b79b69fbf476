// The geometry of saving and printing a window: which block of a page is taken, what name a
// chosen bitmap file gets, and where the title and the picture go on the printed page.
#pragma once

#include <cstdint>
#include <string>

namespace gk {

struct PageBlock {
  int32_t x = 0, y = 0;  // top-left page pixel
  int32_t width = 0, height = 0;
};

// The block of the rectangle (left, top)-(right, bottom), both corners included, in a client
// area of client_width x client_height: negative coordinates count as 0, coordinates beyond
// the client are cut to its last pixel, and the corners may come in either order.
PageBlock page_block(int32_t left,
                     int32_t top,
                     int32_t right,
                     int32_t bottom,
                     int32_t client_width,
                     int32_t client_height);

// A name chosen in the save dialog with ".BMP" appended when it has no extension: when it has
// fewer than 4 characters, or its fourth character from the end is not '.' and it has fewer
// than 256 characters.
std::string complete_bmp_name(const std::string& name);

struct PrintLayout {
  int32_t title_x = 0, title_y = 0;  // device units
  int32_t image_x = 0, image_y = 0;
  int32_t image_width = 0, image_height = 0;
};

// The one-page layout at the printer's resolution: the title 0.75 inch from the left and top
// edges; the picture 0.75 inch from the left, 1.0 inch from the top under a title and 0.75
// inch without one, 7.5 inches wide and as high as its aspect asks. Positions are truncated
// to whole device units.
PrintLayout print_layout(
    int32_t dpi_x, int32_t dpi_y, int32_t width, int32_t height, bool with_title);

}  // namespace gk
