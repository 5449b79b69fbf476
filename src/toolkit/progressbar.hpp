// The progress record of a fit: one text line that the fit engine writes before each update
// and `drawpercent` shows at the top left of the current window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace progressbar {

inline constexpr int32_t len_text = 128;  // declared length of the record's text line

struct Progresswindow {
  std::string text = std::string(len_text, ' ');  // blank-padded to len_text
};

// Repaints the current window from its page, clears the viewport and, when the record's line is
// not blank, writes it trimmed at pixel (5, 5). A given text first replaces the record's line
// (padded or cut to len_text). percent is accepted for the caller's convenience and not used.
void drawpercent(Progresswindow& window,
                 int32_t percent,
                 std::optional<std::string_view> text = std::nullopt);

}  // namespace progressbar
