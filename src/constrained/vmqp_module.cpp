// vmqp_module: the method's major iterations, line search, Lagrangian gradient and variable-
// metric update (see vmqp_module.hpp for the method and its protocol).
//
// Flow of one call:
//   mode < 0  start a run (step 2), then major iterations (steps 3-9) until the first trial
//             point of a line search is handed back (status 0) or the run ends;
//   mode >= 0 judge the caller's evaluation of the last trial point (step 9, later point):
//             accept it and go on with the next major iteration, or hand back a shorter step.
// A first iteration whose programme fails is rescued by the Adam refinement (step 10).
#include "constrained/vmqp_module.hpp"

#include <cmath>

#include "common/common_data.hpp"
#include "constrained/vmqp_report.hpp"
#include "model/funct.hpp"

namespace vmqp_module {
namespace {

// The value with its magnitude limited to [lo, hi] and its sign kept; nan_value for a NaN.
double clamp_mag(double v, double lo, double hi, double nan_value) {
  if (v != v) return nan_value;
  return std::copysign(std::fmin(std::fmax(std::fabs(v), lo), hi), v);
}

// The work copies of one call: vmqp evaluates into them and never writes the caller's g, c, cn.
struct Work {
  int32_t n = 0;
  int32_t m = 0;
  int32_t meq = 0;
  int32_t mode = 0;
  int32_t maxfun = 0;
  double acc = 0.0;
  int32_t iprint = 0;
  double f = 0.0;
  FArray<double, kVars> x;
  FArray<double, kVars> g;
  FArray<double, kCons> c;
  FMatrix<double, kVars, kCons> cnw;

