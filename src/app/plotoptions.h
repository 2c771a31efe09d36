#ifndef KALMIR_PLOTOPTIONS_H_
#define KALMIR_PLOTOPTIONS_H_

// The command-line options that shape a plot: --title, --x-label,
// --y-label, --y-range and --plot-panels. Keeps nothing between calls.

#include <string>

#include "plotlayout.h"

// Sets the option of that long name (without its dashes) in *pOptions from
// its value; an error message, or "" when the value fits.
std::string setPlotOption(const std::string& name, const std::string& value,
                          PlotOptions* pOptions);

#endif  // KALMIR_PLOTOPTIONS_H_
