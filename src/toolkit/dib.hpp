// Packed device-independent bitmaps: an info header, a colour table and the pixels in one
// block, as bitmap files hold them after their 14-byte file header.
//
// On this true-colour platform a page bitmap becomes a 24-bit packed bitmap; packed bitmaps
// read from files keep the 1, 4, 8, 24 or 32 bits they were stored with. Headers of 40 bytes
// are made and read; the size functions also understand the 12-byte core header.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/gfx/page.hpp"

namespace gk {

struct PackedDib {
  std::vector<uint8_t> bytes;
};
using Dib = std::unique_ptr<PackedDib>;

// Status values of SaveDIB.
inline constexpr int32_t kDibSaved = 0;
inline constexpr int32_t kDibUnreadable = 3;  // not a complete 40-byte-header packed bitmap
inline constexpr int32_t kDibFileError = 4;   // file not created or not completely written
inline constexpr int32_t kDibMissing = 20;    // no packed bitmap given

// A zeroed packed bitmap; bits are rounded up to 1, 4, 8 or 24 and values above 24 give 4.
// Null for a non-positive size or one above the bitmap reader's limit.
Dib CreateDIB(int32_t width, int32_t height, int32_t bits);
// Offset of the pixels: header plus colour table.
size_t FindDIBBits(const PackedDib& dib);
int32_t DIBWidth(const PackedDib& dib);
int32_t DIBHeight(const PackedDib& dib);
// Colours used, else 2, 16 or 256 for 1, 4 or 8 bits, else 0.
int32_t DIBNumColors(const PackedDib& dib);
// Bytes of the colour table: colours x 4 (x 3 under a 12-byte header).
int32_t PaletteSize(const PackedDib& dib);

// The 24-bit packed bitmap of a page; null for an empty page.
Dib BitmapToDIB(const platform::Page& bitmap);
// The page of a packed bitmap; nothing when it is not a valid one.
std::optional<platform::Page> DIBToBitmap(const PackedDib& dib);
// Writes the packed bitmap as a bitmap file; a partly written file is removed.
int32_t SaveDIB(const PackedDib* dib, const std::string& filename);
void DestroyDIB(Dib& dib);
// The packed bitmap of a bitmap file's bytes; null when the file is not a valid one.
Dib ReadDIBFile(std::span<const uint8_t> file);
// The packed bitmap of a bitmap file; null when it cannot be read ("File not found" in an
// error box when it cannot be opened).
Dib LoadDIB(const char* filename);

}  // namespace gk
