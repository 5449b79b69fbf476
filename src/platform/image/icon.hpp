// Icon and cursor files (.ICO, .CUR): a directory of images of one picture, of which the largest
// is read.
//
// Layout (little-endian): a 6-byte header (reserved 0; type 1 icon or 2 cursor; image count),
// then 16 bytes per image:
//    0  width             8-bit, pixels (0 = 256)
//    1  height            8-bit, pixels (0 = 256)
//    2  colours, reserved two 8-bit, not read
//    4  planes, bit count two 16-bit (a cursor's hot spot), not read
//    8  bytes of image    32-bit
//   12  offset of image   32-bit, from the start of the file
// Each image is a PNG file or the packed bitmap of decode_masked_dib (bmp.hpp). The largest
// image by the directory is read; of equally large ones the one of most bits per pixel as its
// own header gives them (a PNG counts as 32), the first of those.
//
// Refused: a directory that does not fit the file or lists no image, any image of no bytes or
// whose bytes overlap the directory or run past the file, a chosen image that cannot be read
// or is above kMaxBmpPixels, and one whose size is not its entry's (an entry of
// 0 = 256 also takes larger images, as PNG images may be).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/page.hpp"

namespace platform {

enum class IconError {
  None,
  NotIcon,       // reserved field not 0, or a type other than 1 and 2
  Truncated,     // shorter than its directory
  Empty,         // no image
  BadEntry,      // an image of no bytes, inside the directory or past the end of the file
  BadImage,      // the chosen image is neither a PNG nor a packed bitmap that can be read
  TooLarge,      // the chosen image is larger than kMaxBmpPixels
  SizeMismatch,  // the chosen image's size is not its entry's
};

// True for the start of an icon or cursor directory (reserved 0, type 1 or 2).
bool is_icon(std::span<const uint8_t> bytes);

// The colours of the largest image; sets `opacity` to a grey page of the same size, 0
// transparent to 0xFFFFFF opaque. On failure `opacity` is left unchanged.
std::optional<Page> decode_icon(std::span<const uint8_t> bytes,
                                Page& opacity,
                                IconError* error = nullptr);

}  // namespace platform
