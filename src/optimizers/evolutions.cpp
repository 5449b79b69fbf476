#include "optimizers/evolutions.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/common_data.hpp"
#include "model/funct.hpp"
#include "numerics/runtime_rng.hpp"
#include "optimizers/bounds_rule.hpp"
#include "optimizers/optim_support.hpp"

namespace evolutions {
namespace {

using common_data::max_params;
using common_data::max_rows;

constexpr double kBig = 4.503599727262001e19;        // the objective's bounds and worst sum
constexpr double kNanSum = 6710886474.424971;        // the objective's value for a NaN sum
constexpr double kSuspect = 1.4901161193847657e-10;  // sums below this are taken as failures
constexpr double kTwoPi = 6.283185307179586;
constexpr int32_t kMaxMembers = 100;
constexpr int32_t kReseedPeriod = 50;  // generations between re-seedings of half the population
// Index draws that collide are repeated; a generator that keeps repeating itself (possible only
// under a test seam that re-seeds identically) falls back to the first free index after this
// many tries instead of looping for ever.
constexpr int32_t kMaxRedraws = 100;

// Work copies of the objective, sized once for the largest data set (it runs per trial vector).
struct RegfuncWork {
  FArray<double, max_rows> yf;
  FArray<double, max_rows> ydf_before;
};
RegfuncWork rw;

// Evaluates the model at x(1..n) on the shared data set; returns funct::fun's weighted sum.
// yf receives the fitted values (rows 1..nd).
double evaluate_model(VecView<const double> x, int32_t n) {
  return optim_support::fun_shared_data(x, n, rw.yf.view(common_data::nd));
}

// One number of randomu.
double draw() {
  double u = 0.0;
  evolutions::randomu(u);
  return u;
}

// The state of one call of evol: population, trial and index work, allocated once.
class Search {
 public:
  Search(int32_t m, int32_t n)
      : m_(m),
        n_(n),
        np_(std::min(20 * n, kMaxMembers)),
        pop_(np_, n),
        next_(np_, n),
        fitness_(np_),
        next_fitness_(np_),
        base_(n),
        trial_(n),
        vec_(n),
        scan_(n),
        scan_try_(n) {}

  // Start, step 4: members drawn within 150 % of b on either side; b is kept for the fixed
  // parameters.
  void initial_population(const FVector<double>& b) {
    for (int32_t i = 1; i <= n_; ++i) base_(i) = b(i);
    for (int32_t j = 1; j <= np_; ++j) {
      for (int32_t i = 1; i <= n_; ++i) {
        pop_(j, i) = free(i) ? b(i) + 3.0 * (draw() - 0.5) * b(i) : b(i);
      }
    }
  }

  // One generation, steps 2-9; x and fsum receive the best member (step 6).
  void generation(int32_t g, VecView<double> x, double& fsum) {
    if (g >= 2) {  // step 2: two numbers drawn and discarded
      draw();
      draw();
    }
    // Step 3.
    for (int32_t j = 1; j <= np_; ++j) fitness_(j) = evaluate_member(pop_, j, vec_);
    scan(vec_);  // step 4, around the last member evaluated
    // Step 5.
    for (int32_t j = 1; j <= np_; ++j) {
      if (fitness_(j) > scan_best_) {
        for (int32_t i = 1; i <= n_; ++i) pop_(j, i) = scan_(i);
        fitness_(j) = scan_best_;
      }
    }
    // Step 6: the first of the lowest.
    int32_t best = 1;
    for (int32_t j = 2; j <= np_; ++j) {
      if (fitness_(j) < fitness_(best)) best = j;
    }
    for (int32_t i = 1; i <= n_; ++i) x(i) = free(i) ? pop_(best, i) : base_(i);
    fsum = fitness_(best);
    reseed();                // step 7
    trials();                // step 8
    std::swap(pop_, next_);  // step 9
    std::swap(fitness_, next_fitness_);
  }

  double objective(VecView<double> v) {
    double f = 0.0;
    regfunc(v, VecView<const int32_t>(common_data::pmask.data(), n_), f, n_, m_);
    return f;
  }

