#include <gtest/gtest.h>

#include "platform/image/bmp.hpp"
#include "platform/image/icon.hpp"
#include "platform/image/picture.hpp"
#include "support/icon_file.hpp"

namespace platform {
namespace {

using testsupport::icon_dib;
using testsupport::icon_file;
using testsupport::IconImage;

void set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A w x h 24-bit image of one colour, no pixel masked.
IconImage plain(int w, int h, uint32_t colour, int bits = 24) {
  return {w, h, bits, icon_dib(w, h, 24, {}, std::vector<uint32_t>(size_t(w) * h, colour))};
}

TEST(Icon, ReadsTheLargestImageThenTheDeepest) {
  // The 8-bit image's header says 8 bits though its entry says 32: the header decides.
  std::vector<uint32_t> table(256, 0x0000FF);
  IconImage eight{2, 2, 32, icon_dib(2, 2, 8, table, {0, 0, 0, 0})};
  const std::vector<uint8_t> file =
      icon_file({plain(1, 1, 0xFF0000), eight, plain(2, 2, 0x00FF00, 4), plain(2, 1, 0xFFFFFF)});
  Page opacity;
  IconError error = IconError::BadImage;
  const auto page = decode_icon(file, opacity, &error);
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(error, IconError::None);
  ASSERT_EQ(page->width(), 2);
  ASSERT_EQ(page->height(), 2);
  EXPECT_EQ(page->at(1, 1), 0x00FF00u);
  EXPECT_EQ(opacity.at(1, 1), 0xFFFFFFu);
  std::vector<uint8_t> cursor = file;
  cursor[2] = 2;  // the same images as a cursor
  const auto same = decode_icon(cursor, opacity);
  ASSERT_TRUE(same.has_value());
  EXPECT_EQ(same->at(1, 1), 0x00FF00u);
}

// Many icon writers leave the mask out of a 32-bit image, whose alpha says what is
// transparent; where every alpha byte is 0 and there is no mask, the image is opaque.
TEST(Icon, ThirtyTwoBitImagesNeedNoMask) {
  const struct {
    const char* name;
    std::vector<uint32_t> argb;
    std::vector<uint32_t> opacity;
  } cases[] = {
      {"alpha",
       {0xFFFF0000, 0x8000FF00, 0x000000FF, 0x40FFFFFF},
       {0xFFFFFF, 0x808080, 0, 0x404040}},
      {"no alpha",
       {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF},
       std::vector<uint32_t>(4, 0xFFFFFF)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IconImage image{2, 2, 32, icon_dib(2, 2, 32, {}, c.argb)};
    image.bytes.resize(40 + 2 * 2 * 4);  // the header and the colour rows
    Page opacity;
    IconError error = IconError::BadImage;
    const auto page = decode_icon(icon_file({image}), opacity, &error);
    EXPECT_EQ(error, IconError::None);
    ASSERT_TRUE(page.has_value());
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(page->at(i % 2, i / 2), c.argb[size_t(i)] & 0xFFFFFF) << i;
      EXPECT_EQ(opacity.at(i % 2, i / 2), c.opacity[size_t(i)]) << i;
    }
  }
}

TEST(Icon, RefusesMalformedFiles) {
  const std::vector<uint8_t> good = icon_file({plain(2, 2, 0xFF0000), plain(1, 1, 0x00FF00)});
  const size_t image = 6 + 32;  // the first image's packed bitmap
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    IconError expected;
    size_t length = 0;  // the file cut to this many bytes, when not 0
  };
  // clang-format off
  const Case cases[] = {
      {"reserved field", 0, 0x00010001, IconError::NotIcon},
      {"type 3", 0, 0x00030000, IconError::NotIcon},
      {"no image", 4, 0x02020000, IconError::Empty},
      {"more entries than the file holds", 4, 0x0202FFFF, IconError::Truncated},
      {"shorter than its header", 0, 0x00010000, IconError::Truncated, 5},
      {"image of no bytes", 6 + 8, 0, IconError::BadEntry},
      {"image past the end", 6 + 12, 0xFFFFFF00, IconError::BadEntry},
      {"size wraps past the end", 6 + 8, 0xFFFFFFF0, IconError::BadEntry},
      {"image inside the directory", 6 + 12, 30, IconError::BadEntry},
      {"file cut inside the last image", 0, 0x00010000, IconError::BadEntry, 100},
      {"header of 12 bytes", image, 12, IconError::BadImage},
      {"odd header height", image + 8, 3, IconError::BadImage},
      {"header height not doubled", image + 8, 2, IconError::SizeMismatch},
      {"header width not the entry's", image + 4, 1, IconError::SizeMismatch},
      {"entry width 0 (256)", 6, 0x00010200, IconError::SizeMismatch},
      {"no room for the mask", 6 + 8, 40 + 16, IconError::BadImage},
      {"absurd width", image + 4, 0x7FFFFFFF, IconError::TooLarge},
      {"16 bits per pixel", image + 14, 16, IconError::BadImage},
      {"run lengths", image + 16, 1, IconError::BadImage},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bad = good;
    set32(bad, c.at, c.value);
    if (c.length != 0) bad.resize(c.length);
    Page opacity(3, 3);
    IconError error = IconError::None;
    EXPECT_FALSE(decode_icon(bad, opacity, &error).has_value());
    EXPECT_EQ(error, c.expected);
    EXPECT_EQ(opacity.width(), 3);  // untouched
    EXPECT_FALSE(decode_picture(bad).has_value());
  }
}

TEST(Icon, RefusesPngImagesThatCannotBeRead) {
  // A PNG whose header claims 65535 x 65535 pixels (checked before decoding), and one cut short
  // after the two bytes that open its compressed stream, before any row.
  std::vector<uint8_t> huge = testsupport::png_rgba(1, 1, {0xFF000000});
  for (size_t at : {16, 20}) huge[at + 2] = huge[at + 3] = 0xFF;
  std::vector<uint8_t> cut = testsupport::png_rgba(2, 2, std::vector<uint32_t>(4, 0xFF000000));
  cut.resize(8 + 25 + 8 + 2);  // signature, header chunk, data chunk's length and type
  for (const auto& [png, why] :
       {std::pair{huge, IconError::TooLarge}, {cut, IconError::BadImage}}) {
    Page opacity;
    IconError error = IconError::None;
    EXPECT_FALSE(decode_icon(icon_file({{1, 1, 32, png}}), opacity, &error).has_value());
    EXPECT_EQ(error, why);
  }
}

TEST(Icon, TransparentPartsBlendWithThePageWhenScaled) {
  // Red beside a transparent pixel whose colour bits are black, shrunk to one pixel on white:
  // half of red's opacity over white, (128, 0, 0) + (127, 127, 127). Averaging the colours
  // without their opacity would give (191, 127, 127).
  const auto picture =
      decode_picture(icon_file({{2, 1, 24, icon_dib(2, 1, 24, {}, {0xFF0000, 0}, {false, true})}}));
  ASSERT_TRUE(picture.has_value());
  Page page(3, 1);
  page.fill(0xFFFFFF);
  DeviceContext dc(page);
  picture->render(dc, {1, 0, 1, 1});
  EXPECT_EQ(page.at(0, 0), 0xFFFFFFu);
  EXPECT_EQ(page.at(1, 0), 0xFF7F7Fu);
  EXPECT_EQ(page.at(2, 0), 0xFFFFFFu);
}

}  // namespace
}  // namespace platform
