// Whole fit runs (main_sub at the level Moderate with weighting None, headless main window) of a
// held-out set of 40 synthetic problems: 8 model families (decay with an offset, hyperbola,
// logistic, Gaussian peak, power law, Arrhenius, two exponentials, rise to a plateau), 5
// problems each, with 2 % normal noise, y and the parameters that carry its unit in units from
// 1E-9 to 1E+8, starts 0.5 to 2 times the optimum (one offset started at 0). The reference
// optimum of each was found apart from the program, by Levenberg-Marquardt with analytic
// Jacobians from the true parameters, stepped until no parameter moved by 1E-15 of itself.
//
// BM_Fit/<problem>: one fit; time is the fit's compute time. Counters:
//   evals       model evaluations over all rows (funct::fun calls)
//   lre_params  smallest log relative error of the fitted parameters against the optimum
//   lre_ssr     log relative error of the run's sum of squares against the least sum
// A summary line follows the table: fits at LRE >= 4 and >= 6 (parameters and sum of squares
// both), median and largest compute time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "engine/main_subs.hpp"
#include "fit_measure.hpp"
#include "support/nist_problem.hpp"

namespace {

struct Problem {
  const char* name;
  const char* model;
  std::vector<double> start, lower, upper, x, y;
  std::vector<double> optimum;  // the reference parameters
  double least_ssr;             // their sum of squares
};

// clang-format off
const Problem kProblems[] = {
#include "synthetic_problems.inc"
};
// clang-format on

std::vector<fitrun::Score> fits;

std::string numbers(const std::vector<double>& v) {
  std::string line;
  char buf[32];
  for (double d : v) {
    std::snprintf(buf, sizeof buf, "%.17g", d);
    line += (line.empty() ? "" : " ") + std::string(buf);
  }
  return line + "\n";
}

// The problem's data file: model, starts, bounds, every parameter free, rows, END.
void write_file(const Problem& pb, const std::filesystem::path& file) {
  std::ofstream out(file);
  out << pb.model << "\n" << numbers(pb.start) << numbers(pb.lower) << numbers(pb.upper);
  out << numbers(std::vector<double>(pb.start.size(), 1.0));
  for (size_t i = 0; i < pb.x.size(); ++i) out << numbers({pb.x[i], pb.y[i]});
  out << "END\n";
}

void BM_Fit(benchmark::State& state, const Problem& pb) {
  fitrun::measure_fits(
      state,
      fits,
      [&](const std::filesystem::path& dir) {
        testsupport::reset_shared_state();
        const std::filesystem::path file = dir / "problem.dat";
        write_file(pb, file);
        return file;
      },
      [&](double& lre_params, double& lre_ssr) {
        lre_params = 11.0;
        for (size_t i = 0; i < pb.optimum.size(); ++i) {
          const double p = common_data::pfinal(int32_t(i) + 1);
          lre_params = std::min(lre_params, testsupport::lre(p, pb.optimum[i]));
        }
        lre_ssr = testsupport::lre(common_data::fssqr, pb.least_ssr);
        // A run that ended on the error path has no fit to score.
        if (!main_subs::every_block_reported) lre_params = lre_ssr = 0.0;
      });
}

void register_all() {
  for (const Problem& pb : kProblems) {
    benchmark::RegisterBenchmark((std::string("BM_Fit/") + pb.name).c_str(),
                                 [&pb](benchmark::State& s) { BM_Fit(s, pb); })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1);
  }
}

}  // namespace

int main(int argc, char** argv) { return fitrun::run_main(argc, argv, register_all, fits); }
