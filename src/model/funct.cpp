#include "model/funct.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "model/my_func.hpp"
#include "model/simd.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/robustwt.hpp"
#include "numerics/runtime_rng.hpp"

namespace funct {
namespace {

using common_data::max_params;
using common_data::max_rows;
using common_data::max_x;

// Work arrays of fun, sized once for the largest data set (fun allocates nothing).
struct FunWork {
  FArray<double, max_params> p;             // copy of the parameters
  alignas(64) FArray<double, max_rows> yf;  // model values of the rows (whole vectors)
  FArray<double, max_rows> r;               // residuals
  FArray<double, max_rows> s;               // sigmas
  FArray<double, max_rows> w;               // robust weights
};
FunWork fw;

// Copies of the shared data set that derivat and calcfg evaluate on, so that the evaluations
// in between (which overwrite ydf and ysig) all see the data as it was on entry.
struct DataCopies {
  FMatrix<double, max_rows, max_x> x;
  FArray<double, max_rows> y;
  FArray<double, max_rows> yf;
  FArray<double, max_rows> sig;
  FArray<double, max_params> p;
  int32_t cols = 0;  // x columns copied: 1, 2, or 3 for nxd outside 1..2
};
DataCopies dc;

// Clamps v into [lo, hi]; a NaN stays NaN (std::fmax/fmin would turn it into a bound).
double clamp_keep_nan(double v, double lo, double hi) {
  if (v < lo) return lo;
  if (v > hi) return hi;
  return v;
}

// Step 4 of fun: the sigma of every row for the weighting mode, into fw.s.
void choose_sigma(int32_t n, int32_t mode, VecView<const double> yf, VecView<const double> sig) {
  switch (mode) {
    case 1:
      for (int32_t i = 1; i <= n; ++i) fw.s(i) = sig(i) == 0.0 ? 1.0 : sig(i);
      break;
    case 2:
      for (int32_t i = 1; i <= n; ++i) fw.s(i) = yf(i) == 0.0 ? 1.0 : yf(i);
      break;
    case 3:
      for (int32_t i = 1; i <= n; ++i) fw.w(i) = 1.0;
      robustwt::robust_wt(n, VecView<const double>(fw.r.data(), n), fw.w.view(n));
      // The power 0.5 as sqrt: exactly rounded (pow is within an ulp of it) and several times
      // cheaper on this hot path.
      for (int32_t i = 1; i <= n; ++i) {
        fw.s(i) = std::sqrt(0.5 / fw.w(i));
        if (fw.s(i) == 0.0) fw.s(i) = 1.0;
      }
      break;
    case 4: {
      double sd = 0.0;
      nrutil::rvec_stdev1(n, VecView<const double>(fw.r.data(), n), sd);
      if (sd < 1e-6 || sd > 1e6) sd = 1.0;
      // s(i) = sqrt(|r(i)| / sd), 1 beyond [1e-6, 1e6] in magnitude. Step 5 leaves these
      // sigmas as they are (none is 0 or below 1e-15 in magnitude).
      if (n > 0) simd::active->stdev_sigmas(fw.r.data(), n, sd, fw.s.data());
      return;
    }
    default:
      for (int32_t i = 1; i <= n; ++i) fw.s(i) = 1.0;
      break;
  }
  // Step 5: no division by zero or by a vanishing sigma.
  for (int32_t i = 1; i <= n; ++i) {
    if (fw.s(i) == 0.0) {
      fw.s(i) = 1.0;
    } else if (std::fabs(fw.s(i)) < 1e-15) {
      fw.s(i) = 1e-8;
    }
  }
}

// Step 1 of derivat: copies of the x columns (by nxd), y, fitted values, sigmas and p.
void copy_shared_data(VecView<const double> p, int32_t np) {
  const int32_t n = common_data::nd;
  dc.cols = load_x_columns(dc.x.view());
  for (int32_t i = 1; i <= n; ++i) {
    dc.y(i) = common_data::yd(i);
    dc.yf(i) = common_data::ydf(i);
    dc.sig(i) = common_data::ysig(i);
  }
  for (int32_t k = 1; k <= np; ++k) dc.p(k) = p(k);
}

// fun on the copies at dc.p.
double fun_on_copies(int32_t np, int32_t mode) {
  const int32_t n = common_data::nd;
  double f = 0.0;
  fun(MatView<const double>(dc.x.data(), n, dc.cols, max_rows),
      VecView<const double>(dc.y.data(), n),
      VecView<const double>(dc.p.data(), np),
      np,
      common_data::nxd,
      n,
      mode,
      dc.yf.view(n),
      VecView<const double>(dc.sig.data(), n),
      f);
  return f;
}

// Step 4 of derivat: a gradient component that is not a number becomes 2.979932929550268e-08,
// one of magnitude at most 8.88e-16 keeps that magnitude (an exact 0 becomes positive), the
// rest is clamped to the cap.
double clean_gradient(double g) {
  constexpr double kTiny = 8.8800002646180425e-16;  // 8.88e-16 in single precision
  if (std::isnan(g)) return 2.979932929550268e-08;
  if (std::fabs(g) <= kTiny) return g == 0.0 ? kTiny : std::copysign(kTiny, g);
  return clamp_keep_nan(g, -kSumCap, kSumCap);
}

// Step 2 of derivat: the difference step of a parameter, with its sign (+ for +0).
double central_step(double pi) {
  return std::copysign(std::fmax((std::fabs(pi) + 1.7262482236197282e-05) * 1.7262482236197282e-05,
                                 2.979932929550268e-10),
                       pi);
}

// Step 5 of derivat: writes the work copies back and evaluates once more at p, so that the
// shared fitted values, residuals and sigmas describe p. Returns that sum.
double leave_state_at(VecView<const double> p, int32_t np, int32_t mode) {
  const int32_t n = common_data::nd;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = 1; j <= dc.cols; ++j) common_data::xnx(i, j) = dc.x(i, j);
    common_data::yd(i) = dc.y(i);
    common_data::ydf(i) = dc.yf(i);
    common_data::ysig(i) = dc.sig(i);
  }
  for (int32_t k = 1; k <= np; ++k) {
    common_data::pfinal(k) = p(k);
    dc.p(k) = p(k);
  }
  return fun_on_copies(np, mode);
}

}  // namespace

