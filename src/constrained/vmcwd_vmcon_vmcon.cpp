// vmcwd_vmcon_mod::vmcon: the constrained variable-metric method with a monotone line search.
//
// Each iteration: QP step (qpsub), axial probe, convergence value
// T = |g.d| + sum |lambda_i c_i| with the QP's own d (ends with code 1 when T <= acc), weights
// mu_i := max(|lambda_i|, (mu_i + |lambda_i|) / 2), a line search on phi from x0 along d that
// accepts phi(x) - phi0 <= 0.1 D (D = g.d - xi P the predicted change, P the penalty at x0)
// and otherwise cuts the step by r = max(0.5 D / (D - (phi(x) - phi0)), 0.1), then the BFGS
// update of B with damping 0.2/0.8 from the change of the Lagrangian gradient.
#include <cmath>

#include "common/common_data.hpp"
#include "constrained/vmcwd_vmcon_parts.hpp"

namespace vmcwd_vmcon_mod {
namespace {

using parts::evaluate;

struct Closing {
  const char* lines[4];
  int32_t gap;  // blanks before "-- INFO =" on the last line
};

// The closing message of each code (iprint >= 1).
const Closing& closing(int32_t code) {
  static const Closing kText[] = {
      {{"REQUIRED ACCURACY ACHIEVED IN VMCON. THE PRINTING",
        "OF THE LAST ITERATION GIVES THE OPTIMAL SOLUTION",
        "COMPUTED BY VMCON.",
        nullptr},
       2},
      {{"Q.P. ITERATIONS EXCEEDED ALLOWABLE MAXIMUM DURING", "PROGRAM EXECUTION", nullptr, nullptr},
       38},
      {{"CALLS TO CALCFG EXCEEDED ALLOWABLE MAXIMUM DURING",
        "LINE SEARCH. CHECK THAT THE GRADIENT CALCULATIONS",
        "ARE CORRECT, INSTEAD THE REQUIRED ACCURACY MAY NOT",
        "BE ATTAINABLE"},
       42},
      {{"AN UPHILL SEARCH DIRECTION WAS CALCULATED. USUALLY",
        "THIS IS DUE TO LOSS OF ACCURACY IN THE QUADRATIC",
        "PROGRAMMING CALCULATION",
        nullptr},
       32},
      {{"NO FEASIBLE POINT IS FOUND BY LA02AD. USUALLY THIS",
        "IS DUE TO INCONSISTENCY IN THE GIVEN CONSTRAINTS",
        nullptr,
        nullptr},
       7},
      {{"VE02AD FINDS THAT AN ARTIFICIAL BOUND IS ACTIVE",
        "THE  PREDICTED CHANGE IN THE VARIABLES EXCEEDS",
        "VLARGE. IT MAY BE NECESSARY TO REDUCE THE SIZE OF",
        "THE VARIABLES"},
       42},
  };
  return kText[code - 1];
}

// A blank line, the text indented 5, "-- INFO =" code (I2) after the code's gap, a blank line.
void write_closing(int32_t code) {
  if (code < kConverged || code > kArtificialBound) return;
  const Closing& msg = closing(code);
  int32_t last = 0;
  while (last < 4 && msg.lines[last] != nullptr) ++last;
  parts::blank();
  for (int32_t k = 0; k < last - 1; ++k) parts::put("(5X,A)", {msg.lines[k]});
  parts::put("(5X,A,A,'-- INFO =',I2)", {msg.lines[last - 1], std::string(msg.gap, ' '), code});
  parts::blank();
}

// The state of one call.
struct Vmcon {
  int32_t n;
  VecView<double> x;
  double& f;
  GradArray& fgrad;
  ConsArray& c;
  ConsGrad& cnorm;
  FArray<double, kDim> mu;   // penalty weights
  FArray<double, kDim> x0;   // start of the line search
  FArray<double, kDim> g0;   // Lagrangian gradient at x0
  FArray<double, kDim> bd;   // B d
  FArray<double, kDim> gam;  // gamma
  FArray<double, kDim> dqp;  // the QP's own d, before the probe re-aimed it

  double phi() const { return f + parts::penalty(mu, c); }

  // Steps 4 and 5: the Lagrangian gradient at x, the convergence value and the new weights.
  double convergence() {
    parts::lagrangian_gradient(n, fgrad, cnorm, g0);
    for (int32_t i = 1; i <= m; ++i) {
      const double l = std::fabs(vmvdb.lambda(i));
      mu(i) = std::max(l, 0.5 * (mu(i) + l));
    }
    return parts::convergence_value(n, fgrad, c, dqp);
  }

