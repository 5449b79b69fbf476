#include "engine/sharc_stats.hpp"

#include <cmath>
#include <limits>
#include <ostream>

#include "common/common_data.hpp"
#include "engine/fit_frame.hpp"
#include "engine/sharc_jacobian.hpp"
#include "engine/sharc_resolve.hpp"
#include "files/units.hpp"
#include "model/funct.hpp"
#include "numerics/balance_mod.hpp"
#include "numerics/eigenvlvc.hpp"
#include "numerics/matrixinverse.hpp"
#include "numerics/nrutil.hpp"
#include "numerics/runtime_rng.hpp"

namespace sharc_mod {
namespace {

constexpr double kTiny = 2.2204460492503132e-20;     // floor of matrix entries and residuals
constexpr double kDenomFactor = 0.9999999949999999;  // stands for sqrt(1 - h) when h ~ 1
constexpr double kResidBound = 5.9;                  // bound of a studentized residual

// The size of the data that relative thresholds refer to: the largest |y|, 1 when every y is 0
// (no scale to refer to).
double data_scale(VecView<const double> y, int32_t n) {
  const double top = fit_frame::largest_magnitude(y, n);
  return top > 0.0 ? top : 1.0;
}

// Moves the columns of the parameters that move some fitted value to the front of jac, in
// index order, and marks the free parameters left behind in undetermined(1..np). Returns the
// number of columns kept: f, with nothing marked, when every column moves or none does (a
// model that no parameter moves keeps its statistics on rounding; the fit run takes the error
// path). A column that moves nothing left in would enter the normal matrix as a row of
// rounding: a parameter with a standard error and correlations of the ridge, that the data do
// not give.
int32_t keep_determined(const FVector<int32_t>& moved,
                        int32_t n,
                        int32_t np,
                        FMatrixD<double>& jac,
                        FVector<int32_t>& undetermined) {
  const int32_t f = int32_t(moved.size());
  int32_t kept = 0;
  for (int32_t col = 1; col <= f; ++col) kept += moved(col);
  if (kept == 0 || kept == f) return f;
  for (int32_t j = 1, col = 0, to = 0; j <= np; ++j) {
    if (common_data::pmask(j) == 0) continue;
    if (moved(++col) == 0) {
      undetermined(j) = kMovesNothing;
      continue;
    }
    ++to;
    for (int32_t i = 1; i <= n; ++i) jac(i, to) = jac(i, col);
  }
  return kept;
}

// Steps 4 and 5 on columns of unit norm: each column of jac is divided by its weighted norm
// norm(k) = sqrt(sum w J(i,k)^2), so that jac holds J D^-1 with D = diag(norm), and
// A = (J D^-1)' W (J D^-1) has a unit diagonal: the normal matrix of parameters measured in
// units of their own influence on the fit. Then tiny entries are raised and A is made
// symmetric. The floors, ridges and inversions that follow act on A as the relative
// regularisation they stand for; on J'WJ itself they would outweigh the data wherever a
// column is small (a parameter large against the data), and the statistics would be theirs.
// The covariance of the parameters is D^-1 inv(A) D^-1. A column of zeros keeps norm 1.
void normal_matrix(FMatrixD<double>& jac,
                   VecView<const double> w,
                   int32_t n,
                   int32_t f,
                   FMatrixD<double>& a,
                   FVector<double>& norm) {
  for (int32_t k = 1; k <= f; ++k) {
    // The largest entry first, so that squares of columns of any size neither overflow nor
    // underflow.
    double top = 0.0;
    for (int32_t i = 1; i <= n; ++i) top = std::fmax(top, std::fabs(jac(i, k)) * std::sqrt(w(i)));
    double s = 0.0;
    for (int32_t i = 1; i <= n; ++i) {
      const double e = top > 0.0 ? jac(i, k) / top : 0.0;
      s += e * w(i) * e;
    }
    norm(k) = top > 0.0 && std::isfinite(top) ? top * std::sqrt(s) : 1.0;
    for (int32_t i = 1; i <= n; ++i) jac(i, k) /= norm(k);
  }
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t k = 1; k <= f; ++k) {
      double s = 0.0;
      for (int32_t i = 1; i <= n; ++i) s += jac(i, j) * w(i) * jac(i, k);
      a(j, k) = std::fabs(s) < kTiny ? kTiny : s;
    }
  }
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t k = j + 1; k <= f; ++k) {
      const double mean = (a(j, k) + a(k, j)) / 2.0;
      a(j, k) = mean;
      a(k, j) = mean;
    }
  }
}

