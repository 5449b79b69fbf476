#include "toolkit/fonts.hpp"

#include <gtest/gtest.h>

namespace gk {
namespace {

TEST(Fonts, TableGivesFamilyAndWeight) {
  using platform::FontFamily;
  struct Case {
    int32_t font;
    int weight;
    FontFamily family;
    const char* face;
  };
  const Case cases[] = {
      {0, 700, FontFamily::DontCare, "Liberation Sans"},
      {1, 400, FontFamily::Swiss, "Liberation Sans"},
      {2, 400, FontFamily::Roman, "Liberation Serif"},
      {4, 700, FontFamily::Swiss, "Liberation Sans"},
      {5, 700, FontFamily::Roman, "Liberation Serif"},
      {6, 400, FontFamily::Modern, "Liberation Mono"},
      {7, 400, FontFamily::Swiss, "Liberation Sans"},
      {42, 700, FontFamily::DontCare, "Liberation Sans"},  // unknown index: font 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.font);
    const platform::FontRequest r = font_request(c.font, 18);
    EXPECT_EQ(r.weight, c.weight);
    EXPECT_EQ(r.family, c.family);
    EXPECT_EQ(r.height, 18);
    auto font = create_font_object(c.font, 18);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->family_name(), c.face);
    EXPECT_EQ(font->height(), 18);
  }
}

TEST(Fonts, SymbolAndThemeFonts) {
  const platform::FontRequest wingdings = font_request(8, 20);
  EXPECT_EQ(wingdings.face, "Wingdings");
  EXPECT_TRUE(wingdings.symbol);
  EXPECT_NE(create_font_object(8, 20), nullptr);  // some face stands in when not installed
  EXPECT_NE(create_font_object(3, 20), nullptr);
  EXPECT_EQ(create_font_object(kThemeFont, kThemeFont), platform::Font::default_gui());
}

}  // namespace
}  // namespace gk
