// What a plot adds to an analysis: the worked example analysed with its
// means kept, and its plot written in each format. Not a test: run
// build/kalmir_plot_bench (see README).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "plot.h"

namespace {

const kalmir::DataSet worked{"Worked example",
                             {{"A", {3, 5, 4, 6, 5, 7, 6, 8, 7, 9}},
                              {"B", {10, 9, 12, 11, 13, 12, 15, 14}}}};

kalmir::Options keepingMeans() {
  kalmir::Options options;
  options.keep_means = true;
  return options;
}

void BM_AnalyseKeepingMeans(benchmark::State& state) {
  for (auto _ : state) {
    kalmir::Result result = kalmir::analyse(worked, keepingMeans());
    benchmark::DoNotOptimize(result.d);
  }
}
BENCHMARK(BM_AnalyseKeepingMeans)->Unit(benchmark::kMillisecond);

// 0 svg, 1 png, 2 pdf.
void BM_WritePlot(benchmark::State& state) {
  const PlotFormat format = state.range(0) == 0   ? PlotFormat::kSvg
                            : state.range(0) == 1 ? PlotFormat::kPng
                                                  : PlotFormat::kPdf;
  const kalmir::Result input = kalmir::analyse(worked, keepingMeans());
  const std::string path =
      (std::filesystem::temp_directory_path() / "kalmir_plot_bench").string() +
      plotExtension(format);
  std::string error;
  for (auto _ : state) {
    if (!writePlot(path, format, input, PlotOptions(), {}, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WritePlot)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
