#include "workbook.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#if KALMIR_HAVE_WORKBOOK
#include <expat.h>
#include <zip.h>
#endif

namespace {

const char kOdsMimeType[] = "application/vnd.oasis.opendocument.spreadsheet";

}  // namespace

#if !KALMIR_HAVE_WORKBOOK

bool workbookSupported() { return false; }

WorkbookKind workbookKind(const std::string& bytes) {
  const WorkbookKind signature = workbookSignature(bytes);
  if (signature != WorkbookKind::kZip) return signature;
  // Member names stand uncompressed in the archive, and an .ods keeps its
  // media type as the first member, stored.
  if (bytes.find("xl/workbook.xml") != std::string::npos) {
    return WorkbookKind::kXlsx;
  }
  if (bytes.find(kOdsMimeType) != std::string::npos) return WorkbookKind::kOds;
  return WorkbookKind::kZip;
}

Worksheet readWorkbook(const std::string& bytes, const std::string&,
                       const WorkbookLimits&) {
  Worksheet sheet;
  sheet.kind = workbookKind(bytes);
  sheet.error =
      "this build of kalmir reads no workbooks (it was built without "
      "libzip and expat); save the sheet as CSV";
  return sheet;
}

#else  // KALMIR_HAVE_WORKBOOK

namespace {

// ---------------------------------------------------------------------------
// The grid, built row by row. Empty cells and rows are counted, not stored,
// until something follows them, so that a run of 16384 repeated empty
// columns or a million empty rows costs nothing.

class GridBuilder {
 public:
  GridBuilder(std::vector<std::vector<std::string>>* pRows,
              const WorkbookLimits& limits)
      : rows_(*pRows), limits_(limits) {}

  // Starts row nRow (from 0); false when rows go backwards.
  bool startRowAt(size_t nRow) {
    const size_t nNext = nextRow();
    if (nRow < nNext) return false;
    nEmptyRows_ += nRow - nNext;
    row_.clear();
    nEmptyCells_ = 0;
    nRowText_ = 0;
    return true;
  }
  void startRow() { startRowAt(nextRow()); }
  size_t nextRow() const { return rows_.size() + nEmptyRows_; }
  size_t nextColumn() const { return row_.size() + nEmptyCells_; }

  // nRepeat copies of a cell; false when the grid would outgrow its limits.
  bool addCells(const std::string& text, size_t nRepeat) {
    if (text.empty()) {
      nEmptyCells_ = saturatingAdd(nEmptyCells_, nRepeat);
      return true;
    }
    if (!chargeCells(nEmptyCells_) || !chargeCells(nRepeat) ||
        !chargeText(text.size(), nRepeat)) {
      return false;
    }
    row_.resize(row_.size() + nEmptyCells_);
    nEmptyCells_ = 0;
    row_.insert(row_.end(), nRepeat, text);
    nRowText_ += text.size() * nRepeat;
    return true;
  }
  // A cell at column nColumn (from 0); false when columns go backwards or
  // the grid would outgrow its limits.
  bool addCellAt(size_t nColumn, const std::string& text) {
    if (nColumn < nextColumn()) return false;
    nEmptyCells_ += nColumn - nextColumn();
    return addCells(text, 1);
  }

  // Ends the row, repeated nRepeat times; false beyond the limits.
  bool endRow(size_t nRepeat) {
    if (row_.empty()) {
      nEmptyRows_ = saturatingAdd(nEmptyRows_, nRepeat);
      return true;
    }
    if (!chargeCells(nEmptyRows_)) return false;
    rows_.resize(rows_.size() + nEmptyRows_);
    nEmptyRows_ = 0;
    for (size_t i = 0; i < nRepeat; ++i) {
      // The first copy's cells were counted as they came.
      if (i > 0 && (!chargeCells(row_.size()) || !chargeText(nRowText_, 1))) {
        return false;
      }
      if (!chargeCells(1)) return false;
      rows_.push_back(row_);
    }
    row_.clear();
    nRowText_ = 0;
    return true;
  }

 private:
  static size_t saturatingAdd(size_t a, size_t b) {
    const size_t nMax = size_t{1} << 40;
    return a >= nMax || b >= nMax - a ? nMax : a + b;
  }
  bool chargeCells(size_t n) {
    if (n > limits_.nMaxCells - nCells_) return false;
    nCells_ += n;
    return true;
  }
  bool chargeText(size_t nEach, size_t nCopies) {
    if (nEach == 0) return true;
    if (nCopies > (limits_.nMaxPartBytes - nBytes_) / nEach) return false;
    nBytes_ += nEach * nCopies;
    return true;
  }

  std::vector<std::vector<std::string>>& rows_;
  const WorkbookLimits& limits_;
  std::vector<std::string> row_;
  size_t nEmptyRows_ = 0;   // empty rows not yet stored
  size_t nEmptyCells_ = 0;  // empty cells of this row not yet stored
  size_t nCells_ = 0;       // counted against nMaxCells
  size_t nBytes_ = 0;       // text in the grid
  size_t nRowText_ = 0;     // text in the current row
};

std::string tooManyCells(const WorkbookLimits& limits) {
  return "the sheet holds more than " + std::to_string(limits.nMaxCells) +
         " cells (or more text than " +
         std::to_string(limits.nMaxPartBytes >> 20) +
         " MB), more than this program reads from a workbook";
}

// ---------------------------------------------------------------------------
// Cell values as the spreadsheet shows them.

// Spreadsheets show at most 15 significant digits; the shortest decimal
// that reads back as the double is used when it needs no more.
std::string numberText(double fValue) {
  if (fValue == 0.0) return "0";  // -0 too
  char buf[64];
  std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, fValue,
                                         std::chars_format::scientific);
  char* pExponent = std::find(buf, r.ptr, 'e');
  const long nDigits = std::count_if(
      buf, pExponent, [](char c) { return c >= '0' && c <= '9'; });
  if (nDigits > 15) {
    r = std::to_chars(buf, buf + sizeof buf, fValue,
                      std::chars_format::scientific, 14);
    std::from_chars(buf, r.ptr, fValue);
  }
  const double fMagnitude = std::fabs(fValue);
  const bool bPlain = fMagnitude >= 1e-5 && fMagnitude < 1e15;
  r = bPlain ? std::to_chars(buf, buf + sizeof buf, fValue,
                             std::chars_format::fixed)
             : std::to_chars(buf, buf + sizeof buf, fValue);
  return std::string(buf, r.ptr);
}

