// vmsqp_mod: the iteration trace and the final report of the SQP method, written only when
// bprint is on, and the report sections it is made of. Lines whose layout is not fixed by a
// format are list-directed (vmsqp_lines.hpp). Where a statistic would divide by zero, "N/A" is
// written in its field.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "constrained/initialize_vmsqp.hpp"
#include "constrained/vmsqp_lines.hpp"
#include "constrained/vmsqp_mod.hpp"
#include "constrained/vmsqp_state.hpp"

namespace vmsqp_mod {
namespace {

using editfmt::Value;

const std::string kRule(46, '=');

// A section title between two rules of 46 "=".
void title(const char* text) {
  lines::list({kRule});
  lines::list({text});
  lines::list({kRule});
}

// "b(i)" labels of the parameters listed, in the given descriptor, after a 2x indent.
void labels(const std::vector<int32_t>& idx, const char* descriptor) {
  std::vector<Value> items;
  for (int32_t i : idx) items.emplace_back("b(" + std::to_string(i) + ")");
  lines::put(std::string("(2x,10(") + descriptor + ",1x))", items);
}

// Cholesky inverse of the symmetric positive definite c (order k) in place; false when a
// pivot radicand is not above 2e-12.
bool cholesky_inverse(FMatrixD<double>& c, int32_t k) {
  FMatrixD<double> l(k, k);
  for (int32_t j = 1; j <= k; ++j) {
    double r = c(j, j);
    for (int32_t p = 1; p < j; ++p) r -= l(j, p) * l(j, p);
    if (!(r > 2e-12)) return false;
    l(j, j) = std::sqrt(r);
    for (int32_t i = j + 1; i <= k; ++i) {
      double s = c(i, j);
      for (int32_t p = 1; p < j; ++p) s -= l(i, p) * l(j, p);
      l(i, j) = s / l(j, j);
    }
  }
  // Column e of the inverse solves L L^T z = e.
  FVector<double> z(k);
  for (int32_t e = 1; e <= k; ++e) {
    for (int32_t i = 1; i <= k; ++i) {
      double s = i == e ? 1.0 : 0.0;
      for (int32_t p = 1; p < i; ++p) s -= l(i, p) * z(p);
      z(i) = s / l(i, i);
    }
    for (int32_t i = k; i >= 1; --i) {
      double s = z(i);
      for (int32_t p = i + 1; p <= k; ++p) s -= l(p, i) * z(p);
      z(i) = s / l(i, i);
    }
    for (int32_t i = 1; i <= k; ++i) c(i, e) = z(i);
  }
  return true;
}

// Step 5 of the regression statistics: estimates, standard errors, covariance, correlation.
void parameter_statistics(VecView<const double> x,
                          MatView<const double> j,
                          VecView<const double> sigma,
                          int32_t m,
                          const std::vector<int32_t>& idx,
                          bool have_mse,
                          double mse) {
  const int32_t k = static_cast<int32_t>(idx.size());
  FMatrixD<double> cov(k, k);
  for (int32_t b = 1; b <= k; ++b) {
    for (int32_t a = 1; a <= k; ++a) {
      double s = 0.0;
      for (int32_t r = 1; r <= m; ++r) s += j(r, idx[a - 1]) * sigma(r) * j(r, idx[b - 1]);
      cov(a, b) = s;
    }
  }
  if (!cholesky_inverse(cov, k)) {
    lines::list({"Warning: Could not compute parameter statistics"});
    lines::list({"(Jacobian matrix may be singular or ill-conditioned)"});
    return;
  }
  for (int32_t b = 1; b <= k; ++b) {
    for (int32_t a = 1; a <= k; ++a) cov(a, b) = have_mse ? mse * cov(a, b) : 0.0;
  }

  lines::list({"Final parameter estimates with standard errors:"});
  lines::put("(a15,a12,a15,3x,a10)", {"Parameter", "Estimate", "Std Error", "t-ratio"});
  lines::put("(a15,a12,a15,3x,a10)", {"---------", "--------", "---------", "-------"});
  for (int32_t a = 1; a <= k; ++a) {
    const int32_t i = idx[a - 1];
    const double se = std::sqrt(std::max(cov(a, a), 0.0));
    if (se > 0.0) {
      lines::put("(a10,i2,a1,1x,es15.8,1x,es15.8,f10.3)", {"b(", i, ")", x(i), se, x(i) / se});
    } else {
      lines::put("(a10,i2,a1,1x,es15.8,1x,a15,a10)", {"b(", i, ")", x(i), "N/A", "N/A"});
    }
  }
  if (!have_mse) return;  // without a mean squared error there is no covariance to show

  lines::list({"Parameter covariance matrix:"});
  labels(idx, "a10");
  for (int32_t a = 1; a <= k; ++a) {
    std::vector<Value> row = {"b(", idx[a - 1], ")"};
    for (int32_t b = 1; b <= k; ++b) row.emplace_back(cov(a, b));
    lines::put("(a3,i2,a1,1x,5(es10.3,1x))", row);
  }
  lines::list({"Parameter correlation matrix:"});
  labels(idx, "a12");
  for (int32_t a = 1; a <= k; ++a) {
    std::vector<Value> row = {"b(", idx[a - 1], ")"};
    std::string fmt = "(a3,i2,a1";
    for (int32_t b = 1; b <= k; ++b) {
      const double v = cov(a, a) * cov(b, b);
      if (a == b) {
        row.emplace_back(1.0);
        fmt += ",f12.6,1x";
      } else if (v > 0.0) {
        row.emplace_back(cov(a, b) / std::sqrt(v));
        fmt += ",f12.6,1x";
      } else {
        row.emplace_back("N/A");
        fmt += ",a12,1x";
      }
    }
    lines::put(fmt + ")", row);
  }
}

// A labelled real in `descriptor`, or "N/A" in a field of the same width.
void value_line(const char* label, bool known, double v, const char* descriptor, const char* na) {
  if (known) {
    lines::put(std::string("(a,") + descriptor + ")", {label, v});
  } else {
    lines::put(std::string("(a,") + na + ")", {label, "N/A"});
  }
}

// One half of the constraint check: x against the lower bounds (a value on its bound
// violates) or the upper bounds.
void bound_check(VecView<const double> x, int32_t n, VecView<const double> bound, bool lower) {
  lines::list({lower ? "LOWER BOUND CONSTRAINTS CHECK" : "UPPER BOUND CONSTRAINTS CHECK"});
  int32_t violations = 0;
  for (int32_t i = 1; i <= n; ++i) {
    const bool violated = lower ? bound(i) >= x(i) : x(i) >= bound(i);
    if (violated) ++violations;
    const char* verdict = violated ? "VIOLATION: b(i) = " : "OK: b(i) = ";
    const char* relation = violated ? (lower ? " <= " : " >= ") : (lower ? " > " : " < ");
    lines::put("(a,es12.5,a,es12.5)", {verdict, x(i), relation, bound(i)});
  }
  if (violations == 0) {
    lines::list({lower ? "ALL LOWER BOUND CONSTRAINTS SATISFIED!"
                       : "ALL UPPER BOUND CONSTRAINTS SATISFIED!"});
  } else {
    lines::put("(a,i2,a)", {"WARNING: ", violations, " constraint violation(s) detected"});
  }
}

}  // namespace

void detailed_constraint_check(VecView<const double> x,
                               const int32_t& n,
                               VecView<const double> lo,
                               VecView<const double> hi) {
  title("CONSTRAINT SATISFACTION CHECK");
  bound_check(x, n, lo, true);
  bound_check(x, n, hi, false);
}

void print_fit_comparison(VecView<const double> xdat,
                          VecView<const double> y,
                          VecView<const double> yfit,
                          VecView<const double> resid,
                          const int32_t& m) {
  constexpr int32_t kShown = 30;
  title("MODEL FIT COMPARISON");
  lines::put("(a8,a12,a12,a12,a12)", {"Point", "x_data", "y_data", "y_model", "Residual"});
  lines::put("(a8,a12,a12,a12,a12)", {"-----", "------", "------", "-------", "--------"});
  for (int32_t k = 1; k <= std::min(m, kShown); ++k) {
    lines::put("(i8,4f12.6)", {k, xdat(k), y(k), yfit(k), resid(k)});
  }
  if (m > kShown) lines::list({"... (showing first 30 data points only)"});
}

void regression_statistics(VecView<const double> x,
                           VecView<const double> resid,
                           VecView<const double> xdat,
                           MatView<const double> j,
                           VecView<const double> sigma,
                           const int32_t& m,
                           const int32_t& n,
                           VecView<const int32_t> mask) {
  title("REGRESSION STATISTICS");
  lines::put("(a,i6)", {"Number of observations: ", m});
  lines::put("(a,i6)", {"Number of parameters: ", n});
  lines::put("(a,i6)", {"Degrees of freedom: ", m - n});

  double ssr = 0.0;
  for (int32_t k = 1; k <= m; ++k) ssr += resid(k) * resid(k);
  const double dof = static_cast<double>(static_cast<float>(m - n));  // single precision
  const bool have_mse = dof != 0.0;
  const double mse = have_mse ? ssr / dof : 0.0;
  const double rmse = std::sqrt(mse);
  lines::put("(a,es15.8)", {"Sum of squared residuals: ", ssr});
  value_line("Mean squared error: ", have_mse, mse, "es15.8", "a15");
  value_line("Root mean squared error: ", have_mse, rmse, "es15.8", "a15");

  // R-squared of the linearised model u = J x + resid, weighted by sigma.
  double sw = 0.0;
  double swu = 0.0;
  std::vector<double> u(std::max(m, 0));
  for (int32_t k = 1; k <= m; ++k) {
    double jx = 0.0;
    for (int32_t i = 1; i <= n; ++i) jx += j(k, i) * x(i);
    u[k - 1] = jx + resid(k);
    sw += sigma(k);
    swu += sigma(k) * u[k - 1];
  }
  double sst = 0.0;
  if (sw != 0.0) {
    const double ubar = swu / sw;
    for (int32_t k = 1; k <= m; ++k) sst += sigma(k) * (u[k - 1] - ubar) * (u[k - 1] - ubar);
  }
  value_line("R-squared: ", sst != 0.0, 1.0 - ssr / sst, "f10.6", "a10");

  std::vector<int32_t> idx;
  for (int32_t i = 1; i <= n; ++i) {
    if (mask(i) != 0) idx.push_back(i);
  }
  parameter_statistics(x, j, sigma, m, idx, have_mse, mse);

  lines::list({"Residual analysis:"});
  double rmin = 0.0;
  double rmax = 0.0;
  double sum = 0.0;
  for (int32_t k = 1; k <= m; ++k) {
    rmin = k == 1 ? resid(k) : std::min(rmin, resid(k));
    rmax = k == 1 ? resid(k) : std::max(rmax, resid(k));
    sum += resid(k);
  }
  const double mean = m > 0 ? sum / m : 0.0;
  double ss = 0.0;
  for (int32_t k = 1; k <= m; ++k) ss += (resid(k) - mean) * (resid(k) - mean);
  value_line("Minimum residual: ", m > 0, rmin, "es12.5", "a12");
  value_line("Maximum residual: ", m > 0, rmax, "es12.5", "a12");
  value_line("Mean residual: ", m > 0, mean, "es12.5", "a12");
  value_line("Standard deviation of residuals: ", m > 1, std::sqrt(ss / (m - 1)), "es12.5", "a12");

  lines::list({"Potential outliers (|residual| > 2.5 * RMSE):"});
  if (!have_mse) return;
  for (int32_t k = 1; k <= m; ++k) {
    if (std::fabs(resid(k)) > 2.5 * rmse) {
      lines::put("(a,i3,a,es12.5,a,es12.5)",
                 {"Point ", k, ": residual = ", resid(k), ", x = ", xdat(k)});
    }
  }
}

namespace detail {

void trace_cycle_start(const Sqp& q) {
  lines::blank();
  lines::list({"Start of cycle= ", q.cycle});
  lines::put("(/a4,a14,a12,a12,10(a10))",
             {"Iter", "Objective", "Merit", "Max|c|", "b1", "b2", "b3", "b4", "b5"});
}

void trace_penalty(const Sqp& q) { lines::put("(a,1x,es14.4)", {"Obj_penalty=", q.penalty}); }

void trace_row(const Sqp& q) {
  const int32_t every = q.cycle == 1 ? 100 : 10;
  if (q.iter > 10 && q.iter % every != 0) return;
  std::vector<Value> row = {q.iter, q.fobj, q.merit, max_violation(q)};
  for (int32_t j = 1; j <= q.n; ++j) row.emplace_back(q.x(j));
  lines::put("(i5,f15.8,f12.6,f12.8,10(f10.4,1x))", row);
}

void trace_cycle_end(const Sqp& q) {
  switch (q.end) {
    case CycleEnd::kMaxEvaluations:
      lines::put("(i2,1x,i3,1x,a,1x,i7)",
                 {q.cycle, q.iter, "Maximum function evaluations exceeded:", q.nfev});
      break;
    case CycleEnd::kMaxTotalEvaluations:
      lines::put("(i2,1x,i3,1x,a,1x,i7)",
                 {q.cycle, q.iter, "Maximum total function evaluations exceeded: ", q.nfev_sum});
      break;
    case CycleEnd::kMaxPenalty:
      lines::put("(i2,1x,i3,1x,a,1x,i7)",
                 {q.cycle, q.iter, "Maximum Obj_penalty_count reached: ", q.npen});
      break;
    case CycleEnd::kNoChange:
      lines::put("(i2,1x,i3,1x,a,1x,es20.12)",
                 {q.cycle, q.iter, "No change in parameter values: ", q.step});
      break;
    default:
      lines::blank();
      break;
  }
}

void final_report(const Sqp& q) {
  const int32_t n = q.n;
  const VecView<const double> x(q.x.data(), n);
  const VecView<const double> lo(q.lo.data(), n);
  const VecView<const double> hi(q.hi.data(), n);

  // Constraints and their largest value at the returned vector, in the current box.
  FVector<double> c(2 * n);
  initialize_vmsqp::evaluate_constraints(x, n, c.view(), q.nc, lo, hi);
  double vmax = 0.0;
  double csum = 0.0;
  double lsum = 0.0;
  for (int32_t i = 1; i <= q.nc; ++i) {
    vmax = std::max(vmax, c(i));
    csum += c(i);
    lsum += q.lambda(i);
  }

  lines::list(
      {q.end == CycleEnd::kConverged ? "CONVERGENCE ACHIEVED" : "MAXIMUM ITERATIONS REACHED"});
  lines::put("(a,i10)", {"Total iterations: ", q.iterations});
  lines::put("(a,i10)", {"Function evaluations: ", q.evaluations});
  lines::put("(a,es15.8)", {"Final objective (SSR): ", q.fobj});
  value_line("RMS error: ", q.m > 0, std::sqrt(q.fobj / q.m), "es12.5", "a12");
  lines::put("(a,es12.5)", {"Max constraint violation: ", vmax});
  lines::list({"Final parameters:"});
  for (int32_t j = 1; j <= n; ++j) lines::list({j, q.x(j)});

  lines::list({"Constraint values (should be <= 0): "});
  for (int32_t i = 1; i <= q.nc; ++i) lines::list({i, c(i)});
  if (q.nc > 0) {
    lines::list({"Average(constraint)=", csum / q.nc});
  } else {
    lines::list({"Average(constraint)=", "N/A"});
  }
  lines::list({"Lagrange multipliers:"});
  for (int32_t i = 1; i <= q.nc; ++i) lines::list({i, q.lambda(i)});
  if (q.nc > 0) {
    lines::list({"Average(lambda)=", lsum / q.nc});
  } else {
    lines::list({"Average(lambda)=", "N/A"});
  }

  // Read-only copies of the caller's row arrays for the sections.
  FVector<double> resid(q.m);
  FVector<double> sigma(q.m);
  FVector<double> yfit(q.m);
  for (int32_t k = 1; k <= q.m; ++k) {
    resid(k) = q.resid(k);
    sigma(k) = q.sigma(k);
    yfit(k) = q.yfit(k);
  }
  const VecView<const double> rv(resid.data(), q.m);
  const VecView<const double> sv(sigma.data(), q.m);
  const VecView<const int32_t> mask(q.mask.data(), n);
  int32_t free_count = 0;
  for (int32_t j = 1; j <= n; ++j) free_count += q.mask(j) != 0 ? 1 : 0;
  if (free_count == n) {
    regression_statistics(x,
                          rv,
                          q.xdat,
                          MatView<const double>(q.jac.data(), q.m, n, std::max(q.m, 1)),
                          sv,
                          q.m,
                          n,
                          mask);
  }
  detailed_constraint_check(x, n, lo, hi);

  print_fit_comparison(q.xdat, q.y, VecView<const double>(yfit.data(), q.m), rv, q.m);
  lines::list({"VMSQP OPTIMIZATION COMPLETED"});
  for (int k = 0; k < 4; ++k) lines::blank();
}

}  // namespace detail
}  // namespace vmsqp_mod
