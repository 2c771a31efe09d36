#include "casefile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "measurement.h"

using namespace std::string_literals;

namespace {

// One line per case: "NAME: A values | B values" (a series: "| A values |
// B values ..."), then " [note]" for each note; or "NAME: line N: error".
// A case in a study is "NAME (study S): ...". A file that cannot be read
// is "file, line N: error".
std::string summary(const CaseFile& file) {
  if (!file.error.empty()) {
    EXPECT_TRUE(file.cases.empty()) << file.error;
    return "file, line " + std::to_string(file.nLine) + ": " + file.error;
  }
  std::string text;
  for (const Case& c : file.cases) {
    if (!text.empty()) text += "\n";
    text += c.name + (c.study.empty() ? "" : " (study " + c.study + ")") +
            ": ";
    if (!c.error.empty()) {
      text += "line " + std::to_string(c.nLine) + ": " + c.error;
      continue;
    }
    EXPECT_LE(2u, c.phaseSizes.size()) << c.name;
    EXPECT_EQ(c.nNA, c.phaseSizes[0]) << c.name;
    EXPECT_EQ(c.nNB, c.phaseSizes[1]) << c.name;
    size_t nAt = 0;
    for (size_t k = 0; k < c.phaseSizes.size(); ++k) {
      if (k > 0) text += "|";
      for (int i = 0; i < c.phaseSizes[k]; ++i, ++nAt) {
        if (i > 0) text += " ";
        text += shortestText(c.fY[nAt]);
      }
    }
    EXPECT_EQ(nAt, c.fY.size()) << c.name;
    for (const std::string& note : c.notes) text += " [" + note + "]";
  }
  return text;
}

struct InputCase {
  const char* what;
  std::string text;
  std::string expected;
  CaseFileOptions options = CaseFileOptions();
};

CaseFileOptions separator(char c) {
  CaseFileOptions o;
  o.cSeparator = c;
  return o;
}

CaseFileOptions decimal(char c) {
  CaseFileOptions o;
  o.cDecimal = c;
  return o;
}

CaseFileOptions labels(const char* a, const char* b) {
  CaseFileOptions o;
  o.phaseA = a;
  o.phaseB = b;
  return o;
}

void expectAll(const std::vector<InputCase>& table) {
  for (const InputCase& t : table) {
    EXPECT_EQ(t.expected, summary(readCaseText(t.text, "f.csv", t.options)))
        << t.what;
  }
}

}  // namespace

