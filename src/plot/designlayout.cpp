#include "designlayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "fontmetrics.h"
#include "plotparts.h"

namespace {

// A study's panels share the page's height between them, each between
// these heights, a gap apart that holds the x ticks and the stepped line.
const double kStudyStackHeight = 420;
const double kStudyPanelMin = 80;
const double kStudyPanelMax = 150;
const double kStudyPanelGap = 14;
// Beside each study panel's top right corner: the case's name and figures.
const double kCornerWidth = 112;
const double kCornerGap = 8;
// The small panels of simulated means: at most this many in a row.
const int kMeansColumns = 3;
const double kSmallMeansHeight = 110;
const double kColumnGap = 14;

const double kYTitleRoom = (kAscent + kDescent) * kTextSize + 6;
const double kBelowFrame = kTickLength + 3 + 2 * kLegendRow + 2;

// A label without its trailing digits: the kind of phase it names.
std::string roleOf(const std::string& label) {
  const size_t nEnd = label.find_last_not_of("0123456789");
  return nEnd == std::string::npos ? label : label.substr(0, nEnd + 1);
}

// The phases' labels, a missing one taking its kind's plain name.
std::vector<std::string> labelsOf(const kalmir::DataSet& data) {
  std::vector<std::string> labels;
  for (size_t i = 0; i < data.phases.size(); ++i) {
    const std::string& label = data.phases[i].label;
    labels.push_back(!label.empty() ? label : i % 2 == 0 ? "A" : "B");
  }
  return labels;
}

// The phases' names as the contrasts' labels use them: numbered by kind
// ("A1", "B1", "A2") unless the data numbered them already.
std::vector<std::string> phaseNames(const kalmir::DataSet& data,
                                    const PlotOptions& options) {
  const std::vector<std::string> labels = labelsOf(data);
  std::vector<std::string> names;
  if (labels.size() < 2) return labels;
  const std::string& first = labels[0];
  const std::string& second = labels[1];
  const bool bNumbered = roleOf(first) != first && roleOf(second) != second &&
                         roleOf(first) != roleOf(second);
  for (size_t i = 0; i < labels.size(); ++i) {
    const std::string& chosen = i % 2 == 0 ? options.phaseA : options.phaseB;
    const std::string number = std::to_string(i / 2 + 1);
    names.push_back(wellFormedText(!chosen.empty() ? chosen + number
                                   : bNumbered     ? labels[i]
                                                   : labels[i] + number));
  }
  return names;
}

double meanOf(const std::vector<float>& fY, size_t nBegin, size_t nEnd) {
  double sum = 0;
  for (size_t i = nBegin; i < nEnd; ++i) sum += fY[i];
  return sum / static_cast<double>(nEnd - nBegin);
}

// The average d of a summary, if it has one.
const kalmir::Average* averageD(const kalmir::Summary& summary) {
  for (const kalmir::Average& a : summary.averages) {
    if (a.name == "d") return &a;
  }
  return nullptr;
}

std::string figureText(double v) { return reportFigure(static_cast<float>(v)); }

std::string averageCaption(const kalmir::Average& a, int nCount,
                           const std::string& what) {
  std::string text = "Mean of " + std::to_string(nCount) + " " + what +
                     ": d = " + figureText(a.estimate);
  if (std::isfinite(a.se)) {
    char se[64];
    std::snprintf(se, sizeof se, "%.3f", a.se);
    text += std::string(" (SE ") + se + ")";
  }
  return text;
}

// A y axis as the AB plot's, but with at least two ticks however low its
// panel: a small panel of counts or a study's case may have room for
// only three labels.
Scale panelYScale(double lo, double hi, double pageBottom, double pageTop,
                  double minStep) {
  Scale s = yScale(lo, hi, pageBottom, pageTop, minStep);
  if (s.ticks.size() >= 2) return s;
  // Labels 16 points apart stay clear of each other at any size.
  const int nMax = std::max(2, static_cast<int>((pageBottom - pageTop) / 16));
  s.step = tickStep(lo, hi, minStep, nMax);
  s.ticks = ticksInRange(lo, hi, s.step);
  s.labels = tickLabels(s.ticks, s.step);
  return s;
}

// The values' range of a panel frameHeight high, padded as the AB plot's.
void valueRange(const SeriesContent& c, double frameHeight, double* pLo,
                double* pHi) {
  *pLo = c.rangeLo;
  *pHi = c.rangeHi;
  if (!c.bFixedRange) {
    paddedRange(c.rangeLo, c.rangeHi, frameHeight, kPadPoints, pLo, pHi);
  }
}

// The caveat on values of c drawn off a scale from lo to hi, or "".
std::string offScaleCaveat(const SeriesContent& c, double lo, double hi) {
  int nOff = 0;
  for (float f : c.fY) nOff += f < lo || f > hi;
  if (nOff == 0) return "";
  const std::string why =
      c.bFixedRange ? "outside the y range " + shortestText(c.rangeLo, false) +
                          " to " + shortestText(c.rangeHi, false)
                    : "over " + shortestText(kFarIqrs, false) +
                          " interquartile ranges beyond the rest";
  return nOff == 1 ? "1 value is drawn off the scale (" + why + ")"
                   : std::to_string(nOff) +
                         " values are drawn off the scale (" + why + ")";
}

std::vector<LegendKey> seriesKeys(size_t nPhases, bool bOff,
                                  const std::string& roleA,
                                  const std::string& roleB, double room,
                                  const TextWidth& textWidth,
                                  std::vector<std::string>* pLabels) {
  std::vector<LegendKey> keys = {LegendKey::kAPoints, LegendKey::kBPoints,
                                 LegendKey::kALine, LegendKey::kNullLine,
                                 LegendKey::kBLine};
  *pLabels = {roleA + " phases", roleB + " phases", roleA + " lines",
              roleA + " lines carried on", roleB + " lines"};
  if (nPhases >= 3) {
    keys.push_back(LegendKey::kBCarried);
    pLabels->push_back(roleB + " lines carried on");
  }
  if (bOff) {
    keys.push_back(LegendKey::kOffScale);
    pLabels->push_back("Off the scale");
  }
  for (std::string& label : *pLabels) {
    label = fitText(label, room, kTextSize, false, textWidth);
  }
  return keys;
}

// The marks, paths and lines of c on a panel whose frame and scales are
// set.
void fillPanel(const SeriesContent& c, SeriesPanel* pPanel) {
  SeriesPanel& p = *pPanel;
  const Rect& f = p.frame;
  const double perUnit = f.w / (p.x.hi - p.x.lo) * smallestGap(c.fT);
  p.markerRadius = std::clamp(0.38 * perUnit, 1.3, 3.5);
  const size_t nPhases = c.nStarts.size();
  std::vector<Point> where;
  for (size_t k = 0; k < nPhases; ++k) {
    const size_t nEnd = k + 1 < nPhases ? c.nStarts[k + 1] : c.fY.size();
    for (size_t i = c.nStarts[k]; i < nEnd; ++i) {
      const Point pt = {p.x.toPage(timeAt(c.fT, static_cast<double>(i + 1))),
                        p.values.toPage(c.fY[i])};
      where.push_back(pt);
      p.marks.push_back(pt);
      p.nPhaseOf.push_back(static_cast<int>(k));
    }
    if (k > 0) {
      p.changeX.push_back(
          p.x.toPage(timeAt(c.fT, static_cast<double>(c.nStarts[k]) + 0.5)));
    }
  }
  for (size_t i = 0; i < c.fY.size(); ++i) {
    if (c.fY[i] >= p.values.lo && c.fY[i] <= p.values.hi) continue;
    OffScaleMark m;
    m.nValue = static_cast<int>(i);
    m.bAbove = c.fY[i] > p.values.hi;
    m.tip = {where[i].x, m.bAbove ? f.y : f.bottom()};
    p.offScale.push_back(m);
    p.marks[i] = m.tip;
  }
  for (size_t k = 0; k < nPhases; ++k) {
    const size_t nEnd = k + 1 < nPhases ? c.nStarts[k + 1] : c.fY.size();
    bool bJoined = false;
    for (size_t i = c.nStarts[k]; i + 1 < nEnd; ++i) {
      Point a, b;
      if (!clipSegment(where[i], where[i + 1], f, &a, &b)) {
        bJoined = false;
        continue;
      }
      const bool bFromStart = a.x == where[i].x && a.y == where[i].y;
      if (!bJoined || !bFromStart) {
        p.dataPaths.push_back({static_cast<int>(k), {a}});
      }
      p.dataPaths.back().points.push_back(b);
      bJoined = b.x == where[i + 1].x && b.y == where[i + 1].y;
    }
  }
  for (const Segment& s : c.lines) {
    p.lines.push_back(pageLine(s, c.fT, p.x, p.values, f));
  }
  for (const Segment& s : c.carried) {
    p.carried.push_back(pageLine(s, c.fT, p.x, p.values, f));
  }
}

// The x axis of frames from left to right over the times lo ... hi (before
// padding), narrowed from the right until its last tick label ends by
// labelEnd; sets each frame's width.
Scale sharedX(double tLo, double tHi, bool bWhole, double left, double right,
              double labelEnd, const TextWidth& textWidth) {
  Scale x;
  for (int i = 0; i < 8; ++i) {
    double lo, hi;
    paddedRange(tLo, tHi, right - left, kPadPoints, &lo, &hi);
    x = xScale(lo, hi, left, right, bWhole ? 1 : 0, textWidth);
    if (x.ticks.empty()) break;
    const double end = x.toPage(x.ticks.back()) +
                       textWidth(x.labels.back(), kTextSize, false) / 2;
    if (end <= labelEnd) break;
    right -= end - labelEnd;
  }
  return x;
}

// The phases' names above a frame, each over its stretch; a name that
// would run into the one before it goes a row higher. Returns the rows.
int addPhaseNames(const std::vector<std::string>& names, const Rect& frame,
                  const std::vector<double>& changeX, double width,
                  const TextWidth& textWidth, std::vector<TextBox>* pText) {
  std::vector<double> rowEnds;
  const double minRoom = textWidth("A10", kPhaseSize, true);
  for (size_t k = 0; k < names.size(); ++k) {
    const double from = k == 0 ? frame.x : changeX[k - 1];
    const double to = k + 1 < names.size() ? changeX[k] : frame.right();
    const double room =
        std::min(std::max(to - from - 4, minRoom), width - 2 * kEdge);
    TextBox t = textBox(fitText(names[k], room, kPhaseSize, true, textWidth), 0,
                        0, kPhaseSize, true, textWidth, Align::kMiddle);
    t.x = std::clamp((from + to) / 2 - t.width / 2, kEdge,
                     width - kEdge - t.width);
    size_t nRow = 0;
    while (nRow < rowEnds.size() && rowEnds[nRow] + 4 > t.x) ++nRow;
    if (nRow == rowEnds.size()) rowEnds.push_back(0);
    rowEnds[nRow] = t.x + t.width;
    t.y = frame.y - kPhaseLabelRise - static_cast<double>(nRow) * kLegendRow;
    pText->push_back(t);
  }
  return static_cast<int>(rowEnds.size());
}

// How many rows addPhaseNames will take, before the frame's y is known.
int phaseNameRows(const std::vector<std::string>& names, const Rect& frame,
                  const std::vector<double>& changeX, double width,
                  const TextWidth& textWidth) {
  std::vector<TextBox> scratch;
  return addPhaseNames(names, frame, changeX, width, textWidth, &scratch);
}

void addAxisTitles(const Rect& frame, const std::string& xTitle,
                   const std::string& yTitle, const TextWidth& textWidth,
                   std::vector<TextBox>* pText) {
  if (!xTitle.empty()) {
    TextBox xt =
        textBox(fitText(xTitle, frame.w, kTextSize, false, textWidth), 0,
                frame.bottom() + kBelowFrame - 2 - kDescent * kTextSize,
                kTextSize, false, textWidth, Align::kMiddle);
    xt.x = frame.x + (frame.w - xt.width) / 2;
    pText->push_back(xt);
  }
  if (!yTitle.empty()) {
    TextBox yt = textBox(fitText(yTitle, frame.h, kTextSize, false, textWidth),
                         kEdge + kAscent * kTextSize, 0, kTextSize, false,
                         textWidth, Align::kMiddle);
    yt.bVertical = true;
    yt.y = frame.y + (frame.h + yt.width) / 2;
    pText->push_back(yt);
  }
}

}  // namespace