  void evaluate() { funct::calcfg(n, x.view(n), f, g.view(), c.view(), cnw.view()); }
  void copy_gradients() {
    for (int32_t j = 1; j <= m; ++j) {
      for (int32_t i = 1; i <= n; ++i) cn(i, j) = cnw(i, j);
    }
  }
};

// The penalty sum of phi at the constraint values c.
double penalty(const Work& w) {
  double s = 0.0;
  for (int32_t j = 1; j <= w.m; ++j) {
    s += j <= w.meq ? vmu(j) * std::fabs(w.c(j)) : vmu(j) * std::fmax(0.0, -w.c(j));
  }
  return s;
}

// True when pboundlo(i) <= pboundhi(i) for every variable with a bound slot (a bound that is
// not a number fails).
bool bounds_consistent(int32_t n) {
  for (int32_t i = 1; i <= n && i <= common_data::max_params; ++i) {
    if (!(common_data::pboundlo(i) <= common_data::pboundhi(i))) return false;
  }
  return true;
}

// x := xa + delta, a component that is not a number taken from oxa.
void step_from_xa(Work& w) {
  for (int32_t i = 1; i <= w.n; ++i) {
    const double v = xa(i) + delta(i);
    w.x(i) = v != v ? oxa(i) : v;
  }
}

void trace_line_search(const Work& w, double phi, double dfl) {
  if (w.iprint != 2) return;
  bugaid(3, 0, phi);
  bugaid(1, 0, dfl);
}

// Step 2.
void start_run(const Work& w) {
  iter = 0;
  nvma = 1;
  if (w.mode == -1) {
    for (int32_t j = 1; j <= w.n; ++j) {
      for (int32_t i = 1; i <= w.n; ++i) b(i, j) = i == j ? 1.0 : 0.0;
    }
  }
  for (int32_t j = 1; j <= w.m; ++j) vmu(j) = 0.0;
  nvar2 = 2 * nvr;
  mtotal = w.m + nvar2;
  nc = w.meq + 1;
  for (int32_t i = 1; i <= w.n; ++i) {
    bdl(i) = -1e6;
    bdu(i) = 1e6;
    delta(i) = 0.0;
  }
  delta(nvr) = 1.0;
  bdl(nvr) = 0.0;
  for (int32_t j = 1; j <= w.meq; ++j) ibasis(j) = nvar2 + j;
  ibasis(w.meq + 1) = nvar2;
  gm(nvr) = 1e6;
  if (w.mode == -1) {
    for (int32_t i = 1; i <= kVars; ++i) {
      b(nvr, i) = 0.0;
      b(i, nvr) = 0.0;
    }
  }
}

// Step 4: the programme and its acceptance; the quad status, or 8 or 9 for a refused one.
int32_t solve_programme(Work& w, int32_t& qstatus) {
  for (int32_t i = 1; i <= w.n; ++i) gm(i) = -w.g(i);
  for (int32_t j = 1; j <= w.m; ++j) {
    if (j <= w.meq || w.c(j) < 0.0) {
      d(j) = 0.0;
      cn(nvr, j) = w.c(j);
    } else {
      d(j) = -w.c(j);
      cn(nvr, j) = 0.0;
    }
  }
  for (int32_t j = 1; j <= w.m; ++j) vlam(j) = 0.0;
  bdu(nvr) = 1.0;
  int32_t work = 0;
  for (int32_t attempt = 1; attempt <= 2; ++attempt) {
    quad(qstatus, work, w.iprint);
    if (delta(nvr) <= 1e-6) return kInfeasible;
    // A bound of the programme's variables anywhere in the working set refuses the step: it
    // is an artificial +-1e6 limit of an unbounded programme (or xi at 0), so the step is not
    // a solution, whether the bound comes before or after the upper bound of xi in the set.
    bool xi_bound = false;
    for (int32_t k = 1; k <= nc; ++k) {
      if (ibasis(k) < nvar2) return kBoundInBasis;
      xi_bound = xi_bound || ibasis(k) == nvar2;
    }
    if (xi_bound) return 0;
    bdu(nvr) = 0.9 * delta(nvr);
  }
  return kInfeasible;
}

// Step 5: multipliers of the working set's linearised constraints.
void multipliers(int32_t n) {
  for (int32_t k = 1; k <= nc; ++k) {
    if (ibasis(k) <= nvar2) continue;
    const int32_t j = ibasis(k) - nvar2;
    for (int32_t i = 1; i <= n; ++i) vlam(j) += cstar(k, i) * ghat(i);
  }
}

// Step 7: the start of a line search at the current point.
void new_point(Work& w) {
  for (int32_t i = 1; i <= w.n; ++i) {
    if (w.x(i) != w.x(i)) w.x(i) = oxa(i);
    xa(i) = oxa(i) = w.x(i);
    glfa(i) = glf(i);
  }
  double s = 0.0;
  for (int32_t i = 1; i <= w.n; ++i) s += w.g(i) * delta(i);
  gdelta = clamp_mag(s != s ? 1e-6 : s, 1e-16, 1e6, 1e-6);
  for (int32_t j = 1; j <= w.m; ++j) {
    const double a = std::fabs(vlam(j));
    vmu(j) = clamp_mag(std::fmax((vmu(j) + a) * 0.5, a), 1e-16, 1e6, 1e-16);
  }
}

// Step 8: 1 converged, 16 iteration limit, 0 go on. `qp_failed`: this iteration's programme
// failed and its step came from the fallback.
int32_t convergence(const Work& w, bool qp_failed) {
  double s = clamp_mag(std::fabs(gdelta), 1e-16, 1e6, 1e-16);
  for (int32_t j = 1; j <= w.m; ++j) s += std::fabs(vlam(j) * w.c(j));
  // A sum or an objective that is not a number, or the near-zero step of a programme that
  // failed, says nothing about a solution: the clamp would turn them into a success.
  const bool measured = s == s && w.f == w.f && !qp_failed;
  s = clamp_mag(s, 1e-16, 1e6, 1e-16);
  if (measured && 0.1 * w.acc >= s) return kConverged;
  if (w.maxfun <= iter) return kMaxIterations;
  return 0;
}

// Step 9, first point: 0.01 of the programme's step from xa.
int32_t first_point(Work& w) {
  nls = nvma;
  const double pen = penalty(w);
  flsa = w.f + pen;
  double dfl = gdelta - delta(nvr) * pen;
  if (dfl != dfl || !(dfl < 0.0)) {
    trace_line_search(w, flsa, dfl != dfl ? 0.01 : dfl);
    return kUphill;
  }
  for (int32_t i = 1; i <= w.n; ++i) delta(i) *= 0.01;
  step_from_xa(w);
  dflsav = 0.01 * dfl;
  trace_line_search(w, flsa, dflsav);
  if (w.maxfun > nvma) {
    ++nvma;
    return kTrialPoint;
  }
  for (int32_t i = 1; i <= w.n; ++i) w.x(i) = xa(i);
  return kMaxEvaluations;
}

enum class Judged { kAccepted, kEnd };

// Step 9, later point: judge the evaluation in w. kAccepted: the point is taken and the major
// iterations go on; kEnd: the call ends with `status`.
Judged later_point(Work& w, int32_t& status) {
  status = w.mode;
  if (w.maxfun <= nvma) {
    status = kMaxEvaluations;
  } else if (nvma > nls + 6) {
    status = kLongLineSearch;
  } else if (w.maxfun < iter) {
    status = kMaxIterations;
  }
  if (status != w.mode) return Judged::kEnd;
  const double phi = w.f + penalty(w);
  if (phi - flsa <= 0.1 * dflsav) {
    gradlf(w.g.view(w.n), w.n, w.m, w.iprint);
    trace_line_search(w, phi, dflsav);
    if (w.mode > 0) return Judged::kEnd;
    updatb(w.n);
    return Judged::kAccepted;
  }
  if (nvma >= nls + 6) {
    for (int32_t i = 1; i <= w.n; ++i) w.x(i) = xa(i);
  } else {
    // The shortening factor: magnitude 0.1, the sign of the interpolating
    // q = 0.5 dflsav / (dflsav - (phi - flsa)), which is positive whenever the test failed.
    const double q = 0.5 * dflsav / (dflsav - (phi - flsa));
    const double alpha = q < 0.0 ? -0.1 : 0.1;
    for (int32_t i = 1; i <= w.n; ++i) delta(i) *= alpha;
    step_from_xa(w);
    dflsav *= alpha;
    if (w.maxfun <= nvma) {
      for (int32_t i = 1; i <= w.n; ++i) w.x(i) = xa(i);
    }
  }
  ++nvma;
  trace_line_search(w, phi, dflsav);
  return Judged::kEnd;
}

enum class Rescue { kEnd, kJudge, kContinue };

// Step 10: the Adam refinement of a first iteration whose programme failed. A small gradient
// of the Lagrangian is not taken for convergence here: its multipliers come from the failed
// programme (zero when it found no feasible step), so it holds at points that violate the
// constraints.
Rescue fallback(Work& w, int32_t& status) {
  status = 0;
  w.evaluate();
  w.copy_gradients();
  if (w.maxfun <= nvma) {
    status = kMaxEvaluations;
    return Rescue::kEnd;
  }
  if (nvma > nls + 6) {
    status = kLongLineSearch;
    return Rescue::kEnd;
  }
  // The refinement's own start: its merit, its Lagrangian gradient, its point.
  gradlf(w.g.view(w.n), w.n, w.m, w.iprint);
  const double f_start = w.f;
  const double phi_start = w.f + penalty(w);
  for (int32_t i = 1; i <= w.n; ++i) {
    xa(i) = oxa(i) = w.x(i);
    glfa(i) = glf(i);
  }
  // The shared mask and bounds hold max_params slots; variables beyond are held.
  FArray<int32_t, kVars> mask;
  FArray<double, kVars> lo;
  FArray<double, kVars> hi;
  for (int32_t i = 1; i <= w.n && i <= common_data::max_params; ++i) {
    mask(i) = common_data::pmask(i);
    lo(i) = common_data::pboundlo(i);
    hi(i) = common_data::pboundhi(i);
  }
  int32_t steps = 0;
  adamov(w.n,
         common_data::nd,
         w.x.view(w.n),
         w.g.view(),
         w.c.view(),
         w.cnw.view(),
         mask.view(w.n),
         lo.view(w.n),
         hi.view(w.n),
         steps,
         w.f);
  if (std::fabs(f_start / w.f) > 2.0) {
    // Judged as a later point of a line search that started where the refinement did: the
    // step is the refinement's move and the point is taken when the merit did not rise.
    ++iter;
    w.copy_gradients();
    for (int32_t i = 1; i <= w.n; ++i) delta(i) = w.x(i) - xa(i);
    flsa = phi_start;
    dflsav = 0.0;
    nls = nvma;
    return Rescue::kJudge;
  }
  w.evaluate();
  w.f = clamp_mag(w.f, 1e-16, 1e6, 1e6);
  w.copy_gradients();
  updatb(w.n);
  ++iter;
  return Rescue::kContinue;
}

// Steps 3-9 from the start of a major iteration, and step 10 when the first one fails.
int32_t major_iterations(Work& w) {
  for (;;) {
    // Step 3.
    w.evaluate();
    if (w.iprint > 0) {
      vmaout(w.c.view(), w.f, w.g.view(), w.m, w.n, w.x.view(), w.iprint);
      if (w.iprint == 2) bugaid(2, w.n, 0.0);
    }
    // Steps 4 and 5.
    int32_t qstatus = 0;
    int32_t status = solve_programme(w, qstatus);
    const bool qp_failed = status != 0 || qstatus > 1;
    if (status == 0) {
      multipliers(w.n);
      ++iter;
      if (qstatus > 1) status = qstatus;
    } else {
      ++iter;
    }
    if (status != 0) {
      if (iter != 1) return status;
      Rescue r = fallback(w, status);
      if (r == Rescue::kEnd) return status;
      if (r == Rescue::kJudge) {
        w.mode = 0;  // the fallback's status is 0
        if (later_point(w, status) == Judged::kEnd) {
          if (status != 0) ibugfg = 1;
          return status;
        }
        continue;
      }
    }
    // Step 6.
    gradlf(w.g.view(w.n), w.n, w.m, w.iprint);
    // Step 7.
    new_point(w);
    // Step 8.
    status = convergence(w, qp_failed);
    if (status != 0) return status;
    // Step 9.
    status = first_point(w);
    if (status != 0) ibugfg = 1;
    return status;
  }
}

}  // namespace

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
          const int32_t& /*spare*/,
          int32_t& iter_in) {
  Work w;
  w.mode = info;
  if (w.mode < 0) {
    m_run = common_data::icnstr;
    meq_run = common_data::ieqcns;
  }
  w.n = n;
  w.m = m_run;
  w.meq = meq_run;
  w.maxfun = maxfun;
  w.acc = acc;
  w.iprint = iprint;
  w.f = f;
  // Step 1.
  ibugfg = 0;
  iter = iter_in;
  int32_t status = 0;
  if (n < 1) {
    status = kBadN;
  } else if (w.m < w.meq) {
    status = kBadM;
  } else if (w.meq < 0) {
    status = kBadMeq;
  } else if (n > kMaxN) {
    status = kNTooLarge;
  } else if (w.m > kMaxM) {
    status = kMTooLarge;
  } else if (w.mode < 0 && !bounds_consistent(n)) {
    // No point meets both bounds of a variable: every programme of the run would fail on
    // them, and the first failure's refinement cannot meet them either.
    status = kInfeasible;
  }
  if (status != 0) {
    info = status;
    return;  // x, f and iter are as the caller passed them
  }
  nvr = n + 1;
  for (int32_t i = 1; i <= kVars; ++i) {
    w.x(i) = x(i);
    w.g(i) = g(i);
  }
  for (int32_t j = 1; j <= w.m; ++j) w.c(j) = c(j);
  for (int32_t j = 1; j <= kCons; ++j) {
    for (int32_t i = 1; i <= kVars; ++i) w.cnw(i, j) = cn_in(i, j);
  }
  w.copy_gradients();

  if (w.mode < 0) {
    start_run(w);
    status = major_iterations(w);
  } else {
    // A continuing call ends in the line search or after the point it accepted.
    if (later_point(w, status) == Judged::kAccepted) status = major_iterations(w);
    if (status != 0) ibugfg = 1;
  }

  for (int32_t i = 1; i <= kVars; ++i) x(i) = w.x(i);
  f = w.f;
  iter_in = iter;
  info = status;
}

