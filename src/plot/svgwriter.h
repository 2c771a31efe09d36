#ifndef KALMIR_SVGWRITER_H_
#define KALMIR_SVGWRITER_H_

// A picture as an SVG document, written straight from its marks: no
// drawing library, so a program without the drawing module still writes
// SVG. Every piece of text is a <text> element, which a reader can select,
// search and edit and a screen reader can read, set in DejaVu Sans (or the
// viewer's nearest sans-serif) and fixed at the point its alignment names,
// so a substitute font shifts no label off its place. The same picture
// always gives the same bytes. Keeps nothing between calls.

#include <string>

#include "picture.h"

std::string svgDocument(const Picture& picture);

#endif  // KALMIR_SVGWRITER_H_
