#include "casefile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "measurement.h"
#include "notes.h"

namespace {

// Bytes from a file through a buffer, or from text in memory.
class Source {
 public:
  explicit Source(FILE* in) : in_(in) {}
  explicit Source(const std::string& text)
      : p_(text.data()), pEnd_(text.data() + text.size()) {}

  int get() {
    if (p_ == pEnd_ && !refill()) return EOF;
    return static_cast<unsigned char>(*p_++);
  }
  int peek() {
    if (p_ == pEnd_ && !refill()) return EOF;
    return static_cast<unsigned char>(*p_);
  }
  // The error that stopped reading, or 0.
  int error() const { return nError_; }

 private:
  bool refill() {
    if (in_ == nullptr || nError_ != 0) return false;
    const size_t n = std::fread(buf_, 1, sizeof buf_, in_);
    p_ = buf_;
    pEnd_ = buf_ + n;
    if (n == 0 && std::ferror(in_)) nError_ = errno != 0 ? errno : EIO;
    return n > 0;
  }

  FILE* in_ = nullptr;
  int nError_ = 0;
  char buf_[65536];
  const char* p_ = nullptr;
  const char* pEnd_ = nullptr;
};

struct Record {
  std::vector<std::string> fields;
  int nLine = 0;           // line the record begins on
  std::string problem;     // malformed quoting; empty when well formed
  bool bUnclosed = false;  // a quote still open at the end of input
};

// Splits records as RFC 4180 does, with a line counter that counts CRLF,
// LF and a lone CR (old spreadsheet exports) each as one line end.
class RecordReader {
 public:
  explicit RecordReader(Source* pSource) : src_(*pSource) {}

  // The next record; false at the end of input. A blank line is a record
  // of one empty field.
  bool next(char cSep, Record* pRec) {
    Record& rec = *pRec;
    rec.fields.clear();
    rec.problem.clear();
    rec.bUnclosed = false;
    rec.nLine = nLine_;
    if (src_.peek() == EOF) return false;
    std::string field;
    for (;;) {
      field.clear();
      // Blanks before an opening quote are not part of the field.
      while (src_.peek() == ' ') field += static_cast<char>(src_.get());
      int c = src_.get();
      if (c == '"') {
        field.clear();
        if (!readQuoted(&field)) {
          rec.bUnclosed = true;
          rec.fields.push_back(field);
          return true;
        }
        c = src_.get();
        while (c == ' ') c = src_.get();
        if (c != cSep && !isLineEnd(c)) {
          if (rec.problem.empty()) {
            rec.problem = "text after a closing quote";
          }
          while (c != cSep && !isLineEnd(c)) {
            field += static_cast<char>(c);
            c = src_.get();
          }
        }
      } else {
        while (c != cSep && !isLineEnd(c)) {
          field += static_cast<char>(c);
          c = src_.get();
        }
      }
      rec.fields.push_back(field);
      if (c == cSep) continue;
      endLine(c);
      return true;
    }
  }

  // The bytes of the next record as they stand, with its line end; a
  // quote opens and closes a quoted run wherever it stands. False at the
  // end of input.
  bool nextRaw(std::string* pRaw, int* pnLine) {
    pRaw->clear();
    *pnLine = nLine_;
    if (src_.peek() == EOF) return false;
    bool bQuoted = false;
    for (;;) {
      const int c = src_.get();
      if (c == EOF) return true;
      if (c == '"') bQuoted = !bQuoted;
      if (!bQuoted && isLineEnd(c)) {
        pRaw->push_back('\n');
        endLine(c);
        return true;
      }
      if (c == '\n' || (c == '\r' && src_.peek() != '\n')) ++nLine_;
      pRaw->push_back(static_cast<char>(c));
    }
  }

 private:
  static bool isLineEnd(int c) { return c == '\n' || c == '\r' || c == EOF; }

  // After the line end c: a CR may be followed by its LF.
  void endLine(int c) {
    if (c == EOF) return;
    if (c == '\r' && src_.peek() == '\n') src_.get();
    ++nLine_;
  }

