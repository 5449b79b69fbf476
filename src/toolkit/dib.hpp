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
#include "platform/image/bmp_rle.hpp"

namespace platform {
class DeviceContext;
}

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

// Compression values of a packed bitmap's header: none, 8-bit and 4-bit run lengths.
inline constexpr int32_t kBiRgb = 0;
inline constexpr int32_t kBiRle8 = platform::kBmpRle8;
inline constexpr int32_t kBiRle4 = platform::kBmpRle4;

// A logical palette: its version and its colours as page pixels (0x00RRGGBB).
struct Palette {
  static constexpr uint16_t kVersion = 0x300;
  uint16_t version = kVersion;
  std::vector<platform::Pixel> entries;
};

// The palette of a packed bitmap's colour table (DIBNumColors entries: blue, green, red and a
// spare byte under a 40-byte header, blue, green, red under a 12-byte one). Nothing when it has
// no colour table (24 bits without colours used), another header size, or a table that runs
// past the block.
std::optional<Palette> CreateDIBPalette(const PackedDib& dib);
// Palette entries of a device: 2 ^ (bits per pixel x planes). Every device context draws on a
// page of kPageDepth bits in one plane, so every device has 2 ^ 24.
int32_t PalEntriesOnDevice(const platform::DeviceContext& dc);
// The logical palette copied from the display's system palette. Only a palette-based display
// (8 bits per pixel or fewer) has system palette entries; pages hold kPageDepth-bit colours,
// so there are none to copy and the result is nothing.
std::optional<Palette> GetSystemPalette();

// A zeroed packed bitmap for the format `header` describes (a 40-byte info header: width,
// height, 1, 4, 8 or 24 bits per pixel, uncompressed, or run lengths with 8 bits (RLE8) or 4
// bits (RLE4) stored bottom-up) and the page it is to hold: the header copied, a colour table
// of the header's colours used (else 2, 16 or 256 entries for 1, 4 or 8 bits), and room for
// the image. The image size is the header's when not 0; otherwise it is computed and written
// into the copy: stride x height uncompressed, the length of the page's run-length encoding
// (with the standard palette of ChangeDIBFormat) compressed. Null for any other header, a page
// of another size than a compressed header's, or an image beyond the bitmap reader's limit.
Dib AllocRoomForDIB(std::span<const uint8_t> header, const platform::Page& bitmap);
// The packed bitmap's picture in a new packed bitmap of 1, 4, 8 or 24 bits per pixel, bottom-up,
// with compression kBiRgb, or kBiRle4 with 4 bits, or kBiRle8 with 8 bits; null for any other
// combination or a packed bitmap that cannot be read. Fewer bits map each pixel to the nearest
// colour (squared RGB distance) of a standard palette: black and white (1 bit), the sixteen
// colours of the VGA palette (4 bits), or the 3-3-2 palette of 8 red, 8 green and 4 blue levels
// (8 bits). Run lengths are written as runs of one colour (encoded mode), each row ended by an
// end-of-line mark and the image by an end-of-bitmap mark.
Dib ChangeDIBFormat(const PackedDib& dib, int32_t bits, int32_t compression);
// The same for a page: ChangeDIBFormat of its BitmapToDIB. A page holds colours, not palette
// indices, so no palette takes part (as in BitmapToDIB).
Dib ChangeBitmapFormat(const platform::Page& bitmap, int32_t bits, int32_t compression);

// The 24-bit packed bitmap of a page; null for an empty page.
Dib BitmapToDIB(const platform::Page& bitmap);
// The page of a packed bitmap, uncompressed or run-length compressed; nothing when it is not a
// valid one.
std::optional<platform::Page> DIBToBitmap(const PackedDib& dib);
// Writes the packed bitmap as a bitmap file; a partly written file is removed.
int32_t SaveDIB(const PackedDib* dib, const std::string& filename);
void DestroyDIB(Dib& dib);
// The packed bitmap of a bitmap file's bytes; null when the file is not a valid one.
Dib ReadDIBFile(std::span<const uint8_t> file);
// The packed bitmap of a bitmap file; null when it cannot be read ("File not found" in an
// error box when it cannot be opened). The wait cursor shows over the current window while the
// file is opened and read; the cursor shown before comes back before any error box.
Dib LoadDIB(const char* filename);

}  // namespace gk