 private:
  bool free(int32_t i) const { return common_data::pmask(i) != 0; }

  // Member j of population p as a parameter vector in v (fixed parameters from b), evaluated.
  double evaluate_member(FMatrixD<double>& p, int32_t j, FVector<double>& v) {
    for (int32_t i = 1; i <= n_; ++i) v(i) = free(i) ? p(j, i) : base_(i);
    return objective(v.view());
  }

  // Step 4: 11 tries v(i) * (1 + k u 1e-4), k = -5..5, each from the same vector v; the lowest
  // (the first try always, as the best starts at 1e30) is kept in scan_ / scan_best_.
  void scan(const FVector<double>& v) {
    scan_best_ = 1e30;
    for (int32_t k = -5; k <= 5; ++k) {
      for (int32_t i = 1; i <= n_; ++i) {
        scan_try_(i) = free(i) ? v(i) * (1.0 + k * draw() * 0.0001) : v(i);
      }
      const double f = objective(scan_try_.view());
      if (f < scan_best_) {
        scan_best_ = f;
        for (int32_t i = 1; i <= n_; ++i) scan_(i) = scan_try_(i);
      }
    }
  }

  // Step 7: every 50th generation, unless a draw exceeds 0.9, the upper half of the
  // population is drawn afresh around the scan's vector.
  void reseed() {
    if (++reseed_count_ < kReseedPeriod) return;
    reseed_count_ = 0;
    if (draw() > 0.9) return;
    for (int32_t j = np_ / 2 + 1; j <= np_; ++j) {
      for (int32_t i = 1; i <= n_; ++i) pop_(j, i) = scan_(i) + 2.0 * (draw() - 0.5) * scan_(i);
    }
  }

  // Four member indices, distinct from each other and from i. Even members draw, with a
  // probability of 0.1, from the lower half (the first three) or just above its end (the fourth).
  void draw_indices(int32_t i, bool even) {
    const int32_t h = np_ / 2;
    for (int32_t q = 0; q < 4; ++q) {
      for (int32_t tries = 1;; ++tries) {
        const double u = draw();
        int32_t k = static_cast<int32_t>(u * np_) + 1;
        if (even && u <= 0.1) {
          k = q < 3 ? static_cast<int32_t>(u * h) + 1 : h + static_cast<int32_t>(u * (np_ - h));
        }
        if (tries > kMaxRedraws) k = first_unused(i, q);
        if (unused(k, i, q)) {
          idx_[q] = k;
          break;
        }
      }
    }
  }
  bool unused(int32_t k, int32_t i, int32_t q) const {
    if (k < 1 || k > np_ || k == i) return false;
    for (int32_t r = 0; r < q; ++r) {
      if (idx_[r] == k) return false;
    }
    return true;
  }
  int32_t first_unused(int32_t i, int32_t q) const {
    int32_t k = 1;
    while (!unused(k, i, q)) ++k;
    return k;
  }

  // The difference form of member i's parity for parameter j: P(a) + 0.7 (P(d) - P(c)), plus
  // the small second difference 0.005 (P(c) - 0.5 P(b) - 0.5 P(a)) for even members.
  double difference(int32_t j, bool even) const {
    return pop_(a(), j) + 0.7 * (pop_(d(), j) - pop_(c(), j)) + second(j, even);
  }
  double second(int32_t j, bool even) const {
    if (!even) return 0.0;
    return 0.005 * (pop_(c(), j) - 0.5 * pop_(b(), j) - 0.5 * pop_(a(), j));
  }
  int32_t a() const { return idx_[0]; }
  int32_t b() const { return idx_[1]; }
  int32_t c() const { return idx_[2]; }
  int32_t d() const { return idx_[3]; }

