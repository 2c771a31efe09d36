#include "caserules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "measurement.h"
#include "notes.h"
#include "text.h"

namespace {

bool sameLabel(const std::string& a, const std::string& b) {
  return lowerAscii(a) == lowerAscii(b);
}

bool isMissing(const std::string& s) {
  return s.empty() || lowerAscii(s) == "na";
}

std::string shortestDouble(double f) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, f);
  return std::string(buf, r.ptr);
}

// Why a value field that passed numberText is no measurement.
std::string valueError(const std::string& field, const std::string& text) {
  const std::string quoted = "value \"" + printable(field) + "\"";
  const std::string l = lowerAscii(text);
  const size_t nSign = l[0] == '+' || l[0] == '-' ? 1 : 0;
  const std::string bare = l.substr(nSign);
  if (bare == "nan" || bare == "inf" || bare == "infinity") {
    return quoted + " is not a finite number";
  }
  // A decimal number that the dialogue's rules still refuse is too large.
  char* pEnd = nullptr;
  std::strtod(text.c_str(), &pEnd);
  if (pEnd == text.c_str() + text.size() &&
      text.find_first_not_of("0123456789+-.eE") == std::string::npos) {
    return quoted + " lies beyond 1e9 in magnitude, the largest accepted";
  }
  return quoted + " is not a number";
}

}  // namespace

Columns findColumns(const std::vector<std::string>& header) {
  Columns cols;
  cols.nFields = static_cast<int>(header.size());
  std::vector<std::string> seen(5);
  for (int i = 0; i < cols.nFields; ++i) {
    const std::string name = trimmed(header[static_cast<size_t>(i)]);
    const std::string key = lowerAscii(name);
    int* pnColumn = nullptr;
    size_t nKind = 0;
    if (key == "case") {
      pnColumn = &cols.nCase;
    } else if (key == "phase") {
      pnColumn = &cols.nPhase;
      nKind = 1;
    } else if (key == "values" || key == "value") {
      pnColumn = &cols.nValue;
      nKind = 2;
    } else if (key == "mt" || key == "time") {
      pnColumn = &cols.nTime;
      nKind = 3;
    } else if (key == "study") {
      pnColumn = &cols.nStudy;
      nKind = 4;
    } else {
      continue;
    }
    if (*pnColumn >= 0 && cols.error.empty()) {
      cols.error = "the header names the column \"" + seen[nKind] +
                   "\" and \"" + printable(name) + "\"; keep one of them";
    }
    *pnColumn = i;
    seen[nKind] = printable(name);
    if (nKind == 2) cols.valueName = name;
  }
  return cols;
}

CaseRules::CaseRules(std::string fileName, const CaseFileOptions& options,
                     const Columns& columns, char cSep)
    : fileName_(std::move(fileName)),
      options_(options),
      cols_(columns),
      cSep_(cSep) {}

CaseRules::PendingCase& CaseRules::caseNamed(const std::string& name,
                                             int nLine) {
  const auto it = index_.find(name);
  if (it != index_.end()) return pending_[it->second];
  index_.emplace(name, pending_.size());
  pending_.emplace_back();
  PendingCase& p = pending_.back();
  p.c.name = name;
  p.c.file = fileName_;
  p.c.valueColumn = cols_.valueName;
  p.c.nLine = nLine;
  return p;
}

namespace {

// Fails the case: its error and line, and no rows kept.
template <typename Pending>
void setError(Pending* p, int nLine, const std::string& what) {
  p->c.error = what;
  p->c.nLine = nLine;
  p->rows.clear();
  p->rows.shrink_to_fit();
}

}  // namespace

