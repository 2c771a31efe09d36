#include "plotoptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "text.h"

namespace {

bool isBlank(const std::string& s) {
  return s.find_first_not_of(" \t") == std::string::npos;
}

// A whole decimal number in text, as from_chars reads it.
bool readNumber(const std::string& text, double* pValue) {
  const char* pBegin = text.data();
  const char* pEnd = pBegin + text.size();
  if (pBegin != pEnd && *pBegin == '+') ++pBegin;
  const std::from_chars_result r = std::from_chars(pBegin, pEnd, *pValue);
  return r.ec == std::errc() && r.ptr == pEnd && pBegin != pEnd &&
         std::isfinite(*pValue);
}

}  // namespace

std::string setPlotOption(const std::string& name, const std::string& value,
                          PlotOptions* pOptions) {
  PlotOptions& o = *pOptions;
  if (name == "title" || name == "x-label" || name == "y-label") {
    if (isBlank(value)) return "--" + name + " needs a text that is not blank";
    (name == "title"     ? o.title
     : name == "x-label" ? o.xLabel
                         : o.yLabel) = value;
    return "";
  }
  if (name == "y-range") {
    const size_t nColon = value.find(':');
    double lo = 0, hi = 0;
    if (nColon == std::string::npos ||
        !readNumber(value.substr(0, nColon), &lo) ||
        !readNumber(value.substr(nColon + 1), &hi) || !(lo < hi)) {
      return "--y-range takes LOW:HIGH, two numbers with LOW below HIGH "
             "(such as 0:100), not \"" +
             printable(value) + "\"";
    }
    // Values lie within 1e9 and a float tells about 7 digits apart: a
    // range past either could not be drawn with ticks.
    const double kMaxMagnitude = 1e12;
    if (std::fabs(lo) > kMaxMagnitude || std::fabs(hi) > kMaxMagnitude ||
        hi - lo < 1e-6 * std::max(std::fabs(lo), std::fabs(hi))) {
      return "--y-range " + printable(value) +
             " lies beyond 1e12 or spans less than a millionth of its size";
    }
    o.bYRange = true;
    o.yLow = lo;
    o.yHigh = hi;
    return "";
  }
  if (name == "plot-panels") {
    if (value == "both" || value == "series") {
      o.bMeansPanel = value == "both";
      return "";
    }
    return "unknown plot panels \"" + printable(value) + "\" (series or both)";
  }
  return "unknown option --" + name;
}
