#ifndef KALMIR_VALUELIST_H_
#define KALMIR_VALUELIST_H_

#include <string>

#include "kalmir/kalmir.h"

// One phase's values as text typed or pasted into a field: the numbers of
// the dialogue, separated by blanks, line ends, semicolons or commas, with
// a comma read as a decimal mark where it cannot be a separator. Each
// value is converted as the dialogue converts it, so the same text gives
// the same floats. Nothing is kept between calls.

// Reads text as the values of the phase called label; a list of fewer
// than kMinPhasePoints or more than nMaxPoints values is an error.
kalmir::ValueList readValueList(const std::string& text,
                                const std::string& label, int nMaxPoints);

#endif  // KALMIR_VALUELIST_H_
