// vmcwd_vmcon_mod::vmcwd: the constrained variable-metric method with the watchdog line search.
//
// The method's numbered steps are the states of one loop, each a member function:
//   2 LoopTop   evaluate at x; the first pass makes the start point the best point, a restored
//               best point goes to the QP step, any other point is a trial of the line search
//   3 (LoopTop) trial test: pred = f0 + alpha g.d + sum mu_i viol_i(c0 + alpha s) (the merit
//               function of the linearised problem); accept when (phi0 - phi) / (phi0 - pred)
//               >= 0.25, or, while the relaxed test applies (strict flag 0), when phi <= phi0 or
//               the Lagrangian value is not above its value at x0; else cut alpha by
//               max(0.5 / (1 - ratio), 0.1)
//   4 Qp        qpsub, axial probe, convergence value |g.d| + sum |lambda_i c_i| with the
//               QP's own d, as vmcon's (1e25 when not a number): |g.d| alone passes wherever
//               the objective is flat along d, however far the constraints are violated
//   5 (Qp)      weight test and reset when the predicted reduction of the violations is small
//   6 LineStart save the line-search start
//   7 Trial     x := x0 + alpha d (code 2 at maxfun calls)
//   8 Accepted  BFGS update (damping 0.1/0.9), watchdog bookkeeping: a step that does not beat
//               the best merit is followed at most two iterations before the best point is
//               restored
//   9 NewBest   the current point becomes the best point
//  10 ErrorExit message; the best point is restored when the current one is worse
//  11 Return
// phi always describes the current x: it is recomputed after every evaluation and after the
// axial probe, so that the line search measures its trials against the point it starts from.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/common_data.hpp"
#include "constrained/vmcwd_vmcon_parts.hpp"

namespace vmcwd_vmcon_mod {
namespace {

using parts::evaluate;

constexpr double kMuStart = double(1.0e-24f);  // initial penalty weights
constexpr double kTinyCurvature = 1e-24;       // added to d'B d

enum class Step { LoopTop, Qp, LineStart, Trial, Accepted, NewBest, ErrorExit, Return };

// The values of v, five per line in D20.10, after a label line.
void write_block(const char* label, VecView<const double> v, int32_t count) {
  parts::put("(5X,A)", {label});
  std::vector<editfmt::Value> items;
  for (int32_t k = 1; k <= count; ++k) items.emplace_back(v(k));
  if (!items.empty()) parts::put("(5X,5D20.10)", items);
}

// The limits and print settings of one call.
struct Settings {
  int32_t maxfun, maxls, iprint, nruns, qpmode;
  double acc;
};

class Vmcwd {
 public:
  Vmcwd(int32_t n,
        VecView<double> x,
        double& f,
        GradArray& fgrad,
        ConsArray& c,
        ConsGrad& cnorm,
        const Settings& set,
        int32_t& info,
        double& ctest,
        int32_t& niter)
      : n_(n),
        x_(x),
        f_(f),
        fgrad_(fgrad),
        c_(c),
        cnorm_(cnorm),
        set_(set),
        info_(info),
        ctest_(ctest),
        niter_(niter) {}

  // Steps 1 to 11.
  void run();

 private:
  double phi() const { return f_ + parts::penalty(mu_, c_); }
  double lagrangian() const {
    double l = f_;
    for (int32_t i = 1; i <= m; ++i) l -= vmvdb.lambda(i) * c_(i);
    return l;
  }
  void save_best(int32_t niter) {
    for (int32_t k = 1; k <= n_; ++k) xbest_(k) = x_(k);
    for (int32_t i = 1; i <= m; ++i) cbest_(i) = c_(i);
    fbest_ = f_;
    phibest_ = phi_;
    best_iter_ = niter;
  }
  void restore_best() {
    for (int32_t k = 1; k <= n_; ++k) x_(k) = xbest_(k);
  }
  double predicted() const;
  bool reset_weights(double gd);
  void report(int32_t niter, int32_t info, bool closing) const;
  bool start();
  Step loop_top();
  Step qp_step();
  Step weight_test();
  Step line_start();
  Step trial();
  Step accepted();
  Step new_best();
  Step error_exit();

