// The toolkit's font index table and the fonts it makes.
//
//   font index  font
//   0           weight 700, family don't-care
//   1           weight 400, swiss      4  weight 700, swiss
//   2           weight 400, roman      5  weight 700, roman
//   3           weight 400, script     6  weight 400, modern
//   7           the default GUI font's face at the window's character size
//   8           "Wingdings" (symbol character set, decorative) at the character size
//   -999        the default GUI font itself (kept as font 7 with its own height as size)
// Any other index is taken as font 0. The character size is a font height: positive the cell
// height, negative the em height, in pixels.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/text/font.hpp"

namespace gk {

inline constexpr int32_t kThemeFont = -999;  // font index and size of the default GUI font
inline constexpr int32_t kGuiFont = 7;

platform::FontRequest font_request(int32_t font, int32_t char_size);
// The font of the table entry; the default GUI font itself for kThemeFont.
std::shared_ptr<const platform::Font> create_font_object(int32_t font, int32_t char_size);

}  // namespace gk
