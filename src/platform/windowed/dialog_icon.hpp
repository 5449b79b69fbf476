// The icons of message boxes, drawn by the platform in simple classic shapes (32 x 32 pixels):
//   Information  a blue disc with a white "i"
//   Question     a white disc with a black rim and a blue "?"
//   Warning      a yellow triangle with a black rim and a black "!"
//   Error        a red disc with a black rim and a white cross
#pragma once

#include "platform/dialogs.hpp"
#include "platform/gfx/page.hpp"

namespace platform {

inline constexpr int32_t kDialogIconSize = 32;

// The main colour of an icon (disc or triangle), as a page pixel; 0 for DialogIcon::None.
Pixel dialog_icon_colour(DialogIcon icon);

// Draws the icon with its top-left corner at `at` (surface pixels), nothing outside `clip`;
// DialogIcon::None draws nothing.
void draw_dialog_icon(Page& surface, DialogIcon icon, Point at, const Rect& clip);

}  // namespace platform
