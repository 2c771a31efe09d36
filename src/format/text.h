#ifndef KALMIR_TEXT_H_
#define KALMIR_TEXT_H_

// Small text helpers that every front end and reader shares: labels
// compared without ASCII case, fields without their surrounding blanks, and
// user text made fit for a one-line message. Nothing is kept.

#include <string>

// Text fit for a one-line message: control bytes become '?', and text
// longer than nMax bytes is cut and ends in "...".
std::string printable(const std::string& text, size_t nMax = 60);

// s without the blanks and tabs at either end.
std::string trimmed(const std::string& s);

// s with its ASCII capitals made small; other bytes, UTF-8 included, as
// they are.
std::string lowerAscii(std::string s);

#endif  // KALMIR_TEXT_H_
