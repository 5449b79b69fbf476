// Bitmap blocks of metafile records: the raster operations that combine a bitmap with the
// page, and a packed bitmap's block stretched onto a device context.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/blit.hpp"

namespace platform::metafile {

// The block transfer of a ternary raster operation that copies, exclusive-ors, ors, ands or
// copies inverted the source; nothing for another operation.
std::optional<RasterOp> source_op(uint32_t rop);

// Stretches the block (source, source + size) of the packed bitmap `dib` onto the rectangle
// between the corners of `dest` (logical coordinates of `dc`), combined by `op`. A negative
// size on either side mirrors the block. With `from_bottom` the source's y counts up from
// the last row of a bottom-up bitmap (as bitmap-to-device records give it), else down from
// the top. A bitmap the bitmap reader refuses draws nothing.
void stretch_dib(DeviceContext& dc,
                 const Rect& dest,
                 std::span<const uint8_t> dib,
                 Point source,
                 Point source_size,
                 bool from_bottom,
                 RasterOp op);

}  // namespace platform::metafile
