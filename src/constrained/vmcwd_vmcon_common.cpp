// vmcwd_vmcon_mod: the shared parts of vmcon and vmcwd (vmcwd_vmcon_parts.hpp).
#include <cmath>
#include <iostream>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "constrained/vmcwd_vmcon_parts.hpp"
#include "numerics/stringlib.hpp"

namespace vmcwd_vmcon_mod {

void reset() {
  m = 0;
  meq = 0;
  vmvdb = Vmvdb();
  console = nullptr;
}

namespace parts {

int32_t evaluate(
    int32_t n, VecView<double> x, double& f, GradArray& fgrad, ConsArray& c, ConsGrad& cnorm) {
  return funct::calcfg(
      n, VecView<const double>(x.data(), n, x.stride()), f, fgrad.view(), c.view(), cnorm.view());
}

int32_t check_capacity(int32_t n) {
  // B has n + 1 rows of kDim, and calcfg fills only the model's parameter slots; a numbered
  // model is refused by calcfg, so nothing could be evaluated.
  if (n < 1 || n + 1 > kDim || n > common_data::max_params) return kTooManyVariables;
  if (globals::nmdl > 0) return kTooManyVariables;
  int32_t fixed = 0;
  for (int32_t i = 1; i <= n; ++i) fixed += common_data::pmask(i) == 0 ? 1 : 0;
  // The multipliers hold kDim constraints: 2n bounds and one equality per fixed parameter.
  if (2 * n + fixed > kDim) return kTooManyConstraints;
  return 0;
}

int32_t check_counts(int32_t status) {
  if (status != 0) return kTooManyVariables;
  // The counts index the multipliers, the weights and B's working vectors: a count the
  // evaluation set beyond them would run past their storage.
  const int32_t mm = common_data::icnstr, me = common_data::ieqcns;
  if (mm < 0 || mm > kDim || me < 0 || me > mm) return kTooManyConstraints;
  return 0;
}

bool bounds_consistent(int32_t n) {
  for (int32_t i = 1; i <= n; ++i) {
    if (!(common_data::pboundlo(i) <= common_data::pboundhi(i))) return false;
  }
  return true;
}

void lagrangian_gradient(int32_t n,
                         const GradArray& fgrad,
                         const ConsGrad& cnorm,
                         FArray<double, kDim>& gl) {
  for (int32_t k = 1; k <= n; ++k) gl(k) = fgrad(k);
  for (int32_t i = 1; i <= m; ++i) {
    const double l = vmvdb.lambda(i);
    if (l == 0.0) continue;
    for (int32_t k = 1; k <= n; ++k) gl(k) -= l * cnorm(k, i);
  }
}

double violation(int32_t i, double ci) {
  if (i <= meq) return std::fabs(ci);
  return ci < 0.0 ? -ci : 0.0;
}

double penalty(const FArray<double, kDim>& mu, const ConsArray& c) {
  double p = 0.0;
  for (int32_t i = 1; i <= m; ++i) p += mu(i) * violation(i, c(i));
  return p;
}

double grad_dot_d(int32_t n, const GradArray& fgrad) { return grad_dot(n, fgrad, vmvdb.d); }

double grad_dot(int32_t n, const GradArray& fgrad, const FArray<double, kDim>& v) {
  double s = 0.0;
  for (int32_t k = 1; k <= n; ++k) s += fgrad(k) * v(k);
  return s;
}

double b_times_d(int32_t n, FArray<double, kDim>& bd) {
  double dbd = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    double s = 0.0;
    for (int32_t j = 1; j <= n; ++j) s += vmvdb.b(i, j) * vmvdb.d(j);
    bd(i) = s;
    dbd += vmvdb.d(i) * s;
  }
  return dbd;
}

void bfgs_update(int32_t n,
                 const FArray<double, kDim>& gamma,
                 const FArray<double, kDim>& bd,
                 double dbd,
                 double damp) {
  double dg = 0.0;
  for (int32_t k = 1; k <= n; ++k) dg += vmvdb.d(k) * gamma(k);
  FArray<double, kDim> eta;
  if (dg < damp * dbd) {
    // Powell's damping keeps B positive definite: d.eta = damp dBd > 0.
    const double theta = (1.0 - damp) * dbd / (dbd - dg);
    for (int32_t k = 1; k <= n; ++k) eta(k) = theta * gamma(k) + (1.0 - theta) * bd(k);
    dg = damp * dbd;
  } else {
    for (int32_t k = 1; k <= n; ++k) eta(k) = gamma(k);
  }
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= j; ++i) {
      vmvdb.b(i, j) += -bd(i) * bd(j) / dbd + eta(i) * eta(j) / dg;
      vmvdb.b(j, i) = vmvdb.b(i, j);
    }
  }
}

