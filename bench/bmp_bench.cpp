// Saving a window as a bitmap file and scaling it for the printer (640 x 480 pixels).
#include <benchmark/benchmark.h>

#include "platform/image/bmp.hpp"
#include "platform/image/scale.hpp"

namespace {

platform::Page window_page() {
  platform::Page page(640, 480);
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) page.at(x, y) = static_cast<platform::Pixel>(x * 977 + y * 31);
  }
  return page;
}

void BM_EncodeBmp(benchmark::State& state) {
  const platform::Page page = window_page();
  for (auto _ : state) benchmark::DoNotOptimize(platform::encode_bmp24(page));
}
BENCHMARK(BM_EncodeBmp);

void BM_DecodeBmp(benchmark::State& state) {
  const std::vector<uint8_t> file = platform::encode_bmp24(window_page());
  for (auto _ : state) benchmark::DoNotOptimize(platform::decode_bmp(file));
}
BENCHMARK(BM_DecodeBmp);

// The printed picture: 7.5 inches wide at 300 dpi.
void BM_ScaleForPrinter(benchmark::State& state) {
  const platform::Page page = window_page();
  for (auto _ : state) benchmark::DoNotOptimize(platform::scale_page(page, 2250, 1687));
}
BENCHMARK(BM_ScaleForPrinter)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
