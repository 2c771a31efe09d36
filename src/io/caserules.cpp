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

// A date written YYYY-MM-DD, optionally with a time of day " hh:mm" or
// " hh:mm:ss" as a workbook shows one: 1 with *pfDays the days since
// 1970-01-01; 0 when the text is no date at all; -1 when it has a date's
// form but no such day or time exists.
int parseDate(const std::string& text, double* pfDays) {
  const auto digits = [&text](size_t nAt, size_t n, int* pnValue) {
    if (nAt + n > text.size()) return false;
    int v = 0;
    for (size_t i = nAt; i < nAt + n; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      v = v * 10 + (text[i] - '0');
    }
    *pnValue = v;
    return true;
  };
  int y = 0, m = 0, d = 0;
  if (text.size() < 10 || !digits(0, 4, &y) || text[4] != '-' ||
      !digits(5, 2, &m) || text[7] != '-' || !digits(8, 2, &d)) {
    return 0;
  }
  int hh = 0, mm = 0, ss = 0;
  if (text.size() > 10) {
    const bool bTime =
        (text[10] == ' ' || text[10] == 'T') && digits(11, 2, &hh) &&
        text.size() >= 16 && text[13] == ':' && digits(14, 2, &mm) &&
        (text.size() == 16 ||
         (text.size() == 19 && text[16] == ':' && digits(17, 2, &ss)));
    if (!bTime) return 0;
    if (hh > 23 || mm > 59 || ss > 59) return -1;
  }
  const bool bLeap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  const int nMonthDays[] = {
      31, bLeap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1 || d > nMonthDays[m - 1]) return -1;
  // Days from the civil date (the proleptic Gregorian calendar), counted
  // by eras of 400 years, which repeat exactly.
  const int yy = m <= 2 ? y - 1 : y;
  const int era = yy / 400;
  const int yoe = yy - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long nDays = static_cast<long>(era) * 146097 + doe - 719468;
  *pfDays = static_cast<double>(nDays) +
            (static_cast<double>(hh) * 3600.0 + mm * 60.0 + ss) / 86400.0;
  return 1;
}

// Whether a field is a number or a date, as neither a case name is.
bool looksNumeric(const std::string& field) {
  double f = 0.0;
  if (parseDate(field, &f) != 0) return true;
  std::string text = field;
  std::replace(text.begin(), text.end(), ',', '.');
  char* pEnd = nullptr;
  std::strtod(text.c_str(), &pEnd);
  return !text.empty() && pEnd == text.c_str() + text.size();
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

const char* const kColumnKeys[5] = {"case", "phase", "values", "mt", "study"};

namespace {

// The names each key's column goes by: the plain ones (any of which is
// the column, so two of them is a mistake), then the common others, of
// which the first the header has is taken.
struct ColumnKind {
  std::vector<std::string> plain;
  std::vector<std::string> others;
};
const ColumnKind kKinds[5] = {
    {{"case"}, {"id", "participant", "subject", "name"}},
    {{"phase"}, {"condition"}},
    {{"values", "value"}, {"score", "y", "outcome"}},
    {{"mt", "time"}, {"session", "occasion", "date", "day"}},
    {{"study"}, {}},
};

int* columnOf(Columns* pCols, size_t nKind) {
  int* const slots[5] = {&pCols->nCase, &pCols->nPhase, &pCols->nValue,
                         &pCols->nTime, &pCols->nStudy};
  return slots[nKind];
}

std::string quotedList(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) {
    if (!text.empty()) text += ", ";
    text += "\"" + printable(n) + "\"";
  }
  return text;
}

}  // namespace

