// vmcwd_vmcon_mod::qpsub: the quadratic programme of one iteration of vmcon and vmcwd, solved
// by a primal active-set method in z = (d, xi), N = n + 1.
//
// Constraint numbers: 1..N the lower bounds of z, N+1..2N the upper bounds, 2N + i general
// constraint i. Each is written n_k . z >= b_k (an equality keeps = ): a lower bound has the
// normal +e_j, an upper bound -e_j, general constraint i the column a_i with its xi coefficient
// (c_i for an equality with c_i < 0, else 0) in row N. The working set W holds the numbers of
// the constraints treated as equalities; its normals are kept linearly independent, since a
// constraint enters only when the step moves along its normal.
//
// Phase 1 reaches a point that meets every constraint: the working constraints are met by the
// least-change correction A (A'A)^-1 (b - A'z), then the sum of the normals of the violated
// constraints, projected onto the null space of A', is followed to the first constraint that
// becomes met or would become violated (the ratio test), which enters W. When the projection
// vanishes, the working inequality with the largest positive multiplier in v = A sigma leaves;
// when none has one, the constraints are inconsistent (code 5).
// Phase 2 (qpmode <= 3) minimises q(z) = 0.5 z'Hz + g'z, H = B bordered by a zero row and
// column N, g = (fgrad, -1e10): the step p and the multipliers mu of W solve the KKT system
//   [ H  A ] [ p ]   [ -(Hz + g) ]
//   [ A' 0 ] [-mu] = [     0     ],
// inverted by mb01cd2 (a vertex, |W| = N, takes mu from A^-1 by mb01bd and p = 0); the step is
// cut by the ratio test, whose constraint enters W; at p = 0 the working inequality with the
// most negative multiplier below -1e-24 leaves, and without one z is optimal.
//
// Departure from a vertex method: W is not completed to N members with the bounds nearest to z,
// because a vertex of the artificial bounds +-1e10 would carry d at 1e10 and lose every digit
// of a step of order 1; W grows only by blocking constraints. The artificial bounds still end
// the method with code 6 when a step runs into one.
#include <algorithm>
#include <cmath>
#include <vector>

#include "constrained/vmcwd_vmcon_mod.hpp"

namespace vmcwd_vmcon_mod {
namespace {

constexpr double kVlarge = 1e10;                 // artificial bound of |d_j|; xi's weight
constexpr double kXiTiny = 1e-6;                 // xi at or below: no feasible point
constexpr double kXiCut = 0.9;                   // xi's upper bound on the repeat solve
constexpr double kSignTol = double(1.0e-24f);    // a multiplier below -kSignTol leaves W
constexpr double kLambdaMax = double(1.0e25f);   // largest |lambda_i|
constexpr double kRatioStart = double(1.0e25f);  // ratio test start
// Slack below -kFeasTol (1 + |b_k|) counts as violated: the rounding left by a step that just
// met a constraint must not mark it violated again.
constexpr double kFeasTol = 1e-12;
// A step whose largest component is below kStepTol (1 + |z|) is zero: rounding of the KKT
// solve at an optimum.
constexpr double kStepTol = 1e-13;
constexpr int32_t kMaxWork = 2 * kDim;  // working matrix order: KKT system of N + |W| <= 50

class Qp {
 public:
  Qp(int32_t n,
     int32_t m,
     int32_t meq,
     const GradArray& fgrad,
     const ConsArray& c,
     const ConsGrad& cnorm)
      : n_(n),
        nn_(n + 1),
        m_(m),
        meq_(meq),
        fgrad_(fgrad),
        c_(c),
        cnorm_(cnorm),
        z_(n + 1),
        lo_(n + 1),
        hi_(n + 1) {}

  int32_t solve(int32_t qpmode);
  void output(int32_t info);

