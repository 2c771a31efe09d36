#ifndef KALMIR_WORKBOOK_H_
#define KALMIR_WORKBOOK_H_

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

// Spreadsheet workbooks -> rows of cells, as the spreadsheet shows them.
// Reads Office Open XML (.xlsx, .xlsm) and OpenDocument (.ods) workbooks,
// recognised by their content: a zip archive holding the parts of one or
// the other. The archive is read with libzip and its XML with expat; a
// build without either reads no workbooks (workbookSupported() is false).
// Nothing is kept between calls.
//
// Cells come as text, one per column from column A, the way the sheet
// shows them and a CSV export of it writes them:
// - numbers as their shortest decimal that reads back as the stored double
//   ("3", "2.5", "0.1"), and at most 15 significant digits, as spreadsheets
//   show them; beyond 1e15 or below 1e-5 in the shorter of plain and
//   exponent form ("1e+20");
// - dates (a date number format in .xlsx, a date value in .ods) as ISO
//   "YYYY-MM-DD", with " hh:mm:ss" when there is a time of day;
// - text as it stands; booleans "TRUE" and "FALSE"; error values as their
//   code ("#N/A");
// - empty cells as "" (missing), and no empty cells or rows after the last
//   cell that holds something.

// Bounds that keep a hostile or broken file from taking the machine:
// a zip member inflates 1000-fold and more, and an .ods row or column can
// repeat itself 16384 or a million times while the file stays tiny.
struct WorkbookLimits {
  // The workbook file itself: larger than anything a study's data needs.
  size_t nMaxFileBytes = size_t{64} << 20;
  // Each XML part after inflating (the sheet, the shared strings, the
  // styles); inflation stops at this many bytes.
  size_t nMaxPartBytes = size_t{256} << 20;
  // Cells the grid may hold, empty ones before a filled one included, and
  // every row counts as one: two million cells are about 64 MB.
  size_t nMaxCells = 2000000;
};

enum class WorkbookKind {
  kNone,    // not a workbook (text, or something else)
  kZip,     // a zip archive that is no workbook (a .docx, a .zip)
  kXlsx,    // Office Open XML
  kOds,     // OpenDocument
  kLegacy,  // the old binary .xls (a compound file): not read
};

struct Worksheet {
  WorkbookKind kind = WorkbookKind::kNone;
  std::vector<std::string> sheetNames;  // every sheet, in workbook order
  std::string name;                     // the sheet that was read
  std::vector<std::vector<std::string>> rows;
  // Empty when the sheet was read; otherwise what is wrong, for a message
  // ("the workbook has no sheet named \"Tables\" (its sheets: ...)").
  std::string error;
};

// What the first bytes of a file say: an old binary workbook (kLegacy), a
// zip archive (kZip: perhaps a workbook) or neither (kNone). Reads no
// archive: workbookKind tells a workbook from another zip archive.
inline WorkbookKind workbookSignature(const std::string& bytes) {
  auto startsWith = [&bytes](const char* prefix, size_t n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), prefix, n) == 0;
  };
  if (startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
    return WorkbookKind::kLegacy;
  }
  return startsWith("PK\x03\x04", 4) ? WorkbookKind::kZip : WorkbookKind::kNone;
}

// Whether this build reads workbooks.
bool workbookSupported();

// What the bytes are, from their signature and, for a zip archive, the
// parts it holds. Cheap for text: only the first bytes are looked at.
WorkbookKind workbookKind(const std::string& bytes);

// Reads one sheet of the workbook in bytes: the first when sheet is empty,
// else the one of that name, or, when sheet is a whole number from 1, the
// sheet at that place (a sheet whose name is that number comes first).
// On any error the rows are empty.
Worksheet readWorkbook(const std::string& bytes, const std::string& sheet,
                       const WorkbookLimits& limits = WorkbookLimits());

#endif  // KALMIR_WORKBOOK_H_