std::string seriesMismatch(const kalmir::DataSet& data,
                           const kalmir::Series& series, bool bMeans) {
  const std::string what = "cannot plot series \"" + data.name + "\": ";
  const size_t nPhases = data.phases.size();
  if (nPhases < 2 || series.contrasts.size() + 1 != nPhases) {
    return what + "its analysis does not match its phases";
  }
  for (size_t k = 0; k + 1 < nPhases; ++k) {
    const kalmir::Result& r = series.contrasts[k].result;
    if (r.n_a < 2 || r.n_b < 2 ||
        static_cast<size_t>(r.n_a) != data.phases[k].values.size() ||
        static_cast<size_t>(r.n_b) != data.phases[k + 1].values.size() ||
        r.values.size() != static_cast<size_t>(r.n_a + r.n_b)) {
      return what + "its analysis does not match its phases";
    }
    if (bMeans &&
        (r.null_means.empty() || r.null_means.size() != r.exp_means.size())) {
      return what + "no analysis with its simulated means";
    }
  }
  return "";
}

void phaseRoles(const kalmir::DataSet& data, const PlotOptions& options,
                std::string* pRoleA, std::string* pRoleB) {
  const std::vector<std::string> labels = labelsOf(data);
  const std::string a = labels.empty() ? "A" : roleOf(labels[0]);
  const std::string b = labels.size() < 2 ? "B" : roleOf(labels[1]);
  *pRoleA = wellFormedText(!options.phaseA.empty() ? options.phaseA : a);
  *pRoleB = wellFormedText(!options.phaseB.empty() ? options.phaseB : b);
}

