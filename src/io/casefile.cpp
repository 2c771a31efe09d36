#include "casefile.h"

#include <cstring>
#include <utility>

#include "csv.h"

namespace {

const char* separatorName(char c) {
  return c == ',' ? "comma" : c == ';' ? "semicolon" : "tab";
}

CaseFile failed(int nLine, const std::string& what) {
  CaseFile file;
  file.error = what;
  file.nLine = nLine;
  return file;
}

// The separator and the columns from the header row. False, with *pFile
// failed, when the header cannot be used.
bool readHeader(CsvReader* pReader, const CaseFileOptions& options, char* pcSep,
                Columns* pColumns, CaseFile* pFile) {
  const std::string bomError = pReader->skipByteOrderMark();
  if (!bomError.empty()) {
    *pFile = failed(1, bomError);
    return false;
  }
  std::string raw;
  int nLine = 1;
  for (;;) {
    if (!pReader->nextRaw(&raw, &nLine)) {
      *pFile = failed(nLine, "the file has no header row");
      return false;
    }
    if (raw.find_first_not_of(" \t\r\n") != std::string::npos) break;
  }
  const char kSeparators[] = {',', ';', '\t'};
  for (char cSep : kSeparators) {
    if (options.cSeparator != 0 && cSep != options.cSeparator) continue;
    const Columns cols = findColumns(splitCsvRecord(raw, cSep));
    if (cols.nPhase < 0 || cols.nValue < 0) continue;
    if (!cols.error.empty()) {
      *pFile = failed(nLine, cols.error);
      return false;
    }
    *pcSep = cSep;
    *pColumns = cols;
    return true;
  }
  std::string what = "the header row names no \"phase\" and \"values\" columns";
  if (options.cSeparator != 0) {
    what +=
        std::string(" when split at each ") + separatorName(options.cSeparator);
  } else {
    what += " (separators tried: comma, semicolon, tab)";
  }
  *pFile = failed(nLine, what);
  return false;
}

CaseFile readCases(CsvReader* pReader, const std::string& name,
                   const CaseFileOptions& options) {
  CsvReader& reader = *pReader;
  CaseFile file;
  char cSep = ',';
  Columns cols;
  if (readHeader(&reader, options, &cSep, &cols, &file)) {
    CaseRules rules(name, options, cols, cSep);
    CsvRecord rec;
    while (reader.next(cSep, &rec)) {
      if (rec.bUnclosed) {
        file = failed(rec.nLine,
                      "a quoted field opened here is not closed before the "
                      "end of the file");
        break;
      }
      rules.addRow(std::move(rec.fields), rec.nLine, rec.problem);
    }
    if (file.error.empty() && reader.error() == 0) file.cases = rules.finish();
  }
  if (reader.tooLongLine() != 0) {
    return failed(reader.tooLongLine(),
                  "the line is longer than 8 MB, far beyond any table of "
                  "measurements; is this a data file?");
  }
  // A file that could not be read to its end says only that.
  if (reader.error() != 0) {
    return failed(
        0, std::string("cannot read it: ") + std::strerror(reader.error()));
  }
  return file;
}

}  // namespace

CaseFile readCaseFile(FILE* in, const std::string& name,
                      const CaseFileOptions& options) {
  CsvReader reader(in);
  return readCases(&reader, name, options);
}

CaseFile readCaseText(const std::string& text, const std::string& name,
                      const CaseFileOptions& options) {
  CsvReader reader(text);
  return readCases(&reader, name, options);
}
