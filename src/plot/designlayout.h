#ifndef KALMIR_DESIGNLAYOUT_H_
#define KALMIR_DESIGNLAYOUT_H_

// Where everything goes on the figures of designs beyond one AB case,
// worked out without drawing anything, as plotlayout does for one
// analysis. A reversal series (A1 B1 A2 B2 ...) is one panel with every
// phase, its lines and their carried-on continuations, the phase changes
// marked and named, and below it a small panel of simulated means for
// each phase change. A multiple-baseline study stacks its cases' panels
// one above another on one time axis, each case's name and figures beside
// its panel's top right corner and the phases named above the top panel
// by their own labels; a stepped line joins the cases' first phase
// changes, so that the staggered starts are seen at a glance.
// Lengths are page points with y growing downward. Keeps nothing between
// calls.

#include <string>
#include <vector>

#include "kalmir/kalmir.h"
#include "plotlayout.h"

// A case's series as a design's figure shows it: all of its phases. Phase
// k is a baseline phase (A) when k is even, an intervention phase (B)
// when it is odd.
struct SeriesContent {
  std::string name;
  std::vector<std::string> phases;  // "A1", "B1", "A2", ...
  // The phases' own labels ("Baseline", "Intervention"), or options'
  // names: a study's top panel is labelled with these.
  std::vector<std::string> labels;
  std::vector<size_t> nStarts;  // the index of each phase's first value
  std::vector<float> fY;
  // The time of each value, on the x axis; empty: the occasions 1, 2, ...
  std::vector<double> fT;
  // Each phase's line on the series' occasions (phase k's own occasion j
  // is nStarts[k] + j), and phase k's line carried on to the end of phase
  // k + 1 (one fewer).
  std::vector<Segment> lines, carried;
  // The values' range, as PlotContent keeps it.
  bool bFixedRange = false;
  double rangeLo = 0, rangeHi = 1;
  std::vector<bool> bFar;  // per value: far from the others
  // What stands beside the panel in a study: "d = 2.771", "p = .001".
  std::vector<std::string> figures;
};

// The simulated means of one phase change.
struct ContrastMeans {
  std::string title;  // "A1-B1: d = 2.771, p = .001"
  std::string later;  // the later phase's name, for the axis title
  double observedMean = 0;
  Histogram hist;
};

// What the figure of a reversal series shows.
struct SeriesFigure {
  std::string title, xLabel, yLabel;
  std::string roleA, roleB;  // the phases' kinds, for the legend
  std::vector<std::string> caption;
  std::vector<std::string> caveats;  // as PlotContent's
  SeriesContent series;
  bool bMeansPanel = true;
  std::vector<ContrastMeans> contrasts;  // one per phase change
};

// What the figure of a multiple-baseline study shows.
struct StudyFigure {
  std::string title, xLabel, yLabel;
  std::string roleA, roleB;
  std::vector<std::string> caption;
  std::vector<std::string> caveats;
  std::vector<SeriesContent> cases;  // top to bottom
  bool bStaircase = true;  // the stepped line joining the first changes
};

// The series content of data as analysed into series (with
// kalmir::analyse_series), with the values and lines as the analysis
// held them and the y range as options ask. The phases' names number
// their labels by kind ("A1", "B1", ...) unless the data numbered them;
// options' phase names, when given, replace the kinds. times are used as
// plotContent uses them. Assumes series is data's analysis
// (seriesMismatch says whether it is).
SeriesContent seriesContent(const kalmir::DataSet& data,
                            const kalmir::Series& series,
                            const PlotOptions& options);
// Why series cannot be drawn as the analysis of data ("" when it can):
// its contrasts do not match data's phases, or bMeans and a contrast has
// no simulated means.
std::string seriesMismatch(const kalmir::DataSet& data,
                           const kalmir::Series& series, bool bMeans);
// The phases' kinds for a legend: options' names, else the first two
// phases' labels without their numbers.
void phaseRoles(const kalmir::DataSet& data, const PlotOptions& options,
                std::string* pRoleA, std::string* pRoleB);
// The figure of a reversal series; caveats are left empty.
SeriesFigure seriesFigure(const kalmir::DataSet& data,
                          const kalmir::Series& series,
                          const PlotOptions& options, int nBins = 40);
// The figure of a study; caveats are left empty. A case with two or more
// A-B contrasts shows their average d; a case with one shows that
// contrast's d and p (the figures the study's average takes from it).
StudyFigure studyFigure(const std::vector<kalmir::DataSet>& cases,
                        const kalmir::Study& study, const PlotOptions& options);

// A panel of a series on the page.
struct SeriesPanel {
  Rect frame;
  Scale x, values;
  std::vector<double> changeX;  // page x of each phase change, in order
  double markerRadius = 0;
  // Each value's mark, those off the scale where their arrows point.
  std::vector<Point> marks;
  std::vector<OffScaleMark> offScale;
  std::vector<int> nPhaseOf;  // per value
  // Each phase's data path (nPhase is the phase), broken where it leaves
  // the frame and at every phase change.
  std::vector<Polyline> dataPaths;
  std::vector<PageLine> lines, carried;  // as SeriesContent's
};

// A small panel of one phase change's simulated means.
struct MeansPanel {
  Rect frame;
  Scale means, counts;
  double observedX = 0;
};

struct SeriesFigureLayout {
  double width = 0, height = 0;
  std::vector<TextBox> text;
  std::vector<LegendSwatch> legend;
  SeriesPanel series;
  std::vector<MeansPanel> means;  // with bMeansPanel, one per change
  double tickLength = 0;
};

struct StudyFigureLayout {
  double width = 0, height = 0;
  std::vector<TextBox> text;
  std::vector<LegendSwatch> legend;
  std::vector<SeriesPanel> panels;  // top to bottom, one x scale
  // From each panel's first phase change to the next one's, through the
  // gap between them: down, across, down; one piece per gap. Empty
  // without bStaircase.
  std::vector<std::vector<Point>> staircase;
  double tickLength = 0;
};

SeriesFigureLayout layOutSeriesFigure(const SeriesFigure& figure,
                                      const TextWidth& textWidth);
StudyFigureLayout layOutStudyFigure(const StudyFigure& figure,
                                    const TextWidth& textWidth);

#endif  // KALMIR_DESIGNLAYOUT_H_
