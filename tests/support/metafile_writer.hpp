// Writes Windows and enhanced metafiles record by record, laid out as the formats give them,
// so that tests (and fuzz seeds) make their pictures themselves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "platform/gfx/geometry.hpp"
#include "support/le_writer.hpp"

namespace testsupport {

// Windows metafile: records of 16-bit words, each with its size in words and its function.
class WmfWriter {
 public:
  // A record whose parameters are `words`, in the order they are stored.
  WmfWriter& record(uint16_t function, std::initializer_list<int> words) {
    std::vector<uint8_t> params;
    for (const int w : words) put16(params, static_cast<uint32_t>(w));
    return record_bytes(function, params);
  }
  // A record of raw parameter bytes, padded to whole words.
  WmfWriter& record_bytes(uint16_t function, std::vector<uint8_t> params) {
    if (params.size() % 2) params.push_back(0);
    const uint32_t words = 3 + static_cast<uint32_t>(params.size() / 2);
    put32(records_, words);
    put16(records_, function);
    records_.insert(records_.end(), params.begin(), params.end());
    max_record_ = std::max(max_record_, words);
    return *this;
  }
  // A text record's string bytes, padded to whole words.
  static void put_text(std::vector<uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    if (text.size() % 2) out.push_back(0);
  }
  // The placeable header (when units_per_inch > 0) with `box`, the metafile header with
  // `objects` slots, the records and the end record.
  std::vector<uint8_t> file(uint16_t objects,
                            platform::Rect box = {},
                            int units_per_inch = 0) const {
    std::vector<uint8_t> out;
    if (units_per_inch > 0) {
      put32(out, 0x9AC6CDD7);
      put16(out, 0);
      for (const int v : {box.left, box.top, box.right, box.bottom})
        put16(out, static_cast<uint32_t>(v));
      put16(out, static_cast<uint32_t>(units_per_inch));
      put32(out, 0);
      uint16_t checksum = 0;
      for (size_t i = 0; i < 20; i += 2)
        checksum ^= static_cast<uint16_t>(out[i] | out[i + 1] << 8);
      put16(out, checksum);
    }
    const uint32_t total_words = 9 + static_cast<uint32_t>(records_.size() / 2) + 3;
    put16(out, 1);       // in memory
    put16(out, 9);       // header words
    put16(out, 0x0300);  // version
    put32(out, total_words);
    put16(out, objects);
    put32(out, max_record_);
    put16(out, 0);
    out.insert(out.end(), records_.begin(), records_.end());
    put32(out, 3);  // end record
    put16(out, 0);
    return out;
  }

 private:
  std::vector<uint8_t> records_;
  uint32_t max_record_ = 3;
};

// Enhanced metafile: records of 32-bit type and size in bytes, after the header record.
class EmfWriter {
 public:
  // A record whose fields are 32-bit `values`, in the order they are stored.
  EmfWriter& record(uint32_t type, std::initializer_list<int64_t> values) {
    std::vector<uint8_t> fields;
    for (const int64_t v : values) put32(fields, static_cast<uint32_t>(v));
    return record_bytes(type, fields);
  }
  // A record of raw field bytes, padded to a multiple of 4.
  EmfWriter& record_bytes(uint32_t type, std::vector<uint8_t> fields) {
    while (fields.size() % 4) fields.push_back(0);
    put32(records_, type);
    put32(records_, 8 + static_cast<uint32_t>(fields.size()));
    records_.insert(records_.end(), fields.begin(), fields.end());
    ++count_;
    return *this;
  }
  // The header (`frame` in 0.01 mm, the reference device's size in pixels and millimetres,
  // `handles` object slots), the records and the end record.
  std::vector<uint8_t> file(platform::Rect frame,
                            platform::Point device_pixels,
                            platform::Point device_mm,
                            uint16_t handles) const {
    std::vector<uint8_t> out;
    put32(out, 1);
    put32(out, 88);
    for (const int v : {0, 0, device_pixels.x, device_pixels.y})  // bounds
      put32(out, static_cast<uint32_t>(v));
    for (const int v : {frame.left, frame.top, frame.right, frame.bottom})
      put32(out, static_cast<uint32_t>(v));
    put32(out, 0x464D4520);  // " EMF"
    put32(out, 0x00010000);  // version
    put32(out, 0);           // total bytes, set below
    put32(out, count_ + 2);
    put16(out, handles);
    put16(out, 0);
    for (int i = 0; i < 3; ++i) put32(out, 0);  // description and palette
    put32(out, static_cast<uint32_t>(device_pixels.x));
    put32(out, static_cast<uint32_t>(device_pixels.y));
    put32(out, static_cast<uint32_t>(device_mm.x));
    put32(out, static_cast<uint32_t>(device_mm.y));
    out.insert(out.end(), records_.begin(), records_.end());
    for (const uint32_t v : {14u, 20u, 0u, 16u, 20u}) put32(out, v);  // end record
    set32(out, 48, static_cast<uint32_t>(out.size()));
    return out;
  }

 private:
  std::vector<uint8_t> records_;
  uint32_t count_ = 0;
};

}  // namespace testsupport
