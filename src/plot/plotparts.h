#ifndef KALMIR_PLOTPARTS_H_
#define KALMIR_PLOTPARTS_H_

// The pieces every layout of the plots is built from: the page's measures,
// text set in place and cut to fit, rows of items, axes with their tick
// labels, legends, segments cut to a frame, and the times at which a
// series' occasions fall. Shared by the plot of one analysis (plotlayout)
// and the figures of designs (designlayout); nothing else includes it.
// Keeps nothing between calls.

#include <string>
#include <vector>

#include "plotlayout.h"

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
const double kCaveatRow = 1.3 * kTextSize;
// The frames' heights: the series a little taller than the simulation
// below it, and taller again when it stands alone.
const double kSeriesFrameHeight = 225;
const double kSeriesAloneHeight = 300;
const double kMeansFrameHeight = 170;
// Phase names sit this far above the series frame, clear of a tick label
// at its top edge.
const double kPhaseLabelRise = 8;

// v, or fallback when v is not finite.
double finiteOr(double v, double fallback);

// text, or its longest start of whole UTF-8 characters with an ellipsis
// that fits in maxWidth.
std::string fitText(const std::string& text, double maxWidth, double size,
                    bool bBold, const TextWidth& textWidth);

// Where flowRow puts each item.
struct Row {
  std::vector<double> x;  // left end of each item
  std::vector<int> row;   // row of each item
  int nRows = 0;
};
// Items of the given widths left to right, gap apart, starting a new row
// where the next item would pass the width; each row centred in it.
Row flowRow(const std::vector<double>& widths, double gap, double left,
            double width);

// A piece of text measured, its start at (x, y).
TextBox textBox(const std::string& text, double x, double y, double size,
                bool bBold, const TextWidth& textWidth,
                Align align = Align::kStart);

// A y axis from lo at pageBottom to hi at pageTop, ticks at least 2.6 text
// heights apart and at least minStep.
Scale yScale(double lo, double hi, double pageBottom, double pageTop,
             double minStep);
// An x axis: the smallest round step of at least minStep whose labels keep
// 12 points apart.
Scale xScale(double lo, double hi, double pageLeft, double pageRight,
             double minStep, const TextWidth& textWidth);
// The tick labels of s below frame (bXAxis) or left of it.
void addTickLabels(const Scale& s, const Rect& frame, bool bXAxis,
                   const TextWidth& textWidth, std::vector<TextBox>* pText);
double widestLabel(const Scale& s, const TextWidth& textWidth);
// Legend entries flowed into rows across a page pageWidth wide from the
// top y; returns the rows' height.
double addLegend(const std::vector<LegendKey>& keys,
                 const std::vector<std::string>& labels, double top,
                 double pageWidth, const TextWidth& textWidth,
                 std::vector<LegendSwatch>* pLegend,
                 std::vector<TextBox>* pText);

// The shortest decimal that reads back as v (as a float with bFloat).
std::string shortestText(double v, bool bFloat);
// A figure's title, its caption pieces in rows and its caveats as notes,
// centred from the top of a page width wide; returns the y below them.
double addHeading(const std::string& title,
                  const std::vector<std::string>& caption,
                  const std::vector<std::string>& caveats, double width,
                  const TextWidth& textWidth, std::vector<TextBox>* pText);
// The first letter of text in capitals, when it is an ASCII letter.
std::string capitalised(std::string text);
// Words of text in lines at most maxWidth wide; a word wider than a line
// is cut (fitText).
std::vector<std::string> wrapText(const std::string& text, double maxWidth,
                                  double size, const TextWidth& textWidth);

// The part of the segment a ... b inside r (Liang-Barsky); false when none
// of it is.
bool clipSegment(Point a, Point b, const Rect& r, Point* pA, Point* pB);

// Where each value is far from the others (see kFarIqrs): beyond the
// fences of all values and of its own phase's, the phases starting at the
// indices nStarts (the first 0).
std::vector<bool> farValuesByPhase(const std::vector<float>& fY,
                                   const std::vector<size_t>& nStarts);
// The extent of the values not far and of the lines' ends; a line end
// beyond all values' fences is left out when any value is far. +-infinity
// when nothing is covered.
void coveredRange(const std::vector<float>& fY, const std::vector<bool>& bFar,
                  const std::vector<Segment>& lines, double* pLo, double* pHi);

// Times of a series' values as a plot uses them: fT itself when it holds
// nN finite, strictly increasing times of magnitude at most 1e12, else
// empty (the occasions 1 ... nN).
std::vector<double> usableTimes(const std::vector<double>& fT, size_t nN);
// Where occasion o (1-based; whole, or between two) falls on the x axis:
// o itself without times, else the time of that value (between two,
// linearly between their times).
double timeAt(const std::vector<double>& fT, double o);
// The smallest gap between neighbouring times, 1 without times.
double smallestGap(const std::vector<double>& fT);
// Whether every time is a whole number (without times: yes).
bool wholeTimes(const std::vector<double>& fT);
// A fitted line over occasions s.t0 ... s.t1 of a series measured at fT,
// on the page of x and y and cut to frame: straight between the times of
// its ends, bent at each occasion where the times are unevenly spaced, so
// that it passes through the fitted value at every point's time.
PageLine pageLine(const Segment& s, const std::vector<double>& fT,
                  const Scale& x, const Scale& y, const Rect& frame);

#endif  // KALMIR_PLOTPARTS_H_
