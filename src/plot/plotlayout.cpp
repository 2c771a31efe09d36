#include "plotlayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const double kEdge = 12;  // page edge to the text nearest it
const double kTitleSize = 14;
// All text but the title has one size: an SVG carries the outline of every
// glyph once per size.
const double kTextSize = 11;
const double kCaptionSize = kTextSize;
const double kPhaseSize = kTextSize;
const double kTickLength = 4;
// Free room between a frame and the outermost data mark or line: more than
// the largest marker's radius.
const double kPadPoints = 8;
const double kAscent = 0.8;  // of the font size, for the boxes of text
const double kDescent = 0.25;
const double kSwatchWidth = 24;
const double kSwatchGap = 5;
const double kItemGap = 18;
const double kLegendRow = 1.45 * kTextSize;
const double kCaptionRow = 1.45 * kCaptionSize;
// The series panel gets this share of the height both frames share.
const double kSeriesShare = 0.56;

double finiteOr(double v, double fallback) {
  return std::isfinite(v) ? v : fallback;
}

// The next round step after step: 1 -> 2 -> 5 -> 10.
double nextStep(double step) {
  const double unit = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double m = std::round(step / unit);
  if (m < 1.5) return 2 * unit;
  if (m < 3.5) return 5 * unit;
  return 10 * unit;
}

// How many multiples of step lie within lo ... hi.
double tickCount(double lo, double hi, double step) {
  return std::floor(hi / step) - std::ceil(lo / step) + 1;
}

// Drops whole UTF-8 characters from the end of text and adds an ellipsis
// until it fits in maxWidth.
std::string fitText(const std::string& text, double maxWidth, double size,
                    bool bBold, const TextWidth& textWidth) {
  if (textWidth(text, size, bBold) <= maxWidth) return text;
  const std::string ellipsis = "\xE2\x80\xA6";
  std::string s = text;
  while (!s.empty() && textWidth(s + ellipsis, size, bBold) > maxWidth) {
    s.pop_back();
    while (!s.empty() &&
           (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) {
      s.pop_back();
    }
    if (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0xC0) {
      s.pop_back();  // a lead byte whose continuation went first
    }
  }
  return s + ellipsis;
}

struct Row {
  std::vector<double> x;  // left end of each item
  std::vector<int> row;   // row of each item
  int nRows = 0;
};
// Items of the given widths left to right, gap apart, starting a new row
// where the next item would pass the width; each row centred on the page.
Row flowRow(const std::vector<double>& widths, double gap, double left,
            double width) {
  Row r;
  std::vector<double> rowWidth;
  double used = 0;
  for (size_t i = 0; i < widths.size(); ++i) {
    if (rowWidth.empty() || used + gap + widths[i] > width) {
      rowWidth.push_back(0);
      used = widths[i];
      r.x.push_back(0);
    } else {
      used += gap;
      r.x.push_back(used);
      used += widths[i];
    }
    rowWidth.back() = used;
    r.row.push_back(static_cast<int>(rowWidth.size()) - 1);
  }
  for (size_t i = 0; i < widths.size(); ++i) {
    r.x[i] += left + std::max(0.0, (width - rowWidth[r.row[i]]) / 2);
  }
  r.nRows = static_cast<int>(rowWidth.size());
  return r;
}

TextBox textBox(const std::string& text, double x, double y, double size,
                bool bBold, const TextWidth& textWidth) {
  TextBox t;
  t.text = text;
  t.x = x;
  t.y = y;
  t.size = size;
  t.bBold = bBold;
  t.width = textWidth(text, size, bBold);
  return t;
}

// A y axis: ticks at least 2.6 text heights apart.
Scale yScale(double lo, double hi, double pageBottom, double pageTop,
             double minStep) {
  Scale s;
  s.lo = lo;
  s.hi = hi;
  s.pageLo = pageBottom;
  s.pageHi = pageTop;
  const int nMax = std::clamp(
      static_cast<int>((pageBottom - pageTop) / (2.6 * kTextSize)) + 1, 2, 8);
  s.step = tickStep(lo, hi, minStep, nMax);
  s.ticks = ticksInRange(lo, hi, s.step);
  s.labels = tickLabels(s.ticks, s.step);
  return s;
}

// An x axis: the smallest round step whose labels keep 12 points apart.
Scale xScale(double lo, double hi, double pageLeft, double pageRight,
             double minStep, const TextWidth& textWidth) {
  Scale s;
  s.lo = lo;
  s.hi = hi;
  s.pageLo = pageLeft;
  s.pageHi = pageRight;
  s.step = tickStep(lo, hi, minStep, 12);
  const double pointsPerUnit = (pageRight - pageLeft) / (hi - lo);
  for (int i = 0; i < 64; ++i) {
    s.ticks = ticksInRange(lo, hi, s.step);
    s.labels = tickLabels(s.ticks, s.step);
    double widest = 0;
    for (const std::string& label : s.labels) {
      widest = std::max(widest, textWidth(label, kTextSize, false));
    }
    if (s.ticks.size() < 2 || s.step * pointsPerUnit >= widest + 12) break;
    s.step = nextStep(s.step);
  }
  return s;
}

void addTickLabels(const Scale& s, const Rect& frame, bool bXAxis,
                   const TextWidth& textWidth, std::vector<TextBox>* pText) {
  for (size_t i = 0; i < s.ticks.size(); ++i) {
    const double p = s.toPage(s.ticks[i]);
    TextBox t = textBox(s.labels[i], 0, 0, kTextSize, false, textWidth);
    if (bXAxis) {
      t.x = p - t.width / 2;
      t.y = frame.bottom() + kTickLength + 3 + kAscent * kTextSize;
    } else {
      t.x = frame.x - kTickLength - 3 - t.width;
      t.y = p + 0.36 * kTextSize;  // digits centred on the tick
    }
    pText->push_back(t);
  }
}

double widestLabel(const Scale& s, const TextWidth& textWidth) {
  double widest = 0;
  for (const std::string& label : s.labels) {
    widest = std::max(widest, textWidth(label, kTextSize, false));
  }
  return widest;
}

// Legend entries flowed into rows from the top y; returns the rows' height.
double addLegend(const std::vector<LegendKey>& keys,
                 const std::vector<std::string>& labels, double top,
                 const TextWidth& textWidth, PlotLayout* pLayout) {
  std::vector<double> widths;
  for (const std::string& label : labels) {
    widths.push_back(kSwatchWidth + kSwatchGap +
                     textWidth(label, kTextSize, false));
  }
  const Row row = flowRow(widths, kItemGap, kEdge, pLayout->width - 2 * kEdge);
  for (size_t i = 0; i < keys.size(); ++i) {
    const double baseline =
        top + row.row[i] * kLegendRow + kAscent * kTextSize + 2;
    LegendSwatch swatch;
    swatch.key = keys[i];
    swatch.box = {row.x[i], baseline - 0.36 * kTextSize - 4, kSwatchWidth, 8};
    pLayout->legend.push_back(swatch);
    pLayout->text.push_back(textBox(labels[i],
                                    row.x[i] + kSwatchWidth + kSwatchGap,
                                    baseline, kTextSize, false, textWidth));
  }
  return row.nRows * kLegendRow;
}

}  // namespace

