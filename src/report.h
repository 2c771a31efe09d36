#ifndef KALMIR_REPORT_H_
#define KALMIR_REPORT_H_

#include <string>
#include <vector>

#include "scsim.h"

// The report of one analysis, as the dialogue prints it and as the data
// files' report format repeats it, and the notes on figures that the report
// alone cannot qualify. Formatting only: nothing here reads or writes.

// The report block, from the column heading to the p line and the two
// blank lines after it, byte for byte.
std::string reportText(const Analysis& a);

// Notes on what the figures rest on, one sentence each, without a leading
// "Note: " or a closing period; empty for ordinary data. nNA and nNB are
// the phase lengths of the analysis.
std::vector<std::string> analysisNotes(const Analysis& a, int nNA, int nNB);

// The direction printed after R-squared: "increase" when d >= 0, otherwise
// "decrease" (a d that is not a number counts as a decrease).
const char* direction(const Analysis& a);

#endif  // KALMIR_REPORT_H_