void CaseRules::addRow(std::vector<std::string> fields, int nLine,
                       const std::string& problem) {
  bool bBlank = true;
  for (std::string& f : fields) {
    f = trimmed(f);
    if (!f.empty()) bBlank = false;
  }
  if (bBlank) return;
  const std::vector<std::string>& f = fields;
  const int nFields = static_cast<int>(f.size());
  std::string name = fileName_;
  if (cols_.nCase >= 0) {
    name = cols_.nCase < nFields ? f[static_cast<size_t>(cols_.nCase)] : "";
  }
  PendingCase& p = caseNamed(name, nLine);
  if (!p.c.error.empty()) return;
  if (nFields != cols_.nFields) {
    std::string what = std::to_string(nFields) +
                       (nFields == 1 ? " field" : " fields") +
                       " where the header has " + std::to_string(cols_.nFields);
    if (nFields > cols_.nFields && cSep_ == ',') {
      what += " (a decimal comma in a comma-separated file needs quotes)";
    }
    return setError(&p, nLine, what);
  }
  if (!problem.empty()) return setError(&p, nLine, problem);
  if (name.empty()) {
    return setError(&p, nLine, "the case column is empty on this row");
  }
  if (cols_.nStudy >= 0) {
    const std::string& study = f[static_cast<size_t>(cols_.nStudy)];
    if (p.nStudyLine == 0) {
      p.c.study = study;
      p.nStudyLine = nLine;
    } else if (study != p.c.study) {
      return setError(&p, nLine,
                      "study \"" + printable(study) + "\" on this row but \"" +
                          printable(p.c.study) + "\" on line " +
                          std::to_string(p.nStudyLine) +
                          "; a case belongs to one study");
    }
  }
  Row row;
  row.nLine = nLine;
  const std::string& phase = f[static_cast<size_t>(cols_.nPhase)];
  if (phaseLabel(phase, &row)) {
  } else if (phase.empty()) {
    return setError(&p, nLine, "no phase on this row");
  } else {
    return setError(&p, nLine,
                    "phase \"" + printable(phase) + "\" is neither " +
                        printable(options_.phaseA) + " nor " +
                        printable(options_.phaseB) +
                        " (--phase-a and --phase-b set the labels)");
  }
  const std::string& value = f[static_cast<size_t>(cols_.nValue)];
  if (isMissing(value)) {
    row.bMissing = true;
    ++p.nMissing;
  } else {
    std::string text;
    const std::string what = numberText(value, "value", &text);
    if (!what.empty()) return setError(&p, nLine, what);
    if (!parseMeasurement(text.data(), text.size(), &row.fValue)) {
      return setError(&p, nLine, valueError(value, text));
    }
    if (!heldToDigitsTyped(text.c_str(), row.fValue)) {
      if (p.nInexact++ == 0) {
        p.firstInexact = "line " + std::to_string(nLine) + ": " +
                         heldAsNote(printable(value), row.fValue);
      }
    }
  }
  if (cols_.nTime >= 0) {
    const std::string& time = f[static_cast<size_t>(cols_.nTime)];
    if (isMissing(time)) return setError(&p, nLine, "no mt on this row");
    std::string text;
    std::string what = numberText(time, "mt", &text);
    if (what.empty()) {
      const char* pEnd = text.data() + text.size();
      const std::from_chars_result r =
          std::from_chars(text.data(), pEnd, row.fTime);
      if (r.ec != std::errc() || r.ptr != pEnd || !std::isfinite(row.fTime))
        what = "mt \"" + printable(time) + "\" is not a number";
    }
    if (!what.empty()) return setError(&p, nLine, what);
  }
  p.rows.push_back(row);
}

