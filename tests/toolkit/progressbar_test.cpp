#include "toolkit/progressbar.hpp"

#include <gtest/gtest.h>

#include <string>

#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/text.hpp"
#include "toolkit/toolkit_fixture.hpp"

namespace {

class Progressbar : public toolkit_test::HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    gk::install_drawing();
    gk::install_text();
    window_ = gk::initwindow(400, 100, "progress", 0, 0, 0, 0);
    ASSERT_GE(window_, 0);
  }
  // Pixels of the active page near (5, 5) that differ from the background colour.
  int line_ink() {
    const gk::WindowRef rec = record(window_);
    const int32_t page = rec->active_page.load();
    const uint32_t bk = static_cast<uint32_t>(gk::getbkcolor());
    int n = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 400; ++x) n += platform::to_colorref(rec->pages[page].at(x, y)) != bk;
    }
    return n;
  }
  int32_t window_ = -1;
};

TEST_F(Progressbar, GivenTextReplacesTheLinePaddedOrCut) {
  progressbar::Progresswindow w;
  EXPECT_EQ(w.text, std::string(128, ' '));
  progressbar::drawpercent(w, 5, "Progress: 5%");
  EXPECT_EQ(w.text, "Progress: 5%" + std::string(116, ' '));
  progressbar::drawpercent(w, 0, std::string(130, 'x'));
  EXPECT_EQ(w.text, std::string(128, 'x'));
}

TEST_F(Progressbar, DrawsTheLineOnlyWhenNotBlank) {
  progressbar::Progresswindow w;
  gk::setcolor(0xFFFFFF);
  gk::setbkcolor(0);
  progressbar::drawpercent(w, 50);
  EXPECT_EQ(line_ink(), 0);
  w.text = "Progress: 50%";
  progressbar::drawpercent(w, 50);
  EXPECT_GT(line_ink(), 0);
  // The viewport is cleared first: a blank line leaves nothing of the old one.
  w.text = std::string(128, ' ');
  progressbar::drawpercent(w, 50);
  EXPECT_EQ(line_ink(), 0);
}

}  // namespace
