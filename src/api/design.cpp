// Reversal series and studies of several cases, over the AB analysis: each
// phase change is an AB data set, and the figures of several are averaged.

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "kalmir/kalmir.h"
#include "notes.h"

namespace kalmir {

namespace {

const double kNoSE = std::numeric_limits<double>::quiet_NaN();

// One figure of one contrast or case, with its standard error (NaN for a
// figure without one). An SMD that a contrast has none of is absent.
struct Figure {
  double estimate;
  double se;
  bool bPresent = true;
};

using Figures = std::vector<std::pair<std::string, Figure>>;

Figure smdFigure(const std::optional<Smd>& smd) {
  if (!smd) return {0, 0, false};
  return {smd->g, smd->se};
}

// The figures averaged, named as the table's columns, in its order.
Figures figuresOf(const Result& r) {
  const Indices& x = r.indices;
  return {{"d_unstd", {r.d_unstd, kNoSE}},
          {"d", {r.d, r.d_se}},
          {"nap", {x.nap, x.nap_se}},
          {"tau", {x.tau, x.tau_se}},
          {"tau_u", {x.tau_u, kNoSE}},
          {"tau_bc", {x.tau_bc, x.tau_bc_se}},
          {"pnd", {x.pnd, kNoSE}},
          {"pem", {x.pem, kNoSE}},
          {"pand", {x.pand, kNoSE}},
          {"ird", {x.ird, kNoSE}},
          {"smd_baseline", smdFigure(x.smd_baseline)},
          {"smd_pooled", smdFigure(x.smd_pooled)}};
}

// A summary's averages as figures, for the level above it; the figures it
// could not average are absent.
Figures figuresOf(const Summary& s, const Figures& layout) {
  Figures figures;
  for (const auto& named : layout) {
    Figure f{0, 0, false};
    for (const Average& a : s.averages) {
      if (a.name == named.first) f = {a.estimate, a.se};
    }
    figures.push_back({named.first, f});
  }
  return figures;
}

// Est = sum(w ES) / sum(w), SE = sqrt(sum(w^2 SE^2)) / sum(w). With
// inverse-variance weights a figure with a standard error is weighted by
// 1 / SE^2 and one without by d's weights; where an SE is 0 or not finite
// no such weight exists, and the figure is averaged with equal weights. A
// figure that some item lacks (an SMD of a flat baseline) is not averaged:
// the others' weights would not add up to the same whole.
Summary average(const std::vector<Figures>& items, Weights weights) {
  Summary summary;
  summary.count = static_cast<int>(items.size());
  if (items.empty()) return summary;
  auto inverseVariance = [&](size_t k, std::vector<double>* pW) {
    for (const auto& item : items) {
      const double se = item[k].second.se;
      if (!(se > 0.0) || !std::isfinite(se)) return false;
      pW->push_back(1.0 / (se * se));
    }
    return true;
  };
  size_t nD = 0;
  while (items[0][nD].first != "d") ++nD;
  for (size_t k = 0; k < items[0].size(); ++k) {
    bool bAll = true;
    for (const auto& item : items) bAll = bAll && item[k].second.bPresent;
    if (!bAll) continue;
    const bool bHasSE = !std::isnan(items[0][k].second.se);
    std::vector<double> w;
    if (weights != Weights::inverse_variance ||
        !inverseVariance(bHasSE ? k : nD, &w)) {
      w.assign(items.size(), 1.0);
    }
    double sumW = 0, sumWES = 0, sumW2SE2 = 0;
    for (size_t i = 0; i < items.size(); ++i) {
      const Figure& f = items[i][k].second;
      sumW += w[i];
      sumWES += w[i] * f.estimate;
      sumW2SE2 += w[i] * w[i] * f.se * f.se;
    }
    Average a;
    a.name = items[0][k].first;
    a.estimate = sumWES / sumW;
    a.se = bHasSE ? std::sqrt(sumW2SE2) / sumW : kNoSE;
    summary.averages.push_back(a);
  }
  return summary;
}

// The phases' labels in the contrasts' names: numbered by role ("A1",
// "B1", "A2", ...) unless the data numbered them already.
std::vector<std::string> numberedLabels(const DataSet& data) {
  // Phases without a label take the roles' plain names.
  std::vector<std::string> labels;
  for (size_t i = 0; i < data.phases.size(); ++i) {
    const std::string& label = data.phases[i].label;
    labels.push_back(!label.empty() ? label : i % 2 == 0 ? "A" : "B");
  }
  const std::string& first = labels[0];
  const std::string& second = labels[1];
  if (first == second) {
    throw Error(ErrorCode::bad_data,
                "phases 1 and 2 are both \"" + first +
                    "\"; a series alternates between a baseline and an "
                    "intervention phase");
  }
  // Labels that differ only in their trailing digits share a role.
  auto role = [](const std::string& label) {
    const size_t nEnd = label.find_last_not_of("0123456789");
    return nEnd == std::string::npos ? label : label.substr(0, nEnd + 1);
  };
  const bool bNumbered = role(first) != first && role(second) != second &&
                         role(first) != role(second);
  std::vector<std::string> names;
  for (size_t i = 0; i < labels.size(); ++i) {
    const std::string& label = labels[i];
    const std::string& expected = i % 2 == 0 ? first : second;
    const bool bSameRole = bNumbered ? role(label) == role(expected)
                                     : label == expected;
    if (!bSameRole) {
      throw Error(ErrorCode::bad_data,
                  "phase " + std::to_string(i + 1) + " (\"" + label +
                      "\") should be a \"" +
                      (bNumbered ? role(expected) : expected) +
                      "\" phase; a series alternates between its first two "
                      "phases' kinds");
    }
    names.push_back(bNumbered ? label
                              : label + std::to_string(i / 2 + 1));
  }
  return names;
}

// When the first phase change happens: the first time of the second
// phase, or its first occasion when there are no times.
double interventionStart(const DataSet& data) {
  const Phase& b = data.phases[1];
  if (!b.times.empty()) return b.times[0];
  return static_cast<double>(data.phases[0].values.size()) + 1.0;
}

void checkPhaseCount(const DataSet& data) {
  const size_t nPhases = data.phases.size();
  if (nPhases < 2 || nPhases > static_cast<size_t>(kMaxPhases)) {
    throw Error(ErrorCode::bad_data,
                "a series needs 2 to " + std::to_string(kMaxPhases) +
                    " phases; this one has " + std::to_string(nPhases));
  }
}

// The series of data from its contrasts' results; names are the phases'
// numbered labels.
Series seriesOf(const DataSet& data, const std::vector<std::string>& names,
                std::vector<Result> results, Weights weights) {
  const size_t nPhases = data.phases.size();
  if (results.size() + 1 != nPhases) {
    throw Error(ErrorCode::bad_data,
                "a series of " + std::to_string(nPhases) + " phases has " +
                    std::to_string(nPhases - 1) + " contrasts, not " +
                    std::to_string(results.size()));
  }
  Series series;
  series.name = data.name;
  for (size_t i = 0; i + 1 < nPhases; ++i) {
    Contrast c;
    c.label = names[i] + "-" + names[i + 1];
    c.a_to_b = i % 2 == 0;
    c.result = std::move(results[i]);
    series.contrasts.push_back(std::move(c));
  }
  std::vector<Figures> aToB;
  for (const Contrast& c : series.contrasts) {
    if (c.a_to_b) aToB.push_back(figuresOf(c.result));
  }
  if (aToB.size() >= 2) {
    series.has_summary = true;
    series.summary = average(aToB, weights);
  }
  for (size_t i = 0; i < nPhases; ++i) {
    const size_t n = data.phases[i].values.size();
    if (n < 3) {
      series.notes.push_back(
          {NoteCode::design_short_phase,
           shortPhaseDesignNote(names[i], static_cast<int>(n))});
    }
  }
  if (nPhases > 2 && nPhases < 4) {
    series.notes.push_back({NoteCode::design_few_changes,
                            fewChangesDesignNote(static_cast<int>(nPhases) - 1)});
  }
  return series;
}

// analyse_series on the caller's Analyser, whose threads and arrays then
// serve every contrast (and, in a study, every case).
Series seriesOn(Analyser& analyser, const DataSet& data,
                const Options& options, Weights weights) {
  checkPhaseCount(data);
  const std::vector<std::string> names = numberedLabels(data);
  std::vector<Result> results;
  for (size_t i = 0; i + 1 < data.phases.size(); ++i) {
    DataSet pair{data.name, {data.phases[i], data.phases[i + 1]}};
    results.push_back(analyser.analyse(pair, options));
  }
  return seriesOf(data, names, std::move(results), weights);
}

}  // namespace

std::vector<ContrastData> series_contrasts(const DataSet& data) {
  checkPhaseCount(data);
  const std::vector<std::string> names = numberedLabels(data);
  std::vector<ContrastData> contrasts;
  for (size_t i = 0; i + 1 < data.phases.size(); ++i) {
    ContrastData c;
    c.label = names[i] + "-" + names[i + 1];
    c.a_to_b = i % 2 == 0;
    c.data = {data.name, {data.phases[i], data.phases[i + 1]}};
    contrasts.push_back(std::move(c));
  }
  return contrasts;
}

Series summarise_series(const DataSet& data, std::vector<Result> results,
                        Weights weights) {
  checkPhaseCount(data);
  return seriesOf(data, numberedLabels(data), std::move(results), weights);
}

Series analyse_series(const DataSet& data, const Options& options,
                      Weights weights) {
  Analyser analyser;
  return seriesOn(analyser, data, options, weights);
}

Study summarise_study(const std::string& name,
                      const std::vector<DataSet>& cases,
                      std::vector<Series> series, Weights weights) {
  if (cases.size() < 2) {
    throw Error(ErrorCode::bad_data,
                "study \"" + name + "\" has " + std::to_string(cases.size()) +
                    " case; a study needs at least 2");
  }
  if (series.size() != cases.size()) {
    throw Error(ErrorCode::bad_data,
                "study \"" + name + "\" has " + std::to_string(cases.size()) +
                    " cases but " + std::to_string(series.size()) + " series");
  }
  Study study;
  study.name = name;
  std::vector<Figures> perCase;
  std::multiset<double> starts;
  for (size_t i = 0; i < cases.size(); ++i) {
    Series& s = series[i];
    if (s.contrasts.empty()) {
      throw Error(ErrorCode::bad_data,
                  "case \"" + s.name + "\" of study \"" + name +
                      "\" has no contrasts");
    }
    const Figures first = figuresOf(s.contrasts[0].result);
    perCase.push_back(s.has_summary ? figuresOf(s.summary, first) : first);
    starts.insert(interventionStart(cases[i]));
    study.cases.push_back(std::move(s));
  }
  study.summary = average(perCase, weights);
  const std::set<double> distinct(starts.begin(), starts.end());
  if (distinct.size() < 3) {
    study.notes.push_back(
        {NoteCode::design_few_cases,
         fewCasesDesignNote(static_cast<int>(distinct.size()))});
  }
  if (distinct.size() < starts.size()) {
    study.notes.push_back(
        {NoteCode::design_not_staggered, notStaggeredDesignNote()});
  }
  return study;
}

Study analyse_study(const std::string& name, const std::vector<DataSet>& cases,
                    const Options& options, Weights weights) {
  if (cases.size() < 2) {
    throw Error(ErrorCode::bad_data,
                "study \"" + name + "\" has " + std::to_string(cases.size()) +
                    " case; a study needs at least 2");
  }
  std::vector<Series> series;
  Analyser analyser;
  for (const DataSet& data : cases) {
    series.push_back(seriesOn(analyser, data, options, weights));
  }
  return summarise_study(name, cases, std::move(series), weights);
}

}  // namespace kalmir