// Whether phase is one of the two labels, plain or numbered ("A", "a2");
// sets the row's role and number.
bool CaseRules::phaseLabel(const std::string& phase, Row* pRow) const {
  const std::string l = lowerAscii(phase);
  for (const bool bB : {false, true}) {
    if (sameLabel(phase, bB ? options_.phaseB : options_.phaseA)) {
      pRow->bB = bB;
      pRow->nNumber = 0;
      return true;
    }
  }
  // A number of one or two digits, from 1, after either label.
  for (const bool bB : {false, true}) {
    const std::string label = lowerAscii(bB ? options_.phaseB : options_.phaseA);
    const std::string digits =
        l.size() > label.size() ? l.substr(label.size()) : "";
    if (label.empty() || l.compare(0, label.size(), label) != 0 ||
        digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const int nNumber = std::atoi(digits.c_str());
    if (nNumber < 1) continue;
    pRow->bB = bB;
    pRow->nNumber = nNumber;
    return true;
  }
  return false;
}

// The number text with a decimal comma turned into a point where one is
// allowed; an error, or "" when the text may go on to be parsed.
std::string CaseRules::numberText(const std::string& field, const char* what,
                                  std::string* pText) const {
  const bool bComma =
      options_.cDecimal == ',' || (options_.cDecimal == 0 && cSep_ == ';');
  const bool bPoint = options_.cDecimal != ',';
  *pText = field;
  const size_t nComma = field.find(',');
  const size_t nPoint = field.find('.');
  if (nComma != std::string::npos) {
    if (!bComma || nPoint != std::string::npos ||
        field.find(',', nComma + 1) != std::string::npos) {
      return std::string(what) + " \"" + printable(field) +
             "\" is not a number" +
             (bComma ? "" : " (a decimal comma needs --decimal ,)");
    }
    (*pText)[nComma] = '.';
  } else if (nPoint != std::string::npos && !bPoint) {
    return std::string(what) + " \"" + printable(field) +
           "\" is not a number (the decimal mark is a comma)";
  }
  return "";
}

std::vector<Case> CaseRules::finish() {
  std::vector<Case> cases;
  cases.reserve(pending_.size());
  for (PendingCase& p : pending_) {
    finishCase(&p);
    cases.push_back(std::move(p.c));
    p.rows = std::vector<Row>();
  }
  pending_.clear();
  index_.clear();
  return cases;
}

void CaseRules::finishCase(PendingCase* pCase) const {
  PendingCase& p = *pCase;
  if (!p.c.error.empty()) return;
  std::vector<Row>& rows = p.rows;
  if (cols_.nTime >= 0) {
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
      return a.fTime < b.fTime;
    });
    for (size_t i = 1; i < rows.size(); ++i) {
      if (rows[i].fTime != rows[i - 1].fTime) continue;
      const int nFirst = std::min(rows[i].nLine, rows[i - 1].nLine);
      const int nSecond = std::max(rows[i].nLine, rows[i - 1].nLine);
      return setError(&p, nSecond,
                      "mt " + shortestDouble(rows[i].fTime) +
                          " is also on line " + std::to_string(nFirst));
    }
  }
  const char* const order = cols_.nTime >= 0 ? " in mt order" : "";
  const std::string a = printable(options_.phaseA);
  const std::string b = printable(options_.phaseB);
  bool bHasA = false, bHasB = false;
  for (const Row& r : rows) (r.bB ? bHasB : bHasA) = true;
  if (!bHasA || !bHasB) {
    return setError(&p, p.c.nLine,
                    "no " + (bHasA ? b : a) +
                        " phase (the phase column holds only " +
                        (bHasA ? a : b) + ")");
  }
  // The phases in time order: a new one wherever the role changes, or,
  // with numbered labels, wherever the number does.
  const bool bNumbered = rows.front().nNumber > 0;
  std::vector<int> nFirst, nSizes;  // each phase's first line and points
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    const std::string label = (r.bB ? b : a) +
                              (bNumbered ? std::to_string(r.nNumber) : "");
    if ((r.nNumber > 0) != bNumbered) {
      return setError(&p, r.nLine,
                      "phase labels " + std::string(bNumbered ? "numbered" : "plain") +
                          " on line " + std::to_string(rows.front().nLine) +
                          " and " + (bNumbered ? "plain" : "numbered") +
                          " on this row; use one form (" + a + ", " + b +
                          " or " + a + "1, " + b + "1, " + a + "2, ...)");
    }
    const bool bNew = i == 0 || r.bB != rows[i - 1].bB ||
                      r.nNumber != rows[i - 1].nNumber;
    if (bNew) {
      const size_t nPhase = nFirst.size();
      if (nPhase == 0 && r.bB) {
        return setError(&p, r.nLine,
                        "phase " + b + " begins before phase " + a + order +
                            "; the " + a + " phase (baseline) comes first");
      }
      if (nPhase > 0 && r.bB == rows[i - 1].bB) {
        const std::string previous =
            (r.bB ? b : a) + std::to_string(rows[i - 1].nNumber);
        return setError(&p, r.nLine,
                        "phase " + label + " follows phase " + previous +
                            order + " with no " + (r.bB ? a : b) +
                            " phase between; phases alternate " + a + ", " +
                            b + ", " + a + ", " + b + ", ...");
      }
      const int nDue = static_cast<int>(nPhase / 2) + 1;
      if (bNumbered && r.nNumber != nDue) {
        return setError(&p, r.nLine,
                        "phase " + label + order + " where phase " +
                            (r.bB ? b : a) + std::to_string(nDue) +
                            " is due; numbered phases count " + a + "1, " +
                            b + "1, " + a + "2, " + b + "2, ...");
      }
      if (nPhase == static_cast<size_t>(kalmir::kMaxPhases)) {
        int nPhases = 1;
        for (size_t k = 1; k < rows.size(); ++k) {
          if (rows[k].bB != rows[k - 1].bB ||
              rows[k].nNumber != rows[k - 1].nNumber) {
            ++nPhases;
          }
        }
        return setError(&p, r.nLine,
                        "phase " + std::to_string(nPhase + 1) + " of " +
                            std::to_string(nPhases) + " begins here" + order +
                            "; a case has at most " +
                            std::to_string(kalmir::kMaxPhases) + " phases");
      }
      nFirst.push_back(r.nLine);
      nSizes.push_back(0);
    }
    if (!r.bMissing) ++nSizes.back();
  }
  if (!phasesFit(&p, nFirst, nSizes)) return;
  p.c.phaseSizes = nSizes;
  p.c.nNA = nSizes[0];
  p.c.nNB = nSizes[1];
  size_t nValues = 0;
  for (const int n : nSizes) nValues += static_cast<size_t>(n);
  p.c.fY.reserve(nValues);
  for (const Row& r : rows) {
    if (!r.bMissing) p.c.fY.push_back(r.fValue);
  }
  if (p.nMissing > 0) {
    p.c.notes.push_back(std::to_string(p.nMissing) + " missing " +
                        (p.nMissing == 1 ? "value" : "values") +
                        " (empty or NA) left out");
  }
  if (p.nInexact > 0) {
    p.c.notes.push_back(roundedValuesNote(p.firstInexact, p.nInexact));
  }
}

// Every phase's length within the limits; an AB case names its phases
// by their labels, a longer series by their numbers ("the A2 phase").
bool CaseRules::phasesFit(PendingCase* pCase, const std::vector<int>& nFirst,
                          const std::vector<int>& nSizes) const {
  const std::string a = printable(options_.phaseA);
  const std::string b = printable(options_.phaseB);
  for (size_t i = 0; i < nSizes.size(); ++i) {
    std::string label = i % 2 == 0 ? a : b;
    if (nSizes.size() > 2) label += std::to_string(i / 2 + 1);
    if (!phaseLengthFits(pCase, label, nSizes[i], nFirst[i])) return false;
  }
  return true;
}

bool CaseRules::phaseLengthFits(PendingCase* pCase, const std::string& label,
                                int n, int nLine) const {
  const int nMax = options_.nMaxPhasePoints;
  if (n >= kalmir::kMinPhasePoints && n <= nMax) return true;
  setError(pCase, nLine,
           "the " + label + " phase has " + std::to_string(n) +
               (n == 1 ? " measurement" : " measurements") + "; " +
               std::to_string(kalmir::kMinPhasePoints) + " to " +
               std::to_string(nMax) + " are needed");
  return false;
}
