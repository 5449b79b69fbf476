#include "engine/sharc_postfit.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/peirce_criterion.hpp"
#include "numerics/pvalue.hpp"
#include "numerics/spearcorr_mod.hpp"
#include "numerics/stringlib.hpp"
#include "numerics/taure.hpp"

namespace sharc_mod {
namespace {

constexpr double kTiny = 2.2204460492503132e-20;
constexpr double kCap = 4.503599727262001e19;

// Steps 2 and 3: p-values, the count k of free parameters above 0.05 and the penalty counts.
// A parameter that moves nothing counts as fixed, as the statistics hold it: the MIC of such a
// model is that of the model with the parameter masked. One without a standard error that the
// statistics keep counts in k.
void penalty_counts(FitResult& fit, PostFit& st) {
  const int32_t free = fit.statistics_count();
  const int32_t fixed = fit.npr - free;
  st.k = 0;
  for (int32_t i = 1; i <= fit.npr; ++i) {
    int32_t flag = 0;
    ppval(fit.pval(i), flag, free, fit.n, fit.a(i), fit.ase(i));
    if (fit.in_statistics(i) && (!fit.determined(i) || fit.pval(i) > 0.05)) ++st.k;
  }
  st.kprime = std::max(0, std::min(st.k, fit.n - free - 3));
  // Both counts lower by the fixed parameters.
  st.count_a = std::max(1, fit.n + fit.npr - fixed + st.kprime);
  st.count_b = std::max(1, fit.n - fit.npr - fixed - st.kprime - 2);
}

// Step 4: MIC = ln(S1 / S2) + A / B.
double model_information_criterion(FitResult& fit, const PostFit& st) {
  const int32_t n = fit.n;
  double s1 = 0.0, sum = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    if (fit.sigy(i) < 2.0) fit.sigy(i) = 1.0;
    const double r = (fit.y(i) - fit.yfit(i)) / fit.sigy(i);
    s1 += r * r;
    sum += fit.yfit(i);
  }
  const double mean = sum / double(float(n));
  double s2 = 0.0;
  for (int32_t i = 1; i <= n; ++i) s2 += (fit.yfit(i) - mean) * (fit.yfit(i) - mean);
  const float penalty = float(st.count_a) / float(st.count_b);
  double mic = std::log(s1 / s2) + double(penalty);
  nrutil::rval_nan(mic, kCap);
  return std::copysign(std::clamp(std::fabs(mic), kTiny, kCap), mic);
}

// Step 7: the eigenvalue threshold and the first index of the smallest magnitude. The
// eigenvalues are those of the m free parameters of the statistics, and so is the count in the
// threshold v = 0.01 sqrt(SSE / (n + m)) / sqrt(sum y^2 / n): n + npr - fixed when every free
// one moves a fitted value. The eigenvalues of a correlation matrix have no unit, and neither has
// v: the residuals' size is taken relative to the data's (a mean square of y of 0 leaves it as it
// is).
void eigen_summary(const FitResult& fit, PostFit& st) {
  const int32_t m = fit.statistics_count();
  double ysq = 0.0;
  for (int32_t i = 1; i <= fit.n; ++i) ysq += fit.y(i) * fit.y(i);
  const double size = ysq > 0.0 ? std::sqrt(ysq / fit.n) : 1.0;
  st.eigen_threshold = 0.01 * std::sqrt(fit.sse / (fit.n + m)) / size;
  st.ismall = 0;
  for (int32_t k = 1; k <= m; ++k) {
    const double v = std::fabs(fit.dcorr(k));
    if (std::isnan(v)) continue;
    if (st.ismall == 0 || v < std::fabs(fit.dcorr(st.ismall))) st.ismall = k;
  }
}

// Step 9: Peirce's criterion with q = 1, 2, ... doubtful observations.
void peirce_flags(const FitResult& fit, PostFit& st) {
  const int32_t n = fit.n;
  const int32_t free = fit.statistics_count();
  double ss = 0.0;
  for (int32_t i = 1; i <= n; ++i) ss += fit.studres(i) * fit.studres(i);
  const double s = std::sqrt(ss / double(float(n - 1)));
  st.pidx = FVector<int32_t>(n, 0);
  const int32_t h = n / 2;
  int32_t q = 1;
  while (q < h) {
    double r = 0.0;
    peirce_criterion(n, q, free, r);
    int32_t cnt = 0;
    for (int32_t i = 1; i <= n; ++i) {
      if (fit.studres(i) * fit.studres(i) > (r * s) * (r * s)) {
        st.pidx(i) = 1;
        if (++cnt > h) return;
      }
    }
    if (cnt < q) return;
    q = cnt + 1;
  }
}

// Step 11: the ranges of the residuals plot (studentized residuals against row numbers).
void residual_plot_ranges(int32_t n) {
  common_data::yrmin = -6.0;
  common_data::yrmax = 6.0;
  common_data::resyaxislable(1) = -6.0;
  common_data::resyaxislable(2) = 6.0;
  common_data::xrmin = 1.0;
  common_data::xrmax = n;
  common_data::resxaxislable(1) = common_data::xrmin;
  common_data::resxaxislable(2) = common_data::xrmax;
  for (int32_t i = 1; i <= n; ++i) common_data::xdr(i) = i;
}

}  // namespace

