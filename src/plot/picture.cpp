#include "picture.h"

#include <cmath>

#include "designlayout.h"

namespace {

// A colour-blind-safe pair that also parts in grey: blue prints dark,
// orange light. Shape, line style and hatching tell the same apart.
const Colour kBlue = {0, 114, 178};
const Colour kOrange = {230, 159, 0};
const Colour kInk = {26, 26, 26};
const Colour kPath = {64, 64, 64};
const Colour kFrame = {89, 89, 89};
const Colour kGrid = {230, 230, 230};
const Colour kWhite = {255, 255, 255};

// Line styles that tell the three fitted lines apart without colour: the
// A line solid, the null model dashed, the B line dash-dotted; the data
// path is thinner than all three.
const double kFittedWidth = 2;
const double kPathWidth = 1.1;
const std::vector<double> kNullDashes = {6, 4};
const std::vector<double> kBDashes = {9, 3, 2, 3};
const std::vector<double> kPhaseDashes = {4, 3};
const double kArrowLength = 14;
const double kArrowHead = 6;

Shape stroked(const Colour& c, double width,
              const std::vector<double>& dashes = {}) {
  Shape s;
  s.bStroke = true;
  s.stroke = c;
  s.lineWidth = width;
  s.dashes = dashes;
  return s;
}

Shape filled(const Colour& c, double alpha = 1) {
  Shape s;
  s.bFill = true;
  s.fill = c;
  s.fillAlpha = alpha;
  return s;
}

std::vector<Point> rectPath(const Rect& r) {
  return {
      {r.x, r.y}, {r.right(), r.y}, {r.right(), r.bottom()}, {r.x, r.bottom()}};
}

void addLine(Shape* pShape, double x0, double y0, double x1, double y1) {
  pShape->paths.push_back({{x0, y0}, {x1, y1}});
}

// A fitted line's points from end to end.
std::vector<Point> linePoints(const PageLine& line) {
  std::vector<Point> points = {line.a};
  points.insert(points.end(), line.bends.begin(), line.bends.end());
  points.push_back(line.b);
  return points;
}

// A's points are dots.
Shape dots(const std::vector<Point>& centres, double radius) {
  Shape s = filled(kBlue);
  s.bCircles = true;
  s.radius = radius;
  for (const Point& p : centres) s.paths.push_back({p});
  return s;
}

// B's points are triangles, a little larger than the dots so that both
// look the same size; a dark outline keeps light orange visible on white
// and in grey.
Shape triangles(const std::vector<Point>& centres, double radius) {
  Shape s = filled(kOrange);
  s.bStroke = true;
  s.stroke = kInk;
  s.lineWidth = radius >= 2 ? 0.6 : 0.3;
  s.bClosed = true;
  const double r = 1.3 * radius;
  for (const Point& p : centres) {
    s.paths.push_back({{p.x, p.y - r},
                       {p.x + 0.866 * r, p.y + 0.5 * r},
                       {p.x - 0.866 * r, p.y + 0.5 * r}});
  }
  return s;
}

// An arrow whose tip is on a frame's edge, pointing out of the frame: a
// value off the scale. Its head has its phase's colour.
void addArrow(const Point& tip, bool bUp, const Colour& head,
              Picture* pPicture) {
  const double dir = bUp ? 1 : -1;  // toward the inside of the frame
  Shape stem = stroked(kInk, 1.5);
  addLine(&stem, tip.x, tip.y + dir * kArrowHead, tip.x,
          tip.y + dir * kArrowLength);
  pPicture->shapes.push_back(stem);
  Shape s = filled(head);
  s.bStroke = true;
  s.stroke = kInk;
  s.lineWidth = 0.6;
  s.bClosed = true;
  s.paths.push_back({tip,
                     {tip.x + 0.6 * kArrowHead, tip.y + dir * kArrowHead},
                     {tip.x - 0.6 * kArrowHead, tip.y + dir * kArrowHead}});
  pPicture->shapes.push_back(s);
}

void addAxes(const Rect& frame, const Scale& x, const Scale& y, double tick,
             Picture* pPicture) {
  Shape grid = stroked(kGrid, 0.6);
  for (double v : y.ticks) {
    addLine(&grid, frame.x, y.toPage(v), frame.right(), y.toPage(v));
  }
  pPicture->shapes.push_back(grid);
  Shape box = stroked(kFrame, 0.8);
  box.bClosed = true;
  box.paths.push_back(rectPath(frame));
  pPicture->shapes.push_back(box);
  Shape ticks = stroked(kFrame, 0.8);
  for (double v : x.ticks) {
    addLine(&ticks, x.toPage(v), frame.bottom(), x.toPage(v),
            frame.bottom() + tick);
  }
  for (double v : y.ticks) {
    addLine(&ticks, frame.x - tick, y.toPage(v), frame.x, y.toPage(v));
  }
  pPicture->shapes.push_back(ticks);
}

// Fill, hatching (rising for the null model, falling for the experimental
// one) and outline of an area; the hatching lines span box.
void addBars(const std::vector<Point>& outline, const Colour& c, bool bRising,
             const Rect& box, Picture* pPicture) {
  Shape fill = filled(c, 0.25);
  fill.bClosed = true;
  fill.paths.push_back(outline);
  pPicture->shapes.push_back(fill);
  Shape hatch = stroked(c, 0.7);
  hatch.strokeAlpha = 0.9;
  hatch.nClip = static_cast<int>(pPicture->clips.size());
  pPicture->clips.push_back(outline);
  const double spacing = 6;
  for (double d = -box.h; d < box.w; d += spacing) {
    if (bRising) {
      addLine(&hatch, box.x + d, box.bottom(), box.x + d + box.h, box.y);
    } else {
      addLine(&hatch, box.x + d, box.y, box.x + d + box.h, box.bottom());
    }
  }
  pPicture->shapes.push_back(hatch);
  Shape edge = stroked(c, 1.2);
  edge.bClosed = true;
  edge.paths.push_back(outline);
  pPicture->shapes.push_back(edge);
}

// One histogram as the outline of its bars.
std::vector<Point> histogramOutline(const Scale& means, const Scale& counts,
                                    const Histogram& h,
                                    const std::vector<int>& nCounts) {
  const double base = counts.toPage(0);
  std::vector<Point> outline = {{means.toPage(h.lo), base}};
  for (size_t i = 0; i < nCounts.size(); ++i) {
    const double top = counts.toPage(nCounts[i]);
    outline.push_back(
        {means.toPage(h.lo + h.width * static_cast<double>(i)), top});
    outline.push_back(
        {means.toPage(h.lo + h.width * static_cast<double>(i + 1)), top});
  }
  outline.push_back({means.toPage(h.hi()), base});
  return outline;
}

void addSwatch(const LegendSwatch& sw, Picture* pPicture) {
  const Rect& b = sw.box;
  const double midX = b.x + b.w / 2, midY = b.y + b.h / 2;
  switch (sw.key) {
    case LegendKey::kAPoints:
    case LegendKey::kBPoints: {
      Shape path = stroked(kPath, kPathWidth);
      addLine(&path, b.x, midY, b.right(), midY);
      pPicture->shapes.push_back(path);
      pPicture->shapes.push_back(sw.key == LegendKey::kAPoints
                                     ? dots({{midX, midY}}, 3.5)
                                     : triangles({{midX, midY + 0.5}}, 3.5));
      break;
    }
    case LegendKey::kALine:
    case LegendKey::kNullLine:
    case LegendKey::kBLine:
    case LegendKey::kBCarried: {
      Shape line = sw.key == LegendKey::kALine ? stroked(kBlue, kFittedWidth)
                   : sw.key == LegendKey::kNullLine
                       ? stroked(kBlue, kFittedWidth, kNullDashes)
                   : sw.key == LegendKey::kBLine
                       ? stroked(kOrange, kFittedWidth, kBDashes)
                       : stroked(kOrange, kFittedWidth, kNullDashes);
      addLine(&line, b.x, midY, b.right(), midY);
      pPicture->shapes.push_back(line);
      break;
    }
    case LegendKey::kOffScale:
      addArrow({midX, b.y - 3}, true, kWhite, pPicture);
      break;
    case LegendKey::kNullBars:
    case LegendKey::kExpBars:
      addBars(rectPath(b), sw.key == LegendKey::kNullBars ? kBlue : kOrange,
              sw.key == LegendKey::kNullBars, b, pPicture);
      break;
    case LegendKey::kObservedMean: {
      Shape line = stroked(kInk, 1.8);
      addLine(&line, midX, b.y - 2, midX, b.bottom() + 2);
      pPicture->shapes.push_back(line);
      break;
    }
  }
}

}  // namespace