TEST(CaseFile, SeparatorsDecimalMarksAndColumns) {
  expectAll({
      {"comma; rows of a case need not be adjacent; first row orders",
       "case,phase,values\nBo,A,1\nAl,A,5\nBo,A,2\nAl,A,6\nBo,B,3\nAl,B,7\n"
       "Bo,B,4\nAl,B,8\n",
       "Bo: 1 2|3 4\nAl: 5 6|7 8"},
      {"semicolon with decimal commas",
       "case;phase;values\nX;A;1,5\nX;A;2\nX;B;3,25\nX;B;-4,0e1\n",
       "X: 1.5 2|3.25 -40"},
      {"semicolon with decimal points",
       "case;phase;values\nX;A;1.5\nX;A;2\nX;B;3.25\nX;B;-4.0e1\n",
       "X: 1.5 2|3.25 -40"},
      {"both marks in one column: 1.000 may be a thousand",
       "case;phase;values\nX;A;1.000\nX;A;2\nY;B;3\nY;B;1,500\n",
       "file, line 5: the values column has a decimal point on line 2 "
       "(\"1.000\") and a decimal comma on line 5 (\"1,500\"); one of them "
       "may be a thousands mark: say which is the decimal mark with "
       "--decimal"},
      {"both marks in the mt column",
       "case;phase;values;mt\nX;A;1;1,5\nX;A;2;2.5\nX;B;3;3\nX;B;4;4\n",
       "file, line 3: the mt column has a decimal point on line 3 (\"2.5\") "
       "and a decimal comma on line 2 (\"1,5\"); one of them may be a "
       "thousands mark: say which is the decimal mark with --decimal"},
      {"a mark in each of two columns is no conflict",
       "case;phase;values;mt\nX;A;1,5;1.5\nX;A;2;2.5\nX;B;3;3.5\nX;B;4;4.5\n",
       "X: 1.5 2|3 4"},
      {"tab", "case\tphase\tvalues\nX\tA\t1\nX\tA\t2\nX\tB\t3\nX\tB\t4\n",
       "X: 1 2|3 4"},
      {"names in any case, value and time, other columns ignored, blanks",
       " Phase ,Notes,VALUE , ID, "
       "TIME,Case\nA,x,1,7,1,X\nA,,2,,2,X\nB,y,3,,3,X\n"
       "B,,4,,4,X\n",
       "X: 1 2|3 4"},
      {"no case column: one case named after the file",
       "phase,values\nA,1\nA,2\nB,3\nB,4\n",
       "f.csv: 1 2|3 4 [no case column, so every row is one case]"},
      {"separator given: the header must split at it",
       "case;phase;values\nX;A;1\n",
       "file, line 1: the header row names no \"phase\" and \"values\" "
       "columns when split at each comma; --columns names them",
       separator(',')},
      {"separator given: tab",
       "case\tphase\tvalues\nX\tA\t1\nX\tA\t2\nX\tB\t3\n"
       "X\tB\t4\n",
       "X: 1 2|3 4", separator('\t')},
      {"a decimal comma is no number with comma separators, quoted or not",
       "case,phase,values\nX,A,\"1,5\"\nX,A,2\nX,B,3\nX,B,4\n",
       "X: line 2: value \"1,5\" is not a number (a decimal comma needs "
       "--decimal ,)"},
      {"--decimal , with comma separators takes quoted decimal commas",
       "case,phase,values\nX,A,\"1,5\"\nX,A,2\nX,B,3\nX,B,4\n", "X: 1.5 2|3 4",
       decimal(',')},
      {"--decimal , refuses a point",
       "case;phase;values\nX;A;1.5\nX;A;2\nX;B;3\nX;B;4\n",
       "X: line 2: value \"1.5\" is not a number (the decimal mark is a "
       "comma)",
       decimal(',')},
      {"--decimal . refuses a comma even with semicolons",
       "case;phase;values\nX;A;1,5\nX;A;2\nX;B;3\nX;B;4\n",
       "X: line 2: value \"1,5\" is not a number (a decimal comma needs "
       "--decimal ,)",
       decimal('.')},
      {"both marks in one number", "case;phase;values\nX;A;1.000,5\n",
       "X: line 2: value \"1.000,5\" is not a number"},
      {"an unquoted decimal comma in a comma-separated file",
       "case,phase,values\nX,A,1\nX,A,2,5\nX,B,3\nX,B,4\n",
       "X: line 3: 4 fields where the header has 3 (a decimal comma in a "
       "comma-separated file needs quotes)"},
      {"a short row", "case,phase,values\nX,A,1\nX,A\n",
       "X: line 3: 2 fields where the header has 3"},
  });
}

