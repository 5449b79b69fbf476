// The model evaluator over all rows against the bare formula evaluation.
//
// The Thurber model of the NIST reference files (a rational cubic in X1, seven parameters) is
// evaluated at its first start point over 100 and 1000 rows (the file's 37 rows repeated). Three
// timings per row count, each reported as nanoseconds per row (ns_per_row):
//   BM_BareFormula  fparser::evalf on the compiled formula, once per row
//   BM_EvalFunc     my_func::eval_func per row (the front end and the value guards on top)
//   BM_FormulaRows  fparser::evalf_rows over all rows at once (what fun evaluates)
//   BM_Fun          funct::fun in weighting modes 0 (none), 3 (Robust Weight) and 4 (StdDev /
//                   Residual): all rows, residuals, sigmas, the sum and the shared-state writes
// The difference between BM_Fun and BM_BareFormula is the overhead of the evaluator's guards
// and weighting.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "model/fparser.hpp"
#include "model/funct.hpp"
#include "model/model_front.hpp"
#include "model/my_func.hpp"
#include "numerics/stringlib.hpp"
#include "support/nist_problem.hpp"

namespace {

struct Data {
  std::string model;      // the formula after "Y="
  std::vector<double> p;  // start 1
  std::vector<double> x;  // X1 of each row
  std::vector<double> y;
};

// Line 1 the model, line 2 the start values, lines 3-5 bounds and mask, rows "x y" up to END.
Data read_thurber() {
  std::ifstream in(testsupport::nist_dir() + "/dat/Thurber-start1.dat");
  Data d;
  std::string line;
  if (!std::getline(in, line) || line.rfind("Y=", 0) != 0) return d;
  d.model = line.substr(2);
  std::getline(in, line);
  std::istringstream starts(line);
  for (double v; starts >> v;) d.p.push_back(v);
  for (int k = 0; k < 3; ++k) std::getline(in, line);
  while (std::getline(in, line) && line.find("END") == std::string::npos) {
    std::istringstream row(line);
    double x = 0.0;
    double y = 0.0;
    if (row >> x >> y) {
      d.x.push_back(x);
      d.y.push_back(y);
    }
  }
  return d;
}

const Data& thurber() {
  static const Data d = read_thurber();
  return d;
}

// The shared data set with n rows (the file's rows repeated) and the model compiled.
bool prepare(int32_t n) {
  const Data& d = thurber();
  if (d.x.empty()) return false;
  common_data::nd = n;
  common_data::nxd = 1;
  for (int32_t i = 1; i <= n; ++i) {
    const size_t k = static_cast<size_t>(i - 1) % d.x.size();
    common_data::xd(i) = d.x[k];
    common_data::xnx(i, 1) = d.x[k];
    common_data::yd(i) = d.y[k];
    common_data::ysig(i) = 1.0;
  }
  common_udf::cudf = stringlib::fixed(d.model, common_udf::len_text);
  double result = kRecompile;
  const double x1 = d.x[0];
  return fnparse2(VecView<const double>(d.p.data(), static_cast<long>(d.p.size())),
                  VecView<const double>(&x1, 1),
                  static_cast<int32_t>(d.p.size()),
                  1,
                  1,
                  common_udf::cudf,
                  result) == 0;
}

void set_rate(benchmark::State& state, int32_t rows) {
  state.counters["ns_per_row"] = benchmark::Counter(
      static_cast<double>(rows),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_BareFormula(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  if (!prepare(n)) return state.SkipWithError("cannot read the Thurber file");
  const Data& d = thurber();
  std::vector<std::string> names;
  for (size_t k = 1; k <= d.p.size(); ++k) names.push_back("P" + std::to_string(k));
  names.push_back("X1");
  fparser::initf(1);
  int32_t ierr = 0;
  fparser::parsef(1, d.model, names, &ierr, 0);
  std::vector<double> values = d.p;
  values.push_back(0.0);
  for (auto _ : state) {
    double sum = 0.0;
    for (int32_t i = 1; i <= n; ++i) {
      values.back() = common_data::xd(i);
      sum += fparser::evalf(1, values);
    }
    benchmark::DoNotOptimize(sum);
  }
  set_rate(state, n);
}

void BM_EvalFunc(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  if (!prepare(n)) return state.SkipWithError("cannot read the Thurber file");
  const Data& d = thurber();
  const int32_t np = static_cast<int32_t>(d.p.size());
  for (auto _ : state) {
    double sum = 0.0;
    for (int32_t i = 1; i <= n; ++i) {
      double v = 0.0;
      my_func::eval_func(VecView<const double>(d.p.data(), np),
                         np,
                         VecView<const double>(&common_data::xd(i), 1),
                         1,
                         common_udf::cudf,
                         v);
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  set_rate(state, n);
}

// The formula over all rows at once: the evaluation inside fun.
void BM_FormulaRows(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  if (!prepare(n)) return state.SkipWithError("cannot read the Thurber file");
  const Data& d = thurber();
  std::vector<double> out(static_cast<size_t>(n));
  const double* cols[1] = {common_data::xd.data()};
  for (auto _ : state) {
    fparser::evalf_rows(1, d.p, cols, n, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  set_rate(state, n);
}

void BM_Fun(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const int32_t mode = static_cast<int32_t>(state.range(1));
  if (!prepare(n)) return state.SkipWithError("cannot read the Thurber file");
  const Data& d = thurber();
  const int32_t np = static_cast<int32_t>(d.p.size());
  std::vector<double> yf(n);
  for (auto _ : state) {
    double fval = 0.0;
    funct::fun(MatView<const double>(common_data::xnx.data(), n, 1, common_data::max_rows),
               VecView<const double>(common_data::yd.data(), n),
               VecView<const double>(d.p.data(), np),
               np,
               1,
               n,
               mode,
               VecView<double>(yf.data(), n),
               VecView<const double>(common_data::ysig.data(), n),
               fval);
    benchmark::DoNotOptimize(fval);
  }
  set_rate(state, n);
}

}  // namespace

BENCHMARK(BM_BareFormula)->Arg(100)->Arg(1000);
BENCHMARK(BM_EvalFunc)->Arg(100)->Arg(1000);
BENCHMARK(BM_FormulaRows)->Arg(100)->Arg(1000);
BENCHMARK(BM_Fun)
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({100, 3})
    ->Args({1000, 3})
    ->Args({100, 4})
    ->Args({1000, 4});
BENCHMARK_MAIN();
