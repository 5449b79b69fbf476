// funy: the objective of the SVD Levenberg-Marquardt method. It evaluates the user's formula row
// by row, forms the residuals, chooses the weights by the weighting mode and returns the sum of
// squares and a goodness value of the relative residuals.
//
// The robust mode reweights the residual magnitudes b(i) = |r(i)| with Andrews' sine function
// [1] psi(u) = sin(u / c2) c2 / u at u = (b - t) / c, c = 6.909297067811963 d (4.659 times 1.483
// in single precision, d the mean absolute deviation from the binned median), moving the
// location t by a weighted mean step for up to eleven passes; the weight of a row is 0.5 / psi.
//
// [1] D. F. Andrews, "A robust method for multiple linear regression", Technometrics 16 (1974)
//     523-531.
#include <cmath>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "model/my_func.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/robustwt.hpp"
#include "numerics/runtime_rng.hpp"
#include "numerics/thread_held.hpp"
#include "optimizers/marq_mod.hpp"
#include "optimizers/marq_parts.hpp"

namespace marq_mod {
namespace {

constexpr double kTiny = 2.2204460492503132e-20;    // a NaN fitted value; the jitter threshold
constexpr double kSumCap = 4.503599727262001e19;    // a NaN or overflowing sum
constexpr double kC2 = 1.4830000400543213;          // 1.483 in single precision
constexpr double kCut = 4.658999919891357;          // 4.659 in single precision
constexpr double kScale = 6.909297067811963;        // kCut * kC2
constexpr double kPsiAtCut = -3.83961872495876e-6;  // psi at the cut-off

// Work vectors of one evaluation. funy is the inner loop of the method, so they only ever grow.
struct FunyWork {
  std::vector<double> yobs, r, a, b, v;
  void size_for(int32_t m) {
    const size_t need = static_cast<size_t>(m);
    if (yobs.size() < need) {
      yobs.resize(need);
      r.resize(need);
      a.resize(need);
      b.resize(need);
      v.resize(need);
    }
  }
};

// psi(u) = sin(u / c2) c2 / u; its limit at u = 0 is 1, where the formula is 0/0.
double psi(double u) { return u == 0.0 ? 1.0 : std::sin(u / kC2) * kC2 / u; }

// Robust weights, steps 1-4: a(i) from the residual magnitudes b(i), then w(i) := 0.5 / a(i).
void robust_weights(int32_t m, FunyWork& wk, VecView<double> w) {
  const VecView<double> a(wk.a.data(), m), b(wk.b.data(), m);
  for (int32_t i = 1; i <= m; ++i) {
    a(i) = 1.0;
    b(i) = std::fabs(wk.r[static_cast<size_t>(i - 1)]);
  }
  // Step 1: binned median and mean absolute deviation from it.
  const double med = robustwt::binmedian(VecView<const double>(wk.b.data(), m), m);
  double d = 0.0;
  for (int32_t i = 1; i <= m; ++i) d += std::fabs(b(i) - med);
  d /= m;
  // Step 2.
  bool iterate = true;
  if (std::isnan(d)) {
    d = 1.0;
  } else {
    d = std::fmin(std::fmax(d, 1e-15), 1e15);
    iterate = d > 1e-8;
  }
  // Step 3: location passes, the first plus ten refinements at most.
  const double c = kScale * d;
  double t = med;
  for (int pass = 1; iterate && pass <= 11; ++pass) {
    double numerator = 0.0, denominator = 0.0;
    for (int32_t i = 1; i <= m; ++i) {
      const double e = b(i) - t;
      const double u = e / c;
      const double au = std::fabs(u);
      if (au < 1e-8) {
        a(i) = 1.0;
        numerator += e;
        denominator += psi(u);
      } else if (au <= kCut) {
        a(i) = psi(u);
        numerator += e * a(i);
        denominator += a(i);
      } else {  // beyond the cut-off, or u not a number
        a(i) = 1e-8;
        numerator += e * 1e-8;
        denominator += kPsiAtCut;
      }
    }
    const double step = numerator / denominator;
    // A vanishing denominator would turn the location into NaN; the weights of this pass stay.
    if (!std::isfinite(step)) break;
    t += step;
    if (std::fabs(step) <= 1e-8) break;
  }
  // Step 4.
  for (int32_t i = 1; i <= m; ++i) {
    if (std::isnan(a(i))) a(i) = 1.0;
    w(i) = 0.5 / a(i);
  }
}

// Mode 4: w(i) := sqrt(|r(i)| / s), s the residuals' standard deviation.
void spread_weights(int32_t m, const FunyWork& wk, VecView<double> w) {
  double s = 0.0;
  nrutil::rvec_stdev1(m, VecView<const double>(wk.r.data(), m), s);
  if (s < 1e-6 || s > 1e6) s = 1.0;
  for (int32_t i = 1; i <= m; ++i) {
    w(i) = std::pow(std::fabs(wk.r[static_cast<size_t>(i - 1)]) / s, 0.5);
    if (std::fabs(w(i)) < 1e-6 || std::fabs(w(i)) > 1e6) w(i) = 1.0;
  }
}

}  // namespace

void funy(MatView<const double> x,
          MatView<const double> Y,
          VecView<const double> p,
          int32_t n,
          int32_t nvar,
          int32_t iy,
          int32_t m,
          int32_t mode,
          VecView<double> yfit,
          VecView<const double> sig,
          VecView<double> w,
          double& ssq,
          double& q,
          int32_t& counter) {
  ++funy_count;
  FunyWork& wk = thread_held::mine<FunyWork>();
  wk.size_for(m);
  // Step 1: fitted values of all rows at once (a formula that cannot be compiled gives 0),
  // guarded against NaN and values beyond 2^53.
  if (m >= 1) {
    std::fill(wk.v.begin(), wk.v.begin() + m, 0.0);
    my_func::eval_func_rows(p, n, x, nvar, common_udf::cudf, m, VecView<double>(wk.v.data(), m));
  }
  for (int32_t i = 1; i <= m; ++i) {
    const size_t k = static_cast<size_t>(i - 1);
    wk.yobs[k] = iy >= 1 ? Y(i, iy) : 0.0;
    double v = wk.v[k];
    if (std::isnan(v)) {
      v = kTiny;
    } else if (v - 1.0 == v) {
      v = 0.0;
    }
    yfit(i) = v;
    common_data::ydf(i) = v;
    // Step 2.
    wk.r[k] = wk.yobs[k] - v;
  }
  // Step 3: a near-perfect fit is jittered by up to 1 % per row so that it keeps a spread.
  double mean_abs = 0.0;
  for (int32_t i = 1; i <= m; ++i) mean_abs += std::fabs(wk.r[static_cast<size_t>(i - 1)]);
  if (m >= 1 && mean_abs / m < kTiny) {
    for (int32_t i = 1; i <= m; ++i) {
      const double u = static_cast<double>(runtime_rng::uniform_float());
      wk.r[static_cast<size_t>(i - 1)] *= 1.0 + (u - 0.5) * 0.02;
    }
  }
  for (int32_t i = 1; i <= m; ++i) common_data::yres(i) = wk.r[static_cast<size_t>(i - 1)];
  // Step 4: goodness of the relative residuals.
  double sum_rel = 0.0;
  for (int32_t i = 1; i <= m; ++i) {
    const size_t k = static_cast<size_t>(i - 1);
    sum_rel += (wk.r[k] / wk.yobs[k]) * (wk.r[k] / wk.yobs[k]);
  }
  const double rms = std::sqrt(sum_rel / m);
  if (std::isnan(rms)) {
    q = 2e-36;
  } else if (rms - 1.0 == rms) {
    q = 0.5;
  } else {
    q = std::fmax(1.0 - 1.0 / (rms + 1.0), 2e-36);
  }
  // Step 5: weights by mode; other modes keep the incoming ones.
  switch (mode) {
    case 0:
      for (int32_t i = 1; i <= m; ++i) w(i) = 1.0;
      break;
    case 1:
      for (int32_t i = 1; i <= m; ++i) w(i) = sig(i);
      break;
    case 2:
      for (int32_t i = 1; i <= m; ++i) w(i) = yfit(i);
      break;
    case 3:
      counter = m + 1;
      if (m >= 1) robust_weights(m, wk, w);
      break;
    case 4:
      spread_weights(m, wk, w);
      break;
    default:
      break;
  }
  // Step 6: no weight divides by zero or by almost nothing.
  for (int32_t i = 1; i <= m; ++i) {
    if (w(i) == 0.0) {
      w(i) = 1.0;
    } else if (std::fabs(w(i)) < 1e-15) {
      w(i) = 1e-8;
    }
  }
  // Step 7: the sum; mode 4 returns its weights without applying them.
  const bool weighted = mode == 1 || mode == 2 || mode == 3;
  double sum = 0.0;
  for (int32_t i = 1; i <= m; ++i) {
    const double ri = wk.r[static_cast<size_t>(i - 1)];
    sum += weighted ? (ri / w(i)) * (ri / w(i)) : ri * ri;
  }
  if (m < 1) sum = 0.0;
  // NaN is tested first: fmax/fmin would replace it by their other operand.
  if (std::isnan(sum)) {
    sum = kSumCap;
  } else {
    sum = std::fmin(std::fmax(sum, 1e-30), 1e30);
    if (sum - 1.0 == sum) sum = kSumCap;
  }
  ssq = sum;
}

void funy(const Model& md,
          VecView<const double> p,
          int32_t mode,
          VecView<double> yfit,
          VecView<double> w,
          double& ssq,
          double& q,
          int32_t& counter) {
  funy(md.x, md.Y, p, md.n, md.nvar, md.iy, md.m, mode, yfit, md.sig, w, ssq, q, counter);
}

}  // namespace marq_mod