TEST(CaseFile, QuotingLineEndsAndBlankLines) {
  expectAll({
      {"quoted separators, doubled quotes and line breaks in names; lines "
       "still counted",
       "case,phase,values\n\"Smith, J\",A,1\n\"Smith, J\",A,2\n"
       "\"Smith, J\",B,3\n\"Smith, J\",B,4\n\"say \"\"hi\"\"\",A,1\n"
       "\"two\nlines\",A,1\n\"two\nlines\",A,x\n",
       "Smith, J: 1 2|3 4\nsay \"hi\": line 6: no B phase (the phase column "
       "holds only A)\ntwo\nlines: line 9: value \"x\" is not a number"},
      {"quoted numbers and labels; blanks around quotes",
       "case,phase,values\nX, \"A\" ,\"1\"\nX,A, \"2\"\nX,\"B\",3\nX,B,4\n",
       "X: 1 2|3 4"},
      {"text after a closing quote", "case,phase,values\nX,A,\"1\"2\n",
       "X: line 2: text after a closing quote"},
      {"a quote never closed",
       "case,phase,values\nX,A,1\nX,A,\"2\nX,B,3\nX,B,4\n",
       "file, line 3: a quoted field opened here is not closed before the "
       "end of the file"},
      {"byte-order mark and CRLF",
       "\xEF\xBB\xBF"
       "case,phase,values\r\nX,A,1\r\nX,A,2\r\nX,B,3\r\nX,B,x\r\n",
       "X: line 5: value \"x\" is not a number"},
      {"old Mac CR line ends",
       "case,phase,values\rX,A,1\rX,A,2\rX,B,3\rX,B,x\r",
       "X: line 5: value \"x\" is not a number"},
      {"blank lines, rows of empty fields and no final line end",
       "\n\ncase,phase,values\n\nX,A,1\n,,\n  \nX,A,2\nX,B,3\nX,B,x",
       "X: line 10: value \"x\" is not a number"},
      {"UTF-16",
       "\xFF\xFE"
       "c\0a\0"s,
       "file, line 1: the file is UTF-16 text; "
       "save it as UTF-8 or plain CSV"},
      {"empty file", "", "file, line 1: the file has no header row"},
      {"blank lines only", "\n \r\n",
       "file, line 3: the file has no header row"},
      {"no phase column", "case,value\nX,1\n",
       "file, line 1: the header row names no \"phase\" and \"values\" "
       "columns (separators tried: comma, semicolon, tab); --columns names "
       "them"},
      {"a column named twice", "case,phase,value,Values\nX,A,1,2\n",
       "file, line 1: the header names the column \"value\" and \"Values\"; "
       "keep one of them"},
      {"header only: no cases", "case,phase,values\n", ""},
  });
}

TEST(CaseFile, TimeOrderAndMissingValues) {
  expectAll({
      {"rows in mt order, mt with decimals, mixed with another case",
       "case,phase,values,mt\nX,B,30,3.5\nX,A,10,1\nY,A,1,1\nX,B,40,4\n"
       "X,A,20,2\nY,A,2,2\nY,B,3,3\nY,B,4,4\n",
       "X: 10 20|30 40 [mt is not evenly spaced (steps of 0.5 to 1.5); the "
       "analysis takes the measurements as equally spaced occasions]\nY: 1 "
       "2|3 4"},
      {"mt order puts a B row before an A row",
       "case,phase,values,mt\nX,A,1,1\nX,A,2,5\nX,B,3,3\nX,B,4,4\n",
       "X: line 2: the A1 phase has 1 measurement; 2 to 500 are needed"},
      {"mt twice in a case; another case may reuse it",
       "case,phase,values,mt\nX,A,1,1\nX,A,2,2\nY,A,1,1\nX,B,3,2\nX,B,4,4\n",
       "X: line 5: mt 2 is also on line 3\nY: line 4: no B phase (the phase "
       "column holds only A)"},
      {"mt that is missing or not a number",
       "case;phase;values;mt\nX;A;1;\nY;A;1;day 1\nZ;A;1;1,5\nZ;A;2;2\n"
       "Z;B;3;3\nZ;B;4;4\n",
       "X: line 2: no mt on this row\nY: line 3: mt \"day 1\" is neither a "
       "number nor a date (YYYY-MM-DD)\nZ: 1 2|3 4 [mt is not evenly spaced "
       "(steps of 0.5 to 1); the analysis takes the measurements as equally "
       "spaced occasions]"},
      {"empty and NA values are left out and counted",
       "case,phase,values\nX,A,1\nX,A,NA\nX,A,2\nX,B,\nX,B,3\nX,B,na\nX,B,4\n",
       "X: 1 2|3 4 [3 missing values (NA or empty) left out, at occasions 2, "
       "4 and 6]"},
      {"one missing value",
       "case,phase,values\nX,A,1\nX,A,2\nX,A,\nX,B,3\nX,B,4\n",
       "X: 1 2|3 4 [1 missing value (empty) left out, at occasion 3]"},
      {"missing values leave a phase too short",
       "case,phase,values\nX,A,1\nX,A,NA\nX,B,3\nX,B,4\n",
       "X: line 2: the A phase has 1 measurement; 2 to 500 are needed"},
      {"values a float holds only rounded",
       "case,phase,values\nX,A,100000003\nX,A,2\nX,B,3\nX,B,1e-50\n",
       "X: 100000000 2|3 0 [line 2: 100000003 is held as 100000000 (and 1 "
       "more value is rounded likewise); a single-precision float keeps "
       "about 7 significant digits, and the analysis uses what it holds]"},
      {"the dialogue's number forms",
       "case,phase,values\nX,A,+2.5\nX,A,.5\nX,B,4.\nX,B,1.5E1\n",
       "X: 2.5 0.5|4 15"},
  });
}

