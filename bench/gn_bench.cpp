// The Gauss-Newton trust-region method alone on every NIST reference problem.
//
// BM_GnMain/<problem>/<start> loads the problem (not timed) and runs gn_module::gn_main from
// NIST start 1 or 2 with weighting None, as one stage of the cascade would. Counters:
//   lre_params  smallest log relative error of the returned parameters (0..11)
//   lre_ssr     log relative error of the returned sum of squares
//   evals       model evaluations (calls of funct::fun) of one fit
//   info        the method's result code (200: blow-up, start restored)
// The time per iteration is the time of one fit. Gauss-Newton is one stage of a cascade, so
// starts it cannot handle alone (info 200, low LRE) are expected on the harder problems.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "model/funct.hpp"
#include "numerics/farray.hpp"
#include "optimizers/gn_mod.hpp"
#include "optimizers/gn_module.hpp"
#include "support/nist_problem.hpp"

namespace {

void BM_GnMain(benchmark::State& state, const std::string& name, int32_t start) {
  testsupport::NistProblem pb;
  std::vector<double> x;
  double ssq = 0.0;
  int32_t info = 0;
  int64_t evals = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!testsupport::load_nist(name, start, pb)) {
      state.SkipWithError("reference file not found");
      break;
    }
    gn_mod::reset();
    x = pb.x0;
    ssq = pb.start_ssq;
    testsupport::EvalCount count;
    state.ResumeTiming();
    gn_module::gn_main(pb.m, pb.n, VecView<double>(x.data(), pb.n), ssq, info);
    evals = count.count();
  }
  state.counters["lre_params"] = pb.params_lre(x);
  state.counters["lre_ssr"] = name == "Lanczos1" ? 0.0 : pb.ssr_lre(ssq);
  state.counters["evals"] = static_cast<double>(evals);
  state.counters["info"] = info;
}

const bool registered = [] {
  for (const std::string& name : testsupport::nist_problem_names()) {
    for (int32_t start : {1, 2}) {
      benchmark::RegisterBenchmark(
          ("BM_GnMain/" + name + "/" + std::to_string(start)).c_str(),
          [name, start](benchmark::State& st) { BM_GnMain(st, name, start); })
          ->Unit(benchmark::kMicrosecond);
    }
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