SeriesContent seriesContent(const kalmir::DataSet& data,
                            const kalmir::Series& series,
                            const PlotOptions& options) {
  SeriesContent c;
  c.name = wellFormedText(data.name);
  c.phases = phaseNames(data, options);
  for (size_t k = 0; k < data.phases.size(); ++k) {
    const std::string& chosen = k % 2 == 0 ? options.phaseA : options.phaseB;
    c.labels.push_back(
        wellFormedText(!chosen.empty() ? chosen : labelsOf(data)[k]));
  }
  const size_t nPhases = data.phases.size();
  std::vector<double> times;
  bool bTimes = true;
  for (size_t k = 0; k < nPhases; ++k) {
    const kalmir::Result& r = series.contrasts[k == 0 ? 0 : k - 1].result;
    const size_t nA = static_cast<size_t>(r.n_a);
    c.nStarts.push_back(c.fY.size());
    if (k == 0) {
      c.fY.insert(c.fY.end(), r.values.begin(),
                  r.values.begin() + static_cast<long>(nA));
    } else {
      c.fY.insert(c.fY.end(), r.values.begin() + static_cast<long>(nA),
                  r.values.end());
    }
    const kalmir::Phase& phase = data.phases[k];
    bTimes = bTimes && phase.times.size() == phase.values.size();
    times.insert(times.end(), phase.times.begin(), phase.times.end());
  }
  if (bTimes) c.fT = usableTimes(times, c.fY.size());
  for (size_t k = 0; k < nPhases; ++k) {
    // Phase k's own line: the first contrast's baseline, or the
    // experimental model of the contrast it ends.
    const kalmir::Line& own = k == 0 ? series.contrasts[0].result.null_model
                                     : series.contrasts[k - 1].result.exp_model;
    const double start = static_cast<double>(c.nStarts[k]);
    const double n = static_cast<double>(data.phases[k].values.size());
    const double fInt = own.intercept, fSlope = own.slope;
    c.lines.push_back({start + 1, fInt + fSlope, start + n, fInt + fSlope * n});
    if (k + 1 < nPhases) {
      // Carried on as the null model of the contrast it begins.
      const kalmir::Line& null = series.contrasts[k].result.null_model;
      const double tEnd =
          n + static_cast<double>(data.phases[k + 1].values.size());
      const double nInt = null.intercept, nSlope = null.slope;
      c.carried.push_back(
          {start + n, nInt + nSlope * n, start + tEnd, nInt + nSlope * tEnd});
    }
  }
  c.bFixedRange = options.bYRange;
  c.bFar.assign(c.fY.size(), false);
  if (c.bFixedRange) {
    c.rangeLo = options.yLow;
    c.rangeHi = options.yHigh;
  } else {
    c.bFar = farValuesByPhase(c.fY, c.nStarts);
    std::vector<Segment> all = c.lines;
    all.insert(all.end(), c.carried.begin(), c.carried.end());
    coveredRange(c.fY, c.bFar, all, &c.rangeLo, &c.rangeHi);
  }
  return c;
}