TEST(CaseFile, EveryKindOfBadCaseFailsAloneAndKeepsItsRow) {
  std::string big = "case,phase,values\n";
  for (int i = 0; i < 501; ++i) big += "L,A,1\n";
  big += "L,B,1\nL,B,2\nS,A,1\nS,A,2\nS,B,3\nS,B,4\n";
  expectAll({
      {"only A", "case,phase,values\nX,A,1\nX,A,2\n",
       "X: line 2: no B phase (the phase column holds only A)"},
      {"B before A", "case,phase,values\nX,B,1\nX,A,2\n",
       "X: line 2: phase B begins before phase A; the A phase (baseline) "
       "comes first"},
      {"a third phase after a B phase of one point",
       "case,phase,values\nX,A,1\nX,A,2\nX,B,3\nX,A,4\n",
       "X: line 4: the B1 phase has 1 measurement; 2 to 500 are needed"},
      {"an unknown and an empty label",
       "case,phase,values\nX,A,1\nX,C,2\nY,,1\n",
       "X: line 3: phase \"C\" is neither A nor B (--phase-a and --phase-b "
       "set the labels)\nY: line 4: no phase on this row"},
      {"values that are not numbers, not finite or too large",
       "case,phase,values\nP,A,3x\nQ,A,nan\nR,A,-inf\nS,A,2e9\nT,A,1e400\n"
       "U,A,0x10\nV,A,5\0009\n"s,
       "P: line 2: value \"3x\" is not a number\nQ: line 3: value \"nan\" is "
       "not a finite number\nR: line 4: value \"-inf\" is not a finite "
       "number\nS: line 5: value \"2e9\" lies beyond 1e9 in magnitude, the "
       "largest accepted\nT: line 6: value \"1e400\" lies beyond 1e9 in "
       "magnitude, the largest accepted\nU: line 7: value \"0x10\" is not a "
       "number\nV: line 8: value \"5?9\" is not a number"},
      {"the magnitude limit itself",
       "case,phase,values\nX,A,1e9\nX,A,-1000000000\nX,B,0\nX,B,1\n",
       "X: 1000000000 -1000000000|0 1"},
      {"phase lengths 1 and 501; the next case is still read", big,
       "L: line 2: the A phase has 501 measurements; 2 to 500 are needed\n"
       "S: 1 2|3 4"},
      {"a row without a case name", "case,phase,values\n,A,1\nX,A,1\n",
       ": line 2: the case column is empty on this row\nX: line 3: no B "
       "phase (the phase column holds only A)"},
      {"the first error of a case wins",
       "case,phase,values\nX,A,x\nX,A,y\nX,B,1\n",
       "X: line 2: value \"x\" is not a number"},
  });
}

TEST(CaseFile, PhaseLabelsAreSetAndMatchedWithoutCase) {
  expectAll({
      {"labels of any case", "case,phase,values\nX,a,1\nX,A,2\nX,b,3\nX,B,4\n",
       "X: 1 2|3 4"},
      {"labels set",
       "case,phase,values\nX,Baseline,1\nX,baseline,2\nX,TREATMENT,3\n"
       "X,Treatment,4\nY,A,1\n",
       "X: 1 2|3 4\nY: line 6: phase \"A\" is neither baseline nor treatment "
       "(--phase-a and --phase-b set the labels)",
       labels("baseline", "treatment")},
  });
}

