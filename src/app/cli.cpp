#include "cli.h"

#include <fcntl.h>
#include <getopt.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "batch.h"
#include "casefile.h"
#include "dialogue.h"
#include "parallel.h"
#include "plot.h"
#include "plotindex.h"
#include "plotoptions.h"
#include "table.h"

#ifndef KALMIR_VERSION
#define KALMIR_VERSION "1.0"
#endif

namespace {

const char kHelp[] =
    "Usage: kalmir [OPTIONS] FILE...   (no FILE: the typed dialogue; - : stdin)\n"
    "Analyses every case (an A phase, then a B phase) into a table, a row each.\n"
    "\n"
    "  -f, --format FORMAT   csv (default), json or report\n"
    "  -o, --output FILE     write to FILE, replaced only when complete\n"
    "  -j, --jobs N          analyses at once (default: one per core)\n"
    "      --phase-a LABEL   label of the baseline phase (default A)\n"
    "      --phase-b LABEL   label of the intervention phase (default B)\n"
    "  -s, --separator SEP   field separator , ; or tab (default: from the header)\n"
    "  -d, --decimal MARK    decimal mark . or , (default . ; either with ;)\n"
    "      --plot DIR        plot each analysis into DIR, listed in DIR/index.html\n"
    "      --plot-format F   svg (default), png or pdf (png, pdf: drawing module)\n"
    "      --plot-panels P   both (default), or series: the series graph alone\n"
    "      --y-range LOW:HI  bound the plots' y axis (values outside are marked)\n"
    "      --title, --x-label, --y-label TEXT  label plots (--title: dialogue)\n"
    "  -h, --help            show this help and exit; -V, --version the version\n"
    "\n"
    "Columns, named in the header row in any case: case, phase, values (or value),\n"
    "optional mt (or time); others are ignored. Without a case column a file is\n"
    "one case named after it (stdin for -). Empty or NA values are left out, and\n"
    "labels match without case. Exit status: 0 all cases analysed, 1 some could\n"
    "not be (see the notes column), 2 a bad option, file or write.\n"
    "\n"
    "Example: kalmir -j 2 -o results.csv study.csv\n";

const char kStdinName[] = "stdin";

struct Options {
  TableFormat format = TableFormat::kCsv;
  std::string plotDir;  // empty: no plots
  PlotFormat plotFormat = PlotFormat::kSvg;
  PlotOptions plot;
  std::string plotOnly;  // a plot option given, for its message without --plot
  // No option but those of plots (the phase labels name the plot's phases).
  bool bOnlyPlotOptions = true;
  std::string output;            // empty: the output stream
  int nJobs = 0;
  CaseFileOptions files;
  std::vector<std::string> inputs;
  bool bHelp = false;
  bool bVersion = false;
};

enum LongOnly {
  kPhaseA = 256,
  kPhaseB,
  kPlot,
  kPlotFormat,
  // Options that shape plots (plotoptions.h).
  kTitle,
  kXLabel,
  kYLabel,
  kYRange,
  kPlotPanels
};

const struct option kLongOptions[] = {
    {"format", required_argument, nullptr, 'f'},
    {"output", required_argument, nullptr, 'o'},
    {"jobs", required_argument, nullptr, 'j'},
    {"phase-a", required_argument, nullptr, kPhaseA},
    {"phase-b", required_argument, nullptr, kPhaseB},
    {"separator", required_argument, nullptr, 's'},
    {"decimal", required_argument, nullptr, 'd'},
    {"plot", required_argument, nullptr, kPlot},
    {"plot-format", required_argument, nullptr, kPlotFormat},
    {"title", required_argument, nullptr, kTitle},
    {"x-label", required_argument, nullptr, kXLabel},
    {"y-label", required_argument, nullptr, kYLabel},
    {"y-range", required_argument, nullptr, kYRange},
    {"plot-panels", required_argument, nullptr, kPlotPanels},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

std::string optionName(int nOption) {
  for (const struct option* o = kLongOptions; o->name != nullptr; ++o) {
    if (o->val != nOption) continue;
    if (nOption < 256) {
      return std::string("-") + static_cast<char>(nOption) + "/--" + o->name;
    }
    return std::string("--") + o->name;
  }
  return std::string("-") + static_cast<char>(nOption);
}

std::string lowered(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string trimmed(const std::string& s) {
  const size_t nBegin = s.find_first_not_of(" \t");
  if (nBegin == std::string::npos) return "";
  return s.substr(nBegin, s.find_last_not_of(" \t") - nBegin + 1);
}

// Sets one option from its value; an error message, or "" when it fits.
std::string setOption(int nOption, const std::string& value,
                      Options* pOptions) {
  Options& o = *pOptions;
  if (nOption >= kTitle) {
    const std::string name = optionName(nOption).substr(2);
    if (o.plotOnly.empty()) o.plotOnly = "--" + name;
    return setPlotOption(name, value, &o.plot);
  }
  if (nOption != kPlot && nOption != kPlotFormat && nOption != kPhaseA &&
      nOption != kPhaseB) {
    o.bOnlyPlotOptions = false;
  }
  switch (nOption) {
    case kPlot:
      if (value.empty()) return "--plot needs a directory";
      o.plotDir = value;
      return "";
    case kPlotFormat:
      if (!parsePlotFormat(value, &o.plotFormat)) {
        return "unknown plot format \"" + printable(value) +
               "\" (svg, png or pdf)";
      }
      return "";
    case 'f':
      if (value == "csv") {
        o.format = TableFormat::kCsv;
      } else if (value == "json") {
        o.format = TableFormat::kJson;
      } else if (value == "report") {
        o.format = TableFormat::kReport;
      } else {
        return "unknown format \"" + printable(value) +
               "\" (csv, json or report)";
      }
      return "";
    case 'o':
      if (value.empty()) return "-o/--output needs a file name";
      o.output = value == "-" ? "" : value;  // - is standard output
      return "";
    case 'j': {
      const int nMaxJobs = 1024;
      int n = 0;
      const char* pEnd = value.data() + value.size();
      const std::from_chars_result r = std::from_chars(value.data(), pEnd, n);
      if (r.ec != std::errc() || r.ptr != pEnd || n < 1 || n > nMaxJobs) {
        return "-j/--jobs takes a whole number from 1 to " +
               std::to_string(nMaxJobs) + ", not \"" + printable(value) + "\"";
      }
      o.nJobs = n;
      return "";
    }
    case kPhaseA:
    case kPhaseB:
      if (trimmed(value).empty()) {
        return optionName(nOption) + " needs a label that is not blank";
      }
      (nOption == kPhaseA ? o.files.phaseA : o.files.phaseB) = trimmed(value);
      return "";
    case 's': {
      const std::string s = lowered(value);
      if (s == "," || s == ";") {
        o.files.cSeparator = s[0];
      } else if (s == "tab" || s == "\t" || s == "\\t") {
        o.files.cSeparator = '\t';
      } else {
        return "unknown separator \"" + printable(value) + "\" (, ; or tab)";
      }
      return "";
    }
    case 'd':
      if (value != "." && value != ",") {
        return "unknown decimal mark \"" + printable(value) + "\" (. or ,)";
      }
      o.files.cDecimal = value[0];
      return "";
  }
  return "unknown option";
}

// Reads the options; an error message, or "" when the command is sound.
// Help or the version asked for wins over any other mistake.
std::string parseOptions(int argc, char** argv, Options* pOptions) {
  Options& o = *pOptions;
  std::string error;
  opterr = 0;  // the messages below say it our way
  optind = 0;  // GNU getopt starts afresh (tests run several commands)
  for (;;) {
    const int nOption =
        getopt_long(argc, argv, ":hVf:o:j:s:d:", kLongOptions, nullptr);
    if (nOption == -1) break;
    std::string what;
    if (nOption == '?') {
      if (optopt != 0 && optopt < 256) {
        what = std::string("unknown option -") + static_cast<char>(optopt);
      } else {
        what = "unknown option " + printable(argv[optind - 1]);
      }
    } else if (nOption == ':') {
      what = optionName(optopt) + " needs a value";
    } else if (nOption == 'h') {
      o.bHelp = true;
    } else if (nOption == 'V') {
      o.bVersion = true;
    } else {
      what = setOption(nOption, optarg, &o);
    }
    if (error.empty()) error = what;
  }
  for (int i = optind; i < argc; ++i) o.inputs.push_back(argv[i]);
  if (o.bHelp || o.bVersion) return "";
  if (!error.empty()) return error;
  if (lowered(o.files.phaseA) == lowered(o.files.phaseB)) {
    return "--phase-a and --phase-b need different labels";
  }
  if (!o.plotOnly.empty() && o.plotDir.empty()) {
    return o.plotOnly + " shapes plots; add --plot DIR";
  }
  if (!o.plot.title.empty() && !o.inputs.empty()) {
    return "--title names the dialogue's plots; with data files each plot "
           "takes its case's name";
  }
  if (!o.plotDir.empty() && !plotFormatSupported(o.plotFormat)) {
    return std::string("this build of kalmir cannot draw ") +
           (o.plotFormat == PlotFormat::kPng ? "PNG" : "PDF") + " plots (" +
           whyNoDrawing() + "); SVG it can";
  }
  o.plot.phaseA = o.files.phaseA;
  o.plot.phaseB = o.files.phaseB;
  if (o.inputs.empty() && !(o.bOnlyPlotOptions && !o.plotDir.empty())) {
    return "no data file given (- reads standard input)";
  }
  return "";
}

// Makes the plot directory when it is missing; "" when plots can be
// written into it, else why not.
std::string preparePlotDir(const std::string& dir) {
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return "cannot make the plot directory " + printable(dir) + ": " +
           std::strerror(errno);
  }
  struct stat info;
  if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return "cannot write plots to " + printable(dir) + ": not a directory";
  }
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    return "cannot write plots to " + printable(dir) + ": " +
           std::strerror(errno);
  }
  return "";
}

