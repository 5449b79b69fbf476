// Settings and per-call state of the Gauss-Newton trust-region method (gn_module).
//
// The settings are fixed at their initial values: nothing in the program changes them. The
// state is set afresh by every call of gn_module::gn_main and read by nothing outside the
// method; it stays readable after a call, so tests can see how a fit went. Arrays are 1-based
// and are reallocated only when a call needs another size.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace gn_mod {

// Settings.
inline double zlow = 0.65;        // lower clamp of the radius factor
inline double zhigh = 2.0;        // upper clamp of the radius factor
inline double zcpmin = 0.5;       // lower clamp of the Cauchy radius
inline double zcpmax = 250.0;     // upper clamp of the Cauchy radius, per free parameter
inline double zcp = 0.6;          // factor of the Cauchy radius
inline double zconsec = 1.005;    // radius growth per consecutive successful step
inline double stptol = 1e-6;      // step tolerance; least step norm and scale, 1/stptol the largest
inline double reltol = 1e-8;      // relative change tolerance of the sum of squares
inline double abstol = 1e-12;     // absolute tolerance of the sum of squares
inline int32_t mxbad = 1;         // rejected steps on a rank-1 updated Jacobian before a full one
inline int32_t limit = 200;       // iteration limit and evaluation budget
inline int32_t iscale = 1;        // 1 variable scaling; 2 fixed scaling from d0
inline double derivstp = 1e-6;    // relative step of the difference Jacobian
inline bool newtstep1st = false;  // true: first step a Newton step, not the Cauchy radius

// State of the last call.
inline int32_t iter = 0;        // iteration counter
inline int32_t nfcn = 0;        // counted evaluations (the budget `limit` applies to it)
inline int32_t nconsecmax = 0;  // longest run of successful steps
inline int32_t ihookmax = 0;    // most hook passes one step needed
inline double hnorm = 0.0;      // diagonal shift of the Cholesky factorisation
inline double mu0 = 0.0;        // hook parameter at the best point
inline double del0 = 0.0;       // trust radius at the best point
inline FVector<double> d0;      // scale at the best point; the input scale when iscale = 2
inline FVector<double> r0;      // residuals at the best point
inline FMatrixD<double> jac0;   // Jacobian (m x nf) of the best point
inline FMatrixD<double> h0;     // Gauss-Newton matrix (nf x nf) of the best point

// Settings back to their initial values and the state cleared (tests).
void reset();

}  // namespace gn_mod
