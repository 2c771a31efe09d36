#include "charconv.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// {fmt}'s Dragonbox finds the shortest decimal of a float or double that
// reads back as the same value (the nearest one where several are as
// short), as the native library's Ryu does.
#define FMT_HEADER_ONLY
#include <fmt/format.h>

namespace kalmir_charconv {

namespace {

// The shortest decimal of a finite nonzero value: significand digits
// without trailing zeros, and the power of ten they are scaled by.
struct Shortest {
  char digits[24];
  int nDigits = 0;
  int exponent = 0;  // value = digits * 10^exponent
};

template <typename T>
Shortest shortestOf(T magnitude) {
  const auto dec = fmt::detail::dragonbox::to_decimal(magnitude);
  Shortest s;
  auto significand = dec.significand;
  int exponent = dec.exponent;
  while (significand % 10 == 0) {
    significand /= 10;
    ++exponent;
  }
  char reversed[24];
  int n = 0;
  do {
    reversed[n++] = static_cast<char>('0' + significand % 10);
    significand /= 10;
  } while (significand != 0);
  for (int i = 0; i < n; ++i) s.digits[i] = reversed[n - 1 - i];
  s.nDigits = n;
  s.exponent = exponent;
  return s;
}

// Characters of each notation, without the sign.
int fixedLength(const Shortest& s) {
  if (s.exponent >= 0) return s.nDigits + s.exponent;
  if (-s.exponent < s.nDigits) return s.nDigits + 1;
  return 2 - s.exponent;
}

int scientificLength(const Shortest& s) {
  const int x = s.exponent + s.nDigits - 1;
  const int ax = x < 0 ? -x : x;
  return s.nDigits + (s.nDigits > 1 ? 1 : 0) + 2 + (ax >= 100 ? 3 : 2);
}

std::string fixedText(const Shortest& s, double exactValue) {
  if (s.exponent > 0) {
    // Zeros after the shortest digits would claim digits the value does
    // not have: the native library writes the exact integer instead.
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", exactValue);
    return buf;
  }
  const std::string digits(s.digits, static_cast<size_t>(s.nDigits));
  if (s.exponent == 0) return digits;
  const int nPoint = s.nDigits + s.exponent;  // digits before the point
  if (nPoint > 0) {
    return digits.substr(0, static_cast<size_t>(nPoint)) + "." +
           digits.substr(static_cast<size_t>(nPoint));
  }
  return "0." + std::string(static_cast<size_t>(-nPoint), '0') + digits;
}

std::string scientificText(const Shortest& s) {
  std::string text(1, s.digits[0]);
  if (s.nDigits > 1) {
    text += '.';
    text.append(s.digits + 1, static_cast<size_t>(s.nDigits - 1));
  }
  const int x = s.exponent + s.nDigits - 1;
  char buf[16];
  std::snprintf(buf, sizeof buf, "e%c%02d", x < 0 ? '-' : '+', x < 0 ? -x : x);
  return text + buf;
}

// The native library's general format: the shortest digits, in scientific
// notation where %g's default precision would choose it (an exponent
// below -4 or above 5).
std::string generalText(const Shortest& s, double exactValue) {
  const int x = s.exponent + s.nDigits - 1;
  if (x < -4 || x >= 6) return scientificText(s);
  return fixedText(s, exactValue);
}

std::to_chars_result put(char* first, char* last, const std::string& text) {
  if (static_cast<size_t>(last - first) < text.size()) {
    return {last, std::errc::value_too_large};
  }
  std::memcpy(first, text.data(), text.size());
  return {first + text.size(), std::errc()};
}

template <typename T>
std::to_chars_result toCharsOf(char* first, char* last, T value, Form form) {
  std::string text = std::signbit(value) ? "-" : "";
  const T magnitude = std::fabs(value);
  if (std::isnan(value)) {
    text += "nan";
  } else if (std::isinf(value)) {
    text += "inf";
  } else if (magnitude == 0) {
    text += form == Form::scientific ? "0e+00" : "0";
  } else {
    const Shortest s = shortestOf(magnitude);
    const double exact = static_cast<double>(magnitude);
    switch (form) {
      case Form::plain:
        text += fixedLength(s) <= scientificLength(s) ? fixedText(s, exact)
                                                      : scientificText(s);
        break;
      case Form::fixed:
        text += fixedText(s, exact);
        break;
      case Form::scientific:
        text += scientificText(s);
        break;
      case Form::general:
        text += generalText(s, exact);
        break;
    }
  }
  return put(first, last, text);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWithNoCase(const char* p, const char* pEnd, const char* word) {
  const size_t n = std::strlen(word);
  if (static_cast<size_t>(pEnd - p) < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = p[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

// The end of the longest prefix of [first, last) that from_chars reads in
// the given format, or first when there is none.
const char* numberEnd(const char* first, const char* last,
                      std::chars_format format) {
  const char* p = first;
  if (p < last && *p == '-') ++p;
  if (startsWithNoCase(p, last, "infinity")) return p + 8;
  if (startsWithNoCase(p, last, "inf")) return p + 3;
  if (startsWithNoCase(p, last, "nan")) {
    const char* q = p + 3;
    if (q < last && *q == '(') {
      const char* r = q + 1;
      while (r < last && (isDigit(*r) || *r == '_' ||
                          (*r >= 'a' && *r <= 'z') || (*r >= 'A' && *r <= 'Z')))
        ++r;
      if (r < last && *r == ')') return r + 1;
    }
    return q;
  }
  int nDigits = 0;
  while (p < last && isDigit(*p)) ++p, ++nDigits;
  if (p < last && *p == '.') {
    ++p;
    while (p < last && isDigit(*p)) ++p, ++nDigits;
  }
  if (nDigits == 0) return first;
  const bool bExponentAllowed = format != std::chars_format::fixed;
  const bool bExponentNeeded = format == std::chars_format::scientific;
  if (bExponentAllowed && p < last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < last && (*q == '+' || *q == '-')) ++q;
    if (q < last && isDigit(*q)) {
      while (q < last && isDigit(*q)) ++q;
      return q;
    }
  }
  return bExponentNeeded ? first : p;
}

template <typename T>
std::from_chars_result fromCharsOf(const char* first, const char* last,
                                   T& value, std::chars_format format) {
  const char* pEnd = numberEnd(first, last, format);
  if (pEnd == first) return {first, std::errc::invalid_argument};
  const std::string text(first, pEnd);
  errno = 0;
  char* pStop = nullptr;
  const T read = sizeof(T) == sizeof(float)
                     ? static_cast<T>(std::strtof(text.c_str(), &pStop))
                     : static_cast<T>(std::strtod(text.c_str(), &pStop));
  const bool bWordForm =
      std::isnan(read) ||
      (std::isinf(read) && text.find_first_of("iI") != std::string::npos);
  // Like the native library, subnormal results are taken; only an
  // overflow, or an underflow to zero, is out of range.
  if (!bWordForm && errno == ERANGE && (std::isinf(read) || read == 0)) {
    return {pEnd, std::errc::result_out_of_range};
  }
  value = read;
  return {pEnd, std::errc()};
}

}  // namespace

std::to_chars_result toChars(char* first, char* last, float value, Form form) {
  return toCharsOf(first, last, value, form);
}

std::to_chars_result toChars(char* first, char* last, double value, Form form) {
  return toCharsOf(first, last, value, form);
}

std::from_chars_result fromChars(const char* first, const char* last,
                                 float& value, std::chars_format format) {
  return fromCharsOf(first, last, value, format);
}

std::from_chars_result fromChars(const char* first, const char* last,
                                 double& value, std::chars_format format) {
  return fromCharsOf(first, last, value, format);
}

}  // namespace kalmir_charconv
