#include "plot.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "designlayout.h"
#include "drawing.h"
#include "fontmetrics.h"
#include "notes.h"
#include "picture.h"
#include "plotfile.h"
#include "programdir.h"
#include "svgwriter.h"
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
  KalmirDrawPicture draw = nullptr;
  std::string whyNot;  // when draw is null
};

#if KALMIR_HAVE_DRAWING

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
    d.whyNot =
        "its drawing module " + drawingCandidates().back() + " is missing";
    return d;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    d.whyNot = "its drawing module cannot be loaded: " + std::string(dlerror());
    return d;
  }
  // Never closed: plots may be drawn until the process ends.
  d.draw = reinterpret_cast<KalmirDrawPicture>(
      dlsym(handle, KALMIR_DRAW_PICTURE_SYMBOL));
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

Picture pictureOf(const kalmir::Result& result, const PlotOptions& options,
                  const std::vector<std::string>& inputNotes,
                  const std::vector<double>& times) {
  PlotContent content = plotContent(result, options, 60, times);
  for (const std::string& caveat : figureCaveats(inputNotes, result.notes)) {
    content.caveats.push_back(wellFormedText(caveat));
  }
  return plotPicture(content, layOutPlot(content, textAdvance));
}

// The picture in the plain form drawing.h hands over; the vectors keep
// what it points to.
struct PlainPicture {
  explicit PlainPicture(const Picture& p) {
    for (const Shape& s : p.shapes) {
      std::vector<double> xy;
      std::vector<int> counts;
      for (const std::vector<Point>& path : s.paths) {
        counts.push_back(static_cast<int>(path.size()));
        for (const Point& point : path) {
          xy.push_back(point.x);
          xy.push_back(point.y);
        }
      }
      xys.push_back(std::move(xy));
      pointCounts.push_back(std::move(counts));
    }
    for (size_t i = 0; i < p.shapes.size(); ++i) {
      const Shape& s = p.shapes[i];
      KalmirDrawingShape k = {};
      k.pXY = xys[i].data();
      k.pnPathPoints = pointCounts[i].data();
      k.nPaths = static_cast<int>(pointCounts[i].size());
      k.bClosed = s.bClosed;
      k.bCircles = s.bCircles;
      k.fRadius = s.radius;
      k.bFill = s.bFill;
      setRgb(s.fill, k.fill);
      k.fFillAlpha = s.fillAlpha;
      k.bStroke = s.bStroke;
      setRgb(s.stroke, k.stroke);
      k.fStrokeAlpha = s.strokeAlpha;
      k.fLineWidth = s.lineWidth;
      k.pDashes = s.dashes.data();
      k.nDashes = static_cast<int>(s.dashes.size());
      k.bRoundCap = s.bRoundCap;
      k.nClip = s.nClip;
      shapes.push_back(k);
    }
    for (const Text& t : p.texts) {
      KalmirDrawingText k = {};
      k.pText = t.box.text.data();
      k.nBytes = t.box.text.size();
      k.fX = t.box.anchorX();
      k.fY = t.box.anchorY();
      k.fSize = t.box.size;
      k.bBold = t.box.bBold;
      k.bVertical = t.box.bVertical;
      k.nAlign = t.box.align == Align::kStart    ? 0
                 : t.box.align == Align::kMiddle ? 1
                                                 : 2;
      setRgb(t.colour, k.colour);
      texts.push_back(k);
    }
    for (const std::vector<Point>& clip : p.clips) {
      std::vector<double> xy;
      for (const Point& point : clip) {
        xy.push_back(point.x);
        xy.push_back(point.y);
      }
      clipXys.push_back(std::move(xy));
    }
    for (size_t i = 0; i < p.clips.size(); ++i) {
      clips.push_back({clipXys[i].data(), static_cast<int>(p.clips[i].size())});
    }
    plain = {p.width,       p.height,      p.title.data(), p.title.size(),
             shapes.data(), shapes.size(), texts.data(),   texts.size(),
             clips.data(),  clips.size()};
  }
  static void setRgb(const Colour& c, unsigned char* pRgb) {
    pRgb[0] = c.r;
    pRgb[1] = c.g;
    pRgb[2] = c.b;
  }

