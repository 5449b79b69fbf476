#include "toolkit/dib.hpp"

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
    for (int x = 0; x < w; ++x) page.at(x, y) = static_cast<platform::Pixel>(x * 40 + y * 9000);
  }
  return page;
}

TEST(Dib, CreateRoundsBitsAndSizesTheTable) {
  struct Case {
    int32_t bits, rounded, colours, palette;
  };
  const Case cases[] = {{0, 1, 2, 8},
                        {1, 1, 2, 8},
                        {2, 4, 16, 64},
                        {8, 8, 256, 1024},
                        {16, 24, 0, 0},
                        {24, 24, 0, 0},
                        {32, 4, 16, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    Dib dib = CreateDIB(10, 3, c.bits);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(dib->bytes[14], c.rounded);
    EXPECT_EQ(DIBNumColors(*dib), c.colours);
    EXPECT_EQ(PaletteSize(*dib), c.palette);
    EXPECT_EQ(FindDIBBits(*dib), 40u + c.palette);
    EXPECT_EQ(DIBWidth(*dib), 10);
    EXPECT_EQ(DIBHeight(*dib), 3);
    EXPECT_EQ(dib->bytes.size(), 40u + c.palette + ((c.rounded * 10 + 31) / 32) * 4 * 3);
  }
  EXPECT_EQ(CreateDIB(0, 3, 8), nullptr);
  EXPECT_EQ(CreateDIB(1 << 20, 1 << 20, 24), nullptr);
}

TEST(Dib, CoreHeaderSizesUseThreeByteColours) {
  PackedDib core{std::vector<uint8_t>(12, 0)};
  core.bytes[0] = 12, core.bytes[4] = 7, core.bytes[6] = 5, core.bytes[10] = 4;
  EXPECT_EQ(DIBWidth(core), 7);
  EXPECT_EQ(DIBHeight(core), 5);
  EXPECT_EQ(PaletteSize(core), 48);
}

TEST(Dib, PageSavesAndReadsBackThroughAFile) {
  const auto path = temp_path("varqen_dib_test.bmp").string();
  const platform::Page page = sample(37, 11);
  Dib dib = BitmapToDIB(page);
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(SaveDIB(dib.get(), path), kDibSaved);
  EXPECT_EQ(std::filesystem::file_size(path), 54u + 112u * 11u);
  const auto bytes = platform::read_file_bytes(path);
  ASSERT_TRUE(bytes.has_value());
  Dib back = ReadDIBFile(*bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->bytes, dib->bytes);
  const auto copy = DIBToBitmap(*back);
  ASSERT_TRUE(copy.has_value());
  EXPECT_TRUE(std::equal(page.data(), page.data() + 37 * 11, copy->data()));
  DestroyDIB(back);
  EXPECT_EQ(back, nullptr);
  std::filesystem::remove(path);
}

TEST(Dib, SaveRefusesWhatItCannotWrite) {
  const auto path = temp_path("varqen_dib_refused.bmp").string();
  EXPECT_EQ(SaveDIB(nullptr, path), kDibMissing);
  Dib dib = BitmapToDIB(sample(4, 4));
  dib->bytes.resize(dib->bytes.size() - 1);  // pixels cut short
  EXPECT_EQ(SaveDIB(dib.get(), path), kDibUnreadable);
  PackedDib core{std::vector<uint8_t>(12, 0)};
  core.bytes[0] = 12;
  EXPECT_EQ(SaveDIB(&core, path), kDibUnreadable);
  EXPECT_FALSE(std::filesystem::exists(path));
  Dib good = BitmapToDIB(sample(4, 4));
  EXPECT_EQ(SaveDIB(good.get(), "/nonexistent-dir/x.bmp"), kDibFileError);
  EXPECT_EQ(BitmapToDIB(platform::Page()), nullptr);
  const std::vector<uint8_t> junk(60, 'B');
  EXPECT_EQ(ReadDIBFile(junk), nullptr);
}

}  // namespace
}  // namespace gk
