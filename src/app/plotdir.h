#ifndef KALMIR_PLOTDIR_H_
#define KALMIR_PLOTDIR_H_

// The directory of --plot: made when missing, checked before any analysis
// so that a run never finds out at its end that no plot can be written,
// and the paths of the plots in it. Keeps nothing.

#include <string>

#include "plot.h"

// Makes dir when it is missing; "" when plots can be written into it, else
// why not, as a message naming it.
std::string preparePlotDir(const std::string& dir);

// dir/fileName with the format's extension; fileName from plotFileName.
std::string plotPath(const std::string& dir, const std::string& fileName,
                     PlotFormat format);

#endif  // KALMIR_PLOTDIR_H_
