#include "plotdialogue.h"

#include <cerrno>
#include <set>

#include "clistatus.h"
#include "dialogue.h"
#include "plotdir.h"
#include "text.h"

int runPlottingDialogue(FILE* in, FILE* out, FILE* err, const std::string& dir,
                        PlotFormat format, const PlotOptions& options,
                        const kalmir::Options& size) {
  std::set<std::string> used;
  DialogueLimits limits;
  limits.nBootSamples = size.resamples;
  limits.nSimN = size.cases;
  limits.bKeepMeans = true;
  limits.afterReport = [&](int nAnalysis, const kalmir::Result& a) {
    const std::string name = "analysis-" + std::to_string(nAnalysis);
    kalmir::Result named = a;
    named.name = name;
    const std::string path = plotPath(dir, plotFileName(name, &used), format);
    std::string error;
    if (!writePlot(path, format, named, options, {}, &error)) {
      std::fprintf(err, "kalmir: %s\n", error.c_str());
      return false;
    }
    std::fprintf(err, "kalmir: plot written to %s\n", printable(path).c_str());
    return true;
  };
  const int nStatus = runDialogue(in, out, err, limits);
  if (std::fflush(out) != 0 || std::ferror(out)) {
    if (nStatus != kDialogueFailed) writeError(err, "standard output", errno);
    return kDialogueFailed;
  }
  return nStatus;
}
