#include "caseentry.h"

#include "report.h"
#include "text.h"

namespace {

std::vector<kalmir::Field> caseRow(const Case& c, const kalmir::Result* a) {
  if (a == nullptr) return kalmir::table_error_row(c.name, caseMessage(c));
  kalmir::Result named = *a;
  named.name = c.name;
  return kalmir::table_row(named, c.notes);
}

std::string report(const Case& c, const kalmir::Result* a, bool bIndices) {
  std::string text = "== " + printable(c.name, 1000) + "\n";
  if (a == nullptr) return text + "Not analysed: " + caseMessage(c) + ".\n\n\n";
  text += reportText(*a);
  for (const std::string& note : caseNotes(c, a)) {
    text += "Note: " + note + ".\n";
  }
  if (bIndices) text += indicesText(*a);
  return text;
}

}  // namespace

std::string tableEntry(TableFormat format, const Case& c,
                       const kalmir::Result* a, bool bIndices,
                       const std::string* pPlot) {
  auto row = [&] {
    return pPlot != nullptr ? withPlotColumn(caseRow(c, a), *pPlot)
                            : caseRow(c, a);
  };
  switch (format) {
    case TableFormat::kCsv:
      return kalmir::csv_line(row());
    case TableFormat::kJson:
      return kalmir::json_object(row());
    case TableFormat::kReport:
      break;
  }
  return report(c, a, bIndices);
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
