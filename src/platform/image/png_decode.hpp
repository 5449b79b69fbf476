// PNG pictures, decoded by libpng. The header's size is checked against kMaxBmpPixels before
// any pixel is decoded, and the rows are decoded straight into the page (no second image in
// memory); ancillary chunks are held to kMaxChunkBytes, so a compressed text or colour profile
// cannot make the decoder allocate without bound. The file is handed to libpng only while
// rows remain: what follows the last row is not read, so the time is bounded by the picture
// however much the compressed stream holds after it, and a file cut short or damaged after its
// rows is drawn. Chunks other than image data are handed over whole and read from the file's bytes,
// never collected in a buffer of libpng's, so whatever their size the time is linear in the
// file's. Gamma and colour-profile chunks are not applied: the stored sample values are the
// colours. 16-bit samples keep their high byte. Chunk checksums are not held against a file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/page.hpp"
#include "platform/image/decode_error.hpp"

namespace platform {

// True for the eight-byte PNG signature.
bool is_png(std::span<const uint8_t> bytes);

// The picture's colours; nothing when it cannot be read (`error` says why). With `opacity` the
// alpha channel comes too, as a grey page of the same size (0 transparent to 0xFFFFFF opaque;
// all opaque for a picture without alpha); without it the alpha is dropped. `work` (when given)
// receives the bytes handed to libpng and those it allocated. Throws std::bad_alloc when the
// page, or memory libpng needs, cannot be had.
std::optional<Page> decode_png(std::span<const uint8_t> bytes,
                               Page* opacity = nullptr,
                               DecodeError* error = nullptr,
                               DecodeWork* work = nullptr);

}  // namespace platform
