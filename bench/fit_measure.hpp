// The measurement of the whole-fit benchmarks: one fit run per iteration on a headless main
// window whose pauses cost nothing, its compute time, model evaluations and log relative errors
// as counters, and the summary line that follows the table.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "engine/main_subs.hpp"
#include "files/units.hpp"
#include "fit_run.hpp"
#include "model/funct.hpp"
#include "numerics/sysclock.hpp"
#include "support/temp_dir.hpp"

namespace fitrun {

// One fit: its compute time and the smaller of its parameters' and sum's LRE.
struct Score {
  double seconds = 0.0;
  double lre = 0.0;
};

// Each iteration: file = ready(folder) writes the data file into a temporary folder (an empty
// path skips the benchmark), main_sub fits it, lre(lre_params, lre_ssr) scores the fit just
// made, and the score goes to fits. Counters: evals (funct::fun calls), lre_params, lre_ssr.
template <typename Ready, typename Lre>
void measure_fits(benchmark::State& state, std::vector<Score>& fits, Ready ready, Lre lre) {
  MainWindow window;
  if (!window.open()) {
    state.SkipWithError("no headless window");
    return;
  }
  sysclock::set_sleeper([](int32_t) {});
  testsupport::TempDir dir;
  double lre_params = 0.0, lre_ssr = 0.0;
  int64_t evals = 0;
  for (auto _ : state) {
    const std::filesystem::path file = ready(dir.path());
    if (file.empty()) {
      state.SkipWithError("problem not found");
      break;
    }
    prepare_file(file, dir.path(), window.dialogs);
    const auto t0 = std::chrono::steady_clock::now();
    main_subs::main_sub();
    const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
    state.SetIterationTime(dt.count());
    evals = funct::fun_count;
    lre(lre_params, lre_ssr);
    fits.push_back({dt.count(), std::min(lre_params, lre_ssr)});
  }
  state.counters["evals"] = static_cast<double>(evals);
  state.counters["lre_params"] = lre_params;
  state.counters["lre_ssr"] = lre_ssr;
  sysclock::set_sleeper(nullptr);
  units::reset();
}

// The summary line: fits at LRE >= 4 and >= 6, median and largest compute time.
inline void print_summary(const std::vector<Score>& fits) {
  if (fits.empty()) return;
  std::vector<double> t;
  int lre4 = 0, lre6 = 0;
  for (const Score& f : fits) {
    t.push_back(f.seconds);
    lre4 += f.lre >= 4.0;
    lre6 += f.lre >= 6.0;
  }
  std::sort(t.begin(), t.end());
  const size_t n = t.size();
  const double median = n % 2 ? t[n / 2] : 0.5 * (t[n / 2 - 1] + t[n / 2]);
  std::printf("fits %zu: LRE >= 4: %d, LRE >= 6: %d; median %.3f s, max %.3f s\n",
              n,
              lre4,
              lre6,
              median,
              t.back());
}

// The benchmark program's main: register(), the benchmarks, then the summary line of fits.
inline int run_main(int argc, char** argv, void (*register_all)(), const std::vector<Score>& fits) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  print_summary(fits);
  return 0;
}

}  // namespace fitrun
