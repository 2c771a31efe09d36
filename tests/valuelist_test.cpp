#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kalmir/kalmir.h"

// The values the dialogue would hold for each text, as doubles.
static std::vector<double> held(std::initializer_list<float> fs) {
  return std::vector<double>(fs.begin(), fs.end());
}

TEST(ReadValues, TakesBlanksLineEndsSemicolonsAndCommasAsSeparators) {
  EXPECT_EQ(held({3, 5, 4, 6}), kalmir::read_values("3 5\n4\t6", "A").values);
  EXPECT_EQ(held({3, 5, 4}), kalmir::read_values("3,5,4", "A").values);
  EXPECT_EQ(held({3, 5, 4}), kalmir::read_values(" 3, 5 ,4, ", "A").values);
  EXPECT_EQ(held({3, 5, 4}), kalmir::read_values("3;5;4", "A").values);
  EXPECT_EQ(held({-2.5f, 0.5f, 15}),
            kalmir::read_values("-2.5\r\n.5\r\n1.5e1\r\n", "A").values);
  EXPECT_FALSE(kalmir::read_values("3,5,4", "A").decimal_comma);
}

TEST(ReadValues, ReadsACommaAsDecimalMarkOnlyWhereItCannotSeparate) {
  // Apart already by blanks, line ends or semicolons, one comma each.
  kalmir::ValueList list = kalmir::read_values("3,5 4,25\n7", "A");
  EXPECT_TRUE(list.decimal_comma);
  EXPECT_EQ(held({3.5f, 4.25f, 7}), list.values);
  EXPECT_EQ(held({3.5f, 4.25f}), kalmir::read_values("3,5;4,25", "A").values);
  // A pasted spreadsheet column in a decimal-comma locale.
  EXPECT_EQ(held({1.5f, 2.5f, 3}),
            kalmir::read_values("1,5\r\n2,5\r\n3\r\n", "A").values);
  // One piece alone, two commas in a piece, or a comma beside a blank:
  // separators.
  EXPECT_EQ(held({3, 5}), kalmir::read_values("3,5", "A").values);
  EXPECT_EQ(held({3, 5, 4, 2}), kalmir::read_values("3,5,4 2", "A").values);
  EXPECT_EQ(held({3, 5, 4}), kalmir::read_values("3, 5 4", "A").values);
  // A point and a comma in one value is no number either way.
  EXPECT_NE("", kalmir::read_values("1.5,5 2", "A").error);
}

TEST(ReadValues, HoldsTheFloatsTheDialogueHolds) {
  // 0.1 and 16777217 are not floats; the dialogue's "%f" rounds them
  // straight from the decimal (hand-checked: 0x1.99999ap-4, 2^24).
  const kalmir::ValueList list = kalmir::read_values("0.1 16777217", "B");
  ASSERT_EQ(2u, list.values.size());
  EXPECT_EQ(static_cast<double>(0.1f), list.values[0]);
  EXPECT_EQ(16777216.0, list.values[1]);
  // The second lost digits typed; the note words it as the dialogue does.
  ASSERT_EQ(1u, list.notes.size());
  EXPECT_EQ(0u, list.notes[0].find("B value 2: 16777217 is held as 16777216;"))
      << list.notes[0];
}

TEST(ReadValues, SaysWhatIsWrongAndReturnsNoValues) {
  const kalmir::ValueList bad = kalmir::read_values("3 5 x 4", "A");
  EXPECT_TRUE(bad.values.empty());
  EXPECT_EQ(
      "value 3 of the A phase, \"x\", is not a number; enter numbers such "
      "as 4 or 2.5",
      bad.error);
  EXPECT_EQ("value 2 of the B phase, \"nan\", is not a finite number",
            kalmir::read_values("1 nan", "B").error);
  EXPECT_EQ(
      "value 1 of the A phase, \"2e9\", lies beyond 1e9 in magnitude, the "
      "largest accepted",
      kalmir::read_values("2e9 1", "A").error);
  EXPECT_EQ("the A phase has 1 value; 2 to 500 are needed",
            kalmir::read_values("7", "A").error);
  EXPECT_EQ("the B phase has 0 values; 2 to 500 are needed",
            kalmir::read_values(" \n ,, ", "B").error);
  std::string many;
  for (int i = 0; i < kalmir::kMaxPhasePoints + 1; ++i) many += "1 ";
  EXPECT_EQ("the A phase has 501 values; 2 to 500 are needed",
            kalmir::read_values(many, "A").error);
  // A control byte is shown as '?', never passed on.
  EXPECT_EQ(
      "value 2 of the A phase, \"4?\", is not a number; enter numbers such "
      "as 4 or 2.5",
      kalmir::read_values(std::string("1 4\0 5", 6), "A").error);
}