bool parseDouble(const std::string& s, double* pfValue) {
  const char* pEnd = s.data() + s.size();
  const std::from_chars_result r = std::from_chars(s.data(), pEnd, *pfValue);
  return r.ec == std::errc() && r.ptr == pEnd && std::isfinite(*pfValue);
}

// Days since 1970-01-01 of a civil date, and back (the proleptic Gregorian
// calendar; H. Hinnant's days_from_civil and civil_from_days).
int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string civilText(int64_t nDays) {
  nDays += 719468;
  const int64_t era = (nDays >= 0 ? nDays : nDays - 146096) / 146097;
  const int64_t doe = nDays - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld",
                static_cast<long long>(y), static_cast<long long>(m),
                static_cast<long long>(d));
  return buf;
}

std::string timeText(int64_t nSeconds) {
  char buf[32];
  std::snprintf(
      buf, sizeof buf, " %02d:%02d:%02d", static_cast<int>(nSeconds / 3600),
      static_cast<int>(nSeconds / 60 % 60), static_cast<int>(nSeconds % 60));
  return buf;
}

// A date serial as the sheet shows it under a date format; empty when the
// serial is no date there (below the first day, beyond 9999-12-31, which
// is serial 2958465 in the 1900 system and 2957003 in the 1904 one). In
// the 1900 system serial 1 is 1900-01-01 and serial 60 the 29 February
// 1900 that the first spreadsheets counted and their files still count.
std::string serialDateText(double fSerial, bool b1904) {
  const double fDay = std::floor(fSerial);
  const double fLastDay = b1904 ? 2957003.0 : 2958465.0;
  if (fSerial < (b1904 ? 0.0 : 1.0) || fDay > fLastDay) return "";
  int64_t nDay = static_cast<int64_t>(fDay);
  int64_t nSeconds =
      static_cast<int64_t>(std::llround((fSerial - fDay) * 86400.0));
  if (nSeconds == 86400) {
    ++nDay;
    nSeconds = 0;
  }
  if (static_cast<double>(nDay) > fLastDay) return "";
  std::string date;
  if (b1904) {
    date = civilText(daysFromCivil(1904, 1, 1) + nDay);
  } else if (nDay == 60) {
    date = "1900-02-29";
  } else {
    date = civilText(daysFromCivil(1899, 12, nDay < 60 ? 31 : 30) + nDay);
  }
  return nSeconds == 0 ? date : date + timeText(nSeconds);
}

// An ISO 8601 date or date-time ("2024-03-01", "2024-03-01T10:30:00.5") as
// "2024-03-01", with " 10:30:00" after it when the time is not midnight.
// Text of any other form is returned as it stands.
std::string isoDateText(const std::string& s) {
  const auto digits = [&](size_t nAt, size_t nCount) {
    if (s.size() < nAt + nCount) return false;
    for (size_t i = nAt; i < nAt + nCount; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
    }
    return true;
  };
  if (!digits(0, 4) || s.size() < 10 || s[4] != '-' || !digits(5, 2) ||
      s[7] != '-' || !digits(8, 2)) {
    return s;
  }
  const std::string date = s.substr(0, 10);
  if (s.size() == 10) return date;
  if (s.size() < 19 || s[10] != 'T' || !digits(11, 2) || s[13] != ':' ||
      !digits(14, 2) || s[16] != ':' || !digits(17, 2)) {
    return s;
  }
  const std::string time = s.substr(11, 8);
  return time == "00:00:00" ? date : date + " " + time;
}