  // Step 8: one trial per member; a lower trial replaces the member in the next generation.
  void trials() {
    for (int32_t i = 1; i <= np_; ++i) {
      for (int32_t j = 1; j <= n_; ++j) next_(i, j) = pop_(i, j);
      next_fitness_(i) = fitness_(i);
      const bool even = i % 2 == 0;
      draw_indices(i, even);
      // Every form starts from a copy of the member; fixed parameters are never mutated.
      for (int32_t j = 1; j <= n_; ++j) trial_(j) = pop_(i, j);
      const double r = draw();
      if (r <= 0.1) {
        binomial(even);
      } else if (r <= 0.8) {  // r = 0.8 exactly, unassigned otherwise, goes to this form
        exponential(even);
      } else if (draw() <= 0.95) {
        normal(i, even);
      } else {
        for (int32_t j = 1; j <= n_; ++j) {
          if (free(j)) trial_(j) = pop_(a(), j) - pop_(d(), j) + pop_(i, j) + second(j, even);
        }
      }
      const double f = evaluate_member_vector(trial_);
      if (f < fitness_(i)) {
        for (int32_t j = 1; j <= n_; ++j) next_(i, j) = vec_(j);
        next_fitness_(i) = f;
      }
    }
  }
  double evaluate_member_vector(const FVector<double>& t) {
    for (int32_t i = 1; i <= n_; ++i) vec_(i) = free(i) ? t(i) : base_(i);
    return objective(vec_.view());
  }

  // Binomial crossover: each free parameter takes the difference form when a draw is <= 0.95.
  void binomial(bool even) {
    for (int32_t j = 1; j <= n_; ++j) {
      if (free(j) && draw() <= 0.95) trial_(j) = difference(j, even);
    }
  }

  // Exponential crossover: from parameter int(n u) + 1 on, cyclically, while a draw is at least
  // 0.95, at most n parameters.
  void exponential(bool even) {
    int32_t j = static_cast<int32_t>(n_ * draw()) + 1;
    for (int32_t changed = 1; changed <= n_; ++changed) {
      if (free(j)) trial_(j) = difference(j, even);
      if (draw() < 0.95) break;
      j = j % n_ + 1;
    }
  }

  // A normal deviate along the difference P(a) + P(d) - 2 P(i). u1 is taken from (0, 1] so
  // that the logarithm stays finite.
  void normal(int32_t i, bool even) {
    const double u1 = 1.0 - draw();
    const double u2 = draw();
    const double z = std::sqrt(-2.0 * std::log(u1)) * std::cos(kTwoPi * u2);
    for (int32_t j = 1; j <= n_; ++j) {
      if (!free(j)) continue;
      const double spread = pop_(a(), j) + pop_(d(), j) - 2.0 * pop_(i, j);
      trial_(j) = even ? pop_(i, j) + 0.005 * z * spread + second(j, even)
                       : pop_(i, j) + 2.0 * (z - 0.5) * spread;
    }
  }

