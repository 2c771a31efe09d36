// Timings of whole analyses and of each stage. Not a test: run
// build/kalmir_bench (see README).

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "mersenne.h"
#include "scsim.h"
#include "workbench.h"

namespace {

const int kCases = 100000;

// A data set: the worked example, or random phases of n + n points drawn
// from a fixed seed.
std::vector<float> dataSet(int n) {
  if (n == 0) {
    return {3, 5, 4, 6, 5, 7, 6, 8, 7, 9, 10, 9, 12, 11, 13, 12, 15, 14};
  }
  std::mt19937 gen(static_cast<unsigned>(n));
  std::normal_distribution<float> noise(0.0f, 1.5f);
  std::vector<float> fY;
  for (int i = 0; i < 2 * n; ++i) {
    fY.push_back((i < n ? 10.0f : 14.0f) + 0.05f * static_cast<float>(i % n) +
                 noise(gen));
  }
  return fY;
}

int phaseA(int n) { return n == 0 ? 10 : n; }
int phaseB(int n) { return n == 0 ? 8 : n; }

void BM_Scsim(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<float> fY = dataSet(n);
  PhaseModel nullModel, expModel;
  AutocorrModel autocorrModel;
  SimResults simResults;
  ESResults esResults;
  Workbench bench;
  for (auto _ : state) {
    scsim(bench, phaseA(n), phaseB(n), fY.data(), &nullModel, &expModel,
          &autocorrModel, &simResults, &esResults, kCases);
    benchmark::DoNotOptimize(esResults);
  }
}
// 0 is the worked example (10 + 8 points); the others are n + n points.
BENCHMARK(BM_Scsim)->Arg(0)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scsim)
    ->Arg(200)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The stages of one analysis, each timed from the stream position at which
// the analysis reaches it.
struct Stages {
  explicit Stages(int n)
      : fY(dataSet(n)), phases(phaseA(n), phaseB(n), fY.data()) {}
  // Runs the stages before the simulation, from a freshly seeded stream.
  void fitModels() {
    sgenrand(bench.stream.words, kAnalysisSeed);
    fitLines(bench, phases, &nullModel, &expModel);
    lineStdErrs(bench, phases, &nullModel, &expModel);
    residualStage(bench, phases, &nullModel, &expModel, &autocorrModel);
  }
  void simulate() {
    simulateCases(bench, phases, nullModel, expModel, autocorrModel, kCases,
                  &sim);
  }
  Workbench bench;
  std::vector<float> fY;
  Phases phases;
  PhaseModel nullModel{}, expModel{};
  AutocorrModel autocorrModel{};
  CaseSimulation sim;
};

// The second argument of the stage benchmarks is the number of threads,
// 1 or 2, to compare one core with two.
void BM_LineBootstraps(benchmark::State& state) {
  Stages s(static_cast<int>(state.range(0)));
  s.bench.setThreads(static_cast<int>(state.range(1)));
  fitLines(s.bench, s.phases, &s.nullModel, &s.expModel);
  for (auto _ : state) {
    sgenrand(s.bench.stream.words, kAnalysisSeed);
    lineStdErrs(s.bench, s.phases, &s.nullModel, &s.expModel);
  }
}
BENCHMARK(BM_LineBootstraps)
    ->ArgsProduct({{0, 50}, {1, 2}})
    ->Unit(benchmark::kMillisecond);

void BM_ResidualBootstraps(benchmark::State& state) {
  Stages s(static_cast<int>(state.range(0)));
  fitLines(s.bench, s.phases, &s.nullModel, &s.expModel);
  for (auto _ : state) {
    residualStage(s.bench, s.phases, &s.nullModel, &s.expModel,
                  &s.autocorrModel);
  }
}
BENCHMARK(BM_ResidualBootstraps)
    ->Arg(0)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond);

void BM_Simulation(benchmark::State& state) {
  Stages s(static_cast<int>(state.range(0)));
  s.bench.setThreads(static_cast<int>(state.range(1)));
  s.fitModels();
  for (auto _ : state) s.simulate();
}
BENCHMARK(BM_Simulation)
    ->ArgsProduct({{0, 50}, {1, 2}})
    ->Unit(benchmark::kMillisecond);

void BM_EffectSize(benchmark::State& state) {
  Stages s(static_cast<int>(state.range(0)));
  s.fitModels();
  s.simulate();
  SimResults simResults;
  ESResults esResults;
  for (auto _ : state) {
    effectSizes(s.phases.nNA, s.phases.nNB, s.phases.fYB.data(), kCases,
                s.sim.fNullMeans.data(), s.sim.fNullM, s.sim.fNullSD,
                s.sim.fExpM, s.sim.fExpSD, &simResults, &esResults);
    benchmark::DoNotOptimize(esResults);
  }
}
BENCHMARK(BM_EffectSize)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
