// Text measuring and drawing with a warm glyph cache: one line of a result window.
#include <benchmark/benchmark.h>

#include "platform/text/text_layout.hpp"

namespace {

const std::u16string kLine = u"Parameter a1 = 1.234567E+00  std. error 2.5E-03  t = 493.8";

void BM_MeasureLine(benchmark::State& state) {
  auto font = platform::Font::create(
      {static_cast<int>(state.range(0)), 400, platform::FontFamily::Swiss, "", false});
  for (auto _ : state) benchmark::DoNotOptimize(platform::measure_text(*font, kLine));
}
BENCHMARK(BM_MeasureLine)->Arg(12)->Arg(48);

void BM_DrawLine(benchmark::State& state) {
  auto font = platform::Font::create(
      {static_cast<int>(state.range(0)), 400, platform::FontFamily::Swiss, "", false});
  platform::Page page(1200, 100);
  for (auto _ : state) {
    platform::draw_text(page, *font, 0, 0, kLine, {0xFFFFFF, 0, true}, {0, 0, 1200, 100});
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DrawLine)->Arg(12)->Arg(48);

void BM_CreateFont(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        platform::Font::create({12, 700, platform::FontFamily::DontCare, "", false}));
  }
}
BENCHMARK(BM_CreateFont);

}  // namespace

BENCHMARK_MAIN();
