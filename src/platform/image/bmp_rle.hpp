// Run-length compressed bitmap pixels: the one decoder behind bitmap files and packed bitmaps.
//
// RLE8 (8 bits per pixel) and RLE4 (4 bits per pixel) store the image bottom row first as
// two-byte codes:
//   n c          n > 0: an encoded run of n pixels of index c (RLE4: the halves of c alternate,
//                high half first, so a run may use two colours);
//   0 0          end of line: on to the left edge of the next row up;
//   0 1          end of bitmap;
//   0 2 dx dy    delta: dx pixels right and dy rows up;
//   0 n ...      n >= 3: absolute mode, n indices (RLE8 one a byte, RLE4 two a byte, high half
//                first), padded with one byte to an even count of bytes.
// Pixels that fall right of a row or above the top row are dropped; pixels the codes skip or
// never reach stay as they were (black in a new page). A stream that ends inside a code or
// before its end-of-bitmap mark is truncated. Every pixel is written at most once, since the
// position only moves right and up, so the work is bounded by the stream plus the image.
#pragma once

#include <cstdint>
#include <span>

#include "platform/gfx/page.hpp"

namespace platform {

// Compression values of a bitmap's info header that mean run lengths.
inline constexpr uint32_t kBmpRle8 = 1;
inline constexpr uint32_t kBmpRle4 = 2;

// Decodes `stream` (compression kBmpRle8 or kBmpRle4) into `page`, whose size is the image's;
// each index becomes its colour in `colours` (0x00RRGGBB), an index beyond them black. With a
// null page the codes are only walked. Returns false for a truncated stream; the page may then
// hold part of the image.
bool decode_rle(std::span<const uint8_t> stream,
                uint32_t compression,
                std::span<const Pixel> colours,
                Page* page);

}  // namespace platform
