// Rasteriser throughput on a 1920 x 1080 page, in pixels written per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "platform/gfx/device_context.hpp"

namespace {

using platform::Brush;
using platform::DeviceContext;
using platform::Page;
using platform::Pen;
using platform::Point;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// A colour no benchmark draws with, so that every pixel a call writes changes.
constexpr platform::Pixel kUnused = 0x00ABCDEF;

// Pixels one call of `draw` writes, counted once on a fresh page.
long pixels_written(const std::function<void(DeviceContext&)>& setup,
                    const std::function<void(DeviceContext&)>& draw) {
  Page page(kWidth, kHeight);
  page.fill(kUnused);
  DeviceContext dc(page);
  setup(dc);
  draw(dc);
  long n = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) n += page.at(x, y) != kUnused;
  return n;
}

void run(benchmark::State& state,
         const std::function<void(DeviceContext&)>& setup,
         const std::function<void(DeviceContext&)>& draw) {
  const long per_call = pixels_written(setup, draw);
  Page page(kWidth, kHeight);
  DeviceContext dc(page);
  setup(dc);
  for (auto _ : state) {
    draw(dc);
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["pixels/s"] = benchmark::Counter(
      static_cast<double>(per_call) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["pixels/call"] = static_cast<double>(per_call);
}

std::vector<Point> regular_polygon(int n, double r, int step) {
  std::vector<Point> pts;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * std::numbers::pi * (i * step % n) / n;
    pts.push_back(
        {static_cast<int>(960 + r * std::cos(a)), static_cast<int>(540 - r * std::sin(a))});
  }
  return pts;
}

void BM_LongLines(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  run(
      state,
      [&](DeviceContext& dc) { dc.select_pen(Pen::create(width, 0x00FF00)); },
      [](DeviceContext& dc) {
        dc.move_to({0, 0});
        dc.line_to({1919, 1079});
        dc.move_to({0, 540});
        dc.line_to({1919, 540});
        dc.move_to({960, 0});
        dc.line_to({700, 1079});
      });
}
BENCHMARK(BM_LongLines)->Arg(1)->Arg(5);

void BM_LongDashedLinesXor(benchmark::State& state) {
  run(
      state,
      [](DeviceContext& dc) {
        dc.select_pen(Pen::create(1, 0x00FF00, {3, 4, 7, 4}));
        dc.set_mix_mode(platform::MixMode::Xor);
      },
      [](DeviceContext& dc) {
        dc.move_to({0, 0});
        dc.line_to({1919, 1079});
        dc.move_to({0, 540});
        dc.line_to({1919, 540});
      });
}
BENCHMARK(BM_LongDashedLinesXor);

void BM_FilledRectangle(benchmark::State& state) {
  const bool patterned = state.range(0) != 0;
  run(
      state,
      [&](DeviceContext& dc) {
        dc.select_pen(platform::stock_null_pen());
        dc.select_brush(patterned ? Brush::hatch(platform::HatchStyle::DiagonalCross)
                                  : Brush::solid(0x336699));
      },
      [](DeviceContext& dc) {
        dc.rectangle({0, 0, 1921, 1081});
      });
}
BENCHMARK(BM_FilledRectangle)->Arg(0)->Arg(1);

void BM_FillRect(benchmark::State& state) {
  const auto brush = Brush::solid(0x336699);
  run(
      state,
      [](DeviceContext&) {},
      [&](DeviceContext& dc) {
        dc.fill_rect({0, 0, 1920, 1080}, *brush);
      });
}
BENCHMARK(BM_FillRect);

void BM_Polygon(benchmark::State& state) {
  // range(0) vertices; range(1) the vertex step (2 with 5 vertices: a star).
  const std::vector<Point> pts =
      regular_polygon(static_cast<int>(state.range(0)), 530, static_cast<int>(state.range(1)));
  run(
      state,
      [](DeviceContext& dc) { dc.select_brush(Brush::solid(0x336699)); },
      [&](DeviceContext& dc) { dc.polygon(pts); });
}
BENCHMARK(BM_Polygon)->Args({5, 2})->Args({100, 1})->Args({101, 37});

void BM_FilledEllipse(benchmark::State& state) {
  run(
      state,
      [](DeviceContext& dc) { dc.select_brush(Brush::solid(0x336699)); },
      [](DeviceContext& dc) {
        dc.ellipse({0, 0, 1920, 1080});
      });
}
BENCHMARK(BM_FilledEllipse);

}  // namespace

BENCHMARK_MAIN();
