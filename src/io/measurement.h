#ifndef KALMIR_MEASUREMENT_H_
#define KALMIR_MEASUREMENT_H_

#include <string>

#include "kalmir/kalmir.h"

// Measurements as people type them, for every front end: which texts are
// numbers the analysis can take, the float each becomes, and whether that
// float still holds the number to the digits typed. Nothing is kept.

// A decimal number in point or exponent form ("4", "-2.5", ".5", "4.",
// "1.5e1") of nLength bytes, finite and at most kalmir::kMaxMagnitude in magnitude,
// converted as the C library's "%f" converts it. No "nan", "inf",
// hexadecimal form, decimal comma, blank or other byte (a NUL included).
bool parseMeasurement(const char* s, size_t nLength, float* pfValue);

// Why the nLength bytes at s are no measurement that parseMeasurement
// takes, as the rest of a sentence that begins with the text quoted:
// "is not a number", "has a decimal comma", "is not a finite number" or
// "lies beyond 1e9 in magnitude, the largest the analysis takes". Empty
// when they are one.
std::string measurementProblem(const char* s, size_t nLength);

// False when fValue, the float that text s became, differs from s in the
// digits typed: 100000003 is held as 100000000, 1e-50 as 0. Trailing
// zeros count as digits typed ("2.50" needs 2.50).
bool heldToDigitsTyped(const char* s, float fValue);

// The note on such a value, "100000003 is held as 100000000", with the
// value as shown to the user (quoted, labelled or as typed).
std::string heldAsNote(const std::string& shown, float fValue);

// The shortest decimal text that reads back as fValue, in plain digits
// ("100000000", "0.1") from 1e-5 up to 1e10, in exponent form beyond.
std::string shortestText(float fValue);

#endif  // KALMIR_MEASUREMENT_H_
