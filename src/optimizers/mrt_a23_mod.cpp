#include "optimizers/mrt_a23_mod.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "common/common_data.hpp"
#include "files/units.hpp"
#include "model/funct.hpp"
#include "numerics/editfmt.hpp"
#include "numerics/randomize.hpp"
#include "numerics/runtime_rng.hpp"
#include "optimizers/optim_support.hpp"

namespace mrt_a23_mod {
namespace {

using common_data::max_params;
using common_data::max_rows;
using common_data::max_x;

constexpr double kBig = 4.503599727262001e19;         // clamp of parameters and normal matrix
constexpr double kTiny = 2.2204460492503132e-20;      // a NaN element of the normal matrix
constexpr double kEpsOff = 1.1920930376163597e-7;     // a non-positive element of C
constexpr double kLambdaMax = 3.4028234663852886e38;  // largest single-precision number
constexpr double kRichRatio = 1.9900000095367432;     // step ratio of the gradient tableau
constexpr double kRichRatio2 = 3.960100037956238;     // its square
constexpr double kGradMax = 1.7976931348623158e307;   // limit of a gradient component
constexpr int32_t kTableau = 10;                      // columns of the gradient tableau
constexpr int32_t kTable = 60;                        // uniform numbers of the random search

// Work copies of the objective, sized once for the largest data set (it runs per trial vector).
struct MrtfunWork {
  FMatrix<double, max_rows, max_x> x;
  FArray<double, max_rows> y;
  FArray<double, max_rows> yf;
  FArray<double, max_rows> sig;
  FArray<double, max_params> p;
};
MrtfunWork mw;

// One item of a list-directed record as the runtime writes it: a blank separator, then an
// integer right-justified in 11 columns, or a real with 17 significant digits in 25 columns
// (fixed form for magnitudes in [0.1, 1e17), else d.ddd form with a 3-digit exponent; the fixed
// form leaves the exponent's 5 columns blank).
std::string list_int(int32_t v) {
  std::string s = std::to_string(v);
  return " " + std::string(s.size() < 11 ? 11 - s.size() : 0, ' ') + s;
}

std::string list_real(double v) {
  const std::string e = editfmt::format("(1PE25.16E3)", {v});
  const size_t pos = e.find_last_of("E");
  if (!std::isfinite(v) || pos == std::string::npos) return " " + e;
  const int32_t exponent = std::atoi(e.c_str() + pos + 1);  // of the value rounded to 17 digits
  if (v != 0.0 && (exponent < -1 || exponent > 16)) return " " + e;
  const int32_t decimals = v == 0.0 ? 16 : 16 - exponent;
  return " " + editfmt::format("(F20." + std::to_string(decimals) + ")", {v}) + "     ";
}

// Writes one line to a unit (6 is standard output); an unconnected unit takes nothing.
void write_unit(int32_t unit, const std::string& line) {
  if (unit == 6) {
    units::console() << line << '\n';
  } else {
    units::write_line(unit, line);
  }
}

// Packed position of element (i, k), k <= i.
inline long packed(long i, long k) { return i * (i - 1) / 2 + k; }

// The state of one call: the internal procedures share the working vectors of the entry.
class Marquardt {
 public:
  Marquardt(int32_t n, VecView<double> x, int32_t m, int32_t limit, int32_t iprint)
      : n_(n),
        x_(x),
        limit_(limit),
        iprint_(iprint),
        t_(n),
        dx_(n),
        g_(n),
        v_(n),
        r_(std::max(m, 1)),
        r_old_(std::max(m, 1)),
        r_probe_(std::max(m, 1)),
        j_(std::max(m, 1), n),
        c_(packed(n, n)),
        a_(packed(n, n)),
        tableau_(kTableau, kTableau) {}

  // Start, steps 1-4 (the entry copies are the caller's); returns the start sum.
  double start(double lambda0) {
    lambda_ = std::max(lambda0, kEpsSingle);
    count_ = 1;
    p_ = evaluate(r_);
    fmin_ = p_;
    for (long j = 1; j <= r_.size(); ++j) r_old_(j) = r_(j);
    for (int32_t i = 1; i <= n_; ++i) dx_(i) = 0.001 * x_(i) + kEpsSingle;
    k_ = 0;
    return p_;
  }

