#include "plotlayout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fontmetrics.h"
#include "plotparts.h"

double finiteOr(double v, double fallback) {
  return std::isfinite(v) ? v : fallback;
}

namespace {

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

}  // namespace

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
                bool bBold, const TextWidth& textWidth, Align align) {
  TextBox t;
  t.text = text;
  t.x = x;
  t.y = y;
  t.size = size;
  t.bBold = bBold;
  t.align = align;
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
    TextBox t = textBox(s.labels[i], 0, 0, kTextSize, false, textWidth,
                        bXAxis ? Align::kMiddle : Align::kEnd);
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

double addLegend(const std::vector<LegendKey>& keys,
                 const std::vector<std::string>& labels, double top,
                 double pageWidth, const TextWidth& textWidth,
                 std::vector<LegendSwatch>* pLegend,
                 std::vector<TextBox>* pText) {
  std::vector<double> widths;
  for (const std::string& label : labels) {
    widths.push_back(kSwatchWidth + kSwatchGap +
                     textWidth(label, kTextSize, false));
  }
  const Row row = flowRow(widths, kItemGap, kEdge, pageWidth - 2 * kEdge);
  for (size_t i = 0; i < keys.size(); ++i) {
    const double baseline =
        top + row.row[i] * kLegendRow + kAscent * kTextSize + 2;
    LegendSwatch swatch;
    swatch.key = keys[i];
    swatch.box = {row.x[i], baseline - 0.36 * kTextSize - 4, kSwatchWidth, 8};
    pLegend->push_back(swatch);
    pText->push_back(textBox(labels[i], row.x[i] + kSwatchWidth + kSwatchGap,
                             baseline, kTextSize, false, textWidth));
  }
  return row.nRows * kLegendRow;
}

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
  // Beyond 2^53 multiples no longer count one by one.
  if (!(last - first < 1000) || !(std::fabs(first) < 9e15) ||
      !(std::fabs(last) < 9e15)) {
    return ticks;
  }
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

namespace {

// The quartiles of values (type 7: linear between order statistics) and
// the range kFarIqrs interquartile ranges beyond them.
struct Fences {
  double lo = 0, hi = 0, iqr = 0;
  bool outside(double v) const { return v < lo || v > hi; }
};

Fences fencesOf(std::vector<double> v) {
  Fences f;
  if (v.empty()) return f;
  std::sort(v.begin(), v.end());
  auto quantile = [&v](double q) {
    const double h = q * static_cast<double>(v.size() - 1);
    const size_t i = static_cast<size_t>(h);
    if (i + 1 >= v.size()) return v.back();
    return v[i] + (h - static_cast<double>(i)) * (v[i + 1] - v[i]);
  };
  const double q1 = quantile(0.25), q3 = quantile(0.75);
  f.iqr = q3 - q1;
  f.lo = q1 - kFarIqrs * f.iqr;
  f.hi = q3 + kFarIqrs * f.iqr;
  return f;
}

Fences fencesOf(const std::vector<float>& fY, size_t nBegin, size_t nEnd) {
  return fencesOf(std::vector<double>(fY.begin() + static_cast<long>(nBegin),
                                      fY.begin() + static_cast<long>(nEnd)));
}

}  // namespace

std::string shortestText(double v, bool bFloat) {
  char buf[64];
  const std::to_chars_result r =
      bFloat ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
             : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// The first letter of text in capitals, when it is an ASCII letter.
double addHeading(const std::string& title,
                  const std::vector<std::string>& caption,
                  const std::vector<std::string>& caveats, double width,
                  const TextWidth& textWidth, std::vector<TextBox>* pText) {
  const double inner = width - 2 * kEdge;
  double y = kEdge;
  pText->push_back(textBox(fitText(title, inner, kTitleSize, true, textWidth),
                           width / 2, y + kAscent * kTitleSize, kTitleSize,
                           true, textWidth, Align::kMiddle));
  pText->back().x -= pText->back().width / 2;
  y += 1.4 * kTitleSize;
  std::vector<double> widths;
  std::vector<std::string> pieces;
  for (const std::string& piece : caption) {
    pieces.push_back(fitText(piece, inner, kCaptionSize, false, textWidth));
    widths.push_back(textWidth(pieces.back(), kCaptionSize, false));
  }
  const Row row = flowRow(widths, 2 * kItemGap, kEdge, inner);
  for (size_t i = 0; i < pieces.size(); ++i) {
    pText->push_back(
        textBox(pieces[i], row.x[i],
                y + row.row[i] * kCaptionRow + kAscent * kCaptionSize,
                kCaptionSize, false, textWidth));
  }
  y += row.nRows * kCaptionRow;
  for (const std::string& caveat : caveats) {
    for (const std::string& line :
         wrapText("Note: " + capitalised(caveat) + ".", inner, kTextSize,
                  textWidth)) {
      TextBox t = textBox(line, width / 2, y + kAscent * kTextSize, kTextSize,
                          false, textWidth, Align::kMiddle);
      t.x -= t.width / 2;
      pText->push_back(t);
      y += kCaveatRow;
    }
  }
  return y + 6;
}

std::string capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
  }
  return text;
}