void appendUtf8(uint32_t c, std::string* pOut) {
  if (c < 0x80) {
    pOut->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    pOut->push_back(static_cast<char>(0xC0 | (c >> 6)));
    pOut->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    pOut->push_back(static_cast<char>(0xE0 | (c >> 12)));
    pOut->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    pOut->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    pOut->push_back(static_cast<char>(0xF0 | (c >> 18)));
    pOut->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    pOut->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    pOut->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Office Open XML writes characters that XML cannot hold (a CR, a control
// byte) as _xHHHH_, a UTF-16 code unit, and a literal "_x" as _x005F_x.
std::string unescapeOoxml(const std::string& s) {
  if (s.find("_x") == std::string::npos) return s;
  const auto unitAt = [&](size_t i, uint32_t* pnUnit) {
    if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') {
      return false;
    }
    uint32_t n = 0;
    for (size_t k = i + 2; k < i + 6; ++k) {
      const char c = s[k];
      const int nDigit = c >= '0' && c <= '9'   ? c - '0'
                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                : -1;
      if (nDigit < 0) return false;
      n = n * 16 + static_cast<uint32_t>(nDigit);
    }
    *pnUnit = n;
    return true;
  };
  std::string out;
  for (size_t i = 0; i < s.size();) {
    uint32_t nUnit = 0;
    if (!unitAt(i, &nUnit)) {
      out.push_back(s[i++]);
      continue;
    }
    i += 7;
    uint32_t nLow = 0;
    if (nUnit >= 0xD800 && nUnit < 0xDC00 && unitAt(i, &nLow) &&
        nLow >= 0xDC00 && nLow < 0xE000) {
      nUnit = 0x10000 + ((nUnit - 0xD800) << 10) + (nLow - 0xDC00);
      i += 7;
    } else if (nUnit >= 0xD800 && nUnit < 0xE000) {
      nUnit = 0xFFFD;
    }
    appendUtf8(nUnit, &out);
  }
  return out;
}

// A repeat count from an attribute: a whole number from 1; anything else
// counts once. Huge counts are cut to 2^31, beyond any sheet's size.
size_t repeatCount(const char* s) {
  if (s == nullptr) return 1;
  size_t n = 0;
  for (const char* p = s; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 1;
    if (n < (size_t{1} << 31)) n = n * 10 + static_cast<size_t>(*p - '0');
  }
  return n == 0 ? 1 : std::min(n, size_t{1} << 31);
}

// ---------------------------------------------------------------------------
// The archive.

class Archive {
 public:
  Archive(const std::string& bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* src =
        zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (src != nullptr) {
      zip_ = zip_open_from_source(src, ZIP_RDONLY, &error);
      if (zip_ == nullptr) zip_source_free(src);
    }
    if (zip_ == nullptr) error_ = zip_error_strerror(&error);
    zip_error_fini(&error);
  }
  ~Archive() {
    if (zip_ != nullptr) zip_discard(zip_);
  }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  bool ok() const { return zip_ != nullptr; }
  const std::string& error() const { return error_; }

  bool has(const std::string& name) const {
    return zip_name_locate(zip_, name.c_str(), ZIP_FL_NOCASE) >= 0;
  }

  // Hands the member's inflated bytes to sink a block at a time. False,
  // with *pError set, when it cannot be read or inflates beyond nMax
  // bytes, or when sink returns false (sink has said why).
  bool read(const std::string& name, size_t nMax,
            const std::function<bool(const char*, size_t)>& sink,
            std::string* pError) const {
    const zip_int64_t nIndex =
        zip_name_locate(zip_, name.c_str(), ZIP_FL_NOCASE);
    if (nIndex < 0) {
      *pError = "the workbook has no part \"" + name + "\"";
      return false;
    }
    zip_file_t* file =
        zip_fopen_index(zip_, static_cast<zip_uint64_t>(nIndex), 0);
    if (file == nullptr) {
      const int nCode = zip_error_code_zip(zip_get_error(zip_));
      if (nCode == ZIP_ER_NOPASSWD || nCode == ZIP_ER_ENCRNOTSUPP) {
        *pError =
            "the workbook is protected by a password; save it "
            "without one, or as CSV";
      } else {
        *pError = "the workbook's part \"" + name + "\" cannot be opened (" +
                  zip_error_strerror(zip_get_error(zip_)) + ")";
      }
      return false;
    }
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> closer(file, zip_fclose);
    char buf[65536];
    size_t nTotal = 0;
    for (;;) {
      const zip_int64_t n = zip_fread(file, buf, sizeof buf);
      if (n < 0) {
        *pError = "the workbook is damaged: its part \"" + name +
                  "\" cannot be read (" +
                  zip_error_strerror(zip_file_get_error(file)) + ")";
        return false;
      }
      if (n == 0) return true;
      nTotal += static_cast<size_t>(n);
      if (nTotal > nMax) {
        *pError = "the workbook's part \"" + name +
                  "\" inflates to more than " + std::to_string(nMax >> 20) +
                  " MB, more than any workbook of data needs; it was not read";
        return false;
      }
      if (!sink(buf, static_cast<size_t>(n))) return false;
    }
  }

  bool readAll(const std::string& name, size_t nMax, std::string* pOut,
               std::string* pError) const {
    pOut->clear();
    return read(
        name, nMax,
        [pOut](const char* p, size_t n) {
          pOut->append(p, n);
          return true;
        },
        pError);
  }

 private:
  zip_t* zip_ = nullptr;
  std::string error_;
};

// ---------------------------------------------------------------------------
// XML through expat, with element and attribute names stripped of their
// namespace: the parts of both formats are matched by local name.

const char kNsSeparator = '|';

const char* localName(const char* name) {
  const char* p = std::strrchr(name, kNsSeparator);
  return p == nullptr ? name : p + 1;
}

const char* attribute(const char** attrs, const char* name) {
  for (; attrs[0] != nullptr; attrs += 2) {
    if (std::strcmp(localName(attrs[0]), name) == 0) return attrs[1];
  }
  return nullptr;
}

class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  virtual void start(const char* name, const char** attrs) = 0;
  virtual void end(const char* name) = 0;
  virtual void text(const char*, size_t) {}

  // Stops the parse with an error of the handler's own.
  void fail(const std::string& what) {
    if (error_.empty()) error_ = what;
    XML_StopParser(parser_, XML_FALSE);
  }
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  void attach(XML_Parser parser) { parser_ = parser; }

 private:
  XML_Parser parser_ = nullptr;
  std::string error_;
};

bool parseXml(const Archive& archive, const std::string& part, size_t nMax,
              XmlHandler* pHandler, std::string* pError) {
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(
      XML_ParserCreateNS(nullptr, kNsSeparator), XML_ParserFree);
  if (!parser) {
    *pError = "out of memory";
    return false;
  }
  XML_Parser p = parser.get();
  pHandler->attach(p);
  XML_SetUserData(p, pHandler);
  XML_SetElementHandler(
      p,
      [](void* data, const XML_Char* name, const XML_Char** attrs) {
        static_cast<XmlHandler*>(data)->start(localName(name), attrs);
      },
      [](void* data, const XML_Char* name) {
        static_cast<XmlHandler*>(data)->end(localName(name));
      });
  XML_SetCharacterDataHandler(p, [](void* data, const XML_Char* s, int n) {
    static_cast<XmlHandler*>(data)->text(s, static_cast<size_t>(n));
  });
  // The parts of a workbook never declare a document type; one that does
  // may be defining entities to expand, so it is refused outright.
  XML_SetStartDoctypeDeclHandler(p, [](void* data, const XML_Char*,
                                       const XML_Char*, const XML_Char*, int) {
    static_cast<XmlHandler*>(data)->fail(
        "the workbook holds XML with a document type declaration, "
        "which no workbook has");
  });
  const auto feed = [&](const char* s, size_t n, bool bFinal) {
    if (XML_Parse(p, s, static_cast<int>(n), bFinal) == XML_STATUS_OK) {
      return true;
    }
    if (pHandler->failed()) {
      *pError = pHandler->error();
    } else {
      *pError = "the workbook's part \"" + part +
                "\" is not well-formed XML (line " +
                std::to_string(XML_GetCurrentLineNumber(p)) + ": " +
                XML_ErrorString(XML_GetErrorCode(p)) + ")";
    }
    return false;
  };
  if (!archive.read(
          part, nMax,
          [&](const char* s, size_t n) { return feed(s, n, false); }, pError)) {
    return false;
  }
  return feed("", 0, true);
}

// ---------------------------------------------------------------------------
// Office Open XML.

// The relationships of one part (its _rels/NAME.rels): id -> type, target.
struct Relationship {
  std::string type;
  std::string target;  // the member's name in the archive
};

// The directory of a member's name, with its slash ("xl/" of
// "xl/workbook.xml"; "" at the top).
std::string directoryOf(const std::string& name) {
  const size_t n = name.rfind('/');
  return n == std::string::npos ? "" : name.substr(0, n + 1);
}

// A target relative to directory dir, or absolute from the archive's top,
// with "." and ".." segments resolved.
std::string resolveTarget(const std::string& dir, const std::string& target) {
  const std::string path =
      !target.empty() && target[0] == '/' ? target.substr(1) : dir + target;
  std::vector<std::string> parts;
  size_t nBegin = 0;
  for (;;) {
    const size_t nEnd = path.find('/', nBegin);
    const std::string part = path.substr(nBegin, nEnd - nBegin);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (nEnd == std::string::npos) break;
    nBegin = nEnd + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : "/") + part;
  return out;
}

bool endsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

class RelsHandler : public XmlHandler {
 public:
  RelsHandler(const std::string& dir, std::map<std::string, Relationship>* p)
      : dir_(dir), rels_(*p) {}
  void start(const char* name, const char** attrs) override {
    if (std::strcmp(name, "Relationship") != 0) return;
    const char* id = attribute(attrs, "Id");
    const char* type = attribute(attrs, "Type");
    const char* target = attribute(attrs, "Target");
    const char* mode = attribute(attrs, "TargetMode");
    if (id == nullptr || type == nullptr || target == nullptr) return;
    if (mode != nullptr && std::strcmp(mode, "External") == 0) return;
    rels_[id] = {type, resolveTarget(dir_, target)};
  }
  void end(const char*) override {}

 private:
  std::string dir_;
  std::map<std::string, Relationship>& rels_;
};

// The relationships of part name; none when it has no .rels part.
bool readRels(const Archive& archive, const std::string& name,
              const WorkbookLimits& limits,
              std::map<std::string, Relationship>* pRels, std::string* pError) {
  const std::string dir = directoryOf(name);
  const std::string relsName =
      dir + "_rels/" + name.substr(dir.size()) + ".rels";
  if (!archive.has(relsName)) return true;
  RelsHandler handler(dir, pRels);
  return parseXml(archive, relsName, limits.nMaxPartBytes, &handler, pError);
}

struct SheetEntry {
  std::string name;
  std::string relId;
};

class WorkbookHandler : public XmlHandler {
 public:
  std::vector<SheetEntry> sheets;
  bool b1904 = false;
  void start(const char* name, const char** attrs) override {
    if (std::strcmp(name, "sheet") == 0) {
      const char* sheetName = attribute(attrs, "name");
      const char* id = attribute(attrs, "id");
      sheets.push_back({sheetName ? sheetName : "", id ? id : ""});
    } else if (std::strcmp(name, "workbookPr") == 0) {
      const char* date1904 = attribute(attrs, "date1904");
      b1904 = date1904 != nullptr && (std::strcmp(date1904, "1") == 0 ||
                                      std::strcmp(date1904, "true") == 0);
    }
  }
  void end(const char*) override {}
};

// Whether a number format shows a date: its code, outside quoted text,
// escaped characters and [..] sections (colours, locales, elapsed hours),
// has a day or a year in it.
bool isDateFormatCode(const std::string& code) {
  bool bQuoted = false;
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (bQuoted) {
      bQuoted = c != '"';
    } else if (c == '"') {
      bQuoted = true;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      const size_t nEnd = code.find(']', i);
      if (nEnd == std::string::npos) return false;
      i = nEnd;
    } else if (c == 'd' || c == 'D' || c == 'y' || c == 'Y') {
      return true;
    }
  }
  return false;
}

