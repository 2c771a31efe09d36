#include "plot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include "drawing.h"
#include "text.h"


namespace {

bool isAsciiNameChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '+' || c == '.';
}

// Length of the well-formed UTF-8 sequence of a non-ASCII character at s,
// or 0.
size_t utf8Length(const std::string& s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const size_t n = c >= 0xF0 && c <= 0xF4   ? 4
                   : c >= 0xE0 && c <= 0xEF ? 3
                   : c >= 0xC2 && c <= 0xDF ? 2
                                            : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

// The first nMax bytes of s, without splitting a character.
std::string cut(const std::string& s, size_t nMax) {
  if (s.size() <= nMax) return s;
  size_t n = nMax;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

// Device names Windows reserves, with or without an extension.
bool isReservedOnWindows(const std::string& name) {
  const std::string stem = lowerAscii(name.substr(0, name.find('.')));
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") {
    return true;
  }
  return stem.size() == 4 &&
         (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool parsePlotFormat(const std::string& text, PlotFormat* pFormat) {
  if (text == "svg") {
    *pFormat = PlotFormat::kSvg;
  } else if (text == "png") {
    *pFormat = PlotFormat::kPng;
  } else if (text == "pdf") {
    *pFormat = PlotFormat::kPdf;
  } else {
    return false;
  }
  return true;
}

const char* plotExtension(PlotFormat format) {
  switch (format) {
    case PlotFormat::kPng:
      return ".png";
    case PlotFormat::kPdf:
      return ".pdf";
    case PlotFormat::kSvg:
      break;
  }
  return ".svg";
}

std::string plotFileName(const std::string& name,
                         std::set<std::string>* pUsed) {
  const size_t nMaxBytes = 100;
  std::string base;
  for (size_t i = 0; i < name.size();) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const size_t n =
        c < 0x80 ? (isAsciiNameChar(c) ? 1 : 0) : utf8Length(name, i);
    if (n > 0) {
      base.append(name, i, n);
      i += n;
    } else {
      if (base.empty() || base.back() != '_') base += '_';
      ++i;
    }
  }
  // Windows drops trailing dots; a leading dot hides the file, a leading
  // dash reads as an option.
  while (!base.empty() && base.back() == '.') base.pop_back();
  if (base.empty() || base == "_") base = "case";
  if (base[0] == '.' || base[0] == '-' || isReservedOnWindows(base)) {
    base = "_" + base;
  }
  base = cut(base, nMaxBytes);
  std::string candidate = base;
  for (int n = 2; pUsed->count(lowerAscii(candidate)) > 0; ++n) {
    const std::string suffix = "-" + std::to_string(n);
    candidate = cut(base, nMaxBytes - suffix.size()) + suffix;
  }
  pUsed->insert(lowerAscii(candidate));
  return candidate;
}

namespace {

// The drawing module, looked for beside the program (the build tree) and
// where the install rule puts it, relative to the program's own directory.
struct Drawing {
  KalmirDrawPlot draw = nullptr;
  std::string whyNot;  // when draw is null
};

#if KALMIR_HAVE_DRAWING
std::string programDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  const std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

// Where the module is looked for, in order: beside the program (the build
// tree), then where the install rule puts it.
std::vector<std::string> drawingCandidates() {
  const std::string dir = programDirectory();
  return {dir + "kalmir-drawing.so",
          dir + KALMIR_DRAWING_FROM_PROGRAM "/kalmir-drawing.so"};
}

// The first candidate that exists, or "".
std::string findDrawingModule() {
  for (const std::string& path : drawingCandidates()) {
    if (access(path.c_str(), F_OK) == 0) return path;
  }
  return "";
}

Drawing loadDrawing() {
  Drawing d;
  const std::string path = findDrawingModule();
  if (path.empty()) {
    d.whyNot = "its drawing module " + drawingCandidates().back() +
               " is missing";
    return d;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    d.whyNot = "its drawing module cannot be loaded: " + std::string(dlerror());
    return d;
  }
  // Never closed: plots may be drawn until the process ends.
  d.draw = reinterpret_cast<KalmirDrawPlot>(
      dlsym(handle, KALMIR_DRAW_PLOT_SYMBOL));
  if (d.draw == nullptr) d.whyNot = path + " is of another version";
  return d;
}
#else
std::string findDrawingModule() { return ""; }

Drawing loadDrawing() {
  Drawing d;
  d.whyNot = "it was built without Cairo";
  return d;
}
#endif

// Loaded once, at the first question or plot, from whichever thread.
const Drawing& drawing() {
  static const Drawing d = loadDrawing();
  return d;
}

}  // namespace

bool plotSupported() { return drawing().draw != nullptr; }

std::string whyNoPlots() { return drawing().whyNot; }

bool drawingModuleFound() { return !findDrawingModule().empty(); }

bool writePlot(const std::string& path, PlotFormat format,
               const kalmir::Result& result, std::string* pError) {
  const kalmir::Result& r = result;
  if (r.n_a < 2 || r.n_b < 2 || r.values.size() != size_t(r.n_a + r.n_b) ||
      r.null_means.empty() || r.null_means.size() != r.exp_means.size()) {
    *pError = "cannot plot case \"" + r.name +
              "\": no analysis with its simulated means";
    return false;
  }
  const Drawing& d = drawing();
  if (d.draw == nullptr) {
    *pError = "cannot write " + path + ": this build of kalmir draws no " +
              "plots (" + d.whyNot + ")";
    return false;
  }
  const KalmirDrawingCase c = {r.name.data(),
                               r.name.size(),
                               r.n_a,
                               r.n_b,
                               r.values.data(),
                               r.null_model.intercept,
                               r.null_model.slope,
                               r.exp_model.intercept,
                               r.exp_model.slope,
                               r.d_unstd,
                               r.d,
                               r.d_se,
                               r.r,
                               r.p,
                               r.null_means.data(),
                               r.exp_means.data(),
                               r.null_means.size()};
  const int nFormat = format == PlotFormat::kPng   ? 1
                      : format == PlotFormat::kPdf ? 2
                                                   : 0;
  char error[PATH_MAX + 256];
  if (d.draw(path.c_str(), nFormat, &c, error, sizeof error) != 0) return true;
  *pError = error;
  return false;
}
