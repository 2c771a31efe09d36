#ifndef KALMIR_DRAWING_H_
#define KALMIR_DRAWING_H_

// What the program and its drawing module say to each other. The module
// (kalmir-drawing.so, Cairo and the fonts behind it) is loaded only when a
// PNG or PDF plot is asked for, so that an analysis without them starts
// without a score of shared libraries. The program lays the plot out and
// hands over its marks (picture.h); the module only draws them. The module
// may carry a C++ runtime of its own, so nothing but plain C crosses here:
// no exception, no allocation that the other side frees. The entry point's
// name carries the version of this interface; change both together.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// A Shape of picture.h; points are x, y pairs, subpath after subpath.
struct KalmirDrawingShape {
  const double* pXY;
  const int* pnPathPoints;  // points in each subpath
  int nPaths;
  int bClosed, bCircles;
  double fRadius;
  int bFill;
  unsigned char fill[3];
  double fFillAlpha;
  int bStroke;
  unsigned char stroke[3];
  double fStrokeAlpha, fLineWidth;
  const double* pDashes;
  int nDashes;
  int bRoundCap;
  int nClip;  // >= 0: drawn only inside that clip
};

// A piece of text: well-formed UTF-8 without control characters, fixed at
// its anchor point on the baseline by its alignment (0 start, 1 middle,
// 2 end); a vertical piece reads upward.
struct KalmirDrawingText {
  const char* pText;
  size_t nBytes;
  double fX, fY;
  double fSize;
  int bBold, bVertical;
  int nAlign;
  unsigned char colour[3];
};

struct KalmirDrawingClip {
  const double* pXY;  // a closed outline
  int nPoints;
};

struct KalmirDrawingPicture {
  double fWidth, fHeight;  // points
  const char* pTitle;      // for a PDF's metadata, UTF-8, nTitleBytes long
  size_t nTitleBytes;
  const struct KalmirDrawingShape* pShapes;
  size_t nShapes;
  const struct KalmirDrawingText* pTexts;
  size_t nTexts;
  const struct KalmirDrawingClip* pClips;
  size_t nClips;
};

// Draws the picture as PNG (nFormat 1, 144 pixels an inch) or PDF (2) into
// the open file nFd, which stays open. Returns 1 when it is written;
// otherwise 0 with the reason in pError (at most nErrorBytes with its
// NUL). Every pointer stays valid during the call. Safe to call from
// several threads at once.
typedef int (*KalmirDrawPicture)(int nFd, int nFormat,
                                 const struct KalmirDrawingPicture* pPicture,
                                 char* pError, size_t nErrorBytes);
#define KALMIR_DRAW_PICTURE_SYMBOL "kalmir_draw_picture_v3"

#ifdef __cplusplus
}
#endif

#endif  // KALMIR_DRAWING_H_