// Words of text in lines at most maxWidth wide; a word wider than a line
// is cut (fitText).
std::vector<std::string> wrapText(const std::string& text, double maxWidth,
                                  double size, const TextWidth& textWidth) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    const size_t nEnd = std::min(text.find(' ', i), text.size());
    const std::string word = text.substr(i, nEnd - i);
    i = nEnd + 1;
    if (word.empty()) continue;
    const std::string joined = line.empty() ? word : line + " " + word;
    if (textWidth(joined, size, false) <= maxWidth) {
      line = joined;
      continue;
    }
    if (!line.empty()) lines.push_back(line);
    line = fitText(word, maxWidth, size, false, textWidth);
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

namespace {

// What the caveat line says about the values drawn off the scale.
std::string offScaleCaveat(const PlotContent& c, const std::vector<int>& off) {
  const size_t nShown = 4;
  const std::string unit = c.fT.empty() ? "occasion " : "time ";
  auto when = [&c](int i) {
    return c.fT.empty() ? std::to_string(i + 1)
                        : shortestText(c.fT[static_cast<size_t>(i)], false);
  };
  std::string list;
  for (size_t k = 0; k < off.size() && k < nShown; ++k) {
    const int i = off[k];
    if (k > 0) list += ", ";
    list += shortestText(c.fY[static_cast<size_t>(i)], true) + " at " +
            (k == 0 && off.size() > 1 ? unit : "") + when(i);
  }
  if (off.size() > nShown) list += ", \xE2\x80\xA6";
  const std::string why =
      c.bFixedRange ? "outside the y range " + shortestText(c.rangeLo, false) +
                          " to " + shortestText(c.rangeHi, false)
                    : "over " + shortestText(kFarIqrs, false) +
                          " interquartile ranges beyond the rest";
  if (off.size() == 1) {
    return shortestText(c.fY[static_cast<size_t>(off[0])], true) + " at " +
           unit + when(off[0]) + " is drawn off the scale (" + why + ")";
  }
  return std::to_string(off.size()) + " values are drawn off the scale (" +
         why + "): " + list;
}

}  // namespace

bool clipSegment(Point a, Point b, const Rect& r, Point* pA, Point* pB) {
  double t0 = 0, t1 = 1;
  int nEdge0 = -1, nEdge1 = -1;  // the edges that cut the ends, if any
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double p[] = {-dx, dx, -dy, dy};
  const double q[] = {a.x - r.x, r.right() - a.x, a.y - r.y, r.bottom() - a.y};
  const double edges[] = {r.x, r.right(), r.y, r.bottom()};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return false;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0 && t > t0) {
      t0 = t;
      nEdge0 = k;
    } else if (p[k] > 0 && t < t1) {
      t1 = t;
      nEdge1 = k;
    }
  }
  if (t0 > t1) return false;
  // Ends inside stay exactly where they were; cut ends lie exactly on
  // their edge.
  auto at = [&](double t, int nEdge) {
    if (nEdge < 0) return t == 0 ? a : b;
    Point c = {a.x + t * dx, a.y + t * dy};
    (nEdge < 2 ? c.x : c.y) = edges[nEdge];
    return c;
  };
  *pA = at(t0, nEdge0);
  *pB = at(t1, nEdge1);
  return true;
}

std::string reportFigure(float fValue) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "% .3f", static_cast<double>(fValue));
  return buf[0] == ' ' ? buf + 1 : buf;
}

std::string pFigure(float fP) {
  const double p = fP;
  if (std::isnan(p)) return "p = NaN";
  if (p < 0.001) return "p < .001";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", p);
  std::string s = buf;
  if (s.compare(0, 2, "0.") == 0) s.erase(0, 1);
  return "p = " + s;
}