TEST(ReadDataFile, GivesTheCasesOfTheCommandLinesReader) {
  const std::string text =
      "case,phase,values\n"
      "Ann,A,3\nAnn,A,5\nAnn,B,9\nAnn,B,NA\nAnn,B,12\n"
      "Dev,A,4\nDev,A,5\n";
  const kalmir::DataFile file = kalmir::read_data_file(text, "s.csv");
  ASSERT_EQ("", file.error);
  ASSERT_EQ(2u, file.cases.size());
  const kalmir::FileCase& ann = file.cases[0];
  EXPECT_EQ("Ann", ann.data.name);
  EXPECT_EQ(2, ann.line);
  EXPECT_EQ("", ann.error);
  ASSERT_EQ(2u, ann.data.phases.size());
  EXPECT_EQ("A", ann.data.phases[0].label);
  EXPECT_EQ((std::vector<double>{3, 5}), ann.data.phases[0].values);
  EXPECT_EQ((std::vector<double>{9, 12}), ann.data.phases[1].values);
  ASSERT_EQ(1u, ann.notes.size());
  EXPECT_NE(std::string::npos, ann.notes[0].find("1 missing value"));
  const kalmir::FileCase& dev = file.cases[1];
  EXPECT_EQ("Dev", dev.data.name);
  EXPECT_TRUE(dev.data.phases.empty());
  EXPECT_EQ("no B phase (the phase column holds only A)", dev.error);

  // Other labels and a decimal comma, as the command line's options say.
  kalmir::ReadOptions options;
  options.separator = ';';
  options.decimal = ',';
  options.label_a = "baseline";
  options.label_b = "treatment";
  const kalmir::DataFile other = kalmir::read_data_file(
      "case;phase;values\nx;Baseline;1,5\nx;baseline;2\nx;TREATMENT;3\n"
      "x;treatment;4,25\n",
      "t.csv", options);
  ASSERT_EQ("", other.error);
  ASSERT_EQ(1u, other.cases.size());
  EXPECT_EQ((std::vector<double>{1.5, 2}),
            other.cases[0].data.phases[0].values);
  EXPECT_EQ((std::vector<double>{3, 4.25}),
            other.cases[0].data.phases[1].values);

  const kalmir::DataFile broken =
      kalmir::read_data_file("case,phase\nAnn,A\n", "b.csv");
  EXPECT_TRUE(broken.cases.empty());
  EXPECT_NE("", broken.error);
}

TEST(ReadDataFile, ItsCasesAnalyseAsTheCommandLineAnalysesThem) {
  // The worked example as a file; its analysis is the typed one's.
  std::string text = "case,phase,values\n";
  for (const char* v : {"3", "5", "4", "6", "5", "7", "6", "8", "7", "9"}) {
    text += std::string("w,A,") + v + "\n";
  }
  for (const char* v : {"10", "9", "12", "11", "13", "12", "15", "14"}) {
    text += std::string("w,B,") + v + "\n";
  }
  const kalmir::DataFile file = kalmir::read_data_file(text, "w.csv");
  ASSERT_EQ(1u, file.cases.size());
  kalmir::Options options;
  options.resamples = 200;
  options.cases = 500;
  const kalmir::Result fromFile = kalmir::analyse(file.cases[0].data, options);
  const kalmir::ValueList a = kalmir::read_values("3 5 4 6 5 7 6 8 7 9", "A");
  const kalmir::ValueList b =
      kalmir::read_values("10 9 12 11 13 12 15 14", "B");
  const kalmir::Result typed =
      kalmir::analyse({"w", {{"A", a.values}, {"B", b.values}}}, options);
  EXPECT_EQ(kalmir::report_text(typed), kalmir::report_text(fromFile));
  EXPECT_EQ(kalmir::csv_line(kalmir::table_row(typed)),
            kalmir::csv_line(kalmir::table_row(fromFile)));
}
