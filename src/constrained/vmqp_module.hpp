// The variable-metric quadratic-programming method vmqp: minimises f(x) of n variables subject
// to m constraints c_j(x), the first meq equalities (c_j = 0), the others inequalities
// (c_j >= 0).
//
// Each major iteration solves a quadratic programme in the step (quad, an active-set method on
// the module arrays below), estimates the Lagrange multipliers from it, and searches along the
// step with the exact-penalty merit function
//   phi(x) = f + sum_{j<=meq} vmu_j |c_j| + sum_{j>meq} vmu_j max(0, -c_j);
// the variable-metric matrix B of the Lagrangian is kept by a damped BFGS update (Powell's
// damping, factor 0.2) [1]. The programme has nvr = n + 1 variables: the step and an extra
// variable xi in [0, 1] that multiplies the violated and equality constraints' values and is
// rewarded with the weight 1e6, so the programme can always be met by shrinking xi.
//
// The programme's quadratic term is B itself (rows and columns 1..nvr of `b`, the xi row and
// column zero after a start with mode -1), so each step is a true variable-metric step.
//
// Protocol (reverse communication): a run starts with a negative mode in `info`; vmqp evaluates
// the problem itself through funct::calcfg at the start of every major iteration, but hands
// each trial point of a line search back with status 0: the caller evaluates f, g, c and cn at
// the returned x and calls again with info = 0. Any other status ends the run. The constraint
// counts m = common_data::icnstr and meq = common_data::ieqcns are read at the start of a run
// and kept for the run.
//
// Nothing in the program calls this method; it is driven through its protocol only.
//
// [1] M. J. D. Powell, "A fast algorithm for nonlinearly constrained optimization
//     calculations", Numerical Analysis Dundee 1977, LNM 630, 1978.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

#include "numerics/farray.hpp"

