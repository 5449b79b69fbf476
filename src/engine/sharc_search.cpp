#include "engine/sharc_search.hpp"

#include <algorithm>
#include <cmath>

#include "common/common_data.hpp"

namespace sharc_mod {
namespace {

using common_data::max_params;

constexpr int32_t kMaxVertices = max_params + 1;
using Point = FArray<double, max_params>;
using VertexTable = FMatrix<double, kMaxVertices, max_params>;

// Convergence: the variance of the n + 1 vertex values falls below this.
constexpr double kSimplexTolerance = 2.107342425544702e-11;
// Coordinate refinement (step 8): start step factor, its floor and the relative-change stop.
constexpr double kRefineStep = 0.000122;
constexpr double kRefineStop = 1.49e-9;
constexpr int32_t kRefineSweeps = 20;
constexpr int32_t kRefineFirstStopTest = 6;

// The simplex of one call: the vertex table, the vertex values and the trial vector x, through
// which every point is evaluated (free coordinates from the point, fixed ones as handed in).
class Simplex {
 public:
  Simplex(RunState& rs, VecView<double> x, int32_t n) : rs_(rs), x_(x), n_(n) {}

  void start(double scale);
  // One iteration, steps 1 to 6; true when the simplex has converged.
  bool iterate();
  // Steps 7 and 8: probe and refine the best vertex.
  void refine_best();
  int32_t best() const;
  double value(int32_t v) const { return f_(v); }
  // x := vertex v (free coordinates).
  void load_vertex(int32_t v);

 private:
  double eval_point(const Point& pt);
  double eval_x();
  void set_vertex(int32_t v, const Point& pt, double f);
  void shrink(int32_t l);
  void probe(double& fbest);
  double sweep_coordinates(double g);

