// Cost of the matrix routines at parameter sizes (orders 2..10), on random symmetric
// positive-definite matrices: the post-fit statistics call each of them once or twice per fit.
#include <benchmark/benchmark.h>

#include <random>

#include "common/common_data.hpp"
#include "numerics/balance_mod.hpp"
#include "numerics/eigen_cond_index.hpp"
#include "numerics/eigenvlvc.hpp"
#include "numerics/matrixinverse.hpp"

namespace {

// A random symmetric positive-definite n x n matrix with unit-order entries.
FMatrixD<double> spd(long n) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  FMatrixD<double> g(n, n);
  for (long i = 0; i < n * n; ++i) g.data()[i] = u(rng);
  FMatrixD<double> a(n, n);
  for (long i = 1; i <= n; ++i) {
    for (long j = 1; j <= n; ++j) {
      double s = i == j ? 0.1 : 0.0;
      for (long k = 1; k <= n; ++k) s += g(i, k) * g(j, k);
      a(i, j) = s;
    }
  }
  return a;
}

void BM_Lumatinv(benchmark::State& state) {
  const long n = state.range(0);
  const FMatrixD<double> a = spd(n);
  for (auto _ : state) {
    FMatrixD<double> w = a;
    int32_t status = 0;
    matrixinverse::lumatinv(static_cast<int32_t>(n), w.view(), status);
    benchmark::DoNotOptimize(w.data());
  }
}

void BM_Kaiser(benchmark::State& state) {
  const long n = state.range(0);
  const FMatrixD<double> a = spd(n);
  FVector<double> d(n, 1.0);
  for (auto _ : state) {
    FMatrixD<double> w = a;
    int32_t status = 0;
    matrixinverse::kaiser(w.view(), n, n, d.view(), 1e-6, status);
    benchmark::DoNotOptimize(w.data());
  }
}

void BM_Balance(benchmark::State& state) {
  const long n = state.range(0);
  FMatrixD<double> a = spd(n);
  for (long i = 1; i <= n; ++i) a(1, i) *= 1e6;  // something to balance
  for (auto _ : state) {
    FMatrixD<double> w = a;
    balance_mod::balance(w.view(), static_cast<int32_t>(n));
    benchmark::DoNotOptimize(w.data());
  }
}

void BM_Eigenvv(benchmark::State& state) {
  const long n = state.range(0);
  FMatrixD<double> a = spd(n);
  FVector<double> ev(n), pct(n);
  FMatrixD<double> vec(n, n), vecmax(n, n), pctvar(n, n);
  for (auto _ : state) {
    eigenvlvc::eigenvv(static_cast<int32_t>(n),
                       static_cast<int32_t>(n),
                       a.view(),
                       ev.view(),
                       pct.view(),
                       vec.view(),
                       vecmax.view(),
                       pctvar.view());
    benchmark::DoNotOptimize(ev.data());
  }
}

void BM_Eigenjacobi(benchmark::State& state) {
  const long n = state.range(0);
  const FMatrixD<double> a = spd(n);
  FMatrixD<double> v(n, n);
  for (auto _ : state) {
    FMatrixD<double> w = a;
    eigenvlvc::eigenjacobi(w.view(), v.view(), n, n, 1e-12);
    benchmark::DoNotOptimize(w.data());
  }
}

void BM_EigenCondIndex(benchmark::State& state) {
  const long n = state.range(0);
  FMatrixD<double> a = spd(n);
  common_data::CondIndexTable c;
  for (auto _ : state) {
    int32_t m = 0;
    eigen_cond_index(a.view(), c, static_cast<int32_t>(n), 1e-8, m);
    benchmark::DoNotOptimize(&c);
  }
}

}  // namespace

BENCHMARK(BM_Lumatinv)->Arg(2)->Arg(5)->Arg(10);
BENCHMARK(BM_Kaiser)->Arg(2)->Arg(5)->Arg(10);
BENCHMARK(BM_Balance)->Arg(2)->Arg(5)->Arg(10);
BENCHMARK(BM_Eigenvv)->Arg(2)->Arg(5)->Arg(10);
BENCHMARK(BM_Eigenjacobi)->Arg(2)->Arg(5)->Arg(10);
BENCHMARK(BM_EigenCondIndex)->Arg(2)->Arg(5)->Arg(10);
BENCHMARK_MAIN();
