#ifndef KALMIR_PLOTLAYOUT_H_
#define KALMIR_PLOTLAYOUT_H_

// Where everything on an analysis's plot goes, worked out without drawing
// anything: what the plot shows (lines, caption, binned simulated means),
// axis ranges with round ticks, the mapping of data to the page, and the
// place of every piece of text, so that none overlaps another. Lengths are
// page points (1/72 inch) with y growing downward. Text widths come from the
// caller, who knows the font. Keeps nothing between calls.

#include <functional>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

// The page, in points: a plot to read on a screen at full size or to print
// on half a page.
const double kPlotWidth = 640;
const double kPlotHeight = 620;

// Width in points of text set in a font of fSize points, bold or regular.
using TextWidth =
    std::function<double(const std::string& text, double fSize, bool bBold)>;

struct Rect {
  double x = 0, y = 0, w = 0, h = 0;
  double right() const { return x + w; }
  double bottom() const { return y + h; }
};

// A linear axis from data lo ... hi onto page pageLo ... pageHi (on a y
// axis pageHi lies above pageLo, so it is the smaller page coordinate),
// with ticks at the multiples of step that lie within lo ... hi.
struct Scale {
  double lo = 0, hi = 1;
  double pageLo = 0, pageHi = 1;
  double step = 1;
  std::vector<double> ticks;        // ascending
  std::vector<std::string> labels;  // one per tick
  double toPage(double v) const;
};

// The range to show for data from fMin to fMax on an axis pageLength points
// long: widened at each end by 4% of the spread and by at least padPoints on
// the page. Equal ends are first spread around their value; non-finite
// ends give 0 ... 1.
void paddedRange(double fMin, double fMax, double pageLength, double padPoints,
                 double* pLo, double* pHi);
// The round tick step for lo < hi: the smallest 1, 2 or 5 times a power of
// ten, at least minStep, that puts at most nMaxTicks >= 2 multiples in the
// range.
double tickStep(double lo, double hi, double minStep, int nMaxTicks);
// The multiples of step within lo ... hi, ascending.
std::vector<double> ticksInRange(double lo, double hi, double step);
// Labels for ticks step apart: plain decimals ("0.25", "1000") or a compact
// exponent form ("1.5e9", "2e-7"), whichever is shorter, each with just the
// digits that tell neighbouring ticks apart.
std::vector<std::string> tickLabels(const std::vector<double>& ticks,
                                    double step);

// Both sets of simulated means counted in the same bins, which cover the
// finite means of both sets; all-equal means get bins around their value.
struct Histogram {
  double lo = 0;                 // left edge of the first bin
  double width = 1;              // of every bin
  std::vector<int> nNull, nExp;  // counts per bin
  int nNotFinite = 0;            // means left out, of both sets
  double hi() const { return lo + width * static_cast<double>(nNull.size()); }
};
Histogram binMeans(const std::vector<float>& fNull,
                   const std::vector<float>& fExp, int nBins);

// A straight segment on the occasions axis.
struct Segment {
  double t0 = 0, y0 = 0, t1 = 0, y1 = 0;
};

// What the plot of one analysis shows.
struct PlotContent {
  std::string title;
  int nNA = 0, nNB = 0;
  std::vector<float> fY;  // A phase, then B phase
  Segment aLine;          // the A line over occasions 1 ... nNA
  Segment nullLine;       // the same line carried on from nNA to nNA + nNB
  Segment bLine;          // the B line over occasions nNA + 1 ... nNA + nNB
  // "D = 1.495", "d = 2.771 (SE 0.662)", "r = 0.809", "p = 0.001": the
  // report's figures in its rounding.
  std::vector<std::string> caption;
  double observedMean = 0;  // of the B values
  std::string pText;        // "p = 0.001"
  Histogram hist;
};

// The content for an analysis of two phases of >= 2 values each, made with
// its simulated means kept, binned in nBins bins; the title is its name.
PlotContent plotContent(const kalmir::Result& result, int nBins = 60);

// "% .3f" as the report prints it, without the blank it keeps for a sign.
std::string reportFigure(float fValue);

// One piece of text in place. A horizontal piece starts at (x, y) on its
// baseline; a vertical one reads upward, its baseline running up from (x, y).
struct TextBox {
  std::string text;
  double x = 0, y = 0;
  double size = 10;
  bool bBold = false;
  bool bVertical = false;
  double width = 0;  // along the baseline
  // Where the glyphs fall: 0.8 of the size above the baseline, 0.25 below.
  Rect bounds() const;
};

enum class LegendKey {
  kAPoints,
  kBPoints,
  kALine,
  kNullLine,
  kBLine,
  kNullBars,
  kExpBars,
  kObservedMean
};
struct LegendSwatch {
  LegendKey key;
  Rect box;  // where the key's sample goes; its text is in PlotLayout::text
};

// The page: the series panel above, the simulation panel below.
struct PlotLayout {
  double width = 0, height = 0;
  std::vector<TextBox> text;  // every piece of text, tick labels included
  std::vector<LegendSwatch> legend;
  Rect seriesFrame;
  Scale occasions, values;
  double phaseLineX = 0;    // page x between the last A and first B occasion
  double markerRadius = 0;  // of the data points
  Rect meansFrame;
  Scale means, counts;
  double observedX = 0;  // page x of the observed B mean
  double tickLength = 0;
};

PlotLayout layOutPlot(const PlotContent& content, const TextWidth& textWidth);

#endif  // KALMIR_PLOTLAYOUT_H_