// The covariance c of the free parameters with its scale d, correlation matrix r and the
// eigen-analysis of r.
struct Pass {
  FMatrixD<double> c, r, vec, vecmax, pctvar;
  FVector<double> d, ev, pct;
  explicit Pass(int32_t f)
      : c(f, f), r(f, f), vec(f, f), vecmax(f, f), pctvar(f, f), d(f), ev(f), pct(f) {}
};

// The covariance c = inv(A) of the unregularised normal matrix, inverted on A scaled to unit
// diagonal, S = D^-1 A D^-1 with D = diag(sqrt(A(k,k))) (the identity but for rounding once
// normal_matrix has scaled the columns): c = D^-1 inv(S) D^-1. False, c undefined, when A has a
// diagonal entry that is not positive, or S is singular to working precision: the LU inverse fails,
// gives a diagonal that is not positive, or the 1-norm condition of S reaches 1 / eps.
bool scaled_inverse(const FMatrixD<double>& a, int32_t f, FMatrixD<double>& c) {
  FVector<double> dinv(f);
  for (int32_t k = 1; k <= f; ++k) {
    if (!(a(k, k) > 0.0) || !std::isfinite(a(k, k))) return false;
    dinv(k) = 1.0 / std::sqrt(a(k, k));
  }
  double norm_s = 0.0;
  for (int32_t k = 1; k <= f; ++k) {
    double col = 0.0;
    for (int32_t j = 1; j <= f; ++j) {
      c(j, k) = (j >= k ? a(j, k) : a(k, j)) * dinv(j) * dinv(k);
      col += std::fabs(c(j, k));
    }
    norm_s = std::fmax(norm_s, col);
  }
  int32_t status = 0;
  matrixinverse::lumatinv(f, c.view(), status);
  if (status != 0) return false;
  double norm_inv = 0.0;
  for (int32_t k = 1; k <= f; ++k) {
    if (!(c(k, k) > 0.0)) return false;
    double col = 0.0;
    for (int32_t j = 1; j <= f; ++j) col += std::fabs(c(j, k));
    norm_inv = std::fmax(norm_inv, col);
  }
  if (!(norm_s * norm_inv * std::numeric_limits<double>::epsilon() < 1.0)) return false;
  // Scaled back, each pair made equal (the LU inverse is symmetric only up to rounding).
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t k = j; k <= f; ++k) {
      const double v = 0.5 * (c(j, k) + c(k, j)) * dinv(j) * dinv(k);
      c(j, k) = v;
      c(k, j) = v;
    }
  }
  return true;
}

// Fallback for a normal matrix that cannot be inverted as it stands, step 6 from the working
// copy on and step 7: the working copy of the regularised matrix with its diagonal times
// (1 + ridge) plus ridge, inverted by LU into c; when that fails too, Kaiser's regularised
// inverse of the regularised matrix itself.
void ridged_inverse(const FMatrixD<double>& areg, int32_t f, double ridge, FMatrixD<double>& c) {
  // Working copy, made symmetric from its lower triangle.
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t k = 1; k <= f; ++k) c(j, k) = j >= k ? areg(j, k) : areg(k, j);
  }
  nrutil::diagmult_r(c.view(), 1.0 + ridge);
  nrutil::diagadd_r(c.view(), ridge);
  int32_t status = 0;
  matrixinverse::lumatinv(f, c.view(), status);
  if (status != 0) {
    for (int32_t j = 1; j <= f; ++j) {
      for (int32_t k = 1; k <= f; ++k) c(j, k) = areg(j, k);
    }
    FVector<double> scale(f, 1.0);
    int32_t kstatus = 0;
    matrixinverse::kaiser(c.view(), f, f, scale.view(), 1e-6, kstatus);
    if (kstatus != 0) units::console() << "\nMATRIX INVERSE 2 - Fatal error!\n";
  }
}