TEST(CaseFile, ReadsAFileInPiecesAsItReadsText) {
  // Larger than the read buffer, with quoted names that span lines and
  // CRLF ends, so that fields and line ends straddle buffer boundaries.
  std::string text =
      "\xEF\xBB\xBF"
      "case;phase;values;mt\r\n";
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "\"case " + std::to_string(i % 700) + "\r\n;\"";
    text += name + ";" + (i < 1400 ? "A" : "B") + ";" + std::to_string(i) +
            ",25;" + std::to_string(i) + "\r\n";
  }
  FILE* in = std::tmpfile();
  ASSERT_NE(nullptr, in);
  std::fwrite(text.data(), 1, text.size(), in);
  std::rewind(in);
  const CaseFile fromFile = readCaseFile(in, "f.csv", CaseFileOptions());
  std::fclose(in);
  const std::string expected =
      summary(readCaseText(text, "f.csv", CaseFileOptions()));
  EXPECT_EQ(expected, summary(fromFile));
  ASSERT_EQ(700u, fromFile.cases.size());
  EXPECT_NE(std::string::npos,
            expected.find("case 0\r\n;: 0.25 700.25|1400.25 2100.25 2800.25"));
}

TEST(CaseFile, AFileThatCannotBeReadSaysWhy) {
  FILE* dir = std::fopen("/", "rb");
  ASSERT_NE(nullptr, dir);
  const CaseFile file = readCaseFile(dir, "/", CaseFileOptions());
  std::fclose(dir);
  EXPECT_EQ("cannot read it: Is a directory", file.error);
  EXPECT_TRUE(file.cases.empty());
}

namespace {

CaseFileOptions mapped(std::vector<std::pair<std::string, std::string>> names) {
  CaseFileOptions o;
  o.columnNames = std::move(names);
  return o;
}

CaseFileOptions codes(std::vector<std::string> missing) {
  CaseFileOptions o;
  o.missingCodes = std::move(missing);
  return o;
}

}  // namespace

TEST(CaseFile, ColumnsByCommonAndGivenNames) {
  expectAll({
      {"common names, in any case",
       "ID,Session,Condition,Score\nX,1,A,1\nX,2,A,2\nX,3,B,3\nX,4,B,4\n",
       "X: 1 2|3 4"},
      {"participant and outcome; day as mt",
       "participant;day;phase;outcome\nX;2;A;2\nX;1;A;1\nX;3;B;3\nX;4;B;4\n",
       "X: 1 2|3 4"},
      {"the plain name wins over the others",
       "id,case,phase,y,values\n1,X,A,9,1\n2,X,A,9,2\n3,X,B,9,3\n4,X,B,9,4\n",
       "X: 1 2|3 4"},
      {"a date wins over a day, which may be a weekday",
       "case,day,date,phase,values\nX,Fri,2024-03-01,A,1\nX,Mon,2024-03-04,A,2\n"
       "X,Tue,2024-03-05,B,3\nX,Wed,2024-03-06,B,4\n",
       "X: 1 2|3 4 [mt is not evenly spaced (steps of 1 to 3 days); the "
       "analysis takes the measurements as equally spaced occasions]"},
      {"the first in the list of other names wins (subject before name)",
       "name,subject,phase,values\nn1,X,A,1\nn2,X,A,2\nn3,X,B,3\nn4,X,B,4\n",
       "X: 1 2|3 4"},
      {"given names win over the plain ones",
       "case,who,phase,values,rating\nP,X,A,9,1\nP,X,A,9,2\nP,X,B,9,3\n"
       "P,X,B,9,4\n",
       "X: 1 2|3 4", mapped({{"case", "who"}, {"values", "RATING"}})},
      {"a given name the header lacks names the header's columns",
       "case,phase,values\nX,A,1\n",
       "file, line 1: --columns names \"score\" for values, but the header has "
       "no such column (its columns: \"case\", \"phase\", \"values\")",
       mapped({{"values", "score"}})},
      {"one column given for two keys", "case,phase,values\nX,A,1\n",
       "file, line 1: --columns names \"values\" for two keys",
       mapped({{"values", "values"}, {"mt", "values"}})},
      {"an other name twice", "id,id,phase,values\nX,X,A,1\n",
       "file, line 1: the header names the column \"id\" twice; keep one of "
       "them"},
  });
  // The mapping is told when it is not the plain one.
  EXPECT_EQ("case=ID, phase=Condition, values=Score, mt=Session",
            findColumns({"ID", "Session", "Condition", "Score"}).mapping);
  EXPECT_EQ("", findColumns({"case", "time", "phase", "value"}).mapping);
  EXPECT_EQ(
      "values=rating",
      findColumns({"case", "phase", "rating"}, {{"values", "rating"}}).mapping);
  const CaseFile file = readCaseText(
      "id,phase,values\nX,A,1\nX,A,2\nX,B,3\nX,B,4\n", "f", CaseFileOptions());
  EXPECT_EQ((std::vector<std::string>{"columns read as case=id"}), file.notes);
}