  // One Marquardt pass from x with sum p until a stop; leaves the pass's best point in x and
  // its sum in fmin().
  void pass() {
    for (;;) {
      // Step 1. x is the point just accepted.
      if (optim_support::time_limit_passed()) {
        if (p_ < fmin_) fmin_ = p_;
        return;
      }
      // Step 2: Fmin := min(p, previous Fmin).
      lambda_ = 0.4 * lambda_;
      ++k_;
      if (p_ < fmin_) fmin_ = p_;
      if (iprint_ > 0) print_iteration();  // step 3
      // Steps 4-6.
      if (k_ % 2 == 1) {
        extrapolated_gradient();
      } else {
        secant_update();
      }
      normal_equations();
      for (int32_t i = 1; i <= n_; ++i) t_(i) = x_(i);  // step 7
      if (!damped_steps()) {
        // Every stop inside the damping loop leaves an unevaluated (or no better) trial in x:
        // the pass's best point is the last accepted one.
        for (int32_t i = 1; i <= n_; ++i) x_(i) = t_(i);
        return;
      }
    }
  }

  // The random search around the pass's best point. Returns true, with the point in x and its
  // sum in p, when it found a sum below Fmin; otherwise x is left as it was.
  bool random_search();

  // The second pass after a successful search starts its counts afresh.
  void restart_counts() {
    k_ = 0;
    count_ = 0;
  }

  double evaluate(FVector<double>& r) {
    double f = 0.0;
    mrtfun(n_, VecView<const double>(x_.data(), n_), r.view(), f);
    return f;
  }

  double fmin() const { return fmin_; }
  int32_t count() const { return count_; }
  FVector<double>& probe_residuals() { return r_probe_; }

 private:
  bool free(int32_t i) const { return common_data::pmask(i) != 0; }

  void print_iteration() {
    write_unit(iprint_,
               editfmt::format("(' ITN #',I4,' EVALN *',I4,'  SUMSQUARES=',1PE16.8)",
                               {k_, count_, fmin_}));
    // The same values list-directed; a text item after a number is preceded by the separator.
    write_unit(iprint_,
               " ITN #" + list_int(k_) + "  EVALN *" + list_int(count_) +
                   "  SUMSQUARES=" + list_real(fmin_));
  }

  // f(x + h e_i) - f(x - h e_i), x(i) = xi; the probes keep r intact.
  double central(int32_t i, double xi, double h, double& fminus) {
    x_(i) = xi + h;
    const double fplus = evaluate(r_probe_);
    x_(i) = xi - h;
    fminus = evaluate(r_probe_);
    return fplus - fminus;
  }

  // Odd iterations: Ridders' extrapolation of central differences on a 10 x 10 tableau with the
  // step ratio 1.99; the gradient becomes every row of J. Evaluations are not counted.
  void extrapolated_gradient() {
    for (int32_t i = 1; i <= n_; ++i) {
      if (!free(i)) {
        g_(i) = 0.0;
        continue;
      }
      const double xi = x_(i);
      // The first column replaces a vanished difference by (p + h) - f-: a flat start still
      // gets a slope.
      g_(i) = optim_support::ridders((std::fabs(xi) + 1.001e-6) * 0.01,
                                     kRichRatio,
                                     kRichRatio2,
                                     6.25e14,
                                     3.184000015258789e-15,
                                     1.001e-6,
                                     tableau_.view(),
                                     [&](double h, long column) {
                                       double fminus = 0.0;
                                       double diff = central(i, xi, h, fminus);
                                       if (column == 1 && std::fabs(diff) < 1.6e-15) {
                                         diff = (p_ + h) - fminus;
                                       }
                                       return diff / (2.0 * h);
                                     });
      x_(i) = xi;
      if (std::isnan(g_(i))) {
        g_(i) = 1.001e-6;
      } else if (std::fabs(g_(i)) < 4e-8) {
        g_(i) = std::copysign(1.001e-6, g_(i));
      } else {
        g_(i) = std::clamp(g_(i), -kGradMax, kGradMax);
      }
    }
    for (int32_t i = 1; i <= n_; ++i) {
      if (g_(i) == 0.0) g_(i) = 1e-6;
      for (long j = 1; j <= j_.rows(); ++j) j_(j, i) = g_(i);
    }
  }

  // Even iterations: J := J + (r - r_old - J dx) dx^T / (dx^T dx), r evaluated at x (not
  // counted). Zero steps and zero residual changes are replaced first so that the update
  // neither divides by zero nor loses a column.
  void secant_update() {
    evaluate(r_);
    double dxdx = 0.0;
    for (int32_t i = 1; i <= n_; ++i) {
      if (dx_(i) == 0.0) dx_(i) = kEpsSingle;
      dxdx += dx_(i) * dx_(i);
    }
    for (long j = 1; j <= j_.rows(); ++j) {
      if (r_(j) - r_old_(j) == 0.0) r_(j) = kEpsSingle;
      double jdx = 0.0;
      for (int32_t i = 1; i <= n_; ++i) jdx += j_(j, i) * dx_(i);
      const double w = (r_(j) - r_old_(j) - jdx) / dxdx;
      for (int32_t i = 1; i <= n_; ++i) j_(j, i) += w * dx_(i);
      r_old_(j) = r_(j);
    }
  }

