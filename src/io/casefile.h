#ifndef KALMIR_CASEFILE_H_
#define KALMIR_CASEFILE_H_

#include <cstdio>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

// Data files -> cases. A data file is a table in long form: a header row
// names the columns (case, phase, values, optionally mt), then one row per
// measurement. The reader takes RFC 4180 quoting, a UTF-8 byte-order mark,
// CRLF, CR or LF line ends and blank lines; it finds the field separator
// from the header unless told, and accepts a decimal comma where it is
// allowed. Each case is checked as the dialogue checks typed data, so a
// case that passes is analysed exactly as the dialogue would analyse it.
// Nothing is kept between calls.

struct CaseFileOptions {
  char cSeparator = 0;       // ',', ';' or '\t'; 0: found from the header
  char cDecimal = 0;         // '.' or ','; 0: a point, or either mark with ';'
  std::string phaseA = "A";  // phase labels, compared without case
  std::string phaseB = "B";
  int nMaxPhasePoints = kalmir::kMaxPhasePoints;
};

// One case of a data file: the measurements ready for the analysis, or
// what is wrong with it.
struct Case {
  std::string name;
  std::string file;  // the file as named on the command line
  std::string valueColumn;  // the values column's name, as its header has it
  int nLine = 0;     // line of the case's first row, or of its error
  // Empty when the case can be analysed; otherwise what is wrong, without
  // the file, line or case name ("no B phase (...)").
  std::string error;
  int nNA = 0;            // A-phase measurements (when there is no error)
  int nNB = 0;            // B-phase measurements
  std::vector<float> fY;  // A phase, then B phase, in time order
  // Notes on the input (missing or rounded values), one sentence each
  // without a closing period.
  std::vector<std::string> notes;
};

// What a whole file came to. A file whose header or quoting cannot be
// read has no cases and an error, with the line it was found on.
struct CaseFile {
  std::vector<Case> cases;  // in the order of each case's first row
  std::string error;        // empty when the file could be read
  int nLine = 0;
};

// Reads a data file from in; name is how messages and, without a case
// column, the case call it. Each case that fails its checks carries its
// error; the others are ready for the analysis.
CaseFile readCaseFile(FILE* in, const std::string& name,
                      const CaseFileOptions& options);

// The same from text in memory.
CaseFile readCaseText(const std::string& text, const std::string& name,
                      const CaseFileOptions& options);

// Text fit for a one-line message: control bytes become '?', and text
// longer than nMax bytes is cut and ends in "...".
std::string printable(const std::string& text, size_t nMax = 60);

#endif  // KALMIR_CASEFILE_H_