std::string plotPath(const std::string& dir, const std::string& fileName) {
  std::string path = dir;
  if (path.back() != '/') path += '/';
  return path + fileName;
}

// A results file written beside its final name and renamed onto it once
// complete, so that a failed or interrupted run never leaves half a table
// there. While it exists, a signal that ends the program removes it first.
char gTempPath[PATH_MAX];

extern "C" void removeTempAndDie(int nSignal) {
  unlink(gTempPath);
  signal(nSignal, SIG_DFL);
  raise(nSignal);
}

const int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
const size_t kEndSignalCount = sizeof kEndSignals / sizeof kEndSignals[0];

class AtomicFile {
 public:
  ~AtomicFile() { discard(); }

  // Creates the temporary file; false with *pError set when it cannot be.
  bool open(const std::string& path, std::string* pError) {
    path_ = path;
    const size_t nSlash = path.rfind('/');
    const std::string dir =
        nSlash == std::string::npos ? "." : path.substr(0, nSlash + 1);
    const std::string base =
        nSlash == std::string::npos ? path : path.substr(nSlash + 1);
    std::string temp =
        (nSlash == std::string::npos ? "" : dir) + "." + base + ".XXXXXX";
    if (temp.size() >= sizeof gTempPath) {
      *pError = "cannot write " + printable(path) + ": the name is too long";
      return false;
    }
    struct stat target;
    if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
      *pError = "cannot write " + printable(path) + ": it is a directory";
      return false;
    }
    // Signals may not remove the file before its name is complete.
    blockEndSignals(true);
    std::strcpy(gTempPath, temp.c_str());
    const int fd = mkstemp(gTempPath);
    if (fd < 0) {
      const int nError = errno;
      gTempPath[0] = '\0';
      blockEndSignals(false);
      *pError =
          "cannot write " + printable(path) + ": " + std::strerror(nError);
      return false;
    }
    temp_ = gTempPath;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = removeTempAndDie;
    for (size_t i = 0; i < kEndSignalCount; ++i) {
      sigaction(kEndSignals[i], nullptr, &saved_[i]);
      // A signal the caller ignores stays ignored.
      if (saved_[i].sa_handler != SIG_IGN) {
        sigaction(kEndSignals[i], &action, nullptr);
      }
    }
    bHandlers_ = true;
    blockEndSignals(false);
    // mkstemp makes the file private; give it the mode of the file it
    // replaces, or what a new file would get.
    mode_t mode;
    if (stat(path.c_str(), &target) == 0) {
      mode = target.st_mode & 07777;
    } else {
      const mode_t mask = umask(0);
      umask(mask);
      mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    file_ = fdopen(fd, "w");
    if (file_ == nullptr) {
      const int nError = errno;
      ::close(fd);
      discard();
      *pError =
          "cannot write " + printable(path) + ": " + std::strerror(nError);
      return false;
    }
    return true;
  }

