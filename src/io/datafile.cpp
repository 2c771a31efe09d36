#include "datafile.h"

#include <cerrno>
#include <cstring>

#include "csv.h"
#include "encoding.h"
#include "text.h"
#include "workbookloader.h"

namespace {

CaseFile failed(int nLine, const std::string& what) {
  CaseFile file;
  file.error = what;
  file.nLine = nLine;
  return file;
}

bool startsWith(const std::string& bytes, const char* prefix, size_t n) {
  return bytes.size() >= n && std::memcmp(bytes.data(), prefix, n) == 0;
}

// The largest text file read: far beyond any table of measurements (a
// million cases of 20 measurements is about 300 MB), and a bound on what
// endless input such as `yes` can take.
const size_t kMaxTextBytes = size_t{512} << 20;

// Whether the text so far can be no data file: bytes that are text in
// neither UTF-8 nor Windows-1252 (a binary file, /dev/urandom). Only the
// complete lines count; wide text, whose line ends may fall inside a
// character, is left to be read whole.
bool plainlyNotText(const std::string& bytes) {
  const size_t nEnd = bytes.find_last_of("\r\n");
  if (nEnd == std::string::npos) return false;
  const DecodedText d = decodeText(bytes.substr(0, nEnd + 1));
  switch (d.encoding) {
    case TextEncoding::kUtf16LE:
    case TextEncoding::kUtf16BE:
    case TextEncoding::kUtf32LE:
    case TextEncoding::kUtf32BE:
      return false;
    default:
      return !d.error.empty();
  }
}

// Reads in to its end into *pBytes; the errno that stopped it, or 0. Text
// stops early where it cannot be read anyway, so that endless input cannot
// fill the memory: once a line runs past kMaxRecordBytes (the CSV reader
// then names that line, as for /dev/zero), once the first 64 KB are no
// text, and past kMaxTextBytes. A zip archive, which has no lines, stops
// past the largest workbook read; the workbook reader then says so.
int readAll(FILE* in, std::string* pBytes, bool* pbTooLarge) {
  std::string& bytes = *pBytes;
  const size_t nMaxWorkbook = WorkbookLimits().nMaxFileBytes;
  const size_t nSniffBytes = 65536;
  char buf[65536];
  size_t nLineStart = 0;
  bool bSniffed = false;
  *pbTooLarge = false;
  for (;;) {
    const size_t n = std::fread(buf, 1, sizeof buf, in);
    const size_t nBefore = bytes.size();
    bytes.append(buf, n);
    for (size_t i = nBefore; i < bytes.size(); ++i) {
      if (bytes[i] == '\n' || bytes[i] == '\r') nLineStart = i + 1;
    }
    if (n < sizeof buf) break;
    if (startsWith(bytes, "PK", 2)) {
      if (bytes.size() > nMaxWorkbook) break;
      continue;
    }
    if (bytes.size() - nLineStart > kMaxRecordBytes + 1) break;
    if (!bSniffed && bytes.size() >= nSniffBytes) {
      bSniffed = true;
      if (plainlyNotText(bytes)) break;
    }
    if (bytes.size() > kMaxTextBytes) {
      *pbTooLarge = true;
      break;
    }
  }
  return std::ferror(in) != 0 ? (errno != 0 ? errno : EIO) : 0;
}

}  // namespace

CaseFile readDataBytes(const std::string& bytes, const std::string& name,
                       const CaseFileOptions& options) {
  const WorkbookKind kind = workbookSignature(bytes);
  if (kind == WorkbookKind::kLegacy) {
    return failed(0,
                  "an old binary .xls workbook, which kalmir does not read; "
                  "save it as .xlsx, .ods or .csv");
  }
  if (kind == WorkbookKind::kZip) {
    const Worksheet sheet = loadWorkbook(bytes, options.sheet);
    if (sheet.kind == WorkbookKind::kZip &&
        bytes.size() <= WorkbookLimits().nMaxFileBytes) {
      return failed(0, "a zip archive that holds no .xlsx or .ods workbook");
    }
    if (!sheet.error.empty()) return failed(0, sheet.error);
    CaseFile file = readCaseRows(sheet.rows, name, options);
    // The data may be on another sheet than the first.
    if (!file.error.empty() && options.sheet.empty() &&
        sheet.sheetNames.size() > 1) {
      std::string names;
      for (const std::string& n : sheet.sheetNames) {
        names += (names.empty() ? "\"" : ", \"") + printable(n) + "\"";
      }
      file.error += " (on the first sheet, \"" + printable(sheet.name) +
                    "\"; --sheet picks another of " + names + ")";
    }
    return file;
  }
  if (!options.sheet.empty()) {
    return failed(0,
                  "--sheet picks a workbook's sheet, and this is no "
                  "workbook but text");
  }
  const DecodedText decoded = decodeText(bytes);
  if (!decoded.error.empty()) {
    return failed(decoded.nErrorLine, decoded.error);
  }
  CaseFile file = readCaseText(decoded.text, name, options);
  if (file.error.empty() && !decoded.note.empty()) {
    file.notes.insert(file.notes.begin(), decoded.note);
  }
  return file;
}

CaseFile readDataFile(FILE* in, const std::string& name,
                      const CaseFileOptions& options) {
  std::string bytes;
  bool bTooLarge = false;
  const int nError = readAll(in, &bytes, &bTooLarge);
  if (nError != 0) {
    return failed(0, std::string("cannot read it: ") + std::strerror(nError));
  }
  if (bTooLarge) {
    return failed(0, "the file is larger than " +
                         std::to_string(kMaxTextBytes >> 20) +
                         " MB, far beyond any table of measurements; is this "
                         "a data file?");
  }
  return readDataBytes(bytes, name, options);
}
