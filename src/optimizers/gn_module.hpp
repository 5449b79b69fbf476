// Gauss-Newton trust-region least squares over the free parameters of the shared data set.
//
// gn_main minimises the sum of squared residuals of the model with a scaled Gauss-Newton
// iteration (gnm): the model is linearised by a difference Jacobian, corrected by rank-1
// (Broyden) updates between full ones; each step is the Newton step when it fits the trust
// region, else a hook (Levenberg-Marquardt type) step of length about the radius; the first
// radius comes from the Cauchy step. See [1] sections 6.4 (hook step), 6.4.1 (trust radius
// update) and 8.3 (Broyden's update); [2] for the hook parameter iteration.
//
//   [1] J. E. Dennis and R. B. Schnabel, Numerical Methods for Unconstrained Optimization and
//       Nonlinear Equations, Prentice-Hall 1983.
//   [2] J. J. More, "The Levenberg-Marquardt algorithm: implementation and theory", Lecture
//       Notes in Mathematics 630 (1978) 105-116.
//
// The data, the mask (common_data::pmask: nonzero free, 0 fixed) and the bounds
// (common_data::pboundlo/pboundhi) come from common_data; every evaluation goes through
// funct::fun and leaves its fitted values there. Settings and per-call state are in gn_mod.
// Vectors are 1-based; matrices are column-major nf x nf (or m x nf) over the free parameters
// in index order. Not reentrant: module storage sized for the largest data set serves every
// evaluation, so an iteration allocates nothing.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace gn_module {

// Result codes of gnm (the info of gn_main).
inline constexpr int32_t kConvStep = 1;    // step norm <= stptol (also: blow-up, iteration goes on)
inline constexpr int32_t kConvChange = 2;  // sum changed by <= reltol (relative) or abstol
inline constexpr int32_t kConvSmall = 8;   // sum < abstol
inline constexpr int32_t kInputError = 128;  // m, n, limit < 1, sizes too large, no free
                                             // parameter, or an unusable d0 with iscale = 2
inline constexpr int32_t kZeroShift = 129;   // the Gauss-Newton matrix gave a zero shift norm
inline constexpr int32_t kBudget = 130;      // nfcn reached limit
inline constexpr int32_t kHookFailed = 133;  // the hook step did not converge in 15 passes
inline constexpr int32_t kBlowUp = 200;      // sum above 1e7, 100 times the best, or NaN

// The method as the engine calls it.
//   m     in      residuals (data rows), 1..common_data::max_rows
//   n     in      parameter slots, 1..common_data::max_params
//   x     in/out  parameters x(1..n)
//   ssq   in/out  the caller's best weighted sum; on exit the kept one
//   info  out     the code of gnm (above; 0 the iteration limit, 1..11 converged)
// The result of gnm is kept only when its weighted sum F is below the entry ssq: then x := the
// result and ssq := max(F, 1e-14). Otherwise (also on blow-up or a NaN sum) x is the start
// vector again and ssq is unchanged. An input error (128) is found before any evaluation and
// changes nothing but info.
void gn_main(int32_t m, int32_t n, VecView<double> x, double& ssq, int32_t& info);

// Internal procedures of gn_main, exposed for tests.

// The iteration from x over the free parameters; x (in/out) receives the best point, f0 (in)
// the plain sum of squares at x, (out) the weighted sum at the returned x.
void gnm(int32_t m, int32_t n, int32_t& info, VecView<double> x, double& f0);

// Residuals r(i) = y(i) - yfit(i), i = 1..m, at x(1..n), and f = the weighted sum of squares
// of the current weighting mode (common_data::ndwt) as funct::fun returns it. Writes
// common_data's fitted values, column nxd of xnx, yd and pfinal; ysig keeps the values it had
// on entry. m < 1 only writes pfinal, with f = 0.
void gnfun(int32_t m, int32_t n, VecView<const double> x, VecView<double> r, double& f);

// Factorises H + mu*I = L*L' (lower triangle of h, nf x nf), raising mu by gn_mod::hnorm per
// failed attempt, and returns s = -(H + mu*I)^-1 * g. mu (in/out) is the shift used. When nf
// attempts fail, the shift keeps growing (doubling increments, 64 more attempts); should that
// fail too (a matrix holding NaN), L is the factor of mu*I and s the steepest-descent step
// -g/mu. s is always finite.
void gn_chol(int32_t nf,
             double& mu,
             MatView<const double> h,
             VecView<const double> g,
             MatView<double> l,
             VecView<double> s);

// del := the Cauchy radius 0.6*|g|^3/(g'Hg) of the model H = L*L', limited to
// [zcpmin, zcpmax*nf]; unchanged when gnorm = 0.
void gn_cauchy(
    int32_t nf, MatView<const double> l, VecView<const double> g, double gnorm, double& del);

// Probes each free parameter xf(j) at +-2h, h = 0.000122*|t(j) + xf(j)|, and keeps every probe
// that lowers the plain sum of squares below the best so far (fbest on entry); at most 10
// sweeps, ending after the sweep in which more than 5 probes in all were kept, or one that
// kept none. xf (in/out); xfull: the full vector the free values are expanded over; f (out):
// the lowest sum found (fbest when nothing was better).
void nearbysearch(int32_t m,
                  int32_t nf,
                  int32_t n,
                  VecView<double> xf,
                  VecView<const double> xfull,
                  VecView<const double> t,
                  double fbest,
                  double& f);

// xout := xfull, then xf(1), xf(2), ... into the slots i = 1..n with pmask(i) != 0, in order
// (at most nf of them).
void xmaskedarray(int32_t n,
                  int32_t nf,
                  VecView<const double> xf,
                  VecView<const double> xfull,
                  VecView<double> xout);

}  // namespace gn_module
