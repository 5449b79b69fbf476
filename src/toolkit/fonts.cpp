#include "toolkit/fonts.hpp"

namespace gk {

platform::FontRequest font_request(int32_t font, int32_t char_size) {
  using platform::FontFamily;
  platform::FontRequest r;
  r.height = char_size;
  switch (font) {
    case 1:
      r.family = FontFamily::Swiss;
      break;
    case 2:
      r.family = FontFamily::Roman;
      break;
    case 3:
      r.family = FontFamily::Script;
      break;
    case 4:
      r.weight = 700, r.family = FontFamily::Swiss;
      break;
    case 5:
      r.weight = 700, r.family = FontFamily::Roman;
      break;
    case 6:
      r.family = FontFamily::Modern;
      break;
    case kGuiFont:
      r = platform::Font::default_gui()->request();
      r.height = char_size;
      break;
    case 8:
      r.family = FontFamily::Decorative, r.face = "Wingdings", r.symbol = true;
      break;
    default:  // 0, and indices outside the table
      r.weight = 700, r.family = FontFamily::DontCare;
  }
  return r;
}

std::shared_ptr<const platform::Font> create_font_object(int32_t font, int32_t char_size) {
  if (font == kThemeFont) return platform::Font::default_gui();
  return platform::Font::create(font_request(font, char_size));
}

}  // namespace gk
