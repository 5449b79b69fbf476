#include "engine/sharc_progress.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#include "common/globals.hpp"
#include "engine/fit_frame.hpp"
#include "engine/sharc_cascade.hpp"
#include "numerics/stringlib.hpp"
#include "numerics/sysclock.hpp"
#include "numerics/timeit_mod.hpp"
#include "toolkit/guikit.hpp"

namespace sharc_mod {

namespace {

constexpr int32_t kBarMax = 101;            // longest bar, characters
constexpr int32_t kParamBuffer = 256;       // displaypar's text buffer
constexpr int32_t kFrameColour = 12632256;  // light grey separator
constexpr int32_t kTextColour = 8388608;    // dark blue (blue 128)
constexpr int32_t kWhite = 16777215;
const std::string kClearLine(80, ' ');

// The Cancel requests of request_cancel: whether a cascade shows its button, and a request
// kept for the next one.
std::mutex cancel_lock;
bool cancel_shown = false;
bool cancel_requested = false;

// "G16.8" of v written into a field of `field` characters, trimmed.
std::string value_text(double v, int32_t field) {
  std::string buf(static_cast<size_t>(field), ' ');
  stringlib::write_dr(v, buf, "G16.8");
  return stringlib::trim(buf);
}

// The label word: the second pass of the level Difficult says "Refining" unless it re-weights.
std::string label_word(int32_t mode) {
  if (globals::iopt2 != -1) {
    return globals::brewt == 1 ? "      Reweight: " : "      Progress: ";
  }
  return mode == 1 ? "      Reweight: " : "      Refining: ";
}

}  // namespace

void start_clock() {
  globals::totaltime = 0.0;
  globals::starttimer = 1;
  globals::totaltime = timeit_mod::timeclock(globals::starttimer);
}

void poll_clock() {
  globals::starttimer = 0;
  globals::totaltime = timeit_mod::timeclock(globals::starttimer);
}

bool time_ran_out() { return globals::totaltime + kTimeMargin > globals::timemax; }

void wait_one_second() { sysclock::sleep_ms(1000); }

double progress_percent() {
  // Both operands pass through single precision first, as the display always computed them.
  const double stage = static_cast<float>(stage_count.load());
  const double span = static_cast<float>(stage_limit.load() - progress_base);
  return std::min(100.0, 200.0 * stage / span);
}

void displaypar(VecView<const double> p, int32_t n, std::string& text, int32_t len) {
  std::string line;
  if (n == 1) {
    line = "[ P1 = " + value_text(p(1), kParamBuffer) + " ]";
  } else if (n == 2) {
    line = "[ P1 = " + value_text(p(1), 30) + " P2 = " + value_text(p(2), 30) + " ]";
  } else if (n == 3) {
    line = "[ P1=" + value_text(p(1), 30) + " P2=" + value_text(p(2), 30) +
           " P3=" + value_text(p(3), 30) + " ]";
  } else if (n >= 4 && n <= 8) {
    line = "[ P1=" + value_text(p(1), 30) + ", P2=" + value_text(p(2), 30) +
           ", P3=" + value_text(p(3), 30) + ", P4=" + value_text(p(4), 30);
    if (n >= 5) {
      line += ",\r\n  P5=" + value_text(p(5), 30);
      for (int32_t i = 6; i <= n; ++i) {
        line += ", P" + std::to_string(i) + "=" + value_text(p(i), 30);
      }
    }
    line += " ]";
  } else {
    line = "( P(1) = " + value_text(p(1), kParamBuffer) + " )";
  }
  text = stringlib::fixed(line, len);
}

void canceltest() {
  stage_count.store(stage_limit.load() - progress_base + 1);
  globals::bcancelrun.store(1);
  cancel_pressed.store(true);
}

void request_cancel() {
  std::lock_guard<std::mutex> g(cancel_lock);
  if (cancel_shown) {
    canceltest();
  } else {
    cancel_requested = true;
  }
}

void ProgressDisplay::start(VecView<const double> best) {
  guikit::clearviewport();
  guikit::settextstyle(1, 0, 14);
  button_ = guikit::createbutton(290, 125, 90, 20, "Cancel", canceltest);
  guikit::enablebutton(button_, true);
  {
    std::lock_guard<std::mutex> g(cancel_lock);
    cancel_shown = true;
    if (std::exchange(cancel_requested, false)) canceltest();
  }
  guikit::settextstyle(6, 0, 15);
  update(best, 2);
  guikit::outtextxy(48, 25, "Wait, preprocessing..");
  frame();
  guikit::refreshall();
}

double ProgressDisplay::update(VecView<const double> best, int32_t appends, int32_t stage_rise) {
  const double p = progress_percent();
  if (stage_count.load() >= stage_limit.load()) {
    stage_count.fetch_add(stage_rise);
    return p;
  }
  // Step 1: show the line composed by the previous update.
  guikit::settextstyle(6, 0, 15);
  const int32_t percent = static_cast<int32_t>(std::lround(p));
  progressbar::drawpercent(window_, percent);
  // Step 2: compose the line the next update shows.
  std::string pct(4, ' ');
  stringlib::write_di(percent, pct, "I4");
  for (int32_t k = 0; k < appends; ++k) {
    bar_ = stringlib::trim(bar_) + "||";
    if (static_cast<int32_t>(bar_.size()) > kBarMax) bar_.resize(kBarMax);
  }
  window_.text = stringlib::fixed(label_word(mode_) + pct + "% " + bar_, progressbar::len_text);
  // Step 3: the frame.
  frame();
  stage_count.fetch_add(stage_rise);
  // Step 4: separating line.
  guikit::setlinestyle(0, 0, 1);
  guikit::setcolor(kFrameColour);
  guikit::line(globals::gwinwidth, 80, 0, 80);
  guikit::setcolor(kTextColour);
  // Step 5: the parameter line.
  show_parameters(best);
  return p;
}

void ProgressDisplay::frame() {
  guikit::settextstyle(1, 0, 14);
  guikit::moveto(154, 8);
  guikit::lineto(575, 8);
  guikit::lineto(575, 18);
  guikit::lineto(154, 18);
  guikit::lineto(154, 8);
  guikit::refreshall();
}

void ProgressDisplay::show_parameters(VecView<const double> best) {
  // The blanks are drawn untrimmed: they are what clears the two lines.
  guikit::outtextxy(45, 45, kClearLine, false);
  guikit::outtextxy(45, 60, kClearLine, false);
  std::string text(kParamBuffer, ' ');
  // In the user's units: the pass works on the parameters of the fit run's frame.
  FVector<double> shown(np_);
  for (int32_t i = 1; i <= np_; ++i) shown(i) = fit_frame::active.p_out(i, best(i));
  displaypar(shown.view(), np_, text, kParamBuffer);
  guikit::outtextxy(48, 45, stringlib::trim(text));
}

void ProgressDisplay::finish(bool closing_lines) {
  wait_one_second();
  {
    std::lock_guard<std::mutex> g(cancel_lock);
    cancel_shown = false;
  }
  guikit::removebutton(button_);
  guikit::clearviewport();
  if (closing_lines) {
    std::string name = globals::input_file_name;
    // Folders are cut off at either separator, so only the file's own name is shown.
    stringlib::s_replace_ch(name, '\\', ' ');
    stringlib::s_replace_ch(name, '/', ' ');
    std::string word(globals::len_file_name, ' ');
    stringlib::word_last_read(name, word);
    guikit::settextstyle(6, 0, 15);
    guikit::outtextxy(40, 5, "Data File: " + stringlib::trim(word));
    guikit::outtextxy(40, 25, "Analysis completed...");
  }
  wait_one_second();
  guikit::setbkcolor(kWhite);
  guikit::clearviewport();
  guikit::refreshall();
}

}  // namespace sharc_mod