TEST(CaseFile, AFileWithoutACaseColumnNamesColumnsThatLookLikeCases) {
  // Two participants in a column of another name, each on enough rows to
  // be a case: the file is still one case, and the note names the column.
  std::string two = "group,phase,values,comment\n";
  for (const char* name : {"Ann", "Ben"}) {
    for (int i = 1; i <= 4; ++i) {
      two += std::string(name) + (i <= 2 ? ",A," : ",B,") + std::to_string(i) +
             (i == 1 ? ",slept badly\n" : ",\n");
    }
  }
  const CaseFile file = readCaseText(two, "f.csv", CaseFileOptions());
  const std::string note =
      "no case column, so every row is one case; \"group\" looks like case "
      "names (--columns case=group reads a case per name)";
  ASSERT_EQ(1u, file.cases.size());
  EXPECT_EQ((std::vector<std::string>{note}), file.cases[0].notes);
  EXPECT_EQ((std::vector<std::string>{note}), file.notes);
  EXPECT_EQ(
      2u, readCaseText(two, "f.csv", mapped({{"case", "group"}})).cases.size());
  // Numbers, dates, a single name or names on a row or two are no cases.
  expectAll({
      {"numbers and dates",
       "n,d,phase,values\n1,2024-01-01,A,1\n1,2024-01-01,A,2\n"
       "1,2024-01-01,A,2\n1,2024-01-01,A,2\n2,2024-01-02,B,3\n"
       "2,2024-01-02,B,4\n2,2024-01-02,B,4\n2,2024-01-02,B,4\n",
       "f.csv: 1 2 2 2|3 4 4 4 [no case column, so every row is one case]"},
      {"one name throughout",
       "who,phase,values\nAnn,A,1\nAnn,A,2\nAnn,B,3\nAnn,B,4\n",
       "f.csv: 1 2|3 4 [no case column, so every row is one case]"},
  });
}

TEST(CaseFile, MissingValueCodes) {
  expectAll({
      {"empty, NA, N/A and #N/A in any case, where they stood",
       "case,phase,values\nX,A,1\nX,A,n/a\nX,A,2\nX,B,#N/A\nX,B,3\nX,B,\n"
       "X,B,4\nX,B,NA\n",
       "X: 1 2|3 4 [4 missing values (n/a, #N/A, empty or NA) left out, at "
       "occasions 2, 4, 6 and 8]"},
      {"codes of one's own",
       "case;phase;values\nX;A;1\nX;A;.\nX;A;2\nX;B;-99\nX;B;3\nX;B;4\n",
       "X: 1 2|3 4 [2 missing values (. or -99) left out, at occasions 2 and "
       "4]",
       codes({".", "-99"})},
      {"a code is matched as written, not as a number",
       "case;phase;values\nX;A;1\nX;A;2\nX;B;-99,0\nX;B;4\n", "X: 1 2|-99 4",
       codes({"-99"})},
      {"without the code it is a value", "case,phase,values\nX,A,1\nX,A,.\n",
       "X: line 3: value \".\" is not a number"},
      {"with mt, the mt of each; beyond five, how many more",
       "case,phase,values,mt\nX,A,1,1\nX,A,,2\nX,A,,3\nX,A,,4\nX,A,2,5\n"
       "X,B,,6\nX,B,,7\nX,B,,8\nX,B,3,9\nX,B,4,10\n",
       "X: 1 2|3 4 [mt is not evenly spaced (steps of 1 to 4); the analysis "
       "takes the measurements as equally spaced occasions] [6 missing values "
       "(empty) left out, at mt 2, 3, 4, 6, 7 and 1 more]"},
  });
}