  RunState& rs_;
  VecView<double> x_;
  int32_t n_;
  VertexTable t_;                   // vertex v = row v, coordinate i = column i
  FArray<double, kMaxVertices> f_;  // value of each vertex
  Point vm_, vr_, ve_, vc_;         // centroid, reflection, expansion, contraction
};

double Simplex::eval_x() {
  double f = 0.0;
  rs_.f1dim(x_, n_, f);
  return f;
}

double Simplex::eval_point(const Point& pt) {
  for (int32_t i = 1; i <= n_; ++i) {
    if (is_free(i)) x_(i) = pt(i);
  }
  return eval_x();
}

void Simplex::load_vertex(int32_t v) {
  for (int32_t i = 1; i <= n_; ++i) {
    if (is_free(i)) x_(i) = t_(v, i);
  }
}

void Simplex::set_vertex(int32_t v, const Point& pt, double f) {
  for (int32_t i = 1; i <= n_; ++i) t_(v, i) = pt(i);
  f_(v) = f;
}

// Start simplex, steps 2 to 4. The weights w are the absolute coordinates of a regular simplex
// of N + 1 vertices in N = n + 1 dimensions, centred and scaled so that the first vertex lies
// at unit distance from the centre, read vertex after vertex (w(k), k = 0..N(N+1)-1). The
// table is filled from them in the order (a) to (d) below, which for n = 2 and x = (1, 2)
// gives the vertices (0.185185, 0.555556), (1.00037, 2.02) and (1.001925, 2.007698):
// vertices 2..n+1 scaled around x, vertex 1 left at weights (not near x), which widens the
// first steps.
void Simplex::start(double scale) {
  const int32_t nn = n_ + 1;  // N
  FArray<double, (max_params + 1) * (max_params + 2)> w;
  const double corner = (1.0 - std::sqrt(static_cast<double>(nn + 1))) / nn;
  const double centre = (1.0 + corner) / (nn + 1);  // every coordinate of the centroid
  double len2 = 0.0;
  for (int32_t k = 1; k <= nn; ++k) {
    const double c = (k == 1 ? 1.0 : 0.0) - centre;
    len2 += c * c;
  }
  const double len = std::sqrt(len2);
  for (int32_t v = 0; v <= nn; ++v) {
    for (int32_t k = 0; k < nn; ++k) {
      const double raw = v < nn ? (k == v ? 1.0 : 0.0) : corner;
      w(v * nn + k + 1) = std::fabs((raw - centre) / len);
    }
  }
  auto wk = [&w](int32_t k) { return w(k + 1); };  // w counted from 0

  // Counting vertices v and coordinates i from 0 here, T(v, i) = t_(v + 1, i + 1).
  for (int32_t i = 0; i < n_; ++i) {  // (a)
    for (int32_t v = 0; v <= n_; ++v) t_(v + 1, i + 1) = wk((nn + 2) + i * (nn + 1) + v);
  }
  for (int32_t v = 2; v <= n_; v += 2) {  // (b) vertices 2, 4, ... (those beyond n are unused)
    for (int32_t i = 0; i < n_; ++i) t_(v + 1, i + 1) = x_(i + 1);
  }
  for (int32_t v = 0; v <= n_; ++v) {  // (c)
    for (int32_t i = 0; i < n_; ++i) t_(v + 1, i + 1) *= wk(v + i * (nn + 1));
  }
  for (int32_t k = 1; k <= n_ - 1; ++k) t_(k + 1, k + 1) = 1.0;  // (d)
  for (int32_t v = 2; v <= n_ + 1; ++v) {                        // step 3: vertices 2..n+1 around x
    for (int32_t i = 1; i <= n_; ++i) {
      double c = x_(i) + scale * x_(i) * t_(v, i);
      if (c == x_(i)) c = x_(i) + 0.01 * x_(i);
      t_(v, i) = c;
    }
  }
  // Step 4.
  for (int32_t v = 1; v <= nn; ++v) {
    load_vertex(v);
    f_(v) = eval_x();
  }
}

int32_t Simplex::best() const {
  int32_t l = 1;
  for (int32_t v = 2; v <= n_ + 1; ++v) {
    if (f_(v) < f_(l)) l = v;
  }
  return l;
}

// The shrink after a failed inside contraction: every vertex but l moves half-way towards l
// and is evaluated again.
void Simplex::shrink(int32_t l) {
  for (int32_t v = 1; v <= n_ + 1; ++v) {
    if (v == l) continue;
    Point q;
    for (int32_t i = 1; i <= n_; ++i) q(i) = t_(l, i) + 0.5 * (t_(v, i) - t_(l, i));
    set_vertex(v, q, eval_point(q));
  }
}

bool Simplex::iterate() {
  const int32_t nv = n_ + 1;
  // Step 1.
  int32_t h = 0;
  int32_t s = 0;
  int32_t l = 0;
  simplex_order(VecView<const double>(f_.data(), nv), nv, h, s, l);
  const double fl = f_(l);
  const double fs = f_(s);

  // Step 2: running mean of every vertex but h, held within the range of those coordinates.
  for (int32_t i = 1; i <= n_; ++i) {
    double m = 0.0;
    double lo = t_(l, i);
    double hi = t_(l, i);
    int32_t k = 0;
    for (int32_t v = 1; v <= nv; ++v) {
      if (v == h) continue;
      ++k;
      m = m + (t_(v, i) - m) / k;
      lo = std::min(lo, t_(v, i));
      hi = std::max(hi, t_(v, i));
    }
    vm_(i) = std::clamp(m, lo, hi);
  }

  // Step 3: reflection.
  for (int32_t i = 1; i <= n_; ++i) vr_(i) = 2.0 * vm_(i) - t_(h, i);
  const double fr = eval_point(vr_);

  // Step 4.
  if (fr > fs) {
    // Inside contraction; the shrink when it fails. Step 5 is not done.
    for (int32_t i = 1; i <= n_; ++i) vc_(i) = 0.5 * vm_(i) + 0.5 * t_(h, i);
    const double fc = eval_point(vc_);
    if (fc < f_(h)) {
      set_vertex(h, vc_, fc);
    } else {
      shrink(l);
    }
  } else {
    if (fr < fl) {
      for (int32_t i = 1; i <= n_; ++i) ve_(i) = 2.0 * vr_(i) - vm_(i);
      const double fe = eval_point(ve_);
      if (fe < fr) {
        set_vertex(h, ve_, fe);
      } else {
        set_vertex(h, vr_, fr);
      }
    } else if (fr > fl && fr < fs) {
      set_vertex(h, vr_, fr);
    }
    // (fr equal to fl or to fs replaces nothing.)
    // Step 5: outside contraction, kept when below the value vertex h now has; the kept point
    // is evaluated a second time and carries that value.
    for (int32_t i = 1; i <= n_; ++i) vc_(i) = 0.5 * vm_(i) + 0.5 * vr_(i);
    if (eval_point(vc_) < f_(h)) set_vertex(h, vc_, eval_point(vc_));
  }

  // Step 6: variance of the vertex values.
  double mean = 0.0;
  for (int32_t v = 1; v <= nv; ++v) mean += f_(v);
  mean /= nv;
  double var = 0.0;
  for (int32_t v = 1; v <= nv; ++v) var += (f_(v) - mean) * (f_(v) - mean);
  return var / n_ < kSimplexTolerance;
}

// Step 7, the probe of x (which holds the best vertex, value fbest): each free coordinate is
// moved up, else down, by (max(|x(i)|, 1e-6) + 0.001) * 0.001 and keeps a move that lowers
// fbest.
void Simplex::probe(double& fbest) {
  for (int32_t i = 1; i <= n_; ++i) {
    if (!is_free(i)) continue;
    const double old = x_(i);
    const double step = (std::max(std::fabs(old), 1e-6) + 0.001) * 0.001;
    x_(i) = old + step;
    double f = eval_x();
    if (f < fbest) {
      fbest = f;
      continue;
    }
    x_(i) = old - step;
    f = eval_x();
    if (f < fbest) {
      fbest = f;
      continue;
    }
    x_(i) = old;
  }
}

// Step 8: up to 20 sweeps over the free coordinates of x, whose value is g; returns the value
// of x as it ends. Each sweep starts its step factor a at 0.000122 and halves it on every
// improvement; the direction factor d persists and turns after a failed first try.
double Simplex::sweep_coordinates(double g) {
  double d = 2.0;
  for (int32_t sweep = 1; sweep <= kRefineSweeps; ++sweep) {
    const double f_old = g;
    double a = kRefineStep;
    bool early_end = false;
    for (int32_t i = 1; i <= n_ && !early_end; ++i) {
      if (!is_free(i)) continue;
      const double old = x_(i);
      const double t = (std::fabs(old) + a) * a * d;
      x_(i) = old + t;
      double f = eval_x();
      if (!(f < g)) {
        d = -d;
        x_(i) = old - t;
        f = eval_x();
      }
      if (f < g) {
        g = f;
        a = a / 2.0;
        early_end = a < kRefineStop;
      } else {
        x_(i) = old;
      }
    }
    // g is always the value of x as it stands (the reference of the next sweep).
    if (early_end) break;
    if (sweep >= kRefineFirstStopTest && std::fabs((g - f_old) / (f_old + g)) < kRefineStop) break;
  }
  return g;
}

void Simplex::refine_best() {
  // Step 7. The probe starts from the best vertex itself, so that the refined vertex carries
  // the value of its own coordinates.
  const int32_t l = best();
  load_vertex(l);
  double fbest = f_(l);
  probe(fbest);
  double moved = 1.0;
  pbounds3(x_,
           n_,
           VecView<const double>(rs_.lo.data(), n_),
           VecView<const double>(rs_.hi.data(), n_),
           moved);
  // A vector the bounds rule moved is evaluated again: its old value is not its own.
  if (moved != 1.0) fbest = eval_x();

  // Step 8.
  const double g = sweep_coordinates(fbest);
  for (int32_t i = 1; i <= n_; ++i) t_(l, i) = x_(i);
  f_(l) = g;
}

// Hooke-Jeeves "best nearby" exploratory move from point, whose value is taken as prevbest:
// each free coordinate tries point(i) + delta(i), then the reversed step, and keeps a trial that
// lowers the value. point becomes the best point found; returns its value.
double best_nearby(RunState& rs, Point& delta, Point& point, double prevbest, int32_t n) {
  Point z = point;
  double minf = prevbest;
  for (int32_t i = 1; i <= n; ++i) {
    if (!is_free(i)) continue;
    double f = 0.0;
    z(i) = point(i) + delta(i);
    rs.f1dim(z.view(n), n, f);
    if (f < minf) {
      minf = f;
      continue;
    }
    delta(i) = -delta(i);
    z(i) = point(i) + delta(i);
    rs.f1dim(z.view(n), n, f);
    if (f < minf) {
      minf = f;
    } else {
      z(i) = point(i);
    }
  }
  point = z;
  return minf;
}

// True when some free coordinate moved by more than half its step: a pattern move that gained
// only through rounding ends the pattern moves.
bool moved_by_steps(const Point& newx, const Point& xbefore, const Point& delta, int32_t n) {
  for (int32_t i = 1; i <= n; ++i) {
    if (is_free(i) && std::fabs(newx(i) - xbefore(i)) > 0.5 * std::fabs(delta(i))) return true;
  }
  return false;
}

}  // namespace

void simplex_order(VecView<const double> f, int32_t nv, int32_t& h, int32_t& s, int32_t& l) {
  h = 1;
  l = 1;
  for (int32_t v = 2; v <= nv; ++v) {
    if (f(v) > f(h)) h = v;
    if (f(v) < f(l)) l = v;
  }
  s = l;
  for (int32_t v = 1; v <= nv; ++v) {
    if (f(v) < f(h) && f(v) > f(s)) s = v;
  }
}

void simplex(
    RunState& rs, VecView<double> x, int32_t n, double& fmin, double scale, int32_t maxit) {
  if (n < 1 || n > max_params) return;  // the vertex table holds at most max_params
  // Start simplex, step 1.
  Point x0;
  for (int32_t i = 1; i <= n; ++i) x0(i) = x(i);
  const double f0 = fmin;

  Simplex sx(rs, x, n);
  sx.start(scale);
  for (int32_t iter = 1; iter <= maxit; ++iter) {
    if (sx.iterate()) break;
    sx.refine_best();
  }

  // End: the best vertex and its own value, unless that is above the value handed in.
  const int32_t l = sx.best();
  if (sx.value(l) > f0) {
    for (int32_t i = 1; i <= n; ++i) x(i) = x0(i);
    fmin = f0;
    return;
  }
  sx.load_vertex(l);
  fmin = sx.value(l);
}

void hooke(RunState& rs,
           int32_t n,
           VecView<const double> x,
           VecView<double> endpt,
           VecView<const double> lo,
           VecView<const double> hi,
           double& fmin,
           double rho,
           double eps,
           int32_t itermax) {
  if (n < 1 || n > max_params) {  // the work vectors hold at most max_params
    for (int32_t i = 1; i <= n && i <= endpt.size(); ++i) endpt(i) = x(i);
    return;
  }
  // Steps 1 and 2.
  Point delta, xbefore, newx;
  for (int32_t i = 1; i <= n; ++i) {
    delta(i) = x(i) != 0.0 ? std::fabs(x(i)) * rho : rho;
    xbefore(i) = x(i);
  }
  double s = rho;
  newx = xbefore;
  double fbefore = 0.0;
  rs.f1dim(newx.view(n), n, fbefore);

  // Step 3: while the step is above eps, explore around the base point xbefore and follow
  // each improvement with pattern moves 2 * newx - xbefore; shrink the steps when nothing
  // improves.
  for (int32_t iters = 0; iters < itermax && s > eps;) {
    ++iters;
    // Step 3.1.
    newx = xbefore;
    double newf = best_nearby(rs, delta, newx, fbefore, n);
    // Step 3.2: pattern moves.
    for (int32_t moves = 0; newf < fbefore;) {
      for (int32_t i = 1; i <= n; ++i) {
        if (!is_free(i)) continue;
        delta(i) = xbefore(i) >= newx(i) ? -std::fabs(delta(i)) : std::fabs(delta(i));
        const double tmp = xbefore(i);
        xbefore(i) = newx(i);
        newx(i) = newx(i) + newx(i) - tmp;
      }
      fbefore = newf;
      newf = best_nearby(rs, delta, newx, fbefore, n);
      pbounds3(newx.view(n), n, lo, hi, newf);  // a moved point carries a doubled value
      if (newf >= fbefore) break;
      if (!moved_by_steps(newx, xbefore, delta, n)) break;
      if (++moves >= itermax) break;
    }
    // Step 3.3. (s > eps holds here.) After an improvement the base point becomes the
    // improved point, so that the base point and fbefore always belong together.
    if (newf >= fbefore) {
      s = s * rho;
      for (int32_t i = 1; i <= n; ++i) delta(i) = delta(i) * rho;
    } else {
      xbefore = newx;
    }
    rs.f1dim(xbefore.view(n), n, fbefore);
  }

  // Step 4.
  if (fbefore < fmin) {
    for (int32_t i = 1; i <= n; ++i) endpt(i) = xbefore(i);
    fmin = fbefore;
  } else {
    for (int32_t i = 1; i <= n; ++i) endpt(i) = x(i);
  }
}

}  // namespace sharc_mod
