#include "engine/sharc_final.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "engine/fit_frame.hpp"
#include "engine/sharc_objective.hpp"
#include "engine/sharc_pass.hpp"
#include "engine/sharc_stats.hpp"
#include "engine/sharc_tval.hpp"
#include "model/fparser.hpp"
#include "model/funct.hpp"
#include "model/limits.hpp"
#include "model/my_func.hpp"
#include "numerics/editfmt.hpp"
#include "numerics/eigen_cond_index.hpp"
#include "numerics/stringlib.hpp"

namespace sharc_mod {
namespace {

// The standard error of a parameter whose statistics could not be computed, in the user's
// units: it enters the fit's frame as any figure of its parameter does, so that it leaves the
// frame as this mark, and the p-value sees the coefficient against it as in the user's units.
constexpr double kNotComputed = 9999.0;

}  // namespace

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
  FitCheck check{true,
                 std::numeric_limits<double>::quiet_NaN(),
                 FVector<int32_t>(a.np, 0),
                 FVector<int32_t>(a.np, 0)};
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
  // An undetermined parameter's standard error is NaN by intent: it takes no part below. One
  // that moves no fitted value is out of the statistics and their degrees of freedom too.
  bool any_nan = false;
  for (int32_t i = 1; i <= a.np; ++i) {
    if (check.undetermined(i) == kMovesNothing) --free;
    if (check.undetermined(i) == 0) any_nan = any_nan || se(i) != se(i);
  }
  // t of the residual degrees of freedom of the standard errors, n - f, however few:
  // with one or two of them t is 12.711 or 4.308, and a t of three would make the limits
  // 4 times or 26 % too narrow. Without any (n = free) the standard errors stay 0, and so do
  // the half-widths.
  const double t = tval95(std::max(1, a.n - free));
  for (int32_t i = 1; i <= a.np; ++i) {
    a.se(i) =
        any_nan && check.undetermined(i) == 0 ? fit_frame::active.p_in(i, kNotComputed) : se(i);
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
  a.stats.inseparable = std::move(check.inseparable);
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

std::string figure(double v) {
  const bool wide = v != 0.0 && (std::fabs(v) >= 1e100 || std::fabs(v) < 1e-99);
  std::string text = editfmt::format(wide ? "(1p,E11.1E3)" : "(1p,E9.1)", {v});
  stringlib::s_adjustl(text);
  return stringlib::trim(text);
}

std::string dialog_lines(const std::string& text) {
  std::string out, line;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    if (!line.empty() && line.size() + 1 + word.size() > 38) {
      out += " " + line + "\r\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    at = end + 1;
  }
  return out + " " + line;
}

double magnitude_ratio(MatView<const double> x,
                       int32_t nx,
                       VecView<const double> y,
                       int32_t n,
                       VecView<const double> p,
                       int32_t np) {
  FVector<double> f(n);
  if (n < 1 || my_func::eval_func_rows(p, np, x, nx, common_udf::cudf, n, f.view(), false) != 0) {
    return 0.0;
  }
  double model = 0.0;
  for (int32_t i = 1; i <= n; ++i) model = std::fmax(model, std::fabs(f(i)));
  const double ratio = model / fit_frame::largest_magnitude(y, n);
  return ratio > 0.0 && std::isfinite(ratio) ? std::pow(10.0, std::round(std::log10(ratio))) : 0.0;
}

std::string stand_in_text(int32_t rows, int32_t n, double ratio, bool at_start) {
  const std::string where = at_start ? "starting" : "final";
  std::string text = "The model's values at the " + where +
                     " parameters are not numbers or exceed " +
                     figure(fit_frame::active.y_out(limits::kBound)) + " in magnitude in ";
  text += rows == n ? "every row" : std::to_string(rows) + " of " + std::to_string(n) + " rows";
  text += at_start ? ": the fit has no model value to start from."
                   : ": its fitted values there are stand-ins, not the model's.";
  if (ratio >= 1e3 || (ratio > 0.0 && ratio <= 1e-3)) {
    text += " At the starting values the model's values are about " + figure(ratio) +
            " times the data's: start from values that give model values of the data's size.";
  } else {
    text += " Try other starting values.";
  }
  return text;
}

bool Cascade::stand_ins(const FVector<double>& p) const {
  const MatView<const double> x(a_.x.data(), n_, a_.nx, a_.x.ld());
  return my_func::stand_in_rows(VecView<const double>(p.data(), np_), np_, x, a_.nx, n_) > 0;
}

// A final vector at which the model's values leave the evaluator's range has fitted values that
// are the guard's stand-ins (2^-51 for a value that is not a number or has lost every unit,
// +-2^51 beyond that): they are not the model at the parameters, and a search may have settled
// there only because the stand-ins fit better than the model's values did. The run ends on the
// error path, saying so and, when the starting values put the model's values orders of
// magnitude from the data's, that too.
void Cascade::stand_in_error() {
  const MatView<const double> x(a_.x.data(), n_, a_.nx, a_.x.ld());
  const int32_t rows = my_func::stand_in_rows(cv(best_), np_, x, a_.nx, n_);
  if (rows == 0) return;
  const double ratio = magnitude_ratio(x, a_.nx, cview(a_.y), n_, cv(p0_), np_);
  const std::string text = stand_in_text(rows, n_, ratio, false);
  take_error_path("MainRegression: ERROR!\r\n" + dialog_lines(text) + "\r\n The run has ended...",
                  text);
}

// A later pass (the second of "1/Reweight^2" or of the level Difficult) starts from the vector
// the first pass ended with, under its own weights; its stages may raise the best sum (a
// constrained stage by up to 0.01 % each time). That vector stays a candidate: a pass never ends
// worse, in its own weighted sum, than where it started. Both are judged by the objective.
void Cascade::keep_start() {
  if (first_ != 0) return;
  FVector<double> start = p0_;
  double at_start = 0.0, at_best = 0.0;
  st_.func(v(start), at_start);
  copy(best_, x_);
  st_.func(v(x_), at_best);
  if (!(at_start < at_best) || stand_ins(start)) return;
  copy(start, best_);
  best_sum_ = at_start;
}

// ---- 6. final stage ----------------------------------------------------------------------
void Cascade::final_stage(FinalEntry entry) {
  keep_start();
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
  // The residuals as they are: a constant added to each would show in the sum of squares of
  // data whose residuals are not far above it, and not in the residuals printed.
  double final_sum = 0.0;
  for (int32_t i = 1; i <= n_; ++i) {
    resid(i) = a_.y(i) - a_.yf(i);
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
  // The fitted values must be the model's before anything is said about how the model moves.
  if (!error_path_) stand_in_error();
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