// Steps 8 and 9 on the covariance out.c: the scale d, the correlation matrix r and its
// eigen-analysis.
void correlate(int32_t f, Pass& out) {
  FMatrixD<double>& c = out.c;
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t k = 1; k <= f; ++k) {
      if (std::fabs(c(j, k)) < kTiny) c(j, k) = kTiny;
    }
  }
  for (int32_t k = 1; k <= f; ++k) {
    out.d(k) = std::sqrt(c(k, k));
    if (out.d(k) == 0.0) out.d(k) = 1.0;
  }
  // Each correlation from its own entry of C, then the mean of each pair.
  FMatrixD<double>& r = out.r;
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t k = 1; k <= f; ++k) r(j, k) = j == k ? 1.0 : c(j, k) / out.d(k) / out.d(j);
  }
  if (f > 1) {
    for (int32_t j = 1; j <= f; ++j) {
      for (int32_t k = j + 1; k <= f; ++k) {
        const double mean = (r(j, k) + r(k, j)) / 2.0;
        r(j, k) = mean;
        r(k, j) = mean;
      }
    }
  }
  eigenvlvc::eigenvv(f,
                     f,
                     r.view(),
                     out.ev.view(),
                     out.pct.view(),
                     out.vec.view(),
                     out.vecmax.view(),
                     out.pctvar.view());
}

// Steps 6 to 9 for a normal matrix that cannot be inverted. The columns of jac (scaled by norm)
// are differenced again (refine_columns), and what the data resolve of them gives the covariance
// on the resolved directions, for the standard errors, the leverages and the sum no change
// removes. The regularised matrix areg, inverted twice with ridges, the second time with one
// scaled to the largest eigenvalue of the first correlation matrix, gives only the correlation
// matrix and its eigen-analysis in pass, whose -1 and eigenvalue near 0 show the combination
// the data do not fix.
Resolution singular_statistics(const ModelRows& model,
                               VecView<const double> p,
                               const FVector<double>& step,
                               const FVector<int32_t>& undetermined,
                               VecView<const double> w,
                               VecView<const double> yfit,
                               const FVector<double>& norm,
                               FMatrixD<double>& jac,
                               FMatrixD<double>& areg,
                               Pass& pass) {
  const int32_t n = model.n;
  const int32_t f = int32_t(norm.size());
  const FVector<double> errors = refine_columns(model, p, step, undetermined, norm, w, yfit, jac);
  FMatrixD<double> rows(n, f);
  for (int32_t k = 1; k <= f; ++k) {
    for (int32_t i = 1; i <= n; ++i) rows(i, k) = std::sqrt(w(i)) * jac(i, k);
  }
  Resolution resolution = resolve_jacobian(rows, n, f, errors);
  nrutil::diagmult_r(areg.view(), 1.000000001);
  nrutil::diagadd_r(areg.view(), 1e-9);
  ridged_inverse(areg, f, 1e-6, pass.c);
  correlate(f, pass);
  double lmax = 0.0;
  bool any = false;
  for (int32_t k = 1; k <= f; ++k) {
    if (std::isnan(pass.ev(k))) continue;
    lmax = any ? std::fmax(lmax, pass.ev(k)) : pass.ev(k);
    any = true;
  }
  ridged_inverse(areg, f, std::fmax(1e-6 * lmax, 1e-6), pass.c);
  correlate(f, pass);
  return resolution;
}

// The sum of squares of r - J delta, delta = C J'W r: the residuals r = y - yfit less what the
// Gauss-Newton step from the final vector removes (C = inv(J'WJ)).
double floor_sum(const FMatrixD<double>& jac,
                 const FMatrixD<double>& c,
                 VecView<const double> w,
                 VecView<const double> y,
                 VecView<const double> yfit,
                 int32_t n,
                 int32_t f) {
  FVector<double> g(f, 0.0), delta(f, 0.0);
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t i = 1; i <= n; ++i) g(j) += jac(i, j) * w(i) * (y(i) - yfit(i));
  }
  for (int32_t j = 1; j <= f; ++j) {
    for (int32_t k = 1; k <= f; ++k) delta(j) += c(j, k) * g(k);
  }
  double sum = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    double ri = y(i) - yfit(i);
    for (int32_t j = 1; j <= f; ++j) ri -= jac(i, j) * delta(j);
    sum += ri * ri;
  }
  return sum;
}

// Step 11: residuals; an exact fit, residuals below kTiny of the data's size `scale`, gets one
// common factor in [0.99, 1.01).
void residuals(VecView<const double> y,
               VecView<double> yfit,
               int32_t n,
               double scale,
               FVector<double>& resid) {
  double mean_abs = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    resid(i) = y(i) - yfit(i);
    mean_abs += std::fabs(resid(i));
  }
  mean_abs /= n;
  if (mean_abs < kTiny * scale) {
    const double factor = 1.0 + (runtime_rng::uniform() - 0.5) * 0.02;
    for (int32_t i = 1; i <= n; ++i) resid(i) *= factor;
  }
}

