// The engine objective against the bare model evaluator, and the cost of the engine's searches.
//
// The model P1*EXP(-P2*X1) on rows near 3 exp(-0.4 x), x = 1..n, both parameters free in
// [0, 10] on a first pass (so the objective applies the bounds rule):
//   BM_Fun       funct::fun over n rows (8 and 1000)
//   BM_F1dim     the engine objective f1dim over the same rows: the copy, guards, bounds rule
//                and publication on top of funct::fun
//   BM_Simplex, BM_Hooke, BM_Hitnrun  one search from (1, 0.3) on 8 rows with the limits the
//                cascade uses (hit-and-run with 40 passes); counter evals = evaluations per call
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "engine/sharc_hitnrun.hpp"
#include "engine/sharc_objective.hpp"
#include "engine/sharc_search.hpp"
#include "model/funct.hpp"
#include "model/model_front.hpp"
#include "numerics/stringlib.hpp"

namespace {

struct Problem {
  std::vector<double> x, y, yf, sig, lo = {0, 0}, hi = {10, 10};
  int32_t bpostrun = 0;
  std::unique_ptr<sharc_mod::RunState> rs;

  explicit Problem(int32_t n) {
    common_udf::cudf = stringlib::fixed("P1*EXP(-P2*X1)", common_udf::len_text);
    fnparse2_reset();
    for (int32_t i = 1; i <= common_data::max_params; ++i) common_data::pmask(i) = 1;
    for (int32_t i = 1; i <= n; ++i) {
      x.push_back(i);
      y.push_back(3.0 * std::exp(-0.4 * i) + (i % 2 == 0 ? 0.01 : -0.01));
    }
    yf.assign(n, 0.0);
    sig.assign(n, 1.0);
    rs = std::make_unique<sharc_mod::RunState>(MatView<const double>(x.data(), n, 1, n),
                                               VecView<const double>(y.data(), n),
                                               VecView<double>(yf.data(), n),
                                               VecView<const double>(sig.data(), n),
                                               1,
                                               n,
                                               0,
                                               2,
                                               VecView<const double>(lo.data(), 2),
                                               VecView<const double>(hi.data(), 2),
                                               1,
                                               bpostrun,
                                               1e-9);
  }
};

void BM_Fun(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  Problem pb(n);
  std::vector<double> p = {2.5, 0.3};
  double f = 0.0;
  for (auto _ : state) {
    funct::fun(MatView<const double>(pb.x.data(), n, 1, n),
               VecView<const double>(pb.y.data(), n),
               VecView<const double>(p.data(), 2),
               2,
               1,
               n,
               0,
               VecView<double>(pb.yf.data(), n),
               VecView<const double>(pb.sig.data(), n),
               f);
    benchmark::DoNotOptimize(f);
  }
}
BENCHMARK(BM_Fun)->Arg(8)->Arg(1000);

void BM_F1dim(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  Problem pb(n);
  std::vector<double> p = {2.5, 0.3};
  double f = 0.0;
  for (auto _ : state) {
    pb.rs->f1dim(VecView<double>(p.data(), 2), 2, f);
    benchmark::DoNotOptimize(f);
  }
}
BENCHMARK(BM_F1dim)->Arg(8)->Arg(1000);

// Runs `search` from (1, 0.3) per iteration and reports the evaluations per call.
template <typename Search>
void run_search(benchmark::State& state, Search search) {
  Problem pb(8);
  const std::vector<double> x0 = {1.0, 0.3};
  double f0 = 0.0;
  std::vector<double> x = x0;
  pb.rs->f1dim(VecView<double>(x.data(), 2), 2, f0);
  funct::reset();
  for (auto _ : state) {
    x = x0;
    double fmin = f0;
    search(*pb.rs, x, fmin);
    benchmark::DoNotOptimize(fmin);
  }
  state.counters["evals"] =
      benchmark::Counter(static_cast<double>(funct::fun_count), benchmark::Counter::kAvgIterations);
}

void BM_Simplex(benchmark::State& state) {
  run_search(state, [](sharc_mod::RunState& rs, std::vector<double>& x, double& fmin) {
    sharc_mod::simplex(rs, VecView<double>(x.data(), 2), 2, fmin, 0.01, 250);
  });
}
BENCHMARK(BM_Simplex);

void BM_Hooke(benchmark::State& state) {
  run_search(state, [](sharc_mod::RunState& rs, std::vector<double>& x, double& fmin) {
    std::vector<double> end(2);
    sharc_mod::hooke(rs,
                     2,
                     VecView<const double>(x.data(), 2),
                     VecView<double>(end.data(), 2),
                     rs.lo_view(),
                     rs.hi_view(),
                     fmin,
                     0.6,
                     1e-6,
                     150);
  });
}
BENCHMARK(BM_Hooke);

void BM_Hitnrun(benchmark::State& state) {
  run_search(state, [](sharc_mod::RunState& rs, std::vector<double>& x, double& fmin) {
    std::vector<double> table(sharc_mod::kHitTableSize), best(2);
    for (int32_t i = 0; i < sharc_mod::kHitTableSize; ++i) table[i] = (i * 37 % 60) / 60.0;
    int32_t nacc = 0;
    sharc_mod::hitnrun(rs,
                       2,
                       VecView<const double>(x.data(), 2),
                       VecView<double>(best.data(), 2),
                       VecView<double>(table.data(), sharc_mod::kHitTableSize),
                       nacc,
                       fmin,
                       0.5,
                       40);
  });
}
BENCHMARK(BM_Hitnrun);

}  // namespace

BENCHMARK_MAIN();
