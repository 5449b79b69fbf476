// A headless toolkit with one 200 x 150 window whose pages draw through device contexts.
#pragma once

#include <string>
#include <vector>

#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit_fixture.hpp"

namespace toolkit_test {

class DrawingWindow : public HeadlessToolkit {
 protected:
  static constexpr int32_t kWidth = 200;
  static constexpr int32_t kHeight = 150;

  void SetUp() override {
    HeadlessToolkit::SetUp();
    gk::install_drawing();
    index_ = gk::initwindow(kWidth, kHeight, "drawing", 0, 0, 0, 0);
    ASSERT_GE(index_, 0);
    rec_ = record(index_);
    ASSERT_TRUE(rec_);
  }

  // Pixel (x, y) of page `page` (window coordinates) as a colour value.
  uint32_t pixel(int32_t x, int32_t y, int32_t page = -1) const {
    const int32_t p = page < 0 ? rec_->active_page.load() : page;
    return platform::to_colorref(rec_->pages[p].at(x, y));
  }
  // Window pixels of the active page equal to colour c within (0,0)-(w,h).
  int32_t count(uint32_t c, int32_t w = kWidth, int32_t h = kHeight) const {
    int32_t n = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) n += pixel(x, y) == c;
    return n;
  }
  // Rows of the active page, '.' black, '#' white, 'o' any other colour.
  std::vector<std::string> rows(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const {
    std::vector<std::string> out;
    for (int32_t y = y0; y < y1; ++y) {
      std::string r;
      for (int32_t x = x0; x < x1; ++x) {
        const uint32_t c = pixel(x, y);
        r += c == 0 ? '.' : c == 0xFFFFFF ? '#' : 'o';
      }
      out.push_back(r);
    }
    return out;
  }

  int32_t index_ = -1;
  gk::WindowRef rec_;
};

}  // namespace toolkit_test
