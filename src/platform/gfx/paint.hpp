// Painting a coverage mask onto a page.
//
// The mask is clipped to a device rectangle, then each covered pixel is combined with an ink:
// a solid colour, or an 8 x 8 mono pattern aligned to page pixels whose set bits take the
// foreground and whose clear bits take the background (or stay untouched when the ink is
// transparent). The mix mode either replaces the pixel or exclusive-ors the ink into it.
#pragma once

#include "platform/gfx/brush.hpp"
#include "platform/gfx/coverage.hpp"
#include "platform/gfx/page.hpp"

namespace platform {

enum class MixMode { Copy, Xor };

namespace raster {

struct Ink {
  Pixel fg = 0;
  Pixel bg = 0;
  const MonoPattern* pattern = nullptr;  // null: solid fg
  bool opaque = true;                    // pattern gaps take bg

  static Ink solid(Color c) { return Ink{to_pixel(c), 0, nullptr, true}; }
  static Ink patterned(const MonoPattern& rows, Color fg, Color bg, bool opaque) {
    return Ink{to_pixel(fg), to_pixel(bg), &rows, opaque};
  }
};

// Paints the pixels of `mask` inside `clip` (device coordinates, already within the page).
void paint(Page& page, const Coverage& mask, const Rect& clip, const Ink& ink, MixMode mix);

}  // namespace raster
}  // namespace platform
