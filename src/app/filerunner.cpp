#include "filerunner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "atomicfile.h"
#include "batch.h"
#include "caseentry.h"
#include "casefile.h"
#include "clistatus.h"
#include "datafile.h"
#include "plotdir.h"
#include "plotindex.h"
#include "progressline.h"
#include "table.h"
#include "text.h"

namespace {

const char kStdinName[] = "stdin";

class FileRun {
 public:
  FileRun(const CommandOptions& options, FILE* in, FILE* out, FILE* err,
          const kalmir::Options& size)
      : options_(options), in_(in), out_(out), err_(err), size_(size) {}

  int run() {
    if (!options_.output.empty()) {
      std::string error;
      if (outputIsAnInput()) {
        return usageError(err_, "the output file " +
                                    printable(options_.output) +
                                    " is also an input; name another");
      }
      if (outputIsInThePlotFolder()) {
        return usageError(err_, "the output file " +
                                    printable(options_.output) +
                                    " is in the plot folder " +
                                    printable(options_.plotDir) +
                                    ", where it could replace a plot; name "
                                    "another");
      }
      std::string note;
      if (!output_.open(options_.output, &error, &note)) {
        return usageError(err_, error);
      }
      if (!note.empty()) std::fprintf(err_, "kalmir: note: %s\n", note.c_str());
    }
    std::vector<Case> cases;
    if (!readInputs(&cases)) return kCliFailed;
    bool bSomeFailed = bNoRows_;
    for (const Case& c : cases) {
      if (c.error.empty()) continue;
      bSomeFailed = true;
      std::fprintf(err_, "kalmir: %s:%d: case \"%s\": %s\n",
                   printable(c.file).c_str(), c.nLine,
                   printable(c.name).c_str(), c.error.c_str());
    }
    if (!writeTable(cases)) return kCliFailed;
    if (!options_.output.empty()) {
      std::string error;
      if (!output_.commit(&error)) {
        std::fprintf(err_, "kalmir: %s\n", error.c_str());
        return kCliFailed;
      }
    } else if (std::fflush(out_) != 0 || std::ferror(out_)) {
      return writeError(err_, "standard output", errno);
    }
    if (bPlotFailed_) return kCliFailed;
    return bSomeFailed ? kCliSomeFailed : kCliAllAnalysed;
  }

 private:
  // Whether -o names a file that is also read (it would be replaced).
  // Whether -o names a file directly in the --plot folder, whose names are
  // the plots' (the cases' names, which the user may not foresee).
  bool outputIsInThePlotFolder() const {
    if (options_.plotDir.empty()) return false;
    const std::string& out = options_.output;
    const size_t nSlash = out.rfind('/');
    const std::string parent =
        nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : out.substr(0, nSlash);
    struct stat dir, plots;
    return stat(parent.c_str(), &dir) == 0 &&
           stat(options_.plotDir.c_str(), &plots) == 0 &&
           dir.st_dev == plots.st_dev && dir.st_ino == plots.st_ino;
  }

  bool outputIsAnInput() const {
    struct stat target;
    if (stat(options_.output.c_str(), &target) != 0) return false;
    for (const std::string& input : options_.inputs) {
      struct stat source;
      const int nResult = input == "-" ? fstat(fileno(in_), &source)
                                       : stat(input.c_str(), &source);
      if (nResult == 0 && source.st_dev == target.st_dev &&
          source.st_ino == target.st_ino) {
        return true;
      }
    }
    return false;
  }

  // Reads every input; false after a line for each that cannot be read.
  bool readInputs(std::vector<Case>* pCases) {
    bool bAllRead = true;
    for (const std::string& input : options_.inputs) {
      const bool bStdin = input == "-";
      const std::string name = bStdin ? kStdinName : input;
      FILE* in = bStdin ? in_ : std::fopen(input.c_str(), "rb");
      if (in == nullptr) {
        const int nError = errno;
        usageError(err_, "cannot read " + printable(input) + ": " +
                             std::strerror(nError));
        bAllRead = false;
        continue;
      }
      CaseFile file = readDataFile(in, name, options_.files);
      if (!bStdin) std::fclose(in);
      if (!file.error.empty()) {
        if (file.nLine > 0) {
          usageError(err_, printable(name) + ":" + std::to_string(file.nLine) +
                               ": " + file.error);
        } else {
          usageError(err_, printable(name) + ": " + file.error);
        }
        bAllRead = false;
        continue;
      }
      for (const std::string& note : file.notes) {
        std::fprintf(err_, "kalmir: note: %s: %s\n", printable(name).c_str(),
                     note.c_str());
      }
      if (file.bNoRows) {
        std::fprintf(err_, "kalmir: %s: no data rows after the header\n",
                     printable(name).c_str());
        bNoRows_ = true;
      }
      for (Case& c : file.cases) pCases->push_back(std::move(c));
    }
    return bAllRead;
  }

