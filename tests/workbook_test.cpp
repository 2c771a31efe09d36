#include "workbook.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "casefile.h"

namespace {

using Grid = std::vector<std::vector<std::string>>;

std::string fileBytes(const std::string& name) {
  std::ifstream in(std::string(KALMIR_TEST_DATA) + "/" + name,
                   std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string examplesFile(const std::string& name) {
  return fileBytes("../examples/" + name);
}

// The rows as RFC 4180 text, quoted where needed: what the sheet saved as
// CSV holds, for the data-file reader.
std::string asCsv(const Grid& rows) {
  std::string out;
  for (const std::vector<std::string>& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) out += ',';
      const std::string& cell = row[i];
      if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        out += cell;
        continue;
      }
      out += '"';
      for (char c : cell) {
        if (c == '"') out += '"';
        out += c;
      }
      out += '"';
    }
    out += '\n';
  }
  return out;
}

void expectSameCases(const CaseFile& expected, const CaseFile& actual) {
  ASSERT_EQ(expected.error, actual.error);
  ASSERT_EQ(expected.cases.size(), actual.cases.size());
  for (size_t i = 0; i < expected.cases.size(); ++i) {
    const Case& e = expected.cases[i];
    const Case& a = actual.cases[i];
    EXPECT_EQ(e.name, a.name);
    EXPECT_EQ(e.nLine, a.nLine);
    EXPECT_EQ(e.error, a.error);
    EXPECT_EQ(e.nNA, a.nNA);
    EXPECT_EQ(e.nNB, a.nNB);
    EXPECT_EQ(e.fY, a.fY);
    EXPECT_EQ(e.notes, a.notes);
  }
}

}  // namespace

TEST(Workbook, TellsWorkbooksFromOtherFilesByContent) {
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  EXPECT_EQ(WorkbookKind::kXlsx, workbookKind(fileBytes("data/study.xlsx")));
  EXPECT_EQ(WorkbookKind::kOds, workbookKind(fileBytes("data/study.ods")));
  EXPECT_EQ(WorkbookKind::kNone, workbookKind(examplesFile("study.csv")));
  EXPECT_EQ(WorkbookKind::kNone, workbookKind(""));
  EXPECT_EQ(WorkbookKind::kLegacy,
            workbookKind(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) +
                         std::string(504, '\0')));
  // A zip archive of something else, and a broken one.
  std::string xlsx = fileBytes("data/study.xlsx");
  EXPECT_EQ(WorkbookKind::kZip, workbookKind(xlsx.substr(0, 100)));
  const Worksheet broken = readWorkbook(xlsx.substr(0, 100), "");
  EXPECT_NE(std::string::npos, broken.error.find("damaged")) << broken.error;
  const Worksheet csv = readWorkbook(examplesFile("study.csv"), "");
  EXPECT_EQ("the file is not a workbook (.xlsx or .ods)", csv.error);
}

TEST(Workbook, ReadsEveryKindOfCellOfAnXlsxSheetAsShown) {
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  const Worksheet sheet = readWorkbook(fileBytes("data/cells.xlsx"), "");
  ASSERT_EQ("", sheet.error);
  EXPECT_EQ(WorkbookKind::kXlsx, sheet.kind);
  EXPECT_EQ("Data", sheet.name);
  EXPECT_EQ((std::vector<std::string>{"Data", "2", "Notes"}), sheet.sheetNames);
  const Grid expected = {
      // Shared strings (rich runs joined, the phonetic run left out, an
      // escaped CR, XML entities), an inline string, a formula's text, an
      // error value.
      {"case", "J\xC3\xBCrgen", "inline", "line\rbreak", "<5 & \"q\"", "case!",
       "#N/A"},
      // 15 significant digits at most (the shorter of plain and exponent
      // form beyond 1e15); -0 shows as 0; a format whose "d"
      // is quoted text shows no date; a formula never computed is empty.
      {"3", "2.5", "0.3", "0", "1e+20", "1.5e-07", "45352",
       "123456789012346000"},
      {},
      // Built-in and custom date formats, a date with a time, the 29
      // February 1900 of serial 60, booleans, a gap, a typed date; the last
      // day a date format shows, and serials beyond it and before the
      // first day, shown as numbers.
      {"2024-03-01", "2024-03-01", "2024-03-01 12:00:00", "1900-02-29",
       "1900-03-01", "TRUE", "FALSE", "", "", "2024-03-01", "9999-12-31",
       "2958466", "0.5"},
  };
  EXPECT_EQ(expected, sheet.rows);
}

