#include "csv.h"

#include <climits>

#include <cerrno>

namespace {

const size_t nBufferBytes = 65536;

bool isLineEnd(int c) { return c == '\n' || c == '\r' || c == EOF; }

}  // namespace

CsvReader::CsvReader(FILE* in) : in_(in), buf_(nBufferBytes) {}

CsvReader::CsvReader(const std::string& text)
    : p_(text.data()), pEnd_(text.data() + text.size()) {}

int CsvReader::get() {
  if (p_ == pEnd_ && !refill()) return EOF;
  if (++nRecordBytes_ > kMaxRecordBytes) {
    if (nTooLongLine_ == 0) nTooLongLine_ = nRecordLine_;
    p_ = pEnd_;
    in_ = nullptr;  // nothing more is read
    return EOF;
  }
  return static_cast<unsigned char>(*p_++);
}

void CsvReader::countLine() {
  if (nLine_ < INT_MAX) ++nLine_;
}

int CsvReader::peek() {
  if (p_ == pEnd_ && !refill()) return EOF;
  return static_cast<unsigned char>(*p_);
}

bool CsvReader::refill() {
  if (in_ == nullptr || nError_ != 0) return false;
  const size_t n = std::fread(buf_.data(), 1, buf_.size(), in_);
  p_ = buf_.data();
  pEnd_ = p_ + n;
  if (n == 0 && std::ferror(in_)) nError_ = errno != 0 ? errno : EIO;
  return n > 0;
}

std::string CsvReader::skipByteOrderMark() {
  if (peek() == 0xEF) {
    get();
    if (get() != 0xBB || get() != 0xBF) {
      return "the file begins with bytes that are not text";
    }
  } else if (peek() == 0xFF || peek() == 0xFE) {
    return "the file is UTF-16 text; save it as UTF-8 or plain CSV";
  }
  return "";
}

bool CsvReader::next(char cSep, CsvRecord* pRecord) {
  CsvRecord& rec = *pRecord;
  rec.fields.clear();
  rec.problem.clear();
  rec.bUnclosed = false;
  rec.nLine = nLine_;
  nRecordBytes_ = 0;
  nRecordLine_ = nLine_;
  if (peek() == EOF) return false;
  std::string field;
  for (;;) {
    field.clear();
    // Blanks before an opening quote are not part of the field.
    while (peek() == ' ') field += static_cast<char>(get());
    int c = get();
    if (c == '"') {
      field.clear();
      if (!readQuoted(&field)) {
        rec.bUnclosed = true;
        rec.fields.push_back(field);
        return true;
      }
      c = get();
      while (c == ' ') c = get();
      if (c != cSep && !isLineEnd(c)) {
        if (rec.problem.empty()) rec.problem = "text after a closing quote";
        while (c != cSep && !isLineEnd(c)) {
          field += static_cast<char>(c);
          c = get();
        }
      }
    } else {
      while (c != cSep && !isLineEnd(c)) {
        field += static_cast<char>(c);
        c = get();
      }
    }
    rec.fields.push_back(field);
    if (c == cSep) continue;
    endLine(c);
    return true;
  }
}

bool CsvReader::nextRaw(std::string* pRaw, int* pnLine) {
  pRaw->clear();
  *pnLine = nLine_;
  nRecordBytes_ = 0;
  nRecordLine_ = nLine_;
  if (peek() == EOF) return false;
  bool bQuoted = false;
  for (;;) {
    const int c = get();
    if (c == EOF) return true;
    if (c == '"') bQuoted = !bQuoted;
    if (!bQuoted && isLineEnd(c)) {
      pRaw->push_back('\n');
      endLine(c);
      return true;
    }
    if (c == '\n' || (c == '\r' && peek() != '\n')) countLine();
    pRaw->push_back(static_cast<char>(c));
  }
}

// After the line end c: a CR may be followed by its LF.
void CsvReader::endLine(int c) {
  if (c == EOF) return;
  if (c == '\r' && peek() == '\n') get();
  countLine();
}

// The rest of a quoted field, its closing quote read; false when input
// ends first.
bool CsvReader::readQuoted(std::string* pField) {
  for (;;) {
    const int c = get();
    if (c == EOF) return false;
    if (c == '"') {
      if (peek() != '"') return true;
      get();
    }
    if (c == '\n' || (c == '\r' && peek() != '\n')) countLine();
    pField->push_back(static_cast<char>(c));
  }
}

std::vector<std::string> splitCsvRecord(const std::string& text, char cSep) {
  CsvReader reader(text);
  CsvRecord record;
  reader.next(cSep, &record);
  return record.fields;
}
