#include "text.h"

std::string printable(const std::string& text, size_t nMax) {
  std::string s;
  for (size_t i = 0; i < text.size() && i < nMax; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    s += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
  }
  if (text.size() > nMax) s += "...";
  return s;
}

std::string trimmed(const std::string& s) {
  const size_t nBegin = s.find_first_not_of(" \t");
  if (nBegin == std::string::npos) return "";
  return s.substr(nBegin, s.find_last_not_of(" \t") - nBegin + 1);
}

std::string lowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}
