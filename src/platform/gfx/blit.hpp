// Block transfers between pages.
//
// A block of a source page is combined into a device context's page at a logical position:
// copied, exclusive-ored, ored, anded, or copied inverted. Only destination pixels inside the
// destination's page and clip region change, and only those whose source pixel lies inside the
// source page. Source and destination may be the same page, even overlapping: the source block
// is read completely before anything is written.
#pragma once

#include "platform/gfx/device_context.hpp"

namespace platform {

enum class RasterOp { Copy, Xor, Or, And, InvertedCopy };

// Copies the w x h block at source page pixel (sx, sy) to logical (x, y) of `dst`.
void bit_blt(
    DeviceContext& dst, int x, int y, int w, int h, const Page& src, int sx, int sy, RasterOp op);

// Scales the sw x sh block at source page pixel (sx, sy) to the w x h block at logical (x, y)
// of `dst`, each destination pixel taking the source pixel under its centre. Non-positive
// sizes draw nothing.
void stretch_blt(DeviceContext& dst,
                 int x,
                 int y,
                 int w,
                 int h,
                 const Page& src,
                 int sx,
                 int sy,
                 int sw,
                 int sh,
                 RasterOp op);

}  // namespace platform
