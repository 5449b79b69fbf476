// The working state of one vmsqp call, shared by the method's steps (vmsqp_mod.cpp) and its
// reports (vmsqp_report.cpp). Internal to vmsqp_mod.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace vmsqp_mod::detail {

// How a cycle ended.
enum class CycleEnd {
  kRunning,
  kConverged,            // |g| < 1e-8, max(0, max c) < 1e-8 and no step (second iteration on)
  kNoChange,             // cycle 3: |xnew - x| < 2e-12
  kMaxEvaluations,       // the cycle's evaluation count passed its limit
  kMaxTotalEvaluations,  // the running sum of the counts passed 1,000,000
  kMaxPenalty,           // maxit iterations with a positive penalty
  kMaxIterations,        // past maxit iterations
};

struct Sqp {
  // Arguments.
  int32_t maxit = 0;
  int32_t n = 0;
  int32_t m = 0;
  int32_t nvar = 0;
  int32_t nc = 0;  // constraints taken into account: ncon limited to 0..2n
  int32_t mode = 0;
  VecView<double> sigma;
  VecView<const double> xdat;
  VecView<const double> y;
  VecView<double> yfit;
  VecView<double> resid;

  // Vectors of n.
  FVector<double> x;   // the iterate
  FVector<double> x0;  // x at entry
  FVector<double> lo;  // current box (re-centred on the newest point)
  FVector<double> hi;
  FVector<int32_t> mask;
  FVector<double> xnew;  // point after the line search
  FVector<double> xt;    // line-search trial point
  FVector<double> g;     // gradient at x
  FVector<double> gnew;  // gradient at xnew
  FVector<double> d;     // search direction
  FVector<double> s;     // step pair: step ...
  FVector<double> yv;    // ... and gradient change
  FVector<double> xadj;  // smoothed start of a cycle

  // Vectors of 2n (whatever ncon says) and matrices.
  FVector<double> c;           // constraints at x
  FVector<double> cnew;        // constraints at xnew
  FVector<double> ct;          // constraints at the trial point
  FVector<int32_t> act;        // 1: c_i > -1e-8 at the iteration's start
  FVector<double> lambda;      // multipliers, kept across cycles
  FVector<double> lambda_old;  // multipliers before the last update
  FMatrixD<double> a;          // constraint Jacobian, 2n x n
  FMatrixD<double> jac;        // residual Jacobian, m x n
  FMatrixD<double> b;          // quasi-Newton matrix, n x n

  // Counters and values.
  int32_t cycle = 0;
  int32_t iter = 0;         // iteration number within the cycle
  int32_t nfev = 0;         // the cycle's running evaluation count
  int32_t nfev_sum = 0;     // running sum of nfev over the cycle's iterations
  int32_t npen = 0;         // iterations of the cycle with a positive penalty
  int64_t iterations = 0;   // iterations of all cycles (final report)
  int64_t evaluations = 0;  // evaluations of all cycles and the final ones (final report)
  double penalty = 0.0;     // Obj_penalty of the cycle
  double merit = 0.0;       // merit value of the last iteration with a violated constraint
  double fobj = 0.0;
  double fbest = 0.0;  // best accepted objective
  double f0 = 0.0;     // fobj at entry
  double step = 0.0;   // |xnew - x| after the acceptance test
  CycleEnd end = CycleEnd::kRunning;
};

// Largest constraint value, at least 0 (the most negative double without constraints).
double max_violation(const Sqp& q);

// Step 10: d := the search direction from B, g, the active set and A (vmsqp_direction.cpp).
void search_direction(Sqp& q);

// Reports behind bprint (vmsqp_report.cpp); the caller tests bprint.
void trace_cycle_start(const Sqp& q);
void trace_penalty(const Sqp& q);
void trace_row(const Sqp& q);
void trace_cycle_end(const Sqp& q);
void final_report(const Sqp& q);

}  // namespace vmsqp_mod::detail