double Scale::toPage(double v) const {
  return pageLo + (v - lo) / (hi - lo) * (pageHi - pageLo);
}

void paddedRange(double fMin, double fMax, double pageLength, double padPoints,
                 double* pLo, double* pHi) {
  if (!std::isfinite(fMin) || !std::isfinite(fMax)) {
    fMin = 0;
    fMax = 1;
  }
  if (fMax < fMin) std::swap(fMin, fMax);
  if (fMax == fMin) {
    const double half = std::max(std::fabs(fMin) * 0.01, 0.5);
    fMin -= half;
    fMax += half;
  }
  const double span = fMax - fMin;
  double pad = 0.04 * span;
  if (pageLength > 4 * padPoints) {
    // pad / (span + 2 pad) of the page is padPoints.
    pad = std::max(pad, padPoints * span / (pageLength - 2 * padPoints));
  }
  *pLo = fMin - pad;
  *pHi = fMax + pad;
}

double tickStep(double lo, double hi, double minStep, int nMaxTicks) {
  const double raw = std::max((hi - lo) / nMaxTicks, minStep);
  double step = std::pow(10.0, std::floor(std::log10(raw)) - 1);
  for (int i = 0; i < 64; ++i, step = nextStep(step)) {
    if (step >= minStep && tickCount(lo, hi, step) <= nMaxTicks) break;
  }
  return step;
}

std::vector<double> ticksInRange(double lo, double hi, double step) {
  std::vector<double> ticks;
  const double first = std::ceil(lo / step);
  const double last = std::floor(hi / step);
  if (!(last - first < 1000)) return ticks;
  for (double i = first; i <= last; ++i) {
    // i * step can round a hair past an end that is itself a multiple.
    ticks.push_back(i == 0 ? 0.0 : std::clamp(i * step, lo, hi));
  }
  return ticks;
}