  // The rest of a quoted field, its closing quote read; false when input
  // ends first.
  bool readQuoted(std::string* pField) {
    for (;;) {
      const int c = src_.get();
      if (c == EOF) return false;
      if (c == '"') {
        if (src_.peek() != '"') return true;
        src_.get();
      }
      if (c == '\n' || (c == '\r' && src_.peek() != '\n')) ++nLine_;
      pField->push_back(static_cast<char>(c));
    }
  }

  Source& src_;
  int nLine_ = 1;
};

std::string trim(const std::string& s) {
  const size_t nBegin = s.find_first_not_of(" \t");
  if (nBegin == std::string::npos) return "";
  const size_t nEnd = s.find_last_not_of(" \t");
  return s.substr(nBegin, nEnd - nBegin + 1);
}

std::string lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

bool sameLabel(const std::string& a, const std::string& b) {
  return lower(a) == lower(b);
}

bool isMissing(const std::string& s) { return s.empty() || lower(s) == "na"; }

// Where the columns the reader uses stand; -1 when absent.
struct Columns {
  int nCase = -1, nPhase = -1, nValue = -1, nTime = -1;
  int nFields = 0;
  std::string error;  // a column named twice
};

Columns findColumns(const std::vector<std::string>& header) {
  Columns cols;
  cols.nFields = static_cast<int>(header.size());
  std::vector<std::string> seen(4);
  for (int i = 0; i < cols.nFields; ++i) {
    const std::string name = lower(trim(header[static_cast<size_t>(i)]));
    int* pnColumn = nullptr;
    size_t nKind = 0;
    if (name == "case") {
      pnColumn = &cols.nCase;
    } else if (name == "phase") {
      pnColumn = &cols.nPhase;
      nKind = 1;
    } else if (name == "values" || name == "value") {
      pnColumn = &cols.nValue;
      nKind = 2;
    } else if (name == "mt" || name == "time") {
      pnColumn = &cols.nTime;
      nKind = 3;
    } else {
      continue;
    }
    if (*pnColumn >= 0 && cols.error.empty()) {
      cols.error = "the header names the column \"" + seen[nKind] +
                   "\" and \"" +
                   printable(trim(header[static_cast<size_t>(i)])) +
                   "\"; keep one of them";
    }
    *pnColumn = i;
    seen[nKind] = printable(trim(header[static_cast<size_t>(i)]));
  }
  return cols;
}

const char* separatorName(char c) {
  return c == ',' ? "comma" : c == ';' ? "semicolon" : "tab";
}

// One measurement row of a case, as read.
struct Row {
  double fTime = 0.0;
  float fValue = 0.0f;
  int nLine = 0;
  bool bB = false;  // B phase, else A
  bool bMissing = false;
};

// A case while its file is read: rows until the end, or its first error.
struct PendingCase {
  Case c;
  std::vector<Row> rows;
  int nMissing = 0;
  int nInexact = 0;
  std::string firstInexact;
};

class CaseFileReader {
 public:
  CaseFileReader(Source* pSource, const std::string& name,
                 const CaseFileOptions& options)
      : src_(*pSource), records_(pSource), name_(name), options_(options) {}

  CaseFile read() {
    CaseFile file;
    if (!readHeader(&file)) return finish(&file);
    Record rec;
    while (records_.next(cSep_, &rec)) {
      if (rec.bUnclosed) {
        file.error =
            "a quoted field opened here is not closed before the "
            "end of the file";
        file.nLine = rec.nLine;
        return finish(&file);
      }
      bool bBlank = true;
      for (std::string& f : rec.fields) {
        f = trim(f);
        if (!f.empty()) bBlank = false;
      }
      if (bBlank) continue;
      addRow(rec);
    }
    return finish(&file);
  }

