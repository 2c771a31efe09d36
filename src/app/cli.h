#ifndef KALMIR_CLI_H_
#define KALMIR_CLI_H_

#include <cstdio>

#include "kalmir/kalmir.h"

// The command line: kalmir [OPTIONS] FILE... reads every case of the data
// files, analyses them on all cores and writes one table, in case order.
// Results go to the output (or the file of -o, replaced only once it is
// complete; -o - is the output); messages go to the error stream.

// Exit statuses of the command line.
enum CliStatus {
  kCliAllAnalysed = 0,  // every case was analysed
  kCliSomeFailed = 1,   // some cases could not be analysed; the rest were
  kCliFailed = 2,       // a bad option, an unreadable file, a failed write
};

// Runs the command line argv[1] ... argv[argc - 1] and returns its exit
// status. The file "-" is read from in. size gives the analyses' resamples
// and cases: the program always runs the full size; tests ask for less.
int runCommandLine(int argc, char** argv, FILE* in, FILE* out, FILE* err,
                   const kalmir::Options& size = kalmir::Options());

#endif  // KALMIR_CLI_H_
