// The final statistics of a fit (sharc_mod::stderr_corr) over 100 and 1000 rows.
//
// The model P1*EXP(-P2*X1)+P3+P4*X1 with four free parameters is evaluated on data generated
// from it with a small alternating disturbance. Each iteration is one whole call: the
// central-difference Jacobian (two model evaluations per free parameter), the two inversions
// with their eigen-analysis, the runs test and the studentized residuals. Reported per call,
// with the model evaluations per call as `evals`.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "engine/sharc_stats.hpp"
#include "model/funct.hpp"
#include "model/model_front.hpp"
#include "numerics/stringlib.hpp"

namespace {

void BM_StderrCorr(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  const int32_t np = 4;
  common_data::reset();
  common_udf::cudf = stringlib::fixed("P1*EXP(-P2*X1)+P3+P4*X1", common_udf::len_text);
  fnparse2_reset();
  std::vector<double> p = {3.0, 0.4, 1.0, 0.05};
  std::vector<double> x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    x[size_t(i)] = 0.01 * (i + 1);
    y[size_t(i)] = p[0] * std::exp(-p[1] * x[size_t(i)]) + p[2] + p[3] * x[size_t(i)] +
                   (i % 2 == 0 ? 1e-3 : -1e-3);
  }
  for (int32_t k = 1; k <= np; ++k) common_data::pmask(k) = 1;
  FVector<double> yfit(n), se(np), eigval(np), resid(n), studres(n), w(n, 1.0);
  FMatrixD<double> correl(np, np), pcmp(np, np);
  sharc_mod::RunsTest runs;
  const int64_t before = funct::fun_count;
  for (auto _ : state) {
    sharc_mod::stderr_corr(MatView<const double>(x.data(), n, 1, n),
                           VecView<const double>(y.data(), n),
                           1,
                           n,
                           yfit.view(),
                           VecView<const double>(p.data(), np),
                           np,
                           1e-6 * n,
                           VecView<const double>(w.data(), n),
                           se.view(),
                           correl.view(),
                           eigval.view(),
                           pcmp.view(),
                           resid.view(),
                           runs,
                           studres.view());
    benchmark::DoNotOptimize(studres.data());
  }
  state.counters["evals"] = double(funct::fun_count - before) / double(state.iterations());
}
BENCHMARK(BM_StderrCorr)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
