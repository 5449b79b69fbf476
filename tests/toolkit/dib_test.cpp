#include "toolkit/dib.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/device_context.hpp"
#include "platform/image/bmp.hpp"
#include "platform/image/picture_file.hpp"
#include "support/temp_dir.hpp"

namespace gk {
namespace {

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
  const testsupport::TempDir dir;
  const auto path = dir.file("varqen_dib_test.bmp");
  const platform::Page page = sample(37, 11);
  Dib dib = BitmapToDIB(page);
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(SaveDIB(dib.get(), path), kDibSaved);
  EXPECT_EQ(std::filesystem::file_size(path), 54u + 112u * 11u);
  std::string reason;
  const auto bytes = platform::read_picture_file(path, reason);
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
  const testsupport::TempDir dir;
  const auto path = dir.file("varqen_dib_refused.bmp");
  EXPECT_EQ(SaveDIB(nullptr, path), kDibMissing);
  Dib dib = BitmapToDIB(sample(4, 4));
  dib->bytes.resize(dib->bytes.size() - 1);  // pixels cut short
  EXPECT_EQ(SaveDIB(dib.get(), path), kDibUnreadable);
  PackedDib core{std::vector<uint8_t>(12, 0)};
  core.bytes[0] = 12;
  EXPECT_EQ(SaveDIB(&core, path), kDibUnreadable);
  // 2^31 x 2^30 pixels of 64 bits: 2^64 image bytes, which wrap to 0 in 64 bits.
  PackedDib wrapping{std::vector<uint8_t>(40, 0)};
  wrapping.bytes[0] = 40, wrapping.bytes[7] = 0x80, wrapping.bytes[11] = 0x40;
  wrapping.bytes[12] = 1, wrapping.bytes[14] = 64;
  EXPECT_EQ(SaveDIB(&wrapping, path), kDibUnreadable);
  PackedDib many_colours{std::vector<uint8_t>(40, 0)};
  many_colours.bytes[0] = 40, many_colours.bytes[35] = 0x40;  // 2^30 colours used
  EXPECT_EQ(PaletteSize(many_colours), INT32_MAX);
  EXPECT_EQ(SaveDIB(&many_colours, path), kDibUnreadable);
  EXPECT_FALSE(std::filesystem::exists(path));
  Dib good = BitmapToDIB(sample(4, 4));
  EXPECT_EQ(SaveDIB(good.get(), "/nonexistent-dir/x.bmp"), kDibFileError);
  EXPECT_EQ(BitmapToDIB(platform::Page()), nullptr);
  const std::vector<uint8_t> junk(60, 'B');
  EXPECT_EQ(ReadDIBFile(junk), nullptr);
}

// A 4 x 2 page: top row red, red, red, blue; bottom row white.
platform::Page flag() {
  platform::Page page(4, 2);
  page.at(0, 0) = page.at(1, 0) = page.at(2, 0) = 0xFF0000;
  page.at(3, 0) = 0x0000FF;
  for (int x = 0; x < 4; ++x) page.at(x, 1) = 0xFFFFFF;
  return page;
}

uint32_t field32(const PackedDib& dib, size_t at) {
  return dib.bytes[at] | dib.bytes[at + 1] << 8 | dib.bytes[at + 2] << 16 | dib.bytes[at + 3] << 24;
}

// Each format's header, colour table and pixels: every one reads back as the nearest palette
// colours; the run-length images are also checked byte for byte (runs bottom row first,
// end-of-line 0 0, end-of-bitmap 0 1).
TEST(Dib, ChangeDIBFormatConvertsToEachFormat) {
  platform::Page page = flag();
  const Dib source = BitmapToDIB(page);
  ASSERT_NE(source, nullptr);
  struct Case {
    int32_t bits, compression;
    uint32_t table;               // colour-table bytes
    std::vector<uint8_t> pixels;  // the run-length image; empty: not compared
  };
  const Case cases[] = {
      {24, kBiRgb, 0, {}},
      {8, kBiRgb, 1024, {}},
      {4, kBiRgb, 64, {}},
      {1, kBiRgb, 8, {}},
      {8, kBiRle8, 1024, {4, 0xFF, 0, 0, 3, 0xE0, 1, 0x03, 0, 0, 0, 1}},
      {4, kBiRle4, 64, {4, 0xFF, 0, 0, 3, 0x99, 1, 0xCC, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " bits, compression " << c.compression);
    const Dib dib = ChangeDIBFormat(*source, c.bits, c.compression);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(dib->bytes[14], c.bits);
    EXPECT_EQ(field32(*dib, 16), static_cast<uint32_t>(c.compression));
    EXPECT_EQ(static_cast<uint32_t>(PaletteSize(*dib)), c.table);
    EXPECT_EQ(FindDIBBits(*dib) + field32(*dib, 20), dib->bytes.size());
    if (!c.pixels.empty()) {
      EXPECT_EQ(std::vector<uint8_t>(dib->bytes.begin() + FindDIBBits(*dib), dib->bytes.end()),
                c.pixels);
    }
    const auto back = DIBToBitmap(*dib);
    ASSERT_TRUE(back.has_value());
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) {
        // One bit keeps white; red and blue are nearer to black.
        const platform::Pixel want =
            c.bits == 1 ? (page.at(x, y) == 0xFFFFFF ? 0xFFFFFF : 0) : page.at(x, y);
        EXPECT_EQ(back->at(x, y), want) << x << "," << y;
      }
    }
  }
  // Nearest colours: mid grey goes to the VGA palette's 808080, to black or white by distance,
  // and channel by channel to the 3-3-2 levels (0, 36, ...; 0, 85, ...).
  page.at(0, 0) = 0x7F7F7F, page.at(1, 0) = 0x808080, page.at(2, 0) = 0x123456;
  const Dib greys = BitmapToDIB(page);
  const auto four = DIBToBitmap(*ChangeDIBFormat(*greys, 4, kBiRgb));
  const auto one = DIBToBitmap(*ChangeDIBFormat(*greys, 1, kBiRgb));
  const auto eight = DIBToBitmap(*ChangeDIBFormat(*greys, 8, kBiRgb));
  EXPECT_EQ(four->at(0, 0), 0x808080u);
  EXPECT_EQ(one->at(0, 0), 0u);
  EXPECT_EQ(one->at(1, 0), 0xFFFFFFu);
  EXPECT_EQ(eight->at(2, 0), 0x002455u);
  // Combinations the format does not have, and a packed bitmap that cannot be read.
  for (const auto& [bits, compression] : std::vector<std::pair<int32_t, int32_t>>{{16, kBiRgb},
                                                                                  {32, kBiRgb},
                                                                                  {4, kBiRle8},
                                                                                  {8, kBiRle4},
                                                                                  {24, kBiRle8},
                                                                                  {1, kBiRle4},
                                                                                  {-1, 0}}) {
    EXPECT_EQ(ChangeDIBFormat(*source, bits, compression), nullptr) << bits << "/" << compression;
  }
  EXPECT_EQ(ChangeDIBFormat(PackedDib{std::vector<uint8_t>(40, 0)}, 8, kBiRgb), nullptr);
}

