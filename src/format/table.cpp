#include "table.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "report.h"

namespace {

// Floats stay floats: the JSON text of a figure is the shortest decimal
// that reads back as the same float, and keys keep the table's order.
using Json =
    nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                         std::int64_t, std::uint64_t, float>;

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

// The shortest decimal that reads back as f; R, pandas and Python read
// the forms for values that are not finite.
std::string figureText(float f) {
  if (std::isnan(f)) return "NaN";
  if (std::isinf(f)) return f > 0 ? "Inf" : "-Inf";
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, f);
  return std::string(buf, r.ptr);
}

// A CSV field, quoted when it holds a separator, a quote or a line end.
std::string csvField(const std::string& s) {
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

std::string csvRow(const Case& c, const kalmir::Result* a,
                   const std::string* pPlot) {
  std::string row = csvField(c.name);
  row += a != nullptr ? ",ok," : ",error,";
  if (a != nullptr) {
    row += std::to_string(c.nNA) + "," + std::to_string(c.nNB);
  } else {
    row += ",";
  }
  for (const FigureColumn& col : kFigures) {
    row += ',';
    if (a == nullptr) continue;
    row += col.get != nullptr ? figureText(col.get(*a)) : directionText(a->direction);
  }
  if (pPlot != nullptr) row += "," + csvField(*pPlot);
  row += ',';
  row += csvField(joined(caseNotes(c, a)));
  row += '\n';
  return row;
}

std::string jsonObject(const Case& c, const kalmir::Result* a,
                       const std::string* pPlot) {
  Json object;
  object["case"] = c.name;
  object["status"] = a != nullptr ? "ok" : "error";
  object["n_a"] = a != nullptr ? Json(c.nNA) : Json(nullptr);
  object["n_b"] = a != nullptr ? Json(c.nNB) : Json(nullptr);
  for (const FigureColumn& col : kFigures) {
    if (a == nullptr) {
      object[col.name] = nullptr;
    } else if (col.get == nullptr) {
      object[col.name] = directionText(a->direction);
    } else {
      object[col.name] = col.get(*a);  // NaN and infinities become null
    }
  }
  if (pPlot != nullptr) {
    object["plot"] = pPlot->empty() ? Json(nullptr) : Json(*pPlot);
  }
  object["notes"] = joined(caseNotes(c, a));
  // Bytes that are not UTF-8 (a name from a file in another encoding)
  // become U+FFFD instead of stopping the table.
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string report(const Case& c, const kalmir::Result* a) {
  std::string text = "== " + printable(c.name, 1000) + "\n";
  if (a == nullptr) return text + "Not analysed: " + caseMessage(c) + ".\n\n\n";
  text += reportText(*a);
  for (const std::string& note : caseNotes(c, a)) {
    text += "Note: " + note + ".\n";
  }
  return text;
}

}  // namespace

std::string csvHeader(bool bPlotColumn) {
  std::string header = "case,status,n_a,n_b";
  for (const FigureColumn& col : kFigures)
    header += std::string(",") + col.name;
  if (bPlotColumn) header += ",plot";
  return header + ",notes\n";
}

std::string TableWriter::begin() const {
  switch (format_) {
    case TableFormat::kCsv:
      return csvHeader(bPlotColumn_);
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

std::string tableEntry(TableFormat format, const Case& c,
                       const kalmir::Result* a, const std::string* pPlot) {
  switch (format) {
    case TableFormat::kCsv:
      return csvRow(c, a, pPlot);
    case TableFormat::kJson:
      return jsonObject(c, a, pPlot);
    case TableFormat::kReport:
      break;
  }
  return report(c, a);
}

std::string caseMessage(const Case& c) {
  return c.file + ":" + std::to_string(c.nLine) + ": " + c.error;
}

std::vector<std::string> caseNotes(const Case& c, const kalmir::Result* a) {
  if (a == nullptr) return {caseMessage(c)};
  std::vector<std::string> notes = c.notes;
  for (const kalmir::Note& note : a->notes) notes.push_back(note.text);
  return notes;
}