// The leverage of every row, |w(i) J(i,:) C J(i,:)'|, raised to 1e-8 when it is smaller.
FVector<double> leverages(const FMatrixD<double>& jac,
                          const FMatrixD<double>& cov,
                          VecView<const double> w,
                          int32_t n,
                          int32_t f) {
  FVector<double> h(n);
  for (int32_t i = 1; i <= n; ++i) {
    double sum = 0.0;
    for (int32_t j = 1; j <= f; ++j) {
      for (int32_t k = 1; k <= f; ++k) sum += jac(i, j) * cov(j, k) * jac(i, k);
    }
    h(i) = std::fmax(std::fabs(w(i) * sum), 1e-8);
  }
  return h;
}

// Step 13: studentized residuals from the residuals r, their leverages h, the scale s and the
// sum of squares v of r. Every row, the first and the last as the others, is its residual over
// s sqrt(1 - h); the column is then scaled, centred and limited. The thresholds on r and v (an
// almost exact fit, a residual too small to divide) are taken relative to `unit`, the size of
// the data in the terms of r (weighted or not), so that the marks do not depend on the data's
// units; those on t and 1 - h have no unit.
void studentize(const FVector<double>& r,
                const FVector<double>& h,
                int32_t n,
                double s,
                double v,
                double unit,
                FVector<double>& t) {
  const bool exact = !(v > 1e-8 * unit * unit);
  for (int32_t i = 1; i <= n; ++i) {
    // The denominator: an inexact fit takes sqrt(1 - h) when 1 - h > 1e-8, an exact one when
    // 1 - h >= 1e-8; a leverage of 1 leaves s nearly alone.
    const double d = std::fabs(1.0 - h(i));
    const bool use = exact ? d >= 1e-8 : d > 1e-8;
    const double denominator = use ? s * std::sqrt(d) : s * kDenomFactor;
    if (!exact) {
      double ri = r(i);
      if (std::fabs(ri) <= 1.1e-6 * unit) ri += 1e-6 * unit;
      t(i) = ri / denominator;
    } else {
      t(i) = std::fabs(r(i)) > 1.1e-6 * unit ? r(i) / denominator : 1e-6;
    }
  }
  // Centre each row on the mean of t as it stands (rows already centred count anew).
  const double scale = n == 1 ? 0.001 : std::sqrt(1.0 - 1.0 / n);
  for (int32_t i = 1; i <= n; ++i) {
    double m = 0.0;
    nrutil::rvec_mean(1, n, VecView<const double>(t.data(), n), m);
    double x = t(i);
    if (std::fabs(x) > 1.1e-6) {
      x = x / scale - m;
    } else {
      x = (x + 1e-6) / scale - 1e-6;
    }
    if (std::fabs(x) <= 1e-6) x += 1e-6;
    t(i) = std::fmax(-kResidBound, std::fmin(kResidBound, x));
  }
}

}  // namespace