  // Step 6: C = J^T J (lower triangle) and v = J^T r, a fixed parameter's column of J read as 0.
  // Each element is made safe as it is accumulated: NaN, out-of-range and non-positive values
  // are replaced so that the damped matrix stays factorable.
  void normal_equations() {
    // C is cleared for every n (n = 1 included) so that sums never carry over iterations.
    c_.fill(0.0);
    v_.fill(0.0);
    for (long j = 1; j <= j_.rows(); ++j) {
      for (int32_t i = 1; i <= n_; ++i) {
        const double jji = free(i) ? j_(j, i) : 0.0;
        v_(i) += jji * r_(j);
        for (int32_t k = 1; k <= i; ++k) {
          const double jjk = free(k) ? j_(j, k) : 0.0;
          double& e = c_(packed(i, k));
          e += jjk * jji;
          if (!free(k)) {
            e = i == k ? 1.0 : kEpsOff;
          } else if (std::isnan(e)) {
            e = kTiny;
          } else {
            e = std::clamp(e, -kBig, kBig);
            if (e <= 0.0) e = kEpsOff;
          }
        }
      }
    }
  }

  // Steps a-c: dx := solution of A dx = -v, A the damped copy of C. Returns false when A is
  // not positive definite.
  bool solve_damped() {
    for (int32_t i = 1; i <= n_; ++i) {
      for (int32_t k = 1; k <= i; ++k) a_(packed(i, k)) = c_(packed(i, k));
      const double cii = c_(packed(i, i));
      a_(packed(i, i)) = (1.0 + lambda_) * cii + 0.4 * lambda_;
      dx_(i) = -v_(i);
    }
    // Cholesky A = L L^T in place, column by column.
    for (int32_t j = 1; j <= n_; ++j) {
      double d = a_(packed(j, j));
      for (int32_t k = 1; k < j; ++k) d -= a_(packed(j, k)) * a_(packed(j, k));
      if (!(d > 0.0)) {  // a pivot that is not positive (or NaN): singular
        a_(packed(j, j)) = 0.0;
        for (int32_t i = j + 1; i <= n_; ++i) a_(packed(i, j)) = 0.0;
        return false;
      }
      const double l = std::sqrt(d);
      a_(packed(j, j)) = l;
      for (int32_t i = j + 1; i <= n_; ++i) {
        double s = a_(packed(i, j));
        for (int32_t k = 1; k < j; ++k) s -= a_(packed(i, k)) * a_(packed(j, k));
        a_(packed(i, j)) = s / l;
      }
    }
    // Forward (L y = b) and back (L^T dx = y) substitution; a zero pivot gives a zero component.
    for (int32_t i = 1; i <= n_; ++i) {
      double s = dx_(i);
      for (int32_t k = 1; k < i; ++k) s -= a_(packed(i, k)) * dx_(k);
      const double l = a_(packed(i, i));
      dx_(i) = l == 0.0 ? 0.0 : s / l;
    }
    for (int32_t i = n_; i >= 1; --i) {
      double s = dx_(i);
      for (int32_t k = i + 1; k <= n_; ++k) s -= a_(packed(k, i)) * dx_(k);
      const double l = a_(packed(i, i));
      dx_(i) = l == 0.0 ? 0.0 : s / l;
    }
    // A fixed parameter never moves: its coupling terms in C would otherwise give it a step.
    for (int32_t i = 1; i <= n_; ++i) {
      if (!free(i)) dx_(i) = 0.0;
    }
    return true;
  }

  // Step 8, the damping loop. Returns true when a trial point was accepted (x, p), false when
  // the pass stops (converged, time limit, evaluation limit).
  bool damped_steps() {
    for (;;) {
      if (solve_damped()) {
        // Step d.
        int32_t unchanged = 0;
        for (int32_t i = 1; i <= n_; ++i) {
          const double xi = t_(i) + dx_(i);
          if (xi == t_(i)) ++unchanged;
          // A fixed parameter keeps its value bit for bit, even beyond the clamp.
          x_(i) = free(i) ? std::clamp(xi, -kBig, kBig) : t_(i);
        }
        // Step e. The cap at k keeps the test from firing before iteration n.
        if (std::min(unchanged, k_) >= n_) return false;
        if (optim_support::time_limit_passed()) return false;
        if (++count_ > limit_) return false;
        // Step f.
        p_ = evaluate(r_);
        if (p_ < fmin_) return true;
      }
      // Step g.
      lambda_ = std::min(kLambdaMax, std::max(kEpsSingle, 2.5 * lambda_));
    }
  }

