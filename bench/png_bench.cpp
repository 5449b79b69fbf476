// Reading PNG pictures whose file is large beside their rows: a 1 x 1 picture behind a text
// chunk of 1 to 60 MiB, directly and inside an icon, and one whose compressed stream holds
// 256 MiB of zeros after its row. Each should cost the time to pass over its bytes at most.
#include <benchmark/benchmark.h>

#include "platform/image/picture.hpp"
#include "support/icon_file.hpp"

namespace {

std::vector<uint8_t> png_behind_text(size_t mib) {
  return testsupport::png_rgba(1, 1, {0xFF336699}, {false, 0, {{"tEXt", mib << 20}}});
}

void read(benchmark::State& state, const std::vector<uint8_t>& file) {
  for (auto _ : state) benchmark::DoNotOptimize(platform::decode_picture(file));
}

void BM_PngBehindText(benchmark::State& state) {
  read(state, png_behind_text(size_t(state.range(0))));
}
BENCHMARK(BM_PngBehindText)->Arg(1)->Arg(16)->Arg(60)->Unit(benchmark::kMillisecond);

void BM_IconPngBehindText(benchmark::State& state) {
  read(state, testsupport::icon_file({{1, 1, 32, png_behind_text(60)}}));
}
BENCHMARK(BM_IconPngBehindText)->Unit(benchmark::kMillisecond);

void BM_PngZerosAfterTheRow(benchmark::State& state) {
  read(state, testsupport::png_rgba(1, 1, {0xFF336699}, {false, size_t{256} << 20}));
}
BENCHMARK(BM_PngZerosAfterTheRow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