Picture plotPicture(const PlotContent& c, const PlotLayout& L) {
  Picture P;
  P.width = L.width;
  P.height = L.height;
  P.title = c.title;
  for (const std::string& piece : c.caption) {
    P.description += (P.description.empty() ? "" : ", ") + piece;
  }
  Shape page = filled(kWhite);
  page.bClosed = true;
  page.paths.push_back(rectPath({0, 0, L.width, L.height}));
  P.shapes.push_back(page);

  // The series: axes, the phase change, the fitted lines, the data paths
  // and the points over them.
  const Rect& sf = L.seriesFrame;
  addAxes(sf, L.occasions, L.values, L.tickLength, &P);
  Shape phase = stroked(kFrame, 1, kPhaseDashes);
  addLine(&phase, L.phaseLineX, sf.y - 2, L.phaseLineX, sf.bottom());
  P.shapes.push_back(phase);
  const struct {
    const PageLine& line;
    Shape style;
  } fitted[] = {{L.nullLine, stroked(kBlue, kFittedWidth, kNullDashes)},
                {L.aLine, stroked(kBlue, kFittedWidth)},
                {L.bLine, stroked(kOrange, kFittedWidth, kBDashes)}};
  for (const auto& f : fitted) {
    if (!f.line.bShown) continue;
    Shape s = f.style;
    s.paths.push_back(linePoints(f.line));
    P.shapes.push_back(s);
  }
  Shape path = stroked(kPath, kPathWidth);
  for (const Polyline& p : L.dataPaths) path.paths.push_back(p.points);
  if (!path.paths.empty()) P.shapes.push_back(path);
  std::vector<bool> bOff(L.marks.size(), false);
  for (const OffScaleMark& m : L.offScale) {
    bOff[static_cast<size_t>(m.nValue)] = true;
  }
  std::vector<Point> aMarks, bMarks;
  for (size_t i = 0; i < L.marks.size(); ++i) {
    if (bOff[i]) continue;
    (static_cast<int>(i) < c.nNA ? aMarks : bMarks).push_back(L.marks[i]);
  }
  if (!aMarks.empty()) P.shapes.push_back(dots(aMarks, L.markerRadius));
  if (!bMarks.empty()) P.shapes.push_back(triangles(bMarks, L.markerRadius));
  for (const OffScaleMark& m : L.offScale) {
    addArrow(m.tip, m.bAbove, m.nValue < c.nNA ? kBlue : kOrange, &P);
  }

  // The simulated means.
  if (L.bMeansPanel) {
    const Rect& mf = L.meansFrame;
    addAxes(mf, L.means, L.counts, L.tickLength, &P);
    addBars(histogramOutline(L.means, L.counts, c.hist, c.hist.nNull), kBlue,
            true, mf, &P);
    addBars(histogramOutline(L.means, L.counts, c.hist, c.hist.nExp), kOrange,
            false, mf, &P);
    Shape observed = stroked(kInk, 1.8);
    addLine(&observed, L.observedX, mf.bottom(), L.observedX, mf.y);
    P.shapes.push_back(observed);
  }

  for (const LegendSwatch& sw : L.legend) addSwatch(sw, &P);
  for (const TextBox& t : L.text) P.texts.push_back({t, kInk});
  return P;
}