std::vector<std::string> tickLabels(const std::vector<double>& ticks,
                                    double step) {
  const int nStepExp = static_cast<int>(std::floor(std::log10(step) + 1e-9));
  double maxAbs = 0;
  for (double t : ticks) maxAbs = std::max(maxAbs, std::fabs(t));
  const int nMaxExp =
      maxAbs > 0 ? static_cast<int>(std::floor(std::log10(maxAbs))) : nStepExp;
  const int nDigits = std::max(1, nMaxExp - nStepExp + 1);
  std::vector<std::string> fixed, compact;
  size_t nFixedLen = 0, nCompactLen = 0;
  char buf[64];
  for (double t : ticks) {
    std::snprintf(buf, sizeof buf, "%.*f", std::max(0, -nStepExp), t + 0.0);
    fixed.push_back(buf);
    std::string s = "0";
    if (t != 0) {
      std::snprintf(buf, sizeof buf, "%.*e", nDigits - 1, t);
      std::string mantissa(buf, std::strchr(buf, 'e'));
      const int nExp = std::atoi(std::strchr(buf, 'e') + 1);
      if (mantissa.find('.') != std::string::npos) {
        mantissa.erase(mantissa.find_last_not_of('0') + 1);
        if (mantissa.back() == '.') mantissa.pop_back();
      }
      s = nExp == 0 ? mantissa : mantissa + "e" + std::to_string(nExp);
    }
    compact.push_back(s);
    nFixedLen = std::max(nFixedLen, fixed.back().size());
    nCompactLen = std::max(nCompactLen, s.size());
  }
  // Plain numbers read best while they are short.
  return nFixedLen <= 6 || nFixedLen <= nCompactLen ? fixed : compact;
}

Histogram binMeans(const std::vector<float>& fNull,
                   const std::vector<float>& fExp, int nBins) {
  Histogram h;
  h.nNull.assign(static_cast<size_t>(nBins), 0);
  h.nExp.assign(static_cast<size_t>(nBins), 0);
  double lo = INFINITY, hi = -INFINITY;
  for (const std::vector<float>* pSet : {&fNull, &fExp}) {
    for (float f : *pSet) {
      if (!std::isfinite(f)) continue;
      lo = std::min(lo, static_cast<double>(f));
      hi = std::max(hi, static_cast<double>(f));
    }
  }
  if (lo > hi) {
    lo = 0;
    hi = 1;
  } else if (lo == hi) {
    const double half = std::max(std::fabs(lo) * 0.01, 0.5);
    lo -= half;
    hi += half;
  }
  h.lo = lo;
  h.width = (hi - lo) / nBins;
  const double binsPerUnit = nBins / (hi - lo);
  auto count = [&](const std::vector<float>& fMeans, std::vector<int>* pN) {
    int* pnBins = pN->data();
    for (float f : fMeans) {
      if (!std::isfinite(f)) {
        ++h.nNotFinite;
        continue;
      }
      // f >= lo, so the conversion truncates to the floor.
      const int i =
          static_cast<int>((static_cast<double>(f) - lo) * binsPerUnit);
      ++pnBins[std::min(i, nBins - 1)];
    }
  };
  count(fNull, &h.nNull);
  count(fExp, &h.nExp);
  return h;
}

std::string reportFigure(float fValue) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "% .3f", static_cast<double>(fValue));
  return buf[0] == ' ' ? buf + 1 : buf;
}

PlotContent plotContent(const kalmir::Result& result, int nBins) {
  PlotContent c;
  const int nNA = result.n_a, nNB = result.n_b;
  c.title = result.name;
  c.nNA = nNA;
  c.nNB = nNB;
  c.fY = result.values;
  const double aInt = result.null_model.intercept;
  const double aSlope = result.null_model.slope;
  const double bInt = result.exp_model.intercept;
  const double bSlope = result.exp_model.slope;
  const double tA = nNA, tEnd = nNA + nNB;
  c.aLine = {1, aInt + aSlope, tA, aInt + aSlope * tA};
  c.nullLine = {tA, c.aLine.y1, tEnd, aInt + aSlope * tEnd};
  // The B line lives on the B phase's own axis: its occasion k is nNA + k.
  c.bLine = {tA + 1, bInt + bSlope, tEnd, bInt + bSlope * nNB};
  char se[64];
  std::snprintf(se, sizeof se, "%.3f", static_cast<double>(result.d_se));
  c.caption = {"D = " + reportFigure(result.d_unstd),
               "d = " + reportFigure(result.d) + " (SE " + se + ")",
               "r = " + reportFigure(result.r),
               "p = " + reportFigure(result.p)};
  double sum = 0;
  for (int i = nNA; i < nNA + nNB; ++i) sum += c.fY[static_cast<size_t>(i)];
  c.observedMean = sum / nNB;
  c.pText = "p = " + reportFigure(result.p);
  c.hist = binMeans(result.null_means, result.exp_means, nBins);
  return c;
}

