// Listing a large folder for the file dialog (folders first, files through a filter, sorted
// without regard to case), and matching one name against a filter of several patterns.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "platform/windowed/file_listing.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fl = platform::file_listing;

// A folder of `files` files (half *.dat, half *.txt, mixed case) and 100 folders.
void fill(const testsupport::TempDir& dir, int64_t files) {
  for (int64_t i = 0; i < files; ++i) {
    const std::string name =
        (i % 3 ? "Run" : "run") + std::to_string(i * 7919 % files) + (i % 2 ? ".DAT" : ".txt");
    std::ofstream(dir.path() / name) << i;
  }
  for (int i = 0; i < 100; ++i)
    std::filesystem::create_directory(dir.path() / ("set" + std::to_string(i)));
}

void BM_ListFolder(benchmark::State& state) {
  testsupport::TempDir dir;
  fill(dir, state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(fl::list_folder(dir.path(), "*.dat;*.csv"));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListFolder)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_MatchFilter(benchmark::State& state) {
  const std::string name = "Michaelis-Menten run 2026-12-07 final.DAT";
  for (auto _ : state)
    benchmark::DoNotOptimize(fl::matches_filter("*.BMP;*.GIF;*.JPG;*.ICO;*.EMF;*.dat", name));
}
BENCHMARK(BM_MatchFilter);

}  // namespace

BENCHMARK_MAIN();
