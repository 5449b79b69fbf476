// One call of vmcon and of vmcwd on NIST reference problems from start 2, with the data files'
// bounds as the constraints (acc 1e-10 times the start sum, 300 iterations or 2000 calls, 20
// calls per line search): Misra1a (14 rows, 2 parameters) and Chwirut2 (54 rows, 3). The
// methods are deterministic; the counter gives the model evaluations per call.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "constrained/vmcwd_vmcon_mod.hpp"
#include "model/funct.hpp"
#include "support/nist_problem.hpp"

namespace {

namespace vm = vmcwd_vmcon_mod;

void run_method(benchmark::State& state, const char* name, bool watchdog) {
  testsupport::NistProblem pb;
  if (!testsupport::load_nist(name, 2, pb)) {
    state.SkipWithError("cannot load the problem");
    return;
  }
  int64_t evals = 0;
  for (auto _ : state) {
    vm::reset();
    std::vector<double> x = pb.x0;
    int32_t n = pb.n;
    double f = 0.0, acc = 1e-10 * pb.start_ssq, ctest = 0.0;
    vm::GradArray fgrad;
    vm::ConsArray c;
    vm::ConsGrad cnorm;
    int32_t limit = watchdog ? 2000 : 300;
    int32_t iprint = -1, info = 0, maxls = 20, niter = 0, nruns = 1, qpmode = 1;
    const int64_t before = funct::fun_count;
    (watchdog ? vm::vmcwd : vm::vmcon)(n,
                                       VecView<double>(x.data(), n),
                                       f,
                                       fgrad,
                                       c,
                                       cnorm,
                                       limit,
                                       acc,
                                       iprint,
                                       info,
                                       maxls,
                                       ctest,
                                       niter,
                                       nruns,
                                       qpmode);
    evals = funct::fun_count - before;
    benchmark::DoNotOptimize(f);
  }
  state.counters["evals"] = static_cast<double>(evals);
}

void BM_VmconMisra1a(benchmark::State& s) { run_method(s, "Misra1a", false); }
void BM_VmcwdMisra1a(benchmark::State& s) { run_method(s, "Misra1a", true); }
void BM_VmconChwirut2(benchmark::State& s) { run_method(s, "Chwirut2", false); }
void BM_VmcwdChwirut2(benchmark::State& s) { run_method(s, "Chwirut2", true); }

BENCHMARK(BM_VmconMisra1a)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VmcwdMisra1a)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VmconChwirut2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VmcwdChwirut2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
