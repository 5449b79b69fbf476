// JPEG pictures, decoded by libjpeg-turbo into a page a row at a time. The frame's size is
// checked against kMaxBmpPixels before any pixel is decoded; the decoder's own working memory
// is held to what the header's components and sampling need (a progressive file keeps every
// coefficient: at most 128 MiB, for CMYK at full resolution; its rows of samples take at most
// 12 MB, at the widest), and its scans to kMaxPasses passes over the picture's blocks in all
// (each scan costs a pass over the blocks of its components), so that no file makes it
// allocate or work without bound. Grey and CMYK files are turned into colours by the library.
// Files of 8-bit samples are read, baseline, extended or progressive, Huffman or arithmetic
// coded; lossless and hierarchical files, and samples of other sizes, are refused as not
// supported.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "platform/gfx/page.hpp"
#include "platform/image/decode_error.hpp"

namespace platform {

// The longest side libjpeg takes, in pixels.
inline constexpr int kMaxJpegSide = 65500;

// True for the start-of-image marker followed by another marker.
bool is_jpeg(std::span<const uint8_t> bytes);

// The picture's colours; nothing when it cannot be read (`error` says why). `work` (when given)
// receives the blocks that the scans read pass over, whether or not the picture is read.
// Throws std::bad_alloc when memory for the page, or memory the library needs, cannot be had.
std::optional<Page> decode_jpeg(std::span<const uint8_t> bytes,
                                DecodeError* error = nullptr,
                                DecodeWork* work = nullptr);

// Test seam: when set, called before the reader allocates the row of samples it reads through
// and before it allocates the page, so that a test can make either allocation throw
// std::bad_alloc. Empty in the program.
inline std::function<void()> jpeg_allocation_seam;

}  // namespace platform