Columns findColumns(
    const std::vector<std::string>& header,
    const std::vector<std::pair<std::string, std::string>>& names) {
  Columns cols;
  cols.nFields = static_cast<int>(header.size());
  std::vector<std::string> keys;
  for (const std::string& h : header) {
    cols.header.push_back(trimmed(h));
    keys.push_back(lowerAscii(cols.header.back()));
  }
  const size_t nKinds = 5;
  std::vector<bool> taken(header.size(), false);
  std::vector<bool> mapped(nKinds, false);
  const auto fail = [&cols](const std::string& what) {
    if (cols.error.empty()) cols.error = what;
  };
  for (const auto& [key, name] : names) {
    size_t nKind = 0;
    while (nKind < nKinds && key != kColumnKeys[nKind]) ++nKind;
    if (nKind == nKinds) {
      fail("--columns has no key \"" + printable(key) + "\"");
      continue;
    }
    const std::string wanted = lowerAscii(trimmed(name));
    int nFound = -1;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == wanted && nFound < 0) nFound = static_cast<int>(i);
    }
    if (nFound < 0) {
      fail("--columns names \"" + printable(name) + "\" for " + key +
           ", but the header has no such column (its columns: " +
           quotedList(cols.header) + ")");
      continue;
    }
    if (taken[static_cast<size_t>(nFound)]) {
      fail("--columns names \"" + printable(name) + "\" for two keys");
      continue;
    }
    taken[static_cast<size_t>(nFound)] = true;
    mapped[nKind] = true;
    *columnOf(&cols, nKind) = nFound;
  }
  for (size_t nKind = 0; nKind < nKinds; ++nKind) {
    if (mapped[nKind]) continue;
    int* pnColumn = columnOf(&cols, nKind);
    for (size_t i = 0; i < keys.size(); ++i) {
      const std::vector<std::string>& plain = kKinds[nKind].plain;
      if (taken[i] ||
          std::find(plain.begin(), plain.end(), keys[i]) == plain.end()) {
        continue;
      }
      if (*pnColumn >= 0) {
        fail("the header names the column \"" +
             printable(cols.header[static_cast<size_t>(*pnColumn)]) +
             "\" and \"" + printable(cols.header[i]) + "\"; keep one of them");
      }
      *pnColumn = static_cast<int>(i);
    }
    for (const std::string& other : kKinds[nKind].others) {
      if (*pnColumn >= 0) break;
      for (size_t i = 0; i < keys.size(); ++i) {
        if (!taken[i] && keys[i] == other) {
          if (*pnColumn >= 0) {
            fail("the header names the column \"" + printable(cols.header[i]) +
                 "\" twice; keep one of them");
          }
          *pnColumn = static_cast<int>(i);
        }
      }
    }
    if (*pnColumn >= 0) taken[static_cast<size_t>(*pnColumn)] = true;
  }
  for (size_t nKind = 0; nKind < nKinds; ++nKind) {
    const int nColumn = *columnOf(&cols, nKind);
    if (nColumn < 0) continue;
    const std::vector<std::string>& plain = kKinds[nKind].plain;
    const std::string& key = keys[static_cast<size_t>(nColumn)];
    if (std::find(plain.begin(), plain.end(), key) != plain.end()) continue;
    if (!cols.mapping.empty()) cols.mapping += ", ";
    cols.mapping += std::string(kColumnKeys[nKind]) + "=" +
                    printable(cols.header[static_cast<size_t>(nColumn)]);
  }
  if (cols.nValue >= 0) {
    cols.valueName = cols.header[static_cast<size_t>(cols.nValue)];
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
  if (cols_.nCase < 0 && nFields == cols_.nFields) noteNames(f);
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
    const std::string form = printable(value);
    if (std::none_of(p.missingForms.begin(), p.missingForms.end(),
                     [&form](const std::string& seen) {
                       return sameLabel(seen, form);
                     })) {
      p.missingForms.push_back(form);
    }
  } else {
    std::string text;
    const std::string what = numberText(value, "value", &text);
    if (!what.empty()) return setError(&p, nLine, what);
    noteMarks(value, "values", nLine, &valueMarks_);
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
    if (!readTime(time, nLine, &p, &row)) return;
    if (row.bMissing) row.time = printable(time);
  }
  p.rows.push_back(row);
}