void qp_and_probe(int32_t n,
                  VecView<double> x,
                  double& f,
                  GradArray& fgrad,
                  ConsArray& c,
                  ConsGrad& cnorm,
                  int32_t iprint,
                  int32_t& info,
                  int32_t qpmode,
                  FArray<double, kDim>& dqp) {
  FArray<double, kDim> before;
  for (int32_t k = 1; k <= n; ++k) before(k) = x(k);
  qpsub(n, m, meq, fgrad, c, cnorm, iprint, info, qpmode);
  for (int32_t k = 1; k <= n; ++k) dqp(k) = vmvdb.d(k);
  axialsearch(n, f, x, fgrad, c, cnorm);
  // A direction computed before the probe moved x (or clipped it into its bounds) may point
  // uphill from the new point; aimed at the same target it stays a descent direction.
  for (int32_t k = 1; k <= n; ++k) vmvdb.d(k) += before(k) - x(k);
}

double convergence_value(int32_t n,
                         const GradArray& fgrad,
                         const ConsArray& c,
                         const FArray<double, kDim>& dqp) {
  double t = std::fabs(grad_dot(n, fgrad, dqp));
  for (int32_t i = 1; i <= m; ++i) t += std::fabs(vmvdb.lambda(i) * c(i));
  return t != t ? kNanValue : t;
}

void identity_b(int32_t n) {
  vmvdb.b.fill(0.0);
  for (int32_t i = 1; i <= n; ++i) vmvdb.b(i, i) = 1.0;
}

namespace {
std::ostream& out() { return console != nullptr ? *console : std::cout; }
}  // namespace

void put(std::string_view fmt, std::span<const editfmt::Value> values) {
  out() << editfmt::format(fmt, values) << '\n';
}

void put(std::string_view fmt, std::initializer_list<editfmt::Value> values) {
  put(fmt, std::span<const editfmt::Value>(values.begin(), values.size()));
}

void blank() { out() << '\n'; }

void write_header(
    int32_t nruns, int32_t n, int32_t limit, int32_t maxls, int32_t iprint, double acc) {
  // Two blank lines, then each label padded to 44 columns after an indent of 11.
  blank();
  blank();
  const auto label = [](const char* text) { return stringlib::fixed(text, 44); };
  constexpr std::string_view kLine = "(11X,A,'= ',I3)";
  put(kLine, {label("OPTIMIZATION ALGORITHM RUNS"), nruns});
  put(kLine, {label("NUMBER OF INDEPENDENT VARIABLES"), n});
  put(kLine, {label("TOTAL NUMBER OF CONSTRAINTS"), m});
  put(kLine, {label("NUMBER OF EQUALITY CONSTRAINTS"), meq});
  put(kLine, {label("MAXIMUM QUADRATIC PROGRAMMING ITERATIONS"), limit});
  put(kLine, {label("MAXIMUM LINE SEARCH ITERATIONS"), maxls});
  put(kLine, {label("PRINTOUT CONTROL"), iprint});
  put("(11X,A,'= ',E10.4)", {label("ACCURACY OF THE FINAL SOLUTION"), acc});
}

void write_convergence(double t) {
  blank();
  put("(23X,'CONVERGENCE TEST VALUE = ',E10.4)", {t});
  blank();
}

}  // namespace parts
}  // namespace vmcwd_vmcon_mod
