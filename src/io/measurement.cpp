#include "measurement.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the bytes are a decimal number in point or exponent form.
bool isDecimalForm(const char* s, size_t nLength) {
  const char* p = s;
  const char* const pEnd = s + nLength;
  if (p < pEnd && (*p == '+' || *p == '-')) ++p;
  int nDigits = 0;
  while (p < pEnd && isDigit(*p)) ++p, ++nDigits;
  if (p < pEnd && *p == '.') {
    ++p;
    while (p < pEnd && isDigit(*p)) ++p, ++nDigits;
  }
  if (nDigits == 0) return false;
  if (p < pEnd && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p < pEnd && (*p == '+' || *p == '-')) ++p;
    if (p == pEnd || !isDigit(*p)) return false;
    while (p < pEnd && isDigit(*p)) ++p;
  }
  // Every byte must belong to the number; a NUL would otherwise end the
  // text early and let the rest through unseen.
  return p == pEnd;
}

// The magnitude limit as people write it: "1e9".
std::string magnitudeLimitText() {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.0e", kalmir::kMaxMagnitude);
  std::string s(buf);
  const size_t nE = s.find('e');
  const size_t nDigit = s.find_first_not_of("+0", nE + 1);
  return s.substr(0, nE + 1) + s.substr(nDigit);
}

}  // namespace

bool parseMeasurement(const char* s, size_t nLength, float* pfValue) {
  if (!isDecimalForm(s, nLength)) return false;
  const std::string text(s, nLength);
  float fValue;
  // "%f" converts it, so the value is the one the conversion would store.
  if (std::sscanf(text.c_str(), "%f", &fValue) != 1) return false;
  if (!std::isfinite(fValue) || std::fabs(fValue) > kalmir::kMaxMagnitude) {
    return false;
  }
  *pfValue = fValue;
  return true;
}

bool heldToDigitsTyped(const char* s, float fValue) {
  // The significant digits typed: from the first nonzero digit of the
  // mantissa to its last digit, trailing zeros included.
  int nSignificant = 0;
  bool bStarted = false;
  for (const char* p = s; *p != '\0' && *p != 'e' && *p != 'E'; ++p) {
    if (!isDigit(*p)) continue;
    if (*p != '0') bStarted = true;
    if (bStarted) ++nSignificant;
  }
  const double typed = std::strtod(s, nullptr);
  if (nSignificant == 0) return fValue == 0.0f;
  // Nonzero digits that came to 0 fell below the smallest float; typed may
  // have underflowed to 0 as well (1e-400), so the comparison below cannot
  // tell.
  if (fValue == 0.0f) return false;
  // The float rounded to as many digits as were typed must be the number
  // typed; both sides are decimals of that many digits, which double holds
  // apart whenever they differ (up to 17 digits; beyond, no float could be
  // told apart anyway).
  if (nSignificant > 17) nSignificant = 17;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", nSignificant - 1,
                static_cast<double>(fValue));
  return std::strtod(buf, nullptr) == typed;
}

std::string shortestText(float fValue) {
  char buf[64];
  const float fMagnitude = std::fabs(fValue);
  const bool bPlain =
      fValue == 0.0f || (fMagnitude >= 1e-5f && fMagnitude < 1e10f);
  const std::to_chars_result r =
      bPlain ? std::to_chars(buf, buf + sizeof buf, fValue,
                             std::chars_format::fixed)
             : std::to_chars(buf, buf + sizeof buf, fValue);
  return std::string(buf, r.ptr);
}

std::string heldAsNote(const std::string& shown, float fValue) {
  return shown + " is held as " + shortestText(fValue);
}

std::string measurementProblem(const char* s, size_t nLength) {
  float fValue;
  if (parseMeasurement(s, nLength, &fValue)) return "";
  if (isDecimalForm(s, nLength)) {
    return "lies beyond " + magnitudeLimitText() +
           " in magnitude, the largest the analysis takes";
  }
  std::string bare(s, nLength);
  for (char& c : bare) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (!bare.empty() && (bare[0] == '+' || bare[0] == '-')) bare.erase(0, 1);
  if (bare == "nan" || bare == "inf" || bare == "infinity") {
    return "is not a finite number";
  }
  std::string pointed(s, nLength);
  const size_t nComma = pointed.find(',');
  if (nComma != std::string::npos && pointed.find('.') == std::string::npos &&
      pointed.find(',', nComma + 1) == std::string::npos) {
    pointed[nComma] = '.';
    if (isDecimalForm(pointed.data(), pointed.size())) {
      return "has a decimal comma";
    }
  }
  return "is not a number";
}