SeriesFigure seriesFigure(const kalmir::DataSet& data,
                          const kalmir::Series& series,
                          const PlotOptions& options, int nBins) {
  SeriesFigure f;
  f.series = seriesContent(data, series, options);
  const SeriesContent& c = f.series;
  f.title = wellFormedText(options.title.empty() ? data.name : options.title);
  f.xLabel = wellFormedText(!options.xLabel.empty() ? options.xLabel
                            : c.fT.empty()          ? "Measurement occasion"
                                                    : "Measurement time");
  f.yLabel = wellFormedText(options.yLabel.empty() ? "Value" : options.yLabel);
  phaseRoles(data, options, &f.roleA, &f.roleB);
  const kalmir::Average* d = averageD(series.summary);
  if (series.has_summary && d != nullptr) {
    f.caption.push_back(averageCaption(*d, series.summary.count,
                                       f.roleA + "-" + f.roleB + " contrasts"));
  }
  f.bMeansPanel = options.bMeansPanel;
  for (size_t k = 0; k < series.contrasts.size(); ++k) {
    const kalmir::Contrast& contrast = series.contrasts[k];
    const kalmir::Result& r = contrast.result;
    ContrastMeans m;
    m.title = wellFormedText(contrast.label) + ": d = " + reportFigure(r.d) +
              ", " + pFigure(r.p);
    m.later = c.phases[k + 1];
    m.observedMean =
        meanOf(r.values, static_cast<size_t>(r.n_a), r.values.size());
    m.hist = binMeans(r.null_means, r.exp_means, nBins);
    f.contrasts.push_back(m);
  }
  return f;
}

