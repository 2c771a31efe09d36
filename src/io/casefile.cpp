#include "casefile.h"

#include <cstring>
#include <utility>

#include "csv.h"
#include "text.h"

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
  // When no split has the columns, the one with most fields is the likely
  // separator, and what it lacks is the message.
  Columns best;
  for (char cSep : kSeparators) {
    if (options.cSeparator != 0 && cSep != options.cSeparator) continue;
    const Columns cols =
        findColumns(splitCsvRecord(raw, cSep), options.columnNames);
    if (cols.nFields > best.nFields) best = cols;
    if (cols.nPhase < 0 || cols.nValue < 0) continue;
    if (!cols.error.empty()) {
      *pFile = failed(nLine, cols.error);
      return false;
    }
    *pcSep = cSep;
    *pColumns = cols;
    return true;
  }
  if (!best.error.empty()) {
    *pFile = failed(nLine, best.error);
    return false;
  }
  std::string what = "the header row names no \"phase\" and \"values\" columns";
  if (options.cSeparator != 0) {
    what +=
        std::string(" when split at each ") + separatorName(options.cSeparator);
  } else {
    what += " (separators tried: comma, semicolon, tab)";
  }
  *pFile = failed(nLine, what + "; --columns names them");
  return false;
}

// The cases of the rules once every row is in, or the table's error.
CaseFile finished(CaseRules* pRules, const Columns& cols) {
  CaseFile file;
  file.cases = pRules->finish();
  if (!pRules->error().empty())
    return failed(pRules->errorLine(), pRules->error());
  if (!cols.mapping.empty())
    file.notes.push_back("columns read as " + cols.mapping);
  for (const std::string& note : pRules->fileNotes())
    file.notes.push_back(note);
  if (file.cases.empty()) file.bNoRows = true;
  return file;
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
    if (file.error.empty() && reader.error() == 0)
      file = finished(&rules, cols);
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

CaseFile readCaseRows(const std::vector<std::vector<std::string>>& rows,
                      const std::string& name, const CaseFileOptions& options) {
  size_t nHeader = 0;
  const auto blank = [](const std::vector<std::string>& row) {
    for (const std::string& field : row) {
      if (!trimmed(field).empty()) return false;
    }
    return true;
  };
  while (nHeader < rows.size() && blank(rows[nHeader])) ++nHeader;
  if (nHeader == rows.size()) return failed(1, "the sheet has no header row");
  const int nHeaderLine = static_cast<int>(nHeader) + 1;
  Columns cols = findColumns(rows[nHeader], options.columnNames);
  if (!cols.error.empty()) return failed(nHeaderLine, cols.error);
  if (cols.nPhase < 0 || cols.nValue < 0) {
    return failed(nHeaderLine,
                  "the header row names no \"phase\" and \"values\" "
                  "columns; --columns names them");
  }
  // A sheet's rows end at their last filled cell; the table's columns are
  // the header's.
  CaseRules rules(name, options, cols, '\0');
  for (size_t i = nHeader + 1; i < rows.size(); ++i) {
    std::vector<std::string> fields = rows[i];
    if (fields.size() < static_cast<size_t>(cols.nFields)) {
      fields.resize(static_cast<size_t>(cols.nFields));
    }
    rules.addRow(std::move(fields), static_cast<int>(i) + 1);
  }
  return finished(&rules, cols);
}
