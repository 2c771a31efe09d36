#ifndef KALMIR_PLOT_H_
#define KALMIR_PLOT_H_

// Pictures of analyses: one file per analysed case, in SVG, PNG or PDF. The
// upper panel shows the series with both phases' lines, the A line carried
// on into the B phase as the null model, and the effect sizes as the report
// rounds them; the lower panel shows the simulated B-phase means of both
// models, binned, with the observed B-phase mean and its empirical p. Where
// things go is plotlayout's job and the drawing module (drawing.h) draws;
// this unit names the files and hands each plot to the module. Keeps nothing
// between calls; plots of different cases may be written from different
// threads at once.

#include <set>
#include <string>

#include "kalmir/kalmir.h"

enum class PlotFormat { kSvg, kPng, kPdf };

// "svg", "png" or "pdf" into *pFormat; false for anything else.
bool parsePlotFormat(const std::string& text, PlotFormat* pFormat);
// ".svg", ".png" or ".pdf".
const char* plotExtension(PlotFormat format);

// Whether plots can be drawn: the drawing code, with Cairo behind it, is a
// module loaded at the first call of either function below or of writePlot,
// so that the program starts without it. False when this build was made
// without Cairo or its module cannot be loaded; writePlot then writes
// nothing and says so.
bool plotSupported();
// Why not, as the end of a sentence about this build: "it was built
// without Cairo", or the loader's reason. Empty when plots can be drawn.
std::string whyNoPlots();
// Whether this build draws and its drawing module is where it is looked
// for, found without loading it (for the help, which must start quickly).
// True does not promise that the module loads; plotSupported() tells.
bool drawingModuleFound();

// Writes the plot of result, analysed with its simulated means kept, to
// path in the given format; its name is the title. False when it
// could not be written; *pError then says why, naming the path, and a
// regular file begun at path is removed again.
bool writePlot(const std::string& path, PlotFormat format,
               const kalmir::Result& result, std::string* pError);

// A file name, without extension, for a plot of the case called name: its
// ASCII letters and digits, '-', '_', '+', '.' and its non-ASCII UTF-8
// characters; every other run of bytes becomes one '_'. Never empty,
// hidden, option-like, reserved on Windows or longer than 100 bytes, and
// distinct from every name in *pUsed, ignoring ASCII case (for file
// systems that do); it is added there. Start each directory with an empty
// set. The dialogue's "analysis-1", "analysis-2", ... pass unchanged.
std::string plotFileName(const std::string& name, std::set<std::string>* pUsed);

#endif  // KALMIR_PLOT_H_
