// PNG, JPEG and GIF pictures through the picture reader: colours as stored, and every file
// that would make a decoder read out of bounds or allocate past the pixel limit refused.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "platform/gfx/device_context.hpp"
#include "platform/image/bmp.hpp"
#include "platform/image/jpeg_decode.hpp"
#include "platform/image/picture.hpp"
#include "platform/image/png_decode.hpp"
#include "support/icon_file.hpp"
#include "support/picture_files.hpp"

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;

Page drawn(const Picture& picture) {
  Page page(picture.width(), picture.height());
  DeviceContext dc(page);
  picture.render(dc, {0, 0, page.width(), page.height()});
  return page;
}

void set16_be(Bytes& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v >> 8);
  b[at + 1] = uint8_t(v);
}

TEST(PictureDecoders, JpegColoursComeBackWithinTheCodingLoss) {
  std::vector<uint32_t> rgb(16 * 8);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = i % 16 < 8 ? 0xFF0000 : 0x0000FF;
  const auto picture = decode_picture(testsupport::jpeg_file(16, 8, rgb));
  ASSERT_TRUE(picture.has_value());
  ASSERT_EQ(picture->width(), 16);
  ASSERT_EQ(picture->height(), 8);
  const Page page = drawn(*picture);
  constexpr int kLoss = 4;  // quality 100, solid 8 x 8 blocks: a few levels of rounding
  for (const auto& [x, want] : {std::pair{2, 0xFF0000u}, {13, 0x0000FFu}}) {
    for (int shift : {0, 8, 16}) {
      const int got = int((page.at(x, 3) >> shift) & 0xFF), expected = int((want >> shift) & 0xFF);
      EXPECT_LE(std::abs(got - expected), kLoss) << "x " << x << ", shift " << shift;
    }
  }
}

// The decoder hands libpng the file only while rows remain, so what the compressed stream holds
// after the last row is never inflated (32 MiB of zeros take 32 KB of the file, the rows under
// 2 KB), and a file cut short after its rows is drawn. Rows stored in the seven interlaced
// passes land where the passes put them, also where a pass holds no pixel.
TEST(PictureDecoders, PngReadingEndsWithTheRows) {
  constexpr size_t kZeros = size_t{32} << 20;
  const struct {
    const char* name;
    int width, height;
    testsupport::PngLayout layout;
    bool cut = false;  // the file cut short halfway
  } cases[] = {
      {"row by row", 13, 9, {}},
      {"interlaced", 13, 9, {true, 0}},
      {"interlaced, one pixel", 1, 1, {true, 0}},
      {"zeros after the rows", 13, 9, {false, kZeros}},
      {"interlaced, zeros after the rows", 13, 9, {true, kZeros}},
      {"cut short after the rows", 13, 9, {false, kZeros}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint32_t> argb;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x)
        argb.push_back(uint32_t(0x80 + 8 * x) << 24 | 0x10 * x << 8 | y);
    }
    Bytes file = testsupport::png_rgba(c.width, c.height, argb, c.layout);
    if (c.cut) file.resize(file.size() / 2);
    Page opacity;
    DecodeError error = DecodeError::NotPicture;
    DecodeWork work;
    const auto page = decode_png(file, &opacity, &error, &work);
    EXPECT_EQ(error, DecodeError::None);
    ASSERT_TRUE(page.has_value());
    for (int i = 0; i < c.width * c.height; ++i) {
      const uint32_t want = argb[size_t(i)];
      EXPECT_EQ(page->at(i % c.width, i / c.width), want & 0xFFFFFF) << i;
      EXPECT_EQ(opacity.at(i % c.width, i / c.width), (want >> 24) * 0x010101u) << i;
    }
    EXPECT_LT(work.bytes_read, 16384u);
  }
}

// Bytes placed at the end of a mapping whose next page cannot be read, so that reading past
// them faults at once.
class Fenced {
 public:
  explicit Fenced(const Bytes& bytes) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    size_ = (bytes.size() + page - 1) / page * page + page;
    void* map = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    map_ = static_cast<uint8_t*>(map);
    mprotect(map_ + size_ - page, page, PROT_NONE);
    start_ = map_ + size_ - page - bytes.size();
    std::copy(bytes.begin(), bytes.end(), start_);
    length_ = bytes.size();
  }
  ~Fenced() { munmap(map_, size_); }
  Fenced(const Fenced&) = delete;
  Fenced& operator=(const Fenced&) = delete;
  std::span<const uint8_t> bytes() const { return {start_, length_}; }

 private:
  uint8_t* map_ = nullptr;
  uint8_t* start_ = nullptr;
  size_t size_ = 0, length_ = 0;
};