std::vector<bool> farValues(const std::vector<float>& fY, int nNA) {
  std::vector<bool> bFar(fY.size(), false);
  const size_t nA =
      static_cast<size_t>(std::clamp<int>(nNA, 0, static_cast<int>(fY.size())));
  const Fences all = fencesOf(fY, 0, fY.size());
  if (!(all.iqr > 0)) return bFar;  // most values equal: nothing to squeeze
  // Within a phase whose middle half is one value, any other value is
  // beyond its fences; a level the whole phase shares is not.
  const Fences a = fencesOf(fY, 0, nA), b = fencesOf(fY, nA, fY.size());
  for (size_t i = 0; i < fY.size(); ++i) {
    const double v = fY[i];
    bFar[i] = all.outside(v) && (i < nA ? a : b).outside(v);
  }
  return bFar;
}

std::vector<bool> farValuesByPhase(const std::vector<float>& fY,
                                   const std::vector<size_t>& nStarts) {
  std::vector<bool> bFar(fY.size(), false);
  const Fences all = fencesOf(fY, 0, fY.size());
  if (!(all.iqr > 0)) return bFar;
  for (size_t k = 0; k < nStarts.size(); ++k) {
    const size_t nBegin = std::min(nStarts[k], fY.size());
    const size_t nEnd = k + 1 < nStarts.size()
                            ? std::min(nStarts[k + 1], fY.size())
                            : fY.size();
    if (nBegin >= nEnd) continue;
    const Fences own = fencesOf(fY, nBegin, nEnd);
    for (size_t i = nBegin; i < nEnd; ++i) {
      bFar[i] = all.outside(fY[i]) && own.outside(fY[i]);
    }
  }
  return bFar;
}

void coveredRange(const std::vector<float>& fY, const std::vector<bool>& bFar,
                  const std::vector<Segment>& lines, double* pLo, double* pHi) {
  const bool bAnyFar = std::find(bFar.begin(), bFar.end(), true) != bFar.end();
  const Fences all = fencesOf(fY, 0, fY.size());
  double lo = INFINITY, hi = -INFINITY;
  auto cover = [&](double v, bool bLine) {
    // With values off the scale, a line end as far out goes off it too.
    if (!std::isfinite(v) || (bLine && bAnyFar && all.outside(v))) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  };
  for (size_t i = 0; i < fY.size(); ++i) {
    if (!bFar[i]) cover(fY[i], false);
  }
  for (const Segment& s : lines) {
    cover(s.y0, true);
    cover(s.y1, true);
  }
  *pLo = lo;
  *pHi = hi;
}

std::vector<double> usableTimes(const std::vector<double>& fT, size_t nN) {
  // Beyond 1e12 a time's ticks and gaps no longer count in whole units.
  const double maxTime = 1e12;
  if (fT.size() != nN || nN == 0) return {};
  for (size_t i = 0; i < nN; ++i) {
    if (!std::isfinite(fT[i]) || std::fabs(fT[i]) > maxTime) return {};
    if (i > 0 && !(fT[i] > fT[i - 1])) return {};
  }
  return fT;
}

double timeAt(const std::vector<double>& fT, double o) {
  if (fT.empty()) return o;
  const double nLast = static_cast<double>(fT.size());
  const double k = std::clamp(std::floor(o), 1.0, nLast);
  const double t = fT[static_cast<size_t>(k) - 1];
  if (o == k || k == nLast) return t;
  return t + (o - k) * (fT[static_cast<size_t>(k)] - t);
}

double smallestGap(const std::vector<double>& fT) {
  double gap = fT.size() < 2 ? 1 : INFINITY;
  for (size_t i = 1; i < fT.size(); ++i) gap = std::min(gap, fT[i] - fT[i - 1]);
  return gap;
}

bool wholeTimes(const std::vector<double>& fT) {
  for (double t : fT) {
    if (t != std::floor(t)) return false;
  }
  return true;
}

