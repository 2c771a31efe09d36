#include "table.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "report.h"

namespace {

using Getter = float (*)(const kalmir::Result&);
using R = kalmir::Result;

// The figure columns in table order; the direction stands between
// r_squared and p (its getter is null).
struct FigureColumn {
  const char* name;
  Getter get;
};

const FigureColumn kFigures[] = {
    {"null_int", [](const R& a) { return a.null_model.intercept; }},
    {"null_int_se", [](const R& a) { return a.null_model.intercept_se; }},
    {"null_slope", [](const R& a) { return a.null_model.slope; }},
    {"null_slope_se", [](const R& a) { return a.null_model.slope_se; }},
    {"null_s", [](const R& a) { return a.null_model.sd; }},
    {"null_s_se", [](const R& a) { return a.null_model.sd_se; }},
    {"exp_int", [](const R& a) { return a.exp_model.intercept; }},
    {"exp_int_se", [](const R& a) { return a.exp_model.intercept_se; }},
    {"exp_slope", [](const R& a) { return a.exp_model.slope; }},
    {"exp_slope_se", [](const R& a) { return a.exp_model.slope_se; }},
    {"exp_s", [](const R& a) { return a.exp_model.sd; }},
    {"exp_s_se", [](const R& a) { return a.exp_model.sd_se; }},
    {"r1", [](const R& a) { return a.r1; }},
    {"r1_se", [](const R& a) { return a.r1_se; }},
    {"null_mean", [](const R& a) { return a.null_mean; }},
    {"null_sd", [](const R& a) { return a.null_sd; }},
    {"exp_mean", [](const R& a) { return a.exp_mean; }},
    {"exp_sd", [](const R& a) { return a.exp_sd; }},
    {"d_unstd", [](const R& a) { return a.d_unstd; }},
    {"d", [](const R& a) { return a.d; }},
    {"d_se", [](const R& a) { return a.d_se; }},
    {"r", [](const R& a) { return a.r; }},
    {"r_squared", [](const R& a) { return a.r_squared; }},
    {"direction", nullptr},
    {"p", [](const R& a) { return a.p; }},
};

// The other effect sizes, after the figures and the improvement, in table
// order: a value every analysed row has, or a part of an SMD, empty where
// there is no SMD.
using kalmir::Indices;
using kalmir::Smd;

struct IndexColumn {
  const char* name;
  double Indices::*value;
  std::optional<Smd> Indices::*smd;
  double Smd::*part;
};

const IndexColumn kIndices[] = {
    {"nap", &Indices::nap, nullptr, nullptr},
    {"nap_se", &Indices::nap_se, nullptr, nullptr},
    {"nap_ci_low", &Indices::nap_ci_low, nullptr, nullptr},
    {"nap_ci_high", &Indices::nap_ci_high, nullptr, nullptr},
    {"tau", &Indices::tau, nullptr, nullptr},
    {"tau_se", &Indices::tau_se, nullptr, nullptr},
    {"tau_u", &Indices::tau_u, nullptr, nullptr},
    {"tau_bc", &Indices::tau_bc, nullptr, nullptr},
    {"tau_bc_se", &Indices::tau_bc_se, nullptr, nullptr},
    {"pnd", &Indices::pnd, nullptr, nullptr},
    {"pem", &Indices::pem, nullptr, nullptr},
    {"pand", &Indices::pand, nullptr, nullptr},
    {"ird", &Indices::ird, nullptr, nullptr},
    {"smd_baseline", nullptr, &Indices::smd_baseline, &Smd::g},
    {"smd_baseline_se", nullptr, &Indices::smd_baseline, &Smd::se},
    {"smd_baseline_ci_low", nullptr, &Indices::smd_baseline, &Smd::ci_low},
    {"smd_baseline_ci_high", nullptr, &Indices::smd_baseline, &Smd::ci_high},
    {"smd_pooled", nullptr, &Indices::smd_pooled, &Smd::g},
    {"smd_pooled_se", nullptr, &Indices::smd_pooled, &Smd::se},
    {"smd_pooled_ci_low", nullptr, &Indices::smd_pooled, &Smd::ci_low},
    {"smd_pooled_ci_high", nullptr, &Indices::smd_pooled, &Smd::ci_high},
};

std::optional<double> indexValue(const IndexColumn& col, const Indices& x) {
  if (col.value != nullptr) return x.*col.value;
  const std::optional<Smd>& smd = x.*col.smd;
  if (!smd) return std::nullopt;
  return (*smd).*col.part;
}

// The shortest decimal that reads back as f; R, pandas and Python read
// the forms for values that are not finite.
std::string figureText(float f) {
  if (std::isnan(f)) return "NaN";
  if (std::isinf(f)) return f > 0 ? "Inf" : "-Inf";
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, f);
  return std::string(buf, r.ptr);
}