// A file cut short inside a chunk, or inside a chunk's header, before the rows is refused
// without a byte past its end read: a text chunk that claims 64 MiB, cut after 50 of them,
// would otherwise be read on as far as it claims.
TEST(PictureDecoders, PngCutShortInsideAChunkIsReadNoFurther) {
  Bytes file = testsupport::png_rgba(2, 1, {0xFF123456, 0xFF654321}, {false, 0, {{"tEXt", 100}}});
  constexpr size_t kText = 33;  // the text chunk's length, after the signature and the header
  file[kText] = 4;              // 64 MiB
  const struct {
    const char* name;
    size_t size;
  } cases[] = {
      {"inside the text", kText + 8 + 50},
      {"inside the text's header", kText + 6},
      {"inside the image data's header", kText + 12 + 100 + 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.size == kText + 12 + 100 + 5) file[kText] = 0;  // the text whole, the image data cut
    const Fenced cut(Bytes(file.begin(), file.begin() + long(c.size)));
    DecodeError error = DecodeError::None;
    EXPECT_FALSE(decode_png(cut.bytes(), nullptr, &error).has_value());
    EXPECT_EQ(error, DecodeError::NotPicture);
  }
}

// What the compressed stream holds after the last row's bytes is not held against the file,
// wherever it falls among the 8 KiB pieces that libpng is handed the image data in: a row of
// 2040 to 2047 pixels, stored uncompressed, ends from 16 bytes before the first piece's end to
// 12 bytes after it, and its stream's checksum or last block is damaged, or bytes follow it.
TEST(PictureDecoders, PngDamageAfterTheRowsDoesNotDependOnWhereThePiecesFall) {
  constexpr size_t kLength = 33, kBlock = 43;  // the image data's length; its stored block
  const struct {
    const char* name;
    void (*damage)(Bytes&);
  } cases[] = {
      {"a wrong checksum", [](Bytes& f) { f[f.size() - 17] ^= 1; }},
      {"bytes after the stream",
       [](Bytes& f) {
         f.insert(f.end() - 16, 5, 0xAB);
         set16_be(f, kLength + 2, (uint32_t(f[kLength + 2]) << 8 | f[kLength + 3]) + 5);
       }},
      {"a broken block after the rows",  // the rows' block not the last: the checksum read next
       [](Bytes& f) {
         f[kBlock] = 0;
         std::fill(f.end() - 20, f.end() - 16, 0xFF);
       }},
  };
  for (const auto& c : cases) {
    for (int width = 2040; width < 2048; ++width) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(width) + " wide");
      std::vector<uint32_t> argb(size_t(width), 0xFF000000);
      for (int x = 0; x < width; ++x) argb[size_t(x)] |= uint32_t(x) * 0x010203u;
      Bytes file = testsupport::png_rgba(width, 1, argb, {false, 0, {}, true});
      ASSERT_EQ(file[kBlock], 1);  // one stored block, the last
      c.damage(file);
      DecodeError error = DecodeError::NotPicture;
      const auto page = decode_png(file, nullptr, &error);
      EXPECT_EQ(error, DecodeError::None);
      ASSERT_TRUE(page.has_value());
      EXPECT_EQ(page->at(width - 1, 0), argb.back() & 0xFFFFFF);
    }
  }
}

