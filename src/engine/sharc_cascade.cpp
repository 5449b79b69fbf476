// The optimiser cascade: one pass of a fit (see sharc_cascade.hpp for the outline).
//
// The steps are tagged as the cascade numbers them: 1 set-up, 2 opening sequence, 3 refinement
// section, 4 re-randomisation, 5 cycle loop, 6 final stage, 7 error path. One pass is one
// `Cascade` object; its members are the run state of the pass.
#include "engine/sharc_cascade.hpp"

#include <cmath>
#include <memory>
#include <string>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "common/nrtype.hpp"
#include "engine/sharc_final.hpp"
#include "engine/sharc_objective.hpp"
#include "engine/sharc_progress.hpp"
#include "engine/sharc_stages.hpp"
#include "model/funct.hpp"
#include "numerics/pi_rand.hpp"
#include "numerics/prec_mod.hpp"
#include "optimizers/bounds_rule.hpp"
#include "toolkit/guikit.hpp"

namespace sharc_mod {

namespace {

constexpr int32_t kRandomCount = 60;    // the hit-and-run random table
constexpr double kSingle001 = 0.0010000000474974513;  // 0.001 in single precision
constexpr double kSingle01 = 0.009999999776482582;    // 0.01 in single precision
constexpr double kErrorSum = 1e16;      // a best sum above this takes the error path
constexpr int32_t kLastCycle = 90;      // the cycle counter that ends the loop
constexpr double kSettleLow = 10.5;     // percentage from which best sums are recorded
constexpr double kSettleHigh = 52.5;    // percentage from which a loop without gains ends
constexpr double kSettleTol = 1e-6;     // settled: |mean of three sums - best| below this

const char* const kErrorText =
    "MainRegression: ERROR!\r\n"
    " A parameter may be NaN or the\r\n"
    " standard error of regression may\r\n"
    " have exceeded the 1.0E+16 limit.\r\n"
    " Try adjusting initial parameter values\r\n"
    " and reduce the Y data values by\r\n"
    " factors of 10. Then rerun the model.\r\n"
    " The run has ended...";

// How a pass reaches its final stage.
enum class FinalEntry { WithMarq, WithoutMarq };

// The run levels of the level settings: first Hooke-Jeeves limit, generations, hit-and-run count.
struct LevelSettings {
  int32_t hooke_limit;
  int32_t generations;
  int32_t hit_count;
};

LevelSettings level_settings(int32_t level_arg) {
  switch (globals::iopt) {
    case 1: return {100, 250, 30};
    case 2: return {150, 250, 40};
    case 3: return {250, 250, 60};
    case -1:
      globals::iopt = level_arg;
      globals::iopt2 = -1;
      return {100, 250, 50};
    default: return {100, 250, 50};
  }
}

class Cascade {
 public:
  explicit Cascade(const Arguments& a) : a_(a), np_(a.np), n_(a.n), display_(a.np, a.mode) {}

  void run() {
    set_up();
    FinalEntry entry = opening_and_loop();
    final_stage(entry);
  }

 private:
  // ---- keep-best rule ------------------------------------------------------------------
  // Accepts x and the stage sum fx as the best when `passed` holds, else undoes the stage.
  bool keep(bool passed) {
    if (passed) {
      copy(x_, best_);
      copy(x_, scr1_);
      copy(x_, scr2_);
      best_sum_ = fx_;
      return true;
    }
    reset_to_best();
    return false;
  }
  void reset_to_best() {
    copy(best_, x_);
    copy(best_, scr1_);
    copy(best_, scr2_);
    fx_ = best_sum_;
  }
  bool keep_lower() { return keep(fx_ < best_sum_); }
  bool keep_varmetric() { return keep(status_ <= 0 && fx_ < best_sum_); }
  bool keep_gn() { return keep(status_ <= 2 && fx_ >= 1e-4 * best_sum_ && fx_ < best_sum_); }

  static void copy(const FVector<double>& from, FVector<double>& to) {
    for (long i = 1; i <= from.size(); ++i) to(i) = from(i);
  }
  VecView<double> v(FVector<double>& a) { return a.view(); }
  VecView<const double> cv(FVector<double>& a) { return VecView<const double>(a.data(), a.size()); }