  FILE* file() const { return file_; }

  // Puts the complete file in place; false with *pError set when it could
  // not be written (it is then removed).
  bool commit(std::string* pError) {
    int nError = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_)) nError = errno;
    if (nError == 0 && fsync(fileno(file_)) != 0) nError = errno;
    if (std::fclose(file_) != 0 && nError == 0) nError = errno;
    file_ = nullptr;
    if (nError == 0 && std::rename(temp_.c_str(), path_.c_str()) != 0) {
      nError = errno;
    }
    if (nError != 0) {
      *pError = "cannot write " + printable(path_) + ": " +
                std::strerror(nError != 0 ? nError : EIO);
      discard();
      return false;
    }
    temp_.clear();
    forget();
    return true;
  }

  // Removes the temporary file, if any.
  void discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    forget();
  }

 private:
  static void blockEndSignals(bool bBlock) {
    sigset_t set;
    sigemptyset(&set);
    for (int nSignal : kEndSignals) sigaddset(&set, nSignal);
    pthread_sigmask(bBlock ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
  }

  // No signal handler may remove the path any more; the handlers that
  // were there before come back.
  void forget() {
    if (gTempPath[0] == '\0') return;
    blockEndSignals(true);
    gTempPath[0] = '\0';
    if (bHandlers_) {
      for (size_t i = 0; i < kEndSignalCount; ++i) {
        sigaction(kEndSignals[i], &saved_[i], nullptr);
      }
      bHandlers_ = false;
    }
    blockEndSignals(false);
  }

  std::string path_;
  std::string temp_;
  FILE* file_ = nullptr;
  struct sigaction saved_[kEndSignalCount];
  bool bHandlers_ = false;
};

