// The objective chain of the fit engine (module sharc_mod, objective and bounds).
//
// The cascade and its own searches never call the model evaluator directly. They go through
//   func    pulls the trial parameters into their bounds (first pass of a fresh run only),
//           evaluates them with funcs and guards the results against NaN;
//   funcs   one evaluation by funct::fun, published to common_data;
//   f1dim   func on a copy of the trial vector, (x, n, fval): the searches' objective;
//   f1dim2  f1dim that also returns the fitted value of one row.
// NaN and overflow never leave the chain: observations, fitted values and the objective are
// replaced by the clamp limit L = 4.503599727262001e19, and the objective is kept in [-L, L].
//
// The internal procedures of the cascade reach the cascade's run state as a closure; here that
// closure is the RunState object the cascade builds once per call. It holds views of the
// cascade's data arguments, the working weighting mode and bounds, the first-pass flag, a
// reference to the post-run flag and the work arrays of the chain, sized once, so that an
// evaluation allocates nothing. Arrays are 1-based views.
#pragma once

#include <cstdint>
#include <functional>

#include "common/common_data.hpp"
#include "numerics/farray.hpp"

namespace sharc_mod {

// The clamp limit L (exactly 45035997272620007424): the largest magnitude of an objective value
// and the substitute the NaN guards put in place of a NaN or of a value that has lost all
// precision.
inline constexpr double kClampLimit = 4.503599727262001e19;

// The searches' objective in the argument order (x, n, fval); x is not changed.
using ObjectiveFn = std::function<void(VecView<double> x, int32_t n, double& fval)>;

// True when parameter i is free to move (common_data::pmask(i) not 0).
inline bool is_free(int32_t i) { return common_data::pmask(i) != 0; }

// One evaluation of p through the model evaluator.
//   x     in   data, n rows by nx columns (column-major, any leading dimension)
//   y     in   observed values; yf out: fitted values (set to 0 first); sig in: per-row sigma
//   mode  in   weighting mode, handed to funct::fun unchanged
//   p     in   parameters 1..np (not changed)
//   fval  out  weighted sum of squares, clamped to [-L, L]; never NaN
// With globals::nmdl < 4000 (every fit) it publishes the evaluation: common_data::fssqr (before
// the clamp), xnx (columns 1..nx), xd, yd, ydf, ysig, yres = y - yf (rows 1..n) and pfinal
// (1..np). With nmdl >= 4000 the evaluator is not called and nothing is published: yf(1) is the
// least observation that is not NaN and fval the plain sum of squared residuals.
// A data set larger than the shared arrays (n > max_rows, nx > max_x, np > max_params) is
// refused with fval = L and nothing published.
void funcs(MatView<const double> x,
           VecView<const double> y,
           VecView<double> yf,
           VecView<const double> sig,
           int32_t nx,
           int32_t n,
           int32_t mode,
           VecView<const double> p,
           int32_t np,
           double& fval);

// The bounds rule (bounds_rule::pbounds3): moves free parameters of x(1..n) that lie outside
// their margins of [lo, hi] to fixed points inside; doubles fval once when it moved any.
void pbounds3(
    VecView<double> x, int32_t n, VecView<const double> lo, VecView<const double> hi, double& fval);

// The run state of one call of the cascade that the objective chain and the searches read.
// It keeps views of the caller's arrays: they must outlive it. Not copyable (ObjectiveFn
// closures refer to it).
class RunState {
 public:
  // x: n rows by nx columns; y, yf, sig: n rows (y is read here, once: a run with other
  // observations builds a new state); np parameters with working bounds lower,
  // upper (copied); mode: the working weighting mode; first_pass: the cascade's first-pass flag;
  // bpostrun: the post-run flag as the cascade receives it (read at every evaluation);
  // hit_offset: the offset e of the hit-and-run index formula.
  RunState(MatView<const double> x,
           VecView<const double> y,
           VecView<double> yf,
           VecView<const double> sig,
           int32_t nx,
           int32_t n,
           int32_t mode,
           int32_t np,
           VecView<const double> lower,
           VecView<const double> upper,
           int32_t first_pass,
           const int32_t& bpostrun,
           double hit_offset);
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  // The engine objective: fval := the objective of p(1..np) under the bounds rule (applied
  // when the first-pass flag is set and bpostrun is 0, with a doubling value of 0, so it never
  // changes fval). The bounded vector is written back into p; yf holds the fitted values.
  // np outside 0..max_params is refused with fval = L and p unchanged.
  void func(VecView<double> p, int32_t np, double& fval);
  // fval := objective of x(1..n); x is not changed (func works on a copy).
  void f1dim(VecView<double> x, int32_t n, double& fval);
  // As f1dim, and yfi := fitted value of row i after the evaluation (L for a row i outside
  // 1..rows()).
  void f1dim2(int32_t i, VecView<const double> x, double& yfi, double& fval, int32_t n);
  // f1dim bound to this state, for methods that take the objective as a procedure.
  ObjectiveFn f1dim_fn();

  int32_t rows() const { return n_; }
  int32_t params() const { return np_; }
  double hit_offset() const { return hit_offset_; }
  // The observations as func evaluates them, the fitted values of the last evaluation and the
  // per-row sigma, rows 1..rows().
  VecView<const double> observed() const { return VecView<const double>(yguard_.data(), n_); }
  VecView<const double> fitted() const { return yf_; }
  VecView<const double> sigma() const { return sig_; }
  // The working bounds of parameters 1..np.
  VecView<const double> lo_view() const { return VecView<const double>(lo.data(), np_); }
  VecView<const double> hi_view() const { return VecView<const double>(hi.data(), np_); }

  // The working state the cascade may change between stages.
  int32_t mode;                                // working weighting mode
  FArray<double, common_data::max_params> lo;  // working lower bounds
  FArray<double, common_data::max_params> hi;  // working upper bounds
  int32_t first_pass;                          // not 0: func applies the bounds rule

 private:
  MatView<const double> x_;
  VecView<double> yf_;
  VecView<const double> sig_;
  int32_t nx_;
  int32_t n_;
  int32_t np_;
  const int32_t& bpostrun_;
  double hit_offset_;
  // The observations as func evaluates them (rows 1..n, NaN and lost-precision values as L),
  // prepared at construction: the data of a run do not change while its state lives.
  FVector<double> yguard_;
};

}  // namespace sharc_mod
