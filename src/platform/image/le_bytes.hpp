// Little-endian integers of picture files. Callers check the bounds first.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

inline uint32_t get16(std::span<const uint8_t> b, size_t at) { return b[at] | (b[at + 1] << 8); }
inline uint32_t get32(std::span<const uint8_t> b, size_t at) {
  return get16(b, at) | (get16(b, at + 2) << 16);
}

}  // namespace platform