 private:
  int32_t ncons() const { return 2 * nn_ + m_; }
  bool is_equality(int32_t k) const { return k > 2 * nn_ && k - 2 * nn_ <= meq_; }
  double xi_coef(int32_t i) const { return i <= meq_ && c_(i) < 0.0 ? c_(i) : 0.0; }
  double normal(int32_t k, int32_t j) const;
  double rhs(int32_t k) const;
  double dot_normal(int32_t k, const FVector<double>& v) const;
  double slack(int32_t k) const { return dot_normal(k, z_) - rhs(k); }
  bool violated(int32_t k) const { return slack(k) < -kFeasTol * (1.0 + std::fabs(rhs(k))); }
  bool in_work(int32_t k) const { return std::find(w_.begin(), w_.end(), k) != w_.end(); }
  void start_working_set();
  bool gram_inverse();
  FVector<double> gram_solve(const FVector<double>& v) const;  // (A'A)^-1 A' v
  bool meet_working_set();
  int32_t phase1(int32_t& it);
  int32_t phase2(int32_t& it);
  bool drop_most_negative(const FVector<double>& mu, int32_t& dropped);
  int32_t ratio_test(const FVector<double>& p, bool from_violated, double& t) const;
  FVector<double> objective_gradient() const;
  void step(const FVector<double>& p, double t);