// Pages of palette colours, with runs longer than one code holds (255) and an odd width, come
// back pixel for pixel through the run lengths of their own bits, and convert again.
TEST(Dib, RunLengthRoundTripsArePixelExact) {
  const std::pair<int32_t, int32_t> formats[] = {{8, kBiRle8}, {4, kBiRle4}};
  for (const auto& [bits, rle] : formats) {
    SCOPED_TRACE(bits);
    const auto palette = CreateDIBPalette(*ChangeBitmapFormat(platform::Page(1, 1), bits, kBiRgb));
    ASSERT_TRUE(palette.has_value());
    const std::vector<platform::Pixel>& colours = palette->entries;
    platform::Page page(301, 4);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 301; ++x) {
        const int run = 1 + y * y * 3;  // 1, 4, 13, 28 pixels of one colour; row 0 varies
        page.at(x, y) = colours[y == 3 ? 5 : (x / run * 7 + y) % colours.size()];
      }
    }
    const Dib plain = ChangeBitmapFormat(page, bits, kBiRgb);
    const Dib packed = ChangeBitmapFormat(page, bits, rle);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(ChangeDIBFormat(*plain, bits, rle)->bytes, packed->bytes);
    const auto back = DIBToBitmap(*packed);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(std::equal(page.data(), page.data() + 301 * 4, back->data()));
    const Dib wide = ChangeDIBFormat(*packed, 24, kBiRgb);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->bytes, BitmapToDIB(page)->bytes);
  }
}

