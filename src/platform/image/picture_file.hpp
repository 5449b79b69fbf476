// Reading the bytes of a picture file without trusting the file.
//
// The file is opened without blocking (a FIFO with no writer would otherwise hold the open
// forever) and looked at before anything is read: only a regular file of at most
// kMaxPictureFileBytes is read, and the read stops there too, so a device such as /dev/zero, a
// file that grows or a huge sparse file costs no more than the limit. Errors of the system
// calls come back as their reason, not as exceptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/image/bmp.hpp"

namespace platform {

// No picture the decoders accept needs a larger file: a 32-bit bitmap at kMaxBmpPixels with
// room for its headers and colour table. Icons and metafiles are held to the same size.
inline constexpr uint64_t kMaxPictureFileBytes =
    4 * static_cast<uint64_t>(kMaxBmpPixels) + (1u << 20);

// The whole file, or nothing with `reason` set to why not: the system's message for a file
// that cannot be opened or read ("No such file or directory", "Input/output error", ...),
// "not a regular file" or "larger than N bytes".
std::optional<std::vector<uint8_t>> read_picture_file(const std::string& path, std::string& reason);

}  // namespace platform
