// The JPEG reader on every layout of the widest pictures it takes, and on an allocation that
// fails while it reads.
#include "platform/image/jpeg_decode.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "support/picture_files.hpp"

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;

enum class Coding { OneScan, ScanPerComponent, Progressive };

void PrintTo(Coding coding, std::ostream* out) {
  static const char* const kNames[] = {"OneScan", "ScanPerComponent", "Progressive"};
  *out << kNames[int(coding)];
}

// The scans of a picture of `components` coded as `coding`: libjpeg's one scan of all
// components, or scans of one component each (an MCU of one block, whatever the sampling): all
// coefficients of each, or its DC and then its AC coefficients.
std::vector<jpeg_scan_info> scans_of(Coding coding, int components) {
  std::vector<jpeg_scan_info> scans;
  if (coding == Coding::OneScan) return scans;
  const bool progressive = coding == Coding::Progressive;
  for (int c = 0; c < components; ++c) scans.push_back({1, {c}, 0, progressive ? 0 : 63, 0, 0});
  if (progressive) {
    for (int c = 0; c < components; ++c) scans.push_back({1, {c}, 1, 63, 0, 0});
  }
  return scans;
}

// The widest pictures libjpeg takes, 65500 pixels, are drawn in every layout of their
// components: 1, 3 or 4 of them, the first or every one sampled 1 x 1 to 4 x 4, coded in one
// scan (where its MCU holds at most the 10 blocks libjpeg takes), in one scan per component, or
// progressive. A picture of several scans keeps its coefficients, within a memory budget that
// leaves 64 KiB beside them and the rows of samples, which grow with the width and the
// sampling: this is where a budget that missed rows would refuse a picture. libjpeg holds the
// coefficients in windows of rows of blocks (5 rows of each block row of the MCU in a
// progressive file, 1 in one of sequential scans) and holds them to the budget only where a
// component has more than one window: each picture is one row of blocks higher than a window
// of its tallest component, and one of one scan, which keeps no coefficients, one row high.
class JpegLayouts : public testing::TestWithParam<std::tuple<int, Coding>> {};

TEST_P(JpegLayouts, EveryLayoutOfTheWidestPicturesIsDrawn) {
  constexpr int kWidth = 65500, kMaxBlocksInMcu = 10;
  constexpr int kLoss = 2;  // one colour at quality 100: a level or two of rounding
  const auto [components, coding] = GetParam();
  const int window = coding == Coding::OneScan ? 0 : coding == Coding::Progressive ? 5 : 1;
  for (const bool every : {false, true}) {
    for (int h = 1; h <= 4; ++h) {
      for (int v = 1; v <= 4; ++v) {
        // One component, and every component at 1 x 1, are laid out as the first one alone.
        if (every && (components == 1 || h * v == 1)) continue;
        const int blocks = every ? components * h * v : h * v + components - 1;
        if (coding == Coding::OneScan && components > 1 && blocks > kMaxBlocksInMcu) continue;
        SCOPED_TRACE(std::string(every ? "every component " : "first component ") +
                     std::to_string(h) + " x " + std::to_string(v));
        const int height = 8 * (window * v + 1);
        testsupport::JpegLayout layout{h, v, false, scans_of(coding, components)};
        layout.components = components;
        layout.every_component = every;
        const Bytes file = testsupport::jpeg_file(kWidth, height, {0x808080}, layout);
        DecodeError error = DecodeError::NotPicture;
        const auto page = decode_jpeg(file, &error);
        EXPECT_EQ(error, DecodeError::None);
        if (!page) continue;
        ASSERT_EQ(page->width(), kWidth);
        ASSERT_EQ(page->height(), height);
        for (const int shift : {0, 8, 16}) {
          const int got = int((page->at(kWidth - 1, height - 1) >> shift) & 0xFF);
          EXPECT_LE(std::abs(got - 0x80), kLoss) << "shift " << shift;
        }
      }
    }
  }
}

std::string layouts_name(const testing::TestParamInfo<JpegLayouts::ParamType>& info) {
  return std::to_string(std::get<0>(info.param)) + "Components" +
         testing::PrintToString(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(ComponentsAndCoding,
                         JpegLayouts,
                         testing::Combine(testing::Values(1, 3, 4),
                                          testing::Values(Coding::OneScan,
                                                          Coding::ScanPerComponent,
                                                          Coding::Progressive)),
                         layouts_name);

// An allocation that fails while the picture is read, of the row of samples or of the page,
// leaves the reader by std::bad_alloc, for the program to say it has no memory for the picture
// and go on; the decoder it leaves holds nothing (under AddressSanitizer a leak fails the test).
TEST(JpegDecode, AFailedAllocationLeavesNothingBehind) {
  testsupport::JpegLayout progressive;
  progressive.progressive = true;
  const Bytes file = testsupport::jpeg_file(64, 64, {0x336699}, progressive);
  for (const int failing : {1, 2}) {
    SCOPED_TRACE(failing == 1 ? "the row" : "the page");
    int allocations = 0;
    jpeg_allocation_seam = [&] {
      if (++allocations == failing) throw std::bad_alloc();
    };
    EXPECT_THROW(decode_jpeg(file), std::bad_alloc);
    jpeg_allocation_seam = nullptr;
    EXPECT_EQ(allocations, failing);
  }
}

}  // namespace
}  // namespace platform