StudyFigure studyFigure(const std::vector<kalmir::DataSet>& cases,
                        const kalmir::Study& study,
                        const PlotOptions& options) {
  StudyFigure f;
  f.title = wellFormedText(options.title.empty() ? study.name : options.title);
  f.yLabel = wellFormedText(options.yLabel.empty() ? "Value" : options.yLabel);
  if (!cases.empty()) phaseRoles(cases[0], options, &f.roleA, &f.roleB);
  bool bTimes = true;
  for (size_t i = 0; i < cases.size() && i < study.cases.size(); ++i) {
    const kalmir::Series& s = study.cases[i];
    SeriesContent c = seriesContent(cases[i], s, options);
    const kalmir::Average* d = averageD(s.summary);
    if (s.has_summary && d != nullptr) {
      c.figures = {"mean d = " + figureText(d->estimate),
                   "over " + std::to_string(s.summary.count) + " A-B pairs"};
    } else {
      const kalmir::Result& r = s.contrasts[0].result;
      c.figures = {"d = " + reportFigure(r.d), pFigure(r.p)};
    }
    bTimes = bTimes && !c.fT.empty();
    f.cases.push_back(c);
  }
  // One axis: times only when every case has them.
  if (!bTimes) {
    for (SeriesContent& c : f.cases) c.fT.clear();
  }
  f.xLabel = wellFormedText(!options.xLabel.empty() ? options.xLabel
                            : bTimes                ? "Measurement time"
                                                    : "Measurement occasion");
  const kalmir::Average* d = averageD(study.summary);
  if (d != nullptr) {
    f.caption.push_back(
        averageCaption(*d, static_cast<int>(study.cases.size()), "cases"));
  }
  return f;
}