PageLine pageLine(const Segment& s, const std::vector<double>& fT,
                  const Scale& x, const Scale& y, const Rect& frame) {
  PageLine line;
  std::vector<Point> points = {{x.toPage(timeAt(fT, s.t0)), y.toPage(s.y0)}};
  // Evenly spaced times keep the line straight: it bends only where the
  // gaps on either side of an occasion differ.
  const size_t nN = fT.size();
  for (double k = std::floor(s.t0) + 1; k < s.t1 && nN >= 3; ++k) {
    const size_t i = static_cast<size_t>(k) - 1;
    if (i < 1 || i + 1 >= nN) continue;
    if (fT[i] - fT[i - 1] == fT[i + 1] - fT[i]) continue;
    const double v = s.y0 + (k - s.t0) / (s.t1 - s.t0) * (s.y1 - s.y0);
    points.push_back({x.toPage(fT[i]), y.toPage(v)});
  }
  points.push_back({x.toPage(timeAt(fT, s.t1)), y.toPage(s.y1)});
  for (const Point& p : points) {
    if (!std::isfinite(p.y)) return line;
  }
  // The line is monotone in both page coordinates, so what lies inside
  // the frame is one piece.
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    Point a, b;
    if (!clipSegment(points[i], points[i + 1], frame, &a, &b)) continue;
    if (!line.bShown) {
      line.a = a;
      line.bShown = true;
    } else {
      line.bends.push_back(line.b);
    }
    line.b = b;
  }
  return line;
}

PlotContent plotContent(const kalmir::Result& result,
                        const PlotOptions& options, int nBins,
                        const std::vector<double>& times) {
  PlotContent c;
  auto chosen = [](const std::string& text, const std::string& fallback) {
    return wellFormedText(text.empty() ? fallback : text);
  };
  const int nNA = result.n_a, nNB = result.n_b;
  c.title = chosen(options.title, result.name);
  c.fT = usableTimes(times, result.values.size());
  c.xLabel = chosen(options.xLabel,
                    c.fT.empty() ? "Measurement occasion" : "Measurement time");
  c.yLabel = chosen(options.yLabel, "Value");
  c.phaseA =
      chosen(options.phaseA, result.label_a.empty() ? "A" : result.label_a);
  c.phaseB =
      chosen(options.phaseB, result.label_b.empty() ? "B" : result.label_b);
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
               "r = " + reportFigure(result.r), pFigure(result.p)};

  c.bFixedRange = options.bYRange;
  c.bFar.assign(c.fY.size(), false);
  if (c.bFixedRange) {
    c.rangeLo = options.yLow;
    c.rangeHi = options.yHigh;
  } else {
    c.bFar = farValues(c.fY, nNA);
    coveredRange(c.fY, c.bFar, {c.aLine, c.nullLine, c.bLine}, &c.rangeLo,
                 &c.rangeHi);
  }
  c.bMeansPanel = options.bMeansPanel;
  double sum = 0;
  for (int i = nNA; i < nNA + nNB; ++i) sum += c.fY[static_cast<size_t>(i)];
  c.observedMean = sum / nNB;
  c.pText = pFigure(result.p);
  c.hist = binMeans(result.null_means, result.exp_means, nBins);
  return c;
}

Rect TextBox::bounds() const {
  if (bVertical) {
    return {x - kAscent * size, y - width, (kAscent + kDescent) * size, width};
  }
  return {x, y - kAscent * size, width, (kAscent + kDescent) * size};
}

double TextBox::anchorX() const {
  if (bVertical) return x;
  return align == Align::kStart    ? x
         : align == Align::kMiddle ? x + width / 2
                                   : x + width;
}

double TextBox::anchorY() const {
  if (!bVertical) return y;
  return align == Align::kStart    ? y
         : align == Align::kMiddle ? y - width / 2
                                   : y - width;
}

