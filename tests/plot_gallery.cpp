// Draws the plots worth looking at before a change to the plot is done:
// the worked example (docs/worked-example.svg is its SVG) and the cases at
// the edges of what the layout must handle: 2 + 2 points, 500 + 500,
// values near +-1e9, constant data, a long name, a wild value, a constant
// baseline, percentages bounded to 0 ... 100, and labels in three scripts;
// and the figures of designs: a reversal series (A B A B), one measured at
// uneven times, and a multiple-baseline study of three cases, one of them
// a reversal series. Prints how long each analysis and each plot took.
//
//   kalmir_plot_gallery FORMAT DIR [CASE...]

#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"
#include "plot.h"

namespace {

struct Case {
  std::string file;
  std::string title;
  int nNA;
  int nNB;
  std::vector<float> fY;
  PlotOptions options = {};
};

// n + n points around levels a and b with noise of the given SD.
std::vector<float> noisy(int n, float fA, float fB, float fSD, float fTrend) {
  std::mt19937 gen(static_cast<unsigned>(n));
  std::normal_distribution<float> noise(0.0f, fSD);
  std::vector<float> fY;
  for (int i = 0; i < 2 * n; ++i) {
    fY.push_back((i < n ? fA : fB) + fTrend * static_cast<float>(i) +
                 noise(gen));
  }
  return fY;
}

std::vector<Case> gallery() {
  std::vector<Case> cases = {
      {"worked-example",
       "Worked example",
       10,
       8,
       {3, 5, 4, 6, 5, 7, 6, 8, 7, 9, 10, 9, 12, 11, 13, 12, 15, 14}},
      {"two-plus-two", "Two points per phase", 2, 2, {4, 5, 9, 7}},
      {"constant", "Constant data", 5, 5, std::vector<float>(10, 5.0f)},
      {"decrease",
       "A decrease",
       6,
       6,
       {9, 10, 9, 11, 10, 10, 6, 5, 6, 4, 5, 4}},
      {"near-plus-1e9", "Values near +1e9", 8, 8, {}},
      {"near-minus-1e9", "Values near -1e9", 8, 8, {}},
      {"wide-range",
       "From -1e9 to 1e9",
       4,
       4,
       {-1e9f, -9e8f, -9.5e8f, -8e8f, 9e8f, 1e9f, 8e8f, 9.7e8f}},
      {"long-phases", "500 + 500 points", 500, 500,
       noisy(500, 10, 14, 1.5f, 0.002f)},
      {"long-name",
       "Participant 17 \xE2\x80\x93 classroom B, reading fluency (words per "
       "minute), spring term, second observer, session notes attached",
       3,
       500,
       {}},
      {"outlier",
       "One wild value",
       9,
       9,
       {3, 5, 4, 6, 5, 7, 6, 8, 7, 10, 9, 250, 11, 13, 12, 15, 14, 12}},
      {"constant-baseline",
       "Constant baseline",
       6,
       6,
       {5, 5, 5, 5, 5, 5, 8, 9, 7, 9, 10, 8}},
      {"percentages",
       "Percent of intervals on task",
       8,
       10,
       {20, 35, 25, 30, 40, 30, 35, 45, 60, 75, 80, 85, 90, 95, 100, 95, 100,
        100}},
      {"labels",
       "\xE5\xBC\xA0\xE4\xB8\x89 \xE2\x80\x93 "
       "\xD0\x9C\xD0\xB0\xD1\x88\xD0\xB0, "
       "Stunde 3",
       5,
       7,
       {12, 14, 11, 13, 12, 18, 20, 19, 22, 21, 23, 22}},
  };
  for (Case& c : cases) {
    if (c.file == "percentages") {
      c.options.yLabel = "Intervals on task (%)";
      c.options.xLabel = "Session";
      c.options.phaseA = "Baseline";
      c.options.phaseB = "Self-monitoring";
      c.options.bYRange = true;
      c.options.yLow = 0;
      c.options.yHigh = 100;
    }
    if (c.file == "labels") {
      c.options.yLabel =
          "W\xC3\xB6rter pro Minute (\xE6\xAF\x8F\xE5\x88\x86\xE9\x92\x9F)";
      c.options.xLabel = "Sitzung";
      c.options.phaseA = "Grundrate";
      c.options.phaseB = "F\xC3\xB6rderung";
      c.options.bMeansPanel = false;
    }
  }
  for (Case& c : cases) {
    if (c.file == "near-plus-1e9" || c.file == "near-minus-1e9") {
      const float fSign = c.file == "near-plus-1e9" ? 1.0f : -1.0f;
      for (int i = 0; i < 16; ++i) {
        c.fY.push_back(fSign * 9.99e8f + (i < 8 ? 0.0f : 2e5f) +
                       1e4f * static_cast<float>(i % 3));
      }
    }
    if (c.file == "long-name") {
      c.fY = noisy(503, 0, 0, 1, 0);
      c.fY.resize(503);
      for (int i = 0; i < 3; ++i) c.fY[static_cast<size_t>(i)] += 20;
    }
  }
  return cases;
}

// The designs' figures: a reversal series by occasions and by uneven
// sessions, an AB case at uneven sessions, and a study of three cases
// with staggered starts.
struct Design {
  std::string file;
  std::vector<kalmir::DataSet> cases;  // one: a series; more: a study
};

std::vector<Design> designs() {
  const kalmir::DataSet abab{"Reversal series",
                             {{"A", {3, 4, 3, 5, 4}},
                              {"B", {8, 9, 10, 9, 11, 10}},
                              {"A", {5, 4, 4, 3, 4}},
                              {"B", {9, 11, 10, 12, 12}}}};
  kalmir::DataSet timed = abab;
  timed.name = "Reversal series at its sessions";
  double t = 1;
  for (kalmir::Phase& phase : timed.phases) {
    for (size_t i = 0; i < phase.values.size(); ++i) {
      phase.times.push_back(t);
      t += i % 2 == 0 ? 1 : 3;
    }
    t += 4;
  }
  kalmir::DataSet uneven{
      "AB at uneven sessions",
      {{"A", {3, 5, 4, 6, 5}, {1, 2, 5, 6, 7}},
       {"B", {10, 9, 12, 11, 13, 12}, {9, 10, 14, 15, 16, 20}}}};
  const std::vector<kalmir::DataSet> study = {
      {"Ann",
       {{"Baseline", {3, 4, 3, 5, 4}, {1, 2, 3, 4, 5}},
        {"Intervention",
         {8, 9, 10, 9, 11, 10, 12, 11, 12, 13},
         {6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}}},
      {"Ben",
       {{"Baseline", {5, 6, 5, 6, 5, 6, 5, 7}, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"Intervention",
         {9, 10, 9, 11, 12, 11, 12},
         {9, 10, 11, 12, 13, 14, 15}}}},
      {"Cleo",
       {{"Baseline", {2, 3, 2, 3, 2, 3, 3, 2, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"Intervention", {6, 7, 8, 8}, {10, 11, 12, 13}},
        {"Baseline", {4, 3, 3}, {14, 15, 16}},
        {"Intervention", {8, 9, 9}, {17, 18, 19}}}}};
  return {{"reversal", {abab}},
          {"reversal-times", {timed}},
          {"ab-times", {uneven}},
          {"study", study}};
}

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  PlotFormat format;
  if (argc < 3 || !parsePlotFormat(argv[1], &format)) {
    std::fprintf(stderr, "usage: %s svg|png|pdf DIR [CASE...]\n", argv[0]);
    return 2;
  }
  const std::set<std::string> wanted(argv + 3, argv + argc);
  int nStatus = 0;
  for (const Case& c : gallery()) {
    if (!wanted.empty() && wanted.count(c.file) == 0) continue;
    auto start = std::chrono::steady_clock::now();
    const auto nA = static_cast<std::ptrdiff_t>(c.nNA);
    kalmir::DataSet data{c.title,
                         {{"A", {c.fY.begin(), c.fY.begin() + nA}},
                          {"B", {c.fY.begin() + nA, c.fY.end()}}}};
    kalmir::Options options;
    options.keep_means = true;
    const kalmir::Result result = kalmir::analyse(data, options);
    const double msAnalysis = msSince(start);
    const std::string path =
        std::string(argv[2]) + "/" + c.file + plotExtension(format);
    start = std::chrono::steady_clock::now();
    std::string error;
    if (!writePlot(path, format, result, c.options, {}, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      nStatus = 1;
      continue;
    }
    std::fprintf(stderr, "%s: analysis %.1f ms, plot %.1f ms\n", path.c_str(),
                 msAnalysis, msSince(start));
  }
  kalmir::Options keep;
  keep.keep_means = true;
  for (const Design& d : designs()) {
    if (!wanted.empty() && wanted.count(d.file) == 0) continue;
    const auto start = std::chrono::steady_clock::now();
    const std::string path =
        std::string(argv[2]) + "/" + d.file + plotExtension(format);
    std::string error;
    bool bWritten = false;
    if (d.file == "ab-times") {
      const kalmir::Result r = kalmir::analyse(d.cases[0], keep);
      std::vector<double> times = d.cases[0].phases[0].times;
      times.insert(times.end(), d.cases[0].phases[1].times.begin(),
                   d.cases[0].phases[1].times.end());
      bWritten = writePlot(path, format, r, {}, {}, &error, times);
    } else if (d.cases.size() == 1) {
      const kalmir::Series s = kalmir::analyse_series(d.cases[0], keep);
      bWritten = writeSeriesPlot(path, format, d.cases[0], s, {}, {}, &error);
    } else {
      const kalmir::Study s = kalmir::analyse_study("A study", d.cases);
      bWritten = writeStudyPlot(path, format, d.cases, s, {}, {}, &error);
    }
    if (!bWritten) {
      std::fprintf(stderr, "%s\n", error.c_str());
      nStatus = 1;
      continue;
    }
    std::fprintf(stderr, "%s: analysis and plot %.1f ms\n", path.c_str(),
                 msSince(start));
  }
  return nStatus;
}