 private:
  // Finds the separator and the columns. False, with the file's error
  // set, when the header cannot be used.
  bool readHeader(CaseFile* pFile) {
    // A UTF-8 byte-order mark is skipped; UTF-16 text cannot be read.
    if (src_.peek() == 0xEF) {
      src_.get();
      if (src_.get() != 0xBB || src_.get() != 0xBF) {
        return fail(pFile, 1, "the file begins with bytes that are not text");
      }
    } else if (src_.peek() == 0xFF || src_.peek() == 0xFE) {
      return fail(pFile, 1,
                  "the file is UTF-16 text; save it as UTF-8 or plain CSV");
    }
    std::string raw;
    int nLine = 1;
    for (;;) {
      if (!records_.nextRaw(&raw, &nLine)) {
        return fail(pFile, nLine, "the file has no header row");
      }
      if (raw.find_first_not_of(" \t\r\n") != std::string::npos) break;
    }
    const char kSeparators[] = {',', ';', '\t'};
    std::string firstError;
    for (char cSep : kSeparators) {
      if (options_.cSeparator != 0 && cSep != options_.cSeparator) continue;
      Source text(raw);
      RecordReader reader(&text);
      Record header;
      reader.next(cSep, &header);
      const Columns cols = findColumns(header.fields);
      if (cols.nPhase < 0 || cols.nValue < 0) continue;
      if (!cols.error.empty()) return fail(pFile, nLine, cols.error);
      cSep_ = cSep;
      cols_ = cols;
      valueColumn_ = trim(header.fields[static_cast<size_t>(cols.nValue)]);
      return true;
    }
    std::string what =
        "the header row names no \"phase\" and \"values\" columns";
    if (options_.cSeparator != 0) {
      what += std::string(" when split at each ") +
              separatorName(options_.cSeparator);
    } else {
      what += " (separators tried: comma, semicolon, tab)";
    }
    return fail(pFile, nLine, what);
  }

  bool fail(CaseFile* pFile, int nLine, const std::string& what) {
    pFile->error = what;
    pFile->nLine = nLine;
    return false;
  }

  PendingCase& caseNamed(const std::string& name, int nLine) {
    const auto it = index_.find(name);
    if (it != index_.end()) return pending_[it->second];
    index_.emplace(name, pending_.size());
    pending_.emplace_back();
    PendingCase& p = pending_.back();
    p.c.name = name;
    p.c.file = name_;
    p.c.valueColumn = valueColumn_;
    p.c.nLine = nLine;
    return p;
  }

  static void setError(PendingCase* p, int nLine, const std::string& what) {
    p->c.error = what;
    p->c.nLine = nLine;
    p->rows.clear();
    p->rows.shrink_to_fit();
  }

