#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/image/bmp.hpp"
#include "platform/image/picture.hpp"
#include "platform/image/scale.hpp"
#include "support/temp_dir.hpp"

namespace platform {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}
void set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

Page pattern_page(int w, int h) {
  Page page(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      page.at(x, y) = (Pixel(x * 7 & 0xFF) << 16) | (Pixel(y * 5 & 0xFF) << 8) | 0x5A;
  }
  return page;
}

// A file with the given header fields, colour table and pixel bytes, as another program
// would write it.
std::vector<uint8_t> make_bmp(int32_t w,
                              int32_t h,
                              uint16_t bits,
                              const std::vector<uint32_t>& table,
                              const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> b(54 + 4 * table.size());
  b[0] = 'B', b[1] = 'M';
  set32(b, 10, static_cast<uint32_t>(b.size()));
  set32(b, 14, 40);
  set32(b, 18, static_cast<uint32_t>(w));
  set32(b, 22, static_cast<uint32_t>(h));
  b[26] = 1, b[28] = static_cast<uint8_t>(bits);
  set32(b, 46, static_cast<uint32_t>(table.size()));
  for (size_t i = 0; i < table.size(); ++i) set32(b, 54 + 4 * i, table[i]);
  b.insert(b.end(), pixels.begin(), pixels.end());
  set32(b, 2, static_cast<uint32_t>(b.size()));
  return b;
}

TEST(Bmp, WrittenFileHasTheDocumentedLayout) {
  const Page page = pattern_page(100, 50);
  const std::vector<uint8_t> b = encode_bmp24(page);
  ASSERT_EQ(b.size(), 54u + 15000u);  // stride 300, a multiple of 4
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(le32(b, 2), 15054u);
  EXPECT_EQ(le32(b, 6), 0u);
  EXPECT_EQ(le32(b, 10), 54u);
  EXPECT_EQ(le32(b, 14), 40u);
  EXPECT_EQ(le32(b, 18), 100u);
  EXPECT_EQ(le32(b, 22), 50u);
  EXPECT_EQ(b[26] | (b[27] << 8), 1);
  EXPECT_EQ(b[28] | (b[29] << 8), 24);
  EXPECT_EQ(le32(b, 30), 0u);
  EXPECT_EQ(le32(b, 34), 15000u);
  for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(le32(b, at), 0u);
  // Bottom row first, blue green red.
  const Pixel bottom_left = page.at(0, 49);
  EXPECT_EQ(b[54], bottom_left & 0xFF);
  EXPECT_EQ(b[55], (bottom_left >> 8) & 0xFF);
  EXPECT_EQ(b[56], bottom_left >> 16);
}

TEST(Bmp, RowsArePaddedToFourBytes) {
  for (int w : {1, 2, 3, 4, 5, 33}) {
    SCOPED_TRACE(w);
    const std::vector<uint8_t> b = encode_bmp24(pattern_page(w, 3));
    EXPECT_EQ(b.size(), 54u + 4 * ((3 * w + 3) / 4) * 3);
    EXPECT_EQ(le32(b, 34), b.size() - 54);
  }
}

TEST(Bmp, WrittenFileReadsBackPixelIdentical) {
  const testsupport::TempDir dir;
  const auto path = dir.path() / "varqen_bmp_round_trip.bmp";
  for (int w : {100, 7, 1}) {
    SCOPED_TRACE(w);
    const Page page = pattern_page(w, 13);
    ASSERT_TRUE(write_bmp24(path.string(), page));
    EXPECT_EQ(std::filesystem::file_size(path), encode_bmp24(page).size());
    BmpError error = BmpError::TooLarge;
    const auto back = read_bmp(path.string(), &error);
    EXPECT_EQ(error, BmpError::None);
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->width(), w);
    ASSERT_EQ(back->height(), 13);
    EXPECT_TRUE(std::equal(page.data(), page.data() + w * 13, back->data()));
  }
  std::filesystem::remove(path);
}

