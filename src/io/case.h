#ifndef KALMIR_CASE_H_
#define KALMIR_CASE_H_

// The input record of a case read from a data file, whatever its format:
// the measurements ready for the analysis, or what is wrong with it, with
// the file and line to name in messages. The table and the batch take
// cases in this form; the readers (casefile.h) make them.

#include <string>
#include <vector>

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
  // Notes on the input (missing or rounded values), one sentence each
  // without a closing period.
  std::vector<std::string> notes;
};

#endif  // KALMIR_CASE_H_
