#include "clioptions.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <iterator>

#include "caserules.h"
#include "plotoptions.h"
#include "text.h"

#ifndef KALMIR_VERSION
#define KALMIR_VERSION "1.0"
#endif

namespace {

const char kHelp[] =
    "Usage: kalmir [OPTIONS] FILE...   (no FILE: the typed dialogue; - is "
    "stdin)\n"
    "Analyses every case (phases A, B or A, B, A, B, ...): a row per phase "
    "change.\n"
    "  -f, --format FORMAT   csv (default), json or report\n"
    "  -o, --output FILE     write to FILE, replaced only when complete\n"
    "  -j, --jobs N          analyses at once (default: one per core)\n"
    "      --phase-a, --phase-b LABEL   the phases' labels (default A and B)\n"
    "  -s, --separator SEP   field separator , ; or tab (default: from the "
    "header)\n"
    "  -d, --decimal MARK    decimal mark . or , (default . ; either with ;)\n"
    "      --sheet S         a workbook's sheet by name or number "
    "(default: first)\n"
    "      --columns MAP     columns by your names, as in "
    "case=id,values=score,mt=day\n"
    "      --na CODES        missing-value codes beyond empty, NA, N/A, "
    "#N/A: .,-99\n"
    "      --improvement D   increase (default) or decrease, for the indices\n"
    "      --indices         -f report: add the indices (NAP, Tau-U, SMD, "
    "...)\n"
    "      --weights W       equal (default) or inverse-variance, for "
    "averages\n"
    "      --plot DIR        plot each analysis into DIR, listed in "
    "DIR/index.html\n"
    "      --plot-format F   svg (default), png or pdf (png, pdf: drawing "
    "module)\n"
    "      --plot-panels P   both (default), or series: the series graph "
    "alone\n"
    "      --y-range LOW:HI  bound the plots' y axis (values outside are "
    "marked)\n"
    "      --title, --x-label, --y-label TEXT  label plots (--title: "
    "dialogue)\n"
    "  -h, --help            show this help and exit; -V, --version the "
    "version\n"
    "\n"
    "Files: CSV, .xlsx, .ods. Columns: case (none: one case), phase, values, "
    "study,\n"
    "mt (numbers or YYYY-MM-DD). Exit: 0 all analysed, 1 some not, 2 bad "
    "option/file.\n"
    "Example: kalmir -j 2 -o results.csv study.csv\n";

enum LongOnly {
  kPhaseA = 256,
  kPhaseB,
  kPlot,
  kPlotFormat,
  kImprovement,
  kIndices,
  kSheet,
  kColumns,
  kNa,
  kWeights,
  // Options that shape plots (plotoptions.h); they stay last.
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
    {"improvement", required_argument, nullptr, kImprovement},
    {"indices", no_argument, nullptr, kIndices},
    {"sheet", required_argument, nullptr, kSheet},
    {"columns", required_argument, nullptr, kColumns},
    {"na", required_argument, nullptr, kNa},
    {"weights", required_argument, nullptr, kWeights},
    {"title", required_argument, nullptr, kTitle},
    {"x-label", required_argument, nullptr, kXLabel},
    {"y-label", required_argument, nullptr, kYLabel},
    {"y-range", required_argument, nullptr, kYRange},
    {"plot-panels", required_argument, nullptr, kPlotPanels},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// Why getopt refused a long option: a prefix of several options, or no
// option at all, with the closest one when a slip of a letter or two
// explains it.
std::string unknownLongOption(const std::string& arg) {
  const std::string given = arg.substr(0, arg.find('='));
  const std::string bare =
      given.compare(0, 2, "--") == 0 ? given.substr(2) : given;
  std::string matches;
  for (const struct option* o = kLongOptions; o->name != nullptr; ++o) {
    if (!bare.empty() &&
        std::string(o->name).compare(0, bare.size(), bare) == 0) {
      matches += std::string(matches.empty() ? "" : ", ") + "--" + o->name;
    }
  }
  if (matches.find(',') != std::string::npos) {
    return "option " + printable(given) + " is ambiguous: it begins " +
           matches + "; write more of it";
  }
  // Edit distance, to suggest the option meant.
  const auto distance = [](const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
      size_t nDiag = row[0];
      row[0] = i;
      for (size_t j = 1; j <= b.size(); ++j) {
        const size_t nUp = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                           nDiag + (a[i - 1] == b[j - 1] ? 0 : 1)});
        nDiag = nUp;
      }
    }
    return row[b.size()];
  };
  std::string closest;
  size_t nBest = 3;  // more than two edits is a different word
  for (const struct option* o = kLongOptions; o->name != nullptr; ++o) {
    const size_t n = distance(bare, o->name);
    if (n < nBest) {
      nBest = n;
      closest = o->name;
    }
  }
  std::string what = "unknown option " + printable(given);
  if (!closest.empty()) what += " (did you mean --" + closest + "?)";
  return what;
}

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

std::vector<std::string> splitAt(const std::string& text, char c) {
  std::vector<std::string> parts;
  size_t nStart = 0;
  for (;;) {
    const size_t nAt = text.find(c, nStart);
    parts.push_back(text.substr(nStart, nAt - nStart));
    if (nAt == std::string::npos) return parts;
    nStart = nAt + 1;
  }
}