  int32_t n_;
  VecView<double> x_;
  double& f_;
  GradArray& fgrad_;
  ConsArray& c_;
  ConsGrad& cnorm_;
  int32_t calls_ = 1;           // calls of calcfg in the main loop
  FArray<double, kDim> mu_;     // penalty weights
  FArray<double, kDim> xbest_;  // best point (x, f, c, phi, iteration)
  ConsArray cbest_;
  double fbest_ = 0.0, phibest_ = 0.0;
  int32_t best_iter_ = 0;
  double phi_ = 0.0;               // merit at x
  FArray<double, kDim> s_;         // (gradient of c_i) . d at the line-search start
  FArray<double, kDim> bd_;        // B d
  double dbd_ = 0.0;               // d'B d + 1e-24
  double gd_ = 0.0;                // g.d at the QP step
  FArray<double, kDim> x0_, gl0_;  // line-search start and its Lagrangian gradient
  ConsArray c0_;
  double f0_ = 0.0, phi0_ = 0.0, lag0_ = 0.0, alpha_ = 1.0, pred_ = 0.0;
  int32_t ls_calls_ = 0;  // calls_ at the line-search start
  const Settings set_;
  int32_t& info_;  // in: entry mode; then the step's state (below 1) or the result code
  double& ctest_;
  int32_t& niter_;
  int32_t last_restart_ = -10;  // iteration of the last return to the best point
  int32_t strict_ = 1;          // 0: the relaxed acceptance test applies
  double target_ = 0.0;         // merit level of the relaxed test
  int32_t next_report_ = 0;     // iteration of the next iteration report
};

// pred = f0 + alpha g.d + sum mu_i viol_i(c0 + alpha s).
double Vmcwd::predicted() const {
  double p = f0_ + alpha_ * gd_;
  for (int32_t i = 1; i <= m; ++i) p += mu_(i) * parts::violation(i, c0_(i) + alpha_ * s_(i));
  return p;
}

// Step 5's weight reset: returns true when the weights were reset. w_i is the predicted
// reduction of constraint i's violation along d.
bool Vmcwd::reset_weights(double gd) {
  FArray<double, kDim> w;
  double big_w = 0.0;
  for (int32_t i = 1; i <= m; ++i) {
    const double ci = c_(i), cs = c_(i) + s_(i);
    w(i) = i <= meq ? std::max(std::fabs(ci) - std::fabs(cs), 0.0)
                    : std::max(std::min(cs, 0.0) - ci, 0.0);
    big_w += mu_(i) * w(i);
  }
  if (!(0.5 * dbd_ + gd > 0.0 && big_w < 1.25 * std::fabs(gd))) return false;
  double sum = 2.5 * std::fabs(gd);
  double q_den = 0.0;
  for (int32_t i = 1; i <= m; ++i) {
    if (vmvdb.lambda(i) == 0.0) {
      sum -= mu_(i) * w(i);
      w(i) = 0.0;
    }
    q_den += std::fabs(vmvdb.lambda(i) * w(i));
  }
  double q = 0.0;
  for (bool removed = true; removed;) {
    removed = false;
    // Nothing left to share the reduction: the weights of the removed constraints stand.
    if (!(q_den > 0.0)) return true;
    q = sum / q_den;
    for (int32_t i = 1; i <= m; ++i) {
      if (w(i) != 0.0 && std::fabs(vmvdb.lambda(i)) * q < mu_(i)) {
        sum -= mu_(i) * w(i);
        q_den -= std::fabs(vmvdb.lambda(i) * w(i));
        w(i) = 0.0;
        removed = true;
      }
    }
  }
  for (int32_t i = 1; i <= m; ++i) {
    if (w(i) > 0.0) mu_(i) = std::fabs(vmvdb.lambda(i)) * q;
  }
  return true;
}

// Step 12, the iteration report; `closing` leaves out the "CURRENT" lines and the best point.
void Vmcwd::report(int32_t niter, int32_t info, bool closing) const {
  parts::blank();
  parts::put("(5X,'ITERATIONS =',I5,5X,'CALLS OF CALCFG =',I5)", {niter, calls_});
  if (!closing && info < 1) {
    parts::put("(5X,A,A)",
               {"THE CURRENT VALUES OF F, X AND C ARE AS FOLLOWS",
                niter == best_iter_ ? " THESE VALUES ARE ALSO THE OPTIMAL ONES" : ""});
  }
  write_block("X =", VecView<const double>(x_.data(), n_, x_.stride()), n_);
  parts::put("(5X,'F =',D20.10)", {f_});
  write_block("c =", VecView<const double>(c_.data(), m), m);
  if (closing || info >= 1 || niter == best_iter_) return;
  parts::put("(5X,A)", {" AND THE OPTIMAL VALUES ARE THE FOLLOWING ONES"});
  write_block("X =", VecView<const double>(xbest_.data(), n_), n_);
  parts::put("(5X,'F =',D20.10)", {fbest_});
  write_block("c =", VecView<const double>(cbest_.data(), m), m);
}

// The error message of a code (iprint >= 0), after a blank line, indented 5.
void write_error(int32_t code, int32_t calls) {
  parts::blank();
  switch (code) {
    case kIterationLimit:
      parts::put("(5X,A,I5,A)", {"ERROR RETURN FROM VMCWD DUE TO", calls, " CALLS OF CALCFG"});
      break;
    case kLineSearchLimit:
      parts::put("(5X,A,I5,A)",
                 {"ERROR RETURN FROM VMCWD DUE TO", calls, " CALLS OF CALCFG IN A LINE SEARCH"});
      break;
    case kUphill:
      parts::put("(5X,A,A)", {"ERROR RETURN FROM VMCWD", " DUE TO AN UPHILL SEARCH DIRECTION"});
      break;
    case kInfeasible:
      parts::put("(5X,A,A)",
                 {"ERROR RETURN FROM VMCWD", " BECAUSE THE CONSTRAINTS SEEM TO BE INCONSISTENT"});
      break;
    case kArtificialBound:
      parts::put("(5X,A)", {"ERROR RETURN FROM VF13AD DUE TO LOSS OF"});
      parts::put("(5X,A)", {"POSITIVE DEFINITENESS. THE SOLUTION MAY BE UNBOUNDED"});
      break;
    default:
      break;
  }
}

// Step 1. False when the first evaluation is refused (info_ holds the code).
bool Vmcwd::start() {
  niter_ = 0;
  ctest_ = 0.0;
  if (info_ == -111 || info_ == -110) {
    // Runs without constraints: the merit function is the objective alone.
    m = 0;
    meq = 0;
  } else {
    if (const int32_t refused = parts::check_counts(evaluate(n_, x_, f_, fgrad_, c_, cnorm_));
        refused != 0) {
      info_ = refused;
      return false;
    }
    meq = common_data::ieqcns;
    m = common_data::icnstr;
    if (set_.iprint >= 0) {
      parts::write_header(set_.nruns, n_, set_.maxfun, set_.maxls, set_.iprint, set_.acc);
    }
    for (int32_t i = 1; i <= m; ++i) mu_(i) = kMuStart;
    if (info_ != -101) info_ = -2;
  }
  parts::identity_b(n_);
  next_report_ = std::min(set_.iprint - 1, 0);
  return true;
}

// Steps 2 and 3.
Step Vmcwd::loop_top() {
  ++calls_;
  evaluate(n_, x_, f_, fgrad_, c_, cnorm_);
  phi_ = phi();
  if (info_ > 0) return Step::Return;
  if (info_ == -1) {
    info_ = 0;
    best_iter_ = niter_;
    return Step::Qp;
  }
  if (info_ < -1) return Step::NewBest;
  pred_ = predicted();
  if (!(pred_ < phi0_)) {
    info_ = kUphill;
    return Step::ErrorExit;
  }
  const double ratio = (phi0_ - phi_) / (phi0_ - pred_);
  if (ratio >= 0.25 || (strict_ == 0 && (phi_ <= phi0_ || lagrangian() <= lag0_))) {
    return Step::Accepted;
  }
  if (calls_ - ls_calls_ >= set_.maxls) {
    info_ = kLineSearchLimit;
    return Step::ErrorExit;
  }
  double r = 0.5 / (1.0 - ratio);
  if (!(r >= 0.1)) r = 0.1;  // also for a ratio that is not a number
  alpha_ *= r;
  return Step::Trial;
}

// Step 4.
Step Vmcwd::qp_step() {
  FArray<double, kDim> dqp;
  parts::qp_and_probe(n_, x_, f_, fgrad_, c_, cnorm_, set_.iprint, info_, set_.qpmode, dqp);
  phi_ = phi();
  if (info_ == kInfeasible) return Step::ErrorExit;
  gd_ = parts::grad_dot_d(n_, fgrad_);  // the slope of the line search along the re-aimed d
  const double t = parts::convergence_value(n_, fgrad_, c_, dqp);
  ctest_ = t;
  if (t <= set_.acc) {
    if (set_.iprint >= 0) parts::write_convergence(t);
    return Step::Return;
  }
  return weight_test();
}

// Step 5.
Step Vmcwd::weight_test() {
  for (int32_t i = 1; i <= m; ++i) {
    double r = 0.0;
    for (int32_t k = 1; k <= n_; ++k) r += cnorm_(k, i) * vmvdb.d(k);
    s_(i) = r;
  }
  dbd_ = kTinyCurvature + parts::b_times_d(n_, bd_);
  if (!(dbd_ > 0.0)) {
    info_ = kArtificialBound;
    return Step::ErrorExit;
  }
  if (!reset_weights(gd_)) return Step::LineStart;
  phi_ = phi();
  phibest_ = fbest_ + parts::penalty(mu_, cbest_);
  if (niter_ == best_iter_) return Step::LineStart;
  target_ = phibest_;
  // A point at least as good as the best one under the new weights becomes the best point;
  // it is not taken for converged (the convergence test has just failed).
  if (phi_ <= phibest_) save_best(niter_);
  return Step::LineStart;
}

// Step 6.
Step Vmcwd::line_start() {
  info_ = 0;
  if (niter_ == next_report_ && set_.iprint >= 1) {
    report(niter_, info_, false);
    next_report_ = niter_ + set_.iprint;
  }
  for (int32_t k = 1; k <= n_; ++k) x0_(k) = x_(k);
  parts::lagrangian_gradient(n_, fgrad_, cnorm_, gl0_);
  f0_ = f_;
  for (int32_t i = 1; i <= m; ++i) c0_(i) = c_(i);
  phi0_ = phi_;
  lag0_ = lagrangian();
  ls_calls_ = calls_;
  alpha_ = 1.0;
  return Step::Trial;
}

// Step 7.
Step Vmcwd::trial() {
  if (calls_ >= set_.maxfun) {
    info_ = kIterationLimit;
    return Step::ErrorExit;
  }
  for (int32_t k = 1; k <= n_; ++k) x_(k) = x0_(k) + alpha_ * vmvdb.d(k);
  return Step::LoopTop;
}

// Step 8.
Step Vmcwd::accepted() {
  FArray<double, kDim> gl, gamma;
  parts::lagrangian_gradient(n_, fgrad_, cnorm_, gl);
  for (int32_t k = 1; k <= n_; ++k) gamma(k) = (gl(k) - gl0_(k)) / alpha_;
  parts::bfgs_update(n_, gamma, bd_, dbd_, 0.1);
  if (niter_ == best_iter_) target_ = phi0_ - 0.25 * (phi0_ - pred_);
  strict_ = (target_ < phi_ || niter_ < last_restart_ + 10) ? 1 : 0;
  ++niter_;
  if (phi_ <= phibest_) return Step::NewBest;
  if (niter_ <= best_iter_ + 2) return Step::Qp;
  info_ = -1;
  restore_best();
  last_restart_ = niter_;
  return Step::LoopTop;
}

// Step 9.
Step Vmcwd::new_best() {
  save_best(niter_);
  if (set_.iprint >= 0) {
    parts::write_header(set_.nruns, n_, set_.maxfun, set_.maxls, set_.iprint, set_.acc);
  }
  return Step::Qp;
}

// Step 10.
Step Vmcwd::error_exit() {
  if (set_.iprint >= 0) write_error(info_, calls_);
  if (phi_ > phibest_) {
    restore_best();
    return Step::LoopTop;
  }
  return Step::Return;
}

void Vmcwd::run() {
  if (!start()) return;
  Step step = Step::LoopTop;
  while (step != Step::Return) {
    switch (step) {
      case Step::LoopTop:
        step = loop_top();
        break;
      case Step::Qp:
        step = qp_step();
        break;
      case Step::LineStart:
        step = line_start();
        break;
      case Step::Trial:
        step = trial();
        break;
      case Step::Accepted:
        step = accepted();
        break;
      case Step::NewBest:
        step = new_best();
        break;
      case Step::ErrorExit:
        step = error_exit();
        break;
      case Step::Return:
        break;
    }
  }
  // Step 11.
  if (set_.iprint >= 1) {
    parts::blank();
    parts::put("(5X,A,A)", {"THE FOLLOWING VALUES OF F, X AND C", "ARE RETURNED BY VMCWD"});
    report(niter_, info_, true);
  }
}

}  // namespace

void vmcwd(int32_t& n,
           VecView<double> x,
           double& f,
           GradArray& fgrad,
           ConsArray& c,
           ConsGrad& cnorm,
           int32_t& maxfun,
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
  const Settings set{maxfun, maxls, iprint, nruns, qpmode, acc};
  Vmcwd(n, x, f, fgrad, c, cnorm, set, info, ctest, niter).run();
}

}  // namespace vmcwd_vmcon_mod
