#include "engine/sharc_final.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "engine/sharc_objective.hpp"
#include "engine/sharc_pass.hpp"
#include "engine/sharc_stats.hpp"
#include "engine/sharc_tval.hpp"
#include "model/fparser.hpp"
#include "model/funct.hpp"
#include "model/my_func.hpp"
#include "numerics/eigen_cond_index.hpp"
#include "numerics/stringlib.hpp"

namespace sharc_mod {

void publish_x(const Arguments& a) {
  for (int32_t j = 1; j <= a.nx; ++j) {
    for (int32_t i = 1; i <= a.n; ++i) common_data::xnx(i, j) = a.x(i, j);
  }
}

void publish_data(const Arguments& a) {
  publish_x(a);
  for (int32_t i = 1; i <= a.n; ++i) {
    common_data::yd(i) = a.y(i);
    common_data::ydf(i) = a.yf(i);
    common_data::ysig(i) = a.sig(i);
  }
}

bool final_statistics(const Arguments& a,
                      VecView<const double> best,
                      int32_t nfixed,
                      double final_sum) {
  int32_t free = a.np - nfixed;
  FitCheck check{true, std::numeric_limits<double>::quiet_NaN(), FVector<int32_t>(a.np, 0)};
  const MatView<const double> x(a.x.data(), a.n, a.nx, a.x.ld());
  // The statistics need more rows than free parameters (the fit run guarantees it); without
  // them the standard errors stay 0 rather than being divided by n - f <= 0.
  FVector<double> se(a.np, 0.0);
  if (a.n > free && free >= 1) {
    // The row weights that the fit's weighting mode gives at the final vector, and the
    // weighted sum they make; an unweighted fit keeps the final residual sum.
    FVector<double> w(a.n);
    double weighted_sum = 0.0;
    funct::fun(x, cview(a.y), best, a.np, a.nx, a.n, a.mode, a.yf, cview(a.sig), weighted_sum);
    funct::row_weights(a.n, w.view());
    const bool weighted = a.mode >= 1 && a.mode <= 4;
    check = stderr_corr(x,
                        cview(a.y),
                        a.nx,
                        a.n,
                        a.yf,
                        best,
                        a.np,
                        weighted ? weighted_sum : final_sum,
                        VecView<const double>(w.data(), a.n),
                        se.view(),
                        a.stats.correl,
                        a.stats.eigval,
                        a.stats.pcmp,
                        a.stats.resid,
                        a.stats.runs,
                        a.stats.studres);
  }
  // An undetermined parameter's standard error is NaN by intent: it takes no part below.
  bool any_nan = false;
  for (int32_t i = 1; i <= a.np; ++i) {
    if (check.undetermined(i) != 0) {
      --free;
    } else {
      any_nan = any_nan || se(i) != se(i);
    }
  }
  // t of the residual degrees of freedom of the standard errors, n - f, however few:
  // with one or two of them t is 12.711 or 4.308, and a t of three would make the limits
  // 4 times or 26 % too narrow. Without any (n = free) the standard errors stay 0, and so do
  // the half-widths.
  const double t = tval95(std::max(1, a.n - free));
  for (int32_t i = 1; i <= a.np; ++i) {
    a.se(i) = any_nan && check.undetermined(i) == 0 ? 9999.0 : se(i);
    a.cl(i) = t * se(i);
  }
  if (free >= 1 && a.stats.correl.rows() >= free) {
    int32_t rotations = 0;
    eigen_cond_index(a.stats.correl, common_data::cimat, free, 1e-8, rotations);
  }
  double f = 0.0;
  funcs(x, cview(a.y), a.yf, cview(a.sig), a.nx, a.n, a.mode, best, a.np, f);
  a.stats.sse_floor = check.sse_floor;
  a.stats.undetermined = std::move(check.undetermined);
  return check.moves;
}

// A model whose fitted values no free parameter moves at the final vector determines nothing:
// its parameters are wherever the searches left them on a flat sum. The run ends on the error
// path, naming the fault the formula meets there when the evaluator finds one.
void Cascade::flat_model_error() {
  const MatView<const double> x(a_.x.data(), n_, a_.nx, a_.x.ld());
  const bool fault = my_func::formula_fault(cv(best_), np_, x, a_.nx, n_) != 0;
  const std::string cause = stringlib::trim(fparser::evalerrmsg());
  std::string dialog =
      "MainRegression: ERROR!\r\n"
      " The model does not depend on its\r\n"
      " parameters at these data: no free\r\n"
      " parameter changes any fitted value.\r\n";
  if (fault) dialog += " Cause: " + cause + "\r\n";
  dialog += " The run has ended...";
  std::string reason =
      "The model does not depend on its parameters at these data: no free parameter changes "
      "any fitted value";
  reason += fault ? " (" + cause + ")." : ".";
  take_error_path(dialog, reason);
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
    funct::fun(MatView<const double>(a_.x.data(), n_, a_.nx, a_.x.ld()),
               cview(a_.y),
               cv(x_),
               np_,
               a_.nx,
               n_,
               run_->mode,
               a_.yf,
               cview(a_.sig),
               fx_);
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
    st_.marq(MarqCall{n_,
                      nx,
                      ny,
                      np_,
                      MatView<double>(xw.data(), n_, a_.nx, xw.ld()),
                      yw.view(),
                      a_.yf,
                      zero1,
                      MatView<double>(w1.data(), np_, np_, w1.ld()),
                      MatView<double>(w2.data(), np_, np_, w2.ld()),
                      wcode,
                      a_.sig,
                      v(x_),
                      run_->lo.view(np_),
                      run_->hi.view(np_),
                      a_.se,
                      a_.cl,
                      a_.res17,
                      fscale,
                      control,
                      fx_,
                      zero2,
                      iopt,
                      status_});
  }
  // 6.5: the final vector is the best vector; marq leaves its fitted values and results.
  copy(best_, x_);
  for (int32_t i = 1; i <= np_; ++i) {
    a_.p(i) = best_(i);
    common_data::pfinal(i) = best_(i);
  }
  for (int32_t i = 1; i <= n_; ++i) common_data::ydf(i) = a_.yf(i);
  funct::fun(MatView<const double>(a_.x.data(), n_, a_.nx, a_.x.ld()),
             cview(a_.y),
             cv(x_),
             np_,
             a_.nx,
             n_,
             run_->mode,
             a_.yf,
             cview(a_.sig),
             fx_);
  double final_sum = 0.0;
  for (int32_t i = 1; i <= n_; ++i) {
    resid(i) = a_.y(i) - a_.yf(i) + 1e-12;
    final_sum += resid(i) * resid(i);
  }
  common_data::fssqr = final_sum;
  publish_x(a_);
  show_best();
  // 6.6
  const bool first_pass_difficult = globals::iopt == 3 && globals::iopt2 != -1 && a_.bpostrun == 0;
  display_.finish(!first_pass_difficult);
  // 6.7
  // A pass on the error path already has its reason (a NaN vector moves nothing either).
  if (!final_statistics(a_, cv(best_), nfixed_, final_sum) && !error_path_) flat_model_error();
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

}  // namespace sharc_mod