// --columns KEY=NAME,...: the columns by the user's names.
std::string setColumns(
    const std::string& value,
    std::vector<std::pair<std::string, std::string>>* pNames) {
  std::string keys;
  for (const char* key : kColumnKeys) {
    keys += std::string(keys.empty() ? "" : ", ") + key;
  }
  for (const std::string& part : splitAt(value, ',')) {
    const size_t nEq = part.find('=');
    const std::string key = lowerAscii(
        trimmed(nEq == std::string::npos ? part : part.substr(0, nEq)));
    const std::string name =
        nEq == std::string::npos ? "" : trimmed(part.substr(nEq + 1));
    if (std::find(std::begin(kColumnKeys), std::end(kColumnKeys), key) ==
        std::end(kColumnKeys)) {
      return "--columns has no key \"" + printable(key) + "\" (keys: " + keys +
             "; as in --columns case=id,values=score)";
    }
    if (name.empty()) {
      return "--columns needs a column's name after " + key + "=";
    }
    for (const auto& entry : *pNames) {
      if (entry.first == key) {
        return "--columns names the " + key + " column twice";
      }
    }
    pNames->emplace_back(key, name);
  }
  return "";
}

// Sets one option from its value; an error message, or "" when it fits.
// Whether --plot can draw is left to the caller. *pPlotOnly keeps the
// first option given that shapes plots, for a command without --plot.
std::string setOption(int nOption, const std::string& value,
                      CommandOptions* pOptions, std::string* pPlotOnly) {
  CommandOptions& o = *pOptions;
  if (nOption >= kTitle) {
    const std::string name = optionName(nOption).substr(2);
    if (pPlotOnly->empty()) *pPlotOnly = "--" + name;
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
      o.bPlotsAsked = true;
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
      const std::string s = lowerAscii(value);
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
    case kImprovement:
      if (value == "increase") {
        o.improvement = kalmir::Improvement::increase;
      } else if (value == "decrease") {
        o.improvement = kalmir::Improvement::decrease;
      } else {
        return "unknown direction of improvement \"" + printable(value) +
               "\" (increase or decrease)";
      }
      return "";
    case kIndices:
      o.bIndices = true;
      return "";
    case kSheet:
      if (trimmed(value).empty())
        return "--sheet needs a sheet's name or number";
      o.files.sheet = value;
      return "";
    case kColumns:
      return setColumns(value, &o.files.columnNames);
    case kNa:
      for (const std::string& code : splitAt(value, ',')) {
        if (trimmed(code).empty()) {
          return "--na takes codes separated by commas, none of them blank "
                 "(empty fields are missing anyway), not \"" +
                 printable(value) + "\"";
        }
        o.files.missingCodes.push_back(trimmed(code));
      }
      return "";
    case kWeights:
      if (value == "equal") {
        o.weights = kalmir::Weights::equal;
      } else if (value == "inverse-variance") {
        o.weights = kalmir::Weights::inverse_variance;
      } else {
        return "unknown weights \"" + printable(value) +
               "\" (equal or inverse-variance)";
      }
      return "";
  }
  return "unknown option";
}

}  // namespace

std::string parseOptions(int argc, char** argv, CommandOptions* pOptions) {
  CommandOptions& o = *pOptions;
  std::string error;
  // The first --plot with a directory stands where a build that cannot
  // draw has its mistake; it is asked only once help and the version are
  // ruled out, so that they never load the drawing module.
  bool bPlotBeforeError = false;
  std::string plotOnly;
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
        what = unknownLongOption(argv[optind - 1]);
      }
    } else if (nOption == ':') {
      what = optionName(optopt) + " needs a value";
    } else if (nOption == 'h') {
      o.bHelp = true;
    } else if (nOption == 'V') {
      o.bVersion = true;
    } else {
      what = setOption(nOption, optarg != nullptr ? optarg : "", &o, &plotOnly);
      if (nOption == kPlot && what.empty() && error.empty()) {
        bPlotBeforeError = true;
      }
    }
    if (error.empty()) error = what;
  }
  int nStdin = 0;
  for (int i = optind; i < argc; ++i) {
    o.inputs.push_back(argv[i]);
    if (o.inputs.back() == "-") ++nStdin;
  }
  if (nStdin > 1 && error.empty()) {
    error = "- (standard input) is given " + std::to_string(nStdin) +
            " times; it can be read once";
  }
  if (o.bHelp || o.bVersion) return "";
  if (bPlotBeforeError && !plotFormatSupported(o.plotFormat)) {
    return std::string("this build of kalmir cannot draw ") +
           (o.plotFormat == PlotFormat::kPng ? "PNG" : "PDF") + " plots (" +
           whyNoDrawing() + "); SVG it can";
  }
  if (!error.empty()) return error;
  if (lowerAscii(o.files.phaseA) == lowerAscii(o.files.phaseB)) {
    return "--phase-a and --phase-b need different labels";
  }
  if (!plotOnly.empty() && o.plotDir.empty()) {
    return plotOnly + " shapes plots; add --plot DIR";
  }
  if (!o.plot.title.empty() && !o.inputs.empty()) {
    return "--title names the dialogue's plots; with data files each plot "
           "takes its case's name";
  }
  o.plot.phaseA = o.files.phaseA;
  o.plot.phaseB = o.files.phaseB;
  if (o.inputs.empty() && !(o.bOnlyPlotOptions && !o.plotDir.empty())) {
    return "no data file given (- reads standard input)";
  }
  return "";
}

std::string helpText() { return kHelp; }

std::string versionLine() { return "kalmir " KALMIR_VERSION "\n"; }
