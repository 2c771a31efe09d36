#ifndef KALMIR_FILERUNNER_H_
#define KALMIR_FILERUNNER_H_

// kalmir FILE...: reads every case of the data files, analyses them on all
// cores (batch.h) and writes one table in case order (table.h), to the
// output or to the file of -o (atomicfile.h), with a plot of each analysed
// case when asked; a line on the error stream for each case that could not
// be analysed, and the progress there while the run is long.

#include <cstdio>

#include "clioptions.h"
#include "kalmir/kalmir.h"

// Runs the data files of options (at least one; "-" is in) and returns the
// exit status (clistatus.h). A plot directory in options must have passed
// preparePlotDir. size gives the analyses' resamples and cases.
int runDataFiles(const CommandOptions& options, FILE* in, FILE* out, FILE* err,
                 const kalmir::Options& size);

#endif  // KALMIR_FILERUNNER_H_