  std::vector<std::vector<double>> xys, clipXys;
  std::vector<std::vector<int>> pointCounts;
  std::vector<KalmirDrawingShape> shapes;
  std::vector<KalmirDrawingText> texts;
  std::vector<KalmirDrawingClip> clips;
  KalmirDrawingPicture plain = {};
};

}  // namespace

bool plotFormatSupported(PlotFormat format) {
  return format == PlotFormat::kSvg || drawing().draw != nullptr;
}

std::string whyNoDrawing() { return drawing().whyNot; }

std::string plotSvg(const kalmir::Result& result, const PlotOptions& options,
                    const std::vector<std::string>& inputNotes,
                    const std::vector<double>& times) {
  return svgDocument(pictureOf(result, options, inputNotes, times));
}

bool drawingModuleFound() { return !findDrawingModule().empty(); }

namespace {

// Writes the picture make draws to path in format: SVG here, PNG and PDF
// through the drawing module.
bool writePicture(const std::string& path, PlotFormat format,
                  const std::function<Picture()>& make, std::string* pError) {
  if (format == PlotFormat::kSvg) {
    const std::string svg = svgDocument(make());
    return replaceFile(
        path, [&svg](int nFd) { return writeText(nFd, svg); }, pError);
  }
  const Drawing& d = drawing();
  if (d.draw == nullptr) {
    *pError = "cannot write " + path + ": this build of kalmir draws no " +
              "PNG or PDF (" + d.whyNot + ")";
    return false;
  }
  const Picture picture = make();
  const PlainPicture plain(picture);
  const int nFormat = format == PlotFormat::kPng ? 1 : 2;
  return replaceFile(
      path,
      [&](int nFd) -> std::string {
        char error[512];
        if (d.draw(nFd, nFormat, &plain.plain, error, sizeof error) != 0) {
          return "";
        }
        return error;
      },
      pError);
}

// Caveats once each, in order.
void addCaveat(const std::string& caveat, std::vector<std::string>* pCaveats) {
  const std::string text = wellFormedText(caveat);
  for (const std::string& c : *pCaveats) {
    if (c == text) return;
  }
  pCaveats->push_back(text);
}

// A series' design notes, then its contrasts' notes, each named by its
// contrast; in a study, by its case's name too.
void addSeriesCaveats(const kalmir::Series& series, const std::string& name,
                      std::vector<std::string>* pCaveats) {
  const std::string prefix = name.empty() ? "" : name + ": ";
  for (const kalmir::Note& note : series.notes) {
    addCaveat(prefix + note.text, pCaveats);
  }
  for (const kalmir::Contrast& c : series.contrasts) {
    for (const std::string& caveat : figureCaveats({}, c.result.notes)) {
      addCaveat((name.empty() ? "" : name + " ") + c.label + ": " + caveat,
                pCaveats);
    }
  }
}

// At most nMax caveat lines' worth of caveats: the last one says how many
// more there are, so that a long series of short phases keeps its figure
// in view.
void capCaveats(std::vector<std::string>* pCaveats) {
  const size_t nMax = 8;
  if (pCaveats->size() <= nMax) return;
  const size_t nMore = pCaveats->size() - (nMax - 1);
  pCaveats->resize(nMax - 1);
  pCaveats->push_back(std::to_string(nMore) +
                      " more notes are left out here; the table lists them");
}

Picture seriesPictureOf(const kalmir::DataSet& data,
                        const kalmir::Series& series,
                        const PlotOptions& options,
                        const std::vector<std::string>& notes) {
  SeriesFigure figure = seriesFigure(data, series, options);
  for (const std::string& note : figureCaveats(notes, {})) {
    addCaveat(note, &figure.caveats);
  }
  addSeriesCaveats(series, "", &figure.caveats);
  capCaveats(&figure.caveats);
  return seriesFigurePicture(figure, layOutSeriesFigure(figure, textAdvance));
}

// Why study cannot be drawn as the analysis of cases, or "".
std::string studyMismatch(const std::vector<kalmir::DataSet>& cases,
                          const kalmir::Study& study) {
  if (cases.empty() || cases.size() != study.cases.size()) {
    return "cannot plot study \"" + study.name +
           "\": its analysis does not match its cases";
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string why = seriesMismatch(cases[i], study.cases[i], false);
    if (!why.empty()) return why;
  }
  return "";
}

Picture studyPictureOf(const std::vector<kalmir::DataSet>& cases,
                       const kalmir::Study& study, const PlotOptions& options,
                       const std::vector<std::string>& notes) {
  StudyFigure figure = studyFigure(cases, study, options);
  for (const std::string& note : figureCaveats(notes, {})) {
    addCaveat(note, &figure.caveats);
  }
  for (const kalmir::Note& note : study.notes) {
    addCaveat(note.text, &figure.caveats);
  }
  for (const kalmir::Series& s : study.cases) {
    addSeriesCaveats(s, s.name, &figure.caveats);
  }
  capCaveats(&figure.caveats);
  return studyFigurePicture(figure, layOutStudyFigure(figure, textAdvance));
}

}  // namespace

