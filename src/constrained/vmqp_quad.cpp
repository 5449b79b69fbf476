// vmqp_module: the quadratic programme of one major iteration, solved by an active-set method
// of the Goldfarb-Idnani / Fletcher kind [1]:
//   minimise q(delta) = 1/2 delta' A delta - gm' delta,  A = B (rows and columns 1..nvr),
//   subject to  delta(i) >= bdl(i)            (constraint i,         i = 1..nvr)
//               -delta(i) >= -bdu(i)           (constraint nvr + i)
//               cn(:, j)' delta >= d(j)        (constraint nvar2 + j, equality for j <= meq).
// The working set is held in ibasis(1..nc) with two matrices that every change keeps exact:
//   cstar  rows of a generalised inverse of the working-set normals N: cstar N = I,
//   h      the inverse of A projected onto the null space of N' (h N = 0; zero at a vertex),
// so that the multipliers are lambda = cstar ghat and a released constraint's row ct of cstar
// is a direction that leaves every other working-set constraint unchanged.
//
// [1] R. Fletcher, "Practical Methods of Optimization", 2nd ed., Wiley 1987, section 10.3.
#include <cmath>

#include "constrained/vmqp_module.hpp"
#include "constrained/vmqp_report.hpp"

namespace vmqp_module {
namespace {

// An outside constraint counts as violated (or, at the end of a pass, as broken) only below
// this multiple of its right-hand side's size: rounding of an exactly met constraint must not
// restart the solver until its pass limit runs out.
constexpr double kFeasTol = 1e-10;

// Right-hand side r_k of constraint k: bdl(i), -bdu(i) or d(j).
double rhs(int32_t k) {
  if (k <= nvr) return bdl(k);
  if (k <= nvar2) return -bdu(k - nvr);
  return d(k - nvar2);
}

// Normal of constraint k times v (nvr entries).
double normal_dot(int32_t k, const FArray<double, kVars>& v) {
  if (k <= nvr) return v(k);
  if (k <= nvar2) return -v(k - nvr);
  double s = 0.0;
  for (int32_t i = 1; i <= nvr; ++i) s += cn(i, k - nvar2) * v(i);
  return s;
}

// Component i of the normal of constraint k.
double normal_at(int32_t k, int32_t i) {
  if (k <= nvr) return k == i ? 1.0 : 0.0;
  if (k <= nvar2) return k - nvr == i ? -1.0 : 0.0;
  return cn(i, k - nvar2);
}

// Constraint k at delta: normal . delta - rhs (>= 0 when satisfied).
double residual(int32_t k) { return normal_dot(k, delta) - rhs(k); }

bool violated(int32_t k) { return residual(k) < -kFeasTol * std::fmax(1.0, std::fabs(rhs(k))); }

bool held_equality(int32_t row) { return iactiv(ibasis(row)) == -1; }

// cinvrs := the inverse of the vertex normals (cinvrs N = I, N the nvr x nvr matrix whose
// column k is the normal of ibasis(k)), scaled by dcond before matin and unscaled after.
void invert_vertex() {
  FMatrix<double, kBorder, kBorder> w;
  for (int32_t k = 1; k <= nvr; ++k) {
    for (int32_t i = 1; i <= nvr; ++i) w(i, k) = normal_at(ibasis(k), i);
  }
  int32_t rank = 0;
  double det = 0.0;
  dcond(w.view(), nvr, 0);
  matin(w.view(), nvr, 0, rank, det);
  dcond(w.view(), nvr, 1);
  for (int32_t k = 1; k <= nvr; ++k) {
    for (int32_t i = 1; i <= nvr; ++i) cinvrs(k, i) = w(k, i);
  }
}

// delta := the vertex of the working set: sum over rows k of r_k cinvrs(k, :).
void vertex_point() {
  for (int32_t i = 1; i <= nvr; ++i) {
    double s = 0.0;
    for (int32_t k = 1; k <= nvr; ++k) s += rhs(ibasis(k)) * cinvrs(k, i);
    delta(i) = s;
  }
}

// The bound of variable i nearer to delta(i): the lower one on a tie.
int32_t nearer_bound(int32_t i) { return bdu(i) - delta(i) >= delta(i) - bdl(i) ? i : nvr + i; }

// Completes the working set to nvr constraints with variable bounds. The "projected value" of a
// variable is the squared length of its unit vector's projection onto the span of the normals
// already chosen: the variable with the smallest one is the most independent of them, so the
// vertex matrix stays as well conditioned as the choice allows.
void complete_vertex() {
  FMatrix<double, kVars, kVars> q;  // orthonormal basis of the chosen normals (Gram-Schmidt)
  int32_t nq = 0;
  auto add_to_basis = [&](int32_t k) {
    FArray<double, kVars> v;
    for (int32_t i = 1; i <= nvr; ++i) v(i) = normal_at(k, i);
    for (int32_t p = 1; p <= nq; ++p) {
      double s = 0.0;
      for (int32_t i = 1; i <= nvr; ++i) s += q(i, p) * v(i);
      for (int32_t i = 1; i <= nvr; ++i) v(i) -= s * q(i, p);
    }
    double len = 0.0;
    for (int32_t i = 1; i <= nvr; ++i) len += v(i) * v(i);
    len = std::sqrt(len);
    if (!(len > 1e-12)) return;  // dependent normal: nothing new to span
    ++nq;
    for (int32_t i = 1; i <= nvr; ++i) q(i, nq) = v(i) / len;
  };
  FArray<int32_t, kVars> bounded;
  for (int32_t k = 1; k <= nc; ++k) {
    add_to_basis(ibasis(k));
    if (ibasis(k) <= nvar2) bounded(ibasis(k) <= nvr ? ibasis(k) : ibasis(k) - nvr) = 1;
  }
  while (nc < nvr) {
    int32_t best = 0;
    double best_value = 0.0;
    for (int32_t i = 1; i <= nvr; ++i) {
      if (bounded(i) != 0) continue;
      double pv = 0.0;
      for (int32_t p = 1; p <= nq; ++p) pv += q(i, p) * q(i, p);
      if (best == 0 || pv < best_value) {
        best = i;
        best_value = pv;
      }
    }
    const int32_t k = nearer_bound(best);
    ++nc;
    ibasis(nc) = k;
    iactiv(k) = 0;
    bounded(best) = 1;
    add_to_basis(k);
  }
}

// Step 1: the start vertex and the feasibility phase. Each feasibility pass costs one of the
// solver's passes; false when they run out.
bool start_vertex(int32_t& passes) {
  for (int32_t k = 1; k <= mtotal; ++k) iactiv(k) = 1;
  if (nc == 0) {
    for (int32_t i = 1; i <= nvr; ++i) {
      ibasis(i) = nearer_bound(i);
      iactiv(ibasis(i)) = 0;
    }
    nc = nvr;
  } else {
    for (int32_t k = 1; k <= nc; ++k) iactiv(ibasis(k)) = k <= meq_run ? -1 : 0;
    complete_vertex();
  }
  invert_vertex();
  vertex_point();

  // Feasibility phase: move from vertex to vertex along rows of cinvrs until no outside
  // constraint is violated (or no move reduces the violation).
  for (;;) {
    FArray<double, kVars> vsum;
    bool any = false;
    for (int32_t k = 1; k <= mtotal; ++k) {
      if (iactiv(k) == 0 || iactiv(k) == -1) continue;
      iactiv(k) = 1;
      if (!violated(k)) continue;
      iactiv(k) = 2;
      any = true;
      for (int32_t i = 1; i <= nvr; ++i) vsum(i) += normal_at(k, i);
    }
    if (!any) break;
    if (--passes <= 0) return false;
    int32_t kr = 0;
    double best = 0.0;
    for (int32_t k = 1; k <= nvr; ++k) {
      if (held_equality(k)) continue;
      double s = 0.0;
      for (int32_t i = 1; i <= nvr; ++i) s += cinvrs(k, i) * vsum(i);
      if (s > best) {
        best = s;
        kr = k;
      }
    }
    if (kr == 0) break;  // no released row reduces the violation
    FArray<double, kVars> z;
    for (int32_t i = 1; i <= nvr; ++i) z(i) = cinvrs(kr, i);
    double sat_ratio = 1e34;
    int32_t sat_k = 0;
    double vio_ratio = -1.0;
    int32_t vio_k = 0;
    for (int32_t k = 1; k <= mtotal; ++k) {
      if (iactiv(k) != 1 && iactiv(k) != 2) continue;
      const double rate = normal_dot(k, z);
      const double res = residual(k);
      if (iactiv(k) == 1 && rate < 0.0 && res / -rate < sat_ratio) {
        sat_ratio = res / -rate;
        sat_k = k;
      } else if (iactiv(k) == 2 && rate > 0.0 && -res / rate > vio_ratio) {
        vio_ratio = -res / rate;
        vio_k = k;
      }
    }
    const int32_t enter = sat_k != 0 && sat_ratio <= vio_ratio ? sat_k : vio_k;
    if (enter == 0) break;
    iactiv(ibasis(kr)) = 1;
    ibasis(kr) = enter;
    iactiv(enter) = 0;
    invert_vertex();
    vertex_point();
  }
  for (int32_t k = 1; k <= mtotal; ++k) {
    if (iactiv(k) == 2) iactiv(k) = 1;
  }
  nc = nvr;
  for (int32_t k = 1; k <= nvr; ++k) {
    for (int32_t i = 1; i <= nvr; ++i) {
      h(i, k) = 0.0;
      cstar(k, i) = cinvrs(k, i);
    }
  }
  return true;
}

// The bordered matrix [A N; N' 0] of the working set (order nvr + nc) inverted into w: its
// leading nvr x nvr block is h, the nc x nvr block below it cstar.
void invert_bordered(FMatrix<double, kBorder, kBorder>& w) {
  const int32_t order = nvr + nc;
  w.fill(0.0);
  for (int32_t j = 1; j <= nvr; ++j) {
    for (int32_t i = 1; i <= nvr; ++i) w(i, j) = b(i, j);
  }
  for (int32_t k = 1; k <= nc; ++k) {
    for (int32_t i = 1; i <= nvr; ++i) {
      w(i, nvr + k) = normal_at(ibasis(k), i);
      w(nvr + k, i) = w(i, nvr + k);
    }
  }
  int32_t rank = 0;
  double det = 0.0;
  dcond(w.view(), order, 0);
  matin(w.view(), order, 0, rank, det);
  dcond(w.view(), order, 1);
}

void take_projection(FMatrix<double, kBorder, kBorder>& w) {
  for (int32_t j = 1; j <= nvr; ++j) {
    for (int32_t i = 1; i <= nvr; ++i) h(i, j) = w(i, j);
    for (int32_t k = 1; k <= nc; ++k) cstar(k, j) = w(nvr + k, j);
  }
}

// Step 2d: the minimum of q on the working set. False when it breaks an outside constraint.
bool working_set_minimum() {
  FMatrix<double, kBorder, kBorder> w;
  invert_bordered(w);
  // [A N; N' 0] [delta; mu] = [gm; r]
  FArray<double, kVars> nd;
  for (int32_t i = 1; i <= nvr; ++i) {
    double s = 0.0;
    for (int32_t j = 1; j <= nvr; ++j) s += w(i, j) * gm(j);
    for (int32_t k = 1; k <= nc; ++k) s += w(i, nvr + k) * rhs(ibasis(k));
    nd(i) = s;
  }
  delta = nd;
  for (int32_t k = 1; k <= mtotal; ++k) {
    if (iactiv(k) == 1 && violated(k)) return false;
  }
  take_projection(w);
  return true;
}

// Step 2g: exchange the blocking constraint icnear with the released row lamrow, updating h
// and cstar by the rank-two formulas when the exchange test allows, else re-forming them from
// the bordered matrix of the new working set (the same invariants, at the cost of an inverse).
void exchange() {
  const int32_t k = icnear;
  FArray<double, kVars> ak;
  for (int32_t i = 1; i <= nvr; ++i) ak(i) = normal_at(k, i);
  chc = 0.0;
  for (int32_t i = 1; i <= nvr; ++i) {
    double s = 0.0;
    for (int32_t j = 1; j <= nvr; ++j) s += h(i, j) * ak(j);
    hdotc(i) = s;
    chc += ak(i) * s;
  }
  for (int32_t r = 1; r <= nc; ++r) {
    double s = 0.0;
    double t = 0.0;
    for (int32_t i = 1; i <= nvr; ++i) {
      s += cstar(r, i) * ak(i);
      t += cstar(r, i) * ac(i);
    }
    cstarc(r) = s;
    ckac(r) = t;
  }
  cc = cstarc(lamrow);
  yy = chc * cac + cc * cc;
  double t = 0.0;
  for (int32_t i = 1; i <= nvr; ++i) t += ghat(i) * hdotc(i);
  const bool update = yy != 0.0 && yy * ccgcac >= (amdamx - amdamx * cnear) * chc + cc * t;
  ibasis(lamrow) = k;
  iactiv(k) = 0;
  if (!update) {
    FMatrix<double, kBorder, kBorder> w;
    invert_bordered(w);
    take_projection(w);
    return;
  }
  FArray<double, kVars> u;
  FArray<double, kVars> w;
  for (int32_t i = 1; i <= nvr; ++i) {
    u(i) = (chc * ct(i) - cc * hdotc(i)) / yy;
    w(i) = (cac * hdotc(i) + cc * ct(i)) / yy;
  }
  for (int32_t j = 1; j <= nvr; ++j) {
    for (int32_t i = 1; i <= j; ++i) {
      h(i, j) += ct(i) * u(j) - hdotc(i) * w(j);
      h(j, i) = h(i, j);
    }
  }
  cstarc(lamrow) -= 1.0;
  for (int32_t r = 1; r <= nc; ++r) {
    for (int32_t i = 1; i <= nvr; ++i) cstar(r, i) -= cstarc(r) * w(i) + ckac(r) * u(i);
  }
}

// Step 2f: the largest step along cstep that keeps every outside constraint satisfied.
void ratio_test() {
  cnear = 1e34;
  passiv = 1;
  for (int32_t k = 1; k <= mtotal; ++k) {
    if (iactiv(k) != 1) continue;
    double ratio = 1e34;
    if (k <= nvr) {
      if (cstep(k) < 0.0) ratio = (bdl(k) - delta(k)) / cstep(k);
    } else if (k <= nvar2) {
      const int32_t i = k - nvr;
      if (cstep(i) > 0.0) ratio = (bdu(i) - delta(i)) / cstep(i);
    } else {
      const double rate = normal_dot(k, cstep);
      if (rate < 0.0) ratio = (d(k - nvar2) - normal_dot(k, delta)) / rate;
    }
    if (ratio < cnear) {
      cnear = ratio;
      icnear = k;
    }
  }
  iactiv(ibasis(lamrow)) = 1;
}

void trace_pass() {
  colum3(2, nvr, delta.view(nvr), 0);
  colum3(3, nvr, ghat.view(nvr), 0);
  report::put("(' LAMBDA MAX =',1PE16.7 )", {amdamx});
}

// Step 2 with its pass counter; the solver's status.
int32_t main_loop(int32_t& passes, const int32_t& iprint) {
  bool formed = false;  // h and cstar formed by step 2d in this call
  for (;;) {
    if (--passes <= 0) return kQpPasses;
    // a.
    for (int32_t i = 1; i <= nvr; ++i) {
      double s = 0.0;
      for (int32_t j = 1; j <= nvr; ++j) s += b(i, j) * delta(j);
      ghat(i) = s - gm(i);
    }
    // b. Multipliers of the releasable rows: lambda_k = -cstar(k, :) ghat.
    amdamx = -1e34;
    lamrow = 0;
    for (int32_t k = 1; k <= nc; ++k) {
      if (held_equality(k)) continue;
      double s = 0.0;
      for (int32_t i = 1; i <= nvr; ++i) s -= cstar(k, i) * ghat(i);
      if (s > amdamx) {
        amdamx = s;
        lamrow = k;
      }
    }
    if (iprint == 2) trace_pass();  // c.
    // d.
    if (amdamx <= 0.0) {
      if (formed) return std::fabs(amdamx) < 1e-34 ? kZeroMultiplier : 0;
      if (!working_set_minimum()) {
        if (!start_vertex(passes)) return kQpPasses;
        continue;
      }
      formed = true;
      continue;
    }
    // e. Release row lamrow.
    cac = 0.0;
    for (int32_t i = 1; i <= nvr; ++i) ct(i) = cstar(lamrow, i);
    for (int32_t i = 1; i <= nvr; ++i) {
      double s = 0.0;
      for (int32_t j = 1; j <= nvr; ++j) s += b(i, j) * ct(j);
      ac(i) = s;
      cac += ct(i) * s;
    }
    for (int32_t i = 1; i <= nvr; ++i) cstep(i) = cac <= 0.0 ? ct(i) : ct(i) * amdamx / cac;
    ratio_test();  // f.
    // g.
    if (cac > 0.0 && cnear >= 1.0) {
      for (int32_t i = 1; i <= nvr; ++i) delta(i) += cstep(i);
      remove();
    } else {
      for (int32_t i = 1; i <= nvr; ++i) delta(i) += cnear * cstep(i);
      ccgcac = cac > 0.0 ? amdamx * cnear / cac : 0.0;
      exchange();
    }
    passiv = 0;
  }
}

}  // namespace

void quad(int32_t& status, int32_t& /*work*/, const int32_t& iprint) {
  int32_t passes = 99;
  status = 0;
  if (nc > nvr || !start_vertex(passes)) {
    status = kQpPasses;  // no vertex: more equalities than the programme has variables
  } else {
    status = main_loop(passes, iprint);
  }
  if (status != 0) nc = 0;
}

void remove() {
  for (int32_t k = 1; k <= nvr; ++k) {
    for (int32_t i = 1; i <= k; ++i) {
      h(i, k) += ct(i) * ct(k) / cac;
      h(k, i) = h(i, k);
    }
  }
  if (nc < 2) {
    nc = 0;
    return;
  }
  for (int32_t i = 1; i <= nvr; ++i) cstar(lamrow, i) = cstar(nc, i);
  ibasis(lamrow) = ibasis(nc);
  --nc;
  for (int32_t k = 1; k <= nc; ++k) {
    double s = 0.0;
    for (int32_t i = 1; i <= nvr; ++i) s += cstar(k, i) * ac(i);
    ckac(k) = s;
  }
  for (int32_t k = 1; k <= nc; ++k) {
    for (int32_t i = 1; i <= nvr; ++i) cstar(k, i) -= ckac(k) * ct(i) / cac;
  }
}

void matin(MatView<double> a, int32_t n, int32_t /*spare*/, int32_t& rank, double& det) {
  det = 1.0;
  rank = n;
  if (n < 1) return;
  FMatrixD<double> w(n, n);
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) w(i, j) = a(i, j);
  }
  FVector<int32_t> pivoted(n);
  FVector<int32_t> indxr(n);
  FVector<int32_t> indxc(n);
  int32_t taken = 0;
  for (int32_t step = 1; step <= n; ++step) {
    double big = 0.0;
    int32_t irow = 0;
    int32_t icol = 0;
    for (int32_t j = 1; j <= n; ++j) {
      if (pivoted(j) != 0) continue;
      for (int32_t k = 1; k <= n; ++k) {
        if (pivoted(k) == 0 && std::fabs(w(j, k)) > big) {
          big = std::fabs(w(j, k));
          irow = j;
          icol = k;
        }
      }
    }
    if (!(big > 1e-16)) {
      rank = taken;
      det = 0.0;
      break;
    }
    pivoted(icol) = 1;
    if (irow != icol) {
      for (int32_t l = 1; l <= n; ++l) std::swap(w(irow, l), w(icol, l));
      det = -det;
    }
    indxr(step) = irow;
    indxc(step) = icol;
    const double piv = w(icol, icol);
    det *= piv;
    w(icol, icol) = 1.0;
    for (int32_t l = 1; l <= n; ++l) w(icol, l) /= piv;
    for (int32_t ll = 1; ll <= n; ++ll) {
      if (ll == icol) continue;
      const double dum = w(ll, icol);
      w(ll, icol) = 0.0;
      for (int32_t l = 1; l <= n; ++l) w(ll, l) -= w(icol, l) * dum;
    }
    taken = step;
  }
  for (int32_t l = taken; l >= 1; --l) {
    if (indxr(l) == indxc(l)) continue;
    for (int32_t k = 1; k <= n; ++k) std::swap(w(k, indxr(l)), w(k, indxc(l)));
  }
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) a(i, j) = w(i, j);
  }
}

void dcond(MatView<double> a, int32_t n, int32_t mode) {
  if (mode != 1) {
    s9.fill(0.0);
    for (int32_t i = 1; i <= n; ++i) {
      const double s = std::sqrt(std::fabs(a(i, i)));
      // A zero or non-number diagonal would divide the row by zero: leave it unscaled.
      s9(i) = s > 0.0 ? s : 1.0;
    }
  }
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i) {
      const double p = s9(i) * s9(j);
      if (p != 0.0) a(i, j) /= p;
    }
  }
}

}  // namespace vmqp_module
