#ifndef KALMIR_TABLE_H_
#define KALMIR_TABLE_H_

#include <string>
#include <vector>

#include "kalmir/kalmir.h"

// The results table as text: a CSV table, a JSON array or the dialogue's
// reports, one entry per data set. The rows themselves are the public
// kalmir::table_row and csv_line (kalmir.h), made here, and json_object,
// made in json.cpp.
// Formatting only; figures in the CSV and JSON tables are the shortest
// decimals that read back as the same floats, so the tables hold the
// analyses' values exactly.

enum class TableFormat { kCsv, kJson, kReport };

// Puts the entries together: the text before the first entry, between
// entries and after the last. Entries may be made on any thread.
// With bPlotColumn the CSV header has a column "plot" before "notes", as
// the rows of a run that draws plots have (withPlotColumn).
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

// row with a column "plot" before its notes, holding plotFile: the name
// of the row's plot in its folder, or empty when it has none.
std::vector<kalmir::Field> withPlotColumn(std::vector<kalmir::Field> row,
                                          const std::string& plotFile);

#endif  // KALMIR_TABLE_H_
