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
  // The mt of each measurement in fY, in the same order; empty when the
  // file has no mt column. Dates count in days since 1970-01-01.
  std::vector<double> times;
  bool bTimesAreDates = false;
  // Notes on the input (missing or rounded values), one sentence each
  // without a closing period.
  std::vector<std::string> notes;
};

#endif  // KALMIR_CASE_H_
