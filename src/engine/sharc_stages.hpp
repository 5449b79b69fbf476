// The stage procedures of the optimiser cascade `sharc_mod::sharc`, gathered in one table.
//
// The cascade calls every fitting method through a `Stages` table that it binds at the start of
// each pass: the engine's own procedures (objective, searches) are bound to the pass's run state,
// the optimisers are called with the arguments the cascade hands them. Arguments follow each
// method's own argument order; arrays are 1-based views, scalars references.
//
// Test seam: `stage_seam`, when set, receives the bound table and returns the one the pass uses,
// so a test can wrap each procedure with a recorder or replace it by a scripted result.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "numerics/farray.hpp"

namespace sharc_mod {

class RunState;

// The 24 arguments of the final stage's SVD Levenberg-Marquardt call, in their order.
struct MarqCall {
  int32_t& n;             // (1) rows
  int32_t& nx;            // (2) x variables
  int32_t& ny;            // (3) saved value, 1 at the call
  int32_t& np;            // (4) parameters
  MatView<double> xw;     // (5) work copy of the x data, n by nx
  VecView<double> yw;     // (6) work copy of observed y
  VecView<double> yfit;   // (7) fitted values (the cascade's argument 3)
  int32_t& zero1;         // (8) 0
  MatView<double> w1;     // (9) work matrix np by np
  MatView<double> w2;     // (10) work matrix np by np
  int32_t& wcode;         // (11) weighting mode 1..4, else 0
  VecView<double> sig;    // (12) per-row sigma
  VecView<double> x;      // (13) the best vector
  VecView<double> lo;     // (14) working lower bounds
  VecView<double> hi;     // (15) working upper bounds
  VecView<double> res15;  // (16)-(18) the cascade's result arguments 15, 16, 17
  VecView<double> res16;
  VecView<double> res17;
  double& fscale;    // (19) 1.1 times the sum of the evaluation before
  int32_t& control;  // (20) 10
  double& fsum;      // (21) in/out sum
  int32_t& zero2;    // (22) 0
  int32_t& iopt;     // (23) globals::iopt
  int32_t& status;   // (24) the status word
};

// The 16 arguments of the constrained SQP call, in their order.
struct VmsqpCall {
  int32_t& maxit;         // (1) 100
  int32_t& np;            // (2)
  int32_t& n;             // (3) rows
  int32_t& nx;            // (4) x variables
  int32_t& ncon;          // (5) 2 np
  int32_t& mode;          // (6) working weighting mode (0 during the call)
  VecView<double> sig;    // (7) per-row sigma
  VecView<double> work1;  // (8) work array, one per row
  VecView<double> y;      // (9) observed y
  VecView<double> yfit;   // (10) fitted values
  VecView<double> work2;  // (11) work array, one per row
  VecView<double> x;      // (12)
  VecView<double> lo;     // (13)
  VecView<double> hi;     // (14)
  VecView<int32_t> mask;  // (15)
  double& fobj;           // (16) in/out sum
};

struct Stages {
  // The engine's objective: evaluates p (which may come back pulled into its bounds), fval out.
  std::function<void(VecView<double> p, double& fval)> func;
  // Permutes the random table r(1..n) in place.
  std::function<void(VecView<double> r, int32_t n)> shuffle;
  // Hit-and-run search from x; best point into xbest; fmin in/out.
  std::function<void(int32_t n,
                     VecView<double> x,
                     VecView<double> xbest,
                     VecView<double> r,
                     int32_t& nacc,
                     double& fmin,
                     double step,
                     int32_t maxit)>
      hitnrun;
  std::function<void(
      int32_t n, VecView<double> x, int32_t& nacc, double& fmin, double step, int32_t maxit)>
      hitnrun2;
  // Hooke-Jeeves from startpt; end point into endpt; fmin in/out (the working bounds are bound).
  std::function<void(int32_t n,
                     VecView<double> startpt,
                     VecView<double> endpt,
                     double& fmin,
                     double rho,
                     double eps,
                     int32_t itermax)>
      hooke;
  std::function<void(VecView<double> x, int32_t n, double& fmin, double scale, int32_t maxit)>
      simplex;
  std::function<void(VecView<double> p, double& fmin)> gnllsqr;
  // The optimisers, with the argument lists the cascade fills.
  std::function<void(int32_t np,
                     VecView<double> x,
                     int32_t m,
                     double step,
                     double& sse,
                     int32_t maxit,
                     int32_t iprint)>
      a23mrt;
  // Adam on the engine's objective f1dim (bound), with the mask and working bounds.
  std::function<void(int32_t np,
                     int32_t m,
                     VecView<double> x,
                     VecView<const int32_t> mask,
                     VecView<const double> lo,
                     VecView<const double> hi,
                     int32_t flag,
                     double& sse)>
      adam;
  std::function<void(
      int32_t m, int32_t np, VecView<double> x, double& sse, int32_t& count, int32_t generations)>
      evol;
  std::function<void(int32_t m, int32_t np, VecView<double> x, double& sse, int32_t& info)> gn_main;
  std::function<void(int32_t m,
                     int32_t np,
                     VecView<double> x,
                     double& sse,
                     VecView<double> h,
                     int32_t& c1,
                     int32_t& c2,
                     int32_t& c3)>
      va10d;
  // Variable-metric minimiser on vmfun.
  std::function<void(int32_t np, VecView<double> x, double& sse, int32_t& status)> varmetric;
  std::function<void(const VmsqpCall&)> vmsqp;
  std::function<void(const MarqCall&)> marq;
};

// Test seam (see the header comment); empty in the program.
inline std::function<Stages(Stages)> stage_seam;

// The table of one pass: the engine's procedures bound to the pass's run state, the optimisers.
Stages bind_stages(RunState& run);

}  // namespace sharc_mod