void FitResult::resize(int32_t rows, int32_t params, int32_t free, int32_t xvars) {
  n = rows;
  npr = params;
  nx = xvars;
  x = FMatrixD<double>(rows, xvars);
  y.resize(rows);
  yfit.resize(rows);
  studres.resize(rows);
  sigy.resize(rows, 1.0);
  a.resize(params);
  ase.resize(params);
  pcl.resize(params);
  pval.resize(params);
  mask.resize(params, 1);
  undetermined.resize(params, 0);
  inseparable.resize(params, 0);
  correl = FMatrixD<double>(free, free);
  dcorr.resize(free);
  pcmp = FMatrixD<double>(free, free);
}

int32_t FitResult::fixed() const {
  int32_t f = 0;
  for (int32_t i = 1; i <= npr; ++i) f += mask(i) == 0 ? 1 : 0;
  return f;
}

int32_t FitResult::statistics_count() const {
  int32_t d = 0;
  for (int32_t i = 1; i <= npr; ++i) d += in_statistics(i) ? 1 : 0;
  return d;
}

PostFit postfit_statistics(FitResult& fit) {
  PostFit st;
  const int32_t n = fit.n;
  // Step 1: a perfect fit, every residual 0, would reach ln(0). Only that: residuals that sum
  // to 0 (as those of a least-squares fit with an intercept do, to rounding) have a MIC of
  // their own, and a sum below a fixed size would take the data's units for exactness.
  bool perfect = true;
  for (int32_t i = 1; i <= n; ++i) perfect = perfect && fit.y(i) == fit.yfit(i);
  if (perfect) {
    st.mic = -kCap;
  } else {
    penalty_counts(fit, st);                        // steps 2 and 3
    st.mic = model_information_criterion(fit, st);  // step 4
  }
  // Step 5.
  spearcorr_mod::spcorr(VecView<const double>(fit.y.data(), n),
                        VecView<const double>(fit.yfit.data(), n),
                        n,
                        0,
                        st.spearman);
  nrutil::rval_nan(st.spearman, 999.99999);
  // Step 6.
  st.date = nrutil::f_date();
  stringlib::s_adjustl(st.date);
  eigen_summary(fit, st);  // step 7
  // Step 8.
  taure(n, n - fit.npr, 0.05, st.tau);
  common_data::ctau = st.tau;
  peirce_flags(fit, st);    // step 9
  residual_plot_ranges(n);  // step 11
  return st;
}

std::string row_mark(double studres, double tau, int32_t pidx) {
  if (std::fabs(studres) > tau) return "[Influential]";
  return pidx != 0 ? "[Suspect]" : "";
}

// Not the residual sum itself, nor the MIC made from it: they would judge an exact fit by the
// last digits that the random searches leave in the parameters, which differ from run to run.
bool degenerate_fit(const FitResult& fit) {
  constexpr double kExactRel = 1e-12;  // relative size of residuals that count as none
  double scale = 0.0;
  for (int32_t i = 1; i <= fit.n; ++i) scale += fit.y(i) * fit.y(i) + fit.yfit(i) * fit.yfit(i);
  return fit.n - fit.npr + fit.fixed() <= 2 && fit.sse_floor <= kExactRel * kExactRel * scale;
}

void hand_over(const FitResult& fit) {
  common_data::nd = fit.n;
  double xmin = 0.0;
  for (int32_t i = 1; i <= fit.n; ++i) {
    common_data::xd(i) = fit.x(i, 1);
    common_data::yd(i) = fit.y(i);
    common_data::ydf(i) = fit.yfit(i);
    common_data::xdl(i) = fit.x(i, 1);
    xmin = i == 1 ? fit.x(i, 1) : std::min(xmin, fit.x(i, 1));
  }
  common_data::xmin0 = xmin;
  if (xmin > 0) {
    for (int32_t i = 1; i <= fit.n; ++i) common_data::xdl(i) = std::log10(common_data::xdl(i));
  }
}

}  // namespace sharc_mod