  // ---- stages --------------------------------------------------------------------------
  void a23mrt() { st_.a23mrt(np_, v(x_), n_, kSingle001, fx_, 500, 0); }
  void adam() {
    st_.adam(np_, n_, v(x_), VecView<const int32_t>(mask_.data(), np_), run_->lo_view(), run_->hi_view(), 1, fx_);
  }
  void varmetric() { st_.varmetric(np_, v(x_), fx_, status_); }
  void gn_main() { st_.gn_main(n_, np_, v(x_), fx_, status_); }
  void evol() { st_.evol(n_, np_, v(x_), fx_, evol_count_, lv_.generations); }
  void simplex(int32_t limit) { st_.simplex(v(x_), np_, fx_, 0.01, limit); }
  void gnllsqr() { st_.gnllsqr(v(x_), fx_); }
  void shuffle() { st_.shuffle(v(r_), kRandomCount); }
  // hooke from a copy of x into x.
  void hooke(double rho, double eps) {
    copy(x_, hs_);
    st_.hooke(np_, v(hs_), v(x_), fx_, rho, eps, lv_.hooke_limit);
  }
  // hitnrun from `start` into x.
  void hitnrun(FVector<double>& start, double step) {
    int32_t nacc = 0;
    st_.hitnrun(np_, v(start), v(x_), v(r_), nacc, fx_, step, lv_.hit_count);
  }
  void hitnrun2(double step, int32_t count) {
    int32_t nacc = 0;
    st_.hitnrun2(np_, v(x_), nacc, fx_, step, count);
  }
  // A series of k hitnrun calls from the start step s: steps 10s, 100s, ...; each call starts
  // from the best sum and is judged on its own. Returns the number of accepted calls.
  int32_t hit_series(int32_t k, double s) {
    shuffle();
    int32_t accepted = 0;
    double step = s;
    for (int32_t i = 1; i <= k; ++i) {
      step *= 10.0;
      fx_ = best_sum_;
      hitnrun(scr1_, step);
      if (keep_lower()) ++accepted;
    }
    return accepted;
  }
  // va10d with fresh controls (1, c2, 1) and the packed triangle filled with 1.0.
  void va10d_fresh(int32_t c2) {
    h_.fill(1.0);
    c1_ = 1;
    c2_ = c2;
    c3_ = 1;
    va10d_again();
  }
  void va10d_again() { st_.va10d(n_, np_, v(x_), fx_, v(h_), c1_, c2_, c3_); }
  bool keep_va10d_opening() {
    return keep(c3_ <= 1 && fx_ >= 0.001 * best_sum_ && fx_ < best_sum_);
  }
  bool keep_va10d_loop() {
    return keep(c3_ != 2 && fx_ >= 0.001 * best_sum_ && fx_ < best_sum_);
  }
  bool keep_evol_loop() {
    return keep(fx_ < best_sum_ &&
                (fx_ > 1e-6 * best_sum_ || evol_count_ < lv_.generations));
  }
  bool vmsqp();
  bool postrun_restart() const { return first_ == 0 && a_.bpostrun != 0; }

  // ---- steps ---------------------------------------------------------------------------
  void set_up();
  void tiny_parameters();
  void random_table(bool averaged);
  void opening_sequence();
  FinalEntry opening_and_loop();
  FinalEntry cycle_loop();
  bool error_check();
  void update(int32_t appends, int32_t stage_rise = 0) {
    percent_ = display_.update(cv(best_), appends, stage_rise);
  }
  void show_best() { display_.show_parameters(cv(best_)); }
  void final_stage(FinalEntry entry);
  void reset_fixed(FVector<double>& vec) {
    for (int32_t i = 1; i <= np_; ++i) {
      if (a_.mask(i) == 0) vec(i) = p0_(i);
    }
  }