TEST(Bmp, UnwritablePathFailsAndLeavesNoFile) {
  const std::string path = "/nonexistent-dir/x.bmp";
  EXPECT_FALSE(write_bmp24(path, pattern_page(4, 4)));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Bmp, ReadsPalettedAndTopDownFiles) {
  const std::vector<uint32_t> two = {0x000000, 0xFFFFFF};
  const std::vector<uint32_t> sixteen = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};  // 4 used
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    std::vector<Pixel> top_row, bottom_row;
  };
  const Case cases[] = {
      {"1 bit",
       make_bmp(3, 2, 1, two, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}),
       {0, 0xFFFFFF, 0},
       {0xFFFFFF, 0, 0xFFFFFF}},
      {"4 bits",
       make_bmp(3, 2, 4, sixteen, {0x12, 0x30, 0, 0, 0x21, 0x00, 0, 0}),
       {0x00FF00, 0x0000FF, 0},
       {0x0000FF, 0x00FF00, 0xFF0000}},
      {"8 bits", make_bmp(2, 1, 8, sixteen, {3, 1, 0, 0}), {0xFF0000, 0x0000FF}, {}},
      {"8 bits index beyond table", make_bmp(1, 1, 8, sixteen, {200, 0, 0, 0}), {0}, {}},
      {"24 bits top-down",
       make_bmp(1, -2, 24, {}, {1, 2, 3, 0, 4, 5, 6, 0}),
       {0x030201},
       {0x060504}},
      {"32 bits", make_bmp(2, 1, 32, {}, {1, 2, 3, 0, 4, 5, 6, 0}), {0x030201, 0x060504}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpError error = BmpError::TooLarge;
    const auto page = decode_bmp(c.file, &error);
    ASSERT_TRUE(page.has_value()) << to_string(error);
    for (size_t x = 0; x < c.top_row.size(); ++x) EXPECT_EQ(page->at(int(x), 0), c.top_row[x]);
    for (size_t x = 0; x < c.bottom_row.size(); ++x) {
      EXPECT_EQ(page->at(int(x), page->height() - 1), c.bottom_row[x]);
    }
  }
}

TEST(Bmp, Reads32BitFilesWithTheUsualColourMasks) {
  // A 40-byte header followed by the three masks, then two pixels.
  std::vector<uint8_t> file = make_bmp(2, 1, 32, {}, {1, 2, 3, 0, 4, 5, 6, 0});
  set32(file, 30, 3);  // colour masks
  const std::vector<uint8_t> masks = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
  file.insert(file.begin() + 54, masks.begin(), masks.end());
  set32(file, 10, 66);
  set32(file, 2, static_cast<uint32_t>(file.size()));
  const auto page = decode_bmp(file);
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(page->at(1, 0), 0x060504u);
  const auto dib = dib_of_file(file);
  ASSERT_TRUE(dib.has_value());
  EXPECT_EQ(le32(*dib, 16), 0u);  // plain pixels once the masks are gone
  EXPECT_EQ(decode_dib(*dib)->at(0, 0), 0x030201u);
  file[56] = 0xFE;  // another layout
  BmpError error = BmpError::None;
  EXPECT_FALSE(decode_bmp(file, &error).has_value());
  EXPECT_EQ(error, BmpError::Unsupported);
}

TEST(Bmp, RefusesHeadersThatDoNotFitTheFile) {
  const std::vector<uint8_t> good = encode_bmp24(pattern_page(5, 4));
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    BmpError expected;
  };
  const Case cases[] = {
      {"signature", 0, 0x4D41, BmpError::NotBitmap},
      {"core header", 14, 12, BmpError::BadHeader},
      {"huge header", 14, 0x7FFFFFF0, BmpError::BadHeader},
      {"zero width", 18, 0, BmpError::BadHeader},
      {"negative width", 18, 0xFFFFFFFF, BmpError::BadHeader},
      {"zero height", 22, 0, BmpError::BadHeader},
      {"most negative height", 22, 0x80000000, BmpError::BadHeader},
      {"taller than the file", 22, 5, BmpError::Truncated},
      {"wider than the file", 18, 6, BmpError::Truncated},
      {"huge", 18, 0x7FFFFFFF, BmpError::TooLarge},
      {"planes", 26, 2 | (24 << 16), BmpError::BadHeader},
      {"bits", 28, 16, BmpError::Unsupported},
      {"compressed", 30, 1, BmpError::Unsupported},
      {"offset past the end", 10, 0xFFFFFF00, BmpError::Truncated},
      {"offset inside the header", 10, 20, BmpError::BadOffset},
      {"colour table past the end", 46, 0x40000000, BmpError::Truncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bad = good;
    set32(bad, c.at, c.value);
    BmpError error = BmpError::None;
    EXPECT_FALSE(decode_bmp(bad, &error).has_value());
    EXPECT_EQ(error, c.expected);
  }
  const std::vector<uint32_t> two = {0, 0xFFFFFF};
  std::vector<uint8_t> too_many_colours = make_bmp(1, 1, 1, two, {0, 0, 0, 0});
  set32(too_many_colours, 46, 3);
  EXPECT_FALSE(decode_bmp(too_many_colours).has_value());
  for (size_t n : {size_t{0}, size_t{10}, size_t{53}, good.size() - 1}) {
    SCOPED_TRACE(n);
    BmpError error = BmpError::None;
    EXPECT_FALSE(decode_bmp(std::span(good.data(), n), &error).has_value());
    EXPECT_EQ(error, BmpError::Truncated);
  }
  BmpError error = BmpError::None;
  EXPECT_FALSE(read_bmp("/nonexistent-dir/x.bmp", &error).has_value());
  EXPECT_EQ(error, BmpError::CannotOpen);
}