  int32_t n_, nn_, m_, meq_;
  const GradArray& fgrad_;
  const ConsArray& c_;
  const ConsGrad& cnorm_;
  FVector<double> z_, lo_, hi_;
  std::vector<int32_t> w_;                    // working set, constraint numbers
  FMatrix<double, kMaxWork, kMaxWork> work_;  // inverted working matrix
  int32_t max_iter_ = 0;
};

double Qp::normal(int32_t k, int32_t j) const {
  if (k <= nn_) return j == k ? 1.0 : 0.0;
  if (k <= 2 * nn_) return j == k - nn_ ? -1.0 : 0.0;
  const int32_t i = k - 2 * nn_;
  return j <= n_ ? cnorm_(j, i) : xi_coef(i);
}

double Qp::rhs(int32_t k) const {
  if (k <= nn_) return lo_(k);
  if (k <= 2 * nn_) return -hi_(k - nn_);
  const int32_t i = k - 2 * nn_;
  return xi_coef(i) != 0.0 ? 0.0 : -c_(i);
}

double Qp::dot_normal(int32_t k, const FVector<double>& v) const {
  if (k <= nn_) return v(k);
  if (k <= 2 * nn_) return -v(k - nn_);
  const int32_t i = k - 2 * nn_;
  double s = xi_coef(i) * v(nn_);
  for (int32_t j = 1; j <= n_; ++j) s += cnorm_(j, i) * v(j);
  return s;
}

// Set-up of the working set: the equalities, then xi's upper bound.
void Qp::start_working_set() {
  w_.clear();
  for (int32_t i = 1; i <= meq_; ++i) w_.push_back(2 * nn_ + i);
  w_.push_back(2 * nn_);
}

// work_ := (A'A)^-1 for the normals A of W; false when it is singular.
bool Qp::gram_inverse() {
  const int32_t k = static_cast<int32_t>(w_.size());
  for (int32_t a = 1; a <= k; ++a) {
    for (int32_t b = 1; b <= k; ++b) {
      double s = 0.0;
      for (int32_t j = 1; j <= nn_; ++j) s += normal(w_[a - 1], j) * normal(w_[b - 1], j);
      work_(a, b) = s;
    }
  }
  return mb01cd2(work_.view(), k) == 0;
}

FVector<double> Qp::gram_solve(const FVector<double>& v) const {
  const int32_t k = static_cast<int32_t>(w_.size());
  FVector<double> atv(k), sigma(k);
  for (int32_t a = 1; a <= k; ++a) atv(a) = dot_normal(w_[a - 1], v);
  for (int32_t a = 1; a <= k; ++a) {
    for (int32_t b = 1; b <= k; ++b) sigma(a) += work_(a, b) * atv(b);
  }
  return sigma;
}

// z := z + A (A'A)^-1 (b - A'z): the least change that meets every working constraint.
bool Qp::meet_working_set() {
  if (!gram_inverse()) return false;
  const int32_t k = static_cast<int32_t>(w_.size());
  FVector<double> r(k), sigma(k);
  for (int32_t a = 1; a <= k; ++a) r(a) = -slack(w_[a - 1]);
  for (int32_t a = 1; a <= k; ++a) {
    for (int32_t b = 1; b <= k; ++b) sigma(a) += work_(a, b) * r(b);
  }
  for (int32_t a = 1; a <= k; ++a) {
    for (int32_t j = 1; j <= nn_; ++j) z_(j) += normal(w_[a - 1], j) * sigma(a);
  }
  return true;
}

// Removes the working inequality whose multiplier is the most negative below -kSignTol (the
// first of equal ones) and names it in `dropped`; false when there is none.
bool Qp::drop_most_negative(const FVector<double>& mu, int32_t& dropped) {
  int32_t leave = 0;
  double least = -kSignTol;
  for (int32_t a = 1; a <= static_cast<int32_t>(w_.size()); ++a) {
    if (is_equality(w_[a - 1])) continue;  // equalities never leave
    if (mu(a) < least) {
      least = mu(a);
      leave = a;
    }
  }
  if (leave == 0) return false;
  dropped = w_[leave - 1];
  w_.erase(w_.begin() + (leave - 1));
  return true;
}

// The first constraint outside W met along z + t p: in phase 1 a violated one becomes met at
// t = -slack / rate (rate > 0), and a met one becomes violated at t = slack / -rate (rate < 0).
// Returns the constraint (0: none) and its ratio in t; a later one replaces the choice only
// with a strictly smaller ratio.
int32_t Qp::ratio_test(const FVector<double>& p, bool from_violated, double& t) const {
  double pmax = 0.0;
  for (int32_t j = 1; j <= nn_; ++j) pmax = std::max(pmax, std::fabs(p(j)));
  const double tiny = 1e-14 * pmax;  // a rate this small is rounding of a zero rate
  int32_t block = 0;
  t = kRatioStart;
  for (int32_t k = 1; k <= ncons(); ++k) {
    if (in_work(k)) continue;
    const double rate = dot_normal(k, p);
    const double s = slack(k);
    double ratio = kRatioStart;
    if (from_violated && violated(k)) {
      if (rate > tiny) ratio = -s / rate;
    } else if (rate < -tiny) {
      ratio = std::max(s, 0.0) / -rate;
    }
    if (ratio < t) {
      t = ratio;
      block = k;
    }
  }
  return block;
}

void Qp::step(const FVector<double>& p, double t) {
  for (int32_t j = 1; j <= nn_; ++j) z_(j) += t * p(j);
}

// Phase 1 (above). Returns 0 when z meets every constraint, else 5.
int32_t Qp::phase1(int32_t& it) {
  if (!meet_working_set()) return kInfeasible;
  for (;;) {
    FVector<double> v(nn_);
    bool any = false;
    for (int32_t k = 1; k <= ncons(); ++k) {
      if (in_work(k) || !violated(k)) continue;
      any = true;
      for (int32_t j = 1; j <= nn_; ++j) v(j) += normal(k, j);
    }
    if (!any) return 0;
    if (++it > max_iter_) return kInfeasible;  // cap: cycling is not left to run for ever
    if (!gram_inverse()) return kInfeasible;
    const FVector<double> sigma = gram_solve(v);
    FVector<double> p = v;
    double pmax = 0.0, vmax = 0.0;
    for (int32_t a = 1; a <= static_cast<int32_t>(w_.size()); ++a) {
      for (int32_t j = 1; j <= nn_; ++j) p(j) -= normal(w_[a - 1], j) * sigma(a);
    }
    for (int32_t j = 1; j <= nn_; ++j) {
      pmax = std::max(pmax, std::fabs(p(j)));
      vmax = std::max(vmax, std::fabs(v(j)));
    }
    if (pmax <= 1e-12 * vmax) {
      // v = A sigma: moving off working constraint k raises v.z at the rate sigma_k, so the
      // one with the largest positive sigma leaves.
      FVector<double> minus_sigma(static_cast<int32_t>(w_.size()));
      for (int32_t a = 1; a <= minus_sigma.size(); ++a) minus_sigma(a) = -sigma(a);
      int32_t dropped = 0;
      if (!drop_most_negative(minus_sigma, dropped)) return kInfeasible;
      continue;
    }
    double t = 0.0;
    const int32_t k = ratio_test(p, true, t);
    if (k == 0) return kInfeasible;  // no breakpoint: nothing met along p (rounding only)
    step(p, t);
    w_.push_back(k);
  }
}

// Hz + g.
FVector<double> Qp::objective_gradient() const {
  FVector<double> gz(nn_);
  for (int32_t i = 1; i <= n_; ++i) {
    double s = fgrad_(i);
    for (int32_t j = 1; j <= n_; ++j) s += vmvdb.b(i, j) * z_(j);
    gz(i) = s;
  }
  gz(nn_) = -kVlarge;
  return gz;
}

// Phase 2 (above). Returns 0 at the optimum, else 5.
int32_t Qp::phase2(int32_t& it) {
  // After a full step z minimises q on the working set's subspace: what the next solve gives
  // as p is rounding (large when B is ill-conditioned), and only its multipliers count.
  bool on_minimum = false;
  int32_t dropped = 0;  // the constraint that has just left W
  for (;;) {
    if (++it > max_iter_) return kInfeasible;
    const int32_t k = static_cast<int32_t>(w_.size());
    const FVector<double> gz = objective_gradient();
    FVector<double> p(nn_), mu(k);
    work_.fill(0.0);
    if (k == nn_) {
      // A vertex: A mu = Hz + g with the square normal matrix A, and no step.
      for (int32_t a = 1; a <= k; ++a) {
        for (int32_t j = 1; j <= nn_; ++j) work_(j, a) = normal(w_[a - 1], j);
      }
      if (mb01bd(work_.view(), nn_) != 0) return kInfeasible;
      for (int32_t a = 1; a <= k; ++a) {
        for (int32_t j = 1; j <= nn_; ++j) mu(a) += work_(a, j) * gz(j);
      }
    } else {
      const int32_t order = nn_ + k;
      for (int32_t i = 1; i <= n_; ++i) {
        for (int32_t j = 1; j <= n_; ++j) work_(i, j) = vmvdb.b(i, j);
      }
      for (int32_t a = 1; a <= k; ++a) {
        for (int32_t j = 1; j <= nn_; ++j) {
          work_(j, nn_ + a) = normal(w_[a - 1], j);
          work_(nn_ + a, j) = work_(j, nn_ + a);
        }
      }
      if (mb01cd2(work_.view(), order) != 0) return kInfeasible;
      for (int32_t r = 1; r <= order; ++r) {
        double s = 0.0;
        for (int32_t j = 1; j <= nn_; ++j) s -= work_(r, j) * gz(j);
        if (r <= nn_) {
          p(r) = s;
        } else {
          mu(r - nn_) = -s;
        }
      }
    }
    double pmax = 0.0, zmax = 0.0;
    for (int32_t j = 1; j <= nn_; ++j) {
      pmax = std::max(pmax, std::fabs(p(j)));
      zmax = std::max(zmax, std::fabs(z_(j)));
    }
    if (pmax != pmax) return kInfeasible;  // a step that is not a number: B is not usable
    if (on_minimum || !(pmax > kStepTol * (1.0 + zmax))) {
      if (!drop_most_negative(mu, dropped)) return 0;
      on_minimum = false;
      continue;
    }
    double t = 0.0;
    const int32_t block = ratio_test(p, false, t);
    // With B positive definite on the subspace, the step after a drop moves off the dropped
    // constraint. Moving into it instead means B is (numerically) singular there: the step
    // is not bounded by the constraints and the drop and re-entry would cycle for ever.
    if (block != 0 && block == dropped && t == 0.0) return kArtificialBound;
    dropped = 0;
    if (block != 0 && t < 1.0) {
      step(p, t);
      w_.push_back(block);
    } else {
      step(p, 1.0);
      on_minimum = true;
    }
  }
}

int32_t Qp::solve(int32_t qpmode) {
  // Set-up: d := 0 within +-1e10, xi := 1 within [0, 1].
  for (int32_t j = 1; j <= n_; ++j) {
    z_(j) = 0.0;
    lo_(j) = -kVlarge;
    hi_(j) = kVlarge;
  }
  z_(nn_) = 1.0;
  lo_(nn_) = 0.0;
  hi_(nn_) = 1.0;
  // Each phase step adds or drops one working constraint; a generous cap guards cycling.
  max_iter_ = 10 * (ncons() + nn_);
  for (int32_t solve_no = 1;; ++solve_no) {
    start_working_set();
    int32_t it = 0;
    int32_t info = phase1(it);
    if (info == 0 && qpmode <= 3) info = phase2(it);
    if (info != 0) return info;
    // Final check 1.
    if (z_(nn_) <= kXiTiny) return kInfeasible;
    // Final check 2: an artificial bound (or xi's lower bound) in W.
    bool xi_at_top = false;
    for (int32_t k : w_) {
      if (k < 2 * nn_) return kArtificialBound;
      if (k == 2 * nn_) xi_at_top = true;
    }
    // Final check 3: xi below its bound is tried once more with the bound 0.9 xi.
    if (xi_at_top) return kConverged;
    if (solve_no > 1) return kInfeasible;
    hi_(nn_) = kXiCut * z_(nn_);
  }
}

// Output step: d, xi and the multipliers of the general constraints in W into vmvdb.
void Qp::output(int32_t info) {
  FVector<double> mu(static_cast<int32_t>(w_.size()));
  if (info != kArtificialBound && gram_inverse()) mu = gram_solve(objective_gradient());
  for (int32_t j = 1; j <= nn_; ++j) {
    // A component that is not a finite number is replaced by 1e-24. (An exact 0 is kept: a
    // fixed parameter or one held at its bound must not be moved by the step.)
    vmvdb.d(j) = std::isfinite(z_(j)) ? z_(j) : kSignTol;
  }
  if (info == kArtificialBound) return;
  for (int32_t i = 1; i <= m_; ++i) vmvdb.lambda(i) = 0.0;
  for (int32_t a = 1; a <= static_cast<int32_t>(w_.size()); ++a) {
    if (w_[a - 1] > 2 * nn_) vmvdb.lambda(w_[a - 1] - 2 * nn_) = mu(a);
  }
  for (int32_t i = 1; i <= m_; ++i) {
    double l = vmvdb.lambda(i);
    if (l != l) l = 0.0;  // a multiplier that is not a number comes back as +1e-24
    const double a = std::clamp(std::fabs(l), kSignTol, kLambdaMax);
    vmvdb.lambda(i) = l < 0.0 ? -a : a;
  }
}

}  // namespace

void qpsub(int32_t n,
           int32_t m,
           int32_t meq,
           const GradArray& fgrad,
           const ConsArray& c,
           const ConsGrad& cnorm,
           int32_t /*iprint*/,
           int32_t& info,
           int32_t qpmode) {
  // Every entry is a fresh problem: nothing of an earlier solve is reused.
  Qp qp(n, m, meq, fgrad, c, cnorm);
  info = qp.solve(qpmode);
  qp.output(info);
}

}  // namespace vmcwd_vmcon_mod
