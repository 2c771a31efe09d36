#include "caseentry.h"

#include <utility>

#include "notes.h"
#include "report.h"
#include "text.h"

namespace {

// The rows of one entry in the table's format: CSV lines, or JSON objects
// that the writer's separators can go between.
std::string joinedRows(TableFormat format,
                       const std::vector<std::vector<kalmir::Field>>& rows,
                       const std::string* pPlot) {
  std::string text;
  for (const std::vector<kalmir::Field>& fields : rows) {
    const std::vector<kalmir::Field> row =
        pPlot != nullptr ? withPlotColumn(fields, *pPlot) : fields;
    if (format == TableFormat::kCsv) {
      text += kalmir::csv_line(row);
    } else {
      if (!text.empty()) text += ",\n";
      text += kalmir::json_object(row);
    }
  }
  return text;
}

std::vector<std::string> noteTexts(const std::vector<kalmir::Note>& notes) {
  std::vector<std::string> texts;
  for (const kalmir::Note& note : notes) texts.push_back(note.text);
  return texts;
}

// An AB case (one contrast) says nothing of its design: the analysis's own
// notes already name a short phase.
bool isReversal(const kalmir::Series& s) { return s.contrasts.size() > 1; }

// The design's notes go on the case's average, or without one on its
// first contrast.
std::vector<std::vector<kalmir::Field>> caseRows(const Case& c,
                                                 const kalmir::Series* s,
                                                 const EntryOptions& options) {
  if (s == nullptr) {
    return {kalmir::table_error_row(c.name, caseMessage(c),
                                    {c.study, "case", ""})};
  }
  std::vector<std::vector<kalmir::Field>> rows;
  const std::vector<std::string> design =
      isReversal(*s) ? noteTexts(s->notes) : std::vector<std::string>();
  for (size_t i = 0; i < s->contrasts.size(); ++i) {
    const kalmir::Contrast& contrast = s->contrasts[i];
    kalmir::Result named = contrast.result;
    named.name = c.name;
    std::vector<std::string> notes = c.notes;
    if (i == 0 && !s->has_summary) {
      notes.insert(notes.end(), design.begin(), design.end());
    }
    rows.push_back(kalmir::table_row(named, notes,
                                     {c.study, "contrast", contrast.label}));
  }
  if (s->has_summary) {
    rows.push_back(kalmir::table_summary_row(c.name, s->summary,
                                             options.improvement,
                                             {c.study, "case", ""}, design));
  }
  return rows;
}

std::string report(const Case& c, const kalmir::Series* s,
                   const EntryOptions& options) {
  const std::string name = printable(c.name, 1000);
  if (s == nullptr) {
    return "== " + name + "\nNot analysed: " + caseMessage(c) + ".\n\n\n";
  }
  const bool bReversal = isReversal(*s);
  std::string text;
  for (const kalmir::Contrast& contrast : s->contrasts) {
    text += "== " + name + (bReversal ? ", " + contrast.label : "") + "\n";
    text += reportText(contrast.result);
    for (const std::string& note : caseNotes(c, &contrast.result)) {
      text += "Note: " + note + ".\n";
    }
    if (options.bIndices) text += indicesText(contrast.result);
  }
  if (bReversal) {
    if (s->has_summary) {
      text += "== " + name + ", average\n";
      text += summaryText(s->summary, "A-B CONTRASTS", options.weights);
    }
    for (const kalmir::Note& note : s->notes) {
      text += "Note: " + note.text + ".\n";
    }
  }
  return text;
}

}  // namespace

std::string tableEntry(TableFormat format, const Case& c,
                       const kalmir::Series* s, const EntryOptions& options,
                       const std::string* pPlot) {
  if (format == TableFormat::kReport) return report(c, s, options);
  return joinedRows(format, caseRows(c, s, options), pPlot);
}

std::string tableEntry(TableFormat format, const Case& c,
                       const kalmir::Result* a, bool bIndices,
                       const std::string* pPlot) {
  EntryOptions options;
  options.bIndices = bIndices;
  if (a == nullptr) return tableEntry(format, c, nullptr, options, pPlot);
  options.improvement = a->improvement;
  kalmir::Series s;
  s.name = c.name;
  s.contrasts.push_back({"A1-B1", true, *a});
  return tableEntry(format, c, &s, options, pPlot);
}

std::string studyEntry(TableFormat format, const std::string& name,
                       const kalmir::Study* pStudy, const std::string& error,
                       const std::vector<std::string>& notes,
                       const EntryOptions& options, const std::string* pPlot) {
  if (format == TableFormat::kReport) {
    std::string text = "== study " + printable(name, 1000) + "\n";
    if (pStudy == nullptr) return text + "Not averaged: " + error + ".\n\n\n";
    text += summaryText(pStudy->summary, "CASES", options.weights);
    for (const std::string& note : notes) text += "Note: " + note + ".\n";
    return text;
  }
  const kalmir::RowPlace place{name, "study", ""};
  if (pStudy == nullptr) {
    return joinedRows(format, {kalmir::table_error_row("", error, place)},
                      pPlot);
  }
  return joinedRows(format,
                    {kalmir::table_summary_row("", pStudy->summary,
                                               options.improvement, place,
                                               notes)},
                    pPlot);
}

std::string caseMessage(const Case& c) {
  // A file name may hold any byte, a line end included; in a one-line
  // message it must not start a line of its own.
  return printable(c.file, 1000) + ":" + std::to_string(c.nLine) + ": " +
         c.error;
}

std::vector<std::string> caseNotes(const Case& c, const kalmir::Result* a) {
  if (a == nullptr) return {caseMessage(c)};
  std::vector<std::string> notes = c.notes;
  for (const kalmir::Note& note : a->notes) notes.push_back(note.text);
  return notes;
}
