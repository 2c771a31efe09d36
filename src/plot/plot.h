#ifndef KALMIR_PLOT_H_
#define KALMIR_PLOT_H_

// Pictures of analyses: one file per analysed case, in SVG, PNG or PDF. The
// upper panel shows the series as single-case graphs show it, each phase's
// points joined by a data path broken at the phase change, with both
// phases' lines, the A line carried on into the B phase as the null model,
// the effect sizes and a caveat line for every note on them; the lower
// panel shows the simulated B-phase means of both models, binned, with the
// observed B-phase mean and its empirical p. Where things go is
// plotlayout's job and picture's which marks they are; this unit writes
// SVG itself (svgwriter) and hands PNG and PDF to the drawing module
// (drawing.h), and names the files. Keeps nothing between calls; plots of
// different cases may be written from different threads at once.

#include <set>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"
#include "plotlayout.h"

enum class PlotFormat { kSvg, kPng, kPdf };

// "svg", "png" or "pdf" into *pFormat; false for anything else.
bool parsePlotFormat(const std::string& text, PlotFormat* pFormat);
// ".svg", ".png" or ".pdf".
const char* plotExtension(PlotFormat format);

// Whether plots of format can be drawn. SVG always can: the program writes
// it itself. PNG and PDF are drawn by the drawing module, with Cairo
// behind it, which is loaded at the first question about them or first
// such plot, so that the program starts without it; they cannot be drawn
// when this build was made without Cairo or the module cannot be loaded.
bool plotFormatSupported(PlotFormat format);
// Why PNG and PDF cannot be drawn, as the end of a sentence about this
// build: "it was built without Cairo", or the loader's reason. Empty when
// they can.
std::string whyNoDrawing();
// Whether this build draws PNG and PDF and its drawing module is where it
// is looked for, found without loading it (for the help, which must start
// quickly). True does not promise that the module loads.
bool drawingModuleFound();

// The plot of result, analysed with its simulated means kept, as an SVG
// document, shaped by options; inputNotes are the case's notes on its
// input, shown with the result's own notes as caveats under the title.
// times are the values' measurement times, A phase first: the points and
// the phase change are drawn at them, and each fitted line through its
// fitted value at every point's time (the fit itself counts occasions
// 1, 2, ...). Empty, or not one finite increasing time per value: the x
// axis counts occasions.
std::string plotSvg(const kalmir::Result& result, const PlotOptions& options,
                    const std::vector<std::string>& inputNotes = {},
                    const std::vector<double>& times = {});

// Writes that plot to path in the given format, through a temporary file
// renamed onto path (plotfile.h). False when it could not be written;
// *pError then says why, naming the path, and nothing is left at path
// that was not there.
bool writePlot(const std::string& path, PlotFormat format,
               const kalmir::Result& result, const PlotOptions& options,
               const std::vector<std::string>& inputNotes, std::string* pError,
               const std::vector<double>& times = {});

// The figure of a reversal series (A1 B1 A2 B2 ...): the whole series with
// each phase's points and line, each line carried on dashed into the next
// phase, the phase changes marked and named, and below it (as
// options.bMeansPanel asks) a small panel of each phase change's simulated
// means with its label, d and p. series is data's analysis
// (kalmir::analyse_series) with its simulated means kept; data's phases'
// times, when every phase has one per value, place the points in time.
// notes are caveats on the input, shown with the series' design notes and
// its contrasts' notes under the title. An empty string when series is
// not data's analysis.
std::string plotSeriesSvg(const kalmir::DataSet& data,
                          const kalmir::Series& series,
                          const PlotOptions& options,
                          const std::vector<std::string>& notes = {});
// Writes that figure as writePlot writes a plot.
bool writeSeriesPlot(const std::string& path, PlotFormat format,
                     const kalmir::DataSet& data, const kalmir::Series& series,
                     const PlotOptions& options,
                     const std::vector<std::string>& notes,
                     std::string* pError);

// The figure of a multiple-baseline study: its cases (study's cases'
// data, in the same order) stacked one above another on one x axis (their
// times when every case has them, else occasions), each panel with its
// points, lines and phase changes, the case's name and figures beside its
// top right corner (a case with one A-B contrast: its d and p; with more:
// their average d, and no p), and a stepped dashed line joining the cases'
// first phase changes. The simulated means are not needed. notes as for
// plotSeriesSvg, shown with the study's notes. An empty string when study
// is not the analysis of cases.
std::string plotStudySvg(const std::vector<kalmir::DataSet>& cases,
                         const kalmir::Study& study, const PlotOptions& options,
                         const std::vector<std::string>& notes = {});
bool writeStudyPlot(const std::string& path, PlotFormat format,
                    const std::vector<kalmir::DataSet>& cases,
                    const kalmir::Study& study, const PlotOptions& options,
                    const std::vector<std::string>& notes, std::string* pError);

// A file name, without extension, for a plot of the case called name: its
// ASCII letters and digits, '-', '_', '+', '.' and its non-ASCII UTF-8
// characters; every other run of bytes becomes one '_'. Never empty,
// hidden, option-like, reserved on Windows or longer than 100 bytes, and
// distinct from every name in *pUsed, ignoring ASCII case (for file
// systems that do); it is added there. Start each directory with an empty
// set. The dialogue's "analysis-1", "analysis-2", ... pass unchanged.
std::string plotFileName(const std::string& name, std::set<std::string>* pUsed);

#endif  // KALMIR_PLOT_H_
