#include "plotindex.h"

#include <cstdio>

#include "fontmetrics.h"
#include "plotfile.h"
#include "plotlayout.h"

namespace {

// A file name as a relative link: every byte but letters, digits and
// - . _ ~ percent-encoded, so that no name reads as a scheme, a query or a
// fragment.
std::string href(const std::string& fileName) {
  std::string s = "./";
  for (unsigned char c : fileName) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
        c == '~') {
      s += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      s += buf;
    }
  }
  return s;
}

const char kHead[] =
    "<!DOCTYPE html>\n"
    "<html lang=\"en\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<title>Plots</title>\n"
    "<style>\n"
    "body { font-family: \"DejaVu Sans\", Verdana, sans-serif; margin: 2em; }\n"
    "table { border-collapse: collapse; }\n"
    "th, td { padding: 0.3em 0.8em; border-bottom: 1px solid #ddd;"
    " text-align: left; vertical-align: top; }\n"
    "td.n { text-align: right; font-variant-numeric: tabular-nums; }\n"
    ".error { color: #8b0000; }\n"
    "</style>\n"
    "</head>\n"
    "<body>\n"
    "<h1>Plots</h1>\n"
    "<table>\n"
    "<thead><tr><th>Case</th><th>Plot</th><th>n A</th><th>n B</th>"
    "<th>D</th><th>d (SE)</th><th>r</th><th>p</th><th>Notes</th></tr>"
    "</thead>\n"
    "<tbody>\n";

}  // namespace

IndexEntry indexEntry(const std::string& name, const std::string& plotFile,
                      const kalmir::Result& result,
                      const std::vector<std::string>& notes) {
  IndexEntry e;
  e.name = name;
  e.plotFile = plotFile;
  e.bAnalysed = true;
  e.nNA = result.n_a;
  e.nNB = result.n_b;
  e.fD = result.d_unstd;
  e.fd = result.d;
  e.fdSE = result.d_se;
  e.fR = result.r;
  e.fP = result.p;
  e.notes = notes;
  return e;
}

IndexEntry studyIndexEntry(const std::string& name, const std::string& plotFile,
                           const kalmir::Study& study) {
  IndexEntry e;
  e.name = name;
  e.plotFile = plotFile;
  e.summary = "Study of " + std::to_string(study.cases.size()) + " cases";
  for (const kalmir::Average& average : study.summary.averages) {
    if (average.name != "d") continue;
    char se[64];
    std::snprintf(se, sizeof se, "%.3f", average.se);
    e.summary += ": mean d = " +
                 reportFigure(static_cast<float>(average.estimate)) + " (" +
                 se + ")";
  }
  for (const kalmir::Note& note : study.notes) e.notes.push_back(note.text);
  return e;
}

std::string indexPage(const std::vector<IndexEntry>& entries) {
  std::string page = kHead;
  for (const IndexEntry& e : entries) {
    page += "<tr><td>" + markupText(e.name) + "</td><td>";
    if (!e.plotFile.empty()) {
      page +=
          "<a href=\"" + href(e.plotFile) + "\">" + markupText(e.plotFile) + "</a>";
    }
    page += "</td>";
    if (!e.bAnalysed && e.error.empty()) {
      page += "<td colspan=\"6\">" + markupText(e.summary) + "</td><td>";
      for (size_t i = 0; i < e.notes.size(); ++i) {
        page += (i == 0 ? "" : "<br>") + markupText(e.notes[i]);
      }
      page += "</td></tr>\n";
      continue;
    }
    if (!e.bAnalysed) {
      page +=
          "<td colspan=\"7\" class=\"error\">Not analysed: " + markupText(e.error) +
          "</td></tr>\n";
      continue;
    }
    char se[64];
    std::snprintf(se, sizeof se, "%.3f", static_cast<double>(e.fdSE));
    // "< .001", or ".023" without "p = ".
    std::string p = pFigure(e.fP);
    p = p.compare(0, 4, "p = ") == 0 ? p.substr(4) : p.substr(2);
    page += "<td class=\"n\">" + std::to_string(e.nNA) +
            "</td><td class=\"n\">" + std::to_string(e.nNB) +
            "</td><td class=\"n\">" + reportFigure(e.fD) +
            "</td><td class=\"n\">" + reportFigure(e.fd) + " (" + se +
            ")</td><td class=\"n\">" + reportFigure(e.fR) +
            "</td><td class=\"n\">" + markupText(p) + "</td><td>";
    for (size_t i = 0; i < e.notes.size(); ++i) {
      page += (i == 0 ? "" : "<br>") + markupText(e.notes[i]);
    }
    page += "</td></tr>\n";
  }
  return page + "</tbody>\n</table>\n</body>\n</html>\n";
}

bool writePlotIndex(const std::string& dir,
                    const std::vector<IndexEntry>& entries,
                    std::string* pError) {
  std::string path = dir;
  if (path.empty() || path.back() != '/') path += '/';
  path += "index.html";
  const std::string page = indexPage(entries);
  return replaceFile(
      path, [&page](int nFd) { return writeText(nFd, page); }, pError);
}
