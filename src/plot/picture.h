#ifndef KALMIR_PICTURE_H_
#define KALMIR_PICTURE_H_

// A laid-out plot as the marks to put on the page: shapes, filled or
// stroked, and pieces of text, in page points, drawn in order with the
// text over the shapes. Both writers draw from it, svgwriter as SVG text
// and the drawing module with Cairo as PNG or PDF, so every format shows
// the same marks in the same places. Keeps nothing between calls.

#include <string>
#include <vector>

#include "plotlayout.h"

struct Colour {
  unsigned char r = 0, g = 0, b = 0;
};

struct Shape {
  // Subpaths; with bCircles each one's first point is the centre of a
  // circle of the radius.
  std::vector<std::vector<Point>> paths;
  bool bClosed = false;
  bool bCircles = false;
  double radius = 0;
  bool bFill = false;
  Colour fill;
  double fillAlpha = 1;
  bool bStroke = false;
  Colour stroke;
  double strokeAlpha = 1;
  double lineWidth = 1;
  std::vector<double> dashes;  // lengths on, off, on, ...; empty: solid
  bool bRoundCap = false;      // else butt; joins are always round
  int nClip = -1;              // >= 0: drawn only inside Picture::clips[nClip]
};

struct Text {
  TextBox box;
  Colour colour;
};

struct Picture {
  double width = 0, height = 0;
  std::string title;        // the plot's title, for the file's metadata
  std::string description;  // its figures in a line, for the same
  // Areas, each one closed outline, that shapes may be clipped to.
  std::vector<std::vector<Point>> clips;
  std::vector<Shape> shapes;
  std::vector<Text> texts;
};

// The marks of the plot of content laid out as layout.
Picture plotPicture(const PlotContent& content, const PlotLayout& layout);

struct SeriesFigure;
struct SeriesFigureLayout;
struct StudyFigure;
struct StudyFigureLayout;
// The marks of the figures of designs (designlayout.h), in the AB plot's
// colours and line styles: baseline phases blue, intervention phases
// orange, each phase's line carried on dashed.
Picture seriesFigurePicture(const SeriesFigure& figure,
                            const SeriesFigureLayout& layout);
Picture studyFigurePicture(const StudyFigure& figure,
                           const StudyFigureLayout& layout);

#endif  // KALMIR_PICTURE_H_