namespace {

Picture blankPage(double width, double height, const std::string& title) {
  Picture P;
  P.width = width;
  P.height = height;
  P.title = title;
  Shape page = filled(kWhite);
  page.bClosed = true;
  page.paths.push_back(rectPath({0, 0, width, height}));
  P.shapes.push_back(page);
  return P;
}

// A series panel: axes, the phase changes (from lineTop down), the lines
// carried on under each phase's own, the data paths and the points over
// them, baseline phases as dots and intervention phases as triangles.
void addSeriesPanel(const SeriesPanel& p, double tickLength, double lineTop,
                    Picture* pPicture) {
  Picture& P = *pPicture;
  const Rect& f = p.frame;
  addAxes(f, p.x, p.values, tickLength, &P);
  Shape phase = stroked(kFrame, 1, kPhaseDashes);
  for (double x : p.changeX) addLine(&phase, x, lineTop, x, f.bottom());
  if (!phase.paths.empty()) P.shapes.push_back(phase);
  for (size_t k = 0; k < p.carried.size(); ++k) {
    if (!p.carried[k].bShown) continue;
    Shape s = stroked(k % 2 == 0 ? kBlue : kOrange, kFittedWidth, kNullDashes);
    s.paths.push_back(linePoints(p.carried[k]));
    P.shapes.push_back(s);
  }
  for (size_t k = 0; k < p.lines.size(); ++k) {
    if (!p.lines[k].bShown) continue;
    Shape s = k % 2 == 0 ? stroked(kBlue, kFittedWidth)
                         : stroked(kOrange, kFittedWidth, kBDashes);
    s.paths.push_back(linePoints(p.lines[k]));
    P.shapes.push_back(s);
  }
  Shape path = stroked(kPath, kPathWidth);
  for (const Polyline& line : p.dataPaths) path.paths.push_back(line.points);
  if (!path.paths.empty()) P.shapes.push_back(path);
  std::vector<bool> bOff(p.marks.size(), false);
  for (const OffScaleMark& m : p.offScale) {
    bOff[static_cast<size_t>(m.nValue)] = true;
  }
  std::vector<Point> aMarks, bMarks;
  for (size_t i = 0; i < p.marks.size(); ++i) {
    if (bOff[i]) continue;
    (p.nPhaseOf[i] % 2 == 0 ? aMarks : bMarks).push_back(p.marks[i]);
  }
  if (!aMarks.empty()) P.shapes.push_back(dots(aMarks, p.markerRadius));
  if (!bMarks.empty()) P.shapes.push_back(triangles(bMarks, p.markerRadius));
  for (const OffScaleMark& m : p.offScale) {
    const bool bA = p.nPhaseOf[static_cast<size_t>(m.nValue)] % 2 == 0;
    addArrow(m.tip, m.bAbove, bA ? kBlue : kOrange, &P);
  }
}

}  // namespace