// The built-in formats that show dates: 14 to 17 and 22, and the East
// Asian ones from 27 to 36 and 50 to 58.
bool isBuiltinDateFormat(long nId) {
  return (nId >= 14 && nId <= 17) || nId == 22 || (nId >= 27 && nId <= 36) ||
         (nId >= 50 && nId <= 58);
}

class StylesHandler : public XmlHandler {
 public:
  explicit StylesHandler(std::vector<bool>* pbDateStyles)
      : bDateStyles_(*pbDateStyles) {}
  void start(const char* name, const char** attrs) override {
    if (std::strcmp(name, "numFmt") == 0) {
      const char* id = attribute(attrs, "numFmtId");
      const char* code = attribute(attrs, "formatCode");
      if (id != nullptr && code != nullptr) {
        dateFormats_[std::strtol(id, nullptr, 10)] = isDateFormatCode(code);
      }
    } else if (std::strcmp(name, "cellXfs") == 0) {
      bInCellXfs_ = true;
    } else if (bInCellXfs_ && std::strcmp(name, "xf") == 0) {
      const char* id = attribute(attrs, "numFmtId");
      const long nId = id == nullptr ? 0 : std::strtol(id, nullptr, 10);
      const auto it = dateFormats_.find(nId);
      bDateStyles_.push_back(
          it != dateFormats_.end() ? it->second : isBuiltinDateFormat(nId));
    }
  }
  void end(const char* name) override {
    if (std::strcmp(name, "cellXfs") == 0) bInCellXfs_ = false;
  }

