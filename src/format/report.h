#ifndef KALMIR_REPORT_H_
#define KALMIR_REPORT_H_

#include <string>

#include "kalmir/kalmir.h"

// The report of one analysis, as the dialogue prints it and as the data
// files' report format repeats it. Formatting only: nothing here reads or
// writes.

// The report block, from the column heading to the p line and the two
// blank lines after it, byte for byte.
std::string reportText(const kalmir::Result& result);

// The direction printed after R-squared: "increase" or "decrease".
const char* directionText(kalmir::Direction direction);

// The direction of improvement of the other effect sizes: "increase" or
// "decrease".
const char* improvementText(kalmir::Improvement improvement);

// The block of the other effect sizes (Result::indices) with the report's
// rounding, their notes as "Note: " lines, and two blank lines after it.
std::string indicesText(const kalmir::Result& result);

// The block of a Summary (a case's A-B contrasts or a study's cases
// averaged): what was averaged and how, each figure with its SE where it
// has one, in the report's rounding, and two blank lines after it. what
// says what count counts ("A-B CONTRASTS", "CASES").
std::string summaryText(const kalmir::Summary& summary, const char* what,
                        kalmir::Weights weights);

// How averages are weighted: "equal" or "inverse-variance".
const char* weightsText(kalmir::Weights weights);

#endif  // KALMIR_REPORT_H_
