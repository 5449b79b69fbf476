// Laying out the rows of a text field, as every change of its text does: a multi-line box
// filled to its raised limit (150000 units) with report lines, wrapped and not.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/controls/edit_layout.hpp"
#include "platform/text/font.hpp"

namespace {

std::u16string report_text(size_t units) {
  const std::u16string line = u"Parameter a1 = 1.234567E+00  std. error 2.5E-03  t = 493.8\n";
  std::u16string text;
  while (text.size() + line.size() <= units) text += line;
  return text;
}

void BM_LayoutRows(benchmark::State& state) {
  const auto font = platform::Font::default_gui();
  const std::u16string text = report_text(150000);
  const platform::edit_layout::Advance advance = [&](int32_t i) {
    return font->glyph(text[i]).advance;
  };
  for (auto _ : state)
    benchmark::DoNotOptimize(
        platform::edit_layout::layout(text, advance, static_cast<int32_t>(state.range(0))));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_LayoutRows)->Arg(0)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
