// The cycle loop of the optimiser cascade (step 5) and its error check (step 7).
#include <algorithm>
#include <cmath>
#include <string>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "engine/fit_frame.hpp"
#include "engine/sharc_pass.hpp"
#include "toolkit/guikit.hpp"

namespace sharc_mod {

namespace {

constexpr double kErrorSum = 1e16;    // a best sum above this takes the error path
constexpr int32_t kLastCycle = 90;    // the cycle counter that ends the loop
constexpr double kSettleLow = 10.5;   // percentage from which best sums are recorded
constexpr double kSettleHigh = 52.5;  // percentage from which a loop without gains ends
constexpr double kSettleTol = 1e-6;   // settled: |mean of three sums - best| below this

// The error path's dialog and report sentence. The limit is on the weighted sums of squares the
// pass meets in the fit's frame; the message states it as the standard error of regression
// that such a sum gives on `dof` degrees of freedom, sqrt(sum / dof), in the data's units: taken
// out of the frame for squared residuals (the sum 1.0E+16 times 4^ey), as it is for those of
// "1/Y^2" (weighting mode 2), relative residuals, which have no unit. The fit run brings every
// data set to one scale, so reducing the data cannot help: only other starting values can.
std::string error_text(bool dialog, int32_t mode, int32_t dof) {
  const double sum = mode == 2 ? kErrorSum : fit_frame::active.sum_out(kErrorSum);
  const std::string limit = figure(std::sqrt(sum / std::max(dof, 1)));
  if (!dialog) {
    return "MainRegression: ERROR! A parameter may be NaN or the standard error of regression "
           "may have exceeded the " +
           limit + " limit.";
  }
  std::string text =
      "MainRegression: ERROR!\r\n"
      " A parameter may be NaN or the\r\n"
      " standard error of regression may\r\n"
      " have exceeded the " +
      limit + " limit.\r\n";
  return text +
         " Try initial parameter values that\r\n"
         " give model values nearer the data's.\r\n"
         " Then rerun the model.\r\n"
         " The run has ended...";
}

}  // namespace

void take_error_path(const std::string& dialog, const std::string& reason) {
  guikit::dlgmessage(3, dialog);
  globals::bcancelrun.store(1);
  error_path_taken = true;
  error_path_reason = reason;
}

void Cascade::take_error_path(const std::string& dialog, const std::string& reason) {
  sharc_mod::take_error_path(dialog, reason);
  error_path_ = true;
}

// Step 5.4 and the error path (step 7): NaN parameters or a best sum above 1e16.
bool Cascade::error_check() {
  bool bad = !(best_sum_ <= kErrorSum);
  for (int32_t i = 1; i <= np_; ++i) bad = bad || best_(i) != best_(i);
  if (!bad) return false;
  const int32_t dof = n_ - (np_ - nfixed_);
  take_error_path(error_text(true, a_.mode, dof), error_text(false, a_.mode, dof));
  return true;
}

// ---- 5. cycle loop -----------------------------------------------------------------------
//
// Choices where the description leaves them open:
// - The cycle bound is fixed when the loop starts (stage limit - progress base: 89 with the
//   stage code 91, 100 without one); a stage limit raised to 101 inside the loop changes the
//   percentage and the stage tests, not the bound. The "cycle = 90" end therefore matters only
//   when the bound exceeds 89: without a stage code, or with one above 91.
// - The settling ring starts cleared; the mean of its three sums is tested each time the third
//   position has been written (after the 3rd, 6th, ... recorded cycle), never on a ring that
//   still holds cleared entries.
// - A Cancel press that the loop sees through the stage count (between a Cancel test and the
//   next stage-count test) or at any other exit of the loop skips the Marquardt method, as a
//   press seen at a Cancel test does; only the error path keeps it although it sets the flag.
FinalEntry Cascade::cycle_loop() {
  const int32_t cycles = stage_limit.load() - progress_base;
  FArray<double, 3> ring;
  int32_t ring_pos = 0;
  bool hit_gain = false;
  bool gn_gain = false;
  auto leave = [this](FinalEntry entry) {
    if (globals::bcancelrun.load() != 0 && !error_path_) return FinalEntry::WithoutMarq;
    return entry;
  };
  auto cancelled = [] { return globals::bcancelrun.load() != 0; };
  auto timed_out = [] {
    if (!time_ran_out()) return false;
    stage_limit.store(101);
    return true;
  };

  for (int32_t cycle = 1; cycle <= cycles; ++cycle) {
    bool to_cycle_end = false;
    // 5.1
    display_.frame();
    // 5.2
    if (first_ == 0) {
      evol();
      keep_evol_loop();
      varmetric();
      keep_varmetric();
      stage_count.fetch_add(1);
      // The chain's step factors are a counter from 8 down to 6 times 0.1 (7 * 0.1 is not 0.7).
      copy(x_, hs_);
      for (int32_t k = 8; k >= 6; --k) {
        FVector<double>& end = k > 6 ? scr2_ : x_;
        st_.hooke(np_, v(hs_), v(end), fx_, k * 0.1, 1e-7, lv_.hooke_limit);
        copy(end, hs_);
      }
      keep_lower();
      gnllsqr();
      keep_lower();
      hit_series(5, 1e-6);
    }
    // 5.3
    if (globals::iopt == 2 && first_ != 0) {
      evol();
      keep_evol_loop();
    }
    // 5.4
    poll_clock();
    stage_count.fetch_add(1);
    if (error_check()) return FinalEntry::WithMarq;
    // 5.5
    poll_clock();
    to_cycle_end = timed_out();
    if (!to_cycle_end) {
      // 5.6
      if (cancelled()) return FinalEntry::WithoutMarq;
      // 5.7
      update(2);
      show_best();
      if (globals::iopt > 0) {
        varmetric();
        keep_varmetric();
        stage_count.fetch_add(1);
        show_best();
      }
      // 5.8
      if (cancelled()) return FinalEntry::WithoutMarq;
      if (globals::iopt > 2) hit_series(3, 1e-5);
      if (!vmsqp()) {
        varmetric();
        keep_varmetric();
      }
      poll_clock();
      to_cycle_end = timed_out();
    }
    if (!to_cycle_end) {
      // 5.9
      stage_count.fetch_add(1);
      if (globals::iopt > 1) {
        va10d_fresh(500);
        keep_va10d_loop();
        to_cycle_end = timed_out();
        if (!to_cycle_end) {
          if (hit_series(3, 1e-4) > 0) hit_gain = true;
          gn_main();
          if (keep_gn()) gn_gain = true;
          stage_count.fetch_add(1);
          to_cycle_end = timed_out();
          if (!to_cycle_end) {
            varmetric();
            keep_varmetric();
          }
        }
      }
    }
    if (!to_cycle_end) {
      common_data::fssqr = best_sum_;
      update(2, 1);
      show_best();
      // 5.10
      if (stage_count.load() > stage_limit.load() - progress_base) {
        wait_one_second();
        return leave(FinalEntry::WithMarq);
      }
      if (globals::iopt > 2) {
        shuffle();
        fx_ = best_sum_;
        hitnrun(scr1_, 0.01);
        keep_lower();
        a23mrt();
        keep(fx_ >= 0.5 * best_sum_ && fx_ < best_sum_);
        varmetric();
        keep_varmetric();
        vmsqp();
      } else {
        // This time test reads the last poll (the cascade's or an optimiser's) without polling.
        stage_count.fetch_add(1);
        to_cycle_end = timed_out();
      }
    }
    if (!to_cycle_end) {
      if (globals::iopt > 1) {
        va10d_fresh(500);
        keep_lower();
      }
      stage_count.fetch_add(1);
      update(2);
      show_best();
      if (cancelled()) return FinalEntry::WithoutMarq;
      // 5.11 settling tests on the percentage of the update just made.
      stage_count.fetch_add(1);
      if (percent_ >= kSettleLow) {
        ring(ring_pos + 1) = best_sum_;
        ++ring_pos;
        if (ring_pos == 3) {
          ring_pos = 0;
          const double mean = (ring(1) + ring(2) + ring(3)) / 3.0;
          if (std::fabs(mean - best_sum_) < kSettleTol) {
            stage_limit.store(101);
            return leave(FinalEntry::WithMarq);
          }
        }
        stage_count.fetch_add(1);
        if (percent_ > kSettleHigh && !hit_gain && !gn_gain) {
          copy(best_, x_);
          stage_limit.store(101);
          hit_gain = false;
          gn_gain = false;
        }
        poll_clock();
        timed_out();
      }
    }
    // 5.12 end of the cycle
    common_data::fssqr = best_sum_;
    if (cycle == kLastCycle) return leave(FinalEntry::WithMarq);
    stage_count.fetch_add(1);
    reset_fixed(best_);
    copy(best_, x_);
    copy(best_, scr1_);
    copy(best_, scr2_);
    fx_ = best_sum_;
    poll_clock();
    if (timed_out()) return leave(FinalEntry::WithMarq);
  }
  return leave(FinalEntry::WithMarq);
}

}  // namespace sharc_mod