TEST(Bmp, PackedBitmapsMatchTheFileWithoutItsHeader) {
  const Page page = pattern_page(6, 3);
  const std::vector<uint8_t> file = encode_bmp24(page);
  const std::vector<uint8_t> dib = encode_dib24(page);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 14, file.end()), dib);
  const auto back = decode_dib(dib);
  ASSERT_TRUE(back.has_value());
  EXPECT_TRUE(std::equal(page.data(), page.data() + 18, back->data()));
  EXPECT_EQ(dib_of_file(file), dib);
}

TEST(Bmp, PackedBitmapOfAFileKeepsOnlyWhatThePixelsUse) {
  // A 108-byte header, a 4-entry table and a gap before the pixels.
  const std::vector<uint32_t> table = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
  std::vector<uint8_t> file = make_bmp(2, 1, 8, table, {3, 1, 0, 0});
  file.insert(file.begin() + 54, 68, 0);  // header grows to 108 bytes
  set32(file, 14, 108);
  file.insert(file.begin() + 14 + 108 + 16, 8, 0xEE);  // gap after the table
  set32(file, 10, 14 + 108 + 16 + 8);
  set32(file, 2, static_cast<uint32_t>(file.size()));
  const auto dib = dib_of_file(file);
  ASSERT_TRUE(dib.has_value());
  ASSERT_EQ(dib->size(), 40u + 16u + 4u);
  EXPECT_EQ(le32(*dib, 0), 40u);
  EXPECT_EQ(le32(*dib, 20), 4u);  // image size filled in
  const auto page = decode_dib(*dib);
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(page->at(0, 0), 0xFF0000u);
  EXPECT_EQ(page->at(1, 0), 0x0000FFu);
  file[0] = 'X';
  EXPECT_FALSE(dib_of_file(file).has_value());
}