  void addRow(const Record& rec) {
    const std::vector<std::string>& f = rec.fields;
    const int nFields = static_cast<int>(f.size());
    std::string name = name_;
    if (cols_.nCase >= 0) {
      name = cols_.nCase < nFields ? f[static_cast<size_t>(cols_.nCase)] : "";
    }
    PendingCase& p = caseNamed(name, rec.nLine);
    if (!p.c.error.empty()) return;
    if (nFields != cols_.nFields) {
      std::string what =
          std::to_string(nFields) + (nFields == 1 ? " field" : " fields") +
          " where the header has " + std::to_string(cols_.nFields);
      if (nFields > cols_.nFields && cSep_ == ',') {
        what += " (a decimal comma in a comma-separated file needs quotes)";
      }
      return setError(&p, rec.nLine, what);
    }
    if (!rec.problem.empty()) return setError(&p, rec.nLine, rec.problem);
    if (name.empty()) {
      return setError(&p, rec.nLine, "the case column is empty on this row");
    }
    Row row;
    row.nLine = rec.nLine;
    const std::string& phase = f[static_cast<size_t>(cols_.nPhase)];
    if (sameLabel(phase, options_.phaseA)) {
      row.bB = false;
    } else if (sameLabel(phase, options_.phaseB)) {
      row.bB = true;
    } else if (phase.empty()) {
      return setError(&p, rec.nLine, "no phase on this row");
    } else {
      return setError(&p, rec.nLine,
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
      if (!what.empty()) return setError(&p, rec.nLine, what);
      if (!parseMeasurement(text.data(), text.size(), &row.fValue)) {
        return setError(&p, rec.nLine, valueError(value, text));
      }
      if (!heldToDigitsTyped(text.c_str(), row.fValue)) {
        if (p.nInexact++ == 0) {
          p.firstInexact = "line " + std::to_string(rec.nLine) + ": " +
                           heldAsNote(printable(value), row.fValue);
        }
      }
    }
    if (cols_.nTime >= 0) {
      const std::string& time = f[static_cast<size_t>(cols_.nTime)];
      if (isMissing(time)) return setError(&p, rec.nLine, "no mt on this row");
      std::string text;
      std::string what = numberText(time, "mt", &text);
      if (what.empty()) {
        const char* pEnd = text.data() + text.size();
        const std::from_chars_result r =
            std::from_chars(text.data(), pEnd, row.fTime);
        if (r.ec != std::errc() || r.ptr != pEnd || !std::isfinite(row.fTime))
          what = "mt \"" + printable(time) + "\" is not a number";
      }
      if (!what.empty()) return setError(&p, rec.nLine, what);
    }
    p.rows.push_back(row);
  }

  // The number text with a decimal comma turned into a point where one is
  // allowed; an error, or "" when the text may go on to be parsed.
  std::string numberText(const std::string& field, const char* what,
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

  static std::string valueError(const std::string& field,
                                const std::string& text) {
    const std::string quoted = "value \"" + printable(field) + "\"";
    const std::string l = lower(text);
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

  CaseFile finish(CaseFile* pFile) {
    if (src_.error() != 0) {
      CaseFile failed;
      failed.error =
          std::string("cannot read it: ") + std::strerror(src_.error());
      return failed;
    }
    if (!pFile->error.empty()) return std::move(*pFile);
    for (PendingCase& p : pending_) {
      finishCase(&p);
      pFile->cases.push_back(std::move(p.c));
      p.rows = std::vector<Row>();
    }
    pending_.clear();
    return std::move(*pFile);
  }

  void finishCase(PendingCase* pCase) {
    PendingCase& p = *pCase;
    if (!p.c.error.empty()) return;
    std::vector<Row>& rows = p.rows;
    if (cols_.nTime >= 0) {
      std::stable_sort(
          rows.begin(), rows.end(),
          [](const Row& a, const Row& b) { return a.fTime < b.fTime; });
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
    int nFirstA = 0, nFirstB = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      const Row& r = rows[i];
      if (r.bB) {
        if (nFirstB == 0) nFirstB = r.nLine;
        if (nFirstA == 0) {
          return setError(&p, r.nLine,
                          "phase " + b + " begins before phase " + a + order +
                              "; the " + a + " phase (baseline) comes first");
        }
      } else {
        if (nFirstA == 0) nFirstA = r.nLine;
        if (nFirstB != 0) {
          return setError(&p, r.nLine,
                          "phase " + a + " again after phase " + b + " began" +
                              order + " (on line " + std::to_string(nFirstB) +
                              "); a case has one " + a + " phase, then one " +
                              b + " phase");
        }
      }
    }
    int nNA = 0, nNB = 0;
    for (const Row& r : rows) {
      if (!r.bMissing) ++(r.bB ? nNB : nNA);
    }
    if (!phaseLengthFits(&p, a, nNA, nFirstA) ||
        !phaseLengthFits(&p, b, nNB, nFirstB)) {
      return;
    }
    p.c.nNA = nNA;
    p.c.nNB = nNB;
    p.c.fY.reserve(static_cast<size_t>(nNA) + static_cast<size_t>(nNB));
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

  bool phaseLengthFits(PendingCase* p, const std::string& label, int n,
                       int nLine) {
    const int nMax = options_.nMaxPhasePoints;
    if (n >= 2 && n <= nMax) return true;
    setError(p, nLine,
             "the " + label + " phase has " + std::to_string(n) +
                 (n == 1 ? " measurement" : " measurements") + "; 2 to " +
                 std::to_string(nMax) + " are needed");
    return false;
  }

  static std::string shortestDouble(double f) {
    char buf[32];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, f);
    return std::string(buf, r.ptr);
  }

  Source& src_;
  RecordReader records_;
  const std::string& name_;
  const CaseFileOptions& options_;
  char cSep_ = ',';
  Columns cols_;
  std::string valueColumn_;
  std::vector<PendingCase> pending_;
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace

CaseFile readCaseFile(FILE* in, const std::string& name,
                      const CaseFileOptions& options) {
  Source source(in);
  return CaseFileReader(&source, name, options).read();
}

CaseFile readCaseText(const std::string& text, const std::string& name,
                      const CaseFileOptions& options) {
  Source source(text);
  return CaseFileReader(&source, name, options).read();
}

std::string printable(const std::string& text, size_t nMax) {
  std::string s;
  for (size_t i = 0; i < text.size() && i < nMax; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    s += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
  }
  if (text.size() > nMax) s += "...";
  return s;
}
