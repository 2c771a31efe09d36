#ifndef KALMIR_TABLE_H_
#define KALMIR_TABLE_H_

#include <string>
#include <vector>

#include "casefile.h"
#include "kalmir/kalmir.h"

// The results of data files as text: a CSV table, a JSON array or the
// dialogue's reports, one entry per case in case order. Formatting only;
// figures in the CSV and JSON tables are the shortest decimals that read
// back as the same floats, so the tables hold the analyses' values exactly.

enum class TableFormat { kCsv, kJson, kReport };

// The CSV header row, with its line end; the JSON objects have the same
// keys in the same order. With bPlotColumn a column "plot", before the
// notes, names each case's plot file.
std::string csvHeader(bool bPlotColumn = false);

// Puts the entries together: the text before the first entry, between
// entries and after the last. Entries may be made on any thread.
class TableWriter {
 public:
  explicit TableWriter(TableFormat format, bool bPlotColumn = false)
      : format_(format), bPlotColumn_(bPlotColumn) {}
  std::string begin() const;
  // The text that goes before one entry (a separator after the first).
  std::string beforeEntry();
  std::string end() const;

 private:
  TableFormat format_;
  bool bPlotColumn_;
  int nEntries_ = 0;
};

// One case's entry: a CSV row, a JSON object or a report with its notes.
// a is the case's analysis, or null when the case has an error. With pPlot
// the entry has the plot column, holding *pPlot (empty: no plot).
std::string tableEntry(TableFormat format, const Case& c,
                       const kalmir::Result* a,
                       const std::string* pPlot = nullptr);

// Where and what is wrong with a case: "FILE:LINE: what".
std::string caseMessage(const Case& c);

// A case's notes: those on its input, then those on its figures.
std::vector<std::string> caseNotes(const Case& c, const kalmir::Result* a);

#endif  // KALMIR_TABLE_H_