 private:
  std::vector<bool>& bDateStyles_;
  std::map<long, bool> dateFormats_;
  bool bInCellXfs_ = false;
};

// Collects the text of <t> elements, leaving out phonetic runs (<rPh>):
// the text of a shared string or an inline string.
class RichText {
 public:
  void start(const char* name) {
    if (std::strcmp(name, "rPh") == 0) ++nPhonetic_;
    if (std::strcmp(name, "t") == 0 && nPhonetic_ == 0) bInText_ = true;
  }
  void end(const char* name) {
    if (std::strcmp(name, "rPh") == 0 && nPhonetic_ > 0) --nPhonetic_;
    if (std::strcmp(name, "t") == 0) bInText_ = false;
  }
  void text(const char* s, size_t n) {
    if (bInText_) text_.append(s, n);
  }
  std::string take() {
    std::string s = unescapeOoxml(text_);
    text_.clear();
    bInText_ = false;
    nPhonetic_ = 0;
    return s;
  }

 private:
  std::string text_;
  bool bInText_ = false;
  int nPhonetic_ = 0;
};

class SharedStringsHandler : public XmlHandler {
 public:
  SharedStringsHandler(std::vector<std::string>* pStrings,
                       const WorkbookLimits& limits)
      : strings_(*pStrings), limits_(limits) {}
  void start(const char* name, const char** /*attrs*/) override {
    if (std::strcmp(name, "si") == 0) {
      bInItem_ = true;
      rich_.take();
    } else if (bInItem_) {
      rich_.start(name);
    }
  }
  void end(const char* name) override {
    if (std::strcmp(name, "si") == 0) {
      if (strings_.size() >= limits_.nMaxCells) {
        fail(tooManyCells(limits_));
        return;
      }
      strings_.push_back(rich_.take());
      bInItem_ = false;
    } else if (bInItem_) {
      rich_.end(name);
    }
  }
  void text(const char* s, size_t n) override {
    if (bInItem_) rich_.text(s, n);
  }

 private:
  std::vector<std::string>& strings_;
  const WorkbookLimits& limits_;
  RichText rich_;
  bool bInItem_ = false;
};

