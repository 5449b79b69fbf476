// The optimiser cascade: one pass of a fit (see sharc_cascade.hpp for the outline).
//
// The steps are tagged as the cascade numbers them: 1 set-up, 2 opening sequence, 3 refinement
// section, 4 re-randomisation, 5 cycle loop, 6 final stage, 7 error path. One pass is one
// `Cascade` object; its members are the run state of the pass.
#include "engine/sharc_cascade.hpp"

#include <cmath>
#include <memory>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "common/nrtype.hpp"
#include "engine/sharc_pass.hpp"
#include "model/funct.hpp"
#include "numerics/pi_rand.hpp"
#include "numerics/prec_mod.hpp"

namespace sharc_mod {

namespace {

LevelSettings level_settings(int32_t level_arg) {
  switch (globals::iopt) {
    case 1:
      return {100, 250, 30};
    case 2:
      return {150, 250, 40};
    case 3:
      return {250, 250, 60};
    case -1:
      globals::iopt = level_arg;
      globals::iopt2 = -1;
      return {100, 250, 50};
    default:
      return {100, 250, 50};
  }
}

}  // namespace

// ---- vmsqp stage with its keep-best test -------------------------------------------------
bool Cascade::vmsqp() {
  for (int32_t i = 1; i <= np_; ++i) mask_(i) = a_.mask(i);
  fx_ = kClampLimit;
  for (int32_t i = 1; i <= n_; ++i) ysave_(i) = common_data::ysig(i);
  run_->mode = 0;
  int32_t maxit = 100;
  int32_t ncon = 2 * np_;
  int32_t nx = a_.nx;
  st_.vmsqp(VmsqpCall{maxit,
                      np_,
                      n_,
                      nx,
                      ncon,
                      run_->mode,
                      a_.sig,
                      v(work1_),
                      a_.y,
                      a_.yf,
                      v(work2_),
                      v(x_),
                      run_->lo.view(np_),
                      run_->hi.view(np_),
                      mask_.view(),
                      fx_});
  run_->mode = a_.mode;
  for (int32_t i = 1; i <= n_; ++i) a_.sig(i) = ysave_(i);
  const bool first_call = vmsqp_first_;
  if (first_call) {
    // The first call of a pass is judged on the residuals the method left.
    vmsqp_first_ = false;
    // Summed in the model evaluator's order, so that residuals it left unchanged give its sum.
    fx_ = funct::sum_squares(VecView<const double>(common_data::yres.data(), n_), n_) + 1e-12;
    stage_count.fetch_add(1);
  }
  // The method minimised the unweighted sum: a weighted fit judges its vector by the fit's own
  // objective, or the unweighted optimum would displace the weighted one.
  if (run_->mode >= 1 && run_->mode <= 4) st_.func(v(x_), fx_);
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
                                    cview(a_.y),
                                    a_.yf,
                                    cview(a_.sig),
                                    a_.nx,
                                    n_,
                                    a_.mode,
                                    np_,
                                    cview(a_.lo),
                                    cview(a_.hi),
                                    first_,
                                    a_.bpostrun,
                                    a_.offset);
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
    funct::calcfg(np_,
                  cv(x_),
                  f,
                  grad.view(),
                  g.view(),
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
  if (postrun_restart()) pbounds3(v(x_), np_, run_->lo_view(), run_->hi_view(), fx_);
  // 2.3
  hooke(0.6, 1e-6);
  keep_lower();
  if (postrun_restart()) {
    pbounds3(v(x_), np_, run_->lo_view(), run_->hi_view(), fx_);
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
  if (postrun_restart()) pbounds3(v(x_), np_, run_->lo_view(), run_->hi_view(), fx_);
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
  const Arguments args{x,     y,     yf,         sig,    mode,       nx,      n,  p,
                       np,    mask,  lo,         hi,     level,      ssq,     se, cl,
                       res17, stats, stage_code, offset, first_pass, bpostrun};
  Cascade cascade(args);
  cascade.run();
}

}  // namespace sharc_mod
