// Border flood fill.
//
// The region is the 4-connected set of pixels around the seed whose colour differs from the
// border colour, limited to a bounds rectangle (the page and its clip region). A seed outside
// the bounds or of the border colour gives an empty region. The region is found on the page as
// it is before anything is painted, so painting it with any mix mode is safe.
#pragma once

#include "platform/gfx/coverage.hpp"
#include "platform/gfx/page.hpp"

namespace platform::raster {

Coverage flood_region(const Page& page, Point seed, Pixel border, const Rect& bounds);

}  // namespace platform::raster