TEST(Workbook, ReadsEveryKindOfCellOfAnOdsSheetAsShown) {
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  const Worksheet sheet = readWorkbook(fileBytes("data/cells.ods"), "");
  ASSERT_EQ("", sheet.error);
  EXPECT_EQ(WorkbookKind::kOds, sheet.kind);
  EXPECT_EQ("Data", sheet.name);
  const Grid expected = {
      // The annotation is no part of the cell; text:s, a tab and a second
      // paragraph are; a string value stands before its shown text.
      {"case", "J\xC3\xBCrgen", "a  b\tc\nd", "given"},
      // Numbers from their values, not from the German locale's text; a
      // cell repeated three times.
      {"3", "2.5", "0.25", "-1.5", "7", "7", "7"},
      {},
      {},
      {},
      // Dates in ISO form, a gap of two repeated empty cells, a boolean,
      // and a time as shown.
      {"2024-03-01", "2024-03-01 12:00:00", "", "", "TRUE", "10:30"},
  };
  EXPECT_EQ(expected, sheet.rows);
}

TEST(Workbook, PicksASheetByNameOrPlace) {
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  for (const char* file : {"data/cells.xlsx", "data/cells.ods"}) {
    SCOPED_TRACE(file);
    const std::string bytes = fileBytes(file);
    const Worksheet notes = readWorkbook(bytes, "Notes");
    EXPECT_EQ("Notes", notes.name);
    EXPECT_EQ((Grid{{"", "third"}}), notes.rows);
    EXPECT_EQ("Notes", readWorkbook(bytes, "3").name);
    EXPECT_EQ("Data", readWorkbook(bytes, "1").name);
    // A sheet named "2" comes before the second sheet (here the same).
    const Worksheet two = readWorkbook(bytes, "2");
    EXPECT_EQ("2", two.name);
    EXPECT_EQ((Grid{{"2"}}), two.rows);

    const Worksheet missing = readWorkbook(bytes, "Tables");
    EXPECT_EQ(
        "the workbook has no sheet named \"Tables\" (its sheets: \"Data\", "
        "\"2\", \"Notes\")",
        missing.error);
    EXPECT_TRUE(missing.rows.empty());
    EXPECT_EQ(
        "the workbook has 3 sheets, so no sheet 4 (its sheets: \"Data\", "
        "\"2\", \"Notes\")",
        readWorkbook(bytes, "4").error);
  }
}

TEST(Workbook, CountsDatesInThe1904System) {
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  const Worksheet sheet = readWorkbook(fileBytes("data/dates1904.xlsx"), "");
  EXPECT_EQ((Grid{{"1904-01-01", "2024-03-01", "9999-12-31", "2957004"}}),
            sheet.rows);
}

TEST(Workbook, GivesTheSameCasesAsTheSameDataSavedAsCsv) {
  // examples/study.csv saved by a spreadsheet in both formats: numbers as
  // numbers, NA as text, rows padded with repeated empty cells (.ods).
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  const std::string csv = examplesFile("study.csv");
  const CaseFile fromCsv = readCaseText(csv, "study", CaseFileOptions());
  ASSERT_EQ(4u, fromCsv.cases.size());
  for (const char* file : {"data/study.xlsx", "data/study.ods"}) {
    SCOPED_TRACE(file);
    const Worksheet sheet = readWorkbook(fileBytes(file), "");
    ASSERT_EQ("", sheet.error);
    EXPECT_EQ(csv, asCsv(sheet.rows));
    expectSameCases(
        fromCsv, readCaseText(asCsv(sheet.rows), "study", CaseFileOptions()));
  }
}

TEST(Workbook, KeepsHostileFilesWithinItsLimits) {
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  // A 4 KB file whose sheet inflates to 3 MB, against a cap of 1 MB; the
  // default cap lets it through.
  WorkbookLimits small;
  small.nMaxPartBytes = size_t{1} << 20;
  const std::string inflating = fileBytes("data/inflating.xlsx");
  const Worksheet capped = readWorkbook(inflating, "", small);
  EXPECT_NE(std::string::npos, capped.error.find("inflates to more than 1 MB"))
      << capped.error;
  EXPECT_TRUE(capped.rows.empty());
  EXPECT_EQ((Grid{{"1"}}), readWorkbook(inflating, "").rows);

  // 16384 filled cells repeated in a million rows: refused at the cell cap
  // without building them.
  const Worksheet repeated = readWorkbook(fileBytes("data/repeated.ods"), "");
  EXPECT_NE(std::string::npos, repeated.error.find("more than 2000000 cells"))
      << repeated.error;
  EXPECT_TRUE(repeated.rows.empty());

  // The cap counts stored empty cells and rows too, and nothing beyond.
  WorkbookLimits tight;
  tight.nMaxCells = 2;  // one cell, one row
  EXPECT_EQ((Grid{{"2"}}),
            readWorkbook(fileBytes("data/cells.ods"), "2", tight).rows);
  tight.nMaxCells = 1;
  EXPECT_NE("", readWorkbook(fileBytes("data/cells.ods"), "2", tight).error);
  EXPECT_NE("", readWorkbook(fileBytes("data/cells.xlsx"), "2", tight).error);

  // A workbook larger than the file cap is not opened.
  WorkbookLimits tiny;
  tiny.nMaxFileBytes = 1000;
  EXPECT_NE(std::string::npos,
            readWorkbook(fileBytes("data/study.xlsx"), "", tiny)
                .error.find("larger than"));
}
