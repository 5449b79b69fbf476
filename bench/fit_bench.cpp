// Whole fit runs (main_sub: checks, passes of the cascade, statistics, report, run-log line) of
// every NIST reference file, both starts, at the level Moderate with weighting None, on a
// headless main window whose pauses cost nothing. Each file is copied into a temporary folder
// first, so the reports land there.
//
// BM_Fit/<problem>-start<k>: one fit; time is the fit's compute time. Counters:
//   evals       model evaluations over all rows (funct::fun calls)
//   lre_params  smallest log relative error of the fitted parameters (common_data::pfinal)
//   lre_ssr     log relative error of the run's sum of squares (common_data::fssqr)
// A summary line follows the table: fits at LRE >= 4 and >= 6 (parameters and sum of squares
// both), median and largest compute time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "engine/main_subs.hpp"
#include "fit_run.hpp"
#include "model/funct.hpp"
#include "model/units.hpp"
#include "numerics/sysclock.hpp"
#include "support/nist_problem.hpp"
#include "support/temp_dir.hpp"

namespace {

struct Fit {
  double seconds = 0.0;
  double lre = 0.0;  // the smaller of the parameters' and the sum's
};
std::vector<Fit> fits;

void BM_Fit(benchmark::State& state, const std::string& name, int32_t start) {
  fitrun::MainWindow window;
  if (!window.open()) {
    state.SkipWithError("no headless window");
    return;
  }
  sysclock::set_sleeper([](int32_t) {});
  testsupport::TempDir dir;
  testsupport::NistProblem pb;
  double lre_params = 0.0, lre_ssr = 0.0;
  int64_t evals = 0;
  for (auto _ : state) {
    if (!testsupport::load_nist(name, start, pb)) {
      state.SkipWithError("reference file not found");
      break;
    }
    fitrun::prepare(pb, dir.path(), window.dialogs);
    const auto t0 = std::chrono::steady_clock::now();
    main_subs::main_sub();
    const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
    state.SetIterationTime(dt.count());
    evals = funct::fun_count;
    std::vector<double> p;
    for (int32_t i = 1; i <= pb.n; ++i) p.push_back(common_data::pfinal(i));
    lre_params = pb.params_lre(p);
    lre_ssr = pb.ssr_lre(common_data::fssqr);
    fits.push_back({dt.count(), std::min(lre_params, lre_ssr)});
  }
  state.counters["evals"] = static_cast<double>(evals);
  state.counters["lre_params"] = lre_params;
  state.counters["lre_ssr"] = lre_ssr;
  sysclock::set_sleeper(nullptr);
  units::reset();
}

void register_all() {
  for (const std::string& name : testsupport::nist_problem_names()) {
    for (int32_t start = 1; start <= 2; ++start) {
      benchmark::RegisterBenchmark(
          ("BM_Fit/" + name + "-start" + std::to_string(start)).c_str(),
          [name, start](benchmark::State& s) { BM_Fit(s, name, start); })
          ->Unit(benchmark::kMillisecond)
          ->UseManualTime()
          ->Iterations(1);
    }
  }
}

void print_summary() {
  if (fits.empty()) return;
  std::vector<double> t;
  int lre4 = 0, lre6 = 0;
  for (const Fit& f : fits) {
    t.push_back(f.seconds);
    lre4 += f.lre >= 4.0;
    lre6 += f.lre >= 6.0;
  }
  std::sort(t.begin(), t.end());
  const size_t n = t.size();
  const double median = n % 2 ? t[n / 2] : 0.5 * (t[n / 2 - 1] + t[n / 2]);
  std::printf("fits %zu: LRE >= 4: %d, LRE >= 6: %d; median %.3f s, max %.3f s\n", n, lre4, lre6,
              median, t.back());
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  print_summary();
  return 0;
}