SeriesFigureLayout layOutSeriesFigure(const SeriesFigure& fig,
                                      const TextWidth& textWidth) {
  SeriesFigureLayout L;
  L.width = kPlotWidth;
  L.tickLength = kTickLength;
  const SeriesContent& c = fig.series;
  const double inner = L.width - 2 * kEdge;
  const bool bMeans = fig.bMeansPanel && !fig.contrasts.empty();
  const double seriesHeight = bMeans ? kSeriesFrameHeight : kSeriesAloneHeight;
  double vLo, vHi;
  valueRange(c, seriesHeight, &vLo, &vHi);
  std::vector<std::string> caveats = fig.caveats;
  const std::string off = offScaleCaveat(c, vLo, vHi);
  if (!off.empty()) caveats.push_back(off);
  double y =
      addHeading(fig.title, fig.caption, caveats, L.width, textWidth, &L.text);
  std::vector<std::string> labels;
  const std::vector<LegendKey> keys =
      seriesKeys(c.nStarts.size(), !off.empty(), fig.roleA, fig.roleB,
                 inner - kSwatchWidth - kSwatchGap, textWidth, &labels);
  y += addLegend(keys, labels, y, L.width, textWidth, &L.legend, &L.text);

  // The frame's place across the page, then the rows its phases' names
  // need above it.
  SeriesPanel& p = L.series;
  p.frame.h = seriesHeight;
  p.values = panelYScale(vLo, vHi, seriesHeight, 0, 0);
  const double left =
      kEdge + kYTitleRoom + widestLabel(p.values, textWidth) + kTickLength + 3;
  p.frame.x = left;
  p.x = sharedX(timeAt(c.fT, 1), timeAt(c.fT, static_cast<double>(c.fY.size())),
                wholeTimes(c.fT), left, L.width - 2 * kEdge,
                L.width - kEdge / 2, textWidth);
  p.frame.w = p.x.pageHi - left;
  std::vector<double> changeX;
  for (size_t k = 1; k < c.nStarts.size(); ++k) {
    changeX.push_back(
        p.x.toPage(timeAt(c.fT, static_cast<double>(c.nStarts[k]) + 0.5)));
  }
  const int nNameRows =
      phaseNameRows(c.phases, p.frame, changeX, L.width, textWidth);
  y += 2 + kPhaseSize + kPhaseLabelRise + (nNameRows - 1) * kLegendRow;
  p.frame.y = y;
  p.values = panelYScale(vLo, vHi, p.frame.bottom(), p.frame.y, 0);
  fillPanel(c, &p);
  addPhaseNames(c.phases, p.frame, p.changeX, L.width, textWidth, &L.text);
  addTickLabels(p.values, p.frame, false, textWidth, &L.text);
  addTickLabels(p.x, p.frame, true, textWidth, &L.text);
  addAxisTitles(p.frame, fig.xLabel, fig.yLabel, textWidth, &L.text);
  y = p.frame.bottom() + kBelowFrame;

  if (bMeans) {
    y += 14;
    y += addLegend(
        {LegendKey::kNullBars, LegendKey::kExpBars, LegendKey::kObservedMean},
        {"Null-model means", "Experimental-model means",
         "Observed mean of the later phase"},
        y, L.width, textWidth, &L.legend, &L.text);
    const size_t nPanels = fig.contrasts.size();
    const size_t nColumns =
        std::min(nPanels, static_cast<size_t>(kMeansColumns));
    const double gridLeft = kEdge + kYTitleRoom;
    const double cellWidth =
        (L.width - kEdge - gridLeft) / static_cast<double>(nColumns);
    for (size_t i = 0; i < nPanels; ++i) {
      const ContrastMeans& m = fig.contrasts[i];
      const size_t nColumn = i % nColumns;
      if (nColumn == 0) y += kLegendRow + 2;  // the panels' titles
      MeansPanel panel;
      panel.frame.y = y;
      panel.frame.h = kSmallMeansHeight;
      int nMaxCount = 1;
      for (size_t b = 0; b < m.hist.nNull.size(); ++b) {
        nMaxCount = std::max({nMaxCount, m.hist.nNull[b], m.hist.nExp[b]});
      }
      panel.counts = panelYScale(0, 1.08 * nMaxCount, panel.frame.bottom(),
                                 panel.frame.y, 1);
      const double cellLeft =
          gridLeft + cellWidth * static_cast<double>(nColumn);
      const double cellRight = nColumn + 1 == nColumns
                                   ? L.width - kEdge / 2
                                   : cellLeft + cellWidth - kColumnGap / 2;
      double frameLeft =
          cellLeft + widestLabel(panel.counts, textWidth) + kTickLength + 3;
      double frameRight = cellLeft + cellWidth - kColumnGap;
      if (nColumn + 1 == nColumns) frameRight = L.width - 2 * kEdge;
      const double mLo =
          std::min(m.hist.lo, finiteOr(m.observedMean, m.hist.lo));
      const double mHi =
          std::max(m.hist.hi(), finiteOr(m.observedMean, m.hist.lo));
      // Narrowed until its tick labels stay within its cell.
      for (int k = 0; k < 8; ++k) {
        double lo, hi;
        paddedRange(mLo, mHi, frameRight - frameLeft, kPadPoints, &lo, &hi);
        panel.means = xScale(lo, hi, frameLeft, frameRight, 0, textWidth);
        if (panel.means.ticks.empty()) break;
        const double wFirst =
            textWidth(panel.means.labels.front(), kTextSize, false);
        const double wLast =
            textWidth(panel.means.labels.back(), kTextSize, false);
        const double under =
            cellLeft -
            (panel.means.toPage(panel.means.ticks.front()) - wFirst / 2);
        const double over = panel.means.toPage(panel.means.ticks.back()) +
                            wLast / 2 - cellRight;
        if (under <= 0 && over <= 0) break;
        frameLeft += std::max(0.0, under);
        frameRight -= std::max(0.0, over);
      }
      panel.frame.x = frameLeft;
      panel.frame.w = frameRight - frameLeft;
      panel.observedX =
          panel.means.toPage(finiteOr(m.observedMean, panel.means.lo));
      L.text.push_back(textBox(
          fitText(m.title, cellRight - cellLeft, kTextSize, false, textWidth),
          cellLeft, panel.frame.y - 4 - kDescent * kTextSize, kTextSize, false,
          textWidth));
      addTickLabels(panel.counts, panel.frame, false, textWidth, &L.text);
      addTickLabels(panel.means, panel.frame, true, textWidth, &L.text);
      addAxisTitles(panel.frame, "Simulated " + m.later + " mean",
                    nColumn == 0 ? "Simulated cases" : "", textWidth, &L.text);
      L.means.push_back(panel);
      if (nColumn + 1 == nColumns || i + 1 == nPanels) {
        y = panel.frame.bottom() + kBelowFrame + 6;
      }
    }
  }
  L.height = std::ceil(y + kEdge);
  return L;
}

