#include "filerunner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "atomicfile.h"
#include "batch.h"
#include "caseentry.h"
#include "casefile.h"
#include "clistatus.h"
#include "datafile.h"
#include "plotdir.h"
#include "plotindex.h"
#include "notes.h"
#include "progressline.h"
#include "table.h"
#include "text.h"

namespace {

const char kStdinName[] = "stdin";

// The cases of one study, which a data file's study column names: they
// stand together in the table, in the order of their first rows, and the
// study's row follows the last of them. A study belongs to its file.
struct StudyGroup {
  std::string name;
  std::string place;  // "FILE:LINE" of its first case, for messages
  std::vector<size_t> members;  // the cases, by index, in order
  int nAnalysable = 0;          // members without an error
  // Why the study cannot be averaged (fewer than 2 cases to average), a
  // sentence that names it; empty when it can be.
  std::string error;
};

// Puts each study's cases together where its first case stands, the
// others keeping their order, and returns the studies in table order.
std::vector<StudyGroup> groupStudies(std::vector<Case>* pCases) {
  std::vector<Case>& cases = *pCases;
  std::map<std::pair<std::string, std::string>, size_t> index;
  std::vector<std::vector<size_t>> groups;  // cases of a study, or one alone
  for (size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].study.empty()) {
      groups.push_back({i});
      continue;
    }
    const auto key = std::make_pair(cases[i].file, cases[i].study);
    const auto it = index.find(key);
    if (it != index.end()) {
      groups[it->second].push_back(i);
    } else {
      index.emplace(key, groups.size());
      groups.push_back({i});
    }
  }
  std::vector<Case> ordered;
  ordered.reserve(cases.size());
  std::vector<StudyGroup> studies;
  for (const std::vector<size_t>& group : groups) {
    const Case& first = cases[group[0]];
    StudyGroup g;
    if (!first.study.empty()) {
      g.name = first.study;
      g.place = printable(first.file, 1000) + ":" + std::to_string(first.nLine);
    }
    for (const size_t i : group) {
      g.members.push_back(ordered.size());
      if (cases[i].error.empty()) ++g.nAnalysable;
      ordered.push_back(std::move(cases[i]));
    }
    if (g.name.empty()) continue;
    const int nCases = static_cast<int>(g.members.size());
    const std::string study = "study \"" + printable(g.name, 1000) + "\"";
    if (nCases < 2) {
      g.error = study + " has 1 case; a study needs at least 2";
    } else if (g.nAnalysable < 2) {
      g.error = study + " has " + std::to_string(g.nAnalysable) + " of its " +
                std::to_string(nCases) +
                " cases analysed; its average needs at least 2";
    }
    studies.push_back(std::move(g));
  }
  cases = std::move(ordered);
  return studies;
}

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
    const std::vector<StudyGroup> studies = groupStudies(&cases);
    bool bSomeFailed = bNoRows_;
    for (const Case& c : cases) {
      if (c.error.empty()) continue;
      bSomeFailed = true;
      std::fprintf(err_, "kalmir: %s:%d: case \"%s\": %s\n",
                   printable(c.file).c_str(), c.nLine,
                   printable(c.name).c_str(), c.error.c_str());
    }
    for (const StudyGroup& g : studies) {
      if (g.error.empty()) continue;
      bSomeFailed = true;
      std::fprintf(err_, "kalmir: %s: %s\n", g.place.c_str(), g.error.c_str());
    }
    if (!writeTable(cases, studies)) return kCliFailed;
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

  bool writeTable(const std::vector<Case>& cases,
                  const std::vector<StudyGroup>& studies) {
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
    batch.weights = options_.weights;
    EntryOptions entryOptions;
    entryOptions.bIndices = options_.bIndices;
    entryOptions.weights = options_.weights;
    entryOptions.improvement = options_.improvement;
    // Each study case's series, kept until its study's row is written: the
    // job that analysed the case fills its slot before its entry is handed
    // on, and the writer reads it after.
    std::vector<int> studyOf(cases.size(), -1);
    std::vector<size_t> nStudyEnd;  // after which entry each study's row goes
    for (size_t k = 0; k < studies.size(); ++k) {
      for (const size_t i : studies[k].members) {
        studyOf[i] = static_cast<int>(k);
      }
      nStudyEnd.push_back(studies[k].members.back());
    }
    std::vector<std::unique_ptr<kalmir::Series>> series(cases.size());
    // Plot file names are settled here, in case order, so that they do
    // not depend on which thread finishes first; each case's entry of the
    // folder's index has its own place.
    // A study's figure follows its cases' in the index, and its name is
    // settled after theirs.
    std::unordered_map<const Case*, std::string> plotNames;
    std::vector<std::string> studyPlotNames(studies.size());
    std::vector<IndexEntry> index(bPlots ? cases.size() + studies.size() : 0);
    if (bPlots) {
      std::set<std::string> used;
      for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        index[i].name = c.name;
        index[i].error = caseMessage(c);
        if (!c.error.empty()) continue;
        plotNames[&c] = plotFileName(c.name, &used);
      }
      for (size_t k = 0; k < studies.size(); ++k) {
        index[cases.size() + k].name = "study " + studies[k].name;
        index[cases.size() + k].error = studies[k].error;
        if (studies[k].error.empty()) {
          studyPlotNames[k] = plotFileName("study-" + studies[k].name, &used);
        }
      }
      batch.bKeepMeans = true;
    }
    // Writes one figure; false after a line on the error stream.
    std::mutex plotMutex;
    const PlotFormat plotFormat = options_.plotFormat;
    auto drawn = [&](bool bWritten, const std::string& error) {
      if (!bWritten) {
        std::lock_guard<std::mutex> lock(plotMutex);
        std::fprintf(err_, "kalmir: %s\n", error.c_str());
        bPlotFailed_ = true;
      }
      return bWritten;
    };
    const CaseWork work = [&](const Case& c, const kalmir::Series* pSeries) {
      const size_t i = static_cast<size_t>(&c - cases.data());
      // An AB case is drawn as one analysis, a reversal series as the
      // whole series with a panel per contrast.
      std::string plotFile;
      if (pSeries != nullptr && bPlots) {
        const std::string& name = plotNames.at(&c);
        const std::string path = plotPath(options_.plotDir, name, plotFormat);
        PlotOptions plot = options_.plot;
        if (plot.yLabel.empty()) plot.yLabel = c.valueColumn;
        const kalmir::Contrast& first = pSeries->contrasts[0];
        std::string error;
        const bool bWritten =
            pSeries->contrasts.size() == 1
                ? writePlot(path, plotFormat, first.result, plot, c.notes,
                            &error, c.times)
                : writeSeriesPlot(path, plotFormat, caseDataSet(c), *pSeries,
                                  plot, c.notes, &error);
        if (drawn(bWritten, error)) plotFile = name + plotExtension(plotFormat);
        // A series is listed with its first contrast's figures.
        const std::string listed = pSeries->contrasts.size() == 1
                                       ? c.name
                                       : c.name + ", " + first.label;
        index[i] = indexEntry(listed, plotFile, first.result,
                              caseNotes(c, &first.result));
      }
      if (pSeries != nullptr && studyOf[i] >= 0) {
        series[i].reset(new kalmir::Series(*pSeries));
        // Only the figures are averaged; the simulated means stay with
        // the plots.
        for (kalmir::Contrast& contrast : series[i]->contrasts) {
          contrast.result.null_means = std::vector<float>();
          contrast.result.exp_means = std::vector<float>();
        }
      }
      return tableEntry(format, c, pSeries, entryOptions,
                        bPlotColumn ? &plotFile : nullptr);
    };
    // A study's row, once its last case is written: the average over the
    // cases that could be analysed.
    const std::string noPlot;
    auto studyText = [&](const StudyGroup& g) {
      if (!g.error.empty()) {
        return studyEntry(format, g.name, nullptr, g.place + ": " + g.error,
                          {}, entryOptions, bPlotColumn ? &noPlot : nullptr);
      }
      std::vector<kalmir::DataSet> data;
      std::vector<kalmir::Series> members;
      for (const size_t i : g.members) {
        if (!cases[i].error.empty()) continue;
        data.push_back(caseDataSet(cases[i]));
        members.push_back(std::move(*series[i]));
        series[i].reset();
      }
      const kalmir::Study study = kalmir::summarise_study(
          g.name, data, std::move(members), options_.weights);
      // Cases that could not be analysed are named on the figure too; the
      // figure words the study's own notes itself.
      std::vector<std::string> leftOut;
      const int nLeftOut = static_cast<int>(g.members.size()) - g.nAnalysable;
      if (nLeftOut > 0) leftOut.push_back(casesLeftOutDesignNote(nLeftOut));
      const size_t k = static_cast<size_t>(&g - studies.data());
      std::string plotFile;
      if (bPlots) {
        const std::string& name = studyPlotNames[k];
        PlotOptions plot = options_.plot;
        if (plot.yLabel.empty()) plot.yLabel = cases[g.members[0]].valueColumn;
        std::string error;
        if (drawn(writeStudyPlot(plotPath(options_.plotDir, name, plotFormat),
                                 plotFormat, data, study, plot, leftOut, &error),
                  error)) {
          plotFile = name + plotExtension(plotFormat);
        }
        index[cases.size() + k] =
            studyIndexEntry("study " + g.name, plotFile, study);
      }
      std::vector<std::string> notes;
      for (const kalmir::Note& note : study.notes) notes.push_back(note.text);
      notes.insert(notes.end(), leftOut.begin(), leftOut.end());
      return studyEntry(format, g.name, &study, "", notes, entryOptions,
                        bPlotColumn ? &plotFile : nullptr);
    };
    // On standard output each row goes out as soon as it is in order, for
    // whoever reads it as it comes.
    const bool bStream = options_.output.empty();
    size_t nEntry = 0;  // entries come in case order, one per case
    size_t nNextStudy = 0;
    const EntrySink sink = [&](const std::string& entry) {
      if (!put(table.beforeEntry()) || !put(entry)) return false;
      const size_t i = nEntry++;
      while (nNextStudy < studies.size() && nStudyEnd[nNextStudy] == i) {
        if (!put(table.beforeEntry()) ||
            !put(studyText(studies[nNextStudy++]))) {
          return false;
        }
      }
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