Rect TextBox::bounds() const {
  if (bVertical) {
    return {x - kAscent * size, y - width, (kAscent + kDescent) * size, width};
  }
  return {x, y - kAscent * size, width, (kAscent + kDescent) * size};
}

PlotLayout layOutPlot(const PlotContent& c, const TextWidth& textWidth) {
  PlotLayout L;
  L.width = kPlotWidth;
  L.height = kPlotHeight;
  L.tickLength = kTickLength;
  const double inner = L.width - 2 * kEdge;

  // From the top: title, caption, legend, phase labels, series frame.
  double y = kEdge;
  const std::string title =
      fitText(c.title, inner, kTitleSize, true, textWidth);
  TextBox t =
      textBox(title, 0, y + kAscent * kTitleSize, kTitleSize, true, textWidth);
  t.x = (L.width - t.width) / 2;
  L.text.push_back(t);
  y += 1.4 * kTitleSize;
  std::vector<double> widths;
  for (const std::string& piece : c.caption) {
    widths.push_back(textWidth(piece, kCaptionSize, false));
  }
  const Row caption = flowRow(widths, 2 * kItemGap, kEdge, inner);
  for (size_t i = 0; i < c.caption.size(); ++i) {
    L.text.push_back(
        textBox(c.caption[i], caption.x[i],
                y + caption.row[i] * kCaptionRow + kAscent * kCaptionSize,
                kCaptionSize, false, textWidth));
  }
  y += caption.nRows * kCaptionRow + 6;
  y += addLegend({LegendKey::kAPoints, LegendKey::kBPoints, LegendKey::kALine,
                  LegendKey::kNullLine, LegendKey::kBLine},
                 {"A phase", "B phase", "A line",
                  "A line carried on (null model)", "B line"},
                 y, textWidth, &L);
  const double seriesTop = y + 2 + kPhaseSize + 2;

  // Below the series frame: its tick labels and axis title, a gap, then
  // the simulation panel's legend and the p label above its frame.
  const double belowFrame = kTickLength + 3 + 2 * kLegendRow + 2;
  const double legendTop = belowFrame + 14;
  PlotLayout legendOnly;
  legendOnly.width = L.width;
  const double lowerLegend = addLegend(
      {LegendKey::kNullBars, LegendKey::kExpBars, LegendKey::kObservedMean},
      {"Null-model means", "Experimental-model means", "Observed B-phase mean"},
      0, textWidth, &legendOnly);
  const double meansGap = legendTop + lowerLegend + 2 + kPhaseSize + 2;
  const double frames = L.height - seriesTop - meansGap - belowFrame - kEdge;
  L.seriesFrame.y = seriesTop;
  L.seriesFrame.h = kSeriesShare * frames;
  L.meansFrame.y = L.seriesFrame.bottom() + meansGap;
  L.meansFrame.h = frames - L.seriesFrame.h;
  for (LegendSwatch s : legendOnly.legend) {
    s.box.y += L.seriesFrame.bottom() + legendTop;
    L.legend.push_back(s);
  }
  for (TextBox tb : legendOnly.text) {
    tb.y += L.seriesFrame.bottom() + legendTop;
    L.text.push_back(tb);
  }

  // The y axes, which decide how much room their labels take on the left.
  double vMin = INFINITY, vMax = -INFINITY;
  auto cover = [&](double v) {
    if (!std::isfinite(v)) return;
    vMin = std::min(vMin, v);
    vMax = std::max(vMax, v);
  };
  for (float f : c.fY) cover(f);
  for (const Segment& s : {c.aLine, c.nullLine, c.bLine}) {
    cover(s.y0);
    cover(s.y1);
  }
  double lo, hi;
  paddedRange(vMin, vMax, L.seriesFrame.h, kPadPoints, &lo, &hi);
  L.values = yScale(lo, hi, L.seriesFrame.bottom(), L.seriesFrame.y, 0);
  int nMaxCount = 1;
  for (size_t i = 0; i < c.hist.nNull.size(); ++i) {
    nMaxCount = std::max({nMaxCount, c.hist.nNull[i], c.hist.nExp[i]});
  }
  L.counts =
      yScale(0, 1.08 * nMaxCount, L.meansFrame.bottom(), L.meansFrame.y, 1);
  const double yTitleRoom = (kAscent + kDescent) * kTextSize + 6;
  const double left = kEdge + yTitleRoom +
                      std::max(widestLabel(L.values, textWidth),
                               widestLabel(L.counts, textWidth)) +
                      kTickLength + 3;
  L.seriesFrame.x = L.meansFrame.x = left;

  // The x axes, narrowed until the last tick label stays on the page.
  const int nN = c.nNA + c.nNB;
  double meansMin = std::min(c.hist.lo, finiteOr(c.observedMean, c.hist.lo));
  double meansMax = std::max(c.hist.hi(), finiteOr(c.observedMean, c.hist.lo));
  double right = 2 * kEdge;
  for (int i = 0; i < 8; ++i) {
    L.seriesFrame.w = L.meansFrame.w = L.width - left - right;
    paddedRange(1, nN, L.seriesFrame.w, kPadPoints, &lo, &hi);
    L.occasions = xScale(lo, hi, left, L.seriesFrame.right(), 1, textWidth);
    paddedRange(meansMin, meansMax, L.meansFrame.w, kPadPoints, &lo, &hi);
    L.means = xScale(lo, hi, left, L.meansFrame.right(), 0, textWidth);
    double overflow = 0;
    for (const Scale* s : {&L.occasions, &L.means}) {
      if (s->ticks.empty()) continue;
      const double end = s->toPage(s->ticks.back()) +
                         textWidth(s->labels.back(), kTextSize, false) / 2;
      overflow = std::max(overflow, end - (L.width - kEdge / 2));
    }
    if (overflow <= 0) break;
    right += overflow;
  }
  addTickLabels(L.values, L.seriesFrame, false, textWidth, &L.text);
  addTickLabels(L.occasions, L.seriesFrame, true, textWidth, &L.text);
  addTickLabels(L.counts, L.meansFrame, false, textWidth, &L.text);
  addTickLabels(L.means, L.meansFrame, true, textWidth, &L.text);

  // Axis titles.
  const struct {
    const Rect& frame;
    const char* x;
    const char* y;
  } titles[] = {
      {L.seriesFrame, "Measurement occasion", "Value"},
      {L.meansFrame, "Simulated B-phase mean", "Simulated cases per bin"}};
  for (const auto& a : titles) {
    TextBox xt = textBox(
        a.x, 0, a.frame.bottom() + belowFrame - 2 - kDescent * kTextSize,
        kTextSize, false, textWidth);
    xt.x = a.frame.x + (a.frame.w - xt.width) / 2;
    L.text.push_back(xt);
    TextBox yt = textBox(a.y, kEdge + kAscent * kTextSize, 0, kTextSize, false,
                         textWidth);
    yt.bVertical = true;
    yt.y = a.frame.y + (a.frame.h + yt.width) / 2;
    L.text.push_back(yt);
  }

  // Marks: data points shrink as occasions crowd together.
  const double perOccasion =
      L.seriesFrame.w / (L.occasions.hi - L.occasions.lo);
  L.markerRadius = std::clamp(0.38 * perOccasion, 1.3, 3.5);
  L.phaseLineX = L.occasions.toPage(c.nNA + 0.5);
  const double phaseBaseline = L.seriesFrame.y - 4;
  TextBox a = textBox("A", 0, phaseBaseline, kPhaseSize, true, textWidth);
  a.x = L.phaseLineX - 4 - a.width;
  L.text.push_back(a);
  L.text.push_back(textBox("B", L.phaseLineX + 4, phaseBaseline, kPhaseSize,
                           true, textWidth));
  L.observedX = L.means.toPage(finiteOr(c.observedMean, L.means.lo));
  TextBox p = textBox(c.pText, L.observedX + 4, L.meansFrame.y - 4, kPhaseSize,
                      false, textWidth);
  if (p.x + p.width > L.width - kEdge / 2) p.x = L.observedX - 4 - p.width;
  L.text.push_back(p);
  return L;
}
