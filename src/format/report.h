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

#endif  // KALMIR_REPORT_H_
