#include <gtest/gtest.h>

#include <memory>

#include "platform/gfx/device_context.hpp"

namespace {

using platform::Brush;
using platform::DeviceContext;
using platform::Page;
using platform::Pen;
using platform::Point;
using platform::Rect;

TEST(GfxDeviceContext, SelectedObjectsOutliveTheirOtherOwners) {
  Page page(4, 4);
  DeviceContext dc(page);
  std::weak_ptr<const Pen> watch;
  {
    platform::PenRef pen = Pen::create(1, 0xFFFFFF);
    watch = pen;
    dc.select_pen(pen);
  }  // the caller "deletes" its handle while the pen is selected
  ASSERT_FALSE(watch.expired());
  dc.move_to({0, 0});
  dc.line_to({3, 0});
  EXPECT_EQ(page.at(2, 0), 0xFFFFFFu);
  const platform::PenRef previous = dc.select_pen(platform::stock_null_pen());
  EXPECT_EQ(previous.get(), watch.lock().get());
  EXPECT_EQ(dc.select_pen(nullptr), nullptr);  // a null reference changes nothing
  EXPECT_EQ(dc.pen(), platform::stock_null_pen());
}

TEST(GfxDeviceContext, SettersReturnThePreviousState) {
  Page page(4, 4);
  DeviceContext dc(page);
  EXPECT_EQ(dc.set_text_color(0x123456), 0u);
  EXPECT_EQ(dc.text_color(), 0x123456u);
  EXPECT_EQ(dc.set_bk_color(0), 0xFFFFFFu);
  EXPECT_EQ(dc.set_bk_mode(platform::BkMode::Transparent), platform::BkMode::Opaque);
  EXPECT_EQ(dc.set_mix_mode(platform::MixMode::Xor), platform::MixMode::Copy);
  EXPECT_EQ(dc.move_to({3, 4}), (Point{0, 0}));
  EXPECT_EQ(dc.set_origin({5, 6}), (Point{0, 0}));
  EXPECT_EQ(dc.to_device({3, 4}), (Point{8, 10}));
  EXPECT_EQ(dc.to_logical({8, 10}), (Point{3, 4}));
  EXPECT_EQ(dc.to_device({2147483647, 0}).x, 2147483647);  // clamped, not wrapped
}

TEST(GfxDeviceContext, PixelsOutsideThePageOrClipReadInvalid) {
  Page page(4, 4);
  DeviceContext dc(page);
  dc.set_pixel({1, 1}, 0x0000FF);
  EXPECT_EQ(page.at(1, 1), 0xFF0000u);  // colour value red is page pixel 0xFF0000
  EXPECT_EQ(dc.get_pixel({1, 1}), 0x0000FFu);
  EXPECT_EQ(dc.get_pixel({4, 0}), platform::kInvalidColor);
  EXPECT_EQ(dc.get_pixel({0, -1}), platform::kInvalidColor);
  dc.set_clip(Rect{2, 2, 4, 4});
  EXPECT_EQ(dc.get_pixel({1, 1}), platform::kInvalidColor);
  dc.set_pixel({0, 0}, 0xFFFFFF);  // outside the clip: ignored
  EXPECT_EQ(page.at(0, 0), 0u);
  EXPECT_EQ(dc.drawable(), (Rect{2, 2, 4, 4}));
  dc.set_clip(std::nullopt);
  EXPECT_EQ(dc.drawable(), (Rect{0, 0, 4, 4}));
}

TEST(GfxDeviceContext, SetPixelIgnoresTheMixMode) {
  Page page(2, 1);
  DeviceContext dc(page);
  dc.set_mix_mode(platform::MixMode::Xor);
  dc.set_pixel({0, 0}, 0xFFFFFF);
  dc.set_pixel({0, 0}, 0xFFFFFF);
  EXPECT_EQ(page.at(0, 0), 0xFFFFFFu);
}

}  // namespace
