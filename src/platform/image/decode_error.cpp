#include "platform/image/decode_error.hpp"

#include "platform/image/bmp.hpp"
#include "platform/image/jpeg_decode.hpp"

namespace platform {

std::string to_string(DecodeError error) {
  switch (error) {
    case DecodeError::None:
      return "";
    case DecodeError::NotPicture:
      return "not a picture";
    case DecodeError::TooLarge:
      return "larger than " + std::to_string(kMaxBmpPixels) + " pixels";
    case DecodeError::TooManyScans:
      return "too many scans for its size";
    case DecodeError::TooMuchMemory:
      return "needs more memory than its size";
    case DecodeError::SideTooLong:
      return "wider or higher than " + std::to_string(kMaxJpegSide) + " pixels";
    case DecodeError::Unsupported:
      return "a kind of JPEG not supported (12-bit, 16-bit, lossless or hierarchical)";
  }
  return "not a picture";
}

}  // namespace platform
