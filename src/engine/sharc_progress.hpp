// The cascade's clock, Cancel button and progress display (used by sharc_cascade.cpp).
//
// Clock: the running sum of timeit_mod::timeclock, polled into globals::totaltime; the time test
// fires when totaltime + kTimeMargin > globals::timemax.
// Progress: percent = nint(min(100, 200 * stage / (limit - base))), stage and (limit - base)
// first converted to single precision. The display is one update behind: each update first shows
// the record's line of the previous update (drawpercent), then composes the new one.
#pragma once

#include <cstdint>
#include <string>

#include "numerics/farray.hpp"
#include "toolkit/progressbar.hpp"

namespace sharc_mod {

// Clock protocol.
void start_clock();      // totaltime := 0; starttimer := 1; totaltime := timeclock(starttimer)
void poll_clock();       // starttimer := 0; totaltime := timeclock(starttimer)
bool time_ran_out();     // totaltime + kTimeMargin > timemax (reads the last poll only)
void wait_one_second();  // through the injectable sleeper

// The unrounded progress percentage of the current stage count and limit.
double progress_percent();

class ProgressDisplay {
 public:
  // np parameters of the best vector are shown; mode is the cascade's weighting argument.
  ProgressDisplay(int32_t np, int32_t mode) : np_(np), mode_(mode) {}

  // Start of the display: clear, Cancel button, first update, "Wait, preprocessing..", frame.
  void start(VecView<const double> best);
  // One update with `appends` pairs of "|" added to the bar; stage_rise is added to the stage
  // count after the bar and its frame are drawn. Drawn only while stage count < stage limit;
  // returns the unrounded percentage (computed either way).
  double update(VecView<const double> best, int32_t appends, int32_t stage_rise = 0);
  // The frame rectangle of the progress line.
  void frame();
  // Clears the two parameter lines and draws the best vector.
  void show_parameters(VecView<const double> best);
  // End of the display: remove the button, the closing lines unless suppressed, white
  // background. Waits one second before removing the button and after the lines.
  void finish(bool closing_lines);

 private:
  int32_t np_;
  int32_t mode_;
  int32_t button_ = -1;  // the Cancel button's control id
  std::string bar_;      // the "|" bar, at most 101 characters
  progressbar::Progresswindow window_;
};

}  // namespace sharc_mod