PlotLayout layOutPlot(const PlotContent& c, const TextWidth& textWidth) {
  PlotLayout L;
  L.width = kPlotWidth;
  L.tickLength = kTickLength;
  L.bMeansPanel = c.bMeansPanel;
  const double inner = L.width - 2 * kEdge;
  const double seriesHeight =
      c.bMeansPanel ? kSeriesFrameHeight : kSeriesAloneHeight;

  // The values' range first: the values it leaves off the scale get a
  // caveat above the panel.
  double vLo = c.rangeLo, vHi = c.rangeHi;
  if (!c.bFixedRange) {
    paddedRange(c.rangeLo, c.rangeHi, seriesHeight, kPadPoints, &vLo, &vHi);
  }
  std::vector<int> off;
  for (size_t i = 0; i < c.fY.size(); ++i) {
    if (c.fY[i] < vLo || c.fY[i] > vHi) off.push_back(static_cast<int>(i));
  }
  std::vector<std::string> caveats = c.caveats;
  if (!off.empty()) caveats.push_back(offScaleCaveat(c, off));

  // From the top: title, caption, caveats, legend, phase names, series.
  double y = addHeading(c.title, c.caption, caveats, L.width, textWidth,
                        &L.text);
  std::vector<LegendKey> keys = {LegendKey::kAPoints, LegendKey::kBPoints,
                                 LegendKey::kALine, LegendKey::kNullLine,
                                 LegendKey::kBLine};
  std::vector<std::string> labels = {
      c.phaseA + " phase", c.phaseB + " phase", c.phaseA + " line",
      c.phaseA + " line carried on (null model)", c.phaseB + " line"};
  if (!off.empty()) {
    keys.push_back(LegendKey::kOffScale);
    labels.push_back("Off the scale");
  }
  const double labelRoom = inner - kSwatchWidth - kSwatchGap;
  for (std::string& label : labels) {
    label = fitText(label, labelRoom, kTextSize, false, textWidth);
  }
  y += addLegend(keys, labels, y, L.width, textWidth, &L.legend, &L.text);
  y += 2 + kPhaseSize + kPhaseLabelRise;
  L.seriesFrame.y = y;
  L.seriesFrame.h = seriesHeight;

  // Below a frame: its tick labels and axis title.
  const double belowFrame = kTickLength + 3 + 2 * kLegendRow + 2;
  y = L.seriesFrame.bottom() + belowFrame;
  if (c.bMeansPanel) {
    // A gap, the simulation panel's legend, the p label, its frame.
    y += 14;
    y += addLegend(
        {LegendKey::kNullBars, LegendKey::kExpBars, LegendKey::kObservedMean},
        {"Null-model means", "Experimental-model means",
         fitText("Observed " + c.phaseB + "-phase mean", labelRoom, kTextSize,
                 false, textWidth)},
        y, L.width, textWidth, &L.legend, &L.text);
    y += 2 + kPhaseSize + 2;
    L.meansFrame.y = y;
    L.meansFrame.h = kMeansFrameHeight;
    y = L.meansFrame.bottom() + belowFrame;
  }
  L.height = std::ceil(y + kEdge);

  // The y axes, which decide how much room their labels take on the left.
  L.values = yScale(vLo, vHi, L.seriesFrame.bottom(), L.seriesFrame.y, 0);
  if (c.bMeansPanel) {
    int nMaxCount = 1;
    for (size_t i = 0; i < c.hist.nNull.size(); ++i) {
      nMaxCount = std::max({nMaxCount, c.hist.nNull[i], c.hist.nExp[i]});
    }
    L.counts =
        yScale(0, 1.08 * nMaxCount, L.meansFrame.bottom(), L.meansFrame.y, 1);
  }
  const double yTitleRoom = (kAscent + kDescent) * kTextSize + 6;
  double widest = widestLabel(L.values, textWidth);
  if (c.bMeansPanel)
    widest = std::max(widest, widestLabel(L.counts, textWidth));
  const double left = kEdge + yTitleRoom + widest + kTickLength + 3;
  L.seriesFrame.x = L.meansFrame.x = left;

  // The x axes, narrowed until the last tick label stays on the page.
  const int nN = c.nNA + c.nNB;
  const double meansMin =
      std::min(c.hist.lo, finiteOr(c.observedMean, c.hist.lo));
  const double meansMax =
      std::max(c.hist.hi(), finiteOr(c.observedMean, c.hist.lo));
  double right = 2 * kEdge;
  double lo, hi;
  for (int i = 0; i < 8; ++i) {
    L.seriesFrame.w = L.width - left - right;
    if (c.bMeansPanel) L.meansFrame.w = L.seriesFrame.w;
    paddedRange(timeAt(c.fT, 1), timeAt(c.fT, nN), L.seriesFrame.w, kPadPoints,
                &lo, &hi);
    L.occasions = xScale(lo, hi, left, L.seriesFrame.right(),
                         wholeTimes(c.fT) ? 1 : 0, textWidth);
    std::vector<const Scale*> xScales = {&L.occasions};
    if (c.bMeansPanel) {
      paddedRange(meansMin, meansMax, L.meansFrame.w, kPadPoints, &lo, &hi);
      L.means = xScale(lo, hi, left, L.meansFrame.right(), 0, textWidth);
      xScales.push_back(&L.means);
    }
    double overflow = 0;
    for (const Scale* s : xScales) {
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
  if (c.bMeansPanel) {
    addTickLabels(L.counts, L.meansFrame, false, textWidth, &L.text);
    addTickLabels(L.means, L.meansFrame, true, textWidth, &L.text);
  }

  // Axis titles, each cut to its frame's side.
  struct AxisTitles {
    const Rect* frame;
    std::string x, y;
  };
  std::vector<AxisTitles> titles = {{&L.seriesFrame, c.xLabel, c.yLabel}};
  if (c.bMeansPanel) {
    titles.push_back({&L.meansFrame, "Simulated " + c.phaseB + "-phase mean",
                      "Simulated cases per bin"});
  }
  for (const AxisTitles& a : titles) {
    const Rect& f = *a.frame;
    TextBox xt = textBox(fitText(a.x, f.w, kTextSize, false, textWidth), 0,
                         f.bottom() + belowFrame - 2 - kDescent * kTextSize,
                         kTextSize, false, textWidth, Align::kMiddle);
    xt.x = f.x + (f.w - xt.width) / 2;
    L.text.push_back(xt);
    TextBox yt = textBox(fitText(a.y, f.h, kTextSize, false, textWidth),
                         kEdge + kAscent * kTextSize, 0, kTextSize, false,
                         textWidth, Align::kMiddle);
    yt.bVertical = true;
    yt.y = f.y + (f.h + yt.width) / 2;
    L.text.push_back(yt);
  }

  // Marks: data points shrink as occasions crowd together.
  const Rect& sf = L.seriesFrame;
  const double perOccasion =
      sf.w / (L.occasions.hi - L.occasions.lo) * smallestGap(c.fT);
  L.markerRadius = std::clamp(0.38 * perOccasion, 1.3, 3.5);
  L.phaseLineX = L.occasions.toPage(timeAt(c.fT, c.nNA + 0.5));
  std::vector<Point> where;  // of every value, off the scale or not
  for (size_t i = 0; i < c.fY.size(); ++i) {
    const Point p = {
        L.occasions.toPage(timeAt(c.fT, static_cast<double>(i + 1))),
        L.values.toPage(c.fY[i])};
    where.push_back(p);
    L.marks.push_back(p);
  }
  for (int i : off) {
    OffScaleMark m;
    m.nValue = i;
    m.bAbove = c.fY[static_cast<size_t>(i)] > vHi;
    m.tip = {where[static_cast<size_t>(i)].x, m.bAbove ? sf.y : sf.bottom()};
    L.offScale.push_back(m);
    L.marks[static_cast<size_t>(i)] = m.tip;
  }
  // The data paths within the frame: a path that leaves it breaks there.
  const size_t nA = static_cast<size_t>(c.nNA);
  for (int nPhase = 0; nPhase < 2; ++nPhase) {
    const size_t nBegin = nPhase == 0 ? 0 : nA;
    const size_t nEnd = nPhase == 0 ? nA : where.size();
    bool bJoined = false;
    for (size_t i = nBegin; i + 1 < nEnd; ++i) {
      Point a, b;
      if (!clipSegment(where[i], where[i + 1], sf, &a, &b)) {
        bJoined = false;
        continue;
      }
      const bool bFromStart = a.x == where[i].x && a.y == where[i].y;
      if (!bJoined || !bFromStart) {
        L.dataPaths.push_back({nPhase, {a}});
      }
      L.dataPaths.back().points.push_back(b);
      bJoined = b.x == where[i + 1].x && b.y == where[i + 1].y;
    }
  }
  // The lines, cut to the frame.
  L.aLine = pageLine(c.aLine, c.fT, L.occasions, L.values, sf);
  L.nullLine = pageLine(c.nullLine, c.fT, L.occasions, L.values, sf);
  L.bLine = pageLine(c.bLine, c.fT, L.occasions, L.values, sf);

  // The phases' names on either side of the phase change, above the frame.
  const double phaseBaseline = sf.y - kPhaseLabelRise;
  TextBox a = textBox(
      fitText(c.phaseA, L.phaseLineX - 4 - kEdge, kPhaseSize, true, textWidth),
      0, phaseBaseline, kPhaseSize, true, textWidth, Align::kEnd);
  a.x = L.phaseLineX - 4 - a.width;
  L.text.push_back(a);
  L.text.push_back(textBox(fitText(c.phaseB, L.width - kEdge - L.phaseLineX - 4,
                                   kPhaseSize, true, textWidth),
                           L.phaseLineX + 4, phaseBaseline, kPhaseSize, true,
                           textWidth));

  if (c.bMeansPanel) {
    L.observedX = L.means.toPage(finiteOr(c.observedMean, L.means.lo));
    TextBox p = textBox(c.pText, L.observedX + 4, L.meansFrame.y - 4,
                        kPhaseSize, false, textWidth);
    if (p.x + p.width > L.width - kEdge / 2) {
      p.x = L.observedX - 4 - p.width;
      p.align = Align::kEnd;
    }
    L.text.push_back(p);
  }
  return L;
}
