// The cascade's progress display on a headless main window.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/cascade_fixture.hpp"
#include "engine/sharc_progress.hpp"

namespace {

class Display : public cascadetest::CascadeTest {
 protected:
  // Pixels of the active page in [x0, x1) x [y0, y1) that differ from the background colour.
  int ink(int x0, int y0, int x1, int y1) {
    const gk::WindowRef rec = record(window_);
    const int32_t page = rec->active_page.load();
    const uint32_t bk = static_cast<uint32_t>(gk::getbkcolor());
    int n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) n += platform::to_colorref(rec->pages[page].at(x, y)) != bk;
    }
    return n;
  }
  // The colours of the active page in [x0, x1) x [y0, y1), row by row.
  std::vector<uint32_t> pixels(int x0, int y0, int x1, int y1) {
    const gk::WindowRef rec = record(window_);
    const int32_t page = rec->active_page.load();
    std::vector<uint32_t> v;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) v.push_back(platform::to_colorref(rec->pages[page].at(x, y)));
    }
    return v;
  }
  // The record's line sits at (5, 5), left of the frame that starts at x = 154.
  int line_ink() { return ink(0, 0, 150, 24); }

  std::vector<double> best_ = {1.5, 0.25};
  VecView<const double> best() { return VecView<const double>(best_.data(), 2); }
};

// Each update first shows the line the previous update composed: the first shows nothing.
TEST_F(Display, LineIsOneUpdateBehind) {
  sharc_mod::stage_limit.store(90);
  sharc_mod::stage_count.store(1);
  sharc_mod::ProgressDisplay d(2, 0);
  d.start(best());
  EXPECT_EQ(line_ink(), 0);
  d.update(best(), 2);
  EXPECT_GT(line_ink(), 0);
  d.finish(false);
}

TEST_F(Display, NoUpdateOnceTheStageCountReachesTheLimit) {
  sharc_mod::stage_limit.store(90);
  sharc_mod::stage_count.store(1);
  sharc_mod::ProgressDisplay d(2, 0);
  d.start(best());
  sharc_mod::stage_count.store(90);
  const double p = d.update(best(), 2, 1);
  EXPECT_EQ(line_ink(), 0);  // nothing drawn: the start's blank line is still there
  EXPECT_EQ(p, 100.0);
  EXPECT_EQ(sharc_mod::stage_count.load(), 91);  // the rise happens all the same
  d.finish(false);
}

// The parameter line shows the fit run's parameters in the user's units: a pass's values times
// 2^e(i) of the fit's frame, as if the pass had worked on them.
TEST_F(Display, ParametersShowInTheUsersUnits) {
  const auto line = [&](std::vector<double> p, std::vector<int32_t> scale) {
    fit_frame::active = fit_frame::Frame(0, scale);
    sharc_mod::ProgressDisplay d(2, 0);
    d.start(VecView<const double>(p.data(), 2));
    d.show_parameters(VecView<const double>(p.data(), 2));
    const std::vector<uint32_t> shown = pixels(0, 40, 640, 80);
    d.finish(false);
    fit_frame::active = fit_frame::Frame();
    return shown;
  };
  line({6.0, 0.125}, {});  // the first display leaves the page in a later pass's colours
  const std::vector<uint32_t> user = line({6.0, 0.125}, {});
  EXPECT_EQ(line({0.75, 0.5}, {3, -2}), user);
  EXPECT_NE(line({0.75, 0.5}, {}), user);
}

// The closing lines name the data file without its folders.
TEST_F(Display, ClosingLinesShowOnlyWhenAsked) {
  globals::input_file_name = stringlib::fixed("/data/run/MISRA1A.DAT", globals::len_file_name);
  for (bool closing : {false, true}) {
    SCOPED_TRACE(closing);
    sharc_mod::ProgressDisplay d(2, 0);
    d.start(best());
    const int64_t slept = clock_.slept();
    d.finish(closing);
    EXPECT_EQ(clock_.slept() - slept, 2000);  // one second before and one after the lines
    EXPECT_EQ(gk::getbkcolor(), 16777215);
  }
}

}  // namespace
