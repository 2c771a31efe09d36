#ifndef KALMIR_CASE_H_
#define KALMIR_CASE_H_

// The input record of a case read from a data file, whatever its format:
// the measurements ready for the analysis, or what is wrong with it, with
// the file and line to name in messages. The table and the batch take
// cases in this form; the readers (casefile.h) make them.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "kalmir/kalmir.h"

struct Case {
  std::string name;
  std::string file;  // the file as named on the command line
  std::string study;  // the study the case belongs to; empty: none
  std::string valueColumn;  // the values column's name, as its header has it
  int nLine = 0;     // line of the case's first row, or of its error
  // Empty when the case can be analysed; otherwise what is wrong, without
  // the file, line or case name ("no B phase (...)").
  std::string error;
  int nNA = 0;            // A-phase measurements (when there is no error)
  int nNB = 0;            // B-phase measurements
  std::vector<float> fY;  // A phase, then B phase, in time order
  // Every phase's measurements, A, B, A, B, ... in time order; fY holds
  // them one phase after the other. An AB case has {nNA, nNB}; in a
  // reversal series nNA and nNB are its first two phases'.
  std::vector<int> phaseSizes;
  // The mt of each measurement in fY, in the same order; empty when the
  // file has no mt column. Dates count in days since 1970-01-01.
  std::vector<double> times;
  bool bTimesAreDates = false;
  // Notes on the input (missing or rounded values), one sentence each
  // without a closing period.
  std::vector<std::string> notes;
};

// The case's measurements as a data set for the analysis, a phase each,
// labelled A and B by role whatever the file called them (the contrasts
// are named by role: A1-B1, B1-A2, ...). Floats widen to doubles exactly,
// so the analysis holds the same values; each phase carries its mt when
// the file has them. Needs a case without an error.
inline kalmir::DataSet caseDataSet(const Case& c) {
  kalmir::DataSet data{c.name, {}};
  // A case made without phaseSizes is an AB case.
  const std::vector<int> sizes =
      c.phaseSizes.empty() ? std::vector<int>{c.nNA, c.nNB} : c.phaseSizes;
  const bool bTimes = c.times.size() == c.fY.size();
  std::ptrdiff_t nAt = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const std::ptrdiff_t nBegin = nAt;
    nAt += sizes[i];
    kalmir::Phase phase{i % 2 == 0 ? "A" : "B",
                        {c.fY.begin() + nBegin, c.fY.begin() + nAt}};
    if (bTimes) {
      phase.times.assign(c.times.begin() + nBegin, c.times.begin() + nAt);
    }
    data.phases.push_back(std::move(phase));
  }
  return data;
}

#endif  // KALMIR_CASE_H_
