// Cost of laying out report lines and single fields with Fortran edit descriptors.
#include <benchmark/benchmark.h>

#include <vector>

#include "numerics/editfmt.hpp"

namespace {

// One line of a results table: ten reals in scientific form.
void BM_ReportLine(benchmark::State& state) {
  std::vector<editfmt::Value> values;
  for (int i = 1; i <= 10; ++i) values.emplace_back(1.234567e-3 * i * i);
  for (auto _ : state) {
    benchmark::DoNotOptimize(editfmt::format("(1X,10(ES10.3,3X))", values));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(values.size()));
}
BENCHMARK(BM_ReportLine);

// A parameter value as the parameter line writes it.
void BM_SingleG16_8(benchmark::State& state) {
  double x = 3.14159265358979;
  for (auto _ : state) {
    benchmark::DoNotOptimize(editfmt::format_real("G16.8", x));
    x += 1.0;
  }
}
BENCHMARK(BM_SingleG16_8);

// Fixed form of a large value: every integer digit is converted.
void BM_FixedOfLargeValue(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(editfmt::format_real("F14.3", 1.5e300));
}
BENCHMARK(BM_FixedOfLargeValue);

void BM_SingleI4(benchmark::State& state) {
  int64_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(editfmt::format_int("I4", ++i % 10000));
}
BENCHMARK(BM_SingleI4);

}  // namespace

BENCHMARK_MAIN();
