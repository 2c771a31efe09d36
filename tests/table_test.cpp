#include "table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "report.h"

namespace {

// Slots numbered 1 ... 25 in record order, so that every column shows
// which slot it took.
Analysis numberedSlots() {
  Analysis a;
  float f = 1.0f;
  for (float& slot : a.nullModel) slot = f++;
  for (float& slot : a.expModel) slot = f++;
  for (float& slot : a.autocorrModel) slot = f++;
  for (float& slot : a.simResults) slot = f++;
  for (float& slot : a.esResults) slot = f++;
  return a;
}

Case goodCase(const std::string& name) {
  Case c;
  c.name = name;
  c.file = "study.csv";
  c.nLine = 2;
  c.nNA = 3;
  c.nNB = 4;
  c.fY = {1, 2, 3, 4, 5, 6, 7};
  return c;
}

Case failedCase(const std::string& name) {
  Case c;
  c.name = name;
  c.file = "study.csv";
  c.nLine = 14;
  c.error = "no B phase (the phase column holds only A)";
  return c;
}

std::vector<std::string> split(const std::string& line, char cSep) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, cSep)) fields.push_back(field);
  if (!line.empty() && line.back() == cSep) fields.push_back("");
  return fields;
}

}  // namespace

TEST(Table, CsvHeaderIsTheDocumentedOne) {
  EXPECT_EQ(
      "case,status,n_a,n_b,null_int,null_int_se,null_slope,null_slope_se,"
      "null_s,null_s_se,exp_int,exp_int_se,exp_slope,exp_slope_se,exp_s,"
      "exp_s_se,r1,r1_se,null_mean,null_sd,exp_mean,exp_sd,d_unstd,d,d_se,r,"
      "r_squared,direction,p_normal,p,notes\n",
      csvHeader());
}

TEST(Table, EveryColumnTakesItsSlot) {
  // Record order: null model, exp model, r1 and its SE, the four
  // simulation summaries, then D, d, d's SE, r, R-squared, normal p, p.
  const Analysis a = numberedSlots();
  const std::string row = tableEntry(TableFormat::kCsv, goodCase("Al"), &a);
  EXPECT_EQ(
      "Al,ok,3,4,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,"
      "23,increase,24,25,\n",
      row);
  const nlohmann::ordered_json object = nlohmann::ordered_json::parse(
      tableEntry(TableFormat::kJson, goodCase("Al"), &a));
  const std::vector<std::string> names =
      split(csvHeader().substr(0, csvHeader().size() - 1), ',');
  const std::vector<std::string> values =
      split(row.substr(0, row.size() - 1), ',');
  ASSERT_EQ(names.size(), object.size());
  size_t i = 0;
  for (const auto& item : object.items()) {
    EXPECT_EQ(names[i], item.key());
    if (item.value().is_number()) {
      EXPECT_EQ(std::strtof(values[i].c_str(), nullptr),
                item.value().get<float>())
          << names[i];
    }
    ++i;
  }
  EXPECT_TRUE(object["n_a"].is_number_integer());
  EXPECT_EQ("increase", object["direction"]);
  EXPECT_EQ("", object["notes"]);
}

TEST(Table, FiguresReadBackAsTheSameFloats) {
  Analysis a = numberedSlots();
  a.nullModel[kPhaseInt] = 0.1f;
  a.nullModel[kPhaseIntSE] = 1e-6f;
  a.nullModel[kPhaseSlope] = -3.4028235e38f;
  a.nullModel[kPhaseSlopeSE] = std::numeric_limits<float>::denorm_min();
  a.nullModel[kPhaseSD] = 16777217.0f;  // held as 16777216
  a.esResults[kESd] = -0.0f;
  const std::vector<std::string> fields =
      split(tableEntry(TableFormat::kCsv, goodCase("X"), &a), ',');
  EXPECT_EQ("0.1", fields[4]);
  EXPECT_EQ("1e-06", fields[5]);
  for (int i = 4; i <= 8; ++i) {
    EXPECT_EQ(a.nullModel[static_cast<size_t>(i - 4)],
              std::strtof(fields[static_cast<size_t>(i)].c_str(), nullptr))
        << fields[static_cast<size_t>(i)];
  }
  EXPECT_EQ("-0", fields[23]);
  EXPECT_EQ("increase", fields[27]);  // the dialogue's rule: -0 >= 0
}

