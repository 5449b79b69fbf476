// Random format text with a fixed mix of values through the edit-descriptor formatter:
// nothing may crash, hang, read out of bounds, or report success with text it did not write.
// The first 8 bytes are the real value; the rest is the format.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "numerics/editfmt.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  double x;
  std::memcpy(&x, data, sizeof x);
  const std::string fmt(reinterpret_cast<const char*>(data + 8), size - 8);
  const std::vector<editfmt::Value> values = {
      int64_t{42}, x, std::string("txt"), x, int64_t{-1}, x * 1e10};
  const editfmt::Output out = editfmt::write(fmt, values);
  // The output is capped; a larger text means the cap failed.
  if (out.text.size() > (size_t{4} << 20) + 65536) __builtin_trap();
  return 0;
}
