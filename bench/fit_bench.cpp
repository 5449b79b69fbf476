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

#include <filesystem>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "fit_measure.hpp"
#include "support/nist_problem.hpp"

namespace {

std::vector<fitrun::Score> fits;

void BM_Fit(benchmark::State& state, const std::string& name, int32_t start) {
  testsupport::NistProblem pb;
  fitrun::measure_fits(
      state,
      fits,
      [&](const std::filesystem::path& dir) {
        return testsupport::load_nist(name, start, pb) ? fitrun::copy_problem(pb, dir)
                                                       : std::filesystem::path();
      },
      [&](double& lre_params, double& lre_ssr) {
        std::vector<double> p;
        for (int32_t i = 1; i <= pb.n; ++i) p.push_back(common_data::pfinal(i));
        lre_params = pb.params_lre(p);
        lre_ssr = pb.ssr_lre(common_data::fssqr);
      });
}

void register_all() {
  for (const std::string& name : testsupport::nist_problem_names()) {
    for (int32_t start = 1; start <= 2; ++start) {
      benchmark::RegisterBenchmark(("BM_Fit/" + name + "-start" + std::to_string(start)).c_str(),
                                   [name, start](benchmark::State& s) { BM_Fit(s, name, start); })
          ->Unit(benchmark::kMillisecond)
          ->UseManualTime()
          ->Iterations(1);
    }
  }
}

}  // namespace

int main(int argc, char** argv) { return fitrun::run_main(argc, argv, register_all, fits); }