  // One move of the random search on parameter i (see random_search).
  void try_move(int32_t i, double d, double u2, double& fc, bool& accepted);

  int32_t n_;
  VecView<double> x_;
  int32_t limit_;
  int32_t iprint_;
  double lambda_ = 0.0;
  double p_ = 0.0;           // sum at the latest evaluated point of the pass
  double fmin_ = 0.0;        // Fmin, the best sum so far
  int32_t count_ = 0;        // evaluations counted against the limit
  int32_t k_ = 0;            // iteration number of the pass
  FVector<double> t_;        // saved parameters of the iteration
  FVector<double> dx_;       // the step
  FVector<double> g_;        // gradient of the sum
  FVector<double> v_;        // J^T r
  FVector<double> r_;        // residuals at x
  FVector<double> r_old_;    // residuals of the previous secant update
  FVector<double> r_probe_;  // residuals of probes and search moves (keeps r intact)
  FMatrixD<double> j_;       // m x n derivative matrix of the residuals
  FVector<double> c_;        // packed normal matrix J^T J
  FVector<double> a_;        // packed damped copy, factored in place
  FMatrixD<double> tableau_;
};

// Index 1..59 into the table from the runtime's integer generator: the absolute value of a
// signed 32-bit draw, divided by 20 while above 59, at least 1. Its successor stays in the table.
int32_t table_index() {
  int64_t k = std::llabs(static_cast<int64_t>(runtime_rng::integer(
      std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
  while (k > 59) k /= 20;
  return static_cast<int32_t>(std::max<int64_t>(k, 1));
}

void Marquardt::try_move(int32_t i, double d, double u2, double& fc, bool& accepted) {
  const double lo = common_data::pboundlo(i);
  const double hi = common_data::pboundhi(i);
  const double xi = x_(i);
  for (const double step : {d, -d}) {
    double trial = xi + step;
    if (trial < lo || trial > hi) trial = (lo + hi) / 2.0 + std::fabs(u2) * (hi - lo) / 2.0;
    x_(i) = trial;
    const double f = evaluate(r_probe_);
    if (f < fc) {
      fc = f;
      accepted = true;
      return;
    }
  }
  x_(i) = xi;
  accepted = false;
}

// Single-parameter moves in up to 5 cycles of up to 10 passes of 10n sweeps of n moves. The
// current point is always the best one found (a move is kept only when it lowers the sum), so
// it needs no copy of its own. Choices left open: f_prev is the sum at the start of each pass,
// and the cycle-end test reuses the last pass's ratio; the acceptance ratio of a parameter is
// measured over the moves of the cycle.
bool Marquardt::random_search() {
  FVector<double> s(n_);            // step length of each parameter's own move
  FVector<double> growth(n_, 5.0);  // adaptation strength c(i)
  FVector<int32_t> hits(n_, 0);     // accepted moves per parameter in this cycle, a(i)
  FArray<double, kTable> table;
  for (int32_t i = 1; i <= n_; ++i) s(i) = 0.5 * x_(i);
  for (int32_t k = 1; k <= kTable; ++k) randomize::random_uni_r(table(k), 0.05, 0.95);

  double fc = fmin_;
  int32_t accepted_total = 0;
  double sigma = 0.5;
  for (int32_t cycle = 1; cycle <= 5; ++cycle) {
    sigma = sigma / 5.0;
    int32_t accepted = 0;
    int32_t rejected = 0;
    double temperature = 2.0;
    double ratio = std::numeric_limits<double>::quiet_NaN();
    for (int32_t pass = 1; pass <= 10 && accepted_total < 2000; ++pass) {
      temperature = 0.5 * temperature;
      const double f_prev = fc;
      for (int32_t sweep = 1; sweep <= 10 * n_ && accepted_total < 2000; ++sweep) {
        for (int32_t move = 1; move <= n_ && accepted_total < 2000; ++move) {
          // Pick a free parameter from the table; give up after 60 fixed ones.
          int32_t i = 0;
          double u = 0.0;
          double u2 = 0.0;
          for (int32_t tries = 1; tries <= kTable && i == 0; ++tries) {
            const int32_t k = table_index();
            u = table(k);
            u2 = table(k + 1);
            i = static_cast<int32_t>((u + 1e-6) * n_ + 1.2 + 1e-6);
            if (i > n_) i = sweep % 2 == 0 ? n_ : 1;
            if (!free(i)) i = 0;
          }
          if (i == 0) continue;
          const double d = move == i ? (2.0 * std::fabs(u2) - 1.0) * s(i)
                                     : x_(i) * (-2.0 + 4.0 * u) * sigma * temperature;
          bool ok = false;
          try_move(i, d, u2, fc, ok);
          if (ok) {
            ++accepted;
            ++accepted_total;
            ++hits(i);
          } else {
            ++rejected;
          }
        }
      }
      ratio = std::fabs(f_prev - fc) / (f_prev + fc);
      if (cycle >= 2 && ratio < 1e-6) break;
    }
    // Step adaptation: lengthen the steps of parameters accepted more than 60 % of the time,
    // shorten those below 40 %, never beyond the span of the bounds.
    for (int32_t i = 1; i <= n_; ++i) {
      const double rate = static_cast<double>(hits(i)) / (accepted + rejected + 1);
      if (rate > 0.6) {
        s(i) = s(i) * (1.0 + growth(i) * (rate - 0.6) / 0.4);
      } else if (rate < 0.4) {
        s(i) = s(i) / (1.0 + growth(i) * (0.4 - rate) / 0.4);
      }
      const double span = common_data::pboundhi(i) - common_data::pboundlo(i);
      if (std::fabs(s(i)) > span) s(i) = std::copysign(span, s(i));
      hits(i) = 0;
    }
    if (sigma <= 1e-5) sigma = 0.1;
    if (accepted_total >= 2000 || (cycle >= 3 && ratio < 1e-7)) break;
  }
  if (!(fc < fmin_)) return false;
  p_ = fc;
  return true;
}

}  // namespace

void mrtfun(int32_t n, VecView<const double> x, VecView<double> r, double& fsum) {
  const int32_t nd = common_data::nd;
  if (n > max_params || nd > max_rows || n < 0) {  // more than the shared arrays hold
    fsum = funct::kSumCap;
    return;
  }
  const int32_t cols = funct::load_x_columns(mw.x.view());
  for (int32_t i = 1; i <= nd; ++i) {
    mw.y(i) = common_data::yd(i);
    mw.yf(i) = common_data::ydf(i);
    mw.sig(i) = common_data::ysig(i);
  }
  for (int32_t k = 1; k <= n; ++k) mw.p(k) = x(k);
  double unused = 0.0;
  funct::fun(MatView<const double>(mw.x.data(), nd, cols, max_rows),
             VecView<const double>(mw.y.data(), nd),
             VecView<const double>(mw.p.data(), n),
             n,
             common_data::nxd,
             nd,
             common_data::ndwt,
             mw.yf.view(nd),
             VecView<const double>(mw.sig.data(), nd),
             unused);
  const int32_t rows = std::min<long>(nd, r.size());
  double sum = 0.0;
  for (int32_t i = 1; i <= rows; ++i) {
    r(i) = mw.y(i) - mw.yf(i);
    const double w = mw.sig(i) == 0.0 ? 1.0 : mw.sig(i);  // a zero sigma would divide by zero
    const double q = r(i) / w;
    sum += q * q;
  }
  fsum = sum;
}

void a23mrt(int32_t n,
            VecView<double> x,
            int32_t m,
            double lambda0,
            double& fsum,
            int32_t& limit,
            int32_t iprint) {
  if (n < 1) return;
  FVector<double> x_in(n);
  for (int32_t i = 1; i <= n; ++i) x_in(i) = x(i);
  const double f_in = fsum;
  limit = std::max(limit, 100);

  Marquardt mq(n, x, m, limit, iprint);
  fsum = mq.start(lambda0);
  mq.pass();
  // The random search runs once; a lower sum earns a second pass from its point.
  if (mq.random_search()) {
    mq.restart_counts();
    mq.pass();
  }
  // Finish: the pass's best point unless it is worse than the entry or implausibly small.
  if (mq.fmin() > f_in || mq.fmin() <= kEpsSingle) {
    for (int32_t i = 1; i <= n; ++i) x(i) = x_in(i);
  }
  fsum = mq.evaluate(mq.probe_residuals());
  limit = mq.count();
}

}  // namespace mrt_a23_mod