// A cell reference's column and row from 0 ("B3": 1, 2); false when it is
// none or lies beyond 16384 columns and 1048576 rows.
bool parseCellReference(const char* s, size_t* pnColumn, size_t* pnRow) {
  size_t nColumn = 0, nRow = 0;
  const char* p = s;
  for (; (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'); ++p) {
    nColumn = nColumn * 26 + static_cast<size_t>((*p | 0x20) - 'a' + 1);
    if (nColumn > 16384) return false;
  }
  if (p == s || *p < '1' || *p > '9') return false;
  for (; *p >= '0' && *p <= '9'; ++p) {
    nRow = nRow * 10 + static_cast<size_t>(*p - '0');
    if (nRow > 1048576) return false;
  }
  if (*p != '\0') return false;
  *pnColumn = nColumn - 1;
  *pnRow = nRow - 1;
  return true;
}

class SheetHandler : public XmlHandler {
 public:
  SheetHandler(GridBuilder* pGrid, const std::vector<std::string>& strings,
               const std::vector<bool>& bDateStyles, bool b1904,
               const WorkbookLimits& limits)
      : grid_(*pGrid),
        strings_(strings),
        bDateStyles_(bDateStyles),
        b1904_(b1904),
        limits_(limits) {}

  void start(const char* name, const char** attrs) override {
    if (std::strcmp(name, "sheetData") == 0) {
      bInData_ = true;
    } else if (!bInData_) {
      return;
    } else if (std::strcmp(name, "row") == 0) {
      startRow(attribute(attrs, "r"));
    } else if (std::strcmp(name, "c") == 0) {
      startCell(attrs);
    } else if (bInCell_) {
      if (std::strcmp(name, "v") == 0) bInValue_ = true;
      if (std::strcmp(name, "is") == 0) bInInline_ = true;
      if (bInInline_) rich_.start(name);
    }
  }

  void end(const char* name) override {
    if (!bInData_) return;
    if (std::strcmp(name, "sheetData") == 0) {
      bInData_ = false;
    } else if (std::strcmp(name, "row") == 0) {
      if (!grid_.endRow(1)) fail(tooManyCells(limits_));
      bInRow_ = false;
    } else if (std::strcmp(name, "c") == 0) {
      endCell();
    } else if (bInCell_) {
      if (std::strcmp(name, "v") == 0) bInValue_ = false;
      if (bInInline_) rich_.end(name);
      if (std::strcmp(name, "is") == 0) bInInline_ = false;
    }
  }

  void text(const char* s, size_t n) override {
    if (bInValue_) value_.append(s, n);
    if (bInInline_) rich_.text(s, n);
  }

 private:
  void startRow(const char* r) {
    size_t nRow = grid_.nextRow();
    if (r != nullptr) {
      char* pEnd = nullptr;
      const unsigned long n = std::strtoul(r, &pEnd, 10);
      if (*pEnd != '\0' || n < 1 || n > 1048576) {
        fail("the sheet has a row numbered \"" + std::string(r) +
             "\", which is no row of a sheet");
        return;
      }
      nRow = n - 1;
    }
    if (!grid_.startRowAt(nRow)) {
      fail("the sheet's rows are out of order (row " +
           std::to_string(nRow + 1) + " follows a later one)");
      return;
    }
    bInRow_ = true;
  }

  void startCell(const char** attrs) {
    if (!bInRow_) startRow(nullptr);
    bInCell_ = true;
    value_.clear();
    rich_.take();
    const char* type = attribute(attrs, "t");
    type_ = type == nullptr ? "n" : type;
    const char* style = attribute(attrs, "s");
    nStyle_ = style == nullptr ? 0 : std::strtoul(style, nullptr, 10);
    nColumn_ = grid_.nextColumn();
    const char* ref = attribute(attrs, "r");
    size_t nRow = 0;
    if (ref != nullptr && !parseCellReference(ref, &nColumn_, &nRow)) {
      fail("the sheet has a cell at \"" + std::string(ref) +
           "\", which is no cell of a sheet");
    }
  }

  void endCell() {
    bInCell_ = bInValue_ = bInInline_ = false;
    std::string shown;
    if (type_ == "s") {
      char* pEnd = nullptr;
      const unsigned long n = std::strtoul(value_.c_str(), &pEnd, 10);
      if (value_.empty() || *pEnd != '\0' || n >= strings_.size()) {
        fail("a cell refers to shared string " + value_ +
             ", which the workbook does not have");
        return;
      }
      shown = strings_[n];
    } else if (type_ == "inlineStr") {
      shown = rich_.take();
    } else if (type_ == "str" || type_ == "e") {
      shown = unescapeOoxml(value_);
    } else if (type_ == "b") {
      shown = value_.empty() ? "" : value_ == "0" ? "FALSE" : "TRUE";
    } else if (type_ == "d") {
      shown = isoDateText(value_);
    } else {
      double fValue = 0.0;
      if (!parseDouble(value_, &fValue)) {
        shown = value_;
      } else {
        if (nStyle_ < bDateStyles_.size() && bDateStyles_[nStyle_]) {
          shown = serialDateText(fValue, b1904_);
        }
        if (shown.empty()) shown = numberText(fValue);
      }
    }
    if (!grid_.addCellAt(nColumn_, shown)) {
      fail(nColumn_ < grid_.nextColumn()
               ? "the sheet's cells are out of order in row " +
                     std::to_string(grid_.nextRow() + 1)
               : tooManyCells(limits_));
    }
  }

  GridBuilder& grid_;
  const std::vector<std::string>& strings_;
  const std::vector<bool>& bDateStyles_;
  bool b1904_;
  const WorkbookLimits& limits_;
  RichText rich_;
  std::string value_;
  std::string type_;
  unsigned long nStyle_ = 0;
  size_t nColumn_ = 0;
  bool bInData_ = false;
  bool bInRow_ = false;
  bool bInCell_ = false;
  bool bInValue_ = false;
  bool bInInline_ = false;
};

bool isWholeNumber(const std::string& s) {
  return !s.empty() && s.size() < 10 &&
         s.find_first_not_of("0123456789") == std::string::npos;
}

std::string quotedList(const std::vector<std::string>& names) {
  std::string s;
  for (size_t i = 0; i < names.size() && i < 10; ++i) {
    s += (i == 0 ? "\"" : ", \"") + names[i] + "\"";
  }
  if (names.size() > 10) s += ", ...";
  return s;
}

// The place (from 0) of the sheet that selector names among names;
// sets *pError when there is none.
size_t pickSheet(const std::vector<std::string>& names,
                 const std::string& selector, std::string* pError) {
  if (names.empty()) {
    *pError = "the workbook has no sheets";
    return 0;
  }
  if (selector.empty()) return 0;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == selector) return i;
  }
  if (isWholeNumber(selector)) {
    const unsigned long n = std::strtoul(selector.c_str(), nullptr, 10);
    if (n >= 1 && n <= names.size()) return n - 1;
    *pError = "the workbook has " + std::to_string(names.size()) +
              (names.size() == 1 ? " sheet" : " sheets") + ", so no sheet " +
              selector + " (its sheets: " + quotedList(names) + ")";
    return 0;
  }
  *pError = "the workbook has no sheet named \"" + selector +
            "\" (its sheets: " + quotedList(names) + ")";
  return 0;
}

// The main part of an Office Open XML package: the target of its
// officeDocument relationship, or where it conventionally stands.
std::string xlsxWorkbookPart(const Archive& archive,
                             const WorkbookLimits& limits) {
  std::map<std::string, Relationship> rels;
  std::string error;
  if (archive.has("_rels/.rels")) {
    RelsHandler handler("", &rels);
    if (parseXml(archive, "_rels/.rels", limits.nMaxPartBytes, &handler,
                 &error)) {
      for (const auto& r : rels) {
        if (endsWith(r.second.type, "/officeDocument") &&
            archive.has(r.second.target)) {
          return r.second.target;
        }
      }
    }
  }
  return archive.has("xl/workbook.xml") ? "xl/workbook.xml" : "";
}

WorkbookKind archiveKind(const Archive& archive, const WorkbookLimits& limits) {
  if (archive.has("mimetype")) {
    std::string mime, error;
    if (archive.readAll("mimetype", 256, &mime, &error) &&
        mime.compare(0, sizeof kOdsMimeType - 1, kOdsMimeType) == 0) {
      return WorkbookKind::kOds;
    }
  }
  if (archive.has("[Content_Types].xml") &&
      !xlsxWorkbookPart(archive, limits).empty()) {
    return WorkbookKind::kXlsx;
  }
  return WorkbookKind::kZip;
}

