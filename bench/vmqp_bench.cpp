// One whole run of vmqp through its protocol on NIST reference problems from start 2, with the
// data files' bounds as the constraints (acc 1e-9, maxfun 3000), the caller answering every
// trial point with funct::calcfg: Misra1a (14 rows, 2 parameters) and Chwirut2 (54 rows, 3).
// The method is deterministic; the counters give the model evaluations and the calls per run.
#include <benchmark/benchmark.h>

#include "constrained/vmqp_module.hpp"
#include "model/funct.hpp"
#include "support/nist_problem.hpp"

namespace {

void run_vmqp(benchmark::State& state, const char* name) {
  testsupport::NistProblem pb;
  if (!testsupport::load_nist(name, 2, pb)) {
    state.SkipWithError("cannot load the problem");
    return;
  }
  int64_t evals = 0;
  int32_t calls = 0;
  int32_t status = 0;
  for (auto _ : state) {
    vmqp_module::reset();
    FArray<double, vmqp_module::kVars> x;
    FArray<double, vmqp_module::kVars> g;
    FArray<double, vmqp_module::kCons> c;
    FMatrix<double, vmqp_module::kVars, vmqp_module::kCons> cn;
    for (int32_t i = 1; i <= pb.n; ++i) x(i) = pb.x0[i - 1];
    const int32_t n = pb.n;
    const int32_t maxfun = 3000;
    const int32_t iprint = 0;
    const int32_t spare = 0;
    const double acc = 1e-9;
    double f = 0.0;
    int32_t info = -1;
    int32_t iter = 0;
    const int64_t before = funct::fun_count;
    calls = 0;
    do {
      funct::calcfg(n, x.view(n), f, g.view(), c.view(), cn.view());
      vmqp_module::vmqp(
          n, x.view(), f, g.view(), c.view(), cn.view(), maxfun, acc, info, iprint, spare, iter);
      ++calls;
    } while (info == 0);
    status = info;
    evals = funct::fun_count - before;
    benchmark::DoNotOptimize(f);
  }
  state.counters["evals"] = static_cast<double>(evals);
  state.counters["calls"] = calls;
  state.counters["status"] = status;
}

void BM_VmqpMisra1a(benchmark::State& s) { run_vmqp(s, "Misra1a"); }
void BM_VmqpChwirut2(benchmark::State& s) { run_vmqp(s, "Chwirut2"); }

BENCHMARK(BM_VmqpMisra1a)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VmqpChwirut2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