// libpng reads a chunk other than image data from the file's bytes in one piece, whatever its
// type and size and wherever it stands: it allocates no more for a picture with chunks of
// 1 MiB than for the picture alone. Handed over in parts, a chunk before the rows was copied
// into a buffer grown by each part (67 MB allocated for this 1 MiB; 12 s for 16 MiB).
TEST(PictureDecoders, PngChunksAreNotCollectedPieceByPiece) {
  constexpr size_t kChunk = size_t{1} << 20;
  const std::vector<uint32_t> argb = {0xFF123456, 0x80ABCDEF};
  const auto allocated = [&](const std::vector<testsupport::PngChunk>& chunks) {
    const Bytes file = testsupport::png_rgba(2, 1, argb, {false, 0, chunks});
    DecodeError error = DecodeError::NotPicture;
    DecodeWork work;
    const auto page = decode_png(file, nullptr, &error, &work);
    EXPECT_EQ(error, DecodeError::None);
    EXPECT_TRUE(page && page->at(0, 0) == 0x123456u && page->at(1, 0) == 0xABCDEFu);
    return work.allocated;
  };
  const uint64_t alone = allocated({});
  const struct {
    const char* name;
    std::vector<testsupport::PngChunk> chunks;
  } cases[] = {
      {"text before the rows", {{"tEXt", kChunk}}},
      {"private chunks before the rows", {{"prVt", kChunk}, {"prVu", kChunk}}},
      {"compressed text and colour profile", {{"zTXt", kChunk}, {"iCCP", kChunk}}},
      {"text after the rows", {{"tEXt", kChunk, true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(allocated(c.chunks), alone);
  }
}

// Each scan of a JPEG passes over the blocks of its components: the scans may pass over the
// picture's blocks 16 times in all, whatever their number, and a file that would take more is
// refused before the scan that passes the budget. A 64 x 64 picture at full colour resolution
// has 3 x 64 blocks; one scan per coefficient and component passes over them 64 times.
TEST(PictureDecoders, JpegScansPassOverThePictureAtMostSixteenTimes) {
  constexpr uint64_t kBlocks = 3 * 64, kMaxPasses = 16;
  testsupport::JpegLayout per_coefficient;
  per_coefficient.scans.push_back({3, {0, 1, 2}, 0, 0, 0, 0});  // the DC of every component
  for (int c = 0; c < 3; ++c) {
    for (int k = 1; k <= 63; ++k) per_coefficient.scans.push_back({1, {c}, k, k, 0, 0});
  }
  const struct {
    const char* name;
    testsupport::JpegLayout layout;
    DecodeError error;
    uint64_t blocks;  // passed over; 0: at most the budget
  } cases[] = {
      {"one scan", {}, DecodeError::None, kBlocks},
      {"libjpeg's progressive scans", {1, 1, true, {}}, DecodeError::None, 14 * 64},
      {"a scan per coefficient", per_coefficient, DecodeError::TooManyScans, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = testsupport::jpeg_file(64, 64, {0x336699}, c.layout);
    DecodeError error = DecodeError::None;
    DecodeWork work;
    EXPECT_EQ(decode_jpeg(file, &error, &work).has_value(), c.error == DecodeError::None);
    EXPECT_EQ(error, c.error);
    if (c.blocks != 0) {
      EXPECT_EQ(work.blocks, c.blocks);
    }
    EXPECT_LE(work.blocks, kMaxPasses * kBlocks);
  }
}

// A progressive JPEG keeps every coefficient while its scans are read, 2 bytes a sample: 72 MB
// for 4000 x 3000 with colour at full resolution. Pictures within the pixel limit are read
// whatever their sampling.
TEST(PictureDecoders, ProgressiveJpegsWithinThePixelLimitAreRead) {
  testsupport::JpegLayout full_colour;
  full_colour.progressive = true;
  const Bytes file = testsupport::jpeg_file(4000, 3000, {0x808080}, full_colour);
  DecodeError error = DecodeError::NotPicture;
  const auto page = decode_jpeg(file, &error);
  EXPECT_EQ(error, DecodeError::None);
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(page->width(), 4000);
  EXPECT_EQ(page->at(3999, 2999), 0x808080u);
}

// A 4 x 3 screen whose 2 x 2 frame at (1, 1) has one transparent pixel: uncovered pixels take
// the background colour, the transparent one is black, stored in order or interlaced.
TEST(PictureDecoders, GifFrameLiesOnTheBackground) {
  constexpr Pixel R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, K = 0x123456;
  const std::vector<uint32_t> colours = {R, G, B, K};
  const std::vector<Pixel> expected = {K, K, K, K, K, R, G, K, K, 0, B, K};
  for (const bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "in order");
    const testsupport::GifFrame frame{1, 1, 2, 2, {0, 1, 5, 2}, 5, interlaced};
    const auto picture = decode_picture(testsupport::gif_file(4, 3, colours, 3, frame));
    ASSERT_TRUE(picture.has_value());
    ASSERT_EQ(picture->width(), 4);
    const Page page = drawn(*picture);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(page.at(i % 4, i / 4), expected[size_t(i)]) << i;
  }
  // A frame with its own colour table: the background index still names a colour of the
  // screen's table (red), not of the frame's (green).
  testsupport::GifFrame framed{2, 3, 8, 4, std::vector<uint8_t>(32, 1)};
  framed.local = {0x000000, 0x0000FF, 0x00FF00};
  const auto local = decode_picture(testsupport::gif_file(20, 10, {0, 0, R}, 2, framed));
  ASSERT_TRUE(local.has_value());
  const Page on_red = drawn(*local);
  EXPECT_EQ(on_red.at(0, 0), R);
  EXPECT_EQ(on_red.at(19, 9), R);
  EXPECT_EQ(on_red.at(2, 3), B);
  // A tall interlaced frame: every pass lands on its own rows.
  std::vector<uint8_t> indices(11);
  for (size_t y = 0; y < indices.size(); ++y) indices[y] = uint8_t(y);
  std::vector<uint32_t> greys(11);
  for (size_t i = 0; i < greys.size(); ++i) greys[i] = uint32_t(i) * 0x010101u;
  const auto tall =
      decode_picture(testsupport::gif_file(1, 11, greys, 0, {0, 0, 1, 11, indices, -1, true}));
  ASSERT_TRUE(tall.has_value());
  const Page page = drawn(*tall);
  for (int y = 0; y < 11; ++y) EXPECT_EQ(page.at(0, y), Pixel(y) * 0x010101u) << y;
}

// A 1 x 1 PNG whose header declares `width` x `height`, its checksum made to match.
Bytes png_declaring(uint32_t width, uint32_t height) {
  Bytes png = testsupport::png_rgba(1, 1, {0xFF000000});
  for (int i = 0; i < 4; ++i) {
    png[16 + size_t(i)] = uint8_t(width >> (24 - 8 * i));
    png[20 + size_t(i)] = uint8_t(height >> (24 - 8 * i));
  }
  const auto crc = uint32_t(crc32(0, png.data() + 12, 17));
  for (int i = 0; i < 4; ++i) png[29 + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
  return png;
}

// An 8 x 8 JPEG whose frame declares `width` x `height`.
Bytes jpeg_declaring(uint32_t width, uint32_t height) {
  Bytes jpeg = testsupport::jpeg_file(8, 8, {0x808080});
  const size_t frame = testsupport::jpeg_marker(jpeg, 0xC0);
  set16_be(jpeg, frame + 5, height);
  set16_be(jpeg, frame + 7, width);
  return jpeg;
}

// Files of a few bytes whose headers declare more than 2^24 pixels are refused from the
// header, before anything as large is allocated, with that reason also where the library's own
// limit would refuse them first (libpng's 2^31 - 1 a side, libjpeg's 65500); a JPEG whose
// Huffman table holds more codes than its 256 places is refused by the decoder.
TEST(PictureDecoders, BombsAndForgedTablesAreRefused) {
  Bytes gif = testsupport::gif_file(1, 1, {0xFFFFFF}, 0, {0, 0, 1, 1, {0}});
  testsupport::set32(gif, 6, 0x20002000);  // screen 8192 x 8192
  const Bytes png = png_declaring(8192, 8192);
  const Bytes icon = testsupport::icon_file({{0, 0, 32, png}});
  Bytes rle = encode_bmp24(Page(1, 1));
  testsupport::set32(rle, 18, 8192);
  testsupport::set32(rle, 22, 8192);
  rle[28] = 8, rle[30] = 1;  // 8 bits a pixel, run lengths
  Bytes huffman = testsupport::jpeg_file(8, 8, std::vector<uint32_t>(64, 0x808080));
  Bytes table = {0xFF, 0xC4, 0x01, 0x3F, 0x00};                     // 319 bytes: class 0, table 0
  for (int i = 0; i < 16; ++i) table.push_back(i >= 14 ? 150 : 0);  // 300 codes
  table.resize(table.size() + 300, 1);
  huffman.insert(huffman.begin() + 2, table.begin(), table.end());
  const struct {
    const char* name;
    Bytes bytes;
    DecodeError error;
  } cases[] = {
      {"GIF", gif, DecodeError::TooLarge},
      {"JPEG", jpeg_declaring(8192, 8192), DecodeError::TooLarge},
      {"JPEG past libjpeg's limit", jpeg_declaring(65535, 65535), DecodeError::TooLarge},
      {"PNG", png, DecodeError::TooLarge},
      {"PNG a pixel too wide", png_declaring(16777217, 1), DecodeError::TooLarge},
      {"PNG past libpng's limit", png_declaring(0x80000000u, 1), DecodeError::TooLarge},
      {"icon holding the PNG", icon, DecodeError::TooLarge},
      {"bitmap of run lengths", rle, DecodeError::TooLarge},
      {"JPEG of 300 Huffman codes", huffman, DecodeError::NotPicture},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DecodeError error = DecodeError::None;
    EXPECT_FALSE(decode_picture(c.bytes, &error).has_value());
    EXPECT_EQ(error, c.error);
  }
  EXPECT_EQ(to_string(DecodeError::TooLarge), "larger than 16777216 pixels");
}

// JPEGs the library does not take are refused with its reason: a side past its 65500 pixels
// (though the pixels are within the limit), samples of 12 or 16 bits, lossless coding.
TEST(PictureDecoders, JpegsTheLibraryDoesNotTakeAreNamed) {
  const auto frame_of = [](uint8_t marker, uint8_t precision) {
    Bytes jpeg = testsupport::jpeg_file(8, 8, {0x808080});
    const size_t frame = testsupport::jpeg_marker(jpeg, 0xC0);
    jpeg[frame + 1] = marker;
    jpeg[frame + 4] = precision;
    return jpeg;
  };
  const struct {
    const char* name;
    Bytes bytes;
    DecodeError error;
  } cases[] = {
      {"65501 wide", jpeg_declaring(65501, 8), DecodeError::SideTooLong},
      {"65535 wide", jpeg_declaring(65535, 8), DecodeError::SideTooLong},
      {"65501 high", jpeg_declaring(8, 65501), DecodeError::SideTooLong},
      {"12-bit", frame_of(0xC1, 12), DecodeError::Unsupported},
      {"16-bit", frame_of(0xC1, 16), DecodeError::Unsupported},
      {"lossless", frame_of(0xC3, 8), DecodeError::Unsupported},
      {"lossless 16-bit", frame_of(0xC3, 16), DecodeError::Unsupported},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DecodeError error = DecodeError::None;
    EXPECT_FALSE(decode_picture(c.bytes, &error).has_value());
    EXPECT_EQ(error, c.error);
  }
  EXPECT_EQ(to_string(DecodeError::SideTooLong), "wider or higher than 65500 pixels");
  EXPECT_EQ(to_string(DecodeError::Unsupported),
            "a kind of JPEG not supported (12-bit, 16-bit, lossless or hierarchical)");
}

// Reads `bytes` with the address space limited to what the process holds and `headroom` more,
// and ends the process: 0 when the reader threw std::bad_alloc, 1 when it read the picture,
// 2 + the reason when it refused it.
[[noreturn]] void read_short_of_memory(const Bytes& bytes, size_t headroom) {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t size = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + headroom;
  const rlimit limit{size, size};
  setrlimit(RLIMIT_AS, &limit);
  try {
    DecodeError error = DecodeError::None;
    const bool read = decode_picture(bytes, &error).has_value();
    std::_Exit(read ? 1 : 2 + int(error));
  } catch (const std::bad_alloc&) {
    std::_Exit(0);
  }
}

// When libjpeg or libpng cannot have the memory a valid picture needs, the reader throws
// std::bad_alloc, for the program to say that memory ran out: the coefficients of a
// progressive 2048 x 2048 JPEG take 24 MiB, the rows libpng keeps of a PNG 4194304 wide
// 16 MiB each, and only 8 MiB are left.
TEST(PictureDecodersDeathTest, ALibraryShortOfMemoryThrowsAsAnAllocationDoes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve more address space than the limit leaves";
#endif
  constexpr size_t kHeadroom = size_t{8} << 20;
  testsupport::JpegLayout progressive;
  progressive.progressive = true;
  const Bytes jpeg = testsupport::jpeg_file(2048, 2048, {0x808080}, progressive);
  const Bytes png = testsupport::png_rgba(4194304, 1, std::vector<uint32_t>(4194304, 0xFF808080));
  EXPECT_EXIT(read_short_of_memory(jpeg, kHeadroom), testing::ExitedWithCode(0), "") << "JPEG";
  EXPECT_EXIT(read_short_of_memory(png, kHeadroom), testing::ExitedWithCode(0), "") << "PNG";
}

}  // namespace
}  // namespace platform
