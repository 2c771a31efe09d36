#ifndef KALMIR_FONTMETRICS_H_
#define KALMIR_FONTMETRICS_H_

// How wide text is in the plots' font, DejaVu Sans (regular and bold),
// from a table of its advance widths kept in the sources: the layout of a
// plot comes out the same in every format and on every machine, with or
// without the font or the drawing module. A character the font lacks is
// taken as one em wide, room enough for what a fallback font draws in its
// place. Also makes text safe to draw: well-formed UTF-8 without control
// characters. Keeps nothing between calls.

#include <string>

// The advance of text set at fSize points, in points; text is UTF-8 as
// wellFormedText leaves it.
double textAdvance(const std::string& text, double fSize, bool bBold);

// Whether the font has a glyph of its own for the character c.
bool fontHasCharacter(char32_t c, bool bBold);

// text with every byte of a malformed UTF-8 sequence, and every control
// character, noncharacter or surrogate, replaced by U+FFFD; fit for XML
// and for any drawing library.
std::string wellFormedText(const std::string& text);
// wellFormedText(text) with &, <, > and " written as entities: content or
// an attribute value in SVG and in HTML.
std::string markupText(const std::string& text);

// The characters of text, which must be well formed (wellFormedText).
std::u32string characters(const std::string& text);
// Appends c, a Unicode scalar value, to *pText as UTF-8.
void appendUtf8(char32_t c, std::string* pText);

#endif  // KALMIR_FONTMETRICS_H_