void fun(MatView<const double> x,
         VecView<const double> y,
         VecView<const double> p,
         int32_t np,
         int32_t nx,
         int32_t n,
         int32_t mode,
         VecView<double> yf,
         VecView<const double> sig,
         double& fval) {
  // Rows or columns beyond the shared arrays cannot be evaluated or stored.
  if (n > max_rows || nx > max_x || np > max_params) {
    fval = kSumCap;
    return;
  }
  ++fun_count;
  // Step 1.
  common_data::nd = n;
  for (int32_t k = 1; k <= np; ++k) fw.p(k) = p(k);
  const VecView<const double> pw(fw.p.data(), np);
  const bool weighted = mode >= 1 && mode <= 4;
  // Every sigma is 1 without weighting and for a numbered model; the sum of (r / 1)^2 is then
  // bit for bit the sum of r^2, so steps 3 to 7 can share one pass over the rows.
  const bool unit_sigma = !weighted || globals::nmdl > 0;
  const bool contiguous = y.stride() == 1 && yf.stride() == 1 && y.size() >= n && yf.size() >= n;
  // With unit sigmas, contiguous arrays and the user formula, that pass is made where each
  // row's value is computed (fparser::ResidualSink): the fitted value's guard, the residual,
  // the stores of step 7 and the sums, in the fixed order of simd::Kernels::residuals.
  fparser::ResidualSink sink;
  const bool fused = unit_sigma && contiguous && n > 0 && globals::nmdl == 0;
  if (fused) {
    sink.y = y.data();
    sink.yf = yf.data();
    sink.ydf = common_data::ydf.data();
    sink.yres = common_data::yres.data();
    sink.ysig = common_data::ysig.data();
  }
  // Step 2: the model at every row, many rows per instruction. A formula that cannot be
  // compiled would be retried, with its message and pause, at every row: the failure ends the
  // evaluation with the worst sum before any fitted value is written.
  // The front end's guard of each value is left to the pass of steps 2 and 3.
  if (n > 0) {
    if (my_func::eval_func_rows(
            pw, np, x, nx, common_udf::cudf, n, fw.yf.view(n), false, fused ? &sink : nullptr) !=
        0) {
      fval = kSumCap;
      return;
    }
  }
  // Steps 2 and 3: the fitted value's guard, then the residual. When the residuals' mean
  // magnitude is below the floor (a perfect fit), each is scaled by a random factor in
  // [0.99, 1.01). With unit sigmas and contiguous arrays one vector pass also writes step 7 and
  // sums the squares (in the fixed order of simd::Kernels::residuals).
  double mean_abs = 0.0;
  double sum = 0.0;
  if (fused) {
    const double* s = sink.sq;
    const double* a = sink.ab;
    sum = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
    mean_abs = ((a[0] + a[1]) + (a[2] + a[3])) + ((a[4] + a[5]) + (a[6] + a[7]));
  } else if (unit_sigma && contiguous && n > 0) {
    sum = simd::active->residuals(fw.yf.data(),
                                  y.data(),
                                  n,
                                  yf.data(),
                                  common_data::ydf.data(),
                                  common_data::yres.data(),
                                  common_data::ysig.data(),
                                  mean_abs);
  } else if (contiguous && n > 0) {
    // Weighted: the same pass, its residuals into the work array and its unit sigmas into the
    // sigma work array (the caller's sig may be ysig, which is read later), and the fitted
    // values stored once more at step 7.
    simd::active->residuals(
        fw.yf.data(), y.data(), n, yf.data(), yf.data(), fw.r.data(), fw.s.data(), mean_abs);
  } else {
    if (n > 0) simd::active->limit_values(fw.yf.data(), n);
    double abs_part[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (int32_t i = 1; i <= n; ++i) {
      double v = fw.yf(i);
      nrutil::rval_nan(v, kSumFloor);
      yf(i) = clamp_keep_nan(v, -kSumCap, kSumCap);
      fw.r(i) = y(i) - yf(i);
      abs_part[(i - 1) % 8] += std::fabs(fw.r(i));
      if (unit_sigma) {
        common_data::yres(i) = fw.r(i);
        common_data::ydf(i) = yf(i);
        common_data::ysig(i) = 1.0;
      }
    }
    mean_abs = ((abs_part[0] + abs_part[1]) + (abs_part[2] + abs_part[3])) +
               ((abs_part[4] + abs_part[5]) + (abs_part[6] + abs_part[7]));
    if (unit_sigma) sum = sum_squares(VecView<const double>(fw.r.data(), n), n);
  }
  const bool jitter = n > 0 && mean_abs / n < kSumFloor;
  if (jitter && unit_sigma && contiguous) {
    for (int32_t i = 1; i <= n; ++i) fw.r(i) = common_data::yres(i);  // the vector pass's r
  }
  if (jitter) {
    for (int32_t i = 1; i <= n; ++i) {
      fw.r(i) *= 1.0 + 0.02 * (static_cast<double>(runtime_rng::uniform_float()) - 0.5);
    }
  }
  if (!unit_sigma || jitter) {
    std::copy_n(fw.r.data(), n, common_data::yres.data());
    // Steps 4 and 5: sigmas; sig is read here, before ysig is overwritten in step 7.
    if (unit_sigma) {
      for (int32_t i = 1; i <= n; ++i) fw.s(i) = 1.0;
    } else {
      choose_sigma(n, mode, VecView<const double>(yf.data(), n, yf.stride()), sig);
    }
    // Step 6, in the order of sum_squares.
    sum = n > 0 ? simd::active->weighted_squares(fw.r.data(), fw.s.data(), n) : 0.0;
    // Step 7.
    if (contiguous) {
      if (yf.data() != common_data::ydf.data()) std::copy_n(yf.data(), n, common_data::ydf.data());
    } else {
      for (int32_t i = 1; i <= n; ++i) common_data::ydf(i) = yf(i);
    }
    std::copy_n(fw.s.data(), n, common_data::ysig.data());
  }
  if (!weighted) mode = 0;
  sum = n > 0 ? clamp_keep_nan(sum, kSumFloor, kSumCap) : kSumFloor;
  nrutil::rval_nan(sum, kSumCap);
  fval = sum;
  common_data::ndwt = mode;
}

double sum_squares(VecView<const double> r, int32_t n) {
  double part[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  for (int32_t i = 1; i <= n; ++i) part[(i - 1) % 8] += r(i) * r(i);
  return ((part[0] + part[1]) + (part[2] + part[3])) + ((part[4] + part[5]) + (part[6] + part[7]));
}

void row_weights(int32_t n, VecView<double> w) {
  for (int32_t i = 1; i <= n; ++i) w(i) = 1.0 / (common_data::ysig(i) * common_data::ysig(i));
}

void row_sigmas(int32_t n,
                int32_t mode,
                VecView<const double> yf,
                VecView<const double> r,
                VecView<const double> sig,
                VecView<double> s) {
  if (n > max_rows) return;
  if (mode < 1 || mode > 4 || globals::nmdl > 0) {
    for (int32_t i = 1; i <= n; ++i) s(i) = 1.0;
    return;
  }
  for (int32_t i = 1; i <= n; ++i) fw.r(i) = r(i);
  choose_sigma(n, mode, yf, sig);
  for (int32_t i = 1; i <= n; ++i) s(i) = fw.s(i);
}

int32_t load_x_columns(MatView<double> xm) { return load_x_columns(xm, common_data::nd); }

int32_t load_x_columns(MatView<double> xm, int32_t rows) {
  const int32_t cols = (common_data::nxd == 1 || common_data::nxd == 2) ? common_data::nxd : 3;
  for (int32_t i = 1; i <= rows; ++i) {
    xm(i, 1) = common_data::xd(i);
    if (cols >= 2) xm(i, 2) = common_data::xd2(i);
    if (cols >= 3) xm(i, 3) = common_data::xd3(i);
  }
  return cols;
}

void derivat(VecView<double> g, double& f, VecView<const double> p, int32_t np) {
  if (np > max_params) {  // more parameters than the work copies and pfinal hold
    f = kSumCap;
    return;
  }
  // Step 1.
  copy_shared_data(p, np);
  const int32_t mode = common_data::ndwt;
  common_data::npr = np;
  for (int32_t k = 1; k <= np; ++k) common_data::pfinal(k) = p(k);
  // Step 3: central differences over the free parameters, with the steps of step 2.
  const double f0 = fun_on_copies(np, mode);
  for (int32_t i = 1; i <= np; ++i) {
    if (common_data::pmask(i) == 0) continue;
    const double h = central_step(p(i));
    dc.p(i) = p(i) + h;
    const double f_plus = fun_on_copies(np, mode);
    dc.p(i) = p(i) - h;
    const double f_minus = fun_on_copies(np, mode);
    dc.p(i) = p(i);
    g(i) = (f_plus - f_minus) / (2.0 * h);
  }
  // Step 4.
  for (int32_t i = 1; i <= np; ++i) {
    g(i) = common_data::pmask(i) == 0 ? 0.0 : clean_gradient(g(i));
  }
  // Step 5: the shared state is left describing p.
  f = f0;
  f = leave_state_at(p, np, mode);
}

int32_t calcfg(int32_t np,
               VecView<const double> x,
               double& f,
               VecView<double> gradient,
               VecView<double> g,
               MatView<double> jac) {
  // Step 1.
  f = 999999.0;
  for (int32_t k = 1; k <= kMaxGrad; ++k) gradient(k) = 0.0;
  for (int32_t k = 1; k <= kMaxConstraints; ++k) g(k) = 0.0;
  for (int32_t c = 1; c <= kMaxConstraints; ++c) {
    for (int32_t r = 1; r <= kMaxGrad; ++r) jac(r, c) = 0.0;
  }
  // Step 3: a numbered model is refused with a status (the package has nothing to offer it).
  common_data::nmod = 0;
  if (globals::nmdl > common_data::nmod || np > max_params) {
    f = kSumCap;
    return 1;
  }
  // Step 4: equality constraints for the fixed parameters, then lower and upper bounds.
  common_data::ieqcns = 0;
  common_data::icnstr = 2 * np;
  if (np > 0) {
    for (int32_t i = 1; i <= np; ++i) common_data::pfinal(i) = x(i);
    int32_t q = 0;
    for (int32_t i = 1; i <= np; ++i) q += common_data::pmask(i) == 0 ? 1 : 0;
    common_data::ieqcns = q;
    common_data::icnstr = 2 * np + q;
    // A fixed parameter's equality holds it where it is: its value is 0 at every x, so the
    // linearised constraint e_i . d = 0 keeps the step's component i at 0.
    int32_t k = 0;
    for (int32_t i = 1; i <= np; ++i) {
      if (common_data::pmask(i) != 0) continue;
      ++k;
      g(k) = 0.0;
      jac(i, k) = 1.0;
    }
    // Every upper bound pboundhi(i) - x(i) has the gradient -e_i, fixed parameter or not.
    for (int32_t i = 1; i <= np; ++i) {
      g(q + i) = x(i) - common_data::pboundlo(i);
      jac(i, q + i) = 1.0;
      g(q + np + i) = common_data::pboundhi(i) - x(i);
      jac(i, q + np + i) = -1.0;
    }
  }
  // Step 5.
  derivat(gradient, f, x, np);
  // Step 6: the sum at x on fresh copies of the shared data.
  copy_shared_data(x, np);
  for (int32_t i = 1; i <= np; ++i) common_data::pfinal(i) = x(i);
  f = fun_on_copies(np, common_data::ndwt);
  return 0;
}

void r8vec_linspace(int32_t n, double a, double b, VecView<double> x) {
  if (n == 1 && x.size() >= 1) {
    x(1) = 0.5 * (a + b);
    return;
  }
  const auto last = std::min<int32_t>(n, static_cast<int32_t>(x.size()));
  for (int32_t i = 1; i <= last; ++i) {
    x(i) = (static_cast<double>(n - i) * a + static_cast<double>(i - 1) * b) /
           static_cast<double>(n - 1);
  }
}

namespace {

// "At or above hi" and "at or below lo", relative 1e-9: the bound itself and a band of
// 1e-9 |bound| inside it (a bound of 0 is met only at or beyond it).
bool at_upper(double p, double hi) { return p >= hi - 1e-9 * std::fabs(hi); }
bool at_lower(double p, double lo) { return p <= lo + 1e-9 * std::fabs(lo); }

// |b|, with a bound of magnitude 0 counting as 1.
double bound_magnitude(double b) { return b == 0.0 ? 1.0 : std::fabs(b); }

// Clears ys(1..n), n cut to ys.size().
void zeros(VecView<double> ys, int32_t n) {
  n = std::min<int32_t>(n, static_cast<int32_t>(ys.size()));
  for (int32_t i = 1; i <= n; ++i) ys(i) = 0.0;
}

}  // namespace

void pbounds2(
    VecView<double> p, int32_t n, VecView<const double> lo, VecView<const double> hi, double& f) {
  bool moved = false;
  for (int32_t i = 1; i <= n; ++i) {
    if (common_data::pmask(i) == 0) continue;
    if (at_upper(p(i), hi(i)) || at_lower(p(i), lo(i))) {
      const double mid = 0.5 * (lo(i) + hi(i));
      p(i) = mid == 0.0 ? 1e-9 : mid;
      moved = true;
    }
  }
  if (moved) f = kSumCap;
}

void fbounds(VecView<double> p, int32_t n, VecView<const double> lo, VecView<const double> hi) {
  for (int32_t i = 1; i <= n; ++i) {
    if (common_data::pmask(i) == 0) continue;
    double v = p(i);
    if (std::fabs(v) < kSumFloor) v = v < 0.0 ? -kSumFloor : kSumFloor;
    if (at_upper(v, hi(i))) {
      const double m = bound_magnitude(hi(i));
      v = (hi(i) > 0.0 ? 0.5 * m : hi(i) == 0.0 ? -0.5 * m : -2.0 * m) - kSumFloor;
    }
    if (at_lower(v, lo(i))) {
      v = (lo(i) >= 0.0 ? 2.0 * bound_magnitude(lo(i)) : 0.5 * lo(i)) + kSumFloor;
    }
    p(i) = v;
  }
}

void savitzkygolay(VecView<const double> y, int32_t n, VecView<double> ys) {
  n = std::min({n, static_cast<int32_t>(y.size()), static_cast<int32_t>(ys.size())});
  if (n < 5) {
    zeros(ys, n);
    return;
  }
  for (int32_t i = 3; i <= n - 2; ++i) {
    ys(i) =
        (-3.0 * y(i - 2) + 12.0 * y(i - 1) + 17.0 * y(i) + 12.0 * y(i + 1) - 3.0 * y(i + 2)) / 35.0;
  }
  // The two points at each end, from the five points at that end (d = +1 at the start, -1 at
  // the end walks inwards).
  const auto ends = [&](int32_t first, int32_t d) {
    const auto at = [&](int32_t k) { return y(first + d * (k - 1)); };
    ys(first) = (207.0 * at(1) + 12.0 * at(2) - 18.0 * at(3) + 12.0 * at(4) - 3.0 * at(5)) / 210.0;
    ys(first + d) = (2.0 * at(1) + 27.0 * at(2) + 12.0 * at(3) - 8.0 * at(4) + 2.0 * at(5)) / 35.0;
  };
  ends(1, 1);
  ends(n, -1);
}

void movingaver(VecView<const double> y, int32_t n, VecView<double> ys, int32_t m) {
  n = std::min({n, static_cast<int32_t>(y.size()), static_cast<int32_t>(ys.size())});
  if (n < m || m < 1) {
    zeros(ys, n);
    return;
  }
  const int32_t half = (m - 1) / 2;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t k = std::min({half, i - 1, n - i});
    double sum = 0.0;
    for (int32_t j = i - k; j <= i + k; ++j) sum += y(j);
    ys(i) = sum / static_cast<double>(2 * k + 1);
  }
  if (n >= 3) ys(1) = (5.0 * y(1) + 2.0 * y(2) - y(3)) / 6.0;
}

void derivatv(VecView<double> g, double& f, VecView<const double> p, int32_t n) {
  if (n > max_params || g.size() < int64_t{n} + int64_t{n} * (n + 1) / 2) {
    f = kSumCap;
    return;
  }
  // The gradient and f; the shared state then describes p again.
  derivat(g, f, p, n);
  const double f0 = f;
  copy_shared_data(p, n);
  const int32_t mode = common_data::ndwt;
  // The sum at p displaced by si h_i along i and sj h_j along j.
  const auto at = [&](int32_t i, double si, int32_t j, double sj) {
    dc.p(i) += si * central_step(p(i));
    dc.p(j) += sj * central_step(p(j));
    const double v = fun_on_copies(n, mode);
    dc.p(i) = p(i);
    dc.p(j) = p(j);
    return v;
  };
  int32_t k = n;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = 1; j <= i; ++j) {
      ++k;
      if (common_data::pmask(i) == 0 || common_data::pmask(j) == 0) {
        g(k) = 0.0;
        continue;
      }
      const double hi = central_step(p(i));
      double h;
      if (i == j) {
        h = (at(i, 1.0, i, 0.0) - 2.0 * f0 + at(i, -1.0, i, 0.0)) / (hi * hi);
      } else {
        const double hj = central_step(p(j));
        h = (at(i, 1.0, j, 1.0) - at(i, 1.0, j, -1.0) - at(i, -1.0, j, 1.0) +
             at(i, -1.0, j, -1.0)) /
            (4.0 * hi * hj);
      }
      g(k) = std::isnan(h) ? 0.0 : clamp_keep_nan(h, -kSumCap, kSumCap);
    }
  }
  f = leave_state_at(p, n, mode);
}