TEST(Table, FiguresThatAreNotFiniteStayReadable) {
  Analysis a = numberedSlots();
  a.esResults[kESd] = std::numeric_limits<float>::quiet_NaN();
  a.esResults[kESdSE] = std::numeric_limits<float>::infinity();
  a.esResults[kESr] = -std::numeric_limits<float>::infinity();
  const std::vector<std::string> fields =
      split(tableEntry(TableFormat::kCsv, goodCase("X"), &a), ',');
  EXPECT_EQ("NaN", fields[23]);
  EXPECT_EQ("Inf", fields[24]);
  EXPECT_EQ("-Inf", fields[25]);
  EXPECT_EQ("decrease", fields[27]);
  const nlohmann::json object =
      nlohmann::json::parse(tableEntry(TableFormat::kJson, goodCase("X"), &a));
  EXPECT_TRUE(object["d"].is_null());
  EXPECT_TRUE(object["d_se"].is_null());
  EXPECT_TRUE(object["r"].is_null());
}

TEST(Table, AFailedCaseHasEmptyFiguresAndItsMessage) {
  EXPECT_EQ(
      "\"Lee, \"\"J\"\"\",error,,,,,,,,,,,,,,,,,,,,,,,,,,,,,study.csv:14: no B "
      "phase (the phase column holds only A)\n",
      tableEntry(TableFormat::kCsv, failedCase("Lee, \"J\""), nullptr));
  const nlohmann::json object = nlohmann::json::parse(
      tableEntry(TableFormat::kJson, failedCase("Lee"), nullptr));
  EXPECT_EQ("error", object["status"]);
  EXPECT_TRUE(object["n_a"].is_null());
  EXPECT_TRUE(object["p"].is_null());
  EXPECT_TRUE(object["direction"].is_null());
  EXPECT_EQ("study.csv:14: no B phase (the phase column holds only A)",
            object["notes"]);
  EXPECT_EQ(
      "== Lee\nNot analysed: study.csv:14: no B phase (the phase column "
      "holds only A).\n\n\n",
      tableEntry(TableFormat::kReport, failedCase("Lee"), nullptr));
}

TEST(Table, NotesJoinInputNotesAndFigureNotes) {
  Case c = goodCase("Two\nlines");
  c.nNA = 2;  // a two-point phase draws a note on the figures
  c.notes = {"1 missing value (empty or NA) left out"};
  const Analysis a = numberedSlots();
  const std::vector<std::string> figureNotes = analysisNotes(a, 2, 4);
  ASSERT_EQ(1u, figureNotes.size());
  const std::string notes =
      "1 missing value (empty or NA) left out; " + figureNotes[0];
  const std::string row = tableEntry(TableFormat::kCsv, c, &a);
  EXPECT_EQ(0u, row.find("\"Two\nlines\",ok,2,4,"));
  EXPECT_EQ("\"" + notes + "\"\n", row.substr(row.rfind(",\"") + 1));
  EXPECT_EQ(
      notes,
      nlohmann::json::parse(tableEntry(TableFormat::kJson, c, &a)).at("notes"));
  EXPECT_EQ("== Two?lines\n" + reportText(a) + "Note: " + c.notes[0] +
                ".\nNote: " + figureNotes[0] + ".\n",
            tableEntry(TableFormat::kReport, c, &a));
}

TEST(Table, JsonEntriesMakeOneArray) {
  const Analysis a = numberedSlots();
  for (int nEntries = 0; nEntries <= 3; ++nEntries) {
    TableWriter writer(TableFormat::kJson);
    std::string text = writer.begin();
    for (int i = 0; i < nEntries; ++i) {
      text += writer.beforeEntry();
      text += tableEntry(TableFormat::kJson,
                         i == 1 ? failedCase("F") : goodCase("\xff bytes"),
                         i == 1 ? nullptr : &a);
    }
    text += writer.end();
    const nlohmann::json array = nlohmann::json::parse(text);
    ASSERT_TRUE(array.is_array());
    EXPECT_EQ(static_cast<size_t>(nEntries), array.size());
    if (nEntries > 0) {
      EXPECT_EQ("\xEF\xBF\xBD bytes", array[0]["case"]);
    }
  }
  TableWriter csv(TableFormat::kCsv);
  EXPECT_EQ(csvHeader(), csv.begin());
  EXPECT_EQ("", csv.beforeEntry());
  EXPECT_EQ("", csv.end());
}