  // Steps 6 and 7. Returns 0 when a step was accepted, else code 3 or 4.
  int32_t line_search(int32_t maxls) {
    for (int32_t k = 1; k <= n; ++k) x0(k) = vmvdb.xs(k);
    const double p0 = parts::penalty(mu, c);
    const double phi0 = f + p0;
    double dd = parts::grad_dot_d(n, fgrad) - (m > 0 ? vmvdb.d(n + 1) * p0 : 0.0);
    if (!(dd < 0.0)) return kUphill;
    int32_t calls = 1;
    for (;;) {
      for (int32_t k = 1; k <= n; ++k) x(k) = x0(k) + vmvdb.d(k);
      ++calls;
      evaluate(n, x, f, fgrad, c, cnorm);
      if (calls > maxls) {
        // The failed search gives back the point it started from, with its own values.
        for (int32_t k = 1; k <= n; ++k) x(k) = x0(k);
        evaluate(n, x, f, fgrad, c, cnorm);
        return kLineSearchLimit;
      }
      const double change = phi() - phi0;
      if (change <= 0.1 * dd) return 0;
      double r = 0.5 * dd / (dd - change);
      if (!(r >= 0.1)) r = 0.1;  // also for a merit value that is not a number
      dd *= r;
      for (int32_t k = 1; k <= n; ++k) vmvdb.d(k) *= r;
    }
  }

  // Step 8.
  void update_b() {
    FArray<double, kDim> g1;
    parts::lagrangian_gradient(n, fgrad, cnorm, g1);
    for (int32_t k = 1; k <= n; ++k) gam(k) = g1(k) - g0(k);
    const double dbd = parts::b_times_d(n, bd);
    parts::bfgs_update(n, gam, bd, dbd, 0.2);
  }
};

}  // namespace

void vmcon(int32_t& n,
           VecView<double> x,
           double& f,
           GradArray& fgrad,
           ConsArray& c,
           ConsGrad& cnorm,
           int32_t& maxit,
           double& acc,
           int32_t& iprint,
           int32_t& info,
           int32_t& maxls,
           double& ctest,
           int32_t& niter,
           int32_t& nruns,
           int32_t& qpmode) {
  if (const int32_t refused = parts::check_capacity(n); refused != 0) {
    info = refused;
    return;
  }
  // Bounds that no point meets leave the QP no feasible step: an iteration limit reached on
  // them would hide the cause.
  if (!parts::bounds_consistent(n)) {
    info = kInfeasible;
    if (iprint >= 1) write_closing(info);
    return;
  }
  // Step 1.
  Vmcon s{n, x, f, fgrad, c, cnorm, {}, {}, {}, {}, {}, {}};
  if (const int32_t refused = parts::check_counts(evaluate(n, x, f, fgrad, c, cnorm));
      refused != 0) {
    info = refused;
    return;
  }
  meq = common_data::ieqcns;
  m = common_data::icnstr;
  if (iprint >= 0) parts::write_header(nruns, n, maxit, maxls, iprint, acc);
  parts::identity_b(n);
  niter += 1;
  for (int32_t k = 1; k <= n; ++k) vmvdb.xs(k) = x(k);
  for (;;) {
    // Step 2.
    if (maxit < niter) {
      info = kIterationLimit;
      break;
    }
    // Step 3. Codes 5 and 6 of qpsub do not stop the method: it goes on with the direction.
    parts::qp_and_probe(n, x, f, fgrad, c, cnorm, iprint, info, qpmode, s.dqp);
    // The line search starts from the point the probe returned.
    for (int32_t k = 1; k <= n; ++k) vmvdb.xs(k) = x(k);
    // Steps 4 and 5.
    const double t = s.convergence();
    ctest = t;
    if (iprint >= 0) parts::write_convergence(t);
    // Step 10 follows with the code qpsub left (1, or 5 and 6 reported as such).
    if (acc >= t) break;
    // Steps 6 and 7.
    if (const int32_t code = s.line_search(maxls); code != 0) {
      info = code;
      break;
    }
    // Steps 8 and 9.
    s.update_b();
    niter += 1;
    for (int32_t k = 1; k <= n; ++k) vmvdb.xs(k) = x(k);
  }
  // Step 10.
  if (iprint >= 1) write_closing(info);
}

}  // namespace vmcwd_vmcon_mod