void gradlf(VecView<const double> gv, int32_t n, int32_t m, int32_t iprint) {
  for (int32_t i = 1; i <= n; ++i) glf(i) = gv(i);
  for (int32_t j = 1; j <= m; ++j) {
    vlam(j) = clamp_mag(vlam(j), 1e-34, 1e6, 1e-16);
    if (std::fabs(vlam(j)) > 1e-34) {
      for (int32_t i = 1; i <= n; ++i) glf(i) -= cn(i, j) * vlam(j);
    }
  }
  double mag = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    glf(i) = clamp_mag(glf(i), 1e-16, 1e6, 1e-6);
    mag += glf(i) * glf(i);
  }
  if (iprint != 2) return;
  bugaid(10, 0, std::sqrt(mag));
  bugaid(8, n, 0.0);
  if (m >= 1) bugaid(9, m, 0.0);
}

void updatb(int32_t n) {
  FArray<double, kVars> bs;
  FArray<double, kVars> eta;
  double sy = 0.0;
  double sbs = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    double s = 0.0;
    for (int32_t j = 1; j <= n; ++j) s += b(i, j) * delta(j);
    bs(i) = s;
    sy += delta(i) * (glf(i) - glfa(i));
    sbs += delta(i) * s;
  }
  double se = sy;
  for (int32_t i = 1; i <= n; ++i) eta(i) = glf(i) - glfa(i);
  if (0.2 * sbs > sy) {
    const double theta = (sbs - 0.2 * sbs) / (sbs - sy);
    for (int32_t i = 1; i <= n; ++i) eta(i) = theta * eta(i) + (1.0 - theta) * bs(i);
    se = 0.2 * sbs;
  }
  // A zero step or a vanishing curvature would divide by zero and fill B with non-numbers.
  if (!(sbs > 0.0) || !(se > 0.0)) return;
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i; j <= n; ++j) {
      b(i, j) = b(i, j) - bs(i) * bs(j) / sbs + eta(i) * eta(j) / se;
      b(j, i) = b(i, j);
    }
  }
}

void reset() {
  console = nullptr;
  iter = nvma = nvr = nvar2 = mtotal = nc = ibugfg = m_run = meq_run = nls = 0;
  ibasis.fill(0);
  b.fill(0.0);
  delta.fill(0.0);
  gm.fill(0.0);
  d.fill(0.0);
  cn.fill(0.0);
  bdl.fill(0.0);
  bdu.fill(0.0);
  vlam.fill(0.0);
  vmu.fill(0.0);
  glf.fill(0.0);
  glfa.fill(0.0);
  xa.fill(0.0);
  oxa.fill(0.0);
  flsa = dflsav = gdelta = 0.0;
  iactiv.fill(0);
  cstar.fill(0.0);
  cinvrs.fill(0.0);
  h.fill(0.0);
  ghat.fill(0.0);
  lamrow = icnear = passiv = 0;
  amdamx = cac = cnear = chc = cc = ccgcac = yy = 0.0;
  ct.fill(0.0);
  ac.fill(0.0);
  cstep.fill(0.0);
  hdotc.fill(0.0);
  cstarc.fill(0.0);
  ckac.fill(0.0);
  s9.fill(0.0);
  for (std::string& fmt : colum3_formats) fmt[1] = 'Z';
}

}  // namespace vmqp_module