  const Arguments& a_;
  int32_t np_;
  int32_t n_;
  std::unique_ptr<RunState> run_;  // the engine's working state: weighting mode and bounds
  Stages st_;
  ProgressDisplay display_;
  LevelSettings lv_{};
  int32_t first_ = 0;      // first-pass flag
  int32_t status_ = 0;     // status word of gn_main, varmetric and marq
  int32_t nfixed_ = 0;     // fixed parameters
  int32_t evol_count_ = 0;
  int32_t c1_ = 1, c2_ = 500, c3_ = 1;  // va10d controls
  bool vmsqp_first_ = true;
  bool error_path_ = false;
  double fx_ = 0.0;        // the in/out sum handed to every method with x
  double best_sum_ = 0.0;
  double percent_ = 0.0;   // unrounded percentage of the last update
  FVector<double> x_, best_, scr1_, scr2_, hs_, p0_, h_, r_, ysave_, work1_, work2_;
  FVector<int32_t> mask_;
};

// ---- vmsqp stage with its keep-best test -------------------------------------------------
bool Cascade::vmsqp() {
  for (int32_t i = 1; i <= np_; ++i) mask_(i) = a_.mask(i);
  fx_ = kClampLimit;
  for (int32_t i = 1; i <= n_; ++i) ysave_(i) = common_data::ysig(i);
  run_->mode = 0;
  int32_t maxit = 100;
  int32_t ncon = 2 * np_;
  int32_t nx = a_.nx;
  st_.vmsqp(VmsqpCall{maxit, np_, n_, nx, ncon, run_->mode, a_.sig, v(work1_), a_.y, a_.yf,
                      v(work2_), v(x_), run_->lo.view(np_), run_->hi.view(np_), mask_.view(), fx_});
  run_->mode = a_.mode;
  for (int32_t i = 1; i <= n_; ++i) a_.sig(i) = ysave_(i);
  const bool first_call = vmsqp_first_;
  if (first_call) {
    // The first call of a pass is judged on the residuals the method left.
    vmsqp_first_ = false;
    double sum = 0.0;
    for (int32_t i = 1; i <= n_; ++i) sum += common_data::yres(i) * common_data::yres(i);
    fx_ = sum + 1e-12;
    stage_count.fetch_add(1);
  }
  const bool accepted = keep(fx_ < 1.0001 * best_sum_);
  if (accepted && first_call) common_data::fssqr = best_sum_;
  return accepted;
}

// ---- 1. set-up ---------------------------------------------------------------------------
void Cascade::set_up() {
  // 1.1
  nrtype::epsmachine = prec_mod::prec(-1);
  stage_limit.store(a_.stage_code != nullptr ? *a_.stage_code - 1 : 101);
  stage_count.store(1);
  first_ = a_.first_pass != nullptr ? *a_.first_pass : 0;
  status_ = 0;
  x_.resize(np_);
  best_.resize(np_);
  scr1_.resize(np_);
  scr2_.resize(np_);
  hs_.resize(np_);
  p0_.resize(np_);
  mask_.resize(np_);
  h_.resize(np_ * (np_ + 1) / 2);
  r_.resize(kRandomCount);
  ysave_.resize(n_);
  work1_.resize(n_);
  work2_.resize(n_);
  // 1.2
  nfixed_ = 0;
  for (int32_t i = 1; i <= np_; ++i) {
    mask_(i) = a_.mask(i);
    common_data::pmask(i) = a_.mask(i);
    common_data::pboundlo(i) = a_.lo(i);
    common_data::pboundhi(i) = a_.hi(i);
    if (a_.mask(i) == 0) ++nfixed_;
    p0_(i) = a_.p(i);
    x_(i) = a_.p(i);
  }
  for (int32_t i = 1; i <= n_; ++i) common_data::ysig(i) = a_.sig(i);
  for (int32_t i = 1; i <= common_data::max_rows; ++i) {
    const bool row = i <= n_;
    common_data::xd(i) = row && a_.nx >= 1 ? a_.x(i, 1) : 0.0;
    common_data::xd2(i) = row && a_.nx >= 2 ? a_.x(i, 2) : 0.0;
    common_data::xd3(i) = row && a_.nx >= 3 ? a_.x(i, 3) : 0.0;
  }
  run_ = std::make_unique<RunState>(MatView<const double>(a_.x.data(), n_, a_.nx, a_.x.ld()),
                                    cview(a_.y), a_.yf, cview(a_.sig), a_.nx, n_, a_.mode, np_,
                                    cview(a_.lo), cview(a_.hi), first_, a_.bpostrun, a_.offset);
  st_ = bind_stages(*run_);
  if (stage_seam) st_ = stage_seam(st_);
  // 1.3
  tiny_parameters();
  // 1.4: first evaluation; the shared counts let calcfg read the data set.
  st_.func(v(x_), fx_);
  common_data::nd = n_;
  common_data::nxd = a_.nx;
  common_data::npr = np_;
  common_data::ndwt = a_.mode;
  {
    double f = 0.0;
    FVector<double> grad(funct::kMaxGrad), g(funct::kMaxConstraints);
    FMatrixD<double> jac(funct::kMaxGrad, funct::kMaxConstraints);
    funct::calcfg(np_, cv(x_), f, grad.view(), g.view(),
                  MatView<double>(jac.data(), jac.rows(), jac.cols(), jac.ld()));
  }
  st_.func(v(x_), fx_);
  a_.ssq = fx_;
  best_sum_ = fx_;
  // 1.5
  lv_ = level_settings(a_.level);
  globals::timemax = 600000.0;
  reset_fixed(x_);
  copy(x_, best_);
  copy(x_, scr1_);
  copy(x_, scr2_);
  // 1.6
  globals::bcancelrun.store(0);
  display_.start(cv(best_));
  // 1.7
  random_table(true);
  // 1.8
  start_clock();
}

void Cascade::tiny_parameters() {
  const double e2 = 2.0 * nrtype::epsmachine;
  for (int32_t i = 1; i <= np_; ++i) {
    if (a_.mask(i) == 0) continue;
    const double p = x_(i);
    if (!(p != 0.0 && std::fabs(p) <= e2)) continue;
    x_(i) = std::copysign(std::sqrt(e2), p);
    double& lo = run_->lo(i);
    double& hi = run_->hi(i);
    if (hi == 0.0) hi = e2;
    if (lo == 0.0) {
      lo = e2;
    } else if (std::fabs(lo) <= e2) {
      lo = std::copysign(e2, lo);
    }
  }
}

// Steps 1.7 and 4: the chaotic map from a fresh uniform start; at set-up each value is averaged
// with a fresh uniform number.
void Cascade::random_table(bool averaged) {
  double u0 = pi_rand::rnduni();
  for (int32_t i = 1; i <= kRandomCount; ++i) {
    pi_rand::pi_rand_gen(u0);
    r_(i) = u0;
    if (averaged) r_(i) = (r_(i) + pi_rand::rnduni()) * 0.5;
  }
}

// ---- 2. opening sequence -----------------------------------------------------------------
void Cascade::opening_sequence() {
  // 2.1 warm-up
  if (first_ != 0 && a_.bpostrun == 0) {
    hitnrun2(0.1, 2 * lv_.hit_count);
    keep_lower();
  }
  // 2.2
  a23mrt();
  keep_lower();
  va10d_fresh(500);
  keep_lower();
  vmsqp();
  if (postrun_restart()) bounds_rule::pbounds3(v(x_), np_, run_->lo_view(), run_->hi_view(), fx_);
  // 2.3
  hooke(0.6, 1e-6);
  keep_lower();
  if (postrun_restart()) {
    bounds_rule::pbounds3(v(x_), np_, run_->lo_view(), run_->hi_view(), fx_);
    st_.func(v(x_), fx_);
    keep_lower();
  }
  // 2.4
  if (globals::iopt2 != -1) {
    stage_count.fetch_add(10);
    update(2);
  }
  // 2.5
  if (first_ != 0 || a_.bpostrun == 0) {
    shuffle();
    for (int32_t k = 1; k <= 3; ++k) {
      hitnrun2(0.01, lv_.hit_count);
      keep_lower();
    }
    // Rising series: hooke with rho 0.15 .. 0.75, hit-and-run after even calls (or all
    // calls on a later pass) from the end point with steps growing tenfold from 1e-5.
    double step = 1e-5;
    for (int32_t k = 1; k <= 5; ++k) {
      hooke(k * 0.15, 1e-7);
      if (k % 2 == 0 || first_ == 0) {
        shuffle();
        step *= 10.0;
        copy(x_, hs_);
        hitnrun(hs_, step);
      }
      keep_lower();
    }
    // Falling series: rho 0.8 down to 0.2.
    for (int32_t k = 8; k >= 2; --k) {
      hooke(k * 0.1, 1e-8);
      keep_lower();
    }
    stage_count.fetch_add(1);
    simplex(250);
    keep_lower();
    hit_series(3, 1e-4);
    stage_count.fetch_add(1);
    if (first_ != 0) {
      varmetric();
      if (status_ <= 0 && fx_ >= best_sum_) {
        // Only the vector goes back: gn_main starts from the method's own sum.
        copy(best_, x_);
        copy(best_, scr1_);
        copy(best_, scr2_);
      } else {
        keep_varmetric();
      }
      gn_main();
      keep_gn();
    }
  }
  // 2.6
  adam();
  keep_lower();
  varmetric();
  keep_varmetric();
  vmsqp();
  if (postrun_restart()) bounds_rule::pbounds3(v(x_), np_, run_->lo_view(), run_->hi_view(), fx_);
  gn_main();
  keep_gn();
  // 2.7
  if (globals::iopt2 != -1) {
    stage_count.fetch_add(1);
    update(2);
    stage_count.fetch_add(2);
    update(4);
    stage_count.fetch_add(1);
    update(4);
    stage_count.fetch_add(1);
  } else {
    stage_count.fetch_add(2);
  }
  if (first_ != 0 && a_.bpostrun == 0) {
    gn_main();
    keep_gn();
    va10d_again();
  } else {
    va10d_fresh(1000);
  }
  keep_va10d_opening();
  // 2.8
  stage_count.fetch_add(1);
  if (globals::iopt > 2) {
    evol();
    keep(fx_ > 1e-6 * best_sum_ && fx_ < best_sum_);
  }
  show_best();
}

FinalEntry Cascade::opening_and_loop() {
  opening_sequence();
  // 3. Refinement section; a Cancel before it shows here through the stage count.
  if (stage_count.load() > stage_limit.load() - progress_base) {
    wait_one_second();
    return FinalEntry::WithMarq;
  }
  if (first_ != 0) {
    shuffle();
    fx_ = best_sum_;
    hitnrun(scr1_, kSingle01);
    keep_lower();
    gnllsqr();
    keep_lower();
    hooke(0.5, 1e-7);
    keep_lower();
    gn_main();
    keep_gn();
  } else {
    hit_series(4, 1e-5);
    simplex(350);
    keep_lower();
    gnllsqr();
    keep_lower();
    gn_main();
    keep_gn();
    hit_series(3, 0.001);
  }
  stage_count.fetch_add(1);
  if (a_.bpostrun == 0) {
    update(2);
    show_best();
  }
  // 4. Re-randomisation
  random_table(false);
  shuffle();
  return cycle_loop();
}

// Step 5.4 and the error path (step 7): NaN parameters or a best sum above 1e16.
bool Cascade::error_check() {
  bool bad = !(best_sum_ <= kErrorSum);
  for (int32_t i = 1; i <= np_; ++i) bad = bad || best_(i) != best_(i);
  if (!bad) return false;
  guikit::dlgmessage(3, kErrorText);
  globals::bcancelrun.store(1);
  error_path_ = true;
  return true;
}

// ---- 5. cycle loop -----------------------------------------------------------------------
//
// Choices where the description leaves them open:
// - The cycle bound is fixed when the loop starts (stage limit - progress base: 89 with the
//   stage code 91, 100 without one); a stage limit raised to 101 inside the loop changes the
//   percentage and the stage tests, not the bound. The "cycle = 90" end therefore matters only
//   without a stage code.
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
      copy(x_, hs_);
      st_.hooke(np_, v(hs_), v(scr2_), fx_, 0.8, 1e-7, lv_.hooke_limit);
      copy(scr2_, hs_);
      st_.hooke(np_, v(hs_), v(scr2_), fx_, 0.7, 1e-7, lv_.hooke_limit);
      copy(scr2_, hs_);
      st_.hooke(np_, v(hs_), v(x_), fx_, 0.6, 1e-7, lv_.hooke_limit);
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
        stage_count.fetch_add(1);
        poll_clock();
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

// ---- 6. final stage ----------------------------------------------------------------------
void Cascade::final_stage(FinalEntry entry) {
  FVector<double> resid(n_);
  if (entry == FinalEntry::WithMarq) {
    // 6.1
    stage_limit.store(101);
    for (int32_t i = 1; i <= np_; ++i) {
      common_data::pfinal(i) = best_(i);
      a_.p(i) = best_(i);
      a_.se(i) = 0.0;
      a_.cl(i) = 0.0;
    }
    common_data::fssqr = best_sum_;
    copy(best_, x_);
    int32_t wcode = run_->mode >= 1 && run_->mode <= 4 ? run_->mode : 0;
    fx_ = best_sum_;
    // 6.2: a time-out keeps the status word of the last gn_main or varmetric for marq.
    poll_clock();
    if (!time_ran_out()) status_ = 0;
    copy(best_, x_);
    // 6.3
    funct::fun(MatView<const double>(a_.x.data(), n_, a_.nx, a_.x.ld()), cview(a_.y), cv(x_), np_,
               a_.nx, n_, run_->mode, a_.yf, cview(a_.sig), fx_);
    common_data::fssqr = fx_;
    publish_data(a_);
    for (int32_t i = 1; i <= np_; ++i) {
      common_data::pfinal(i) = best_(i);
      a_.p(i) = best_(i);
    }
    // 6.4
    FMatrixD<double> xw(n_, a_.nx), w1(np_, np_), w2(np_, np_);
    FVector<double> yw(n_);
    for (int32_t i = 1; i <= n_; ++i) {
      for (int32_t j = 1; j <= a_.nx; ++j) xw(i, j) = a_.x(i, j);
      yw(i) = a_.y(i);
      common_data::xd(i) = xw(i, 1);
      common_data::yd(i) = yw(i);
    }
    for (int32_t i = 1; i <= np_; ++i) x_(i) = common_data::pfinal(i);
    ny = 1;
    int32_t nx = a_.nx, zero1 = 0, zero2 = 0, control = 10, iopt = globals::iopt;
    double fscale = 1.1 * fx_;
    st_.marq(MarqCall{n_, nx, ny, np_,
                      MatView<double>(xw.data(), n_, a_.nx, xw.ld()), yw.view(), a_.yf, zero1,
                      MatView<double>(w1.data(), np_, np_, w1.ld()),
                      MatView<double>(w2.data(), np_, np_, w2.ld()), wcode, a_.sig, v(x_),
                      run_->lo.view(np_), run_->hi.view(np_), a_.se, a_.cl, a_.res17, fscale, control, fx_, zero2, iopt,
                      status_});
  }
  // 6.5: the final vector is the best vector; marq leaves its fitted values and results.
  copy(best_, x_);
  for (int32_t i = 1; i <= np_; ++i) {
    a_.p(i) = best_(i);
    common_data::pfinal(i) = best_(i);
  }
  for (int32_t i = 1; i <= n_; ++i) common_data::ydf(i) = a_.yf(i);
  funct::fun(MatView<const double>(a_.x.data(), n_, a_.nx, a_.x.ld()), cview(a_.y), cv(x_), np_,
             a_.nx, n_, run_->mode, a_.yf, cview(a_.sig), fx_);
  double final_sum = 0.0;
  for (int32_t i = 1; i <= n_; ++i) {
    resid(i) = a_.y(i) - a_.yf(i) + 1e-12;
    final_sum += resid(i) * resid(i);
  }
  common_data::fssqr = final_sum;
  publish_x(a_);
  show_best();
  // 6.6
  const bool first_pass_difficult =
      globals::iopt == 3 && globals::iopt2 != -1 && a_.bpostrun == 0;
  display_.finish(!first_pass_difficult);
  // 6.7
  final_statistics(a_, cv(best_), nfixed_, final_sum);
  // 6.8
  a_.ssq = final_sum;
  common_data::fssqr = final_sum;
  for (int32_t i = 1; i <= n_; ++i) {
    common_data::yres(i) = resid(i);
    common_data::ysig(i) = a_.sig(i);
  }
  for (int32_t i = 1; i <= np_; ++i) {
    common_data::pfinal(i) = best_(i);
    a_.p(i) = best_(i);
  }
  poll_clock();
}

}  // namespace

void sharc(MatView<double> x,
           VecView<double> y,
           VecView<double> yf,
           VecView<double> sig,
           int32_t& mode,
           int32_t& nx,
           int32_t& n,
           VecView<double> p,
           int32_t& np,
           VecView<int32_t> mask,
           VecView<double> lo,
           VecView<double> hi,
           int32_t& level,
           double& ssq,
           VecView<double> se,
           VecView<double> cl,
           VecView<double> res17,
           StatsOut& stats,
           const int32_t* stage_code,
           double& offset,
           const int32_t* first_pass,
           int32_t& bpostrun) {
  const Arguments args{x,  y,  yf, sig,  mode, nx, n,  p,     np,         mask,   lo,
                       hi, level, ssq, se, cl,   res17, stats, stage_code, offset, first_pass,
                       bpostrun};
  Cascade cascade(args);
  cascade.run();
}

}  // namespace sharc_mod