TEST(CaseFile, DatesAndTheSpacingOfMt) {
  expectAll({
      {"dates in any row order, evenly spaced",
       "case,phase,values,date\nX,B,3,2024-03-03\nX,A,1,2024-03-01\n"
       "X,A,2,2024-03-02\nX,B,4,2024-03-04\n",
       "X: 1 2|3 4"},
      {"across a leap day and a year's end",
       "case,phase,values,mt\nX,A,1,2024-02-28\nX,A,2,2024-02-29\n"
       "X,B,3,2024-03-01\nY,A,1,2023-12-31\nY,A,2,2024-01-01\nY,B,3,2024-01-"
       "02\n"
       "X,B,4,2024-03-02\nY,B,4,2024-01-03\n",
       "X: 1 2|3 4\nY: 1 2|3 4"},
      {"uneven dates",
       "case,phase,values,mt\nX,A,1,2024-03-01\nX,A,2,2024-03-08\n"
       "X,B,3,2024-03-09\nX,B,4,2024-03-10\n",
       "X: 1 2|3 4 [mt is not evenly spaced (steps of 1 to 7 days); the "
       "analysis takes the measurements as equally spaced occasions]"},
      {"no such day",
       "case,phase,values,mt\nX,A,1,2023-02-29\nY,A,1,2024-13-01\n"
       "Z,A,1,2024-03-01 25:00\n",
       "X: line 2: mt \"2023-02-29\" is no day of the calendar\nY: line 3: mt "
       "\"2024-13-01\" is no day of the calendar\nZ: line 4: mt \"2024-03-01 "
       "25:00\" is no day of the calendar"},
      {"a date's other forms are no mt",
       "case,phase,values,mt\nX,A,1,1.3.2024\n",
       "X: line 2: mt \"1.3.2024\" is neither a number nor a date "
       "(YYYY-MM-DD)"},
      {"numbers and dates in one case",
       "case,phase,values,mt\nX,A,1,1\nX,A,2,2024-03-01\n",
       "X: line 3: mt \"2024-03-01\" is a date, but line 2 has a number; a "
       "case's mt is all numbers or all dates"},
      {"steps of a tenth are even",
       "case,phase,values,mt\nX,A,1,0.1\nX,A,2,0.2\nX,B,3,0.3\nX,B,4,0.4\n",
       "X: 1 2|3 4"},
  });
  const CaseFile file = readCaseText(
      "case,phase,values,mt\nX,B,3,5\nX,A,1,1\nX,A,,2\nX,A,2,3\nX,B,4,6\n"
      "Y,A,1,2024-03-01 12:00\nY,A,1,2024-03-02\nY,B,1,2024-03-03\n"
      "Y,B,1,2024-03-04\n",
      "f", CaseFileOptions());
  ASSERT_EQ(2u, file.cases.size());
  EXPECT_EQ((std::vector<double>{1, 3, 5, 6}), file.cases[0].times);
  EXPECT_FALSE(file.cases[0].bTimesAreDates);
  EXPECT_EQ((std::vector<double>{19783.5, 19784, 19785, 19786}),
            file.cases[1].times);
  EXPECT_TRUE(file.cases[1].bTimesAreDates);
  EXPECT_TRUE(readCaseText("case,phase,values\nX,A,1\nX,A,2\nX,B,3\nX,B,4\n",
                           "f", CaseFileOptions())
                  .cases[0]
                  .times.empty());
}

TEST(CaseFile, AHeaderWithoutRowsIsToldApart) {
  EXPECT_TRUE(
      readCaseText("case,phase,values\n", "f", CaseFileOptions()).bNoRows);
  EXPECT_TRUE(readCaseText("case,phase,values\n\n,,\n", "f", CaseFileOptions())
                  .bNoRows);
  EXPECT_FALSE(
      readCaseText("case,phase,values\nX,A,1\n", "f", CaseFileOptions())
          .bNoRows);
}

