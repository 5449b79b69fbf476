// One pass of the optimiser cascade as an object: its run state and its steps (internal to
// the cascade's source files sharc_cascade.cpp, sharc_cycle.cpp and sharc_final.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/sharc_final.hpp"
#include "engine/sharc_objective.hpp"
#include "engine/sharc_progress.hpp"
#include "engine/sharc_stages.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

inline constexpr int32_t kRandomCount = 60;                  // the hit-and-run random table
inline constexpr double kSingle001 = 0.0010000000474974513;  // 0.001 in single precision
inline constexpr double kSingle01 = 0.009999999776482582;    // 0.01 in single precision

// How a pass reaches its final stage.
enum class FinalEntry { WithMarq, WithoutMarq };

// The run levels of the level settings: first Hooke-Jeeves limit, generations, hit-and-run count.
struct LevelSettings {
  int32_t hooke_limit;
  int32_t generations;
  int32_t hit_count;
};

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
  // A vector at which the model's value is a stand-in of the evaluator's guard in some row is
  // never taken: its sum is that of the stand-ins, which can fit better than any model value
  // (values far beyond the data's become 2^-51), and a search would settle there.
  bool keep(bool passed) {
    if (passed && stand_ins(x_)) passed = false;
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
  // Result codes 1 and 2 are convergence by the step and by the relative change; 3 is both.
  bool keep_gn() { return keep(status_ <= 3 && fx_ >= 1e-4 * best_sum_ && fx_ < best_sum_); }

  static void copy(const FVector<double>& from, FVector<double>& to) {
    for (long i = 1; i <= from.size(); ++i) to(i) = from(i);
  }
  VecView<double> v(FVector<double>& a) { return a.view(); }
  VecView<const double> cv(FVector<double>& a) { return VecView<const double>(a.data(), a.size()); }

  // ---- stages --------------------------------------------------------------------------
  // The method sums with the sigmas of the evaluation before each of its own: in a weighted fit,
  // whose sigmas follow the fitted values, that sum can lie far below the objective at its
  // vector (a twentieth of it, seen at "1/Y^2"), and would stand as a best sum that no honest
  // stage beats. A weighted fit judges the vector by the fit's own objective.
  void a23mrt() {
    st_.a23mrt(np_, v(x_), n_, kSingle001, fx_, 500, 0);
    if (run_->mode >= 1 && run_->mode <= 4) st_.func(v(x_), fx_);
  }
  void adam() {
    st_.adam(np_,
             n_,
             v(x_),
             VecView<const int32_t>(mask_.data(), np_),
             run_->lo_view(),
             run_->hi_view(),
             1,
             fx_);
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
  bool keep_va10d_loop() { return keep(c3_ != 2 && fx_ >= 0.001 * best_sum_ && fx_ < best_sum_); }
  bool keep_evol_loop() {
    return keep(fx_ < best_sum_ && (fx_ > 1e-6 * best_sum_ || evol_count_ < lv_.generations));
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
  // The error path: the Error dialog with `dialog`, globals::bcancelrun := 1, and `reason` for
  // the run's report.
  void take_error_path(const std::string& dialog, const std::string& reason);
  void flat_model_error();
  // Whether the model's value at p is a stand-in in some row (my_func::stand_in_rows).
  bool stand_ins(const FVector<double>& p) const;
  void stand_in_error();
  void update(int32_t appends, int32_t stage_rise = 0) {
    percent_ = display_.update(cv(best_), appends, stage_rise);
  }
  void show_best() { display_.show_parameters(cv(best_)); }
  void final_stage(FinalEntry entry);
  void keep_start();
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
  int32_t first_ = 0;   // first-pass flag
  int32_t status_ = 0;  // status word of gn_main, varmetric and marq
  int32_t nfixed_ = 0;  // fixed parameters
  int32_t evol_count_ = 0;
  int32_t c1_ = 1, c2_ = 500, c3_ = 1;  // va10d controls
  bool vmsqp_first_ = true;
  bool error_path_ = false;
  double fx_ = 0.0;  // the in/out sum handed to every method with x
  double best_sum_ = 0.0;
  double percent_ = 0.0;  // unrounded percentage of the last update
  FVector<double> x_, best_, scr1_, scr2_, hs_, p0_, h_, r_, ysave_, work1_, work2_;
  FVector<int32_t> mask_;
};

}  // namespace sharc_mod
