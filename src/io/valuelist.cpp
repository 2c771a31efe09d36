#include "valuelist.h"

#include <cstdlib>
#include <vector>

#include "measurement.h"
#include "notes.h"
#include "text.h"

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The text split at blanks, line ends and semicolons.
std::vector<std::string> splitAtBlanks(const std::string& text) {
  std::vector<std::string> tokens;
  std::string token;
  for (char c : text) {
    if (isBlank(c) || c == ';') {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  if (!token.empty()) tokens.push_back(token);
  return tokens;
}

// Whether the commas in these pieces are decimal marks: each stands
// between two digits, no piece holds two, and the values are apart without
// them (two pieces or more, or a semicolon between values).
bool commasAreDecimal(const std::vector<std::string>& pieces,
                      const std::string& text) {
  bool bAnyComma = false;
  for (const std::string& piece : pieces) {
    const size_t nComma = piece.find(',');
    if (nComma == std::string::npos) continue;
    bAnyComma = true;
    if (piece.find(',', nComma + 1) != std::string::npos) return false;
    if (nComma == 0 || nComma + 1 == piece.size() ||
        !isDigit(piece[nComma - 1]) || !isDigit(piece[nComma + 1])) {
      return false;
    }
  }
  return bAnyComma &&
         (pieces.size() >= 2 || text.find(';') != std::string::npos);
}

// Why a piece is not a value the analysis can take.
std::string whyNot(const std::string& shown, const std::string& text) {
  const std::string l = lowerAscii(text);
  const size_t nSign = !l.empty() && (l[0] == '+' || l[0] == '-') ? 1 : 0;
  const std::string bare = l.substr(nSign);
  if (bare == "nan" || bare == "inf" || bare == "infinity") {
    return shown + " is not a finite number";
  }
  char* pEnd = nullptr;
  std::strtod(text.c_str(), &pEnd);
  if (!text.empty() && pEnd == text.c_str() + text.size() &&
      text.find_first_not_of("0123456789+-.eE") == std::string::npos) {
    return shown + " lies beyond 1e9 in magnitude, the largest accepted";
  }
  return shown + " is not a number; enter numbers such as 4 or 2.5";
}

}  // namespace

kalmir::ValueList readValueList(const std::string& text,
                                const std::string& label, int nMaxPoints) {
  kalmir::ValueList list;
  std::vector<std::string> pieces = splitAtBlanks(text);
  list.decimal_comma = commasAreDecimal(pieces, text);
  if (!list.decimal_comma) {
    std::vector<std::string> split;
    for (const std::string& piece : pieces) {
      size_t nBegin = 0;
      for (;;) {
        const size_t nComma = piece.find(',', nBegin);
        const std::string part = piece.substr(nBegin, nComma - nBegin);
        if (!part.empty()) split.push_back(part);
        if (nComma == std::string::npos) break;
        nBegin = nComma + 1;
      }
    }
    pieces = std::move(split);
  }
  std::vector<std::string> inexact;
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::string number = pieces[i];
    if (list.decimal_comma) {
      const size_t nComma = number.find(',');
      if (nComma != std::string::npos) number[nComma] = '.';
    }
    float f = 0.0f;
    const std::string which =
        "value " + std::to_string(i + 1) + " of the " + label + " phase";
    if (!parseMeasurement(number.data(), number.size(), &f)) {
      list.values.clear();
      list.error =
          whyNot(which + ", \"" + printable(pieces[i]) + "\",", number);
      return list;
    }
    if (!heldToDigitsTyped(number.c_str(), f)) {
      inexact.push_back(label + " value " + std::to_string(i + 1) + ": " +
                        heldAsNote(printable(pieces[i]), f));
    }
    list.values.push_back(static_cast<double>(f));
  }
  const size_t n = list.values.size();
  if (n < static_cast<size_t>(kalmir::kMinPhasePoints) ||
      n > static_cast<size_t>(nMaxPoints)) {
    list.values.clear();
    list.error = "the " + label + " phase has " + std::to_string(n) +
                 (n == 1 ? " value" : " values") + "; " +
                 std::to_string(kalmir::kMinPhasePoints) + " to " +
                 std::to_string(nMaxPoints) + " are needed";
    return list;
  }
  if (!inexact.empty()) {
    list.notes.push_back(
        roundedValuesNote(inexact.front(), static_cast<int>(inexact.size())));
  }
  return list;
}