  bool writeTable(const std::vector<Case>& cases) {
    FILE* out = options_.output.empty() ? out_ : output_.file();
    int nWriteError = 0;
    auto put = [out, &nWriteError](const std::string& text) {
      if (nWriteError != 0) return false;
      if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
        nWriteError = errno != 0 ? errno : EIO;
        return false;
      }
      return true;
    };
    const bool bPlots = !options_.plotDir.empty();
    // The plot column stays when the folder could not be made: the table
    // keeps its shape.
    const bool bPlotColumn = options_.bPlotsAsked;
    TableWriter table(options_.format, bPlotColumn);
    const TableFormat format = options_.format;
    BatchOptions batch;
    batch.nJobs = options_.nJobs;
    batch.nResamples = size_.resamples;
    batch.nCases = size_.cases;
    batch.improvement = options_.improvement;
    // Plot file names are settled here, in case order, so that they do
    // not depend on which thread finishes first; each case's entry of the
    // folder's index has its own place.
    std::unordered_map<const Case*, std::string> plotNames;
    std::vector<IndexEntry> index(bPlots ? cases.size() : 0);
    if (bPlots) {
      std::set<std::string> used;
      for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        index[i].name = c.name;
        index[i].error = caseMessage(c);
        if (!c.error.empty()) continue;
        plotNames[&c] = plotFileName(c.name, &used);
      }
      batch.bKeepMeans = true;
    }
    std::mutex plotMutex;
    const PlotFormat plotFormat = options_.plotFormat;
    const CaseWork work = [&](const Case& c, const kalmir::Result* a) {
      std::string plotFile;
      if (a != nullptr && bPlots) {
        const std::string& name = plotNames.at(&c);
        PlotOptions plot = options_.plot;
        if (plot.yLabel.empty()) plot.yLabel = c.valueColumn;
        std::string error;
        if (writePlot(plotPath(options_.plotDir, name, plotFormat), plotFormat,
                      *a, plot, c.notes, &error)) {
          plotFile = name + plotExtension(plotFormat);
        } else {
          std::lock_guard<std::mutex> lock(plotMutex);
          std::fprintf(err_, "kalmir: %s\n", error.c_str());
          bPlotFailed_ = true;
        }
        index[static_cast<size_t>(&c - cases.data())] =
            indexEntry(c.name, plotFile, *a, caseNotes(c, a));
      }
      return tableEntry(format, c, a, options_.bIndices,
                        bPlotColumn ? &plotFile : nullptr);
    };
    // On standard output each row goes out as soon as it is in order, for
    // whoever reads it as it comes.
    const bool bStream = options_.output.empty();
    const EntrySink sink = [&](const std::string& entry) {
      if (!put(table.beforeEntry()) || !put(entry)) return false;
      if (bStream && std::fflush(out) != 0) {
        nWriteError = errno != 0 ? errno : EIO;
        return false;
      }
      return true;
    };
    bool bWritten = put(table.begin());
    if (bWritten) {
      // Rows that go to the same screen show the progress themselves.
      ProgressLine progress(
          err_, isatty(fileno(err_)) != 0 && isatty(fileno(out)) == 0,
          std::chrono::milliseconds(250));
      BatchProgress shown;
      if (progress.shows()) {
        shown = [&progress](double fDone, size_t nTotal) {
          progress.show(progressText(fDone, nTotal, progress.elapsed()));
        };
      }
      bWritten = runBatch(cases, batch, work, sink, shown);
    }
    bWritten = bWritten && put(table.end());
    if (!bWritten) {
      writeError(err_,
                 options_.output.empty() ? "standard output"
                                         : printable(options_.output),
                 nWriteError);
      return false;
    }
    if (bPlots) {
      std::string error;
      if (!writePlotIndex(options_.plotDir, index, &error)) {
        std::fprintf(err_, "kalmir: %s\n", error.c_str());
        bPlotFailed_ = true;
      }
    }
    return true;
  }

  // "kalmir: 3 of 10 cases, 0:04 elapsed, about 0:09 left".
  static std::string progressText(double fDone, size_t nTotal,
                                  double fElapsed) {
    std::string line = "kalmir: " + std::to_string(static_cast<size_t>(fDone)) +
                       " of " + std::to_string(nTotal) + " cases, " +
                       ProgressLine::clock(fElapsed) + " elapsed";
    if (fDone > 0.0) {
      const double fLeft =
          fElapsed * (static_cast<double>(nTotal) - fDone) / fDone;
      line += ", about " + ProgressLine::clock(fLeft) + " left";
    }
    return line;
  }

  const CommandOptions& options_;
  FILE* in_;
  FILE* out_;
  FILE* err_;
  kalmir::Options size_;
  AtomicFile output_;
  bool bPlotFailed_ = false;  // a plot could not be written
  bool bNoRows_ = false;      // a file had a header and no data
};

}  // namespace

int runDataFiles(const CommandOptions& options, FILE* in, FILE* out, FILE* err,
                 const kalmir::Options& size) {
  return FileRun(options, in, out, err, size).run();
}