// A CSV text field. Spreadsheets run a cell that begins with =, +, -, @,
// a tab or a carriage return as a formula, so such text gets a leading
// apostrophe, which they show as text; then it is quoted when it holds a
// separator, a quote or a line end.
std::string csvField(const std::string& text) {
  const bool bFormulaLike =
      !text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos;
  const std::string s = bFormulaLike ? "'" + text : text;
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string quoted = "\"";
  for (char c : s) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string joined(const std::vector<std::string>& notes) {
  std::string text;
  for (const std::string& note : notes) {
    if (!text.empty()) text += "; ";
    text += note;
  }
  return text;
}

using kalmir::Field;
using kalmir::FieldKind;

Field textField(const char* name, std::string text) {
  Field f;
  f.name = name;
  f.kind = FieldKind::text;
  f.text = std::move(text);
  return f;
}

Field integerField(const char* name, int n) {
  Field f;
  f.name = name;
  f.kind = FieldKind::integer;
  f.number = n;
  f.text = std::to_string(n);
  return f;
}

Field figureField(const char* name, float value) {
  Field f;
  f.name = name;
  f.kind = FieldKind::figure;
  f.number = value;
  f.text = figureText(value);
  return f;
}

// The shortest decimal that reads back as the same double.
Field numberField(const char* name, double value) {
  Field f;
  f.name = name;
  f.kind = FieldKind::number;
  f.number = value;
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
  f.text = std::string(buf, r.ptr);
  return f;
}

Field emptyField(const char* name) {
  Field f;
  f.name = name;
  return f;
}

// Every column of a row: the figures of a, or empty ones when a is null.
std::vector<Field> rowFields(const std::string& name,
                             const kalmir::RowPlace& place,
                             const kalmir::Result* a,
                             const std::vector<std::string>& notes) {
  std::vector<Field> row;
  row.push_back(textField("case", name));
  row.push_back(textField("study", place.study));
  row.push_back(textField("row", place.row));
  row.push_back(textField("contrast", place.contrast));
  row.push_back(textField("status", a != nullptr ? "ok" : "error"));
  row.push_back(a != nullptr ? integerField("n_a", a->n_a) : emptyField("n_a"));
  row.push_back(a != nullptr ? integerField("n_b", a->n_b) : emptyField("n_b"));
  for (const FigureColumn& col : kFigures) {
    if (a == nullptr) {
      row.push_back(emptyField(col.name));
    } else if (col.get == nullptr) {
      row.push_back(textField(col.name, directionText(a->direction)));
    } else {
      row.push_back(figureField(col.name, col.get(*a)));
    }
  }
  row.push_back(a != nullptr ? textField("improvement",
                                         improvementText(a->improvement))
                             : emptyField("improvement"));
  for (const IndexColumn& col : kIndices) {
    const std::optional<double> value =
        a != nullptr ? indexValue(col, a->indices) : std::nullopt;
    row.push_back(value ? numberField(col.name, *value)
                        : emptyField(col.name));
  }
  row.push_back(textField("notes", joined(notes)));
  return row;
}

}  // namespace

