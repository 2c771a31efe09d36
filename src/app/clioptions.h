#ifndef KALMIR_CLIOPTIONS_H_
#define KALMIR_CLIOPTIONS_H_

// The command line's options: what each means, how they are read, and the
// help that lists them. Reading them loads nothing: whether a PNG or PDF
// plot can be drawn is asked of the drawing module only when the command
// goes on to run, never for --help or --version. The options that shape a
// plot are read by plotoptions.h.

#include <string>
#include <vector>

#include "casefile.h"
#include "plot.h"
#include "table.h"

struct CommandOptions {
  TableFormat format = TableFormat::kCsv;
  std::string plotDir;  // empty: no plots
  PlotFormat plotFormat = PlotFormat::kSvg;
  bool bPlotsAsked = false;  // --plot was given, whether DIR can be had
  PlotOptions plot;          // what shapes each plot
  // No option but those of plots (the phase labels name the plot's
  // phases).
  bool bOnlyPlotOptions = true;
  std::string output;            // -o; empty: the output stream
  int nJobs = 0;                 // 0: one per core
  CaseFileOptions files;
  std::vector<std::string> inputs;  // "-" is standard input
  bool bHelp = false;
  bool bVersion = false;
  // The direction the other effect sizes count as improvement.
  kalmir::Improvement improvement = kalmir::Improvement::increase;
  // How a case's A-B contrasts and a study's cases are averaged.
  kalmir::Weights weights = kalmir::Weights::equal;
  bool bIndices = false;  // the report format adds the other effect sizes
};

// Reads the options of argv[1] ... argv[argc - 1] into *pOptions; returns
// what is wrong with the command, or "" when it is sound. Help or the
// version asked for wins over any other mistake; otherwise the first
// mistake in argument order is the one told.
std::string parseOptions(int argc, char** argv, CommandOptions* pOptions);

// The help, one screen ending with an example.
std::string helpText();

// "kalmir VERSION\n".
std::string versionLine();

#endif  // KALMIR_CLIOPTIONS_H_
