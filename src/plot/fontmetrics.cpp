#include "fontmetrics.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

// Characters first ... first + nCount - 1, whose widths start at
// nOffset in the font's width array.
struct WidthRun {
  std::uint32_t first;
  std::uint16_t nCount;
  std::uint16_t nOffset;
};

#include "fontwidths.inc"

const double kUnitsPerEm = 2048;
const char32_t kReplacement = 0xFFFD;

struct Font {
  const WidthRun* pRuns;
  size_t nRuns;
  const std::uint16_t* pWidths;
};
const Font kRegular = {kRegularRuns, std::size(kRegularRuns), kRegularWidths};
const Font kBold = {kBoldRuns, std::size(kBoldRuns), kBoldWidths};

// The advance of c in font units, or -1 when the font lacks it.
int advanceOf(const Font& font, char32_t c) {
  const WidthRun* pEnd = font.pRuns + font.nRuns;
  // The last run that starts at or before c.
  const WidthRun* p = std::upper_bound(
      font.pRuns, pEnd, c,
      [](char32_t value, const WidthRun& run) { return value < run.first; });
  if (p == font.pRuns) return -1;
  --p;
  if (c - p->first >= p->nCount) return -1;
  return font.pWidths[p->nOffset + (c - p->first)];
}

bool isDrawable(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;  // controls
  if (c >= 0xD800 && c < 0xE000) return false;            // surrogates
  if (c >= 0xFDD0 && c < 0xFDF0) return false;            // noncharacters
  return (c & 0xFFFE) != 0xFFFE && c <= 0x10FFFF;
}

// The character at text[*pnAt] and past it, or U+FFFD past one byte of a
// malformed sequence.
char32_t nextCharacter(const std::string& text, size_t* pnAt) {
  const size_t i = *pnAt;
  const unsigned char c = static_cast<unsigned char>(text[i]);
  size_t n = 0;
  char32_t value = 0;
  char32_t least = 0;  // the smallest value a sequence of n bytes may hold
  if (c < 0x80) {
    *pnAt = i + 1;
    return c;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    value = c & 0x1F;
    least = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    value = c & 0x0F;
    least = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    value = c & 0x07;
    least = 0x10000;
  }
  if (n == 0 || i + n > text.size()) {
    *pnAt = i + 1;
    return kReplacement;
  }
  for (size_t k = 1; k < n; ++k) {
    const unsigned char b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      *pnAt = i + 1;
      return kReplacement;
    }
    value = (value << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are malformed.
  if (value < least || value > 0x10FFFF ||
      (value >= 0xD800 && value < 0xE000)) {
    *pnAt = i + 1;
    return kReplacement;
  }
  *pnAt = i + n;
  return value;
}

}  // namespace

double textAdvance(const std::string& text, double fSize, bool bBold) {
  const Font& font = bBold ? kBold : kRegular;
  long nUnits = 0;
  for (char32_t c : characters(text)) {
    const int n = advanceOf(font, c);
    nUnits += n >= 0 ? n : static_cast<long>(kUnitsPerEm);
  }
  return static_cast<double>(nUnits) / kUnitsPerEm * fSize;
}

bool fontHasCharacter(char32_t c, bool bBold) {
  return advanceOf(bBold ? kBold : kRegular, c) >= 0;
}

std::string wellFormedText(const std::string& text) {
  std::string s;
  s.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t c = nextCharacter(text, &i);
    appendUtf8(isDrawable(c) ? c : kReplacement, &s);
  }
  return s;
}

std::u32string characters(const std::string& text) {
  std::u32string s;
  for (size_t i = 0; i < text.size();) s += nextCharacter(text, &i);
  return s;
}

void appendUtf8(char32_t c, std::string* pText) {
  std::string& s = *pText;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string markupText(const std::string& text) {
  std::string s;
  for (char c : wellFormedText(text)) {
    switch (c) {
      case '&':
        s += "&amp;";
        break;
      case '<':
        s += "&lt;";
        break;
      case '>':
        s += "&gt;";
        break;
      case '"':
        s += "&quot;";
        break;
      default:
        s += c;
    }
  }
  return s;
}
