#ifndef KALMIR_PLOTLAYOUT_H_
#define KALMIR_PLOTLAYOUT_H_

// Where everything on an analysis's plot goes, worked out without drawing
// anything: what the plot shows (the series with its data paths and lines,
// the figures and the caveats on them, binned simulated means), axis
// ranges with round ticks, the mapping of data to the page, and the place
// of every piece of text, so that none overlaps another. Every format is
// drawn from the one layout. Lengths are page points (1/72 inch) with y
// growing downward. Text widths come from the caller (textAdvance in
// fontmetrics.h for the plots' font). Keeps nothing between calls.

#include <functional>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

// The page is 640 points wide, a plot to read on a screen at full size or
// to print on half a page; it is as high as its panels, caveats and
// legends need (625 points for the worked example).
const double kPlotWidth = 640;

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

// What the person asking for a plot chose. An empty text takes its
// default.
struct PlotOptions {
  std::string title;           // default: the case's name
  // default: "Measurement occasion", or "Measurement time" with times
  std::string xLabel;
  std::string yLabel;          // default: "Value"
  std::string phaseA, phaseB;  // default: the result's phase labels
  // Bounds the y axis of the series to yLow < yHigh; values outside are
  // marked at its edges.
  bool bYRange = false;
  double yLow = 0, yHigh = 0;
  bool bMeansPanel = true;  // the simulated means below the series
};

// A value lies far from the others when it lies beyond this many
// interquartile ranges outside the quartiles, both of all the values and
// of its own phase's: one wild measurement then no longer squeezes the
// rest into a strip of the panel.
const double kFarIqrs = 5;

// What the plot of one analysis shows.
struct PlotContent {
  std::string title, xLabel, yLabel;
  std::string phaseA, phaseB;  // the phases' names
  int nNA = 0, nNB = 0;
  std::vector<float> fY;  // A phase, then B phase
  // The time of each value, on the x axis; empty: the occasions 1, 2, ...
  std::vector<double> fT;
  Segment aLine;          // the A line over occasions 1 ... nNA
  Segment nullLine;       // the same line carried on from nNA to nNA + nNB
  Segment bLine;          // the B line over occasions nNA + 1 ... nNA + nNB
  // "D = 1.495", "d = 2.771 (SE 0.662)", "r = 0.809", "p = .001": the
  // table's figures, rounded to three decimals.
  std::vector<std::string> caption;
  // What a reader must know about the figures, one caveat each, without
  // "Note: " or a closing period; the plot adds its own about values
  // it draws off the scale.
  std::vector<std::string> caveats;
  // The values' range: with bFixedRange exactly rangeLo ... rangeHi,
  // otherwise the extent of the values (those far from the others left
  // out) and of the lines, padded.
  bool bFixedRange = false;
  double rangeLo = 0, rangeHi = 1;
  std::vector<bool> bFar;  // per value: far from the others
  bool bMeansPanel = true;
  double observedMean = 0;  // of the B values
  std::string pText;        // "p = .001"
  Histogram hist;
};

// The content for an analysis of two phases of >= 2 values each, made with
// its simulated means kept, binned in nBins bins, as options ask. times
// are the values' measurement times, A phase first; without them, or when
// they are not one finite increasing time per value, the x axis counts
// occasions. Text is made well formed (wellFormedText); caveats are left
// empty.
PlotContent plotContent(const kalmir::Result& result,
                        const PlotOptions& options = {}, int nBins = 60,
                        const std::vector<double>& times = {});

// "% .3f" as the report prints it, without the blank it keeps for a sign.
std::string reportFigure(float fValue);
// p as a paper prints it: "p < .001", or "p = .023" to three decimals
// without the leading zero.
std::string pFigure(float fP);

// Where each value is far from the others (see kFarIqrs), given the A
// phase's length.
std::vector<bool> farValues(const std::vector<float>& fY, int nNA);

enum class Align { kStart, kMiddle, kEnd };

// One piece of text in place. A horizontal piece starts at (x, y) on its
// baseline; a vertical one reads upward, its baseline running up from
// (x, y). align says which point of it is fixed when a font draws it a
// little wider or narrower than measured: its start, middle or end.
struct TextBox {
  std::string text;
  double x = 0, y = 0;
  double size = 10;
  bool bBold = false;
  bool bVertical = false;
  Align align = Align::kStart;
  double width = 0;  // along the baseline
  // Where the glyphs fall: 0.8 of the size above the baseline, 0.25 below.
  Rect bounds() const;
  // The point align fixes, on the baseline.
  double anchorX() const;
  double anchorY() const;
};

enum class LegendKey {
  kAPoints,
  kBPoints,
  kALine,
  kNullLine,
  kBLine,
  kOffScale,
  kNullBars,
  kExpBars,
  kObservedMean,
  kBCarried  // a B phase's line carried on into the next A phase
};
struct LegendSwatch {
  LegendKey key;
  Rect box;  // where the key's sample goes; its text is in PlotLayout::text
};

struct Point {
  double x = 0, y = 0;
};

// A stretch of a phase's data path.
struct Polyline {
  int nPhase = 0;  // 0: A, 1: B
  std::vector<Point> points;
};

// A fitted line on the page, cut to its frame; bShown false when none of
// it lies inside. It runs from a through its bends to b: it bends where
// the values' times are unevenly spaced.
struct PageLine {
  Point a, b;
  std::vector<Point> bends;
  bool bShown = false;
};

// A value drawn off the scale: an arrow at the frame's edge.
struct OffScaleMark {
  int nValue = 0;       // index into PlotContent::fY
  bool bAbove = false;  // beyond the top edge, else the bottom one
  Point tip;            // on the edge
};

// The page: the series panel above, the simulation panel below (when
// asked for).
struct PlotLayout {
  double width = 0, height = 0;
  std::vector<TextBox> text;  // every piece of text, tick labels included
  std::vector<LegendSwatch> legend;
  Rect seriesFrame;
  Scale occasions, values;
  double phaseLineX = 0;    // page x between the last A and first B occasion
  double markerRadius = 0;  // of the data points
  // Each value's mark, those off the scale where their arrows point.
  std::vector<Point> marks;
  std::vector<OffScaleMark> offScale;
  // The data path of each phase, joining its values where they lie, cut
  // where it leaves the frame (toward a value off the scale); broken at
  // the phase change.
  std::vector<Polyline> dataPaths;
  PageLine aLine, nullLine, bLine;  // the content's lines
  bool bMeansPanel = true;
  Rect meansFrame;  // with bMeansPanel
  Scale means, counts;
  double observedX = 0;  // page x of the observed B mean
  double tickLength = 0;
};

PlotLayout layOutPlot(const PlotContent& content, const TextWidth& textWidth);

#endif  // KALMIR_PLOTLAYOUT_H_