TEST(CaseFile, ReversalSeriesAndTheirPhaseLabels) {
  const std::string abab =
      "X: 1 2|3 4|5 6|7 8";
  expectAll({
      {"repeated labels",
       "case,phase,values\nX,A,1\nX,A,2\nX,B,3\nX,B,4\nX,A,5\nX,A,6\n"
       "X,b,7\nX,B,8\n",
       abab},
      {"numbered labels, in any case",
       "case,phase,values\nX,A1,1\nX,a1,2\nX,B1,3\nX,B1,4\nX,A2,5\n"
       "X,A2,6\nX,b2,7\nX,B2,8\n",
       abab},
      {"labels of --phase-a and --phase-b, numbered",
       "phase,values\nbase1,1\nbase1,2\ntreat1,3\ntreat1,4\nbase2,5\n"
       "base2,6\n",
       "f.csv: 1 2|3 4|5 6 [no case column, so every row is one case]", labels("Base", "Treat")},
      {"in mt order, with a missing value in the middle phase",
       "case,phase,values,mt\nX,A,1,1\nX,B,5,5\nX,A,2,2\nX,B,NA,4\n"
       "X,B,4,6\nX,A,7,7\nX,A,8,8\n",
       "X: 1 2|5 4|7 8 [mt is not evenly spaced (steps of 1 to 3); the "
       "analysis takes the measurements as equally spaced occasions] [1 "
       "missing value (NA) left out, at mt 4]"},
      {"a short phase inside the series is named by its number",
       "case,phase,values\nX,A,1\nX,A,2\nX,B,3\nX,B,4\nX,A,5\nX,B,6\n"
       "X,B,7\n",
       "X: line 6: the A2 phase has 1 measurement; 2 to 500 are needed"},
  });
}

TEST(CaseFile, SeriesThatDoNotAlternateOrRunTooLong) {
  std::string eleven = "case,phase,values\n";
  for (int i = 0; i < 22; ++i) {
    eleven += std::string("X,") + ((i / 2) % 2 == 0 ? "A" : "B") + ",1\n";
  }
  expectAll({
      {"two A phases in a row",
       "case,phase,values\nX,A1,1\nX,A1,2\nX,A2,3\nX,A2,4\nX,B2,5\n",
       "X: line 4: phase A2 follows phase A1 with no B phase between; phases "
       "alternate A, B, A, B, ..."},
      {"a number out of turn",
       "case,phase,values\nX,A1,1\nX,A1,2\nX,B1,3\nX,B1,4\nX,A3,5\n"
       "X,A3,6\n",
       "X: line 6: phase A3 where phase A2 is due; numbered phases count A1, "
       "B1, A2, B2, ..."},
      {"the first phase numbered again after the second",
       "case,phase,values\nX,A1,1\nX,A1,2\nX,B1,3\nX,B1,4\nX,A1,5\n",
       "X: line 6: phase A1 where phase A2 is due; numbered phases count A1, "
       "B1, A2, B2, ..."},
      {"plain and numbered labels mixed",
       "case,phase,values\nX,A,1\nX,A,2\nX,B1,3\nX,B1,4\n",
       "X: line 4: phase labels plain on line 2 and numbered on this row; use "
       "one form (A, B or A1, B1, A2, ...)"},
      {"labels that only look numbered",
       "case,phase,values\nX,A,1\nX,A0,2\nX,A123,3\n",
       "X: line 3: phase \"A0\" is neither A nor B (--phase-a and --phase-b "
       "set the labels)"},
      {"eleven phases", eleven,
       "X: line 22: phase 11 of 11 begins here; a case has at most 10 phases"},
  });
}

TEST(CaseFile, TheStudyColumnNamesEachCasesStudy) {
  expectAll({
      {"two studies and a case without one",
       "study,case,phase,values\nS,X,A,1\nS,X,A,2\nS,X,B,3\nS,X,B,4\n"
       "T,Y,A,1\nT,Y,A,2\nT,Y,B,3\nT,Y,B,4\n,Z,A,1\n,Z,A,2\n,Z,B,3\n"
       ",Z,B,4\n",
       "X (study S): 1 2|3 4\nY (study T): 1 2|3 4\nZ: 1 2|3 4"},
      {"a case in two studies",
       "study,case,phase,values\nS,X,A,1\nS,X,A,2\nT,X,B,3\nS,X,B,4\n",
       "X (study S): line 4: study \"T\" on this row but \"S\" on line 2; a "
       "case belongs to one study"},
  });
}