void readXlsx(const Archive& archive, const std::string& selector,
              const WorkbookLimits& limits, Worksheet* pSheet) {
  std::string& error = pSheet->error;
  const std::string workbookPart = xlsxWorkbookPart(archive, limits);
  WorkbookHandler book;
  if (!parseXml(archive, workbookPart, limits.nMaxPartBytes, &book, &error)) {
    return;
  }
  std::map<std::string, Relationship> rels;
  if (!readRels(archive, workbookPart, limits, &rels, &error)) return;
  for (const SheetEntry& s : book.sheets) pSheet->sheetNames.push_back(s.name);
  const size_t nSheet = pickSheet(pSheet->sheetNames, selector, &error);
  if (!error.empty()) return;
  pSheet->name = pSheet->sheetNames[nSheet];

  const auto rel = rels.find(book.sheets[nSheet].relId);
  if (rel == rels.end() || !archive.has(rel->second.target)) {
    error = "the workbook's sheet \"" + pSheet->name + "\" has no part";
    return;
  }
  if (!endsWith(rel->second.type, "/worksheet")) {
    error = "the workbook's sheet \"" + pSheet->name +
            "\" is a chart or dialog, not a sheet of cells";
    return;
  }
  std::vector<bool> bDateStyles;
  std::vector<std::string> strings;
  for (const auto& r : rels) {
    const std::string& target = r.second.target;
    if (endsWith(r.second.type, "/styles") && archive.has(target)) {
      StylesHandler styles(&bDateStyles);
      if (!parseXml(archive, target, limits.nMaxPartBytes, &styles, &error)) {
        return;
      }
    } else if (endsWith(r.second.type, "/sharedStrings") &&
               archive.has(target)) {
      SharedStringsHandler shared(&strings, limits);
      if (!parseXml(archive, target, limits.nMaxPartBytes, &shared, &error)) {
        return;
      }
    }
  }
  GridBuilder grid(&pSheet->rows, limits);
  SheetHandler handler(&grid, strings, bDateStyles, book.b1904, limits);
  parseXml(archive, rel->second.target, limits.nMaxPartBytes, &handler, &error);
}

// ---------------------------------------------------------------------------
// OpenDocument: content.xml holds every table (sheet) in order.

class OdsHandler : public XmlHandler {
 public:
  // Reads the cells of one table into pGrid: the one named name when it is
  // not empty, else the one at place nTable (from 0); with no grid, only
  // the tables' names. *pnRead is the place of the table read.
  OdsHandler(GridBuilder* pGrid, const std::string& name, size_t nTable,
             const WorkbookLimits& limits, std::vector<std::string>* pNames,
             size_t* pnRead)
      : grid_(pGrid),
        name_(name),
        nTable_(nTable),
        limits_(limits),
        names_(*pNames),
        nRead_(*pnRead) {}

  void start(const char* name, const char** attrs) override {
    if (std::strcmp(name, "table") == 0) {
      if (nDepth_++ == 0) startTable(attribute(attrs, "name"));
      return;
    }
    if (!bActive_ || nDepth_ != 1) return;
    if (nAnnotation_ > 0 || std::strcmp(name, "annotation") == 0) {
      ++nAnnotation_;
    } else if (std::strcmp(name, "table-row") == 0) {
      grid_->startRow();
      nRowRepeat_ = repeatCount(attribute(attrs, "number-rows-repeated"));
    } else if (std::strcmp(name, "table-cell") == 0 ||
               std::strcmp(name, "covered-table-cell") == 0) {
      startCell(attrs);
    } else if (bInCell_) {
      if (std::strcmp(name, "p") == 0) {
        if (nParagraphs_++ > 0) text_ += '\n';
      } else if (std::strcmp(name, "s") == 0) {
        const size_t nSpaces = repeatCount(attribute(attrs, "c"));
        if (!roomFor(nSpaces)) return;
        text_.append(nSpaces, ' ');
      } else if (std::strcmp(name, "tab") == 0) {
        text_ += '\t';
      } else if (std::strcmp(name, "line-break") == 0) {
        text_ += '\n';
      }
    }
  }

  void end(const char* name) override {
    if (std::strcmp(name, "table") == 0) {
      if (--nDepth_ == 0) bActive_ = false;
      return;
    }
    if (!bActive_ || nDepth_ != 1) return;
    if (nAnnotation_ > 0) {
      --nAnnotation_;
    } else if (std::strcmp(name, "table-row") == 0) {
      if (!grid_->endRow(nRowRepeat_)) fail(tooManyCells(limits_));
    } else if (std::strcmp(name, "table-cell") == 0 ||
               std::strcmp(name, "covered-table-cell") == 0) {
      endCell();
    }
  }

  void text(const char* s, size_t n) override {
    if (!bActive_ || !bInCell_ || nAnnotation_ > 0 || nParagraphs_ == 0) {
      return;
    }
    if (roomFor(n)) text_.append(s, n);
  }

 private:
  void startTable(const char* tableName) {
    names_.push_back(tableName == nullptr ? "" : tableName);
    if (grid_ == nullptr || bDone_) return;
    bActive_ =
        name_.empty() ? names_.size() == nTable_ + 1 : names_.back() == name_;
    if (bActive_) {
      bDone_ = true;
      nRead_ = names_.size() - 1;
    }
  }

  bool roomFor(size_t n) {
    if (n <=
        limits_.nMaxPartBytes - std::min(text_.size(), limits_.nMaxPartBytes)) {
      return true;
    }
    fail(tooManyCells(limits_));
    return false;
  }

