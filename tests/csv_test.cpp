#include "csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every record of text split at cSep: "LINE:field|field|..." per record,
// with "!problem" or "!unclosed" after a record that has one.
std::vector<std::string> records(const std::string& text, char cSep = ',') {
  CsvReader reader(text);
  std::vector<std::string> result;
  CsvRecord rec;
  while (reader.next(cSep, &rec)) {
    std::string line = std::to_string(rec.nLine) + ":";
    for (size_t i = 0; i < rec.fields.size(); ++i) {
      line += (i > 0 ? "|" : "") + rec.fields[i];
    }
    if (!rec.problem.empty()) line += "!" + rec.problem;
    if (rec.bUnclosed) line += "!unclosed";
    result.push_back(line);
  }
  return result;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(Csv, SplitsFieldsAndKeepsEmptyOnes) {
  EXPECT_EQ((Lines{"1:a|b|c", "2:|x|", "3:", "4:a b| c "}),
            records("a,b,c\n,x,\n\na b, c \n"));
  EXPECT_EQ((Lines{"1:a,b|c"}), records("a,b;c", ';'));
  EXPECT_EQ((Lines{"1:a|b"}), records("a\tb", '\t'));
  EXPECT_EQ(Lines{}, records(""));
}

TEST(Csv, QuotedFieldsHoldSeparatorsQuotesAndLineEnds) {
  // A doubled quote is one quote; blanks before an opening quote and after
  // a closing one are dropped; a line end inside quotes belongs to the
  // field but still counts as a line.
  EXPECT_EQ((Lines{"1:a,b|say \"hi\"|x", "2:two\r\nlines|y", "4:z"}),
            records("\"a,b\",\"say \"\"hi\"\"\",  \"x\"  \n"
                    "\"two\r\nlines\",y\nz\n"));
  EXPECT_EQ((Lines{"1:12|3!text after a closing quote"}),
            records("\"1\"2,3\n"));
  EXPECT_EQ((Lines{"1:a", "2:b,\nc\n!unclosed"}), records("a\n\"b,\nc\n"));
}

TEST(Csv, CountsEachKindOfLineEndAsOneLine) {
  EXPECT_EQ((Lines{"1:a", "2:b", "3:c", "4:", "5:d"}),
            records("a\r\nb\rc\n\r\nd"));
}

TEST(Csv, SkipsAUtf8MarkAndRefusesUtf16) {
  const std::string texts[] = {std::string("\xEF\xBB\xBF") + "a,b\n", "a,b\n",
                               std::string("\xFF\xFE") + "a",
                               std::string("\xEF\xBB") + "a"};
  CsvReader marked(texts[0]);
  EXPECT_EQ("", marked.skipByteOrderMark());
  CsvRecord rec;
  ASSERT_TRUE(marked.next(',', &rec));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), rec.fields);
  CsvReader plain(texts[1]);
  EXPECT_EQ("", plain.skipByteOrderMark());
  ASSERT_TRUE(plain.next(',', &rec));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), rec.fields);
  EXPECT_EQ("the file is UTF-16 text; save it as UTF-8 or plain CSV",
            CsvReader(texts[2]).skipByteOrderMark());
  EXPECT_EQ("the file begins with bytes that are not text",
            CsvReader(texts[3]).skipByteOrderMark());
}

TEST(Csv, ARawRecordSplitsAsTheReaderSplits) {
  const std::string text = "\"x\ny\";b\r\nnext\n";
  CsvReader reader(text);
  std::string raw;
  int nLine = 0;
  ASSERT_TRUE(reader.nextRaw(&raw, &nLine));
  EXPECT_EQ("\"x\ny\";b\n", raw);
  EXPECT_EQ(1, nLine);
  EXPECT_EQ((std::vector<std::string>{"x\ny", "b"}), splitCsvRecord(raw, ';'));
  CsvRecord rec;
  ASSERT_TRUE(reader.next(';', &rec));
  EXPECT_EQ(3, rec.nLine);
  EXPECT_EQ("next", rec.fields[0]);
  EXPECT_FALSE(reader.nextRaw(&raw, &nLine));
}
