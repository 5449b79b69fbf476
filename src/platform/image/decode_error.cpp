#include "platform/image/decode_error.hpp"

#include "platform/image/bmp.hpp"

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
  }
  return "not a picture";
}

}  // namespace platform
