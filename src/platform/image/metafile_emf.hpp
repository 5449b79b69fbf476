// Enhanced metafiles (.EMF): the header checked, the records played through the metafile
// player. Reference: [MS-EMF] Enhanced Metafile Format, section 2.3 (records).
//
// A file is a sequence of records, each a 32-bit type, a 32-bit size in bytes (at least 8, a
// multiple of 4) and its fields, all little-endian. The first is the header (type 1, at least
// 88 bytes, signature " EMF" at byte 40): the picture's frame in 0.01 mm (left, top, right,
// bottom at byte 24), the number of object slots (byte 56) and the size of the reference
// device in pixels (byte 72) and in millimetres (byte 80). The last is the end record (type 14).
//
// Records draw in logical units on the reference device: the page transform (mapping mode,
// window and viewport) gives its pixels, and the frame, converted to those pixels, is mapped
// onto the destination rectangle. Rectangles and ellipses give their boxes inclusive of the
// right and bottom edges. Object slot 0 stands for the file itself and takes no object; slot
// numbers with the top bit set name stock objects.
//
// A file is refused when the header is not one of these, its frame or either reference size
// is not positive, or a record's size is below 8, not a multiple of 4 or runs past the end of
// the file. Records after the end record are not read; a file may also end right after a
// record without one. A record the player does not know, or whose counts, offsets or fields
// run past its own size, is skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/device_context.hpp"
#include "platform/image/metafile_player.hpp"

namespace platform::metafile {

struct EmfLayout {
  Rect frame;           // 0.01 mm
  Point device_pixels;  // reference device size
  Point device_mm;
  uint16_t object_slots = 0;
};

std::optional<EmfLayout> check_emf(std::span<const uint8_t> bytes);

// Plays a checked file so that its frame fills `dest` (logical coordinates of `dc`).
void play_emf(std::span<const uint8_t> bytes,
              const EmfLayout& layout,
              DeviceContext& dc,
              const Destination& dest);

}  // namespace platform::metafile
