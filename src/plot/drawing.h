#ifndef KALMIR_DRAWING_H_
#define KALMIR_DRAWING_H_

// What the program and its drawing module say to each other. The module
// (kalmir-drawing.so, Cairo and the fonts behind it) is loaded only when a
// plot is asked for, so that an analysis without plots starts without a
// score of shared libraries. The module may carry a C++ runtime of its own,
// so nothing but plain C crosses here: no exception, no allocation that the
// other side frees. The entry point's name carries the version of this
// interface; change both together.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// One analysed case: what the plot shows of its kalmir::Result. Every
// pointer stays valid during the call.
struct KalmirDrawingCase {
  const char* pName;  // the case's name, UTF-8, nNameBytes long
  size_t nNameBytes;
  int nNA, nNB;                // >= 2 each
  const float* pfY;            // nNA + nNB values, A phase first
  float fNullInt, fNullSlope;  // the A phase's line
  float fExpInt, fExpSlope;    // the B phase's line, on its own axis
  float fDUnstd, fD, fDSE, fR, fP;  // the effect sizes and p
  const float* pfNullMeans;    // the simulated means, nMeans of each model
  const float* pfExpMeans;
  size_t nMeans;               // >= 1
};

// Draws the case into the file at pPath (0: SVG, 1: PNG, 2: PDF, as
// PlotFormat). Returns 1 when the file is written; otherwise 0 with the
// reason, naming the path, in pError (at most nErrorBytes with its NUL),
// and a regular file begun at pPath removed again. Safe to call from
// several threads at once.
typedef int (*KalmirDrawPlot)(const char* pPath, int nFormat,
                              const struct KalmirDrawingCase* pCase,
                              char* pError, size_t nErrorBytes);
#define KALMIR_DRAW_PLOT_SYMBOL "kalmir_draw_plot_v2"

#ifdef __cplusplus
}
#endif

#endif  // KALMIR_DRAWING_H_
