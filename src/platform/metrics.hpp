// System metrics and system colours of the window system's one classic style.
//
// The frame, caption and icon sizes belong to the style the window system draws, so they are
// the same on every backend; only the screen size comes from the display.
//
//   metric              value  meaning
//   CxScreen/CyScreen   -      primary screen, from the backend
//   Cx/CyVirtualScreen  -      all screens together: the primary screen here
//   Cx/CyFixedFrame     3      frame of a window that cannot be resized (dialog frame)
//   Cx/CySizeFrame      4      frame of a resizable window (thick frame)
//   CyCaption           23     caption bar
//   CyMenu              19     menu bar (one line)
//   CxIcon/CyIcon       32     large icon
//   CxSmIcon/CySmIcon   16     small icon (also the caption buttons' width)
//   Cx/CyDoubleClk      4      a second click counts as a double click inside this box ...
//   DoubleClickTime     500    ... and within this many milliseconds
//   Cx/CyMinTrack       112/27 smallest frame a user resize can give
#pragma once

#include <cstdint>

#include "platform/backend.hpp"

namespace platform {

enum class Metric {
  CxScreen,
  CyScreen,
  CxVirtualScreen,
  CyVirtualScreen,
  CxFixedFrame,
  CyFixedFrame,
  CxSizeFrame,
  CySizeFrame,
  CyCaption,
  CyMenu,
  CxIcon,
  CyIcon,
  CxSmIcon,
  CySmIcon,
  CxDoubleClk,
  CyDoubleClk,
  DoubleClickTime,
  CxMinTrack,
  CyMinTrack,
};

int32_t system_metric(Metric metric, const Backend& backend);

// Default position of a window placed by the system (the x the platform picks; the caller's y
// is kept).
inline constexpr int32_t kDefaultWindowX = 26;

// System colours by index (0..30), as colour values red + 256 green + 65536 blue:
//   0 scroll bar C8C8C8, 1 desktop 008080 teal, 2 active caption 000080 navy, 3 inactive caption
//   808080, 4 menu C0C0C0, 5 window FFFFFF, 6 window frame 000000, 7 menu text 000000, 8 window
//   text 000000, 9 caption text FFFFFF, 10 active border C0C0C0, 11 inactive border C0C0C0,
//   12 application workspace 808080, 13 highlight 000080, 14 highlight text FFFFFF, 15 button
//   face C0C0C0, 16 button shadow 808080, 17 grey text 808080, 18 button text 000000,
//   19 inactive caption text C0C0C0, 20 button highlight FFFFFF, 21 3-D dark shadow 000000,
//   22 3-D light DFDFDF, 23 info text 000000, 24 info background FFFFE1, 25 unused 000000,
//   26 hot light 0000FF, 27 active caption gradient 1084D0, 28 inactive caption gradient B5B5B5,
//   29 menu highlight 000080, 30 menu bar C0C0C0 (all written RRGGBB). Other indices give 0.
uint32_t system_color(int32_t index);

}  // namespace platform
