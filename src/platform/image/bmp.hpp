// Windows bitmap files: the 24-bit writer and a validating reader.
//
// Written files are uncompressed, 24 bits per pixel, bottom row first, with a 14-byte file
// header and a 40-byte info header: file size 54 + image bytes, pixel offset 54, image size
// stride * height where stride = ((24 * width + 31) / 32) * 4, zero resolution and colour
// counts.
//
// The reader takes 1, 4, 8, 24 and 32 bits per pixel, uncompressed (32 bits also with colour
// masks of the usual byte layout), stored bottom-up or top-down, and 8 and 4 bits run-length
// compressed (RLE8, RLE4; bottom-up, see bmp_rle.hpp), with a 40-byte or later (52, 56, 108, 124)
// info header. It refuses any file whose header sizes, colour count, pixel offset or image size
// do not fit inside the file, a run-length stream that ends before its end-of-bitmap mark, and
// any image larger than kMaxBmpPixels; palette indices beyond the colour table read as black.
// Icons' images are read by the same code, with their mask (decode_masked_dib).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/gfx/page.hpp"

namespace platform {

// The most pixels of any picture read: a 64 MiB page, so that a picture, the decoder's work and
// one drawing of it at its own size stay within 256 MB together.
inline constexpr int64_t kMaxBmpPixels = int64_t{1} << 24;

enum class BmpError {
  None,
  Truncated,    // shorter than its headers, colour table or pixels claim
  NotBitmap,    // no "BM" signature
  BadHeader,    // unknown header size, non-positive width, zero height, planes other than 1
  Unsupported,  // bits per pixel or compression the reader does not take
  BadColours,   // colour count above what the bits per pixel can address
  BadOffset,    // pixel offset inside the headers or colour table
  TooLarge,     // more than kMaxBmpPixels
  CannotOpen,   // file could not be read
};

const char* to_string(BmpError error);

std::vector<uint8_t> encode_bmp24(const Page& page);
// The same without the file header: a packed bitmap (info header and pixels).
std::vector<uint8_t> encode_dib24(const Page& page);
// The 14-byte file header for a packed bitmap of `dib_size` bytes whose pixels start
// `pixel_offset` bytes into it.
std::vector<uint8_t> bmp_file_header(uint32_t dib_size, uint32_t pixel_offset);

// Writes the page as a 24-bit bitmap file. Returns false when the file cannot be created or
// a write fails; a partly written file is removed.
bool write_bmp24(const std::string& path, const Page& page);

std::optional<Page> decode_bmp(std::span<const uint8_t> bytes, BmpError* error = nullptr);
// A packed bitmap (info header, colour table, pixels) read the same way.
std::optional<Page> decode_dib(std::span<const uint8_t> dib, BmpError* error = nullptr);
// The packed bitmap of an icon's image: uncompressed and bottom-up, its header height twice the
// image's, the colour rows followed by as many rows of a 1-bit mask (rows padded to 4 bytes),
// which a 32-bit image may leave out. Returns the colours and sets `opacity` to a grey page of
// the same size, 0 transparent to 0xFFFFFF opaque: the alpha bytes of 32-bit pixels when any
// is not 0, else the mask (a set bit is transparent), else all opaque. `opacity` is left
// unchanged on failure.
std::optional<Page> decode_masked_dib(std::span<const uint8_t> dib,
                                      Page& opacity,
                                      BmpError* error = nullptr);
// The packed bitmap of a valid file: a 40-byte info header with its image size and colour
// count filled in, the colour table the pixels use, and the pixels (run lengths kept as they
// are).
std::optional<std::vector<uint8_t>> dib_of_file(std::span<const uint8_t> bytes,
                                                BmpError* error = nullptr);
// A bitmap file read by read_picture_file (picture_file.hpp); CannotOpen when it cannot be.
std::optional<Page> read_bmp(const std::string& path, BmpError* error = nullptr);

}  // namespace platform