bool writePlot(const std::string& path, PlotFormat format,
               const kalmir::Result& result, const PlotOptions& options,
               const std::vector<std::string>& inputNotes, std::string* pError,
               const std::vector<double>& times) {
  const kalmir::Result& r = result;
  if (r.n_a < 2 || r.n_b < 2 || r.values.size() != size_t(r.n_a + r.n_b) ||
      r.null_means.empty() || r.null_means.size() != r.exp_means.size()) {
    *pError = "cannot plot case \"" + r.name +
              "\": no analysis with its simulated means";
    return false;
  }
  return writePicture(
      path, format,
      [&] { return pictureOf(result, options, inputNotes, times); }, pError);
}

std::string plotSeriesSvg(const kalmir::DataSet& data,
                          const kalmir::Series& series,
                          const PlotOptions& options,
                          const std::vector<std::string>& notes) {
  if (!seriesMismatch(data, series, options.bMeansPanel).empty()) return "";
  return svgDocument(seriesPictureOf(data, series, options, notes));
}

bool writeSeriesPlot(const std::string& path, PlotFormat format,
                     const kalmir::DataSet& data, const kalmir::Series& series,
                     const PlotOptions& options,
                     const std::vector<std::string>& notes,
                     std::string* pError) {
  const std::string why = seriesMismatch(data, series, options.bMeansPanel);
  if (!why.empty()) {
    *pError = why;
    return false;
  }
  return writePicture(
      path, format,
      [&] { return seriesPictureOf(data, series, options, notes); }, pError);
}

std::string plotStudySvg(const std::vector<kalmir::DataSet>& cases,
                         const kalmir::Study& study, const PlotOptions& options,
                         const std::vector<std::string>& notes) {
  if (!studyMismatch(cases, study).empty()) return "";
  return svgDocument(studyPictureOf(cases, study, options, notes));
}

bool writeStudyPlot(const std::string& path, PlotFormat format,
                    const std::vector<kalmir::DataSet>& cases,
                    const kalmir::Study& study, const PlotOptions& options,
                    const std::vector<std::string>& notes,
                    std::string* pError) {
  const std::string why = studyMismatch(cases, study);
  if (!why.empty()) {
    *pError = why;
    return false;
  }
  return writePicture(
      path, format,
      [&] { return studyPictureOf(cases, study, options, notes); }, pError);
}