namespace vmqp_module {

inline constexpr int32_t kMaxN = 24;    // most variables
inline constexpr int32_t kMaxM = 49;    // most constraints
inline constexpr int32_t kVars = 25;    // capacity of the programme's variables (nvr <= 25)
inline constexpr int32_t kCons = 50;    // capacity of the constraint arrays
inline constexpr int32_t kBorder = 50;  // capacity of the bordered matrix (nvr + nc <= 50)
inline constexpr int32_t kTotal = 100;  // capacity of the programme's constraints (mtotal <= 99)

// Statuses of vmqp (`info` on return).
inline constexpr int32_t kTrialPoint = 0;       // evaluate at x and call again with 0
inline constexpr int32_t kConverged = 1;        // convergence test met (never by a failed
                                                // programme, a NaN sum or a NaN objective)
inline constexpr int32_t kBadN = 2;             // n < 1
inline constexpr int32_t kBadM = 3;             // m < meq
inline constexpr int32_t kBadMeq = 4;           // meq < 0
inline constexpr int32_t kMaxEvaluations = 5;   // maxfun <= nvma
inline constexpr int32_t kLongLineSearch = 6;   // more than 6 evaluations in one line search
inline constexpr int32_t kUphill = 7;           // step not a descent direction of phi
inline constexpr int32_t kInfeasible = 8;       // linearised constraints could not be met, or a
                                                // run started with a lower bound above its upper
inline constexpr int32_t kBoundInBasis = 9;     // a variable bound stayed in the working set
inline constexpr int32_t kZeroMultiplier = 10;  // quad: optimal set with a zero multiplier
inline constexpr int32_t kNTooLarge = 12;       // n > 24
inline constexpr int32_t kMTooLarge = 13;       // m > 49
inline constexpr int32_t kQpPasses = 14;        // quad: 99 passes without an optimal set
inline constexpr int32_t kMaxIterations = 16;   // iteration limit

// Where every report line goes; null = standard output.
inline std::ostream* console = nullptr;

// ---- State of the method, kept between calls and runs (all zero at program start) ----
inline int32_t iter = 0;               // major iteration count (mirrors the argument)
inline int32_t nvma = 0;               // evaluations counted ("NUMBER OF CALLS TO VMQP")
inline int32_t nvr = 0;                // n + 1
inline int32_t nvar2 = 0;              // 2 nvr: bound constraints of the programme
inline int32_t mtotal = 0;             // m + nvar2: all constraints of the programme
inline int32_t nc = 0;                 // size of the programme's working set
inline int32_t ibugfg = 0;             // 1 when a call ended with a nonzero status in a line search
inline int32_t m_run = 0;              // m of the current run
inline int32_t meq_run = 0;            // meq of the current run
inline int32_t nls = 0;                // evaluation count at the start of the current line search
inline FArray<int32_t, kVars> ibasis;  // working set: 1..nvar2 bounds, nvar2 + j constraint j
inline FMatrix<double, kVars, kVars> b;   // B (1..n); row and column nvr belong to xi
inline FArray<double, kVars> delta;       // the programme's step (1..n) and xi (nvr)
inline FArray<double, kVars> gm;          // linear term: -g in 1..n, 1e6 at nvr
inline FArray<double, kCons> d;           // right-hand side of each linearised constraint
inline FMatrix<double, kVars, kCons> cn;  // constraint gradients; row nvr: coefficient of xi
inline FArray<double, kVars> bdl;         // bounds of the programme's variables
inline FArray<double, kVars> bdu;
inline FArray<double, kCons> vlam;  // Lagrange multipliers
inline FArray<double, kCons> vmu;   // penalty weights of phi
inline FArray<double, kVars> glf;   // gradient of the Lagrangian at the current point
inline FArray<double, kVars> glfa;  // ... and at the previous point
inline FArray<double, kVars> xa;    // point at the start of the line search
inline FArray<double, kVars> oxa;   // last accepted point: replaces non-number components
inline double flsa = 0.0;           // phi at the start of the line search
inline double dflsav = 0.0;         // directional derivative of phi along the current step
inline double gdelta = 0.0;         // g . delta, clamped

// ---- State of the quadratic-programme solver ----
inline FArray<int32_t, kTotal> iactiv;  // 1 outside the set, 0 in it, -1 held equality, 2 violated
inline FMatrix<double, kVars, kVars> cstar;   // generalised inverse: cstar N = I (rows: set)
inline FMatrix<double, kVars, kVars> cinvrs;  // inverse of the vertex normals (rows: set)
inline FMatrix<double, kVars, kVars> h;       // inverse of A projected on the free subspace
inline FArray<double, kVars> ghat;            // gradient of q at delta: A delta - gm
inline int32_t lamrow = 0;                    // set row of the largest multiplier
inline double amdamx = 0.0;                   // that multiplier ("LAMBDA MAX")
inline FArray<double, kVars> ct;              // cstar row of the released constraint
inline FArray<double, kVars> ac;              // A ct
inline double cac = 0.0;                      // ct' A ct
inline FArray<double, kVars> cstep;           // step direction
inline double cnear = 0.0;                    // smallest step ratio to a blocking constraint
inline int32_t icnear = 0;                    // that constraint
inline int32_t passiv = 0;                    // 1 during a ratio test, 0 after a step
inline FArray<double, kVars> hdotc;           // exchange products after a blocked step
inline FArray<double, kVars> cstarc;
inline FArray<double, kVars> ckac;
inline double chc = 0.0;
inline double cc = 0.0;
inline double ccgcac = 0.0;
inline double yy = 0.0;
inline FArray<double, kBorder> s9;  // scale factors of dcond

// List formats of colum3 (labels 1..9); the second character, "Z" as stored, is the repeat
// digit colum3 overwrites before each line.
inline std::array<std::string, 9> colum3_formats = {
    "(Z(1X, 'B(',     I2, ',', I2, ')=', ES14.7))",
    "(Z(1X, 'DELTA(', I2, ')=', ES13.6))",
    "(Z(1X, 'GHAT(',  I2, ')=', ES14.7))",
    "(Z(1X, 'GLF(',   I2, ')=', ES14.7))",
    "(Z(1X, 'VLAM(',  I2, ')=', ES14.7))",
    "(Z(1X, 'X(',     I2, ')=',  ES16.7))",
    "(Z(1X, 'C(',     I2, ')=', ES16.7))",
    "(Z(1X, 'G(',     I2, ')=', ES16.7))",
    "(Z(1X, 'CN(',    I2, ',', I2, ')=', ES14.7))",
};

// One call of the protocol.
//   n       in      variables, 1..24
//   x       in/out  at least 25 entries: taken in 1..25 on entry, written back on every return
//   f       in/out  objective at x; written back on every return (the value the method last
//                   holds: trust it only for the x of an answered status 0)
//   g       in      at least 25 entries: gradient of f at x
//   c       in      at least m entries: constraint values at x, equalities first
//   cn      in      25 x 50: column j the gradient of c_j
//   maxfun  in      limit on the evaluation count nvma and on the iteration count
//   acc     in      accuracy of the convergence test
//   info    in/out  mode on entry (-1 start with B = I, other negative: start keeping B,
//                   >= 0 continue), status on return (constants above)
//   iprint  in      0 no report, 1 iteration report, 2 also the detailed trace
//   spare   -       not read
//   iter    in/out  major iteration count
// g, c and cn are never written. Statuses 2, 3, 4, 12 and 13 change nothing else, nor does 8
// on a starting call (mode < 0) when common_data::pboundlo(i) > pboundhi(i) for some i <= n.
void vmqp(const int32_t& n,
          VecView<double> x,
          double& f,
          VecView<const double> g,
          VecView<const double> c,
          MatView<const double> cn_in,
          const int32_t& maxfun,
          const double& acc,
          int32_t& info,
          const int32_t& iprint,
          const int32_t& spare,
          int32_t& iter_in);

// Gradient of the Lagrangian at the point whose objective gradient is gv (1..n): clamps the m
// multipliers, then glf = gv - sum_j cn(:, j) vlam(j), each entry clamped.
void gradlf(VecView<const double> gv, int32_t n, int32_t m, int32_t iprint);

// Damped BFGS update of B(1..n, 1..n) with s = delta and gamma = glf - glfa. An update whose
// curvature terms s'Bs or the damped s'eta are not positive is skipped (it would put a
// division by zero into B).
void updatb(int32_t n);

// ---- The quadratic-programme solver ----

// Solves the programme from the current delta and working set. On return delta, ibasis(1..nc),
// nc, cstar and ghat describe the solution; status 0, 10 or 14 (nc = 0 on a nonzero status).
// `work` is the caller's and is left unchanged; iprint 2 writes the trace.
void quad(int32_t& status, int32_t& work, const int32_t& iprint);

// Replaces the leading n x n block of a by its inverse (Gauss-Jordan, full pivoting); rank :=
// n, or the pivots taken before a pivot of magnitude <= 1e-16 (det := 0, the partial result is
// left in a). det := the determinant, 1.0 for n < 1 (a untouched). The leading dimension is the
// view's; spare is not used.
void matin(MatView<double> a, int32_t n, int32_t spare, int32_t& rank, double& det);

// Scales a(1..n, 1..n) symmetrically: a(i, j) /= s9(i) s9(j). Mode other than 1 first clears
// s9 and sets s9(i) = sqrt(|a(i, i)|) for i = 1..n (1 where that is 0 or not a number); mode 1
// reuses the factors. Since (S^-1 A S^-1)^-1 = S A^-1 S, the inverse of a scaled matrix is
// unscaled by a second call with mode 1.
void dcond(MatView<double> a, int32_t n, int32_t mode);

// Drops working-set row lamrow, with ct, ac and cac of that row.
void remove();

// ---- Reports ----

// A numbered list of values, at most three to a line, with the format of `label` (1..9).
// Label 1 lists b(1..count, column), label 9 cn(1..count, column), labels 2..5 delta, ghat,
// glf, vlam, labels 6..8 `values`.
void colum3(int32_t label, int32_t count, VecView<const double> values, int32_t column);

// The iteration report.
void vmaout(VecView<const double> c,
            double f,
            VecView<const double> g,
            int32_t m,
            int32_t n,
            VecView<const double> x,
            int32_t level);

// One trace item chosen by `what` (1..10); count is used by the list cases, value by the
// single-value cases.
void bugaid(int32_t what, int32_t count, double value);

// ---- Bounded Adam refinement ----

// 99 Adam steps along a Ridders-extrapolated central-difference gradient (every evaluation
// funct::calcfg(n, point, value, g, c, cn)), inside [lower, upper] for the variables whose mask
// is nonzero. Keeps the result only when it lowers f by more than 1.001e-8; otherwise x and f
// come back as they were. g, c and cn hold the last evaluation; steps := 100. `rows` sizes the
// scratch of the caller's data set and is not otherwise used.
void adamov(const int32_t& n,
            const int32_t& rows,
            VecView<double> x,
            VecView<double> g,
            VecView<double> c,
            MatView<double> cn_out,
            VecView<const int32_t> mask,
            VecView<const double> lower,
            VecView<const double> upper,
            int32_t& steps,
            double& f);

// Restores every module variable to its start-up value (for tests).
void reset();

}  // namespace vmqp_module
