// Stretching a page to another size with area averaging: every target pixel is the mean of
// the source area it covers (weighted by overlap), so shrinking keeps fine detail as grey
// instead of dropping it and enlarging repeats pixels.
#pragma once

#include "platform/gfx/geometry.hpp"
#include "platform/gfx/page.hpp"

namespace platform {

// A new page of width x height (an empty page for a non-positive size or an empty source).
Page scale_page(const Page& source, int width, int height);
// Only the part (half-open, in target pixels) of the source stretched to width x height, so
// that a huge stretch costs no more than the part that is kept.
Page scale_page(const Page& source, int width, int height, const Rect& part);

}  // namespace platform
