#ifndef KALMIR_CLI_H_
#define KALMIR_CLI_H_

#include <cstdio>

#include "scsim.h"

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
// status. The file "-" is read from in. size is the analysis size; only
// tests ask for less than the full one.
int runCommandLine(int argc, char** argv, FILE* in, FILE* out, FILE* err,
                   const AnalysisSize& size = AnalysisSize());

#endif  // KALMIR_CLI_H_
