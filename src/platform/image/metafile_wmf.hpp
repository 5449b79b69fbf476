// Windows metafiles (.WMF): the headers checked, the records played through the metafile
// player. References: [MS-WMF] Windows Metafile Format, sections 2.3 (records) and 2.3.2.3
// (the placeable header).
//
// A file is an optional 22-byte placeable header (key 0x9AC6CDD7, a bounding box in logical
// units and the units per inch), an 18-byte metafile header (type 1 or 2, header size 9
// words, version 0x0100 or 0x0300, the number of object slots) and records: a 32-bit size in
// 16-bit words (at least 3: size and function), a 16-bit function and the parameters, all
// little-endian, up to the end record (function 0). Parameters of points and rectangles are
// stored last coordinate first (y before x; bottom, right, top, left).
//
// The frame is the placeable bounding box, or without one the first window origin and extent
// records. The frame is mapped onto the destination rectangle: the player starts in the
// anisotropic mode with the frame as its window and the destination as its viewport. Window
// records move the window as they would on the device; viewport records are ignored, since
// the destination owns the viewport; every mapping mode but the isotropic one (which keeps
// the aspect on the destination) plays as the anisotropic one, so that the picture fills the
// rectangle however it was recorded.
//
// A file is refused when a header is short or not one of these, its frame has a zero width or
// height (or a placeable header gives 0 units per inch), or a record's size is below 3 words
// or runs past the end of the file. Records after the end record are not read; a file may
// also end right after a record without one. A record the player does not know, or whose
// counts or fields run past its own size, is skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/device_context.hpp"
#include "platform/image/metafile_player.hpp"

namespace platform::metafile {

struct WmfLayout {
  uint64_t records_at = 0;     // offset of the first record
  Rect frame;                  // logical units: left, top, left + width, top + height
  int32_t units_per_inch = 0;  // the placeable header's; 0 without one
  uint16_t object_slots = 0;
};

std::optional<WmfLayout> check_wmf(std::span<const uint8_t> bytes);

// Plays a checked file so that its frame fills `dest` (logical coordinates of `dc`).
void play_wmf(std::span<const uint8_t> bytes,
              const WmfLayout& layout,
              DeviceContext& dc,
              const Destination& dest);

}  // namespace platform::metafile
