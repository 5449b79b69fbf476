// Why the bytes of a picture file gave no picture, as the decoders of every format tell it, and
// the work a decoder did where that work, not the picture's size, bounds its time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/gfx/page.hpp"

namespace platform {

enum class DecodeError {
  None,
  NotPicture,     // no format the readers take, or bytes that break their format's rules
  TooLarge,       // its header declares more than kMaxBmpPixels pixels (bmp.hpp)
  TooManyScans,   // JPEG: its scans pass over the picture more often than its size allows
  TooMuchMemory,  // JPEG: the decoder needs more memory than the header's layout explains
  SideTooLong,    // JPEG: wider or higher than kMaxJpegSide pixels (jpeg_decode.hpp)
  Unsupported,    // JPEG: samples of other than 8 bits, or a lossless or hierarchical file
};

// "not a picture", "larger than N pixels" (N = kMaxBmpPixels), "too many scans for its size",
// "needs more memory than its size", "wider or higher than 65500 pixels", "a kind of JPEG not
// supported (12-bit, 16-bit, lossless or hierarchical)"; "" for None.
std::string to_string(DecodeError error);

// What a decoder did on one file, counted for the tests and measurements that hold it to its
// budget.
struct DecodeWork {
  uint64_t bytes_read = 0;  // PNG: bytes of the file handed to libpng
  uint64_t allocated = 0;   // PNG: bytes libpng allocated, in all
  uint64_t blocks = 0;      // JPEG: 8 x 8 blocks that the scans read pass over, in all
};

// Sets *error (when given) to `why` and returns it.
inline DecodeError fail(DecodeError* error, DecodeError why) {
  if (error) *error = why;
  return why;
}

// What a decoder gives: the page it has read, or nothing when `read` is false; *error (when
// given) becomes None or `why`.
inline std::optional<Page> decoded(bool read, Page& page, DecodeError why, DecodeError* error) {
  fail(error, read ? DecodeError::None : why);
  if (!read) return std::nullopt;
  return std::move(page);
}

}  // namespace platform
