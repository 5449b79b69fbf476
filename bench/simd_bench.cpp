// The vector library's functions at the SSE2 level against the platform's libm, per value: the
// measurement behind the SSE2 kernels' choice of library for each function (simd_sse2.cpp).
// Each function runs over 1024 arguments spread over a range that models meet (for "^" a base
// in [0.5, 50] and an exponent in [-3, 3]); BM_Sleef takes two values a call, BM_Libm one.
// After the runs a table gives nanoseconds per value (the least of the repetitions, on a busy
// machine the least disturbed) and the ratio sleef/libm: where it exceeds 1, the scalar libm is
// the faster form on this processor.
#include <benchmark/benchmark.h>
#include <emmintrin.h>
#include <sleef.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "console_options.hpp"

namespace {

constexpr size_t kValues = 1024;

struct Fn {
  const char* name;
  // SLEEF declares its results const.
  const __m128d (*sleef)(__m128d);  // one-argument functions
  double (*libm)(double);
  const __m128d (*sleef2)(__m128d, __m128d);  // "^"
  double (*libm2)(double, double);
  double lo, hi;  // the range of the (first) argument
};

// clang-format off
const Fn kFns[] = {
    {"exp", Sleef_expd2_u10sse2, [](double x) { return std::exp(x); }, nullptr, nullptr, -20.0, 20.0},
    {"log", Sleef_logd2_u10sse2, [](double x) { return std::log(x); }, nullptr, nullptr, 1e-3, 1e3},
    {"log10", Sleef_log10d2_u10sse2, [](double x) { return std::log10(x); }, nullptr, nullptr, 1e-3, 1e3},
    {"pow", nullptr, nullptr, Sleef_powd2_u10sse2, [](double a, double b) { return std::pow(a, b); }, 0.5, 50.0},
    {"sinh", Sleef_sinhd2_u10sse2, [](double x) { return std::sinh(x); }, nullptr, nullptr, -20.0, 20.0},
    {"cosh", Sleef_coshd2_u10sse2, [](double x) { return std::cosh(x); }, nullptr, nullptr, -20.0, 20.0},
    {"tanh", Sleef_tanhd2_u10sse2, [](double x) { return std::tanh(x); }, nullptr, nullptr, -5.0, 5.0},
    {"sin", Sleef_sind2_u10sse2, [](double x) { return std::sin(x); }, nullptr, nullptr, -10.0, 10.0},
    {"cos", Sleef_cosd2_u10sse2, [](double x) { return std::cos(x); }, nullptr, nullptr, -10.0, 10.0},
    {"tan", Sleef_tand2_u10sse2, [](double x) { return std::tan(x); }, nullptr, nullptr, -10.0, 10.0},
    {"asin", Sleef_asind2_u10sse2, [](double x) { return std::asin(x); }, nullptr, nullptr, -1.0, 1.0},
    {"acos", Sleef_acosd2_u10sse2, [](double x) { return std::acos(x); }, nullptr, nullptr, -1.0, 1.0},
    {"atan", Sleef_atand2_u10sse2, [](double x) { return std::atan(x); }, nullptr, nullptr, -10.0, 10.0},
};
// clang-format on

std::vector<double> spread(double lo, double hi, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(lo, hi);
  std::vector<double> v(kValues);
  for (double& x : v) x = u(rng);
  return v;
}

void run_sleef(benchmark::State& state, const Fn& f) {
  const std::vector<double> a = spread(f.lo, f.hi, 1), b = spread(-3.0, 3.0, 2);
  std::vector<double> out(kValues);
  for (auto _ : state) {
    for (size_t i = 0; i < kValues; i += 2) {
      const __m128d x = _mm_loadu_pd(&a[i]);
      _mm_storeu_pd(&out[i], f.sleef != nullptr ? f.sleef(x) : f.sleef2(x, _mm_loadu_pd(&b[i])));
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kValues));
}

void run_libm(benchmark::State& state, const Fn& f) {
  const std::vector<double> a = spread(f.lo, f.hi, 1), b = spread(-3.0, 3.0, 2);
  std::vector<double> out(kValues);
  for (auto _ : state) {
    for (size_t i = 0; i < kValues; ++i) {
      out[i] = f.libm != nullptr ? f.libm(a[i]) : f.libm2(a[i], b[i]);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kValues));
}

// Prints the usual table, then nanoseconds per value of both forms and their ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(benchsupport::console_options()) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const auto items = r.counters.find("items_per_second");
      if (r.error_occurred || r.run_type != Run::RT_Iteration || items == r.counters.end() ||
          items->second.value <= 0.0) {
        continue;
      }
      const std::string name = r.run_name.function_name;  // "Sleef/exp", "Libm/exp"
      const size_t slash = name.find('/');
      double& ns = ns_[name.substr(slash + 1)][name.substr(0, slash)];
      const double now = 1e9 / items->second.value;
      if (ns == 0.0 || now < ns) ns = now;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-6s %8s %8s %11s\n", "fn", "sleef", "libm", "sleef/libm");
    for (const Fn& f : kFns) {
      auto& t = ns_[f.name];
      const double s = t["Sleef"], l = t["Libm"];
      std::printf("%-6s %8.2f %8.2f %11.2f\n", f.name, s, l, l > 0.0 ? s / l : 0.0);
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> ns_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const Fn& f : kFns) {
    benchmark::RegisterBenchmark((std::string("Sleef/") + f.name).c_str(), run_sleef, f);
    benchmark::RegisterBenchmark((std::string("Libm/") + f.name).c_str(), run_libm, f);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