// Run-length files of 3 x 2 pixels (unless said) with the colours black, blue, green and red:
// what each code draws, and streams that break off or do not fit their header.
TEST(Bmp, RunLengthImagesDecodeAndMalformedOnesAreRefused) {
  constexpr Pixel K = 0, B = 0x0000FF, G = 0x00FF00, R = 0xFF0000;
  const std::vector<uint32_t> table = {K, B, G, R};
  struct Case {
    const char* name;
    uint16_t bits;
    uint32_t compression;
    std::vector<uint8_t> stream;
    BmpError expected;
    std::vector<Pixel> top, bottom;
    int32_t height = 2;
    int64_t size_field = -1;  // the header's image size; -1: the stream's length
  };
  const std::vector<uint8_t> runs = {3, 3, 0, 0, 2, 1, 1, 2, 0, 0, 0, 1};
  // clang-format off
  const Case cases[] = {
      {"RLE8 runs", 8, 1, runs, BmpError::None, {B, B, G}, {R, R, R}},
      {"RLE8 image size 0: to the end", 8, 1, runs, BmpError::None, {B, B, G}, {R, R, R}, 2, 0},
      {"RLE8 absolute mode, padded",
       8, 1, {0, 3, 1, 2, 3, 0, 0, 0, 3, 2, 0, 1}, BmpError::None, {G, G, G}, {B, G, R}},
      {"RLE8 delta skips pixels",
       8, 1, {1, 3, 0, 2, 1, 1, 1, 2, 0, 1}, BmpError::None, {K, K, G}, {R, K, K}},
      {"RLE8 pixels past the right edge are dropped",
       8, 1, {5, 1, 0, 0, 0, 4, 2, 2, 2, 2, 0, 1}, BmpError::None, {G, G, G}, {B, B, B}},
      {"RLE8 codes above the top are dropped",
       8, 1, {3, 1, 0, 2, 0, 5, 3, 3, 0, 1}, BmpError::None, {K, K, K}, {B, B, B}},
      {"RLE8 index beyond the table",
       8, 1, {3, 200, 0, 0, 3, 3, 0, 1}, BmpError::None, {R, R, R}, {K, K, K}},
      {"RLE4 runs alternate halves",
       4, 2, {3, 0x12, 0, 0, 2, 0x33, 0, 1}, BmpError::None, {R, R, K}, {B, G, B}},
      {"RLE4 absolute mode, padded",
       4, 2, {0, 3, 0x12, 0x30, 0, 0, 0, 5, 0x32, 0x11, 0x10, 0, 0, 1}, BmpError::None,
       {R, G, B}, {B, G, R}},
      {"no end-of-bitmap mark", 8, 1, {3, 3, 0, 0}, BmpError::Truncated, {}, {}},
      {"ends inside a delta", 8, 1, {0, 2, 1}, BmpError::Truncated, {}, {}},
      {"ends inside absolute data", 8, 1, {0, 5, 1, 2}, BmpError::Truncated, {}, {}},
      {"absolute data without its pad byte", 8, 1, {0, 3, 1, 2, 3}, BmpError::Truncated, {}, {}},
      {"RLE4 absolute data cut short", 4, 2, {0, 5, 0x12, 0x30}, BmpError::Truncated, {}, {}},
      {"a lone byte", 8, 1, {3}, BmpError::Truncated, {}, {}},
      {"empty", 8, 1, {}, BmpError::Truncated, {}, {}},
      {"image size past the file", 8, 1, runs, BmpError::Truncated, {}, {}, 2, 13},
      {"RLE8 with 4 bits", 4, 1, runs, BmpError::Unsupported, {}, {}},
      {"RLE4 with 8 bits", 8, 2, runs, BmpError::Unsupported, {}, {}},
      {"top-down", 8, 1, runs, BmpError::Unsupported, {}, {}, -2},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file = make_bmp(3, c.height, c.bits, table, c.stream);
    set32(file, 30, c.compression);
    set32(file, 34, static_cast<uint32_t>(c.size_field < 0 ? c.stream.size() : c.size_field));
    BmpError error = BmpError::TooLarge;
    const auto page = decode_bmp(file, &error);
    EXPECT_EQ(error, c.expected) << to_string(error);
    const auto dib = dib_of_file(file);
    if (c.expected != BmpError::None) {
      EXPECT_FALSE(page.has_value());
      EXPECT_FALSE(dib.has_value());
      continue;
    }
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(std::vector<Pixel>(page->row(0), page->row(0) + 3), c.top);
    EXPECT_EQ(std::vector<Pixel>(page->row(1), page->row(1) + 3), c.bottom);
    // The packed bitmap keeps the run lengths and reads as the same picture.
    ASSERT_TRUE(dib.has_value());
    EXPECT_EQ(le32(*dib, 16), c.compression);
    EXPECT_EQ(le32(*dib, 20), c.stream.size());
    const auto again = decode_dib(*dib);
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(std::equal(page->data(), page->data() + 6, again->data()));
  }
}

// A picture drawn at its own size onto a new page.
Page drawn(const Picture& picture) {
  Page page(picture.width(), picture.height());
  DeviceContext dc(page);
  picture.render(dc, {0, 0, page.width(), page.height()});
  return page;
}

TEST(Picture, ReadsBitmapsAndRefusesUnknownBytes) {
  const Page page = pattern_page(9, 4);
  const auto back = decode_picture(encode_bmp24(page));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(drawn(*back).at(8, 3), page.at(8, 3));
  const std::vector<uint8_t> junk = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'};
  EXPECT_FALSE(decode_picture(junk).has_value());
  EXPECT_FALSE(decode_picture({}).has_value());
}

TEST(Picture, DecodesPng) {
  // A 2 x 1 RGB PNG: red, then blue.
  const std::vector<uint8_t> png = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
      0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00,
      0x00, 0x7B, 0x40, 0xE8, 0xDD, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
      0x9C, 0x63, 0xF8, 0xCF, 0x00, 0x04, 0xFF, 0x01, 0x07, 0x00, 0x01, 0xFF, 0xE2, 0x23,
      0x9E, 0x59, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  // Empty data chunks are allowed anywhere among the data; one before it is where the decoder
  // would otherwise copy through a null buffer.
  const std::vector<uint8_t> empty = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
  std::vector<uint8_t> padded = png;
  padded.insert(padded.begin() + 58, empty.begin(), empty.end());  // after the data
  padded.insert(padded.begin() + 33, empty.begin(), empty.end());  // after the header
  padded.insert(padded.begin() + 33, empty.begin(), empty.end());
  for (const auto& bytes : {png, padded}) {
    const auto picture = decode_picture(bytes);
    ASSERT_TRUE(picture.has_value());
    ASSERT_EQ(picture->width(), 2);
    ASSERT_EQ(picture->height(), 1);
    const Page page = drawn(*picture);
    EXPECT_EQ(page.at(0, 0), 0xFF0000u);
    EXPECT_EQ(page.at(1, 0), 0x0000FFu);
  }
}