// Palettes copy 4-byte entries under a 40-byte header and 3-byte ones under a 12-byte header;
// a device has the colours of the page depth.
TEST(Dib, PalettesOfColourTablesAndDevices) {
  std::vector<uint8_t> info(40 + 8, 0);
  info[0] = 40, info[4] = 1, info[8] = 1, info[12] = 1, info[14] = 4, info[32] = 2;
  for (int i = 0; i < 8; ++i) info[40 + i] = static_cast<uint8_t>(0x11 * (i + 1));
  std::vector<uint8_t> core(12 + 6, 0);
  core[0] = 12, core[4] = 1, core[6] = 1, core[8] = 1, core[10] = 1;
  for (int i = 0; i < 6; ++i) core[12 + i] = static_cast<uint8_t>(i + 1);
  std::vector<uint8_t> forged = info;
  forged[32] = 3;  // one colour more than the block holds
  std::vector<uint8_t> v4 = info;
  v4[0] = 108;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::vector<platform::Pixel> entries;  // empty: no palette
  };
  const Case cases[] = {
      {"40-byte header, 2 colours used", info, {0x332211, 0x776655}},
      {"12-byte header", core, {0x030201, 0x060504}},
      {"24 bits", BitmapToDIB(platform::Page(2, 2))->bytes, {}},
      {"colours past the block", forged, {}},
      {"108-byte header", v4, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto palette = CreateDIBPalette(PackedDib{c.bytes});
    ASSERT_EQ(palette.has_value(), !c.entries.empty());
    if (!palette) continue;
    EXPECT_EQ(palette->version, 0x300);
    EXPECT_EQ(palette->entries, c.entries);
  }
  platform::Page page(1, 1);
  EXPECT_EQ(PalEntriesOnDevice(platform::DeviceContext(page)), 16777216);
  EXPECT_FALSE(GetSystemPalette().has_value());  // a true-colour display has no system palette
}

TEST(Dib, AllocRoomForDIBSizesHeaderTableAndImage) {
  const platform::Page page(10, 3);
  const auto header = [](uint32_t bits, uint32_t compression, uint32_t image, uint32_t used) {
    std::vector<uint8_t> h(40, 0);
    h[0] = 40, h[4] = 10, h[8] = 3, h[12] = 1, h[14] = static_cast<uint8_t>(bits);
    h[16] = static_cast<uint8_t>(compression), h[20] = static_cast<uint8_t>(image);
    h[32] = static_cast<uint8_t>(used);
    return h;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> head;
    size_t size;     // bytes of the block; 0: refused
    uint32_t image;  // its image size field
  };
  const Case cases[] = {
      {"8 bits", header(8, kBiRgb, 0, 0), 40 + 1024 + 12 * 3, 36},
      {"8 bits, 5 colours used", header(8, kBiRgb, 0, 5), 40 + 20 + 36, 36},
      {"24 bits", header(24, kBiRgb, 0, 0), 40 + 32 * 3, 96},
      {"image size given", header(4, kBiRgb, 100, 0), 40 + 64 + 100, 100},
      {"RLE8 of a black page: 10 0, end of line, per row; end of bitmap",
       header(8, kBiRle8, 0, 0),
       40 + 1024 + 14,
       14},
      {"RLE4 with 8 bits", header(8, kBiRle4, 0, 0), 0, 0},
      {"16 bits", header(16, kBiRgb, 0, 0), 0, 0},
      {"more colours than 4 bits address", header(4, kBiRgb, 0, 17), 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Dib dib = AllocRoomForDIB(c.head, page);
    if (c.size == 0) {
      EXPECT_EQ(dib, nullptr);
      continue;
    }
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(dib->bytes.size(), c.size);
    EXPECT_EQ(field32(*dib, 20), c.image);
    EXPECT_TRUE(std::equal(dib->bytes.begin(), dib->bytes.begin() + 20, c.head.begin()));
  }
  // A compressed header must describe the page it is made for; a core header is refused.
  EXPECT_EQ(AllocRoomForDIB(header(8, kBiRle8, 0, 0), platform::Page(9, 3)), nullptr);
  std::vector<uint8_t> core = header(8, kBiRgb, 0, 0);
  core[0] = 12;
  EXPECT_EQ(AllocRoomForDIB(core, page), nullptr);
}

}  // namespace
}  // namespace gk
