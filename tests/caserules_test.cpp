#include "caserules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Rows handed over as cells, as a reader of a format without separators
// (a workbook) hands them: the same cases as from a CSV file.
TEST(CaseRules, TakesRowsFromAnyReader) {
  const Columns cols = findColumns({"Phase ", "other", "VALUE", "Case"});
  EXPECT_EQ(0, cols.nPhase);
  EXPECT_EQ(2, cols.nValue);
  EXPECT_EQ(3, cols.nCase);
  EXPECT_EQ(-1, cols.nTime);
  EXPECT_EQ("", cols.error);

  CaseRules rules("book.xlsx", CaseFileOptions(), cols, '\0');
  rules.addRow({"a", "", "1", "Ann"}, 2);
  rules.addRow({"", "", "", ""}, 3);  // an empty row is skipped
  rules.addRow({"A", "", "NA", "Ann"}, 4);
  rules.addRow({"A", "", "2", "Ann"}, 5);
  rules.addRow({"A", "", "1", "Ben"}, 6);
  rules.addRow({"B", "", " 3 ", "Ann"}, 7);
  rules.addRow({"B", "", "0.1", "Ann"}, 8);
  rules.addRow({"B", "", "1,5", "Ben"}, 9);  // no decimal comma by default
  const std::vector<Case> cases = rules.finish();
  ASSERT_EQ(2u, cases.size());
  EXPECT_EQ("Ann", cases[0].name);
  EXPECT_EQ("book.xlsx", cases[0].file);
  EXPECT_EQ(2, cases[0].nLine);
  EXPECT_EQ("", cases[0].error);
  EXPECT_EQ(2, cases[0].nNA);
  EXPECT_EQ(2, cases[0].nNB);
  EXPECT_EQ((std::vector<float>{1, 2, 3, 0.1f}), cases[0].fY);
  EXPECT_EQ((std::vector<std::string>{
                "1 missing value (NA) left out, at occasion 2"}),
            cases[0].notes);
  EXPECT_EQ("Ben", cases[1].name);
  EXPECT_EQ(9, cases[1].nLine);
  EXPECT_EQ("value \"1,5\" is not a number (a decimal comma needs --decimal ,)",
            cases[1].error);
  EXPECT_TRUE(cases[1].fY.empty());
}

TEST(CaseRules, ARowTheReaderFoundMalformedFailsItsCaseOnly) {
  const Columns cols = findColumns({"case", "phase", "values"});
  CaseFileOptions options;
  options.cDecimal = ',';
  CaseRules rules("f", options, cols, '\0');
  rules.addRow({"X", "A", "1,5"}, 2);
  rules.addRow({"X", "A", "2"}, 3, "text after a closing quote");
  rules.addRow({"Y", "A", "1,5"}, 4);
  rules.addRow({"Y", "A", "2"}, 5);
  rules.addRow({"Y", "B", "3"}, 6);
  rules.addRow({"Y", "B", "4", "extra"}, 7);
  const std::vector<Case> cases = rules.finish();
  ASSERT_EQ(2u, cases.size());
  EXPECT_EQ("text after a closing quote", cases[0].error);
  EXPECT_EQ(3, cases[0].nLine);
  EXPECT_EQ("4 fields where the header has 3", cases[1].error);
  EXPECT_EQ(7, cases[1].nLine);
}

TEST(CaseRules, AColumnNamedTwiceIsAnError) {
  EXPECT_EQ("the header names the column \"mt\" and \"Time\"; keep one of them",
            findColumns({"phase", "values", "mt", " Time "}).error);
}
