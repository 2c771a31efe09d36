#include "datafile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "workbook.h"

namespace {

std::string fileBytes(const std::string& name) {
  std::ifstream in(std::string(KALMIR_TEST_DATA) + "/" + name,
                   std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// ASCII text widened to UTF-16 or UTF-32 code units, with the byte-order
// mark a spreadsheet's "Unicode text" export starts with.
std::string widened(const std::string& text, size_t nUnit, bool bBigEndian) {
  std::string out;
  const std::string mark =
      nUnit == 2 ? "\xFF\xFE" : std::string("\xFF\xFE\0\0", 4);
  if (bBigEndian) {
    out.assign(mark.rbegin(), mark.rend());
  } else {
    out = mark;
  }
  for (char c : text) {
    std::string unit(nUnit, '\0');
    unit[bBigEndian ? nUnit - 1 : 0] = c;
    out += unit;
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
    EXPECT_EQ(e.fY, a.fY);
    EXPECT_EQ(e.times, a.times);
    EXPECT_EQ(e.notes, a.notes);
  }
}

}  // namespace

TEST(DataFile, AWorkbookGivesTheCasesOfTheSameDataSavedAsCsv) {
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  const CaseFileOptions options;
  const CaseFile csv =
      readDataBytes(fileBytes("../examples/study.csv"), "study", options);
  ASSERT_EQ(4u, csv.cases.size());
  for (const char* file : {"data/study.xlsx", "data/study.ods"}) {
    SCOPED_TRACE(file);
    const CaseFile book = readDataBytes(fileBytes(file), "study", options);
    expectSameCases(csv, book);
    EXPECT_EQ(csv.notes, book.notes);
  }
}

TEST(DataFile, AResearchersWorkbookReadsAsItsCsv) {
  // Notes on the first sheet; the scores on the second under their own
  // names, dates as dates, #N/A and an empty cell for missing scores.
  if (!workbookSupported()) GTEST_SKIP() << "built without libzip/expat";
  const std::string book = fileBytes("data/researcher.xlsx");
  const CaseFile csv =
      readDataBytes(fileBytes("data/researcher.csv"), "r", CaseFileOptions());
  ASSERT_EQ(2u, csv.cases.size());
  EXPECT_EQ((std::vector<std::string>{
                "columns read as case=id, phase=condition, values=score, "
                "mt=date"}),
            csv.notes);
  EXPECT_EQ(3, csv.cases[0].nNA);
  EXPECT_TRUE(csv.cases[0].bTimesAreDates);
  // 2024-03-01 is day 19783 after 1970-01-01.
  EXPECT_EQ((std::vector<double>{19783, 19784, 19787, 19788, 19789, 19791}),
            csv.cases[0].times);
  for (const char* sheet : {"Scores", "2", "scores"}) {
    SCOPED_TRACE(sheet);
    CaseFileOptions options;
    options.sheet = sheet;
    const CaseFile read = readDataBytes(book, "r", options);
    if (std::string(sheet) == "scores") {
      // Sheet names are matched as written.
      EXPECT_NE(std::string::npos, read.error.find("no sheet named"));
      continue;
    }
    expectSameCases(csv, read);
    EXPECT_EQ(csv.notes, read.notes);
  }
  EXPECT_EQ(
      "the header row names no \"phase\" and \"values\" columns; "
      "--columns names them (on the first sheet, \"Notes\"; --sheet "
      "picks another of \"Notes\", \"Scores\")",
      readDataBytes(book, "r", CaseFileOptions()).error);
}

TEST(DataFile, SheetsAreChosenOnlyInWorkbooks) {
  CaseFileOptions options;
  options.sheet = "2";
  const CaseFile text =
      readDataBytes(fileBytes("../examples/study.csv"), "study", options);
  EXPECT_EQ(
      "--sheet picks a workbook's sheet, and this is no workbook but "
      "text",
      text.error);
  EXPECT_TRUE(text.cases.empty());
  if (!workbookSupported()) {
    const CaseFile book =
        readDataBytes(fileBytes("data/study.xlsx"), "study", CaseFileOptions());
    EXPECT_EQ(
        "this build of kalmir cannot read workbooks (it was built without "
        "libzip and expat); save the sheet as CSV",
        book.error);
    return;
  }
  options.sheet = "Tables";
  const CaseFile missing =
      readDataBytes(fileBytes("data/study.xlsx"), "study", options);
  EXPECT_EQ(
      "the workbook has no sheet named \"Tables\" (its sheets: "
      "\"study\")",
      missing.error);
  options.sheet = "1";
  EXPECT_EQ(
      4u,
      readDataBytes(fileBytes("data/study.ods"), "s", options).cases.size());
}

TEST(DataFile, OtherArchivesAndOldWorkbooksAreNamed) {
  // A zip archive that holds no workbook's parts, and the signature of
  // the old compound-file .xls.
  if (workbookSupported()) {
    EXPECT_EQ("a zip archive that holds no .xlsx or .ods workbook",
              readDataBytes(fileBytes("data/notes.zip"), "x", CaseFileOptions())
                  .error);
  }
  const std::string xls("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" +
                        std::string(504, '\0'));
  EXPECT_NE(std::string::npos,
            readDataBytes(xls, "x", CaseFileOptions()).error.find(".xls"));
}

TEST(DataFile, EveryEncodingGivesTheSameCases) {
  const std::string utf8 =
      "case,phase,values\nJ\xC3\xBCrgen,A,1\nJ\xC3\xBCrgen,A,2\n"
      "J\xC3\xBCrgen,B,3\nJ\xC3\xBCrgen,B,5\n";
  const CaseFile expected = readDataBytes(utf8, "f", CaseFileOptions());
  ASSERT_EQ(1u, expected.cases.size());
  EXPECT_EQ("J\xC3\xBCrgen", expected.cases[0].name);
  EXPECT_TRUE(expected.notes.empty());

  std::string cp1252 = utf8;
  for (size_t i; (i = cp1252.find("\xC3\xBC")) != std::string::npos;) {
    cp1252.replace(i, 2, "\xFC");
  }
  const CaseFile guessed = readDataBytes(cp1252, "f", CaseFileOptions());
  expectSameCases(expected, guessed);
  ASSERT_EQ(1u, guessed.notes.size());
  EXPECT_EQ(0u, guessed.notes[0].find("read as Windows-1252"));

  expectSameCases(expected,
                  readDataBytes("\xEF\xBB\xBF" + utf8, "f", CaseFileOptions()));
  // Wide text: the name in ASCII, since widened() writes no other.
  const std::string ascii =
      "case,phase,values\nAnn,A,1\nAnn,A,2\nAnn,B,3\n"
      "Ann,B,5\n";
  const CaseFile plain = readDataBytes(ascii, "f", CaseFileOptions());
  for (size_t nUnit : {2, 4}) {
    for (bool bBig : {false, true}) {
      SCOPED_TRACE(std::to_string(nUnit) + (bBig ? " BE" : " LE"));
      const CaseFile wide =
          readDataBytes(widened(ascii, nUnit, bBig), "f", CaseFileOptions());
      expectSameCases(plain, wide);
      EXPECT_TRUE(wide.notes.empty());
    }
  }
}

TEST(DataFile, ReadsAFileToItsEnd) {
  FILE* f = std::tmpfile();
  ASSERT_NE(nullptr, f);
  // Longer than one read's buffer, with a decimal comma file's separator.
  std::string text = "case;phase;values\n";
  for (int i = 0; i < 3000; ++i) {
    text += "C" + std::to_string(i) + ";A;1,5\nC" + std::to_string(i) +
            ";A;2\nC" + std::to_string(i) + ";B;3\nC" + std::to_string(i) +
            ";B;4\n";
  }
  ASSERT_EQ(text.size(), std::fwrite(text.data(), 1, text.size(), f));
  std::rewind(f);
  const CaseFile file = readDataFile(f, "f", CaseFileOptions());
  std::fclose(f);
  ASSERT_EQ("", file.error);
  ASSERT_EQ(3000u, file.cases.size());
  EXPECT_EQ((std::vector<float>{1.5f, 2, 3, 4}), file.cases[2999].fY);
}