int32_t funcurve(VecView<const double> p,
                 int32_t np,
                 int32_t k,
                 MatView<double> xc,
                 VecView<double> yc,
                 int32_t& ncurve) {
  ncurve = 0;
  const int32_t n = common_data::nd;
  FMatrix<double, max_rows, max_x> xm;
  const int32_t cols = load_x_columns(xm.view());
  if (n < 1 || xc.cols() < cols) return 0;
  // More points per interval than the arrays hold cannot be shown.
  k = static_cast<int32_t>(std::clamp<long>(k, 1, std::max<long>(1, xc.rows())));
  const int64_t wanted = int64_t{k} * (n - 1) + 1;
  const auto room = static_cast<int32_t>(std::min<int64_t>({wanted, xc.rows(), yc.size()}));
  // The x values: k points from each row towards the next, then the last row.
  FVector<double> t(k + 1);
  int32_t j = 0;
  for (int32_t i = 1; i < n && j < room; ++i) {
    for (int32_t c = 1; c <= cols; ++c) {
      r8vec_linspace(k + 1, xm(i, c), xm(i + 1, c), t.view());
      for (int32_t s = 1; s <= k && j + s <= room; ++s) xc(j + s, c) = t(s);
    }
    j = std::min(j + k, room);
  }
  if (j < room) {
    ++j;
    for (int32_t c = 1; c <= cols; ++c) xc(j, c) = xm(n, c);
  }
  // The model at each point.
  FArray<double, max_x> row;
  for (int32_t s = 1; s <= j; ++s) {
    for (int32_t c = 1; c <= cols; ++c) row(c) = xc(s, c);
    double value = 0.0;
    const int32_t status = my_func::eval_func(
        p, np, VecView<const double>(row.data(), cols), cols, common_udf::cudf, value);
    if (status != 0) return status;
    yc(s) = value;
  }
  ncurve = j;
  return 0;
}

void reset() { fun_count = 0; }

}  // namespace funct
