// Little-endian fields of metafile records, read with their bounds checked.
//
// A field that does not lie wholly inside the bytes reads as 0 and a block that does not
// reads as empty, so no record, however short or lying about its counts, can make a reader
// touch memory outside it. Readers still check sizes where a missing field changes what a
// record means (and skip such a record).
#pragma once

#include <cstdint>
#include <span>

namespace platform::metafile {

class Fields {
 public:
  Fields() = default;
  explicit Fields(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint64_t size() const { return bytes_.size(); }
  // Whether the n bytes from `at` lie inside.
  bool has(uint64_t at, uint64_t n) const { return at <= bytes_.size() && n <= bytes_.size() - at; }

  uint8_t u8(uint64_t at) const { return has(at, 1) ? bytes_[at] : 0; }
  uint16_t u16(uint64_t at) const {
    return has(at, 2) ? static_cast<uint16_t>(bytes_[at] | (bytes_[at + 1] << 8)) : 0;
  }
  int16_t i16(uint64_t at) const { return static_cast<int16_t>(u16(at)); }
  uint32_t u32(uint64_t at) const {
    return has(at, 4) ? u16(at) | (uint32_t{u16(at + 2)} << 16) : 0;
  }
  int32_t i32(uint64_t at) const { return static_cast<int32_t>(u32(at)); }
  std::span<const uint8_t> bytes(uint64_t at, uint64_t n) const {
    return has(at, n) ? bytes_.subspan(at, n) : std::span<const uint8_t>{};
  }

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace platform::metafile