namespace kalmir {

std::vector<std::string> table_columns() {
  std::vector<std::string> names;
  for (const Field& f : rowFields("", {}, nullptr, {})) names.push_back(f.name);
  return names;
}

std::vector<Field> table_row(const Result& result,
                             const std::vector<std::string>& input_notes,
                             const RowPlace& place) {
  std::vector<std::string> notes = input_notes;
  for (const Note& note : result.notes) notes.push_back(note.text);
  for (const Note& note : result.indices.notes) notes.push_back(note.text);
  return rowFields(result.name, place, &result, notes);
}

std::vector<Field> table_error_row(const std::string& name,
                                   const std::string& reason,
                                   const RowPlace& place) {
  return rowFields(name, place, nullptr, {reason});
}

std::vector<Field> table_summary_row(const std::string& name,
                                     const Summary& summary,
                                     Improvement improvement,
                                     const RowPlace& place,
                                     const std::vector<std::string>& notes) {
  // The z of the SMDs' 95% intervals, as Indices has them.
  const double z = 1.959964;
  std::vector<Field> row = rowFields(name, place, nullptr, notes);
  auto set = [&row](const std::string& column, Field f) {
    for (Field& field : row) {
      if (field.name == column) field = std::move(f);
    }
  };
  set("status", textField("status", "ok"));
  set("improvement", textField("improvement", improvementText(improvement)));
  for (const Average& a : summary.averages) {
    const std::string se = a.name == "d" ? "d_se" : a.name + "_se";
    set(a.name, numberField(a.name.c_str(), a.estimate));
    if (!std::isnan(a.se)) set(se, numberField(se.c_str(), a.se));
    if (a.name == "d") {
      set("direction",
          textField("direction",
                    directionText(a.estimate >= 0 ? Direction::increase
                                                  : Direction::decrease)));
    }
    if (a.name.compare(0, 4, "smd_") == 0 && !std::isnan(a.se)) {
      const std::string low = a.name + "_ci_low", high = a.name + "_ci_high";
      set(low, numberField(low.c_str(), a.estimate - z * a.se));
      set(high, numberField(high.c_str(), a.estimate + z * a.se));
    }
  }
  return row;
}

std::string csv_header() {
  std::string header;
  for (const std::string& name : table_columns()) {
    if (!header.empty()) header += ',';
    header += name;
  }
  return header + "\n";
}

std::string csv_line(const std::vector<Field>& row) {
  std::string line;
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) line += ',';
    line += row[i].kind == FieldKind::text ? csvField(row[i].text) : row[i].text;
  }
  return line + "\n";
}

}  // namespace kalmir

std::vector<Field> withPlotColumn(std::vector<Field> row,
                                  const std::string& plotFile) {
  const auto notes = row.end() - 1;  // the notes are always last
  row.insert(notes, plotFile.empty() ? emptyField("plot")
                                     : textField("plot", plotFile));
  return row;
}

std::string TableWriter::begin() const {
  switch (format_) {
    case TableFormat::kCsv:
      if (bPlotColumn_) {
        std::string header;
        for (const Field& f :
             withPlotColumn(rowFields("", {}, nullptr, {}), "")) {
          header += (header.empty() ? "" : ",") + f.name;
        }
        return header + "\n";
      }
      return kalmir::csv_header();
    case TableFormat::kJson:
      return "[";
    case TableFormat::kReport:
      break;
  }
  return "";
}

std::string TableWriter::beforeEntry() {
  const bool bFirst = nEntries_++ == 0;
  if (format_ != TableFormat::kJson) return "";
  return bFirst ? "\n" : ",\n";
}

std::string TableWriter::end() const {
  if (format_ != TableFormat::kJson) return "";
  return nEntries_ == 0 ? "]\n" : "\n]\n";
}

