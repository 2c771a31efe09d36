#include "cli.h"

#include <cerrno>
#include <exception>
#include <new>
#include <string>

#include "clioptions.h"
#include "dialogue.h"
#include "filerunner.h"
#include "plotdialogue.h"
#include "plotdir.h"

namespace {

int runCommand(int argc, char** argv, FILE* in, FILE* out, FILE* err,
               const kalmir::Options& size) {
  CommandOptions options;
  const std::string what = parseOptions(argc, argv, &options);
  if (!what.empty()) return usageError(err, what);
  if (options.bHelp || options.bVersion) {
    std::fputs((options.bHelp ? helpText() : versionLine()).c_str(), out);
    return std::fflush(out) == 0 && !std::ferror(out)
               ? kCliAllAnalysed
               : writeError(err, "standard output", errno);
  }
  bool bPlotDirFailed = false;
  if (!options.plotDir.empty()) {
    const std::string error = preparePlotDir(options.plotDir);
    if (!error.empty()) {
      std::fprintf(err, "kalmir: %s\n", error.c_str());
      // The dialogue is of no use without its plots; a table still is.
      if (options.inputs.empty()) return kCliFailed;
      options.plotDir.clear();
      bPlotDirFailed = true;
    }
  }
  if (options.inputs.empty()) {
    return runPlottingDialogue(in, out, err, options.plotDir,
                               options.plotFormat, options.plot, size);
  }
  const int nStatus = runDataFiles(options, in, out, err, size);
  return bPlotDirFailed ? kCliFailed : nStatus;
}

}  // namespace

int runCommandLine(int argc, char** argv, FILE* in, FILE* out, FILE* err,
                   const kalmir::Options& size) {
  try {
    return runCommand(argc, argv, in, out, err, size);
  } catch (const std::bad_alloc&) {
    std::fputs("kalmir: out of memory; the table was not finished\n", err);
    return kCliFailed;
  } catch (const std::exception& e) {
    std::fprintf(err, "kalmir: %s; the table was not finished\n", e.what());
    return kCliFailed;
  }
}