TEST(Picture, LargeDrawingsAreScaledBandByBandOntoThePage) {
  // 1100 x 1000 pixels drawn at (5, 7) on a page one pixel short each way: several bands of
  // rows, each where the whole stretch puts it, the page's edge and the pixels before the
  // corner left alone.
  const Page source = pattern_page(5, 3);
  const auto picture = decode_picture(encode_bmp24(source));
  ASSERT_TRUE(picture.has_value());
  Page page(1104, 1006);
  page.fill(0x123456);
  DeviceContext dc(page);
  picture->render(dc, {5, 7, 1100, 1000});
  const Page whole = scale_page(source, 1100, 1000);
  for (int y = 0; y < page.height(); ++y) {
    for (int x = 0; x < page.width(); ++x) {
      const bool drawn = x >= 5 && y >= 7;
      ASSERT_EQ(page.at(x, y), drawn ? whole.at(x - 5, y - 7) : 0x123456u) << x << "," << y;
    }
  }
}

TEST(Scale, AveragesTheCoveredArea) {
  Page checker(4, 2);
  for (int x = 0; x < 4; ++x) checker.at(x, 0) = checker.at(x, 1) = (x % 2) ? 0xFFFFFF : 0;
  const Page half = scale_page(checker, 2, 1);
  EXPECT_EQ(half.at(0, 0), 0x808080u);  // 127.5 rounds up
  EXPECT_EQ(half.at(1, 0), 0x808080u);
  const Page third = scale_page(checker, 3, 2);  // uneven: 4/3 source pixels per target pixel
  EXPECT_EQ(third.at(0, 0), 0x404040u);          // 1 black + 1/3 white over 4/3 = 0.25
  EXPECT_EQ(third.at(1, 0), 0x808080u);
  const Page doubled = scale_page(checker, 8, 4);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(doubled.at(x, 3), checker.at(x / 2, 1));
  EXPECT_EQ(scale_page(checker, 0, 5).width(), 0);
  const Page whole = scale_page(checker, 7, 5);
  const Page part = scale_page(checker, 7, 5, {2, 1, 6, 9});  // cut to 4 x 4
  ASSERT_EQ(part.width(), 4);
  ASSERT_EQ(part.height(), 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(part.at(x, y), whole.at(x + 2, y + 1));
  }
  EXPECT_EQ(scale_page(checker, 7, 5, {7, 0, 9, 5}).width(), 0);
  EXPECT_EQ(scale_page(Page(), 5, 5).width(), 0);
}

// A thin picture, 1 x 999 and on its side 999 x 1, whose pixel k has grey level k % 256,
// stretched across (3 x 2, 2 x 3) and shrunk along: each target pixel is the mean of the 499.5
// source pixels under it, computed here directly.
TEST(Scale, ThinPicturesAverageEverySourcePixelUnderATarget) {
  constexpr int kLength = 999;
  Page tall(1, kLength), wide(kLength, 1);
  for (int k = 0; k < kLength; ++k) tall.at(0, k) = wide.at(k, 0) = Pixel(k % 256) * 0x010101u;
  // Target half h covers source [h * 499.5, (h + 1) * 499.5): whole pixels and a half one.
  const auto mean = [](int half) {
    double sum = 0;
    for (int k = 0; k < kLength; ++k) {
      const double lo = std::max<double>(k, half * 499.5),
                   hi = std::min<double>(k + 1, (half + 1) * 499.5);
      if (hi > lo) sum += (hi - lo) * (k % 256);
    }
    return Pixel(sum / 499.5 + 0.5) * 0x010101u;
  };
  const Page across = scale_page(tall, 3, 2), along = scale_page(wide, 2, 3);
  for (int half = 0; half < 2; ++half) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(across.at(i, half), mean(half)) << i << ", " << half;
      EXPECT_EQ(along.at(half, i), mean(half)) << i << ", " << half;
    }
  }
}

}  // namespace
}  // namespace platform
