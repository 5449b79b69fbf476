// The checks of every picture decoder's fuzz target: a page exactly when no error is given,
// of a size within the pixel limit.
#pragma once

#include <optional>

#include "platform/image/bmp.hpp"
#include "platform/image/decode_error.hpp"

inline void check_decoded(const std::optional<platform::Page>& page, platform::DecodeError error) {
  if (page.has_value() != (error == platform::DecodeError::None)) __builtin_trap();
  if (!page) return;
  const int64_t pixels = int64_t{page->width()} * page->height();
  if (page->width() <= 0 || page->height() <= 0 || pixels > platform::kMaxBmpPixels) {
    __builtin_trap();
  }
}