bool CaseRules::isMissing(const std::string& field) const {
  const std::string l = lowerAscii(field);
  if (l.empty() || l == "na" || l == "n/a" || l == "#n/a") return true;
  for (const std::string& code : options_.missingCodes) {
    if (l == lowerAscii(trimmed(code))) return true;
  }
  return false;
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

// A column read with either decimal mark may not hold both: "1.000" and
// "1,500" cannot both be decimals, and one of them may be a thousands mark.
void CaseRules::noteMarks(const std::string& field, const char* what, int nLine,
                          MarksSeen* pSeen) {
  MarksSeen& seen = *pSeen;
  if (field.find(',') != std::string::npos) {
    if (seen.nCommaLine == 0) {
      seen.nCommaLine = nLine;
      seen.comma = printable(field);
    }
  } else if (field.find('.') != std::string::npos) {
    if (seen.nPointLine == 0) {
      seen.nPointLine = nLine;
      seen.point = printable(field);
    }
  } else {
    return;
  }
  if (seen.nPointLine == 0 || seen.nCommaLine == 0 || !error_.empty()) return;
  error_ = std::string("the ") + what + " column has a decimal point on line " +
           std::to_string(seen.nPointLine) + " (\"" + seen.point +
           "\") and a decimal comma on line " +
           std::to_string(seen.nCommaLine) + " (\"" + seen.comma +
           "\"); one of them may be a thousands mark: say which is the "
           "decimal mark with --decimal";
  nErrorLine_ = std::max(seen.nPointLine, seen.nCommaLine);
}

// Reads the mt of a row into *pRow; false, with the case failed, when it
// cannot be read.
bool CaseRules::readTime(const std::string& time, int nLine, PendingCase* pCase,
                         Row* pRow) {
  PendingCase& p = *pCase;
  if (isMissing(time)) {
    setError(&p, nLine, "no mt on this row");
    return false;
  }
  const int nDate = parseDate(time, &pRow->fTime);
  if (nDate < 0) {
    setError(&p, nLine,
             "mt \"" + printable(time) + "\" is no day of the calendar");
    return false;
  }
  std::string what;
  if (nDate == 0) {
    std::string text;
    what = numberText(time, "mt", &text);
    if (what.empty()) {
      noteMarks(time, "mt", nLine, &timeMarks_);
      const char* pEnd = text.data() + text.size();
      const std::from_chars_result r =
          std::from_chars(text.data(), pEnd, pRow->fTime);
      if (r.ec != std::errc() || r.ptr != pEnd || !std::isfinite(pRow->fTime))
        what = "mt \"" + printable(time) +
               "\" is neither a number nor a date (YYYY-MM-DD)";
    }
  }
  if (!what.empty()) {
    setError(&p, nLine, what);
    return false;
  }
  int& nKindLine = nDate == 1 ? p.nDateLine : p.nNumberLine;
  if (nKindLine == 0) nKindLine = nLine;
  if (p.nDateLine != 0 && p.nNumberLine != 0) {
    setError(
        &p, nLine,
        "mt \"" + printable(time) + "\" is " +
            (nDate == 1 ? "a date, but line " + std::to_string(p.nNumberLine) +
                              " has a number"
                        : "a number, but line " + std::to_string(p.nDateLine) +
                              " has a date") +
            "; a case's mt is all numbers or all dates");
    return false;
  }
  return true;
}

// Counts the values of the columns the rules do not use, to name those
// that look like case names when there is no case column.
void CaseRules::noteNames(const std::vector<std::string>& fields) {
  // A column of more names than this is no column of a few cases.
  const size_t nMaxNames = 100;
  nameColumns_.resize(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    const int n = static_cast<int>(i);
    NameColumn& column = nameColumns_[i];
    if (column.bRuledOut || n == cols_.nPhase || n == cols_.nValue ||
        n == cols_.nTime || n == cols_.nStudy || fields[i].empty()) {
      continue;
    }
    if (looksNumeric(fields[i]) || column.counts.size() > nMaxNames) {
      column.bRuledOut = true;
      column.counts.clear();
      continue;
    }
    ++column.counts[fields[i]];
  }
}

// The columns whose values look like the names of a few cases: text, at
// least two names, each on enough rows to be a case's series.
std::vector<std::string> CaseRules::nameColumns() const {
  std::vector<std::string> names;
  for (size_t i = 0; i < nameColumns_.size(); ++i) {
    const NameColumn& column = nameColumns_[i];
    if (column.bRuledOut || column.counts.size() < 2) continue;
    bool bAllRepeated = true;
    for (const auto& entry : column.counts) {
      if (entry.second < 2 * kalmir::kMinPhasePoints) bAllRepeated = false;
    }
    if (bAllRepeated && i < cols_.header.size()) {
      names.push_back(printable(cols_.header[i]));
    }
  }
  return names;
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
  if (cols_.nCase < 0 && !pending_.empty()) {
    const std::string note = noCaseColumnNote(nameColumns());
    fileNotes_.push_back(note);
    pending_.front().c.notes.push_back(note);
  }
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
  if (cols_.nTime >= 0) {
    p.c.bTimesAreDates = p.nDateLine != 0;
    for (const Row& r : rows) {
      if (!r.bMissing) p.c.times.push_back(r.fTime);
    }
    const std::vector<double>& t = p.c.times;
    double fMin = 0.0, fMax = 0.0;
    for (size_t i = 1; i < t.size(); ++i) {
      const double fStep = t[i] - t[i - 1];
      if (i == 1 || fStep < fMin) fMin = fStep;
      if (i == 1 || fStep > fMax) fMax = fStep;
    }
    // Steps such as 0.1 differ in their last bits after a subtraction;
    // only a real difference in spacing is worth a note.
    if (fMax - fMin > 1e-9 * fMax) {
      p.c.notes.push_back(unevenTimesNote(fMin, fMax, p.c.bTimesAreDates));
    }
  }
  if (p.nMissing > 0) {
    std::vector<std::string> where;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (!rows[i].bMissing) continue;
      where.push_back(cols_.nTime >= 0 ? rows[i].time : std::to_string(i + 1));
    }
    p.c.notes.push_back(
        missingValuesNote(p.nMissing, p.missingForms, where, cols_.nTime >= 0));
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