// Cases done of the total, elapsed time and time left on the error stream,
// when it is a terminal and the run has taken a second; wiped at the end.
// Rows that go to the same screen show the progress themselves.
class ProgressLine {
 public:
  ProgressLine(FILE* err, FILE* out)
      : err_(err),
        bTerminal_(isatty(fileno(err)) != 0 && isatty(fileno(out)) == 0),
        start_(std::chrono::steady_clock::now()) {}
  ~ProgressLine() {
    if (nShown_ == 0) return;
    std::fprintf(err_, "\r%*s\r", static_cast<int>(nShown_), "");
    std::fflush(err_);
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void show(double fDone, size_t nTotal) {
    if (!bTerminal_) return;
    const auto now = std::chrono::steady_clock::now();
    const double fElapsed = std::chrono::duration<double>(now - start_).count();
    if (fElapsed < 1.0 || now - last_ < std::chrono::milliseconds(250)) {
      return;
    }
    last_ = now;
    std::string line = "kalmir: " + std::to_string(static_cast<size_t>(fDone)) +
                       " of " + std::to_string(nTotal) + " cases, " +
                       clock(fElapsed) + " elapsed";
    if (fDone > 0.0) {
      const double fLeft =
          fElapsed * (static_cast<double>(nTotal) - fDone) / fDone;
      line += ", about " + clock(fLeft) + " left";
    }
    const size_t nLength = line.size();
    if (nLength < nShown_) line.append(nShown_ - nLength, ' ');
    std::fprintf(err_, "\r%s", line.c_str());
    std::fflush(err_);
    nShown_ = line.size();
  }

 private:
  static std::string clock(double fSeconds) {
    const long n = static_cast<long>(fSeconds + 0.5);
    char buf[32];
    if (n >= 3600) {
      std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", n / 3600, n / 60 % 60,
                    n % 60);
    } else {
      std::snprintf(buf, sizeof buf, "%ld:%02ld", n / 60, n % 60);
    }
    return buf;
  }

