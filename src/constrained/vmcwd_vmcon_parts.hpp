// vmcwd_vmcon_mod: what vmcon, vmcwd and axialsearch share (evaluation, capacity check,
// Lagrangian gradient, merit terms, the damped BFGS update, the lines they write). Internal to
// the module's files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "constrained/vmcwd_vmcon_mod.hpp"
#include "numerics/editfmt.hpp"

namespace vmcwd_vmcon_mod::parts {

inline constexpr double kNanValue = double(1.0e25f);  // convergence value that is not a number

// f, fgrad, c and cnorm at x(1..n) through funct::calcfg; returns calcfg's status (0, or 1
// for a model it refuses).
int32_t evaluate(
    int32_t n, VecView<double> x, double& f, GradArray& fgrad, ConsArray& c, ConsGrad& cnorm);

// 0 when n variables and their calcfg constraints fit the shared blocks, else code 12 or 13.
int32_t check_capacity(int32_t n);

// 0 when the first evaluation (calcfg's `status`) was made and the constraint counts it set,
// common_data::icnstr and ieqcns, fit the shared blocks (0 <= meq <= m <= 25); else code 12
// or 13.
int32_t check_counts(int32_t status);

// True when pboundlo(i) <= pboundhi(i) for i = 1..n (a bound that is not a number fails).
bool bounds_consistent(int32_t n);

// gl := gradL = fgrad - sum_i lambda_i (column i of cnorm), i = 1..m, lambda_i <> 0.
void lagrangian_gradient(int32_t n,
                         const GradArray& fgrad,
                         const ConsGrad& cnorm,
                         FArray<double, kDim>& gl);

// viol_i(c) for the constraint counts of a2.
double violation(int32_t i, double ci);
// sum_i mu_i viol_i(c).
double penalty(const FArray<double, kDim>& mu, const ConsArray& c);

// g.d over 1..n, d the direction of vmvdb.
double grad_dot_d(int32_t n, const GradArray& fgrad);
// g.v over 1..n.
double grad_dot(int32_t n, const GradArray& fgrad, const FArray<double, kDim>& v);

// bd := B d and returns d'B d (B and d of vmvdb).
double b_times_d(int32_t n, FArray<double, kDim>& bd);

// The damped BFGS update of vmvdb.b with damping `damp` (0.2 for vmcon, 0.1 for vmcwd):
// when d.gamma < damp dBd, eta := theta gamma + (1 - theta) B d with
// theta = (1 - damp) dBd / (dBd - d.gamma) and d.gamma := damp dBd; else eta := gamma.
// B := B - (Bd)(Bd)'/dBd + eta eta'/d.gamma on the upper triangle, mirrored.
void bfgs_update(int32_t n,
                 const FArray<double, kDim>& gamma,
                 const FArray<double, kDim>& bd,
                 double dbd,
                 double damp);

// The QP step followed by the axial probe: calls both and re-aims d at the point the QP chose,
// d := (x before the probe + d) - x, so that the line search starts at the point the probe
// returned, whose f, fgrad and c it uses, and its first trial is still the QP's point.
// dqp receives the QP's own d (1..n), which the convergence tests use: the re-aimed d shrinks
// by whatever the probe moved, which is no measure of how far the QP's solution lies.
void qp_and_probe(int32_t n,
                  VecView<double> x,
                  double& f,
                  GradArray& fgrad,
                  ConsArray& c,
                  ConsGrad& cnorm,
                  int32_t iprint,
                  int32_t& info,
                  int32_t qpmode,
                  FArray<double, kDim>& dqp);

// The convergence value of both methods: |g.dqp| + sum_i |lambda_i c_i| (g and c at x, dqp
// the QP's own d), kNanValue when that is not a number.
double convergence_value(int32_t n,
                         const GradArray& fgrad,
                         const ConsArray& c,
                         const FArray<double, kDim>& dqp);

// Sets B to the identity of order n (zero elsewhere).
void identity_b(int32_t n);

// Output lines, to console (standard output when null).
void put(std::string_view fmt, std::initializer_list<editfmt::Value> values);
void put(std::string_view fmt, std::span<const editfmt::Value> values);
void blank();

// The header of both methods (when iprint >= 0).
void write_header(
    int32_t nruns, int32_t n, int32_t limit, int32_t maxls, int32_t iprint, double acc);
// "CONVERGENCE TEST VALUE = " t between blank lines.
void write_convergence(double t);

}  // namespace vmcwd_vmcon_mod::parts