FitCheck stderr_corr(MatView<const double> x,
                     VecView<const double> y,
                     int32_t nx,
                     int32_t n,
                     VecView<double> yfit,
                     VecView<const double> p,
                     int32_t np,
                     double sse,
                     VecView<const double> w,
                     VecView<double> se,
                     MatView<double> correl,
                     VecView<double> eigval,
                     MatView<double> pcmp,
                     VecView<double> resid,
                     RunsTest& runs,
                     VecView<double> studres) {
  // Step 1.
  int32_t fixed = 0;
  for (int32_t k = 1; k <= np; ++k) {
    if (common_data::pmask(k) == 0) ++fixed;
  }
  const ModelRows model{x, y, nx, n, np, FVector<double>(n, 1.0)};
  // Steps 2 and 3, then the evaluation at the unchanged parameters: the fitted values and
  // their unweighted sum of squares v (step 12). From here on f counts the determined free
  // parameters, and jac holds their columns.
  FMatrixD<double> jac(n, np - fixed);
  FVector<int32_t> moved(np - fixed);
  FVector<double> step(np, 0.0);
  const double scale = data_scale(y, n);
  jacobian(model, p, scale, jac, moved, step);
  FitCheck check;
  check.undetermined = FVector<int32_t>(np, 0);
  check.inseparable = FVector<int32_t>(np, 0);
  const int32_t f = keep_determined(moved, n, np, jac, check.undetermined);
  for (int32_t col = 1; col <= moved.size(); ++col) check.moves = check.moves || moved(col) != 0;
  FVector<double> q(np);
  for (int32_t k = 1; k <= np; ++k) q(k) = p(k);
  const double v = model.eval(q, yfit);
  // Steps 4 and 5: the normal matrix of the columns scaled to unit norm, balanced (a symmetric
  // matrix is already balanced). Steps 6 to 9 work on these columns: pass.c is the covariance of
  // the scaled parameters, and pass.d(k) / norm(k) the standard error's factor of parameter k.
  FMatrixD<double> areg(f, f);
  FVector<double> norm(f);
  normal_matrix(jac, w, n, f, areg, norm);
  balance_mod::balance(areg.view(), f);
  // Steps 6 to 9: the covariance is the inverse of the normal matrix itself. Only a matrix
  // that cannot be inverted gets the ridges: the regularised matrix, inverted twice, the second
  // time with a ridge scaled to the largest eigenvalue of the first correlation matrix.
  Pass pass(f);
  const bool inverted = scaled_inverse(areg, f, pass.c);
  Resolution resolution;
  if (inverted) {
    correlate(f, pass);
  } else {
    resolution = singular_statistics(model,
                                     p,
                                     step,
                                     check.undetermined,
                                     w,
                                     VecView<const double>(yfit.data(), n),
                                     norm,
                                     jac,
                                     areg,
                                     pass);
  }
  for (int32_t j = 1; j <= f; ++j) {
    eigval(j) = pass.ev(j);
    for (int32_t k = 1; k <= f; ++k) {
      correl(j, k) = pass.r(j, k);
      pcmp(j, k) = pass.pctvar(j, k);
    }
  }
  const FMatrixD<double>& cov = inverted ? pass.c : resolution.cplus;
  check.sse_floor = floor_sum(jac, cov, w, y, VecView<const double>(yfit.data(), n), n, f);
  // Step 10.
  const double s = std::sqrt(sse / (n - f));
  for (int32_t k = 1, col = 0; k <= np; ++k) {
    if (common_data::pmask(k) == 0) {
      se(k) = 0.0;
    } else if (check.undetermined(k) != 0) {
      se(k) = std::numeric_limits<double>::quiet_NaN();  // not computed: no data bear on it
    } else {
      ++col;
      if (inverted) {
        se(k) = pass.d(col) / norm(col) * s;
      } else {
        check.inseparable(k) = resolution.inseparable(col);
        if (resolution.has_error(col) != 0) {
          se(k) = std::sqrt(cov(col, col)) / norm(col) * s;
        } else {
          check.undetermined(k) = kUnresolved;
          se(k) = std::numeric_limits<double>::quiet_NaN();  // it would rest on no correct digit
        }
      }
    }
  }
  // Steps 11 and 12.
  FVector<double> r(n);
  residuals(y, yfit, n, scale, r);
  for (int32_t i = 1; i <= n; ++i) resid(i) = r(i);
  runs_statistic(VecView<const double>(r.data(), n), n, runs);
  // Step 13: leverages, the diagonal of the hat matrix W^1/2 J C J' W^1/2 (W = I for an
  // unweighted fit), and studentized residuals. A weighted fit studentizes its weighted
  // residuals sqrt(w) r, with their sum of squares as v, so that residuals, scale and
  // leverages belong to the same fit: a row that the weights discount is not marked for a
  // residual that is large only unweighted.
  const int32_t qdf = n - f <= 1 ? 1 : n - f - 1;
  const FVector<double> h = leverages(jac, cov, w, n, f);
  bool weighted = false;
  for (int32_t i = 1; i <= n; ++i) weighted = weighted || w(i) != 1.0;
  double vs = v;
  double unit = scale;
  if (weighted) {
    vs = 0.0;
    FVector<double> wy(n);
    for (int32_t i = 1; i <= n; ++i) {
      r(i) *= std::sqrt(w(i));
      vs += r(i) * r(i);
      wy(i) = std::sqrt(w(i)) * y(i);
    }
    unit = data_scale(VecView<const double>(wy.data(), n), n);
  }
  FVector<double> t(n);
  studentize(r, h, n, std::sqrt(vs / qdf), vs, unit, t);
  for (int32_t i = 1; i <= n; ++i) studres(i) = t(i);
  return check;
}

}  // namespace sharc_mod