Picture seriesFigurePicture(const SeriesFigure& c,
                            const SeriesFigureLayout& L) {
  Picture P = blankPage(L.width, L.height, c.title);
  P.description = c.series.name;
  for (const std::string& piece : c.caption) P.description += ", " + piece;
  addSeriesPanel(L.series, L.tickLength, L.series.frame.y - 2, &P);
  for (size_t i = 0; i < L.means.size() && i < c.contrasts.size(); ++i) {
    const MeansPanel& m = L.means[i];
    const Histogram& h = c.contrasts[i].hist;
    addAxes(m.frame, m.means, m.counts, L.tickLength, &P);
    addBars(histogramOutline(m.means, m.counts, h, h.nNull), kBlue, true,
            m.frame, &P);
    addBars(histogramOutline(m.means, m.counts, h, h.nExp), kOrange, false,
            m.frame, &P);
    Shape observed = stroked(kInk, 1.8);
    addLine(&observed, m.observedX, m.frame.bottom(), m.observedX, m.frame.y);
    P.shapes.push_back(observed);
  }
  for (const LegendSwatch& sw : L.legend) addSwatch(sw, &P);
  for (const TextBox& t : L.text) P.texts.push_back({t, kInk});
  return P;
}

Picture studyFigurePicture(const StudyFigure& c, const StudyFigureLayout& L) {
  Picture P = blankPage(L.width, L.height, c.title);
  for (const std::string& piece : c.caption) {
    P.description += (P.description.empty() ? "" : ", ") + piece;
  }
  for (size_t i = 0; i < L.panels.size(); ++i) {
    const SeriesPanel& p = L.panels[i];
    addSeriesPanel(p, L.tickLength, i == 0 ? p.frame.y - 2 : p.frame.y, &P);
  }
  if (!L.staircase.empty()) {
    Shape steps = stroked(kFrame, 1, kPhaseDashes);
    for (const std::vector<Point>& piece : L.staircase) {
      steps.paths.push_back(piece);
    }
    P.shapes.push_back(steps);
  }
  for (const LegendSwatch& sw : L.legend) addSwatch(sw, &P);
  for (const TextBox& t : L.text) P.texts.push_back({t, kInk});
  return P;
}
