#ifndef KALMIR_CLI_H_
#define KALMIR_CLI_H_

#include <cstdio>

#include "clistatus.h"
#include "kalmir/kalmir.h"

// The command line: kalmir [OPTIONS] FILE... reads every case of the data
// files, analyses them on all cores and writes one table, in case order
// (filerunner.h); with --plot and no file, the dialogue with a plot of each
// analysis (plotdialogue.h). This unit reads the options (clioptions.h),
// answers --help and --version, and picks one of the two. Results go to
// the output; messages go to the error stream.

// Runs the command line argv[1] ... argv[argc - 1] and returns its exit
// status. The file "-" is read from in. size gives the analyses' resamples
// and cases: the program always runs the full size; tests ask for less.
int runCommandLine(int argc, char** argv, FILE* in, FILE* out, FILE* err,
                   const kalmir::Options& size = kalmir::Options());

#endif  // KALMIR_CLI_H_
