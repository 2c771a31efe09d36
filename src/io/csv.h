#ifndef KALMIR_CSV_H_
#define KALMIR_CSV_H_

// Records and fields of comma-separated text as RFC 4180 writes them, and
// as spreadsheets export them: quoted fields (a doubled quote stands for
// one, line ends inside quotes belong to the field), blanks before an
// opening quote, a UTF-8 byte-order mark, and CRLF, LF or a lone CR as the
// line end, each counted as one line. The separator is the caller's: a
// comma, a semicolon or a tab. Knows nothing of what the fields mean.
// Reads the file through a buffer of its own; keeps nothing between files.
// A record longer than kMaxRecordBytes stops the reading (endless input
// such as /dev/zero must not fill the memory), and line numbers stop
// counting at INT_MAX rather than overflow.

#include <cstdio>
#include <string>
#include <vector>

// One record: its fields, the line it begins on, and what is wrong with
// its quoting.
struct CsvRecord {
  std::vector<std::string> fields;
  int nLine = 0;
  std::string problem;     // "text after a closing quote"; empty when sound
  bool bUnclosed = false;  // a quote still open at the end of input; the
                           // last field holds the rest of the input
};

// The longest record read: far beyond any table of measurements.
const size_t kMaxRecordBytes = 8 << 20;

class CsvReader {
 public:
  explicit CsvReader(FILE* in);  // read from the current position to EOF
  explicit CsvReader(const std::string& text);  // text must outlive it
  explicit CsvReader(std::string&&) = delete;
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // At the start of input: skips a UTF-8 byte-order mark. Returns why the
  // input cannot be read as text (UTF-16, a broken mark), or "".
  std::string skipByteOrderMark();

  // The next record, split at cSep; false at the end of input. A blank
  // line is a record of one empty field.
  bool next(char cSep, CsvRecord* pRecord);

  // The bytes of the next record as they stand, its line end made one
  // '\n', and the line it begins on; for a header whose separator is not
  // yet known. A quote opens and closes a quoted run wherever it stands.
  // False at the end of input.
  bool nextRaw(std::string* pRaw, int* pnLine);

  // The error (errno) that stopped reading the file, or 0.
  int error() const { return nError_; }
  // The line of a record longer than kMaxRecordBytes, which stopped the
  // reading; 0 when there was none.
  int tooLongLine() const { return nTooLongLine_; }

 private:
  int get();
  int peek();
  bool refill();
  void endLine(int c);
  bool readQuoted(std::string* pField);

  FILE* in_ = nullptr;
  void countLine();

  int nError_ = 0;
  int nLine_ = 1;
  size_t nRecordBytes_ = 0;
  int nRecordLine_ = 1;
  int nTooLongLine_ = 0;
  const char* p_ = nullptr;
  const char* pEnd_ = nullptr;
  std::vector<char> buf_;
};

// The fields of one record's text split at cSep, as next() splits them.
std::vector<std::string> splitCsvRecord(const std::string& text, char cSep);

#endif  // KALMIR_CSV_H_
