// What a plot adds to an analysis: the worked example analysed with its
// means kept, and its plot written in each format. Not a test: run
// build/kalmir_plot_bench (see README).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "plot.h"
#include "scsim.h"

namespace {

const std::vector<float> fWorked = {3, 5,  4, 6,  5,  7,  6,  8,  7,
                                    9, 10, 9, 12, 11, 13, 12, 15, 14};

void BM_AnalyseKeepingMeans(benchmark::State& state) {
  Analysis analysis;
  for (auto _ : state) {
    analyse(10, 8, fWorked.data(), AnalysisSize(), true, &analysis);
    benchmark::DoNotOptimize(analysis.esResults);
  }
}
BENCHMARK(BM_AnalyseKeepingMeans)->Unit(benchmark::kMillisecond);

// 0 svg, 1 png, 2 pdf.
void BM_WritePlot(benchmark::State& state) {
  const PlotFormat format = state.range(0) == 0   ? PlotFormat::kSvg
                            : state.range(0) == 1 ? PlotFormat::kPng
                                                  : PlotFormat::kPdf;
  Analysis analysis;
  analyse(10, 8, fWorked.data(), AnalysisSize(), true, &analysis);
  PlotInput input;
  input.name = "Worked example";
  input.nNA = 10;
  input.nNB = 8;
  input.pfY = fWorked.data();
  input.pAnalysis = &analysis;
  const std::string path =
      (std::filesystem::temp_directory_path() / "kalmir_plot_bench").string() +
      plotExtension(format);
  std::string error;
  for (auto _ : state) {
    if (!writePlot(path, format, input, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WritePlot)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
