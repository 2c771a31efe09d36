#ifndef KALMIR_PLOTDIALOGUE_H_
#define KALMIR_PLOTDIALOGUE_H_

// kalmir --plot DIR without data files: the typed dialogue, its standard
// output byte for byte as without plots, with a plot of each analysis
// written as analysis-1, analysis-2, ... in DIR and each path named on the
// error stream.

#include <cstdio>
#include <string>

#include "kalmir/kalmir.h"
#include "plot.h"

// Runs the dialogue (dialogue.h) until input ends and returns its status;
// kDialogueFailed when a plot cannot be written or the output fails. dir
// must have passed preparePlotDir; options shape every plot (its title
// stands in for analysis-N when given). size gives the analyses'
// resamples and cases.
int runPlottingDialogue(FILE* in, FILE* out, FILE* err, const std::string& dir,
                        PlotFormat format, const PlotOptions& options,
                        const kalmir::Options& size);

#endif  // KALMIR_PLOTDIALOGUE_H_