  int32_t m_;
  int32_t n_;
  int32_t np_;               // population size NP
  FMatrixD<double> pop_;     // NP x n, member-fastest
  FMatrixD<double> next_;    // the next generation
  FVector<double> fitness_;  // value of each member
  FVector<double> next_fitness_;
  FVector<double> base_;      // b: the start vector, source of the fixed parameters
  FVector<double> trial_;     // trial vector of a member
  FVector<double> vec_;       // the vector last evaluated
  FVector<double> scan_;      // the scan's best vector
  FVector<double> scan_try_;  // one scan try
  double scan_best_ = 1e30;
  int32_t reseed_count_ = 0;
  int32_t idx_[4] = {1, 1, 1, 1};  // member indices a, b, c, d
};

}  // namespace

void randomu(double& u) {
  runtime_rng::seed_processor();
  double draws[11];
  runtime_rng::uniforms(draws);
  int32_t s = 0;
  for (int32_t k = 1; k <= 10; ++k) s += static_cast<int32_t>((k - 6) * draws[k - 1]);
  u = draws[std::abs(s)];  // |s| <= 10: one of the 11 draws
}

void regfunc(
    VecView<double> x, VecView<const int32_t> /*mask*/, double& fval, int32_t n, int32_t m) {
  ++kff;
  if (n > max_params || n < 0 || common_data::nd > max_rows) {  // more than the shared arrays hold
    fval = kBig;
    return;
  }
  // (1) Only values beyond 0.95 of the huge bounds are replaced.
  if (regdat.bounds != 0) {
    bool moved = false;
    for (int32_t i = 1; i <= n; ++i) {
      if (common_data::pmask(i) != 0) x(i) = bounds_rule::apply(x(i), -kBig, kBig, moved);
    }
  }
  // (2)
  const int32_t nd = common_data::nd;
  for (int32_t i = 1; i <= nd; ++i) rw.ydf_before(i) = common_data::ydf(i);
  evaluate_model(VecView<const double>(x.data(), n), n);
  for (int32_t k = 1; k <= n; ++k) common_data::pfinal(k) = x(k);
  for (int32_t i = 1; i <= nd; ++i) common_data::ydf(i) = rw.yf(i);
  // (3) The unweighted sum; a NaN sum falls back on the fitted values held before the call.
  const int32_t rows = std::min(m, nd);
  double sum = 0.0;
  for (int32_t i = 1; i <= rows; ++i) sum += std::pow(common_data::yd(i) - rw.yf(i), 2);
  if (std::isnan(sum)) {
    sum = 0.0;
    for (int32_t i = 1; i <= rows; ++i) sum += std::pow(common_data::yd(i) - rw.ydf_before(i), 2);
  }
  // (4)
  if (std::isnan(sum)) {
    fval = kNanSum;
    return;
  }
  fval = std::clamp(sum, funct::kSumFloor, funct::kSumCap);
  if (fval < kSuspect) fval = funct::kSumCap;
}

void evol(int32_t m, int32_t n, VecView<double> x, double& fsum, int32_t& count, int32_t gens) {
  count = 0;
  if (n < 1 || n > max_params) return;  // nothing to search, or more than the shared arrays hold
  // Start, step 1.
  const double f_in = fsum;
  FVector<double> x0(n);
  FVector<double> b(n);
  for (int32_t i = 1; i <= n; ++i) x0(i) = b(i) = x(i);
  Search search(m, n);
  // Step 2: the entry evaluation may move b by the bounds rule; b is evaluated once more when
  // it lies outside the user's bounds, but not moved into them.
  search.objective(b.view());
  bool outside = false;
  for (int32_t i = 1; i <= n; ++i) {
    outside = outside || b(i) < common_data::pboundlo(i) || b(i) > common_data::pboundhi(i);
  }
  if (outside) search.objective(b.view());
  // Step 3.
  const int32_t limit = gens == 0 ? 500 : gens;
  maxx = n;
  flags = 0;
  regdat.maximise = 0;
  regdat.bounds = -1;
  double f_prev = search.objective(b.view());
  rndm = 9115;
  kff = 0;
  search.initial_population(b);  // step 4

  int32_t run = 0;
  for (int32_t g = 1; g <= limit; ++g) {
    // Step 1: the entry is what the caller gets if the time limit ends the search here.
    fsum = f_in;
    for (int32_t i = 1; i <= n; ++i) x(i) = x0(i);
    if (optim_support::time_limit_passed()) {
      count += run;
      return;
    }
    search.generation(g, x, fsum);
    run = g;
    // Step 10.
    if (g % 10 == 0) {
      if (regdat.maximise != 0) fsum = -fsum;
      if (std::fabs((fsum - f_prev) / f_prev) < 1e-7 || g >= limit) {
        fsum = search.objective(x);
        break;
      }
      f_prev = fsum;
    }
  }
  // Finish. The search ran on the unweighted sum; the engine compares weighted sums, so the
  // result is judged (and returned) by the model evaluator's weighted sum.
  count += run;
  const double weighted = evaluate_model(VecView<const double>(x.data(), n), n);
  if (weighted > f_in || weighted < 0.01 * f_in || std::isnan(weighted)) {
    fsum = f_in;
    for (int32_t i = 1; i <= n; ++i) x(i) = x0(i);
  } else {
    fsum = weighted;
  }
}

void reset() {
  regdat = Regdat{};
  flags = 0;
  kff = 0;
  maxx = 0;
  rndm = 0;
}

}  // namespace evolutions