StudyFigureLayout layOutStudyFigure(const StudyFigure& fig,
                                    const TextWidth& textWidth) {
  StudyFigureLayout L;
  L.width = kPlotWidth;
  L.tickLength = kTickLength;
  const double inner = L.width - 2 * kEdge;
  const size_t nCases = fig.cases.size();
  if (nCases == 0) {
    L.height = std::ceil(addHeading(fig.title, fig.caption, fig.caveats,
                                    L.width, textWidth, &L.text) +
                         kEdge);
    return L;
  }
  const double panelHeight =
      std::clamp(kStudyStackHeight / static_cast<double>(nCases),
                 kStudyPanelMin, kStudyPanelMax);
  std::vector<double> vLo(nCases), vHi(nCases);
  std::vector<std::string> caveats = fig.caveats;
  bool bOff = false;
  size_t nMostPhases = 0;
  for (size_t i = 0; i < nCases; ++i) {
    valueRange(fig.cases[i], panelHeight, &vLo[i], &vHi[i]);
    const std::string off = offScaleCaveat(fig.cases[i], vLo[i], vHi[i]);
    if (!off.empty()) caveats.push_back(fig.cases[i].name + ": " + off);
    bOff = bOff || !off.empty();
    nMostPhases = std::max(nMostPhases, fig.cases[i].nStarts.size());
  }
  double y =
      addHeading(fig.title, fig.caption, caveats, L.width, textWidth, &L.text);
  std::vector<std::string> labels;
  const std::vector<LegendKey> keys =
      seriesKeys(nMostPhases, bOff, fig.roleA, fig.roleB,
                 inner - kSwatchWidth - kSwatchGap, textWidth, &labels);
  y += addLegend(keys, labels, y, L.width, textWidth, &L.legend, &L.text);

  // One x axis for all: the union of the cases' times.
  double widest = 0, tLo = INFINITY, tHi = -INFINITY;
  bool bWhole = true;
  L.panels.resize(nCases);
  for (size_t i = 0; i < nCases; ++i) {
    const SeriesContent& c = fig.cases[i];
    L.panels[i].values = panelYScale(vLo[i], vHi[i], panelHeight, 0, 0);
    widest = std::max(widest, widestLabel(L.panels[i].values, textWidth));
    tLo = std::min(tLo, timeAt(c.fT, 1));
    tHi = std::max(tHi, timeAt(c.fT, static_cast<double>(c.fY.size())));
    bWhole = bWhole && wholeTimes(c.fT);
  }
  const double left = kEdge + kYTitleRoom + widest + kTickLength + 3;
  const Scale x = sharedX(tLo, tHi, bWhole, left,
                          L.width - kEdge - kCornerWidth - kCornerGap,
                          L.width - kEdge / 2, textWidth);
  Rect frame = {left, 0, x.pageHi - left, panelHeight};
  const SeriesContent& top = fig.cases[0];
  std::vector<double> changeX;
  for (size_t k = 1; k < top.nStarts.size(); ++k) {
    changeX.push_back(
        x.toPage(timeAt(top.fT, static_cast<double>(top.nStarts[k]) + 0.5)));
  }
  const int nNameRows =
      phaseNameRows(top.labels, frame, changeX, L.width, textWidth);
  y += 2 + kPhaseSize + kPhaseLabelRise + (nNameRows - 1) * kLegendRow;
  for (size_t i = 0; i < nCases; ++i) {
    SeriesPanel& p = L.panels[i];
    const SeriesContent& c = fig.cases[i];
    p.frame = frame;
    p.frame.y = y;
    p.x = x;
    p.values = panelYScale(vLo[i], vHi[i], p.frame.bottom(), p.frame.y, 0);
    fillPanel(c, &p);
    addTickLabels(p.values, p.frame, false, textWidth, &L.text);
    // Beside the top right corner: the case's name and its figures.
    const double cornerX = p.frame.right() + kCornerGap;
    const double room = L.width - kEdge - cornerX;
    double baseline = p.frame.y + kAscent * kTextSize;
    L.text.push_back(textBox(fitText(c.name, room, kTextSize, true, textWidth),
                             cornerX, baseline, kTextSize, true, textWidth));
    for (const std::string& figure : c.figures) {
      baseline += kCaveatRow;
      L.text.push_back(
          textBox(fitText(figure, room, kTextSize, false, textWidth), cornerX,
                  baseline, kTextSize, false, textWidth));
    }
    y = p.frame.bottom() + kStudyPanelGap;
  }
  const SeriesPanel& bottom = L.panels.back();
  addPhaseNames(top.labels, L.panels[0].frame, L.panels[0].changeX, L.width,
                textWidth, &L.text);
  addTickLabels(x, bottom.frame, true, textWidth, &L.text);
  addAxisTitles(bottom.frame, fig.xLabel, "", textWidth, &L.text);
  Rect stack = L.panels[0].frame;
  stack.h = bottom.frame.bottom() - stack.y;
  addAxisTitles(stack, "", fig.yLabel, textWidth, &L.text);
  if (fig.bStaircase) {
    for (size_t i = 0; i + 1 < nCases; ++i) {
      const SeriesPanel& a = L.panels[i];
      const SeriesPanel& b = L.panels[i + 1];
      if (a.changeX.empty() || b.changeX.empty()) continue;
      const double mid = (a.frame.bottom() + b.frame.y) / 2;
      L.staircase.push_back({{a.changeX[0], a.frame.bottom()},
                             {a.changeX[0], mid},
                             {b.changeX[0], mid},
                             {b.changeX[0], b.frame.y}});
    }
  }
  L.height = std::ceil(bottom.frame.bottom() + kBelowFrame + kEdge);
  return L;
}