  void startCell(const char** attrs) {
    bInCell_ = true;
    text_.clear();
    nParagraphs_ = 0;
    nColumnRepeat_ = repeatCount(attribute(attrs, "number-columns-repeated"));
    const char* type = attribute(attrs, "value-type");
    shown_.clear();
    bShownFromValue_ = false;
    if (type == nullptr) return;
    double fValue = 0.0;
    const char* value = nullptr;
    if (std::strcmp(type, "float") == 0 ||
        std::strcmp(type, "percentage") == 0 ||
        std::strcmp(type, "currency") == 0) {
      value = attribute(attrs, "value");
      if (value != nullptr && parseDouble(value, &fValue)) {
        shown_ = numberText(fValue);
        bShownFromValue_ = true;
      }
    } else if (std::strcmp(type, "date") == 0) {
      value = attribute(attrs, "date-value");
      if (value != nullptr) {
        shown_ = isoDateText(value);
        bShownFromValue_ = true;
      }
    } else if (std::strcmp(type, "boolean") == 0) {
      value = attribute(attrs, "boolean-value");
      shown_ = value != nullptr && std::strcmp(value, "true") == 0 ? "TRUE"
                                                                   : "FALSE";
      bShownFromValue_ = true;
    } else if (std::strcmp(type, "string") == 0) {
      value = attribute(attrs, "string-value");
      if (value != nullptr) {
        shown_ = value;
        bShownFromValue_ = true;
      }
    }
    // Otherwise (text, times and the like) the paragraphs show the cell.
  }

  void endCell() {
    bInCell_ = false;
    if (!grid_->addCells(bShownFromValue_ ? shown_ : text_, nColumnRepeat_)) {
      fail(tooManyCells(limits_));
    }
  }

  GridBuilder* grid_;
  std::string name_;
  size_t nTable_;
  const WorkbookLimits& limits_;
  std::vector<std::string>& names_;
  size_t& nRead_;
  bool bActive_ = false;  // in the table being read
  bool bDone_ = false;    // that table has begun
  int nDepth_ = 0;        // tables within a cell are read as its text
  int nAnnotation_ = 0;
  size_t nRowRepeat_ = 1;
  size_t nColumnRepeat_ = 1;
  bool bInCell_ = false;
  bool bShownFromValue_ = false;
  int nParagraphs_ = 0;
  std::string text_;
  std::string shown_;
};

void readOds(const Archive& archive, const std::string& selector,
             const WorkbookLimits& limits, Worksheet* pSheet) {
  std::string& error = pSheet->error;
  const std::string part = "content.xml";
  // The first sheet, and one named, are read in one pass; a sheet picked
  // by its place needs the names first, as another may be named "2".
  std::string name = selector;
  size_t nTable = 0;
  if (isWholeNumber(selector)) {
    std::vector<std::string> names;
    size_t nUnused = 0;
    OdsHandler namesOnly(nullptr, "", 0, limits, &names, &nUnused);
    if (!parseXml(archive, part, limits.nMaxPartBytes, &namesOnly, &error)) {
      return;
    }
    nTable = pickSheet(names, selector, &error);
    if (!error.empty()) return;
    name.clear();
  }
  std::vector<std::vector<std::string>> rows;
  GridBuilder grid(&rows, limits);
  std::vector<std::string> names;
  size_t nRead = 0;
  {
    OdsHandler handler(&grid, name, nTable, limits, &names, &nRead);
    if (!parseXml(archive, part, limits.nMaxPartBytes, &handler, &error)) {
      return;
    }
  }
  pSheet->sheetNames = names;
  const bool bRead =
      name.empty() ? nTable < names.size()
                   : std::find(names.begin(), names.end(), name) != names.end();
  if (!bRead) {
    pickSheet(names, selector, &error);
    return;
  }
  pSheet->name = names[nRead];
  pSheet->rows = std::move(rows);
}

}  // namespace

bool workbookSupported() { return true; }

WorkbookKind workbookKind(const std::string& bytes) {
  const WorkbookKind signature = workbookSignature(bytes);
  if (signature != WorkbookKind::kZip) return signature;
  const Archive archive(bytes);
  if (!archive.ok()) return WorkbookKind::kZip;
  return archiveKind(archive, WorkbookLimits());
}

Worksheet readWorkbook(const std::string& bytes, const std::string& sheet,
                       const WorkbookLimits& limits) {
  Worksheet result;
  if (workbookSignature(bytes) == WorkbookKind::kLegacy) {
    result.kind = WorkbookKind::kLegacy;
    result.error =
        "the file is an old binary workbook (.xls), which cannot be "
        "read; save it as .xlsx or CSV";
    return result;
  }
  if (workbookSignature(bytes) != WorkbookKind::kZip) {
    result.error = "the file is not a workbook (.xlsx or .ods)";
    return result;
  }
  if (bytes.size() > limits.nMaxFileBytes) {
    result.kind = WorkbookKind::kZip;
    result.error = "the workbook is larger than " +
                   std::to_string(limits.nMaxFileBytes >> 20) +
                   " MB, more than this program reads; save the sheet as CSV";
    return result;
  }
  const Archive archive(bytes);
  if (!archive.ok()) {
    result.kind = WorkbookKind::kZip;
    result.error = "the workbook is damaged: its zip archive cannot be read (" +
                   archive.error() + ")";
    return result;
  }
  result.kind = archiveKind(archive, limits);
  if (result.kind == WorkbookKind::kXlsx) {
    readXlsx(archive, sheet, limits, &result);
  } else if (result.kind == WorkbookKind::kOds) {
    readOds(archive, sheet, limits, &result);
  } else {
    result.error =
        "the file is a zip archive, but not an .xlsx or .ods workbook";
  }
  if (!result.error.empty()) result.rows.clear();
  return result;
}

#endif  // KALMIR_HAVE_WORKBOOK
