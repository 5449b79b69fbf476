#include "toolkit/images.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/image/bmp.hpp"
#include "temp_path.hpp"

namespace gk {
namespace {

using toolkit_test::temp_path;

platform::Page sample(int w, int h) {
  platform::Page page(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) page.at(x, y) = static_cast<platform::Pixel>(0x10000 * x + y);
  }
  return page;
}

TEST(Images, SizeCoversOneMorePixelEachWay) {
  EXPECT_EQ(imagesize(0, 0), 24 + 4);
  EXPECT_EQ(imagesize(99, 49), 24 + 4 * 100 * 50);
  EXPECT_EQ(imagesize(-1, 5), 0);
  EXPECT_EQ(imagesize(5, -7), 0);
  EXPECT_EQ(imagesize(100000, 100000), 0);  // above 2^31 - 1
  EXPECT_EQ(mallocimage(9, 9).size(), 24u + 400u);
  EXPECT_TRUE(mallocimage(-1, 0).empty());
}

TEST(Images, StoredPageReadsBackWithItsHeader) {
  const platform::Page page = sample(5, 3);
  std::vector<uint8_t> buffer = mallocimage(4, 2);
  ASSERT_TRUE(store_image(page, buffer));
  EXPECT_EQ(buffer[4], 5);
  EXPECT_EQ(buffer[8], 3);
  EXPECT_EQ(buffer[12], 20);
  EXPECT_EQ(buffer[16], 1);
  EXPECT_EQ(buffer[18], 32);
  const auto back = image_page(buffer);
  ASSERT_TRUE(back.has_value());
  EXPECT_TRUE(std::equal(page.data(), page.data() + 15, back->data()));
  std::vector<uint8_t> small = mallocimage(3, 2);
  EXPECT_FALSE(store_image(page, small));  // the buffer's capacity is checked
}

TEST(Images, ImagesClaimingMoreThanTheyHoldAreRefused) {
  std::vector<uint8_t> buffer = mallocimage(4, 2);
  ASSERT_TRUE(store_image(sample(5, 3), buffer));
  struct Case {
    const char* name;
    size_t at;
    uint8_t value;
  };
  const Case cases[] = {{"wider", 4, 6}, {"taller", 8, 4}, {"row bytes", 12, 24}, {"type", 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bad = buffer;
    bad[c.at] = c.value;
    EXPECT_FALSE(image_page(bad).has_value());
  }
  EXPECT_FALSE(image_page(std::span(buffer.data(), buffer.size() - 1)).has_value());
}

TEST(Images, ScaleStretchesIntoATargetThatFits) {
  std::vector<uint8_t> source = mallocimage(1, 0);
  platform::Page two(2, 1);
  two.at(0, 0) = 0xFF0000, two.at(1, 0) = 0x0000FF;
  ASSERT_TRUE(store_image(two, source));
  std::vector<uint8_t> target = mallocimage(3, 1);
  ASSERT_TRUE(scaleimage(source, target, 4, 2));
  const auto scaled = image_page(target);
  ASSERT_TRUE(scaled.has_value());
  EXPECT_EQ(scaled->width(), 4);
  EXPECT_EQ(scaled->at(1, 1), 0xFF0000u);
  EXPECT_EQ(scaled->at(2, 0), 0x0000FFu);
  EXPECT_FALSE(scaleimage(source, target, 5, 2));  // 5 x 2 does not fit
  EXPECT_FALSE(scaleimage(source, target, 0, 2));
  EXPECT_FALSE(scaleimage(std::span(source.data(), 10), target, 2, 2));
}

TEST(Images, LoadImageReadsAPictureFile) {
  const auto path = temp_path("varqen_loadimage.bmp").string();
  const platform::Page page = sample(7, 4);
  ASSERT_TRUE(platform::write_bmp24(path, page));
  int32_t w = 0, h = 0;
  const std::vector<uint8_t> image = loadimage(path.c_str(), &w, &h);
  EXPECT_EQ(w, 7);
  EXPECT_EQ(h, 4);
  const auto back = image_page(image);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->at(6, 3), page.at(6, 3));
  std::filesystem::remove(path);
  EXPECT_TRUE(loadimage(path.c_str(), &w, &h).empty());
  EXPECT_TRUE(loadimage(nullptr, &w, &h).empty());
}

}  // namespace
}  // namespace gk