  FILE* err_;
  bool bTerminal_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
  size_t nShown_ = 0;
};

class CommandLine {
 public:
  CommandLine(FILE* in, FILE* out, FILE* err, const kalmir::Options& size)
      : in_(in), out_(out), err_(err), size_(size) {}

  int run(int argc, char** argv) {
    const std::string what = parseOptions(argc, argv, &options_);
    if (!what.empty()) return usageError(what);
    if (options_.bHelp || options_.bVersion) {
      std::fputs(
          options_.bHelp ? kHelp : "kalmir " KALMIR_VERSION "\n",
          out_);
      return std::fflush(out_) == 0 && !std::ferror(out_)
                 ? kCliAllAnalysed
                 : writeError("standard output", errno);
    }
    if (!options_.plotDir.empty()) {
      const std::string error = preparePlotDir(options_.plotDir);
      if (!error.empty()) {
        std::fprintf(err_, "kalmir: %s\n", error.c_str());
        // The dialogue is of no use without its plots; a table still is.
        if (options_.inputs.empty()) return kCliFailed;
        options_.plotDir.clear();
        bPlotFailed_ = true;
      }
    }
    if (options_.inputs.empty()) return runPlottingDialogue();
    if (!options_.output.empty()) {
      std::string error;
      if (outputIsAnInput()) {
        return usageError("the output file " + printable(options_.output) +
                          " is also an input; name another");
      }
      if (!output_.open(options_.output, &error)) return usageError(error);
    }
    std::vector<Case> cases;
    if (!readInputs(&cases)) return kCliFailed;
    bool bSomeFailed = false;
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
      return writeError("standard output", errno);
    }
    if (bPlotFailed_) return kCliFailed;
    return bSomeFailed ? kCliSomeFailed : kCliAllAnalysed;
  }

 private:
  // The typed dialogue, its standard output unchanged, with a plot of each
  // analysis written as analysis-N in the plot directory and named on the
  // error stream.
  int runPlottingDialogue() {
    std::set<std::string> used;
    DialogueLimits limits;
    limits.nBootSamples = size_.resamples;
    limits.nSimN = size_.cases;
    limits.bKeepMeans = true;
    limits.afterReport = [&](int nAnalysis, const kalmir::Result& a) {
      const std::string name = "analysis-" + std::to_string(nAnalysis);
      kalmir::Result named = a;
      named.name = name;
      const std::string path =
          plotPath(options_.plotDir, plotFileName(name, &used) +
                                         plotExtension(options_.plotFormat));
      std::string error;
      if (!writePlot(path, options_.plotFormat, named, options_.plot, {},
                     &error)) {
        std::fprintf(err_, "kalmir: %s\n", error.c_str());
        return false;
      }
      std::fprintf(err_, "kalmir: plot written to %s\n",
                   printable(path).c_str());
      return true;
    };
    const int nStatus = runDialogue(in_, out_, err_, limits);
    if (std::fflush(out_) != 0 || std::ferror(out_)) {
      if (nStatus != kDialogueFailed) writeError("standard output", errno);
      return kDialogueFailed;
    }
    return nStatus;
  }

  int usageError(const std::string& what) {
    std::fprintf(err_, "kalmir: %s; see kalmir --help\n", what.c_str());
    return kCliFailed;
  }

  int writeError(const std::string& where, int nError) {
    std::fprintf(err_, "kalmir: cannot write %s: %s\n", where.c_str(),
                 std::strerror(nError != 0 ? nError : EIO));
    return kCliFailed;
  }

  // Whether -o names a file that is also read (it would be replaced).
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
        usageError("cannot read " + printable(input) + ": " +
                   std::strerror(nError));
        bAllRead = false;
        continue;
      }
      CaseFile file = readCaseFile(in, name, options_.files);
      if (!bStdin) std::fclose(in);
      if (!file.error.empty()) {
        if (file.nLine > 0) {
          usageError(printable(name) + ":" + std::to_string(file.nLine) + ": " +
                     file.error);
        } else {
          usageError(printable(name) + ": " + file.error);
        }
        bAllRead = false;
        continue;
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
    const bool bPlotColumn = bPlots || bPlotFailed_;
    TableWriter table(options_.format, bPlotColumn);
    const TableFormat format = options_.format;
    BatchOptions batch;
    batch.nJobs = options_.nJobs;
    batch.nResamples = size_.resamples;
    batch.nCases = size_.cases;
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
        plotNames[&c] = plotFileName(c.name, &used) +
                        plotExtension(options_.plotFormat);
      }
      batch.bKeepMeans = true;
    }
    std::mutex plotMutex;
    const PlotFormat plotFormat = options_.plotFormat;
    const CaseWork work = [&](const Case& c, const kalmir::Result* a) {
      std::string plotName;
      if (a != nullptr && bPlots) {
        plotName = plotNames.at(&c);
        PlotOptions plot = options_.plot;
        if (plot.yLabel.empty()) plot.yLabel = c.valueColumn;
        std::string error;
        if (!writePlot(plotPath(options_.plotDir, plotName), plotFormat, *a,
                       plot, c.notes, &error)) {
          std::lock_guard<std::mutex> lock(plotMutex);
          std::fprintf(err_, "kalmir: %s\n", error.c_str());
          bPlotFailed_ = true;
          plotName.clear();
        }
        index[static_cast<size_t>(&c - cases.data())] =
            indexEntry(c.name, plotName, *a, caseNotes(c, a));
      }
      return tableEntry(format, c, a, bPlotColumn ? &plotName : nullptr);
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
      ProgressLine progress(err_, out);
      bWritten = runBatch(cases, batch, work, sink,
                          [&progress](double fDone, size_t nTotal) {
                            progress.show(fDone, nTotal);
                          });
    }
    bWritten = bWritten && put(table.end());
    if (!bWritten) {
      writeError(options_.output.empty() ? "standard output"
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

  FILE* in_;
  FILE* out_;
  FILE* err_;
  kalmir::Options size_;
  Options options_;
  AtomicFile output_;
  bool bPlotFailed_ = false;  // a plot could not be written
};

}  // namespace

int runCommandLine(int argc, char** argv, FILE* in, FILE* out, FILE* err,
                   const kalmir::Options& size) {
  try {
    return CommandLine(in, out, err, size).run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("kalmir: out of memory; the table was not finished\n", err);
    return kCliFailed;
  } catch (const std::exception& e) {
    std::fprintf(err, "kalmir: %s; the table was not finished\n", e.what());
    return kCliFailed;
  }
}
